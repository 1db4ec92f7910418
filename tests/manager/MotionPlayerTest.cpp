#include "MotionTestSupport.h"

#include "core/item/zItem.h"
#include "framework/math/zQuaternion.h"
#include "manager/motion/zMotion.h"
#include "manager/motion/zMotionPlayer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float HalfPi = 1.5707964f;

TEST(MotionSlotTest, StartsAtTheStartTimeWithItsPositionAndKeepsARunningMotion)
{
    zMotion motion("walk");
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 0.0f}, {2.0f, 4.0f}});
    AddLinearChannel(motion, ChannelPositionY, {{0.0f, 1.0f}, {2.0f, 1.0f}});
    AddLinearChannel(motion, ChannelPositionZ, {{0.0f, -2.0f}, {2.0f, 2.0f}});
    zMotionSlot slot;
    ASSERT_TRUE(slot.Set(&motion, 0.5f, 3.0f, 1.0f));
    EXPECT_FLOAT_EQ(slot.time, 1.0f);
    EXPECT_FLOAT_EQ(slot.fade, 0.5f);
    EXPECT_FLOAT_EQ(slot.weight, 3.0f);
    EXPECT_FLOAT_EQ(slot.position[0], 2.0f);
    EXPECT_FLOAT_EQ(slot.position[1], 1.0f);
    EXPECT_FLOAT_EQ(slot.position[2], 0.0f);

    // The same motion again changes nothing, not even the time.
    slot.time = 1.5f;
    slot.clockScale = 2.0f;
    slot.Set(&motion, 0.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(slot.time, 1.5f);
    EXPECT_FLOAT_EQ(slot.clockScale, 2.0f);
    EXPECT_FLOAT_EQ(slot.weight, 3.0f);

    // A motion without position channels leaves the stored position.
    zMotion other("other");
    AddLinearChannel(other, ChannelZoom, {{0.0f, 1.0f}, {1.0f, 2.0f}});
    slot.Set(&other, 0.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(slot.position[0], 2.0f);
    EXPECT_FLOAT_EQ(slot.clockScale, 1.0f);
}

TEST(MotionPlayerTest, FadeInShareGrowsFromZeroThroughHalfToOne)
{
    zMotion motion("hold");
    AddLinearChannel(motion, ChannelZoom, {{0.0f, 10.0f}, {100.0f, 10.0f}});
    FieldPlayer player;
    player.slots[0].Set(&motion, 2.0f, 1.0f, 0.0f);
    // The target is reset before each update, so it shows the share times 10.
    const float expected[] = {0.0f, 5.0f, 10.0f, 10.0f};
    for (float e : expected) {
        player.zoom = 0.0f;
        player.Update(1.0f);
        EXPECT_FLOAT_EQ(player.zoom, e);
    }
    EXPECT_FLOAT_EQ(player.slots[0].fade, 0.0f);
    EXPECT_FLOAT_EQ(player.slots[0].time, 4.0f);
}

TEST(MotionPlayerTest, WeightsGiveSharesAppliedInSlotOrder)
{
    zMotion a("a");
    AddLinearChannel(a, ChannelZoom, {{0.0f, 8.0f}, {10.0f, 8.0f}});
    zMotion b("b");
    AddLinearChannel(b, ChannelZoom, {{0.0f, 4.0f}, {10.0f, 4.0f}});
    FieldPlayer player;
    player.slots[0].Set(&a, 0.0f, 1.0f, 0.0f);
    player.slots[1].Set(&b, 0.0f, 3.0f, 0.0f);
    player.Update(0.1f);
    // Slot 0 (share 0.25): 0.75 * 0 + 0.25 * 8 = 2; slot 1 (share 0.75):
    // 0.25 * 2 + 0.75 * 4 = 3.5. The other order would give 4.25.
    EXPECT_FLOAT_EQ(player.zoom, 3.5f);

    // With b in the earlier slot: 0.75 * 4 = 3, then 0.75 * 3 + 0.25 * 8.
    FieldPlayer swapped;
    swapped.slots[3].Set(&a, 0.0f, 1.0f, 0.0f);
    swapped.slots[2].Set(&b, 0.0f, 3.0f, 0.0f);
    swapped.Update(0.1f);
    EXPECT_FLOAT_EQ(swapped.zoom, 4.25f);
}

TEST(MotionPlayerTest, ZeroTotalWeightLeavesEverythingAlone)
{
    zMotion a("a");
    AddLinearChannel(a, ChannelZoom, {{0.0f, 8.0f}, {10.0f, 8.0f}});
    FieldPlayer player;
    player.slots[2].Set(&a, 1.0f, 0.0f, 0.5f);
    player.Update(1.0f);
    EXPECT_FLOAT_EQ(player.slots[2].time, 0.5f);
    EXPECT_FLOAT_EQ(player.slots[2].elapsed, 0.0f);
    EXPECT_FLOAT_EQ(player.zoom, 0.0f);
}

TEST(MotionPlayerTest, ClockScalesMultiplyAndPauseKeepsTimeButNotFade)
{
    zMotion a("ramp");
    AddLinearChannel(a, ChannelZoom, {{0.0f, 0.0f}, {10.0f, 10.0f}});
    FieldPlayer player;
    player.slots[0].Set(&a, 4.0f, 1.0f, 0.0f);
    player.slots[0].clockScale = 2.0f;
    player.clockScale = 0.25f;
    player.Update(1.0f);
    EXPECT_FLOAT_EQ(player.slots[0].time, 0.5f);
    EXPECT_FLOAT_EQ(player.slots[0].elapsed, 1.0f);

    player.SetPropagation(zMotionPlayer::Paused, true);
    player.zoom = 0.0f;
    player.Update(1.0f);
    EXPECT_FLOAT_EQ(player.slots[0].time, 0.5f);
    EXPECT_FLOAT_EQ(player.slots[0].elapsed, 2.0f);
    // Share 1/4 from the fade at one second, value 0.5 at 0.5 s.
    EXPECT_FLOAT_EQ(player.zoom, 0.125f);

    player.SetPropagation(zMotionPlayer::Paused, false);
    // Elapsed reaches exactly the fade: not yet over.
    player.Update(2.0f);
    EXPECT_FLOAT_EQ(player.slots[0].time, 1.5f);
    EXPECT_FLOAT_EQ(player.slots[0].fade, 4.0f);
    player.Update(0.5f);
    EXPECT_FLOAT_EQ(player.slots[0].fade, 0.0f);
}

TEST(MotionPlayerTest, ResetPostBehaviourFreesTheSlotOnlyWhenEveryChannelIsOver)
{
    zMotion motion("short");
    AddLinearChannel(motion, ChannelZoom, {{0.0f, 0.0f}, {1.0f, 1.0f}}, zCurve::Reset);
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 0.0f}, {2.0f, 2.0f}}, zCurve::Reset);
    FieldPlayer player;
    player.slots[1].Set(&motion, 0.0f, 2.0f, 0.0f);
    player.slots[1].clockScale = 3.0f;
    player.Update(0.5f);
    EXPECT_EQ(player.slots[1].motion, &motion);
    EXPECT_FLOAT_EQ(player.position[0], 1.5f);
    player.Update(0.2f);
    EXPECT_EQ(player.slots[1].motion, nullptr);
    EXPECT_FLOAT_EQ(player.slots[1].time, 0.0f);
    EXPECT_FLOAT_EQ(player.slots[1].weight, 1.0f);
    EXPECT_FLOAT_EQ(player.slots[1].clockScale, 1.0f);
    EXPECT_TRUE(player.IsDone());
}

