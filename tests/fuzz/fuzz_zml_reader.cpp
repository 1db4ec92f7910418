#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

// Visits every tag the way readers do: children with shortcuts resolved,
// numbers, binary data decoded into its raw size.
void Walk(const zMetaFile& document, const zMetaTag* tag, int32_t depth)
{
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
            Walk(document, child, depth + 1);
    }
}

} // namespace

// The text sits in a buffer of its exact size, so any read past it is caught.
// What loads is walked, written, read back and written again: the two texts
// must agree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);

    std::vector<char> text(data, data + size);
    zMetaFile document("fuzz.zml");
    if (!zMetaParser::LoadText(text.data(), text.size(), &document, "fuzz.zml"))
        return 0;

    zLinkedListCursor cursor;
    while (const zMetaTag* root = document.NextRootTag(cursor, true))
        Walk(document, root, 0);
    for (const zMetaTag* root = document.GetFirstRootTag(); root != nullptr; root = root->GetNextSibling()) {
        if (const char* path = root->GetShortcut())
            document.GetTag(path, true);
    }

    std::string saved;
    if (!zMetaParser::SaveText(&document, saved))
        return 0;
    zMetaFile again;
    if (!zMetaParser::LoadText(saved.data(), saved.size(), &again, "saved.zml"))
        __builtin_trap();
    std::string resaved;
    if (!zMetaParser::SaveText(&again, resaved) || resaved != saved)
        __builtin_trap();
    return 0;
}
