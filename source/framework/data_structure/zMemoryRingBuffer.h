#pragma once

#include <cstdint>

// A ring of fixed-size blocks between a producer and a consumer. A block
// becomes readable only once it is completely written. Not locked: users on
// two threads guard Write and Read themselves.
class zMemoryRingBuffer {
public:
    zMemoryRingBuffer() = default;
    ~zMemoryRingBuffer();
    zMemoryRingBuffer(const zMemoryRingBuffer&) = delete;
    zMemoryRingBuffer& operator=(const zMemoryRingBuffer&) = delete;

    // Given memory is adopted: used, never freed by the buffer.
    bool Allocate(uint32_t blockSize, uint32_t blockCount, void* memory = nullptr);
    // Returns the number of bytes that did not fit. Null data reserves the space.
    uint32_t Write(const void* data, uint32_t byteCount);
    // Returns the number of bytes read. Null data discards them.
    uint32_t Read(void* data, uint32_t byteCount);
    void Free();

    uint32_t GetBlockSize() const { return blockSize; }
    uint32_t GetBlockCount() const { return blockCount; }
    uint32_t GetFreeBlockCount() const { return freeBlocks; }

private:
    bool memoryAdopted = false;
    uint32_t writeBlock = 0;
    uint32_t readBlock = 0;
    uint32_t freeBlocks = 0;
    unsigned char* storage = nullptr;
    uint32_t blockSize = 0;
    uint32_t blockCount = 0;
    uint32_t writeOffset = 0;
    uint32_t readOffset = 0;
};
