// The OpenAL mixer over OpenAL Soft's null output (ALSOFT_DRIVERS=null): the
// output is discarded but sources play in real time, so source states,
// queued stream buffers and their refills are those of a real device.
#include "al/zALMixer.h"

#include "core/sound/zMixerStreamInterface.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zVector.h"
#include "framework/system/zClock.h"
#include "support/LogCapture.h"

#include <AL/al.h>
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

thread_local bool failNextNothrowNew = false;

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (failNextNothrowNew) {
        failNextNothrowNew = false;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

class ALMixer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mixer.OpenAudio()); }

    void Fill(zSound& sound, int32_t frames, int32_t channels, int32_t bits, int32_t rate = 48000)
    {
        ASSERT_NE(nullptr, sound.sample.AllocAs(frames, zSampleFormat{channels, rate, bits}));
        std::memset(sound.sample.data, 0x10, sound.sample.GetByteSize());
    }

    ALint SourceInt(int32_t channel, ALenum what)
    {
        ALint value = -1;
        alGetSourcei(mixer.GetSource(channel), what, &value);
        return value;
    }

    // Runs frames of the base update until the condition holds or a time out.
    template <class Condition> bool UpdateUntil(Condition condition, int milliseconds = 3000)
    {
        for (int waited = 0; waited < milliseconds; waited += 5) {
            mixer.Update();
            if (condition())
                return true;
            SleepMilliseconds(5);
        }
        return condition();
    }

    LogCapture log;
    Tavrin core;
    zALMixer mixer{&core, true};
};

TEST_F(ALMixer, OpensTheDefaultDeviceOnce)
{
    EXPECT_TRUE(log.Contains("Starting OpenAL1.1 mixer..."));
    int fallbacks = 0;
    for (const std::string& line : log.lines)
        fallbacks += line.find("Failed to open default device, performances might suffer.") != std::string::npos;
    EXPECT_EQ(1, fallbacks) << "no \"Generic Software\" device: the fallback is logged once";
    EXPECT_TRUE(log.Contains("Device: "));
    EXPECT_TRUE(log.Contains("64 mixer channel."));
    EXPECT_TRUE(log.Contains("Done."));
    EXPECT_FALSE(mixer.HasEAX());
    EXPECT_FALSE(log.Contains("EAX2.0"));
    for (int32_t channel : {0, 63})
        EXPECT_NE(0u, mixer.GetSource(channel));

    const size_t lines = log.lines.size();
    EXPECT_TRUE(mixer.OpenAudio());
    EXPECT_EQ(lines, log.lines.size()) << "open already: nothing logged";
}

TEST_F(ALMixer, MasterGainGoesThroughTheListener)
{
    const struct {
        float set;
        float listener;
        float read;
    } cases[] = {{1.0f, 0.8f, 1.0f}, {0.0f, 0.01f, 0.0125f}, {0.5f, 0.4f, 0.5f}, {-3.0f, 0.01f, 0.0125f}};
    for (const auto& c : cases) {
        mixer.SetMasterGain(c.set);
        ALfloat listener = 0.0f;
        alGetListenerf(AL_GAIN, &listener);
        EXPECT_FLOAT_EQ(c.listener, listener) << c.set;
        EXPECT_FLOAT_EQ(c.read, mixer.GetMasterGain()) << c.set;
    }
    mixer.SetMasterGain(0.6f);
    mixer.Mute();
    EXPECT_FLOAT_EQ(0.0125f, mixer.GetMasterGain());
    mixer.Unmute();
    EXPECT_FLOAT_EQ(0.6f, mixer.GetMasterGain());
}

TEST_F(ALMixer, ListenerTakesPositionVelocityAndOrientationRows)
{
    const zVector position(1.0f, 2.0f, 3.0f);
    const zVector velocity(-4.0f, 0.5f, 0.0f);
    zMatrix3 orientation;
    orientation.SetRows(zVector(1, 0, 0), zVector(0, 0, 1), zVector(0, -1, 0));
    mixer.SetListenerMatrix(&position, &velocity, &orientation);
    mixer.SetListenerMatrix(nullptr, nullptr, nullptr); // changes nothing
    ALfloat p[3] = {}, v[3] = {}, o[6] = {};
    alGetListenerfv(AL_POSITION, p);
    alGetListenerfv(AL_VELOCITY, v);
    alGetListenerfv(AL_ORIENTATION, o);
    EXPECT_EQ((std::vector<float>{1, 2, 3}), std::vector<float>(p, p + 3));
    EXPECT_EQ((std::vector<float>{-4, 0.5f, 0}), std::vector<float>(v, v + 3));
    EXPECT_EQ((std::vector<float>{0, -1, 0, 0, 0, 1}), std::vector<float>(o, o + 6)) << "at is row 2, up is row 1";
}

