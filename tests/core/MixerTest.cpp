#include "CoreTestSupport.h"
#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/sound/zNullMixer.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(MixerInterfaceTest, TwentyOneOperationsInTheirSlotOrderWithTheDestructorLast)
{
    const ptrdiff_t slots[] = {
        SlotOf(&zMixer::OpenAudio),         SlotOf(&zMixer::CloseAudio),      SlotOf(&zMixer::SetListenerMatrix),
        SlotOf(&zMixer::StartChannel),      SlotOf(&zMixer::StopChannel),     SlotOf(&zMixer::PauseChannel),
        SlotOf(&zMixer::ResumeChannel),     SlotOf(&zMixer::GetChannelState), SlotOf(&zMixer::SetupSound),
        SlotOf(&zMixer::FreeSound),         SlotOf(&zMixer::SetMasterGain),   SlotOf(&zMixer::GetMasterGain),
        SlotOf(&zMixer::StreamStart),       SlotOf(&zMixer::StreamRefill),    SlotOf(&zMixer::StreamStop),
        SlotOf(&zMixer::SetChannelPitch),   SlotOf(&zMixer::SetChannelGain),  SlotOf(&zMixer::SetChannelPan),
        SlotOf(&zMixer::SetChannelLoop),    SlotOf(&zMixer::SetChannelLoopPoint),
    };
    for (ptrdiff_t i = 0; i < ptrdiff_t(std::size(slots)); ++i)
        EXPECT_EQ(slots[i], i) << "operation " << i;
    struct Probe : RecordingMixer {
        using RecordingMixer::RecordingMixer;
        virtual void Extra() {}
    };
    EXPECT_EQ(SlotOf(&Probe::Extra), 22);
}

class MixerTest : public ::testing::Test {
protected:
    MixerTest() : mixer(&core, true) {}

    // Counts deleted fake interfaces; outlives the mixer, which deletes those still on channels.
    int deletions = 0;
    Tavrin core;
    RecordingMixer mixer;
};

TEST_F(MixerTest, ChannelsStartWithTheirResetValues)
{
    for (const zMixerChannel& c : mixer.channels) {
        EXPECT_EQ(c.sound, nullptr);
        EXPECT_EQ(c.locked, 0);
        EXPECT_EQ(c.loop, 0);
        EXPECT_EQ(c.streamInterface, nullptr);
        EXPECT_EQ(c.gain, 1.0f);
        EXPECT_EQ(c.pitch, 1.0f);
        EXPECT_EQ(c.pan, 0.5f);
        EXPECT_EQ(c.firstVector[3], 1.0f);
        EXPECT_EQ(c.orientation.m[4], 1.0f);
    }
    EXPECT_FALSE(mixer.IsOpen());
    EXPECT_EQ(mixer.muted, 0);
    EXPECT_EQ(mixer.savedMasterGain, 1.0f);
}

TEST_F(MixerTest, FreeChannelIsTheLowestIdleUnlockedOneWithoutAStream)
{
    mixer.states[0] = zMixer::ChannelPlaying;
    mixer.channels[1].locked = 1;
    mixer.channels[2].streamInterface = new FakeStreamInterface(&mixer, 2, &deletions);
    EXPECT_EQ(mixer.GetFreeChannel(), 3);
    EXPECT_EQ(mixer.LockFreeChannel(), 3);
    EXPECT_EQ(mixer.GetFreeChannel(), 4);
    mixer.UnlockAllChannels();
    EXPECT_EQ(mixer.GetFreeChannel(), 1);
}

TEST_F(MixerTest, WithEveryChannelPlayingNothingStartsAndTheStateIsUntouched)
{
    for (int32_t& s : mixer.states)
        s = zMixer::ChannelPlaying;
    LogCapture capture;
    EXPECT_EQ(mixer.StartSound(nullptr), -1);
    EXPECT_EQ(mixer.LockFreeChannel(), -1);
    EXPECT_TRUE(capture.Contains("[!] zMixer::GetFreeChannel"));
    EXPECT_TRUE(capture.Contains("All channels in use."));
    EXPECT_TRUE(mixer.calls.empty());
    for (const zMixerChannel& c : mixer.channels)
        EXPECT_EQ(c.locked, 0);
}

