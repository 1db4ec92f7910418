#include "MathTestSupport.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zQuaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float HalfPi = float(M_PI / 2);

struct Angles {
    float x, y, z;
};

// Angles away from the gimbal-lock poles, in all quadrants.
const Angles AngleCases[] = {
    {0.1f, 0.2f, 0.3f},
    {-0.4f, 1.1f, -2.7f},
    {1.3f, -0.9f, 0.05f},
    {-2.2f, 0.6f, 3.0f},
    {0.0f, 0.0f, 0.0f},
};

// The products each order stands for, built from the elementary rotations.
zMatrix3 ExpectedMatrixOfOrder(const Angles& a, int order)
{
    const zMatrix3 rx = TestRotationX(a.x);
    const zMatrix3 ry = TestRotationY(a.y);
    const zMatrix3 rz = TestRotationZ(a.z);
    switch (order) {
    case 0: return rz * ry * rx;
    case 1: return ry * rz * rx;
    case 2: return rz * rx * ry;
    case 3: return rx * rz * ry;
    case 4: return ry * rx * rz;
    case 5: return rx * ry * rz;
    case 6: return rx * ry;
    default: return zMatrix3();
    }
}

// The quaternion of an order applies its axes in the reverse sequence.
zMatrix3 ExpectedQuaternionMatrixOfOrder(const Angles& a, int order)
{
    const zMatrix3 rx = TestRotationX(a.x);
    const zMatrix3 ry = TestRotationY(a.y);
    const zMatrix3 rz = TestRotationZ(a.z);
    switch (order) {
    case 0: return rx * ry * rz;
    case 1: return rx * rz * ry;
    case 2: return ry * rx * rz;
    case 3: return ry * rz * rx;
    case 5: return rz * ry * rx;
    case 6: return ry * rx;
    default: return rz * rx * ry;
    }
}

} // namespace

class RotationOrder : public ::testing::TestWithParam<int> {};

TEST_P(RotationOrder, MatrixFromEulerIsTheOrdersProduct)
{
    for (const Angles& a : AngleCases)
        EXPECT_TRUE(MatricesNear(zMatrix3::FromEuler(a.x, a.y, a.z, GetParam()), ExpectedMatrixOfOrder(a, GetParam()), 2e-6f));
}

TEST_P(RotationOrder, QuaternionFromEulerAppliesTheReverseSequence)
{
    for (const Angles& a : AngleCases) {
        const zQuaternion q = zQuaternion::FromEuler(a.x, a.y, a.z, GetParam());
        EXPECT_NEAR(q.Dot(q), 1.0f, 1e-6f);
        EXPECT_TRUE(MatricesNear(q.ToMatrix3(), ExpectedQuaternionMatrixOfOrder(a, GetParam()), 2e-6f));
    }
}

TEST_P(RotationOrder, MatrixQuaternionMatrixRoundTrip)
{
    for (const Angles& a : AngleCases) {
        const zMatrix3 m = zMatrix3::FromEuler(a.x, a.y, a.z, GetParam());
        const zQuaternion q = zQuaternion::FromMatrix3(m);
        EXPECT_TRUE(MatricesNear(q.ToMatrix3(), m, 5e-6f));

        const zQuaternion e = zQuaternion::FromEuler(a.x, a.y, a.z, GetParam());
        EXPECT_TRUE(SameRotation(zQuaternion::FromMatrix3(e.ToMatrix3()), e, 5e-6f));
    }
}

