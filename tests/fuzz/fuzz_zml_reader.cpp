#include "framework/filesystem/zIOBaseFS.h"
#include "framework/filesystem/zIOHandle.h"
#include "framework/filesystem/zStream.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

// The only files there are: "main.zml" and "inc.zml", both from the input,
// so includes stay inside the test and may include each other.
class InputFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        const std::string* file = nullptr;
        uint32_t position = 0;
    };

    ~InputFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool read, bool write, bool) override
    {
        if (path == nullptr || write || !read)
            return nullptr;
        const std::string* file = std::strcmp(path, "main.zml") == 0 ? &main
            : std::strcmp(path, "inc.zml") == 0                      ? &included
                                                                     : nullptr;
        if (file == nullptr)
            return nullptr;
        auto* handle = new Handle;
        handle->name = path;
        handle->file = file;
        AddHandle(handle);
        return handle;
    }
    uint32_t Read(zIOHandle* h, void* buffer, uint32_t count) override
    {
        auto* handle = static_cast<Handle*>(h);
        const uint32_t left = uint32_t(handle->file->size()) - handle->position;
        count = count < left ? count : left;
        std::memcpy(buffer, handle->file->data() + handle->position, count);
        handle->position += count;
        return count;
    }
    uint32_t Write(zIOHandle*, const void*, uint32_t) override { return 0; }
    uint32_t GetSize(zIOHandle* h) override { return uint32_t(static_cast<Handle*>(h)->file->size()); }
    bool Seek(zIOHandle*, int32_t, int) override { return false; }
    uint32_t Rewind(zIOHandle* h) override { return static_cast<Handle*>(h)->position = 0; }
    uint32_t Tell(zIOHandle* h) override { return static_cast<Handle*>(h)->position; }
    bool Close(zIOHandle* h) override
    {
        if (!RemoveHandle(h))
            return false;
        delete static_cast<Handle*>(h);
        return true;
    }

    std::string main;
    std::string included;
};

// Visits every tag the way readers do: children with shortcuts resolved,
// numbers, binary data decoded into its raw size.
void Walk(const zMetaFile& document, const zMetaTag* tag, int32_t depth, int32_t& visits)
{
    // Shortcuts to ancestors make the walk a graph; bound it.
    if (++visits > 20000)
        return;
    tag->GetFloat();
    tag->GetInteger();
    if (tag->GetType() == zMetaTag::TypeBinary && tag->GetRawSize() <= (1 << 20)) {
        std::vector<uint8_t> data(size_t(tag->GetRawSize()) + 1);
        tag->GetBinaryData(data.data(), tag->GetRawSize());
    }
    if (depth > 8)
        return;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, &document)) {
        if (child != tag)
            Walk(document, child, depth + 1, visits);
    }
}

} // namespace

// The input up to its first NUL byte is "main.zml", the rest "inc.zml". The
// file system hands each out in a buffer of its exact size, so any read past
// it is caught. What loads is walked, written, read back and written again:
// the two texts must agree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    static InputFS files;
    zStream::SetCurrentFS(&files);

    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    files.main.assign(reinterpret_cast<const char*>(data), split != nullptr ? size_t(split - data) : size);
    files.included.clear();
    if (split != nullptr)
        files.included.assign(reinterpret_cast<const char*>(split + 1), size - size_t(split - data) - 1);

    zMetaFile document;
    if (!zMetaParser::Load("main.zml", &document))
        return 0;

    zLinkedListCursor cursor;
    int32_t visits = 0;
    while (const zMetaTag* root = document.NextRootTag(cursor, true))
        Walk(document, root, 0, visits);
    for (const zMetaTag* root = document.GetFirstRootTag(); root != nullptr; root = root->GetNextSibling()) {
        if (const char* path = root->GetShortcut())
            document.GetTag(path, true);
    }

    // A node left without children (an include of an empty file) is written
    // as "<N=" and ">" and reads back as a pure tag, so the text settles after
    // one reading; from then on it must not change.
    std::string saved;
    if (!zMetaParser::SaveText(&document, saved))
        return 0;
    zMetaFile again;
    std::string resaved;
    if (!zMetaParser::LoadText(saved.data(), saved.size(), &again, "saved.zml")
        || !zMetaParser::SaveText(&again, resaved))
        __builtin_trap();
    zMetaFile third;
    std::string last;
    if (!zMetaParser::LoadText(resaved.data(), resaved.size(), &third, "resaved.zml")
        || !zMetaParser::SaveText(&third, last) || last != resaved)
        __builtin_trap();
    return 0;
}
