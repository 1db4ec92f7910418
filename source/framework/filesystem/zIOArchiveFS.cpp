#include "framework/filesystem/zIOArchiveFS.h"

#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <new>

namespace {

struct zIOArchiveHandle : zIOHandle {
    zString fileName;
    zArchiveEntry* entry = nullptr; // null for a write handle until its write
    uint32_t position = 0;
    uint8_t* buffer = nullptr;      // the inflated data of a deflated entry
};

zIOArchiveHandle* AsArchiveHandle(zIOHandle* handle)
{
    return static_cast<zIOArchiveHandle*>(handle);
}

} // namespace

zIOArchiveFS::~zIOArchiveFS()
{
    CloseAll();
    archive.Close();
    handles.Clear();
}

bool zIOArchiveFS::Connect(const char* path, bool skipScan, bool write, zStream* userStream, bool verbose)
{
    CloseAll();
    archive.Close();
    LogHeading("zIOArchiveFS::Connect") << "Filesystem connecting to archive '" << (path != nullptr ? path : "") << "'...\n";
    archive.verbose = verbose;
    const bool connected = write ? archive.CreateNew(path, userStream) : archive.OpenRead(path, skipScan, userStream);
    if (connected)
        writeMode = write;
    return connected;
}

uint32_t zIOArchiveFS::GetCapabilities()
{
    return 0x4B;
}

zIOHandle* zIOArchiveFS::OpenDirect(const char* path, bool read, bool write, bool append)
{
    if (path == nullptr)
        return nullptr;
    if (read && writeMode) {
        LogError("zIOArchiveFS::OpenDirect") << "Cannot create read handle (r/w mode error).\n";
        return nullptr;
    }
    if (write && !writeMode) {
        LogError("zIOArchiveFS::OpenDirect") << "Cannot create write handle (r/w mode error).\n";
        return nullptr;
    }
    if (append) {
        LogError("zIOArchiveFS::OpenDirect") << "Append mode is not supported.\n";
        return nullptr;
    }
    zIOArchiveHandle* handle = new (std::nothrow) zIOArchiveHandle;
    if (handle == nullptr) {
        LogError("zIOArchiveFS::OpenDirect") << "Failed to create new archive handle.\n";
        return nullptr;
    }
    handle->fileName = path;

    if (read) {
        handle->entry = archive.FindEntry(path);
        if (handle->entry == nullptr) {
            delete handle;
            return nullptr;
        }
        // Anything but a stored entry goes through the archive's loader, which
        // inflates it or refuses what it cannot read.
        if (handle->entry->compressed != 0) {
            const uint32_t size = handle->entry->size;
            handle->buffer = new (std::nothrow) uint8_t[size];
            if (handle->buffer == nullptr) {
                LogError("zIOArchiveFS::OpenDirect") << "Failed to allocate stream buffer (size = " << size << ").\n";
                delete handle;
                return nullptr;
            }
            // The loader has said why it refused the entry.
            if (!archive.FileRead(path, handle->buffer, size)) {
                delete[] handle->buffer;
                delete handle;
                return nullptr;
            }
        }
    }
    if (!AddHandle(handle)) {
        LogError("zIOArchiveFS::OpenDirect") << "Failed to create new archive handle.\n";
        delete[] handle->buffer;
        delete handle;
        return nullptr;
    }
    return handle;
}

uint32_t zIOArchiveFS::Read(zIOHandle* base, void* buffer, uint32_t count)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    if (handle == nullptr || handle->entry == nullptr || buffer == nullptr)
        return 0;
    const uint32_t left = handle->entry->size - handle->position;
    if (count > left)
        count = left;
    if (count == 0)
        return 0;
    if (handle->buffer != nullptr) {
        std::memcpy(buffer, handle->buffer + handle->position, count);
    } else {
        if (archive.IsWriting() || handle->entry->compressed != 0)
            return 0;
        zStream* stream = archive.GetStream();
        const uint64_t offset = uint64_t(uint32_t(handle->entry->offset)) + handle->position;
        if (offset > uint64_t(INT32_MAX) || !stream->Seek(int32_t(offset), 0))
            return 0;
        count = stream->Read(buffer, count);
    }
    handle->position += count;
    return count;
}

uint32_t zIOArchiveFS::Write(zIOHandle* base, const void* buffer, uint32_t count)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    if (handle == nullptr)
        return 0;
    if (handle->entry != nullptr) {
        LogError("zIOArchiveFS::Write") << "Cannot perform subsequent write to file, this file system does not support streaming.\n";
        return 0;
    }
    if (!archive.MemoryBlockWrite(handle->fileName.Get(), buffer, count, 6)) {
        LogError("zIOArchiveFS::Write") << "Failed to compress data to archive.\n";
        return 0;
    }
    handle->entry = archive.FindEntry(handle->fileName.Get());
    // Every byte was taken: callers compare the result with what they wrote.
    return count;
}

uint32_t zIOArchiveFS::GetSize(zIOHandle* base)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    return handle != nullptr && handle->entry != nullptr ? handle->entry->size : 0;
}

bool zIOArchiveFS::Seek(zIOHandle* base, int32_t offset, int mode)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    if (handle == nullptr)
        return false;
    const int64_t size = handle->entry != nullptr ? handle->entry->size : 0;
    int64_t target = 0;
    switch (mode) {
    case 0: target = offset; break;
    case 1: target = int64_t(handle->position) + offset; break;
    case 2: target = size + offset; break;
    default: return true;
    }
    if (target < 0 || target > size)
        return false;
    handle->position = uint32_t(target);
    return true;
}

uint32_t zIOArchiveFS::Rewind(zIOHandle* base)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    if (handle != nullptr)
        handle->position = 0;
    return 0;
}

uint32_t zIOArchiveFS::Tell(zIOHandle* base)
{
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    return handle != nullptr ? handle->position : 0;
}

bool zIOArchiveFS::Close(zIOHandle* base)
{
    if (base == nullptr)
        return false;
    // Only the address of a handle that is not ours is safe to use.
    if (!RemoveHandle(base)) {
        LogError("zIOArchiveFS::Close") << "Trying to close a handle (" << zString::Format("%p", static_cast<const void*>(base))
                                        << ") that was not opened on this file system.\n";
        return false;
    }
    zIOArchiveHandle* handle = AsArchiveHandle(base);
    delete[] handle->buffer;
    delete handle;
    return true;
}
