#include "core/zad/TavrinGlobals.h"
#include "physic/dynamics/TauConstraint.h"
#include "support/LogCapture.h"
#include "TauTestWorld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Counts the callback's calls.
class StepCounter : public TauStepCallback {
public:
    void OnStep(void* userData, bool isStep) override
    {
        EXPECT_EQ(userData, expectedUserData);
        (isStep ? stepped : dropped) += 1;
        moduleTag = GlobalModuleTag;
        TestWorld::now += ticksPerStep;
    }
    void* expectedUserData = nullptr;
    int stepped = 0;
    int dropped = 0;
    uint32_t ticksPerStep = 0;
    int32_t moduleTag = 0;
};

// One floating body and a step counter, no contacts.
class TauWorldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestWorld::now = 0;
        body = world.AddSphere(0.5f, zVector(0.0f, 10.0f, 0.0f), 1.0f);
        world.tau.stepCallback = &counter;
        world.tau.callbackUserData = &world;
        counter.expectedUserData = &world;
    }

    TestWorld world;
    StepCounter counter;
    SceneBody* body = nullptr;
};

TEST_F(TauWorldTest, SeventyFiveHertzRunsFiveStepsPerFourFramesOfASixtieth)
{
    std::vector<int> perUpdate;
    for (int frame = 0; frame < 400; ++frame) {
        const int before = counter.stepped;
        const float fraction = world.Frame(1.0f / 60.0f);
        perUpdate.push_back(counter.stepped - before);
        EXPECT_GT(fraction, 0.0f);
        EXPECT_LE(fraction, 1.0f);
    }
    // The world runs ahead of the frames: after n frames it has simulated
    // the first whole number of steps beyond n / 60 s.
    int total = 0;
    for (int n = 1; n <= 400; ++n) {
        total += perUpdate[n - 1];
        EXPECT_EQ(total, n * 5 / 4 + 1) << "after " << n << " frames";
    }
    EXPECT_EQ(counter.dropped, 0);
}

TEST_F(TauWorldTest, TheUpdateRunsUnderThePhysicsModuleTag)
{
    GlobalModuleTag = 8;
    world.Frame(1.0f / 60.0f);
    EXPECT_EQ(counter.moduleTag, 4);
    EXPECT_EQ(GlobalModuleTag, 8);
    GlobalModuleTag = 0;
}

TEST_F(TauWorldTest, FirstUpdateOfNoTimeRunsOneStep)
{
    EXPECT_FLOAT_EQ(world.Frame(0.0f), 1.0f);
    EXPECT_EQ(counter.stepped, 1);
    EXPECT_TRUE(std::isfinite(body->body.state.position.y));
}

TEST_F(TauWorldTest, BadFrequencyIsRefusedAndTheOldOneKept)
{
    LogCapture capture;
    for (const float bad : {0.0f, -60.0f, std::nanf(""), INFINITY, 1e30f}) {
        EXPECT_FALSE(world.tau.SetFrequency(bad));
        EXPECT_EQ(world.tau.Frequency, 75.0f);
        // A script may write the field directly: the update refuses it too.
        world.tau.Frequency = bad;
        world.tau.Reset();
        const int before = counter.stepped;
        world.Frame(0.5f / 75.0f);
        EXPECT_EQ(world.tau.Frequency, 75.0f);
        EXPECT_EQ(counter.stepped - before, 1);
    }
    EXPECT_TRUE(capture.Contains("Invalid frequency"));
    EXPECT_TRUE(world.tau.SetFrequency(60.0f));
    EXPECT_EQ(world.tau.Frequency, 60.0f);
}

TEST_F(TauWorldTest, ALateUpdateDropsTheRestAndTellsTheCallback)
{
    LogCapture capture;
    // The first step costs 20 ms of wall time.
    counter.ticksPerStep = 200;
    world.Frame(0.1f);
    EXPECT_EQ(counter.stepped, 1);
    // 0.1 s owes 7.5 steps: one ran, the truncated rest is 6, the dropped ones 7.
    EXPECT_TRUE(capture.Contains("Physic skipping 6 update(s)...\n"));
    EXPECT_EQ(counter.dropped, 7);
    EXPECT_GT(world.tau.accumulator, 0.0f);
}

