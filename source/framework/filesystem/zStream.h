#pragma once

#include "framework/filesystem/zIOBaseFS.h"

#include <cstdint>

// A file opened through the current file system, its fallbacks and the search
// paths, with raw and typed reads and writes. With byte order 1 (every stream
// of the system) multi-byte values are little-endian; any other value swaps them.
class zStream {
public:
    explicit zStream(int32_t byteOrder = 1);
    ~zStream();
    zStream(const zStream&) = delete;
    zStream& operator=(const zStream&) = delete;

    bool Open(const char* path, bool read, bool write, bool append = false);
    bool Close();
    bool IsOpen() const;
    uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);
    uint32_t GetSize();
    bool Seek(int32_t offset, int mode);
    uint32_t Rewind();
    uint32_t Tell();
    bool ReadU8(uint8_t& value);   // true when every byte was read
    bool ReadU16(uint16_t& value);
    bool ReadU32(uint32_t& value);
    bool WriteU8(uint8_t value);   // true when every byte was written
    bool WriteU16(uint16_t value);
    bool WriteU32(uint32_t value);

    zIOBaseFS* GetFS() const { return fs; }
    int32_t GetByteOrder() const { return byteOrder; }

    // Null selects the disk; returns the argument.
    static zIOBaseFS* SetCurrentFS(zIOBaseFS* fs);
    static zIOBaseFS* GetCurrentFS();
    // A file system already queued is refused with a warning (still true).
    static bool QueueFallbackFS(zIOBaseFS* fs);
    // The current file system, then for reads each fallback in queue order.
    static zIOHandle* OpenHandle(const char* path, bool read, bool write, bool append, zIOBaseFS*& fs);
    static bool Exists(const char* path);
    // The whole file in a new[] buffer the caller delete[]s (no NUL added); 0 and a null buffer when it cannot be read.
    // An empty file gives 0 and a buffer of zero bytes, which the caller also delete[]s.
    static uint32_t LoadFile(const char* path, char*& buffer);
    static uint32_t GetFileSize(const char* path);
    static bool LocateFile(zString& path);

private:
    int32_t byteOrder;
    bool open = false;
    zIOBaseFS* fs = nullptr;
    zIOHandle* handle = nullptr;
};
