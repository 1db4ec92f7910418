#pragma once

#include "core/material/zPhysicMaterial.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zColor.h"
#include "framework/math/zMatrix4.h"
#include "framework/tools/zString.h"

#include <cstdint>
#include <string>

class Tavrin;
class zMetaFile;
class zMetaTag;
class zShaderMap;
class zTexture;

// One texture feeding one channel of a material.
struct zTextureStage {
    // The values a stage has after zMaterial::Reset.
    void Reset();

    uint8_t active = 0;
    // zMaterial::Channel*.
    int32_t channel = 1;
    // Owned by the resource cache.
    zTexture* texture = nullptr;
    // zMaterial::UVSource*.
    int32_t uvSource = 1;
    zMatrix4 matrix;
    uint8_t wrapU = 1;
    uint8_t wrapV = 1;
    // UV map 0-2 of the geometry; -1 none.
    int8_t uvIndex = -1;
    // zMaterial::Operator*.
    int32_t operation = 0;
};

// How one part of a geometry looks and behaves: colours, gloss and reflection,
// render flags, up to six texture stages feeding named channels, a shader name
// or shader map, and the physic material of its faces. A geometry owns its
// materials; the renderer keeps its own record of each in rendererData.
// Read and written as the ZML tag "Material".
class zMaterial {
public:
    // Render flags, the "RenderMask" children.
    enum : uint32_t {
        FlagLit = 0x1,
        FlagSmoothing = 0x2,
        FlagAdditive = 0x4,
        FlagDoubleSided = 0x8,
        FlagWireframe = 0x10,
        FlagVertexColor = 0x20,
        FlagSoftBody = 0x40,
        FlagSubtractive = 0x80,
        FlagForceVertexNormal = 0x100,
        FlagNormalMapTangent = 0x400,
        FlagParralaxDisp = 0x1000,
        FlagNoZWrite = 0x2000,
        FlagNoZTest = 0x4000,
        // Set at run time on the materials of skinned geometries; no name.
        FlagSkinned = 0x8000,
        FlagNoFog = 0x10000,
        FlagFixedFunction = 0x20000,
    };

    // Channels a stage can feed.
    enum : int32_t {
        ChannelColor = 0,
        ChannelDiffuse = 1,
        ChannelDetail = 2,
        ChannelOpacity = 3,
        ChannelSpecular = 4,
        ChannelGlossiness = 5,
        ChannelNormal = 6,
        ChannelReflection = 7,
        ChannelSelfIllum = 8,
        ChannelVertexColor = 9,
        ChannelCount = 10,
    };

    // Where a stage takes its texture coordinates from.
    enum : int32_t {
        UVSourceUVMap = 1,
        UVSourceLSNormal = 2,
        UVSourceFrontMap = 3,
    };

    // How a stage combines with the previous ones.
    enum : int32_t {
        OperatorNone = 0,
        OperatorMultiply = 1,
        OperatorAdd = 2,
    };

    // The bit a texture read for a Normal stage gets in its flag word.
    static constexpr uint32_t TextureFlagNormalMap = 1u << 4;

    static constexpr int32_t StageCount = 6;
    static constexpr int32_t UVMapCount = 3;
    static constexpr float MinGlossiness = 0.0001f;
    static constexpr float MaxGlossiness = 16.0f;

    // Physic material defaults, empty names, values as after Reset.
    explicit zMaterial(Tavrin* owner);
    // Free.
    ~zMaterial();
    zMaterial(const zMaterial&) = delete;
    zMaterial& operator=(const zMaterial&) = delete;

    // Colours, values, flags and stages back to their defaults; frees the shader
    // map and the renderer's record. Name, shader name, core and physic
    // material stay.
    void Reset();
    // Deactivates stages that cannot work, notes the UV maps the active stages
    // read and rebuilds the channel table.
    void CheckStages();
    // The stage check, transparency, then the renderer's UpdateMaterial. Called
    // after reading and after a script changed the material.
    void Update();
    // Prepares the material for drawing when its geometry is set up.
    void Setup();
    // Releases the shader map, the renderer's record and the names.
    void Free();

    // A hash of the content; materials that IsEquivalent calls equal agree on it.
    int32_t ComputeChecksum() const;
    // Same appearance and physics: everything but the name, the owner, the
    // renderer's record and what Update derives. A shader map counts by its
    // content where it differs from the one the other fields generate.
    bool IsEquivalent(const zMaterial& other) const;

    // True when transparent by its flags, its diffuse alpha or an active
    // opacity stage (the channel table must be current).
    bool ComputeTransparency() const;

    // Resets, reads the children in order, updates. False when the tag is not a
    // "Material".
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Material" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(zLinkedListId* list);
    // A shader map generated from the fields and stages, or null.
    zShaderMap* AsShaderMap() const;

    zPhysicMaterial physicMaterial;
    // The material id; the geometry looks materials up by it.
    zString name;
    Tavrin* core;
    uint8_t transparent = 0;
    // A shader of the renderer's library.
    zString shader;
    zColor diffuse{1.0f, 1.0f, 1.0f, 1.0f};
    zColor specular{1.0f, 1.0f, 1.0f, 1.0f};
    zColor selfIllumination{0.0f, 0.0f, 0.0f, 1.0f};
    zColor ambient{1.0f, 1.0f, 1.0f, 1.0f};
    float glossiness = 0.4f;
    float opacity = 1.0f;
    float reflection = 0.0f;
    float ior = 1.0f;
    // Read by the normal smoothing as a cosine.
    float maxSmoothingAngle = 0.0f;
    uint32_t flags = 0;
    // Owned.
    zShaderMap* shaderMap = nullptr;
    // Per channel the first stage feeding it, active or not.
    zTextureStage* channels[ChannelCount] = {};
    zTextureStage stages[StageCount];
    // 1 for each UV map an active stage reads.
    uint8_t uvMapsUsed[UVMapCount] = {};
    // Set and released by the renderer.
    void* rendererData = nullptr;
    // The shader map came from a "ShaderMap" tag rather than from the fields.
    uint8_t explicitShaderMap = 0;

private:
    void ReadStage(const zMetaFile* document, const zMetaTag* tag);
    // The cached or newly loaded texture of a stage feeding the channel.
    zTexture* LoadStageTexture(const char* path, int32_t channel) const;
    void ReadRenderMask(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* StageAsMetaTag(int32_t index) const;
    // The bytes IsEquivalent compares.
    void AppendContent(std::string& out) const;
};

// The name of a channel ("Color" .. "VertexColor"), or null outside 0-9.
const char* GetMaterialChannelName(int32_t channel);
