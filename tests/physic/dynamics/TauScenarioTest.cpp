#include "physic/dynamics/TauConstraint.h"
#include "TauTestWorld.h"
#include "core/geometry/zGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float Frame = 1.0f / 60.0f;

// A static floor whose top is at y = 0.
SceneBody* AddFloor(TestWorld& world)
{
    return world.AddBox(zVector(40.0f, 1.0f, 40.0f), zVector(0.0f, -0.5f, 0.0f), 0.0f);
}

// Frames until the body sleeps, or -1 within the limit.
int FramesUntilAsleep(TestWorld& world, const TauItem& body, int limit)
{
    for (int frame = 0; frame < limit; ++frame) {
        if (!body.IsAwake())
            return frame;
        world.Frame(Frame);
    }
    return body.IsAwake() ? -1 : limit;
}

struct DropCase {
    float height;
    // How far the landing may push it sideways.
    float drift;
};

// Names the case in test listings and failure messages.
void PrintTo(const DropCase& c, std::ostream* out)
{
    *out << "dropped from " << c.height << " m";
}

// A number as it may stand in a test name: "1.5" gives "1p5", "-1" gives "m1".
std::string NameOf(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    std::string name;
    for (const char* c = text; *c != 0; ++c)
        name += *c == '.' ? 'p' : *c == '-' ? 'm' : *c;
    return name;
}

class TauDropTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(TauDropTest, ADroppedBoxRestsOnTheFloorAndFallsAsleep)
{
    TestWorld world;
    AddFloor(world);
    const float start = 0.5f + GetParam().height;
    SceneBody* box = world.AddBox(zVector(1.0f, 1.0f, 1.0f), zVector(0.0f, start, 0.0f), 1.0f);
    const int asleepAt = FramesUntilAsleep(world, box->body, 600);
    ASSERT_GE(asleepAt, 0) << "still awake after 10 s at y " << box->body.state.position.y;
    // The fall, the settling and the 0.75 s quiet delay.
    EXPECT_LT(asleepAt, 4 * 60);
    EXPECT_NEAR(box->body.state.position.y, 0.5f, 0.02f);
    EXPECT_NEAR(box->body.state.position.x, 0.0f, GetParam().drift);
    EXPECT_NEAR(box->body.state.position.z, 0.0f, GetParam().drift);
    const zVector up = zVector(0.0f, 1.0f, 0.0f).Rotate(box->body.state.rotation);
    EXPECT_GT(std::fabs(up.y), 0.999f);
    // Asleep, it stays where it is.
    const float y = box->body.state.position.y;
    for (int frame = 0; frame < 60; ++frame)
        world.Frame(Frame);
    EXPECT_EQ(box->body.state.position.y, y);
    EXPECT_FALSE(box->body.IsAwake());
}

// The sequential solver turns a hard flat landing a little, so the box may tumble aside.
INSTANTIATE_TEST_SUITE_P(Heights, TauDropTest, ::testing::Values(DropCase{0.01f, 0.02f}, DropCase{1.5f, 0.5f}),
                         [](const ::testing::TestParamInfo<DropCase>& info) { return "From" + NameOf(info.param.height); });

TEST(TauScenario, ABouncingBallLosesHeightAtEveryBounceAndRests)
{
    TestWorld world;
    AddFloor(world);
    SceneBody* ball = world.AddSphere(0.5f, zVector(0.0f, 3.0f, 0.0f), 1.0f);
    std::vector<float> peaks;
    float last = ball->body.state.position.y;
    bool rising = false;
    for (int frame = 0; frame < 600 && ball->body.IsAwake(); ++frame) {
        world.Frame(Frame);
        const float y = ball->body.state.position.y;
        if (rising && y < last)
            peaks.push_back(last);
        rising = y > last;
        last = y;
    }
    ASSERT_FALSE(ball->body.IsAwake());
    ASSERT_GE(peaks.size(), 1u);
    float previous = 3.0f;
    for (const float peak : peaks) {
        EXPECT_LT(peak, previous);
        previous = peak;
    }
    EXPECT_NEAR(ball->body.state.position.y, 0.5f, 0.02f);
}

