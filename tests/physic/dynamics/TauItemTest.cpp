#include "core/item/zItem.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauItem.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

zMatrix3 Diagonal(float x, float y, float z)
{
    zMatrix3 m;
    m.Set(x, 0.0f, 0.0f, 0.0f, y, 0.0f, 0.0f, 0.0f, z);
    return m;
}

// A free body of mass 2 with an isotropic unit inverse tensor, in a world.
class TauItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        body.Mode = TauItem::ModeRigid;
        body.Mass = 2.0f;
        body.inverseInertiaTensor = Diagonal(1.0f, 1.0f, 1.0f);
        body.ComputeInverseMass();
        const zVector origin(0.0f, 0.0f, 0.0f);
        body.ResetTransformation(&origin, nullptr);
        world.AddItem(&body);
    }
    void TearDown() override { world.Clear(false); }

    Tau world;
    TauItem body{&world};
};

TEST_F(TauItemTest, ForcesIntegrateOverOneStepOfTheWorld)
{
    body.ApplyLinearForce(zVector(4.0f, 0.0f, 0.0f));
    body.ApplyTorque(zVector(0.0f, 0.0f, 7.5f));
    body.IntegrateForces();
    EXPECT_FLOAT_EQ(body.state.linearVelocity.x, 4.0f * 0.5f / 75.0f);
    EXPECT_FLOAT_EQ(body.state.angularVelocity.z, 7.5f / 75.0f);
    body.ClearAccumulators();
    EXPECT_EQ(body.state.force.SquaredLength(), 0.0f);
    EXPECT_EQ(body.state.torque.SquaredLength(), 0.0f);
}

TEST_F(TauItemTest, PositiveSpinAboutZTurnsXTowardY)
{
    body.state.angularVelocity = zVector(0.0f, 0.0f, 1.0f);
    for (int i = 0; i < 75; ++i) {
        body.IntegrateVelocities(1.0f);
        body.UpdateWorldState();
    }
    const zVector x = zVector(1.0f, 0.0f, 0.0f).Rotate(body.state.rotation);
    EXPECT_NEAR(x.x, std::cos(1.0f), 2e-3f);
    EXPECT_NEAR(x.y, std::sin(1.0f), 2e-3f);
}

TEST_F(TauItemTest, ForceAtThePositionAddsNoTorqueEvenWithAnOffsetCentre)
{
    body.Pivot = zVector(0.5f, 0.0f, 0.0f);
    body.ApplyForce(body.state.position, zVector(0.0f, 3.0f, 0.0f));
    EXPECT_EQ(body.state.torque.SquaredLength(), 0.0f);
    body.ApplyForce(zVector(1.0f, 0.0f, 0.0f), zVector(0.0f, 3.0f, 0.0f));
    EXPECT_FLOAT_EQ(body.state.torque.z, 3.0f);
}

TEST_F(TauItemTest, ImpulseSetsThePointVelocityChangeAlongIt)
{
    const zVector point(0.0f, 1.0f, 0.0f);
    body.ApplyImpulse(point, zVector(2.0f, 0.0f, 0.0f));
    zVector v;
    body.GetWorldPointVelocity(point, v);
    EXPECT_NEAR(v.x, 2.0f, 1e-5f);
    EXPECT_LT(body.state.angularVelocity.z, 0.0f);
}

TEST_F(TauItemTest, TinyImpulseDoesNothingNotEvenWaking)
{
    world.SleepItem(&body);
    body.ApplyImpulse(zVector(0.0f, 1.0f, 0.0f), zVector(1e-4f, 0.0f, 0.0f));
    EXPECT_FALSE(body.IsAwake());
    EXPECT_EQ(body.state.linearVelocity.SquaredLength(), 0.0f);
}

TEST_F(TauItemTest, EveryPushWakesASleepingBody)
{
    for (int push = 0; push < 4; ++push) {
        world.SleepItem(&body);
        ASSERT_FALSE(body.IsAwake());
        const zVector v(0.0f, 1.0f, 0.0f);
        switch (push) {
        case 0: body.ApplyLinearForce(v); break;
        case 1: body.ApplyForce(v, v); break;
        case 2: body.ApplyTorque(v); break;
        default: body.ApplyLinearImpulse(v); break;
        }
        EXPECT_TRUE(body.IsAwake()) << push;
        EXPECT_EQ(body.worldList, &world.activeItems) << push;
    }
}

TEST_F(TauItemTest, StaticBodyIgnoresImpulsesAndFollowsItsItem)
{
    zItem item(nullptr);
    body.owner = &item;
    body.SetMass(0.0f);
    EXPECT_EQ(body.inverseMass, 0.0f);
    body.ApplyLinearImpulse(zVector(5.0f, 0.0f, 0.0f));
    EXPECT_EQ(body.state.linearVelocity.SquaredLength(), 0.0f);
    item.previousWorldMatrix = zMatrix4();
    item.worldMatrix = zMatrix4::TranslationMatrix(zVector(0.25f, 0.0f, 0.0f));
    zVector v;
    body.GetPointVelocity(zVector(1.0f, 2.0f, 3.0f), v);
    EXPECT_FLOAT_EQ(v.x, 0.25f);
    EXPECT_FLOAT_EQ(v.y, 0.0f);
}

