#pragma once

#include <bit>
#include <cstdint>

// How one pixel is packed: a little-endian integer of 8, 16, 24 or 32 bits cut
// into four channels by their masks, or three 32-bit floats (red, green, blue)
// whose masks then hold the channel indices.
class zPixelFormat {
public:
    static constexpr int32_t HostByteOrder = 1;

    constexpr zPixelFormat() = default;
    constexpr zPixelFormat(int32_t byteOrder, uint32_t alphaMask, uint32_t redMask, uint32_t greenMask,
                           uint32_t blueMask, uint8_t bitsPerPixel, uint8_t isFloat)
    {
        Set(byteOrder, alphaMask, redMask, greenMask, blueMask, bitsPerPixel, isFloat);
    }

    constexpr void Set(int32_t order, uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue, uint8_t bits,
                       uint8_t floatFlag)
    {
        byteOrder = order;
        alphaMask = alpha;
        redMask = red;
        greenMask = green;
        blueMask = blue;
        bitsPerPixel = bits;
        isFloat = floatFlag;
        alphaShift = uint8_t(std::countr_zero(alpha));
        redShift = uint8_t(std::countr_zero(red));
        greenShift = uint8_t(std::countr_zero(green));
        blueShift = uint8_t(std::countr_zero(blue));
        alphaWidth = uint8_t(std::popcount(alpha));
        redWidth = uint8_t(std::popcount(red));
        greenWidth = uint8_t(std::popcount(green));
        blueWidth = uint8_t(std::popcount(blue));
    }

    constexpr void Copy(const zPixelFormat& other)
    {
        Set(other.byteOrder, other.alphaMask, other.redMask, other.greenMask, other.blueMask, other.bitsPerPixel,
            other.isFloat);
    }

    constexpr bool IsDifferent(const zPixelFormat& other) const
    {
        return byteOrder != other.byteOrder || bitsPerPixel != other.bitsPerPixel || alphaMask != other.alphaMask ||
               redMask != other.redMask || greenMask != other.greenMask || blueMask != other.blueMask ||
               isFloat != other.isFloat;
    }

    // Packs a colour into a pixel value of a 32-bit format; components are
    // clamped to 0..1 and channels the format lacks add nothing.
    uint32_t Format(float r, float g, float b, float a) const;

    // Reverses the bytes of a value when this format's byte order is not the host's.
    void ToHostOrder(int size, void* value) const;

    constexpr int32_t BytesPerPixel() const { return bitsPerPixel / 8; }

    int32_t byteOrder = 0;
    uint32_t alphaMask = 0;
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
    uint8_t bitsPerPixel = 0;
    uint8_t isFloat = 0;
    // Derived from the masks: lowest set bit (32 for an empty mask) and bit count.
    uint8_t alphaShift = 32;
    uint8_t redShift = 32;
    uint8_t greenShift = 32;
    uint8_t blueShift = 32;
    uint8_t alphaWidth = 0;
    uint8_t redWidth = 0;
    uint8_t greenWidth = 0;
    uint8_t blueWidth = 0;
};

inline constexpr zPixelFormat PixelFormatARGB32{1, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF, 32, 0};
inline constexpr zPixelFormat PixelFormatABGR32{1, 0xFF000000, 0x000000FF, 0x0000FF00, 0x00FF0000, 32, 0};
inline constexpr zPixelFormat PixelFormatBGRA32{1, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, 32, 0};
inline constexpr zPixelFormat PixelFormatRGB24{1, 0, 0x00FF0000, 0x0000FF00, 0x000000FF, 24, 0};
inline constexpr zPixelFormat PixelFormatBGR24{1, 0, 0x000000FF, 0x0000FF00, 0x00FF0000, 24, 0};
inline constexpr zPixelFormat PixelFormatBGR555{1, 0, 0x001F, 0x03E0, 0x7C00, 16, 0};
inline constexpr zPixelFormat PixelFormatBGR565{1, 0, 0x001F, 0x07E0, 0xF800, 16, 0};
inline constexpr zPixelFormat PixelFormatABGR4444{1, 0xF000, 0x000F, 0x00F0, 0x0F00, 16, 0};
inline constexpr zPixelFormat PixelFormatRGBFloat{1, 0, 0, 1, 2, 96, 1};

// The nine presets in their fixed order.
inline constexpr zPixelFormat PixelFormatPresets[9] = {
    PixelFormatARGB32, PixelFormatABGR32, PixelFormatBGRA32, PixelFormatRGB24,    PixelFormatBGR24,
    PixelFormatBGR555, PixelFormatBGR565, PixelFormatABGR4444, PixelFormatRGBFloat,
};
