#include "framework/spatial_structure/BIHTestSupport.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

zMinMax Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return zMinMax(zVector(x0, y0, z0), zVector(x1, y1, z1));
}

std::vector<zMinMax> UnitCubes(int count)
{
    std::vector<zMinMax> boxes;
    for (int i = 0; i < count; ++i)
        boxes.push_back(Box(float(i % 4) * 2.0f, float(i / 4) * 2.0f, 0.0f, float(i % 4) * 2.0f + 1.0f, float(i / 4) * 2.0f + 1.0f, 1.0f));
    return boxes;
}

// Unit cubes two apart along x.
std::vector<zMinMax> RowAlongX(int count)
{
    std::vector<zMinMax> boxes;
    for (int i = 0; i < count; ++i)
        boxes.push_back(Box(float(i) * 2.0f, 0.0f, 0.0f, float(i) * 2.0f + 1.0f, 1.0f, 1.0f));
    return boxes;
}

std::vector<zMinMax> Identical(int count)
{
    return std::vector<zMinMax>(size_t(count), Box(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f));
}

// Scattered cubes of different sizes on a lattice, enough for a few levels.
std::vector<zMinMax> Scattered(int count)
{
    std::vector<zMinMax> boxes;
    for (int i = 0; i < count; ++i) {
        const float x = float((i * 7) % 23) * 3.0f;
        const float y = float((i * 11) % 17) * 3.0f;
        const float z = float((i * 5) % 13) * 3.0f;
        const float size = 0.5f + float(i % 3);
        boxes.push_back(Box(x, y, z, x + size, y + size, z + size));
    }
    return boxes;
}

zBIHQuery RunRay(const zBIH& tree, const zVector& origin, const zVector& direction, float maximumDistance = 0.0f, bool nearest = true)
{
    zBIHQuery query;
    query.ResetHit();
    query.nearestHit = nearest ? 1 : 0;
    tree.IntersectRay(query, origin, direction, maximumDistance);
    return query;
}

} // namespace

TEST(zBIHBuild, CountsNodesLeavesAndDepth)
{
    struct Case {
        const char* name;
        std::vector<zMinMax> volumes;
        int32_t nodes, leaves, depth;
    };
    const Case cases[] = {
        {"one volume", UnitCubes(1), 1, 1, 0},
        {"eight volumes make one leaf", UnitCubes(8), 1, 1, 0},
        {"nine in a row split once", RowAlongX(9), 3, 2, 1},
        // Identical volumes never separate: every level adds one empty leaf.
        {"identical volumes reach the depth limit", Identical(100), 129, 65, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture capture;
        BoxBIH tree;
        ASSERT_TRUE(tree.BuildFromBoxes(c.volumes));
        EXPECT_EQ(tree.GetNodeCount(), c.nodes);
        EXPECT_EQ(tree.GetLeafCount(), c.leaves);
        EXPECT_EQ(tree.GetDepth(), c.depth);
        ASSERT_EQ(capture.lines.size(), 2u);
        EXPECT_EQ(capture.lines[0], "Building bounding interval hierarchy BIH...\n");
        const std::string summary = "ms. " + std::to_string(c.nodes) + " nodes, " + std::to_string(c.leaves)
                                    + " leaves, depth = " + std::to_string(c.depth) + ".\n";
        EXPECT_EQ(capture.lines[1].rfind("Done in ", 0), 0u) << capture.lines[1];
        EXPECT_NE(capture.lines[1].find(summary), std::string::npos) << capture.lines[1];

        const BIHTreeStats stats = BIHTreeChecker(tree, c.volumes.data(), uint32_t(c.volumes.size())).Check();
        EXPECT_EQ(stats.nodes, c.nodes);
        EXPECT_EQ(stats.leaves, c.leaves);
        EXPECT_EQ(stats.depth, c.depth);
        for (size_t i = 0; i < stats.seen.size(); ++i)
            EXPECT_EQ(stats.seen[i], 1) << "volume " << i;
    }
}

TEST(zBIHBuild, BoundsEncloseEveryVolumeWithAMargin)
{
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes({Box(1.0f, -2.0f, 3.0f, 2.0f, 0.0f, 4.0f), Box(-5.0f, 1.0f, 3.5f, -4.0f, 6.0f, 3.5f)}));
    const zMinMax& b = tree.GetBounds();
    EXPECT_FLOAT_EQ(b.min.x, -5.0001f);
    EXPECT_FLOAT_EQ(b.min.y, -2.0001f);
    EXPECT_FLOAT_EQ(b.min.z, 2.9999f);
    EXPECT_FLOAT_EQ(b.max.x, 2.0001f);
    EXPECT_FLOAT_EQ(b.max.y, 6.0001f);
    EXPECT_FLOAT_EQ(b.max.z, 4.0001f);
}

