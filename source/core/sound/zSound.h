#pragma once

#include "bfat/sample/zSample.h"
#include "core/resource/zResource.h"

// A PCM sample resource that the mixer uploads.
class zSound : public zResource {
public:
    explicit zSound(Tavrin* owner, const char* name = nullptr) : zResource(owner, name) {}
    // Frees the mixer record and leaves the core's sound caches.
    ~zSound() override;
    zSound(const zSound&) = delete;
    zSound& operator=(const zSound&) = delete;

    // A sound appended to the core's current sound cache; a null name gives
    // "sd". Null when it cannot be allocated.
    static zSound* New(Tavrin* core, const char* name);

    // Sets the sound up on the core's current mixer.
    bool Setup();

    zSample sample;
    // Owned by the mixer implementation: set by its SetupSound, released by
    // its FreeSound.
    void* mixerData = nullptr;
};
