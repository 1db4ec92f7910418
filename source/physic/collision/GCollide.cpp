#include "physic/collision/GCollide.h"

#include "framework/system/zLogStream.h"
#include "framework/system/zModuleTag.h"

#include <new>

namespace {
constexpr int32_t CollisionModule = 3;
}

GCollide::GCollide()
{
    zModuleTagScope module(CollisionModule);
    activeItems.SetNotOwned(true);
    inactiveItems.SetNotOwned(true);
    SAP_Allocate(DefaultSAPSize);
    UseSAP = 1;
}

GCollide::~GCollide()
{
    SAP_Free();
    pairTable.Clear();
    ClearItems();
}

bool GCollide::SAP_Allocate(uint32_t n)
{
    zModuleTagScope module(CollisionModule);
    // Shrinking below the entries held would drop active items from the sweep.
    if (n < sapCount) {
        LogError("GCollide::SAP_Allocate") << "Cannot shrink SAP structures below the " << sapCount << " items held (n = " << n
                                           << ").\n";
        return false;
    }
    GColItem** entries = n < SAPSizeLimit ? new (std::nothrow) GColItem*[n] : nullptr;
    const size_t stride = size_t(n) + SweepPadding;
    float* copies = entries != nullptr ? new (std::nothrow) float[7 * stride]() : nullptr;
    if (entries == nullptr || copies == nullptr) {
        delete[] entries;
        LogError("GCollide::SAP_Allocate") << "Failed to allocate SAP structures (n = " << n << ").\n";
        return false;
    }
    for (uint32_t i = 0; i < sapCount; ++i)
        entries[i] = sapArray[i];
    delete[] sapArray;
    delete[] sweepStorage;
    sapArray = entries;
    sweepStorage = copies;
    sweep.minX = copies;
    sweep.maxX = copies + stride;
    sweep.minY = copies + 2 * stride;
    sweep.maxY = copies + 3 * stride;
    sweep.minZ = copies + 4 * stride;
    sweep.maxZ = copies + 5 * stride;
    sweep.moved = copies + 6 * stride;
    sapCapacity = n;
    return true;
}

void GCollide::SAP_Free()
{
    delete[] sapArray;
    delete[] sweepStorage;
    sapArray = nullptr;
    sweepStorage = nullptr;
    sweep = SweepColumns();
    sapCount = 0;
    sapCapacity = 0;
}

void GCollide::AddItem(GColItem* item)
{
    // An item already linked (here or in another world) stays where it is.
    if (item == nullptr || item->worldList != nullptr)
        return;
    zModuleTagScope module(CollisionModule);
    if (sapCount >= sapCapacity) {
        LogError("GCollide::AddItem")
            << "Cannot add item to the collision list, increase the Sweep and Prune limit or disable Sweep and Prune phase.\n";
        return;
    }
    if (item->collisionId == 0)
        item->collisionId = nextCollisionId++;
    activeItems.Add(item, true, true);
    item->worldList = &activeItems;
    sapArray[sapCount++] = item;
}

bool GCollide::RemoveItem(GColItem* item)
{
    if (item == nullptr)
        return false;
    zModuleTagScope module(CollisionModule);
    if (item->worldList == &activeItems) {
        activeItems.Unlink(item);
        item->worldList = nullptr;
        for (uint32_t i = 0; i < sapCount; ++i) {
            if (sapArray[i] == item) {
                sapArray[i] = sapArray[sapCount - 1];
                --sapCount;
                break;
            }
        }
        return true;
    }
    if (item->worldList != &inactiveItems)
        return false;
    inactiveItems.Unlink(item);
    item->worldList = nullptr;
    return true;
}

bool GCollide::SetItemInactive(GColItem* item, bool inactive)
{
    if (item == nullptr)
        return false;
    zModuleTagScope module(CollisionModule);
    if (inactive) {
        if (item->worldList != &activeItems)
            return false;
        RemoveItem(item);
        inactiveItems.Add(item, true, true);
        item->worldList = &inactiveItems;
        return true;
    }
    if (item->worldList != &inactiveItems)
        return false;
    inactiveItems.Unlink(item);
    item->worldList = nullptr;
    AddItem(item);
    return true;
}

void GCollide::ClearItems()
{
    for (zLinkedList* list : {&activeItems, &inactiveItems}) {
        for (zLinkedListEntry* e = list->GetFirst(); e != nullptr; e = e->next)
            static_cast<GColItem*>(static_cast<zLinkedListIdEntry*>(e))->worldList = nullptr;
        list->Clear(false);
    }
    sapCount = 0;
}

void GCollide::ResetItems()
{
    zLinkedListCursor cursor;
    while (GColItem* item = activeItems.NextAs<GColItem>(cursor))
        item->Reset();
}
