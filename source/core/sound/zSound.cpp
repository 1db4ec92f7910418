#include "core/sound/zSound.h"

#include "core/sound/zMixer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"

#include <new>

zSound::~zSound()
{
    if (core != nullptr) {
        if (core->mixer != nullptr)
            core->mixer->FreeSound(this);
        // A sound deleted on its own must not stay behind in a cache.
        UnlinkFromCache(core->currentResources->GetSounds());
        UnlinkFromCache(core->resources.GetSounds());
    }
}

zSound* zSound::New(Tavrin* core, const char* name)
{
    zModuleTagScope module(6);
    auto* sound = new (std::nothrow) zSound(core, name != nullptr ? name : "sd");
    if (sound == nullptr) {
        LogError("zSound::New") << "Could not allocate new sound object.\n";
        return nullptr;
    }
    if (core != nullptr)
        core->GetSounds().Append(sound);
    return sound;
}

bool zSound::Setup()
{
    if (GlobalSetupProgressHook != nullptr)
        GlobalSetupProgressHook("Sound Setup");
    if (core == nullptr || core->mixer == nullptr)
        return false;
    return core->mixer->SetupSound(this);
}
