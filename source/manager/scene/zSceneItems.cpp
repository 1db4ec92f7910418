#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "physic/dynamics/TauConstraint.h"
#include "script/SqSafePtr.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

template <class T> bool Contains(const std::vector<T*>& list, const T* item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

template <class T> bool Erase(std::vector<T*>& list, const T* item)
{
    auto at = std::find(list.begin(), list.end(), item);
    if (at == list.end())
        return false;
    list.erase(at);
    return true;
}

const char* NameOf(const zMItem* item)
{
    return item->GetName().Get() != nullptr ? item->GetName().Get() : "";
}

template <class T> T* ItemOf(zLinkedListEntry* entry)
{
    return static_cast<T*>(static_cast<zLinkedListIdEntry*>(entry));
}

// Every tag of the document, shortcuts not followed.
int64_t CountTags(const zMetaFile& document)
{
    int64_t count = 0;
    std::vector<const zMetaTag*> pending;
    for (const zMetaTag* root = document.GetFirstRootTag(); root != nullptr; root = root->GetNextSibling())
        pending.push_back(root);
    while (!pending.empty()) {
        const zMetaTag* tag = pending.back();
        pending.pop_back();
        ++count;
        for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling())
            pending.push_back(child);
    }
    return count;
}

template <class T> T* FindInList(const zSceneItemList& list, const char* name)
{
    if (name == nullptr)
        return nullptr;
    return static_cast<T*>(list.FindByName(name));
}

} // namespace

// --- Services --------------------------------------------------------------------

void zScene::RegisterItem(zMItem* item)
{
    if (registeredItems.insert(item).second)
        allItems.push_back(item);
}

void zScene::UnregisterItem(zMItem* item)
{
    ++destroyEpoch;
    proxyDepth.erase(item);
    const bool registered = registeredItems.erase(item) != 0;
    if (zSceneItemList* list = KindList(item))
        list->UnlinkItem(item);
    if (!clearing) {
        if (registered)
            Erase(allItems, item);
        if (activeSet.erase(item) != 0)
            Erase(activeItems, item);
        if (logicUpdateSet.erase(item) != 0)
            Erase(logicUpdateList, item);
        if (triggerWatchSet.erase(item) != 0)
            Erase(triggerWatchList, item);
        Erase(deletionQueue, item);
        RemoveFromGroups(item);
        // Skins must not keep driving bones from an item that is gone.
        if (const zItem* core = item->GetCoreItem()) {
            for (zLinkedListEntry* e = objects.GetFirst(); e != nullptr; e = e->next) {
                zObject& skin = ItemOf<zMObject>(e)->object;
                for (uint32_t i = 0; i < skin.boneCount && skin.bones != nullptr; ++i) {
                    if (skin.bones[i] == core)
                        skin.bones[i] = nullptr;
                }
            }
        }
    }
}

void zScene::UnlinkItemChilds(zMItem* item)
{
    if (item == nullptr || item->GetCoreItem() == nullptr)
        return;
    if (item->GetScene() != this) {
        LogError("zScene::UnlinkItemChilds")
            << "Cannot unlink '" << NameOf(item) << "' children has it does not belong to this scene.\n";
        return;
    }
    if (clearing)
        return;
    for (zMItem* other : allItems) {
        if (other->GetCoreItem() != nullptr && other->GetCoreItem()->link == item->GetCoreItem())
            other->GetCoreItem()->SetLink(nullptr);
    }
}

void zScene::SetItemActive(zMItem* item, bool active)
{
    UpdateActiveList(item, !active);
}

bool zScene::UpdateActiveList(zMItem* item, bool remove)
{
    if (remove) {
        if (activeSet.erase(item) == 0)
            return false;
        return Erase(activeItems, item);
    }
    if (activeSet.insert(item).second)
        activeItems.push_back(item);
    return true;
}

void zScene::AddToLogicUpdateList(zMItem* item)
{
    if (logicUpdateSet.insert(item).second)
        logicUpdateList.push_back(item);
}

void zScene::AddToTriggerWatchList(zMItem* item)
{
    if (triggerWatchSet.insert(item).second)
        triggerWatchList.push_back(item);
}

