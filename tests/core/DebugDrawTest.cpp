#include "CoreTestSupport.h"

#include "core/zad/Tavrin.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zMinMax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void ExpectPoint(const zVector& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

void ExpectColour(const RecordingRenderer::Line& line, float r, float g, float b, float a)
{
    EXPECT_EQ(line.colour[0], r);
    EXPECT_EQ(line.colour[1], g);
    EXPECT_EQ(line.colour[2], b);
    EXPECT_EQ(line.colour[3], a);
}

class DebugDrawTest : public ::testing::Test {
protected:
    DebugDrawTest() : renderer(&core, true) { renderer.videoClosed = 0; }

    Tavrin core;
    RecordingRenderer renderer;
};

TEST_F(DebugDrawTest, CrossIsThreeAxisLinesThroughThePoint)
{
    renderer.DrawCross(zVector(1, 2, 3), 0.5f, nullptr);
    ASSERT_EQ(renderer.lines.size(), 3u);
    ExpectPoint(renderer.lines[0].from, 0.5f, 2, 3);
    ExpectPoint(renderer.lines[0].to, 1.5f, 2, 3);
    ExpectPoint(renderer.lines[1].from, 1, 1.5f, 3);
    ExpectPoint(renderer.lines[1].to, 1, 2.5f, 3);
    ExpectPoint(renderer.lines[2].from, 1, 2, 2.5f);
    ExpectPoint(renderer.lines[2].to, 1, 2, 3.5f);
    for (const auto& line : renderer.lines)
        ExpectColour(line, 1, 1, 1, 1);

    const float green[4] = {0, 1, 0, 0.5f};
    renderer.DrawCross(zVector(0, 0, 0), 1.0f, green);
    ExpectColour(renderer.lines[3], 0, 1, 0, 0.5f);
}

TEST_F(DebugDrawTest, OnlyTheCrossIsSkippedWhileTheVideoIsClosed)
{
    renderer.videoClosed = 1;
    renderer.DrawCross(zVector(0, 0, 0), 1.0f, nullptr);
    EXPECT_TRUE(renderer.lines.empty());
    renderer.DrawSphere(zMatrix4(), 1.0f, nullptr);
    EXPECT_EQ(renderer.lines.size(), 72u);
    zOBB box;
    renderer.DrawOBB(box, nullptr);
    EXPECT_EQ(renderer.lines.size(), 84u);
}

TEST_F(DebugDrawTest, SphereIsThreeClosedCirclesOfTwentyFourSegments)
{
    const zMatrix4 placement = zMatrix4::TranslationMatrix(zVector(5, 0, -1));
    renderer.DrawSphere(placement, 2.0f, nullptr);
    ASSERT_EQ(renderer.lines.size(), 72u);
    // The first points at angle 0: (0, r, 0), (0, r, 0) and (r, 0, 0), moved.
    ExpectPoint(renderer.lines[0].from, 5, 2, -1);
    ExpectPoint(renderer.lines[1].from, 5, 2, -1);
    ExpectPoint(renderer.lines[2].from, 7, 0, -1);
    for (size_t i = 0; i < renderer.lines.size(); ++i) {
        const auto& line = renderer.lines[i];
        const zVector d = line.to - zVector(5, 0, -1);
        EXPECT_NEAR(d.Length(), 2.0f, 1e-5f) << i;
        ExpectColour(line, 1, 1, 1, 1);
        if (i >= 3)
            ExpectPoint(line.from, renderer.lines[i - 3].to.x, renderer.lines[i - 3].to.y, renderer.lines[i - 3].to.z);
    }
    // The first circle lies in the y-z plane (a quarter turn after six steps), the
    // second in x-y, the third in x-z.
    ExpectPoint(renderer.lines[15].to, 5, 2 * std::cos(1.5707964f), 2 * std::sin(1.5707964f) - 1, 1e-4f);
    EXPECT_NEAR(renderer.lines[19].to.z, -1, 1e-6f);
    EXPECT_NEAR(renderer.lines[20].to.y, 0, 1e-6f);
    // After 24 steps of 15 degrees each circle is closed.
    ExpectPoint(renderer.lines[69].to, 5, 2, -1, 1e-4f);
    ExpectPoint(renderer.lines[71].to, 7, 0, -1, 1e-4f);
}

TEST_F(DebugDrawTest, ASphereOfRadiusZeroStillIssuesEveryLine)
{
    renderer.DrawSphere(zMatrix4(), 0.0f, nullptr);
    ASSERT_EQ(renderer.lines.size(), 72u);
    for (const auto& line : renderer.lines)
        EXPECT_EQ((line.to - line.from).Length(), 0.0f);
}

TEST_F(DebugDrawTest, BoxEdgesJoinTheCornersInTheirOrder)
{
    zOBB box;
    box.size = zVector(2, 2, 2);
    renderer.DrawOBB(box, nullptr);
    ASSERT_EQ(renderer.lines.size(), 12u);
    const zVector corners[8] = {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1},
                                {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};
    const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                              {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (int i = 0; i < 12; ++i) {
        const zVector& a = corners[edges[i][0]];
        const zVector& b = corners[edges[i][1]];
        ExpectPoint(renderer.lines[i].from, a.x, a.y, a.z);
        ExpectPoint(renderer.lines[i].to, b.x, b.y, b.z);
        ExpectColour(renderer.lines[i], 1.0f, 0.5f, 0.0f, 1.0f);
    }
}

TEST_F(DebugDrawTest, ABoxIsScaledAlongItsOwnAxesThenTurnedThenMoved)
{
    zOBB box;
    box.centre = zVector(10, 0, 0);
    box.size = zVector(2, 4, 6);
    box.orientation = zMatrix3::RotationZ(1.5707964f);
    const float blue[4] = {0, 0, 1, 1};
    renderer.DrawOBB(box, blue);
    // Corner 0 (-0.5, 0.5, 0.5) -> (-1, 2, 3) -> a quarter turn about z (-2, -1, 3) -> moved.
    ExpectPoint(renderer.lines[0].from, 8, -1, 3);
    ExpectColour(renderer.lines[0], 0, 0, 1, 1);
}

TEST_F(DebugDrawTest, MinMaxIsDrawnAsAnUnturnedBox)
{
    renderer.DrawMinMax(zMinMax(zVector(0, 0, 0), zVector(2, 4, 6)), nullptr);
    ASSERT_EQ(renderer.lines.size(), 12u);
    ExpectPoint(renderer.lines[0].from, 0, 4, 6);
    ExpectPoint(renderer.lines[0].to, 2, 4, 6);
    ExpectPoint(renderer.lines[6].to, 0, 0, 0);
}

} // namespace
