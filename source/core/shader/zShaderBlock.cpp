#include "core/shader/zShaderBlock.h"

#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <new>
#include <unordered_set>

namespace {

// What every block of a type shares: names, the output record and, for types
// whose output does not depend on inputs or parameters, the output type.
struct BlockTraits {
    const char* typeName;
    const char* displayName;
    const char* idPrefix;
    int32_t outputType;
    zShaderBlockInfo output;
};

using namespace zShaderValue;

const BlockTraits Traits[ShaderBlockTypeCount] = {
    {"None", "", "", None, {"", "", 1}},
    {"Invalid", "Vertex Stream", "Vertex_", Vector4, {"Vector", "Vertex stream.", 1}},
    {"Geometry Normal", "Normal Stream", "Nrm_", Vector3, {"Normal", "Normal stream.", 1}},
    {"Geometry UV", "UV Stream", "UV%d_", Vector2, {"UV", "UV stream.", 1}},
    {"Geometry Skinning", "Skinning Matrix", "SkinMtx_", Matrix4, {"Vector", "Skinned vector.", 1}},
    {"Geometry RGB", "Vertex Color Stream", "VtxClr_", Vector3, {"Color", "Vertex color stream.", 1}},
    {"Geometry Tangent Frame", "Tangent Frame", "TngFrm_", Matrix3, {"Tangent", "Tangent frame.", 1}},
    {"Texture", "Texture", "Tex_", Texture, {"Texture", "Texture object.", 1}},
    {"Sampler 2D", "Sampler 2D", "Spl2d%s%s_", None, {"Texel", "Texture sample.", 1}},
    {"Constant", "Constant", "Const", None, {"Constant", "Constant value.", 1}},
    {"Color", "Color", "Color_", Vector4, {"Color", "RGBA Color.", 1}},
    {"Material Parameter", "Material Parameter", "MatParm%d_", None, {"Color", "Material parameter.", 1}},
    {"Screen UV", "Screen UV", "ScnUV_", Vector2, {"Screen UV", "Screen position.", 1}},
    {"View Vector", "View Vector", "ViewV_", Vector3, {"Vector", "View vector in world space.", 1}},
    {"Mix", "Mix", "Mix_", None, {"A*K+B*(1-K)", "Input A * Input K + Input B * (1.0 - Input K).", 1}},
    {"Add", "Add", "Add_", None, {"A+B", "Input A + Input B.", 1}},
    {"Multiply", "Mul", "Mul_", None, {"A*B", "Input A * Input B.", 1}},
    {"Subtract", "Sub", "Sub_", None, {"A-B", "Input A - Input B.", 1}},
    {"Divide", "Div", "Div_", None, {"A/B", "Input A / Input B.", 1}},
    {"Dot", "Dot", "Dot_", None, {"A.Dot(B)", "The cosinus of the angle between A and B.", 1}},
    {"Cross", "Cross", "Crs_", None, {"A.Cross(B)", "A vector perpendicular to both A and B.", 1}},
    {"Clamp", "Clamp", "Clmp_", None, {"Vector", "Clamped input.", 1}},
    {"Normalize", "Normalize", "Nrmz_", None, {"Vector", "Normalized input.", 1}},
    {"Swizzle", "Swizzle", "Swz%d%d%d%d_", None, {"Vector", "Swizzled input.", 1}},
    {"Build", "Build", "Bld%d%d%d%d_", None, {"Vector", "Built vector.", 1}},
    {"Sinus", "Sinus", "Sin_", Float, {"Sinus", "Sinus of input.", 1}},
    {"Cosinus", "Cosinus", "Cos_", Float, {"Cosinus", "Cosinus of input.", 1}},
    {"Pow", "Pow", "Pow_", Float, {"Pow", "Value raised to power.", 1}},
    {"Unpack color to vector", "Unpack Color", "CToV_", None, {"Vector", "Vector in the [-1;1] range.", 1}},
    {"Pack vector to color", "Pack Vector", "VToC_", None, {"Color", "Vector in the [0;1] range.", 1}},
    {"Clock", "Clock", "Clk_", Float, {"Clock (s)", "System clock in second.", 1}},
};

const BlockTraits& TraitsOf(int32_t type)
{
    return type > 0 && type < ShaderBlockTypeCount ? Traits[type] : Traits[0];
}

// Output-type queries in progress on this thread, and the number of the
// outermost one, which tells the cached types that are still current.
thread_local uint32_t typeQueryDepth = 0;
thread_local uint64_t typeQueryNumber = 0;

} // namespace

