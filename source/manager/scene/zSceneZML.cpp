#include "core/render/zRenderer.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMatrix4.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <unordered_map>

namespace {

const char* const ReaderMethod = "zScene::FromMetaTagStoreGroup";
const char* const WriterMethod = "zScene::AsMetaTag";

const char* NameOf(const zMItem* item)
{
    return item->GetName().Get() != nullptr ? item->GetName().Get() : "";
}

// The load flag of a child of "Items", or 0 for a name that is no item.
int32_t ItemFlagOf(const zString& name)
{
    if (name == "MCamera")
        return zScene::LoadCamera;
    if (name == "MObject")
        return zScene::LoadObject;
    if (name == "MLight")
        return zScene::LoadLight;
    if (name == "Trigger")
        return zScene::LoadTrigger;
    return 0;
}

int32_t IntegerOf(const zMetaTag* tag)
{
    return tag != nullptr && tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}

// The first child of that name, shortcuts resolved.
const zMetaTag* Section(const zMetaFile* document, const zMetaTag* tag, const char* name)
{
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (child->GetName() == name)
            return child;
    }
    return nullptr;
}

bool ReadColour(zColor& colour, const zMetaTag* tag)
{
    zVector v(colour.r, colour.g, colour.b, colour.a);
    if (!v.FromMetaTag(tag))
        return false;
    colour = zColor(v.x, v.y, v.z, v.w);
    return true;
}

zMetaTag* ColourTag(const char* name, const zColor& colour)
{
    return zVector(colour.r, colour.g, colour.b, colour.a).AsMetaTag(name, true);
}

int32_t KindFlag(const zMItem* item)
{
    switch (item->GetKind()) {
    case zMItem::KindCamera: return zScene::LoadCamera;
    case zMItem::KindObject: return zScene::LoadObject;
    case zMItem::KindLight: return zScene::LoadLight;
    case zMItem::KindTrigger: return zScene::LoadTrigger;
    default: return 0;
    }
}

// File UIDs to scene UIDs for one read. Entries below the dense bound sit in
// a table (which the physics reader indexes); higher ones in a map. A UID
// the file did not give, or that is out of any range, maps to -1 (masked).
class UidRemap {
public:
    explicit UidRemap(int64_t count)
    {
        dense.assign(size_t(std::min<int64_t>(count, zScene::DenseRemapLimit)), -1);
    }
    int32_t Get(int64_t fileUid) const
    {
        if (fileUid >= 0 && fileUid < int64_t(dense.size()))
            return dense[size_t(fileUid)];
        auto at = sparse.find(fileUid);
        return at != sparse.end() ? at->second : -1;
    }
    void Set(int64_t fileUid, int32_t uid)
    {
        if (fileUid >= 0 && fileUid < int64_t(dense.size()))
            dense[size_t(fileUid)] = uid;
        else
            sparse[fileUid] = uid;
    }
    TauUidRemap ForPhysics() const { return TauUidRemap{dense.data(), int32_t(dense.size())}; }

private:
    std::vector<int32_t> dense;
    std::unordered_map<int64_t, int32_t> sparse;
};

} // namespace

bool zScene::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return FromMetaTagStoreGroup(document, tag, nullptr, LoadAll, 0);
}

zMetaTag* zScene::AsMetaTag(zLinkedListId* list)
{
    return AsMetaTag(dynamic_cast<const zMetaFile*>(list), nullptr, LoadAll);
}

bool zScene::FromMetaFileStoreGroup(const char* path, zGroup** groupOut, int32_t loadFlags, int32_t importDepth)
{
    if (groupOut != nullptr)
        *groupOut = nullptr;
    if (path == nullptr)
        return false;
    zMetaFile document;
    const bool loaded =
        fileLoader != nullptr ? fileLoader(path, document, fileLoaderContext) : zMetaParser::Load(path, &document);
    if (!loaded)
        return false;
    const zMetaTag* root = nullptr;
    for (zLinkedListEntry* e = document.GetFirst(); e != nullptr && root == nullptr; e = e->next) {
        const zMetaTag* tag = static_cast<const zMetaTag*>(static_cast<zLinkedListIdEntry*>(e));
        if (tag->GetName() == "Scene")
            root = tag;
    }
    if (root == nullptr) {
        // A file that is not a scene is a failed load, whatever else it holds.
        LogError("zScene::FromMetaFileStoreGroup") << "No <Scene> tag in '" << path << "'.\n";
        return false;
    }
    const bool read = FromMetaTagStoreGroup(&document, root, groupOut, loadFlags, importDepth);
    if (groupOut != nullptr && *groupOut != nullptr)
        (*groupOut)->id.Assign(path);
    return read;
}

