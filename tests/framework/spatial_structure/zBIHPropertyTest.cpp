#include "framework/spatial_structure/BIHTestSupport.h"

#include "support/LogCapture.h"
#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

// Ray and box queries against brute force over every triangle, on scenes
// chosen to stress the hierarchy: overlap, clusters that only the depth limit
// stops, flat volumes on the split planes and coordinates far from the origin.

namespace {

using Random = SeededRandom;

struct Scene {
    const char* name;
    uint32_t seed;
    zVector centre;
    void (*make)(Random& random, const zVector& centre, std::vector<TestTriangle>& out);
};

// Names the case in test listings and failure messages.
void PrintTo(const Scene& c, std::ostream* out)
{
    *out << c.name;
}

void SmallTriangles(Random& random, const zVector& centre, std::vector<TestTriangle>& out, int count, float spread, float size)
{
    for (int i = 0; i < count; ++i) {
        const zVector p = random.Point(centre, spread);
        out.push_back({p, random.Point(p, size), random.Point(p, size)});
    }
}

void Scattered(Random& random, const zVector& centre, std::vector<TestTriangle>& out)
{
    SmallTriangles(random, centre, out, 2000, 50.0f, 3.0f);
}

void Slivers(Random& random, const zVector& centre, std::vector<TestTriangle>& out)
{
    for (int i = 0; i < 600; ++i) {
        const zVector p = random.Point(centre, 40.0f);
        out.push_back({p, random.Point(p, 30.0f), random.Point(p, 1.0f)});
    }
}

// Most triangles inside a box a thousandth wide, the rest around it.
void Clustered(Random& random, const zVector& centre, std::vector<TestTriangle>& out)
{
    SmallTriangles(random, centre, out, 300, 5e-4f, 2e-4f);
    SmallTriangles(random, centre, out, 300, 40.0f, 2.0f);
    // Exact duplicates.
    for (int i = 0; i < 20; ++i)
        out.push_back(out[size_t(i)]);
}

// Unit quads on the integer planes x = k, y = k and z = k: flat volumes that
// sit on split planes, met head-on by axis-parallel rays.
void AxisQuads(Random& random, const zVector& centre, std::vector<TestTriangle>& out)
{
    for (int i = 0; i < 700; ++i) {
        const int axis = int(random.Below(3));
        float base[3];
        for (int a = 0; a < 3; ++a)
            base[a] = (&centre.x)[a] + float(int(random.Below(41)) - 20);
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        zVector corners[4];
        for (int k = 0; k < 4; ++k) {
            float p[3] = {base[0], base[1], base[2]};
            p[u] += (k == 1 || k == 2) ? 1.0f : 0.0f;
            p[v] += (k >= 2) ? 1.0f : 0.0f;
            corners[k] = zVector(p[0], p[1], p[2]);
        }
        out.push_back({corners[0], corners[1], corners[2]});
        out.push_back({corners[0], corners[2], corners[3]});
    }
}

const Scene scenes[] = {
    {"Scattered", 1, zVector(0.0f, 0.0f, 0.0f), Scattered},
    {"Slivers", 2, zVector(0.0f, 0.0f, 0.0f), Slivers},
    {"Clustered", 3, zVector(0.0f, 0.0f, 0.0f), Clustered},
    {"AxisQuads", 4, zVector(0.0f, 0.0f, 0.0f), AxisQuads},
    {"FarFromOrigin", 5, zVector(900.0f, -700.0f, 400.0f), Scattered},
    {"FarAxisQuads", 6, zVector(3000.0f, 2000.0f, -1000.0f), AxisQuads},
};

struct Ray {
    zVector origin;
    zVector direction;
    float maximumDistance;
};

zVector PointOn(Random& random, const TestTriangle& tri)
{
    float u = random.Range(0.0f, 1.0f);
    float v = random.Range(0.0f, 1.0f);
    if (u + v > 1.0f) {
        u = 1.0f - u;
        v = 1.0f - v;
    }
    return tri.a + (tri.b - tri.a) * u + (tri.c - tri.a) * v;
}

Ray MakeRay(Random& random, const std::vector<TestTriangle>& triangles, const zVector& centre)
{
    Ray ray;
    const zVector target = PointOn(random, triangles[random.Below(uint32_t(triangles.size()))]);
    const uint32_t kind = random.Below(10);
    if (kind < 4) {
        // Aimed at a triangle from anywhere around the scene.
        ray.origin = random.Point(centre, 80.0f);
        ray.direction = (target - ray.origin) * random.Range(0.01f, 3.0f);
    } else if (kind < 6) {
        // Along an axis, either way.
        const int axis = int(random.Below(3));
        ray.direction = zVector(0.0f, 0.0f, 0.0f);
        const float sign = random.Chance(50) ? 1.0f : -1.0f;
        (&ray.direction.x)[axis] = sign * random.Range(0.5f, 2.0f);
        ray.origin = target;
        (&ray.origin.x)[axis] -= sign * random.Range(-20.0f, 100.0f);
    } else if (kind < 8) {
        // In a plane of constant x, y or z, or almost so.
        ray.origin = random.Point(centre, 80.0f);
        const int axis = int(random.Below(3));
        (&ray.origin.x)[axis] = (&target.x)[axis];
        ray.direction = target - ray.origin;
        (&ray.direction.x)[axis] = random.Chance(50) ? 0.0f : random.Range(-1e-7f, 1e-7f);
    } else {
        ray.origin = random.Point(centre, 80.0f);
        ray.direction = random.Point(zVector(0.0f, 0.0f, 0.0f), 1.0f);
    }
    const uint32_t limit = random.Below(6);
    if (limit < 2)
        ray.maximumDistance = 0.0f;
    else if (limit == 2)
        ray.maximumDistance = -random.Range(0.0f, 10.0f);
    else
        ray.maximumDistance = random.Range(0.0f, 1.2f) * std::sqrt(VectorDistanceSquared(ray.origin, target));
    return ray;
}

struct BruteHit {
    bool found = false;
    float t = FLT_MAX;
};

BruteHit BruteForce(const std::vector<TestTriangle>& triangles, const Ray& ray)
{
    BruteHit best;
    for (const TestTriangle& tri : triangles) {
        float t = 0.0f;
        float u = 0.0f;
        float v = 0.0f;
        if (!RayMeetsTriangle(tri, ray.origin, ray.direction, t, u, v) || t < 0.0f)
            continue;
        if (ray.maximumDistance > 0.0f && t > ray.maximumDistance)
            continue;
        if (t < best.t) {
            best.found = true;
            best.t = t;
        }
    }
    return best;
}

bool Overlaps(const zMinMax& a, const zMinMax& b)
{
    return a.min.x <= b.max.x && a.max.x >= b.min.x && a.min.y <= b.max.y && a.max.y >= b.min.y && a.min.z <= b.max.z
           && a.max.z >= b.min.z;
}

std::string Describe(const Ray& ray)
{
    char text[256];
    std::snprintf(text, sizeof text, "origin (%.9g, %.9g, %.9g) direction (%.9g, %.9g, %.9g) max %.9g", ray.origin.x,
                  ray.origin.y, ray.origin.z, ray.direction.x, ray.direction.y, ray.direction.z, ray.maximumDistance);
    return text;
}

class zBIHAgainstBruteForce : public ::testing::TestWithParam<Scene> {
protected:
    void SetUp() override
    {
        Random random(GetParam().seed);
        GetParam().make(random, GetParam().centre, triangles);
        for (const TestTriangle& tri : triangles)
            volumes.push_back(TriangleVolume(tri));
        LogCapture quiet;
        ASSERT_TRUE(tree.BuildFromTriangles(triangles));
    }