TEST_F(TauWorldTest, FrameTimesThatCouldNeverBeSteppedAreBounded)
{
    LogCapture capture;
    counter.ticksPerStep = 200;
    struct Case {
        float dt;
        int owed;
    } cases[] = {{std::nanf(""), 1}, {-INFINITY, 0}, {INFINITY, 60 * 75}, {1e9f, 60 * 75}};
    for (const Case& c : cases) {
        world.tau.Reset();
        counter.stepped = counter.dropped = 0;
        const float fraction = world.Frame(c.dt);
        EXPECT_TRUE(std::isfinite(fraction)) << c.dt;
        EXPECT_GT(world.tau.accumulator, -1e-3f) << c.dt;
        // A slow first step: the rest of a long frame is dropped.
        EXPECT_NEAR(counter.stepped + counter.dropped, c.owed, 1) << c.dt;
    }
    EXPECT_TRUE(capture.Contains("Frame time nan taken as 0.000.\n"));
    EXPECT_TRUE(capture.Contains("Frame time 1000000000.000 taken as 60.000.\n"));
}

TEST_F(TauWorldTest, FastStepsNeverSkip)
{
    LogCapture capture;
    counter.ticksPerStep = 10;
    world.Frame(0.1f);
    EXPECT_EQ(counter.stepped, 8);
    EXPECT_EQ(counter.dropped, 0);
    EXPECT_FALSE(capture.Contains("Physic skipping"));
}

TEST_F(TauWorldTest, AQuietBodySleepsAfterTheQuietLimitAndAForceWakesIt)
{
    TauItem& b = body->body;
    b.Flag = TauItem::FlagNoGravity;
    for (int i = 0; i < 55; ++i)
        world.tau.Step();
    EXPECT_TRUE(b.IsAwake());
    EXPECT_EQ(b.quietSteps, 55);
    world.tau.Step();
    EXPECT_FALSE(b.IsAwake());
    EXPECT_EQ(b.worldList, &world.tau.sleepingItems);
    EXPECT_EQ(b.state.linearVelocity.SquaredLength(), 0.0f);
    b.ApplyLinearForce(zVector(0.0f, 1.0f, 0.0f));
    EXPECT_TRUE(b.IsAwake());
    EXPECT_EQ(b.worldList, &world.tau.activeItems);
}

TEST_F(TauWorldTest, WithoutSleepingTheQuietCountStaysZero)
{
    world.tau.sleepingEnabled = 0;
    body->body.Flag = TauItem::FlagNoGravity;
    for (int i = 0; i < 100; ++i)
        world.tau.Step();
    EXPECT_EQ(body->body.quietSteps, 0);
    EXPECT_TRUE(body->body.IsAwake());
}

TEST_F(TauWorldTest, FreeFallFollowsGravity)
{
    for (int frame = 0; frame < 75; ++frame)
        world.Frame(1.0f / 75.0f);
    // Each step adds g h, then damps by 0.999.
    const float n = static_cast<float>(counter.stepped);
    const float v = body->body.state.linearVelocity.y;
    EXPECT_NEAR(v, -9.8f / 75.0f * 0.999f * (1.0f - std::pow(0.999f, n)) / (1.0f - 0.999f), 1e-3f);
    EXPECT_NEAR(body->body.state.position.y, 10.0f - 4.9f, 0.2f);
    EXPECT_NEAR(body->item.position.y, body->body.state.position.y, 0.2f);
}

TEST_F(TauWorldTest, BodiesAddedBetweenStepsAreSteppedWithTheOthers)
{
    // The step keeps its body array between steps: a world that grows past
    // it (one body, then three, then forty) still steps every body, each
    // pushed body moving in its first step exactly as the first did in its own.
    const auto pushAllAndStep = [this] {
        for (auto& b : world.bodies) {
            if (b->body.worldList == &world.tau.activeItems) {
                b->body.previous = b->body.state;
                b->body.ApplyLinearForce(zVector(0.0f, -1.0f, 0.0f));
            }
        }
        world.tau.Step();
    };
    pushAllAndStep();
    const float firstStepVelocity = body->body.state.linearVelocity.y;
    ASSERT_LT(firstStepVelocity, 0.0f);
    std::vector<SceneBody*> added;
    for (int count : {2, 37}) {
        const size_t from = added.size();
        for (int i = 0; i < count; ++i) {
            const float x = 3.0f * static_cast<float>(added.size() + 1);
            added.push_back(world.AddSphere(0.5f, zVector(x, 10.0f, 0.0f), 1.0f));
        }
        pushAllAndStep();
        for (size_t i = from; i < added.size(); ++i)
            EXPECT_EQ(added[i]->body.state.linearVelocity.y, firstStepVelocity) << "body " << i;
    }
    for (SceneBody* b : added)
        world.tau.RemoveItem(&b->body, true);
    ASSERT_EQ(world.tau.activeItems.GetCount(), 1);
    const float before = body->body.state.linearVelocity.y;
    pushAllAndStep();
    EXPECT_LT(body->body.state.linearVelocity.y, before);
}

