#include "dav/DavTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

struct AudioFixture {
    const char* file;
    int32_t rate;
    bool stereo;
    size_t frames; // sample frames the file decodes to
    const char* demuxer;
};

// Names the case in test listings and failure messages.
void PrintTo(const AudioFixture& c, std::ostream* out)
{
    *out << c.file;
}

class AudioFixtureTest : public testing::TestWithParam<AudioFixture> {};

TEST_P(AudioFixtureTest, DecodesEveryFrameInTheFileFormat)
{
    const AudioFixture& fixture = GetParam();
    RecordingAudioDriver audio;
    audio.fullAt = 16384;
    dAV_Stream stream(nullptr, &audio);
    LogCapture capture;
    ASSERT_TRUE(stream.Open(MediaPath(fixture.file).c_str()));
    EXPECT_TRUE(capture.Contains(std::string("SelectAudioDemuxer(): Using '") + fixture.demuxer + "'."));
    // The container tells the format before any PCM is played.
    EXPECT_EQ(stream.GetAudioFormat().rate, fixture.rate);
    EXPECT_EQ(stream.GetAudioFormat().stereo, fixture.stereo);

    ASSERT_TRUE(PlayToEnd(stream, &audio));
    ASSERT_EQ(audio.formats.size(), 1u);
    EXPECT_EQ(audio.formats[0].rate, fixture.rate);
    EXPECT_EQ(audio.formats[0].bits, 16);
    EXPECT_EQ(audio.formats[0].stereo, fixture.stereo);
    EXPECT_EQ(audio.Frames(), fixture.frames);
    EXPECT_EQ(audio.pcm.size() % size_t(audio.current.GetFrameBytes()), 0u);
}

TEST_P(AudioFixtureTest, FormatIsKnownBeforeAnythingIsDecoded)
{
    const AudioFixture& fixture = GetParam();
    RecordingAudioDriver audio;
    audio.fullAt = 1;
    audio.held = 1; // full from the start: the prefill decodes nothing
    dAV_Stream stream(nullptr, &audio);
    ASSERT_TRUE(stream.Open(MediaPath(fixture.file).c_str()));
    EXPECT_TRUE(audio.pcm.empty());
    EXPECT_EQ(stream.GetAudioFormat().rate, fixture.rate);
    EXPECT_EQ(stream.GetAudioFormat().bits, 16);
    EXPECT_EQ(stream.GetAudioFormat().stereo, fixture.stereo);
}

INSTANTIATE_TEST_SUITE_P(Files, AudioFixtureTest,
    testing::Values(AudioFixture{"tone.mp2", 32000, false, 28 * 1152, "MPEG-Audio elementary stream demuxer"},
        AudioFixture{"tone.mp3", 44100, false, 40 * 1152, "MPEG-Audio elementary stream demuxer"},
        AudioFixture{"tone.ogg", 22050, true, 22050, "OGG Vorbis stream demuxer"},
        AudioFixture{"av_mpeg1.mpg", 32000, false, 28 * 1152, "MPEG-PS demuxer"},
        AudioFixture{"av_mpeg2.vob", 48000, false, 42 * 1152, "MPEG-PS demuxer"}),
    [](const testing::TestParamInfo<AudioFixture>& info) {
        std::string name = info.param.file;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(StreamFixture, ProgramStreamDecodesEveryVideoFrame)
{
    for (const char* file : {"av_mpeg1.mpg", "av_mpeg2.vob"}) {
        SCOPED_TRACE(file);
        RecordingVideoDriver video;
        RecordingAudioDriver audio;
        dAV_Stream stream(&video, &audio);
        ASSERT_TRUE(stream.Open(MediaPath(file).c_str()));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        EXPECT_EQ(video.framesWritten, 25);
        EXPECT_EQ(video.framesPresented, 25);
        ASSERT_FALSE(video.formats.empty());
        EXPECT_EQ(video.formats[0].kind, 2);
        EXPECT_EQ(video.formats[0].width, 64);
        EXPECT_EQ(video.formats[0].height, 40);
        EXPECT_EQ(video.formats[0].chromaWidth, 32);
        EXPECT_EQ(video.formats[0].chromaHeight, 20);
        EXPECT_EQ(stream.GetFramePeriod(), 400);
        EXPECT_EQ(video.frameRate, 250000);
    }
}

TEST(StreamFixture, FirstVideoFrameMatchesAReferenceDecode)
{
    const std::vector<uint8_t> reference = ReadFileBytes(MediaPath("av_mpeg1_frame0.rgb"));
    ASSERT_EQ(reference.size(), 64u * 48u * 3u);
    RecordingVideoDriver video;
    dAV_Stream stream(&video, nullptr);
    ASSERT_TRUE(stream.Open(MediaPath("av_mpeg1.mpg").c_str()));
    ASSERT_EQ(video.firstFrame.size(), 64u * 40u * 4u);
    int worst = 0;
    long total = 0;
    for (size_t pixel = 0; pixel < 64u * 40u; ++pixel) {
        // Ours is B, G, R, 0; the reference R, G, B.
        for (int channel = 0; channel < 3; ++channel) {
            const int difference = std::abs(int(video.firstFrame[pixel * 4 + size_t(2 - channel)]) - int(reference[pixel * 3 + size_t(channel)]));
            worst = std::max(worst, difference);
            total += difference;
        }
        EXPECT_EQ(video.firstFrame[pixel * 4 + 3], 0);
    }
    // Both decoders read the same pictures; only the colour conversion's rounding differs.
    EXPECT_LE(worst, 8);
    EXPECT_LE(double(total) / (64.0 * 40.0 * 3.0), 2.0);
}

} // namespace
