#include "dav/DavTestSupport.h"
#include "dav/decoder/dAV_FrameConvert.h"
#include "dav/demuxer/dAV_PSDemuxer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
extern "C" {
#include <mpeg2dec/mpeg2.h>
#include <mpeg2dec/mpeg2convert.h>
}

namespace {

using Bytes = std::vector<uint8_t>;

// libmpeg2's SIMD conversion rounds its own way; its plain C conversion is the
// reference. The choice is made once per process, before the first decoder.
const uint32_t LibraryAcceleration = mpeg2_accel(0);

struct Planes {
    int width = 0;
    int height = 0;
    Bytes y, u, v;

    Planes(int width, int height, uint32_t seed) : width(width), height(height)
    {
        std::mt19937 random(seed);
        const int chromaWidth = (width + 1) / 2;
        const int chromaHeight = (height + 1) / 2;
        y.resize(size_t(width) * height);
        u.resize(size_t(chromaWidth) * chromaHeight);
        v.resize(u.size());
        for (uint8_t& value : y)
            value = uint8_t(random());
        for (size_t i = 0; i < u.size(); ++i) {
            u[i] = uint8_t(random());
            v[i] = uint8_t(random());
        }
    }
};

Bytes ElementaryVideo()
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
    static const uint8_t end[] = {0x00, 0x00, 0x01, 0xB7};
    stream.insert(stream.end(), end, end + 4);
    return stream;
}

// Every displayed picture of an elementary stream, as libmpeg2 hands it out.
std::vector<Bytes> DecodePictures(Bytes stream, bool convert, int& width, int& height)
{
    std::vector<Bytes> pictures;
    mpeg2dec_t* decoder = mpeg2_init();
    const mpeg2_info_t* info = mpeg2_info(decoder);
    mpeg2_buffer(decoder, stream.data(), stream.data() + stream.size());
    for (;;) {
        const mpeg2_state_t state = mpeg2_parse(decoder);
        if (state == STATE_BUFFER)
            break;
        if (state == STATE_SEQUENCE) {
            width = int(info->sequence->width);
            height = int(info->sequence->height);
            if (convert)
                mpeg2_convert(decoder, mpeg2convert_rgb32, nullptr);
        }
        if ((state == STATE_SLICE || state == STATE_END) && info->display_fbuf != nullptr) {
            const size_t lumaSize = size_t(width) * height;
            if (convert) {
                pictures.emplace_back(info->display_fbuf->buf[0], info->display_fbuf->buf[0] + lumaSize * 4);
            } else {
                Bytes planes(info->display_fbuf->buf[0], info->display_fbuf->buf[0] + lumaSize);
                planes.insert(planes.end(), info->display_fbuf->buf[1], info->display_fbuf->buf[1] + lumaSize / 4);
                planes.insert(planes.end(), info->display_fbuf->buf[2], info->display_fbuf->buf[2] + lumaSize / 4);
                pictures.push_back(planes);
            }
        }
    }
    mpeg2_close(decoder);
    return pictures;
}

TEST(FrameConvert, MatchesLibmpeg2sOwnConversion)
{
    const Bytes stream = ElementaryVideo();
    int width = 0;
    int height = 0;
    ASSERT_EQ(LibraryAcceleration, 0u);
    const std::vector<Bytes> expected = DecodePictures(stream, true, width, height);
    const std::vector<Bytes> planes = DecodePictures(stream, false, width, height);
    ASSERT_EQ(expected.size(), 25u);
    ASSERT_EQ(planes.size(), expected.size());
    const size_t lumaSize = size_t(width) * height;
    for (size_t picture = 0; picture < planes.size(); ++picture) {
        SCOPED_TRACE(picture);
        Bytes converted(lumaSize * 4, 0xEE);
        const uint8_t* y = planes[picture].data();
        ConvertYUV420ToRGB32(y, y + lumaSize, y + lumaSize + lumaSize / 4, converted.data(), width, height);
        int worst = 0;
        for (size_t i = 0; i < converted.size(); ++i)
            worst = std::max(worst, std::abs(int(converted[i]) - int(expected[picture][i])));
        EXPECT_EQ(worst, 0);
    }
}

TEST(FrameConvert, KnownColours)
{
    struct Case {
        uint8_t y, u, v;
        uint8_t b, g, r;
    };
    for (const Case& test : {Case{16, 128, 128, 0, 0, 0}, Case{235, 128, 128, 255, 255, 255}, Case{0, 128, 128, 0, 0, 0},
             Case{255, 128, 128, 255, 255, 255}, Case{126, 128, 128, 128, 128, 128}, Case{81, 90, 240, 0, 0, 255},
             Case{145, 54, 34, 0, 255, 0}, Case{41, 240, 110, 255, 0, 0}}) {
        const uint8_t y[8] = {test.y, test.y, test.y, test.y, test.y, test.y, test.y, test.y};
        const uint8_t u[4] = {test.u, test.u, test.u, test.u};
        const uint8_t v[4] = {test.v, test.v, test.v, test.v};
        uint8_t out[32];
        ConvertYUV420RowToRGB32(y, u, v, out, 8);
        for (int pixel = 0; pixel < 8; ++pixel) {
            EXPECT_NEAR(out[pixel * 4 + 0], test.b, 2);
            EXPECT_NEAR(out[pixel * 4 + 1], test.g, 2);
            EXPECT_NEAR(out[pixel * 4 + 2], test.r, 2);
            EXPECT_EQ(out[pixel * 4 + 3], 0);
        }
    }
}

