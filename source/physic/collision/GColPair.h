#pragma once

#include "framework/data_structure/zArray.h"
#include "framework/math/zVector.h"
#include "framework/system/zAssert.h"

#include <cstdint>

class GColItem;

// Contact manifold of two collision items over one frame: up to four points.
class GColPair : public zArrayItem {
public:
    static constexpr uint32_t MaxPoints = 4;

    // a and b in collision-id order.
    GColPair(GColItem* a, GColItem* b);

    // Dropped when full or when close to a kept point with a like normal.
    void AddPoint(const zVector& position, const zVector& normal, float depth);

    int32_t hash = 0;
    // The item with the lower collision id.
    GColItem* itemA = nullptr;
    GColItem* itemB = nullptr;
    uint32_t pointCount = 0;
    zVector positions[MaxPoints];
    // Oriented for item a.
    zVector normals[MaxPoints];
    float depths[MaxPoints] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// Jenkins' 32-bit integer hash of the two collision ids, lower first.
int32_t GColPairHash(uint32_t lowerId, uint32_t higherId);

// The pairs found since the scene last cleared the table, in 64 buckets.
class GColPairTable {
public:
    static constexpr uint32_t BucketCount = 64;
    static constexpr uint32_t BucketReserve = 64;

    GColPairTable();
    GColPairTable(const GColPairTable&) = delete;
    GColPairTable& operator=(const GColPairTable&) = delete;

    // The pair of the two items in either order, or null.
    GColPair* Find(const GColItem* p, const GColItem* q) const;
    // Deletes every pair.
    void Clear();
    // Stores the pair at the end of its bucket; false when the bucket refuses it.
    bool Insert(GColPair* pair);

    uint32_t GetCount() const { return count; }
    const zArray& GetBucket(uint32_t index) const
    {
        TAVRIN_ASSERT(index < BucketCount);
        return buckets[index];
    }
    // Null, with a warning, for an index past the bucket's count.
    GColPair* GetPair(uint32_t bucket, uint32_t index) const
    {
        TAVRIN_ASSERT(bucket < BucketCount);
        return static_cast<GColPair*>(buckets[bucket][index]);
    }

    uint32_t count = 0;
    zArray buckets[BucketCount];
    // Set when the detection refused a pair since the last clear.
    bool full = false;

private:
    // An open-addressing index over the same pairs, keyed by the two ids, so
    // that a lookup does not walk a bucket of pairs scattered over the heap.
    struct Slot {
        uint64_t key;
        GColPair* pair;
    };
    void IndexPair(GColPair* pair);
    bool GrowIndex();
    Slot* slots = nullptr;
    uint32_t slotCount = 0;
    uint32_t indexed = 0;

public:
    ~GColPairTable();
};