int64_t zScene::CountItemsToRead(const zMetaFile* document, const zMetaTag* tag, int32_t loadFlags)
{
    // The reader's own choice of children, below.
    const zMetaTag* itemsTag = tag != nullptr && tag->GetName() == "Scene" ? Section(document, tag, "Items") : nullptr;
    int64_t count = 0;
    if (itemsTag == nullptr)
        return 0;
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = itemsTag->NextChild(cursor, document)) {
        const int32_t flag = ItemFlagOf(child->GetName());
        if (flag == 0 || (loadFlags & flag) == 0)
            continue;
        const zMetaTag* mitem = Section(document, child, "MItem");
        if (mitem == nullptr || Section(document, mitem, "ToolSpecific") == nullptr)
            ++count;
    }
    return count;
}

bool zScene::FromMetaTagStoreGroup(const zMetaFile* document, const zMetaTag* tag, zGroup** groupOut, int32_t loadFlags,
                                   int32_t importDepth)
{
    (void)importDepth;
    zModuleTagScope module(8);
    const uint32_t started = GetClockTicks();
    if (groupOut != nullptr)
        *groupOut = nullptr;
    if (tag == nullptr || !(tag->GetName() == "Scene")) {
        LogError(ReaderMethod) << "Could not parse scene. Root tag id is incorrect ("
                               << (tag != nullptr ? tag->GetName().Get() : "") << ").\n";
        return false;
    }
    const char* path = document != nullptr && document->GetFileName().Get() != nullptr ? document->GetFileName().Get() : "";
    *GlobalLogStream << "[H] Parsing metascene '" << path << "'\n\n";
    SetSourcePath(path);
    ui.ResetCommandList();

    if (const zMetaTag* shader = Section(document, tag, "Shader")) {
        zLinkedListCursor cursor = {};
        while (const zMetaTag* include = shader->NextChild(cursor, document)) {
            if (!(include->GetName() == "Include") || include->GetString() == nullptr)
                continue;
            shaderIncludes.Add(new zLinkedListIdEntry(include->GetString()), true, true);
            // Without a renderer the name waits for RegisterAsPropertyCallback.
            if (renderer != nullptr)
                renderer->LoadShaderLibrary(include->GetString(), "GLSL_Deferred;");
        }
    }

    zGroup* group = nullptr;
    if (groupOut != nullptr) {
        group = AddGroup(path);
        *groupOut = group;
    }

    const zMetaTag* itemsTag = Section(document, tag, "Items");
    int64_t highest = -999;
    if (itemsTag != nullptr) {
        zLinkedListCursor cursor = {};
        while (const zMetaTag* child = itemsTag->NextChild(cursor, document)) {
            const zMetaTag* mitem = Section(document, child, "MItem");
            const zMetaTag* uidTag = mitem != nullptr ? Section(document, mitem, "UId") : nullptr;
            highest = std::max<int64_t>(highest, IntegerOf(uidTag));
        }
    }
    const int64_t count = std::max<int64_t>(highest + 1, 1);
    // Offset numbering as long as the whole range stays small and fits the
    // UID type; otherwise items keep the fresh UIDs they were created with.
    const bool byOffset =
        count <= DenseRemapLimit && int64_t(nextUid) + count <= int64_t(std::numeric_limits<int32_t>::max());
    if (!byOffset)
        LogWarning(ReaderMethod) << "Item UIDs of '" << path << "' run up to " << int32_t(highest)
                                 << ": items are numbered in file order.\n";
    const int32_t base = nextUid;
    if (byOffset)
        nextUid = int32_t(base + count);
    UidRemap remap(count);
    // The items of this read by their scene UID: links, skins and groups
    // only name those, and the scene's own lookup walks every item.
    std::unordered_map<int32_t, zMItem*> readItems;
    std::vector<zMItem*> created;
    auto findRead = [&](int32_t uid) {
        auto at = readItems.find(uid);
        return at != readItems.end() && at->second->uid == uid ? at->second : FindFromUid(uid);
    };

    if (itemsTag != nullptr) {
        zLinkedListCursor cursor = {};
        while (const zMetaTag* child = itemsTag->NextChild(cursor, document)) {
            const zString& name = child->GetName();
            const int32_t flag = ItemFlagOf(name);
            if (flag == 0) {
                LogWarning(ReaderMethod) << "Unexpected <" << name << "> sub-tag in <Items>.\n";
                continue;
            }
            if ((loadFlags & flag) == 0)
                continue;
            const zMetaTag* mitem = Section(document, child, "MItem");
            if (mitem != nullptr && Section(document, mitem, "ToolSpecific") != nullptr)
                continue;
            zMItem* item = nullptr;
            bool read = false;
            switch (flag) {
            case LoadCamera:
                if (zMCamera* camera = AddCamera(nullptr)) {
                    item = camera;
                    read = camera->FromMetaTag(document, child);
                }
                break;
            case LoadObject:
                if (zMObject* object = AddObject(nullptr, nullptr)) {
                    item = object;
                    read = object->FromMetaTag(document, child);
                }
                break;
            case LoadLight:
                if (zMLight* light = AddLight(nullptr, 1, 0.5f)) {
                    item = light;
                    read = light->FromMetaTag(document, child);
                }
                break;
            default:
                if (zTrigger* trigger = AddTrigger(nullptr)) {
                    item = trigger;
                    read = trigger->FromMetaTag(document, child);
                }
                break;
            }
            if (item == nullptr)
                continue;
            // The add operation gave the item the last UID handed out.
            const int32_t fresh = nextUid - 1;
            const int32_t fileUid = item->uid;
            if (read && fileUid >= 0 && fileUid < count && item->GetKind() != zMItem::KindBase) {
                if (remap.Get(fileUid) != -1) {
                    // Two items of one file under one UID: the second cannot take it.
                    LogWarning(ReaderMethod) << "Corrupt item '" << NameOf(item) << "' source UID (" << fileUid << "/"
                                             << int32_t(count) << ") while parsing scene '" << path << "'.\n";
                    item->uid = fresh;
                } else if (byOffset) {
                    item->uid = base + fileUid;
                    remap.Set(fileUid, item->uid);
                    --nextUid;
                } else {
                    item->uid = fresh;
                    remap.Set(fileUid, fresh);
                }
            } else {
                if (read)
                    LogWarning(ReaderMethod) << "Corrupt item '" << NameOf(item) << "' source UID (" << fileUid << "/"
                                             << int32_t(count) << ") while parsing scene '" << path << "'.\n";
                item->uid = fresh;
            }
            readItems.emplace(item->uid, item);
            created.push_back(item);
            if (group != nullptr)
                group->Add(item, false);
        }
    }

    if (const zMetaTag* links = Section(document, tag, "Links")) {
        zLinkedListCursor cursor = {};
        while (const zMetaTag* link = links->NextChild(cursor, document)) {
            if (!(link->GetName() == "Link")) {
                LogWarning(ReaderMethod) << "Unexpected <" << link->GetName() << "> sub-tag in <Links>.\n";
                continue;
            }
            bool haveItem = false, haveLink = false;
            int32_t itemUid = zMetaTag::NoInteger, linkUid = zMetaTag::NoInteger;
            zLinkedListCursor inner = {};
            while (const zMetaTag* child = link->NextChild(inner, document)) {
                if (child->GetName() == "Item") {
                    haveItem = true;
                    itemUid = IntegerOf(child);
                } else if (child->GetName() == "Link") {
                    haveLink = true;
                    linkUid = IntegerOf(child);
                } else {
                    LogWarning(ReaderMethod) << "Unexpected <" << child->GetName() << "> sub-tag in <Link>.\n";
                }
            }
            if (!haveItem || !haveLink) {
                LogWarning(ReaderMethod) << "Incomplete link tag.\n";
                continue;
            }
            const int32_t a = remap.Get(itemUid);
            const int32_t b = remap.Get(linkUid);
            if (a == -1 || b == -1) {
                LogWarning(ReaderMethod) << "Link item masked out during import.\n";
                continue;
            }
            zMItem* child = findRead(a);
            zMItem* parent = findRead(b);
            if (child != nullptr && parent != nullptr && child->GetCoreItem() != nullptr && parent->GetCoreItem() != nullptr)
                child->GetCoreItem()->SetLink(parent->GetCoreItem());
        }
    }

    if (const zMetaTag* skins = Section(document, tag, "Skins")) {
        zLinkedListCursor cursor = {};
        while (const zMetaTag* skin = skins->NextChild(cursor, document)) {
            if (!(skin->GetName() == "Skin"))
                continue;
            const zMetaTag* uidTag = Section(document, skin, "UId");
            if (uidTag == nullptr || uidTag->GetType() != zMetaTag::TypeInteger) {
                LogError(ReaderMethod) << "Incomplete skin information, object UID is missing.\n";
                continue;
            }
            const int32_t fileUid = uidTag->GetInteger();
            if (uint32_t(fileUid) >= uint64_t(count)) {
                LogError(ReaderMethod) << "Invalid skin information, item UID out of bound.\n";
                continue;
            }
            const int32_t uid = remap.Get(fileUid);
            zMItem* item = uid != -1 ? findRead(uid) : nullptr;
            if (item == nullptr) {
                LogError(ReaderMethod) << "Incomplete skin information, item UID does not exist (" << fileUid << ").\n";
                continue;
            }
            if (item->GetKind() != zMItem::KindObject) {
                LogError(ReaderMethod) << "Invalid skin information, item UID does not refer to a skinned object ('"
                                       << NameOf(item) << "').\n";
                continue;
            }
            zObject& object = static_cast<zMObject*>(item)->object;
            if (object.boneCount == 0) {
                LogError(ReaderMethod) << "Invalid skin information, object '" << NameOf(item)
                                       << "' is not bound to a skinned geometry.\n";
                continue;
            }
            zLinkedListCursor bones = {};
            while (const zMetaTag* bone = skin->NextChild(bones, document)) {
                if (!(bone->GetName() == "Bone"))
                    continue;
                const zMetaTag* indexTag = Section(document, bone, "Index");
                const zMetaTag* boneUidTag = Section(document, bone, "UId");
                const zMetaTag* matrixTag = Section(document, bone, "BindMatrix");
                if (indexTag == nullptr || boneUidTag == nullptr || boneUidTag->GetType() != zMetaTag::TypeInteger ||
                    matrixTag == nullptr) {
                    LogError(ReaderMethod) << "Invalid bone information, incomplete bone tag.\n";
                    continue;
                }
                const int32_t index = IntegerOf(indexTag);
                if (indexTag->GetType() != zMetaTag::TypeInteger || index < 0 || uint32_t(index) >= object.boneCount) {
                    LogError(ReaderMethod) << "Invalid bone information, bone index out of bound.\n";
                    continue;
                }
                const int32_t boneFileUid = boneUidTag->GetInteger();
                if (uint32_t(boneFileUid) >= uint64_t(count)) {
                    LogError(ReaderMethod) << "Invalid bone information, item UID out of bound.\n";
                    continue;
                }
                const int32_t boneUid = remap.Get(boneFileUid);
                zMItem* boneItem = boneUid != -1 ? findRead(boneUid) : nullptr;
                if (boneItem == nullptr || boneItem->GetCoreItem() == nullptr) {
                    LogError(ReaderMethod) << "Invalid bone information, item UID does not exist.\n";
                    continue;
                }
                zMatrix4 bind;
                if (!bind.FromMetaTag(document, matrixTag))
                    LogWarning(ReaderMethod) << "Invalid bone binding matrix.\n";
                object.SetBone(uint32_t(index), boneItem->GetCoreItem(), &bind);
            }
        }
    }

    if ((loadFlags & LoadGroup) != 0) {
        if (const zMetaTag* groupsTag = Section(document, tag, "Groups")) {
            zLinkedListCursor cursor = {};
            while (const zMetaTag* groupTag = groupsTag->NextChild(cursor, document)) {
                if (!(groupTag->GetName() == "Group"))
                    continue;
                const zMetaTag* idTag = Section(document, groupTag, "Id");
                if (idTag == nullptr) {
                    LogWarning(ReaderMethod) << "Could not read group, no identifier found.\n";
                    continue;
                }
                const char* id = idTag->GetString() != nullptr ? idTag->GetString() : "";
                zGroup* read = AddGroup(id);
                if (read == nullptr) {
                    LogError(ReaderMethod) << "Failed to allocate group '" << id << "'.\n";
                    continue;
                }
                zLinkedListCursor members = {};
                while (const zMetaTag* member = groupTag->NextChild(members, document)) {
                    if (!(member->GetName() == "Item"))
                        continue;
                    const int32_t uid = remap.Get(IntegerOf(member));
                    if (uid == -1) {
                        LogWarning(ReaderMethod) << "Group member masked out during import.\n";
                        continue;
                    }
                    if (zMItem* item = findRead(uid))
                        read->Add(item, false);
                }
            }
        }
    }

    if (const zMetaTag* unit = Section(document, tag, "ScriptUnit"))
        script.FromMetaTag(document, unit);

    if (groupOut == nullptr || (loadFlags & LoadGlobals) != 0) {
        if (const zMetaTag* globals = Section(document, tag, "Globals")) {
            visualisationScale = 1.0f;
            zLinkedListCursor cursor = {};
            while (const zMetaTag* child = globals->NextChild(cursor, document)) {
                const zString& name = child->GetName();
                if (name == "BackgroundColor")
                    ReadColour(backgroundColor, child);
                else if (name == "AmbientColor")
                    ReadColour(ambientColor, child);
                else if (name == "FogColor")
                    ReadColour(fogColor, child);
                else if (name == "AmbientIntensity")
                    ambientIntensity = child->GetFloat();
                else if (name == "TargetExposure")
                    targetExposure = child->GetFloat();
                else if (name == "VisualisationScale")
                    visualisationScale = child->GetFloat();
                else if (name == "FogNear")
                    fogNear = child->GetFloat();
                else if (name == "FogFar")
                    fogFar = child->GetFloat();
            }
        }
    }

    if ((loadFlags & LoadPath) != 0) {
        if (const zMetaTag* paths = Section(document, tag, "Paths"))
            aiWorld.FromMetaTag(document, paths);
    }
    if ((loadFlags & LoadCollision) != 0) {
        if (const zMetaTag* settings = Section(document, tag, "GCollide"))
            collision.FromMetaTag(document, settings, (loadFlags & LoadSettings) != 0);
    }
    if ((loadFlags & LoadPhysic) != 0) {
        if (const zMetaTag* settings = Section(document, tag, "Tau")) {
            const TauUidRemap physicsRemap = remap.ForPhysics();
            physics.FromMetaTag(this, document, settings, &physicsRemap, group);
        }
    }

    if (group != nullptr)
        *GlobalLogStream << "Group '" << group->GetName() << "': " << group->GetItemCount() << " item(s), "
                         << group->GetConstraintCount() << " constraint(s).\n";

    if ((loadFlags & LoadSettings) != 0 && (loadFlags & LoadCamera) != 0) {
        const zMetaTag* current = Section(document, tag, "CurrentCamera");
        if (current != nullptr && current->GetString() != nullptr) {
            zMItem* item = Find(current->GetString());
            if (item != nullptr && item->GetKind() == zMItem::KindCamera)
                currentCamera = &static_cast<zMCamera*>(item)->camera;
        }
    }

    // Proxies read one file after another within one set-up: each read places
    // its own items, and the set-up places every item once at the end.
    for (zMItem* item : deferWorldUpdates ? created : allItems) {
        if (item->GetCoreItem() != nullptr)
            item->GetCoreItem()->UpdateWorldMatrix();
    }
    worldUpdatesPending = deferWorldUpdates;
    const float elapsed = float(uint32_t(GetClockTicks() - started)) * 0.1f;
    *GlobalLogStream << "Done loading scene in " << elapsed << "ms.\n";
    return true;
}

