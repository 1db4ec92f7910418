#include "core/CoreTestSupport.h"
#include "core/zad/Tavrin.h"
#include "physic/dynamics/Tau.h"

#include <gtest/gtest.h>

namespace {

class TauDebugDrawTest : public ::testing::Test {
protected:
    TauDebugDrawTest() : renderer(&core, true) { renderer.videoClosed = 0; }

    Tavrin core;
    RecordingRenderer renderer;
    Tau world;
};

TEST_F(TauDebugDrawTest, ContactNormalsAreDrawnPointingUp)
{
    world.nodes[0].normal = zVector(0.0f, -1.0f, 0.0f);
    world.nodes[0].firstPoint = 0;
    world.nodes[0].pointCount = 1;
    world.nodes[1].normal = zVector(1.0f, 0.0f, 0.0f);
    world.nodes[1].firstPoint = 1;
    world.nodes[1].pointCount = 0;
    world.nodes[2].normal = zVector(1.0f, 0.0f, 0.0f);
    world.nodes[2].firstPoint = 1;
    world.nodes[2].pointCount = 1;
    world.points[0].position = zVector(1.0f, 2.0f, 3.0f);
    world.points[1].position = zVector(-1.0f, 0.0f, 0.0f);
    world.nodeCount = 3;
    world.DrawDebugContacts(&renderer, 2.0f);
    // A cross of three lines and the normal, per point.
    ASSERT_EQ(renderer.lines.size(), 8u);
    EXPECT_NEAR(renderer.lines[0].to.x - renderer.lines[0].from.x, 2.0f * 2.0f * 0.025f, 1e-6f);
    const auto& up = renderer.lines[3];
    EXPECT_FLOAT_EQ(up.from.y, 2.0f);
    EXPECT_FLOAT_EQ(up.to.y, 2.0f + 0.2f);
    EXPECT_EQ(up.colour[0], 1.0f);
    EXPECT_EQ(up.colour[1], 0.0f);
    const auto& side = renderer.lines[7];
    EXPECT_FLOAT_EQ(side.to.x, -1.0f + 0.2f);
}

TEST_F(TauDebugDrawTest, CentresOfMassDarkenTowardSleep)
{
    TauItem body(&world);
    body.Mode = TauItem::ModeRigid;
    body.Pivot = zVector(1.0f, 0.0f, 0.0f);
    body.state.position = zVector(0.0f, 5.0f, 0.0f);
    body.state.orientation = zQuaternion::FromEuler(0.0f, 0.0f, 1.5707964f, RotationOrderYXZ);
    body.quietSteps = 28;
    world.AddItem(&body);
    world.DrawDebugItems(&renderer, 1.0f);
    ASSERT_EQ(renderer.lines.size(), 3u);
    const float g = 1.0f - 28.0f / (75.0f * 0.75f);
    EXPECT_FLOAT_EQ(renderer.lines[0].colour[0], g);
    EXPECT_FLOAT_EQ(renderer.lines[0].colour[3], 1.0f);
    // The pivot turned a quarter about z lands above the position.
    EXPECT_NEAR(renderer.lines[1].from.x, 0.0f, 1e-5f);
    EXPECT_NEAR((renderer.lines[1].from.y + renderer.lines[1].to.y) * 0.5f, 6.0f, 1e-5f);
    world.Clear(false);
}

} // namespace
