#include "core/resource/zTexture.h"

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"

#include <new>

zTexture::zTexture(Tavrin* owner, const char* name) : zResource(owner, name)
{
    picture.format = PixelFormatARGB32;
}

zTexture::~zTexture()
{
    Free();
    // Scripts can make any texture the output of the following frames; the
    // renderer must not draw into one that is gone.
    if (core != nullptr && core->renderer != nullptr && core->renderer->renderTarget == this)
        core->renderer->renderTarget = nullptr;
    DeleteStreamInterface();
    if (core != nullptr) {
        // The loaders may have switched sets since the texture was cached.
        UnlinkFromCache(core->currentResources->GetTextures());
        UnlinkFromCache(core->resources.GetTextures());
    }
}

zTexture* zTexture::New(Tavrin* core, const char* name, int32_t mode, int32_t usage, bool creationFlag,
                        float priority)
{
    zModuleTagScope module(1);
    auto* texture = new (std::nothrow) zTexture(core, name != nullptr ? name : "tx");
    if (texture == nullptr) {
        LogError("zTexture::New") << "Could not allocate new texture object.\n";
        return nullptr;
    }
    texture->mode = mode;
    texture->usage = usage;
    if (creationFlag)
        texture->flags |= FlagCreation;
    texture->priority = priority;
    if (core != nullptr)
        core->GetTextures().Append(texture);
    return texture;
}

bool zTexture::IsPathEqualToName(const zTexture* texture)
{
    return texture != nullptr && texture->path.EqualsString(texture->id);
}

bool zTexture::Setup()
{
    if (GlobalSetupProgressHook != nullptr)
        GlobalSetupProgressHook("Texture Setup");
    if (core == nullptr || core->renderer == nullptr)
        return false;
    return core->renderer->SetupTexture(this);
}

void zTexture::Free()
{
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->FreeTexture(this);
}
