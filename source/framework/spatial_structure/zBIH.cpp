#include "framework/spatial_structure/zBIH.h"

#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

namespace {

thread_local int32_t allocationsBeforeFailure = -1;

bool AllocationAllowed()
{
    if (allocationsBeforeFailure < 0)
        return true;
    if (allocationsBeforeFailure == 0)
        return false;
    --allocationsBeforeFailure;
    return true;
}

template <typename T>
T* AllocateArray(uint32_t count)
{
    if (!AllocationAllowed())
        return nullptr;
    return new (std::nothrow) T[count];
}

float& Axis(zVector& v, int axis)
{
    return (&v.x)[axis];
}

float Axis(const zVector& v, int axis)
{
    return (&v.x)[axis];
}

// Moves a bound away from the volumes by the clip margin, or by a few float
// steps where the coordinate is so large that the margin would round away and
// leave primitives lying on the plane to the mercy of rounding.
float Widen(float value, float side)
{
    const float margin = std::max(zBIH::ClipMargin, std::fabs(value) * (1.0f / 1048576.0f));
    return value + side * margin;
}

} // namespace

void zBIHNode::GatherInBox(const zMinMax& box, uint32_t* out, uint32_t capacity, uint32_t& gathered, bool& truncated) const
{
    if (IsLeaf()) {
        if (count > capacity - gathered) {
            truncated = true;
            return;
        }
        for (uint32_t i = 0; i < count; ++i)
            out[gathered + i] = indices[i];
        gathered += count;
        return;
    }
    const int axis = type;
    if (rightClip < Axis(box.max, axis)) {
        zMinMax narrowed = box;
        if (rightClip > Axis(narrowed.min, axis))
            Axis(narrowed.min, axis) = rightClip;
        children[1].GatherInBox(narrowed, out, capacity, gathered, truncated);
    }
    if (leftClip > Axis(box.min, axis)) {
        zMinMax narrowed = box;
        if (leftClip < Axis(narrowed.max, axis))
            Axis(narrowed.max, axis) = leftClip;
        children[0].GatherInBox(narrowed, out, capacity, gathered, truncated);
    }
}

zBIH::zBIH() = default;

zBIH::~zBIH()
{
    ReleaseTree();
}

void zBIH::FailAllocationsAfter(int32_t successes)
{
    allocationsBeforeFailure = successes;
}

void zBIH::ReleaseTree()
{
    delete[] root;
    root = nullptr;
    delete[] indices;
    indices = nullptr;
    bounds = zMinMax();
    nodeCount = 0;
    leafCount = 0;
    depth = 0;
}

void zBIH::Free()
{
    ReleaseTree();
}

bool zBIH::Build(int32_t count, const zMinMax* volumes)
{
    *GlobalLogStream << "Building bounding interval hierarchy BIH...\n";
    zTimer timer;
    timer.Start();

    if (count <= 0 || volumes == nullptr) {
        LogError("zBIH::Build") << "No volumes in set to build the BIH structure.\n";
        return false;
    }
    ReleaseTree();

    const uint32_t n = uint32_t(count);
    indices = AllocateArray<uint32_t>(n);
    if (indices == nullptr) {
        LogError("zBIH::Build") << "Failed to allocate BIH indice array.\n";
        return false;
    }
    for (uint32_t i = 0; i < n; ++i)
        indices[i] = i;

    // Grown from an empty box rather than the first volume, so that a volume
    // with a NaN coordinate cannot poison the bounds of all the others.
    bounds = zMinMax(zVector(FLT_MAX, FLT_MAX, FLT_MAX), zVector(-FLT_MAX, -FLT_MAX, -FLT_MAX));
    for (uint32_t i = 0; i < n; ++i) {
        for (int a = 0; a < 3; ++a) {
            if (Axis(volumes[i].min, a) < Axis(bounds.min, a))
                Axis(bounds.min, a) = Axis(volumes[i].min, a);
            if (Axis(volumes[i].max, a) > Axis(bounds.max, a))
                Axis(bounds.max, a) = Axis(volumes[i].max, a);
        }
    }
    for (int a = 0; a < 3; ++a) {
        Axis(bounds.min, a) = Widen(Axis(bounds.min, a), -1.0f);
        Axis(bounds.max, a) = Widen(Axis(bounds.max, a), 1.0f);
    }

    leafCount = 0;
    nodeCount = 1;
    depth = 0;
    zBIHNode* nodes = AllocateArray<zBIHNode>(1);
    if (nodes == nullptr) {
        LogError("zBIH::Build") << "Failed to allocate BIH root node.\n";
        ReleaseTree();
        return false;
    }
    root = nodes;

    // A subtree that could not be made would leave its primitives
    // unreachable, so a failed split fails the whole build.
    if (!Split(bounds, n, indices, volumes, *root, 0)) {
        ReleaseTree();
        return false;
    }

    timer.Stop();
    *GlobalLogStream << "Done in " << timer.GetLastMilliseconds() << "ms. " << nodeCount << " nodes, " << leafCount
                     << " leaves, depth = " << depth << ".\n";
    return true;
}

uint32_t zBIH::Partition(uint32_t* entries, uint32_t count, const zMinMax* volumes, int axis, float split)
{
    int64_t left = 0;
    int64_t right = int64_t(count) - 1;
    while (left <= right) {
        const zMinMax& volume = volumes[entries[left]];
        if (Axis(volume.max, axis) - split > split - Axis(volume.min, axis)) {
            const uint32_t swap = entries[left];
            entries[left] = entries[right];
            entries[right] = swap;
            --right;
        } else {
            const uint32_t swap = entries[left];
            entries[left] = entries[0];
            entries[0] = swap;
            ++left;
        }
    }
    return uint32_t(left);
}