TEST_F(MixerTest, StartSoundGivesTheChannelOnlyWhenTheDeviceStartsIt)
{
    EXPECT_EQ(mixer.StartSound(nullptr), 0);
    mixer.startSucceeds = false;
    mixer.states[0] = zMixer::ChannelPlaying;
    EXPECT_EQ(mixer.StartSound(nullptr), -1);
    EXPECT_EQ((std::vector<std::string>{"StartChannel 0", "StartChannel 1"}), mixer.calls);
}

TEST_F(MixerTest, TryLockFailsOnALockedChannel)
{
    EXPECT_TRUE(mixer.TryLockChannel(7));
    EXPECT_FALSE(mixer.TryLockChannel(7));
    mixer.UnlockChannel(7);
    EXPECT_TRUE(mixer.TryLockChannel(7));
}

TEST_F(MixerTest, ChannelIndicesOutsideTheRangeAreRefused)
{
    for (int32_t channel : {-1, 64, 1000, INT32_MIN}) {
        LogCapture capture;
        EXPECT_FALSE(mixer.TryLockChannel(channel));
        mixer.UnlockChannel(channel);
        EXPECT_EQ(mixer.GetChannelSound(channel), nullptr);
        mixer.StopChannelStream(channel);
        mixer.zMixer::SetChannelGain(channel, 0.1f);
        mixer.zMixer::SetChannelPitch(channel, 0.1f);
        mixer.zMixer::SetChannelPan(channel, 0.1f);
        mixer.zMixer::SetChannelLoop(channel, 1);
        mixer.zMixer::SetChannelLoopPoint(channel, 5);
        EXPECT_EQ(capture.lines.size(), 9u) << channel;
        EXPECT_TRUE(capture.Contains("[!] zMixer::TryLockChannel"));
        EXPECT_TRUE(capture.Contains("Channel index " + std::to_string(channel) + " is out of range (0 to 63)."));
    }
    EXPECT_TRUE(mixer.calls.empty()) << "nothing reached the device";
}

TEST_F(MixerTest, BaseSettersStoreIntoTheChannel)
{
    mixer.zMixer::SetChannelGain(63, 0.25f);
    mixer.zMixer::SetChannelPitch(63, 1.5f);
    mixer.zMixer::SetChannelPan(63, 0.0f);
    mixer.zMixer::SetChannelLoop(63, 1);
    mixer.zMixer::SetChannelLoopPoint(63, 1200);
    const zMixerChannel& c = mixer.channels[63];
    EXPECT_EQ(c.gain, 0.25f);
    EXPECT_EQ(c.pitch, 1.5f);
    EXPECT_EQ(c.pan, 0.0f);
    EXPECT_EQ(c.loop, 1);
    EXPECT_EQ(c.loopPoint, 1200);
}

TEST_F(MixerTest, ResetChannelsStopsThenSetsLoopPitchGainPanThroughTheSlots)
{
    mixer.channels[3].gain = 0.1f;
    mixer.ResetChannels();
    ASSERT_EQ(mixer.calls.size(), 64u * 5u);
    EXPECT_EQ((std::vector<std::string>(mixer.calls.begin(), mixer.calls.begin() + 5)),
              (std::vector<std::string>{"StopChannel 0", "SetChannelLoop 0", "SetChannelPitch 0", "SetChannelGain 0",
                                        "SetChannelPan 0"}));
    EXPECT_EQ(mixer.calls.back(), "SetChannelPan 63");
    EXPECT_EQ(mixer.channels[3].gain, 1.0f);
}

TEST_F(MixerTest, MuteSavesTheGainOnceAndUnmuteRestoresIt)
{
    mixer.Unmute();
    EXPECT_EQ(mixer.masterGain, 1.0f) << "unmute without mute restores the start value";
    mixer.masterGain = 0.6f;
    mixer.Mute();
    EXPECT_EQ(mixer.masterGain, 0.0f);
    mixer.Mute();
    EXPECT_EQ(mixer.savedMasterGain, 0.6f) << "the second mute keeps the first gain";
    mixer.Unmute();
    EXPECT_EQ(mixer.masterGain, 0.6f);
    EXPECT_EQ(mixer.muted, 0);
}