void zScene::VisitItems(zMItemVisitor& visitor)
{
    const std::vector<zMItem*> snapshot = allItems;
    for (zMItem* item : snapshot)
        visitor.Visit(item);
}

zSceneItemList* zScene::KindList(const zMItem* item)
{
    switch (item->GetKind()) {
    case zMItem::KindCamera: return &cameras;
    case zMItem::KindObject: return &objects;
    case zMItem::KindLight: return &lights;
    case zMItem::KindTrigger: return &triggers;
    default: return nullptr;
    }
}

TauItem* zScene::FindBodyFromUid(int32_t uid)
{
    zMItem* item = FindFromUid(uid);
    return item != nullptr ? &item->body : nullptr;
}

int32_t zScene::GetBodyUid(const TauItem* body)
{
    if (body == nullptr)
        return -1;
    const zMItem* item = zMItem::FromCoreItem(body->owner);
    return item != nullptr ? item->uid : -1;
}

TauConstraint* zScene::AddConstraintToGroup(void* group, TauConstraint* constraint)
{
    if (group == nullptr || constraint == nullptr)
        return nullptr;
    constraint->groupOwner = this;
    return static_cast<zGroup*>(group)->AddConstraint(constraint, false);
}

void zScene::ForgetConstraint(TauConstraint* constraint)
{
    zLinkedListCursor cursor = {};
    while (zGroup* group = groups.NextAs<zGroup>(cursor))
        group->RemoveConstraint(constraint);
    SqSafePtrInvalidate(constraint);
}

// --- Add operations ------------------------------------------------------------------

zMObject* zScene::AddObject(const char* name, zGeometry* geometry)
{
    zModuleTagScope module(8);
    zMObject* object = new (std::nothrow) zMObject(this);
    if (object == nullptr) {
        LogError("zScene::AddObject") << "Scene could not allocate new object!\n";
        return nullptr;
    }
    object->id.Assign(name);
    object->object.SetGeometry(geometry, true);
    objects.AppendItem(object);
    AssignItemUId(object);
    return object;
}

zMLight* zScene::AddLight(const char* name, int32_t lightType, float itemPriority)
{
    zModuleTagScope module(8);
    zMLight* light = new (std::nothrow) zMLight(this);
    if (light == nullptr) {
        LogError("zScene::AddLight") << "scene could not allocate new light!\n";
        return nullptr;
    }
    light->id.Assign(name);
    light->light.type = lightType;
    light->priority = itemPriority;
    lights.AppendItem(light);
    AssignItemUId(light);
    return light;
}

zMCamera* zScene::AddCamera(const char* name)
{
    zModuleTagScope module(8);
    zMCamera* camera = new (std::nothrow) zMCamera(this);
    if (camera == nullptr) {
        LogError("zScene::AddCamera") << "Scene could not allocate new camera!\n";
        return nullptr;
    }
    camera->id.Assign(name);
    cameras.AppendItem(camera);
    AssignItemUId(camera);
    if (currentCamera == nullptr)
        currentCamera = &camera->camera;
    return camera;
}

zTrigger* zScene::AddTrigger(const char* name)
{
    zTrigger* trigger = new (std::nothrow) zTrigger(this);
    if (trigger == nullptr) {
        LogError("zScene::AddTrigger") << "Scene could not allocate new trigger!\n";
        return nullptr;
    }
    trigger->id.Assign(name);
    triggers.AppendItem(trigger);
    AssignItemUId(trigger);
    return trigger;
}

// --- Lookup --------------------------------------------------------------------------

zMItem* zScene::AssignItemUId(zMItem* item)
{
    if (item == nullptr)
        return nullptr;
    if (item->uid == -1) {
        item->uid = nextUid++;
        return item;
    }
    LogError("zScene::AssignItemUId") << "(Critical error) item '" << NameOf(item) << "' already has an uid ("
                                      << item->uid << ").\n";
    return item;
}

zMItem* zScene::FindFromUid(int32_t uid)
{
    for (zMItem* item : allItems) {
        if (item->uid == uid)
            return item;
    }
    LogWarning("zScene::FindFromUid") << "No managed item with UID (" << uid << ").\n";
    return nullptr;
}

