#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryTrilist.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

const float R2 = 0.70710678f;
const float R3 = 0.57735027f;

::testing::AssertionResult Near(const zVector& actual, const zVector& expected)
{
    if (std::fabs(actual.x - expected.x) < 1e-5f && std::fabs(actual.y - expected.y) < 1e-5f
        && std::fabs(actual.z - expected.z) < 1e-5f && actual.w == 1.0f)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z << ", " << actual.w
                                         << ") instead of (" << expected.x << ", " << expected.y << ", " << expected.z
                                         << ")";
}

// A unit cube of six outward-facing quads sharing its eight corners, one material.
void FillPlainCube(zGeometry& g)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                 {{{0, 3, 2, 1}, 0},
                  {{4, 5, 6, 7}, 0},
                  {{0, 1, 5, 4}, 0},
                  {{2, 3, 7, 6}, 0},
                  {{1, 2, 6, 5}, 0},
                  {{3, 0, 4, 7}, 0}});
}

const zVector cubeFaces[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};

// Two triangles sharing the edge from vertex 0 to vertex 2: A lies in z = 0
// facing +z, B is folded up by 45 degrees and faces (1, 0, 1)/sqrt(2).
void FillHinge(zGeometry& g, uint16_t materialOfB)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 1}}, {{{0, 1, 2}, 0}, {{0, 2, 3}, materialOfB}}, 2);
}

class GeometryNormalsTest : public ::testing::Test {
protected:
    Tavrin core;
};

struct CubeCase {
    const char* name;
    float threshold;
    // Each corner gets the cube's diagonal rather than its face normal.
    bool smooth;
    float stored;
};

// Names the case in test listings and failure messages.
void PrintTo(const CubeCase& c, std::ostream* out)
{
    *out << c.name;
}

const CubeCase cubeCases[] = {
    {"RightAnglesStayFlat", 0.0f, false, 0.0f},
    {"MinusOneSmoothsEverything", -1.0f, true, -1.0f},
    {"OneActsAsMinusOne", 1.0f, true, -1.0f},
    {"AboveOneIsClampedToOneAndSoSmooths", 5.0f, true, -1.0f},
    {"BelowMinusOneIsClamped", -3.0f, true, -1.0f},
    {"NearOneStaysFlat", 0.9f, false, 0.9f},
    {"JustBelowZeroSmooths", -0.01f, true, -0.01f},
    {"NotANumberFallsBackToZero", std::nanf(""), false, 0.0f},
    {"InfinityActsAsMinusOne", INFINITY, true, -1.0f},
};

class CubeSmoothingTest : public GeometryNormalsTest, public ::testing::WithParamInterface<CubeCase> {};

} // namespace

