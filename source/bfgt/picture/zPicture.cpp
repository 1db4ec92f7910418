#include "bfgt/picture/zPicture.h"

#include "framework/system/zLogStream.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

uint32_t ReadPixel(const uint8_t* p, int bytes)
{
    switch (bytes) {
    case 1:
        return p[0];
    case 2:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 3:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    default:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

void WritePixel(uint8_t* p, int bytes, uint32_t value)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

// One channel of an integer format: how its bits leave and enter an 8-bit value.
struct Channel {
    uint32_t mask;
    uint8_t shift;
    uint8_t width;

    Channel(uint32_t channelMask, uint8_t channelShift, uint8_t channelWidth)
        : mask(channelMask), shift(channelShift), width(channelWidth)
    {
    }

    // The channel's value scaled to 8 bits (short channels shifted up, long ones cut).
    uint32_t Extract(uint32_t pixel) const
    {
        if (width == 0)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        return width <= 8 ? (v << (8 - width)) & 0xFF : (v >> (width - 8)) & 0xFF;
    }

    uint32_t Place(uint32_t byte) const
    {
        if (width == 0)
            return 0;
        return (width <= 8 ? byte >> (8 - width) : byte << (width - 8)) << shift;
    }
};

bool IsIntegerDepth(uint8_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool IsFloatLayout(const zPixelFormat& f)
{
    return f.isFloat && f.bitsPerPixel == 96 && f.redMask < 3 && f.greenMask < 3 && f.blueMask < 3;
}

// Float to 8 bits: 255 at and above 1 and for NaN, 0 at and below 0.
uint32_t FloatToByte(float value)
{
    double v = double(value) * 255.0;
    if (!(v < 255.0))
        return 255;
    if (v <= 0.0)
        return 0;
    return uint32_t(v) & 0xFF;
}

bool ChannelsAreWholeBytes(const zPixelFormat& f)
{
    return f.bitsPerPixel == 32 && !f.isFloat && f.alphaWidth == 8 && f.redWidth == 8 && f.greenWidth == 8 &&
           f.blueWidth == 8 && f.alphaShift % 8 == 0 && f.redShift % 8 == 0 && f.greenShift % 8 == 0 &&
           f.blueShift % 8 == 0;
}

} // namespace

zPicture::zPicture(const zPicture& other)
{
    Copy(other);
}

zPicture& zPicture::operator=(const zPicture& other)
{
    if (this != &other)
        Copy(other);
    return *this;
}

zPicture::~zPicture()
{
    Free();
}

void zPicture::Reset()
{
    pixels = nullptr;
    width = 0;
    height = 0;
    format = zPixelFormat();
    stateFlags = 0;
    bufferFlags = 0;
}

void zPicture::Free()
{
    if (pixels != nullptr && (bufferFlags & BufferNotOwned) == 0)
        std::free(pixels);
    pixels = nullptr;
    bufferFlags &= ~BufferNotOwned;
}

namespace {

std::atomic<uint64_t> BufferLimit{zPicture::DefaultBufferLimit};

} // namespace

uint64_t zPicture::SetBufferLimit(uint64_t bytes)
{
    return BufferLimit.exchange(bytes);
}

uint64_t zPicture::GetBufferLimit()
{
    return BufferLimit.load();
}

uint64_t zPicture::BufferBytes(int32_t w, int32_t h, uint8_t bitsPerPixel)
{
    if (w <= 0 || h <= 0 || bitsPerPixel / 8 == 0)
        return 0;
    uint64_t bytes = uint64_t(w) * uint64_t(bitsPerPixel / 8) * uint64_t(h);
    return bytes > BufferLimit.load(std::memory_order_relaxed) ? 0 : bytes;
}

bool zPicture::AllocAs(int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat)
{
    if (pixels != nullptr && width == newWidth && height == newHeight &&
        format.bitsPerPixel == newFormat.bitsPerPixel) {
        format.Copy(newFormat);
        return true;
    }
    Free();
    uint64_t bytes = BufferBytes(newWidth, newHeight, newFormat.bitsPerPixel);
    if (bytes != 0)
        pixels = static_cast<uint8_t*>(std::calloc(size_t(bytes), 1));
    if (pixels == nullptr) {
        LogError("zPicture::AllocAs") << "Failed to allocate picture buffer (" << newWidth << "x" << newHeight << "@"
                                      << newFormat.bitsPerPixel << "bpp).\n";
        return false;
    }
    width = newWidth;
    height = newHeight;
    format.Copy(newFormat);
    stateFlags &= ~StateSizeOnly;
    return true;
}

void zPicture::SetSizeOnly(int32_t newWidth, int32_t newHeight)
{
    Free();
    Reset();
    stateFlags = StateSizeOnly;
    width = newWidth;
    height = newHeight;
}

bool zPicture::Copy(const zPicture& source)
{
    if (this == &source)
        return true;
    Free();
    Reset();
    if (source.IsSizeOnly()) {
        SetSizeOnly(source.width, source.height);
        return true;
    }
    // A source without pixels (empty or freed) copies as an empty picture.
    if (source.pixels == nullptr)
        return true;
    if (!AllocAs(source.width, source.height, source.format))
        return false;
    std::memcpy(pixels, source.pixels, size_t(BufferBytes(width, height, format.bitsPerPixel)));
    return true;
}

void zPicture::SetExternalBuffer(uint8_t* buffer, int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat)
{
    if (buffer == nullptr)
        return;
    Free();
    pixels = buffer;
    width = newWidth;
    height = newHeight;
    format.Copy(newFormat);
    bufferFlags |= BufferNotOwned;
}

void zPicture::TakeBuffer(uint8_t* buffer, int32_t newWidth, int32_t newHeight, const zPixelFormat& newFormat)
{
    Free();
    pixels = buffer;
    width = newWidth;
    height = newHeight;
    format.Copy(newFormat);
    stateFlags &= ~StateSizeOnly;
}

void zPicture::Swap(zPicture& other)
{
    std::swap(pixels, other.pixels);
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(format, other.format);
    std::swap(stateFlags, other.stateFlags);
    std::swap(bufferFlags, other.bufferFlags);
}

bool zPicture::ConvertTo(const zPixelFormat& target)
{
    if (!format.IsDifferent(target))
        return true;
    if (target.bitsPerPixel == 0) {
        Free();
        Reset();
        return true;
    }
    if (pixels == nullptr) {
        format.Copy(target);
        return true;
    }
    const bool sourceFloat = format.isFloat != 0;
    const bool targetFloat = target.isFloat != 0;
    if (sourceFloat ? !IsFloatLayout(format) : !IsIntegerDepth(format.bitsPerPixel))
        return false;
    if (targetFloat ? !IsFloatLayout(target) : !IsIntegerDepth(target.bitsPerPixel))
        return false;

    const size_t count = size_t(width) * size_t(height);

    if (ChannelsAreWholeBytes(format) && ChannelsAreWholeBytes(target)) {
        const int from[4] = {format.alphaShift / 8, format.redShift / 8, format.greenShift / 8, format.blueShift / 8};
        const int to[4] = {target.alphaShift / 8, target.redShift / 8, target.greenShift / 8, target.blueShift / 8};
        for (uint8_t *p = pixels, *end = pixels + count * 4; p != end; p += 4) {
            const uint8_t in[4] = {p[from[0]], p[from[1]], p[from[2]], p[from[3]]};
            p[to[0]] = in[0];
            p[to[1]] = in[1];
            p[to[2]] = in[2];
            p[to[3]] = in[3];
        }
        format.Copy(target);
        return true;
    }

    const uint64_t bytes = BufferBytes(width, height, target.bitsPerPixel);
    uint8_t* buffer = bytes == 0 ? nullptr : static_cast<uint8_t*>(std::malloc(size_t(bytes)));
    if (buffer == nullptr)
        return false;

    const int targetBytes = target.bitsPerPixel / 8;
    const int sourceBytes = format.bitsPerPixel / 8;
    const Channel targetChannels[4] = {{target.alphaMask, target.alphaShift, target.alphaWidth},
                                       {target.redMask, target.redShift, target.redWidth},
                                       {target.greenMask, target.greenShift, target.greenWidth},
                                       {target.blueMask, target.blueShift, target.blueWidth}};
    const Channel sourceChannels[4] = {{format.alphaMask, format.alphaShift, format.alphaWidth},
                                       {format.redMask, format.redShift, format.redWidth},
                                       {format.greenMask, format.greenShift, format.greenWidth},
                                       {format.blueMask, format.blueShift, format.blueWidth}};

    const uint8_t* in = pixels;
    uint8_t* out = buffer;
    if (sourceFloat && targetFloat) {
        for (size_t i = 0; i < count; ++i, in += 12, out += 12) {
            float rgb[3];
            std::memcpy(rgb, in, 12);
            float result[3];
            result[target.redMask] = rgb[format.redMask];
            result[target.greenMask] = rgb[format.greenMask];
            result[target.blueMask] = rgb[format.blueMask];
            std::memcpy(out, result, 12);
        }
    } else if (sourceFloat) {
        // Float pictures carry no alpha: it comes out opaque.
        const uint32_t alpha = targetChannels[0].Place(255);
        for (size_t i = 0; i < count; ++i, in += 12, out += targetBytes) {
            float rgb[3];
            std::memcpy(rgb, in, 12);
            uint32_t value = alpha + targetChannels[1].Place(FloatToByte(rgb[format.redMask])) +
                             targetChannels[2].Place(FloatToByte(rgb[format.greenMask])) +
                             targetChannels[3].Place(FloatToByte(rgb[format.blueMask]));
            WritePixel(out, targetBytes, value);
        }
    } else if (targetFloat) {
        for (size_t i = 0; i < count; ++i, in += sourceBytes, out += 12) {
            uint32_t pixel = ReadPixel(in, sourceBytes);
            float result[3];
            result[target.redMask] = float(sourceChannels[1].Extract(pixel)) / 255.0f;
            result[target.greenMask] = float(sourceChannels[2].Extract(pixel)) / 255.0f;
            result[target.blueMask] = float(sourceChannels[3].Extract(pixel)) / 255.0f;
            std::memcpy(out, result, 12);
        }
    } else {
        for (size_t i = 0; i < count; ++i, in += sourceBytes, out += targetBytes) {
            uint32_t pixel = ReadPixel(in, sourceBytes);
            uint32_t value = 0;
            for (int c = 0; c < 4; ++c)
                value += targetChannels[c].Place(sourceChannels[c].Extract(pixel));
            WritePixel(out, targetBytes, value);
        }
    }
    TakeBuffer(buffer, width, height, target);
    return true;
}

bool zPicture::HasTransparentPixel() const
{
    if (pixels == nullptr || width <= 0 || height <= 0 || format.isFloat || !IsIntegerDepth(format.bitsPerPixel) ||
        format.alphaWidth == 0)
        return false;
    const int bytes = format.bitsPerPixel / 8;
    const Channel alpha(format.alphaMask, format.alphaShift, format.alphaWidth);
    const uint32_t opaque = format.alphaWidth >= 8 ? 255 : (1u << format.alphaWidth) - 1;
    const size_t count = size_t(width) * size_t(height);
    const uint8_t* p = pixels;
    for (size_t i = 0; i < count; ++i, p += bytes) {
        if (alpha.Extract(ReadPixel(p, bytes)) < opaque)
            return true;
    }
    return false;
}
