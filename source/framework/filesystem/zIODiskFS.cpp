#include "framework/filesystem/zIODiskFS.h"

#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"
#include "platform/PlatformFile.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

struct zIODiskHandle : zIOHandle {
    FILE* file = nullptr;
};

FILE* FileOf(zIOHandle* handle)
{
    return handle != nullptr ? static_cast<zIODiskHandle*>(handle)->file : nullptr;
}

} // namespace

zIODiskFS::~zIODiskFS()
{
    CloseAll();
    handles.Clear();
}

uint32_t zIODiskFS::GetCapabilities()
{
    return 0x0F;
}

bool zIODiskFS::SetCurrentPath(const char* path)
{
    return path != nullptr && PlatformSetCurrentDirectory(path);
}

bool zIODiskFS::ListDirectory(const char* pattern, ztLinkedList<zString*>& list)
{
    list.Clear();
    std::vector<std::string> names;
    if (pattern == nullptr || !PlatformListDirectory(pattern, names))
        return false;
    for (const std::string& name : names) {
        zString* entry = new (std::nothrow) zString(name.c_str());
        if (entry == nullptr)
            return false;
        if (list.Add(entry) == nullptr) {
            delete entry;
            return false;
        }
    }
    return true;
}

const char* zIODiskFS::ModeFor(bool read, bool write, bool append)
{
    if (append)
        return "a+";
    if (read && write)
        return "r+b"; // update mode: the file must exist and is not truncated
    if (read)
        return "rb";
    if (write)
        return "wb";
    return "b";
}

zIOHandle* zIODiskFS::OpenDirect(const char* path, bool read, bool write, bool append)
{
    if (path == nullptr)
        return nullptr;
    zIODiskHandle* handle = new (std::nothrow) zIODiskHandle;
    if (handle == nullptr) {
        LogError("zIODiskFS::OpenDirect") << "Failed to a create new handle.\n";
        return nullptr;
    }
    handle->file = PlatformOpenFile(path, ModeFor(read, write, append));
    if (handle->file == nullptr && errno == PlatformNotRegularFile)
        LogError("zIODiskFS::OpenDirect") << "Cannot read '" << path << "', it is not a regular file.\n";
    if (handle->file == nullptr || !AddHandle(handle)) {
        if (handle->file != nullptr)
            std::fclose(handle->file);
        delete handle;
        return nullptr;
    }
    return handle;
}

uint32_t zIODiskFS::Read(zIOHandle* handle, void* buffer, uint32_t count)
{
    FILE* file = FileOf(handle);
    if (file == nullptr || buffer == nullptr)
        return 0;
    return uint32_t(std::fread(buffer, 1, count, file));
}

uint32_t zIODiskFS::Write(zIOHandle* handle, const void* buffer, uint32_t count)
{
    FILE* file = FileOf(handle);
    if (file == nullptr || buffer == nullptr)
        return 0;
    return uint32_t(std::fwrite(buffer, 1, count, file));
}

uint32_t zIODiskFS::GetSize(zIOHandle* handle)
{
    FILE* file = FileOf(handle);
    if (file == nullptr)
        return 0;
    const long position = std::ftell(file);
    if (position < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file);
    std::fseek(file, position, SEEK_SET);
    return size < 0 ? 0 : uint32_t(size);
}

bool zIODiskFS::Seek(zIOHandle* handle, int32_t offset, int mode)
{
    FILE* file = FileOf(handle);
    if (file == nullptr)
        return false;
    const int origin = mode == 1 ? SEEK_CUR : mode == 2 ? SEEK_END : SEEK_SET;
    return std::fseek(file, offset, origin) == 0;
}

uint32_t zIODiskFS::Rewind(zIOHandle* handle)
{
    FILE* file = FileOf(handle);
    if (file == nullptr)
        return 0;
    std::fseek(file, 0, SEEK_SET);
    return Tell(handle);
}

uint32_t zIODiskFS::Tell(zIOHandle* handle)
{
    FILE* file = FileOf(handle);
    if (file == nullptr)
        return 0;
    const long position = std::ftell(file);
    return position < 0 ? 0 : uint32_t(position);
}

bool zIODiskFS::Flush(zIOHandle* handle)
{
    FILE* file = FileOf(handle);
    return file != nullptr && std::fflush(file) == 0;
}

bool zIODiskFS::Close(zIOHandle* handle)
{
    if (handle == nullptr)
        return false;
    // A handle that is not ours may be another file system's record or one
    // already freed: looking inside it would be unsafe, so it is left alone.
    if (!RemoveHandle(handle)) {
        LogError("zIODiskFS::Close") << "Trying to close a disk handle (" << zString::Format("%p", static_cast<const void*>(handle))
                                     << ") that was not opened on this file system.\n";
        return false;
    }
    zIODiskHandle* diskHandle = static_cast<zIODiskHandle*>(handle);
    const bool closed = diskHandle->file != nullptr && std::fclose(diskHandle->file) == 0;
    delete diskHandle;
    return closed;
}
