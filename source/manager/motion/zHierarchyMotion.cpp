#include "manager/motion/zHierarchyMotion.h"

#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/motion/zMotion.h"

#include <new>

zHierarchyMotion::~zHierarchyMotion()
{
    Free();
}

void zHierarchyMotion::Free()
{
    for (int32_t i = 0; i < count; ++i)
        delete motions[i];
    delete[] motions;
    motions = nullptr;
    count = 0;
}

bool zHierarchyMotion::Allocate(int32_t n)
{
    Free();
    if (n <= 0)
        return n == 0;
    if (n > MaxCount || (motions = new (std::nothrow) zMotion*[n]()) == nullptr) {
        LogError("zHierarchyMotion::Allocate") << "Failed to allocate motion array.\n";
        return false;
    }
    count = n;
    return true;
}

bool zHierarchyMotion::SetMotion(int32_t index, zMotion* motion)
{
    if (index < 0 || index >= count)
        return false;
    delete motions[index];
    motions[index] = motion;
    return true;
}

float zHierarchyMotion::GetLength() const
{
    float length = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        if (motions[i] != nullptr && motions[i]->GetLength() > length)
            length = motions[i]->GetLength();
    }
    return length;
}

bool zHierarchyMotion::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "HierarchyMotion")) {
        LogError("zHierarchyMotion::FromMetaTag") << "Could not parse hierarchy motion. Root tag id is incorrect ("
                                                  << tag->GetName() << ").\n";
        return false;
    }
    const zMetaTag* idTag = tag->GetTypedTag("Id;", zMetaTag::TypeString, document);
    if (idTag != nullptr)
        id.Assign(idTag->GetString());
    else
        LogWarning("zHierarchyMotion::FromMetaTag") << "Motion has no id.\n";
    const zMetaTag* countTag = tag->GetTypedTag("Count;", zMetaTag::TypeInteger, document);
    if (countTag == nullptr || countTag->GetInteger() < 0) {
        LogError("zHierarchyMotion::FromMetaTag") << "Incomplete hierarchy motion tag.\n";
        return false;
    }
    if (!Allocate(countTag->GetInteger()))
        return false;
    static const zString entryName("Entry");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* entry = tag->NextChild(cursor, document)) {
        if (!(entry->GetName() == entryName))
            continue;
        const zMetaTag* indexTag = entry->GetTypedTag("Index;", zMetaTag::TypeInteger, document);
        const zMetaTag* motionTag = entry->GetTag("Motion;", document);
        if (indexTag == nullptr || motionTag == nullptr) {
            LogError("zHierarchyMotion::FromMetaTag") << "Incomplete hierarchy entry tag.\n";
            continue;
        }
        const int32_t index = indexTag->GetInteger();
        if (index < 0 || index >= count) {
            LogError("zHierarchyMotion::FromMetaTag") << "Motion index out of bound.\n";
            continue;
        }
        zMotion* motion = new (std::nothrow) zMotion("_");
        if (motion == nullptr) {
            LogError("zHierarchyMotion::FromMetaTag") << "Failed to allocate new motion.\n";
            continue;
        }
        motion->FromMetaTag(document, motionTag);
        SetMotion(index, motion);
    }
    return true;
}

zMetaTag* zHierarchyMotion::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("HierarchyMotion");
    if (root == nullptr) {
        LogError("zHierarchyMotion::AsMetaTag") << "Could not create managed root tag to serialize.\n";
        return nullptr;
    }
    root->CreateString("Id", id.Get() != nullptr ? id.Get() : "");
    root->CreateInteger("Count", count);
    for (int32_t i = 0; i < count; ++i) {
        if (motions[i] == nullptr)
            continue;
        zMetaTag* entry = new (std::nothrow) zMetaTag("Entry");
        if (entry == nullptr) {
            LogError("zHierarchyMotion::AsMetaTag") << "Failed to allocate entry tag.\n";
            continue;
        }
        entry->CreateInteger("Index", i);
        entry->AddChild(motions[i]->AsMetaTag());
        root->AddChild(entry);
    }
    return root;
}