TEST_F(ALMixer, SourceStatesFollowTheChannel)
{
    zSound sound(&core, "tone");
    Fill(sound, 48000, 1, 16);
    ASSERT_TRUE(mixer.SetupSound(&sound));
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(4));
    ASSERT_TRUE(mixer.StartChannel(4, &sound));
    EXPECT_EQ(&sound, mixer.GetChannelSound(4));
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(4));
    mixer.PauseChannel(4);
    EXPECT_EQ(3, mixer.GetChannelState(4));
    mixer.ResumeChannel(4);
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(4));
    mixer.StopChannel(4);
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(4));

    // A short sound plays to its end and its channel is free again.
    zSound blip(&core, "blip");
    Fill(blip, 480, 2, 16);
    ASSERT_TRUE(mixer.SetupSound(&blip));
    const int32_t channel = mixer.StartSound(&blip);
    ASSERT_GE(channel, 0);
    EXPECT_TRUE(UpdateUntil([&] { return mixer.GetChannelState(channel) == zMixer::ChannelIdle; }));

    // The channel record is applied to the source at start.
    mixer.SetChannelGain(7, 0.25f);
    mixer.SetChannelPitch(7, 1.5f);
    mixer.SetChannelLoop(7, 1);
    ASSERT_TRUE(mixer.StartChannel(7, &sound));
    ALfloat gain = 0.0f, pitch = 0.0f;
    alGetSourcef(mixer.GetSource(7), AL_GAIN, &gain);
    alGetSourcef(mixer.GetSource(7), AL_PITCH, &pitch);
    EXPECT_FLOAT_EQ(0.25f, gain);
    EXPECT_FLOAT_EQ(1.5f, pitch);
    EXPECT_EQ(AL_TRUE, SourceInt(7, AL_LOOPING));
}

TEST_F(ALMixer, SoundSetup)
{
    zSound mono8(&core, "mono8");
    Fill(mono8, 1000, 1, 8);
    ASSERT_TRUE(mixer.SetupSound(&mono8));
    ASSERT_NE(nullptr, mono8.mixerData);
    ALint size = 0;
    alGetBufferi(static_cast<zALSoundHandle*>(mono8.mixerData)->buffer, AL_SIZE, &size);
    EXPECT_EQ(1000, size);
    EXPECT_FALSE(mixer.SetupSound(&mono8)) << "set up already";
    mixer.FreeSound(&mono8);
    EXPECT_EQ(nullptr, mono8.mixerData);
    EXPECT_TRUE(mixer.SetupSound(&mono8));

    zSound wide(&core, "wide");
    Fill(wide, 100, 1, 24);
    EXPECT_TRUE(mixer.SetupSound(&wide)) << "logged, still set up";
    EXPECT_TRUE(log.Contains("Unsupported PCM format in sample 'wide'."));
    EXPECT_NE(nullptr, wide.mixerData);

    zSound noHandle(&core, "none");
    Fill(noHandle, 10, 1, 16);
    EXPECT_FALSE(mixer.StartChannel(0, &noHandle)) << "never set up";
    failNextNothrowNew = true;
    EXPECT_FALSE(mixer.SetupSound(&noHandle)) << "the handle could not be allocated";
    failNextNothrowNew = false;
    EXPECT_EQ(nullptr, noHandle.mixerData);

    // A sound freed while it plays leaves its source.
    ASSERT_TRUE(mixer.StartChannel(2, &mono8));
    mixer.FreeSound(&mono8);
    EXPECT_EQ(nullptr, mixer.GetChannelSound(2));
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(2));
}

TEST_F(ALMixer, ChannelIndicesOutsideTheRangeAreRefused)
{
    zSound sound(&core, "s");
    Fill(sound, 100, 1, 16);
    ASSERT_TRUE(mixer.SetupSound(&sound));
    const dAV_AudioFormat format{44100, 16, true};
    for (int32_t channel : {-1, -63, 64, 4096, INT32_MIN}) {
        EXPECT_FALSE(mixer.StartChannel(channel, &sound)) << channel;
        EXPECT_EQ(0, mixer.GetChannelState(channel)) << channel;
        EXPECT_FALSE(mixer.StreamStart(channel, format)) << channel;
        mixer.StopChannel(channel);
        mixer.PauseChannel(channel);
        mixer.ResumeChannel(channel);
        mixer.StreamRefill(channel);
        mixer.StreamStop(channel);
        mixer.SetChannelGain(channel, 0.1f);
        mixer.SetChannelPitch(channel, 0.1f);
        mixer.SetChannelPan(channel, 0.1f);
        mixer.SetChannelLoop(channel, 1);
        mixer.SetChannelLoopPoint(channel, 1);
        EXPECT_FALSE(mixer.StartChannelStream(channel, "x.ogg"));
        EXPECT_FALSE(mixer.TryLockChannel(channel));
    }
}

// A stream interface fed by the test instead of a decoder.
class FedStream : public zMixerStreamInterface {
public:
    FedStream(zMixer* mixer, int32_t channel) : zMixerStreamInterface(mixer, channel) {}
    int32_t GetContentState() override { return playing ? 1 : 0; }
    bool playing = true;
};

