#include "bfgt/picture/zMemoryReader.h"
#include "bfgt/picture/zPictureIO.h"

#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t HeaderSize = 18;

// One file pixel of 8, 16, 24 or 32 bits as the bytes B, G, R, A.
void ConvertPixel(const uint8_t* in, int depth, uint8_t* out)
{
    switch (depth) {
    case 8:
        out[0] = out[1] = out[2] = out[3] = in[0];
        break;
    case 16: {
        const uint32_t v = uint32_t(in[0]) | uint32_t(in[1]) << 8;
        out[0] = uint8_t((v & 0x1F) << 3);
        out[1] = uint8_t(((v >> 5) & 0x1F) << 3);
        out[2] = uint8_t(((v >> 10) & 0x1F) << 3);
        out[3] = 255;
        break;
    }
    case 24:
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
        break;
    default:
        std::memcpy(out, in, 4);
        break;
    }
}

// The colour map as 256 entries of B, G, R, A; entries the file does not
// define stay 0.
bool ReadPalette(zMemoryReader& reader, uint16_t length, uint8_t entrySize, uint8_t* table)
{
    const size_t entryBytes = entrySize / 8;
    // A zero length still means a full map, as old files were written.
    const size_t entries = length == 0 ? 256 : length;
    const uint8_t* bytes = reader.Here();
    if (!reader.Skip(entries * entryBytes)) {
        LogError("lowlevel_tga_load") << "Could not read TGA palette.\n";
        return false;
    }
    for (size_t i = 0; i < entries && i < 256; ++i) {
        const uint8_t* in = bytes + i * entryBytes;
        uint8_t* out = table + i * 4;
        ConvertPixel(in, entrySize, out);
        // Magenta marks the transparent entry of 24-bit maps.
        if (entrySize == 24 && in[0] == 255 && in[1] == 0 && in[2] == 255)
            out[3] = 0;
    }
    return true;
}

void LogTruncated()
{
    LogError("lowlevel_tga_load") << "TGA pixel data is truncated.\n";
}

} // namespace

bool lowlevel_tga_decode(const uint8_t* data, size_t size, zPicture& picture)
{
    zMemoryReader reader(data, size);
    uint8_t header[HeaderSize];
    if (!reader.Read(header, HeaderSize))
        return false;
    // "BM" is no TGA header (a colour-map type of 'M' does not exist); without
    // this, BMP files of certain sizes would pass the image-type test.
    if (header[0] == 'B' && header[1] == 'M')
        return false;
    const uint16_t type = uint16_t(header[2] | header[3] << 8);
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10)
        return false;

    const uint8_t idLength = header[0];
    const uint8_t mapType = header[1];
    const uint16_t mapLength = uint16_t(header[5] | header[6] << 8);
    const uint8_t entrySize = header[7];
    const int32_t width = header[12] | header[13] << 8;
    const int32_t height = header[14] | header[15] << 8;
    const uint8_t depth = header[16];
    const bool topDown = (header[17] & 0x20) != 0;
    const bool mapped = type == 1 || type == 9;
    const bool compressed = type == 9 || type == 10;

    if (!reader.Skip(idLength)) {
        LogTruncated();
        return false;
    }
    uint8_t palette[256 * 4] = {};
    if (mapped) {
        if (entrySize != 16 && entrySize != 24 && entrySize != 32) {
            LogError("lowlevel_tga_load") << "Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8).\n";
            return false;
        }
        if (depth != 8) {
            LogError("lowlevel_tga_load") << "Unsupported TGA index depth (" << int(depth) << " bpp).\n";
            return false;
        }
        if (!ReadPalette(reader, mapLength, entrySize, palette))
            return false;
    } else {
        // Run-length true-colour files come in 16, 24 and 32 bits only.
        if ((depth != 8 || compressed) && depth != 16 && depth != 24 && depth != 32) {
            LogError("lowlevel_tga_load") << "Unsupported TGA pixel depth (" << int(depth) << " bpp).\n";
            return false;
        }
        // A true-colour file may still carry a colour map; it is not needed.
        if (mapType == 1 && !reader.Skip(size_t(mapLength) * ((entrySize + 7) / 8))) {
            LogTruncated();
            return false;
        }
    }

    const size_t pixelBytes = depth / 8;
    const uint64_t count = uint64_t(width) * uint64_t(height);
    // Refuse sizes the rest of the file cannot fill before allocating for them:
    // a packet of 1 + pixelBytes bytes gives at most 128 pixels.
    const uint64_t available = reader.Left();
    const bool fits = compressed ? count <= (available / (1 + pixelBytes) + 1) * 128
                                 : count * pixelBytes <= available;
    if (width > 0 && height > 0 && !fits) {
        LogTruncated();
        return false;
    }

    zPicture decoded;
    if (!decoded.AllocAs(width, height, PixelFormatARGB32))
        return false;

    uint8_t* out = decoded.pixels;
    if (!compressed) {
        const uint8_t* in = reader.Here();
        for (uint64_t i = 0; i < count; ++i, in += pixelBytes, out += 4) {
            if (mapped)
                std::memcpy(out, palette + size_t(*in) * 4, 4);
            else
                ConvertPixel(in, depth, out);
        }
    } else {
        uint64_t written = 0;
        while (written < count) {
            uint8_t packet;
            if (!reader.ReadU8(packet)) {
                LogTruncated();
                return false;
            }
            const uint64_t length = (packet & 0x7F) + 1;
            // Runs that pass the last pixel are cut off there.
            const uint64_t kept = std::min(length, count - written);
            const uint8_t* in = reader.Here();
            if (!reader.Skip(packet >= 128 ? pixelBytes : length * pixelBytes)) {
                LogTruncated();
                return false;
            }
            for (uint64_t i = 0; i < kept; ++i, out += 4) {
                const uint8_t* value = packet >= 128 ? in : in + i * pixelBytes;
                if (mapped)
                    std::memcpy(out, palette + size_t(*value) * 4, 4);
                else
                    ConvertPixel(value, depth, out);
            }
            written += kept;
        }
    }

    if (!topDown) {
        const size_t rowBytes = size_t(width) * 4;
        for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = decoded.pixels + size_t(top) * rowBytes;
            std::swap_ranges(a, a + rowBytes, decoded.pixels + size_t(bottom) * rowBytes);
        }
    }
    CommitDecodedPicture(decoded, picture);
    return true;
}