TEST_F(TauWorldTest, StaticBodyGetsNoGravity)
{
    SceneBody* ground = world.AddBox(zVector(10.0f, 1.0f, 10.0f), zVector(0.0f, -20.0f, 0.0f), 0.0f);
    for (int frame = 0; frame < 30; ++frame)
        world.Frame(1.0f / 75.0f);
    EXPECT_EQ(ground->body.state.position.y, -20.0f);
    EXPECT_EQ(ground->body.state.linearVelocity.SquaredLength(), 0.0f);
}

TEST_F(TauWorldTest, ListsMoveBodiesBetweenThem)
{
    TauItem& b = body->body;
    Tau& tau = world.tau;
    tau.AddItem(&b);
    EXPECT_EQ(tau.activeItems.GetCount(), 1);
    tau.SetItemInactive(&b, true);
    EXPECT_EQ(b.worldList, &tau.inactiveItems);
    tau.AddItem(&b);
    EXPECT_EQ(tau.activeItems.GetCount(), 0);
    tau.SetItemInactive(&b, false);
    EXPECT_EQ(b.worldList, &tau.activeItems);
    tau.SleepItem(&b);
    tau.Reset();
    EXPECT_EQ(b.worldList, &tau.activeItems);
    EXPECT_TRUE(b.IsAwake());
    EXPECT_TRUE(tau.RemoveItem(&b, false));
    EXPECT_FALSE(tau.RemoveItem(&b, false));
}

TEST_F(TauWorldTest, RemovingABodyDetachesAndDropsItsConstraints)
{
    SceneBody* other = world.AddSphere(0.5f, zVector(3.0f, 10.0f, 0.0f), 1.0f);
    std::vector<TauConstraint*> group;
    auto* both = new TauDistanceConstraint(&world.tau, &body->body, &other->body, nullptr, nullptr, 1.0f, 2.0f);
    auto* alone = new TauDistanceConstraint(&world.tau, &body->body, nullptr, nullptr, nullptr, 1.0f, 2.0f);
    world.tau.AddConstraint(both);
    world.tau.AddConstraint(alone);
    world.AddConstraintToGroup(&group, alone);
    alone->groupOwner = &world;
    EXPECT_TRUE(world.tau.RemoveItem(&body->body, true));
    EXPECT_EQ(world.tau.constraints.GetCount(), 1);
    EXPECT_EQ(both->anchor, nullptr);
    EXPECT_EQ(both->target, &other->body);
    EXPECT_TRUE(group.empty());
}

TEST(TauWorld, DestroyingTheWorldLeavesEmbeddedBodiesAlive)
{
    auto* tau = new Tau;
    TauItem a(tau);
    TauItem b(tau);
    a.Mode = b.Mode = TauItem::ModeRigid;
    tau->AddItem(&a);
    tau->AddItem(&b);
    tau->SleepItem(&b);
    delete tau;
    EXPECT_EQ(a.worldList, nullptr);
    EXPECT_EQ(b.worldList, nullptr);
}

TEST(TauWorld, ABodyDestroyedFirstLeavesTheWorld)
{
    Tau tau;
    {
        TauItem a(&tau);
        tau.AddItem(&a);
        EXPECT_EQ(tau.activeItems.GetCount(), 1);
    }
    EXPECT_EQ(tau.activeItems.GetCount(), 0);
}

