#include "support/LogCapture.h"

#include "core/sound/zMixer.h"
#include "core/sound/zMixerStreamInterface.h"
#include "dav/core/dAV_Stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string MediaPath(const char* name)
{
    return std::string(TAVRIN_TEST_DATA) + "/media/" + name;
}

// Waits for a condition the decoder thread brings about, for at most a few seconds.
template <typename Condition>
bool WaitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Takes everything: the whole decode of a file, for comparison.
class CollectingDriver : public dAV_AudioDriver {
public:
    bool Start() override { return true; }
    void Stop() override {}
    bool SetFormat(const dAV_AudioFormat&) override { return true; }
    uint32_t Write(const void* data, uint32_t byteCount, int32_t) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        pcm.insert(pcm.end(), bytes, bytes + byteCount);
        return byteCount;
    }
    bool IsBufferFull() override { return false; }
    bool IsBufferNotFull() override { return true; }
    bool FillDone() override { return true; }

    std::vector<uint8_t> pcm;
};

std::vector<uint8_t> DecodeWhole(const std::string& path)
{
    CollectingDriver driver;
    dAV_Stream stream(nullptr, &driver);
    EXPECT_TRUE(stream.Open(path.c_str()));
    for (int i = 0; i < 100000 && stream.GetState() == dAV_Stream::Playing; ++i)
        stream.Update(1);
    EXPECT_EQ(stream.GetState(), dAV_Stream::Finished);
    return driver.pcm;
}

// A device that drains every readable block of a streamed channel on refill;
// its channels go idle as soon as they have nothing queued.
class DrainingMixer : public zMixer {
public:
    DrainingMixer() : zMixer(nullptr, false) {}
    ~DrainingMixer() override { StopAllChannels(); }

    bool OpenAudio() override { return true; }
    void CloseAudio() override {}
    void SetListenerMatrix(const zVector*, const zVector*, const zMatrix3*) override {}
    bool StartChannel(int32_t, zSound*) override { return true; }
    void StopChannel(int32_t) override {}
    void PauseChannel(int32_t) override {}
    void ResumeChannel(int32_t) override {}
    int32_t GetChannelState(int32_t) override { return ChannelIdle; }
    bool SetupSound(zSound*) override { return true; }
    void FreeSound(zSound*) override {}
    void SetMasterGain(float) override {}
    float GetMasterGain() override { return 1.0f; }
    bool StreamStart(int32_t channel, const dAV_AudioFormat& format) override
    {
        starts.push_back(channel);
        startFormat = format;
        return startSucceeds;
    }
    void StreamRefill(int32_t channel) override
    {
        zMixerStreamInterface* stream = channels[channel].streamInterface;
        zMemoryRingBuffer* ring = stream->LockBuffer();
        uint8_t block[zMixerStreamInterface::BlockSize];
        uint32_t n;
        while ((n = ring->Read(block, sizeof(block))) > 0)
            played.insert(played.end(), block, block + n);
        stream->UnlockBuffer();
    }
    void StreamStop(int32_t channel) override { stops.push_back(channel); }

    std::vector<uint8_t> played;
    std::vector<int32_t> starts;
    std::vector<int32_t> stops;
    dAV_AudioFormat startFormat;
    bool startSucceeds = true;
};

