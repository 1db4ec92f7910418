#pragma once

#include "framework/math/zMinMax.h"
#include "framework/spatial_structure/zBIH.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

struct TestTriangle {
    zVector a, b, c;
};

// Two-sided Moeller-Trumbore test; t may be negative. Shared by the
// hierarchy's leaf test and the brute-force reference so both compute the
// same t for the same triangle.
inline bool RayMeetsTriangle(const TestTriangle& tri, const zVector& origin, const zVector& direction, float& t, float& u, float& v)
{
    const zVector e1 = tri.b - tri.a;
    const zVector e2 = tri.c - tri.a;
    const zVector p = direction.Cross(e2);
    const float det = e1.Dot(p);
    if (det == 0.0f)
        return false;
    const float inverse = 1.0f / det;
    const zVector s = origin - tri.a;
    u = s.Dot(p) * inverse;
    if (u < 0.0f || u > 1.0f)
        return false;
    const zVector q = s.Cross(e1);
    v = direction.Dot(q) * inverse;
    if (v < 0.0f || u + v > 1.0f)
        return false;
    t = e2.Dot(q) * inverse;
    return true;
}

inline zMinMax TriangleVolume(const TestTriangle& tri)
{
    zMinMax box(tri.a, tri.a);
    for (const zVector* p : {&tri.b, &tri.c}) {
        for (int a = 0; a < 3; ++a) {
            (&box.min.x)[a] = std::min((&box.min.x)[a], (&p->x)[a]);
            (&box.max.x)[a] = std::max((&box.max.x)[a], (&p->x)[a]);
        }
    }
    return box;
}

// Triangles as a mesh would give them: the leaf test keeps the nearest hit
// within the node's interval, as the geometry hierarchy does.
class TriangleBIH : public zBIH {
public:
    bool BuildFromTriangles(const std::vector<TestTriangle>& source)
    {
        triangles = source;
        std::vector<zMinMax> volumes;
        for (const TestTriangle& tri : triangles)
            volumes.push_back(TriangleVolume(tri));
        return Build(int32_t(volumes.size()), volumes.data());
    }

    void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const override
    {
        ++leafCalls;
        for (uint32_t i = 0; i < leaf.count; ++i) {
            const uint32_t index = leaf.indices[i];
            ++query.primitivesTested;
            float t = 0.0f;
            float u = 0.0f;
            float v = 0.0f;
            if (!RayMeetsTriangle(triangles[index], query.origin, query.direction, t, u, v))
                continue;
            if ((query.hitFound && t >= query.hitT) || t < tNear || t > tFar)
                continue;
            query.hitFound = 1;
            query.hitT = t;
            query.objectHit = this;
            query.primitiveHit = int32_t(index);
            query.subPrimitiveHit = 0;
            query.weights[0] = u;
            query.weights[1] = v;
            query.weights[2] = 1.0f - u - v;
        }
    }

    std::vector<TestTriangle> triangles;
    mutable int leafCalls = 0;
};

// The volumes are the primitives themselves; a ray meets one where it enters it.
class BoxBIH : public zBIH {
public:
    bool BuildFromBoxes(const std::vector<zMinMax>& source)
    {
        boxes = source;
        return Build(int32_t(boxes.size()), boxes.data());
    }

    void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const override
    {
        ++leafCalls;
        for (uint32_t i = 0; i < leaf.count; ++i) {
            const uint32_t index = leaf.indices[i];
            ++query.primitivesTested;
            float entry = 0.0f;
            float exit = 0.0f;
            if (!boxes[index].IntersectRaySlab(query.origin, query.direction, entry, exit))
                continue;
            if ((query.hitFound && entry >= query.hitT) || entry < tNear || entry > tFar)
                continue;
            query.hitFound = 1;
            query.hitT = entry;
            query.primitiveHit = int32_t(index);
        }
    }

    std::vector<zMinMax> boxes;
    mutable int leafCalls = 0;
};

struct BIHTreeStats {
    int32_t nodes = 0;
    int32_t leaves = 0;
    int32_t depth = 0;
    std::vector<int> seen;
};

// Walks the tree checking what the traversal relies on: every volume sits in
// exactly one leaf, inside the clip planes of all the leaf's ancestors, and the
// leaves' runs stay within the index array.
class BIHTreeChecker {
public:
    BIHTreeChecker(const zBIH& tree, const zMinMax* volumes, uint32_t count) : tree(tree), volumes(volumes), count(count)
    {
        stats.seen.assign(count, 0);
    }

    BIHTreeStats Check()
    {
        if (tree.GetRoot() != nullptr)
            Walk(*tree.GetRoot(), 0);
        return stats;
    }

private:
    struct Plane {
        int axis;
        bool upper;
        float clip;
    };

    void Walk(const zBIHNode& node, int32_t level)
    {
        ++stats.nodes;
        if (node.IsLeaf()) {
            ++stats.leaves;
            stats.depth = std::max(stats.depth, level);
            if (node.count == 0)
                return;
            const uint32_t* base = tree.GetIndices();
            ASSERT_TRUE(node.indices >= base && node.indices + node.count <= base + count);
            for (uint32_t i = 0; i < node.count; ++i) {
                const uint32_t index = node.indices[i];
                ASSERT_LT(index, count);
                ++stats.seen[index];
                for (const Plane& plane : path) {
                    if (plane.upper)
                        EXPECT_LE((&volumes[index].max.x)[plane.axis], plane.clip) << "volume " << index;
                    else
                        EXPECT_GE((&volumes[index].min.x)[plane.axis], plane.clip) << "volume " << index;
                }
            }
            return;
        }
        ASSERT_LT(node.type, 3);
        ASSERT_NE(node.children, nullptr);
        path.push_back({node.type, true, node.leftClip});
        Walk(node.children[0], level + 1);
        path.back() = {node.type, false, node.rightClip};
        Walk(node.children[1], level + 1);
        path.pop_back();
    }

    const zBIH& tree;
    const zMinMax* volumes;
    uint32_t count;
    std::vector<Plane> path;
    BIHTreeStats stats;
};
