// The "soft" mixer on SDL's audio device (the dummy driver in tests): the
// eight buffers cycle between the main thread and the audio thread and no
// mixed frame is lost or mixed twice.
#include "smix/zSMixMixer.h"

#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zClock.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class SMixDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!mixer.OpenAudio())
            GTEST_SKIP() << "no audio device (SDL_AUDIODRIVER=dummy expected)";
        ASSERT_NE(nullptr, sound.sample.AllocAs(30 * 48000, zSampleFormat{2, 48000, 16}));
        std::memset(sound.sample.data, 0x11, sound.sample.GetByteSize());
        ASSERT_TRUE(mixer.SetupSound(&sound));
    }

    LogCapture log;
    Tavrin core;
    zSMixMixer mixer{&core, true};
    zSound sound{&core, "long"};
};

TEST_F(SMixDevice, BuffersCycleAndNothingIsLost)
{
    EXPECT_EQ(8, mixer.GetFreeBufferCount());
    ASSERT_TRUE(mixer.StartChannel(9, &sound));
    mixer.Update();
    EXPECT_EQ(8u, mixer.GetBuffersQueued()) << "without a step every free buffer is filled and queued";
    EXPECT_EQ(0, mixer.GetFreeBufferCount());
    // Up to four seconds of frames: the device hands buffers back while the main
    // thread keeps filling them.
    for (int frame = 0; frame < 400 && mixer.GetBuffersQueued() < 20; ++frame) {
        SleepMilliseconds(10);
        mixer.Update();
    }
    EXPECT_GT(mixer.GetBuffersQueued(), 12u) << "buffers came back and were queued again";
    // Every frame mixed went into a queued buffer: the channel advanced by
    // exactly what the device was given.
    EXPECT_EQ(int64_t(mixer.GetBuffersQueued()) * 4096 * 256, mixer.GetChannelPosition(9));
    mixer.CloseAudio();
    EXPECT_EQ(mixer.GetBuffersQueued(), mixer.GetBuffersReclaimed()) << "every queued buffer came back once";
    EXPECT_EQ(8, mixer.GetFreeBufferCount());
    EXPECT_FALSE(log.Contains("Could not reclaim"));
}

TEST_F(SMixDevice, FixedStepMixesOneChunkPerUpdate)
{
    ASSERT_TRUE(mixer.StartChannel(0, &sound));
    mixer.SetFixedStep(166);
    for (int i = 0; i < 5; ++i)
        mixer.Update();
    EXPECT_EQ(5 * 796 * 256, mixer.GetChannelPosition(0));
    EXPECT_EQ(0u, mixer.GetBuffersQueued());
    // A step larger than a buffer counts as one buffer.
    mixer.SetFixedStep(100000);
    mixer.Update();
    EXPECT_EQ(1u, mixer.GetBuffersQueued());
    EXPECT_EQ(4096 * 256, mixer.GetChannelPosition(0)) << "the part that did not fit the buffer is dropped";
    mixer.CloseAudio();
}

TEST_F(SMixDevice, ForeignOrRepeatedBuffersAreNotPushed)
{
    int16_t stray[16];
    mixer.ReclaimBuffer(stray);
    EXPECT_TRUE(log.Contains("Could not reclaim specified buffer."));
    EXPECT_EQ(8, mixer.GetFreeBufferCount());
    mixer.ReclaimBuffer(nullptr);
    EXPECT_EQ(8, mixer.GetFreeBufferCount()) << "null is none of its buffers";
    mixer.CloseAudio();
}

} // namespace
