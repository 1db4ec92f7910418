#include "ResourceTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include "core/resource/TextureStreamInterface.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "dav/core/dAV_Stream.h"
#include "dav/decoder/dAV_FrameConvert.h"
#include "dav/decoder/dAV_MPEGVideoDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The video of the fixture: 64x48 pictures, of which the decoder announces the top 40 rows.
constexpr int32_t FrameWidth = 64;
constexpr int32_t FrameHeight = 40;
constexpr int FrameCount = 25;

std::string MediaPath(const char* name)
{
    return std::string(TAVRIN_TEST_DATA) + "/media/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + count);
        std::fclose(file);
    }
    return bytes;
}

// Entries of a /proc directory: open files or threads of this process.
size_t CountEntries(const char* directory)
{
    size_t count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        ++count;
    return count;
}

class UploadRecordingRenderer : public ResourceRecordingRenderer {
public:
    struct Upload {
        zTexture* texture;
        int32_t width, height, x, y;
        std::vector<uint8_t> pixels;
    };

    using ResourceRecordingRenderer::ResourceRecordingRenderer;

    void UpdateTexture(zTexture* texture, const uint8_t* pixels, int32_t width, int32_t height, int32_t x,
                       int32_t y) override
    {
        uploads.push_back({texture, width, height, x, y,
                           std::vector<uint8_t>(pixels, pixels + size_t(width) * size_t(height) * 4)});
    }

    std::vector<Upload> uploads;
};

class TextureStreamTest : public testing::Test {
protected:
    zTexture* OpenVideo()
    {
        zTexture* texture = zTexture::New(&core, "video", 0, 0, false, 0.5f);
        EXPECT_NE(texture, nullptr);
        if (texture != nullptr) {
            EXPECT_TRUE(texture->SetupStreamInterface(MediaPath("av_mpeg1.mpg").c_str()));
        }
        return texture;
    }

    static std::vector<uint8_t> PictureBytes(const zTexture* texture)
    {
        const zPicture& picture = texture->picture;
        if (!picture.HasBuffer())
            return {};
        return std::vector<uint8_t>(picture.pixels,
                                    picture.pixels + size_t(picture.width) * size_t(picture.height) * 4);
    }

    ResourceGlobalsGuard globals;
    Tavrin core;
    UploadRecordingRenderer renderer{&core, true};
};

TEST_F(TextureStreamTest, TheFirstFrameLandsInThePictureWithinToleranceOfAReferenceDecode)
{
    const std::vector<uint8_t> reference = ReadBytes(MediaPath("av_mpeg1_frame0.rgb"));
    ASSERT_EQ(reference.size(), 64u * 48u * 3u);
    LogCapture capture;
    zTexture* texture = OpenVideo();
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(capture.Contains("Open texture stream interface: '" + MediaPath("av_mpeg1.mpg") + "'"));
    EXPECT_TRUE(capture.Contains("TextureStreamInterface::SetFormat(64, 40)."));
    EXPECT_NE(texture->flags & zTexture::FlagDynamic, 0u);
    EXPECT_EQ(renderer.CountSetups(texture), 1);
    EXPECT_EQ(std::count(renderer.frees.begin(), renderer.frees.end(), texture), 1);

    ASSERT_TRUE(texture->picture.HasBuffer());
    ASSERT_EQ(texture->picture.width, FrameWidth);
    ASSERT_EQ(texture->picture.height, FrameHeight);
    EXPECT_FALSE(texture->picture.format.IsDifferent(PixelFormatARGB32));
    int worst = 0;
    long total = 0;
    for (size_t pixel = 0; pixel < size_t(FrameWidth) * FrameHeight; ++pixel) {
        // Both are R, G, B here: the interface swaps the converter's B, G, R.
        for (size_t channel = 0; channel < 3; ++channel) {
            const int difference =
                std::abs(int(texture->picture.pixels[pixel * 4 + channel]) - int(reference[pixel * 3 + channel]));
            worst = std::max(worst, difference);
            total += difference;
        }
    }
    EXPECT_LE(worst, 8);
    EXPECT_LE(double(total) / (FrameWidth * FrameHeight * 3.0), 2.0);

    // Written at the open, shown at the first update.
    EXPECT_TRUE(renderer.uploads.empty());
    texture->UpdateStream(400);
    ASSERT_EQ(renderer.uploads.size(), 1u);
    const UploadRecordingRenderer::Upload& upload = renderer.uploads[0];
    EXPECT_EQ(upload.texture, texture);
    EXPECT_EQ(upload.width, FrameWidth);
    EXPECT_EQ(upload.height, FrameHeight);
    EXPECT_EQ(upload.x, 0);
    EXPECT_EQ(upload.y, 0);
    EXPECT_EQ(upload.pixels, PictureBytes(texture));
}

