#include "core/shader/zShaderBlocks.h"

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace zShaderValue;

namespace {

const zShaderBlockInfo SamplerInputs[] = {
    {"Texture", "Texture input.", Texture},
    {"UV Stream", "UV stream input.", Vector2},
};
const zShaderBlockInfo MixInputs[] = {
    {"Input A", "Source input A.", FloatOrVector},
    {"Input B", "Source input B.", FloatOrVector},
    {"Input K", "Source input K.", Float},
};
const zShaderBlockInfo PairInputs[] = {
    {"Input A", "Source input A.", FloatOrVector},
    {"Input B", "Source input B.", FloatOrVector},
};
const zShaderBlockInfo MultiplyInputs[] = {
    {"Input A", "Source input A.", FloatToMatrix},
    {"Input B", "Source input B.", FloatToMatrix},
};
const zShaderBlockInfo CrossInputs[] = {
    {"Input A", "Source input A.", Vector3},
    {"Input B", "Source input B.", Vector3},
};
const zShaderBlockInfo ClampInputs[] = {
    {"Input", "Source to clamp.", FloatOrVector},
    {"Min", "Minimum value.", FloatOrVector},
    {"Max", "Maximum value.", FloatOrVector},
};
const zShaderBlockInfo NormalizeInputs[] = {{"Input", "Source input.", AnyVector}};
const zShaderBlockInfo UnpackInputs[] = {{"Input", "Vector in the [0;1] range.", Vector3Or4}};
const zShaderBlockInfo PackInputs[] = {{"Input", "Vector in the [-1;1] range.", Vector3Or4}};
const zShaderBlockInfo SwizzleInputs[] = {{"Input", "Source input to extract components from.", FloatOrVector}};
const zShaderBlockInfo BuildInputs[] = {
    {"Input X", "Source component of the built vector.", FloatOrVector},
    {"Input Y", "Source component of the built vector.", FloatOrVector},
    {"Input Z", "Source component of the built vector.", FloatOrVector},
    {"Input W", "Source component of the built vector.", FloatOrVector},
};
const zShaderBlockInfo TrigonometryInputs[] = {{"Input", "Input value in radian.", Float}};
const zShaderBlockInfo PowInputs[] = {
    {"Value", "Input value.", Float},
    {"Power", "Power to raise value to.", Float},
};

// The swizzle selectors and the build modes as they are written.
constexpr char SwizzleLetters[] = "nxyzw";
constexpr char BuildLetters[] = "01xyzw";

// The vector type of a number of components (1 to 4), else none.
int32_t TypeOfComponents(int32_t count)
{
    static const int32_t types[] = {None, Float, Vector2, Vector3, Vector4};
    return count >= 0 && count <= 4 ? types[count] : None;
}

// An integer child of the parameter tag; anything else reads as -999.
int32_t ReadInteger(const zMetaTag* param, const char* name, const zMetaFile* document)
{
    const zMetaTag* tag = param->GetTag(name, document);
    return tag != nullptr && tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}

// Four floats from a vector child; a missing child keeps them.
void ReadVector(const zMetaTag* param, const char* name, const zMetaFile* document, float* values)
{
    const zMetaTag* tag = param->GetTag(name, document);
    if (tag == nullptr)
        return;
    zVector vector(values[0], values[1], values[2], values[3]);
    vector.FromMetaTag(tag);
    values[0] = vector.x;
    values[1] = vector.y;
    values[2] = vector.z;
    values[3] = vector.w;
}

zMetaTag* VectorTag(const char* name, const float* values)
{
    return zVector(values[0], values[1], values[2], values[3]).AsMetaTag(name, true);
}

// Reads up to four letters of a mask into values, stopping with an error at
// the first letter outside the set (the end of a short text included).
bool ReadMask(const zMetaTag* param, const char* name, const zMetaFile* document, const char* letters,
              int32_t* values, const char* method, const char* error)
{
    const zMetaTag* tag = param->GetTypedTag(name, zMetaTag::TypeString, document);
    if (tag == nullptr) {
        LogError(method) << "Parameter tag expected, none found.\n";
        return true;
    }
    const char* text = tag->GetString();
    for (int i = 0; i < 4; ++i) {
        const char* found = text[i] != '\0' ? std::strchr(letters, text[i]) : nullptr;
        if (found == nullptr) {
            LogError(method) << error;
            break;
        }
        values[i] = int32_t(found - letters);
    }
    return true;
}

zString MaskText(const int32_t* values, const char* letters)
{
    const int32_t count = int32_t(std::strlen(letters));
    char text[5] = {};
    for (int i = 0; i < 4; ++i)
        text[i] = values[i] >= 0 && values[i] < count ? letters[values[i]] : letters[0];
    return zString(text);
}

} // namespace

