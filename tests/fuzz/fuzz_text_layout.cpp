#include "ui/TrueTypeBuilder.h"

#include "bfgt/picture/zPicture.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/system/zLogStream.h"
#include "ui/zScene2D.h"
#include "ui/zTextLayout.h"
#include "ui/zTrueTypeFont.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Fonts written for the run: squares of 32,760 units at 16 units per em
// (glyph bitmaps far past any limit), a 16 ppem strike of 1 bit a pixel over
// outlines, and an ascender of -32768 (lines of negative height).
zTrueTypeFont* generated[3] = {};

TrueTypeGlyphSpec Square(uint32_t codePoint, int16_t side, uint16_t advance)
{
    TrueTypeGlyphSpec glyph;
    glyph.codePoint = codePoint;
    glyph.advance = advance;
    glyph.contours = {TrueTypeSquare(side)};
    return glyph;
}

bool OpenGeneratedFonts()
{
    TrueTypeFontSpec specs[3];
    specs[0].unitsPerEm = 16;
    specs[0].ascender = 14;
    specs[0].descender = -2;
    specs[0].glyphs = {Square('A', 32760, 32760), Square('B', 32760, 32760)};
    specs[0].kerning = {{1, 2, -3}};
    specs[1].glyphs = {Square('A', 500, 600), Square(' ', 0, 300)};
    TrueTypeStrike strike;
    strike.bitDepth = 1;
    for (int i = 0; i < 2; ++i) {
        TrueTypeStrikeGlyph image;
        image.width = 5;
        image.height = 7;
        image.bearingY = 9;
        image.advance = 6;
        image.levels.assign(35, uint8_t(1 - i));
        strike.glyphs.push_back(image);
    }
    specs[1].strikes = {strike};
    specs[2].unitsPerEm = 16;
    specs[2].ascender = -32768;
    specs[2].descender = 0;
    specs[2].glyphs = {Square('A', 8, 8)};
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    for (int i = 0; i < 3; ++i) {
        const std::string path =
            (dir / ("tavrin-fuzz-text-" + std::to_string(getpid()) + "-" + std::to_string(i) + ".ttf")).string();
        std::ofstream(path, std::ios::binary) << BuildTrueType(specs[i]);
        generated[i] = zScene2D::OpenFont(path.c_str());
        std::filesystem::remove(path);
        if (generated[i] == nullptr)
            return false;
    }
    return true;
}

const int32_t Extremes[8] = {0, 1, -1, 64, -268435456, 1 << 30, INT32_MAX, INT32_MIN};

} // namespace

// Input: two bytes of wrap width (little-endian), one byte of format (bits
// 0-1), alignment (bits 2-3) and size (bits 4-7), one byte of font (bits 0-1:
// the default or a generated one), heading (bits 2-4) and tracking (bits
// 5-7) from a table of extremes, then the text. Any text lays out within the
// line table, every line moves forward, drawing stays in the picture (the
// sanitizers watch the writes and the arithmetic), and the font's caches stay
// within their limits.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static const bool open = [] {
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        return zScene2D::OpenFontSystem() && OpenGeneratedFonts();
    }();
    if (!open)
        __builtin_trap();
    if (size < 4)
        return 0;
    const int32_t wrapWidth = int32_t(data[0] | (data[1] << 8)) % 1200;
    zTextParameters parameters;
    const int32_t fontChoice = data[3] & 3;
    parameters.font = fontChoice == 0 ? zScene2D::GetDefaultFont() : generated[fontChoice - 1];
    parameters.format = data[2] & 3;
    parameters.align = (data[2] >> 2) & 3;
    parameters.size = 6 + (data[2] >> 4) * 3;
    parameters.columnWidth = 1 + data[0] % 40;
    parameters.heading = Extremes[(data[3] >> 2) & 7];
    parameters.tracking = Extremes[data[3] >> 5];
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);

    zTextMarkup markup;
    for (const char* p = text.c_str(); *p != 0; ++p) {
        const char* after = ParseTextMarkup(p, markup);
        if (after < p || (markup.kind == zTextMarkup::SyntaxError && after != p))
            __builtin_trap();
    }

    const zPicture::Rect area{0, 0, wrapWidth, 64};
    const zPicture::Rect extent = ComputeTextRect(text.c_str(), parameters, area);
    if (extent.x1 < 0 || extent.y1 < 0 || GlobalTextLines.count > zTextLineTable::Capacity)
        __builtin_trap();
    for (int32_t i = 1; i < GlobalTextLines.count; ++i) {
        if (GlobalTextLines.lines[i].start <= GlobalTextLines.lines[i - 1].start)
            __builtin_trap();
    }
    zPicture picture;
    picture.AllocAs(96, 48, PixelFormatARGB32);
    const zPicture::Rect placed{-8, -4, wrapWidth - 8, 60};
    RenderTextToPicture(picture, text.c_str(), parameters, placed, zPicture::Rect{-50, -50, 500, 500});
    zTrueTypeFont::TextExtent(text.c_str(), parameters.font);
    zTrueTypeFont* font = parameters.font;
    if (font->GetCacheBytes() > zTrueTypeFont::DefaultCacheBytes ||
        font->GetKerningCacheBytes() > zTrueTypeFont::DefaultCacheBytes / 4)
        __builtin_trap();
    return 0;
}
