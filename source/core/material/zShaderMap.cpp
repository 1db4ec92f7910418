#include "core/material/zShaderMap.h"

#include "core/material/zMaterial.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstdlib>
#include <new>

namespace {

// A deep copy of the tag with its shortcuts replaced by their targets, so the
// copy stands alone outside its document. Null when memory runs out.
zMetaTag* CopyTag(const zMetaTag* tag, const zMetaFile* document)
{
    zMetaTag* copy = new (std::nothrow) zMetaTag(tag->GetName());
    if (copy == nullptr)
        return nullptr;
    bool copied = true;
    switch (tag->GetType()) {
    case zMetaTag::TypeInteger:
        copy->SetInteger(tag->GetInteger());
        break;
    case zMetaTag::TypeFloat:
        copy->SetFloat(tag->GetFloat());
        break;
    case zMetaTag::TypeString:
        copied = copy->SetString(tag->GetString());
        break;
    case zMetaTag::TypeBinary: {
        const int32_t size = tag->GetRawSize();
        void* data = size > 0 ? std::malloc(size_t(size)) : nullptr;
        copied = data != nullptr && tag->GetBinaryData(data, size) && copy->SetBinary(data, size, tag->GetEncoding());
        std::free(data);
        break;
    }
    default: {
        zLinkedListCursor cursor;
        while (copied && (tag = tag->NextChild(cursor, document), tag != nullptr)) {
            zMetaTag* child = CopyTag(tag, document);
            copied = child != nullptr && copy->AddChild(child) != nullptr;
            if (!copied)
                delete child;
        }
        break;
    }
    }
    if (!copied) {
        delete copy;
        return nullptr;
    }
    return copy;
}

} // namespace

zShaderMap::~zShaderMap()
{
    delete source;
}

bool zShaderMap::FromMetaTag(Tavrin*, const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "ShaderMap") {
        LogError("zShaderMap::FromMetaTag") << "Could not parse shader map. Root tag id is incorrect ("
                                            << (tag != nullptr ? tag->GetName().Get() : nullptr) << ").\n";
        return false;
    }
    zMetaTag* copy = CopyTag(tag, document);
    if (copy == nullptr)
        return false;
    delete source;
    source = copy;
    return true;
}

zMetaTag* zShaderMap::AsMetaTag(zLinkedListId*) const
{
    zMetaTag* tag = source != nullptr ? CopyTag(source, nullptr) : new (std::nothrow) zMetaTag("ShaderMap");
    if (tag == nullptr)
        LogError("zShaderMap::AsMetaTag") << "Could not serialize shader map. Failed to create root tag.\n";
    return tag;
}

zShaderMap* zMaterial::AsShaderMap() const
{
    // Generated maps need the shader blocks; until then a material without an
    // explicit map has none, which every renderer accepts.
    return nullptr;
}
