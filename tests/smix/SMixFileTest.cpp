// The "file" mixer's WAV output checked sample for sample against values
// computed here from the mixing rules, and the channel life cycle around it.
#include "smix/zSMixMixer.h"

#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "dav/core/dAV_Driver.h"
#include "framework/filesystem/zIOHandle.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

// Lets a test make the next nothrow allocation fail.
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

struct Voice {
    std::vector<int16_t> data; // interleaved
    int32_t channels = 1;
    int32_t rate = 48000;
    float gain = 1.0f;
    float pitch = 1.0f;
    float pan = 0.5f;
    int32_t loop = 0;
};

// The mix written out plainly: 24.8 positions, 7-bit weights, 32-bit products,
// 16-bit sums that wrap, the end frame interpolating towards the first frame
// of a loop or itself.
std::vector<int16_t> Reference(const std::vector<Voice>& voices, float master, uint32_t frames)
{
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    for (const Voice& voice : voices) {
        const int64_t n = int64_t(voice.data.size()) / voice.channels;
        const int32_t volume = int32_t(master * voice.gain * 510.0f);
        const float left = std::min(1.0f, std::max(0.0f, 1.0f - voice.pan));
        const float right = std::min(1.0f, std::max(0.0f, voice.pan));
        const int32_t gl = int32_t(float(volume) * left);
        const int32_t gr = int32_t(float(volume) * right);
        const uint32_t step = uint32_t(int32_t(voice.pitch * 256.0f)) * uint32_t(voice.rate) / 48000u;
        int64_t pos = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            const int64_t f = pos >> 8;
            const int32_t w = int32_t(pos & 127);
            const int64_t next = f + 1 < n ? f + 1 : (voice.loop == 1 ? 0 : n - 1);
            auto at = [&](int64_t frame, int side) { return int32_t(voice.data[size_t(frame * voice.channels + side)]); };
            const int32_t sl = at(f, 0) * (127 - w) + at(next, 0) * w;
            const int32_t sr = voice.channels == 2 ? at(f, 1) * (127 - w) + at(next, 1) * w : sl;
            // The product is 32-bit and wraps (loud gains), the shift is arithmetic.
            out[2 * i] = int16_t(out[2 * i] + (int32_t(uint32_t(sl) * uint32_t(gl)) >> 15));
            out[2 * i + 1] = int16_t(out[2 * i + 1] + (int32_t(uint32_t(sr) * uint32_t(gr)) >> 15));
            pos += step;
            if ((pos >> 8) >= n) {
                if (voice.loop != 1)
                    break;
                pos -= n * 256;
            }
        }
    }
    return out;
}

std::vector<int16_t> Ramp(int32_t frames, int32_t channels, int32_t start, int32_t delta)
{
    std::vector<int16_t> data;
    for (int32_t i = 0; i < frames * channels; ++i)
        data.push_back(int16_t(start + (i % 2 == 1 && channels == 2 ? -1 : 1) * delta * (i / channels)));
    return data;
}

void Fill(zSound& sound, const std::vector<int16_t>& data, int32_t channels, int32_t rate, int32_t bits = 16)
{
    const int32_t frames = int32_t(data.size()) / channels;
    uint8_t* memory = sound.sample.AllocAs(frames, zSampleFormat{channels, rate, bits});
    ASSERT_NE(nullptr, memory);
    std::memcpy(memory, data.data(), std::min<size_t>(data.size() * 2, sound.sample.GetByteSize()));
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

class SMixFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mixer.OpenWaveFile(Path().c_str()));
        ASSERT_TRUE(mixer.OpenAudio());
    }

    std::string Path() const { return dir.Path("out.wav"); }

    // Closes the mixer and gives the samples of the data chunk.
    std::vector<int16_t> Finish()
    {
        mixer.CloseAudio();
        const std::vector<uint8_t> bytes = ReadBytes(Path());
        EXPECT_GE(bytes.size(), 44u);
        std::vector<int16_t> samples((bytes.size() - 44) / 2);
        std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
        return samples;
    }

    FileSystemGuard guard;
    TempDir dir;
    LogCapture log;
    Tavrin core;
    zSMixMixer mixer{&core, true};
};

