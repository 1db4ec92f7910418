#include "bfgt/picture/JpegCodec.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A baseline JPEG of any colour space, written by the library directly.
Bytes WriteJpeg(J_COLOR_SPACE space, int components, int width, int height, const Bytes& samples)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

// A smooth 16 x 16 RGB gradient, red, green, blue per pixel.
Bytes Gradient()
{
    Bytes rgb;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            rgb.insert(rgb.end(), {uint8_t(x * 16), uint8_t(y * 16), uint8_t(128)});
    }
    return rgb;
}

struct Decoded {
    bool ok = false;
    int32_t width = 0, height = 0;
    Bytes pixels;
};

Decoded Decode(const Bytes& file)
{
    Decoded result;
    void* pixels = nullptr;
    result.ok = DecodeExact(file, [&](const uint8_t* data, size_t size) {
        return JpegCodec::DecodeMemory(data, size, result.width, result.height, pixels);
    });
    if (result.ok) {
        const uint8_t* p = static_cast<const uint8_t*>(pixels);
        result.pixels.assign(p, p + size_t(result.width) * result.height * 4);
    }
    JpegCodec().FreeBuffer(&pixels);
    return result;
}

// Largest difference between the decoded B, G, R bytes and the RGB samples.
int LargestError(const Bytes& bgra, const Bytes& rgb)
{
    int worst = 0;
    for (size_t i = 0; i * 3 < rgb.size(); ++i) {
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(bgra[i * 4 + 2 - c]) - int(rgb[i * 3 + c])));
    }
    return worst;
}

bool HasMarker(const Bytes& file, uint8_t marker)
{
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == marker)
            return true;
    }
    return false;
}

} // namespace

TEST(JpegCodec, EncodesProgressivelyAndDecodesBack)
{
    const Bytes rgb = Gradient();
    Bytes file;
    ASSERT_TRUE(JpegCodec::EncodeMemory(16, 16, rgb.data(), file));
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    EXPECT_TRUE(HasMarker(file, 0xC2)) << "progressive start of frame";

    const Decoded decoded = Decode(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 16);
    EXPECT_EQ(decoded.height, 16);
    // The library's default 2 x 2 chroma subsampling limits the precision.
    EXPECT_LE(LargestError(decoded.pixels, rgb), 12);
    for (size_t i = 3; i < decoded.pixels.size(); i += 4)
        ASSERT_EQ(decoded.pixels[i], 255);
}

TEST(JpegCodec, DecodesBaselineGreyAndFourComponentFiles)
{
    const Bytes rgb = Gradient();
    const Decoded baseline = Decode(WriteJpeg(JCS_RGB, 3, 16, 16, rgb));
    ASSERT_TRUE(baseline.ok);
    EXPECT_LE(LargestError(baseline.pixels, rgb), 12);

    // Grey files come out with equal red, green and blue.
    const Decoded grey = Decode(WriteJpeg(JCS_GRAYSCALE, 1, 8, 8, Bytes(64, 90)));
    ASSERT_TRUE(grey.ok);
    for (size_t i = 0; i < grey.pixels.size(); i += 4) {
        ASSERT_NEAR(grey.pixels[i], 90, 1);
        ASSERT_EQ(grey.pixels[i + 1], grey.pixels[i]);
        ASSERT_EQ(grey.pixels[i + 2], grey.pixels[i]);
        ASSERT_EQ(grey.pixels[i + 3], 255);
    }

    // With four components the first lands in the alpha byte, the next three
    // in bytes 2, 1, 0.
    Bytes cmyk;
    for (int i = 0; i < 64; ++i)
        cmyk.insert(cmyk.end(), {10, 60, 120, 200});
    const Decoded four = Decode(WriteJpeg(JCS_CMYK, 4, 8, 8, cmyk));
    ASSERT_TRUE(four.ok);
    EXPECT_NEAR(four.pixels[3], 10, 2);
    EXPECT_NEAR(four.pixels[2], 60, 2);
    EXPECT_NEAR(four.pixels[1], 120, 2);
    EXPECT_NEAR(four.pixels[0], 200, 2);
}

