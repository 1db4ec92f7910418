#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"

#include <string>

using namespace sqfamily;

namespace {

// The stage feeding a channel, or null with the error line logged: a null
// material, a channel outside 0..9 or a channel no stage feeds.
zTextureStage* FetchStage(zMaterial* material, SQInteger channel, const char* method)
{
    if (material == nullptr) {
        LogError(method) << "Cannot edit NullMaterial properties.\n";
        return nullptr;
    }
    zTextureStage* stage = nullptr;
    // Indices past the channel table are refused like an unfed channel rather
    // than read out of bounds.
    if (channel >= 0 && channel < zMaterial::ChannelCount)
        stage = material->channels[channel];
    if (stage == nullptr)
        LogError(method) << "Could not fetch texture stage (" << std::to_string(channel).c_str() << ") from material '"
                         << (material->name.Get() != nullptr ? material->name.Get() : "") << "'.\n";
    return stage;
}

zVector ToVector(const zColor& c)
{
    return zVector(c.r, c.g, c.b, c.a);
}

// A colour argument read from the Vector's members, alpha included; a value
// without them leaves the colour as it was.
void ReadColour(HSQUIRRELVM v, SQInteger idx, zColor& colour)
{
    zVector in(colour.r, colour.g, colour.b, colour.a);
    if (SqGetVector(v, idx, in, true))
        colour = zColor(in.x, in.y, in.z, in.w);
}

SQInteger MaterialGetName(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    const char* name = material == nullptr ? "NULL_Material" : material->name.Get();
    sq_pushstring(v, name != nullptr ? name : "", -1);
    return 1;
}

#define COLOUR_FUNCTIONS(Get, Set, field)                                                                            \
    SQInteger Get(HSQUIRRELVM v)                                                                                     \
    {                                                                                                                \
        SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);                                                             \
        return PushVector4(v, material != nullptr ? ToVector(material->field) : zVector(0.0f, 0.0f, 0.0f, 1.0f));   \
    }                                                                                                                \
    SQInteger Set(HSQUIRRELVM v)                                                                                     \
    {                                                                                                                \
        SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);                                                             \
        if (material != nullptr)                                                                                     \
            ReadColour(v, 3, material->field);                                                                       \
        return 0;                                                                                                    \
    }

COLOUR_FUNCTIONS(MaterialGetAmbient, MaterialSetAmbient, ambient)
COLOUR_FUNCTIONS(MaterialGetSpecular, MaterialSetSpecular, specular)
COLOUR_FUNCTIONS(MaterialGetDiffuse, MaterialSetDiffuse, diffuse)
COLOUR_FUNCTIONS(MaterialGetSelfIllum, MaterialSetSelfIllum, selfIllumination)

#undef COLOUR_FUNCTIONS

SQInteger MaterialUpdate(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    if (material != nullptr)
        material->Update();
    return 0;
}

SQInteger MaterialChannelGetUVMatrix(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    const zTextureStage* stage = FetchStage(material, GetInt(v, 3), "MaterialChannelGetUVMatrix");
    if (!SqPushNewMatrix4(v, stage != nullptr ? stage->matrix : zMatrix4()))
        sq_pushnull(v);
    return 1;
}

// The matrix is read before the stage is looked up, so a wrong argument is
// the script's error whatever the material.
SQInteger MaterialChannelSetUVMatrix(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    SQ_MATRIX4_ARG(matrix, 4);
    if (zTextureStage* stage = FetchStage(material, GetInt(v, 3), "MaterialChannelSetUVMatrix"))
        stage->matrix = matrix;
    return 0;
}

SQInteger MaterialChannelGetActive(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    const zTextureStage* stage = FetchStage(material, GetInt(v, 3), "MaterialChannelGetActive");
    return PushBool(v, stage != nullptr && stage->active != 0);
}

SQInteger MaterialChannelSetActive(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    zTextureStage* stage = FetchStage(material, GetInt(v, 3), "MaterialChannelSetActive");
    if (stage != nullptr) {
        stage->active = GetBool(v, 4) ? 1 : 0;
        material->Update();
    }
    return 0;
}

SQInteger MaterialChannelSetTexture(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    SQ_FETCH(zTexture, texture, 3, SqPtrTexture);
    zTextureStage* stage = FetchStage(material, GetInt(v, 4), "MaterialChannelSetTexture");
    if (stage != nullptr) {
        stage->texture = texture;
        stage->active = texture != nullptr ? 1 : 0;
        material->Update();
    }
    return 0;
}

SQInteger MaterialChannelGetTexture(HSQUIRRELVM v)
{
    SQ_FETCH(zMaterial, material, 2, SqPtrMaterial);
    const zTextureStage* stage = FetchStage(material, GetInt(v, 3), "MaterialChannelGetTexture");
    return PushHandle(v, stage != nullptr ? stage->texture : nullptr, SqPtrTexture);
}

} // namespace

void SqRegisterMaterialFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, MaterialGetName, "MaterialGetName", "x|tu");
    SqRegisterFunction(v, MaterialGetAmbient, "MaterialGetAmbient", "x|tu");
    SqRegisterFunction(v, MaterialSetAmbient, "MaterialSetAmbient", "x|tux");
    SqRegisterFunction(v, MaterialGetSpecular, "MaterialGetSpecular", "x|tu");
    // The script name is spelt this way; scripts call it so.
    SqRegisterFunction(v, MaterialSetSpecular, "MaterialSetSecular", "x|tux");
    SqRegisterFunction(v, MaterialGetDiffuse, "MaterialGetDiffuse", "x|tu");
    SqRegisterFunction(v, MaterialSetDiffuse, "MaterialSetDiffuse", "x|tux");
    SqRegisterFunction(v, MaterialGetSelfIllum, "MaterialGetSelfIllum", "x|tu");
    SqRegisterFunction(v, MaterialSetSelfIllum, "MaterialSetSelfIllum", "x|tux");
    SqRegisterFunction(v, MaterialUpdate, "MaterialUpdate", "x|tu");
    SqRegisterFunction(v, MaterialChannelGetUVMatrix, "MaterialChannelGetUVMatrix", "x|tui");
    SqRegisterFunction(v, MaterialChannelSetUVMatrix, "MaterialChannelSetUVMatrix", "x|tuix");
    SqRegisterFunction(v, MaterialChannelGetActive, "MaterialChannelGetActive", "x|tui");
    SqRegisterFunction(v, MaterialChannelSetActive, "MaterialChannelSetActive", "x|tuib");
    SqRegisterFunction(v, MaterialChannelSetTexture, "MaterialChannelSetTexture", "x|tuui");
    SqRegisterFunction(v, MaterialChannelGetTexture, "MaterialChannelGetTexture", "x|tui");

    RegisterNullHandle(v, "NullMaterial", SqPtrMaterial);
    RegisterInteger(v, "ChannelColor", zMaterial::ChannelColor);
    RegisterInteger(v, "ChannelDiffuse", zMaterial::ChannelDiffuse);
    RegisterInteger(v, "ChannelDetail", zMaterial::ChannelDetail);
    RegisterInteger(v, "ChannelOpacity", zMaterial::ChannelOpacity);
    RegisterInteger(v, "ChannelSpecular", zMaterial::ChannelSpecular);
    RegisterInteger(v, "ChannelGlossiness", zMaterial::ChannelGlossiness);
    RegisterInteger(v, "ChannelNormal", zMaterial::ChannelNormal);
    RegisterInteger(v, "ChannelReflection", zMaterial::ChannelReflection);
    RegisterInteger(v, "ChannelSelfIllum", zMaterial::ChannelSelfIllum);
}
