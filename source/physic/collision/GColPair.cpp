#include "physic/collision/GColPair.h"

#include "physic/collision/GColItem.h"

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

GColPair* GColPairTable::Find(const GColItem* p, const GColItem* q) const
{
    if (p == nullptr || q == nullptr)
        return nullptr;
    OrderById(p, q);
    const zArray& bucket = buckets[static_cast<uint32_t>(GColPairHash(p->collisionId, q->collisionId)) & (BucketCount - 1)];
    for (uint32_t i = 0; i < bucket.GetCount(); ++i) {
        GColPair* pair = static_cast<GColPair*>(bucket[i]);
        if (pair->itemA == p && pair->itemB == q)
            return pair;
    }
    return nullptr;
}

bool GColPairTable::Insert(GColPair* pair)
{
    zArray& bucket = buckets[static_cast<uint32_t>(pair->hash) & (BucketCount - 1)];
    if (!bucket.Add(pair, true))
        return false;
    ++count;
    return true;
}

void GColPairTable::Clear()
{
    for (zArray& bucket : buckets) {
        bucket.Clear(true);
        bucket.Resize(BucketReserve);
    }
    count = 0;
}