TEST_F(MixerTest, StopAllChannelsStopsStreamsAndDeletesTheirInterfaces)
{
    mixer.channels[10].streamInterface = new FakeStreamInterface(&mixer, 10, &deletions);
    mixer.StopAllChannels();
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(mixer.channels[10].streamInterface, nullptr);
    EXPECT_EQ(mixer.calls[10], "StreamStop 10");
    EXPECT_EQ(mixer.calls[9], "StopChannel 9");
    EXPECT_EQ(mixer.calls.size(), 64u);

    mixer.channels[4].streamInterface = new FakeStreamInterface(&mixer, 4, &deletions);
    mixer.StopChannelStream(4);
    EXPECT_EQ(deletions, 2);
    EXPECT_EQ(mixer.channels[4].streamInterface, nullptr);
}

TEST_F(MixerTest, UpdateLoopsAStreamOnlyWhenLoopIsExactlyOne)
{
    auto* looping = new FakeStreamInterface(&mixer, 1, &deletions);
    auto* twice = new FakeStreamInterface(&mixer, 2, &deletions);
    mixer.channels[1].streamInterface = looping;
    mixer.channels[1].loop = 1;
    mixer.channels[1].loopPoint = 250;
    mixer.channels[2].streamInterface = twice;
    mixer.channels[2].loop = 2;
    looping->contentState = 2;
    twice->contentState = 2;

    mixer.Update();
    EXPECT_EQ(looping->seeks, (std::vector<int32_t>{250}));
    EXPECT_EQ(looping->ended, 0);
    EXPECT_TRUE(twice->seeks.empty());
    EXPECT_EQ(twice->ended, 1);
    EXPECT_EQ((std::vector<std::string>{"StreamRefill 1", "StreamRefill 2"}), mixer.calls);
}

TEST_F(MixerTest, ADrainedFinishedStreamIsReleasedOnceAndFreesItsChannel)
{
    auto* stream = new FakeStreamInterface(&mixer, 0, &deletions);
    mixer.channels[0].streamInterface = stream;
    stream->contentState = 2;
    mixer.states[0] = zMixer::ChannelPlaying;

    LogCapture capture;
    mixer.Update();
    EXPECT_EQ(stream->ended, 1);
    mixer.Update();
    EXPECT_EQ(deletions, 0) << "the device still plays what it holds";
    EXPECT_EQ(mixer.GetFreeChannel(), 1);

    mixer.states[0] = zMixer::ChannelIdle;
    mixer.Update();
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(mixer.channels[0].streamInterface, nullptr);
    EXPECT_EQ(mixer.GetFreeChannel(), 0);
    mixer.Update();
    mixer.Update();
    int releases = 0;
    for (const std::string& line : capture.lines)
        releases += line == "[|] Release stream interface.\n";
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(mixer.calls.back(), "StreamStop 0");
}

TEST_F(MixerTest, TheStreamLockIsReleasedAroundEveryUpdate)
{
    auto* stream = new FakeStreamInterface(&mixer, 6, &deletions);
    mixer.channels[6].streamInterface = stream;
    mixer.Update();
    // Held by nobody: another thread could take it now.
    bool taken = false;
    std::thread other([&] {
        stream->LockStream();
        taken = true;
        stream->UnlockStream();
    });
    other.join();
    EXPECT_TRUE(taken);
}

TEST(NullMixerTest, PlaysNothingAndReportsEveryChannelIdle)
{
    Tavrin core;
    zMixer* m = core.mixer;
    EXPECT_FALSE(m->IsOpen());
    EXPECT_TRUE(m->OpenAudio());
    EXPECT_TRUE(m->IsOpen());
    m->CloseAudio();
    EXPECT_FALSE(m->IsOpen());
    EXPECT_EQ(m->GetChannelState(5), zMixer::ChannelIdle);
    EXPECT_TRUE(m->StartChannel(5, nullptr));
    EXPECT_TRUE(m->SetupSound(nullptr));
    EXPECT_EQ(m->GetMasterGain(), 0.0f);
    EXPECT_EQ(m->StartSound(nullptr), 0) << "every channel stays idle";
    EXPECT_EQ(m->StartSound(nullptr), 0);
    m->channels[0].locked = 1;
    EXPECT_EQ(m->GetFreeChannel(), 1);
}

} // namespace
