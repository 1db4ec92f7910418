#include "CollisionTestSupport.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace {

const float Root2 = std::sqrt(2.0f);
const float Root3 = std::sqrt(3.0f);

struct SphereSphereCase {
    const char* name;
    zVector previousA, centreA;
    float radiusA;
    zVector previousB, centreB;
    float radiusB;
    bool contact;
    zVector normal;
    float depth;
    zVector point;
};

// Names the case in test listings and failure messages.
void PrintTo(const SphereSphereCase& c, std::ostream* out)
{
    *out << c.name;
}

const SphereSphereCase sphereSphereCases[] = {
    {"Separated", {-5, 0, 0}, {-4, 0, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, false, {}, 0, {}},
    {"SweptStopsShort", {-4, 0, 0}, {-2.5f, 0, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, false, {}, 0, {}},
    {"SweptMissesSideways", {-4, 3, 0}, {4, 3, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, false, {}, 0, {}},
    // Touches at t = 2/3 of a motion of length 3.
    {"SweptTouchWithinStep", {-4, 0, 0}, {-1, 0, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, true, {1, 0, 0}, -1.0f, {-1, 0, 0}},
    // Passes right through in one step: touches at t = 1/6 of 6.
    {"PassesThroughInOneStep", {-3, 0, 0}, {3, 0, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, true, {1, 0, 0}, -5.0f, {-1, 0, 0}},
    {"OverlappingBefore", {0, 0, 0}, {0, 0.5f, 0}, 1, {1.5f, 0, 0}, {1.5f, 0, 0}, 1, true, {1, 0, 0}, -0.5f, {0.5f, 0, 0}},
    {"ConcentricBefore", {0, 0, 0}, {0, 0.5f, 0}, 1, {0, 0, 0}, {0, 0, 0}, 1, true, {0, -1, 0}, -2.0f, {0, 1, 0}},
    {"MovedTogether", {0, 0, 0}, {1, 0, 0}, 1, {0.5f, 0, 0}, {1.5f, 0, 0}, 1, false, {}, 0, {}},
    // Closing at 5.5 per step, they touch at t = 10/11.
    {"BothMovingHeadOn", {-3, 0, 0}, {-0.25f, 0, 0}, 0.5f, {3, 0, 0}, {0.25f, 0, 0}, 0.5f, true, {1, 0, 0}, -0.5f, {-0.25f, 0, 0}},
};

class SphereSphereTest : public testing::TestWithParam<SphereSphereCase> {};

TEST_P(SphereSphereTest, NormalDepthPointAndMirror)
{
    const SphereSphereCase& c = GetParam();
    TestOutput out;
    const uint32_t n = GCollide::SphereSphere(c.previousA, c.centreA, c.radiusA, c.previousB, c.centreB, c.radiusB, &out.output);
    ASSERT_EQ(n, c.contact ? 1u : 0u);
    EXPECT_EQ(GCollide::SphereSphere(c.previousA, c.centreA, c.radiusA, c.previousB, c.centreB, c.radiusB, nullptr), n);
    TestOutput mirror;
    ASSERT_EQ(GCollide::SphereSphere(c.previousB, c.centreB, c.radiusB, c.previousA, c.centreA, c.radiusA, &mirror.output), n);
    if (!c.contact)
        return;
    ExpectNear(out.normal, c.normal);
    EXPECT_NEAR(out.depth, c.depth, 1e-4f);
    ExpectNear(out.points[0], c.point);
    EXPECT_NEAR(out.pointDepths[0], c.depth, 1e-4f);
    ExpectNear(mirror.normal, -c.normal);
    EXPECT_NEAR(mirror.depth, c.depth, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SphereSphereTest, testing::ValuesIn(sphereSphereCases),
                         [](const testing::TestParamInfo<SphereSphereCase>& info) { return std::string(info.param.name); });

struct SphereCuboidCase {
    const char* name;
    zVector previousCentre, centre;
    float radius;
    zOBB previousBox, box;
    bool contact;
    zVector normal;
    float depth;
    zVector point;
};

// Names the case in test listings and failure messages.
void PrintTo(const SphereCuboidCase& c, std::ostream* out)
{
    *out << c.name;
}

const zOBB cube2 = MakeBox({0, 0, 0}, {2, 2, 2});
const zOBB tallTurned = MakeBox({0, 0, 0}, {4, 2, 2}, zMatrix3::RotationZ(float(M_PI / 2)));
const float edgeDepth = -(0.5f - std::sqrt(0.18f));

const SphereCuboidCase sphereCuboidCases[] = {
    {"Face", {3, 0, 0}, {1.4f, 0, 0}, 0.5f, cube2, cube2, true, {-1, 0, 0}, -0.1f, {2.5f, 0, 0}},
    {"Separated", {3, 0, 0}, {1.6f, 0, 0}, 0.5f, cube2, cube2, false, {}, 0, {}},
    {"Edge", {3, 3, 0}, {1.3f, 1.3f, 0}, 0.5f, cube2, cube2, true, {-1 / Root2, -1 / Root2, 0}, edgeDepth,
     {3 - 0.5f / Root2, 3 - 0.5f / Root2, 0}},
    {"CentreInside", {3, 0, 0}, {0.5f, 0, 0}, 0.5f, cube2, cube2, true, {-1, 0, 0}, -0.5f, {2.5f, 0, 0}},
    {"NoRelativeMotion", {1.4f, 0, 0}, {1.4f, 0, 0}, 0.5f, cube2, cube2, false, {}, 0, {}},
    {"TurnedBox", {0, 5, 0}, {0, 2.3f, 0}, 0.5f, tallTurned, tallTurned, true, {0, -1, 0}, -0.2f, {0, 4.5f, 0}},
    {"BoxMovesIntoSphere", {3, 0, 0}, {3, 0, 0}, 0.5f, cube2, MakeBox({1.7f, 0, 0}, {2, 2, 2}), true, {-1, 0, 0}, -0.2f,
     {2.5f, 0, 0}},
};

class SphereCuboidTest : public testing::TestWithParam<SphereCuboidCase> {};

TEST_P(SphereCuboidTest, NormalDepthAndPoint)
{
    const SphereCuboidCase& c = GetParam();
    TestOutput out;
    const uint32_t n = GCollide::SphereCuboid(c.previousCentre, c.centre, c.radius, c.previousBox, c.box, &out.output);
    ASSERT_EQ(n, c.contact ? 1u : 0u);
    EXPECT_EQ(GCollide::SphereCuboid(c.previousCentre, c.centre, c.radius, c.previousBox, c.box, nullptr), n);
    if (!c.contact)
        return;
    ExpectNear(out.normal, c.normal);
    EXPECT_NEAR(out.depth, c.depth, 1e-4f);
    ExpectNear(out.points[0], c.point);
    EXPECT_NEAR(out.pointDepths[0], c.depth, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SphereCuboidTest, testing::ValuesIn(sphereCuboidCases),
                         [](const testing::TestParamInfo<SphereCuboidCase>& info) { return std::string(info.param.name); });

// A rotation that points the body diagonal (1, 1, 1) of a box straight down.
zMatrix3 DiagonalDown()
{
    const float a = std::sqrt(2.0f / 3.0f);
    const float b = 1.0f / Root3;
    const zVector r0(a, -b, 0);
    const zVector r1(-a / 2, -b, 1 / Root2);
    zMatrix3 m;
    m.SetRows(r0, r1, r0.Cross(r1));
    return m;
}

struct CuboidCuboidCase {
    const char* name;
    zOBB a, b;
    bool contact;
    zVector normal;
    float depth;
    std::vector<zVector> points;
};

const std::vector<CuboidCuboidCase>& CuboidCases()
{
    static const std::vector<CuboidCuboidCase> cases = {
        {"Separated", cube2, MakeBox({2.5f, 0, 0}, {2, 2, 2}), false, {}, 0, {}},
        {"FacesTouching", cube2, MakeBox({2, 0, 0}, {2, 2, 2}), true, {1, 0, 0}, 0, {{1, 1, 1}, {1, -1, 1}, {1, 1, -1}, {1, -1, -1}}},
        {"Stacked", cube2, MakeBox({0, 1.9f, 0}, {2, 2, 2}), true, {0, 1, 0}, -0.1f,
         {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
        {"StackedOffset", cube2, MakeBox({1, 1.9f, 0}, {2, 2, 2}), true, {0, 1, 0}, -0.1f,
         {{0, 1, 1}, {1, 1, 1}, {1, 1, -1}, {0, 1, -1}}},
        {"EdgeOnFace", cube2, MakeBox({0, 1 + Root2 - 0.1f, 0}, {2, 2, 2}, zMatrix3::RotationZ(float(M_PI / 4))), true, {0, 1, 0},
         -0.1f, {{0, 0.9f, 1}, {0, 0.9f, -1}}},
        // Deeper than the thin box is wide: all its corners reach into the
        // other, and its face turned towards it makes the contact.
        {"DeepOverlap", MakeBox({0, 0, 0}, {0.5f, 2, 2}), MakeBox({0.3f, 0, 0}, {2, 2, 2}), true, {1, 0, 0}, -0.95f,
         {{0.25f, 1, 1}, {0.25f, -1, 1}, {0.25f, 1, -1}, {0.25f, -1, -1}}},
        {"VertexOnFace", cube2, MakeBox({0, 1 + Root3 - 0.1f, 0}, {2, 2, 2}, DiagonalDown()), true, {0, 1, 0}, -0.1f,
         {{0, 0.9f, 0}}},
    };
    return cases;
}

TEST(CuboidCuboidTest, NormalDepthPointsAndMirror)
{
    for (const CuboidCuboidCase& c : CuboidCases()) {
        SCOPED_TRACE(c.name);
        TestOutput out;
        const uint32_t n = GCollide::CuboidCuboid(c.a, c.b, &out.output);
        EXPECT_EQ(n, uint32_t(c.points.size()));
        EXPECT_EQ(GCollide::CuboidCuboid(c.a, c.b, nullptr), c.contact ? 1u : 0u);
        TestOutput mirror;
        const uint32_t m = GCollide::CuboidCuboid(c.b, c.a, &mirror.output);
        EXPECT_EQ(m, n);
        if (!c.contact)
            continue;
        ExpectNear(out.normal, c.normal);
        EXPECT_NEAR(out.depth, c.depth, 1e-4f);
        EXPECT_TRUE(SamePointSet(out.Points(n), c.points));
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_NEAR(out.pointDepths[i], c.depth, 1e-4f);
        ExpectNear(mirror.normal, -c.normal);
        EXPECT_NEAR(mirror.depth, c.depth, 1e-4f);
        if (std::string(c.name) == "DeepOverlap") {
            EXPECT_TRUE(SamePointSet(mirror.Points(m), c.points));
        }
        // The mirrored points lie on the other box's side of the overlap.
        for (uint32_t i = 0; i < m; ++i)
            EXPECT_LE(std::fabs((mirror.points[i] - out.points[0]).Dot(c.normal)), std::fabs(c.depth) + 1e-4f);
    }
}

TEST(CuboidCuboidTest, FaceContactsStayWithinEightDistinctPoints)
{
    // A smaller box turned a little on a larger one: its clipped face edges
    // give more end points than the limit.
    const zOBB floor = MakeBox({0, 0, 0}, {4, 2, 4});
    const zOBB top = MakeBox({0.3f, 1.45f, 0.2f}, {2, 1, 2}, zMatrix3::FromEuler(0.0f, 0.3f, 0.0f, RotationOrderYXZ));
    TestOutput out(32);
    const uint32_t n = GCollide::CuboidCuboid(floor, top, &out.output);
    ASSERT_GE(n, 1u);
    EXPECT_LE(n, GCollide::ConvexPointCapacity);
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t k = i + 1; k < n; ++k)
            EXPECT_GE(VectorDistanceSquared(out.points[i], out.points[k]), 0.001f);
    }
    ExpectNear(out.normal, {0, 1, 0});
    EXPECT_NEAR(out.depth, -0.05f, 1e-4f);

    TestOutput one(1);
    EXPECT_EQ(GCollide::CuboidCuboid(floor, top, &one.output), 1u);
}

// Box b resting on box a, faces nearly or exactly coincident: the contact is
// the overlap of the two faces, one point per corner of it, whatever the
// rounding of equal extents. Points are given across the faces (x, z).
struct FaceOnFaceCase {
    const char* name;
    zVector sizeA;
    zVector sizeB;
    // Offset of b's centre from resting exactly on a, and b's turn about y
    // and tilt about z.
    zVector offset;
    float turn;
    float tilt;
    std::vector<std::pair<float, float>> points;
    float tolerance;
};

// Names the case in test listings and failure messages.
void PrintTo(const FaceOnFaceCase& c, std::ostream* out)
{
    *out << c.name;
}

const FaceOnFaceCase faceOnFaceCases[] = {
    {"EqualAligned", {1, 1, 1}, {1, 1, 1}, {}, 0, 0, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 1e-4f},
    {"EqualTinyOffset", {1, 1, 1}, {1, 1, 1}, {1e-4f, 0, -7e-5f}, 0, 0,
     {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 2e-4f},
    {"EqualOffsetAlongX", {1, 1, 1}, {1, 1, 1}, {0.3f, 0, 0}, 0, 0, {{-0.2f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.2f, 0.5f}}, 1e-4f},
    // The overlap's corner (-0.2, -0.2) is a corner of b's face only.
    {"EqualDiagonalOffset", {1, 1, 1}, {1, 1, 1}, {0.3f, 0, 0.3f}, 0, 0,
     {{-0.2f, -0.2f}, {0.5f, -0.2f}, {0.5f, 0.5f}, {-0.2f, 0.5f}}, 1e-4f},
    {"EqualTurnedSlightly", {1, 1, 1}, {1, 1, 1}, {}, 0.004f, 0, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 3e-3f},
    {"EqualTiltedSlightly", {1, 1, 1}, {1, 1, 1}, {}, 0, 0.002f, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 3e-3f},
    {"SmallOnLarge", {2, 1, 2}, {1, 1, 1}, {}, 0, 0, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 1e-4f},
    {"LargeOnSmall", {1, 1, 1}, {2, 1, 2}, {}, 0, 0, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}, 1e-4f},
    {"SmallOverhangingLarge", {2, 1, 2}, {1, 0.5f, 1}, {0.8f, 0, 0.1f}, 0, 0, {{0.3f, -0.4f}, {1, -0.4f}, {1, 0.6f}, {0.3f, 0.6f}}, 1e-4f},
    {"SmallTurnedOnLarge", {4, 1, 4}, {1, 1, 1}, {0.2f, 0, 0.1f}, 0.3f, 0, {}, 1e-4f},
};

class FaceOnFaceTest : public testing::TestWithParam<FaceOnFaceCase> {};

TEST_P(FaceOnFaceTest, TheOverlapOfTheFacesGivesOnePointPerCorner)
{
    const FaceOnFaceCase& c = GetParam();
    // Well away from the origin, where equal extents round unequally.
    const zVector base(37.35f, 12.5f, -21.7f);
    const float depth = -0.01f;
    const zOBB a = MakeBox(base, c.sizeA);
    const zVector centreB = base + zVector(0, (c.sizeA.y + c.sizeB.y) * 0.5f + depth, 0) + c.offset;
    const zOBB b = MakeBox(centreB, c.sizeB, zMatrix3::RotationZ(c.tilt) * zMatrix3::FromEuler(0, c.turn, 0, RotationOrderYXZ));
    std::vector<std::pair<float, float>> expected = c.points;
    if (expected.empty()) {
        // The turned face lies inside: its own corners.
        const zVector h = c.sizeB * 0.5f;
        for (const auto& [sx, sz] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}}) {
            const zVector corner = zVector(sx * h.x, 0, sz * h.z).Rotate(b.orientation);
            expected.push_back({c.offset.x + corner.x, c.offset.z + corner.z});
        }
    }
    for (const bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "b against a" : "a against b");
        TestOutput out;
        const uint32_t n = mirrored ? GCollide::CuboidCuboid(b, a, &out.output) : GCollide::CuboidCuboid(a, b, &out.output);
        ASSERT_EQ(n, expected.size());
        ExpectNear(out.normal, zVector(0, mirrored ? -1.0f : 1.0f, 0), 5e-3f);
        EXPECT_NEAR(out.depth, depth, 2e-3f);
        const float top = base.y + c.sizeA.y * 0.5f;
        for (uint32_t i = 0; i < n; ++i) {
            const zVector p = out.points[i] - base;
            EXPECT_GE(p.y + base.y, top + depth - 2e-3f);
            EXPECT_LE(p.y + base.y, top + 2e-3f);
            const bool listed = std::any_of(expected.begin(), expected.end(), [&](const std::pair<float, float>& e) {
                return std::fabs(p.x - e.first) <= c.tolerance && std::fabs(p.z - e.second) <= c.tolerance;
            });
            EXPECT_TRUE(listed) << "unexpected point (" << p.x << ", " << p.z << ")";
            for (uint32_t k = 0; k < i; ++k)
                EXPECT_GE(VectorDistanceSquared(out.points[i], out.points[k]), 0.001f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FaceOnFaceTest, testing::ValuesIn(faceOnFaceCases),
                         [](const testing::TestParamInfo<FaceOnFaceCase>& info) { return std::string(info.param.name); });

struct BoxPolygonFixture {
    std::vector<zVector> pool;
    std::vector<int32_t> indices;

    void Square(float half, float y)
    {
        pool = {{-half, y, -half}, {half, y, -half}, {half, y, half}, {-half, y, half}};
        indices = {0, 1, 2, 3};
    }
    void Circle(uint32_t n, float radius, float y)
    {
        pool.clear();
        indices.clear();
        for (uint32_t i = 0; i < n; ++i) {
            const float angle = float(2 * M_PI) * float(i) / float(n);
            pool.push_back({radius * std::cos(angle), y, -radius * std::sin(angle)});
            indices.push_back(int32_t(i));
        }
    }
    uint32_t Test(const zOBB& box, GColContactOutput* output, const zMatrix4& world = zMatrix4()) const
    {
        return GCollide::OBBOverlapPolygon(box, world, pool.data(), indices.data(), uint32_t(indices.size()), output);
    }
};

TEST(OBBPolygonTest, BoxAgainstAFloorPolygon)
{
    struct Case {
        const char* name;
        zOBB box;
        bool contact;
        zVector normal;
        float depth;
        std::vector<zVector> points;
    };
    const Case cases[] = {
        {"Resting", MakeBox({0, 0.9f, 0}, {2, 2, 2}), true, {0, -1, 0}, 0.1f, {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}}},
        {"Above", MakeBox({0, 1.1f, 0}, {2, 2, 2}), false, {}, 0, {}},
        {"EdgeDown", MakeBox({0, Root2 - 0.1f, 0}, {2, 2, 2}, zMatrix3::RotationZ(float(M_PI / 4))), true, {0, -1, 0}, 0.1f,
         {{-0.1f, 0, -1}, {0.1f, 0, -1}, {0.1f, 0, 1}, {-0.1f, 0, 1}}},
    };
    BoxPolygonFixture floor;
    floor.Square(5.0f, 0.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestOutput out(32);
        const uint32_t n = floor.Test(c.box, &out.output);
        EXPECT_EQ(n, uint32_t(c.points.size()));
        EXPECT_EQ(floor.Test(c.box, nullptr), c.contact ? 1u : 0u);
        if (!c.contact)
            continue;
        ExpectNear(out.normal, c.normal);
        EXPECT_NEAR(out.depth, c.depth, 1e-4f);
        EXPECT_TRUE(SamePointSet(out.Points(n), c.points, 2e-4f));
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_NEAR(out.pointDepths[i], c.depth, 1e-4f);
    }

    // The same floor moved by the mesh's world matrix.
    zMatrix4 world;
    world.SetRow(3, zVector(10, 0, 0), true);
    TestOutput moved(32);
    EXPECT_EQ(floor.Test(MakeBox({10, 0.9f, 0}, {2, 2, 2}), &moved.output, world), 4u);
    EXPECT_TRUE(SamePointSet(moved.Points(4), {{9, 0, -1}, {11, 0, -1}, {11, 0, 1}, {9, 0, 1}}));
}

TEST(OBBPolygonTest, OversizedPolygonsAndClippingOverflowAreBounded)
{
    BoxPolygonFixture big;
    big.Circle(65, 0.5f, 0.0f);
    {
        LogCapture capture;
        TestOutput out(32);
        EXPECT_EQ(big.Test(MakeBox({0, 0.9f, 0}, {2, 2, 2}), &out.output), 0u);
        EXPECT_TRUE(capture.Contains("[*] GCollide::OBBOverlapPolygon ("));
        EXPECT_TRUE(capture.Contains("polygon vertex count exceeds internal OBB SAT limit (n = 65)."));
    }
    BoxPolygonFixture many;
    many.Circle(40, 0.5f, 0.0f);
    LogCapture capture;
    TestOutput out(32);
    const uint32_t n = many.Test(MakeBox({0, 0.9f, 0}, {2, 2, 2}), &out.output);
    EXPECT_TRUE(capture.Contains("OBB/Poly contact overflow."));
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, 32u);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_NEAR(out.points[i].y, 0.0f, 1e-5f);
}

struct SpherePolygonCase {
    const char* name;
    zVector previous, centre;
    bool contact;
    zVector normal;
    float depth;
    zVector point;
};

TEST(SpherePolygonTest, FaceEdgeAwayAndBelow)
{
    const float edgeLength = std::sqrt(0.5f);
    const SpherePolygonCase cases[] = {
        {"Face", {0, 3, 0}, {0, 0.6f, 0}, true, {0, 1, 0}, 0.4f, {0, 0, 0}},
        {"MovingAway", {0, 0.5f, 0}, {0, 0.6f, 0}, false, {}, 0, {}},
        {"BeyondTheEdge", {6, 3, 0}, {5.5f, 0.5f, 0}, true, zVector(1, 3, 0).Normalized(), 1 - edgeLength, {5, 0, 0}},
        {"TooFarBeyondTheEdge", {7, 3, 0}, {6.1f, 0.5f, 0}, false, {}, 0, {}},
        {"BelowThePlane", {0, 0.5f, 0}, {0, -0.2f, 0}, false, {}, 0, {}},
        {"OutOfReach", {0, 3, 0}, {0, 1.0f, 0}, false, {}, 0, {}},
    };
    // Facing up: (V1 - V0) x (V2 - V0) is +y.
    const std::vector<zVector> pool = {{-5, 0, -5}, {-5, 0, 5}, {5, 0, 5}, {5, 0, -5}};
    const int32_t indices[4] = {0, 1, 2, 3};
    for (const SpherePolygonCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestOutput out(1);
        const uint32_t n =
            GCollide::SpherePolygon(c.previous, c.centre, 1.0f, pool.data(), indices, 4, zVector(0, 1, 0), 0.0f, &out.output);
        ASSERT_EQ(n, c.contact ? 1u : 0u);
        if (!c.contact)
            continue;
        ExpectNear(out.normal, c.normal);
        EXPECT_NEAR(out.depth, c.depth, 1e-4f);
        ExpectNear(out.points[0], c.point);
        EXPECT_NEAR(out.pointDepths[0], c.depth, 1e-4f);
    }
}

// Items holding one shape each, placed like the rigid-body world places them.
struct ShapePair {
    GColItem first;
    GColItem second;
    GCollide world;
};

TEST(CollideShapesTest, DispatchOrdersByKindAndMirrorsSameKinds)
{
    ShapePair p;
    const zVector size(2, 2, 2);
    GColShape* box = p.first.AddCuboidShape(&size);
    GColShape* ball = p.second.AddSphereShape(0.5f);
    p.first.SetTransformation(zVector(0, 0, 0));
    p.second.SetTransformation(zVector(3, 0, 0));
    p.second.SetTransformation(zVector(1.4f, 0, 0));
    p.first.UpdateBounds(p.first.bounds);
    p.second.UpdateBounds(p.second.bounds);

    ContactBuffers one;
    ContactBuffers other;
    ASSERT_TRUE(p.world.CollideShapes(box, ball, &one.buffer));
    ASSERT_TRUE(p.world.CollideShapes(ball, box, &other.buffer));
    for (ContactBuffers* b : {&one, &other}) {
        ASSERT_EQ(b->buffer.nodeCount, 1u);
        EXPECT_EQ(b->nodes[0].shapeA, ball);
        EXPECT_EQ(b->nodes[0].shapeB, box);
        ExpectNear(b->nodes[0].normal, {-1, 0, 0});
        EXPECT_NEAR(b->nodes[0].depth, -0.1f, 1e-4f);
        ASSERT_EQ(b->nodes[0].pointCount, 1u);
        ExpectNear(b->points[b->nodes[0].firstPoint].position, {2.5f, 0, 0});
    }

    // Inactive shapes and boxes apart never touch.
    ball->Active = 0;
    EXPECT_FALSE(p.world.CollideShapes(box, ball, nullptr));
    ball->Active = 1;
    p.second.SetTransformation(zVector(8, 0, 0));
    p.second.SetTransformation(zVector(7, 0, 0));
    p.second.UpdateBounds(p.second.bounds);
    EXPECT_FALSE(p.world.CollideShapes(box, ball, nullptr));

    // Two boxes: the first shape given is shape a, and the normal points from it.
    ShapePair boxes;
    GColShape* lower = boxes.first.AddCuboidShape(&size);
    GColShape* upper = boxes.second.AddCuboidShape(&size);
    boxes.first.SetTransformation(zVector(0, 0, 0), nullptr, nullptr, true);
    boxes.second.SetTransformation(zVector(0, 1.9f, 0));
    ContactBuffers up;
    ContactBuffers down;
    ASSERT_TRUE(boxes.world.CollideShapes(lower, upper, &up.buffer));
    ASSERT_TRUE(boxes.world.CollideShapes(upper, lower, &down.buffer));
    ExpectNear(up.nodes[0].normal, {0, 1, 0});
    ExpectNear(down.nodes[0].normal, {0, -1, 0});
    EXPECT_EQ(up.nodes[0].shapeA, lower);
    EXPECT_EQ(down.nodes[0].shapeA, upper);
    EXPECT_EQ(up.nodes[0].pointCount, 4u);
}

struct MeshScene {
    GCollide world;
    GColItem meshItem;
    GColItem other;
    GColShape* mesh = nullptr;
    std::unique_ptr<TestMesh> data;

    explicit MeshScene(std::unique_ptr<TestMesh> m) : data(std::move(m))
    {
        mesh = meshItem.AddShape();
        mesh->type = GColShapeMesh;
    }
    bool Collide(GColShape* shape, GColContactBuffer* buffer)
    {
        return world.CollideMeshGeometry(shape, mesh, data->geometry, data->tree, buffer);
    }
};

TEST(MeshCollisionTest, BoxRestingOnATwoTriangleFloorMergesIntoOneNode)
{
    for (float x : {0.0f, 10.0f}) {
        SCOPED_TRACE(x);
        MeshScene s(MakeFloor(5.0f));
        s.meshItem.SetTransformation(zVector(x, 0, 0), nullptr, nullptr, true);
        const zVector size(2, 2, 2);
        GColShape* box = s.other.AddCuboidShape(&size);
        s.other.SetTransformation(zVector(x, 0.95f, 0));
        ContactBuffers b;
        ASSERT_TRUE(s.Collide(box, &b.buffer));
        ASSERT_EQ(b.buffer.nodeCount, 1u);
        EXPECT_EQ(b.nodes[0].shapeA, box);
        EXPECT_EQ(b.nodes[0].shapeB, s.mesh);
        ExpectNear(b.nodes[0].normal, {0, -1, 0});
        EXPECT_NEAR(b.nodes[0].depth, -0.05f, 1e-4f);
        EXPECT_TRUE(SamePointSet(b.NodePoints(0), {{x - 1, 0, -1}, {x + 1, 0, -1}, {x + 1, 0, 1}, {x - 1, 0, 1}}, 2e-4f));

        // Without points each triangle is its own node.
        ContactBuffers nodesOnly(16, 0);
        ASSERT_TRUE(s.Collide(box, &nodesOnly.buffer));
        EXPECT_EQ(nodesOnly.buffer.nodeCount, 2u);
        EXPECT_TRUE(s.Collide(box, nullptr));

        s.other.SetTransformation(zVector(x, 1.05f, 0));
        EXPECT_FALSE(s.Collide(box, nullptr));
    }
}

TEST(MeshCollisionTest, SphereAgainstATurnedMesh)
{
    MeshScene s(MakeFloor(5.0f));
    // The floor turned into a wall at x = 0 facing -x.
    const zMatrix3 turn = zMatrix3::RotationZ(float(M_PI / 2));
    s.meshItem.SetTransformation(zVector(0, 0, 0), &turn, nullptr, true);
    GColShape* ball = s.other.AddSphereShape(1.0f);
    // Off the floor's diagonal, so that one triangle is hit.
    s.other.SetTransformation(zVector(-3, 0.5f, 2));
    s.other.SetTransformation(zVector(-0.6f, 0.5f, 2));
    s.other.UpdateBounds(s.other.bounds);
    ContactBuffers b;
    ASSERT_TRUE(s.Collide(ball, &b.buffer));
    ASSERT_EQ(b.buffer.nodeCount, 1u);
    // From the ball towards the wall, as for the other pairs.
    ExpectNear(b.nodes[0].normal, {1, 0, 0});
    EXPECT_NEAR(b.nodes[0].depth, -0.4f, 1e-4f);
    ASSERT_EQ(b.nodes[0].pointCount, 1u);
    ExpectNear(b.points[b.nodes[0].firstPoint].position, {0, 0.5f, 2});
}

// Many small triangles under one box: a gather buffer that skipped leaves once
// full would lose most of them.
std::unique_ptr<TestMesh> DenseFloor(uint32_t side)
{
    std::vector<zVector> vertices;
    std::vector<std::vector<int32_t>> polygons;
    const float step = 1.8f / float(side);
    for (uint32_t i = 0; i < side; ++i) {
        for (uint32_t k = 0; k < side; ++k) {
            const float x = -0.9f + step * float(i);
            const float z = -0.9f + step * float(k);
            const int32_t base = int32_t(vertices.size());
            vertices.push_back({x, 0, z});
            vertices.push_back({x, 0, z + step});
            vertices.push_back({x + step, 0, z + step});
            polygons.push_back({base, base + 1, base + 2});
        }
    }
    return std::make_unique<TestMesh>(vertices, polygons);
}

TEST(MeshCollisionTest, DenseMeshesAreGatheredInBatches)
{
    MeshScene s(DenseFloor(50));
    const zVector size(2, 2, 2);
    GColShape* box = s.other.AddCuboidShape(&size);
    s.other.SetTransformation(zVector(0, 0.95f, 0));
    ContactBuffers b(4096, 0);
    ASSERT_TRUE(s.Collide(box, &b.buffer));
    EXPECT_EQ(b.buffer.nodeCount, 2500u);
    EXPECT_FALSE(b.buffer.overflowed);
}

TEST(MeshCollisionTest, FullBuffersStopWritingAndWarnOnce)
{
    MeshScene s(DenseFloor(20));
    const zVector size(2, 2, 2);
    GColShape* box = s.other.AddCuboidShape(&size);
    s.other.SetTransformation(zVector(0, 0.95f, 0));
    LogCapture capture;
    ContactBuffers nodes(3, 0);
    EXPECT_TRUE(s.Collide(box, &nodes.buffer));
    EXPECT_EQ(nodes.buffer.nodeCount, 3u);
    EXPECT_TRUE(nodes.buffer.overflowed);

    // Merged nodes fill the point buffer instead.
    ContactBuffers points(8, 5);
    EXPECT_TRUE(s.Collide(box, &points.buffer));
    EXPECT_EQ(points.buffer.pointCount, 5u);
    uint32_t total = 0;
    for (uint32_t i = 0; i < points.buffer.nodeCount; ++i)
        total += points.nodes[i].pointCount;
    EXPECT_EQ(total, 5u);
    int warnings = 0;
    for (const std::string& line : capture.lines)
        warnings += line.find("Contact buffer full") != std::string::npos ? 1 : 0;
    EXPECT_EQ(warnings, 2);
}

TEST(MeshCollisionTest, LargePolygonsCollideThroughTheirFanTriangles)
{
    std::vector<zVector> vertices;
    std::vector<int32_t> ring;
    for (int i = 0; i < 100; ++i) {
        const float angle = float(2 * M_PI) * float(i) / 100.0f;
        vertices.push_back({5 * std::cos(angle), 0, -5 * std::sin(angle)});
        ring.push_back(i);
    }
    MeshScene s(std::make_unique<TestMesh>(vertices, std::vector<std::vector<int32_t>>{ring}));
    const zVector size(2, 2, 2);
    GColShape* box = s.other.AddCuboidShape(&size);
    s.other.SetTransformation(zVector(0, 0.95f, 0));
    LogCapture capture;
    ContactBuffers b;
    ASSERT_TRUE(s.Collide(box, &b.buffer));
    EXPECT_FALSE(capture.Contains("exceeds internal OBB SAT limit"));
    ASSERT_GE(b.buffer.nodeCount, 1u);
    ExpectNear(b.nodes[0].normal, {0, -1, 0}, 1e-3f);
    EXPECT_NEAR(b.nodes[0].depth, -0.05f, 1e-4f);
}


// Meshes that are large where the load's passes could cost the square of a
// count: one polygon of 60,000 corners, a strip of 70,000 vertices, and
// 20,000 triangles without area at one point beside a floor. A box resting on
// each touches it through the mesh shape's own tree.
struct HeavyMeshCase {
    const char* name;
    std::function<std::unique_ptr<TestMesh>()> make;
};

void PrintTo(const HeavyMeshCase& c, std::ostream* out)
{
    *out << c.name;
}

const HeavyMeshCase heavyMeshCases[] = {
    {"PolygonOf60000Corners", [] {
         std::vector<zVector> vertices;
         std::vector<int32_t> ring;
         for (int i = 0; i < 60000; ++i) {
             const float angle = float(2 * M_PI) * float(i) / 60000.0f;
             vertices.push_back({5 * std::cos(angle), 0, -5 * std::sin(angle)});
             ring.push_back(i);
         }
         return std::make_unique<TestMesh>(vertices, std::vector<std::vector<int32_t>>{ring});
     }},
    {"StripOf70000Vertices", [] {
         std::vector<zVector> vertices;
         std::vector<std::vector<int32_t>> quads;
         for (int i = 0; i < 35000; ++i) {
             vertices.push_back({float(i) * 0.01f - 5, 0, -1});
             vertices.push_back({float(i) * 0.01f - 5, 0, 1});
             if (i > 0)
                 quads.push_back({2 * i - 2, 2 * i - 1, 2 * i + 1, 2 * i});
         }
         return std::make_unique<TestMesh>(vertices, quads);
     }},
    {"DegenerateTrianglesBesideAFloor", [] {
         std::vector<zVector> vertices{{-5, 0, -5}, {-5, 0, 5}, {5, 0, 5}, {5, 0, -5}, {0.2f, 0, 0.3f}};
         std::vector<std::vector<int32_t>> polygons{{0, 1, 2}, {0, 2, 3}};
         for (int i = 0; i < 20000; ++i)
             polygons.push_back({4, 4, 4});
         return std::make_unique<TestMesh>(vertices, polygons);
     }},
};

class HeavyMeshTest : public testing::TestWithParam<HeavyMeshCase> {};

TEST_P(HeavyMeshTest, ABoxRestingOnItTouchesIt)
{
    std::unique_ptr<TestMesh> mesh = GetParam().make();
    ASSERT_TRUE(mesh->geometry.ComputePolygonNormal());
    ASSERT_TRUE(mesh->geometry.ComputeVertexToVertex());
    ASSERT_TRUE(mesh->geometry.FlagHomogeneousVertex(-1));
    GCollide world;
    GColItem meshItem;
    GColItem boxItem;
    ASSERT_NE(meshItem.AddMeshShape(&mesh->geometry), nullptr);
    const zVector unit(1, 1, 1);
    boxItem.AddCuboidShape(&unit);
    meshItem.SetTransformation(zVector(0, 0, 0), nullptr, nullptr, true);
    boxItem.SetTransformation(zVector(0.3f, 0.45f, 0.2f), nullptr, nullptr, true);
    world.AddItem(&meshItem);
    world.AddItem(&boxItem);
    ContactBuffers b;
    EXPECT_GE(world.Detect(b.nodes.data(), uint32_t(b.nodes.size()), b.points.data(), uint32_t(b.points.size())), 1u);
    EXPECT_EQ(boxItem.touching, 1);
    EXPECT_EQ(meshItem.touching, 1);
    world.RemoveItem(&meshItem);
    world.RemoveItem(&boxItem);
}

INSTANTIATE_TEST_SUITE_P(Meshes, HeavyMeshTest, testing::ValuesIn(heavyMeshCases),
                         [](const testing::TestParamInfo<HeavyMeshCase>& info) { return std::string(info.param.name); });

// Every pair kind the narrow phase produces, as the rigid-body world reads
// it: the node normal points from shape a towards shape b and an overlap
// has a depth of 0 or below, so that normal x depth moves shape a out.
enum class Kind { Sphere, Box, Mesh };

struct SignCase {
    const char* name;
    // The upper shape comes down 5 cm into the lower one, whose top is at y = 0.
    Kind upper;
    Kind lower;
};

void PrintTo(const SignCase& c, std::ostream* out)
{
    *out << c.name;
}

const SignCase signCases[] = {
    {"SphereOnSphere", Kind::Sphere, Kind::Sphere}, {"SphereOnBox", Kind::Sphere, Kind::Box},
    {"BoxOnSphere", Kind::Box, Kind::Sphere},       {"BoxOnBox", Kind::Box, Kind::Box},
    {"SphereOnMesh", Kind::Sphere, Kind::Mesh},     {"BoxOnMesh", Kind::Box, Kind::Mesh},
};

class ContactSignTest : public testing::TestWithParam<SignCase> {};

TEST_P(ContactSignTest, NormalPointsFromShapeAToShapeBAndDepthIsNotPositive)
{
    const SignCase& c = GetParam();
    std::unique_ptr<TestMesh> floor = MakeFloor(5.0f);
    GCollide world;
    GColItem upperItem;
    GColItem lowerItem;
    const zVector unit(1, 1, 1);
    const auto add = [&](GColItem& item, Kind kind) {
        return kind == Kind::Sphere ? item.AddSphereShape(0.5f)
             : kind == Kind::Box    ? item.AddCuboidShape(&unit)
                                    : item.AddMeshShape(&floor->geometry);
    };
    GColShape* upper = add(upperItem, c.upper);
    GColShape* lower = add(lowerItem, c.lower);
    // Away from the floor's diagonal, so that one triangle is touched.
    lowerItem.SetTransformation(zVector(1, c.lower == Kind::Mesh ? 0.0f : -0.5f, -1), nullptr, nullptr, true);
    // Coming down from above, as the swept sphere tests need.
    upperItem.SetTransformation(zVector(1, 1.0f, -1), nullptr, nullptr, true);
    upperItem.SetTransformation(zVector(1, 0.45f, -1));
    upperItem.UpdateBounds(upperItem.bounds);
    lowerItem.UpdateBounds(lowerItem.bounds);

    for (const bool upperFirst : {true, false}) {
        SCOPED_TRACE(upperFirst ? "upper shape given first" : "lower shape given first");
        ContactBuffers b;
        ASSERT_TRUE(upperFirst ? world.CollideShapes(upper, lower, &b.buffer) : world.CollideShapes(lower, upper, &b.buffer));
        ASSERT_GE(b.buffer.nodeCount, 1u);
        for (uint32_t i = 0; i < b.buffer.nodeCount; ++i) {
            const TauContactNode& node = b.nodes[i];
            ASSERT_TRUE(node.shapeA == upper || node.shapeA == lower);
            const float down = node.shapeA == upper ? -1.0f : 1.0f;
            ExpectNear(node.normal, {0, down, 0}, 1e-3f);
            EXPECT_NEAR(node.depth, -0.05f, 1e-3f);
            ASSERT_GE(node.pointCount, 1u);
            for (uint32_t k = 0; k < node.pointCount; ++k)
                EXPECT_LE(b.points[node.firstPoint + k].depth, 0.0f) << "point " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, ContactSignTest, testing::ValuesIn(signCases),
                         [](const testing::TestParamInfo<SignCase>& info) { return std::string(info.param.name); });

}