TEST_P(RotationOrder, EulerRoundTripWhereTheOrderIsRecovered)
{
    const int order = GetParam();
    for (const Angles& a : AngleCases) {
        // Only angles of the principal range come back as given.
        if (std::fabs(a.x) >= HalfPi || std::fabs(a.y) > float(M_PI) || std::fabs(a.z) > float(M_PI))
            continue;
        const zVector back = zMatrix3::FromEuler(a.x, a.y, a.z, order).ToEuler(order);
        EXPECT_EQ(back.w, 1.0f);
        if (order == RotationOrderZXY || order == RotationOrderYXZ)
            EXPECT_TRUE(VectorNear(back, a.x, a.y, a.z, 2e-6f)) << order;
        else if (order == RotationOrderXY)
            EXPECT_TRUE(VectorNear(back, a.x, a.y, 0.0f, 2e-6f));
        else
            EXPECT_TRUE(VectorNear(back, 0, 0, 0, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(AllOrders, RotationOrder, ::testing::Range(0, 7));

TEST(zEuler, ClosedFormsMatchTheDocumentedElements)
{
    // Order 4 at x = 90 degrees: m5 = -sin x = -1, m7 = sin x cos z cos y.
    const zMatrix3 m = zMatrix3::FromEuler(HalfPi, 0.0f, 0.0f, RotationOrderYXZ);
    EXPECT_NEAR(m.m[5], -1.0f, 1e-7f);
    EXPECT_NEAR(m.m[7], 1.0f, 1e-7f);
    // Order 2: m7 = sin x, m1 = -sin z cos x.
    const zMatrix3 n = zMatrix3::FromEuler(0.5f, 0.0f, 0.25f, RotationOrderZXY);
    EXPECT_FLOAT_EQ(n.m[7], std::sin(0.5f));
    EXPECT_FLOAT_EQ(n.m[1], -std::sin(0.25f) * std::cos(0.5f));
}

TEST(zEuler, UnknownOrders)
{
    EXPECT_TRUE(MatricesNear(zMatrix3::FromEuler(0.3f, 0.2f, 0.1f, 9), IdentityMatrix3, 0));
    EXPECT_TRUE(MatricesNear(zMatrix3::FromEuler(0.3f, 0.2f, 0.1f, -1), IdentityMatrix3, 0));
    const zQuaternion q9 = zQuaternion::FromEuler(0.3f, 0.2f, 0.1f, 9);
    const zQuaternion q4 = zQuaternion::FromEuler(0.3f, 0.2f, 0.1f, RotationOrderYXZ);
    EXPECT_EQ(q9.x, q4.x);
    EXPECT_EQ(q9.y, q4.y);
    EXPECT_EQ(q9.z, q4.z);
    EXPECT_EQ(q9.w, q4.w);
    EXPECT_TRUE(VectorNear(zMatrix3::FromEuler(0.3f, 0.2f, 0.1f, 4).ToEuler(9), 0, 0, 0, 0));
}

TEST(zEuler, VectorFormUsesOrderYXZ)
{
    EXPECT_TRUE(MatricesNear(zMatrix3::FromEulerVector(zVector(0.3f, -0.2f, 0.9f)),
                             zMatrix3::FromEuler(0.3f, -0.2f, 0.9f, RotationOrderYXZ), 0));
}

TEST(zEuler, RoundingPastThePoleStaysFinite)
{
    zMatrix3 m;
    m.m[7] = 1.0000001f;
    const zVector a = m.ToEuler(RotationOrderZXY);
    EXPECT_NEAR(a.x, HalfPi, 1e-6f);
    m = zMatrix3();
    m.m[5] = 1.0000001f;
    EXPECT_NEAR(m.ToEuler(RotationOrderYXZ).x, -HalfPi, 1e-6f);
}

TEST(zQuaternion, HamiltonProduct)
{
    const zQuaternion i(1, 0, 0, 0), j(0, 1, 0, 0), k(0, 0, 1, 0);
    EXPECT_TRUE(SameRotation(i.Multiply(j), k, 0));
    const zQuaternion ji = j.Multiply(i);
    EXPECT_EQ(ji.z, -1.0f);
    const zQuaternion kk = k.Multiply(k);
    EXPECT_EQ(kk.w, -1.0f);

    // By hand: (1, 2, 3, 4) (x) (5, 6, 7, 8).
    const zQuaternion p = zQuaternion(1, 2, 3, 4).Multiply(zQuaternion(5, 6, 7, 8));
    EXPECT_EQ(p.x, 4 * 5 + 1 * 8 + 2 * 7 - 3 * 6);
    EXPECT_EQ(p.y, 4 * 6 - 1 * 7 + 2 * 8 + 3 * 5);
    EXPECT_EQ(p.z, 4 * 7 + 1 * 6 - 2 * 5 + 3 * 8);
    EXPECT_EQ(p.w, 4 * 8 - 1 * 5 - 2 * 6 - 3 * 7);

    // The matrix of a product is the product of the matrices.
    const zQuaternion a = zQuaternion::FromEuler(0.3f, -1.0f, 2.0f, 0);
    const zQuaternion b = zQuaternion::FromEuler(-0.8f, 0.4f, 0.1f, 3);
    EXPECT_TRUE(MatricesNear(a.Multiply(b).ToMatrix3(), a.ToMatrix3() * b.ToMatrix3(), 2e-6f));
}

TEST(zQuaternion, ToMatrixOfAQuarterTurnAboutZ)
{
    const float s = std::sqrt(0.5f);
    const zMatrix3 m = zQuaternion(0, 0, s, s).ToMatrix3();
    EXPECT_TRUE(VectorNear(zVector(1, 0, 0).Rotate(m), 0, 1, 0, 1e-6f));
    EXPECT_TRUE(MatricesNear(m, TestRotationZ(HalfPi), 1e-6f));
}

TEST(zQuaternion, FromMatrixTakesEachBranch)
{
    struct Case {
        zMatrix3 m;
        zQuaternion expected;
    };
    const float s = std::sqrt(0.5f);
    zMatrix3 tie;
    tie.Set(0.5f, 0, 0, 0, 0.5f, 0, 0, 0, -1);
    zMatrix3 lateTie;
    lateTie.Set(-1, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f);
    const Case cases[] = {
        {zMatrix3(), {0, 0, 0, 1}},
        {TestRotationZ(HalfPi), {0, 0, s, s}},
        {TestRotationX(float(M_PI)), {1, 0, 0, 0}},   // a > b, a > c
        {TestRotationY(float(M_PI)), {0, 1, 0, 0}},   // b > c
        {TestRotationZ(float(M_PI)), {0, 0, 1, 0}},   // else
        // Trace 0 with a == b: the strict comparison hands the tie to the y branch.
        {tie, {0, s, 0, 0}},
        // b == c: the tie goes on to the z branch.
        {lateTie, {0, 0, s, 0}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(SameRotation(zQuaternion::FromMatrix3(c.m), c.expected, 1e-6f));
    const zQuaternion identity = zQuaternion::FromMatrix3(zMatrix3());
    EXPECT_EQ(identity.w, 1.0f);
    EXPECT_EQ(identity.x, 0.0f);
}

TEST(zQuaternion, NormalizedAndDistance)
{
    const zQuaternion n = zQuaternion(0, 3, 0, 4).Normalized();
    EXPECT_FLOAT_EQ(n.y, 0.6f);
    EXPECT_FLOAT_EQ(n.w, 0.8f);
    const zQuaternion zero = zQuaternion(0, 0, 0, 0).Normalized();
    EXPECT_EQ(zero.x, 1.0f);
    EXPECT_EQ(zero.y, 1.0f);
    EXPECT_EQ(zero.z, 1.0f);
    EXPECT_EQ(zero.w, 1.0f);
    EXPECT_EQ(zQuaternion(1, 2, 3, 4).Distance(zQuaternion(1, 0, 3, 4)), 2.0f);
    EXPECT_EQ(zQuaternion(0, 0, 0, 0).Distance(zQuaternion(1, 1, 1, 1)), 2.0f);
}

TEST(zQuaternion, SlerpFollowsTheShorterArc)
{
    const zQuaternion identity;
    const zQuaternion quarter = zQuaternion::FromEuler(0, 0, HalfPi, 0);
    EXPECT_TRUE(SameRotation(zQuaternion::Slerp(identity, quarter, 0.5f), zQuaternion::FromEuler(0, 0, HalfPi / 2, 0), 1e-6f));
    EXPECT_TRUE(SameRotation(zQuaternion::Slerp(identity, quarter, 0.0f), identity, 1e-6f));
    EXPECT_TRUE(SameRotation(zQuaternion::Slerp(identity, quarter, 1.0f), quarter, 1e-6f));

    // Against the negated target the arc is the same short one.
    const zQuaternion negated(-quarter.x, -quarter.y, -quarter.z, -quarter.w);
    const zQuaternion viaNegated = zQuaternion::Slerp(identity, negated, 0.25f);
    EXPECT_GT(viaNegated.w, 0.0f);
    EXPECT_TRUE(SameRotation(viaNegated, zQuaternion::FromEuler(0, 0, HalfPi / 4, 0), 1e-6f));

    // q against -q: the dot flips to 1 and the weights are linear: q at any t.
    const zQuaternion q = zQuaternion::FromEuler(0.3f, 0.6f, -0.2f, 2);
    for (const float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
        const zQuaternion r = zQuaternion::Slerp(q, zQuaternion(-q.x, -q.y, -q.z, -q.w), t);
        EXPECT_FLOAT_EQ(r.x, q.x);
        EXPECT_FLOAT_EQ(r.y, q.y);
        EXPECT_FLOAT_EQ(r.z, q.z);
        EXPECT_FLOAT_EQ(r.w, q.w);
    }

    // Nearly equal inputs blend linearly, without renormalising.
    const zQuaternion a(0, 0, 0, 1);
    const zQuaternion b(0.001f, 0, 0, 1);
    const zQuaternion l = zQuaternion::Slerp(a, b, 0.5f);
    EXPECT_EQ(l.x, 0.5f * 0.001f);
    EXPECT_EQ(l.w, 1.0f);
}
