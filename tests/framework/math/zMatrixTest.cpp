#include "MathTestSupport.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float HalfPi = float(M_PI / 2);

zMatrix3 Sequence3(float start, float step)
{
    zMatrix3 r;
    for (int i = 0; i < 9; ++i)
        r.m[i] = start + step * float(i);
    return r;
}

} // namespace

TEST(zMatrix3, RowsAndColumnsFollowTheStorageConvention)
{
    zMatrix3 a;
    a.Set(1, 2, 3, 4, 5, 6, 7, 8, 9);
    const float expected[9] = {1, 4, 7, 2, 5, 8, 3, 6, 9};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(a.m[i], expected[i]) << i;
    EXPECT_TRUE(VectorNear(a.GetRow(0), 1, 2, 3, 0));
    EXPECT_TRUE(VectorNear(a.GetRow(2), 7, 8, 9, 0));
    EXPECT_TRUE(VectorNear(a.GetColumn(0), 1, 4, 7, 0));
    EXPECT_TRUE(VectorNear(a.GetColumn(1), 2, 5, 8, 0));
    EXPECT_EQ(a.GetRow(1).w, 1.0f);

    zMatrix3 b;
    b.SetRows(zVector(1, 2, 3), zVector(4, 5, 6), zVector(7, 8, 9));
    EXPECT_TRUE(MatricesNear(a, b, 0));
    b.SetColumn(2, zVector(-1, -2, -3));
    EXPECT_EQ(b.m[6], -1.0f);
    EXPECT_EQ(b.m[7], -2.0f);
    EXPECT_EQ(b.m[8], -3.0f);
    b.SetRow(1, zVector(10, 11, 12));
    EXPECT_EQ(b.m[1], 10.0f);
    EXPECT_EQ(b.m[4], 11.0f);
    EXPECT_EQ(b.m[7], 12.0f);

    // Row i is the image of axis i.
    EXPECT_TRUE(VectorNear(zVector(0, 1, 0).Rotate(a), 4, 5, 6, 0));
}

TEST(zMatrix3, ProductAppliesTheRightOperandFirst)
{
    const zMatrix3 a = Sequence3(1, 1);
    const zMatrix3 b = Sequence3(9, -1);
    const zMatrix3 p = a * b;
    const float expected[9] = {30, 24, 18, 84, 69, 54, 138, 114, 90};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(p.m[i], expected[i]) << i;

    // Scale x by 2, then turn a quarter about z: (1, 0, 0) -> (2, 0, 0) -> (0, 2, 0).
    const zMatrix3 r = zMatrix3::RotationZ(HalfPi) * zMatrix3::ScaleMatrix(zVector(2, 1, 1));
    EXPECT_TRUE(VectorNear(zVector(1, 0, 0).Rotate(r), 0, 2, 0, 1e-6f));
}

TEST(zMatrix3, ElementWiseOperations)
{
    const zMatrix3 a = Sequence3(1, 1);
    const zMatrix3 sum = a.AddMatrix(Sequence3(9, -1));
    const zMatrix3 scaled = a.MulScalar(-2.0f);
    const zMatrix3 t = a.Transposed();
    const float transposed[9] = {1, 4, 7, 2, 5, 8, 3, 6, 9};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(sum.m[i], 10.0f);
        EXPECT_EQ(scaled.m[i], -2.0f * float(i + 1));
        EXPECT_EQ(t.m[i], transposed[i]);
    }

    // v' = m . w gives w x v for the cross-product matrix of v.
    const zMatrix3 c = zMatrix3::CrossProductMatrix(zVector(1, 2, 3));
    const float cross[9] = {0, 3, -2, -3, 0, 1, 2, -1, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(c.m[i], cross[i]);
    EXPECT_TRUE(VectorNear(zVector(4, 5, 6).Rotate(c), 3, -6, 3, 0));

    const zMatrix3 s = zMatrix3::ScaleMatrix(zVector(2, 3, 4));
    const float diagonal[9] = {2, 0, 0, 0, 3, 0, 0, 0, 4};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(s.m[i], diagonal[i]);
}

