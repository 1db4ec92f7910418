#include "core/material/zMaterial.h"

#include "core/render/zRenderer.h"
#include "core/render/zShaderRecord.h"
#include "core/resource/zTexture.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct FlagName {
    const char* name;
    uint32_t flag;
};

// In the order the writer lists them; the last two are read-only spellings.
const FlagName renderFlagNames[] = {
    {"Lit", zMaterial::FlagLit},
    {"Smoothing", zMaterial::FlagSmoothing},
    {"Additive", zMaterial::FlagAdditive},
    {"DoubleSided", zMaterial::FlagDoubleSided},
    {"Wireframe", zMaterial::FlagWireframe},
    {"VertexColor", zMaterial::FlagVertexColor},
    {"SoftBody", zMaterial::FlagSoftBody},
    {"Subtractive", zMaterial::FlagSubtractive},
    {"ForceVertexNormal", zMaterial::FlagForceVertexNormal},
    {"NormalMapTangent", zMaterial::FlagNormalMapTangent},
    {"ParralaxDisp", zMaterial::FlagParralaxDisp},
    {"NoZWrite", zMaterial::FlagNoZWrite},
    {"NoZTest", zMaterial::FlagNoZTest},
    {"NoFog", zMaterial::FlagNoFog},
    {"FixedFunction", zMaterial::FlagFixedFunction},
    {"RGB", zMaterial::FlagVertexColor},
    {"Substractive", zMaterial::FlagSubtractive},
};
constexpr int writtenFlagNames = 15;

const char* const channelNames[zMaterial::ChannelCount] = {
    "Color", "Diffuse", "Detail", "Opacity", "Specular", "Glossiness", "Normal", "Reflection", "SelfIllum", "VertexColor",
};

// UV source names by value; 0 has none.
const char* const uvSourceNames[] = {nullptr, "UVMap", "LSNormal", "FrontMap"};

const zColor white{1.0f, 1.0f, 1.0f, 1.0f};
const zColor black{0.0f, 0.0f, 0.0f, 1.0f};

int32_t FindName(const char* const* names, int32_t count, const char* text)
{
    for (int32_t i = 0; text != nullptr && i < count; ++i) {
        if (names[i] != nullptr && std::strcmp(names[i], text) == 0)
            return i;
    }
    return -1;
}

bool ColourDiffers(const zColor& a, const zColor& b)
{
    return std::fabs(a.r - b.r) > 1e-6f || std::fabs(a.g - b.g) > 1e-6f || std::fabs(a.b - b.b) > 1e-6f
        || std::fabs(a.a - b.a) > 1e-6f;
}

template <class T> void AppendBytes(std::string& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

} // namespace

const char* GetMaterialChannelName(int32_t channel)
{
    return channel >= 0 && channel < zMaterial::ChannelCount ? channelNames[channel] : nullptr;
}

void zTextureStage::Reset()
{
    *this = zTextureStage();
}

zMaterial::zMaterial(Tavrin* owner) : core(owner)
{
}

zMaterial::~zMaterial()
{
    Free();
}

void zMaterial::Reset()
{
    transparent = 0;
    diffuse = white;
    specular = white;
    selfIllumination = black;
    ambient = white;
    glossiness = 0.4f;
    opacity = 1.0f;
    reflection = 0.0f;
    ior = 1.0f;
    maxSmoothingAngle = 0.0f;
    flags = 0;
    delete shaderMap;
    shaderMap = nullptr;
    explicitShaderMap = 0;
    for (zTextureStage*& channel : channels)
        channel = nullptr;
    for (zTextureStage& stage : stages)
        stage.Reset();
    for (uint8_t& used : uvMapsUsed)
        used = 0;
    // A record the renderer made for the old values would be lost otherwise.
    if (rendererData != nullptr && core != nullptr && core->renderer != nullptr)
        core->renderer->FreeMaterial(this);
    rendererData = nullptr;
}

