#include "physic/collision/GColPair.h"

#include "physic/collision/GColItem.h"

#include <new>

GColPair::GColPair(GColItem* a, GColItem* b) : itemA(a), itemB(b)
{
    hash = GColPairHash(a->collisionId, b->collisionId);
}

void GColPair::AddPoint(const zVector& position, const zVector& normal, float depth)
{
    if (pointCount >= MaxPoints)
        return;
    for (uint32_t i = 0; i < pointCount; ++i) {
        if (VectorDistanceSquared(position, positions[i]) < 0.005f && normal.Dot(normals[i]) > 0.996f)
            return;
    }
    positions[pointCount] = position;
    normals[pointCount] = zVector(normal.x, normal.y, normal.z);
    depths[pointCount] = depth;
    ++pointCount;
}

int32_t GColPairHash(uint32_t lowerId, uint32_t higherId)
{
    // Signed 32-bit arithmetic with wrap-around and sign-propagating shifts,
    // done on unsigned values to keep the wrap-around defined.
    const auto sar = [](uint32_t v, int n) { return static_cast<uint32_t>(static_cast<int32_t>(v) >> n); };
    const uint32_t p = lowerId;
    const uint32_t q = higherId;
    const uint32_t k = p ^ ((p ^ q) & 0x0F0F0F0Fu);
    uint32_t h = k * 0x1001u + 0x7ED55D16u;
    h = h ^ sar(h, 19) ^ 0xC761C23Cu;
    h = h * 33u + 0x165667B1u;
    h = (h + 0xD3A2646Cu) ^ (h << 9);
    h = h * 9u + 0xFD7046C5u;
    h = h ^ sar(h, 16) ^ 0xB55A4F09u;
    return static_cast<int32_t>(h);
}

GColPairTable::GColPairTable()
{
    for (zArray& bucket : buckets)
        bucket.Resize(BucketReserve);
}

namespace {
void OrderById(const GColItem*& p, const GColItem*& q)
{
    if (q->collisionId < p->collisionId) {
        const GColItem* t = p;
        p = q;
        q = t;
    }
}
}

namespace {

uint64_t PairKey(const GColItem* p, const GColItem* q)
{
    return (static_cast<uint64_t>(p->collisionId) << 32) | q->collisionId;
}

uint32_t SlotOf(uint64_t key, uint32_t mask)
{
    key ^= key >> 29;
    key *= 0xBF58476D1CE4E5B9ull;
    key ^= key >> 32;
    return static_cast<uint32_t>(key) & mask;
}

}

GColPairTable::~GColPairTable()
{
    delete[] slots;
}

GColPair* GColPairTable::Find(const GColItem* p, const GColItem* q) const
{
    if (p == nullptr || q == nullptr)
        return nullptr;
    OrderById(p, q);
    if (slots != nullptr && indexed == count) {
        const uint64_t key = PairKey(p, q);
        const uint32_t mask = slotCount - 1;
        for (uint32_t s = SlotOf(key, mask);; s = (s + 1) & mask) {
            const Slot& slot = slots[s];
            if (slot.pair == nullptr)
                return nullptr;
            if (slot.key == key && slot.pair->itemA == p && slot.pair->itemB == q)
                return slot.pair;
        }
    }
    const zArray& bucket = buckets[static_cast<uint32_t>(GColPairHash(p->collisionId, q->collisionId)) & (BucketCount - 1)];
    for (uint32_t i = 0; i < bucket.GetCount(); ++i) {
        GColPair* pair = static_cast<GColPair*>(bucket[i]);
        if (pair->itemA == p && pair->itemB == q)
            return pair;
    }
    return nullptr;
}

bool GColPairTable::GrowIndex()
{
    const uint32_t size = slotCount == 0 ? 1024u : slotCount * 2u;
    Slot* grown = size > slotCount ? new (std::nothrow) Slot[size]() : nullptr;
    if (grown == nullptr)
        return false;
    Slot* old = slots;
    const uint32_t oldCount = slotCount;
    slots = grown;
    slotCount = size;
    indexed = 0;
    for (uint32_t i = 0; i < oldCount; ++i) {
        if (old[i].pair != nullptr)
            IndexPair(old[i].pair);
    }
    delete[] old;
    return true;
}

void GColPairTable::IndexPair(GColPair* pair)
{
    const uint64_t key = PairKey(pair->itemA, pair->itemB);
    const uint32_t mask = slotCount - 1;
    uint32_t s = SlotOf(key, mask);
    while (slots[s].pair != nullptr)
        s = (s + 1) & mask;
    slots[s].key = key;
    slots[s].pair = pair;
    ++indexed;
}

bool GColPairTable::Insert(GColPair* pair)
{
    zArray& bucket = buckets[static_cast<uint32_t>(pair->hash) & (BucketCount - 1)];
    if (!bucket.Add(pair, true))
        return false;
    ++count;
    // Without room in the index, lookups fall back to the buckets.
    if (indexed + 1 == count && (2u * count <= slotCount || GrowIndex()))
        IndexPair(pair);
    return true;
}

void GColPairTable::Clear()
{
    for (zArray& bucket : buckets) {
        bucket.Clear(true);
        bucket.Resize(BucketReserve);
    }
    if (indexed != 0) {
        for (uint32_t i = 0; i < slotCount; ++i)
            slots[i] = Slot{0, nullptr};
    }
    indexed = 0;
    count = 0;
    full = false;
}