struct MixCase {
    const char* name;
    std::vector<Voice> voices;
    float master;
    uint32_t frames;
};

void PrintTo(const MixCase& c, std::ostream* out)
{
    *out << c.name;
}

class SMixMixCase : public SMixFile, public ::testing::WithParamInterface<MixCase> {};

TEST_P(SMixMixCase, WaveDataMatchesTheMixRules)
{
    const MixCase& c = GetParam();
    std::vector<std::unique_ptr<zSound>> sounds;
    for (size_t i = 0; i < c.voices.size(); ++i) {
        const Voice& voice = c.voices[i];
        sounds.push_back(std::make_unique<zSound>(&core, "voice"));
        Fill(*sounds.back(), voice.data, voice.channels, voice.rate);
        ASSERT_TRUE(mixer.SetupSound(sounds.back().get()));
        const int32_t channel = int32_t(i) * 7;
        mixer.SetChannelGain(channel, voice.gain);
        mixer.SetChannelPitch(channel, voice.pitch);
        mixer.SetChannelPan(channel, voice.pan);
        mixer.SetChannelLoop(channel, voice.loop);
        ASSERT_TRUE(mixer.StartChannel(channel, sounds.back().get()));
    }
    mixer.SetMasterGain(c.master);
    // Frame steps of 166 ticks: 796 frames each, mixed in pieces of 256.
    mixer.SetFixedStep(166);
    const uint32_t updates = (c.frames + 795) / 796;
    for (uint32_t i = 0; i < updates; ++i)
        mixer.Update();
    const std::vector<int16_t> got = Finish();
    const std::vector<int16_t> expected = Reference(c.voices, c.master, updates * 796);
    ASSERT_EQ(expected.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(expected[i], got[i]) << "sample " << i << (i % 2 == 0 ? " (left)" : " (right)");
}

Voice Mono(std::vector<int16_t> data, float gain, float pitch, float pan, int32_t loop, int32_t rate = 48000)
{
    return Voice{std::move(data), 1, rate, gain, pitch, pan, loop};
}

Voice Stereo(std::vector<int16_t> data, float gain, float pitch, float pan, int32_t loop)
{
    return Voice{std::move(data), 2, 48000, gain, pitch, pan, loop};
}

const MixCase kMixCases[] = {
    {"centre_unit_gain_ends", {Mono(Ramp(1000, 1, -20000, 37), 1.0f, 1.0f, 0.5f, 0)}, 1.0f, 1600},
    {"half_pitch_low_weight_bits", {Mono(Ramp(900, 1, 3000, 29), 1.0f, 0.5f, 0.5f, 0)}, 1.0f, 2000},
    {"half_rate_sample", {Mono(Ramp(700, 1, -9000, 23), 1.0f, 1.0f, 0.5f, 0, 24000)}, 1.0f, 1600},
    {"pitch_one_and_a_half_loops", {Mono(Ramp(333, 1, 12000, -71), 1.0f, 1.5f, 0.5f, 1)}, 1.0f, 3000},
    {"odd_pitch_ends_between_frames", {Mono(Ramp(501, 1, 5000, 53), 1.0f, 0.73f, 0.5f, 0)}, 1.0f, 1600},
    {"odd_pitch_loops_through_first_frame", {Mono(Ramp(97, 1, -30000, 611), 1.0f, 0.73f, 0.5f, 1)}, 1.0f, 2400},
    {"hard_left", {Mono(Ramp(800, 1, 16000, -40), 1.0f, 1.0f, 0.0f, 0)}, 1.0f, 800},
    {"hard_right_beyond_range", {Mono(Ramp(800, 1, 16000, -40), 1.0f, 1.0f, 1.7f, 0)}, 1.0f, 800},
    {"quarter_pan_gains", {Mono(Ramp(800, 1, -16000, 40), 0.7f, 1.0f, 0.25f, 0)}, 0.5f, 800},
    {"stereo_sides_apart", {Stereo(Ramp(1200, 2, 8000, 13), 0.9f, 1.25f, 0.6f, 1)}, 1.0f, 3200},
    {"loud_gains_wrap_the_product",
     {Mono(Ramp(700, 1, -30000, 83), 9.0f, 0.81f, 0.3f, 1), Stereo(Ramp(500, 2, 29000, -97), 6.5f, 1.13f, 0.8f, 1)},
     1.5f,
     2400},
    {"channels_sum_and_wrap",
     {Mono(Ramp(900, 1, 32000, 0), 1.0f, 1.0f, 0.0f, 1), Mono(Ramp(900, 1, 32000, 0), 1.0f, 1.0f, 0.0f, 1),
      Stereo(Ramp(300, 2, -700, 90), 0.4f, 2.0f, 0.5f, 1)},
     1.0f,
     2400},
};

INSTANTIATE_TEST_SUITE_P(Cases, SMixMixCase, ::testing::ValuesIn(kMixCases),
                         [](const ::testing::TestParamInfo<MixCase>& info) { return std::string(info.param.name); });

TEST_F(SMixFile, HeaderAndSizesArePatchedAtClose)
{
    mixer.SetFixedStep(166);
    EXPECT_EQ(3184, mixer.GetFixedStep());
    EXPECT_TRUE(log.Contains("Fixed mixer step: 3184 bytes (step = 166)."));
    mixer.Update();
    mixer.Update();
    mixer.SetFixedStep(0);
    mixer.Update(); // no step: 16384 bytes
    mixer.CloseAudio();
    const std::vector<uint8_t> bytes = ReadBytes(Path());
    const uint32_t data = 2 * 3184 + 16384;
    ASSERT_EQ(44u + data, bytes.size());
    EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
    EXPECT_EQ(36u + data, U32(bytes, 4));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 8, "WAVEfmt ", 8));
    const uint8_t format[] = {16, 0, 0, 0, 1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0, 4, 0, 16, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 16, format, sizeof(format)));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 36, "data", 4));
    EXPECT_EQ(data, U32(bytes, 40));
    for (size_t i = 44; i < bytes.size(); ++i)
        ASSERT_EQ(0, bytes[i]) << "no channel plays: silence";
    EXPECT_FALSE(mixer.HasOutputFailed());
}

