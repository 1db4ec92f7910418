#include "framework/system/zClock.h"
#include "framework/tools/zBytes.h"

#include <gtest/gtest.h>

namespace {

uint32_t fakeNow = 0;
uint32_t FakeClock()
{
    return fakeNow;
}

} // namespace

TEST(zTimer, NoRateBeforeTheFirstWindowCloses)
{
    fakeNow = 1000;
    zTimer timer(FakeClock);
    timer.Start();
    fakeNow += 500;
    EXPECT_FLOAT_EQ(timer.Stop(), -1.0f);
    EXPECT_FLOAT_EQ(timer.GetLastMilliseconds(), 50.0f);
}

TEST(zTimer, ClosesAWindowAfterOneSecond)
{
    fakeNow = 0xFFFFF000u; // the window straddles the 32-bit wrap
    zTimer timer(FakeClock);
    const uint32_t windowStart = fakeNow;
    for (int run = 0; run < 50; ++run) {
        fakeNow = windowStart + uint32_t(run) * 200;
        timer.Start();
        fakeNow += 100;
        EXPECT_FLOAT_EQ(timer.Stop(), -1.0f) << "run " << run;
    }
    fakeNow = windowStart + 10001;
    timer.Start(true); // closes the window without adding time or a run
    const float rate = timer.Stop();

    EXPECT_FLOAT_EQ(rate, 100.0f);
    EXPECT_NEAR(timer.GetBusyPercent(), 5000.0f * 100.0f / 10001.0f, 1e-3);
    EXPECT_FLOAT_EQ(timer.GetMeanMilliseconds(), 10.0f);
    EXPECT_FLOAT_EQ(timer.GetPreviousMeanMilliseconds(), 0.0f);

    // The next window starts from zero.
    timer.Start();
    fakeNow += 5000;
    EXPECT_FLOAT_EQ(timer.Stop(), 100.0f);
    fakeNow += 5001;
    timer.Start(true);
    EXPECT_FLOAT_EQ(timer.Stop(), 2.0f);
    EXPECT_FLOAT_EQ(timer.GetMeanMilliseconds(), 500.0f);
    EXPECT_FLOAT_EQ(timer.GetPreviousMeanMilliseconds(), 10.0f);
    EXPECT_FLOAT_EQ(timer.GetLastMilliseconds(), 0.0f);
    EXPECT_FLOAT_EQ(timer.GetPreviousLastMilliseconds(), 500.0f);
}

TEST(zTimer, UncountedRunsAddTimeOnly)
{
    fakeNow = 0;
    zTimer timer(FakeClock);
    timer.Start(true);
    fakeNow = 10001;
    timer.Stop();
    EXPECT_FLOAT_EQ(timer.GetMeanMilliseconds(), -1.0f);
    EXPECT_FLOAT_EQ(timer.GetRunsPerSecond(), 0.0f);
    EXPECT_FLOAT_EQ(timer.GetBusyPercent(), 100.0f);
}

TEST(Clock, TicksAreMonotonic)
{
    const uint32_t a = GetClockTicks();
    const uint32_t b = GetClockTicks();
    EXPECT_LE(uint32_t(b - a), 10000u);
}

TEST(Bytes, SwapOnlyTwoOrFour)
{
    unsigned char two[] = {1, 2};
    SwapBytes(2, two);
    EXPECT_EQ(two[0], 2);
    EXPECT_EQ(two[1], 1);

    unsigned char four[] = {1, 2, 3, 4};
    SwapBytes(4, four);
    EXPECT_EQ(four[0], 4);
    EXPECT_EQ(four[3], 1);
    EXPECT_EQ(four[1], 3);

    unsigned char three[] = {1, 2, 3};
    SwapBytes(3, three);
    EXPECT_EQ(three[0], 1);
    EXPECT_EQ(three[2], 3);
}

TEST(Bytes, BitHelpers)
{
    EXPECT_EQ(CountSetBits(0), 0);
    EXPECT_EQ(CountSetBits(0x00FF0000u), 8);
    EXPECT_EQ(CountSetBits(0xFFFFFFFFu), 32);
    EXPECT_EQ(LowestSetBit(0x00FF0000u), 16);
    EXPECT_EQ(LowestSetBit(0), 32);
    EXPECT_EQ(LowestSetBit(0x80000000u), 31);

    unsigned char buffer[4] = {};
    FillBytes(buffer, 0x1AB, 3);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[2], 0xAB);
    EXPECT_EQ(buffer[3], 0);
    unsigned char copy[4] = {};
    CopyBytes(copy, buffer, 4);
    EXPECT_EQ(copy[1], 0xAB);
}