TEST(MixerStreamInterfaceTest, BufferIsFullOnceMoreThanHalfOfItsBlocksAreFilled)
{
    struct Case {
        uint32_t blocks, freeBlocks;
        bool full;
    };
    const Case cases[] = {
        {8, 8, false}, {8, 4, false}, {8, 3, true}, {8, 0, true}, {0, 0, true},
        {2, 1, false}, {3, 1, true},  {3, 2, false}, {1, 0, true}, {1, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zMixerStreamInterface::IsBufferFull(c.blocks, c.freeBlocks), c.full)
            << c.blocks << " blocks, " << c.freeBlocks << " free";
}

TEST(MixerStreamInterfaceTest, WriteTakesWhatFitsAndReportsFullnessFromTheRing)
{
    DrainingMixer mixer;
    zMixerStreamInterface stream(&mixer, 0);
    std::vector<uint8_t> data(40000, 0x5A);

    EXPECT_FALSE(stream.IsBufferFull());
    EXPECT_EQ(stream.Write(data.data(), 4 * 4096, 0), 4u * 4096);
    EXPECT_FALSE(stream.IsBufferFull()); // 4 blocks free
    EXPECT_EQ(stream.Write(data.data(), 100, 0), 100u);
    EXPECT_FALSE(stream.IsBufferFull()); // the partial block is not counted yet
    EXPECT_EQ(stream.Write(data.data(), 4096 - 100, 0), 4096u - 100);
    EXPECT_TRUE(stream.IsBufferFull()); // 3 blocks free
    EXPECT_FALSE(stream.IsBufferNotFull());
    // Only the room left is taken; the stream keeps the rest.
    EXPECT_EQ(stream.Write(data.data(), uint32_t(data.size()), 0), 3u * 4096);
    EXPECT_EQ(stream.Write(data.data(), 1, 0), 0u);
    EXPECT_EQ(stream.GetBytesWritten(), 8u * 4096);
}

TEST(MixerStreamInterfaceTest, MarkingEndedMakesThePartialLastBlockReadableAsSilence)
{
    DrainingMixer mixer;
    zMixerStreamInterface stream(&mixer, 0);
    const uint8_t tail[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(stream.Write(tail, sizeof(tail), 0), sizeof(tail));

    uint8_t out[4096];
    zMemoryRingBuffer* ring = stream.LockBuffer();
    EXPECT_EQ(ring->Read(out, sizeof(out)), 0u);
    stream.UnlockBuffer();

    stream.LockStream();
    stream.MarkEnded();
    stream.UnlockStream();
    EXPECT_EQ(stream.ended, 1);

    ring = stream.LockBuffer();
    ASSERT_EQ(ring->Read(out, sizeof(out)), 4096u);
    EXPECT_EQ(ring->GetFreeBlockCount(), 8u);
    stream.UnlockBuffer();
    EXPECT_EQ(std::memcmp(out, tail, sizeof(tail)), 0);
    for (size_t i = sizeof(tail); i < sizeof(out); ++i)
        ASSERT_EQ(out[i], 0) << "byte " << i;
}

TEST(MixerStreamInterfaceTest, ContentThatCannotBeOpenedLeavesTheChannelWithoutInterface)
{
    const std::string missing = MediaPath("no_such_file.mp2");
    const std::string garbage = std::string(TAVRIN_TEST_DATA) + "/media/README.md";
    for (const std::string& path : {missing, garbage}) {
        DrainingMixer mixer;
        LogCapture capture;
        EXPECT_FALSE(mixer.SetupChannelStreamInterface(3, path.c_str())) << path;
        EXPECT_EQ(mixer.channels[3].streamInterface, nullptr);
        EXPECT_TRUE(capture.Contains("[!] zMixer::SetupChannelStreamInterface")) << path;
        EXPECT_TRUE(capture.Contains("Failed to open content stream.")) << path;
        EXPECT_TRUE(mixer.starts.empty());
    }
    DrainingMixer mixer;
    EXPECT_FALSE(mixer.SetupChannelStreamInterface(64, MediaPath("tone.mp2").c_str()));
    EXPECT_EQ(mixer.StartChannelStream(-1, MediaPath("tone.mp2").c_str()), false);
}

TEST(MixerStreamInterfaceTest, RefusedDeviceStreamDeletesTheInterface)
{
    DrainingMixer mixer;
    mixer.startSucceeds = false;
    LogCapture capture;
    EXPECT_EQ(mixer.StartStream(MediaPath("tone.mp2").c_str()), -1);
    EXPECT_EQ(mixer.channels[0].streamInterface, nullptr);
    EXPECT_TRUE(capture.Contains("Failed to open content stream."));
}

// Producer and consumer on two threads: every decoded byte reaches the device in
// order, the last partial block included, and the drained channel is released.
class MixerStreamPlayTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MixerStreamPlayTest, EveryDecodedByteIsPlayedThenTheChannelIsReleased)
{
    const std::string path = MediaPath(GetParam());
    const std::vector<uint8_t> expected = DecodeWhole(path);
    ASSERT_FALSE(expected.empty());

    DrainingMixer mixer;
    LogCapture capture;
    const int32_t channel = mixer.StartStream(path.c_str());
    ASSERT_EQ(channel, 0);
    ASSERT_NE(mixer.channels[0].streamInterface, nullptr);
    EXPECT_GT(mixer.startFormat.rate, 0);
    EXPECT_EQ(mixer.startFormat.bits, 16);

    EXPECT_TRUE(WaitFor([&] {
        mixer.Update();
        return mixer.channels[0].streamInterface == nullptr;
    }));
    EXPECT_TRUE(capture.Contains("Stream interface decoder thread joined."));
    EXPECT_TRUE(capture.Contains("[|] Release stream interface."));

    // Whole blocks only: the tail is padded with silence.
    const size_t padded = (expected.size() + 4095) / 4096 * 4096;
    ASSERT_EQ(mixer.played.size(), padded);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), mixer.played.begin()));
    for (size_t i = expected.size(); i < padded; ++i)
        ASSERT_EQ(mixer.played[i], 0) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Media, MixerStreamPlayTest, ::testing::Values("tone.mp2", "tone.mp3", "tone.ogg", "av_mpeg1.mpg"));

