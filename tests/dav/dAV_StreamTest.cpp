#include "dav/DavTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

size_t CountLines(const LogCapture& capture, const std::string& text)
{
    return size_t(std::count_if(capture.lines.begin(), capture.lines.end(),
        [&text](const std::string& line) { return line.find(text) != std::string::npos; }));
}

// The whole PCM of a file, played with an audio driver that takes everything.
std::vector<uint8_t> DecodeAll(const std::string& path)
{
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    EXPECT_TRUE(stream.Open(path.c_str()));
    EXPECT_TRUE(PlayToEnd(stream, &audio));
    return audio.pcm;
}

TEST(Stream, WithoutDriversOpensWithoutTheFileAndFinishesAtOnce)
{
    dAV_Stream stream(nullptr, nullptr);
    LogCapture capture;
    EXPECT_TRUE(stream.Open("/no/such/file.mpg"));
    EXPECT_EQ(stream.GetState(), dAV_Stream::Finished);
    EXPECT_EQ(stream.GetEndFlags(), dAV_Stream::AudioEnded | dAV_Stream::VideoEnded);
    EXPECT_TRUE(capture.Contains("[H] dAV_Stream::Open"));
    EXPECT_TRUE(capture.Contains("Opening stream '/no/such/file.mpg'."));
}

TEST(Stream, OpenFailuresLeaveTheStreamClosedAndReusable)
{
    TempDir directory;
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "This is not a media file. ";
    const std::string unknown = directory.Write("text.bin", text);
    std::string ffe0;
    for (int i = 0; i < 2000; ++i)
        ffe0 += "\xFF\xE0";
    const std::string syncLike = directory.Write("ffe0.bin", ffe0);
    RecordingAudioDriver audio;
    RecordingVideoDriver video;
    dAV_Stream stream(&video, &audio);
    struct Case {
        std::string path;
        const char* message;
    };
    for (const Case& test : {Case{syncLike, "No suitable demuxer for stream."}, Case{unknown, "No suitable demuxer for stream."},
             Case{MediaPath("three_channels.ogg"), "No demuxer found for this stream."}, Case{"/no/such/file.ogg", nullptr}}) {
        SCOPED_TRACE(test.path);
        LogCapture capture;
        EXPECT_FALSE(stream.Open(test.path.c_str()));
        if (test.message != nullptr) {
            EXPECT_TRUE(capture.Contains(test.message));
        }
        EXPECT_EQ(stream.GetState(), dAV_Stream::Closed);
        EXPECT_EQ(stream.GetVideoDemuxer(), nullptr);
        EXPECT_EQ(stream.GetAudioDemuxer(), nullptr);
        // Nothing is left half open: the next open works.
        ASSERT_TRUE(stream.Open(MediaPath("av_mpeg1.mpg").c_str()));
        stream.Close();
    }
    EXPECT_FALSE(stream.Open(nullptr));
}

TEST(Stream, UpdatePresentsFramesAsTheClockFallsDue)
{
    RecordingVideoDriver video;
    dAV_Stream stream(&video, nullptr);
    ASSERT_TRUE(stream.Open(MediaPath("av_mpeg1.mpg").c_str()));
    EXPECT_EQ(video.framesWritten, 1); // the prefill stops at the first frame

    EXPECT_FALSE(stream.Update(0));
    EXPECT_FALSE(stream.Update(-5));
    EXPECT_EQ(video.presents, 0);
    EXPECT_EQ(stream.GetVideoClock(), 0);

    // 5000 ticks count as 1000: three frames of 400 bring the clock from -1000 to 200.
    EXPECT_TRUE(stream.Update(5000));
    EXPECT_EQ(video.presents, 3);
    EXPECT_EQ(video.framesPresented, 3);
    EXPECT_EQ(stream.GetVideoClock(), 200);

    EXPECT_TRUE(stream.Update(100));
    EXPECT_EQ(video.presents, 3);

    stream.videoPaused = true;
    EXPECT_TRUE(stream.Update(1000));
    EXPECT_EQ(video.presents, 3);
}

