#include "physic/collision/GCollide.h"

#include "framework/system/zLogStream.h"
#include "framework/system/zModuleTag.h"
#include "framework/system/zSimd.h"

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
        sweep.minX[i] = sapArray[i]->bounds.min.x;
    const auto exchange = [this](uint32_t i, uint32_t j) {
        GColItem* t = sapArray[i];
        sapArray[i] = sapArray[j];
        sapArray[j] = t;
        const float key = sweep.minX[i];
        sweep.minX[i] = sweep.minX[j];
        sweep.minX[j] = key;
    };
    uint32_t lower = 0;
    uint32_t upper = sapCount - 1;
    for (;;) {
        bool exchanged = false;
        for (uint32_t k = lower; k < upper; ++k) {
            if (sweep.minX[k] > sweep.minX[k + 1]) {
                exchange(k, k + 1);
                exchanged = true;
            }
        }
        if (!exchanged)
            return;
        --upper;
        exchanged = false;
        for (uint32_t l = upper; l > lower; --l) {
            if (sweep.minX[l - 1] > sweep.minX[l]) {
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

bool GCollide::RoomForPair()
{
    if (pairTable.GetCount() < MaxPairs)
        return true;
    if (!pairTable.full) {
        pairTable.full = true;
        LogWarning("GCollide::Detect") << "Collision pair table full (" << MaxPairs
                                       << " pairs), further pairs dropped until it is cleared.\n";
    }
    return false;
}

GColPair* GCollide::StorePair(GColItem* first, GColItem* second)
{
    if (first->pairsRead == 0 && second->pairsRead == 0)
        return nullptr;
    return RoomForPair() ? CreatePair(first, second) : nullptr;
}

void GCollide::AddManifold(GColItem* first, GColItem* second, const GColContactBuffer& buffer, uint32_t firstNode)
{
    GColPair* pair = pairTable.Find(first, second);
    if (pair == nullptr)
        pair = StorePair(first, second);
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

void GCollide::Sweep(GColItem* s, GColItem* other, GColContactBuffer& buffer)
{
    const uint32_t firstNode = buffer.nodeCount;
    if (buffer.HasNodes() && buffer.nodeCount < buffer.nodeCapacity) {
        if (!CollideItems(s, other, buffer))
            return;
        AddManifold(s, other, buffer, firstNode);
        s->touching = 1;
        other->touching = 1;
        return;
    }
    // Nothing more reaches the solver in this pass, so the test can only
    // tell whether the two touch: for a new pair the table stores (with no
    // points) and for the touching flags. Once both are set and no pair is
    // to be made, there is nothing left to learn, however many boxes pile up.
    if (buffer.HasNodes())
        buffer.ReserveNode();
    const bool touching = s->touching != 0 && other->touching != 0;
    const bool read = s->pairsRead != 0 || other->pairsRead != 0;
    if (touching && !read)
        return;
    const bool store = read && RoomForPair() && pairTable.Find(s, other) == nullptr;
    if (touching && !store)
        return;
    if (!ItemsOverlap(s, other))
        return;
    if (store)
        CreatePair(s, other);
    s->touching = 1;
    other->touching = 1;
}

uint32_t GCollide::Detect(TauContactNode* nodes, uint32_t nodeCapacity, TauContactPoint* points, uint32_t pointCapacity,
                          bool skipHook)
{
    bool anyMoved = false;
    zLinkedListCursor cursor;
    while (GColItem* item = activeItems.NextAs<GColItem>(cursor)) {
        item->pairsRead = pairReader == nullptr || pairReader(pairReaderContext, item) ? 1 : 0;
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
        const SweepColumns c = sweep;
        for (uint32_t i = 0; i < sapCount; ++i) {
            const GColItem* item = sapArray[i];
            c.minX[i] = item->bounds.min.x;
            c.maxX[i] = item->bounds.max.x;
            c.minY[i] = item->bounds.min.y;
            c.maxY[i] = item->bounds.max.y;
            c.minZ[i] = item->bounds.min.z;
            c.maxZ[i] = item->bounds.max.z;
            c.moved[i] = item->moved == 1 ? 1.0f : 0.0f;
        }
        const uint32_t count = sapCount;
        for (uint32_t i = 0; i + 1 < count; ++i) {
#if TAVRIN_SIMD_SSE2
            // Four candidates at a time: the ones that reach this entry's
            // maximum on x and overlap it on y and z are taken in sweep order,
            // up to the first that starts past it. The lanes past the count
            // read the padding and are masked off.
            const __m128 eMaxX = _mm_set1_ps(c.maxX[i]);
            const __m128 eMinY = _mm_set1_ps(c.minY[i]);
            const __m128 eMaxY = _mm_set1_ps(c.maxY[i]);
            const __m128 eMinZ = _mm_set1_ps(c.minZ[i]);
            const __m128 eMaxZ = _mm_set1_ps(c.maxZ[i]);
            const bool eMoved = c.moved[i] != 0.0f;
            for (uint32_t k = i + 1; k < count; k += 4) {
                const uint32_t left = count - k;
                int stops = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(c.minX + k), eMaxX));
                if (left < 4)
                    stops |= 0xF & (0xF << left);
                __m128 apart = _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(eMinY, _mm_loadu_ps(c.maxY + k)),
                                                   _mm_cmpgt_ps(_mm_loadu_ps(c.minY + k), eMaxY)),
                                         _mm_or_ps(_mm_cmpgt_ps(eMinZ, _mm_loadu_ps(c.maxZ + k)),
                                                   _mm_cmpgt_ps(_mm_loadu_ps(c.minZ + k), eMaxZ)));
                if (!eMoved)
                    apart = _mm_or_ps(apart, _mm_cmpeq_ps(_mm_loadu_ps(c.moved + k), _mm_setzero_ps()));
                int found = ~_mm_movemask_ps(apart) & 0xF;
                if (stops != 0)
                    found &= (1 << __builtin_ctz(static_cast<unsigned>(stops))) - 1;
                while (found != 0) {
                    const uint32_t other = k + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(found)));
                    found &= found - 1;
                    Sweep(sapArray[i], sapArray[other], buffer);
                }
                if (stops != 0)
                    break;
            }
#else
            for (uint32_t k = i + 1; k < count && !(c.minX[k] > c.maxX[i]); ++k) {
                const bool apart = (c.minY[i] > c.maxY[k]) | (c.minY[k] > c.maxY[i]) | (c.minZ[i] > c.maxZ[k]) |
                                   (c.minZ[k] > c.maxZ[i]) | (c.moved[i] == 0.0f && c.moved[k] == 0.0f);
                if (!apart)
                    Sweep(sapArray[i], sapArray[k], buffer);
            }
#endif
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
