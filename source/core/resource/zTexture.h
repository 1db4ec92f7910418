#pragma once

#include "bfgt/picture/zPicture.h"
#include "core/resource/zResource.h"

#include <cstdint>

// A picture resource that the renderer uploads. Only what the core's frame
// cycle and the renderer base read is here; the rest of the texture (kind,
// usage, flags, priority, renderer record, stream interface) comes with the
// texture loader.
class zTexture : public zResource {
public:
    explicit zTexture(Tavrin* owner, const char* name = nullptr) : zResource(owner, name) {}

    // Advances a streamed texture by delta ticks; a texture without a stream
    // interface has nothing to advance.
    void UpdateStream(int32_t delta);

    zPicture picture;
};