TEST_P(CubeSmoothingTest, CornersFollowTheMaterialsThreshold)
{
    zGeometry g(&core, "cube");
    FillPlainCube(g);
    g.materials[0]->maxSmoothingAngle = GetParam().threshold;
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    EXPECT_TRUE(log.Contains("Compute vertex normal for cube."));
    EXPECT_EQ(g.materials[0]->maxSmoothingAngle, GetParam().stored);
    ASSERT_NE(g.vertexNormals, nullptr);
    for (uint32_t p = 0; p < 6; ++p) {
        EXPECT_TRUE(Near(g.polygonNormals[p], cubeFaces[p])) << "polygon " << p;
        for (uint16_t c = 0; c < 4; ++c) {
            const zVector& v = g.vertices[g.polygons[p].indices[c]];
            const zVector expected = GetParam().smooth
                ? zVector((2 * v.x - 1) * R3, (2 * v.y - 1) * R3, (2 * v.z - 1) * R3)
                : cubeFaces[p];
            EXPECT_TRUE(Near(g.vertexNormals[4 * p + c], expected)) << "polygon " << p << " corner " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Thresholds, CubeSmoothingTest, ::testing::ValuesIn(cubeCases),
                         [](const ::testing::TestParamInfo<CubeCase>& info) { return std::string(info.param.name); });

TEST_F(GeometryNormalsTest, EachPolygonSmoothsByItsOwnMaterial)
{
    const zVector faceA(0, 0, 1);
    const zVector faceB(R2, 0, R2);
    // The bisector of the two faces: 22.5 degrees from +z towards +x.
    const zVector bisector(0.38268343f, 0, 0.92387953f);
    struct Case {
        float thresholdA;
        float thresholdB;
        zVector sharedA;
        zVector sharedB;
    };
    // cos 45 = 0.707: a threshold of 0.5 lets the neighbour in, 0.8 keeps it out.
    const Case cases[] = {
        {0.5f, 0.5f, bisector, bisector},
        {0.8f, 0.8f, faceA, faceB},
        {0.5f, 0.8f, bisector, faceB},
        {0.8f, 0.5f, faceA, bisector},
    };
    for (const Case& c : cases) {
        zGeometry g(&core, "hinge");
        FillHinge(g, 1);
        g.materials[0]->maxSmoothingAngle = c.thresholdA;
        g.materials[1]->maxSmoothingAngle = c.thresholdB;
        LogCapture log;
        ASSERT_TRUE(g.ComputeVertexNormal(false));
        // Bindings: A = 0, 1, 2 (vertices 0, 1, 2); B = 3, 4, 5 (vertices 0, 2, 3).
        SCOPED_TRACE(::testing::Message() << c.thresholdA << " / " << c.thresholdB);
        EXPECT_TRUE(Near(g.vertexNormals[0], c.sharedA));
        EXPECT_TRUE(Near(g.vertexNormals[1], faceA));
        EXPECT_TRUE(Near(g.vertexNormals[2], c.sharedA));
        EXPECT_TRUE(Near(g.vertexNormals[3], c.sharedB));
        EXPECT_TRUE(Near(g.vertexNormals[4], c.sharedB));
        EXPECT_TRUE(Near(g.vertexNormals[5], faceB));
    }
}

TEST_F(GeometryNormalsTest, PolygonsWithoutANormalOrMaterialGiveZero)
{
    zGeometry g(&core, "odd");
    // A triangle, a two-corner polygon on its vertex 0, and a triangle whose
    // material does not exist.
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {6, 5, 5}, {5, 6, 5}},
                 {{{0, 1, 2}, 0}, {{0, 3}, 0}, {{3, 4, 5}, 7}}, 1);
    g.materials[0]->maxSmoothingAngle = -1.0f;
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    EXPECT_TRUE(Near(g.polygonNormals[1], {0, 0, 0}));
    // The two-corner polygon adds nothing to the triangle's corners...
    for (int b = 0; b < 3; ++b)
        EXPECT_TRUE(Near(g.vertexNormals[b], {0, 0, 1})) << b;
    // ...and under a threshold of -1 its own corners take what their vertex
    // offers: the triangle's normal at vertex 0, nothing at vertex 3 but the
    // missing material's triangle, which still counts as a neighbour.
    EXPECT_TRUE(Near(g.vertexNormals[3], {0, 0, 1}));
    EXPECT_TRUE(Near(g.vertexNormals[4], {0, 0, 1}));
    for (int b = 5; b < 8; ++b)
        EXPECT_TRUE(Near(g.vertexNormals[b], {0, 0, 0})) << b;
    EXPECT_TRUE(log.Contains("out of bound index (7)"));
}

TEST_F(GeometryNormalsTest, PolygonNormalsUseTheFirstThreeCorners)
{
    zGeometry g(&core, "bent");
    // A quad whose fourth corner leaves the plane of the first three.
    FillGeometry(g, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 5}}, {{{0, 1, 2, 3}, 0}, {{1, 2}, 0}});
    LogCapture log;
    ASSERT_TRUE(g.ComputePolygonNormal());
    EXPECT_TRUE(log.Contains("Compute polygon normal for bent."));
    EXPECT_TRUE(Near(g.polygonNormals[0], {0, 0, 1}));
    EXPECT_TRUE(Near(g.polygonNormals[1], {0, 0, 0}));

    zGeometry empty(&core, "empty");
    EXPECT_FALSE(empty.ComputePolygonNormal());
    EXPECT_FALSE(empty.ComputeVertexNormal(true));
    EXPECT_FALSE(empty.ComputeVertexTangent(true));
    EXPECT_EQ(empty.polygonNormals, nullptr);
}

