#include "framework/system/device/zInputChannel.h"

#include <gtest/gtest.h>

TEST(zInputChannel, KeepsTheLastEightNewestFirst)
{
    zInputChannel channel;
    for (int32_t value = 1; value <= 9; ++value)
        EXPECT_TRUE(channel.Push(value));
    EXPECT_FALSE(channel.Contains(1));
    for (int32_t value = 2; value <= 9; ++value)
        EXPECT_TRUE(channel.Contains(value)) << value;

    int32_t value = 0;
    EXPECT_TRUE(channel.Pop(value, false));
    EXPECT_EQ(value, 9);
    for (int32_t expected = 9; expected >= 2; --expected) {
        ASSERT_TRUE(channel.Pop(value, true));
        EXPECT_EQ(value, expected);
        EXPECT_FALSE(channel.Contains(expected));
    }
    value = -7;
    EXPECT_FALSE(channel.Pop(value, true));
    EXPECT_EQ(value, -7);
    EXPECT_FALSE(channel.Contains(2));
}

TEST(zInputChannel, ContainsOnlyQueuedValuesAfterTheRingWraps)
{
    zInputChannel channel;
    for (int32_t value = 100; value < 120; ++value)
        channel.Push(value);
    int32_t value = 0;
    for (int i = 0; i < 5; ++i)
        channel.Pop(value, true);
    // 112..114 remain; older slots still hold stale values.
    EXPECT_TRUE(channel.Contains(112));
    EXPECT_TRUE(channel.Contains(114));
    EXPECT_FALSE(channel.Contains(115));
    EXPECT_FALSE(channel.Contains(111));
    EXPECT_FALSE(channel.Contains(119));
}

TEST(zInputChannel, BounceFilterPassesOnlyEdges)
{
    const struct {
        int32_t value;
        bool accepted;
    } sequence[] = {
        {1, true}, {1, false}, {5, false}, {0, true}, {0, true}, {7, true}, {-1, false}, {0, true}, {-1, true},
    };
    zInputChannel channel;
    channel.bounceFilter = true;
    for (const auto& step : sequence)
        EXPECT_EQ(channel.Push(step.value), step.accepted) << step.value;
    EXPECT_EQ(channel.count, 6);
}

TEST(zInputChannel, ClearDropsTheFilterAndFlushKeepsIt)
{
    zInputChannel channel;
    channel.bounceFilter = true;
    channel.Push(1);
    channel.Flush();
    EXPECT_EQ(channel.count, 0);
    EXPECT_FALSE(channel.Push(1));

    channel.Clear();
    EXPECT_FALSE(channel.bounceFilter);
    EXPECT_EQ(channel.count, 0);
    EXPECT_TRUE(channel.Push(1));
    EXPECT_TRUE(channel.Push(1));
}
