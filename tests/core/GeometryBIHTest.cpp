#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class GeometryBIHTest : public ::testing::Test {
protected:
    ~GeometryBIHTest() override { zBIH::FailAllocationsAfter(-1); }

    // The unit square in z = 0 facing +z, as one quad.
    void FillQuad(zGeometry& g, bool doubleSided = false)
    {
        FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{{0, 1, 2, 3}, 0}});
        if (doubleSided)
            g.materials[0]->flags |= zMaterial::FlagDoubleSided;
    }

    zBIHQuery Trace(zGeometryBIH& tree, const zVector& origin, const zVector& direction, float maximumDistance = 0.0f)
    {
        zBIHQuery query;
        query.ResetHit();
        query.nearestHit = 1;
        tree.TraceRay(query, origin, direction, maximumDistance);
        return query;
    }

    Tavrin core;
};

struct RayCase {
    const char* name;
    zVector origin;
    zVector direction;
    float maximumDistance;
    bool doubleSided;
    bool hit;
    float t;
    uint8_t backSide;
    // The one-polygon test, which takes front faces only.
    bool polygonTest;
};

// Names the case in test listings and failure messages.
void PrintTo(const RayCase& c, std::ostream* out)
{
    *out << c.name;
}

const RayCase rayCases[] = {
    {"FrontFace", {0.25f, 0.5f, 2}, {0, 0, -1}, 0.0f, false, true, 2.0f, 0, true},
    {"SlantedFront", {-0.75f, 0.5f, 1}, {1, 0, -1}, 0.0f, false, true, 1.0f, 0, true},
    {"BackOfOneSided", {0.25f, 0.5f, -2}, {0, 0, 1}, 0.0f, false, false, 0.0f, 0, false},
    {"BackOfDoubleSided", {0.25f, 0.5f, -2}, {0, 0, 0.5f}, 0.0f, true, true, 4.0f, 1, false},
    {"BehindTheOrigin", {0.25f, 0.5f, -1}, {0, 0, -1}, 0.0f, true, false, 0.0f, 0, false},
    {"StartsOnThePlaneGoingAway", {0.25f, 0.5f, 0}, {0, 0, 1}, 0.0f, true, true, 0.0f, 1, false},
    {"StartsOnThePlaneOneSided", {0.25f, 0.5f, 0}, {0, 0, 1}, 0.0f, false, false, 0.0f, 0, false},
    {"InThePlane", {-1, 0.5f, 0}, {1, 0, 0}, 0.0f, true, false, 0.0f, 0, false},
    {"BeyondTheMaximum", {0.25f, 0.5f, 2}, {0, 0, -1}, 1.5f, false, false, 0.0f, 0, false},
    {"WithinTheMaximum", {0.25f, 0.5f, 2}, {0, 0, -1}, 2.5f, false, true, 2.0f, 0, true},
    {"NegativeMaximumIsUnlimited", {0.25f, 0.5f, 2}, {0, 0, -1}, -1.0f, false, true, 2.0f, 0, true},
    {"Outside", {1.5f, 0.5f, 2}, {0, 0, -1}, 0.0f, true, false, 0.0f, 0, false},
};

class GeometryBIHRayTest : public GeometryBIHTest, public ::testing::WithParamInterface<RayCase> {};

} // namespace

TEST_P(GeometryBIHRayTest, MeetsTheQuadAsItsMaterialAllows)
{
    const RayCase& c = GetParam();
    zGeometry g(&core, "quad");
    FillQuad(g, c.doubleSided);
    LogCapture log;
    zGeometryBIH tree;
    ASSERT_TRUE(tree.BuildFromGeometry(&g));
    const zBIHQuery query = Trace(tree, c.origin, c.direction, c.maximumDistance);
    ASSERT_EQ(query.hitFound, c.hit);
    EXPECT_EQ(tree.IntersectPolygon(0, c.origin, c.direction, c.maximumDistance), c.polygonTest);
    if (!c.hit) {
        EXPECT_EQ(query.primitiveHit, -1);
        return;
    }
    EXPECT_FLOAT_EQ(query.hitT, c.t);
    EXPECT_EQ(query.backSide, c.backSide);
    EXPECT_EQ(query.objectHit, &g);
    EXPECT_EQ(query.primitiveHit, 0);
    EXPECT_EQ(query.primitivesTested, 2);
}

