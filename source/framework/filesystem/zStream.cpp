#include "framework/filesystem/zStream.h"

#include "framework/filesystem/zIODiskFS.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zBytes.h"

#include <new>

zStream::zStream(int32_t byteOrder) : byteOrder(byteOrder) {}

zStream::~zStream()
{
    Close();
}

bool zStream::Open(const char* path, bool read, bool write, bool append)
{
    Close();
    handle = OpenHandle(path, read, write, append, fs);
    open = handle != nullptr;
    if (!open)
        fs = nullptr;
    return open;
}

bool zStream::Close()
{
    if (handle == nullptr)
        return true;
    const bool closed = fs->Close(handle);
    if (!closed)
        LogError("zStream::Close") << "File system failed to close handle.\n";
    handle = nullptr;
    open = false;
    return closed;
}

bool zStream::IsOpen() const
{
    return open;
}

uint32_t zStream::Read(void* buffer, uint32_t count)
{
    return handle != nullptr ? fs->Read(handle, buffer, count) : 0;
}

uint32_t zStream::Write(const void* buffer, uint32_t count)
{
    return handle != nullptr ? fs->Write(handle, buffer, count) : 0;
}

bool zStream::Flush()
{
    return handle != nullptr && fs->Flush(handle);
}

uint32_t zStream::GetSize()
{
    return handle != nullptr ? fs->GetSize(handle) : 0;
}

bool zStream::Seek(int32_t offset, int mode)
{
    return handle != nullptr && fs->Seek(handle, offset, mode);
}

uint32_t zStream::Rewind()
{
    return handle != nullptr ? fs->Rewind(handle) : 0;
}

uint32_t zStream::Tell()
{
    return handle != nullptr ? fs->Tell(handle) : 0;
}

bool zStream::ReadU8(uint8_t& value)
{
    return Read(&value, 1) == 1;
}

bool zStream::ReadU16(uint16_t& value)
{
    if (Read(&value, 2) != 2)
        return false;
    if (byteOrder != 1)
        SwapBytes(2, &value);
    return true;
}

bool zStream::ReadU32(uint32_t& value)
{
    if (Read(&value, 4) != 4)
        return false;
    if (byteOrder != 1)
        SwapBytes(4, &value);
    return true;
}

bool zStream::WriteU8(uint8_t value)
{
    return Write(&value, 1) == 1;
}

bool zStream::WriteU16(uint16_t value)
{
    if (byteOrder != 1)
        SwapBytes(2, &value);
    return Write(&value, 2) == 2;
}

bool zStream::WriteU32(uint32_t value)
{
    if (byteOrder != 1)
        SwapBytes(4, &value);
    return Write(&value, 4) == 4;
}

zIOBaseFS* zStream::SetCurrentFS(zIOBaseFS* fs)
{
    GlobalCurrentFS = fs != nullptr ? fs : &GlobalDiskFS;
    return fs;
}

zIOBaseFS* zStream::GetCurrentFS()
{
    return GlobalCurrentFS;
}

bool zStream::QueueFallbackFS(zIOBaseFS* fs)
{
    if (fs == nullptr)
        return false;
    for (const ztLinkedList<zIOBaseFS*>::Node* node = GlobalFallbackFSList.GetFirst(); node != nullptr; node = node->next) {
        if (node->value == fs) {
            LogWarning("zStream::QueueFallbackFS") << "Fallback file system already queued.\n";
            return true;
        }
    }
    return GlobalFallbackFSList.Add(fs) != nullptr;
}

zIOHandle* zStream::OpenHandle(const char* path, bool read, bool write, bool append, zIOBaseFS*& fs)
{
    if (zIOHandle* handle = GlobalCurrentFS->Open(path, read, write, append)) {
        fs = GlobalCurrentFS;
        return handle;
    }
    // Only reads fall back: a file is written where the current file system puts it.
    if (read) {
        for (const ztLinkedList<zIOBaseFS*>::Node* node = GlobalFallbackFSList.GetFirst(); node != nullptr; node = node->next) {
            if (node->value == nullptr)
                continue;
            if (zIOHandle* handle = node->value->Open(path, read, write, append)) {
                fs = node->value;
                return handle;
            }
        }
    }
    return nullptr;
}

bool zStream::Exists(const char* path)
{
    zIOBaseFS* fs = nullptr;
    zIOHandle* handle = OpenHandle(path, true, false, false, fs);
    if (handle == nullptr)
        return false;
    fs->Close(handle);
    return true;
}

uint32_t zStream::LoadFile(const char* path, char*& buffer)
{
    buffer = nullptr;
    zStream stream;
    if (!stream.Open(path, true, false))
        return 0;
    const uint32_t size = stream.GetSize();
    char* data = new (std::nothrow) char[size];
    if (data == nullptr)
        return 0;
    // A file that shrank since its size was taken cannot be delivered whole.
    if (stream.Read(data, size) != size) {
        delete[] data;
        return 0;
    }
    buffer = data;
    return size;
}

uint32_t zStream::GetFileSize(const char* path)
{
    zStream stream;
    if (!stream.Open(path, true, false))
        return 0;
    return stream.GetSize();
}

bool zStream::LocateFile(zString& path)
{
    if (GlobalCurrentFS->LocateFile(path))
        return true;
    for (const ztLinkedList<zIOBaseFS*>::Node* node = GlobalFallbackFSList.GetFirst(); node != nullptr; node = node->next) {
        if (node->value != nullptr && node->value->LocateFile(path))
            return true;
    }
    return false;
}