TEST_F(GeometryNormalsTest, ExistingArraysAreKeptUnlessForced)
{
    zGeometry g(&core, "kept");
    FillHinge(g, 0);
    g.vertexNormals = new zVector[6];
    for (int b = 0; b < 6; ++b)
        g.vertexNormals[b] = zVector(9, 9, 9);
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    EXPECT_TRUE(Near(g.vertexNormals[1], {9, 9, 9}));
    EXPECT_FALSE(log.Contains("Compute vertex normal"));
    ASSERT_TRUE(g.ComputeVertexNormal(true));
    EXPECT_TRUE(Near(g.vertexNormals[1], {0, 0, 1}));
}

TEST_F(GeometryNormalsTest, AWrongBindingCountIsReportedAndRebuilt)
{
    // Missing or too small for the polygons' corners, which would be
    // written past the end of the arrays.
    const uint32_t counts[] = {0, 2, 5};
    for (uint32_t count : counts) {
        zGeometry g(&core, "count");
        FillHinge(g, 0);
        g.bindingCount = count;
        LogCapture log;
        ASSERT_TRUE(g.ComputeVertexNormal(false));
        EXPECT_TRUE(log.Contains("The total binding count is wrong. Check that the importer did properly update this flag."));
        EXPECT_EQ(g.bindingCount, 6u);
        EXPECT_TRUE(Near(g.vertexNormals[5], {R2, 0, R2}));

        g.bindingCount = count;
        ASSERT_TRUE(g.ComputeVertexTangent(false));
        EXPECT_TRUE(log.Contains("ComputeVertexTangent() pol_binding_count member wasn't set! Check that the importer "
                                 "updates this flag."));
        EXPECT_EQ(g.bindingCount, 6u);
    }

    // A larger count holds every corner and is left as it is.
    zGeometry g(&core, "large");
    FillHinge(g, 0);
    g.bindingCount = 8;
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    ASSERT_TRUE(g.ComputeVertexTangent(false));
    EXPECT_FALSE(log.Contains("binding count"));
    EXPECT_FALSE(log.Contains("pol_binding_count"));
    EXPECT_EQ(g.bindingCount, 8u);
    EXPECT_TRUE(Near(g.vertexNormals[5], {R2, 0, R2}));
}

TEST_F(GeometryNormalsTest, AverageVertexNormalsAreMeansOfThePolygonNormals)
{
    zGeometry g(&core, "average");
    FillHinge(g, 0);
    // A fifth vertex that no polygon uses.
    zVector* vertices = new zVector[5];
    for (int v = 0; v < 4; ++v)
        vertices[v] = g.vertices[v];
    vertices[4] = zVector(7, 7, 7);
    delete[] g.vertices;
    g.vertices = vertices;
    g.vertexCount = 5;
    LogCapture log;
    zVector out[5];
    ASSERT_TRUE(g.ComputeAverageVertexNormals(out));
    const zVector mean(R2 / 2, 0, (1 + R2) / 2);
    EXPECT_TRUE(Near(out[0], mean));
    EXPECT_TRUE(Near(out[1], {0, 0, 1}));
    EXPECT_TRUE(Near(out[2], mean));
    EXPECT_TRUE(Near(out[3], {R2, 0, R2}));
    EXPECT_TRUE(Near(out[4], {0, 0, 0}));
    EXPECT_FALSE(g.ComputeAverageVertexNormals(nullptr));
    zGeometry empty(&core, "empty");
    EXPECT_FALSE(empty.ComputeAverageVertexNormals(out));
}