TEST_F(TauItemTest, MobileBodyNeverTurnsAndHasNoRotationalPointVelocity)
{
    body.Flag = TauItem::FlagMobile;
    body.state.angularVelocity = zVector(3.0f, 1.0f, 2.0f);
    const zQuaternion before = body.state.orientation;
    body.IntegrateVelocities(1.0f);
    EXPECT_EQ(body.state.orientation.Dot(before), before.Dot(before));
    zVector v;
    body.GetPointVelocity(zVector(1.0f, 1.0f, 1.0f), v);
    EXPECT_EQ(v.SquaredLength(), 0.0f);
}

TEST_F(TauItemTest, IntegrationToAZeroQuaternionGivesNoRotation)
{
    body.state.angularVelocity = zVector(0.0f, 0.0f, 0.0f);
    body.state.orientation = zQuaternion(0.0f, 0.0f, 0.0f, 0.0f);
    body.IntegrateVelocities(1.0f);
    const zQuaternion& q = body.state.orientation;
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
    EXPECT_EQ(q.w, 1.0f);
}

TEST_F(TauItemTest, ThresholdsAreStoredAsTheSystemKeepsThem)
{
    body.SetLinearThreshold(0.01f);
    EXPECT_FLOAT_EQ(body.LinearThreshold, 0.0001f);
    const zVector origin(0.0f, 0.0f, 0.0f);
    body.ResetTransformation(&origin, nullptr);
    const float each = body.AngularThreshold / std::sqrt(3.0f);
    EXPECT_FLOAT_EQ(body.angularThresholdVector.x, each);
    EXPECT_FLOAT_EQ(body.angularThresholdVector.y, each);
    EXPECT_FLOAT_EQ(body.angularThresholdVector.z, each);
}

TEST_F(TauItemTest, QuietAtTheLinearLimitOfTheSleepFactor)
{
    body.state.linearVelocity = zVector(0.0f, std::sqrt(0.0045f) * 0.99f, 0.0f);
    EXPECT_TRUE(body.IsQuiet(2000.0f));
    body.state.linearVelocity = zVector(0.0f, std::sqrt(0.0045f) * 1.01f, 0.0f);
    EXPECT_FALSE(body.IsQuiet(2000.0f));
}

TEST_F(TauItemTest, SetMassRescalesTheInverseTensor)
{
    body.SetMass(4.0f);
    EXPECT_FLOAT_EQ(body.inverseMass, 0.25f);
    EXPECT_FLOAT_EQ(body.inverseInertiaTensor.m[0], 0.5f);
    EXPECT_EQ(body.awake, 1);
    body.SetMass(0.0f);
    EXPECT_EQ(body.inverseMass, 0.0f);
    EXPECT_EQ(body.awake, 0);
}

TEST_F(TauItemTest, SingularTensorKeepsThePreviousInverse)
{
    LogCapture capture;
    zMatrix3 singular = Diagonal(1.0f, 0.0f, 1.0f);
    EXPECT_FALSE(body.SetInertiaTensorAndCom(singular, zVector(0.0f, 1.0f, 0.0f)));
    EXPECT_FLOAT_EQ(body.inverseInertiaTensor.m[4], 1.0f);
    EXPECT_TRUE(capture.Contains("previous one kept"));
    EXPECT_TRUE(body.SetInertiaTensorAndCom(Diagonal(2.0f, 4.0f, 8.0f), zVector(0.0f, 1.0f, 0.0f)));
    EXPECT_FLOAT_EQ(body.inverseInertiaTensor.m[8], 0.125f);
    EXPECT_FLOAT_EQ(body.Pivot.y, 1.0f);
}

TEST_F(TauItemTest, TurningAboutTheCentreOfMassCarriesTheReferencePoint)
{
    body.Pivot = zVector(1.0f, 0.0f, 0.0f);
    const zVector origin(0.0f, 0.0f, 0.0f);
    body.ResetTransformation(&origin, nullptr);
    const zVector centre = body.state.worldCenterOfMass;
    body.previous = body.state;
    body.state.angularVelocity = zVector(0.0f, 0.0f, 3.0f);
    for (int i = 0; i < 30; ++i) {
        body.previous = body.state;
        body.IntegrateVelocities(1.0f);
        body.UpdateWorldState();
    }
    EXPECT_NEAR(body.state.worldCenterOfMass.x, centre.x, 1e-5f);
    EXPECT_NEAR(body.state.worldCenterOfMass.y, centre.y, 1e-5f);
    EXPECT_NEAR(VectorDistance(body.state.position, body.state.worldCenterOfMass), 1.0f, 1e-4f);
}

} // namespace
