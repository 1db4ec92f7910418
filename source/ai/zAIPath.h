#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zVector.h"
#include "manager/motion/zMotion.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class zChannel;

// A point of a path: the motion's position (world units) at one of its key
// times (seconds).
struct zAIPathNode {
    float time = 0.0f;
    zVector position;
};

// A path built from a motion's PositionX, PositionY and PositionZ channels:
// one node per key time of those channels, in time order. The path also
// hashes its segments into 512 buckets of 20-unit cells.
class zAIPath : public zLinkedListEntry {
public:
    static constexpr int32_t BucketCount = 512;
    // Bucket sampling walks each segment at this many points per unit.
    static constexpr float SamplesPerUnit = 999.99994f;
    // A longer segment is walked in this many larger steps instead, so a
    // far-flung node cannot make the build take unbounded time.
    static constexpr uint32_t MaxSamplesPerSegment = 1000000;

    explicit zAIPath(const char* name = nullptr);
    // Script handles to the path and to its motion go stale.
    ~zAIPath() override;
    zAIPath(const zAIPath&) = delete;
    zAIPath& operator=(const zAIPath&) = delete;

    const zString& GetName() const { return motion.GetName(); }

    // Rebuilds nodes and buckets from the motion; false, with no nodes,
    // when a position channel is missing.
    bool BuildPath();
    // Merges the key times of channel index (0 x, 1 y, 2 z) into the nodes.
    bool AppendChannel(int index, zChannel* const channels[3]);
    void BuildQueryStructure();

    // The point of the path closest to p and, when time is given, the path
    // time there in seconds (set to -1 first). False, logged, for fewer than
    // two nodes.
    bool GetClosestPoint(const zVector& p, zVector& closest, float* time = nullptr) const;

    // The bucket of a point: the sum of its truncated 20-unit cell
    // coordinates, modulo 512.
    static int32_t GetBucket(const zVector& p);

    const std::vector<zAIPathNode>& GetNodes() const { return nodes; }
    // Indices of the nodes whose outgoing segment crosses the bucket's cells.
    const std::vector<int32_t>& GetBucketNodes(int32_t bucket) const { return buckets[bucket]; }

    zMotion motion;

private:
    void ClearQueryStructure();

    // The segment parameter of the point closest to p, as ClosestPointOnSegment
    // computes it.
    float SegmentParameter(size_t i, const zVector& p) const;

    std::vector<int32_t> buckets[BucketCount];
    std::vector<zAIPathNode> nodes;
    // Per segment, one array per field so the scan vectorises: start,
    // direction and squared length.
    std::vector<float> segments[7];
};
