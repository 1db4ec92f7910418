#include "framework/filesystem/zArchive.h"

#include "framework/system/zLogStream.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t Terminator = 0xFFFFFFFFu;
// Deflate cannot shrink data by more than about 1032 to 1: an entry that
// claims more is corrupt, and its size must not be trusted for an allocation.
constexpr uint64_t MaxDeflateRatio = 1032;

uint32_t NextMultiple(uint32_t position, int32_t alignment)
{
    if (alignment <= 0 || position % uint32_t(alignment) == 0)
        return position;
    return position + (uint32_t(alignment) - position % uint32_t(alignment));
}

} // namespace

zArchive::zArchive() : stream(&GlobalArchiveStream) {}

zArchive::~zArchive()
{
    Close();
}

bool zArchive::SetAlignment(int32_t value)
{
    if (value < 0 || value > MaxAlignment)
        return false;
    alignment = value;
    return true;
}

bool zArchive::SetBlockSize(int32_t value)
{
    if (value < 0 || value > MaxAlignment)
        return false;
    blockSize = value;
    return true;
}

zArchiveEntry* zArchive::FindEntry(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const ztLinkedList<zArchiveEntry*>::Node* node = directory.GetFirst(); node != nullptr; node = node->next) {
        const zString& entryName = node->value->name;
        if (!entryName.IsEmpty() && std::strcmp(entryName.Get(), name) == 0)
            return node->value;
    }
    return nullptr;
}

void zArchive::ClearEntries()
{
    for (ztLinkedList<zArchiveEntry*>::Node* node = directory.GetFirst(); node != nullptr; node = node->next)
        delete node->value;
    directory.Clear();
}

bool zArchive::SkipToAlignment(uint32_t fileSize)
{
    const uint32_t position = stream->Tell();
    const uint32_t target = NextMultiple(position, alignment);
    if (target == position)
        return true;
    return target > position && target <= fileSize && stream->Seek(int32_t(target), 0);
}

bool zArchive::PadToAlignment()
{
    static const uint8_t zeros[256] = {};
    const uint32_t position = stream->Tell();
    uint32_t left = NextMultiple(position, alignment) - position;
    while (left > 0) {
        const uint32_t count = left < sizeof(zeros) ? left : uint32_t(sizeof(zeros));
        if (stream->Write(zeros, count) != count)
            return false;
        left -= count;
    }
    return true;
}

bool zArchive::OpenRead(const char* fileName, bool skipScan, zStream* userStream)
{
    Close();
    const char* shownName = fileName != nullptr ? fileName : "";
    if (userStream != nullptr) {
        if (!userStream->IsOpen()) {
            LogError("zArchive::OpenRead") << "Cannot open archive for reading, user stream is not open.\n";
            return false;
        }
        stream = userStream;
        stream->Rewind();
    } else {
        if (fileName == nullptr) {
            LogError("zArchive::OpenRead") << "No archive to open.\n";
            return false;
        }
        if (!fileStream.Open(fileName, true, false)) {
            LogError("zArchive::OpenRead") << "Failed to open archive '" << fileName << "'.\n";
            return false;
        }
        stream = &fileStream;
    }
    open = true;

    uint32_t magic = 0;
    if (!stream->ReadU32(magic) || (magic != MagicWithHeader && magic != MagicPlain)) {
        LogError("zArchive::OpenRead") << "Invalid archive type '" << shownName << "'.\n";
        Close();
        return false;
    }
    if (magic == MagicWithHeader) {
        uint32_t readAlignment = 0;
        uint32_t readBlockSize = 0;
        bool valid = stream->ReadU32(readAlignment) && int32_t(readAlignment) >= 0 && int32_t(readAlignment) <= MaxAlignment;
        if (valid) {
            alignment = int32_t(readAlignment);
            valid = SkipToAlignment(stream->GetSize()) && stream->ReadU32(readBlockSize) && int32_t(readBlockSize) >= 0 &&
                    int32_t(readBlockSize) <= MaxAlignment;
        }
        if (!valid) {
            LogError("zArchive::OpenRead") << "Invalid archive header '" << shownName << "'.\n";
            alignment = 0;
            Close();
            return false;
        }
        blockSize = int32_t(readBlockSize);
        hasHeader = true;
    } else {
        alignment = 0;
        blockSize = 0;
        hasHeader = false;
    }

    if (!skipScan && !ScanDirectory(shownName)) {
        Close();
        return false;
    }
    return true;
}