INSTANTIATE_TEST_SUITE_P(Rays, GeometryBIHRayTest, ::testing::ValuesIn(rayCases),
                         [](const ::testing::TestParamInfo<RayCase>& info) { return std::string(info.param.name); });

TEST_F(GeometryBIHTest, AHitOnTheDiagonalIsReportedOnceAsTheFirstFanTriangle)
{
    zGeometry g(&core, "quad");
    FillQuad(g);
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    const zBIHQuery query = Trace(*g.tree, {0.5f, 0.5f, 1}, {0, 0, -1});
    ASSERT_TRUE(query.hitFound);
    EXPECT_EQ(query.subPrimitiveHit, 0);
    // Weights of corner 1 (1, 0), corner 2 (1, 1) and corner 0 (0, 0).
    EXPECT_NEAR(query.weights[0], 0.0f, 1e-6f);
    EXPECT_NEAR(query.weights[1], 0.5f, 1e-6f);
    EXPECT_NEAR(query.weights[2], 0.5f, 1e-6f);

    // Past the diagonal the second fan triangle (corners 2, 3, 0) holds it.
    const zBIHQuery upper = Trace(*g.tree, {0.25f, 0.75f, 1}, {0, 0, -1});
    ASSERT_TRUE(upper.hitFound);
    EXPECT_EQ(upper.subPrimitiveHit, 1);
    EXPECT_NEAR(upper.weights[0], 0.25f, 1e-6f);
    EXPECT_NEAR(upper.weights[1], 0.5f, 1e-6f);
    EXPECT_NEAR(upper.weights[2], 0.25f, 1e-6f);
}

TEST_F(GeometryBIHTest, WeightsJustOutsideATriangleStillCount)
{
    zGeometry g(&core, "triangle");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}});
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    // x + y = 1 is the far edge; half a millionth past it is within the tolerance.
    EXPECT_TRUE(Trace(*g.tree, {0.5f, 0.5000005f, 1}, {0, 0, -1}).hitFound);
    EXPECT_FALSE(Trace(*g.tree, {0.5f, 0.50001f, 1}, {0, 0, -1}).hitFound);
    EXPECT_TRUE(Trace(*g.tree, {-0.0000005f, 0.5f, 1}, {0, 0, -1}).hitFound);
    EXPECT_FALSE(Trace(*g.tree, {-0.00001f, 0.5f, 1}, {0, 0, -1}).hitFound);
}

TEST_F(GeometryBIHTest, NearestHitModeFindsTheNearerOfStackedPolygons)
{
    zGeometry g(&core, "stack");
    // Three parallel squares facing +z at z = 0, 1 and 2, listed far to near.
    std::vector<zVector> vertices;
    std::vector<PolygonSpec> polygons;
    for (int layer = 0; layer < 3; ++layer) {
        const float z = float(layer);
        const int32_t base = int32_t(vertices.size());
        for (const zVector& corner : {zVector(0, 0, z), zVector(1, 0, z), zVector(1, 1, z), zVector(0, 1, z)})
            vertices.push_back(corner);
        polygons.push_back({{base, base + 1, base + 2, base + 3}, 0});
    }
    // Enough tiny triangles elsewhere that the squares do not share a leaf.
    for (int i = 0; i < 40; ++i) {
        const int32_t base = int32_t(vertices.size());
        const float x = 10.0f + float(i);
        vertices.push_back({x, 0, 0});
        vertices.push_back({x + 0.5f, 0, 0});
        vertices.push_back({x, 0.5f, 0});
        polygons.push_back({{base, base + 1, base + 2}, 0});
    }
    FillGeometry(g, vertices, polygons);
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    const zBIHQuery nearest = Trace(*g.tree, {0.5f, 0.5f, 5}, {0, 0, -1});
    ASSERT_TRUE(nearest.hitFound);
    EXPECT_EQ(nearest.primitiveHit, 2);
    EXPECT_FLOAT_EQ(nearest.hitT, 3.0f);
    // Capped before the nearest square: nothing.
    EXPECT_FALSE(Trace(*g.tree, {0.5f, 0.5f, 5}, {0, 0, -1}, 2.5f).hitFound);
}