zString zUVStreamShaderBlock::GetId() const
{
    return zString::Format("UV%d_", index);
}

bool zUVStreamShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    const int32_t channel = ReadInteger(param, "Channel", document);
    // The index ends up in the names of the renderer's program.
    if (channel < 0 || channel > MaxIndex) {
        LogError("zUVStreamShaderBlock::ParamFromMetaTag")
            << "Invalid UV channel (" << channel << "), expected 0 to " << MaxIndex << ".\n";
        return false;
    }
    index = channel;
    return true;
}

zMetaTag* zUVStreamShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->CreateInteger("Channel", index);
    return param;
}

bool zTextureShaderBlock::ParamFromMetaTag(Tavrin* core, const zMetaFile* document, const zMetaTag* param)
{
    const zMetaTag* name = param->GetTypedTag("Texture", zMetaTag::TypeString, document);
    if (name == nullptr || core == nullptr)
        return true;
    texture = core->LoadTexture(name->GetString(), true, true, 0.5f, false);
    return true;
}

zMetaTag* zTextureShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    if (texture != nullptr && !texture->id.IsEmpty())
        param->CreateString("Texture", texture->id.Get());
    return param;
}

zSampler2DShaderBlock::zSampler2DShaderBlock() : zShaderOperatorBlock(ShaderBlockSampler2D, SamplerInputs) {}

int32_t zSampler2DShaderBlock::GetOutputType() const
{
    return Connected(0) && Connected(1) ? Vector4 : None;
}

zString zSampler2DShaderBlock::GetId() const
{
    return zString::Format("Spl2d%s%s_", wrapU != 0 ? "T" : "F", wrapV != 0 ? "T" : "F");
}

bool zSampler2DShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    const zMetaTag* u = param->GetTypedTag("WrapU", zMetaTag::TypeInteger, document);
    const zMetaTag* v = param->GetTypedTag("WrapV", zMetaTag::TypeInteger, document);
    if (u != nullptr)
        wrapU = u->GetInteger() != 0 ? 1 : 0;
    if (v != nullptr)
        wrapV = v->GetInteger() != 0 ? 1 : 0;
    return true;
}

zMetaTag* zSampler2DShaderBlock::ParamAsMetaTag() const
{
    if (wrapU != 0 && wrapV != 0)
        return nullptr;
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    if (wrapU == 0)
        param->CreateInteger("WrapU", 0);
    if (wrapV == 0)
        param->CreateInteger("WrapV", 0);
    return param;
}

zString zConstantShaderBlock::GetId() const
{
    switch (kind) {
    case None: return zString("ConstNone_");
    case Float: return zString("ConstFloat_");
    case Vector2: return zString("ConstVec2_");
    case Vector3: return zString("ConstVec3_");
    case Vector4: return zString("ConstVec4_");
    default:
        LogError("zConstantShaderBlock::GetId") << "Unknown constant.\n";
        return zString("ConstUnk_");
    }
}

bool zConstantShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    kind = ReadInteger(param, "Type", document);
    ReadVector(param, "Value", document, value);
    return true;
}

zMetaTag* zConstantShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->CreateInteger("Type", kind);
    param->AddChild(VectorTag("Value", value));
    return param;
}