TEST_F(TextureStreamTest, FramesAdvanceByFrameTime)
{
    struct Step {
        int32_t delta;
        size_t framesShown; // 25 frames per second: one every 400 ticks
    };
    const Step steps[] = {
        {400, 1}, {200, 1}, {199, 0}, {1, 0}, {1, 1},
        // Late updates catch up by at most 1000 ticks.
        {5000, 2},
        {0, 0}, {-400, 0},
    };
    zTexture* texture = OpenVideo();
    ASSERT_NE(texture, nullptr);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.delta);
        const size_t before = renderer.uploads.size();
        texture->UpdateStream(step.delta);
        EXPECT_EQ(renderer.uploads.size() - before, step.framesShown);
    }
    ASSERT_EQ(renderer.uploads.size(), 5u);
    // Each upload is the next decoded picture, and the picture holds the last one.
    for (size_t i = 1; i < renderer.uploads.size(); ++i)
        EXPECT_NE(renderer.uploads[i].pixels, renderer.uploads[i - 1].pixels) << i;
    EXPECT_EQ(renderer.uploads.back().pixels, PictureBytes(texture));
}

TEST_F(TextureStreamTest, AnEndedVideoRewindsAndPlaysAgainWithoutReallocating)
{
    LogCapture capture;
    zTexture* texture = OpenVideo();
    ASSERT_NE(texture, nullptr);
    const uint8_t* buffer = texture->picture.pixels;
    const dAV_Stream* stream = texture->streamInterface->content;
    int updates = 0;
    while (stream->GetState() == dAV_Stream::Playing && updates < 1000) {
        texture->UpdateStream(400);
        ++updates;
    }
    ASSERT_EQ(stream->GetState(), dAV_Stream::Finished);
    // Every frame once; the update that finds the end shows the last picture again.
    ASSERT_EQ(renderer.uploads.size(), size_t(FrameCount) + 1);
    EXPECT_EQ(renderer.uploads[FrameCount].pixels, renderer.uploads[FrameCount - 1].pixels);
    EXPECT_NE(renderer.uploads[FrameCount - 1].pixels, renderer.uploads[FrameCount - 2].pixels);

    // The next update only rewinds; the one after shows the first picture again.
    texture->UpdateStream(400);
    EXPECT_EQ(stream->GetState(), dAV_Stream::Playing);
    EXPECT_EQ(renderer.uploads.size(), size_t(FrameCount) + 1);
    texture->UpdateStream(400);
    ASSERT_EQ(renderer.uploads.size(), size_t(FrameCount) + 2);
    EXPECT_EQ(renderer.uploads.back().pixels, renderer.uploads.front().pixels);

    // The repeated sequence headers announce the same format: one allocation, one line.
    EXPECT_EQ(texture->picture.pixels, buffer);
    EXPECT_EQ(renderer.CountSetups(texture), 1);
    EXPECT_EQ(std::count_if(capture.lines.begin(), capture.lines.end(),
                            [](const std::string& line) {
                                return line.find("TextureStreamInterface::SetFormat(") != std::string::npos;
                            }),
              1);
}

