#include "dav/DavTestSupport.h"
#include "dav/decoder/dAV_MADDecoder.h"
#include "dav/demuxer/dAV_MPADemuxer.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> DecodeFile(const std::string& path, RecordingAudioDriver& audio)
{
    dAV_Stream stream(nullptr, &audio);
    if (!stream.Open(path.c_str()))
        return {};
    EXPECT_TRUE(PlayToEnd(stream, &audio));
    return audio.pcm;
}

class MPEGAudioTest : public testing::Test {
protected:
    std::string Write(const Bytes& bytes) { return directory.Write("audio.mpa", std::string(bytes.begin(), bytes.end())); }

    TempDir directory;
};

TEST_F(MPEGAudioTest, ID3TagsAreSkipped)
{
    struct Case {
        const char* name;
        uint8_t major;
        uint8_t flags;
        uint32_t size;
        size_t syncAt;
        bool accepted;
    };
    for (const Case& test : {Case{"v2.3", 3, 0x00, 1000, 1010, true}, Case{"v2.4 with footer", 4, 0x10, 100, 120, true},
             Case{"sync not after the tag", 3, 0x00, 1000, 1005, false}}) {
        SCOPED_TRACE(test.name);
        Bytes file = {'I', 'D', '3', test.major, 0, test.flags, uint8_t((test.size >> 21) & 0x7F), uint8_t((test.size >> 14) & 0x7F),
            uint8_t((test.size >> 7) & 0x7F), uint8_t(test.size & 0x7F)};
        file.resize(test.syncAt, 0);
        file.insert(file.end(), {0xFF, 0xFB, 0x90, 0x44});
        file.resize(file.size() + 2000, 0);
        zStream reader;
        ASSERT_TRUE(reader.Open(Write(file).c_str(), true, false));
        dAV_MPADemuxer demuxer(&reader);
        CaptureStream stream;
        LogCapture capture;
        EXPECT_EQ(demuxer.TestDemux(&stream), test.accepted);
        EXPECT_TRUE(capture.Contains("Skipping ID3 tag v2." + std::to_string(test.major) + ".0"));
        if (test.accepted) {
            EXPECT_EQ(reader.Tell(), test.syncAt);
        }
    }
}

TEST_F(MPEGAudioTest, FrameSyncDecidesTheProbe)
{
    struct Case {
        Bytes start;
        bool accepted;
        const char* error;
    };
    for (const Case& test : {Case{{0xFF, 0xFB}, true, nullptr}, Case{{0xFF, 0xF3}, true, "Elementary MPEG-2 Audio stream unsupported."},
             Case{{0xFF, 0xF9}, true, "Invalid layer."}, Case{{0xFF, 0xE0}, false, nullptr}, Case{{0xFE, 0xFB}, false, nullptr},
             Case{{0xFF}, false, nullptr}, Case{{}, false, nullptr}}) {
        zStream reader;
        ASSERT_TRUE(reader.Open(Write(test.start).c_str(), true, false));
        dAV_MPADemuxer demuxer(&reader);
        CaptureStream stream;
        LogCapture capture;
        EXPECT_EQ(demuxer.TestDemux(&stream), test.accepted);
        EXPECT_EQ(reader.Tell(), 0u); // the probe reads without moving
        EXPECT_EQ(capture.Contains("Stream appears to be elementary MPEG audio."), test.accepted);
        if (test.error != nullptr) {
            EXPECT_TRUE(capture.Contains(std::string("[!] dAV_MPADemuxer::TestDemux")) && capture.Contains(test.error));
        } else {
            EXPECT_FALSE(capture.Contains("[!]"));
        }
    }
}

