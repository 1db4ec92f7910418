#include "bfgt/picture/HdrCodec.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hdr(const std::string& header, const Bytes& data)
{
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

struct Decoded {
    bool ok = false;
    int32_t width = 0, height = 0;
    std::vector<float> pixels;
};

Decoded Decode(const Bytes& file)
{
    Decoded result;
    void* pixels = nullptr;
    result.ok = DecodeExact(file, [&](const uint8_t* data, size_t size) {
        return HdrCodec::DecodeMemory(data, size, result.width, result.height, pixels);
    });
    if (result.ok) {
        const float* p = static_cast<const float*>(pixels);
        result.pixels.assign(p, p + size_t(result.width) * result.height * 3);
    }
    HdrCodec().FreeBuffer(&pixels);
    return result;
}

const std::string Radiance = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";

// One run-length scanline of 8 pixels: red a run, green literals, blue a run
// and literals, exponent a run of 137 (a factor of 2).
Bytes RunLengthRow()
{
    return {2,    2,    0,    8,                                             // scanline header
            0x88, 10,                                                      // red: run of 8
            8,    0,    1,    2,   3, 4, 5, 6, 7,                           // green: 8 literals
            0x84, 5,    4,    100, 101, 102, 103,                           // blue: run of 4, 4 literals
            0x88, 137};                                                     // exponent: run of 8
}

std::vector<float> RunLengthRowFloats()
{
    std::vector<float> row;
    const float blue[8] = {5, 5, 5, 5, 100, 101, 102, 103};
    for (int x = 0; x < 8; ++x)
        row.insert(row.end(), {20.0f, float(2 * x), 2 * blue[x]});
    return row;
}

} // namespace