TEST(zBIHBuild, UnbuiltAndFreedTreesAnswerNothing)
{
    BoxBIH tree;
    EXPECT_FALSE(tree.IsBuilt());
    EXPECT_FLOAT_EQ(tree.GetBounds().min.w, 1.0f);
    // The unbuilt bounds are the point (0, 0, 0), which this ray crosses.
    zBIHQuery query = RunRay(tree, zVector(-1.0f, 0.0f, 0.0f), zVector(1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(query.hitFound);
    EXPECT_EQ(tree.leafCalls, 0);

    ASSERT_TRUE(tree.BuildFromBoxes(RowAlongX(20)));
    tree.Free();
    EXPECT_FALSE(tree.IsBuilt());
    EXPECT_EQ(tree.GetNodeCount(), 0);
    query = RunRay(tree, zVector(-1.0f, 0.5f, 0.5f), zVector(1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(query.hitFound);
    EXPECT_EQ(tree.leafCalls, 0);
    uint32_t out[64];
    EXPECT_EQ(tree.GatherInBox(Box(-100.0f, -100.0f, -100.0f, 100.0f, 100.0f, 100.0f), out, 64), 0u);
}

TEST(zBIHBuild, RebuildingReplacesTheTree)
{
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(RowAlongX(40)));
    ASSERT_TRUE(tree.BuildFromBoxes(UnitCubes(8)));
    EXPECT_EQ(tree.GetNodeCount(), 1);
    EXPECT_EQ(tree.GetLeafCount(), 1);
    // Far along x only the first tree had volumes.
    EXPECT_FALSE(RunRay(tree, zVector(60.5f, 0.5f, -5.0f), zVector(0.0f, 0.0f, 1.0f)).hitFound);
    EXPECT_TRUE(RunRay(tree, zVector(0.5f, 0.5f, -5.0f), zVector(0.0f, 0.0f, 1.0f)).hitFound);
}

TEST(zBIHBuild, NoVolumesIsAnErrorThatKeepsTheTree)
{
    struct Case {
        const char* name;
        int32_t count;
        bool withVolumes;
    };
    const Case cases[] = {{"zero count", 0, true}, {"negative count", -3, true}, {"no array", 4, false}};
    const std::vector<zMinMax> row = RowAlongX(12);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxBIH tree;
        ASSERT_TRUE(tree.BuildFromBoxes(row));
        const int32_t nodes = tree.GetNodeCount();
        LogCapture capture;
        EXPECT_FALSE(tree.Build(c.count, c.withVolumes ? row.data() : nullptr));
        EXPECT_TRUE(capture.Contains("[!] zBIH::Build ("));
        EXPECT_TRUE(capture.Contains(") No volumes in set to build the BIH structure.\n"));
        EXPECT_TRUE(tree.IsBuilt());
        EXPECT_EQ(tree.GetNodeCount(), nodes);
        const zBIHQuery query = RunRay(tree, zVector(20.5f, 0.5f, -5.0f), zVector(0.0f, 0.0f, 1.0f));
        EXPECT_TRUE(query.hitFound);
        EXPECT_EQ(query.primitiveHit, 10);
    }
}

class zBIHAllocationFailure : public ::testing::Test {
protected:
    void TearDown() override { zBIH::FailAllocationsAfter(-1); }
};

TEST_F(zBIHAllocationFailure, FailsTheBuildAndLeavesNothingReachable)
{
    struct Case {
        int32_t successes;
        const char* method;
        const char* message;
    };
    // Allocations in order: the index array, the root, then the children of
    // each split, depth first.
    const Case cases[] = {
        {0, "[!] zBIH::Build (", ") Failed to allocate BIH indice array.\n"},
        {1, "[!] zBIH::Build (", ") Failed to allocate BIH root node.\n"},
        {2, "[!] zBIH::Split (", ") Failed to allocate BIH node children.\n"},
        {5, "[!] zBIH::Split (", ") Failed to allocate BIH node children.\n"},
    };
    const std::vector<zMinMax> volumes = Scattered(300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.successes);
        BoxBIH tree;
        ASSERT_TRUE(tree.BuildFromBoxes(volumes));
        LogCapture capture;
        zBIH::FailAllocationsAfter(c.successes);
        EXPECT_FALSE(tree.Build(int32_t(volumes.size()), volumes.data()));
        zBIH::FailAllocationsAfter(-1);
        EXPECT_TRUE(capture.Contains(c.method));
        EXPECT_TRUE(capture.Contains(c.message));
        EXPECT_FALSE(capture.Contains("Done in "));
        EXPECT_FALSE(tree.IsBuilt());
        EXPECT_EQ(tree.GetNodeCount(), 0);
        EXPECT_EQ(tree.GetLeafCount(), 0);
        // The ray runs through the first volume.
        EXPECT_FALSE(RunRay(tree, zVector(0.25f, 0.25f, -5.0f), zVector(0.0f, 0.0f, 1.0f)).hitFound);

        ASSERT_TRUE(tree.Build(int32_t(volumes.size()), volumes.data()));
        EXPECT_TRUE(RunRay(tree, zVector(0.25f, 0.25f, -5.0f), zVector(0.0f, 0.0f, 1.0f)).hitFound);
    }
}

TEST(zBIHRay, AxisParallelRayBetweenTheClipPlanesEntersNeitherChild)
{
    // Five cubes near x = 0 and five near x = 10: the root splits on x with
    // clip planes just past 1 and just before 9.
    std::vector<zMinMax> boxes;
    for (int i = 0; i < 5; ++i) {
        boxes.push_back(Box(0.0f, float(i) * 1.5f, 0.0f, 1.0f, float(i) * 1.5f + 1.0f, 1.0f));
        boxes.push_back(Box(9.0f, float(i) * 1.5f, 0.0f, 10.0f, float(i) * 1.5f + 1.0f, 1.0f));
    }
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(boxes));
    ASSERT_EQ(tree.GetRoot()->type, 0);

    struct Case {
        float x;
        bool hit;
        int32_t index;
        int leafCalls;
    };
    const Case cases[] = {{5.0f, false, -1, 0}, {0.5f, true, 0, 1}, {9.5f, true, 1, 1}, {1.00005f, false, -1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        tree.leafCalls = 0;
        const zBIHQuery query = RunRay(tree, zVector(c.x, -5.0f, 0.5f), zVector(0.0f, 1.0f, 0.0f));
        EXPECT_EQ(query.visits, 1);
        EXPECT_EQ(tree.leafCalls, c.leafCalls);
        EXPECT_EQ(bool(query.hitFound), c.hit);
        EXPECT_EQ(query.primitiveHit, c.index);
        if (c.hit) {
            EXPECT_FLOAT_EQ(query.hitT, 5.0f);
        }
    }
}

TEST(zBIHRay, MaximumDistanceLimitsTheWalk)
{
    // Cubes at x in [0, 1] and [5, 6].
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes({Box(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f), Box(5.0f, 0.0f, 0.0f, 6.0f, 1.0f, 1.0f)}));
    struct Case {
        const char* name;
        float originX, maximumDistance;
        bool hit;
        int32_t index;
        float t;
    };
    const Case cases[] = {
        {"ends before the root box", -10.0f, 5.0f, false, -1, -1.0f},
        {"reaches the first cube", -10.0f, 10.5f, true, 0, 10.0f},
        {"zero is unlimited", -10.0f, 0.0f, true, 0, 10.0f},
        {"negative is unlimited", -10.0f, -1.0f, true, 0, 10.0f},
        {"inside, short of the second cube", 2.0f, 2.5f, false, -1, -1.0f},
        {"inside, reaching the second cube", 2.0f, 3.5f, true, 1, 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.leafCalls = 0;
        const zBIHQuery query = RunRay(tree, zVector(c.originX, 0.5f, 0.5f), zVector(1.0f, 0.0f, 0.0f), c.maximumDistance);
        EXPECT_EQ(bool(query.hitFound), c.hit);
        EXPECT_EQ(query.primitiveHit, c.index);
        EXPECT_FLOAT_EQ(query.hitT, c.t);
    }
    // A walk that never starts visits nothing.
    tree.leafCalls = 0;
    const zBIHQuery query = RunRay(tree, zVector(-10.0f, 0.5f, 0.5f), zVector(1.0f, 0.0f, 0.0f), 5.0f);
    EXPECT_EQ(query.visits, 0);
    EXPECT_EQ(tree.leafCalls, 0);
}

TEST(zBIHRay, WalkStopsAfterTheNearestLeafInEitherDirection)
{
    const std::vector<zMinMax> row = RowAlongX(64);
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(row));
    ASSERT_GT(tree.GetDepth(), 2);
    struct Case {
        float originX, directionX;
        int32_t index;
    };
    const Case cases[] = {{-3.0f, 1.0f, 0}, {200.0f, -1.0f, 63}, {200.0f, -0.25f, 63}, {41.5f, 1.0f, 21}, {41.5f, -2.0f, 20}};
    for (const bool nearest : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(nearest ? "nearest hit" : "first hit");
            SCOPED_TRACE(c.originX);
            SCOPED_TRACE(c.directionX);
            tree.leafCalls = 0;
            const zBIHQuery query = RunRay(tree, zVector(c.originX, 0.5f, 0.5f), zVector(c.directionX, 0.0f, 0.0f), 0.0f, nearest);
            ASSERT_TRUE(query.hitFound);
            EXPECT_EQ(query.primitiveHit, c.index);
            // The leaves are disjoint, so the first one met holds the nearest
            // hit and every other leaf lies beyond it.
            EXPECT_EQ(tree.leafCalls, 1);
        }
    }
}