TEST_F(GeometryBIHTest, DegeneratePolygonsAreNeverHitNorDivideByZero)
{
    zGeometry g(&core, "degenerate");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.5f, 0.5f, 0}},
                 {{{0, 1}, 0},           // two corners
                  {{0, 1, 2}, 0},        // on one line
                  {{0, 0, 3}, 0},        // a repeated corner
                  {{0, 1, 99}, 0},       // a corner naming no vertex
                  {{}, 0},               // no corner at all
                  {{0, 1, 2, 3}, 0},     // first three on one line
                  {{0, 1, 4, 5}, 0}});   // second fan triangle without area
    g.materials[0]->flags |= zMaterial::FlagDoubleSided;
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    const zGeometryBIH& tree = *g.tree;
    for (uint32_t p = 0; p < 6; ++p) {
        EXPECT_EQ(tree.GetPolygons()[p].triangleCount, 0u) << "polygon " << p;
        EXPECT_EQ(g.polygonNormals[p].SquaredLength(), 0.0f) << "polygon " << p;
    }
    ASSERT_EQ(tree.GetPolygons()[6].triangleCount, 2u);
    EXPECT_EQ(tree.GetTriangles()[tree.GetPolygons()[6].firstTriangle + 1].degenerate, 1);

    // Only the last quad's first triangle can be met; its degenerate second
    // one lies on the diagonal and is skipped without a division by zero.
    for (const zVector& at : {zVector(0.9f, 0.5f, 0), zVector(0.5f, 0.5f, 0), zVector(0.25f, 0.1f, 0)}) {
        const zBIHQuery query = Trace(*g.tree, at + zVector(0, 0, 1), {0, 0, -1});
        ASSERT_TRUE(query.hitFound) << at.x << ", " << at.y;
        EXPECT_EQ(query.primitiveHit, 6);
        EXPECT_EQ(query.subPrimitiveHit, 0);
    }
    const zBIHQuery miss = Trace(*g.tree, {0.1f, 0.8f, 1}, {0, 0, -1});
    EXPECT_FALSE(miss.hitFound);
    EXPECT_EQ(miss.primitivesTested, 2) << "only the last quad is tested";
    EXPECT_FALSE(Trace(*g.tree, {1.5f, 0, 1}, {0, 0, -1}).hitFound);
}

TEST_F(GeometryBIHTest, BuildMakesThePolygonNormalsFirstAndWritesThePlanesBack)
{
    zGeometry g(&core, "normals");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 2}, {0, 1, 2}},
                 {{{0, 1, 2}, 0}, {{0, 3, 4}, 0}});
    ASSERT_EQ(g.polygonNormals, nullptr);
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    ASSERT_NE(g.polygonNormals, nullptr);
    EXPECT_TRUE(log.Contains("Compute polygon normal for normals."));
    EXPECT_TRUE(g.polygonNormals[0].IsNearlyEqual({0, 0, 1}));
    EXPECT_TRUE(g.polygonNormals[1].IsNearlyEqual({-1, 0, 0}));

    // Normals read from a file are replaced by the planes the rays meet.
    zGeometry loaded(&core, "loaded");
    FillQuad(loaded);
    loaded.polygonNormals = new zVector[1]{zVector(0, 0, -1)};
    ASSERT_TRUE(loaded.CreateTree());
    EXPECT_TRUE(loaded.polygonNormals[0].IsNearlyEqual({0, 0, 1}));
    EXPECT_TRUE(Trace(*loaded.tree, {0.5f, 0.5f, 1}, {0, 0, -1}).hitFound);
}

TEST_F(GeometryBIHTest, SmallPolygonsKeepTheirPlanes)
{
    zGeometry g(&core, "small");
    // A square half a millimetre wide (in metres): the cross product of its
    // edges is too short for zVector::Normalized.
    FillGeometry(g, {{0, 0, 0}, {5e-4f, 0, 0}, {5e-4f, 5e-4f, 0}, {0, 5e-4f, 0}}, {{{0, 1, 2, 3}, 0}});
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    EXPECT_TRUE(g.polygonNormals[0].IsNearlyEqual({0, 0, 1}));
    const zBIHQuery query = Trace(*g.tree, {2.5e-4f, 2.5e-4f, 1}, {0, 0, -1});
    ASSERT_TRUE(query.hitFound);
    EXPECT_FLOAT_EQ(query.hitT, 1.0f);
}

