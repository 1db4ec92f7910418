// Shader-map graphs to GLSL: one routine per block type, each writing its
// lines into the four sections and naming its value "_n_<prefix><number>".

#include "gl3/deferred/GL3RenderMapCompiler.h"

#include "core/shader/zShaderBlocks.h"
#include "framework/system/zLogStream.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace {

using namespace zShaderValue;

constexpr const char* Routine = "GL3_RenderMapCompiler::";

void Appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Appendf(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        const size_t at = out.size();
        out.resize(at + size_t(length) + 1);
        vsnprintf(out.data() + at, size_t(length) + 1, format, args);
        out.resize(at + size_t(length));
    }
    va_end(args);
}

void Fail(const char* routine, const std::string& message)
{
    LogError((std::string(Routine) + routine).c_str()) << message.c_str() << "\n";
}

bool IsMatrixOrTexture(int32_t type)
{
    return type == Matrix3 || type == Matrix4 || type == Texture;
}

std::string TypeName(int32_t type)
{
    std::string text;
    GL3_RenderMapCompiler::GetTypeName(type, text);
    return text;
}

} // namespace

GL3_RenderMapCompiler::GL3_RenderMapCompiler() = default;

GL3_RenderMapCompiler::~GL3_RenderMapCompiler()
{
    Reset();
}

void GL3_RenderMapCompiler::Reset()
{
    key.clear();
    for (CompiledBlock* record : blocks)
        delete record;
    blocks.clear();
    vertexDeclarations.clear();
    vertexBody.clear();
    fragmentDeclarations.clear();
    fragmentBody.clear();
    counter = 0;
}

bool GL3_RenderMapCompiler::GetTypeName(int32_t type, std::string& text)
{
    switch (type) {
    case Float: text = "float"; return true;
    case Vector2: text = "vec2"; return true;
    case Vector3: text = "vec3"; return true;
    case Vector4: text = "vec4"; return true;
    default: text.clear(); return false;
    }
}

const CompiledBlock* GL3_RenderMapCompiler::FindCompiled(const zShaderBlock* block) const
{
    if (block == nullptr)
        return nullptr;
    for (const CompiledBlock* record : blocks) {
        if (record->source != nullptr && record->source->IsEquivalent(block))
            return record;
    }
    return nullptr;
}

CompiledBlock* GL3_RenderMapCompiler::CompileShaderBlock(const zShaderBlock* block)
{
    if (block == nullptr)
        return nullptr;
    key += block->GetId().Get();
    for (CompiledBlock* record : blocks) {
        if (record->source != nullptr && record->source->IsEquivalent(block)) {
            // A block that failed once fails for every parent that uses it.
            return record->compiled ? record : nullptr;
        }
    }
    return Compile(block);
}