TEST_F(TextureStreamTest, APausedStreamKeepsShowingItsLastFrame)
{
    zTexture* texture = OpenVideo();
    ASSERT_NE(texture, nullptr);
    texture->UpdateStream(400);
    const std::vector<uint8_t> shown = PictureBytes(texture);
    texture->UpdateStream(400);
    const std::vector<uint8_t> second = PictureBytes(texture);

    texture->SetStreamState(zTexture::StreamPaused);
    for (int i = 0; i < 10; ++i)
        texture->UpdateStream(400);
    EXPECT_EQ(renderer.uploads.size(), 2u);
    EXPECT_EQ(PictureBytes(texture), second);
    EXPECT_NE(second, shown);

    // Any other state plays on from where it stopped.
    texture->SetStreamState(2);
    texture->UpdateStream(400);
    ASSERT_EQ(renderer.uploads.size(), 3u);
    EXPECT_NE(renderer.uploads.back().pixels, second);
}

TEST_F(TextureStreamTest, FramesForAPictureOfAnotherSizeAreDropped)
{
    struct Case {
        const char* name;
        std::function<void(zPicture&)> change;
    };
    const Case cases[] = {
        {"released by the renderer", [](zPicture& picture) { picture.Free(); }},
        {"smaller", [](zPicture& picture) { picture.AllocAs(8, 8, PixelFormatARGB32); }},
        {"another depth", [](zPicture& picture) { picture.AllocAs(FrameWidth, FrameHeight, PixelFormatRGB24); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zTexture* texture = OpenVideo();
        ASSERT_NE(texture, nullptr);
        c.change(texture->picture);
        const std::vector<uint8_t> before = texture->picture.HasBuffer()
            ? std::vector<uint8_t>(texture->picture.pixels,
                                   texture->picture.pixels + size_t(texture->picture.width) *
                                                                 size_t(texture->picture.height) *
                                                                 size_t(texture->picture.format.BytesPerPixel()))
            : std::vector<uint8_t>();
        // Frames keep their pace though none is written.
        for (int i = 0; i < 3; ++i)
            texture->UpdateStream(400);
        const std::vector<uint8_t> after = texture->picture.HasBuffer()
            ? std::vector<uint8_t>(texture->picture.pixels, texture->picture.pixels + before.size())
            : std::vector<uint8_t>();
        EXPECT_EQ(after, before);
        // Nothing of the stream is in the picture, so nothing is uploaded.
        EXPECT_TRUE(renderer.uploads.empty());
        EXPECT_EQ(texture->streamInterface->content->GetState(), dAV_Stream::Playing);
        delete texture;
    }
}

TEST_F(TextureStreamTest, AFailedPictureReallocationDropsEveryFrame)
{
    zTexture* texture = zTexture::New(&core, "video", 0, 0, false, 0.5f);
    ASSERT_NE(texture, nullptr);
    ASSERT_TRUE(texture->picture.AllocAs(2, 2, PixelFormatARGB32));
    const uint64_t limit = zPicture::SetBufferLimit(64);
    LogCapture capture;
    const bool opened = texture->SetupStreamInterface(MediaPath("av_mpeg1.mpg").c_str());
    for (int i = 0; i < 5; ++i)
        texture->UpdateStream(400);
    zPicture::SetBufferLimit(limit);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(capture.Contains("Failed to allocate picture buffer (64x40@32bpp)."));
    EXPECT_FALSE(texture->picture.HasBuffer());
    EXPECT_TRUE(renderer.uploads.empty());
}

TEST_F(TextureStreamTest, StreamsThatCannotOpenLeaveAnInterfaceThatDoesNothing)
{
    TempDir dir;
    const std::string garbage = dir.Write("garbage.mpg", std::string(3000, '\x5a'));
    const std::string truncated = dir.Write("truncated.mpg", std::string(20, '\0'));
    const std::string missing = dir.Path("missing.mpg");
    for (const std::string& path : {garbage, truncated, missing}) {
        SCOPED_TRACE(path);
        zTexture* texture = zTexture::New(&core, "video", 0, 0, false, 0.5f);
        ASSERT_NE(texture, nullptr);
        LogCapture capture;
        EXPECT_FALSE(texture->SetupStreamInterface(path.c_str()));
        EXPECT_TRUE(capture.Contains("Failed to open content stream."));
        ASSERT_NE(texture->streamInterface, nullptr);
        EXPECT_EQ(texture->streamInterface->content->GetState(), dAV_Stream::Closed);
        for (int i = 0; i < 3; ++i)
            texture->UpdateStream(400);
        EXPECT_FALSE(texture->picture.HasBuffer());
        EXPECT_EQ(texture->flags & zTexture::FlagDynamic, 0u);
        delete texture;
    }
    EXPECT_TRUE(renderer.uploads.empty());
}

TEST_F(TextureStreamTest, DeletingVideoTexturesClosesTheirFilesAndLeavesNoThreads)
{
    if (CountEntries("/proc/self/fd") == 0)
        GTEST_SKIP() << "no /proc to count open files and threads";
    // The first conversion may start the frame converter's worker pool, which stays.
    delete OpenVideo();
    const size_t files = CountEntries("/proc/self/fd");
    const size_t threads = CountEntries("/proc/self/task");

    // Deleted mid-play, after a replaced stream, and with the core's resources.
    zTexture* playing = OpenVideo();
    ASSERT_NE(playing, nullptr);
    playing->UpdateStream(400);
    EXPECT_GT(CountEntries("/proc/self/fd"), files);
    delete playing;
    EXPECT_EQ(CountEntries("/proc/self/fd"), files);

    zTexture* replaced = OpenVideo();
    ASSERT_NE(replaced, nullptr);
    const size_t oneStream = CountEntries("/proc/self/fd");
    ASSERT_TRUE(replaced->SetupStreamInterface(MediaPath("av_mpeg2.vob").c_str()));
    EXPECT_EQ(CountEntries("/proc/self/fd"), oneStream);
    replaced->UpdateStream(400);

    ASSERT_NE(OpenVideo(), nullptr);
    core.DeleteAllResources();
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
    EXPECT_EQ(CountEntries("/proc/self/fd"), files);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

TEST_F(TextureStreamTest, TheCoreOpensMpgContentAndAdvancesItsStreams)
{
    zTexture* texture = core.LoadTexture(MediaPath("av_mpeg1.mpg").c_str(), true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->streamInterface, nullptr);
    EXPECT_EQ(texture->picture.width, FrameWidth);
    EXPECT_TRUE(renderer.contentRequests.empty());
    core.UpdateTextureStreams(400);
    ASSERT_EQ(renderer.uploads.size(), 1u);
    EXPECT_EQ(renderer.uploads[0].texture, texture);
}

TEST_F(TextureStreamTest, VideoTheDecoderCannotHoldLeavesItsTextureEmpty)
{
    // Loaded as textures, as a material would: a top field of 16 coded lines,
    // too short for libmpeg2's macroblocks, and a picture wider than a
    // texture can be. libmpeg2's blocks get guard zones, checked when the
    // stream closes: a write outside them ends the test.
    struct GuardedAllocation {
        GuardedAllocation() { dAV_MPEGVideoDecoder::InstallGuardedAllocation(); }
        ~GuardedAllocation() { dAV_MPEGVideoDecoder::InstallClearedAllocation(); }
    } guarded;
    struct Case {
        const char* file;
        const char* refusal;
    };
    const Case cases[] = {
        {"field_16_lines.mpg", "Refused a 64x16 video sequence: fewer than 32 lines."},
        {"wide_4112.mpg", "Refused a 4112x32 video sequence: larger than 4096 pixels on a side."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        LogCapture capture;
        zTexture* texture = core.LoadTexture(MediaPath(c.file).c_str(), true, true, 0.5f, false);
        ASSERT_NE(texture, nullptr);
        ASSERT_NE(texture->streamInterface, nullptr);
        for (int frame = 0; frame < 10; ++frame)
            core.UpdateTextureStreams(400);
        EXPECT_TRUE(capture.Contains(c.refusal));
        EXPECT_FALSE(capture.Contains("TextureStreamInterface::SetFormat("));
        EXPECT_FALSE(texture->picture.HasBuffer());
        EXPECT_TRUE(renderer.uploads.empty());
        delete texture;
    }
}

class TextureStreamDriverTest : public TextureStreamTest {
protected:
    void SetUp() override
    {
        texture = zTexture::New(&core, "frames", 0, 0, false, 0.5f);
        ASSERT_NE(texture, nullptr);
        driver = std::make_unique<TextureStreamInterface>(texture);
    }

    zTexture* texture = nullptr;
    std::unique_ptr<TextureStreamInterface> driver;
};

TEST_F(TextureStreamDriverTest, PlanarRGBFramesFillTheFirstThreeBytesOfEachPixel)
{
    ASSERT_TRUE(driver->SetFormat({dAV_FrameFormat::PlanarRGB, 3, 2, 3, 2}));
    ASSERT_TRUE(texture->picture.HasBuffer());
    std::fill(texture->picture.pixels, texture->picture.pixels + 24, uint8_t(0xAA));
    uint8_t red[6] = {1, 2, 3, 4, 5, 6};
    uint8_t green[6] = {11, 12, 13, 14, 15, 16};
    uint8_t blue[6] = {21, 22, 23, 24, 25, 26};
    uint8_t* const planes[3] = {red, green, blue};
    EXPECT_FALSE(driver->HasFrame());
    ASSERT_TRUE(driver->WriteFrame(planes, 0));
    EXPECT_TRUE(driver->HasFrame());
    EXPECT_FALSE(driver->NoFrame());
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texture->picture.pixels[i * 4 + 0], red[i]);
        EXPECT_EQ(texture->picture.pixels[i * 4 + 1], green[i]);
        EXPECT_EQ(texture->picture.pixels[i * 4 + 2], blue[i]);
        EXPECT_EQ(texture->picture.pixels[i * 4 + 3], 0xAA);
    }
    driver->ClearFrame();
    EXPECT_TRUE(driver->NoFrame());
}

TEST_F(TextureStreamDriverTest, YUVFramesAreConvertedWithRedFirst)
{
    // Widths that are not a multiple of 8 must not spill past their rows.
    for (int32_t width : {16, 6}) {
        SCOPED_TRACE(width);
        const int32_t height = 4;
        const int32_t chroma = (width + 1) / 2;
        ASSERT_TRUE(driver->SetFormat({dAV_FrameFormat::YUV420, width, height, chroma, height / 2}));
        std::vector<uint8_t> y(size_t(width) * height), u(size_t(chroma) * 2), v(size_t(chroma) * 2);
        for (size_t i = 0; i < y.size(); ++i)
            y[i] = uint8_t(16 + i * 7);
        for (size_t i = 0; i < u.size(); ++i) {
            u[i] = uint8_t(60 + i * 13);
            v[i] = uint8_t(200 - i * 11);
        }
        uint8_t* const planes[3] = {y.data(), u.data(), v.data()};
        ASSERT_TRUE(driver->WriteFrame(planes, 0));
        ASSERT_EQ(texture->picture.width, width);
        for (int32_t row = 0; row < height; ++row) {
            std::vector<uint8_t> expected(size_t(width) * 4);
            ConvertYUV420RowToRGB32(&y[size_t(row) * width], &u[size_t(row / 2) * chroma], &v[size_t(row / 2) * chroma],
                                    expected.data(), width);
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* pixel = texture->picture.pixels + (size_t(row) * width + x) * 4;
                const uint8_t* bgr = &expected[size_t(x) * 4];
                ASSERT_EQ(pixel[0], bgr[2]) << row << "," << x;
                ASSERT_EQ(pixel[1], bgr[1]) << row << "," << x;
                ASSERT_EQ(pixel[2], bgr[0]) << row << "," << x;
            }
        }
    }
}

TEST_F(TextureStreamDriverTest, FramesThatCannotBeReadSafelyAreDroppedButStillCount)
{
    struct Case {
        const char* name;
        dAV_FrameFormat format;
    };
    const Case cases[] = {
        {"unknown kind", {7, 4, 4, 2, 2}},
        {"chroma narrower than the converter reads", {dAV_FrameFormat::YUV420, 4, 4, 1, 2}},
        {"chroma shorter than the converter reads", {dAV_FrameFormat::YUV420, 4, 4, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(driver->SetFormat(c.format));
        ASSERT_TRUE(texture->picture.HasBuffer());
        std::fill(texture->picture.pixels, texture->picture.pixels + 64, uint8_t(0x33));
        uint8_t luma[16] = {}, cb[2] = {}, cr[2] = {};
        uint8_t* const planes[3] = {luma, cb, cr};
        driver->ClearFrame();
        ASSERT_TRUE(driver->WriteFrame(planes, 0));
        EXPECT_TRUE(driver->HasFrame());
        EXPECT_TRUE(std::all_of(texture->picture.pixels, texture->picture.pixels + 64,
                                [](uint8_t b) { return b == 0x33; }));
    }
}

TEST_F(TextureStreamDriverTest, APictureReallocatedInAnotherFormatTakesNoFramesAndIsNotUploaded)
{
    // Scripts can reload or reallocate a video texture's picture: frames are
    // ARGB words, which only an ARGB picture of the announced size can hold.
    struct Case {
        const char* name;
        zPixelFormat format;
    };
    const Case cases[] = {
        {"24 bits", PixelFormatBGR24},
        {"32 bits, red first", PixelFormatABGR32},
        {"floats", PixelFormatRGBFloat},
    };
    uint8_t r[2] = {9, 8}, g[2] = {7, 6}, b[2] = {5, 4};
    uint8_t* const planes[3] = {r, g, b};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(driver->SetFormat({dAV_FrameFormat::PlanarRGB, 2, 1, 2, 1}));
        ASSERT_TRUE(texture->picture.AllocAs(2, 1, c.format));
        const size_t bytes = size_t(c.format.BytesPerPixel()) * 2;
        std::fill(texture->picture.pixels, texture->picture.pixels + bytes, uint8_t(0x33));
        driver->WriteFrame(planes, 0);
        EXPECT_TRUE(driver->HasFrame());
        EXPECT_TRUE(std::all_of(texture->picture.pixels, texture->picture.pixels + bytes,
                                [](uint8_t byte) { return byte == 0x33; }));
        driver->PresentFrame();
        EXPECT_TRUE(renderer.uploads.empty());
    }
}

TEST_F(TextureStreamDriverTest, PresentingUploadsThePictureAndClearsTheFrame)
{
    ASSERT_TRUE(driver->SetFormat({dAV_FrameFormat::PlanarRGB, 2, 1, 2, 1}));
    uint8_t r[2] = {9, 8}, g[2] = {7, 6}, b[2] = {5, 4};
    uint8_t* const planes[3] = {r, g, b};
    driver->WriteFrame(planes, 0);
    ASSERT_TRUE(driver->PresentFrame());
    EXPECT_FALSE(driver->HasFrame());
    ASSERT_EQ(renderer.uploads.size(), 1u);
    EXPECT_EQ(renderer.uploads[0].width, 2);
    EXPECT_EQ(renderer.uploads[0].height, 1);
    EXPECT_EQ(renderer.uploads[0].pixels, (std::vector<uint8_t>{9, 7, 5, 0, 8, 6, 4, 0}));
}

} // namespace
