#include "bfgt/picture/zPictureIO.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct BmpHeader {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t depth = 24;
    uint32_t headerSize = 40;
    uint32_t compression = 0;
};

// A file with the given header, the colour table (if any) right after it and
// then the pixel data.
Bytes Bmp(const BmpHeader& h, const Bytes& pixels, const Bytes& table = {})
{
    Bytes file{'B', 'M'};
    AppendU32(file, 0); // file size, not read
    AppendU32(file, 0);
    const uint32_t offset = 14 + std::max<uint32_t>(h.headerSize, 40) + uint32_t(table.size());
    AppendU32(file, offset);
    AppendU32(file, h.headerSize);
    if (h.headerSize == 40) {
        AppendU32(file, uint32_t(h.width));
        AppendU32(file, uint32_t(h.height));
        AppendU16(file, 1);
        AppendU16(file, h.depth);
        AppendU32(file, h.compression);
    } else {
        AppendU16(file, uint32_t(h.width));
        AppendU16(file, uint32_t(h.height));
        AppendU16(file, 1);
        AppendU16(file, h.depth);
        AppendU32(file, 0);
        AppendU32(file, h.compression);
    }
    file.resize(14 + std::max<uint32_t>(h.headerSize, 40), 0);
    file.insert(file.end(), table.begin(), table.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

bool DecodeBmp(const Bytes& file, zPicture& picture)
{
    return DecodeExact(file, [&](const uint8_t* data, size_t size) { return lowlevel_bmp_decode(data, size, picture); });
}

} // namespace

TEST(BmpLoad, DecodesEachDepthIntoRGB24)
{
    Bytes table;
    for (int i = 0; i < 256; ++i)
        table.insert(table.end(), {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2), 0x77});
    Bytes bitFields = Bmp({1, 1, 32, 40, 3}, {});
    bitFields.resize(54);
    AppendU32(bitFields, 0x00FF0000);
    AppendU32(bitFields, 0x0000FF00);
    AppendU32(bitFields, 0x000000FF);
    bitFields[10] = uint8_t(bitFields.size());
    bitFields.insert(bitFields.end(), {7, 8, 9, 0});

    struct Case {
        const char* name;
        Bytes file;
        int32_t width, height;
        Bytes pixels; // B, G, R, top row first
    } cases[] = {
        {"24-bit row with filler", Bmp({3, 1, 24}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}), 3, 1,
         {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"24-bit bottom-up", Bmp({1, 2, 24}, {1, 2, 3, 0, 4, 5, 6, 0}), 1, 2, {4, 5, 6, 1, 2, 3}},
        {"24-bit last row without filler", Bmp({1, 2, 24}, {1, 2, 3, 0, 4, 5, 6}), 1, 2, {4, 5, 6, 1, 2, 3}},
        {"32-bit", Bmp({2, 1, 32}, {1, 2, 3, 4, 5, 6, 7, 8}), 2, 1, {1, 2, 3, 5, 6, 7}},
        {"32-bit plain bit fields", bitFields, 1, 1, {7, 8, 9}},
        {"8-bit palettized", Bmp({2, 2, 8}, {5, 6, 0, 0, 200, 255, 0, 0}, table), 2, 2, {200, 201, 202, 255, 0, 1, 5, 6, 7, 6, 7, 8}},
        {"negative height is top-down", Bmp({1, -2, 24}, {1, 2, 3, 0, 4, 5, 6, 0}), 1, 2, {1, 2, 3, 4, 5, 6}},
        // Every header size other than 40 has 16-bit sizes.
        {"108-byte header", Bmp({3, 1, 24, 108}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}), 3, 1,
         {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"12-byte core header", Bmp({1, 1, 24, 12}, {1, 2, 3, 0}), 1, 1, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        zPicture picture;
        ASSERT_TRUE(DecodeBmp(c.file, picture)) << c.name;
        EXPECT_FALSE(picture.format.IsDifferent(PixelFormatRGB24));
        EXPECT_EQ(picture.width, c.width) << c.name;
        EXPECT_EQ(picture.height, c.height) << c.name;
        EXPECT_EQ(PixelBytes(picture), c.pixels) << c.name;
        EXPECT_EQ(capture.Contains("-- Picture is palettized.\n"), c.file[28] == 8) << c.name;
    }
}

TEST(BmpLoad, PaletteEntriesPastTheEndOfTheFileAreBlack)
{
    // 8-bit, 1 x 1, the table cut after 2 entries and the pixel data right there.
    Bytes file = Bmp({1, 1, 8}, {}, {10, 20, 30, 0, 40, 50, 60, 0});
    file.insert(file.end(), {1, 0, 0, 0});
    zPicture picture;
    ASSERT_TRUE(DecodeBmp(file, picture));
    EXPECT_EQ(PixelBytes(picture), (Bytes{40, 50, 60}));
    file[62] = 255; // an index the file has no entry for
    ASSERT_TRUE(DecodeBmp(file, picture));
    EXPECT_EQ(PixelBytes(picture), (Bytes{0, 0, 0}));
}

TEST(BmpLoad, BadFilesFailAndLeaveThePictureAsItWas)
{
    struct Case {
        const char* name;
        Bytes file;
        const char* line; // null: no log line
    } cases[] = {
        {"shorter than 10 bytes", {'B', 'M', 0, 0}, nullptr},
        {"no BM", Bytes(60, 'B'), nullptr},
        {"header cut", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0},
         "BMP header is truncated."},
        {"16 bits per pixel", Bmp({1, 1, 16}, {0, 0, 0, 0}), "BMP format unhandled (neither RGB8, RGB24 or BGR8)."},
        {"run-length compressed", Bmp({1, 1, 8, 40, 1}, Bytes(1040, 0)), "BMP compression unhandled (1)"},
        {"bit fields of another layout", Bmp({1, 1, 32, 40, 3}, Bytes(16, 0)), "BMP compression unhandled (3)"},
        {"pixel data missing", Bmp({2, 2, 24}, Bytes(13, 0)), "BMP pixel data is truncated."},
        {"huge size", Bmp({0x7FFFFFFF, 0x7FFFFFFF, 32}, Bytes(16, 0)), "BMP pixel data is truncated."},
        {"most negative height", Bmp({1, INT32_MIN, 24}, Bytes(16, 0)), "BMP pixel data is truncated."},
        {"zero width", Bmp({0, 4, 24}, {}), "Failed to allocate picture buffer (0x4@24bpp)."},
        {"negative width", Bmp({-3, 4, 24}, {}), "Failed to allocate picture buffer (-3x4@24bpp)."},
        {"data offset past the end", [] { Bytes f = Bmp({1, 1, 24}, {1, 2, 3, 0}); f[12] = 1; return f; }(),
         "BMP pixel data offset lies outside the file."},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        zPicture picture = MakePicture(1, 1, PixelFormatBGR565, {0x34, 0x12});
        EXPECT_FALSE(DecodeBmp(c.file, picture)) << c.name;
        EXPECT_EQ(PixelBytes(picture), (Bytes{0x34, 0x12})) << c.name;
        if (c.line == nullptr) {
            EXPECT_TRUE(capture.lines.empty()) << c.name;
        } else {
            ASSERT_EQ(capture.lines.size(), 1u) << c.name;
            EXPECT_NE(capture.lines[0].find(c.line), std::string::npos) << c.name << ": " << capture.lines[0];
            EXPECT_NE(capture.lines[0].find("lowlevel_bmp_load") == std::string::npos,
                      capture.lines[0].find("zPicture::AllocAs") == std::string::npos)
                << c.name;
        }
    }
}

TEST(BmpLoad, ReadsThroughTheFileSystem)
{
    TempDir dir;
    const std::string path = dir.Write("p.bmp", AsString(Bmp({1, 1, 24}, {1, 2, 3, 0})));
    zPicture picture;
    ASSERT_TRUE(lowlevel_bmp_load(path.c_str(), picture));
    EXPECT_EQ(PixelBytes(picture), (Bytes{1, 2, 3}));
    EXPECT_FALSE(lowlevel_bmp_load(dir.Path("none.bmp").c_str(), picture));
}
