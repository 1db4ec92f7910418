#pragma once

#include "framework/filesystem/zIOBaseFS.h"

// The file system of the local disk, over C stdio.
class zIODiskFS : public zIOBaseFS {
public:
    zIODiskFS() = default;
    ~zIODiskFS() override;

    uint32_t GetCapabilities() override;
    bool SetCurrentPath(const char* path) override;
    bool ListDirectory(const char* pattern, ztLinkedList<zString*>& list) override;
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool append) override;
    uint32_t Read(zIOHandle* handle, void* buffer, uint32_t count) override;
    uint32_t Write(zIOHandle* handle, const void* buffer, uint32_t count) override;
    uint32_t GetSize(zIOHandle* handle) override;
    bool Seek(zIOHandle* handle, int32_t offset, int mode) override;
    uint32_t Rewind(zIOHandle* handle) override;
    uint32_t Tell(zIOHandle* handle) override;
    bool Flush(zIOHandle* handle) override;
    bool Close(zIOHandle* handle) override;

    // The C stdio mode for a set of open flags ("rb", "wb", "r+b", "a+").
    static const char* ModeFor(bool read, bool write, bool append);
};

extern zIODiskFS GlobalDiskFS;