TEST_F(SMixFile, FixedStepFromTicks)
{
    const struct {
        int32_t ticks;
        int32_t bytes;
    } cases[] = {{166, 3184}, {1, 16}, {2, 36}, {0, 0}, {-50, 0}, {10000, 192000}};
    for (const auto& c : cases) {
        mixer.SetFixedStep(c.ticks);
        EXPECT_EQ(c.bytes, mixer.GetFixedStep()) << c.ticks << " ticks";
    }
}

TEST_F(SMixFile, ChannelLifeCycle)
{
    zSound sound(&core, "s");
    Fill(sound, Ramp(100, 1, 100, 1), 1, 48000);
    EXPECT_TRUE(mixer.SetupSound(&sound));
    EXPECT_FALSE(mixer.SetupSound(&sound)) << "set up already";
    mixer.FreeSound(&sound);
    EXPECT_EQ(nullptr, sound.mixerData);
    EXPECT_TRUE(mixer.SetupSound(&sound)) << "again after FreeSound";

    ASSERT_TRUE(mixer.StartChannel(3, &sound));
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(3));
    int16_t out[2 * 100];
    mixer.Mix(out, sizeof(out));
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(3)) << "100 frames play exactly 100 output frames";
    EXPECT_EQ(nullptr, mixer.GetChannelSound(3));

    ASSERT_TRUE(mixer.StartChannel(3, &sound));
    mixer.Mix(out, 99 * 4);
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(3));
    mixer.StopChannel(3);
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(3));

    // A sound freed while it plays leaves its channel at once.
    ASSERT_TRUE(mixer.StartChannel(5, &sound));
    mixer.FreeSound(&sound);
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(5));

    // Streams are accepted and stay silent.
    EXPECT_TRUE(mixer.StreamStart(1, {}));
    mixer.StreamRefill(1);
    mixer.StreamStop(1);
    mixer.PauseChannel(1);
    EXPECT_NE(3, mixer.GetChannelState(1)) << "never paused";
}

