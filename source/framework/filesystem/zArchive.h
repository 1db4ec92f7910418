#pragma once

#include "framework/data_structure/ztLinkedList.h"
#include "framework/filesystem/zStream.h"
#include "framework/tools/zString.h"

#include <cstdint>

// One file of an archive as its directory records it.
struct zArchiveEntry {
    zString name;
    uint8_t compressed = 0; // the flag byte: 1 deflated, 0 stored
    int32_t offset = 0;     // of the data in the archive
    uint32_t size = 0;
    uint32_t compressedSize = 0; // stored entries: the size when read, 0 when written here
};

// A packed archive of files, each stored or deflated with zlib. The file is
// little-endian: the magic "ZARD" (with alignment and block-size words) or
// "ZARC" (without), the entries, and 0xFFFFFFFF in the place of a name length.
class zArchive {
public:
    static constexpr uint32_t MagicWithHeader = 0x5A415244; // "ZARD"
    static constexpr uint32_t MagicPlain = 0x5A415243;      // "ZARC"
    // A name length above this ends the directory.
    static constexpr uint32_t MaxNameLength = 511;
    // Alignments and block sizes beyond this are taken for corrupt headers.
    static constexpr int32_t MaxAlignment = 1 << 20;

    zArchive();
    ~zArchive();
    zArchive(const zArchive&) = delete;
    zArchive& operator=(const zArchive&) = delete;

    // Opens the file, or the caller's stream (already open; it is rewound and
    // left open at close, and stays the caller's), and unless skipScan reads
    // the whole directory. Main thread, like every archive operation.
    bool OpenRead(const char* fileName, bool skipScan, zStream* userStream);
    // Starts a new "ZARD" archive with the alignment and block size held.
    bool CreateNew(const char* fileName, zStream* userStream);
    // Adds one file; a level below 0 stores it, 0 to 9 deflate it.
    bool MemoryBlockWrite(const char* name, const void* data, uint32_t size, int level);
    // The entry's data, inflated when deflated, into a buffer of capacity bytes
    // (at least the entry's size).
    bool FileRead(const char* name, void* buffer, uint32_t capacity);
    // Ends a written archive with the terminator and the padding to the block size.
    bool Close();
    void ClearEntries();
    // The directory's entry of that name (case counts), or null; the
    // directory keeps it.
    zArchiveEntry* FindEntry(const char* name) const;

    bool IsOpen() const { return open; }
    bool IsWriting() const { return writing; }
    bool HasHeader() const { return hasHeader; }
    int32_t GetAlignment() const { return alignment; }
    int32_t GetBlockSize() const { return blockSize; }
    // False for a negative or oversized value, which is not taken.
    bool SetAlignment(int32_t value);
    bool SetBlockSize(int32_t value);
    // The stream the archive reads or writes (its own or the caller's).
    zStream* GetStream() const { return stream; }

    bool verbose = false;
    // Owns its entries (ClearEntries deletes them).
    ztLinkedList<zArchiveEntry*> directory;

private:
    bool ScanDirectory(const char* fileName);
    bool SkipToAlignment(uint32_t fileSize);
    bool PadToAlignment();

    zStream* stream;
    // Each archive reads its own file through its own stream, so that two open
    // archives never share one file position.
    zStream fileStream;
    bool hasHeader = false;
    int32_t alignment = 0;
    int32_t blockSize = 0;
    bool writing = false;
    bool open = false;
};

// The stream of an archive that is not open.
extern zStream GlobalArchiveStream;