bool zArchive::ScanDirectory(const char* fileName)
{
    const uint32_t fileSize = stream->GetSize();
    if (verbose)
        LogInfo("zArchive::OpenRead") << "No index provided, please wait while scanning archive...\n";

    while (stream->Tell() < fileSize) {
        uint32_t nameLength = 0;
        if (!SkipToAlignment(fileSize) || !stream->ReadU32(nameLength))
            break; // nothing but padding after the last entry
        if (nameLength > MaxNameLength)
            break;

        char name[MaxNameLength + 1];
        uint8_t flags = 0;
        uint32_t size = 0;
        uint32_t compressedSize = 0;
        bool complete = SkipToAlignment(fileSize) && stream->Read(name, nameLength) == nameLength && SkipToAlignment(fileSize) &&
                        stream->ReadU8(flags) && SkipToAlignment(fileSize) && stream->ReadU32(size);
        if (complete && (flags & 1) != 0)
            complete = SkipToAlignment(fileSize) && stream->ReadU32(compressedSize);
        if (complete)
            complete = SkipToAlignment(fileSize);
        name[complete ? nameLength : 0] = '\0';

        const uint32_t position = stream->Tell();
        const uint32_t stored = (flags & 1) != 0 ? compressedSize : size;
        if (!complete || position > uint32_t(INT32_MAX) || uint64_t(position) + stored > fileSize) {
            LogError("zArchive::OpenRead") << "Truncated archive directory in '" << fileName << "'.\n";
            return false;
        }
        if ((flags & 1) != 0 && uint64_t(size) > uint64_t(compressedSize) * MaxDeflateRatio + 64) {
            LogError("zArchive::OpenRead") << "Corrupt entry '" << name << "' in archive '" << fileName << "'.\n";
            return false;
        }

        zArchiveEntry* entry = new (std::nothrow) zArchiveEntry;
        if (entry == nullptr || directory.Add(entry) == nullptr) {
            delete entry;
            LogError("zArchive::OpenRead") << "Could not allocate new index entry.\n";
        } else {
            entry->name.AssignRange(name, name + nameLength);
            entry->compressed = flags;
            entry->offset = int32_t(position);
            entry->size = size;
            entry->compressedSize = (flags & 1) != 0 ? compressedSize : size;
            if (verbose) {
                LogInfo("zArchive::OpenRead") << "New entry: '" << entry->name << "'\n";
                LogInfo("zArchive::OpenRead") << "[method = " << unsigned(flags & 1) << ", len = " << size
                                              << ", clen = " << entry->compressedSize << ", offset = " << unsigned(position)
                                              << "].\n";
            }
        }
        if (!stream->Seek(int32_t(position + stored), 0)) {
            LogError("zArchive::OpenRead") << "Truncated archive directory in '" << fileName << "'.\n";
            return false;
        }
    }
    if (verbose)
        LogInfo("zArchive::OpenRead") << "Done, index table built.\n\n";
    return true;
}

