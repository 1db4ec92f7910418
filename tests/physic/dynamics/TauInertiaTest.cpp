#include "core/item/zItem.h"
#include "physic/collision/GColItem.h"
#include "physic/dynamics/TauItem.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct ShapeCase {
    const char* name;
    int type;
    float mass;
    zVector dimensions;
    zVector position;
    float turnZ;
    // Expected tensor diagonal before inversion, and the pivot x.
    zVector diagonal;
    float pivotX;
};

// Names the case in test listings and failure messages.
void PrintTo(const ShapeCase& c, std::ostream* out)
{
    *out << c.name;
}

class TauInertiaTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(TauInertiaTest, TensorAndCentreOfOneShape)
{
    const ShapeCase& c = GetParam();
    GColItem collision;
    GColShape* shape = collision.AddShape();
    shape->type = c.type;
    shape->Mass = c.mass;
    shape->dimensions = c.dimensions;
    shape->position = c.position;
    shape->orientation = zMatrix3::RotationZ(c.turnZ);
    TauItem body(nullptr);
    body.ComputeInertiaTensorAndCoM(&collision);
    EXPECT_FLOAT_EQ(body.Mass, c.mass);
    EXPECT_FLOAT_EQ(body.inverseMass, 1.0f / c.mass);
    EXPECT_NEAR(body.Pivot.x, c.pivotX, 1e-6f);
    const zMatrix3& t = body.inverseInertiaTensor;
    EXPECT_NEAR(t.m[0], 1.0f / c.diagonal.x, 1e-5f);
    EXPECT_NEAR(t.m[4], 1.0f / c.diagonal.y, 1e-5f);
    EXPECT_NEAR(t.m[8], 1.0f / c.diagonal.z, 1e-5f);
    EXPECT_NEAR(t.m[1], 0.0f, 1e-5f);
    EXPECT_NEAR(t.m[5], 0.0f, 1e-5f);
}

const float HalfTurn = std::numbers::pi_v<float> / 2.0f;

INSTANTIATE_TEST_SUITE_P(
    Shapes, TauInertiaTest,
    ::testing::Values(
        ShapeCase{"Sphere", GColShapeSphere, 2.0f, {0.5f, 0.5f, 0.5f}, {0.0f, 0.0f, 0.0f}, 0.0f, {0.2f, 0.2f, 0.2f}, 0.0f},
        ShapeCase{"Cuboid", GColShapeCuboid, 12.0f, {1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, {13.0f, 10.0f, 5.0f}, 0.0f},
        ShapeCase{"TurnedCuboid", GColShapeCuboid, 12.0f, {1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 0.0f}, HalfTurn,
                  {10.0f, 13.0f, 5.0f}, 0.0f},
        // About the reference point: m (0, 1, 1) added; the pivot moves to the sphere.
        ShapeCase{"MovedSphere", GColShapeSphere, 2.0f, {0.5f, 0.5f, 0.5f}, {1.0f, 0.0f, 0.0f}, 0.0f,
                  {0.2f, 2.2f, 2.2f}, 1.0f},
        ShapeCase{"NoneIsIdentity", GColShapeNone, 3.0f, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0.0f,
                  {1.0f, 1.0f, 1.0f}, 0.0f}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });

TEST(TauInertia, SubtractIsElementByElement)
{
    zMatrix3 a;
    zMatrix3 b;
    for (int i = 0; i < 9; ++i) {
        a.m[i] = static_cast<float>(i * i);
        b.m[i] = static_cast<float>(2 * i - 3);
    }
    zMatrix3 out;
    zMatrix3::Subtract(a, b, out);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(out.m[i], static_cast<float>(i * i - (2 * i - 3))) << i;
    zMatrix3::Subtract(a, a, a);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(a.m[i], 0.0f) << i;
}

TEST(TauInertia, NoItemLeavesTheBodyAlone)
{
    LogCapture capture;
    TauItem body(nullptr);
    body.Mass = 5.0f;
    body.ComputeInertiaTensorAndCoM(nullptr);
    EXPECT_EQ(body.Mass, 5.0f);
    EXPECT_TRUE(capture.Contains("Cannot compute inertia tensor with no GColItem description.\n"));
}

TEST(TauInertia, MassLessShapesKeepAStaticBodyAndThePreviousTensor)
{
    LogCapture capture;
    GColItem collision;
    zVector size(1.0f, 1.0f, 1.0f);
    collision.AddCuboidShape(&size)->Mass = 0.0f;
    TauItem body(nullptr);
    body.inverseInertiaTensor.Set(3.0f, 0.0f, 0.0f, 0.0f, 3.0f, 0.0f, 0.0f, 0.0f, 3.0f);
    body.ComputeInertiaTensorAndCoM(&collision);
    EXPECT_EQ(body.Mass, 0.0f);
    EXPECT_EQ(body.inverseMass, 0.0f);
    EXPECT_EQ(body.Pivot.SquaredLength(), 0.0f);
    EXPECT_EQ(body.inverseInertiaTensor.m[0], 3.0f);
    EXPECT_TRUE(capture.Contains("Singular inertia tensor, previous one kept.\n"));
}

TEST(TauInertia, TwoShapesShareTheirCentre)
{
    GColItem collision;
    collision.AddSphereShape(0.5f, nullptr)->Mass = 1.0f;
    const zVector at(0.0f, 2.0f, 0.0f);
    collision.AddSphereShape(0.5f, &at)->Mass = 3.0f;
    TauItem body(nullptr);
    body.ComputeInertiaTensorAndCoM(&collision);
    EXPECT_FLOAT_EQ(body.Mass, 4.0f);
    EXPECT_FLOAT_EQ(body.Pivot.y, 1.5f);
    // x: 0.4 m r^2 per sphere plus 3 * 2^2 for the offset one.
    EXPECT_NEAR(1.0f / body.inverseInertiaTensor.m[0], 0.1f + 0.3f + 12.0f, 1e-4f);
}

TEST(TauInertia, MeshShapesWarnOncePerShape)
{
    LogCapture capture;
    GColItem collision;
    collision.AddShape()->type = GColShapeMesh;
    collision.AddShape()->type = GColShapeMesh;
    TauItem body(nullptr);
    body.ComputeInertiaTensorAndCoM(&collision);
    int warnings = 0;
    for (const std::string& line : capture.lines)
        warnings += line.find("Mesh inertia tensor UNIMPLEMENTED!") != std::string::npos ? 1 : 0;
    EXPECT_EQ(warnings, 2);
}

} // namespace