const char* GetShaderBlockTypeName(int32_t type)
{
    return type >= 0 && type < ShaderBlockTypeCount ? Traits[type].typeName : "Invalid";
}

int32_t FindShaderBlockType(const char* name)
{
    if (name == nullptr)
        return ShaderBlockNone;
    for (int32_t type = 0; type < ShaderBlockTypeCount; ++type) {
        if (std::strcmp(Traits[type].typeName, name) == 0)
            return type;
    }
    return ShaderBlockNone;
}

zShaderBlock* CreateShaderBlock(int32_t type)
{
    switch (type) {
    case ShaderBlockVertexStream: return new (std::nothrow) VertexStreamBlock();
    case ShaderBlockNormalStream: return new (std::nothrow) NormalStreamBlock();
    case ShaderBlockUVStream: return new (std::nothrow) zUVStreamShaderBlock();
    case ShaderBlockSkinning: return new (std::nothrow) SkinningMatrixBlock();
    case ShaderBlockVertexColorStream: return new (std::nothrow) zVertexColorStreamShaderBlock();
    case ShaderBlockTangentFrame: return new (std::nothrow) zTangentFrameShaderBlock();
    case ShaderBlockTexture: return new (std::nothrow) zTextureShaderBlock();
    case ShaderBlockSampler2D: return new zSampler2DShaderBlock();
    case ShaderBlockConstant: return new (std::nothrow) zConstantShaderBlock();
    case ShaderBlockColor: return new (std::nothrow) zColorShaderBlock();
    case ShaderBlockMaterialParameter: return new (std::nothrow) zMaterialParameterShaderBlock();
    case ShaderBlockScreenUV: return new (std::nothrow) zScreenUVShaderBlock();
    case ShaderBlockViewVector: return new (std::nothrow) zViewVectorShaderBlock();
    case ShaderBlockMix: return new (std::nothrow) zMixShaderBlock();
    case ShaderBlockAdd: return new (std::nothrow) zAddShaderBlock();
    case ShaderBlockMultiply: return new (std::nothrow) zMultiplyShaderBlock();
    case ShaderBlockSubtract: return new (std::nothrow) zSubtractShaderBlock();
    case ShaderBlockDivide: return new (std::nothrow) zDivideShaderBlock();
    case ShaderBlockDot: return new (std::nothrow) zDotShaderBlock();
    case ShaderBlockCross: return new (std::nothrow) zCrossShaderBlock();
    case ShaderBlockClamp: return new (std::nothrow) zClampShaderBlock();
    case ShaderBlockNormalize: return new (std::nothrow) zNormalizeShaderBlock();
    case ShaderBlockSwizzle: return new (std::nothrow) zSwizzleShaderBlock();
    case ShaderBlockBuild: return new (std::nothrow) zBuildShaderBlock();
    case ShaderBlockSinus: return new (std::nothrow) zSinusShaderBlock();
    case ShaderBlockCosinus: return new (std::nothrow) zCosinusShaderBlock();
    case ShaderBlockPow: return new (std::nothrow) zPowShaderBlock();
    case ShaderBlockUnpackColor: return new (std::nothrow) zUnpackColorShaderBlock();
    case ShaderBlockPackVector: return new (std::nothrow) zPackVectorShaderBlock();
    case ShaderBlockClock: return new (std::nothrow) zClockShaderBlock();
    default: return nullptr;
    }
}