bool zArchive::CreateNew(const char* fileName, zStream* userStream)
{
    Close();
    if (userStream != nullptr) {
        if (!userStream->IsOpen()) {
            LogError("zArchive::CreateNew") << "Cannot open archive for writing, user stream is not open.\n";
            return false;
        }
        stream = userStream;
        stream->Rewind();
    } else {
        if (fileName == nullptr || !fileStream.Open(fileName, false, true)) {
            LogError("zArchive::CreateNew") << "Failed to open '" << (fileName != nullptr ? fileName : "") << "' as output archive.\n";
            return false;
        }
        stream = &fileStream;
    }
    open = true;
    writing = true;
    hasHeader = true;
    // The alignment word sits at offset 4 whatever its value: readers look for it there.
    if (!stream->WriteU32(MagicWithHeader) || !stream->WriteU32(uint32_t(alignment)) || !PadToAlignment() ||
        !stream->WriteU32(uint32_t(blockSize))) {
        LogError("zArchive::CreateNew") << "Failed to open '" << (fileName != nullptr ? fileName : "") << "' as output archive.\n";
        writing = false;
        Close();
        return false;
    }
    return true;
}

bool zArchive::MemoryBlockWrite(const char* name, const void* data, uint32_t size, int level)
{
    const char* shownName = name != nullptr ? name : "";
    if (!writing) {
        LogError("zArchive::MemoryBlockWrite") << "Cannot write '" << shownName << "' (r/w mode error).\n";
        return false;
    }
    const size_t nameLength = name != nullptr ? std::strlen(name) : 0;
    // A longer name would end the directory when read, losing every later entry;
    // an empty one could never be found.
    if (nameLength == 0 || nameLength > MaxNameLength) {
        LogError("zArchive::MemoryBlockWrite") << "Invalid entry name '" << shownName << "' (1 to " << unsigned(MaxNameLength)
                                               << " characters).\n";
        return false;
    }
    if (data == nullptr && size != 0) {
        LogError("zArchive::MemoryBlockWrite") << "No data for '" << name << "'.\n";
        return false;
    }
    if (FindEntry(name) != nullptr) {
        LogError("zArchive::MemoryBlockWrite") << "An entry with alias '" << name << "' already exists.\n";
        return false;
    }
    zArchiveEntry* entry = new (std::nothrow) zArchiveEntry;
    ztLinkedList<zArchiveEntry*>::Node* node = entry != nullptr ? directory.Add(entry) : nullptr;
    if (node == nullptr) {
        delete entry;
        LogError("zArchive::MemoryBlockWrite") << "Failed to allocate new index entry.\n";
        return false;
    }
    entry->name = name;
    entry->size = size;

    bool written = PadToAlignment() && stream->WriteU32(uint32_t(nameLength)) && PadToAlignment() &&
                   stream->Write(name, uint32_t(nameLength)) == nameLength;
    if (verbose)
        LogHeading("zArchive::MemoryBlockWrite") << "Adding '" << name << "' to archive...\n";

    std::unique_ptr<Bytef[]> packed;
    uLongf packedSize = 0;
    if (written && level >= 0) {
        const uint64_t bound = uint64_t(size) + size / 1000 + 13;
        if (bound <= UINT32_MAX)
            packed.reset(new (std::nothrow) Bytef[bound]);
        packedSize = uLongf(bound);
        if (packed != nullptr && compress2(packed.get(), &packedSize, static_cast<const Bytef*>(data), size, level) != Z_OK)
            packed.reset();
        if (packed == nullptr && verbose)
            LogInfo("zArchive::MemoryBlockWrite") << "No compression achieved for '" << name << "', adding uncompressed.\n";
    }

    if (written && packed != nullptr) {
        written = PadToAlignment() && stream->WriteU8(1) && PadToAlignment() && stream->WriteU32(size) && PadToAlignment() &&
                  stream->WriteU32(uint32_t(packedSize)) && PadToAlignment();
        entry->compressed = 1;
        entry->offset = int32_t(stream->Tell());
        entry->compressedSize = uint32_t(packedSize);
        if (written && verbose) {
            const uint64_t ratio = size != 0 ? uint64_t(packedSize) * 100 / size : 0;
            LogInfo("zArchive::MemoryBlockWrite") << "Was " << unsigned(size / 1000) << " KB, is now " << unsigned(packedSize / 1000)
                                                  << " KB (" << unsigned(ratio) << "%).\n";
        }
        written = written && stream->Write(packed.get(), uint32_t(packedSize)) == packedSize;
    } else if (written) {
        written = PadToAlignment() && stream->WriteU8(0) && PadToAlignment() && stream->WriteU32(size) && PadToAlignment();
        entry->compressed = 0;
        entry->offset = int32_t(stream->Tell());
        entry->compressedSize = 0;
        written = written && stream->Write(data, size) == size;
    }
    if (!written) {
        LogError("zArchive::MemoryBlockWrite") << "Failed to write '" << name << "' to the archive.\n";
        delete directory.Remove(node);
        delete entry;
        return false;
    }
    return true;
}

