#pragma once

#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"

#include <cstdint>

// One record for both kinds of node. An inner node splits on an axis and
// owns its two children, allocated together; a leaf owns a run of the
// hierarchy's index array.
struct zBIHNode {
    static constexpr uint8_t LeafType = 3;

    zBIHNode() = default;
    ~zBIHNode() { delete[] children; }
    zBIHNode(const zBIHNode&) = delete;
    zBIHNode& operator=(const zBIHNode&) = delete;

    bool IsLeaf() const { return type == LeafType; }

    // Appends the indices of every leaf the box may touch, visiting the right
    // child before the left one. A leaf that does not fit in the room left is
    // skipped whole and noted in truncated.
    void GatherInBox(const zMinMax& box, uint32_t* out, uint32_t capacity, uint32_t& count, bool& truncated) const;

    // Split axis (0 x, 1 y, 2 z) or LeafType.
    uint8_t type = LeafType;
    // Leaf: number of entries from indices on.
    uint32_t count = 0;
    // Inner: the largest max of the left volumes and the smallest min of the
    // right volumes on the axis, each widened by the clip margin.
    float leftClip = 0.0f;
    float rightClip = 0.0f;
    // Inner: left and right child.
    zBIHNode* children = nullptr;
    // Leaf: first entry in the index array.
    uint32_t* indices = nullptr;
};

struct zBIHStackEntry {
    const zBIHNode* node;
    float tNear;
    float tFar;
};

// State of one ray query: the traversal stack and the hit that the derived
// class's leaf test writes. One record per thread lets queries run in parallel.
struct zBIHQuery {
    // The tree is at most 64 deep, and the stack holds at most one entry per level.
    static constexpr int32_t StackCapacity = 65;

    // The start of every ray walk: no node visited, nothing stacked, no hit yet.
    void BeginWalk()
    {
        visits = 0;
        stackDepth = 0;
        hitFound = 0;
        hitT = -1.0f;
    }
    // Clips the ray to bounds and to maximumDistance (when > 0) into
    // [tNear, tFar] and records origin and direction; false when the ray
    // misses the bounds or ends before them (origin and direction untouched).
    bool ClipRay(const zMinMax& bounds, const zVector& rayOrigin, const zVector& rayDirection, float maximumDistance,
                 float& tNear, float& tFar)
    {
        tNear = 0.0f;
        tFar = 0.0f;
        if (!bounds.IntersectRaySlab(rayOrigin, rayDirection, tNear, tFar))
            return false;
        if (maximumDistance > 0.0f && maximumDistance <= tNear)
            return false;
        origin = rayOrigin;
        direction = rayDirection;
        if (maximumDistance > 0.0f && maximumDistance < tFar)
            tFar = maximumDistance;
        return true;
    }

    // Clears what the leaf tests write, before a query.
    void ResetHit()
    {
        hitFound = 0;
        hitT = -1.0f;
        objectHit = nullptr;
        primitiveHit = -1;
        subPrimitiveHit = -1;
        weights[0] = weights[1] = weights[2] = 0.0f;
        backSide = 0;
        primitivesTested = 0;
    }

    zBIHStackEntry stack[StackCapacity];
    int32_t stackDepth = 0;
    // 1: keep walking after a hit while nearer nodes remain; 0: stop at the first.
    uint8_t nearestHit = 1;
    uint8_t hitFound = 0;
    float hitT = -1.0f;
    zVector origin;
    // As given: the query does not normalise it.
    zVector direction;
    // Inner nodes visited.
    int32_t visits = 0;
    const void* objectHit = nullptr;
    int32_t primitiveHit = -1;
    int32_t subPrimitiveHit = -1;
    float weights[3] = {0.0f, 0.0f, 0.0f};
    uint8_t backSide = 0;
    int32_t primitivesTested = 0;
};

// Bounding interval hierarchy over axis-aligned volumes, one per primitive of
// the derived class, which alone knows how a ray meets its primitives. Ray
// queries and GatherInBox leave the tree alone: several threads may query at
// once, each with its own zBIHQuery; Build and Free need the tree to themselves.
class zBIH {
public:
    static constexpr uint32_t DefaultLeafSize = 8;
    static constexpr int32_t MaxDepth = 64;
    // Widens the root bounds and every clip plane so that primitives touching
    // a plane are never cut off by rounding; far from the origin the margin
    // grows to a few float steps of the coordinate.
    static constexpr float ClipMargin = 1e-4f;

    zBIH();
    virtual ~zBIH();
    zBIH(const zBIH&) = delete;
    zBIH& operator=(const zBIH&) = delete;

    // Tests the ray in the query against the leaf's primitives within
    // [tNear, tFar] and records a hit in the query.
    virtual void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const = 0;
    // Builds the tree over count volumes, indexed like the primitives; the
    // volumes are not kept. Replaces an earlier tree; on failure nothing is built.
    virtual bool Build(int32_t count, const zMinMax* volumes);
    // Walks the leaves the ray crosses front to back. A maximum distance of 0
    // or less is unlimited. The caller resets the hit fields first. Distances
    // (hitT included) are in lengths of direction: hit = origin + t direction.
    virtual void IntersectRay(zBIHQuery& query, const zVector& origin, const zVector& direction, float maximumDistance) const;
    virtual void Free();

    // Writes the indices of the leaves a box may touch (a superset of the
    // volumes overlapping it) to out, at most capacity of them, and returns
    // how many. A whole leaf that does not fit is left out; truncated, when
    // given, tells whether that happened.
    uint32_t GatherInBox(const zMinMax& box, uint32_t* out, uint32_t capacity, bool* truncated = nullptr) const;

    bool IsBuilt() const { return root != nullptr; }
    const zMinMax& GetBounds() const { return bounds; }
    const zBIHNode* GetRoot() const { return root; }
    const uint32_t* GetIndices() const { return indices; }
    uint32_t GetLeafSize() const { return leafSize; }
    int32_t GetNodeCount() const { return nodeCount; }
    int32_t GetLeafCount() const { return leafCount; }
    int32_t GetDepth() const { return depth; }

    // Makes every allocation of the build on this thread fail once the given
    // number have succeeded (-1: never), so the out-of-memory paths can be tested.
    static void FailAllocationsAfter(int32_t successes);

protected:
    bool Split(const zMinMax& box, uint32_t count, uint32_t* entries, const zMinMax* volumes, zBIHNode& node, int32_t level);
    // Moves the volumes whose centre lies above the split value to the end;
    // returns how many stay on the left.
    static uint32_t Partition(uint32_t* entries, uint32_t count, const zMinMax* volumes, int axis, float split);

    uint32_t leafSize = DefaultLeafSize;
    zMinMax bounds;
    zBIHNode* root = nullptr;
    uint32_t* indices = nullptr;
    int32_t nodeCount = 0;
    int32_t leafCount = 0;
    int32_t depth = 0;

private:
    // Free without the derived class's part, for use during a build.
    void ReleaseTree();
};