namespace {

// Two unit quads sharing the edge from vertex 1 to vertex 2: P in z = 0 with
// u = x and v = y, and Q to its right, its UVs and placement given per case.
// Both materials have an active "Normal" stage reading UV set 0 unless the
// case says otherwise.
struct TangentCase {
    const char* name;
    zVector q4, q5;
    zUV uvQ[4];
    // Q's material feeds no "Normal" channel.
    bool plainQ;
    zVector sharedTP, sharedBP, sharedTQ, sharedBQ;
};

// Names the case in test listings and failure messages.
void PrintTo(const TangentCase& c, std::ostream* out)
{
    *out << c.name;
}

void FillTangentPair(zGeometry& g, const TangentCase& c)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, c.q4, c.q5}, {{{0, 1, 2, 3}, 0}, {{1, 4, 5, 2}, 1}},
                 2);
    for (int m = 0; m < 2; ++m) {
        g.materials[m]->stages[0].active = 1;
        g.materials[m]->stages[0].channel = zMaterial::ChannelNormal;
        g.materials[m]->stages[0].uvIndex = 0;
    }
    if (c.plainQ)
        g.materials[1]->stages[0].channel = zMaterial::ChannelDiffuse;
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[8]{{0, 0}, {1, 0}, {1, 1}, {0, 1}, c.uvQ[0], c.uvQ[1], c.uvQ[2], c.uvQ[3]};
}

const TangentCase tangentCases[] = {
    // u runs back along x on Q: its frame is turned, and the sums turn it back
    // rather than cancelling at the shared corners.
    {"MirroredUVs", {2, 0, 0}, {2, 1, 0}, {{1, 0}, {0, 0}, {0, 1}, {1, 1}}, false,
     {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 1, 0}},
    // Q folded up at right angles, u carrying on up it: the shared corners
    // take the mean of +x and +z.
    {"FoldedEdge", {1, 0, 1}, {1, 1, 1}, {{1, 0}, {2, 0}, {2, 1}, {1, 1}}, false,
     {R2, 0, R2}, {0, 1, 0}, {R2, 0, R2}, {0, 1, 0}},
    // Q has no normal map: its frame is zero and adds nothing.
    {"NeighbourWithoutNormalMap", {2, 0, 0}, {2, 1, 0}, {{1, 0}, {0, 0}, {0, 1}, {1, 1}}, true,
     {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 1, 0}},
};

class TangentFrameTest : public GeometryNormalsTest, public ::testing::WithParamInterface<TangentCase> {};

} // namespace

TEST_P(TangentFrameTest, SharedCornersSumTheAlignedFrames)
{
    const TangentCase& c = GetParam();
    zGeometry g(&core, "pair");
    FillTangentPair(g, c);
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexTangent(false));
    EXPECT_FALSE(log.Contains("Missing UV sets"));
    ASSERT_NE(g.polygonTangents, nullptr);
    EXPECT_TRUE(Near(g.polygonTangents[0], {1, 0, 0}));
    EXPECT_TRUE(Near(g.polygonTangents[1], {0, 1, 0}));
    if (c.plainQ) {
        EXPECT_TRUE(Near(g.polygonTangents[2], {0, 0, 0}));
        EXPECT_TRUE(Near(g.polygonTangents[3], {0, 0, 0}));
    }
    // Bindings: P = 0..3 (vertices 0, 1, 2, 3), Q = 4..7 (vertices 1, 4, 5, 2).
    const zVector* t = g.vertexTangents;
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(Near(t[0], {1, 0, 0}));
    EXPECT_TRUE(Near(t[1], {0, 1, 0}));
    for (int b : {1, 2}) {
        EXPECT_TRUE(Near(t[2 * b], c.sharedTP)) << "P binding " << b;
        EXPECT_TRUE(Near(t[2 * b + 1], c.sharedBP)) << "P binding " << b;
    }
    for (int b : {4, 7}) {
        EXPECT_TRUE(Near(t[2 * b], c.sharedTQ)) << "Q binding " << b;
        EXPECT_TRUE(Near(t[2 * b + 1], c.sharedBQ)) << "Q binding " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TangentFrameTest, ::testing::ValuesIn(tangentCases),
                         [](const ::testing::TestParamInfo<TangentCase>& info) { return std::string(info.param.name); });