TEST_F(SMixFile, SoundsFreedAfterCloseLetGoOfTheirMark)
{
    zSound sound(&core, "s");
    ASSERT_TRUE(mixer.SetupSound(&sound));
    mixer.CloseAudio();
    mixer.FreeSound(&sound);
    EXPECT_EQ(nullptr, sound.mixerData);
}

TEST_F(SMixFile, ChannelIndicesOutsideTheRangeAreRefused)
{
    zSound sound(&core, "s");
    Fill(sound, Ramp(10, 1, 0, 1), 1, 48000);
    for (int32_t channel : {-1, -64, 64, 1000, INT32_MIN}) {
        EXPECT_FALSE(mixer.StartChannel(channel, &sound)) << channel;
        EXPECT_EQ(0, mixer.GetChannelState(channel)) << channel;
        mixer.StopChannel(channel);
        mixer.SetChannelGain(channel, 0.5f);
        mixer.SetChannelPitch(channel, 0.5f);
        mixer.SetChannelPan(channel, 0.5f);
        mixer.SetChannelLoop(channel, 1);
        mixer.SetChannelLoopPoint(channel, 1);
    }
    EXPECT_TRUE(log.Contains("Channel index -1 is out of range"));
}

TEST_F(SMixFile, SamplesThatCannotBeMixed)
{
    zSound eightBit(&core, "8");
    ASSERT_NE(nullptr, eightBit.sample.AllocAs(100, zSampleFormat{1, 48000, 8}));
    std::memset(eightBit.sample.data, 0x7F, eightBit.sample.GetByteSize());
    zSound empty(&core, "0");
    zSound odd(&core, "odd");
    Fill(odd, Ramp(10, 1, 1000, 0), 1, 48000);
    ASSERT_TRUE(mixer.StartChannel(0, &eightBit));
    ASSERT_TRUE(mixer.StartChannel(1, &empty));
    mixer.SetChannelLoop(2, 7);
    ASSERT_TRUE(mixer.StartChannel(2, &odd));
    int16_t out[2 * 64];
    mixer.Mix(out, sizeof(out));
    EXPECT_EQ(zMixer::ChannelPlaying, mixer.GetChannelState(0)) << "8-bit: silent, still playing";
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(1)) << "no frames: never read";
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(2)) << "unknown loop mode ends like none";
    EXPECT_TRUE(log.Contains("Unimplemented SMix channel loop mode (7)."));
    for (int i = 20; i < 128; ++i)
        EXPECT_EQ(0, out[i]) << i;
}

TEST_F(SMixFile, SetupSoundFailsWhenTheHandleCannotBeAllocated)
{
    zSound sound(&core, "s");
    failNextNothrowNew = true;
    EXPECT_FALSE(mixer.SetupSound(&sound));
    failNextNothrowNew = false;
    EXPECT_EQ(nullptr, sound.mixerData);
    EXPECT_TRUE(mixer.SetupSound(&sound));
}

// A file system with room for a few bytes, as a full disk: a write past the
// room is cut short. Flush and Close may fail as a buffered file's would.
class FullFS : public zIOBaseFS {
public:
    struct Handle : zIOHandle {
        uint32_t position = 0;
    };

    ~FullFS() override { CloseAll(); }