TEST(zMatrix3, RotationZTurnsXIntoY)
{
    const zMatrix3 r = zMatrix3::RotationZ(HalfPi);
    EXPECT_TRUE(VectorNear(zVector(1, 0, 0).Rotate(r), 0, 1, 0, 1e-7f));
    EXPECT_TRUE(VectorNear(zVector(0, 1, 0).Rotate(r), -1, 0, 0, 1e-7f));
    EXPECT_EQ(r.m[8], 1.0f);
    EXPECT_EQ(r.m[2], 0.0f);

    zVector in[2] = {zVector(1, 0, 0, 5), zVector(0, 0, 3, 5)};
    zVector out[2];
    r.TransformArray(out, in, 2);
    EXPECT_TRUE(VectorNear(out[0], 0, 1, 0, 1e-7f));
    EXPECT_TRUE(VectorNear(out[1], 0, 0, 3, 1e-7f));
    EXPECT_EQ(out[0].w, 1.0f);
}

TEST(zMatrix3, InverseTimesMatrixIsIdentity)
{
    zMatrix3 cases[4];
    cases[0] = zMatrix3::ScaleMatrix(zVector(2, 4, 8));
    cases[1].Set(2, -1, 0, -1, 2, -1, 0, -1, 2);
    cases[2] = zMatrix3::FromEuler(0.3f, -1.2f, 2.5f, RotationOrderZYX) * zMatrix3::ScaleMatrix(zVector(0.5f, 3, 7));
    cases[3].Set(0, 1, 0, 0, 0, 1, 1, 0, 0);
    for (const zMatrix3& m : cases) {
        zMatrix3 inverse;
        ASSERT_TRUE(m.Inverse(inverse));
        EXPECT_TRUE(MatricesNear(m * inverse, IdentityMatrix3, 1e-5f));
        EXPECT_TRUE(MatricesNear(inverse * m, IdentityMatrix3, 1e-5f));
    }
    zMatrix3 inverse;
    ASSERT_TRUE(cases[0].Inverse(inverse));
    EXPECT_TRUE(MatricesNear(inverse, zMatrix3::ScaleMatrix(zVector(0.5f, 0.25f, 0.125f)), 0));

    // The tridiagonal case by hand: inverse = 1/4 [[3,2,1],[2,4,2],[1,2,3]].
    ASSERT_TRUE(cases[1].Inverse(inverse));
    zMatrix3 expected;
    expected.Set(0.75f, 0.5f, 0.25f, 0.5f, 1, 0.5f, 0.25f, 0.5f, 0.75f);
    EXPECT_TRUE(MatricesNear(inverse, expected, 1e-6f));

    // In place.
    zMatrix3 m = cases[1];
    ASSERT_TRUE(m.Inverse(m));
    EXPECT_TRUE(MatricesNear(m, expected, 1e-6f));
}

TEST(zMatrix3, SingularMatrixKeepsTheAdjugateAndLogs)
{
    LogCapture capture;
    const zMatrix3 m = Sequence3(1, 1);
    zMatrix3 out;
    EXPECT_FALSE(m.Inverse(out));
    const float adjugate[9] = {-3, 6, -3, 6, -12, 6, -3, 6, -3};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(out.m[i], adjugate[i]) << i;
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].rfind("[!] zMatrix3::Inverse (", 0), 0u) << capture.lines[0];
    EXPECT_TRUE(capture.Contains("Matrix is not invertible."));

    const zMatrix3 zero = IdentityMatrix3.MulScalar(0.0f);
    EXPECT_FALSE(zero.Inverse(out));
}

TEST(zMatrix3, OrthonormalizedKeepsRowZeroDirection)
{
    zMatrix3 m;
    m.SetRows(zVector(2, 0, 0), zVector(1, 3, 0), zVector(0, 0, 9));
    EXPECT_TRUE(MatricesNear(m.Orthonormalized(), IdentityMatrix3, 1e-7f));

    m.SetRows(zVector(1, 1, 0), zVector(0, 1, 0.2f), zVector(5, 5, 5));
    const zMatrix3 o = m.Orthonormalized();
    EXPECT_TRUE(VectorNear(o.GetRow(0), std::sqrt(0.5f), std::sqrt(0.5f), 0, 1e-6f));
    EXPECT_TRUE(MatricesNear(o * o.Transposed(), IdentityMatrix3, 1e-6f));
    // Row 2 follows row 0 x row 1 of the input.
    const zVector r2 = zVector(1, 1, 0).Cross(zVector(0, 1, 0.2f)).Normalized();
    EXPECT_TRUE(VectorNear(o.GetRow(2), r2.x, r2.y, r2.z, 1e-6f));
}

