#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/tools/zString.h"
#include "ui/zScene2D.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// Opens the font system on the build's data directory (default.ttf and the
// interface pictures) for the length of a test.
class FontSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        ASSERT_TRUE(zScene2D::OpenFontSystem());
    }
    void TearDown() override
    {
        zScene2D::CloseFontSystem();
        GlobalSearchPathList.Clear();
    }
};

// A transparent 32-bit picture in the interface's pixel format.
inline zPicture MakeCanvas(int32_t width, int32_t height)
{
    zPicture picture;
    picture.AllocAs(width, height, PixelFormatARGB32);
    return picture;
}

// Byte c (0 blue, 1 green, 2 red, 3 alpha) of the pixel at (x, y).
inline uint8_t PixelByte(const zPicture& picture, int32_t x, int32_t y, int c)
{
    return picture.pixels[(size_t(y) * size_t(picture.width) + size_t(x)) * 4 + size_t(c)];
}

// The alpha channel as text, one character per pixel: '.' for 0, else the top
// four bits as a hex digit ("0" meaning a faint pixel).
inline std::string AlphaAsText(const zPicture& picture)
{
    std::string text;
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t a = PixelByte(picture, x, y, 3);
            text += a == 0 ? '.' : "0123456789abcdef"[a >> 4];
        }
        text += '\n';
    }
    return text;
}

// Compares with a golden under tests/data/ui; TAVRIN_UPDATE_GOLDENS=1 rewrites it.
inline void ExpectMatchesGolden(const std::string& actual, const char* name)
{
    const std::string path = std::string(TAVRIN_TEST_DATA) + "/ui/" + name;
    if (std::getenv("TAVRIN_UPDATE_GOLDENS") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file.good()) << "missing golden " << path;
    std::stringstream golden;
    golden << file.rdbuf();
    EXPECT_EQ(actual, golden.str()) << "golden " << name;
}
