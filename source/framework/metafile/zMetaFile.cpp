#include "framework/metafile/zMetaFile.h"

#include "framework/system/zLogStream.h"

#include <utility>

zMetaTag* zMetaFile::AddRootTag(zMetaTag* tag)
{
    if (tag == nullptr)
        return nullptr;
    return static_cast<zMetaTag*>(Append(tag));
}

void zMetaFile::Swap(zMetaFile& other)
{
    std::swap(first, other.first);
    std::swap(last, other.last);
    std::swap(count, other.count);
    std::swap(fileName, other.fileName);
}

zMetaTag* zMetaFile::GetTag(const char* path, bool log) const
{
    return zMetaTag::GetTagEx(this, path, this, log);
}

zMetaTag* zMetaFile::GetTypedTag(const char* path, int32_t type, bool log) const
{
    zMetaTag* tag = zMetaTag::GetTagEx(this, path, this, log);
    return tag != nullptr && tag->GetType() == type ? tag : nullptr;
}

bool zMetaFile::GetBool(const char* path, bool defaultValue, bool log) const
{
    const zMetaTag* tag = GetTypedTag(path, zMetaTag::TypeInteger, log);
    return tag != nullptr ? tag->GetInteger() != 0 : defaultValue;
}

int32_t zMetaFile::GetInt(const char* path, int32_t defaultValue, bool log) const
{
    const zMetaTag* tag = GetTypedTag(path, zMetaTag::TypeInteger, log);
    return tag != nullptr ? tag->GetInteger() : defaultValue;
}

float zMetaFile::GetFloat(const char* path, float defaultValue, bool log) const
{
    const zMetaTag* tag = GetTag(path, log);
    return tag != nullptr && tag->IsNumber() ? tag->GetFloat() : defaultValue;
}

const char* zMetaFile::GetString(const char* path, const char* defaultValue, bool log) const
{
    const zMetaTag* tag = GetTypedTag(path, zMetaTag::TypeString, log);
    return tag != nullptr ? tag->GetString() : defaultValue;
}

zMetaTag* zMetaFile::NextRootTag(zLinkedListCursor& cursor, bool resolve) const
{
    for (;;) {
        auto* tag = NextAs<zMetaTag>(cursor);
        if (tag == nullptr || !resolve || tag->GetType() != zMetaTag::TypeShortcut)
            return tag;
        if (zMetaTag* target = zMetaTag::GetTagEx(this, tag->GetShortcut(), this, false))
            return target;
        LogWarning("zMetaFile::NextRootTag") << "skipping shortcut '" << tag->GetName() << "' to missing tag '"
                                             << tag->GetShortcut() << "'.\n";
    }
}
