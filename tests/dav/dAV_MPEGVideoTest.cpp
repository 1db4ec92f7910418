#include "dav/DavTestSupport.h"
#include "dav/decoder/dAV_MPEGVideoDecoder.h"
#include "dav/demuxer/dAV_PSDemuxer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

// An MPEG-1 sequence header followed by a GOP header, which makes libmpeg2 report the sequence.
Bytes Sequence(int width, int height, uint8_t rateCode)
{
    return {0x00, 0x00, 0x01, 0xB3, uint8_t(width >> 4), uint8_t((width & 0x0F) << 4 | height >> 8), uint8_t(height), uint8_t(0x10 | rateCode),
        0xFF, 0xFF, 0xE3, 0x80, 0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8};
}

TEST(MPEGVideo, SequenceHeaderSetsFormatAndFramePeriod)
{
    struct Case {
        uint8_t rateCode;
        int rateShown;
        int32_t rate;
        int32_t period;
    };
    for (const Case& test : {Case{3, 25, 250000, 400}, Case{1, 23, 241071, 414}, Case{4, 29, 300000, 333}}) {
        SCOPED_TRACE(test.rateCode);
        RecordingVideoDriver video;
        dAV_Stream stream(&video, nullptr);
        const Bytes header = Sequence(720, 576, test.rateCode);
        testing::internal::CaptureStdout();
        LogCapture capture;
        EXPECT_TRUE(stream.DecodeVideo(2, header.data(), header.data() + header.size(), 0));
        std::fflush(stdout);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find("-- Video: MPEG-1/MPEG-2 720x576@" + std::to_string(test.rateShown) + "hz [chroma: 360x288] (libmpeg2).\n"),
            std::string::npos);
        ASSERT_EQ(video.formats.size(), 1u);
        EXPECT_EQ(video.formats[0].kind, 2);
        EXPECT_EQ(video.formats[0].width, 720);
        EXPECT_EQ(video.formats[0].height, 568);
        EXPECT_EQ(video.formats[0].chromaWidth, 360);
        EXPECT_EQ(video.formats[0].chromaHeight, 284);
        EXPECT_EQ(video.frameRate, test.rate);
        EXPECT_EQ(stream.GetFramePeriod(), test.period);
        EXPECT_FLOAT_EQ(video.pixelAspect, 1.0f);
    }
}

// The video elementary stream of the fixture, as its demuxer delivers it.
Bytes VideoElementaryStream()
{
    CaptureStream capture;
    zStream reader;
    EXPECT_TRUE(reader.Open(MediaPath("av_mpeg1.mpg").c_str(), true, false));
    dAV_PSDemuxer demuxer(&reader);
    demuxer.sideFlags = dAV_Demuxer::DeliversVideo;
    EXPECT_TRUE(demuxer.Init(&capture, false));
    while (!demuxer.DemuxNext(&capture)) {
    }
    Bytes stream;
    for (const CapturedPacket& packet : capture.packets)
        stream.insert(stream.end(), packet.bytes.begin(), packet.bytes.end());
    return stream;
}

TEST(MPEGVideo, FramesWaitForTheDriverAndNoneIsLost)
{
    const Bytes elementary = VideoElementaryStream();
    ASSERT_GT(elementary.size(), 1000u);
    RecordingVideoDriver video;
    dAV_Stream stream(&video, nullptr);
    // All pictures arrive in one packet: the decoder hands out one per presentation.
    ASSERT_TRUE(stream.DecodeVideo(2, elementary.data(), elementary.data() + elementary.size(), 77));
    EXPECT_EQ(video.framesWritten, 1);
    dAV_VideoDecoder* decoder = stream.GetVideoDecoder();
    auto drain = [&] {
        for (int presented = 0; decoder->HasBacklog() && presented < 100; ++presented) {
            video.PresentFrame();
            decoder->Resume(&stream);
        }
    };
    drain();
    // Without a sequence end code the last pictures wait for the end of the data.
    EXPECT_LT(video.framesWritten, 25);
    video.PresentFrame();
    decoder->Finish(&stream);
    drain();
    EXPECT_EQ(video.framesWritten, 25);
    EXPECT_EQ(video.stamps.back(), 77);
}

} // namespace
