#include "dav/DavTestSupport.h"
#include "dav/decoder/dAV_MPEGVideoDecoder.h"
#include "dav/demuxer/dAV_PSDemuxer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
extern "C" {
#include <mpeg2dec/mpeg2.h>
}

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

// libmpeg2's allocations, filled with garbage as reused memory would be.
std::map<uintptr_t, size_t> LibraryBlocks;

void* DirtyAllocate(unsigned size, mpeg2_alloc_t)
{
    const size_t rounded = (size_t(size) + 63) / 64 * 64;
    void* block = std::aligned_alloc(64, rounded != 0 ? rounded : 64);
    if (block != nullptr) {
        std::memset(block, 0xBE, rounded);
        LibraryBlocks[uintptr_t(block)] = rounded;
    }
    return block;
}

int DirtyFree(void* block)
{
    if (LibraryBlocks.erase(uintptr_t(block)) == 0)
        return 0;
    std::free(block);
    return 1;
}

bool InsideLibraryBlock(const uint8_t* pointer)
{
    auto block = LibraryBlocks.upper_bound(uintptr_t(pointer));
    if (block == LibraryBlocks.begin())
        return false;
    --block;
    return uintptr_t(pointer) < block->first + block->second;
}

// Checks the planes it is given instead of reading them.
class PlaneCheckingDriver : public RecordingVideoDriver {
public:
    bool WriteFrame(uint8_t* const planes[3], int32_t) override
    {
        ++framesWritten;
        for (int plane = 0; plane < 3; ++plane)
            strayPlanes += InsideLibraryBlock(planes[plane]) ? 0 : 1;
        frameWaiting = true;
        return true;
    }

    int strayPlanes = 0;
};

TEST(MPEGVideo, NoFrameIsHandedOutBeforeAPictureWasDecoded)
{
    // Found by the program-stream fuzz target: sequences without a valid
    // picture, where libmpeg2 names a frame whose buffers it never set.
    mpeg2_malloc_hooks(DirtyAllocate, DirtyFree);
    int frames = 0;
    int stray = 0;
    {
        PlaneCheckingDriver video;
        RecordingAudioDriver audio;
        dAV_Stream stream(&video, &audio);
        ASSERT_TRUE(stream.Open(MediaPath("fuzz_stale_frame.mpg").c_str()));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        ASSERT_TRUE(stream.Seek(947));
        ASSERT_TRUE(PlayToEnd(stream, &audio));
        frames = video.framesWritten;
        stray = video.strayPlanes;
    }
    dAV_MPEGVideoDecoder::InstallClearedAllocation();
    EXPECT_TRUE(LibraryBlocks.empty());
    EXPECT_EQ(stray, 0) << "of " << frames << " frames";
}

TEST(MPEGVideo, EveryBlockLibmpeg2AsksForComesCleared)
{
    // A corrupt stream can show a frame libmpeg2 never fully decoded, or make
    // it read state no header set: what it reads must have been written.
    for (const mpeg2_alloc_t reason : {MPEG2_ALLOC_MPEG2DEC, MPEG2_ALLOC_CHUNK, MPEG2_ALLOC_YUV}) {
        for (int round = 0; round < 2; ++round) {
            constexpr unsigned Size = 64 * 48 * 3 / 2;
            auto* block = static_cast<uint8_t*>(mpeg2_malloc(Size, reason));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(uintptr_t(block) % 64, 0u) << "libmpeg2 aligns its blocks to 64 bytes";
            size_t dirty = 0;
            for (unsigned i = 0; i < Size; ++i)
                dirty += block[i] != 0 ? 1 : 0;
            EXPECT_EQ(dirty, 0u) << "reason " << int(reason) << ", round " << round;
            // The next block may well reuse this memory.
            std::memset(block, 0xBE, Size);
            mpeg2_free(block);
        }
    }
}

// libmpeg2's hooks with guard zones for the length of a test; the cleared
// ones come back after.
struct GuardedAllocation {
    GuardedAllocation() { dAV_MPEGVideoDecoder::InstallGuardedAllocation(); }
    ~GuardedAllocation() { dAV_MPEGVideoDecoder::InstallClearedAllocation(); }
    GuardedAllocation(const GuardedAllocation&) = delete;
    GuardedAllocation& operator=(const GuardedAllocation&) = delete;
};

