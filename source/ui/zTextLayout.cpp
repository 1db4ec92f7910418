#include "ui/zTextLayout.h"

#include "framework/tools/zTextScanner.h"
#include "ui/zTrueTypeFont.h"

#include <algorithm>
#include <climits>
#include <cstring>

zTextLineTable GlobalTextLines;

namespace {

// A markup sequence is short; the scan never looks further than this.
constexpr size_t MaxMarkupLength = 4096;

// Sums of line heights saturate here (1/64 pixel): a height of INT32_MAX
// pixels.
constexpr int64_t HeightLimit = int64_t(INT32_MAX) * 64;
// Pen positions saturate at 2^40 pixels, far past any picture and far inside
// int64 once a line's advance (under 2^62) is added.
constexpr int64_t PixelLimit = int64_t(1) << 40;
constexpr int64_t PenLimit = PixelLimit * 64;

// heading x size + line height of a laid-out line, 1/64 pixel: under 2^62 in
// magnitude.
int64_t LineAdvance(const zTextParameters& parameters, const zTextLine& line)
{
    return int64_t(parameters.heading) * parameters.size + line.height;
}

// Reads an optionally negative decimal integer; null when there are no digits.
// Values saturate instead of overflowing.
const char* ReadInteger(const char* position, const char* end, int32_t& value)
{
    bool negative = false;
    if (position < end && *position == '-') {
        negative = true;
        ++position;
    }
    if (position >= end || *position < '0' || *position > '9')
        return nullptr;
    int64_t magnitude = 0;
    while (position < end && *position >= '0' && *position <= '9') {
        magnitude = std::min<int64_t>(magnitude * 10 + (*position - '0'), int64_t(INT32_MAX));
        ++position;
    }
    value = int32_t(negative ? -magnitude : magnitude);
    return position;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

uint8_t ClampByte(int32_t value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

// Applies markup at position to the working parameters; returns the position
// after it, or position itself when none stands there.
const char* ApplyMarkup(const char* position, zTextParameters& parameters)
{
    zTextMarkup markup;
    const char* after = ParseTextMarkup(position, markup);
    if (markup.kind == zTextMarkup::Size)
        parameters.size = markup.values[0];
    else if (markup.kind == zTextMarkup::Color)
        std::memcpy(parameters.color, markup.values, sizeof(parameters.color));
    return after;
}

// Decodes the character at position: its length (at least 1) and code point,
// invalid bytes becoming the replacement character.
int32_t NextCharacter(const char* position, uint32_t& codePoint)
{
    const int32_t length = DecodeUtf8(position, codePoint);
    if (length > 0)
        return length;
    codePoint = InvalidCodePoint;
    return 1;
}

bool IsLineBreak(const char* position, int32_t& length)
{
    if (position[0] == '\n') {
        length = 1;
        return true;
    }
    if (position[0] == '\\' && position[1] == 'n') {
        length = 2;
        return true;
    }
    return false;
}

} // namespace

const char* ParseTextMarkup(const char* position, zTextMarkup& record)
{
    record = zTextMarkup{};
    if (position == nullptr || position[0] != '~' || position[1] != '~')
        return position;
    const char* p = position + 2;
    int32_t expected = 0;
    if (std::strncmp(p, "Color(", 6) == 0) {
        record.kind = zTextMarkup::Color;
        expected = 4;
        p += 6;
    } else if (std::strncmp(p, "Size(", 5) == 0) {
        record.kind = zTextMarkup::Size;
        expected = 1;
        p += 5;
    } else {
        return position;
    }

    const char* end = p + strnlen(p, MaxMarkupLength);
    for (int32_t i = 0; i < expected; ++i) {
        p = SkipBlanksAndComments(p, end);
        p = ReadInteger(p, end, record.values[i]);
        if (p == nullptr)
            break;
        p = SkipBlanksAndComments(p, end);
        const char separator = i + 1 < expected ? ',' : ')';
        if (p >= end || *p != separator) {
            p = nullptr;
            break;
        }
        ++p;
    }
    if (p == nullptr) {
        record = zTextMarkup{};
        record.kind = zTextMarkup::SyntaxError;
        return position;
    }
    return p;
}

int32_t DecodeUtf8(const char* position, uint32_t& codePoint)
{
    codePoint = 0;
    if (position == nullptr)
        return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(position);
    const unsigned char lead = s[0];
    if (lead == 0)
        return 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    int32_t length;
    uint32_t value;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    // A NUL is no continuation byte, so the loop never reads past the text's end.
    for (int32_t i = 1; i < length; ++i) {
        if (!IsContinuation(s[i]))
            return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

const char* LayoutTextLine(const char* position, zTextLine& line, zTextParameters& parameters, int32_t wrapWidth,
                           int32_t glyphLimit)
{
    zTrueTypeFont* font = parameters.font;
    while (*position == ' ')
        ++position;
    line = zTextLine{};
    line.start = position;

    struct BreakPoint {
        const char* position = nullptr;
        int32_t glyphs = 0, spaces = 0, width = 0, height = 0, size = 0;
    } breakPoint;

    const int64_t wrapLimit = int64_t(wrapWidth) * 64;
    uint32_t previousIndex = 0;
    for (;;) {
        const char* afterMarkup = ApplyMarkup(position, parameters);
        if (afterMarkup != position) {
            position = afterMarkup;
            continue;
        }
        int32_t breakLength = 0;
        if (IsLineBreak(position, breakLength)) {
            // An empty line between two breaks still takes a line's height.
            if (line.glyphs == 0 && font != nullptr)
                line.height = font->GetLineHeight(parameters.size);
            line.end = position;
            return position + breakLength;
        }
        if (*position == 0 || (glyphLimit > 0 && line.glyphs >= glyphLimit) || line.glyphs == INT32_MAX) {
            line.end = position;
            return position;
        }

        uint32_t codePoint = 0;
        const int32_t length = NextCharacter(position, codePoint);
        const int32_t size = parameters.size;
        const uint32_t index = font != nullptr ? font->GetGlyphIndex(codePoint) : 0;
        int32_t kern = 0;
        if (font != nullptr && font->useKerning && index != 0 && previousIndex != 0)
            kern = font->GetKerning(size, previousIndex, index);
        const zGlyph* glyph = font != nullptr ? font->GetGlyph(size, index) : nullptr;
        const int32_t advance = glyph != nullptr ? glyph->advance : 0;

        // A line keeps at least one glyph, so that a width below one glyph
        // still makes progress.
        if (wrapWidth > 0 && int64_t(line.width) + kern + advance >= wrapLimit && line.glyphs > 0) {
            if (breakPoint.position != nullptr) {
                line.glyphs = breakPoint.glyphs;
                line.spaces = breakPoint.spaces;
                line.width = breakPoint.width;
                line.height = breakPoint.height;
                parameters.size = breakPoint.size;
                line.end = breakPoint.position;
                return breakPoint.position;
            }
            line.end = position;
            return position;
        }

        previousIndex = index;
        const int64_t width = int64_t(line.width) + kern + int64_t(parameters.tracking) * size + advance;
        line.width = int32_t(std::clamp<int64_t>(width, INT32_MIN / 2, INT32_MAX / 2));
        if (font != nullptr)
            line.height = std::max(line.height, font->GetLineHeight(size));
        if (*position == ' ') {
            ++line.spaces;
            if (position[1] != ' ') {
                breakPoint.position = position;
                breakPoint.glyphs = line.glyphs;
                breakPoint.spaces = line.spaces;
                breakPoint.width = line.width;
                breakPoint.height = line.height;
                breakPoint.size = parameters.size;
            }
        }
        ++line.glyphs;
        position += length;
    }
}

zPicture::Rect ComputeTextRect(const char* text, const zTextParameters& parameters, const zPicture::Rect& rect)
{
    zTextLineTable& table = GlobalTextLines;
    table.count = 0;
    table.text = nullptr;
    table.truncated = false;
    zPicture::Rect result{0, 0, 0, 0};
    if (parameters.font == nullptr || text == nullptr)
        return result;

    const int32_t wrapWidth =
        parameters.format != zTextParameters::FormatStandard
            ? int32_t(std::clamp<int64_t>(int64_t(rect.x1) - rect.x0, INT32_MIN, INT32_MAX))
            : -1;
    const int32_t glyphLimit = parameters.format == zTextParameters::FormatColumn ? parameters.columnWidth : -1;
    table.text = text;
    table.parameters = parameters;
    table.wrapWidth = wrapWidth;

    zTextParameters working = parameters;
    int32_t widest = 0;
    int64_t height = 0;
    const char* position = text;
    while (*position != 0) {
        if (table.count == zTextLineTable::Capacity) {
            table.truncated = true;
            break;
        }
        zTextLine& line = table.lines[table.count++];
        position = LayoutTextLine(position, line, working, wrapWidth, glyphLimit);
        widest = std::max(widest, line.width);
        height = std::clamp(height + LineAdvance(working, line), -HeightLimit, HeightLimit);
    }
    result.x1 = widest / 64;
    result.y1 = int32_t(std::clamp<int64_t>(height / 64, 0, INT32_MAX));
    return result;
}

zPicture::Rect RenderTextToPicture(zPicture& picture, const char* text, const zTextParameters& parameters,
                                   const zPicture::Rect& placed, const zPicture::Rect& clip)
{
    if (parameters.font == nullptr || text == nullptr || picture.pixels == nullptr ||
        picture.format.bitsPerPixel != 32 || picture.format.isFloat)
        return zPicture::Rect{0, 0, 0, 0};

    zTextLineTable& table = GlobalTextLines;
    if (table.text != text || table.parameters != parameters)
        ComputeTextRect(text, parameters, placed);

    zTextParameters working = parameters;
    const int64_t placedWidth = int64_t(placed.x1) - placed.x0;
    // Lines outside the picture take their place but draw nothing: their
    // glyphs miss the clip.
    int64_t y = placed.y0;
    for (int32_t i = 0; i < table.count; ++i) {
        const zTextLine& line = table.lines[i];
        const int64_t lineWidth = line.width / 64;
        int64_t x = placed.x0;
        int64_t extraSpace = 0;
        switch (working.align) {
        case zTextParameters::AlignRight:
            x = placed.x1 - lineWidth;
            break;
        case zTextParameters::AlignCentre:
            x = placed.x0 + (placedWidth - lineWidth) / 2;
            break;
        case zTextParameters::AlignJustify:
            // The last line and a line without spaces stay left-aligned; a
            // line wider than the rectangle is not squeezed.
            if (i + 1 < table.count && line.spaces > 0 && placedWidth > lineWidth)
                extraSpace = (placedWidth - lineWidth) * 64 / line.spaces;
            break;
        default:
            break;
        }
        DrawTextLine(line, picture, working, x * 64, y * 64, clip, extraSpace);
        y = std::clamp(y + LineAdvance(working, line) / 64, -PixelLimit, PixelLimit);
    }
    return placed;
}

void DrawTextLine(const zTextLine& line, zPicture& picture, zTextParameters& parameters, int64_t penX, int64_t penY,
                  const zPicture::Rect& clip, int64_t extraSpace)
{
    zTrueTypeFont* font = parameters.font;
    if (font == nullptr || line.start == nullptr || picture.pixels == nullptr || picture.format.bitsPerPixel != 32 ||
        picture.format.isFloat)
        return;

    // Only pixels inside both the clip and the picture are written.
    const int32_t clipX0 = std::max(clip.x0, 0);
    const int32_t clipY0 = std::max(clip.y0, 0);
    const int32_t clipX1 = std::min(clip.x1, picture.width);
    const int32_t clipY1 = std::min(clip.y1, picture.height);
    const zPixelFormat& format = picture.format;
    const int32_t alphaByte = format.alphaShift / 8;
    const int32_t channelByte[3] = {format.redShift / 8, format.greenShift / 8, format.blueShift / 8};
    const bool hasAlpha = format.alphaWidth == 8;

    const int64_t lineHeight = line.height;
    penX = std::clamp(penX, -PenLimit, PenLimit);
    penY = std::clamp(penY, -PenLimit, PenLimit);
    extraSpace = std::clamp(extraSpace, -PenLimit, PenLimit);
    int64_t pen = penX;
    int32_t drawn = 0;
    const char* position = line.start;
    const char* end = line.end;
    // Markup up to where the line's layout stopped belongs to this line.
    while (*position != 0 && (end != nullptr ? position < end : drawn < line.glyphs)) {
        const char* afterMarkup = ApplyMarkup(position, parameters);
        if (afterMarkup != position) {
            position = afterMarkup;
            continue;
        }
        if (drawn >= line.glyphs)
            break;
        uint32_t codePoint = 0;
        const int32_t length = NextCharacter(position, codePoint);
        const bool isSpace = *position == ' ';
        position += length;
        ++drawn;

        const int32_t size = parameters.size;
        const uint32_t index = font->GetGlyphIndex(codePoint);
        const zGlyph* glyph = font->GetGlyph(size, index);
        const int64_t step =
            int64_t(parameters.tracking) * size + (glyph != nullptr ? glyph->advance : 0) + (isSpace ? extraSpace : 0);
        const int64_t next = std::clamp(pen + step, -PenLimit, PenLimit);
        const int64_t left = pen;
        pen = next;
        if (glyph == nullptr || glyph->width == 0 || glyph->rows == 0)
            continue;
        if (next / 64 < clipX0 || left / 64 >= clipX1)
            continue;

        const int64_t gx = left / 64 + glyph->left;
        const int64_t gy = (penY + lineHeight) / 64 - (lineHeight / 64) / 4 - glyph->top;
        // A glyph whose box misses the clip is not rasterised.
        if (gx >= clipX1 || gx + glyph->width <= clipX0 || gy >= clipY1 || gy + glyph->rows <= clipY0)
            continue;
        glyph = font->GetRenderedGlyph(size, index);
        if (glyph == nullptr || glyph->bitmap == nullptr)
            continue;
        const uint8_t colour[3] = {ClampByte(parameters.color[0]), ClampByte(parameters.color[1]),
                                   ClampByte(parameters.color[2])};
        const int32_t colourAlpha = ClampByte(parameters.color[3]);
        const uint8_t* bitmap = glyph->bitmap;
        const int64_t row0 = std::max<int64_t>(0, clipY0 - gy);
        const int64_t row1 = std::min<int64_t>(glyph->rows, clipY1 - gy);
        const int64_t col0 = std::max<int64_t>(0, clipX0 - gx);
        const int64_t col1 = std::min<int64_t>(glyph->width, clipX1 - gx);
        for (int64_t row = row0; row < row1; ++row) {
            const uint8_t* coverageRow = bitmap + row * glyph->width;
            uint8_t* out = picture.pixels + ((gy + row) * picture.width + gx) * 4;
            for (int64_t col = col0; col < col1; ++col) {
                const uint8_t coverage = uint8_t(coverageRow[col] * colourAlpha / 256);
                if (coverage == 0)
                    continue;
                uint8_t* pixel = out + col * 4;
                const uint8_t pictureAlpha = hasAlpha ? pixel[alphaByte] : 255;
                if (pictureAlpha == 0) {
                    // Over nothing the composition gives the text colour at the coverage.
                    for (int c = 0; c < 3; ++c)
                        pixel[channelByte[c]] = colour[c];
                    pixel[alphaByte] = coverage;
                    continue;
                }
                const uint8_t alpha = ComposeAlphaOver(pictureAlpha, coverage);
                for (int c = 0; c < 3; ++c)
                    pixel[channelByte[c]] =
                        ComposeChannelOver(pixel[channelByte[c]], colour[c], pictureAlpha, coverage, alpha);
                if (hasAlpha)
                    pixel[alphaByte] = alpha;
            }
        }
    }
}
