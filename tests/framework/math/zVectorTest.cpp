#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zRandom.h"
#include "framework/math/zVector.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectVector(const zVector& v, float x, float y, float z, float w, float tolerance = 0.0f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

} // namespace

TEST(zVector, ScalarProductsAndLengthsIgnoreW)
{
    const zVector a(1.0f, 2.0f, 3.0f, 7.0f);
    const zVector b(-4.0f, 5.0f, 0.5f, 9.0f);
    EXPECT_EQ(a.Dot(b), -4.0f + 10.0f + 1.5f);
    EXPECT_EQ(a.SquaredLength(), 14.0f);
    EXPECT_EQ(zVector(3.0f, 4.0f, 0.0f, 5.0f).Length(), 5.0f);
    EXPECT_EQ(VectorDistanceSquared(a, b), 25.0f + 9.0f + 6.25f);
    EXPECT_EQ(VectorDistance(zVector(1, 1, 1), zVector(1, 4, 5)), 5.0f);
    ExpectVector(a.Cross(b), 2.0f * 0.5f - 3.0f * 5.0f, 3.0f * -4.0f - 1.0f * 0.5f, 1.0f * 5.0f - 2.0f * -4.0f, 1.0f);
}

TEST(zVector, DivisionAndNormalisationGiveZeroForDegenerateInput)
{
    ExpectVector(zVector(2.0f, 4.0f, -8.0f, 5.0f).DivideScalar(4.0f), 0.5f, 1.0f, -2.0f, 1.0f);
    ExpectVector(zVector(1.0f, 2.0f, 3.0f, 5.0f).DivideScalar(0.0f), 0.0f, 0.0f, 0.0f, 1.0f);
    // Division is a product with 1/s: 1/3 rounded, then times 1.
    EXPECT_EQ(zVector(1.0f, 0.0f, 0.0f).DivideScalar(3.0f).x, 1.0f * (1.0f / 3.0f));

    ExpectVector(zVector(0.0f, 3.0f, -4.0f, 9.0f).Normalized(), 0.0f, 0.6f, -0.8f, 1.0f, 1e-7f);
    ExpectVector(zVector(1e-7f, 0.0f, 0.0f, 3.0f).Normalized(), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectVector(zVector(2e-6f, 0.0f, 0.0f).Normalized(), 1.0f, 0.0f, 0.0f, 1.0f, 1e-6f);
}

TEST(zVector, NearlyEqualAndDiffersFromSplitAtOneMillionth)
{
    struct Case {
        zVector a, b;
        bool nearlyEqual;
    };
    const Case cases[] = {
        {{1.0f, 2.0f, 3.0f, 0.0f}, {1.0f, 2.0f, 3.0f, 9.0f}, true},  // w is not compared
        {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 9e-7f}, true},
        {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 2e-6f}, false},
        {{0.0f, 0.0f, 0.0f}, {-2e-6f, 0.0f, 0.0f}, false},
        {{0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.IsNearlyEqual(c.b), c.nearlyEqual);
        EXPECT_EQ(c.a.DiffersFrom(c.b), !c.nearlyEqual);
    }
}

TEST(zVector, ClampsComponentsAndMagnitude)
{
    ExpectVector(zVector(-2.0f, 0.5f, 7.0f, 3.0f).ClampComponents(0.0f, 1.0f), 0.0f, 0.5f, 1.0f, 1.0f);
    ExpectVector(zVector(-2.0f, 0.5f, 7.0f, 3.0f).Clamp(zVector(-1.0f, 1.0f, 0.0f), zVector(0.0f, 2.0f, 5.0f)), -1.0f, 1.0f, 5.0f, 1.0f);

    struct Case {
        zVector v;
        zVector expected;
    };
    const Case cases[] = {
        {{3.0f, 0.0f, 0.0f, 4.0f}, {2.0f, 0.0f, 0.0f, 1.0f}},     // longer: rescaled to max
        {{0.0f, 0.5f, 0.0f, 4.0f}, {0.0f, 1.0f, 0.0f, 1.0f}},     // shorter: rescaled to min
        {{1.5f, 0.0f, 0.0f, 4.0f}, {1.5f, 0.0f, 0.0f, 4.0f}},     // within: copy, w untouched
        {{0.0f, 0.0f, 2.0f, 4.0f}, {0.0f, 0.0f, 2.0f, 4.0f}},     // bound included
        {{1e-4f, 0.0f, 0.0f, 4.0f}, {1e-4f, 0.0f, 0.0f, 4.0f}},   // too short to have a direction
    };
    for (const Case& c : cases) {
        const zVector r = c.v.ClampMagnitude(1.0f, 2.0f);
        ExpectVector(r, c.expected.x, c.expected.y, c.expected.z, c.expected.w, 1e-6f);
    }
}