bool lowlevel_tga_load(const char* path, zPicture& picture)
{
    char* file = nullptr;
    const uint32_t size = zStream::LoadFile(path, file);
    const bool loaded = file != nullptr && lowlevel_tga_decode(reinterpret_cast<const uint8_t*>(file), size, picture);
    delete[] file;
    return loaded;
}

bool lowlevel_tga_encode(const zPicture& picture, std::vector<uint8_t>& file)
{
    const zPixelFormat& f = picture.format;
    // Where each format keeps blue, green, red (and alpha) in its bytes.
    int order[4];
    int bytes;
    if (!f.IsDifferent(PixelFormatABGR32)) {
        bytes = 4, order[0] = 2, order[1] = 1, order[2] = 0, order[3] = 3;
    } else if (!f.IsDifferent(PixelFormatARGB32)) {
        bytes = 4, order[0] = 0, order[1] = 1, order[2] = 2, order[3] = 3;
    } else if (!f.IsDifferent(PixelFormatRGB24)) {
        bytes = 3, order[0] = 0, order[1] = 1, order[2] = 2;
    } else if (!f.IsDifferent(PixelFormatBGR24)) {
        bytes = 3, order[0] = 2, order[1] = 1, order[2] = 0;
    } else if (!f.IsDifferent(PixelFormatBGR555)) {
        bytes = 2;
    } else {
        LogError("lowlevel_tga_save") << "Only supports BGRA8/BGR8/RGB24/RGB555.\n";
        return false;
    }
    if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0 || picture.width > 0xFFFF ||
        picture.height > 0xFFFF) {
        LogError("lowlevel_tga_save") << "Cannot save a picture of " << picture.width << "x" << picture.height
                                      << " pixels as TGA.\n";
        return false;
    }

    const size_t count = size_t(picture.width) * size_t(picture.height);
    file.assign(HeaderSize + count * size_t(bytes), 0);
    uint8_t* out = file.data();
    out[2] = 2;
    out[12] = uint8_t(picture.width);
    out[13] = uint8_t(picture.width >> 8);
    out[14] = uint8_t(picture.height);
    out[15] = uint8_t(picture.height >> 8);
    out[16] = f.bitsPerPixel;
    out[17] = uint8_t(f.alphaWidth | 0x20);
    out += HeaderSize;

    // TGA stores B, G, R(, A); 16-bit pixels with blue in the low bits.
    const uint8_t* in = picture.pixels;
    for (size_t i = 0; i < count; ++i, in += bytes, out += bytes) {
        if (bytes == 2) {
            const uint32_t v = uint32_t(in[0]) | uint32_t(in[1]) << 8;
            const uint32_t swapped = (v & 0x1F) << 10 | (v & 0x3E0) | ((v >> 10) & 0x1F);
            out[0] = uint8_t(swapped);
            out[1] = uint8_t(swapped >> 8);
        } else {
            for (int c = 0; c < bytes; ++c)
                out[c] = in[order[c]];
        }
    }
    return true;
}

bool lowlevel_tga_save(const char* path, const zPicture& picture)
{
    std::vector<uint8_t> file;
    if (!lowlevel_tga_encode(picture, file))
        return false;
    zStream stream;
    if (!stream.Open(path, false, true)) {
        LogError("lowlevel_tga_save") << "Cannot write to '" << path << "'.\n";
        return false;
    }
    const bool written = stream.Write(file.data(), uint32_t(file.size())) == file.size();
    stream.Close();
    if (!written)
        LogError("lowlevel_tga_save") << "Failed to write '" << path << "'.\n";
    return written;
}