TEST(JpegCodec, FileCutShortDecodesWithTheLibraryWarning)
{
    Bytes file = WriteJpeg(JCS_RGB, 3, 16, 16, Gradient());
    file.resize(file.size() - 40);
    LogCapture capture;
    const Decoded decoded = Decode(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 16);
    EXPECT_TRUE(capture.Contains("[*] JpegCodec::Decode ("));
    EXPECT_TRUE(capture.Contains("Premature end of JPEG file"));
}

TEST(JpegCodec, LibraryErrorsFailWithoutEndingTheProgram)
{
    const Bytes good = WriteJpeg(JCS_RGB, 3, 16, 16, Gradient());
    Bytes progressive;
    ASSERT_TRUE(JpegCodec::EncodeMemory(16, 16, Gradient().data(), progressive));

    // The second start of scan of the progressive file names a component the frame lacks.
    Bytes badLaterScan = progressive;
    size_t scans = 0;
    for (size_t i = 0; i + 5 < badLaterScan.size(); ++i) {
        if (badLaterScan[i] == 0xFF && badLaterScan[i + 1] == 0xDA && ++scans == 2) {
            badLaterScan[i + 5] = 0x77;
            break;
        }
    }
    ASSERT_EQ(scans, 2u);

    Bytes badTable = good;
    for (size_t i = 0; i + 4 < badTable.size(); ++i) {
        if (badTable[i] == 0xFF && badTable[i + 1] == 0xDB) {
            badTable[i + 4] = 0x0F; // quantisation table 15
            break;
        }
    }

    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"start of image only", {0xFF, 0xD8}},
        {"garbage after the start", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x12, 0x34, 0x56}},
        {"bad quantisation table", badTable},
        {"bad component in a later scan", badLaterScan},
        {"header only", Bytes(good.begin(), good.begin() + 200)},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        EXPECT_FALSE(Decode(c.file).ok) << c.name;
        EXPECT_TRUE(capture.Contains("[!] JpegCodec::Decode (")) << c.name;
    }

    LogCapture quiet;
    EXPECT_FALSE(Decode({0x89, 'P', 'N', 'G'}).ok);
    EXPECT_FALSE(Decode({0xFF}).ok);
    EXPECT_TRUE(quiet.lines.empty());
}

TEST(JpegCodec, SizesPastThePictureLimitAreRefusedBeforeDecoding)
{
    const Bytes file = WriteJpeg(JCS_RGB, 3, 16, 16, Gradient());
    const uint64_t previous = zPicture::SetBufferLimit(16 * 16 * 4 - 1);
    LogCapture capture;
    const bool decoded = Decode(file).ok;
    zPicture::SetBufferLimit(previous);
    EXPECT_FALSE(decoded);
    EXPECT_TRUE(capture.Contains("JPEG picture too large (16x16)."));
}

TEST(JpegCodec, EncodeRefusesBadPicturesAndWritesThroughTheFileSystem)
{
    LogCapture capture;
    JpegCodec codec;
    const Bytes rgb = Gradient();
    Bytes file;
    EXPECT_FALSE(JpegCodec::EncodeMemory(0, 16, rgb.data(), file));
    EXPECT_FALSE(JpegCodec::EncodeMemory(16, 16, nullptr, file));
    EXPECT_FALSE(JpegCodec::EncodeMemory(70000, 1, rgb.data(), file));
    EXPECT_TRUE(capture.Contains("Cannot encode a picture of 0x16 pixels."));

    TempDir dir;
    const std::string path = dir.Path("out.jpg");
    ASSERT_TRUE(codec.Encode(path.c_str(), 16, 16, rgb.data()));
    int32_t width = 0, height = 0;
    void* pixels = nullptr;
    ASSERT_TRUE(codec.Decode(path.c_str(), width, height, pixels));
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    EXPECT_TRUE(codec.FreeBuffer(&pixels));
    EXPECT_EQ(pixels, nullptr);

    const std::string missing = dir.Path("missing/out.jpg");
    EXPECT_FALSE(codec.Encode(missing.c_str(), 16, 16, rgb.data()));
    EXPECT_TRUE(capture.Contains("Cannot write to '" + missing + "'."));
    EXPECT_FALSE(codec.Decode(missing.c_str(), width, height, pixels));
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(codec.GetName(), "Jpeglib");
    EXPECT_EQ(codec.flags, 43);
}