TEST_F(GeometryBIHTest, BuildFailuresLeaveNothingBuilt)
{
    LogCapture log;
    zGeometryBIH tree;
    EXPECT_FALSE(tree.BuildFromGeometry(nullptr));
    EXPECT_TRUE(log.Contains("No volumes in set to build the BIH structure."));

    zGeometry empty(&core, "empty");
    EXPECT_FALSE(empty.CreateTree());
    EXPECT_EQ(empty.tree, nullptr);
    EXPECT_EQ(empty.GetTree(), nullptr);

    zGeometry g(&core, "quad");
    FillQuad(g);
    ASSERT_TRUE(tree.BuildFromGeometry(&g));
    zBIH::FailAllocationsAfter(0);
    EXPECT_FALSE(tree.BuildFromGeometry(&g));
    EXPECT_FALSE(tree.IsBuilt());
    EXPECT_EQ(tree.GetPolygons(), nullptr);
    EXPECT_EQ(tree.GetGeometry(), nullptr);
    EXPECT_FALSE(Trace(tree, {0.5f, 0.5f, 1}, {0, 0, -1}).hitFound);

    zGeometry other(&core, "other");
    FillQuad(other);
    zBIH::FailAllocationsAfter(0);
    EXPECT_FALSE(other.CreateTree());
    EXPECT_EQ(other.tree, nullptr);
    EXPECT_EQ(other.keepMask & zGeometry::KeepMesh, 0);
    zBIH::FailAllocationsAfter(-1);
    zGeometryBIH* built = other.GetTree();
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(other.GetTree(), built) << "built once";
    EXPECT_TRUE(other.CreateTree());
    EXPECT_EQ(other.tree, built);
}

TEST_F(GeometryBIHTest, TheTreeKeepsTheMeshAndLeavesWithIt)
{
    zGeometry g(&core, "kept");
    FillQuad(g);
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    EXPECT_NE(g.keepMask & zGeometry::KeepMesh, 0);
    g.Free();
    ASSERT_NE(g.tree, nullptr);
    ASSERT_NE(g.vertices, nullptr);
    EXPECT_TRUE(Trace(*g.tree, {0.5f, 0.5f, 1}, {0, 0, -1}).hitFound);
    g.FreeAll();
    EXPECT_EQ(g.tree, nullptr);
    EXPECT_EQ(g.vertices, nullptr);
}

TEST_F(GeometryBIHTest, BoxesFindThePolygonsTheyTouch)
{
    zGeometry g(&core, "boxes");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {6, 5, 5}, {5, 6, 5}, {2, 2, 2}, {3, 3, 3}},
                 {{{0, 1, 2}, 0}, {{3, 4, 5}, 0}, {{6, 7}, 0}, {{6, 7, 6}, 0}});
    LogCapture log;
    ASSERT_TRUE(g.CreateTree());
    struct BoxCase {
        zMinMax box;
        std::vector<uint32_t> expected;
    };
    const BoxCase cases[] = {
        {{{-1, -1, -1}, {10, 10, 10}}, {0, 1}},
        // Touching the first triangle's corner counts.
        {{{1, 0, 0}, {1.5f, 0.5f, 0.5f}}, {0}},
        {{{4, 4, 4}, {5, 5, 5}}, {1}},
        // Only the polygons that cannot be hit lie here.
        {{{1.9f, 1.9f, 1.9f}, {3.1f, 3.1f, 3.1f}}, {}},
        {{{1.01f, 0, 0}, {2, 2, 2}}, {}},
        {{{20, 20, 20}, {30, 30, 30}}, {}},
    };
    for (const BoxCase& c : cases) {
        uint32_t out[4] = {};
        const uint32_t count = g.tree->GatherPolygonsInBox(c.box, out, 4);
        std::vector<uint32_t> found(out, out + std::min(count, 4u));
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.expected) << c.box.min.x << " .. " << c.box.max.x;
    }
    EXPECT_EQ(g.tree->GatherPolygonsInBox(cases[0].box, nullptr, 0), 2u) << "counts without a buffer";
}
