// Program assembly for compiled shader maps: one program per key and pass,
// and the textures, coordinate sets and uniforms a map binds at draw time.

#include "core/shader/zShaderBlocks.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"

#include <new>
#include <string>

CompiledRenderMap* zGL3Renderer::SetupShaderMap(int32_t pass)
{
    if (pass < 0 || pass >= PassCount) {
        LogError("zGL3Renderer::SetupShaderMap") << "Invalid render pass (" << pass << ").\n";
        return nullptr;
    }
    auto* map = new (std::nothrow) CompiledRenderMap;
    if (map == nullptr) {
        LogError("zGL3Renderer::SetupShaderMap") << "Failed to allocate compiled GL3 render map.\n";
        return nullptr;
    }
    GL3_RenderMapCompiler& compiler = mapCompiler;
    const std::string& key = compiler.GetKey();
    zGL3ShaderRecord* program = nullptr;
    for (zGL3ShaderRecord* candidate : passPrograms[pass]) {
        if (key == candidate->id.Get()) {
            program = candidate;
            break;
        }
    }
    if (program == nullptr) {
        const std::string vertex = compiler.vertexDeclarations + "\nvoid main()\n{\n" + compiler.vertexBody + "}\n";
        const std::string fragment =
            compiler.fragmentDeclarations + "\nvoid main()\n{\n" + compiler.fragmentBody + "}\n";
        program = static_cast<zGL3ShaderRecord*>(LoadShader(key.c_str(), vertex.c_str(), fragment.c_str()));
        ++shaderMapPrograms;
        if (program != nullptr) {
            // The shader list owns it and frees it with the library's programs.
            shaders.Add(program, true, true);
            passPrograms[pass].push_back(program);
            auto attribute = [&](const char* name) {
                return glGetAttribLocation_ != nullptr && program->program != 0
                    ? glGetAttribLocation_(program->program, name)
                    : GLint(-1);
            };
            program->tangentLocation = attribute("attribute_tangent");
            program->bitangentLocation = attribute("attribute_bitangent");
            program->skinIdLocation = attribute("skin_id");
            program->skinWeightLocation = attribute("skin_w");
        }
    }
    map->program = program;
    auto uniformLocation = [&](const std::string& name) {
        return program != nullptr && program->program != 0 && glGetUniformLocation_ != nullptr
            ? int32_t(glGetUniformLocation_(program->program, name.c_str()))
            : int32_t(-1);
    };

    int32_t slot = 0;
    for (const CompiledBlock* record : compiler.GetCompiledBlocks()) {
        if (!record->compiled)
            continue;
        const zShaderBlock* block = record->source;
        if (block->GetType() == ShaderBlockUVStream) {
            const int32_t set = static_cast<const zUVStreamShaderBlock*>(block)->index;
            if (set >= 0 && set < 4)
                map->uvSets[set] = 1;
        } else if (block->GetType() == ShaderBlockSampler2D && slot < CompiledRenderMap::MaxTextures) {
            // The texture block the graph holds may be a different but
            // equivalent one from the block that was compiled.
            const zShaderBlock* textureBlock = block->GetInput(0);
            const CompiledBlock* textureRecord = compiler.FindCompiled(textureBlock);
            if (textureRecord == nullptr || !textureRecord->compiled)
                continue;
            const int32_t location = uniformLocation(textureRecord->name);
            if (location == -1)
                continue;
            const auto* sampler = static_cast<const zSampler2DShaderBlock*>(block);
            map->textures[slot].texture = static_cast<const zTextureShaderBlock*>(textureBlock)->texture;
            map->textures[slot].location = location;
            map->wrap[slot][0] = sampler->wrapU;
            map->wrap[slot][1] = sampler->wrapV;
            ++slot;
        }
    }
    for (const CompiledBlock* record : compiler.GetCompiledBlocks()) {
        if (!record->compiled)
            continue;
        const int32_t type = record->source->GetType();
        if (type != ShaderBlockConstant && type != ShaderBlockColor && type != ShaderBlockViewVector &&
            type != ShaderBlockClock)
            continue;
        auto* uniform = new (std::nothrow) RenderMapUniform(record->name.c_str());
        if (uniform == nullptr) {
            LogError("zGL3Renderer::SetupShaderMap") << "Failed to allocate render map uniform.\n";
            continue;
        }
        uniform->blockType = type;
        uniform->valueType = record->type;
        uniform->location = uniformLocation(record->name);
        const float* value = nullptr;
        if (type == ShaderBlockConstant)
            value = static_cast<const zConstantShaderBlock*>(record->source)->value;
        else if (type == ShaderBlockColor)
            value = static_cast<const zColorShaderBlock*>(record->source)->colour;
        if (value != nullptr) {
            for (int32_t i = 0; i < 4; ++i)
                uniform->value[i] = value[i];
        }
        map->uniforms.Add(uniform, true, true);
    }
    return map;
}

void zGL3Renderer::ClearPassPrograms()
{
    for (auto& list : passPrograms)
        list.clear();
}