TEST(zBIHRay, IdenticalVolumesAtTheDepthLimitAreAllTested)
{
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(Identical(100)));
    ASSERT_EQ(tree.GetDepth(), 64);
    for (const zVector& direction : {zVector(1.0f, 0.3f, 0.2f), zVector(-1.0f, -0.3f, -0.2f), zVector(0.0f, 0.0f, 1.0f)}) {
        const zVector origin = zVector(0.5f, 0.5f, 0.5f) - direction * 10.0f;
        const zBIHQuery query = RunRay(tree, origin, direction);
        EXPECT_TRUE(query.hitFound);
        EXPECT_EQ(query.primitivesTested, 100);
        EXPECT_EQ(query.visits, 64);
    }
}

TEST(zBIHBox, GathersTheRightChildFirstAndWholeLeavesOnly)
{
    // Three cubes on the left of the root's split plane, six on the right.
    std::vector<zMinMax> boxes;
    for (int i = 0; i < 3; ++i)
        boxes.push_back(Box(float(i) * 2.0f, 0.0f, 0.0f, float(i) * 2.0f + 1.0f, 1.0f, 1.0f));
    for (int i = 0; i < 6; ++i)
        boxes.push_back(Box(14.0f + float(i) * 2.0f, 0.0f, 0.0f, 15.0f + float(i) * 2.0f, 1.0f, 1.0f));
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(boxes));
    const zBIHNode* root = tree.GetRoot();
    ASSERT_FALSE(root->IsLeaf());
    const zBIHNode& left = root->children[0];
    const zBIHNode& right = root->children[1];
    ASSERT_TRUE(left.IsLeaf() && right.IsLeaf());
    ASSERT_EQ(left.count, 3u);
    ASSERT_EQ(right.count, 6u);
    const std::vector<uint32_t> leftIndices(left.indices, left.indices + 3);
    const std::vector<uint32_t> rightIndices(right.indices, right.indices + 6);
    std::vector<uint32_t> both = rightIndices;
    both.insert(both.end(), leftIndices.begin(), leftIndices.end());

    const zMinMax everything = Box(-1.0f, -1.0f, -1.0f, 30.0f, 2.0f, 2.0f);
    struct Case {
        uint32_t capacity;
        std::vector<uint32_t> expected;
        bool truncated;
    };
    const Case cases[] = {
        {16, both, false},
        {9, both, false},
        {6, rightIndices, true},  // no room left for the left leaf
        {5, leftIndices, true},   // the right leaf does not fit, the left one does
        {2, {}, true},
        {0, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        uint32_t out[16] = {};
        bool truncated = !c.truncated;
        const uint32_t count = tree.GatherInBox(everything, out, c.capacity, &truncated);
        EXPECT_EQ(std::vector<uint32_t>(out, out + count), c.expected);
        EXPECT_EQ(truncated, c.truncated);
    }

    // A box on one side of the clip planes reaches only that leaf.
    uint32_t out[16];
    ASSERT_EQ(tree.GatherInBox(Box(20.2f, 0.2f, 0.2f, 20.4f, 0.4f, 0.4f), out, 16), 6u);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 6), rightIndices);
    ASSERT_EQ(tree.GatherInBox(Box(0.2f, 0.2f, 0.2f, 0.4f, 0.4f, 0.4f), out, 16), 3u);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 3), leftIndices);
    // In the gap between the planes: nothing.
    EXPECT_EQ(tree.GatherInBox(Box(8.0f, 0.2f, 0.2f, 10.0f, 0.4f, 0.4f), out, 16), 0u);
}

