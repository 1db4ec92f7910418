#pragma once

#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

// Shared by the fuzz targets: the fuzzer's input served as one file ("input"
// unless named otherwise), so nothing touches the disk, and a log sink that
// drops every line.
namespace fuzz_support {

class InputFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        uint32_t position = 0;
    };

    InputFS(const uint8_t* data, size_t size, const char* name = "input") : data(data), size(uint32_t(size)), name(name)
    {
    }
    ~InputFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool) override
    {
        if (path == nullptr || std::strcmp(path, name) != 0 || !read || write)
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
    const char* name;
};

// Files held in memory by name; nothing else exists. Each is handed out from
// a buffer of its exact size, so a read past it is caught.
class MemoryFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        const std::string* file = nullptr;
        uint32_t position = 0;
    };

    ~MemoryFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool) override
    {
        if (path == nullptr || write || !read)
            return nullptr;
        const auto found = files.find(path);
        if (found == files.end())
            return nullptr;
        auto* handle = new Handle;
        handle->name = path;
        handle->file = &found->second;
        AddHandle(handle);
        return handle;
    }
    uint32_t Read(zIOHandle* h, void* buffer, uint32_t count) override
    {
        auto* handle = static_cast<Handle*>(h);
        const uint32_t left = uint32_t(handle->file->size()) - handle->position;
        count = count < left ? count : left;
        if (count != 0)
            std::memcpy(buffer, handle->file->data() + handle->position, count);
        handle->position += count;
        return count;
    }
    uint32_t Write(zIOHandle*, const void*, uint32_t) override { return 0; }
    uint32_t GetSize(zIOHandle* h) override { return uint32_t(static_cast<Handle*>(h)->file->size()); }
    bool Seek(zIOHandle*, int32_t, int) override { return false; }
    uint32_t Rewind(zIOHandle* h) override { return static_cast<Handle*>(h)->position = 0; }
    uint32_t Tell(zIOHandle* h) override { return static_cast<Handle*>(h)->position; }
    bool Close(zIOHandle* h) override
    {
        if (!RemoveHandle(h))
            return false;
        delete static_cast<Handle*>(h);
        return true;
    }

    // The input up to its first NUL byte becomes the file first, the rest the
    // file second, so that either may include the other.
    void SplitInput(const uint8_t* data, size_t size, const char* first, const char* second)
    {
        files.clear();
        const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
        files[first].assign(reinterpret_cast<const char*>(data), split != nullptr ? size_t(split - data) : size);
        std::string& rest = files[second];
        if (split != nullptr)
            rest.assign(reinterpret_cast<const char*>(split + 1), size - size_t(split - data) - 1);
    }

    std::map<std::string, std::string> files;
};

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

} // namespace fuzz_support
