#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

const zMinMax UnitBox(zVector(-1.0f, -1.0f, -1.0f), zVector(1.0f, 1.0f, 1.0f));

void ExpectVector(const zVector& v, float x, float y, float z, float w, float tolerance = 1e-6f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

} // namespace

TEST(zMinMaxSlab, EntryAndExitAlongTheRay)
{
    struct Case {
        zVector origin, direction;
        bool hit;
        float entry, exit;
    };
    const Case cases[] = {
        {{-3.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, true, 2.0f, 4.0f},
        {{-3.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}, true, 1.0f, 2.0f},
        {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, true, 0.0f, 1.0f},         // inside: entry stays 0
        {{-3.0f, 0.0f, 0.0f}, {-1.0f, 0.0f, 0.0f}, false, 0.0f, 0.0f},       // box behind the ray
        {{-3.0f, 2.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, false, 0.0f, 0.0f},        // parallel, outside in y
        {{-3.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, true, 2.0f, 4.0f},         // parallel, on the face
        {{-3.0f, -3.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, true, 2.0f, 4.0f},
        {{-3.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, false, 0.0f, 0.0f},
        {{-2.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, true, 1.0f, 1.0f},         // grazes the corner edge
        {{0.0f, 0.0f, 5.0f}, {0.0f, 0.0f, 1e-7f}, false, 0.0f, 0.0f},        // tiny component counts as 0
    };
    for (const Case& c : cases) {
        float entry = -7.0f;
        float exit = -7.0f;
        ASSERT_EQ(UnitBox.IntersectRaySlab(c.origin, c.direction, entry, exit), c.hit)
            << c.origin.x << "," << c.origin.y << "," << c.origin.z;
        if (c.hit) {
            EXPECT_FLOAT_EQ(entry, c.entry);
            EXPECT_FLOAT_EQ(exit, c.exit);
        }
    }
    float entry, exit;
    ASSERT_TRUE(UnitBox.IntersectRaySlab(zVector(0, 0, 0), zVector(0, 0, 0), entry, exit));
    EXPECT_EQ(entry, 0.0f);
    EXPECT_EQ(exit, FLT_MAX);
}

TEST(zMinMaxRay, HitsTheFaceFacingTheOrigin)
{
    struct Case {
        zVector origin, direction;
        bool hit;
        zVector point, normal;  // normal: the last face tried, hit or not
    };
    const Case cases[] = {
        {{-3.0f, 0.5f, 0.25f}, {1.0f, 0.0f, 0.0f}, true, {-1.0f, 0.5f, 0.25f}, {-1.0f, 0.0f, 0.0f}},
        {{3.0f, 0.0f, 0.0f}, {-2.0f, 1.0f, 0.0f}, true, {1.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
        {{0.0f, 0.0f, -4.0f}, {0.0f, 0.25f, 1.0f}, true, {0.0f, 0.75f, -1.0f}, {0.0f, 0.0f, -1.0f}},
        {{0.0f, 0.0f, 4.0f}, {0.0f, 0.0f, -1.0f}, true, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f}},
        // Outside above x and y: the x face misses, the y face is hit.
        {{2.0f, 4.0f, 0.0f}, {-1.0f, -2.0f, 0.0f}, true, {0.5f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},
        // Reaches the plane y = 1 at z = 2, beside the face.
        {{0.0f, 5.0f, 0.0f}, {0.0f, -1.0f, 0.5f}, false, {9.0f, 9.0f, 9.0f}, {0.0f, 1.0f, 0.0f}},
        // Above x and z, passing beside both faces.
        {{3.0f, 0.0f, 3.0f}, {-1.0f, 0.0f, -0.1f}, false, {9.0f, 9.0f, 9.0f}, {0.0f, 0.0f, 1.0f}},
    };
    for (const Case& c : cases) {
        zVector hit(9.0f, 9.0f, 9.0f);
        zVector normal(9.0f, 9.0f, 9.0f);
        ASSERT_EQ(UnitBox.IntersectRay(c.origin, c.direction, hit, &normal), c.hit);
        ExpectVector(hit, c.point.x, c.point.y, c.point.z, 1.0f);
        ExpectVector(normal, c.normal.x, c.normal.y, c.normal.z, 1.0f);
    }
    // The normal is optional.
    zVector hit;
    EXPECT_TRUE(UnitBox.IntersectRay(zVector(-3.0f, 0.0f, 0.0f), zVector(1.0f, 0.0f, 0.0f), hit));
}

TEST(zMinMaxRay, OriginInsideOrOnTheBoxIsTheHit)
{
    for (const zVector& origin : {zVector(0.0f, 0.5f, -0.5f, 3.0f), zVector(1.0f, 1.0f, 1.0f)}) {
        zVector hit;
        zVector normal(5.0f, 5.0f, 5.0f);
        ASSERT_TRUE(UnitBox.IntersectRay(origin, zVector(1.0f, 0.0f, 0.0f), hit, &normal));
        ExpectVector(hit, origin.x, origin.y, origin.z, 1.0f);
        ExpectVector(normal, 0.0f, 0.0f, 0.0f, 1.0f);
    }
}

TEST(zMinMaxRay, PointingAwayFromAnOutsideFaceMissesAtOnce)
{
    struct Case {
        zVector origin, direction;
    };
    const Case cases[] = {
        {{2.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
        {{-2.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},   // zero x counts as negative
        {{0.0f, 2.0f, 0.0f}, {-1.0f, 0.5f, 0.0f}},
        {{0.0f, 0.0f, -2.0f}, {0.0f, 0.0f, -1.0f}},
    };
    for (const Case& c : cases) {
        zVector hit(9.0f, 9.0f, 9.0f);
        zVector normal(9.0f, 9.0f, 9.0f);
        EXPECT_FALSE(UnitBox.IntersectRay(c.origin, c.direction, hit, &normal));
        // No face was tried.
        ExpectVector(normal, 9.0f, 9.0f, 9.0f, 1.0f);
        ExpectVector(hit, 9.0f, 9.0f, 9.0f, 1.0f);
    }
}

TEST(zMinMaxRay, ParallelToAFaceFromAboveItMisses)
{
    // Above max.x with a zero x direction: the direction code reads it as
    // negative, so the x face is tried although the ray never reaches it.
    zVector hit;
    EXPECT_FALSE(UnitBox.IntersectRay(zVector(2.0f, 0.0f, 0.0f), zVector(0.0f, 1.0f, 0.0f), hit));
    EXPECT_FALSE(UnitBox.IntersectRay(zVector(2.0f, -3.0f, 0.0f), zVector(0.0f, 1.0f, 0.0f), hit));
}

TEST(zMinMaxSegment, EndsInsideAndCrossingFaces)
{
    zVector hit;
    zVector normal(5.0f, 5.0f, 5.0f);
    ASSERT_TRUE(UnitBox.IntersectSegment(zVector(0.5f, 0.0f, 0.0f), zVector(9.0f, 9.0f, 9.0f), hit, &normal));
    ExpectVector(hit, 0.5f, 0.0f, 0.0f, 1.0f);
    ExpectVector(normal, 0.0f, 0.0f, 0.0f, 1.0f);

    normal = zVector(5.0f, 5.0f, 5.0f);
    ASSERT_TRUE(UnitBox.IntersectSegment(zVector(9.0f, 9.0f, 9.0f), zVector(0.0f, 0.5f, 0.0f), hit, &normal));
    ExpectVector(hit, 0.0f, 0.5f, 0.0f, 1.0f);
    ExpectVector(normal, 5.0f, 5.0f, 5.0f, 1.0f);  // left as it was

    ASSERT_TRUE(UnitBox.IntersectSegment(zVector(-3.0f, 0.0f, 0.5f), zVector(3.0f, 0.0f, 0.5f), hit, &normal));
    ExpectVector(hit, -1.0f, 0.0f, 0.5f, 1.0f);
    ExpectVector(normal, -1.0f, 0.0f, 0.0f, 1.0f);

    // Both ends above max.y share a region bit.
    EXPECT_FALSE(UnitBox.IntersectSegment(zVector(-3.0f, 2.0f, 0.0f), zVector(3.0f, 2.0f, 0.0f), hit, &normal));
    // Passing beside the box.
    EXPECT_FALSE(UnitBox.IntersectSegment(zVector(-3.0f, 0.0f, 0.0f), zVector(0.0f, 3.0f, 0.0f), hit, &normal));
}

TEST(zOBB, TransformAppliesOwnOrientationFirst)
{
    zOBB box;
    box.centre = zVector(1.0f, 0.0f, 0.0f);
    box.size = zVector(2.0f, 4.0f, 6.0f);
    box.orientation = zMatrix3::RotationZ(float(M_PI / 2));

    zMatrix4 m = zMatrix4::FromMatrix3(zMatrix3::FromEuler(float(M_PI / 2), 0.0f, 0.0f, RotationOrderXYZ));
    m.m[3] = 10.0f;
    m.m[7] = 20.0f;
    m.m[11] = 30.0f;
    box.Transform(m);

    // Centre: rotated about x (no change for (1, 0, 0)) plus the translation.
    ExpectVector(box.centre, 11.0f, 20.0f, 30.0f, 1.0f, 1e-5f);
    // The box's x axis goes to y by its own rotation, then to z by the matrix.
    const zVector axis = zVector(1.0f, 0.0f, 0.0f).Rotate(box.orientation);
    ExpectVector(axis, 0.0f, 0.0f, 1.0f, 1.0f, 1e-6f);
}

TEST(zOBB, BoundsOfARotatedBox)
{
    zOBB box;
    box.centre = zVector(1.0f, 2.0f, 3.0f);
    box.size = zVector(2.0f, 4.0f, 6.0f);
    const zMinMax aligned = box.GetMinMax();
    ExpectVector(aligned.min, 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVector(aligned.max, 2.0f, 4.0f, 6.0f, 1.0f);

    // 45 degrees about z: half extent in x and y is (1 + 2) / sqrt 2.
    box.orientation = zMatrix3::RotationZ(float(M_PI / 4));
    const zMinMax rotated = box.GetMinMax();
    const float e = 3.0f / std::sqrt(2.0f);
    ExpectVector(rotated.min, 1.0f - e, 2.0f - e, 0.0f, 1.0f, 1e-5f);
    ExpectVector(rotated.max, 1.0f + e, 2.0f + e, 6.0f, 1.0f, 1e-5f);
}