    std::vector<TestTriangle> triangles;
    std::vector<zMinMax> volumes;
    TriangleBIH tree;
};

} // namespace

TEST_P(zBIHAgainstBruteForce, TreeHoldsEveryVolumeOnceWithinItsClipPlanes)
{
    const BIHTreeStats stats = BIHTreeChecker(tree, volumes.data(), uint32_t(volumes.size())).Check();
    EXPECT_EQ(stats.nodes, tree.GetNodeCount());
    EXPECT_EQ(stats.leaves, tree.GetLeafCount());
    EXPECT_EQ(stats.depth, tree.GetDepth());
    EXPECT_LE(stats.depth, zBIH::MaxDepth);
    for (size_t i = 0; i < stats.seen.size(); ++i)
        ASSERT_EQ(stats.seen[i], 1) << "volume " << i;
}

TEST_P(zBIHAgainstBruteForce, RaysFindTheNearestHit)
{
    Random random(GetParam().seed * 7919u);
    int hits = 0;
    int failures = 0;
    for (int i = 0; i < 1000 && failures < 5; ++i) {
        const Ray ray = MakeRay(random, triangles, GetParam().centre);
        const BruteHit expected = BruteForce(triangles, ray);

        zBIHQuery query;
        query.ResetHit();
        query.nearestHit = 1;
        tree.IntersectRay(query, ray.origin, ray.direction, ray.maximumDistance);
        const bool same = bool(query.hitFound) == expected.found && (!expected.found || query.hitT == expected.t);
        if (!same) {
            ++failures;
            ADD_FAILURE() << "nearest: " << Describe(ray) << " tree " << int(query.hitFound) << " t " << query.hitT
                          << " brute " << expected.found << " t " << expected.t;
            continue;
        }
        if (!expected.found)
            continue;
        ++hits;
        float t = 0.0f;
        float u = 0.0f;
        float v = 0.0f;
        ASSERT_GE(query.primitiveHit, 0);
        ASSERT_TRUE(RayMeetsTriangle(triangles[size_t(query.primitiveHit)], ray.origin, ray.direction, t, u, v));
        EXPECT_EQ(t, query.hitT);
        EXPECT_EQ(query.objectHit, &tree);

        // Stopping at the first hit still finds one, and a real one.
        zBIHQuery first;
        first.ResetHit();
        first.nearestHit = 0;
        tree.IntersectRay(first, ray.origin, ray.direction, ray.maximumDistance);
        ASSERT_TRUE(first.hitFound) << Describe(ray);
        ASSERT_TRUE(RayMeetsTriangle(triangles[size_t(first.primitiveHit)], ray.origin, ray.direction, t, u, v));
        EXPECT_EQ(t, first.hitT);
        EXPECT_GE(t, 0.0f);
        if (ray.maximumDistance > 0.0f) {
            EXPECT_LE(t, ray.maximumDistance);
        }
    }
    // The rays are aimed so that a good share of them hit.
    EXPECT_GT(hits, 200);
}