void zMaterial::CheckStages()
{
    // Recomputed from the stages as they are now, so a stage deactivated since
    // the last check no longer counts.
    for (uint8_t& used : uvMapsUsed)
        used = 0;
    for (zTextureStage& stage : stages) {
        if (!stage.active || stage.uvSource != UVSourceUVMap)
            continue;
        if (stage.uvIndex < 0 || stage.uvIndex >= UVMapCount) {
            *GlobalLogStream << "[*] Invalid UVmap index in material '" << name << "', stage deactivated.\n";
            stage.active = 0;
        } else if (stage.texture == nullptr) {
            *GlobalLogStream << "[*] No stage texture in material '" << name << "', stage deactivated.\n";
            stage.active = 0;
        } else {
            uvMapsUsed[stage.uvIndex] = 1;
        }
    }
    for (int32_t channel = 0; channel < ChannelCount; ++channel) {
        channels[channel] = nullptr;
        for (zTextureStage& stage : stages) {
            if (stage.channel == channel) {
                channels[channel] = &stage;
                break;
            }
        }
    }
}

bool zMaterial::ComputeTransparency() const
{
    if ((flags & (FlagSubtractive | FlagAdditive)) != 0 || diffuse.a < 1.0f)
        return true;
    return channels[ChannelOpacity] != nullptr && channels[ChannelOpacity]->active;
}

void zMaterial::Update()
{
    // The stage check comes first so that transparency sees the stages that
    // survive it and a channel table that matches them.
    CheckStages();
    transparent = ComputeTransparency() ? 1 : 0;
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->UpdateMaterial(this);
}

void zMaterial::Setup()
{
    zModuleTagScope module(1);
    if (GlobalDebugChannel >= 0 && GlobalDebugChannel < ChannelCount) {
        CheckStages();
        const zTextureStage* shown = channels[GlobalDebugChannel];
        if (shown != nullptr && shown->active) {
            const zTextureStage kept = *shown;
            for (zTextureStage& stage : stages)
                stage.active = 0;
            stages[0] = kept;
            stages[0].active = 1;
            stages[0].channel = ChannelColor;
            diffuse = white;
            specular = black;
            shader.Clear();
        }
    }
    zRenderer* renderer = core != nullptr ? core->renderer : nullptr;
    if (renderer != nullptr)
        renderer->SetupMaterial(this);
    CheckStages();
    transparent = ComputeTransparency() ? 1 : 0;
    if (renderer != nullptr)
        renderer->UpdateMaterial(this);
}

void zMaterial::Free()
{
    delete shaderMap;
    shaderMap = nullptr;
    explicitShaderMap = 0;
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->FreeMaterial(this);
    rendererData = nullptr;
    shader.Clear();
    name.Clear();
}

namespace {

std::string ShaderMapText(const zShaderMap& map)
{
    std::string text;
    std::unique_ptr<zMetaTag> tag(map.AsMetaTag(nullptr));
    if (tag != nullptr)
        zMetaParser::SaveTag(text, nullptr, tag.get(), 0);
    return text;
}

} // namespace

void zMaterial::AppendContent(std::string& out) const
{
    // Derived values (transparency, channel table, UV maps used) follow from
    // these and are left out, so that an updated and a fresh copy agree.
    AppendBytes(out, physicMaterial);
    AppendBytes(out, shader.GetLength());
    if (!shader.IsEmpty())
        out.append(shader.Get(), size_t(shader.GetLength()));
    for (const zColor* colour : {&diffuse, &specular, &selfIllumination, &ambient})
        AppendBytes(out, *colour);
    for (float value : {glossiness, opacity, reflection, ior, maxSmoothingAngle})
        AppendBytes(out, value);
    AppendBytes(out, flags);
    // A map counts by its content, and only where it differs from the map the
    // other fields generate: so a generated map, a written and read copy of
    // one, and no map at all agree.
    if (shaderMap != nullptr) {
        const std::string text = ShaderMapText(*shaderMap);
        std::unique_ptr<zShaderMap> generated(AsShaderMap());
        if (generated == nullptr || ShaderMapText(*generated) != text) {
            AppendBytes(out, text.size());
            out += text;
        }
    }
    for (const zTextureStage& stage : stages) {
        AppendBytes(out, stage.active);
        AppendBytes(out, stage.channel);
        AppendBytes(out, stage.texture);
        AppendBytes(out, stage.uvSource);
        AppendBytes(out, stage.matrix.m);
        AppendBytes(out, stage.wrapU);
        AppendBytes(out, stage.wrapV);
        AppendBytes(out, stage.uvIndex);
        AppendBytes(out, stage.operation);
    }
}