zShaderBlock* zShaderBlock::GetInput(uint32_t) const
{
    return nullptr;
}

bool zShaderBlock::SetInput(uint32_t, zShaderBlock*)
{
    return false;
}

const zShaderBlockInfo* zShaderBlock::GetInputInfo(uint32_t) const
{
    return nullptr;
}

const zShaderBlockInfo* zShaderBlock::GetOutputInfo() const
{
    return &TraitsOf(type).output;
}

int32_t zShaderBlock::GetOutputType() const
{
    return TraitsOf(type).outputType;
}

zString zShaderBlock::GetDisplayName() const
{
    return zString(TraitsOf(type).displayName);
}

zString zShaderBlock::GetId() const
{
    return zString(TraitsOf(type).idPrefix);
}

bool zShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile*, const zMetaTag*)
{
    return true;
}

bool zShaderBlock::IsEquivalent(const zShaderBlock* other) const
{
    if (other == this)
        return true;
    if (other == nullptr || other->type != type)
        return false;
    switch (type) {
    case ShaderBlockVertexStream:
    case ShaderBlockNormalStream:
    case ShaderBlockSkinning:
    case ShaderBlockVertexColorStream:
    case ShaderBlockTangentFrame:
    case ShaderBlockScreenUV:
    case ShaderBlockViewVector:
    case ShaderBlockClock: return true;
    case ShaderBlockUVStream:
        return static_cast<const zUVStreamShaderBlock*>(this)->index ==
            static_cast<const zUVStreamShaderBlock*>(other)->index;
    case ShaderBlockTexture:
        return static_cast<const zTextureShaderBlock*>(this)->texture ==
            static_cast<const zTextureShaderBlock*>(other)->texture;
    case ShaderBlockMaterialParameter:
        return static_cast<const zMaterialParameterShaderBlock*>(this)->index ==
            static_cast<const zMaterialParameterShaderBlock*>(other)->index;
    default: return false;
    }
}

bool zShaderBlock::DependsOn(const zShaderBlock* target) const
{
    // Iterative, with each block visited once: graphs read from files may be
    // deep and share blocks along many paths.
    std::vector<const zShaderBlock*> pending{this};
    std::unordered_set<const zShaderBlock*> visited{this};
    while (!pending.empty()) {
        const zShaderBlock* block = pending.back();
        pending.pop_back();
        if (block == target)
            return true;
        for (uint32_t i = 0, n = block->GetInputCount(); i < n; ++i) {
            const zShaderBlock* input = block->GetInput(i);
            if (input != nullptr && visited.insert(input).second)
                pending.push_back(input);
        }
    }
    return false;
}

bool zShaderBlock::AcceptsInput(uint32_t i, const zShaderBlock* block) const
{
    if (block == nullptr)
        return true;
    const zShaderBlockInfo* info = GetInputInfo(i);
    if (info == nullptr || (block->GetOutputType() & info->types) == 0)
        return false;
    if (block->DependsOn(this)) {
        LogError("zShaderBlock::SetInput") << "Connecting a " << GetDisplayName() << " block to a "
                                           << block->GetDisplayName() << " block would close a cycle.\n";
        return false;
    }
    return true;
}

int32_t zShaderBlock::GetInputType(uint32_t i) const
{
    const zShaderBlock* input = GetInput(i);
    return input != nullptr ? input->QueryOutputType() : zShaderValue::None;
}

int32_t zShaderBlock::QueryOutputType() const
{
    if (typeQueryDepth == 0)
        ++typeQueryNumber;
    else if (cachedQuery == typeQueryNumber)
        return cachedType;
    ++typeQueryDepth;
    const int32_t result = GetOutputType();
    --typeQueryDepth;
    cachedType = result;
    cachedQuery = typeQueryNumber;
    return result;
}
