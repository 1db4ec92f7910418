#include "bfgt/picture/zPixelFormat.h"

#include "framework/system/zLogStream.h"

#include <utility>

namespace {

// Component to its 8-bit value: truncated, 0 for NaN and below 0, 255 above 1.
uint32_t ComponentByte(float value)
{
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return 255;
    return uint32_t(double(value) * 255.0);
}

uint32_t Place(uint32_t byte, uint8_t width, uint8_t shift)
{
    return width == 0 ? 0 : byte << (shift & 31);
}

} // namespace

uint32_t zPixelFormat::Format(float r, float g, float b, float a) const
{
    if (bitsPerPixel != 32 || isFloat) {
        LogWarning("zPixelFormat::Format") << "Unimplemented formatting.\n";
        return 0;
    }
    uint32_t value = Place(ComponentByte(r), redWidth, redShift) + Place(ComponentByte(g), greenWidth, greenShift) +
                     Place(ComponentByte(b), blueWidth, blueShift) + Place(ComponentByte(a), alphaWidth, alphaShift);
    // The host order is little-endian, so the value needs no reversal.
    return value;
}

void zPixelFormat::ToHostOrder(int size, void* value) const
{
    if (byteOrder == HostByteOrder || value == nullptr)
        return;
    uint8_t* bytes = static_cast<uint8_t*>(value);
    for (int i = 0, j = size - 1; i < j; ++i, --j)
        std::swap(bytes[i], bytes[j]);
}
