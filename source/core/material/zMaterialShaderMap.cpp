// The shader map a material's fields and texture stages describe.

#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"

#include <new>
#include <unordered_set>
#include <vector>

namespace {

using Swizzle = zSwizzleShaderBlock;
using Build = zBuildShaderBlock;

// Creates the blocks of one map and keeps every one it made, so that blocks
// a connection refused (a sampler without coordinates has no value) can be
// freed once the roots are known.
class MapBuilder {
public:
    template <class T, class... Args>
    T* Make(Args... args)
    {
        T* block = new T(args...);
        created.push_back(block);
        return block;
    }

    zShaderBlock* Multiply(zShaderBlock* a, zShaderBlock* b)
    {
        auto* block = Make<zMultiplyShaderBlock>();
        block->SetInput(0, a);
        block->SetInput(1, b);
        return block;
    }

    // Texture on the stage's coordinates into a sampler with its wrap flags;
    // on the Normal channel the sampler becomes a normal.
    zShaderBlock* Stage(const zTextureStage& stage, bool normal, bool tangentSpace)
    {
        auto* sampler = Make<zSampler2DShaderBlock>();
        sampler->wrapU = stage.wrapU != 0 ? 1 : 0;
        sampler->wrapV = stage.wrapV != 0 ? 1 : 0;
        sampler->SetInput(0, Make<zTextureShaderBlock>(stage.texture));
        // Sphere-map and eye-linear coordinates have no block: the sampler
        // stays without coordinates and so without a value.
        if (stage.uvSource == zMaterial::UVSourceUVMap)
            sampler->SetInput(1, Make<zUVStreamShaderBlock>(int32_t(stage.uvIndex)));
        if (!normal)
            return sampler;
        if (!tangentSpace)
            return Make<Swizzle>(sampler, Swizzle::SelectNone, Swizzle::SelectNone, Swizzle::SelectNone,
                                 Swizzle::SelectNone);
        auto* unpack = Make<zUnpackColorShaderBlock>();
        unpack->SetInput(0, Make<Swizzle>(sampler, Swizzle::SelectX, Swizzle::SelectY, Swizzle::SelectZ,
                                          Swizzle::SelectNone));
        return Multiply(Make<zTangentFrameShaderBlock>(), unpack);
    }

    // Deletes what no root reaches.
    void DeleteUnreached(zShaderBlock* const* roots, int32_t count)
    {
        std::vector<zShaderBlock*> reached;
        for (int32_t i = 0; i < count; ++i) {
            if (roots[i] != nullptr)
                roots[i]->CollectBlocks(reached);
        }
        const std::unordered_set<zShaderBlock*> kept(reached.begin(), reached.end());
        for (zShaderBlock* block : created) {
            if (kept.count(block) == 0)
                delete block;
        }
        created.clear();
    }

private:
    std::vector<zShaderBlock*> created;
};

} // namespace

zShaderMap* zMaterial::AsShaderMap() const
{
    zModuleTagScope module(1);
    auto* map = new (std::nothrow) zShaderMap();
    if (map == nullptr) {
        LogError("zMaterial::AsShaderMap") << "Failed to allocate conversion render map.\n";
        return nullptr;
    }
    auto activeStage = [this](int32_t channel) -> const zTextureStage* {
        const zTextureStage* stage = channels[channel];
        return stage != nullptr && stage->active != 0 ? stage : nullptr;
    };
    const bool tangentSpace = (flags & FlagNormalMapTangent) != 0;
    MapBuilder build;
    zShaderBlock** roots = map->roots;

    zShaderBlock* colour = nullptr;
    if (const zTextureStage* stage = activeStage(ChannelColor)) {
        colour = build.Stage(*stage, false, false);
        if (stage->texture != nullptr && stage->texture->picture.HasTransparentPixel())
            roots[zShaderMap::Opacity] = build.Make<Swizzle>(colour, Swizzle::SelectW, Swizzle::SelectNone,
                                                             Swizzle::SelectNone, Swizzle::SelectNone);
    }

    const zTextureStage* diffuseStage = activeStage(ChannelDiffuse);
    zShaderBlock* diffuse = diffuseStage != nullptr ? build.Stage(*diffuseStage, false, false)
                                                    : build.Make<zMaterialParameterShaderBlock>(0);
    if (colour != nullptr)
        diffuse = build.Multiply(diffuse, colour);
    roots[zShaderMap::Diffuse] = diffuse;

    if ((flags & FlagVertexColor) != 0) {
        auto* vertexColour = build.Make<zVertexColorStreamShaderBlock>();
        roots[zShaderMap::Diffuse] =
            build.Multiply(roots[zShaderMap::Diffuse],
                           build.Make<Build>(vertexColour, Build::ModeX, vertexColour, Build::ModeY, vertexColour,
                                             Build::ModeZ, nullptr, Build::ModeOne));
    }

    const zTextureStage* selfStage = activeStage(ChannelSelfIllum);
    roots[zShaderMap::Constant] = selfStage != nullptr ? build.Stage(*selfStage, false, false)
                                                       : build.Make<zMaterialParameterShaderBlock>(2);
    const zTextureStage* specularStage = activeStage(ChannelSpecular);
    roots[zShaderMap::Specular] = specularStage != nullptr ? build.Stage(*specularStage, false, false)
                                                           : build.Make<zMaterialParameterShaderBlock>(1);
    if (const zTextureStage* normalStage = activeStage(ChannelNormal)) {
        auto* normalize = build.Make<zNormalizeShaderBlock>();
        normalize->SetInput(0, build.Stage(*normalStage, true, tangentSpace));
        roots[zShaderMap::Normal] = normalize;
    } else {
        roots[zShaderMap::Normal] = build.Make<NormalStreamBlock>();
    }
    roots[zShaderMap::Glossiness] = build.Make<zMaterialParameterShaderBlock>(4);

    build.DeleteUnreached(roots, zShaderMap::ChannelCount);
    return map;
}