int32_t zMaterial::ComputeChecksum() const
{
    std::string content;
    AppendContent(content);
    // FNV-1a: cheap, and every byte of the content moves the result.
    uint32_t hash = 2166136261u;
    for (char byte : content) {
        hash ^= uint8_t(byte);
        hash *= 16777619u;
    }
    return int32_t(hash);
}

bool zMaterial::IsEquivalent(const zMaterial& other) const
{
    std::string mine;
    std::string theirs;
    AppendContent(mine);
    other.AppendContent(theirs);
    return mine == theirs;
}

bool zMaterial::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "Material") {
        LogError("zMaterial::FromMetaTag") << "Could not parse material. Root tag id is incorrect ("
                                           << (tag != nullptr ? tag->GetName().Get() : nullptr) << ").\n";
        return false;
    }
    Reset();
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& childName = child->GetName();
        if (childName == "Id") {
            name.Assign(child->GetString());
        } else if (childName == "Diffuse") {
            diffuse.FromMetaTag(document, child);
        } else if (childName == "Specular") {
            specular.FromMetaTag(document, child);
        } else if (childName == "Self") {
            selfIllumination.FromMetaTag(document, child);
        } else if (childName == "Ambient") {
            ambient.FromMetaTag(document, child);
        } else if (childName == "Glossiness") {
            const float value = child->GetFloat();
            glossiness = value < MinGlossiness ? MinGlossiness : value > MaxGlossiness ? MaxGlossiness : value;
        } else if (childName == "Reflection") {
            reflection = child->GetFloat();
        } else if (childName == "IOR") {
            ior = child->GetFloat();
        } else if (childName == "MaxSmoothingAngle") {
            maxSmoothingAngle = child->GetFloat();
        } else if (childName == "Opacity") {
            opacity = child->GetFloat();
        } else if (childName == "ShaderLibrary") {
            if (core != nullptr && core->renderer != nullptr && child->GetString() != nullptr)
                core->renderer->LoadShaderLibrary(child->GetString(), nullptr);
        } else if (childName == "Shader") {
            shader.Assign(child->GetString());
        } else if (childName == "PhysicMaterial") {
            physicMaterial.FromMetaTag(document, child);
        } else if (childName == "RenderMask") {
            ReadRenderMask(document, child);
        } else if (childName == "ShaderMap") {
            zShaderMap* map = new (std::nothrow) zShaderMap();
            // The map's errors name the material, whose "Id" may come later.
            const zMetaTag* id = tag->GetTag("Id", document);
            const char* owner = id != nullptr && id->GetString() != nullptr ? id->GetString() : name.Get();
            if (map != nullptr && map->FromMetaTag(core, document, child, owner)) {
                delete shaderMap;
                shaderMap = map;
                explicitShaderMap = 1;
            } else {
                delete map;
            }
        } else if (childName == "TextureStage") {
            ReadStage(document, child);
        } else {
            LogWarning("zMaterial::FromMetaTag") << "Unknown tag '" << childName << "' in <Material>.\n";
        }
    }
    Update();
    if (shaderMap == nullptr)
        shaderMap = AsShaderMap();
    return true;
}

void zMaterial::ReadRenderMask(const zMetaFile* document, const zMetaTag* tag)
{
    flags = 0;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        bool known = false;
        for (const FlagName& entry : renderFlagNames) {
            if (child->GetName() == entry.name) {
                flags |= entry.flag;
                known = true;
                break;
            }
        }
        if (!known) {
            LogWarning("zMaterial::FromMetaTag") << "Unknown tag '" << child->GetName() << "' in material '" << name
                                                 << "'.\n";
        }
    }
}