TEST(FrameConvert, RowsOfAnyWidthStayInsideTheirBounds)
{
    // Every width around the 8-pixel groups, odd ones included: each pixel
    // equals the same pixel of a wider row, and nothing past the row is touched.
    const Planes wide(64, 2, 7);
    Bytes reference(64 * 4);
    ConvertYUV420RowToRGB32(wide.y.data(), wide.u.data(), wide.v.data(), reference.data(), 64);
    for (int width = 1; width <= 40; ++width) {
        SCOPED_TRACE(width);
        const Bytes y(wide.y.begin(), wide.y.begin() + width);
        const Bytes u(wide.u.begin(), wide.u.begin() + (width + 1) / 2);
        const Bytes v(wide.v.begin(), wide.v.begin() + (width + 1) / 2);
        Bytes out(size_t(width) * 4 + 16, 0xCD);
        ConvertYUV420RowToRGB32(y.data(), u.data(), v.data(), out.data(), width);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + width * 4, reference.begin()));
        EXPECT_TRUE(std::all_of(out.begin() + width * 4, out.end(), [](uint8_t byte) { return byte == 0xCD; }));
    }
}

TEST(FrameConvert, StrideAndRowLimitBoundTheOutput)
{
    struct Case {
        int width, height, stride, limit;
        int rows, pixels;
    };
    for (const Case& test : {Case{64, 576, 0, 100, 100, 64}, Case{64, 20, 0, 0, 20, 64}, Case{60, 20, 300, 0, 20, 60},
             Case{64, 20, 128, 0, 20, 32}, Case{13, 9, 0, 50, 9, 13}, Case{13, 9, 0, -3, 9, 13}}) {
        SCOPED_TRACE(testing::Message() << test.width << "x" << test.height << " stride " << test.stride << " limit " << test.limit);
        const Planes planes(test.width, test.height, 11);
        const int stride = test.stride != 0 ? test.stride : test.width * 4;
        Bytes out(size_t(stride) * test.height + 32, 0xCD);
        ConvertYUV420ToRGB32(planes.y.data(), planes.u.data(), planes.v.data(), out.data(), test.width, test.height, test.stride, test.limit);
        for (int row = 0; row < test.height; ++row) {
            const uint8_t* line = out.data() + size_t(stride) * row;
            Bytes expected(size_t(test.width) * 4);
            ConvertYUV420RowToRGB32(planes.y.data() + size_t(test.width) * row, planes.u.data() + size_t((test.width + 1) / 2) * (row / 2),
                planes.v.data() + size_t((test.width + 1) / 2) * (row / 2), expected.data(), test.width);
            const int written = row < test.rows ? test.pixels * 4 : 0;
            EXPECT_TRUE(std::equal(line, line + written, expected.begin())) << "row " << row;
            EXPECT_TRUE(std::all_of(line + written, line + stride, [](uint8_t byte) { return byte == 0xCD; })) << "row " << row;
        }
    }
}

TEST(FrameConvert, LargeFramesConvertTheSameInParallel)
{
    const Planes planes(1920, 1080, 3);
    Bytes parallel(1920u * 1080u * 4u);
    ConvertYUV420ToRGB32(planes.y.data(), planes.u.data(), planes.v.data(), parallel.data(), 1920, 1080);
    Bytes serial(parallel.size());
    for (int row = 0; row < 1080; ++row)
        ConvertYUV420RowToRGB32(planes.y.data() + 1920u * row, planes.u.data() + 960u * (row / 2), planes.v.data() + 960u * (row / 2),
            serial.data() + 1920u * 4u * row, 1920);
    EXPECT_TRUE(parallel == serial);
}

TEST(FrameConvert, NothingHappensWithoutPlanesOrSize)
{
    const Planes planes(8, 2, 1);
    Bytes out(64, 0xCD);
    ConvertYUV420ToRGB32(nullptr, planes.u.data(), planes.v.data(), out.data(), 8, 2);
    ConvertYUV420ToRGB32(planes.y.data(), planes.u.data(), planes.v.data(), out.data(), 0, 2);
    ConvertYUV420ToRGB32(planes.y.data(), planes.u.data(), planes.v.data(), out.data(), 8, -1);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t byte) { return byte == 0xCD; }));
}

} // namespace