CompiledBlock* GL3_RenderMapCompiler::Compile(const zShaderBlock* block)
{
    switch (block->GetType()) {
    case ShaderBlockVertexStream: return CompileVertexStream(block);
    case ShaderBlockNormalStream: return CompileNormalStream(block);
    case ShaderBlockUVStream: return CompileUVStream(block);
    case ShaderBlockSkinning: return CompileSkinning(block);
    case ShaderBlockVertexColorStream: return CompileVertexColor(block);
    case ShaderBlockTangentFrame: return CompileTangentFrame(block);
    case ShaderBlockTexture: return CompileTexture(block);
    case ShaderBlockSampler2D: return CompileSampler2dShaderBlock(block);
    case ShaderBlockConstant: return CompileConstant(block);
    case ShaderBlockColor: return CompileSimpleUniform(block, "color", "uniform vec4 %s;\n", Vector4);
    case ShaderBlockMaterialParameter: return CompileMaterialParameter(block);
    case ShaderBlockScreenUV: return CompileScreenUV(block);
    case ShaderBlockViewVector: return CompileSimpleUniform(block, "view_vector", "uniform vec3 %s;\n", Vector3);
    case ShaderBlockClock: return CompileSimpleUniform(block, "clock", "uniform float %s;\n", Float);
    case ShaderBlockMix: return CompileMixShaderBlock(block);
    case ShaderBlockAdd:
        return CompileComponentWise(block, "CompileAddShaderBlock", "add", "+",
                                    "Cannot add blocks, output do not match.", "Cannot add blocks (");
    case ShaderBlockSubtract:
        return CompileComponentWise(block, "CompileSubShaderBlock", "sub", "-",
                                    "Cannot subtract blocks, output do not match.", "Cannot subtract blocks (");
    case ShaderBlockDivide:
        return CompileComponentWise(block, "CompileDivShaderBlock", "div", "/",
                                    "Cannot divide blocks, output do not match.", "Cannot divide blocks (");
    case ShaderBlockMultiply: return CompileMulShaderBlock(block);
    case ShaderBlockDot: return CompileDotShaderBlock(block);
    case ShaderBlockCross: return CompileCrossShaderBlock(block);
    case ShaderBlockClamp: return CompileClampShaderBlock(block);
    case ShaderBlockNormalize: return CompileNormalize(block);
    case ShaderBlockSwizzle: return CompileSwizzleShaderBlock(block);
    case ShaderBlockBuild: return CompileBuild(block);
    case ShaderBlockSinus: return CompileTrigonometry(block, "CompileSinusShaderBlock", "sin");
    case ShaderBlockCosinus: return CompileTrigonometry(block, "CompileCosinusShaderBlock", "cos");
    case ShaderBlockPow: return CompilePowShaderBlock(block);
    case ShaderBlockUnpackColor: return CompilePacking(block, false);
    case ShaderBlockPackVector: return CompilePacking(block, true);
    default:
        LogError("GL3_RenderMapCompiler::CompileShaderBlock")
            << "Unsupported render block type (" << block->GetType() << "), don't how to compile.\n";
        return nullptr;
    }
}

CompiledBlock* GL3_RenderMapCompiler::Begin(const zShaderBlock* block, CompiledBlock** ins, uint32_t count,
                                            bool inputsOptional)
{
    auto* record = new (std::nothrow) CompiledBlock;
    if (record == nullptr) {
        LogError("GL3_RenderMapCompiler::CompileShaderBlock") << "Failed to allocate compiled block.\n";
        return nullptr;
    }
    record->source = block;
    blocks.push_back(record);
    for (uint32_t i = 0; i < count; ++i) {
        const zShaderBlock* input = block->GetInput(i);
        if (input == nullptr && inputsOptional) {
            ins[i] = nullptr;
            continue;
        }
        ins[i] = CompileShaderBlock(input);
        if (ins[i] == nullptr)
            return nullptr;
    }
    return record;
}

std::string GL3_RenderMapCompiler::NextName(const char* prefix)
{
    std::string name;
    Appendf(name, "_n_%s%04d", prefix, counter);
    ++counter;
    return name;
}

CompiledBlock* GL3_RenderMapCompiler::Succeed(CompiledBlock* record, std::string name, int32_t type)
{
    record->name = std::move(name);
    record->type = type;
    record->compiled = true;
    return record;
}

CompiledBlock* GL3_RenderMapCompiler::CompileVertexStream(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("vertex");
    Appendf(vertexBody, "vec4\t%s = gl_Vertex;\n", name.c_str());
    return Succeed(record, std::move(name), Vector4);
}

CompiledBlock* GL3_RenderMapCompiler::CompileNormalStream(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    const std::string temporary = NextName("tmp_normal");
    std::string name = NextName("normal");
    Appendf(vertexDeclarations, "varying vec3 %s;\n", temporary.c_str());
    Appendf(vertexBody, "%s = /*gl_NormalMatrix **/ gl_Normal;\n", temporary.c_str());
    Appendf(fragmentDeclarations, "varying vec3 %s;\n", temporary.c_str());
    Appendf(fragmentBody, "vec3 %s = normalize(%s);\n", name.c_str(), temporary.c_str());
    return Succeed(record, std::move(name), Vector3);
}

CompiledBlock* GL3_RenderMapCompiler::CompileUVStream(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("uv");
    Appendf(vertexDeclarations, "varying vec2 %s;\n", name.c_str());
    Appendf(vertexBody, "%s = vec2(gl_MultiTexCoord%d);\n", name.c_str(),
            static_cast<const zUVStreamShaderBlock*>(block)->index);
    Appendf(fragmentDeclarations, "varying vec2 %s;\n", name.c_str());
    return Succeed(record, std::move(name), Vector2);
}