TEST(zBIHBox, BoxMustOverlapTheBoundsStrictly)
{
    BoxBIH tree;
    ASSERT_TRUE(tree.BuildFromBoxes(UnitCubes(4)));
    const zMinMax& b = tree.GetBounds();
    uint32_t out[8];
    struct Case {
        const char* name;
        zMinMax box;
        uint32_t count;
    };
    const Case cases[] = {
        {"touching the min x face", zMinMax(zVector(b.min.x - 1.0f, 0.0f, 0.0f), zVector(b.min.x, 1.0f, 1.0f)), 0},
        {"touching the max y face", zMinMax(zVector(0.0f, b.max.y, 0.0f), zVector(1.0f, b.max.y + 1.0f, 1.0f)), 0},
        {"beyond z", Box(0.0f, 0.0f, 5.0f, 1.0f, 1.0f, 6.0f), 0},
        {"just inside", zMinMax(zVector(b.min.x - 1.0f, 0.0f, 0.0f), zVector(b.min.x + 1e-4f, 1.0f, 1.0f)), 4},
        {"a point inside", Box(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tree.GatherInBox(c.box, out, 8), c.count);
    }
}

TEST(zBIHBuild, NonFiniteVolumesDoNotHideTheOthers)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        zMinMax bad;
    };
    const Case cases[] = {
        {"not a number", Box(nan, nan, nan, nan, nan, nan)},
        {"infinite", Box(-inf, 0.0f, 0.0f, inf, 1.0f, 1.0f)},
        {"half infinite", Box(0.0f, 0.0f, 0.0f, 1.0f, inf, 1.0f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<zMinMax> boxes = RowAlongX(20);
        boxes.insert(boxes.begin(), c.bad);
        BoxBIH tree;
        LogCapture quiet;
        tree.BuildFromBoxes(boxes);
        EXPECT_LE(tree.GetDepth(), zBIH::MaxDepth);
        const zBIHQuery query = RunRay(tree, zVector(20.5f, 0.5f, -5.0f), zVector(0.0f, 0.0f, 1.0f));
        EXPECT_TRUE(query.hitFound);
        uint32_t out[32];
        const uint32_t count = tree.GatherInBox(Box(20.2f, 0.2f, 0.2f, 20.4f, 0.4f, 0.4f), out, 32);
        EXPECT_NE(std::find(out, out + count, 11u), out + count);
    }
}