TEST(MPEGVideoDeathTest, AWriteOutsideAGuardedBlockEndsTheProgramWhenItIsFreed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        unsigned size;
        int offset;
        const char* report;
    };
    const Case cases[] = {
        {"eight bytes past the end", 256, 256, "256-byte frame plane block at 0x[0-9a-f]+: bytes 256 to 263 changed"},
        {"into the rounding slack", 200, 200, "200-byte frame plane block at 0x[0-9a-f]+: bytes 200 to 207 changed"},
        {"before the start", 256, -8, "256-byte frame plane block at 0x[0-9a-f]+: bytes -8 to -1 changed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DEATH(
            {
                GuardedAllocation guarded;
                auto* block = static_cast<uint8_t*>(mpeg2_malloc(c.size, MPEG2_ALLOC_YUV));
                std::memset(block + c.offset, 1, 8);
                mpeg2_free(block);
            },
            std::string("libmpeg2 wrote outside its ") + c.report);
    }
    // Every byte of the block itself is libmpeg2's to write, and comes cleared.
    GuardedAllocation guarded;
    auto* block = static_cast<uint8_t*>(mpeg2_malloc(200, MPEG2_ALLOC_YUV));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(uintptr_t(block) % 64, 0u);
    EXPECT_EQ(std::count(block, block + 200, 0), 200);
    std::memset(block, 0xFF, 200);
    mpeg2_free(block);
}

TEST(MPEGVideo, AFieldShorterThanAMacroblockRowIsRefused)
{
    // A 64x1 MPEG-2 sequence, 16 coded lines, whose picture is a top field:
    // libmpeg2 would write its macroblocks as 32 lines into frames of 16, and
    // predict from lines past them. The guard zones catch any such write
    // when the stream closes.
    GuardedAllocation guarded;
    RecordingVideoDriver video;
    LogCapture log;
    {
        dAV_Stream stream(&video, nullptr);
        ASSERT_TRUE(stream.Open(MediaPath("field_16_lines.mpg").c_str()));
        EXPECT_TRUE(PlayToEnd(stream, nullptr));
    }
    EXPECT_TRUE(video.formats.empty());
    EXPECT_EQ(video.framesWritten, 0);
    EXPECT_TRUE(log.Contains("Refused a 64x16 video sequence: fewer than 32 lines."));
}

// The largest frame plane libmpeg2 asked for while hooks of this kind are in.
size_t LargestFramePlane = 0;

void* RecordingAllocate(unsigned size, mpeg2_alloc_t reason)
{
    if (reason == MPEG2_ALLOC_YUV && size > LargestFramePlane)
        LargestFramePlane = size;
    return DirtyAllocate(size, reason);
}

TEST(MPEGVideo, APictureLargerThanTheDecoderTakesIsRefusedBeforeItsFramesAreAllocated)
{
    // 4112x32, past the 4096 a side a texture has.
    mpeg2_malloc_hooks(RecordingAllocate, DirtyFree);
    LargestFramePlane = 0;
    RecordingVideoDriver video;
    LogCapture log;
    {
        dAV_Stream stream(&video, nullptr);
        ASSERT_TRUE(stream.Open(MediaPath("wide_4112.mpg").c_str()));
        EXPECT_TRUE(PlayToEnd(stream, nullptr));
    }
    dAV_MPEGVideoDecoder::InstallClearedAllocation();
    EXPECT_EQ(LargestFramePlane, 0u);
    EXPECT_TRUE(video.formats.empty());
    EXPECT_EQ(video.framesWritten, 0);
    EXPECT_TRUE(log.Contains("Refused a 4112x32 video sequence: larger than 4096 pixels on a side."));
}

TEST(MPEGVideo, SequencesOutsideTheLimitsAreSkippedUpToTheNextOne)
{
    struct Case {
        int32_t driverLimit; // 0: the decoder's own
        int width;
        int height;
        const char* refusal; // null when accepted
    };
    const Case cases[] = {
        {64, 64, 48, nullptr},
        {64, 80, 48, "Refused a 80x48 video sequence: larger than 64 pixels on a side."},
        {64, 64, 65, "Refused a 64x80 video sequence: larger than 64 pixels on a side."},
        {0, 4095, 48, nullptr},
        {0, 64, 17, nullptr},
        {0, 64, 16, "Refused a 64x16 video sequence: fewer than 32 lines."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        RecordingVideoDriver video;
        video.maxFrameSide = c.driverLimit;
        dAV_Stream stream(&video, nullptr);
        // A second sequence follows in the same packet.
        Bytes packet = Sequence(c.width, c.height, 3);
        const Bytes next = Sequence(32, 32, 3);
        packet.insert(packet.end(), next.begin(), next.end());
        testing::internal::CaptureStdout();
        LogCapture log;
        EXPECT_TRUE(stream.DecodeVideo(2, packet.data(), packet.data() + packet.size(), 0));
        testing::internal::GetCapturedStdout();
        ASSERT_FALSE(video.formats.empty());
        EXPECT_EQ(video.formats.back().width, 32);
        EXPECT_EQ(video.formats.back().height, 24);
        if (c.refusal != nullptr) {
            EXPECT_TRUE(log.Contains(c.refusal));
            EXPECT_EQ(video.formats.size(), 1u);
        } else {
            EXPECT_FALSE(log.Contains("Refused"));
            ASSERT_EQ(video.formats.size(), 2u);
            EXPECT_EQ(video.formats[0].width, (c.width + 15) / 16 * 16);
        }
    }
}

} // namespace