CompiledBlock* GL3_RenderMapCompiler::CompileSkinning(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("skin_mtx");
    Appendf(vertexDeclarations, "uniform mat4 skin_mtx[%d];\nattribute vec4 skin_id, skin_w;\nvarying mat4 %s;\n", 32,
            name.c_str());
    Appendf(vertexBody,
            "%s = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + "
            "skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / "
            "(skin_w.x + skin_w.y + skin_w.z + skin_w.w);\n",
            name.c_str());
    Appendf(fragmentDeclarations, "varying mat4 %s;\n", name.c_str());
    return Succeed(record, std::move(name), Matrix4);
}

CompiledBlock* GL3_RenderMapCompiler::CompileVertexColor(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("vertex_color");
    Appendf(vertexDeclarations, "varying vec3 %s;\n", name.c_str());
    Appendf(vertexBody, "%s = gl_Color.rgb;\n", name.c_str());
    Appendf(fragmentDeclarations, "varying vec3 %s;\n", name.c_str());
    return Succeed(record, std::move(name), Vector3);
}

CompiledBlock* GL3_RenderMapCompiler::CompileTangentFrame(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    // The frame's third axis is the interpolated normal, compiled like any
    // normal stream (and shared with one the graph already has).
    const CompiledBlock* normal = CompileShaderBlock(&tangentNormal);
    if (normal == nullptr)
        return nullptr;
    std::string name = NextName("tangent_frame");
    vertexDeclarations += "attribute vec3 attribute_tangent, attribute_bitangent;\nvarying vec3 _T, _B;\n";
    vertexBody += "_T = /*gl_NormalMatrix **/ attribute_tangent;\n_B = /*gl_NormalMatrix **/ attribute_bitangent;\n";
    fragmentDeclarations += "varying vec3 _T, _B;\n";
    Appendf(fragmentBody, "mat3 %s = mat3(normalize(_T), normalize(_B), %s);\n", name.c_str(), normal->name.c_str());
    return Succeed(record, std::move(name), Matrix3);
}

CompiledBlock* GL3_RenderMapCompiler::CompileTexture(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("sampler2D");
    Appendf(fragmentDeclarations, "uniform sampler2D %s;\n", name.c_str());
    return Succeed(record, std::move(name), Texture);
}

CompiledBlock* GL3_RenderMapCompiler::CompileSampler2dShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    if (ins[0]->type != Texture || ins[1]->type != Vector2) {
        Fail("CompileSampler2dShaderBlock", "Invalid input to the sampler2D block.");
        return nullptr;
    }
    std::string name = NextName("color");
    Appendf(fragmentBody, "vec4 %s = texture2D(%s, %s);\n", name.c_str(), ins[0]->name.c_str(), ins[1]->name.c_str());
    return Succeed(record, std::move(name), Vector4);
}