TEST(TauScenario, APendulumNeverGainsEnergy)
{
    TestWorld world;
    SceneBody* bob = world.AddSphere(0.1f, zVector(1.0f, 0.0f, 0.0f), 1.0f);
    world.tau.AddConstraint(new TauDistanceConstraint(&world.tau, nullptr, &bob->body, nullptr, nullptr, 1.0f, 1.0f));
    float highest = 0.0f;
    for (int frame = 0; frame < 600; ++frame) {
        world.Frame(Frame);
        const TauItemState& s = bob->body.state;
        const float energy = 0.5f * s.linearVelocity.SquaredLength() + 9.8f * s.position.y;
        highest = std::fmax(highest, energy);
    }
    EXPECT_LT(highest, 0.05f);
}

TEST(TauScenario, ASleepingStackWakesWhenHit)
{
    TestWorld world;
    AddFloor(world);
    std::vector<SceneBody*> stack;
    for (int i = 0; i < 3; ++i)
        stack.push_back(world.AddBox(zVector(1.0f, 1.0f, 1.0f), zVector(0.0f, 0.5f + 1.0f * i, 0.0f), 1.0f));
    for (int frame = 0; frame < 900; ++frame) {
        bool allAsleep = true;
        for (SceneBody* b : stack)
            allAsleep = allAsleep && !b->body.IsAwake();
        if (allAsleep)
            break;
        world.Frame(Frame);
    }
    for (SceneBody* b : stack) {
        ASSERT_FALSE(b->body.IsAwake());
        EXPECT_NEAR(b->body.state.position.x, 0.0f, 0.05f);
    }
    EXPECT_NEAR(stack[2]->body.state.position.y, 2.5f, 0.06f);

    SceneBody* ball = world.AddSphere(0.3f, zVector(-3.0f, 0.5f, 0.0f), 2.0f);
    ball->body.state.linearVelocity = zVector(8.0f, 0.0f, 0.0f);
    for (int frame = 0; frame < 30; ++frame)
        world.Frame(Frame);
    EXPECT_TRUE(stack[0]->body.IsAwake() || stack[0]->body.state.position.x > 0.05f);
    EXPECT_GT(stack[0]->body.state.position.x, 0.05f);
}

TEST(TauScenario, AColumnOfFiveEqualBoxesStandsAndFallsAsleep)
{
    TestWorld world;
    AddFloor(world);
    std::vector<SceneBody*> column;
    for (int i = 0; i < 5; ++i)
        column.push_back(world.AddBox(zVector(1.0f, 1.0f, 1.0f), zVector(0.0f, 0.5f + 1.0f * i, 0.0f), 1.0f));
    int frame = 0;
    for (; frame < 600; ++frame) {
        bool allAsleep = true;
        for (SceneBody* b : column)
            allAsleep = allAsleep && !b->body.IsAwake();
        if (allAsleep)
            break;
        world.Frame(Frame);
        // Every box rests on the one below on a whole face.
        for (uint32_t i = 0; i < world.tau.nodeCount; ++i)
            EXPECT_EQ(world.tau.nodes[i].pointCount, 4u) << "frame " << frame;
    }
    ASSERT_LT(frame, 600) << "still awake after 10 s";
    for (int i = 0; i < 5; ++i) {
        const TauItemState& s = column[i]->body.state;
        EXPECT_NEAR(s.position.x, 0.0f, 0.05f) << "box " << i;
        EXPECT_NEAR(s.position.z, 0.0f, 0.05f) << "box " << i;
        EXPECT_NEAR(s.position.y, 0.5f + 1.0f * i, 0.1f) << "box " << i;
        const zVector up = zVector(0.0f, 1.0f, 0.0f).Rotate(s.rotation);
        EXPECT_GT(up.y, 0.999f) << "box " << i;
    }
}