void zMaterial::ReadStage(const zMetaFile* document, const zMetaTag* tag)
{
    const zMetaTag* indexTag = tag->GetTag("Index;", document);
    if (indexTag == nullptr || indexTag->GetType() != zMetaTag::TypeInteger) {
        LogWarning("zMaterial::FromMetaTag") << "Illegal index tag type in material '" << name << "'.\n";
        return;
    }
    const int32_t index = indexTag->GetInteger();
    if (index < 0 || index >= StageCount) {
        LogWarning("zMaterial::FromMetaTag") << "Illegal texture stage index " << index << " in material '" << name
                                             << "'.\n";
        return;
    }
    zTextureStage& stage = stages[index];
    stage.active = 0;
    stage.operation = OperatorNone;

    const zMetaTag* channelTag = tag->GetTag("Channel;", document);
    if (channelTag == nullptr) {
        stage.channel = ChannelDiffuse;
    } else {
        const int32_t channel = FindName(channelNames, ChannelCount, channelTag->GetString());
        if (channel >= 0) {
            stage.channel = channel;
        } else {
            LogWarning("zMaterial::FromMetaTag") << "Unknown channel for texture stage " << index << " of material '"
                                                 << name << "'.\n";
        }
    }

    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& childName = child->GetName();
        if (childName == "Texture") {
            stage.texture = LoadStageTexture(child->GetString(), stage.channel);
        } else if (childName == "Active") {
            stage.active = child->IsNumber() && child->GetFloat() != 0.0f ? 1 : 0;
        } else if (childName == "UV") {
            // 25 is out of range on purpose: the stage check refuses it.
            const int32_t uv = child->GetType() == zMetaTag::TypeInteger ? child->GetInteger() : 25;
            stage.uvIndex = int8_t(uv < -128 || uv > 127 ? 25 : uv);
        } else if (childName == "NoWrapU") {
            stage.wrapU = 0;
        } else if (childName == "NoWrapV") {
            stage.wrapV = 0;
        } else if (childName == "Operator") {
            const char* text = child->GetString();
            if (text != nullptr && std::strcmp(text, "Multiply") == 0)
                stage.operation = OperatorMultiply;
            else if (text != nullptr && std::strcmp(text, "Add") == 0)
                stage.operation = OperatorAdd;
        } else if (childName == "UVSource") {
            const int32_t source = FindName(uvSourceNames, 4, child->GetString());
            if (source > 0) {
                stage.uvSource = source;
            } else {
                LogWarning("zMaterial::FromMetaTag") << "Unknown UV source for texture stage " << index
                                                     << " of material '" << name << "'.\n";
            }
        }
    }
}

zTexture* zMaterial::LoadStageTexture(const char* path, int32_t channel) const
{
    if (core == nullptr || path == nullptr)
        return nullptr;
    zTexture* texture = core->LoadTexture(path, true, true, 0.5f, true);
    if (texture == nullptr)
        return nullptr;
    // Normal maps are marked for the renderer and kept sharper than other
    // textures; reflections a little sharper.
    if (channel == ChannelNormal) {
        texture->flags |= TextureFlagNormalMap;
        texture->priority += 0.25f;
    } else if (channel == ChannelReflection) {
        texture->priority += 0.1f;
    }
    return texture;
}

