#include "framework/math/zColor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(zColor, PacksTheIntegerPartOfEachComponent)
{
    struct Case {
        zColor colour;
        uint32_t packed;
    };
    const Case cases[] = {
        {{1.0f, 0.5f, 0.0f, 1.0f}, 0xFF007FFFu},
        {{0.0f, 0.0f, 0.0f, 0.0f}, 0x00000000u},
        {{1.0f, 1.0f, 1.0f, 1.0f}, 0xFFFFFFFFu},
        {{0.999f, 0.004f, 0.0039f, 0.2f}, 0x330001FEu},   // 254.7, 1.02, 0.99, 51
        {{0.5f, 0.25f, 0.75f, 0.1f}, 0x19BF3F7Fu},         // 127.5, 63.75, 191.25, 25.5
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.colour.ToRGBA32(), c.packed) << std::hex << c.packed;
}

TEST(zColor, ComponentsOutsideTheRangeAreClamped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(zColor(1.5f, -0.5f, 300.0f, -1e30f).ToRGBA32(), 0x00FF00FFu);
    EXPECT_EQ(zColor(nan, 2.0f, 0.0f, std::numeric_limits<float>::infinity()).ToRGBA32(), 0xFF00FF00u);
}

TEST(zColor, UnpacksWithTheSinglePrecisionReciprocal)
{
    zColor c(9, 9, 9, 9);
    c.FromRGBA32(0x80FF0000u);
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_EQ(c.g, 0.0f);
    EXPECT_EQ(c.b, 255.0f * 0.003921569f);
    EXPECT_NEAR(c.b, 1.0f, 1e-7f);
    EXPECT_EQ(c.a, 128.0f * 0.003921569f);
    EXPECT_NEAR(c.a, 0.50196f, 1e-5f);

    // Every byte survives a round trip.
    for (uint32_t v = 0; v < 256; ++v) {
        zColor d;
        d.FromRGBA32(v | (v << 8) | (v << 16) | (v << 24));
        EXPECT_EQ(d.ToRGBA32(), v | (v << 8) | (v << 16) | (v << 24)) << v;
    }
}

TEST(ClosestPointOnSegment, ParameterAndPoint)
{
    const zVector a(1, 0, 0, 7);
    const zVector b(3, 0, 0, 7);
    struct Case {
        zVector p;
        float t;
        zVector point;
    };
    const Case cases[] = {
        {{2, 5, 0}, 0.5f, {2, 0, 0}},
        {{10, 1, 1}, 1.0f, {3, 0, 0}},     // beyond b
        {{-4, 0, 2}, 0.0f, {1, 0, 0}},     // before a
        {{1.5f, -1, 0}, 0.25f, {1.5f, 0, 0}},
    };
    for (const Case& c : cases) {
        zVector out(9, 9, 9, 9);
        EXPECT_EQ(ClosestPointOnSegment(a, b, c.p, &out), c.t);
        EXPECT_EQ(out.x, c.point.x);
        EXPECT_EQ(out.y, c.point.y);
        EXPECT_EQ(out.z, c.point.z);
        EXPECT_EQ(out.w, 1.0f);
        EXPECT_EQ(ClosestPointOnSegment(a, b, c.p, nullptr), c.t);
    }
}

TEST(ClosestPointOnSegment, DegenerateSegmentGivesItsStart)
{
    const zVector a(1, 2, 3);
    zVector out;
    EXPECT_EQ(ClosestPointOnSegment(a, a, zVector(5, 5, 5), &out), 0.0f);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 2.0f);
    EXPECT_EQ(out.z, 3.0f);
}

TEST(ClosestPointsOfLines, ParametersOrParallel)
{
    float out[2] = {7, 7};
    // The x axis and the line through (0, 1, 1) along y.
    ASSERT_TRUE(ClosestPointsOfLines(zVector(0, 0, 0), zVector(1, 0, 0), zVector(0, 1, 1), zVector(0, 2, 1), out));
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], -1.0f);

    // Skew lines: x axis from (-2, 0, 0) with length 4, and the line x = 1 along z at y = 3.
    ASSERT_TRUE(ClosestPointsOfLines(zVector(-2, 0, 0), zVector(2, 0, 0), zVector(1, 3, -1), zVector(1, 3, 1), out));
    EXPECT_FLOAT_EQ(out[0], 0.75f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);

    out[0] = out[1] = 7;
    EXPECT_FALSE(ClosestPointsOfLines(zVector(0, 0, 0), zVector(1, 0, 0), zVector(0, 1, 0), zVector(3, 1, 0), out));
    EXPECT_FALSE(ClosestPointsOfLines(zVector(0, 0, 0), zVector(1, 1, 1), zVector(5, 0, 0), zVector(5, 0, 0), out));
    EXPECT_EQ(out[0], 7.0f);
    EXPECT_EQ(out[1], 7.0f);
}