TEST(TauScenario, MomentumIsKeptInAFreeCollision)
{
    TestWorld world;
    SceneBody* a = world.AddSphere(0.5f, zVector(-2.0f, 0.0f, 0.0f), 1.0f);
    SceneBody* b = world.AddSphere(0.5f, zVector(2.0f, 0.1f, 0.0f), 3.0f);
    for (SceneBody* s : {a, b}) {
        s->body.Flag = TauItem::FlagNoGravity;
        s->body.LinearDamping = s->body.AngularDamping = 1.0f;
    }
    a->body.state.linearVelocity = zVector(2.0f, 0.0f, 0.0f);
    b->body.state.linearVelocity = zVector(-1.0f, 0.0f, 0.0f);
    const zVector before = a->body.state.linearVelocity * 1.0f + b->body.state.linearVelocity * 3.0f;
    for (int frame = 0; frame < 120; ++frame)
        world.Frame(Frame);
    const zVector after = a->body.state.linearVelocity * 1.0f + b->body.state.linearVelocity * 3.0f;
    EXPECT_NEAR(after.x, before.x, 1e-3f);
    EXPECT_NEAR(after.y, before.y, 1e-3f);
    EXPECT_NEAR(after.z, before.z, 1e-3f);
    // They met and parted.
    EXPECT_LT(a->body.state.linearVelocity.x, b->body.state.linearVelocity.x);
    EXPECT_GT(VectorDistance(a->body.state.position, b->body.state.position), 1.0f);
}

TEST(TauScenario, AGhostIsPushedButPushesNothing)
{
    TestWorld world;
    SceneBody* ghost = world.AddSphere(0.5f, zVector(-2.0f, 0.0f, 0.0f), 1.0f);
    SceneBody* other = world.AddSphere(0.5f, zVector(0.0f, 0.0f, 0.0f), 1.0f);
    ghost->body.Flag = TauItem::FlagNoGravity | TauItem::FlagGhost;
    other->body.Flag = TauItem::FlagNoGravity;
    ghost->body.state.linearVelocity = zVector(3.0f, 0.0f, 0.0f);
    for (int frame = 0; frame < 60; ++frame)
        world.Frame(Frame);
    EXPECT_EQ(other->body.state.linearVelocity.x, 0.0f);
    EXPECT_EQ(other->body.state.position.x, 0.0f);
    EXPECT_LT(ghost->body.state.linearVelocity.x, 3.0f);
}

TEST(TauScenario, ADistanceConstraintHoldsAHangingBody)
{
    TestWorld world;
    SceneBody* hook = world.AddSphere(0.1f, zVector(0.0f, 5.0f, 0.0f), 0.0f);
    SceneBody* weight = world.AddBox(zVector(0.5f, 0.5f, 0.5f), zVector(0.5f, 4.0f, 0.0f), 2.0f);
    world.tau.AddConstraint(new TauDistanceConstraint(&world.tau, &hook->body, &weight->body, nullptr, nullptr, 0.0f, 2.0f));
    for (int frame = 0; frame < 300; ++frame) {
        world.Frame(Frame);
        EXPECT_LT(VectorDistance(hook->body.state.position, weight->body.state.position), 2.05f) << frame;
    }
    EXPECT_NEAR(VectorDistance(hook->body.state.position, weight->body.state.position), 2.0f, 0.03f);
    EXPECT_NEAR(weight->body.state.position.x, 0.0f, 0.1f);
}

TEST(TauScenario, AFrameOfNoTimeKeepsStaticContactsFinite)
{
    TestWorld world;
    SceneBody* ground = AddFloor(world);
    SceneBody* box = world.AddBox(zVector(1.0f, 1.0f, 1.0f), zVector(0.0f, 0.49f, 0.0f), 1.0f);
    for (int frame = 0; frame < 5; ++frame) {
        world.Frame(0.0f);
        // The floor touches the box: its collision item is placed from its item at both ends of the step.
        ASSERT_GT(world.tau.nodeCount, 0u);
        ASSERT_TRUE(std::isfinite(box->body.state.position.y));
        ASSERT_TRUE(std::isfinite(box->body.state.orientation.w));
        ASSERT_EQ(ground->collision.position.y, -0.5f);
        ASSERT_EQ(ground->collision.rotation.m[0], 1.0f);
    }
}

// A floor whose top is at y = 0: a box, or a mesh of two triangles.
enum class FloorKind { Box, Mesh };

struct MeshFloor {
    zGeometry geometry{nullptr, "Floor"};

    explicit MeshFloor(float half)
    {
        geometry.vertexCount = 4;
        geometry.vertices = new zVector[4]{{-half, 0, -half}, {-half, 0, half}, {half, 0, half}, {half, 0, -half}};
        geometry.bindingCount = 6;
        geometry.bindingIndices = new int32_t[6]{0, 1, 2, 0, 2, 3};
        geometry.polygonCount = 2;
        geometry.polygons = new zPolygon[2];
        for (int p = 0; p < 2; ++p) {
            geometry.polygons[p].vertexCount = 3;
            geometry.polygons[p].indices = geometry.bindingIndices + 3 * p;
        }
    }
};

