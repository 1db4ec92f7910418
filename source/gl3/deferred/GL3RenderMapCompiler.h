#pragma once

#include "core/shader/StreamBlocks.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

#include <cstdint>
#include <string>
#include <vector>

class zGL3ShaderRecord;
class zShaderBlock;
class zTexture;

// One block of the map being compiled: the GLSL variable holding its value.
struct CompiledBlock {
    // Empty until the block compiled; stays empty when it failed.
    std::string name;
    // Value type code (zShaderValue), 1 until the block compiled.
    int32_t type = 1;
    // Borrowed from the graph being compiled (or the compiler's own normal
    // stream, see CompileTangentFrame).
    const zShaderBlock* source = nullptr;
    // True once the block's routine succeeded.
    bool compiled = false;
};

// A value a compiled map sends to its program at draw time.
class RenderMapUniform : public zLinkedListIdEntry {
public:
    explicit RenderMapUniform(const char* variable) : zLinkedListIdEntry(variable) {}
    // 9 constant, 10 colour, 13 view vector, 30 clock.
    int32_t blockType = 0;
    int32_t valueType = 1;
    // -1 when the program does not use the uniform.
    int32_t location = -1;
    // Copied from constant and colour blocks; zero for the others.
    float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// What SetupShaderMap returns: the shared program and the textures,
// coordinate sets and uniforms the program needs. Owned by its caller.
struct CompiledRenderMap {
    static constexpr int32_t MaxTextures = 6;
    struct TextureSlot {
        // Borrowed from the texture cache.
        zTexture* texture = nullptr;
        // -1 for an empty slot; slots fill from 0 without gaps.
        int32_t location = -1;
    };

    // Shared by every map with the same key and pass; owned by the renderer's
    // shader list. Null when the loader gave none.
    zGL3ShaderRecord* program = nullptr;
    TextureSlot textures[MaxTextures];
    // Per slot, S then T: 1 repeat, 0 clamp to edge.
    uint8_t wrap[MaxTextures][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}};
    // 1 when the program reads UV set 0 to 3.
    uint8_t uvSets[4] = {};
    // Owned, named by the uniform's variable.
    zLinkedListId uniforms;
};

// Turns a shader-map graph into GLSL text, one block at a time, depth first.
// Callers Reset, compile the roots while appending their own lines to the
// sections, let the renderer build the program (zGL3Renderer::SetupShaderMap),
// then Reset again. Main thread only. Failures are logged with "[!] " and give
// null; text a failed routine already wrote stays in the sections.
class GL3_RenderMapCompiler {
public:
    GL3_RenderMapCompiler();
    ~GL3_RenderMapCompiler();
    GL3_RenderMapCompiler(const GL3_RenderMapCompiler&) = delete;
    GL3_RenderMapCompiler& operator=(const GL3_RenderMapCompiler&) = delete;

    void Reset();
    // Null for a null block, an unsupported type or a failed compilation
    // (also when an equivalent block compiled earlier had failed). The
    // record belongs to the compiler until the next Reset.
    CompiledBlock* CompileShaderBlock(const zShaderBlock* block);
    // The record compiled for a block equivalent to this one, or null.
    const CompiledBlock* FindCompiled(const zShaderBlock* block) const;

    // The GLSL name of a value type: only 4, 8, 16 and 32 have one (false,
    // text emptied, for the others).
    static bool GetTypeName(int32_t type, std::string& text);

    const std::string& GetKey() const { return key; }
    const std::vector<CompiledBlock*>& GetCompiledBlocks() const { return blocks; }

    // The four sections; callers append their own lines to them.
    std::string vertexDeclarations;
    std::string vertexBody;
    std::string fragmentDeclarations;
    std::string fragmentBody;

private:
    CompiledBlock* Compile(const zShaderBlock* block);
    // Appends the record a routine fills, and compiles the block's inputs
    // into ins (null entries for unconnected inputs when optional). False
    // when a required input is missing or failed.
    CompiledBlock* Begin(const zShaderBlock* block, CompiledBlock** ins, uint32_t count, bool inputsOptional = false);
    std::string NextName(const char* prefix);
    CompiledBlock* Succeed(CompiledBlock* record, std::string name, int32_t type);

    CompiledBlock* CompileVertexStream(const zShaderBlock* block);
    CompiledBlock* CompileNormalStream(const zShaderBlock* block);
    CompiledBlock* CompileUVStream(const zShaderBlock* block);
    CompiledBlock* CompileSkinning(const zShaderBlock* block);
    CompiledBlock* CompileVertexColor(const zShaderBlock* block);
    CompiledBlock* CompileTangentFrame(const zShaderBlock* block);
    CompiledBlock* CompileTexture(const zShaderBlock* block);
    CompiledBlock* CompileSampler2dShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileConstant(const zShaderBlock* block);
    CompiledBlock* CompileSimpleUniform(const zShaderBlock* block, const char* prefix, const char* format,
                                        int32_t type);
    CompiledBlock* CompileMaterialParameter(const zShaderBlock* block);
    CompiledBlock* CompileScreenUV(const zShaderBlock* block);
    CompiledBlock* CompileMixShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileComponentWise(const zShaderBlock* block, const char* routine, const char* prefix,
                                        const char* op, const char* mismatch, const char* badType);
    CompiledBlock* CompileMulShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileDotShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileCrossShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileClampShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileNormalize(const zShaderBlock* block);
    CompiledBlock* CompileSwizzleShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompileBuild(const zShaderBlock* block);
    CompiledBlock* CompileTrigonometry(const zShaderBlock* block, const char* routine, const char* function);
    CompiledBlock* CompilePowShaderBlock(const zShaderBlock* block);
    CompiledBlock* CompilePacking(const zShaderBlock* block, bool pack);

    std::string key;
    std::vector<CompiledBlock*> blocks;
    int32_t counter = 0;
    // The normal stream a tangent frame needs. Kept for the compiler's life:
    // records may point at it and later blocks are compared with it.
    NormalStreamBlock tangentNormal;
};