bool zBIH::Split(const zMinMax& box, uint32_t count, uint32_t* entries, const zMinMax* volumes, zBIHNode& node, int32_t level)
{
    if (count <= leafSize || level == MaxDepth) {
        node.type = zBIHNode::LeafType;
        node.indices = entries;
        node.count = count;
        ++leafCount;
        if (level > depth)
            depth = level;
        return true;
    }

    const float ex = box.max.x - box.min.x;
    const float ey = box.max.y - box.min.y;
    const float ez = box.max.z - box.min.z;
    int axis = 2;
    if (ex > ey && ex > ez)
        axis = 0;
    else if (ey > ex && ey > ez)
        axis = 1;
    const float split = (Axis(box.min, axis) + Axis(box.max, axis)) * 0.5f;

    const uint32_t leftCount = Partition(entries, count, volumes, axis, split);

    float leftMax = -FLT_MAX;
    for (uint32_t i = 0; i < leftCount; ++i) {
        const float v = Axis(volumes[entries[i]].max, axis);
        if (v > leftMax)
            leftMax = v;
    }
    float rightMin = FLT_MAX;
    for (uint32_t i = leftCount; i < count; ++i) {
        const float v = Axis(volumes[entries[i]].min, axis);
        if (v < rightMin)
            rightMin = v;
    }

    // An empty leaf stays empty until its children exist, so a failure leaves
    // no entry reachable twice.
    node.indices = nullptr;
    node.count = 0;
    zBIHNode* children = AllocateArray<zBIHNode>(2);
    if (children == nullptr) {
        LogError("zBIH::Split") << "Failed to allocate BIH node children.\n";
        return false;
    }
    nodeCount += 2;
    node.type = uint8_t(axis);
    node.children = children;
    node.leftClip = leftCount != 0 ? Widen(leftMax, 1.0f) : -FLT_MAX;
    node.rightClip = leftCount != count ? Widen(rightMin, -1.0f) : FLT_MAX;

    zMinMax leftBox = box;
    Axis(leftBox.max, axis) = split;
    zMinMax rightBox = box;
    Axis(rightBox.min, axis) = split;
    if (!Split(leftBox, leftCount, entries, volumes, children[0], level + 1))
        return false;
    return Split(rightBox, count - leftCount, entries + leftCount, volumes, children[1], level + 1);
}

void zBIH::IntersectRay(zBIHQuery& query, const zVector& origin, const zVector& direction, float maximumDistance) const
{
    query.BeginWalk();
    // Unbuilt bounds are a point box that a ray could still touch.
    if (root == nullptr)
        return;

    float tNear;
    float tFar;
    if (!query.ClipRay(bounds, origin, direction, maximumDistance, tNear, tFar))
        return;

    const zBIHNode* node = root;
    for (;;) {
        if (!query.hitFound || (query.nearestHit && tNear < query.hitT)) {
            bool atLeaf = true;
            while (!node->IsLeaf()) {
                ++query.visits;
                const int a = node->type;
                const float o = Axis(origin, a);
                const float d = Axis(direction, a);
                const zBIHNode* left = &node->children[0];
                const zBIHNode* right = &node->children[1];
                const zBIHNode* next = nullptr;
                if (d != 0.0f) {
                    const float t0 = (node->leftClip - o) / d;
                    const float t1 = (node->rightClip - o) / d;
                    const bool forward = d > 0.0f;
                    const zBIHNode* nearChild = forward ? left : right;
                    const zBIHNode* farChild = forward ? right : left;
                    const float nearExit = forward ? t0 : t1;
                    const float farEntry = forward ? t1 : t0;
                    if (tNear < nearExit) {
                        if (tFar > farEntry && query.stackDepth < zBIHQuery::StackCapacity)
                            query.stack[query.stackDepth++] = {farChild, farEntry > tNear ? farEntry : tNear, tFar};
                        next = nearChild;
                        if (nearExit < tFar)
                            tFar = nearExit;
                    } else if (tFar > farEntry) {
                        next = farChild;
                        if (farEntry > tNear)
                            tNear = farEntry;
                    }
                } else if (o < node->leftClip) {
                    if (o > node->rightClip && query.stackDepth < zBIHQuery::StackCapacity)
                        query.stack[query.stackDepth++] = {right, tNear, tFar};
                    next = left;
                } else if (o > node->rightClip) {
                    next = right;
                }
                if (next == nullptr) {
                    atLeaf = false;
                    break;
                }
                node = next;
            }
            if (atLeaf)
                IntersectLeaf(*node, tNear, tFar, query);
        }
        if (query.stackDepth == 0)
            return;
        const zBIHStackEntry& top = query.stack[--query.stackDepth];
        node = top.node;
        tNear = top.tNear;
        tFar = top.tFar;
    }
}

uint32_t zBIH::GatherInBox(const zMinMax& box, uint32_t* out, uint32_t capacity, bool* truncated) const
{
    bool skipped = false;
    uint32_t gathered = 0;
    if (root != nullptr && out != nullptr && box.min.x < bounds.max.x && box.max.x > bounds.min.x
        && box.min.y < bounds.max.y && box.max.y > bounds.min.y && box.min.z < bounds.max.z && box.max.z > bounds.min.z)
        root->GatherInBox(box, out, capacity, gathered, skipped);
    if (truncated != nullptr)
        *truncated = skipped;
    return gathered;
}
