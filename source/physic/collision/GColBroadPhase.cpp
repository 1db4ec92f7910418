#include "physic/collision/GCollide.h"

#include "core/zad/TavrinGlobals.h"

#include <new>

namespace {

bool OverlapYZ(const zMinMax& a, const zMinMax& b)
{
    return !(a.min.y > b.max.y || b.min.y > a.max.y || a.min.z > b.max.z || b.min.z > a.max.z);
}

bool OverlapXYZ(const zMinMax& a, const zMinMax& b)
{
    return !(a.min.x > b.max.x || b.min.x > a.max.x) && OverlapYZ(a, b);
}

}

void GCollide::SAP_Sort()
{
    if (sapCount < 2)
        return;
    // The keys are read once into the sweep array and sorted alongside the
    // entries; the exchanges are those of a sort on the items' bounds.
    for (uint32_t i = 0; i < sapCount; ++i)
        sweep[i].minX = sapArray[i]->bounds.min.x;
    const auto exchange = [this](uint32_t i, uint32_t j) {
        GColItem* t = sapArray[i];
        sapArray[i] = sapArray[j];
        sapArray[j] = t;
        const float key = sweep[i].minX;
        sweep[i].minX = sweep[j].minX;
        sweep[j].minX = key;
    };
    uint32_t lower = 0;
    uint32_t upper = sapCount - 1;
    for (;;) {
        bool exchanged = false;
        for (uint32_t k = lower; k < upper; ++k) {
            if (sweep[k].minX > sweep[k + 1].minX) {
                exchange(k, k + 1);
                exchanged = true;
            }
        }
        if (!exchanged)
            return;
        --upper;
        exchanged = false;
        for (uint32_t l = upper; l > lower; --l) {
            if (sweep[l - 1].minX > sweep[l].minX) {
                exchange(l - 1, l);
                exchanged = true;
            }
        }
        ++lower;
        if (!exchanged || lower >= upper)
            return;
    }
}

GColPair* GCollide::CreatePair(GColItem* p, GColItem* q)
{
    if (p == nullptr || q == nullptr || p == q)
        return nullptr;
    zModuleTagScope module(3);
    if (q->collisionId < p->collisionId) {
        GColItem* t = p;
        p = q;
        q = t;
    }
    GColPair* pair = new (std::nothrow) GColPair(p, q);
    if (pair == nullptr)
        return nullptr;
    if (!pairTable.Insert(pair)) {
        delete pair;
        return nullptr;
    }
    return pair;
}

bool GCollide::ItemPairTest(GColItem* a, GColItem* b, GColContactBuffer* buffer, bool stopAtFirst)
{
    if ((a->SelfMask & b->Mask) == 0)
        return false;
    bool touched = false;
    for (GColShape* sa = a->GetFirstShape(); sa != nullptr; sa = GColItem::NextShape(sa)) {
        for (GColShape* sb = b->GetFirstShape(); sb != nullptr; sb = GColItem::NextShape(sb)) {
            if (CollideShapes(sa, sb, buffer)) {
                touched = true;
                if (stopAtFirst)
                    return true;
            }
        }
    }
    return touched;
}

bool GCollide::CollideItems(GColItem* a, GColItem* b, GColContactBuffer& buffer)
{
    return ItemPairTest(a, b, &buffer, false);
}

bool GCollide::ItemsOverlap(GColItem* a, GColItem* b)
{
    return ItemPairTest(a, b, nullptr, true);
}

void GCollide::AddManifold(GColItem* first, GColItem* second, const GColContactBuffer& buffer, uint32_t firstNode)
{
    GColPair* pair = pairTable.Find(first, second);
    if (pair == nullptr)
        pair = CreatePair(first, second);
    if (pair == nullptr)
        return;
    const float sign = pair->itemA == first ? 1.0f : -1.0f;
    if (buffer.HasNodes() && buffer.HasPoints()) {
        for (uint32_t n = firstNode; n < buffer.nodeCount; ++n) {
            const TauContactNode& node = buffer.nodes[n];
            const zVector normal = node.normal * sign;
            for (uint32_t k = 0; k < node.pointCount; ++k) {
                const TauContactPoint& point = buffer.points[node.firstPoint + k];
                pair->AddPoint(point.position, normal, node.depth * sign);
            }
        }
    }
}

uint32_t GCollide::Detect(TauContactNode* nodes, uint32_t nodeCapacity, TauContactPoint* points, uint32_t pointCapacity,
                          bool skipHook)
{
    bool anyMoved = false;
    zLinkedListCursor cursor;
    while (GColItem* item = activeItems.NextAs<GColItem>(cursor)) {
        if (item->moved == 1) {
            item->UpdateBounds(item->bounds);
            item->touching = 0;
            anyMoved = true;
        }
    }
    if (!anyMoved)
        return 0;

    GColContactBuffer buffer;
    buffer.nodes = nodes;
    buffer.nodeCapacity = nodes != nullptr ? nodeCapacity : 0;
    buffer.points = points;
    buffer.pointCapacity = points != nullptr ? pointCapacity : 0;

    if (UseSAP == 1 && sapCount != 0) {
        SAP_Sort();
        // Nothing in the sweep changes bounds or moved flags: one copy serves.
        for (uint32_t i = 0; i < sapCount; ++i) {
            const GColItem* item = sapArray[i];
            SweepEntry& e = sweep[i];
            e.minX = item->bounds.min.x;
            e.maxX = item->bounds.max.x;
            e.minY = item->bounds.min.y;
            e.maxY = item->bounds.max.y;
            e.minZ = item->bounds.min.z;
            e.maxZ = item->bounds.max.z;
            e.moved = item->moved == 1 ? 1u : 0u;
        }
        const uint32_t count = sapCount;
        const SweepEntry* entries = sweep;
        for (uint32_t i = 0; i + 1 < count; ++i) {
            const SweepEntry e = entries[i];
            for (uint32_t k = i + 1; k < count && !(entries[k].minX > e.maxX); ++k) {
                const SweepEntry& f = entries[k];
                // One branch on all the tests: each test alone goes either way
                // about as often, which costs more in mispredictions than
                // evaluating them all.
                const bool apart = (e.minY > f.maxY) | (f.minY > e.maxY) | (e.minZ > f.maxZ) | (f.minZ > e.maxZ) |
                                   ((e.moved | f.moved) == 0);
                if (apart)
                    continue;
                GColItem* s = sapArray[i];
                GColItem* other = sapArray[k];
                const uint32_t firstNode = buffer.nodeCount;
                if (!CollideItems(s, other, buffer))
                    continue;
                AddManifold(s, other, buffer, firstNode);
                s->touching = 1;
                other->touching = 1;
            }
        }
    } else {
        zLinkedListCursor outer;
        while (GColItem* p = activeItems.NextAs<GColItem>(outer)) {
            p->visited = 1;
            zLinkedListCursor inner;
            while (GColItem* s = activeItems.NextAs<GColItem>(inner)) {
                if (s->visited != 0)
                    continue;
                if ((p->moved == 1 || s->moved == 1) && OverlapXYZ(p->bounds, s->bounds))
                    CollideItems(p, s, buffer);
            }
        }
        zLinkedListCursor reset;
        while (GColItem* item = activeItems.NextAs<GColItem>(reset))
            item->visited = 0;
    }

    if (!skipHook && GlobalContactHook != nullptr)
        GlobalContactHook(buffer.nodeCount, nodes, points);
    return buffer.nodeCount;
}
