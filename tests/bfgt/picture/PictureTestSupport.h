#pragma once

#include "bfgt/picture/zPicture.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// A picture of the given format holding exactly these bytes.
inline zPicture MakePicture(int32_t width, int32_t height, const zPixelFormat& format, const std::vector<uint8_t>& bytes)
{
    zPicture picture;
    picture.AllocAs(width, height, format);
    std::memcpy(picture.pixels, bytes.data(), bytes.size());
    return picture;
}

inline std::vector<uint8_t> PixelBytes(const zPicture& picture)
{
    if (picture.pixels == nullptr)
        return {};
    size_t size = size_t(zPicture::BufferBytes(picture.width, picture.height, picture.format.bitsPerPixel));
    return std::vector<uint8_t>(picture.pixels, picture.pixels + size);
}

inline std::vector<uint8_t> FloatBytes(std::initializer_list<float> values)
{
    std::vector<uint8_t> bytes(values.size() * 4);
    std::memcpy(bytes.data(), std::data(values), bytes.size());
    return bytes;
}

// A 32-bit picture lent a buffer with guard bytes on both sides, so that any
// write outside the picture shows.
class GuardedPicture {
public:
    static constexpr size_t Guard = 64;

    GuardedPicture(int32_t width, int32_t height, const zPixelFormat& format = PixelFormatABGR32)
        : storage(size_t(width) * size_t(height) * 4 + 2 * Guard, GuardByte)
    {
        std::memset(storage.data() + Guard, 0, storage.size() - 2 * Guard);
        picture.SetExternalBuffer(storage.data() + Guard, width, height, format);
    }

    bool GuardsIntact() const
    {
        for (size_t i = 0; i < Guard; ++i) {
            if (storage[i] != GuardByte || storage[storage.size() - 1 - i] != GuardByte)
                return false;
        }
        return true;
    }

    const uint8_t* Pixel(int32_t x, int32_t y) const { return picture.pixels + (size_t(y) * picture.width + x) * 4; }

    static constexpr uint8_t GuardByte = 0xA5;
    std::vector<uint8_t> storage;
    zPicture picture;
};

// Runs a decoder over an exact-size heap copy of the bytes, so that the
// address sanitizer sees any read past their end.
template <class Decoder>
bool DecodeExact(const std::vector<uint8_t>& bytes, Decoder decoder)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    return decoder(copy.get(), bytes.size());
}

inline void AppendU16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}

inline void AppendU32(std::vector<uint8_t>& bytes, uint32_t value)
{
    AppendU16(bytes, value & 0xFFFF);
    AppendU16(bytes, value >> 16);
}

inline std::string AsString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