TEST_F(GeometryNormalsTest, AMissingUVSetLeavesZeroFramesAndOneWarning)
{
    zGeometry g(&core, "nouv");
    FillTangentPair(g, tangentCases[0]);
    for (int m = 0; m < 2; ++m)
        g.materials[m]->stages[0].uvIndex = 2;
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexTangent(false));
    int warnings = 0;
    for (const std::string& line : log.lines)
        warnings += line.find("Missing UV sets to compute tangent frame in 'nouv'.") != std::string::npos;
    EXPECT_EQ(warnings, 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Near(g.polygonTangents[i], {0, 0, 0})) << i;
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(Near(g.vertexTangents[i], {0, 0, 0})) << i;
}

TEST_F(GeometryNormalsTest, SetupComputesWhatTheRenderWordAsksFor)
{
    struct Case {
        uint32_t materialFlags;
        bool normals;
        bool tangents;
    };
    const Case cases[] = {
        {0, false, false},
        {zMaterial::FlagLit, true, false},
        {zMaterial::FlagNormalMapTangent, false, true},
        {zMaterial::FlagSmoothing | zMaterial::FlagNormalMapTangent, true, true},
    };
    for (const Case& c : cases) {
        zGeometry g(&core, "setup");
        FillHinge(g, 0);
        g.materials[0]->flags = c.materialFlags;
        LogCapture log;
        g.Setup();
        EXPECT_EQ(g.vertexNormals != nullptr, c.normals) << c.materialFlags;
        EXPECT_EQ(g.vertexTangents != nullptr, c.tangents) << c.materialFlags;
        if (c.normals) {
            EXPECT_TRUE(Near(g.vertexNormals[1], {0, 0, 1}));
        }
    }
}

TEST_F(GeometryNormalsTest, ValidationSmoothsWithTheRepairedMaterial)
{
    zGeometry g(&core, "repair");
    // B names material 5 of 2; the repair gives it the last one, which
    // smooths everything.
    FillHinge(g, 5);
    g.materials[0]->maxSmoothingAngle = 0.8f;
    g.materials[1]->maxSmoothingAngle = -1.0f;
    g.renderWord = zGeometry::RenderLit;
    LogCapture log;
    ASSERT_TRUE(g.EnforceValid());
    EXPECT_EQ(g.polygons[1].material, 1);
    ASSERT_NE(g.vertexNormals, nullptr);
    const zVector bisector(0.38268343f, 0, 0.92387953f);
    EXPECT_TRUE(Near(g.vertexNormals[0], {0, 0, 1}));
    EXPECT_TRUE(Near(g.vertexNormals[3], bisector));
    EXPECT_TRUE(Near(g.vertexNormals[5], {R2, 0, R2}));
    EXPECT_FALSE(log.Contains("out of bound index"));

    zGeometry unlit(&core, "unlit");
    FillHinge(unlit, 0);
    ASSERT_TRUE(unlit.EnforceValid());
    EXPECT_EQ(unlit.vertexNormals, nullptr);
}