CompiledBlock* GL3_RenderMapCompiler::CompileConstant(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    const int32_t type = static_cast<const zConstantShaderBlock*>(block)->kind;
    std::string name = NextName("const");
    std::string typeName;
    if (GetTypeName(type, typeName))
        Appendf(fragmentDeclarations, "uniform %s %s;\n", typeName.c_str(), name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileSimpleUniform(const zShaderBlock* block, const char* prefix,
                                                           const char* format, int32_t type)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName(prefix);
    Appendf(fragmentDeclarations, format, name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileMaterialParameter(const zShaderBlock* block)
{
    static const char* const Lines[] = {
        "vec4 %s = gl_FrontMaterial.diffuse;\n",  "vec4 %s = gl_FrontMaterial.specular;\n",
        "vec4 %s = gl_FrontMaterial.emission;\n", "vec4 %s = gl_FrontMaterial.ambient;\n",
        "float %s = gl_FrontMaterial.shininess;\n",
    };
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    const int32_t index = static_cast<const zMaterialParameterShaderBlock*>(block)->index;
    std::string name = NextName("mat_param");
    if (index < 0 || index > 4)
        return Succeed(record, std::move(name), None);
    Appendf(fragmentDeclarations, Lines[index], name.c_str());
    return Succeed(record, std::move(name), index == 4 ? Float : Vector4);
}

CompiledBlock* GL3_RenderMapCompiler::CompileScreenUV(const zShaderBlock* block)
{
    CompiledBlock* record = Begin(block, nullptr, 0);
    if (record == nullptr)
        return nullptr;
    std::string name = NextName("screen_uv");
    Appendf(fragmentDeclarations, "vec2 %s = vec2(gl_FragCoord.x, gl_FragCoord.y);\n", name.c_str());
    return Succeed(record, std::move(name), Vector2);
}

CompiledBlock* GL3_RenderMapCompiler::CompileMixShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[3];
    CompiledBlock* record = Begin(block, ins, 3);
    if (record == nullptr)
        return nullptr;
    const int32_t type = ins[0]->type;
    if (type != ins[1]->type) {
        Fail("CompileMixShaderBlock", "Cannot mix blocks, output do not match.");
        return nullptr;
    }
    if (type == None) {
        Fail("CompileMixShaderBlock", "Block has no output.");
        return nullptr;
    }
    if (IsMatrixOrTexture(type)) {
        Fail("CompileMixShaderBlock", "Cannot mix blocks, incorrect type (" + std::to_string(type) + ").");
        return nullptr;
    }
    std::string name = NextName("mix");
    Appendf(fragmentBody, "%s %s = %s * %s + %s * (1.0 - %s);\n", TypeName(type).c_str(), name.c_str(),
            ins[0]->name.c_str(), ins[2]->name.c_str(), ins[1]->name.c_str(), ins[2]->name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileComponentWise(const zShaderBlock* block, const char* routine,
                                                           const char* prefix, const char* op, const char* mismatch,
                                                           const char* badType)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    const int32_t type = ins[0]->type;
    if (type != ins[1]->type) {
        Fail(routine, mismatch);
        return nullptr;
    }
    if (type == None) {
        Fail(routine, "Block has no output.");
        return nullptr;
    }
    if (IsMatrixOrTexture(type)) {
        Fail(routine, badType + std::to_string(type) + ").");
        return nullptr;
    }
    std::string name = NextName(prefix);
    Appendf(fragmentBody, "%s %s = %s %s %s;\n", TypeName(type).c_str(), name.c_str(), ins[0]->name.c_str(), op,
            ins[1]->name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileMulShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    const int32_t a = ins[0]->type;
    const int32_t b = ins[1]->type;
    if (a == b) {
        if (a == None) {
            Fail("CompileMulShaderBlock", "Block has no output.");
            return nullptr;
        }
        if (a == Texture) {
            Fail("CompileMulShaderBlock", "Cannot multiply textures.");
            return nullptr;
        }
    } else {
        const bool product = (a == Vector3 && b == Matrix3) || (a == Matrix3 && b == Vector3) ||
            (a == Vector4 && b == Matrix4) || (a == Matrix4 && b == Vector4);
        if (!product) {
            Fail("CompileMulShaderBlock", "Cannot multiply blocks, output do not match.");
            return nullptr;
        }
    }
    const int32_t type = a < b ? a : b;
    std::string name = NextName("mul");
    Appendf(fragmentBody, "%s %s = %s * %s;\n", TypeName(type).c_str(), name.c_str(), ins[0]->name.c_str(),
            ins[1]->name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileDotShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    if (ins[0]->type != ins[1]->type) {
        Fail("CompileDotShaderBlock", "Cannot compute dot operator, output do not match.");
        return nullptr;
    }
    std::string name = NextName("dot");
    Appendf(fragmentBody, "float %s = dot(%s, %s);\n", name.c_str(), ins[0]->name.c_str(), ins[1]->name.c_str());
    return Succeed(record, std::move(name), Float);
}

CompiledBlock* GL3_RenderMapCompiler::CompileCrossShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    if (ins[0]->type != Vector3 || ins[1]->type != Vector3) {
        Fail("CompileCrossShaderBlock", "Cannot only compute cross product on Vector3.");
        return nullptr;
    }
    std::string name = NextName("cross");
    Appendf(fragmentBody, "vec3 %s = cross(%s, %s);\n", name.c_str(), ins[0]->name.c_str(), ins[1]->name.c_str());
    return Succeed(record, std::move(name), Vector3);
}

CompiledBlock* GL3_RenderMapCompiler::CompileClampShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[3];
    CompiledBlock* record = Begin(block, ins, 3);
    if (record == nullptr)
        return nullptr;
    if (ins[1]->type != ins[2]->type && ins[1]->type != ins[0]->type) {
        Fail("CompileClampShaderBlock", ".");
        return nullptr;
    }
    const int32_t type = ins[0]->type;
    std::string name = NextName("clamp");
    Appendf(fragmentBody, "%s %s = clamp(%s, %s, %s);\n", TypeName(type).c_str(), name.c_str(), ins[0]->name.c_str(),
            ins[1]->name.c_str(), ins[2]->name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileNormalize(const zShaderBlock* block)
{
    CompiledBlock* ins[1];
    CompiledBlock* record = Begin(block, ins, 1);
    if (record == nullptr)
        return nullptr;
    const int32_t type = ins[0]->type;
    std::string name = NextName("normalized");
    Appendf(fragmentBody, "%s %s = normalize(%s);\n", TypeName(type).c_str(), name.c_str(), ins[0]->name.c_str());
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileSwizzleShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[1];
    CompiledBlock* record = Begin(block, ins, 1);
    if (record == nullptr)
        return nullptr;
    const int32_t type = block->GetOutputType();
    if (type == None) {
        Fail("CompileSwizzleShaderBlock", "Invalid swizzle, no output.");
        return nullptr;
    }
    const int32_t* selectors = static_cast<const zSwizzleShaderBlock*>(block)->selectors;
    const std::string typeName = TypeName(type);
    const std::string& source = ins[0]->name;
    std::string name = NextName("swizzle");
    if (ins[0]->type == Float) {
        Appendf(fragmentBody, "%s %s = %s(", typeName.c_str(), name.c_str(), typeName.c_str());
        int32_t count = 0;
        while (count < 4 && selectors[count] != 0)
            ++count;
        for (int32_t i = 0; i < count; ++i) {
            if (selectors[i] != zSwizzleShaderBlock::SelectX) {
                Fail("CompileSwizzleShaderBlock", "Impossible swizzle.");
                return nullptr;
            }
            Appendf(fragmentBody, i + 1 < count ? "%s," : "%s)", source.c_str());
        }
    } else {
        Appendf(fragmentBody, "%s %s = %s.", typeName.c_str(), name.c_str(), source.c_str());
        const int32_t highest = ins[0]->type == Vector2 ? 2 : ins[0]->type == Vector3 ? 3 : ins[0]->type == Vector4 ? 4 : 0;
        for (int32_t i = 0; i < 4; ++i) {
            if (selectors[i] == 0)
                continue;
            if (selectors[i] < 1 || selectors[i] > highest) {
                Fail("CompileSwizzleShaderBlock", "Invalid component to swizzle.");
                return nullptr;
            }
            fragmentBody += "xyzw"[selectors[i] - 1];
        }
    }
    fragmentBody += ";\n";
    return Succeed(record, std::move(name), type);
}

CompiledBlock* GL3_RenderMapCompiler::CompileBuild(const zShaderBlock* block)
{
    CompiledBlock* ins[4];
    CompiledBlock* record = Begin(block, ins, 4, true);
    if (record == nullptr)
        return nullptr;
    const int32_t* modes = static_cast<const zBuildShaderBlock*>(block)->modes;
    std::string components[4];
    int32_t count = 0;
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t mode = modes[i];
        if (mode == zBuildShaderBlock::ModeZero) {
            components[count++] = "0.0";
        } else if (mode == zBuildShaderBlock::ModeOne) {
            components[count++] = "1.0";
        } else if (mode >= zBuildShaderBlock::ModeX && mode <= zBuildShaderBlock::ModeW) {
            if (ins[i] == nullptr)
                break;
            if (ins[i]->type == Float) {
                components[count++] = ins[i]->name;
            } else {
                components[count] = ins[i]->name + "." + "xyzw"[mode - zBuildShaderBlock::ModeX];
                ++count;
            }
        }
    }
    std::string name = NextName("built");
    switch (count) {
    case 1: Appendf(fragmentBody, "float %s = %s;\n", name.c_str(), components[0].c_str()); break;
    case 2:
        Appendf(fragmentBody, "vec2 %s = vec2(%s, %s);\n", name.c_str(), components[0].c_str(),
                components[1].c_str());
        break;
    case 3:
        Appendf(fragmentBody, "vec3 %s = vec3(%s, %s, %s);\n", name.c_str(), components[0].c_str(),
                components[1].c_str(), components[2].c_str());
        break;
    case 4:
        Appendf(fragmentBody, "vec4 %s = vec4(%s, %s, %s, %s);\n", name.c_str(), components[0].c_str(),
                components[1].c_str(), components[2].c_str(), components[3].c_str());
        break;
    default: break;
    }
    static const int32_t Types[] = {None, Float, Vector2, Vector3, Vector4};
    return Succeed(record, std::move(name), Types[count]);
}

CompiledBlock* GL3_RenderMapCompiler::CompileTrigonometry(const zShaderBlock* block, const char* routine,
                                                          const char* function)
{
    CompiledBlock* ins[1];
    CompiledBlock* record = Begin(block, ins, 1);
    if (record == nullptr)
        return nullptr;
    if (ins[0]->type != Float) {
        Fail(routine, "Incompatible source type.");
        return nullptr;
    }
    std::string name = NextName(function);
    Appendf(fragmentBody, "float %s = %s(%s);\n", name.c_str(), function, ins[0]->name.c_str());
    return Succeed(record, std::move(name), Float);
}

CompiledBlock* GL3_RenderMapCompiler::CompilePowShaderBlock(const zShaderBlock* block)
{
    CompiledBlock* ins[2];
    CompiledBlock* record = Begin(block, ins, 2);
    if (record == nullptr)
        return nullptr;
    if (ins[0]->type != Float) {
        Fail("CompilePowShaderBlock", "Incompatible value type.");
        return nullptr;
    }
    if (ins[1]->type != Float) {
        Fail("CompilePowShaderBlock", "Incompatible power type.");
        return nullptr;
    }
    std::string name = NextName("pow");
    Appendf(fragmentBody, "float %s = pow(%s, %s);\n", name.c_str(), ins[0]->name.c_str(), ins[1]->name.c_str());
    return Succeed(record, std::move(name), Float);
}

CompiledBlock* GL3_RenderMapCompiler::CompilePacking(const zShaderBlock* block, bool pack)
{
    CompiledBlock* ins[1];
    CompiledBlock* record = Begin(block, ins, 1);
    if (record == nullptr)
        return nullptr;
    const int32_t type = ins[0]->type;
    if (type != Vector3 && type != Vector4) {
        Fail(pack ? "CompilePackVectorToColor" : "CompileUnpackColorToVector",
             pack ? "Invalid input to pack to vector." : "Invalid input to unpack to vector.");
        return nullptr;
    }
    std::string name = NextName(pack ? "packed_vector" : "unpacked_vector");
    const char* format;
    if (pack)
        format = type == Vector3 ? "vec3 %s = (%s + vec3(1.0, 1.0, 1.0)) * vec3(0.5, 0.5, 0.5);\n"
                                 : "vec4 %s = (%s + vec4(1.0, 1.0, 1.0, 0.0)) * vec4(0.5, 0.5, 0.5, 1.0);\n";
    else
        format = type == Vector3 ? "vec3 %s = (%s - vec3(0.5, 0.5, 0.5)) * vec3(2.0, 2.0, 2.0);\n"
                                 : "vec4 %s = (%s - vec4(0.5, 0.5, 0.5, 0.0)) * vec4(2.0, 2.0, 2.0, 1.0);\n";
    Appendf(fragmentBody, format, name.c_str(), ins[0]->name.c_str());
    return Succeed(record, std::move(name), type);
}
