#pragma once

#include "framework/filesystem/zIOBaseFS.h"

#include <cstdint>

// A file opened through the current file system, its fallbacks and the search
// paths, with raw and typed reads and writes. With byte order 1 (every stream
// of the system) multi-byte values are little-endian; any other value swaps them.
// One thread at a time may use a stream (a decoder thread reads its media
// through one); the program-wide file-system lists that Open walks are changed
// on the main thread only, before streams are opened.
class zStream {
public:
    explicit zStream(int32_t byteOrder = 1);
    ~zStream();
    zStream(const zStream&) = delete;
    zStream& operator=(const zStream&) = delete;

    // Closes any file held, then opens through OpenHandle; false when no file
    // system can open the path.
    bool Open(const char* path, bool read, bool write, bool append = false);
    // True when nothing was open or the file system closed the handle.
    bool Close();
    bool IsOpen() const;
    // Byte counts actually moved; 0 when not open.
    uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);
    // In bytes; 0 when not open.
    uint32_t GetSize();
    // Mode 1 from the current position, 2 from the end, anything else from
    // the start; false when not open or the position is refused.
    bool Seek(int32_t offset, int mode);
    uint32_t Rewind();
    // The position in bytes; 0 when not open.
    uint32_t Tell();
    // Writes out what the file system still buffers; false when not open or
    // that write fails. A write can count as done and fail only here.
    bool Flush();
    bool ReadU8(uint8_t& value);   // true when every byte was read
    bool ReadU16(uint16_t& value);
    bool ReadU32(uint32_t& value);
    bool WriteU8(uint8_t value);   // true when every byte was written
    bool WriteU16(uint16_t value);
    bool WriteU32(uint32_t value);

    // The file system the open file came from; null when not open.
    zIOBaseFS* GetFS() const { return fs; }
    int32_t GetByteOrder() const { return byteOrder; }

    // Null selects the disk; returns the argument. The file system is not
    // owned: it must outlive its time as the current one. Main thread.
    static zIOBaseFS* SetCurrentFS(zIOBaseFS* fs);
    // Never null.
    static zIOBaseFS* GetCurrentFS();
    // A file system already queued is refused with a warning (still true);
    // null is false. Not owned; never dequeued. Main thread.
    static bool QueueFallbackFS(zIOBaseFS* fs);
    // The current file system, then for reads each fallback in queue order.
    // The handle belongs to the file system returned in fs and is closed
    // through it; null (fs untouched) when none can open the path.
    static zIOHandle* OpenHandle(const char* path, bool read, bool write, bool append, zIOBaseFS*& fs);
    // Whether the path opens for reading anywhere OpenHandle looks.
    static bool Exists(const char* path);
    // The whole file in a new[] buffer the caller delete[]s (no NUL added); 0 and a null buffer when it cannot be read.
    // An empty file gives 0 and a buffer of zero bytes, which the caller also delete[]s.
    static uint32_t LoadFile(const char* path, char*& buffer);
    // 0 when the file cannot be opened.
    static uint32_t GetFileSize(const char* path);
    // zIOBaseFS::LocateFile on the current file system, then on each
    // fallback; the path is rewritten where it was found.
    static bool LocateFile(zString& path);

private:
    int32_t byteOrder;
    bool open = false;
    zIOBaseFS* fs = nullptr;
    zIOHandle* handle = nullptr;
};