bool zArchive::FileRead(const char* name, void* buffer, uint32_t capacity)
{
    const char* shownName = name != nullptr ? name : "";
    if (writing) {
        LogError("zArchive::FileRead") << "Cannot load '" << shownName << "' (r/w mode error).\n";
        return false;
    }
    const zArchiveEntry* entry = FindEntry(name);
    if (entry == nullptr) {
        LogError("zArchive::FileRead") << "Could not find '" << shownName << "'.\n";
        return false;
    }
    if (entry->compressed > 1) {
        LogError("zArchive::FileRead") << "Unknown storage method (" << unsigned(entry->compressed) << ") for '" << name << "'.\n";
        return false;
    }
    if (capacity < entry->size || (buffer == nullptr && entry->size != 0)) {
        LogError("zArchive::FileRead") << "Buffer too small for '" << name << "' (size = " << entry->size << ").\n";
        return false;
    }
    if (!stream->Seek(entry->offset, 0)) {
        LogError("zArchive::FileRead") << "Failed to seek to '" << name << "'.\n";
        return false;
    }

    if (entry->compressed == 0) {
        if (stream->Read(buffer, entry->size) != entry->size) {
            LogError("zArchive::FileRead") << "Failed to load raw source.\n";
            return false;
        }
        return true;
    }

    if (entry->compressedSize > UINT32_MAX - 16) {
        LogError("zArchive::FileRead") << "Compressed size of '" << name << "' is out of range.\n";
        return false;
    }
    std::unique_ptr<Bytef[]> packed(new (std::nothrow) Bytef[entry->compressedSize + 16]);
    if (packed == nullptr) {
        LogError("zArchive::FileRead") << "Failed to allocated compressed memory support.\n";
        return false;
    }
    if (stream->Read(packed.get(), entry->compressedSize) != entry->compressedSize) {
        LogError("zArchive::FileRead") << "Failed to load compressed source.\n";
        return false;
    }
    uLongf unpackedSize = entry->size;
    Bytef scratch = 0; // zlib wants somewhere to write even for an empty entry
    const int result =
        uncompress(entry->size != 0 ? static_cast<Bytef*>(buffer) : &scratch, &unpackedSize, packed.get(), entry->compressedSize);
    if (result != Z_OK || unpackedSize != entry->size) {
        LogError("zArchive::FileRead") << "Failed to decompress '" << name << "' (zlib error " << result << ").\n";
        return false;
    }
    return true;
}

bool zArchive::Close()
{
    bool finished = true;
    if (writing) {
        finished = stream->WriteU32(Terminator);
        if (finished && blockSize != 0) {
            uint32_t left = uint32_t(blockSize) - stream->Tell() % uint32_t(blockSize);
            uint8_t fill[256];
            std::memset(fill, 0xFF, sizeof(fill));
            while (finished && left > 0) {
                const uint32_t count = left < sizeof(fill) ? left : uint32_t(sizeof(fill));
                finished = stream->Write(fill, count) == count;
                left -= count;
            }
        }
        if (!finished)
            LogError("zArchive::Close") << "Failed to write the end of the archive.\n";
    }
    if (stream == &fileStream && !fileStream.Close())
        finished = false;
    ClearEntries();
    if (writing)
        *GlobalLogStream << "Archive complete, closing.\n";
    stream = &GlobalArchiveStream;
    writing = false;
    open = false;
    return finished;
}