bool zColorShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    ReadVector(param, "Color", document, colour);
    return true;
}

zMetaTag* zColorShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->AddChild(VectorTag("Color", colour));
    return param;
}

int32_t zMaterialParameterShaderBlock::GetOutputType() const
{
    return index == 4 ? Float : Vector4;
}

zString zMaterialParameterShaderBlock::GetId() const
{
    return zString::Format("MatParm%d_", index);
}

bool zMaterialParameterShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    const int32_t parameter = ReadInteger(param, "Param", document);
    // The index ends up in the names of the renderer's program.
    if (parameter < 0 || parameter > MaxIndex) {
        LogError("zMaterialParameterShaderBlock::ParamFromMetaTag")
            << "Invalid material parameter (" << parameter << "), expected 0 to " << MaxIndex << ".\n";
        return false;
    }
    index = parameter;
    return true;
}

zMetaTag* zMaterialParameterShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->CreateInteger("Param", index);
    return param;
}

zMixShaderBlock::zMixShaderBlock() : zShaderOperatorBlock(ShaderBlockMix, MixInputs) {}

int32_t zMixShaderBlock::GetOutputType() const
{
    if (!Connected(0) || !Connected(1) || !Connected(2))
        return None;
    const int32_t a = GetInputType(0);
    return a == GetInputType(1) && GetInputType(2) == Float ? a : None;
}

int32_t zComponentWiseShaderBlock::GetOutputType() const
{
    if (!Connected(0) || !Connected(1))
        return None;
    const int32_t a = GetInputType(0);
    return a == GetInputType(1) ? a : None;
}

zAddShaderBlock::zAddShaderBlock() : zComponentWiseShaderBlock(ShaderBlockAdd, PairInputs) {}
zSubtractShaderBlock::zSubtractShaderBlock() : zComponentWiseShaderBlock(ShaderBlockSubtract, PairInputs) {}
zDivideShaderBlock::zDivideShaderBlock() : zComponentWiseShaderBlock(ShaderBlockDivide, PairInputs) {}

zMultiplyShaderBlock::zMultiplyShaderBlock() : zShaderOperatorBlock(ShaderBlockMultiply, MultiplyInputs) {}

int32_t zMultiplyShaderBlock::GetOutputType() const
{
    if (!Connected(0) || !Connected(1))
        return None;
    const int32_t a = GetInputType(0);
    const int32_t b = GetInputType(1);
    const int32_t lo = std::min(a, b);
    const int32_t hi = std::max(a, b);
    switch (hi) {
    case Float:
    case Vector2:
    case Vector3:
    case Vector4: return lo == hi ? hi : None;
    case Matrix3: return lo == Vector3 ? Vector3 : None;
    case Matrix4: return lo == Vector4 ? Vector4 : None;
    default: return None;
    }
}

zDotShaderBlock::zDotShaderBlock() : zShaderOperatorBlock(ShaderBlockDot, PairInputs) {}

int32_t zDotShaderBlock::GetOutputType() const
{
    return Connected(0) && Connected(1) && GetInputType(0) == GetInputType(1) ? Float : None;
}

zCrossShaderBlock::zCrossShaderBlock() : zShaderOperatorBlock(ShaderBlockCross, CrossInputs) {}

int32_t zCrossShaderBlock::GetOutputType() const
{
    if (!Connected(0) || !Connected(1))
        return None;
    const int32_t a = GetInputType(0);
    return a == GetInputType(1) || a == Vector3 ? Vector3 : None;
}

zClampShaderBlock::zClampShaderBlock() : zShaderOperatorBlock(ShaderBlockClamp, ClampInputs) {}

int32_t zClampShaderBlock::GetOutputType() const
{
    if (!Connected(0) || !Connected(1) || !Connected(2))
        return None;
    const int32_t value = GetInputType(0);
    return GetInputType(1) == value && GetInputType(2) == value ? value : None;
}

int32_t zUnaryShaderBlock::GetOutputType() const
{
    return Connected(0) ? GetInputType(0) : None;
}