namespace {

// The smoothing rules as they read, corner by corner over every polygon of
// the corner's vertex: what the vertex operations must give, bit for bit,
// however they share the work between corners.
struct SmoothingRule {
    explicit SmoothingRule(const zGeometry& g)
    {
        for (uint32_t p = 0; p < g.polygonCount; ++p) {
            const zPolygon& polygon = g.polygons[p];
            const zMaterial* material = polygon.material < g.materialCount ? g.materials[polygon.material] : nullptr;
            for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
                const int32_t vertex = polygon.indices[c];
                const zVertexPolygons& uses = g.vertexToPolygon[vertex];
                zVector sum(0, 0, 0), sumT(0, 0, 0), sumB(0, 0, 0);
                for (uint32_t u = 0; u < uses.count; ++u) {
                    const uint32_t q = uses.polygons[u];
                    if (material != nullptr && g.polygonNormals[q].Dot(g.polygonNormals[p]) > material->maxSmoothingAngle)
                        sum = sum + g.polygonNormals[q];
                    const zVector& t = g.polygonTangents[2 * q];
                    const zVector& b = g.polygonTangents[2 * q + 1];
                    sumT = sumT + (t.Dot(g.polygonTangents[2 * p]) < 0.0f ? -t : t);
                    sumB = sumB + (b.Dot(g.polygonTangents[2 * p + 1]) < 0.0f ? -b : b);
                }
                normals.push_back(material != nullptr ? sum.Normalized() : zVector(0, 0, 0));
                tangents.push_back(sumT.Normalized());
                tangents.push_back(sumB.Normalized());
            }
        }
    }
    std::vector<zVector> normals;
    std::vector<zVector> tangents;
};

bool SameBits(const zVector& a, const zVector& b)
{
    return std::memcmp(&a, &b, sizeof(zVector)) == 0;
}

// Every material smooths by its threshold and maps normals from UV set 0,
// whose coordinates are the corners' x and y.
void MapNormals(zGeometry& g, const std::vector<float>& thresholds)
{
    for (uint32_t m = 0; m < g.materialCount; ++m) {
        g.materials[m]->maxSmoothingAngle = thresholds[m % thresholds.size()];
        g.materials[m]->stages[0].active = 1;
        g.materials[m]->stages[0].channel = zMaterial::ChannelNormal;
        g.materials[m]->stages[0].uvIndex = 0;
    }
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[g.bindingCount];
    for (uint32_t b = 0; b < g.bindingCount; ++b)
        g.uvSets[0][b] = {g.vertices[g.bindingIndices[b]].x, g.vertices[g.bindingIndices[b]].y * 0.5f};
}

// A fan of faces triangles around vertex 0: a flat disc at height 0, or a
// cone whose apex is lifted, each face then of its own slope.
void FillFan(zGeometry& g, uint32_t faces, float apex)
{
    std::vector<zVector> vertices{{0, 0, apex}};
    std::vector<PolygonSpec> polygons;
    for (uint32_t i = 0; i < faces; ++i) {
        const float a = 6.2831853f * float(i) / float(faces);
        vertices.push_back({std::cos(a), std::sin(a), 0});
        polygons.push_back({{0, int32_t(1 + i), int32_t(1 + (i + 1) % faces)}, 0});
    }
    FillGeometry(g, vertices, polygons);
}

struct MeshCase {
    const char* name;
    std::function<void(zGeometry&)> fill;
};

void PrintTo(const MeshCase& c, std::ostream* out)
{
    *out << c.name;
}

// Random polygons of 1 to 6 corners over few vertices, so that corners
// share vertices many times over: repeated polygons, vertices listed twice,
// two-corner polygons, a missing material and thresholds of every kind.
void FillRandomMesh(zGeometry& g, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-2, 2);
    std::vector<zVector> vertices;
    for (int i = 0; i < 24; ++i) {
        // Some on a lattice, so that polygons share exact normals.
        const zVector v(coordinate(random), coordinate(random), coordinate(random));
        vertices.push_back(i % 3 == 0 ? zVector(std::round(v.x), std::round(v.y), 0) : v);
    }
    std::vector<PolygonSpec> polygons;
    for (int p = 0; p < 150; ++p) {
        PolygonSpec polygon;
        const int corners = 1 + int(random() % 6);
        for (int c = 0; c < corners; ++c)
            polygon.corners.push_back(random() % 7 == 0 ? 0 : int32_t(random() % vertices.size()));
        polygon.material = uint16_t(random() % 4);
        polygons.push_back(polygon);
        if (random() % 4 == 0)
            polygons.push_back(polygon);
    }
    FillGeometry(g, vertices, polygons, 3);
    MapNormals(g, {0.0f, -1.0f, 0.5f, 1.0f, 0.999f, std::nanf("")});
}

