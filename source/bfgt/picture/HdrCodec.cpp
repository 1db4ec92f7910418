#include "bfgt/picture/HdrCodec.h"

#include "bfgt/picture/zMemoryReader.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// What the header says beyond the size; read and otherwise unused.
struct RgbeHeaderInfo {
    static constexpr int ValidProgramType = 1;
    static constexpr int ValidGamma = 2;
    static constexpr int ValidExposure = 4;

    int valid = 0;
    char programType[16] = {};
    float gamma = 1.0f;
    float exposure = 1.0f;
};

// One header line as fgets reads it into 128 bytes: up to and including the
// line feed, at most 127 characters; false at the end of the data.
bool ReadLine(zMemoryReader& reader, char (&line)[128])
{
    size_t length = 0;
    uint8_t c;
    while (length < 127 && reader.ReadU8(c)) {
        line[length++] = char(c);
        if (c == '\n')
            break;
    }
    line[length] = '\0';
    return length != 0;
}

bool StartsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A decimal int as %d reads it, refusing values that do not fit.
bool ParseInt(const char*& p, int32_t& value)
{
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > int64_t(INT32_MAX) + 1)
            return false;
    }
    v = negative ? -v : v;
    if (v > INT32_MAX || v < INT32_MIN)
        return false;
    value = int32_t(v);
    return true;
}

// "-Y %d +X %d": height, then width.
bool ParseResolution(const char* line, int32_t& height, int32_t& width)
{
    const char* p = line;
    if (!StartsWith(p, "-Y"))
        return false;
    p += 2;
    if (!ParseInt(p, height))
        return false;
    while (IsBlank(*p))
        ++p;
    if (!StartsWith(p, "+X"))
        return false;
    p += 2;
    return ParseInt(p, width);
}

void RgbeToFloat(const uint8_t* rgbe, float* out)
{
    if (rgbe[3] == 0) {
        out[0] = out[1] = out[2] = 0.0f;
        return;
    }
    const float f = std::ldexp(1.0f, int(rgbe[3]) - 136);
    out[0] = float(rgbe[0]) * f;
    out[1] = float(rgbe[1]) * f;
    out[2] = float(rgbe[2]) * f;
}

bool ReadFlat(zMemoryReader& reader, float* out, uint64_t count)
{
    if (count > reader.Left() / 4)
        return false;
    for (uint64_t i = 0; i < count; ++i, out += 3) {
        RgbeToFloat(reader.Here(), out);
        reader.Skip(4);
    }
    return true;
}

bool ReadRgbeScanlines(zMemoryReader& reader, float* out, int32_t width, int32_t height)
{
    if (width < 8 || width > 32767)
        return ReadFlat(reader, out, uint64_t(width) * uint64_t(height));

    std::unique_ptr<uint8_t[]> scanline(new (std::nothrow) uint8_t[size_t(width) * 4]);
    if (!scanline)
        return false;
    for (int32_t y = 0; y < height; ++y) {
        float* row = out + size_t(y) * size_t(width) * 3;
        uint8_t rgbe[4];
        if (!reader.Read(rgbe, 4))
            return false;
        if (rgbe[0] != 2 || rgbe[1] != 2 || (rgbe[2] & 0x80) != 0) {
            // Not run-length encoded: these bytes are a pixel, the rest follow flat.
            RgbeToFloat(rgbe, row);
            return ReadFlat(reader, row + 3, uint64_t(width) * uint64_t(height - y) - 1);
        }
        if ((rgbe[2] << 8 | rgbe[3]) != width)
            return false;
        for (int plane = 0; plane < 4; ++plane) {
            uint8_t* p = scanline.get() + size_t(plane) * size_t(width);
            uint8_t* end = p + width;
            while (p < end) {
                uint8_t count;
                if (!reader.ReadU8(count))
                    return false;
                const bool run = count > 128;
                if (run)
                    count = uint8_t(count - 128);
                if (count == 0 || count > end - p)
                    return false;
                if (run) {
                    uint8_t value;
                    if (!reader.ReadU8(value))
                        return false;
                    std::memset(p, value, count);
                } else if (!reader.Read(p, count)) {
                    return false;
                }
                p += count;
            }
        }
        const uint8_t* planes = scanline.get();
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t pixel[4] = {planes[x], planes[width + x], planes[2 * width + x], planes[3 * width + x]};
            RgbeToFloat(pixel, row + size_t(x) * 3);
        }
    }
    return true;
}

} // namespace