zMetaTag* zMaterial::AsMetaTag(zLinkedListId* list)
{
    zMetaTag* root = zMetaTag::NewRoot("Material", "zMaterial::AsMetaTag",
                                       {"Could not serialize material '", name.Get(), "'. Failed to create root tag.\n"});
    if (root == nullptr)
        return nullptr;
    root->CreateString("Id", name.Get() != nullptr ? name.Get() : "");
    if (ColourDiffers(diffuse, white))
        diffuse.AddMetaTag(root, "Diffuse");
    if (ColourDiffers(specular, white))
        specular.AddMetaTag(root, "Specular");
    if (ColourDiffers(ambient, white))
        ambient.AddMetaTag(root, "Ambient");
    if (ColourDiffers(selfIllumination, black))
        selfIllumination.AddMetaTag(root, "Self");
    if (glossiness != 0.4f)
        root->CreateFloat("Glossiness", glossiness);
    if (opacity != 1.0f)
        root->CreateFloat("Opacity", opacity);
    if (reflection != 0.0f)
        root->CreateFloat("Reflection", reflection);
    if (ior != 1.0f)
        root->CreateFloat("IOR", ior);
    if (maxSmoothingAngle != 0.0f)
        root->CreateFloat("MaxSmoothingAngle", maxSmoothingAngle);
    root->AddChild(physicMaterial.AsMetaTag(list));

    if (flags != 0) {
        zMetaTag* mask = root->CreateChild("RenderMask");
        if (mask == nullptr) {
            LogWarning("zMaterial::AsMetaTag") << "Could not serialize material '" << name << "' render word.\n";
        } else {
            for (int i = 0; i < writtenFlagNames; ++i) {
                if ((flags & renderFlagNames[i].flag) != 0)
                    mask->CreateChild(renderFlagNames[i].name);
            }
        }
    }
    if (!shader.IsEmpty()) {
        const zShaderRecord* record = core != nullptr && core->renderer != nullptr
            ? core->renderer->shaders.FindAs<zShaderRecord>(shader)
            : nullptr;
        if (record != nullptr && record->library != nullptr && !record->library->value.IsEmpty())
            root->CreateString("ShaderLibrary", record->library->value.Get());
        root->CreateString("Shader", shader.Get());
    }
    if (shaderMap != nullptr)
        root->AddChild(shaderMap->AsMetaTag(list));
    for (int32_t index = 0; index < StageCount; ++index) {
        if (stages[index].texture == nullptr)
            continue;
        zMetaTag* stageTag = StageAsMetaTag(index);
        if (stageTag == nullptr) {
            LogWarning("zMaterial::AsMetaTag") << "Could not serialize a texture stage in material '" << name
                                               << "'.\n";
            continue;
        }
        root->AddChild(stageTag);
    }
    return root;
}

zMetaTag* zMaterial::StageAsMetaTag(int32_t index) const
{
    const zTextureStage& stage = stages[index];
    zMetaTag* tag = new (std::nothrow) zMetaTag("TextureStage");
    if (tag == nullptr)
        return nullptr;
    tag->CreateInteger("Index", index);
    if (stage.active)
        tag->CreateInteger("Active", 1);
    tag->CreateString("Texture", stage.texture->id.Get() != nullptr ? stage.texture->id.Get() : "");
    if (stage.uvIndex != -1)
        tag->CreateInteger("UV", stage.uvIndex);
    if (!stage.wrapU)
        tag->CreateChild("NoWrapU");
    if (!stage.wrapV)
        tag->CreateChild("NoWrapV");
    if (stage.operation == OperatorMultiply)
        tag->CreateString("Operator", "Multiply");
    else if (stage.operation == OperatorAdd)
        tag->CreateString("Operator", "Add");
    const char* channelName = GetMaterialChannelName(stage.channel);
    if (channelName == nullptr) {
        LogWarning("zMaterial::AsMetaTag") << "Bogus channel in texture stage " << index << " material '" << name
                                           << "'.\n";
    } else if (stage.channel != ChannelDiffuse) {
        tag->CreateString("Channel", channelName);
    }
    if (stage.uvSource < UVSourceUVMap || stage.uvSource > UVSourceFrontMap) {
        LogWarning("zMaterial::AsMetaTag") << "Bogus channel in texture stage " << index << " material '" << name
                                           << "'.\n";
    } else if (stage.uvSource != UVSourceUVMap) {
        tag->CreateString("UVSource", uvSourceNames[stage.uvSource]);
    }
    return tag;
}
