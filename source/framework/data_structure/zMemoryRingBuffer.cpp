#include "framework/data_structure/zMemoryRingBuffer.h"

#include "framework/system/zAssert.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <new>

zMemoryRingBuffer::~zMemoryRingBuffer()
{
    Free();
}

bool zMemoryRingBuffer::Allocate(uint32_t size, uint32_t count, void* memory)
{
    Free();
    const uint64_t total = uint64_t(size) * count;
    memoryAdopted = memory != nullptr;
    if (total == 0)
        memoryAdopted = false;
    else if (memoryAdopted)
        storage = static_cast<unsigned char*>(memory);
    else if (total < (uint64_t(1) << 32))
        storage = new (std::nothrow) unsigned char[total];
    if (storage == nullptr) {
        memoryAdopted = false;
        LogError("zMemoryRingBuffer::Allocate") << "Failed to allocate ring buffer.\n";
        return false;
    }
    blockSize = size;
    blockCount = count;
    readBlock = 0;
    writeBlock = 0;
    readOffset = 0;
    writeOffset = 0;
    freeBlocks = count;
    *GlobalLogStream << "Allocate " << int(total / 1024) << "kb ring buffer (" << int(count) << "*" << int(size)
                     << " bytes)\n";
    return true;
}

uint32_t zMemoryRingBuffer::Write(const void* data, uint32_t byteCount)
{
    const auto* source = static_cast<const unsigned char*>(data);
    while (byteCount > 0 && freeBlocks > 0) {
        TAVRIN_ASSERT(writeBlock < blockCount && writeOffset < blockSize);
        const uint32_t room = blockSize - writeOffset;
        const uint32_t n = byteCount < room ? byteCount : room;
        if (source != nullptr) {
            std::memcpy(storage + size_t(writeBlock) * blockSize + writeOffset, source, n);
            source += n;
        }
        byteCount -= n;
        writeOffset += n;
        if (writeOffset == blockSize) {
            --freeBlocks;
            writeOffset = 0;
            writeBlock = (writeBlock + 1) % blockCount;
        }
    }
    return byteCount;
}

uint32_t zMemoryRingBuffer::Read(void* data, uint32_t byteCount)
{
    auto* destination = static_cast<unsigned char*>(data);
    uint32_t read = 0;
    while (byteCount > 0 && freeBlocks < blockCount) {
        TAVRIN_ASSERT(readBlock < blockCount && readOffset < blockSize);
        const uint32_t available = blockSize - readOffset;
        const uint32_t n = byteCount < available ? byteCount : available;
        if (destination != nullptr) {
            std::memcpy(destination, storage + size_t(readBlock) * blockSize + readOffset, n);
            destination += n;
        }
        byteCount -= n;
        read += n;
        readOffset += n;
        if (readOffset == blockSize) {
            ++freeBlocks;
            readOffset = 0;
            readBlock = (readBlock + 1) % blockCount;
        }
    }
    return read;
}

void zMemoryRingBuffer::Free()
{
    if (!memoryAdopted)
        delete[] storage;
    storage = nullptr;
    memoryAdopted = false;
    blockSize = 0;
    blockCount = 0;
    freeBlocks = 0;
    readBlock = 0;
    writeBlock = 0;
    readOffset = 0;
    writeOffset = 0;
}