zNormalizeShaderBlock::zNormalizeShaderBlock() : zUnaryShaderBlock(ShaderBlockNormalize, NormalizeInputs) {}
zUnpackColorShaderBlock::zUnpackColorShaderBlock() : zUnaryShaderBlock(ShaderBlockUnpackColor, UnpackInputs) {}
zPackVectorShaderBlock::zPackVectorShaderBlock() : zUnaryShaderBlock(ShaderBlockPackVector, PackInputs) {}

zSwizzleShaderBlock::zSwizzleShaderBlock() : zShaderOperatorBlock(ShaderBlockSwizzle, SwizzleInputs) {}

zSwizzleShaderBlock::zSwizzleShaderBlock(zShaderBlock* input, int32_t x, int32_t y, int32_t z, int32_t w)
    : zSwizzleShaderBlock()
{
    SetInput(0, input);
    selectors[0] = x;
    selectors[1] = y;
    selectors[2] = z;
    selectors[3] = w;
}

int32_t zSwizzleShaderBlock::GetOutputType() const
{
    if (!Connected(0) || GetInputType(0) == None)
        return None;
    int32_t count = 0;
    for (int32_t selector : selectors)
        count += selector != SelectNone ? 1 : 0;
    return TypeOfComponents(count);
}

zString zSwizzleShaderBlock::GetId() const
{
    return zString::Format("Swz%d%d%d%d_", selectors[0], selectors[1], selectors[2], selectors[3]);
}

bool zSwizzleShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    return ReadMask(param, "Swizzle", document, SwizzleLetters, selectors, "zSwizzleShaderBlock::ParamFromMetaTag",
                    "Unexpected end of swizzle mask.\n");
}

zMetaTag* zSwizzleShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->CreateString("Swizzle", MaskText(selectors, SwizzleLetters).Get());
    return param;
}

zBuildShaderBlock::zBuildShaderBlock() : zShaderOperatorBlock(ShaderBlockBuild, BuildInputs) {}

zBuildShaderBlock::zBuildShaderBlock(zShaderBlock* x, int32_t modeX, zShaderBlock* y, int32_t modeY, zShaderBlock* z,
                                     int32_t modeZ, zShaderBlock* w, int32_t modeW)
    : zBuildShaderBlock()
{
    zShaderBlock* sources[4] = {x, y, z, w};
    const int32_t wanted[4] = {modeX, modeY, modeZ, modeW};
    for (uint32_t i = 0; i < 4; ++i) {
        SetInput(i, sources[i]);
        modes[i] = wanted[i];
    }
}

int32_t zBuildShaderBlock::GetOutputType() const
{
    int32_t count = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        if (modes[i] == ModeZero || modes[i] == ModeOne) {
            ++count;
            continue;
        }
        if (!Connected(i))
            break;
        if (GetInputType(i) == None)
            return None;
        ++count;
    }
    return TypeOfComponents(count);
}

zString zBuildShaderBlock::GetId() const
{
    return zString::Format("Bld%d%d%d%d_", modes[0], modes[1], modes[2], modes[3]);
}

bool zBuildShaderBlock::ParamFromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* param)
{
    return ReadMask(param, "Build", document, BuildLetters, modes, "zBuildShaderBlock::ParamFromMetaTag",
                    "Unexpected end of build mask.\n");
}

zMetaTag* zBuildShaderBlock::ParamAsMetaTag() const
{
    auto* param = new (std::nothrow) zMetaTag("Param");
    if (param == nullptr)
        return nullptr;
    param->CreateString("Build", MaskText(modes, BuildLetters).Get());
    return param;
}

zSinusShaderBlock::zSinusShaderBlock() : zShaderOperatorBlock(ShaderBlockSinus, TrigonometryInputs) {}
zCosinusShaderBlock::zCosinusShaderBlock() : zShaderOperatorBlock(ShaderBlockCosinus, TrigonometryInputs) {}
zPowShaderBlock::zPowShaderBlock() : zShaderOperatorBlock(ShaderBlockPow, PowInputs) {}