TEST(Stream, CloseLogsOnceAndAsksForGaplessOnlyWhenSet)
{
    RecordingVideoDriver video;
    RecordingAudioDriver audio;
    dAV_Stream stream(&video, &audio);
    {
        LogCapture capture;
        stream.Close();
        EXPECT_TRUE(capture.lines.empty());
    }
    struct Case {
        bool gapless, audioGapless, videoGapless, error, endCalls;
    };
    for (const Case& test : {Case{false, false, false, false, true}, Case{true, false, false, true, true},
             Case{true, true, false, true, true}, Case{true, true, true, false, false}}) {
        ASSERT_TRUE(stream.Open(MediaPath("av_mpeg1.mpg").c_str()));
        stream.gapless = test.gapless;
        audio.gapless = test.audioGapless;
        video.gapless = test.videoGapless;
        const int endOfStream = audio.endOfStreamCalls;
        const int clears = video.clearFrameCalls;
        LogCapture capture;
        stream.Close();
        EXPECT_TRUE(capture.Contains("StreamClose()."));
        EXPECT_EQ(capture.Contains("[!] dAV_Stream::Close") && capture.Contains("A/V driver does not support gapless playback."), test.error);
        EXPECT_EQ(audio.endOfStreamCalls - endOfStream, test.endCalls ? 1 : 0);
        EXPECT_EQ(video.clearFrameCalls - clears, test.endCalls ? 1 : 0);
        EXPECT_EQ(stream.GetState(), dAV_Stream::Closed);
    }
    // A missing driver does not stand in the way of gapless continuation.
    dAV_Stream audioOnly(nullptr, &audio);
    ASSERT_TRUE(audioOnly.Open(MediaPath("tone.mp2").c_str()));
    audioOnly.gapless = true;
    audio.gapless = true;
    LogCapture capture;
    audioOnly.Close();
    EXPECT_FALSE(capture.Contains("gapless"));
}

TEST(Stream, UnsupportedCodecDropsEveryPacket)
{
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    const uint8_t data[16] = {};
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(stream.DecodeAudio(5, data, data + sizeof(data), 0));
        EXPECT_EQ(stream.GetAudioCodecId(), 5);
        EXPECT_EQ(stream.GetAudioDecoder(), nullptr);
        EXPECT_FALSE(stream.DecodeVideo(7, data, data + sizeof(data), 0));
        EXPECT_EQ(stream.GetVideoCodecId(), 7);
    }
    EXPECT_TRUE(audio.pcm.empty());
    // A supported codec afterwards gets its decoder.
    EXPECT_TRUE(stream.DecodeAudio(2, data, data + sizeof(data), 0));
    EXPECT_NE(stream.GetAudioDecoder(), nullptr);

    dAV_Stream silent(nullptr, nullptr);
    EXPECT_FALSE(silent.DecodeAudio(2, data, data + sizeof(data), 0));
}

TEST(Stream, FramePeriodComesFromTheRate)
{
    struct Case {
        int32_t rate;
        int32_t period;
        bool logged;
    };
    for (const Case& test : {Case{250000, 400, true}, Case{241071, 414, true}, Case{100000000, 1, true}, Case{0, 400, false},
             Case{-250000, 400, false}, Case{100000001, 400, false}}) {
        SCOPED_TRACE(test.rate);
        dAV_Stream stream(nullptr, nullptr);
        LogCapture capture;
        stream.SetFramePeriod(test.rate);
        EXPECT_EQ(stream.GetFramePeriod(), test.period);
        EXPECT_EQ(capture.Contains("Stream video frame period = " + std::to_string(test.period)), test.logged);
    }
}