TEST(zVector, TransformUsesRowVectorConvention)
{
    zMatrix4 m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = float(i + 1);
    const zVector p(1.0f, 2.0f, 3.0f, 5.0f);
    // x' = m0 x + m1 y + m2 z + m3, ...
    ExpectVector(p.Transform(m), 1 + 4 + 9 + 4, 5 + 12 + 21 + 8, 9 + 20 + 33 + 12, 1.0f);
    zVector q = p;
    q.TransformInPlace(m);
    ExpectVector(q, 18.0f, 46.0f, 74.0f, 5.0f);

    zMatrix3 r;
    for (int i = 0; i < 9; ++i)
        r.m[i] = float(i + 1);
    ExpectVector(p.Rotate(r), 1 + 4 + 9, 4 + 10 + 18, 7 + 16 + 27, 1.0f);
    q = p;
    q.RotateInPlace(r);
    ExpectVector(q, 14.0f, 32.0f, 50.0f, 5.0f);
}

TEST(zVector, RandomDrawsXYZInOrder)
{
    SeedRandom(7);
    const zVector v = zVector::Random(-1.0f, 1.0f);
    // Draws after seed 7: 0xda5f829c, 0xced6f91e, 0x142fe6b3.
    ExpectVector(v, -1.0f + float(0x829c) / 65536.0f * 2.0f, -1.0f + float(0xf91e) / 65536.0f * 2.0f,
                 -1.0f + float(0xe6b3) / 65536.0f * 2.0f, 1.0f);
}

TEST(zVector, PrintsInTheScriptCategory)
{
    LogCapture capture;
    zVector(1.0f, -2.5f, 0.1234f).Print("pos");
    zVector(0.0f, 0.0f, 1.0f).Print();
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[0], "[S] Vector 'pos' = {1.000,-2.500,0.123}\n");
    EXPECT_EQ(capture.lines[1], "[S] Vector = {0.000,0.000,1.000}\n");
}

TEST(zRandom, ReproducesTheSequenceBitForBit)
{
    // A = rotl(A, 16) + B, then B += A, from A = 0xDEADBEEF, B = 0x97CCD0AD.
    EXPECT_EQ(SeedRandom(0), 0xDEADBEEFu);
    const uint32_t expected[] = {0x56bcaf5au, 0x9de3d6c3u, 0x6330f4adu, 0xe44baea7u, 0x8291de69u};
    for (const uint32_t a : expected)
        EXPECT_EQ(RandomInt(0xFFFFFFFFu), a);

    SeedRandom(0);
    EXPECT_EQ(RandomInt(0x10000), 0xaf5au);
    EXPECT_EQ(RandomInt(1000), 0x9de3d6c3u % 1000u);
}

TEST(zRandom, SeedAdvancesByItsLowThirteenBits)
{
    EXPECT_EQ(SeedRandom(3), 0x6330f4adu);
    EXPECT_EQ(SeedRandom(0x2003), 0x6330f4adu);
    const uint32_t first = RandomInt(0xFFFFFFFFu);
    SeedRandom(3 + 5 * 0x2000);
    EXPECT_EQ(RandomInt(0xFFFFFFFFu), first);
    EXPECT_EQ(first, 0xe44baea7u);
}

TEST(zRandom, ZeroRangeDoesNotStep)
{
    SeedRandom(0);
    EXPECT_EQ(RandomInt(0), 0u);
    EXPECT_EQ(RandomInt(0x10000), 0xaf5au);
}

TEST(zRandom, FloatsScaleTheLowWord)
{
    SeedRandom(0);
    EXPECT_EQ(RandomFloat(10.0f), float(0xaf5a) / 65536.0f * 10.0f);
    EXPECT_EQ(RandomRange(2.0f, 4.0f), 2.0f + float(0xd6c3) / 65536.0f * 2.0f);
    EXPECT_EQ(RandomRange(5.0f, 1.0f), 5.0f + float(0xf4ad) / 65536.0f * -4.0f);
}