TEST(MotionPlayerTest, ConstantPostBehaviourHoldsTheLastValues)
{
    zMotion motion("short");
    AddLinearChannel(motion, ChannelZoom, {{0.0f, 0.0f}, {1.0f, 7.0f}});
    FieldPlayer player;
    player.slots[0].Set(&motion, 0.0f, 1.0f, 0.0f);
    for (int i = 0; i < 5; ++i)
        player.Update(1.0f);
    EXPECT_EQ(player.slots[0].motion, &motion);
    EXPECT_FLOAT_EQ(player.zoom, 7.0f);
    EXPECT_TRUE(player.slots[0].IsDone());
    EXPECT_TRUE(player.IsDone());
    player.Stop();
    EXPECT_EQ(player.slots[0].motion, nullptr);
}

TEST(MotionPlayerTest, ChannelWithOneKeyDrivesNothing)
{
    zMotion motion("one");
    AddLinearChannel(motion, ChannelZoom, {{0.0f, 5.0f}});
    FieldPlayer player;
    player.zoom = 2.0f;
    player.slots[0].Set(&motion, 0.0f, 1.0f, 0.0f);
    player.Update(0.1f);
    EXPECT_FLOAT_EQ(player.zoom, 2.0f);
    EXPECT_EQ(player.slots[0].motion, nullptr);
}

