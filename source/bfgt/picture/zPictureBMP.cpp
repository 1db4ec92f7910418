#include "bfgt/picture/zMemoryReader.h"
#include "bfgt/picture/zPictureIO.h"

#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr uint32_t CompressionNone = 0;
constexpr uint32_t CompressionBitFields = 3;
constexpr size_t ColorTableOffset = 54;

uint32_t U32At(const uint8_t* data, size_t offset)
{
    return uint32_t(data[offset]) | uint32_t(data[offset + 1]) << 8 | uint32_t(data[offset + 2]) << 16 |
           uint32_t(data[offset + 3]) << 24;
}

uint16_t U16At(const uint8_t* data, size_t offset)
{
    return uint16_t(data[offset] | data[offset + 1] << 8);
}

} // namespace

bool lowlevel_bmp_decode(const uint8_t* data, size_t size, zPicture& picture)
{
    if (data == nullptr || size < 10 || data[0] != 'B' || data[1] != 'M')
        return false;
    if (size < 18) {
        LogError("lowlevel_bmp_load") << "BMP header is truncated.\n";
        return false;
    }
    const uint32_t offset = U32At(data, 10);
    const uint32_t headerSize = U32At(data, 14);
    // Only the 40-byte header has 32-bit sizes; every other variant is read
    // with 16-bit fields, as files written for the engine rely on.
    const bool wide = headerSize == 40;
    if (size < (wide ? 30u : 26u)) {
        LogError("lowlevel_bmp_load") << "BMP header is truncated.\n";
        return false;
    }
    int64_t width = wide ? int32_t(U32At(data, 18)) : U16At(data, 18);
    int64_t height = wide ? int32_t(U32At(data, 22)) : U16At(data, 20);
    const uint16_t depth = wide ? U16At(data, 28) : U16At(data, 24);
    if (depth != 8 && depth != 24 && depth != 32) {
        LogError("lowlevel_bmp_load") << "BMP format unhandled (neither RGB8, RGB24 or BGR8).\n";
        return false;
    }

    // Headers of 40 bytes and more name a compression; only plain pixels are
    // read (32-bit bit fields only when they say B, G, R, X).
    if (headerSize >= 40) {
        const uint32_t compression = size >= 34 ? U32At(data, 30) : CompressionNone;
        const bool plainFields = compression == CompressionBitFields && depth == 32 && size >= 66 &&
                                 U32At(data, 54) == 0x00FF0000 && U32At(data, 58) == 0x0000FF00 &&
                                 U32At(data, 62) == 0x000000FF;
        if (compression != CompressionNone && !plainFields) {
            LogError("lowlevel_bmp_load") << "BMP compression unhandled (" << compression
                                          << "): only uncompressed pictures are read.\n";
            return false;
        }
    }

    // A negative height stores the rows top to bottom.
    const bool topDown = height < 0;
    if (topDown)
        height = std::min<int64_t>(-height, INT32_MAX);
    zPicture decoded;
    if (width <= 0 || height <= 0) {
        // Logs the refused size.
        decoded.AllocAs(int32_t(width), int32_t(height), PixelFormatRGB24);
        return false;
    }

    const uint64_t pixelBytes = depth / 8;
    const uint64_t rowBytes = uint64_t(width) * pixelBytes;
    const uint64_t stride = depth == 32 ? rowBytes : (rowBytes + 3) & ~uint64_t(3);
    if (offset > size) {
        LogError("lowlevel_bmp_load") << "BMP pixel data offset lies outside the file.\n";
        return false;
    }
    // The last row may come without its filler.
    const uint64_t needed = stride * uint64_t(height - 1) + rowBytes;
    if (needed > size - offset) {
        LogError("lowlevel_bmp_load") << "BMP pixel data is truncated.\n";
        return false;
    }
    if (!decoded.AllocAs(int32_t(width), int32_t(height), PixelFormatRGB24))
        return false;

    uint8_t palette[256 * 4] = {};
    if (depth == 8) {
        *GlobalLogStream << "-- Picture is palettized.\n";
        // The table is read at its usual place; entries past the end of the file stay 0.
        for (size_t i = 0; i < 256 && ColorTableOffset + i * 4 + 4 <= size; ++i)
            std::memcpy(palette + i * 4, data + ColorTableOffset + i * 4, 4);
    }

    const uint8_t* pixels = data + offset;
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* in = pixels + uint64_t(row) * stride;
        uint8_t* out = decoded.pixels + uint64_t(topDown ? row : height - 1 - row) * uint64_t(width) * 3;
        for (int64_t x = 0; x < width; ++x, out += 3) {
            const uint8_t* bgr = depth == 8 ? palette + size_t(in[x]) * 4 : in + uint64_t(x) * pixelBytes;
            out[0] = bgr[0];
            out[1] = bgr[1];
            out[2] = bgr[2];
        }
    }
    CommitDecodedPicture(decoded, picture);
    return true;
}

bool lowlevel_bmp_load(const char* path, zPicture& picture)
{
    char* file = nullptr;
    const uint32_t size = zStream::LoadFile(path, file);
    const bool loaded = file != nullptr && lowlevel_bmp_decode(reinterpret_cast<const uint8_t*>(file), size, picture);
    delete[] file;
    return loaded;
}
