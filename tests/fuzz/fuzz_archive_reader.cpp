#include "framework/filesystem/zArchive.h"
#include "framework/filesystem/zIOArchiveFS.h"
#include "framework/filesystem/zIODiskFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Serves the fuzzer's input as the one file "input", so nothing touches the disk.
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

} // namespace

// Any bytes, read as an archive: directory scan, every entry loaded directly
// and through the archive file system, reads and seeks past the ends.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);

    InputFS input(data, size);
    zStream stream;
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    const bool opened = stream.Open("input", true, false);
    zStream::SetCurrentFS(previous);
    if (!opened)
        return 0;

    zArchive archive;
    if (archive.OpenRead(nullptr, false, &stream)) {
        for (auto* node = archive.directory.GetFirst(); node != nullptr; node = node->next) {
            const zArchiveEntry* entry = node->value;
            std::vector<uint8_t> buffer(entry->size);
            archive.FileRead(entry->name.Get(), buffer.data(), uint32_t(buffer.size()));
        }
    }
    archive.Close();

    zIOArchiveFS fs;
    if (fs.Connect(nullptr, false, false, &stream, (size & 1) != 0)) {
        for (auto* node = fs.GetArchive().directory.GetFirst(); node != nullptr; node = node->next) {
            zIOHandle* handle = fs.OpenDirect(node->value->name.Get(), true, false, false);
            if (handle == nullptr)
                continue;
            uint8_t chunk[64];
            while (fs.Read(handle, chunk, sizeof(chunk)) != 0) {
            }
            fs.Seek(handle, -1, 2);
            fs.Read(handle, chunk, sizeof(chunk));
            fs.Seek(handle, int32_t(fs.GetSize(handle)) + 1, 0);
            fs.Close(handle);
        }
    }
    return 0;
}