TEST(TauWorld, AllocationIsLoggedAndBoundedAndFailureLeavesNoBuffers)
{
    LogCapture capture;
    Tau tau;
    // The whole line: plain information, no prefix, method or place in the code.
    std::string allocLine;
    for (const std::string& line : capture.lines)
        if (line.find("Tau alloc") != std::string::npos)
            allocLine = line;
    EXPECT_EQ("Tau alloc = 212992 byte(s) (2048 node(s), 4096 contact(s)).\n", allocLine);
    EXPECT_TRUE(tau.AllocateCollisionNode(16, 100000));
    EXPECT_EQ(tau.pointCapacity, Tau::MaxPointCapacity);
    EXPECT_TRUE(tau.AllocateCollisionNode(100000, 16));
    EXPECT_EQ(tau.nodeCapacity, Tau::MaxNodeCapacity);
    EXPECT_TRUE(capture.Contains("Node count 100000 capped to 65535.\n"));
    EXPECT_FALSE(tau.AllocateCollisionNode(0xFFFFFFFFu, 16));
    EXPECT_TRUE(capture.Contains("Could not allocate Tau collision nodes.\n"));
    EXPECT_EQ(tau.nodes, nullptr);
    EXPECT_EQ(tau.points, nullptr);
    EXPECT_EQ(tau.nodeCapacity, 0u);
    EXPECT_EQ(tau.pointCapacity, 0u);
    EXPECT_EQ(tau.SleepDelay, 0);
}

// The solver counts take what the "Tau" tag takes, and refuse the rest.
TEST(TauWorld, IterationCountsOutsideTheTagsRangeAreRefused)
{
    struct Case {
        int64_t count;
        bool taken;
    };
    const Case cases[] = {{0, true}, {1, true}, {4096, true}, {4097, false}, {INT32_MAX, false}, {-1, false}, {INT32_MIN, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        LogCapture capture;
        Tau tau;
        tau.ContactIteration = 7;
        tau.ConstraintIteration = 9;
        EXPECT_EQ(tau.SetContactIteration(c.count), c.taken);
        EXPECT_EQ(tau.SetConstraintIteration(c.count), c.taken);
        EXPECT_EQ(tau.ContactIteration, c.taken ? uint32_t(c.count) : 7u);
        EXPECT_EQ(tau.ConstraintIteration, c.taken ? uint32_t(c.count) : 9u);
        EXPECT_EQ(capture.Contains("Invalid iteration count " + std::to_string(c.count) + " (0 to 4096), 7 kept.\n"), !c.taken);
    }
}

} // namespace

namespace {

// A static floor whose item moved up by 0.1 over the frame, touching a box.
class TauStaticSweepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ground = world.AddBox(zVector(10.0f, 1.0f, 10.0f), zVector(0.0f, -0.5f, 0.0f), 0.0f);
        box = world.AddBox(zVector(1.0f, 1.0f, 1.0f), zVector(0.0f, 0.5f, 0.0f), 1.0f);
        ground->item.previousWorldMatrix = ground->item.worldMatrix;
        ground->item.position = zVector(0.0f, -0.4f, 0.0f);
        ground->item.UpdateWorldMatrix();
        Tau& tau = world.tau;
        tau.nodes[0].shapeA = ground->collision.GetFirstShape();
        tau.nodes[0].shapeB = box->collision.GetFirstShape();
        tau.nodeCount = 1;
        tau.step = 1.0f / 75.0f;
    }

    TestWorld world;
    SceneBody* ground = nullptr;
    SceneBody* box = nullptr;
};

TEST_F(TauStaticSweepTest, TheStepSweepsFromItsStartToItsEndPose)
{
    Tau& tau = world.tau;
    tau.frameTime = tau.step;
    tau.accumulatorAtUpdateStart = -tau.step;
    tau.accumulator = -tau.step;
    tau.InterpolateStaticItems();
    EXPECT_NEAR(ground->collision.previousPosition.y, -0.5f, 1e-5f);
    EXPECT_NEAR(ground->collision.position.y, -0.4f, 1e-5f);
}

TEST_F(TauStaticSweepTest, AFrameOfNoTimeTakesTheEndPose)
{
    Tau& tau = world.tau;
    tau.frameTime = 0.0f;
    tau.accumulatorAtUpdateStart = 0.0f;
    tau.accumulator = 0.0f;
    tau.InterpolateStaticItems();
    EXPECT_NEAR(ground->collision.position.y, -0.4f, 1e-5f);
    EXPECT_TRUE(std::isfinite(ground->collision.position.x));
}

} // namespace
