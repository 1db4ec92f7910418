#include "InputFS.h"
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

using fuzz_support::MemoryFS;
using fuzz_support::Silent;

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
    static MemoryFS files;
    zStream::SetCurrentFS(&files);
    files.SplitInput(data, size, "main.zml", "inc.zml");

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
