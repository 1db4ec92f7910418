#pragma once

#include "framework/filesystem/zArchive.h"
#include "framework/filesystem/zIOBaseFS.h"

// An archive seen as a file system: mounted for reading, every file of the
// archive opens by its entry name; mounted for writing, each file written
// becomes one new entry.
class zIOArchiveFS : public zIOBaseFS {
public:
    zIOArchiveFS() = default;
    ~zIOArchiveFS() override;

    // Closes every handle and the archive, then opens the archive at path for
    // reading (with or without the directory scan) or creates it for writing.
    bool Connect(const char* path, bool skipScan, bool write, zStream* userStream, bool verbose);

    uint32_t GetCapabilities() override;
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool append) override;
    uint32_t Read(zIOHandle* handle, void* buffer, uint32_t count) override;
    // Only one write per handle: the whole file becomes the entry.
    uint32_t Write(zIOHandle* handle, const void* buffer, uint32_t count) override;
    uint32_t GetSize(zIOHandle* handle) override;
    bool Seek(zIOHandle* handle, int32_t offset, int mode) override;
    uint32_t Rewind(zIOHandle* handle) override;
    uint32_t Tell(zIOHandle* handle) override;
    bool Close(zIOHandle* handle) override;

    zArchive& GetArchive() { return archive; }
    bool IsWriteMode() const { return writeMode; }

private:
    zArchive archive;
    bool writeMode = false;
};
