#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads little-endian values from a byte range and never past its end: a read
// that does not fit fails and leaves the position where it was.
class zMemoryReader {
public:
    zMemoryReader(const uint8_t* bytes, size_t count) : data(bytes), size(bytes == nullptr ? 0 : count) {}

    size_t Left() const { return size - position; }
    size_t Tell() const { return position; }
    const uint8_t* Here() const { return data + position; }

    bool Seek(size_t offset)
    {
        if (offset > size)
            return false;
        position = offset;
        return true;
    }
    bool Skip(size_t count)
    {
        if (count > Left())
            return false;
        position += count;
        return true;
    }
    bool Read(void* out, size_t count)
    {
        if (count > Left())
            return false;
        std::memcpy(out, data + position, count);
        position += count;
        return true;
    }
    bool ReadU8(uint8_t& value) { return Read(&value, 1); }
    bool ReadU16(uint16_t& value)
    {
        uint8_t b[2];
        if (!Read(b, 2))
            return false;
        value = uint16_t(b[0] | b[1] << 8);
        return true;
    }
    bool ReadU32(uint32_t& value)
    {
        uint8_t b[4];
        if (!Read(b, 4))
            return false;
        value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};
