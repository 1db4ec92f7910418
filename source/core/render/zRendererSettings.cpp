#include "core/render/zRendererSettings.h"

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <cstddef>
#include <iterator>

namespace {

struct SettingsKey {
    const char* key;
    uint32_t bit;
};

// The order in which the keys are read.
constexpr SettingsKey OptionKeys[] = {
    {"EnableDebug", zRendererOption::EnableDebug},
    {"Antialiasing", zRendererOption::Antialiasing},
    {"DisableShader", zRendererOption::DisableShader},
    {"DisableMultipleRenderTarget", zRendererOption::DisableMultipleRenderTarget},
    {"UseFloatTarget", zRendererOption::UseFloatTarget},
    {"OptimizeVideoRam", zRendererOption::OptimizeVideoRam},
    {"TextureForceTrueColor", zRendererOption::TextureForceTrueColor},
    {"TextureNoCompression", zRendererOption::TextureNoCompression},
    {"TextureNoDownscale", zRendererOption::TextureNoDownscale},
    {"TextureForceSquare", zRendererOption::TextureForceSquare},
};

constexpr SettingsKey EffectKeys[] = {
    {"Bloom", zRendererEffect::Bloom},
    {"Exposure", zRendererEffect::Exposure},
    {"MotionBlur", zRendererEffect::MotionBlur},
    {"LinearShadow", zRendererEffect::LinearShadow},
    {"DepthOfField", zRendererEffect::DepthOfField},
    {"AmbientOcclusion", zRendererEffect::AmbientOcclusion},
    {"ShadowMapping", zRendererEffect::ShadowMapping},
    {"FramebufferAsTexture", zRendererEffect::FramebufferAsTexture},
    {"LowResolutionFx", zRendererEffect::LowResolutionFx},
};

// The integer tag at the key, shortcuts resolved when the list is a document.
const zMetaTag* FindInteger(const zLinkedListId* settings, const char* key)
{
    const zMetaFile* document = dynamic_cast<const zMetaFile*>(settings);
    const zMetaTag* tag = zMetaTag::GetTagEx(settings, key, document, false);
    return tag != nullptr && tag->GetType() == zMetaTag::TypeInteger ? tag : nullptr;
}

void ApplyFlags(const zLinkedListId* settings, const SettingsKey* keys, size_t count, uint32_t& flags)
{
    for (size_t i = 0; i < count; ++i) {
        const zMetaTag* tag = FindInteger(settings, keys[i].key);
        if (tag != nullptr && tag->GetInteger() != 0)
            flags |= keys[i].bit;
        else
            flags &= ~keys[i].bit;
    }
}

} // namespace

bool Tavrin::LoadRendererSettings(const char* path, const zLinkedListId* settings)
{
    zMetaFile file;
    if (settings == nullptr) {
        if (path == nullptr || !zMetaParser::Load(path, &file))
            return false;
        settings = &file;
    }
    // Without a renderer there are no flag words; the channel still applies.
    if (renderer != nullptr) {
        ApplyFlags(settings, OptionKeys, std::size(OptionKeys), renderer->optionFlags);
        ApplyFlags(settings, EffectKeys, std::size(EffectKeys), renderer->effectFlags);
    }
    const zMetaTag* channel = FindInteger(settings, "DebugChannel");
    GlobalDebugChannel = channel != nullptr ? channel->GetInteger() : -1;
    return true;
}
