#include "core/geometry/zGeometry.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

#include <cmath>
#include <vector>

namespace {

const char* NameOf(const zMItem* item)
{
    return item->GetName().Get() != nullptr ? item->GetName().Get() : "";
}

template <class Visit> void ForEachItem(const zSceneItemList& list, Visit visit)
{
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = list.NextAs<zLinkedListIdEntry>(cursor))
        visit(static_cast<zMItem*>(entry));
}

bool SamePlacement(const zItem& a, const zItem& b)
{
    const float values[12] = {a.position.x, a.position.y, a.position.z, a.rotation.x, a.rotation.y, a.rotation.z,
                              b.position.x, b.position.y, b.position.z, b.rotation.x, b.rotation.y, b.rotation.z};
    for (int i = 0; i < 6; ++i) {
        if (!(std::fabs(values[i] - values[i + 6]) < 0.000001f))
            return false;
    }
    return true;
}

} // namespace

void zScene::Audit()
{
    zLogStream& log = *GlobalLogStream;
    log << "\nRunning scene audit:\n--------------------\n\n(1/2) Geometry usage:\n\n";
    std::vector<zMObject*> all;
    ForEachItem(objects, [&](zMItem* item) { all.push_back(static_cast<zMObject*>(item)); });

    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = core->GetGeometries().NextAs<zLinkedListIdEntry>(cursor)) {
        const zGeometry* geometry = static_cast<const zGeometry*>(static_cast<const zResource*>(entry));
        int32_t users = 0;
        for (const zMObject* object : all)
            users += object->object.geometry == geometry ? 1 : 0;
        log << "'" << (geometry->id.Get() != nullptr ? geometry->id.Get() : "") << "' used by " << users
            << " object(s).\n";
        for (const zMObject* object : all) {
            if (object->object.geometry == geometry)
                log << " - Object '" << NameOf(object) << "'\n";
        }
    }

    log << "\n(2/2) Check for duplicate geometries:\n\n";
    for (const zMObject* first : all) {
        for (const zMObject* second : all) {
            if (first == second || first->object.geometry == nullptr
                || first->object.geometry != second->object.geometry || !SamePlacement(first->object, second->object))
                continue;
            LogWarning("zScene::Audit") << " - Object '" << NameOf(first) << "' and '" << NameOf(second)
                                        << "' might be duplicates.\n";
        }
    }
    log << "\nAudit complete.\n\n";
}

void zScene::PrintItemList()
{
    zLogStream& log = *GlobalLogStream;
    LogHeading("zScene::PrintItemList") << "Dumping scene content\n\n";
    const std::pair<const char*, const zSceneItemList*> lists[3] = {
        {"Camera list follows (", &cameras}, {"Object list follows (", &objects}, {"Light list follows (", &lights}};
    for (const auto& [heading, list] : lists) {
        log << heading << list->GetCount() << " entries) :\n";
        ForEachItem(*list, [&](zMItem* item) { log << "  - " << NameOf(item) << "\n"; });
    }
    log << "Group list follows (" << groups.GetCount() << " entries) :\n";
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = groups.NextAs<zLinkedListIdEntry>(cursor)) {
        const zGroup* group = static_cast<const zGroup*>(entry);
        log << "  - " << (group->GetName().Get() != nullptr ? group->GetName().Get() : "") << "\n";
    }
    log << "\n-------------------\n\n-------------------\n\n";
    log << "Global item list follows (" << int32_t(allItems.size()) << " entries) :\n";
    for (const zMItem* item : allItems) {
        log << "  - " << NameOf(item) << " ";
        const zItem* coreItem = item->GetCoreItem();
        const zMItem* parent = coreItem != nullptr ? zMItem::FromCoreItem(coreItem->link) : nullptr;
        if (parent != nullptr && IsRegistered(parent))
            log << "(Linked to '" << NameOf(parent) << "')";
        log << "\n";
    }
    log << "\n";
}