    uint32_t GetCapabilities() override { return 0; }
    zIOHandle* OpenDirect(const char* path, bool, bool, bool) override
    {
        auto* handle = new Handle;
        handle->name = path;
        file.clear();
        AddHandle(handle);
        return handle;
    }
    uint32_t Read(zIOHandle*, void*, uint32_t) override { return 0; }
    uint32_t Write(zIOHandle* h, const void* buffer, uint32_t count) override
    {
        auto* handle = static_cast<Handle*>(h);
        const uint32_t fits = std::min(count, room > handle->position ? room - handle->position : 0u);
        if (file.size() < handle->position + fits)
            file.resize(handle->position + fits);
        file.replace(handle->position, fits, static_cast<const char*>(buffer), fits);
        handle->position += fits;
        return fits;
    }
    uint32_t GetSize(zIOHandle*) override { return uint32_t(file.size()); }
    bool Seek(zIOHandle* h, int32_t offset, int mode) override
    {
        if (mode != 0 || offset < 0 || uint32_t(offset) > file.size())
            return false;
        static_cast<Handle*>(h)->position = uint32_t(offset);
        return true;
    }
    uint32_t Rewind(zIOHandle* h) override { return static_cast<Handle*>(h)->position = 0; }
    uint32_t Tell(zIOHandle* h) override { return static_cast<Handle*>(h)->position; }
    bool Flush(zIOHandle*) override { return !failFlush; }
    bool Close(zIOHandle* h) override
    {
        if (!RemoveHandle(h))
            return false;
        delete static_cast<Handle*>(h);
        return !failClose;
    }

    std::string file;
    uint32_t room = UINT32_MAX;
    bool failFlush = false;
    bool failClose = false;
};

struct FullCase {
    const char* name;
    uint32_t room;
    bool failFlush;
    bool failClose;
    // What the data chunk holds, and so what the header must say.
    uint32_t dataBytes;
};

void PrintTo(const FullCase& c, std::ostream* out)
{
    *out << c.name;
}

const char* const kLostOutput = "Writing the mixer output file 'capture.wav' failed";