TEST(MixerStreamInterfaceTest, StoppingMidPlayJoinsTheThreadAndFreesTheStream)
{
    DrainingMixer mixer;
    LogCapture capture;
    ASSERT_TRUE(mixer.StartChannelStream(7, MediaPath("tone.ogg").c_str()));
    zMixerStreamInterface* stream = mixer.channels[7].streamInterface;
    ASSERT_NE(stream, nullptr);
    // The decoder fills the ring ahead of playback by itself.
    EXPECT_TRUE(WaitFor([&] { return stream->GetBytesWritten() >= 5 * 4096; }));
    mixer.Update();
    EXPECT_FALSE(mixer.played.empty());

    mixer.stops.clear();
    mixer.StopChannelStream(7);
    EXPECT_EQ(mixer.channels[7].streamInterface, nullptr);
    EXPECT_EQ(mixer.stops, std::vector<int32_t>{7});
    EXPECT_TRUE(capture.Contains("Stream interface decoder thread joined."));
    EXPECT_TRUE(capture.Contains("StreamClose()."));
}

TEST(MixerStreamInterfaceTest, ReplacingAChannelsStreamStopsTheOldOneFirst)
{
    DrainingMixer mixer;
    ASSERT_TRUE(mixer.StartChannelStream(2, MediaPath("tone.mp3").c_str()));
    LogCapture capture;
    mixer.stops.clear();
    ASSERT_TRUE(mixer.StartChannelStream(2, MediaPath("tone.mp2").c_str()));
    EXPECT_NE(mixer.channels[2].streamInterface, nullptr);
    EXPECT_EQ(mixer.stops, std::vector<int32_t>{2});
    // The old thread is joined (and its stream closed) before the new stream opens.
    size_t joins = 0, joinedAt = 0, openedAt = 0;
    for (size_t i = 0; i < capture.lines.size(); ++i) {
        if (capture.lines[i].find("Stream interface decoder thread joined.") != std::string::npos) {
            ++joins;
            joinedAt = i;
        }
        if (capture.lines[i].find("tone.mp2") != std::string::npos && openedAt == 0)
            openedAt = i;
    }
    EXPECT_EQ(joins, 1u);
    EXPECT_LT(joinedAt, openedAt);
    // The mixer's destructor stops the second one.
}

TEST(MixerStreamInterfaceTest, LoopingStreamRestartsAndNeverEnds)
{
    const std::string path = MediaPath("tone.mp2");
    const std::vector<uint8_t> once = DecodeWhole(path);
    ASSERT_FALSE(once.empty());

    DrainingMixer mixer;
    LogCapture capture;
    mixer.SetChannelLoop(0, 1);
    mixer.SetChannelLoopPoint(0, 0);
    ASSERT_EQ(mixer.StartStream(path.c_str()), 0);
    EXPECT_TRUE(WaitFor([&] {
        mixer.Update();
        return mixer.played.size() > 2 * once.size() + 4096;
    }));
    ASSERT_NE(mixer.channels[0].streamInterface, nullptr);
    EXPECT_EQ(mixer.channels[0].streamInterface->ended, 0);
    EXPECT_TRUE(capture.Contains("requested 0ms"));
    // The first pass is whole, and the next one follows it without a silent block.
    EXPECT_TRUE(std::equal(once.begin(), once.end(), mixer.played.begin()));
    const auto second = mixer.played.begin() + ptrdiff_t(once.size());
    EXPECT_NE(std::count(second, second + 256, uint8_t(0)), 256);
}

} // namespace