TEST_P(zBIHAgainstBruteForce, BoxesGatherEveryOverlappingVolumeOnce)
{
    Random random(GetParam().seed * 104729u);
    std::vector<uint32_t> out(triangles.size());
    int nonEmpty = 0;
    for (int i = 0; i < 300; ++i) {
        const zVector centre = random.Chance(50) ? PointOn(random, triangles[random.Below(uint32_t(triangles.size()))])
                                                 : random.Point(GetParam().centre, 70.0f);
        zVector half(random.Range(0.0f, 15.0f), random.Range(0.0f, 15.0f), random.Range(0.0f, 15.0f));
        if (random.Chance(10))
            (&half.x)[random.Below(3)] = 0.0f;
        const zMinMax box(centre - half, centre + half);

        bool truncated = true;
        const uint32_t count = tree.GatherInBox(box, out.data(), uint32_t(out.size()), &truncated);
        ASSERT_LE(count, out.size());
        EXPECT_FALSE(truncated);
        const std::set<uint32_t> gathered(out.begin(), out.begin() + count);
        ASSERT_EQ(gathered.size(), count) << "an index was gathered twice";
        for (uint32_t index = 0; index < volumes.size(); ++index) {
            if (Overlaps(volumes[index], box)) {
                ASSERT_TRUE(gathered.count(index) != 0) << "box " << i << " misses volume " << index;
            }
        }
        if (count != 0)
            ++nonEmpty;
    }
    EXPECT_GT(nonEmpty, 100);
}

INSTANTIATE_TEST_SUITE_P(Scenes, zBIHAgainstBruteForce, ::testing::ValuesIn(scenes),
                         [](const ::testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });
