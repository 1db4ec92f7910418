#include "MathTestSupport.h"

#include "framework/math/zFrustum.h"
#include "framework/math/zIntervals.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr float HalfPi = float(M_PI / 2);

// A 90-degree frustum from the origin along +z: |x| <= z and |y| <= z, 1 <= z <= 10.
zFrustum SquareFrustum(const zMatrix4* camera = nullptr)
{
    zFrustum f;
    f.SetPerspective(HalfPi, 1.0f, 10.0f, camera, 1.0f, 1.0f);
    return f;
}

bool StrictlyInside(const zFrustum& f, const zVector& p)
{
    for (const zPlane& plane : f.planes) {
        if (!(plane.Distance(p) < 0.0f))
            return false;
    }
    return true;
}

zVector BoxPoint(const zVector* corners, float u, float v, float w)
{
    // Trilinear blend of the eight corners in the order x fastest, then y, then z.
    zVector result(0, 0, 0);
    for (int i = 0; i < 8; ++i) {
        const float weight = ((i & 1) ? u : 1 - u) * ((i & 2) ? v : 1 - v) * ((i & 4) ? w : 1 - w);
        result = result + corners[i] * weight;
    }
    return result;
}

} // namespace

TEST(zPlane, SetWithAndWithoutMatrix)
{
    zPlane plane;
    const zVector point(0, 0, 5);
    plane.Set(&point, zVector(0, 0, 1));
    EXPECT_EQ(plane.d, -5.0f);
    EXPECT_EQ(plane.Distance(zVector(3, 4, 7)), 2.0f);

    plane.Set(nullptr, zVector(1, 0, 0));
    EXPECT_EQ(plane.d, 0.0f);
    EXPECT_TRUE(VectorNear(plane.point, 0, 0, 0, 0));

    zMatrix4 m = zMatrix4::FromMatrix3(TestRotationZ(HalfPi));
    m.SetRow(3, zVector(1, 2, 3), true);
    plane.Set(nullptr, zVector(1, 0, 0), &m);
    EXPECT_TRUE(VectorNear(plane.point, 1, 2, 3, 0));
    EXPECT_TRUE(VectorNear(plane.normal, 0, 1, 0, 1e-7f));
    EXPECT_FLOAT_EQ(plane.d, -2.0f);

    plane.Set(&point, zVector(0, 0, 1), &m);
    EXPECT_TRUE(VectorNear(plane.point, 1, 2, 8, 1e-6f));
    EXPECT_FLOAT_EQ(plane.d, -8.0f);
}

TEST(zFrustum, PerspectiveCornersAndPlanes)
{
    const zFrustum f = SquareFrustum();
    const float expected[8][3] = {
        {-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1},
        {-10, 10, 10}, {10, 10, 10}, {10, -10, 10}, {-10, -10, 10},
    };
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(VectorNear(f.corners[i], expected[i][0], expected[i][1], expected[i][2], 1e-5f)) << i;
    const float s = std::sqrt(0.5f);
    EXPECT_TRUE(VectorNear(f.planes[zFrustum::Top].normal, 0, s, -s, 1e-6f));
    EXPECT_TRUE(VectorNear(f.planes[zFrustum::Bottom].normal, 0, -s, -s, 1e-6f));
    EXPECT_TRUE(VectorNear(f.planes[zFrustum::Left].normal, -s, 0, -s, 1e-6f));
    EXPECT_TRUE(VectorNear(f.planes[zFrustum::Right].normal, s, 0, -s, 1e-6f));
    EXPECT_EQ(f.planes[zFrustum::Near].d, 1.0f);
    EXPECT_EQ(f.planes[zFrustum::Far].d, -10.0f);
    // Every corner lies on its planes.
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(f.planes[i < 4 ? zFrustum::Near : zFrustum::Far].Distance(f.corners[i]), 0.0f, 1e-5f);

    // A divisor of 2 halves the tangent on that axis.
    zFrustum wide;
    wide.SetPerspective(HalfPi, 1.0f, 10.0f, nullptr, 2.0f, 1.0f);
    EXPECT_TRUE(VectorNear(wide.corners[1], 0.5f, 1, 1, 1e-6f));
}

TEST(zFrustum, CameraMatrixMovesEverything)
{
    // Camera at (0, 0, -5) looking along +x (its z axis turned to x).
    zMatrix4 camera = zMatrix4::FromMatrix3(TestRotationY(HalfPi));
    camera.SetRow(3, zVector(0, 0, -5), true);
    const zFrustum f = SquareFrustum(&camera);
    EXPECT_TRUE(VectorNear(f.corners[0], 1, 1, -4, 1e-5f));
    EXPECT_EQ(f.ClassifySphere(zVector(5, 0, -5), 0.5f), FrustumInside);
    EXPECT_EQ(f.ClassifySphere(zVector(0, 0, 2), 0.5f), FrustumOutside);
    EXPECT_EQ(f.ClassifySphere(zVector(-5, 0, -5), 0.5f), FrustumOutside);
}

TEST(zFrustum, OrthographicBox)
{
    zFrustum f;
    f.SetOrthographic(4.0f, 2.0f, 1.0f, 5.0f, nullptr, 1.0f, 2.0f);
    // Half width 2, half height 2 (height scaled by 2).
    EXPECT_TRUE(VectorNear(f.corners[0], -2, 2, 1, 0));
    EXPECT_TRUE(VectorNear(f.corners[6], 2, -2, 5, 0));
    EXPECT_EQ(f.planes[zFrustum::Top].d, -2.0f);
    EXPECT_EQ(f.planes[zFrustum::Left].d, -2.0f);
    EXPECT_EQ(f.ClassifySphere(zVector(0, 0, 3), 1.0f), FrustumInside);
    EXPECT_EQ(f.ClassifySphere(zVector(1.5f, 0, 3), 1.0f), FrustumClipped);
    EXPECT_EQ(f.ClassifySphere(zVector(3.5f, 0, 3), 1.0f), FrustumOutside);
}

TEST(zFrustum, ClassifySphere)
{
    const zFrustum f = SquareFrustum();
    struct Case {
        zVector centre;
        float radius;
        int expected;
    };
    const Case cases[] = {
        {{0, 0, 5}, 1.0f, FrustumInside},
        {{0, 0, 5}, 6.0f, FrustumClipped},
        {{0, 0, 0.5f}, 0.25f, FrustumOutside},
        // Touching the near plane from outside: the distance equals the radius.
        {{0, 0, 0.5f}, 0.5f, FrustumClipped},
        // Touching it from inside stays inside.
        {{0, 0, 1.5f}, 0.5f, FrustumInside},
        {{0, 0, 12}, 1.0f, FrustumOutside},
        {{0, 8, 5}, 1.0f, FrustumOutside},
        {{0, 5, 5}, 1.0f, FrustumClipped},
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.ClassifySphere(c.centre, c.radius), c.expected) << c.centre.x << "," << c.centre.y << "," << c.centre.z << " r" << c.radius;
}

TEST(zFrustum, ClassifyPoints)
{
    const zFrustum f = SquareFrustum();
    const zVector inside[] = {{0, 0, 5}, {1, 1, 3}};
    const zVector mixed[] = {{0, 0, 5}, {0, 0, 20}};
    const zVector beyond[] = {{0, 0, 20}, {1, 1, 30}};
    const zVector spread[] = {{0, 0, 20}, {0, 0, 0}};  // each outside a different plane
    EXPECT_EQ(f.ClassifyPoints(0, nullptr, 0.0f), FrustumOutside);
    EXPECT_EQ(f.ClassifyPoints(2, inside, 0.0f), FrustumInside);
    EXPECT_EQ(f.ClassifyPoints(2, mixed, 0.0f), FrustumClipped);
    EXPECT_EQ(f.ClassifyPoints(2, beyond, 0.0f), FrustumOutside);
    EXPECT_EQ(f.ClassifyPoints(2, spread, 0.0f), FrustumClipped);
    // The margin moves the planes outwards.
    EXPECT_EQ(f.ClassifyPoints(2, mixed, 15.0f), FrustumInside);
}

TEST(zFrustum, ClassifyMinMaxOfAlignedBoxes)
{
    const zFrustum f = SquareFrustum();
    struct Case {
        zMinMax box;
        int expected;
    };
    const Case cases[] = {
        {{{-0.5f, -0.5f, 4}, {0.5f, 0.5f, 5}}, FrustumInside},
        {{{-0.5f, -0.5f, 8}, {0.5f, 0.5f, 12}}, FrustumClipped},
        {{{-0.5f, -0.5f, 11}, {0.5f, 0.5f, 12}}, FrustumOutside},
        {{{-50, -50, -50}, {50, 50, 50}}, FrustumClipped},
        {{{3, 3, 1}, {4, 4, 2}}, FrustumOutside},                  // beside the side planes
        {{{-1, -1, -3}, {1, 1, 0.5f}}, FrustumOutside},             // behind the near plane
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.ClassifyMinMax(c.box), c.expected) << c.box.min.x << "," << c.box.min.y << "," << c.box.min.z;
}

TEST(zFrustum, ClassifyMinMaxAgreesWithBruteForce)
{
    zMatrix4 camera = zMatrix4::FromTransformation(zVector(1, -2, 0.5f), zVector(0.2f, -0.4f, 0.1f), zVector(1, 1, 1), zVector(0, 0, 0));
    const zFrustum f = SquareFrustum(&camera);
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> depth(-2.0f, 13.0f);
    std::uniform_real_distribution<float> side(-1.3f, 1.3f);
    std::uniform_real_distribution<float> extent(0.1f, 2.5f);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    int counts[3] = {0, 0, 0};
    for (int n = 0; n < 400; ++n) {
        const zVector half(extent(random), extent(random), extent(random));
        const zMinMax box(-half, half);
        // Centres spread around the view volume, in the camera's frame.
        const float z = depth(random);
        const float reach = std::fabs(z) + 1.0f;
        const zVector centre = zVector(side(random) * reach, side(random) * reach, z).Transform(camera);
        const zMatrix4 placement = zMatrix4::FromTransformation(centre, zVector(angle(random), angle(random), angle(random)), zVector(1, 1, 1), zVector(0, 0, 0));
        const int result = f.ClassifyMinMax(box, &placement);
        ASSERT_GE(result, 0);
        ASSERT_LE(result, 2);
        ++counts[result];

        const zVector local[8] = {
            {-half.x, -half.y, -half.z}, {half.x, -half.y, -half.z}, {-half.x, half.y, -half.z}, {half.x, half.y, -half.z},
            {-half.x, -half.y, half.z}, {half.x, -half.y, half.z}, {-half.x, half.y, half.z}, {half.x, half.y, half.z},
        };
        zVector corners[8];
        placement.TransformArray4(corners, local, 8);
        bool allInside = true;
        for (const zVector& c : corners)
            allInside = allInside && StrictlyInside(f, c);
        // Inside exactly when every corner is strictly inside every plane.
        EXPECT_EQ(result == FrustumInside, allInside) << n;

        // A sampled point common to both proves they meet; they then cannot be apart.
        const zMatrix4 toBox = placement.InverseAffine();
        const zVector frustumCorners[8] = {f.corners[3], f.corners[2], f.corners[0], f.corners[1],
                                           f.corners[7], f.corners[6], f.corners[4], f.corners[5]};
        bool meet = false;
        for (int i = 0; i <= 8 && !meet; ++i) {
            for (int j = 0; j <= 8 && !meet; ++j) {
                for (int k = 0; k <= 8 && !meet; ++k) {
                    const float u = float(i) / 8, v = float(j) / 8, w = float(k) / 8;
                    if (StrictlyInside(f, BoxPoint(corners, u, v, w)))
                        meet = true;
                    const zVector p = BoxPoint(frustumCorners, u, v, w).Transform(toBox);
                    if (std::fabs(p.x) < half.x && std::fabs(p.y) < half.y && std::fabs(p.z) < half.z)
                        meet = true;
                }
            }
        }
        if (meet) {
            EXPECT_NE(result, FrustumOutside) << n;
        }
    }
    // The sample covers all three answers.
    EXPECT_GT(counts[FrustumOutside], 50);
    EXPECT_GT(counts[FrustumInside], 8);
    EXPECT_GT(counts[FrustumClipped], 100);
}

TEST(zFrustum, ClassifyFrustum)
{
    const zFrustum f = SquareFrustum();
    zFrustum inner;
    inner.SetPerspective(0.5f, 2.0f, 5.0f, nullptr, 1.0f, 1.0f);
    EXPECT_EQ(f.ClassifyFrustum(inner), FrustumInside);
    EXPECT_EQ(inner.ClassifyFrustum(f), FrustumClipped);
    EXPECT_EQ(f.ClassifyFrustum(f), FrustumClipped);

    zMatrix4 away = zMatrix4::TranslationMatrix(zVector(0, 0, -30));
    zFrustum behind;
    behind.SetPerspective(0.5f, 1.0f, 5.0f, &away, 1.0f, 1.0f);
    EXPECT_EQ(f.ClassifyFrustum(behind), FrustumOutside);

    // Looking back at the first one from beyond its far plane: they overlap.
    zMatrix4 facing = zMatrix4::FromMatrix3(TestRotationY(float(M_PI)));
    facing.SetRow(3, zVector(0, 0, 15), true);
    zFrustum opposite;
    opposite.SetPerspective(HalfPi, 1.0f, 10.0f, &facing, 1.0f, 1.0f);
    EXPECT_EQ(f.ClassifyFrustum(opposite), FrustumClipped);
}