TEST(MotionPlayerTest, QuaternionOnlyMotionPlaysUntilItsLastKeyThenFrees)
{
    zMotion motion("spin");
    motion.hasQuaternionChannel = 1;
    ASSERT_TRUE(motion.quaternionChannel.AllocateKf(2));
    const float s = std::sin(HalfPi / 2.0f);
    motion.quaternionChannel.SetKey(0, {0.0f, 0.0f, 0.0f, 0.0f, 1.0f});
    motion.quaternionChannel.SetKey(1, {1.0f, 0.0f, 0.0f, s, s});
    FieldPlayer player;
    player.slots[0].Set(&motion, 0.0f, 1.0f, 0.0f);
    EXPECT_FALSE(player.slots[0].IsDone());
    player.Update(0.5f);
    // The length ignores the rotation channel: done as soon as time is above 0.
    EXPECT_TRUE(player.slots[0].IsDone());
    EXPECT_EQ(player.slots[0].motion, &motion);
    EXPECT_NEAR(player.quaternion.z, std::sin(HalfPi / 4.0f), 1e-6f);
    EXPECT_NEAR(player.quaternion.w, std::cos(HalfPi / 4.0f), 1e-6f);
    player.Update(0.5f);
    EXPECT_EQ(player.slots[0].motion, nullptr);
}

TEST(MotionPlayerTest, PropagationMovesTheLinkRootAlongItsOwnAxes)
{
    zItem root(nullptr);
    root.position = zVector(1.0f, 2.0f, 3.0f);
    root.rotation = zVector(0.0f, 0.0f, HalfPi);
    root.UpdateWorldMatrix();
    zItem middle(nullptr);
    middle.SetLink(&root);
    zItem leaf(nullptr);
    leaf.SetLink(&middle);
    leaf.position = zVector(5.0f, 5.0f, 5.0f);

    zMotion motion("step");
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 0.0f}, {1.0f, 10.0f}});
    FieldPlayer player;
    player.item = &leaf;
    player.SetPropagation(zMotionPlayer::PropagatePosition, true);
    player.slots[0].Set(&motion, 0.0f, 1.0f, 0.0f);
    player.Update(0.5f);
    player.Update(0.75f);
    player.Update(0.5f);

    // The root's x axis after a quarter turn about z is the world's +y or -y;
    // it is row 0 of the root's world matrix.
    const zVector axis(root.worldMatrix.m[0], root.worldMatrix.m[4], root.worldMatrix.m[8]);
    EXPECT_NEAR(std::fabs(axis.y), 1.0f, 1e-6f);
    EXPECT_NEAR(root.position.x, 1.0f + 10.0f * axis.x, 1e-5f);
    EXPECT_NEAR(root.position.y, 2.0f + 10.0f * axis.y, 1e-5f);
    EXPECT_NEAR(root.position.z, 3.0f + 10.0f * axis.z, 1e-5f);
    EXPECT_NEAR(root.worldMatrix.m[3], root.position.x, 1e-5f);
    // The channel never wrote its own target.
    EXPECT_FLOAT_EQ(player.position[0], 0.0f);
    EXPECT_FLOAT_EQ(leaf.position.x, 5.0f);
    EXPECT_FLOAT_EQ(middle.position.x, 0.0f);
}

TEST(MotionPlayerTest, PropagationBlendsSlotDeltasByShare)
{
    zItem root(nullptr);
    root.UpdateWorldMatrix();
    zMotion a("a");
    AddLinearChannel(a, ChannelPositionX, {{0.0f, 0.0f}, {1.0f, 4.0f}});
    zMotion b("b");
    AddLinearChannel(b, ChannelPositionX, {{0.0f, 0.0f}, {1.0f, 8.0f}});
    FieldPlayer player;
    player.item = &root;
    player.SetPropagation(zMotionPlayer::PropagatePosition, true);
    player.slots[0].Set(&a, 0.0f, 3.0f, 0.0f);
    player.slots[3].Set(&b, 0.0f, 1.0f, 0.0f);
    player.Update(0.5f);
    // 0.75 * 2 + 0.25 * 4.
    EXPECT_FLOAT_EQ(root.position.x, 2.5f);
    EXPECT_FLOAT_EQ(root.position.y, 0.0f);
}

TEST(MotionPlayerTest, StopFreesEverySlotButKeepsItsPosition)
{
    zMotion motion("walk");
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 3.0f}, {1.0f, 3.0f}});
    AddLinearChannel(motion, ChannelPositionY, {{0.0f, 4.0f}, {1.0f, 4.0f}});
    AddLinearChannel(motion, ChannelPositionZ, {{0.0f, 5.0f}, {1.0f, 5.0f}});
    FieldPlayer player;
    for (zMotionSlot& slot : player.slots)
        slot.Set(&motion, 1.0f, 2.0f, 0.5f);
    player.Stop();
    for (const zMotionSlot& slot : player.slots) {
        EXPECT_EQ(slot.motion, nullptr);
        EXPECT_FLOAT_EQ(slot.time, 0.0f);
        EXPECT_FLOAT_EQ(slot.fade, 0.0f);
        EXPECT_FLOAT_EQ(slot.weight, 1.0f);
        EXPECT_FLOAT_EQ(slot.position[2], 5.0f);
        EXPECT_FLOAT_EQ(slot.reserved, 1.0f);
    }
    EXPECT_TRUE(player.IsDone());
}

} // namespace