// --- Writer ----------------------------------------------------------------------------

zMetaTag* zScene::LinkInfoAsMetaTag(const zMItem* item, const zGroup* filter, int32_t saveFlags)
{
    const zItem* core = item != nullptr ? item->GetCoreItem() : nullptr;
    if (core == nullptr || core->link == nullptr)
        return nullptr;
    const zMItem* parent = zMItem::FromCoreItem(core->link);
    if (parent == nullptr || parent->GetScene() != this) {
        LogError("zScene::LinkInfoAsMetaTag") << "Internal error, the scene database seems to be corrupt.\n";
        return nullptr;
    }
    if (filter != nullptr && (!filter->FindMember(item) || !filter->FindMember(parent)))
        return nullptr;
    if ((saveFlags & KindFlag(item)) == 0 || (saveFlags & KindFlag(parent)) == 0)
        return nullptr;
    zMetaTag* link = new (std::nothrow) zMetaTag("Link");
    if (link == nullptr) {
        LogError("zScene::LinkInfoAsMetaTag") << "Failed to allocate link tag.\n";
        return nullptr;
    }
    link->CreateInteger("Item", item->uid);
    link->CreateInteger("Link", parent->uid);
    return link;
}

zMetaTag* zScene::SkinInfoAsMetaTag(const zMObject* object, const zGroup* filter, int32_t)
{
    if (object == nullptr || (filter != nullptr && !filter->FindMember(object)) || object->object.boneCount == 0)
        return nullptr;
    zMetaTag* skin = new (std::nothrow) zMetaTag("Skin");
    if (skin == nullptr) {
        LogError("zScene::SkinInfoAsMetaTag") << "Failed to allocate skin tag.\n";
        return nullptr;
    }
    skin->CreateInteger("UId", object->uid);
    const zObject& core = object->object;
    for (uint32_t i = 0; i < core.boneCount && core.bones != nullptr; ++i) {
        const zMItem* bone = zMItem::FromCoreItem(core.bones[i]);
        if (bone == nullptr || (filter != nullptr && !filter->FindMember(bone)))
            continue;
        zMetaTag* boneTag = new (std::nothrow) zMetaTag("Bone");
        if (boneTag == nullptr) {
            LogError("zScene::SkinInfoAsMetaTag") << "Failed to allocate bone tag.\n";
            continue;
        }
        boneTag->CreateInteger("Index", int32_t(i));
        boneTag->CreateInteger("UId", bone->uid);
        boneTag->AddChild(core.bindMatrices != nullptr ? core.bindMatrices[i].AsMetaTag("BindMatrix")
                                                       : zMatrix4().AsMetaTag("BindMatrix"));
        skin->AddChild(boneTag);
    }
    return skin;
}

