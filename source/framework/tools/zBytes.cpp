#include "framework/tools/zBytes.h"

#include <bit>
#include <cstring>
#include <utility>

void SwapBytes(int size, void* data)
{
    auto* bytes = static_cast<unsigned char*>(data);
    if (size == 2) {
        std::swap(bytes[0], bytes[1]);
    } else if (size == 4) {
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
    }
}

int CountSetBits(uint32_t mask)
{
    return std::popcount(mask);
}

int LowestSetBit(uint32_t mask)
{
    return std::countr_zero(mask);
}

void CopyBytes(void* destination, const void* source, uint32_t count)
{
    if (count != 0)
        std::memcpy(destination, source, count);
}

void FillBytes(void* data, int value, uint32_t count)
{
    if (count != 0)
        std::memset(data, value & 0xFF, count);
}