TEST(Stream, AudioTheDriverCannotTakeYetIsKeptAndNoneIsLost)
{
    for (const char* file : {"tone.mp2", "tone.mp3", "tone.ogg", "av_mpeg2.vob"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> expected = DecodeAll(MediaPath(file));
        RecordingAudioDriver audio;
        audio.maxTakePerWrite = 100;
        audio.capacity = 3000;
        audio.fullAt = 2000;
        dAV_Stream stream(nullptr, &audio);
        ASSERT_TRUE(stream.Open(MediaPath(file).c_str()));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        EXPECT_EQ(audio.pcm, expected);
        EXPECT_EQ(stream.GetPendingAudioBytes(), 0u);
    }
}

TEST(Stream, RewindPlaysTheSameAgain)
{
    for (const char* file : {"tone.mp2", "tone.ogg", "av_mpeg1.mpg"}) {
        SCOPED_TRACE(file);
        RecordingAudioDriver audio;
        RecordingVideoDriver video;
        dAV_Stream stream(&video, &audio);
        ASSERT_TRUE(stream.Open(MediaPath(file).c_str()));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        const std::vector<uint8_t> first = audio.pcm;
        const int frames = video.framesWritten;
        audio.pcm.clear();
        video.framesWritten = 0;
        stream.Rewind();
        EXPECT_EQ(stream.GetState(), dAV_Stream::Playing);
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        EXPECT_EQ(audio.pcm, first);
        EXPECT_EQ(video.framesWritten, frames);
    }
}

TEST(Stream, SeekAndRewindNeedAnOpenStream)
{
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    EXPECT_FALSE(stream.Seek(100));
    stream.Rewind();
    EXPECT_EQ(stream.GetState(), dAV_Stream::Closed);
}

TEST(Stream, MpegAudioSeekSkipsWholeFramesByTheirHeaders)
{
    const std::vector<uint8_t> all = DecodeAll(MediaPath("tone.mp2"));
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    ASSERT_TRUE(stream.Open(MediaPath("tone.mp2").c_str()));
    LogCapture capture;
    audio.pcm.clear();
    // Frames of 36 ms: the fourteenth header takes the time past 500 ms.
    ASSERT_TRUE(stream.Seek(500));
    EXPECT_TRUE(capture.Contains("Seeking to 504ms, requested 500ms."));
    EXPECT_EQ(stream.GetState(), dAV_Stream::Playing);
    ASSERT_TRUE(PlayToEnd(stream, &audio));
    EXPECT_EQ(audio.pcm.size(), all.size() - 14 * 1152 * 2);

    // Seeking to 0 stops after the first header.
    LogCapture atStart;
    ASSERT_TRUE(stream.Seek(0));
    EXPECT_TRUE(atStart.Contains("Seeking to 36ms, requested 0ms."));
}

TEST(Stream, OggSeekGoesToTheTargetSample)
{
    const std::vector<uint8_t> all = DecodeAll(MediaPath("tone.ogg"));
    ASSERT_EQ(all.size(), 22050u * 4u);
    struct Case {
        int32_t ms;
        size_t firstFrame; // where the output resumes
    };
    for (const Case& test : {Case{10, 0}, Case{0, 0}, Case{500, 11025}, Case{900, 19845}, Case{100, 2205}}) {
        SCOPED_TRACE(test.ms);
        RecordingAudioDriver audio;
        dAV_Stream stream(nullptr, &audio);
        ASSERT_TRUE(stream.Open(MediaPath("tone.ogg").c_str()));
        audio.pcm.clear();
        LogCapture capture;
        ASSERT_TRUE(stream.Seek(test.ms));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        const std::vector<uint8_t> tail(all.begin() + long(test.firstFrame * 4), all.end());
        EXPECT_EQ(audio.pcm.size(), tail.size());
        EXPECT_TRUE(audio.pcm == tail);
        if (test.firstFrame >= 1024) {
            EXPECT_TRUE(capture.Contains("Seeking to " + std::to_string(test.ms) + "ms, "));
        }
    }
}

TEST(Stream, MpegAudioFormatLineIsLoggedOnce)
{
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    LogCapture capture;
    ASSERT_TRUE(stream.Open(MediaPath("tone.mp2").c_str()));
    ASSERT_TRUE(PlayToEnd(stream, &audio));
    EXPECT_EQ(CountLines(capture, "Audio: MPEG-1 Layer II 32000Hz Mono No emphasis (libmad)."), 1u);
}

} // namespace