TEST(HdrCodec, DecodesFlatAndRunLengthScanlines)
{
    const std::vector<float> rle = RunLengthRowFloats();
    std::vector<float> rleThenFlat = rle;
    for (int x = 0; x < 8; ++x)
        rleThenFlat.insert(rleThenFlat.end(), {1, 2, 3});
    Bytes flatRow;
    for (int x = 0; x < 8; ++x)
        flatRow.insert(flatRow.end(), {1, 2, 3, 136});

    struct Case {
        const char* name;
        Bytes file;
        int32_t width, height;
        std::vector<float> pixels;
    } cases[] = {
        {"flat, exponents 136, 137 and 0", Hdr(Radiance + "-Y 2 +X 3\n",
                                               {128, 64, 32, 136, 128, 64, 32, 137, 9, 9, 9, 0, 0, 0, 0, 0, 1, 1, 1, 128,
                                                255, 0, 0, 138}),
         3, 2, {128, 64, 32, 256, 128, 64, 0, 0, 0, 0, 0, 0, 1 / 256.0f, 1 / 256.0f, 1 / 256.0f, 1020, 0, 0}},
        {"run-length", Hdr(Radiance + "-Y 1 +X 8\n", RunLengthRow()), 8, 1, rle},
        {"run-length, then a flat scanline", Hdr(Radiance + "-Y 2 +X 8\n", [&] {
             Bytes data = RunLengthRow();
             data.insert(data.end(), flatRow.begin(), flatRow.end());
             return data;
         }()),
         8, 2, rleThenFlat},
        // Widths below 8 are always flat, whatever the bytes look like.
        {"width 4 read flat", Hdr(Radiance + "-Y 1 +X 4\n", {2, 2, 0, 4, 2, 2, 0, 136, 0, 0, 0, 0, 4, 4, 4, 136}), 4, 1,
         {std::ldexp(2.0f, -132), std::ldexp(2.0f, -132), 0, 2, 2, 0, 0, 0, 0, 4, 4, 4}},
        {"header lines of every kind, no marker", Hdr("GAMMA=2.2\nEXPOSURE=0.5\nSOFTWARE=" + std::string(200, 'x') +
                                                          "\n\n-Y 1 +X 1\n",
                                                      {1, 2, 3, 136}),
         1, 1, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        const Decoded decoded = Decode(c.file);
        ASSERT_TRUE(decoded.ok) << c.name;
        EXPECT_EQ(decoded.width, c.width) << c.name;
        EXPECT_EQ(decoded.height, c.height) << c.name;
        EXPECT_EQ(decoded.pixels, c.pixels) << c.name;
        EXPECT_TRUE(capture.lines.empty()) << c.name;
    }
}

TEST(HdrCodec, MalformedFilesFailWithALogLine)
{
    const std::string corrupt = "Radiance scanlines are truncated or corrupt.";
    const std::string badSize = "pixels is invalid or larger than its file.";
    auto rowWith = [](size_t index, uint8_t value) {
        Bytes row = RunLengthRow();
        row[index] = value;
        return row;
    };
    struct Case {
        const char* name;
        Bytes file;
        std::string line;
    } cases[] = {
        {"scanline width not the picture's", Hdr(Radiance + "-Y 1 +X 8\n", rowWith(3, 9)), corrupt},
        {"count 0", Hdr(Radiance + "-Y 1 +X 8\n", rowWith(4, 0x80)), corrupt},
        {"run past the plane", Hdr(Radiance + "-Y 1 +X 8\n", rowWith(4, 0x89)), corrupt},
        {"literals past the plane", Hdr(Radiance + "-Y 1 +X 8\n", rowWith(6, 9)), corrupt},
        {"run-length data cut", Hdr(Radiance + "-Y 1 +X 8\n", [] {
             Bytes row = RunLengthRow();
             row.pop_back();
             return row;
         }()),
         corrupt},
        {"flat data cut", Hdr(Radiance + "-Y 2 +X 3\n", Bytes(23, 1)), corrupt},
        {"second scanline missing", Hdr(Radiance + "-Y 2 +X 8\n", RunLengthRow()), corrupt},
        {"huge size", Hdr(Radiance + "-Y 100000 +X 100000\n", Bytes(64, 1)), badSize},
        {"zero height", Hdr(Radiance + "-Y 0 +X 4\n", Bytes(64, 1)), badSize},
        {"negative width", Hdr(Radiance + "-Y 1 +X -4\n", Bytes(64, 1)), badSize},
        {"size past int", Hdr(Radiance + "-Y 99999999999 +X 1\n", Bytes(64, 1)), "resolution line"},
        {"other orientation", Hdr(Radiance + "+Y 1 +X 1\n", {1, 2, 3, 4}), "resolution line"},
        {"width missing", Hdr(Radiance + "-Y 1\n", {1, 2, 3, 4}), "resolution line"},
        {"no resolution line", Hdr(Radiance, {}), "resolution line"},
        {"header never ends", Hdr("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n", {}), "header ends before its resolution line"},
        {"marker only", Hdr("#?RADIANCE", {}), "header ends before its resolution line"},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        EXPECT_FALSE(Decode(c.file).ok) << c.name;
        ASSERT_EQ(capture.lines.size(), 1u) << c.name;
        EXPECT_NE(capture.lines[0].find("[!] HdrCodec::Decode ("), std::string::npos) << c.name;
        EXPECT_NE(capture.lines[0].find(c.line), std::string::npos) << c.name << ": " << capture.lines[0];
    }
}

TEST(HdrCodec, OtherFilesFailQuietly)
{
    const Bytes others[] = {
        {},
        {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0},
        {'B', 'M', '\n', '\n', 1, 2, 3},
        Bytes(300, 'a'),
    };
    for (const Bytes& file : others) {
        LogCapture capture;
        EXPECT_FALSE(Decode(file).ok);
        EXPECT_TRUE(capture.lines.empty());
    }
}

TEST(HdrCodec, DecodesAFileThroughTheFileSystem)
{
    TempDir dir;
    const std::string path = dir.Write("sky.hdr", AsString(Hdr(Radiance + "-Y 1 +X 1\n", {1, 2, 3, 136})));
    HdrCodec codec;
    int32_t width = 0, height = 0;
    void* pixels = nullptr;
    ASSERT_TRUE(codec.Decode(path.c_str(), width, height, pixels));
    EXPECT_EQ(static_cast<float*>(pixels)[2], 3.0f);
    EXPECT_TRUE(codec.FreeBuffer(&pixels));
    EXPECT_EQ(pixels, nullptr);
    EXPECT_FALSE(codec.Decode(dir.Path("none.hdr").c_str(), width, height, pixels));
    EXPECT_FALSE(codec.Encode(path.c_str(), 1, 1, pixels));
    EXPECT_EQ(codec.GetName(), "HDR");
    EXPECT_EQ(codec.flags & zPictureIOCodec::FlagFloatOutput, zPictureIOCodec::FlagFloatOutput);
}
