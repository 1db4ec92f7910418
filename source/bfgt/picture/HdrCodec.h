#pragma once

#include "bfgt/picture/zPictureIO.h"

#include <cstddef>
#include <cstdint>

// "HDR": reads Radiance RGBE files into three floats (red, green, blue) per pixel.
class HdrCodec : public zPictureIOCodec {
public:
    HdrCodec();

    // The buffer comes from new[] and goes back through FreeBuffer.
    bool Decode(const char* path, int32_t& width, int32_t& height, void*& pixels) override;
    bool FreeBuffer(void** pixels) override;

    // A file without the "#?" marker that does not parse is no Radiance file
    // and fails quietly; anything else that fails is logged.
    static bool DecodeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height, void*& pixels);
};
