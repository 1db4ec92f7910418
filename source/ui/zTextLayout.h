#pragma once

#include "bfgt/picture/zPicture.h"
#include "ui/zTextParameters.h"

#include <cstdint>

// Inline markup: "~~Color(r, g, b, a)" and "~~Size(n)".
struct zTextMarkup {
    enum Kind : int32_t { None = 0, Color = 1, Size = 3, SyntaxError = 4 };
    int32_t kind = None;
    int32_t values[4] = {};
};

// Reads a markup sequence at position. Without one (or for two tildes followed
// by anything else) the kind is None and position comes back unchanged; a
// malformed "~~Color(" or "~~Size(" gives SyntaxError and position unchanged,
// and layout and drawing then treat its characters as ordinary text.
const char* ParseTextMarkup(const char* position, zTextMarkup& record);

// Decodes one UTF-8 sequence: its length 1..4, or 0 when the bytes are not a
// valid sequence (overlong forms, surrogates and values above 0x10FFFF
// included). A NUL byte has length 0 too. codePoint is left 0 on failure.
int32_t DecodeUtf8(const char* position, uint32_t& codePoint);

// Drawn in place of a byte that starts no valid sequence.
inline constexpr uint32_t InvalidCodePoint = 0xFFFD;

// One laid-out line: its first character, glyph and space counts, width and
// height in 1/64 pixel, and where its layout stopped (markup up to there
// belongs to it).
struct zTextLine {
    const char* start = nullptr;
    int32_t glyphs = 0;
    int32_t spaces = 0;
    int32_t width = 0;
    int32_t height = 0;
    const char* end = nullptr;
};

// The program-wide line table that ComputeTextRect fills and the next
// RenderTextToPicture reads. Main thread only.
struct zTextLineTable {
    static constexpr int32_t Capacity = 1024;
    zTextLine lines[Capacity];
    int32_t count = 0;
    // The text and parameters the table was laid out from.
    const char* text = nullptr;
    zTextParameters parameters;
    int32_t wrapWidth = -1;
    // Set when the text needed more lines than the table holds.
    bool truncated = false;
};
extern zTextLineTable GlobalTextLines;

// Lays out one line from position (leading spaces skipped). parameters is the
// working copy: size markup changes it. wrapWidth in pixels (or -1: none),
// glyphLimit (or -1: none). Returns where the next line starts; a line always
// takes at least one glyph when there is one, so layout always progresses.
const char* LayoutTextLine(const char* position, zTextLine& line, zTextParameters& parameters, int32_t wrapWidth,
                           int32_t glyphLimit);

// Lays the text out into the line table: wrapped at the rectangle's width in
// paragraph and column formats, at columnWidth glyphs in column format, and
// cut at the table's capacity. (0, 0, width, height) in pixels, the height's
// sum saturating at INT32_MAX (and 0 when negative); all zero without a font
// or text.
zPicture::Rect ComputeTextRect(const char* text, const zTextParameters& parameters, const zPicture::Rect& rect);

// Draws the lines of the table into a 32-bit picture inside placed, writing
// only pixels inside clip and the picture. The table is laid out again when it
// was not computed for this text. Returns placed, or (0, 0, 0, 0) without a
// font or on a picture of another depth.
zPicture::Rect RenderTextToPicture(zPicture& picture, const char* text, const zTextParameters& parameters,
                                   const zPicture::Rect& placed, const zPicture::Rect& clip);

// Draws one line with the pen at (penX, penY) in 1/64 pixel; extraSpace (1/64
// pixel) widens every space. parameters is the working copy: markup on the
// line changes its size and colour. Positions saturate at 2^40 pixels; a
// glyph that misses the clip is neither rasterised nor drawn.
void DrawTextLine(const zTextLine& line, zPicture& picture, zTextParameters& parameters, int64_t penX, int64_t penY,
                  const zPicture::Rect& clip, int64_t extraSpace);