const MeshCase meshCases[] = {
    {"RandomMeshA", [](zGeometry& g) { FillRandomMesh(g, 5); }},
    {"RandomMeshB", [](zGeometry& g) { FillRandomMesh(g, 77); }},
    {"RandomMeshC", [](zGeometry& g) { FillRandomMesh(g, 2024); }},
    {"DiscAroundOneHub", [](zGeometry& g) { FillFan(g, 2000, 0.0f); MapNormals(g, {0.0f}); }},
    // As many different faces as a vertex is summed face by face for.
    {"ConeOfTheMostFacesSummedExactly", [](zGeometry& g) { FillFan(g, 256, 1.0f); MapNormals(g, {0.5f}); }},
    {"CopiesOfOneTriangle", [](zGeometry& g) {
         FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, std::vector<PolygonSpec>(2000, {{0, 1, 2}, 0}));
         MapNormals(g, {0.0f});
     }},
};

class SmoothingRuleTest : public GeometryNormalsTest, public ::testing::WithParamInterface<MeshCase> {};

} // namespace

TEST_P(SmoothingRuleTest, CornersGetTheRulesSumsBitForBit)
{
    zGeometry g(&core, "mesh");
    GetParam().fill(g);
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    ASSERT_TRUE(g.ComputeVertexTangent(false));
    const SmoothingRule rule(g);
    ASSERT_EQ(rule.normals.size(), g.bindingCount);
    for (uint32_t b = 0; b < g.bindingCount; ++b) {
        ASSERT_TRUE(SameBits(g.vertexNormals[b], rule.normals[b])) << "normal of binding " << b;
        ASSERT_TRUE(SameBits(g.vertexTangents[2 * b], rule.tangents[2 * b])) << "tangent of binding " << b;
        ASSERT_TRUE(SameBits(g.vertexTangents[2 * b + 1], rule.tangents[2 * b + 1])) << "bitangent of binding " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(Meshes, SmoothingRuleTest, ::testing::ValuesIn(meshCases),
                         [](const ::testing::TestParamInfo<MeshCase>& info) { return std::string(info.param.name); });

// The apex of a cone of a thousand faces: summing each face over all the
// others would cost a million steps. Its corners are smoothed by direction
// cells instead, close to the rule; every other corner follows it exactly.
TEST_F(GeometryNormalsTest, AVertexOfThousandsOfFacesIsSmoothedCloseToTheRule)
{
    for (const float threshold : {0.0f, -1.0f, 0.9f, 0.999f}) {
        SCOPED_TRACE(threshold);
        zGeometry g(&core, "cone");
        FillFan(g, 1000, 1.0f);
        MapNormals(g, {threshold});
        ASSERT_TRUE(g.ComputeVertexNormal(false));
        ASSERT_TRUE(g.ComputeVertexTangent(false));
        const SmoothingRule rule(g);
        float worstNormal = 1.0f;
        float worstTangent = 1.0f;
        for (uint32_t b = 0; b < g.bindingCount; ++b) {
            if (g.bindingIndices[b] != 0) {
                ASSERT_TRUE(SameBits(g.vertexNormals[b], rule.normals[b])) << b;
                ASSERT_TRUE(SameBits(g.vertexTangents[2 * b], rule.tangents[2 * b])) << b;
                continue;
            }
            EXPECT_NEAR(g.vertexNormals[b].Length(), 1.0f, 1e-5f) << b;
            worstNormal = std::min(worstNormal, g.vertexNormals[b].Dot(rule.normals[b]));
            for (int k = 0; k < 2; ++k)
                worstTangent = std::min(worstTangent, g.vertexTangents[2 * b + k].Dot(rule.tangents[2 * b + k]));
        }
        // Within 6 degrees: about one cell, where a cell straddles the threshold.
        EXPECT_GT(worstNormal, 0.9945f);
        EXPECT_GT(worstTangent, 0.9995f);
    }
}

namespace {

// Large shapes the load must take in time of their size: one polygon of
// 60,000 corners, a strip of 70,000 vertices, and 20,000 triangles without
// area on one point beside a floor.
struct HeavyShape {
    const char* name;
    std::function<void(zGeometry&)> fill;
};

void PrintTo(const HeavyShape& c, std::ostream* out)
{
    *out << c.name;
}

const HeavyShape heavyShapes[] = {
    {"PolygonOf60000Corners", [](zGeometry& g) {
         std::vector<zVector> vertices;
         PolygonSpec ring;
         for (int i = 0; i < 60000; ++i) {
             const float a = 6.2831853f * float(i) / 60000.0f;
             vertices.push_back({5 * std::cos(a), 5 * std::sin(a), 0});
             ring.corners.push_back(i);
         }
         FillGeometry(g, vertices, {ring});
     }},
    {"StripOf70000Vertices", [](zGeometry& g) {
         std::vector<zVector> vertices;
         std::vector<PolygonSpec> quads;
         for (int i = 0; i < 35000; ++i) {
             vertices.push_back({float(i) * 0.01f, 0, 0});
             vertices.push_back({float(i) * 0.01f, 1, 0});
             if (i > 0)
                 quads.push_back({{2 * i - 2, 2 * i, 2 * i + 1, 2 * i - 1}, 0});
         }
         FillGeometry(g, vertices, quads);
     }},
    {"DegenerateTrianglesBesideAFloor", [](zGeometry& g) {
         std::vector<PolygonSpec> polygons{{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
         for (int i = 0; i < 20000; ++i)
             polygons.push_back({{4, 4, 4}, 0});
         FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 0}}, polygons);
     }},
};

class HeavyShapeTest : public GeometryNormalsTest, public ::testing::WithParamInterface<HeavyShape> {};

} // namespace

TEST_P(HeavyShapeTest, NormalsTangentsAndTriangleListsAreMade)
{
    zGeometry g(&core, "heavy");
    GetParam().fill(g);
    MapNormals(g, {0.0f});
    g.materials[0]->flags |= zMaterial::FlagLit;
    g.renderWord = zGeometry::RenderLit;
    LogCapture log;
    ASSERT_TRUE(g.ComputeVertexNormal(false));
    ASSERT_TRUE(g.ComputeVertexTangent(false));
    // Flat shapes: every corner gets its polygon's own normal (zero for the
    // large polygon, whose first three corners lie too close to give one).
    for (uint32_t p = 0; p < g.polygonCount; p += 97) {
        for (uint16_t c = 0; c < g.polygons[p].vertexCount; c += 101)
            ASSERT_TRUE(Near(g.vertexNormals[g.polygonFirst[p] + c], g.polygonNormals[p])) << p << " " << c;
    }
    zLinkedList* lists = zGeometryTrilist::GeometryToTriangleList(&g, 16384, zGeometryTrilist::CacheSize);
    ASSERT_NE(lists, nullptr);
    uint64_t triangles = 0;
    zLinkedListCursor cursor;
    while (const zGeometryTrilist* list = lists->NextAs<zGeometryTrilist>(cursor))
        triangles += list->triangleCount;
    uint64_t expected = 0;
    for (uint32_t p = 0; p < g.polygonCount; ++p)
        expected += g.polygons[p].vertexCount > 2 ? g.polygons[p].vertexCount - 2u : 0u;
    EXPECT_EQ(triangles, expected);
    lists->Clear(true);
    delete lists;
    EXPECT_TRUE(g.CreateTree());
}

INSTANTIATE_TEST_SUITE_P(Shapes, HeavyShapeTest, ::testing::ValuesIn(heavyShapes),
                         [](const ::testing::TestParamInfo<HeavyShape>& info) { return std::string(info.param.name); });
