#include "physic/dynamics/TauConstraint.h"
#include "TauTestWorld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Two free spheres without gravity on the x axis.
class TauConstraintTest : public ::testing::Test {
protected:
    void Place(float distance)
    {
        a = world.AddSphere(0.25f, zVector(0.0f, 0.0f, 0.0f), 1.0f);
        b = world.AddSphere(0.25f, zVector(distance, 0.0f, 0.0f), 1.0f);
        a->body.Flag = b->body.Flag = TauItem::FlagNoGravity;
    }
    // Relative speed of b away from a after one prepare and solve.
    float SeparationSpeedAfterSolve(TauConstraint& c)
    {
        c.Prepare(true);
        c.Solve();
        return b->body.state.linearVelocity.x - a->body.state.linearVelocity.x;
    }

    TestWorld world;
    SceneBody* a = nullptr;
    SceneBody* b = nullptr;
};

struct DistanceCase {
    float distance;
    float min;
    float max;
    // -1 pulled together, +1 pushed apart, 0 left alone.
    int direction;
};

// Names the case in test listings and failure messages.
void PrintTo(const DistanceCase& c, std::ostream* out)
{
    *out << "distance " << c.distance << " in [" << c.min << ", " << c.max << "]";
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

class TauDistanceTest : public TauConstraintTest, public ::testing::WithParamInterface<DistanceCase> {};

TEST_P(TauDistanceTest, KeepsTheDistanceInItsRange)
{
    const DistanceCase& c = GetParam();
    Place(c.distance);
    TauDistanceConstraint constraint(&world.tau, &a->body, &b->body, nullptr, nullptr, c.min, c.max);
    const float speed = SeparationSpeedAfterSolve(constraint);
    if (c.direction == 0)
        EXPECT_NEAR(speed, 0.0f, 1e-6f);
    else
        EXPECT_GT(speed * static_cast<float>(c.direction), 0.01f);
    // Momentum is kept: the impulses are equal and opposite.
    EXPECT_NEAR(a->body.state.linearVelocity.x + b->body.state.linearVelocity.x, 0.0f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Ranges, TauDistanceTest,
                         ::testing::Values(DistanceCase{3.0f, 1.0f, 2.0f, -1}, DistanceCase{0.5f, 1.0f, 2.0f, +1},
                                           DistanceCase{1.5f, 1.0f, 2.0f, 0}, DistanceCase{3.0f, -1.0f, 2.0f, -1},
                                           DistanceCase{0.5f, 1.0f, -1.0f, +1}, DistanceCase{3.0f, -1.0f, -1.0f, 0},
                                           DistanceCase{0.5f, -1.0f, -1.0f, 0}),
                         [](const ::testing::TestParamInfo<DistanceCase>& info) {
                             const DistanceCase& c = info.param;
                             return "At" + NameOf(c.distance) + "Min" + NameOf(c.min) + "Max" + NameOf(c.max);
                         });

TEST_F(TauConstraintTest, InRangeTheImpulseIsZeroWhateverTheRelativeVelocity)
{
    Place(1.5f);
    b->body.state.linearVelocity = zVector(0.3f, 0.2f, 0.0f);
    TauDistanceConstraint c(&world.tau, &a->body, &b->body, nullptr, nullptr, 1.0f, 2.0f);
    c.Prepare(true);
    c.Solve();
    EXPECT_NEAR(b->body.state.linearVelocity.x, 0.3f, 1e-6f);
    EXPECT_NEAR(a->body.state.linearVelocity.SquaredLength(), 0.0f, 1e-10f);
}

TEST_F(TauConstraintTest, SleepingEndsAndDisabledConstraintsDoNothing)
{
    Place(3.0f);
    TauDistanceConstraint c(&world.tau, &a->body, &b->body, nullptr, nullptr, 1.0f, 2.0f);
    world.tau.SleepItem(&a->body);
    world.tau.SleepItem(&b->body);
    c.Prepare(true);
    EXPECT_EQ(c.effectiveMass, 0.0f);
    world.tau.WakeItem(&b->body);
    c.Enable = 0;
    c.Prepare(true);
    EXPECT_EQ(c.effectiveMass, 0.0f);
    c.Enable = 1;
    c.Prepare(true);
    EXPECT_FLOAT_EQ(c.effectiveMass, 0.5f);
}

TEST_F(TauConstraintTest, MaxErrorCorrectionLimitsOneSolve)
{
    Place(10.0f);
    a->body.SetMass(0.0f);
    TauDistanceConstraint c(&world.tau, &a->body, &b->body, nullptr, nullptr, 0.0f, 1.0f);
    c.MaxErrorCorrection = 1.0f;
    c.Prepare(true);
    c.Solve();
    // Effective mass 1 and the half factor: the velocity change is e / 2 per step.
    EXPECT_NEAR(b->body.state.linearVelocity.x, -0.5f / 75.0f, 1e-6f);
}

TEST_F(TauConstraintTest, CorrectionVectorUsedBeforeBeingSetIsHarmless)
{
    Place(3.0f);
    TauDistanceConstraint c(&world.tau, &a->body, &b->body, nullptr, nullptr, 1.0f, 2.0f);
    c.useCorrectionVector = 1;
    c.Prepare(true);
    c.Solve();
    EXPECT_EQ(b->body.state.linearVelocity.SquaredLength(), 0.0f);
    c.correctionVector = zVector(1.0f, 0.0f, 0.0f);
    c.Solve();
    EXPECT_LT(b->body.state.linearVelocity.x, 0.0f);
}

TEST_F(TauConstraintTest, PositionConstraintLeavesAFreeAxisFree)
{
    Place(0.0f);
    const zVector above(0.0f, 2.0f, 0.0f);
    b->body.ResetTransformation(&above, nullptr);
    TauPositionConstraint slide(&world.tau, &a->body, &b->body, nullptr, nullptr, 2);
    slide.Prepare(true);
    slide.Solve();
    EXPECT_NEAR(b->body.state.linearVelocity.y, 0.0f, 1e-7f);
    TauPositionConstraint held(&world.tau, &a->body, &b->body, nullptr, nullptr, 0);
    held.Prepare(true);
    held.Solve();
    EXPECT_LT(b->body.state.linearVelocity.y, 0.0f);
}

TEST_F(TauConstraintTest, VelocityConstraintDrivesTheMaskedComponents)
{
    Place(3.0f);
    a->body.state.angularVelocity = zVector(2.0f, -4.0f, 8.0f);
    a->body.state.linearVelocity = zVector(1.0f, 0.0f, 0.0f);
    TauVelocityConstraint c(&world.tau, &a->body, nullptr, nullptr, 56);
    c.Strength = 0.5f;
    c.Solve();
    EXPECT_FLOAT_EQ(a->body.state.angularVelocity.x, 1.0f);
    EXPECT_FLOAT_EQ(a->body.state.angularVelocity.z, 4.0f);
    EXPECT_FLOAT_EQ(a->body.state.linearVelocity.x, 1.0f);
    c.Strength = 1.0f;
    c.Solve();
    EXPECT_EQ(a->body.state.angularVelocity.SquaredLength(), 0.0f);
    const zVector speed(0.0f, 3.0f, 0.0f);
    TauVelocityConstraint lift(&world.tau, &a->body, &speed, nullptr, 2);
    lift.Solve();
    EXPECT_FLOAT_EQ(a->body.state.linearVelocity.y, 3.0f);
    EXPECT_FLOAT_EQ(a->body.state.linearVelocity.x, 1.0f);
}

// A bob on a rod of length 1 from a fixed point, swinging under gravity.
TEST(TauPendulum, DistanceAndHingeKeepTheLength)
{
    for (const bool hinge : {false, true}) {
        TestWorld world;
        SceneBody* bob = world.AddSphere(0.1f, zVector(1.0f, 0.0f, 0.0f), 1.0f);
        auto* rod = new TauDistanceConstraint(&world.tau, nullptr, &bob->body, nullptr, nullptr, 1.0f, 1.0f);
        world.tau.AddConstraint(rod);
        if (hinge) {
            const zVector axis(0.0f, 0.0f, 1.0f);
            world.tau.AddConstraint(new TauHingeConstraint(&world.tau, nullptr, &bob->body, nullptr, nullptr, &axis));
        }
        float lowest = 0.0f;
        for (int frame = 0; frame < 180; ++frame) {
            world.Frame(1.0f / 60.0f);
            const zVector& p = bob->body.state.position;
            EXPECT_NEAR(p.Length(), 1.0f, 0.02f) << "frame " << frame << (hinge ? " hinge" : "");
            lowest = std::fmin(lowest, p.y);
        }
        // It swings through the bottom.
        EXPECT_LT(lowest, -0.95f);
        if (hinge) {
            // The bob keeps its turn about the hinge axis only.
            const zVector z = zVector(0.0f, 0.0f, 1.0f).Rotate(bob->body.state.rotation);
            EXPECT_NEAR(z.z, 1.0f, 1e-3f);
        }
    }
}

TEST(TauConstraintLife, DeletedConstraintsLeaveTheirGroupsAndWorld)
{
    std::vector<TauConstraint*> group;
    TestWorld world;
    auto* c = new TauDistanceConstraint(&world.tau, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f);
    world.tau.AddConstraint(c);
    world.AddConstraintToGroup(&group, c);
    c->groupOwner = &world;
    world.tau.RemoveConstraint(c);
    EXPECT_TRUE(group.empty());
    EXPECT_EQ(world.tau.constraints.GetCount(), 0);
    auto* d = new TauDistanceConstraint(&world.tau, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f);
    world.tau.AddConstraint(d);
    delete d;
    EXPECT_EQ(world.tau.constraints.GetCount(), 0);
}

} // namespace