TEST(zMatrix3, FromDirectionMapsZOntoTheDirection)
{
    struct Case {
        zVector direction;
        bool withUp;
        zVector up;
        zVector row0, row1, row2;
    };
    const Case cases[] = {
        {{0, 0, 5}, false, {}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{3, 0, 0}, false, {}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {{0, 3, 0}, false, {}, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},    // straight up
        {{0, 0, 1}, true, {0, 2, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        // The up vector is not made orthogonal, nor is the side normalised.
        {{0, 0, 1}, true, {0, 1, 1}, {std::sqrt(0.5f), 0, 0}, {0, std::sqrt(0.5f), std::sqrt(0.5f)}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        const zMatrix3 m = zMatrix3::FromDirection(c.direction, c.withUp ? &c.up : nullptr);
        EXPECT_TRUE(VectorNear(m.GetRow(0), c.row0.x, c.row0.y, c.row0.z, 1e-6f));
        EXPECT_TRUE(VectorNear(m.GetRow(1), c.row1.x, c.row1.y, c.row1.z, 1e-6f));
        EXPECT_TRUE(VectorNear(m.GetRow(2), c.row2.x, c.row2.y, c.row2.z, 1e-6f));
    }
    EXPECT_TRUE(MatricesNear(zMatrix3::FromDirection(zVector(0, 0, 0)), IdentityMatrix3, 0));
}

TEST(zMatrix3, ConvertsToAndFromFourByFour)
{
    zMatrix4 big;
    for (int i = 0; i < 16; ++i)
        big.m[i] = float(i);
    const zMatrix3 small = zMatrix3::FromMatrix4(big);
    const float picked[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(small.m[i], picked[i]);

    const zMatrix4 back = zMatrix4::FromMatrix3(Sequence3(1, 1));
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(back.m[i], expected[i]) << i;
}

TEST(zMatrix4, RowsColumnsAndTheForcedW)
{
    zMatrix4 m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = float(i);
    zVector r = m.GetRow(3);
    EXPECT_TRUE(VectorNear(r, 3, 7, 11, 0));
    EXPECT_EQ(r.w, 15.0f);
    EXPECT_EQ(m.GetRow(3, true).w, 1.0f);
    zVector c = m.GetColumn(1);
    EXPECT_TRUE(VectorNear(c, 4, 5, 6, 0));
    EXPECT_EQ(c.w, 7.0f);
    EXPECT_EQ(m.GetColumn(1, true).w, 1.0f);

    m.SetRow(0, zVector(-1, -2, -3, -4));
    EXPECT_EQ(m.m[0], -1.0f);
    EXPECT_EQ(m.m[4], -2.0f);
    EXPECT_EQ(m.m[8], -3.0f);
    EXPECT_EQ(m.m[12], -4.0f);
    m.SetRow(0, zVector(-1, -2, -3, -4), true);
    EXPECT_EQ(m.m[12], 1.0f);
    m.SetColumn(2, zVector(20, 21, 22, 23));
    EXPECT_EQ(m.m[8], 20.0f);
    EXPECT_EQ(m.m[11], 23.0f);
    m.SetColumn(2, zVector(20, 21, 22, 23), true);
    EXPECT_EQ(m.m[11], 1.0f);

    zMatrix4 identity;
    identity.m[5] = 7.0f;
    identity.MakeIdentity();
    EXPECT_TRUE(MatricesNear(identity, IdentityMatrix4, 0));
}

TEST(zMatrix4, ProductsOfTranslationsAndScales)
{
    const zMatrix4 ts = zMatrix4::TranslationMatrix(zVector(1, 2, 3)) * zMatrix4::ScaleMatrix(zVector(2, 2, 2));
    EXPECT_TRUE(VectorNear(zVector(1, 1, 1).Transform(ts), 3, 4, 5, 0));

    // Translate first, then scale: the translation is scaled too.
    const zMatrix4 st = zMatrix4::ScaleMatrix(zVector(2, 3, 4)) * zMatrix4::TranslationMatrix(zVector(1, 1, 1));
    EXPECT_EQ(st.m[3], 2.0f);
    EXPECT_EQ(st.m[7], 3.0f);
    EXPECT_EQ(st.m[11], 4.0f);

    const zMatrix4 tt = zMatrix4::TranslationMatrix(zVector(1, 2, 3)) * zMatrix4::TranslationMatrix(zVector(10, 20, 30));
    EXPECT_TRUE(VectorNear(tt.GetRow(3), 11, 22, 33, 0));

    // A general product by hand: rows of A times columns of B in storage order.
    zMatrix4 a, b;
    for (int i = 0; i < 16; ++i) {
        a.m[i] = float(i % 4 == i / 4 ? 2 : (i == 1 ? 1 : 0));
        b.m[i] = float(i);
    }
    // a = diag(2) with m1 = 1: out row 0 = 2 * b row 0 + b row 1 (storage rows).
    const zMatrix4 p = a * b;
    EXPECT_EQ(p.m[0], 2 * 0 + 4.0f);
    EXPECT_EQ(p.m[1], 2 * 1 + 5.0f);
    EXPECT_EQ(p.m[3], 2 * 3 + 7.0f);
    EXPECT_EQ(p.m[5], 10.0f);
    EXPECT_EQ(p.m[15], 30.0f);
}

TEST(zMatrix4, ArrayTransforms)
{
    zMatrix4 m = zMatrix4::FromMatrix3(zMatrix3::RotationZ(HalfPi));
    m.m[3] = 10.0f;
    m.m[12] = 0.5f;  // a projective term only the homogeneous transform sees
    const zVector in[2] = {zVector(1, 0, 0, 1), zVector(0, 2, 0, 0)};
    zVector out[2];
    m.TransformArray4(out, in, 2);
    EXPECT_TRUE(VectorNear(out[0], 10, 1, 0, 1e-6f));
    EXPECT_FLOAT_EQ(out[0].w, 1.5f);
    EXPECT_TRUE(VectorNear(out[1], -2, 0, 0, 1e-6f));  // w 0: no translation
    EXPECT_FLOAT_EQ(out[1].w, 0.0f);

    m.RotateArray(out, in, 2);
    EXPECT_TRUE(VectorNear(out[0], 0, 1, 0, 1e-6f));
    EXPECT_EQ(out[0].w, 1.0f);
    EXPECT_TRUE(VectorNear(out[1], -2, 0, 0, 1e-6f));
    EXPECT_EQ(out[1].w, 1.0f);
}

TEST(zMatrix4, FromTransformationMovesByPivotScalesRotatesThenPlaces)
{
    const zVector none(0, 0, 0);
    const zVector unit(1, 1, 1);
    const zMatrix4 pivotOnly = zMatrix4::FromTransformation(zVector(5, 6, 7), none, unit, zVector(1, 2, 3));
    EXPECT_TRUE(VectorNear(zVector(0, 0, 0).Transform(pivotOnly), 6, 8, 10, 0));

    // Origin -> +pivot (1, 0, 0) -> scale 2 (2, 0, 0) -> quarter turn about y (0, 0, -2) -> +position.
    const zMatrix4 m = zMatrix4::FromTransformation(zVector(5, 0, 0), zVector(0, HalfPi, 0), zVector(2, 2, 2), zVector(1, 0, 0));
    EXPECT_TRUE(VectorNear(zVector(0, 0, 0).Transform(m), 5, 0, -2, 1e-6f));

    // The rotation is order YXZ.
    const zVector angles(0.3f, -0.7f, 1.1f);
    const zMatrix4 r = zMatrix4::FromTransformation(none, angles, unit, none);
    EXPECT_TRUE(MatricesNear(zMatrix3::FromMatrix4(r), TestRotationY(-0.7f) * TestRotationX(0.3f) * TestRotationZ(1.1f), 1e-6f));
}

TEST(zMatrix4, DecomposeRecoversPositionScaleAndRotation)
{
    const zVector angles(0.4f, 1.0f, -2.0f);
    const zMatrix4 m = zMatrix4::FromTransformation(zVector(1, -2, 3), angles, zVector(0.5f, 2, 4), zVector(0, 0, 0));
    zVector position, scale;
    zMatrix3 rotation;
    m.Decompose(&position, &scale, &rotation);
    EXPECT_TRUE(VectorNear(position, 1, -2, 3, 1e-6f));
    EXPECT_EQ(position.w, 1.0f);
    EXPECT_TRUE(VectorNear(scale, 0.5f, 2, 4, 1e-5f));
    EXPECT_EQ(scale.w, 1.0f);
    EXPECT_TRUE(MatricesNear(rotation, zMatrix3::FromEulerVector(angles), 1e-5f));
    // Each output is optional.
    m.Decompose(nullptr, &scale, nullptr);
    m.Decompose(nullptr, nullptr, nullptr);
}

TEST(zMatrix4, InverseAffineUndoesScaleRotationAndTranslation)
{
    struct Case {
        zVector position, angles, scale;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}},
        {{1, 2, 3}, {0, 0, 0}, {2, 4, 8}},
        {{-5, 0.5f, 9}, {0.3f, -1.2f, 2.0f}, {1, 1, 1}},
        {{10, -20, 30}, {1.3f, 0.2f, -0.4f}, {0.5f, 3, 0.25f}},
    };
    for (const Case& c : cases) {
        const zMatrix4 m = zMatrix4::FromTransformation(c.position, c.angles, c.scale, zVector(0, 0, 0));
        const zMatrix4 inverse = m.InverseAffine();
        EXPECT_TRUE(MatricesNear(m * inverse, IdentityMatrix4, 2e-5f));
        EXPECT_TRUE(MatricesNear(inverse * m, IdentityMatrix4, 2e-5f));
        EXPECT_TRUE(VectorNear(c.position.Transform(inverse), 0, 0, 0, 2e-5f));
    }
    // Translation and scale only, by hand: (1/2, 1/4, 1/8) and -(1, 2, 3) scaled.
    const zMatrix4 m = zMatrix4::TranslationMatrix(zVector(1, 2, 3)) * zMatrix4::ScaleMatrix(zVector(2, 4, 8));
    const zMatrix4 inverse = m.InverseAffine();
    const float expected[16] = {0.5f, 0, 0, -0.5f, 0, 0.25f, 0, -0.5f, 0, 0, 0.125f, -0.375f, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(inverse.m[i], expected[i]) << i;
}

TEST(zMatrix4, InverseAffineOfACollapsedAxisStaysFinite)
{
    const zMatrix4 m = zMatrix4::TranslationMatrix(zVector(1, 2, 3)) * zMatrix4::ScaleMatrix(zVector(0, 2, 2));
    const zMatrix4 inverse = m.InverseAffine();
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(inverse.m[i])) << i;
    EXPECT_EQ(inverse.m[0], 0.0f);
    EXPECT_FLOAT_EQ(inverse.m[5], 0.5f);
    EXPECT_FLOAT_EQ(inverse.m[7], -1.0f);
}

TEST(zMatrix4, InterpolateLinearlyOrBySlerp)
{
    const zMatrix4 a = zMatrix4::TranslationMatrix(zVector(0, 0, 0));
    const zMatrix4 b = zMatrix4::FromTransformation(zVector(10, 0, 0), zVector(0, HalfPi, 0), zVector(3, 3, 3), zVector(0, 0, 0));

    const zMatrix4 linear = zMatrix4::Interpolate(a, b, 0.25f, true);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(linear.m[i], a.m[i] + (b.m[i] - a.m[i]) * 0.25f);

    const zMatrix4 half = zMatrix4::Interpolate(a, b, 0.5f, false);
    const zMatrix4 expected = zMatrix4::FromTransformation(zVector(5, 0, 0), zVector(0, HalfPi / 2, 0), zVector(2, 2, 2), zVector(0, 0, 0));
    EXPECT_TRUE(MatricesNear(half, expected, 1e-5f));
    EXPECT_TRUE(MatricesNear(zMatrix4::Interpolate(a, b, 0.0f, false), a, 1e-6f));
    EXPECT_TRUE(MatricesNear(zMatrix4::Interpolate(a, b, 1.0f, false), b, 1e-5f));
}

TEST(zMatrix4, OrthonormalizedKeepsTheTranslation)
{
    zMatrix4 m = zMatrix4::ScaleMatrix(zVector(2, 3, 4));
    m.SetRow(3, zVector(7, 8, 9, 1));
    const zMatrix4 o = m.Orthonormalized();
    zMatrix4 expected = zMatrix4::TranslationMatrix(zVector(7, 8, 9));
    EXPECT_TRUE(MatricesNear(o, expected, 1e-7f));
}

TEST(zTransformMatrix, EveryWriteRecomputesTheInverse)
{
    zTransformMatrix t;
    t.Set(zMatrix4::FromTransformation(zVector(1, 2, 3), zVector(0.1f, 0.2f, 0.3f), zVector(2, 2, 2), zVector(0, 0, 0)));
    EXPECT_TRUE(MatricesNear(t.GetMatrix() * t.GetInverse(), IdentityMatrix4, 1e-5f));

    t.SetRow(3, zVector(-4, 5, 6), true);
    EXPECT_TRUE(VectorNear(t.GetMatrix().GetRow(3), -4, 5, 6, 0));
    EXPECT_EQ(t.GetMatrix().m[15], 1.0f);
    EXPECT_TRUE(VectorNear(zVector(-4, 5, 6).Transform(t.GetInverse()), 0, 0, 0, 1e-5f));
}
