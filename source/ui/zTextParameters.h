#pragma once

#include <cstdint>

class zTrueTypeFont;

// How a text is laid out and drawn. Markup in the text changes a working copy
// of these for the rest of the text, never the caller's block.
struct zTextParameters {
    enum Format : int32_t { FormatStandard = 0, FormatParagraph = 1, FormatColumn = 2 };
    enum Align : int32_t { AlignLeft = 0, AlignRight = 1, AlignCentre = 2, AlignJustify = 3 };

    // Not owned; null draws and measures nothing.
    zTrueTypeFont* font = nullptr;
    // Pixel size.
    int32_t size = 16;
    // 0..255 each; values outside are clamped when drawing.
    int32_t color[4] = {0, 0, 0, 255};
    int32_t format = FormatStandard;
    int32_t align = AlignLeft;
    // Glyphs per line in column format.
    int32_t columnWidth = 80;
    // Added to every advance, in 1/64 pixel per pixel of size.
    int32_t tracking = 0;
    // Extra leading per line, in 1/64 pixel per pixel of size.
    int32_t heading = 0;

    bool operator==(const zTextParameters& other) const;
    bool operator!=(const zTextParameters& other) const { return !(*this == other); }
};
