#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/tools/zString.h"

#include <cstdint>

struct zIOHandle; // opaque; each file system defines its own record

// A file system: the interface through which every file is opened, read and
// written. File systems derive from zLinkedListEntry so they can be listed.
class zIOBaseFS : public zLinkedListEntry {
public:
    zIOBaseFS() = default;
    zIOBaseFS(const zIOBaseFS&) = delete;
    zIOBaseFS& operator=(const zIOBaseFS&) = delete;
    virtual ~zIOBaseFS();

    virtual uint32_t GetCapabilities() = 0;
    virtual zString GetCurrentPath();
    virtual bool SetCurrentPath(const char* path);
    // Appends a new zString per match; the caller deletes them.
    virtual bool ListDirectory(const char* pattern, ztLinkedList<zString*>& list);
    virtual zIOHandle* OpenDirect(const char* path, bool read, bool write, bool append) = 0;
    virtual uint32_t Read(zIOHandle* handle, void* buffer, uint32_t count) = 0;
    virtual uint32_t Write(zIOHandle* handle, const void* buffer, uint32_t count) = 0;
    virtual uint32_t GetSize(zIOHandle* handle) = 0;
    // Mode 1 from the current position, 2 from the end, anything else from the start.
    virtual bool Seek(zIOHandle* handle, int32_t offset, int mode) = 0;
    virtual uint32_t Rewind(zIOHandle* handle) = 0;
    virtual uint32_t Tell(zIOHandle* handle) = 0;
    virtual bool Close(zIOHandle* handle) = 0;
    virtual bool CloseAll();

    // Normalises the path and finds it as given or under a search path, which
    // then rewrites it; true when it can be opened for reading.
    bool LocateFile(zString& path);
    // OpenDirect, then the located path when the path as given fails.
    zIOHandle* Open(const char* path, bool read, bool write, bool append);

    int32_t GetOpenHandleCount() const { return handles.GetCount(); }
    bool OwnsHandle(const zIOHandle* handle) const;

protected:
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