zMItem* zScene::Find(const char* name, const zMItem* parent)
{
    if (name != nullptr) {
        if (parent != nullptr) {
            for (zMItem* item : allItems) {
                if (item->GetName() == name && item->GetCoreItem() != nullptr &&
                    item->GetCoreItem()->link == parent->GetCoreItem())
                    return item;
            }
        } else {
            if (zMItem* item = FindCamera(name))
                return item;
            if (zMItem* item = FindLight(name))
                return item;
            if (zMItem* item = FindObject(name))
                return item;
            if (zMItem* item = FindTrigger(name))
                return item;
        }
    }
    zLogStream& log = LogWarning("zScene::Find") << "No item named '" << (name != nullptr ? name : "") << "' in scene.";
    if (parent != nullptr)
        log << " (Being linked to '" << NameOf(parent) << "')\n";
    else
        log << "\n";
    return nullptr;
}

zMCamera* zScene::FindCamera(const char* name) const
{
    return FindInList<zMCamera>(cameras, name);
}

zMLight* zScene::FindLight(const char* name) const
{
    return FindInList<zMLight>(lights, name);
}

zMObject* zScene::FindObject(const char* name) const
{
    return FindInList<zMObject>(objects, name);
}

zTrigger* zScene::FindTrigger(const char* name) const
{
    return FindInList<zTrigger>(triggers, name);
}

int32_t zScene::LocateItem(const zItem* coreItem, zMItem** out)
{
    if (out != nullptr)
        *out = nullptr;
    if (coreItem == nullptr)
        return 0;
    const std::pair<const zSceneItemList*, int32_t> order[] = {
        {&objects, zMItem::KindObject},
        {&lights, zMItem::KindLight},
        {&cameras, zMItem::KindCamera},
        {&triggers, zMItem::KindTrigger},
    };
    for (const auto& [list, kind] : order) {
        for (zLinkedListEntry* e = list->GetFirst(); e != nullptr; e = e->next) {
            zMItem* item = ItemOf<zMItem>(e);
            if (item->GetCoreItem() == coreItem) {
                if (out != nullptr)
                    *out = item;
                return kind;
            }
        }
    }
    LogWarning("zScene::LocateItem") << "Could not locate any instance of the provided item.\n";
    return 0;
}

bool zScene::FindBoneChild(const zMItem* item, zItem** bone)
{
    if (bone != nullptr)
        *bone = nullptr;
    if (item == nullptr || item->GetCoreItem() == nullptr)
        return false;
    const zItem* core = item->GetCoreItem();
    for (zLinkedListEntry* e = objects.GetFirst(); e != nullptr; e = e->next) {
        const zObject& skin = ItemOf<zMObject>(e)->object;
        bool isBone = false;
        zItem* last = nullptr;
        for (uint32_t i = 0; i < skin.boneCount && skin.bones != nullptr; ++i) {
            if (skin.bones[i] == core)
                isBone = true;
            if (skin.bones[i] != nullptr && skin.bones[i]->link == core)
                last = skin.bones[i];
        }
        if (isBone) {
            if (bone != nullptr)
                *bone = last;
            return true;
        }
    }
    return false;
}

bool zScene::IsExcludedFromRecord(const zMItem* item)
{
    // A link chain is acyclic (zItem::SetLink refuses cycles); the bound
    // only guards against a corrupt one.
    for (int32_t depth = 0; item != nullptr && depth < 65536; ++depth) {
        if (item->excludeFromRecord != 0)
            return true;
        const zItem* core = item->GetCoreItem();
        item = core != nullptr ? zMItem::FromCoreItem(core->link) : nullptr;
    }
    return false;
}

void zScene::RemoveFromGroups(zMItem* item)
{
    zLinkedListCursor cursor = {};
    while (zGroup* group = groups.NextAs<zGroup>(cursor)) {
        while (group->RemoveItem(item)) {
        }
        if (group->rootItem == item)
            group->rootItem = nullptr;
    }
}

// --- Duplication and deletion ----------------------------------------------------------

