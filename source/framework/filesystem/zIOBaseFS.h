#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/tools/zString.h"

#include <cstdint>

struct zIOHandle; // opaque; each file system defines its own record

// A file system: the interface through which every file is opened, read and
// written. File systems derive from zLinkedListEntry so they can be listed.
// A handle belongs to the file system that opened it: it is used and closed
// only through that one, and every operation given a null handle returns 0
// or false. One thread at a time per handle.
class zIOBaseFS : public zLinkedListEntry {
public:
    zIOBaseFS() = default;
    zIOBaseFS(const zIOBaseFS&) = delete;
    zIOBaseFS& operator=(const zIOBaseFS&) = delete;
    virtual ~zIOBaseFS();

    // 0x0F on disk, 0x4B for an archive; nothing tests the bits.
    virtual uint32_t GetCapabilities() = 0;
    // Empty and false where the file system has no current directory.
    virtual zString GetCurrentPath();
    virtual bool SetCurrentPath(const char* path);
    // Appends a new zString per match; the caller deletes them.
    virtual bool ListDirectory(const char* pattern, ztLinkedList<zString*>& list);
    // The path exactly as given (no search paths); null when it cannot be
    // opened. The handle stays the file system's until Close.
    virtual zIOHandle* OpenDirect(const char* path, bool read, bool write, bool append) = 0;
    // Byte counts actually moved.
    virtual uint32_t Read(zIOHandle* handle, void* buffer, uint32_t count) = 0;
    virtual uint32_t Write(zIOHandle* handle, const void* buffer, uint32_t count) = 0;
    // In bytes.
    virtual uint32_t GetSize(zIOHandle* handle) = 0;
    // Mode 1 from the current position, 2 from the end, anything else from the start.
    virtual bool Seek(zIOHandle* handle, int32_t offset, int mode) = 0;
    virtual uint32_t Rewind(zIOHandle* handle) = 0;
    virtual uint32_t Tell(zIOHandle* handle) = 0;
    // Hands whatever the file system still holds for the handle to the file;
    // false when that write fails (the data held is then lost). True for a
    // handle that holds nothing back.
    virtual bool Flush(zIOHandle* handle) { return handle != nullptr; }
    // Frees the handle. A handle this file system did not open (or already
    // closed) is refused with an error line and false, never looked into.
    virtual bool Close(zIOHandle* handle) = 0;
    // Closes every handle still open here.
    virtual bool CloseAll();

    // Normalises the path and finds it as given or under a search path, which
    // then rewrites it; true when it can be opened for reading.
    bool LocateFile(zString& path);
    // OpenDirect, then the located path when the path as given fails.
    zIOHandle* Open(const char* path, bool read, bool write, bool append);

    int32_t GetOpenHandleCount() const { return handles.GetCount(); }
    // Whether the handle was opened here and is not yet closed.
    bool OwnsHandle(const zIOHandle* handle) const;

protected:
    // Records a handle just opened; false when the record cannot be allocated.
    bool AddHandle(zIOHandle* handle);
    // Unlinks the handle from the open-handle list; false when it is not there.
    bool RemoveHandle(const zIOHandle* handle);

    // Every handle opened here and not yet closed, in opening order.
    ztLinkedList<zIOHandle*> handles;
};

// The current file system, never null: every zStream opens through it first.
extern zIOBaseFS* GlobalCurrentFS;
// Tried in queue order when a file cannot be opened for reading on the current one.
extern ztLinkedList<zIOBaseFS*> GlobalFallbackFSList;
// Directory prefixes without a trailing '/' under which relative paths are searched.
extern ztLinkedList<zString> GlobalSearchPathList;

// Removes the first search-path prefix that begins the normalised path and is
// followed by '/' or the end of the path; the rest keeps its leading '/'.
bool StripSearchPath(zString& path);