zMetaTag* zScene::AsMetaTag(const zMetaFile* document, const zGroup* filter, int32_t saveFlags)
{
    zModuleTagScope module(8);
    zMetaTag* root = new (std::nothrow) zMetaTag("Scene");
    if (root == nullptr) {
        LogError(WriterMethod) << "Could not create scene root tag to serialize.\n";
        return nullptr;
    }
    if (!shaderIncludes.IsEmpty()) {
        zMetaTag* shader = root->CreateChild("Shader");
        for (zLinkedListEntry* e = shaderIncludes.GetFirst(); e != nullptr; e = e->next) {
            const zString& name = static_cast<zLinkedListIdEntry*>(e)->id;
            shader->CreateString("Include", name.Get() != nullptr ? name.Get() : "");
        }
    }
    if (zMetaTag* unit = script.AsMetaTag())
        root->AddChild(unit);

    zMetaTag* items = new (std::nothrow) zMetaTag("Items");
    if (items == nullptr) {
        LogError(WriterMethod) << "Failed to allocate <Items> root tag.\n";
        delete root;
        return nullptr;
    }
    root->AddChild(items);
    auto member = [&](const zMItem* item) { return filter == nullptr || filter->FindMember(item); };
    const std::pair<zSceneItemList*, int32_t> kinds[] = {
        {&cameras, LoadCamera}, {&objects, LoadObject}, {&lights, LoadLight}, {&triggers, LoadTrigger}};
    for (const auto& [list, flag] : kinds) {
        if ((saveFlags & flag) == 0)
            continue;
        for (zLinkedListEntry* e = list->GetFirst(); e != nullptr; e = e->next) {
            zMItem* item = static_cast<zMItem*>(static_cast<zLinkedListIdEntry*>(e));
            if (!member(item))
                continue;
            zMetaTag* tag = nullptr;
            switch (flag) {
            case LoadCamera: tag = static_cast<zMCamera*>(item)->AsMetaTag(); break;
            case LoadObject: tag = static_cast<zMObject*>(item)->AsMetaTag(); break;
            case LoadLight: tag = static_cast<zMLight*>(item)->AsMetaTag(); break;
            default: tag = static_cast<zTrigger*>(item)->AsMetaTag(); break;
            }
            if (tag != nullptr)
                items->AddChild(tag);
        }
    }

    zMetaTag* links = new (std::nothrow) zMetaTag("Links");
    if (links == nullptr) {
        LogError(WriterMethod) << "Failed to allocate <Links> root tag.\n";
        delete root;
        return nullptr;
    }
    root->AddChild(links);
    for (const auto& [list, flag] : kinds) {
        (void)flag;
        for (zLinkedListEntry* e = list->GetFirst(); e != nullptr; e = e->next) {
            if (zMetaTag* link = LinkInfoAsMetaTag(static_cast<zMItem*>(static_cast<zLinkedListIdEntry*>(e)), filter,
                                                   saveFlags))
                links->AddChild(link);
        }
    }

    zMetaTag* skins = new (std::nothrow) zMetaTag("Skins");
    if (skins == nullptr) {
        LogError(WriterMethod) << "Failed to allocate <Skins> root tag.\n";
        delete root;
        return nullptr;
    }
    root->AddChild(skins);
    for (zLinkedListEntry* e = objects.GetFirst(); e != nullptr; e = e->next) {
        if (zMetaTag* skin = SkinInfoAsMetaTag(static_cast<zMObject*>(static_cast<zLinkedListIdEntry*>(e)), filter,
                                               saveFlags))
            skins->AddChild(skin);
    }

    if ((saveFlags & LoadPath) != 0) {
        if (zMetaTag* paths = aiWorld.AsMetaTag())
            root->AddChild(paths);
    }
    if (filter != nullptr)
        return root;

    if ((saveFlags & LoadGroup) != 0 && !groups.IsEmpty()) {
        zMetaTag* groupsTag = new (std::nothrow) zMetaTag("Groups");
        if (groupsTag == nullptr) {
            LogError(WriterMethod) << "Failed to allocate <Groups> root tag.\n";
            delete root;
            return nullptr;
        }
        root->AddChild(groupsTag);
        zLinkedListCursor cursor = {};
        while (zGroup* group = groups.NextAs<zGroup>(cursor)) {
            zMetaTag* groupTag = groupsTag->CreateChild("Group");
            groupTag->CreateString("Id", group->GetName().Get() != nullptr ? group->GetName().Get() : "");
            for (const zMItem* item : group->GetItems())
                groupTag->CreateInteger("Item", item->uid);
        }
    }

    if ((saveFlags & LoadGlobals) != 0) {
        zMetaTag* globals = new (std::nothrow) zMetaTag("Globals");
        if (globals == nullptr) {
            LogError(WriterMethod) << "Failed to allocate <Globals> root tag.\n";
            delete root;
            return nullptr;
        }
        root->AddChild(globals);
        globals->AddChild(ColourTag("BackgroundColor", backgroundColor));
        globals->AddChild(ColourTag("AmbientColor", ambientColor));
        globals->CreateFloat("AmbientIntensity", ambientIntensity);
        globals->CreateFloat("TargetExposure", targetExposure);
        if (visualisationScale != 1.0f)
            globals->CreateFloat("VisualisationScale", visualisationScale);
        globals->CreateFloat("FogNear", fogNear);
        globals->CreateFloat("FogFar", fogFar);
        globals->AddChild(ColourTag("FogColor", fogColor));
    }

    if (currentCamera != nullptr) {
        const zMItem* camera = zMItem::FromCoreItem(currentCamera);
        if (camera != nullptr && camera->GetKind() == zMItem::KindCamera && camera->GetScene() == this)
            root->CreateString("CurrentCamera", NameOf(camera));
    }
    if ((saveFlags & LoadCollision) != 0) {
        if (zMetaTag* settings = collision.AsMetaTag(document))
            root->AddChild(settings);
    }
    if ((saveFlags & LoadPhysic) != 0) {
        if (zMetaTag* settings = physics.AsMetaTag(document, this))
            root->AddChild(settings);
    }
    return root;
}

bool zScene::SaveFile(const char* path, int32_t saveFlags)
{
    if (path == nullptr)
        return false;
    zMetaFile document(path);
    zMetaTag* root = AsMetaTag(&document, nullptr, saveFlags);
    if (root == nullptr)
        return false;
    document.AddRootTag(root);
    return zMetaParser::Save(path, &document);
}