struct RestCase {
    const char* name;
    bool sphere;
    // Height of the lowest point above the floor at the start; negative is inside it.
    float start;
    // Mass of a box standing on the body, 0 for none.
    float load;
};

void PrintTo(const RestCase& c, std::ostream* out)
{
    *out << c.name;
}

// How deep the body (radius or half side 0.5) sits in the floor over the
// last second of five.
float RestingPenetration(FloorKind kind, const RestCase& c)
{
    TestWorld world;
    MeshFloor mesh(20.0f);
    if (kind == FloorKind::Mesh)
        world.AddMesh(&mesh.geometry, zVector(0.0f, 0.0f, 0.0f));
    else
        AddFloor(world);
    const zVector at(0.0f, 0.5f + c.start, 0.0f);
    SceneBody* body = c.sphere ? world.AddSphere(0.5f, at, 1.0f) : world.AddBox(zVector(1.0f, 1.0f, 1.0f), at, 1.0f);
    if (c.load > 0.0f)
        world.AddBox(zVector(1.0f, 1.0f, 1.0f), at + zVector(0.0f, 1.0f, 0.0f), c.load);
    float deepest = -1.0f;
    for (int frame = 0; frame < 300; ++frame) {
        world.Frame(Frame);
        if (frame >= 240)
            deepest = std::fmax(deepest, 0.5f - body->body.state.position.y);
    }
    return deepest;
}

class TauRestingTest : public ::testing::TestWithParam<RestCase> {};

// Both floors give the solver contacts of the same sign, so a body rests on a
// mesh as it rests on a box: pushed out, never in.
TEST_P(TauRestingTest, ABodyRestsOnAMeshFloorAsOnABoxFloor)
{
    // A box floor holds each of these within about 1 cm.
    const float bound = 0.02f;
    const float onBox = RestingPenetration(FloorKind::Box, GetParam());
    const float onMesh = RestingPenetration(FloorKind::Mesh, GetParam());
    EXPECT_LT(onBox, bound);
    EXPECT_LT(onMesh, bound) << "on a box floor " << onBox;
    EXPECT_GT(onMesh, -0.01f) << "lifted off the mesh";
}

INSTANTIATE_TEST_SUITE_P(Bodies, TauRestingTest,
                         ::testing::Values(RestCase{"ABoxAtRest", false, 0.0f, 0.0f}, RestCase{"ABoxStartingTenCentimetresDeep", false, -0.1f, 0.0f},
                                           RestCase{"ABoxUnderAHeavyBox", false, 0.0f, 50.0f}, RestCase{"ADroppedBall", true, 0.5f, 0.0f},
                                           RestCase{"ABallStartingOneCentimetreDeep", true, -0.01f, 0.0f}),
                         [](const ::testing::TestParamInfo<RestCase>& info) { return std::string(info.param.name); });

// A small pile: every body's state after two identical runs.
std::vector<TauItemState> RunPile()
{
    TestWorld world;
    AddFloor(world);
    for (int i = 0; i < 12; ++i) {
        const zVector at(0.3f * static_cast<float>(i % 3), 0.6f + 1.1f * static_cast<float>(i), 0.2f * (i % 2));
        if (i % 4 == 3)
            world.AddSphere(0.4f, at, 1.0f);
        else
            world.AddBox(zVector(1.0f, 0.8f, 1.2f), at, 1.0f + 0.5f * (i % 3));
    }
    for (int frame = 0; frame < 240; ++frame)
        world.Frame(Frame);
    std::vector<TauItemState> states;
    for (auto& b : world.bodies)
        states.push_back(b->body.state);
    return states;
}

TEST(TauScenario, TheSameSceneSteppedTwiceIsBitIdentical)
{
    const std::vector<TauItemState> first = RunPile();
    const std::vector<TauItemState> second = RunPile();
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(std::memcmp(&first[i], &second[i], sizeof(TauItemState)), 0) << "body " << i;
    // The top body, dropped from 12.7 m, has come down onto the pile.
    EXPECT_LT(first.back().position.y, 10.0f);
}

} // namespace
