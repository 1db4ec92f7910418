#include "framework/filesystem/zArchive.h"
#include "framework/filesystem/zIOArchiveFS.h"
#include "framework/filesystem/zIODiskFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "framework/system/zLogStream.h"

#include "InputFS.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using fuzz_support::InputFS;
using fuzz_support::Silent;

// Any bytes, read as an archive: directory scan, every entry loaded directly
// and through the archive file system, reads and seeks past the ends.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);

    InputFS input(data, size);
    zStream stream;
    zIOBaseFS* previous = zStream::GetCurrentFS();
    zStream::SetCurrentFS(&input);
    const bool opened = stream.Open("input", true, false);
    zStream::SetCurrentFS(previous);
    if (!opened)
        return 0;

    zArchive archive;
    if (archive.OpenRead(nullptr, false, &stream)) {
        for (auto* node = archive.directory.GetFirst(); node != nullptr; node = node->next) {
            const zArchiveEntry* entry = node->value;
            std::vector<uint8_t> buffer(entry->size);
            archive.FileRead(entry->name.Get(), buffer.data(), uint32_t(buffer.size()));
        }
    }
    archive.Close();

    zIOArchiveFS fs;
    if (fs.Connect(nullptr, false, false, &stream, (size & 1) != 0)) {
        for (auto* node = fs.GetArchive().directory.GetFirst(); node != nullptr; node = node->next) {
            zIOHandle* handle = fs.OpenDirect(node->value->name.Get(), true, false, false);
            if (handle == nullptr)
                continue;
            uint8_t chunk[64];
            while (fs.Read(handle, chunk, sizeof(chunk)) != 0) {
            }
            fs.Seek(handle, -1, 2);
            fs.Read(handle, chunk, sizeof(chunk));
            fs.Seek(handle, int32_t(fs.GetSize(handle)) + 1, 0);
            fs.Close(handle);
        }
    }
    return 0;
}
