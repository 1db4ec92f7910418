#pragma once

#include "bfgt/picture/zPictureIO.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// "Jpeglib": reads JPEG files through libjpeg and writes progressive JPEG files.
// Library errors end the call with false and a log line, never the program.
class JpegCodec : public zPictureIOCodec {
public:
    JpegCodec();

    // width x height pixels with the bytes B, G, R, A, from the C allocator.
    bool Decode(const char* path, int32_t& width, int32_t& height, void*& pixels) override;
    // Pixels are red, green, blue bytes; the file is written only when the
    // whole picture was encoded.
    bool Encode(const char* path, int32_t width, int32_t height, const void* pixels) override;
    bool FreeBuffer(void** pixels) override;

    static bool DecodeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height, void*& pixels);
    static bool EncodeMemory(int32_t width, int32_t height, const void* pixels, std::vector<uint8_t>& file);
};