zMItem* zScene::DuplicateItem(zMItem* source)
{
    if (source == nullptr)
        return nullptr;
    zMItem* copy = nullptr;
    zMetaTag* tag = nullptr;
    switch (source->GetKind()) {
    case zMItem::KindCamera:
        copy = AddCamera("_");
        tag = static_cast<zMCamera*>(source)->AsMetaTag();
        if (copy != nullptr && tag != nullptr)
            static_cast<zMCamera*>(copy)->FromMetaTag(nullptr, tag);
        break;
    case zMItem::KindObject:
        copy = AddObject("_", nullptr);
        tag = static_cast<zMObject*>(source)->AsMetaTag();
        if (copy != nullptr && tag != nullptr)
            static_cast<zMObject*>(copy)->FromMetaTag(nullptr, tag);
        break;
    case zMItem::KindLight:
        copy = AddLight("_", 1, 0.5f);
        tag = static_cast<zMLight*>(source)->AsMetaTag();
        if (copy != nullptr && tag != nullptr)
            static_cast<zMLight*>(copy)->FromMetaTag(nullptr, tag);
        break;
    case zMItem::KindTrigger:
        copy = AddTrigger("_");
        tag = static_cast<zTrigger*>(source)->AsMetaTag();
        if (copy != nullptr && tag != nullptr)
            static_cast<zTrigger*>(copy)->FromMetaTag(nullptr, tag);
        break;
    default: return nullptr;
    }
    delete tag;
    if (copy == nullptr)
        return nullptr;
    // The tag carried the source's UID; two items must never share one.
    copy->uid = -1;
    AssignItemUId(copy);
    if (copy->GetKind() == zMItem::KindObject) {
        zObject& object = static_cast<zMObject*>(copy)->object;
        if (object.geometry != nullptr && object.geometry->rendererData == nullptr)
            object.geometry->Setup();
    }
    if (copy->GetCoreItem() != nullptr && source->GetCoreItem() != nullptr)
        copy->GetCoreItem()->SetLink(source->GetCoreItem()->link);
    return copy;
}

bool zScene::DeleteItem(zMItem* item)
{
    if (item == nullptr)
        return false;
    item->Activate(false, false);
    if (!Contains(deletionQueue, item))
        deletionQueue.push_back(item);
    return true;
}

bool zScene::IsQueuedForDeletion(const zMItem* item) const
{
    return Contains(deletionQueue, item);
}

bool zScene::DeleteGroup(zGroup* group)
{
    if (group == nullptr || !groups.Contains(group))
        return false;
    for (zMItem* item : std::vector<zMItem*>(group->GetItems()))
        DeleteItem(item);
    groups.Unlink(group);
    SqSafePtrInvalidate(group);
    delete group;
    return true;
}

bool zScene::DestroyItem(zMItem* item)
{
    zMItem* found = nullptr;
    if (item == nullptr || LocateItem(item->GetCoreItem(), &found) == 0 || found != item)
        return false;
    // The destructor unlinks the item from its kind list and every other list.
    delete static_cast<zLinkedListIdEntry*>(item);
    return true;
}

void zScene::FlushDeletionQueue()
{
    while (!deletionQueue.empty()) {
        zMItem* item = deletionQueue.front();
        if (!DestroyItem(item))
            Erase(deletionQueue, item);
    }
}

// --- Groups --------------------------------------------------------------------------

zGroup* zScene::AddGroup(const char* name)
{
    zGroup* group = new (std::nothrow) zGroup(this, name);
    if (group == nullptr) {
        LogError("zScene::AddGroup") << "Could not allocate new group.\n";
        return nullptr;
    }
    groups.Add(group, true, true);
    return group;
}

zGroup* zScene::FindGroup(const char* name) const
{
    return name != nullptr ? static_cast<zGroup*>(groups.FindByName(name)) : nullptr;
}

// --- Proxies -------------------------------------------------------------------------

