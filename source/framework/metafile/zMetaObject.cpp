#include "framework/metafile/zMetaObject.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

bool zMetaObject::AppendToList(zLinkedListId& list)
{
    zMetaTag* tag = AsMetaTag(&list);
    if (tag == nullptr)
        return false;
    list.Append(tag);
    return true;
}

bool zMetaObject::SaveToFile(const char* path)
{
    zMetaFile document(path);
    if (!AppendToList(document))
        return false;
    return zMetaParser::Save(path, &document);
}

bool zMetaObject::FromMetaFile(const zMetaFile* document)
{
    zMetaTag* root = document != nullptr ? document->GetFirstRootTag() : nullptr;
    if (root == nullptr) {
        LogError("zMetaObject::FromMetaFile") << "No root tag in '"
                                              << (document != nullptr ? document->GetFileName().Get() : nullptr)
                                              << "'.\n";
        return false;
    }
    // A shortcut root stands for its target; one that leads nowhere has been logged.
    root = zMetaTag::ResolveShortcut(root, document);
    if (root == nullptr)
        return false;
    return FromMetaTag(document, root);
}

bool zMetaObject::LoadFromFile(const char* path)
{
    zMetaFile document;
    if (!zMetaParser::Load(path, &document, nullptr))
        return false;
    return FromMetaFile(&document);
}