class ALStream : public ALMixer {
protected:
    FedStream* Attach(int32_t channel)
    {
        auto* stream = new FedStream(&mixer, channel);
        mixer.channels[channel].streamInterface = stream;
        EXPECT_TRUE(mixer.StreamStart(channel, dAV_AudioFormat{44100, 16, true}));
        return stream;
    }

    static void Feed(FedStream* stream, uint32_t bytes)
    {
        std::vector<uint8_t> data(bytes, 0x20);
        ASSERT_EQ(bytes, stream->Write(data.data(), bytes, 0));
    }
};

TEST_F(ALStream, RefillQueuesWholeBuffersOnly)
{
    FedStream* stream = Attach(3);
    mixer.SetChannelLoop(3, 1);
    EXPECT_EQ(AL_FALSE, SourceInt(3, AL_LOOPING)) << "a stream never loops its source";
    Feed(stream, 4096); // one block: less than a buffer
    mixer.StreamRefill(3);
    EXPECT_EQ(0u, mixer.GetStreamBuffersQueued(3));
    EXPECT_EQ(8, mixer.GetStreamFreeCount(3));
    Feed(stream, 3 * 4096);
    mixer.StreamRefill(3);
    EXPECT_EQ(2u, mixer.GetStreamBuffersQueued(3));
    EXPECT_EQ(6, mixer.GetStreamFreeCount(3));
    EXPECT_EQ(2, SourceInt(3, AL_BUFFERS_QUEUED));
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(3));
    mixer.StopChannel(3);
    EXPECT_FALSE(mixer.IsStreaming(3));
    EXPECT_EQ(nullptr, mixer.channels[3].streamInterface);
    EXPECT_EQ(0, SourceInt(3, AL_BUFFERS_QUEUED));
}

TEST_F(ALStream, EveryStreamStartsItsOwnSource)
{
    // Both streams start before either is refilled: one flag for the whole
    // mixer would leave the second one silent.
    FedStream* first = Attach(10);
    FedStream* second = Attach(11);
    Feed(first, 8192);
    Feed(second, 8192);
    mixer.StreamRefill(10);
    mixer.StreamRefill(11);
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(10));
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(11));
}

TEST_F(ALStream, BuffersComeBackAndAreRefilled)
{
    FedStream* stream = Attach(20);
    // Keep the ring fed for a while: played buffers are unqueued and the
    // refill queues them again, up to eight at a time.
    bool reused = UpdateUntil(
        [&] {
            std::vector<uint8_t> data(4096, 0);
            while (stream->Write(data.data(), 4096, 0) == 4096) {
            }
            EXPECT_LE(SourceInt(20, AL_BUFFERS_QUEUED), 8);
            return mixer.GetStreamBuffersQueued(20) > 12;
        },
        4000);
    EXPECT_TRUE(reused) << mixer.GetStreamBuffersQueued(20) << " buffers queued";
}

TEST_F(ALStream, StreamPlayedToItsEndFreesItsChannel)
{
    FedStream* stream = Attach(30);
    Feed(stream, 5 * 4096 + 1000); // a partial block: padded at the end
    mixer.Update();
    stream->playing = false;
    EXPECT_TRUE(UpdateUntil([&] { return mixer.channels[30].streamInterface == nullptr; }));
    EXPECT_TRUE(log.Contains("[|] Release stream interface."));
    EXPECT_FALSE(mixer.IsStreaming(30));
    EXPECT_EQ(3u, mixer.GetStreamBuffersQueued(30));
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(30));
}

TEST_F(ALStream, DecodedFileStreamsToItsEnd)
{
    const int32_t channel = mixer.StartStream(TAVRIN_TEST_DATA "/media/tone.ogg");
    ASSERT_GE(channel, 0);
    EXPECT_TRUE(UpdateUntil([&] { return mixer.channels[channel].streamInterface == nullptr; }, 5000));
    // One second of 22050 Hz stereo: 88200 bytes, ten whole buffers and the
    // padded end.
    EXPECT_GE(mixer.GetStreamBuffersQueued(channel), 10u);
    EXPECT_LE(mixer.GetStreamBuffersQueued(channel), 11u);
    EXPECT_EQ(channel, mixer.GetFreeChannel());
}

TEST(ALClosed, NothingHappensWhileClosed)
{
    zALMixer mixer(nullptr, false);
    zSound sound(nullptr, "s");
    EXPECT_FALSE(mixer.SetupSound(&sound));
    EXPECT_FALSE(mixer.StartChannel(0, &sound));
    EXPECT_EQ(0, mixer.GetChannelState(0));
    EXPECT_FALSE(mixer.StreamStart(0, {}));
    mixer.SetListenerMatrix(nullptr, nullptr, nullptr);
    mixer.CloseAudio();
}

} // namespace