void zScene::DoProxy(zMItem* item)
{
    if (item == nullptr || item->proxy == 0 || item->proxyDone != 0 || item->proxyScene.Get() == nullptr ||
        item->proxyScene.Get()[0] == '\0')
        return;
    // Marked first: a failed or refused proxy is not tried again.
    item->proxyDone = 1;
    auto depthAt = proxyDepth.find(item);
    const int32_t depth = depthAt != proxyDepth.end() ? depthAt->second : 0;
    if (depth >= MaxProxyDepth) {
        if (CountProxyRefusal())
            LogError("zMItem::DoProxy") << "Proxy item '" << NameOf(item) << "' is nested " << depth
                                        << " proxies deep, '" << item->proxyScene << "' not instantiated.\n";
        return;
    }
    if (proxyTagsLeft <= 0) {
        // The files read so far used up this set-up's reading.
        if (CountProxyRefusal())
            LogError("zMItem::DoProxy") << "Proxy item '" << NameOf(item) << "' would read more than "
                                        << MaxProxyTags << " tags through proxies in one set-up, '"
                                        << item->proxyScene << "' not instantiated.\n";
        return;
    }
    if (item->proxyGroup.Get() == nullptr || item->proxyGroup.Get()[0] == '\0')
        item->proxyGroup.Assign(NameOf(item));
    const char* sceneFile = item->proxyScene.Get();
    *GlobalLogStream << "[H] Item '" << NameOf(item) << "' instantiating '" << sceneFile << "'.\n\n";

    zMetaFile document;
    const bool loaded = fileLoader != nullptr ? fileLoader(sceneFile, document, fileLoaderContext)
                                              : zMetaParser::Load(sceneFile, &document);
    if (!loaded) {
        LogError("zMItem::DoProxy") << "Proxy item could not spawn '" << sceneFile << "', failed to load file.\n";
        return;
    }
    const int64_t tags = CountTags(document);
    if (tags > proxyTagsLeft) {
        proxyTagsLeft = 0;
        if (CountProxyRefusal())
            LogError("zMItem::DoProxy") << "Proxy item '" << NameOf(item) << "' would read more than "
                                        << MaxProxyTags << " tags through proxies in one set-up, '" << sceneFile
                                        << "' not instantiated.\n";
        return;
    }
    proxyTagsLeft -= tags;
    zMetaTag* root = nullptr;
    for (zLinkedListEntry* e = document.GetFirst(); e != nullptr; e = e->next) {
        zMetaTag* tag = static_cast<zMetaTag*>(static_cast<zLinkedListIdEntry*>(e));
        if (tag->GetName() == "Scene") {
            root = tag;
            break;
        }
    }
    const int64_t items = CountItemsToRead(&document, root, item->proxyFlag);
    if (items > proxyItemsLeft) {
        if (CountProxyRefusal())
            LogError("zMItem::DoProxy") << "Proxy item '" << NameOf(item) << "' would create more than "
                                        << MaxProxyItems << " items through proxies in one set-up, '" << sceneFile
                                        << "' not instantiated.\n";
        return;
    }
    proxyItemsLeft -= items;
    zGroup* group = nullptr;
    if (root != nullptr)
        FromMetaTagStoreGroup(&document, root, &group, item->proxyFlag, 1);
    item->proxyLink = group;
    if (group == nullptr)
        return;
    group->id.Assign(item->proxyGroup.Get());
    for (zMItem* member : group->GetItems())
        proxyDepth[member] = depth + 1;
    if (item->GetCoreItem() != nullptr) {
        item->UpdateTransform();
        group->OffsetMatrix(item->GetCoreItem()->worldMatrix);
    }
    group->Setup();
    group->Reset(false);

    const char* target = item->proxyRootParameterTarget.Get();
    if (target != nullptr && target[0] != '\0') {
        // The group's own lookup: a missing target is reported by it first.
        zMItem* found = group->FindItem(target);
        if (found != nullptr) {
            if (found->script.Class.Get() == nullptr || found->script.Class.Get()[0] == '\0')
                LogWarning("zMItem::DoProxy") << "Proxy '" << NameOf(item)
                                              << "' rooting script parameters to non-scripted item '" << target
                                              << "'.\n";
            zLinkedListCursor cursor = {};
            while (zScriptParameter* parameter = item->script.GetParameters().NextAs<zScriptParameter>(cursor))
                found->script.AddParameterCopy(*parameter);
        } else {
            LogError("zMItem::DoProxy") << "proxy '" << NameOf(item) << "' cannot root script parameters to item '"
                                        << target << "' as it does not exist.\n";
        }
    }
    // The item's own groups, each once: a walk of every group of the scene
    // per proxy would make nested proxies quadratic.
    std::vector<zGroup*> holders;
    for (zGroup* other : item->memberOf) {
        if (other != group && std::find(holders.begin(), holders.end(), other) == holders.end())
            holders.push_back(other);
    }
    for (zGroup* other : holders)
        other->AddGroupMembers(*group);
}