TEST_F(MPEGAudioTest, InitReportsTheFormatOfTheFirstHeader)
{
    struct Case {
        const char* file;
        int32_t rate;
    };
    for (const Case& test : {Case{"tone.mp3", 44100}, Case{"tone.mp2", 32000}}) {
        zStream reader;
        ASSERT_TRUE(reader.Open(MediaPath(test.file).c_str(), true, false));
        dAV_MPADemuxer demuxer(&reader);
        CaptureStream stream;
        ASSERT_TRUE(demuxer.TestDemux(&stream));
        demuxer.sideFlags = dAV_Demuxer::DeliversAudio;
        ASSERT_TRUE(demuxer.Init(&stream, false));
        EXPECT_EQ(stream.GetAudioFormat().rate, test.rate);
        EXPECT_FALSE(stream.GetAudioFormat().stereo);
    }
}

TEST_F(MPEGAudioTest, ScaleSampleSaturates)
{
    struct Case {
        int32_t in;
        int16_t out;
    };
    for (const Case& test : {Case{0x10000000, 32767}, Case{0x7FFFFFFF, 32767}, Case{0x0FFFFFFF, 32767}, Case{8192, 1}, Case{0, 0},
             Case{-1, -1}, Case{-0x10000000, -32767}, Case{-0x7FFFFFFF, -32767}, Case{-0x0FFFFFFF, -32768}}) {
        SCOPED_TRACE(test.in);
        EXPECT_EQ(dAV_MADDecoder::ScaleSample(test.in), test.out);
    }
}

TEST_F(MPEGAudioTest, PacketsOfAnySizeDecodeTheSame)
{
    RecordingAudioDriver reference;
    const Bytes expected = DecodeFile(MediaPath("tone.mp3"), reference);
    ASSERT_EQ(expected.size(), 40u * 1152u * 2u);
    const Bytes file = ReadFileBytes(MediaPath("tone.mp3"));
    for (size_t packet : {size_t(1), size_t(7), size_t(333), size_t(5000), file.size()}) {
        SCOPED_TRACE(packet);
        RecordingAudioDriver audio;
        dAV_Stream stream(nullptr, &audio);
        for (size_t at = 0; at < file.size(); at += packet)
            stream.DecodeAudio(2, file.data() + at, file.data() + std::min(file.size(), at + packet), 0);
        stream.GetAudioDecoder()->Finish(&stream);
        EXPECT_EQ(audio.pcm.size(), expected.size());
        EXPECT_TRUE(audio.pcm == expected);
    }
}

TEST_F(MPEGAudioTest, GarbageBetweenFramesIsSkipped)
{
    RecordingAudioDriver reference;
    const Bytes expected = DecodeFile(MediaPath("tone.mp2"), reference);
    Bytes file = ReadFileBytes(MediaPath("tone.mp2"));
    // 32 kbit/s at 32 kHz: every layer II frame is 144 bytes.
    ASSERT_EQ(file[144 * 10], 0xFF);
    Bytes garbage(700);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i % 200);
    file.insert(file.begin() + 144 * 10, garbage.begin(), garbage.end());
    RecordingAudioDriver audio;
    const Bytes pcm = DecodeFile(Write(file), audio);
    EXPECT_EQ(pcm.size(), expected.size());
    EXPECT_TRUE(pcm == expected);
}

TEST_F(MPEGAudioTest, FormatChangeMidwayReachesTheDriver)
{
    Bytes file = ReadFileBytes(MediaPath("tone.mp2"));
    const Bytes second = ReadFileBytes(MediaPath("tone.mp3"));
    file.insert(file.end(), second.begin(), second.end());
    RecordingAudioDriver audio;
    dAV_Stream stream(nullptr, &audio);
    ASSERT_TRUE(stream.Open(Write(file).c_str()));
    ASSERT_TRUE(PlayToEnd(stream, &audio));
    ASSERT_EQ(audio.formats.size(), 2u);
    EXPECT_EQ(audio.formats[0].rate, 32000);
    EXPECT_EQ(audio.formats[1].rate, 44100);
    EXPECT_EQ(stream.GetAudioFormat().rate, 44100);
    EXPECT_GE(audio.pcm.size(), (28u + 38u) * 1152u * 2u);
}

} // namespace