HdrCodec::HdrCodec() : zPictureIOCodec("HDR", "Radiance HDR read-only codec.", 65) {}

bool HdrCodec::DecodeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height, void*& pixels)
{
    pixels = nullptr;
    zMemoryReader reader(data, size);
    RgbeHeaderInfo info;
    char line[128];
    if (!ReadLine(reader, line))
        return false;

    // Only a file that calls itself Radiance ("#?") or whose header parsed is
    // worth a log line; others are simply not this codec's.
    bool claimed = false;
    if (StartsWith(line, "#?")) {
        claimed = true;
        size_t n = 0;
        for (const char* p = line + 2; n < 15 && *p != '\0' && !IsBlank(*p); ++p)
            info.programType[n++] = *p;
        info.valid |= RgbeHeaderInfo::ValidProgramType;
        if (!ReadLine(reader, line)) {
            LogError("HdrCodec::Decode") << "Radiance header ends before its resolution line.\n";
            return false;
        }
    }
    for (;;) {
        if (std::strcmp(line, "\n") == 0)
            break;
        if (StartsWith(line, "GAMMA=")) {
            info.gamma = std::strtof(line + 6, nullptr);
            info.valid |= RgbeHeaderInfo::ValidGamma;
        } else if (StartsWith(line, "EXPOSURE=")) {
            info.exposure = std::strtof(line + 9, nullptr);
            info.valid |= RgbeHeaderInfo::ValidExposure;
        }
        // "FORMAT=32-bit_rle_rgbe" and any other line need nothing.
        if (!ReadLine(reader, line)) {
            if (claimed)
                LogError("HdrCodec::Decode") << "Radiance header ends before its resolution line.\n";
            return false;
        }
    }
    int32_t w = 0, h = 0;
    if (!ReadLine(reader, line) || !ParseResolution(line, h, w)) {
        if (claimed)
            LogError("HdrCodec::Decode") << "Radiance resolution line is not \"-Y <height> +X <width>\".\n";
        return false;
    }

    // A run of 127 pixels takes 2 bytes in each of 4 planes: no file holds more
    // than 16 pixels a byte, so larger sizes are refused before allocating.
    const uint64_t bytes = zPicture::BufferBytes(w, h, 96);
    if (bytes == 0 || uint64_t(w) * uint64_t(h) > (reader.Left() + 1) * 16) {
        LogError("HdrCodec::Decode") << "Radiance picture of " << w << "x" << h
                                     << " pixels is invalid or larger than its file.\n";
        return false;
    }
    float* buffer = new (std::nothrow) float[size_t(bytes) / sizeof(float)];
    if (buffer == nullptr)
        return false;
    if (!ReadRgbeScanlines(reader, buffer, w, h)) {
        LogError("HdrCodec::Decode") << "Radiance scanlines are truncated or corrupt.\n";
        delete[] buffer;
        return false;
    }
    width = w;
    height = h;
    pixels = buffer;
    return true;
}

bool HdrCodec::Decode(const char* path, int32_t& width, int32_t& height, void*& pixels)
{
    pixels = nullptr;
    if (path == nullptr)
        return false;
    char* file = nullptr;
    const uint32_t size = zStream::LoadFile(path, file);
    const bool decoded =
        file != nullptr && DecodeMemory(reinterpret_cast<const uint8_t*>(file), size, width, height, pixels);
    delete[] file;
    return decoded;
}

bool HdrCodec::FreeBuffer(void** pixels)
{
    if (pixels == nullptr)
        return false;
    delete[] static_cast<float*>(*pixels);
    *pixels = nullptr;
    return true;
}
