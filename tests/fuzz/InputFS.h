#pragma once

#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Shared by the fuzz targets: the fuzzer's input served as the one file
// "input", so nothing touches the disk, and a log sink that drops every line.
namespace fuzz_support {

class InputFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        uint32_t position = 0;
    };

    InputFS(const uint8_t* data, size_t size) : data(data), size(uint32_t(size)) {}
    ~InputFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool) override
    {
        if (path == nullptr || std::strcmp(path, "input") != 0 || !read || write)
            return nullptr;
        Handle* handle = new Handle;
        AddHandle(handle);
        return handle;
    }
    uint32_t Read(zIOHandle* h, void* buffer, uint32_t count) override
    {
        Handle* handle = static_cast<Handle*>(h);
        const uint32_t left = size - handle->position;
        count = count < left ? count : left;
        if (count != 0)
            std::memcpy(buffer, data + handle->position, count);
        handle->position += count;
        return count;
    }
    uint32_t Write(zIOHandle*, const void*, uint32_t) override { return 0; }
    uint32_t GetSize(zIOHandle*) override { return size; }
    bool Seek(zIOHandle* h, int32_t offset, int mode) override
    {
        Handle* handle = static_cast<Handle*>(h);
        const int64_t base = mode == 1 ? handle->position : mode == 2 ? size : 0;
        const int64_t target = base + offset;
        if (target < 0 || target > size)
            return false;
        handle->position = uint32_t(target);
        return true;
    }
    uint32_t Rewind(zIOHandle* h) override { return static_cast<Handle*>(h)->position = 0; }
    uint32_t Tell(zIOHandle* h) override { return static_cast<Handle*>(h)->position; }
    bool Close(zIOHandle* h) override
    {
        if (!RemoveHandle(h))
            return false;
        delete static_cast<Handle*>(h);
        return true;
    }

private:
    const uint8_t* data;
    uint32_t size;
};

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

} // namespace fuzz_support