int CountLines(const LogCapture& log, const std::string& text)
{
    return int(std::count_if(log.lines.begin(), log.lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

class SMixFullOutput : public ::testing::TestWithParam<FullCase> {};

// A write that fails is reported once, the header counts the whole frames the
// file holds, and the run can tell the capture failed.
TEST_P(SMixFullOutput, HeaderCountsWhatTheFileHolds)
{
    const FullCase& c = GetParam();
    FileSystemGuard guard;
    FullFS fs;
    fs.room = c.room;
    zStream::SetCurrentFS(&fs);
    LogCapture log;
    zSMixMixer mixer(nullptr, false);
    ASSERT_TRUE(mixer.OpenWaveFile("capture.wav"));
    ASSERT_TRUE(mixer.OpenAudio());
    for (int i = 0; i < 4; ++i)
        mixer.Update(); // 16384 bytes each, written in pieces of 1024
    fs.failFlush = c.failFlush;
    fs.failClose = c.failClose;
    mixer.CloseAudio();

    EXPECT_TRUE(mixer.HasOutputFailed());
    EXPECT_EQ(1, CountLines(log, kLostOutput)) << "once, not once per write";
    const std::vector<uint8_t> bytes(fs.file.begin(), fs.file.end());
    ASSERT_GE(bytes.size(), 44u + c.dataBytes);
    EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
    EXPECT_EQ(c.dataBytes, U32(bytes, 40));
    EXPECT_EQ(36u + c.dataBytes, U32(bytes, 4));
}

const FullCase kFullCases[] = {
    // The fifth piece is cut after 906 bytes: two of them are half a frame.
    {"room_ends_inside_a_piece", 44 + 5002, false, false, 5000},
    {"room_ends_between_pieces", 44 + 4096, false, false, 4096},
    {"room_for_the_header_only", 44, false, false, 0},
    // Everything went in but the last flush or the close failed: all of it is
    // counted, and the failure still shows.
    {"last_flush_fails", UINT32_MAX, true, false, 4 * 16384},
    {"close_fails", UINT32_MAX, false, true, 4 * 16384},
};

INSTANTIATE_TEST_SUITE_P(Cases, SMixFullOutput, ::testing::ValuesIn(kFullCases),
                         [](const ::testing::TestParamInfo<FullCase>& info) { return std::string(info.param.name); });

TEST(SMixFullOutputHeader, NoRoomForTheHeaderRefusesTheFile)
{
    FileSystemGuard guard;
    FullFS fs;
    fs.room = 20;
    zStream::SetCurrentFS(&fs);
    LogCapture log;
    zSMixMixer mixer(nullptr, false);
    EXPECT_FALSE(mixer.OpenWaveFile("capture.wav"));
    EXPECT_FALSE(mixer.IsWaveFileOpen());
    EXPECT_TRUE(log.Contains("Cannot write the header of the mixer output file 'capture.wav'."));
    EXPECT_EQ(0, fs.GetOpenHandleCount());
}

// The disk file system over C stdio, where a write is buffered and can be
// lost after it was counted.
TEST(SMixFullDisk, DevFullIsReportedOnce)
{
    FileSystemGuard guard;
    LogCapture log;
    zSMixMixer mixer(nullptr, false);
    ASSERT_TRUE(mixer.OpenWaveFile("/dev/full"));
    ASSERT_TRUE(mixer.OpenAudio());
    mixer.Update();
    EXPECT_TRUE(mixer.HasOutputFailed()) << "16384 bytes go past any stdio buffer";
    mixer.Update();
    mixer.Update();
    mixer.CloseAudio();
    EXPECT_TRUE(mixer.HasOutputFailed());
    EXPECT_EQ(1, CountLines(log, "Writing the mixer output file '/dev/full' failed"));
}

// A file size limit makes a disk file full at 65536 bytes: the header then
// counts what is in the file, not what was handed to stdio.
TEST(SMixFullDisk, FileCutByASizeLimitKeepsItsHeaderTrue)
{
    FileSystemGuard guard;
    TempDir dir;
    LogCapture log;
    zSMixMixer mixer(nullptr, false);
    const std::string path = dir.Path("cut.wav");
    ASSERT_TRUE(mixer.OpenWaveFile(path.c_str()));
    ASSERT_TRUE(mixer.OpenAudio());
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    const rlimit limit{65536, saved.rlim_max};
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
    for (int i = 0; i < 10; ++i)
        mixer.Update();
    mixer.CloseAudio();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(mixer.HasOutputFailed());
    EXPECT_EQ(1, CountLines(log, "Writing the mixer output file '" + path + "' failed"));
    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_EQ(65536u, bytes.size());
    EXPECT_EQ(65536u - 44, U32(bytes, 40));
    EXPECT_EQ(65536u - 8, U32(bytes, 4));
}

TEST(SMixClosed, RefusesSoundsWhileClosed)
{
    zSMixMixer mixer(nullptr, false);
    zSound sound(nullptr, "s");
    EXPECT_FALSE(mixer.SetupSound(&sound));
    EXPECT_FALSE(mixer.StartChannel(0, &sound));
    EXPECT_FALSE(mixer.SetupSound(nullptr));
    int16_t out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    mixer.Mix(out, sizeof(out));
    for (int16_t s : out)
        EXPECT_EQ(0, s);
    EXPECT_FALSE(mixer.OpenWaveFile("/nonexistent-directory/x.wav"));
    EXPECT_FALSE(mixer.IsWaveFileOpen());
}

TEST(SMixLong, PositionsBeyondThirtyTwoBitsKeepPlaying)
{
    // 9 M frames of 24.8 positions pass 2^31; at 8× pitch the end comes soon.
    zSMixMixer mixer(nullptr, false);
    TempDir dir;
    FileSystemGuard guard;
    ASSERT_TRUE(mixer.OpenWaveFile(dir.Path("l.wav").c_str()));
    ASSERT_TRUE(mixer.OpenAudio());
    zSound sound(nullptr, "long");
    ASSERT_NE(nullptr, sound.sample.AllocAs(9000000, zSampleFormat{1, 48000, 16}));
    std::memset(sound.sample.data, 0, sound.sample.GetByteSize());
    mixer.SetChannelPitch(0, 64.0f);
    ASSERT_TRUE(mixer.StartChannel(0, &sound));
    std::vector<int16_t> out(2 * 4096);
    int64_t frames = 0;
    while (mixer.GetChannelState(0) == zMixer::ChannelPlaying && frames < 200000) {
        mixer.Mix(out.data(), uint32_t(out.size() * 2));
        frames += 4096;
    }
    EXPECT_EQ(zMixer::ChannelIdle, mixer.GetChannelState(0));
    EXPECT_GE(frames, 9000000 / 64);
    mixer.CloseAudio();
}

} // namespace
