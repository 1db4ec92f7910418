#pragma once

// Writes small TrueType files from a description, so that tests can open
// fonts whose outlines, metrics and embedded bitmaps they choose: the tables
// "cmap" (format 12), "glyf" and "loca" (long offsets), "head", "hhea",
// "hmtx", "maxp", and when asked "kern" (format 0) and "EBLC"/"EBDT"
// (index format 1, image format 1: small metrics, byte-aligned rows).
// Glyph 0 is an empty .notdef; description glyph i becomes glyph i + 1.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TrueTypeGlyphSpec {
    uint32_t codePoint = 0;
    uint16_t advance = 0;
    // Closed contours of on-curve points, in font units.
    std::vector<std::vector<std::pair<int16_t, int16_t>>> contours;
};

// One glyph image of a strike: levels 0 .. 2^depth - 1, one per pixel, rows
// from the top.
struct TrueTypeStrikeGlyph {
    uint8_t width = 0, height = 0;
    int8_t bearingX = 0, bearingY = 0;
    uint8_t advance = 0;
    std::vector<uint8_t> levels;
};

// An embedded bitmap strike; glyphs[i] belongs to description glyph i.
struct TrueTypeStrike {
    uint8_t ppem = 16;
    uint8_t bitDepth = 1;
    int8_t ascender = 12, descender = -4;
    std::vector<TrueTypeStrikeGlyph> glyphs;
};

struct TrueTypeKernPair {
    uint16_t left = 0, right = 0; // glyph indices
    int16_t value = 0;
};

struct TrueTypeFontSpec {
    uint16_t unitsPerEm = 1000;
    int16_t ascender = 800, descender = -200, lineGap = 0;
    std::vector<TrueTypeGlyphSpec> glyphs;
    // Without outlines the file has no "glyf" and "loca": a bitmap-only font.
    bool outlines = true;
    std::vector<TrueTypeStrike> strikes;
    std::vector<TrueTypeKernPair> kerning;
};

namespace truetype_builder {

inline void Put8(std::string& out, uint32_t v)
{
    out += char(uint8_t(v));
}
inline void Put16(std::string& out, uint32_t v)
{
    Put8(out, v >> 8);
    Put8(out, v);
}
inline void Put32(std::string& out, uint32_t v)
{
    Put16(out, v >> 16);
    Put16(out, v);
}
inline void Set32(std::string& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = char(uint8_t(v >> (24 - 8 * i)));
}
inline void Pad4(std::string& out)
{
    while (out.size() % 4 != 0)
        out += '\0';
}
inline uint32_t CheckSum(const std::string& data)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t word = 0;
        for (size_t j = 0; j < 4; ++j)
            word = (word << 8) | (i + j < data.size() ? uint8_t(data[i + j]) : 0u);
        sum += word;
    }
    return sum;
}
// Largest power of two not above n, and its base-2 logarithm.
inline std::pair<uint32_t, uint32_t> PowerBelow(uint32_t n)
{
    uint32_t power = 1, log = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log;
    }
    return {power, log};
}

struct Box {
    int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    bool empty = true;
};

inline Box BoxOf(const TrueTypeGlyphSpec& glyph)
{
    Box box;
    for (const auto& contour : glyph.contours)
        for (const auto& [x, y] : contour) {
            if (box.empty) {
                box = Box{x, y, x, y, false};
                continue;
            }
            box.xMin = std::min(box.xMin, x);
            box.yMin = std::min(box.yMin, y);
            box.xMax = std::max(box.xMax, x);
            box.yMax = std::max(box.yMax, y);
        }
    return box;
}

inline std::string GlyphData(const TrueTypeGlyphSpec& glyph)
{
    std::string out;
    const Box box = BoxOf(glyph);
    if (box.empty)
        return out;
    Put16(out, uint16_t(glyph.contours.size()));
    Put16(out, uint16_t(box.xMin));
    Put16(out, uint16_t(box.yMin));
    Put16(out, uint16_t(box.xMax));
    Put16(out, uint16_t(box.yMax));
    uint32_t points = 0;
    for (const auto& contour : glyph.contours) {
        points += uint32_t(contour.size());
        Put16(out, points - 1);
    }
    Put16(out, 0); // no instructions
    for (uint32_t i = 0; i < points; ++i)
        Put8(out, 0x01); // on curve, coordinates as 16-bit deltas
    for (int axis = 0; axis < 2; ++axis) {
        int32_t previous = 0;
        for (const auto& contour : glyph.contours)
            for (const auto& point : contour) {
                const int32_t value = axis == 0 ? point.first : point.second;
                Put16(out, uint16_t(int16_t(value - previous)));
                previous = value;
            }
    }
    return out;
}

} // namespace truetype_builder

// A filled square from (0, 0) to (side, side), clockwise.
inline std::vector<std::pair<int16_t, int16_t>> TrueTypeSquare(int16_t side)
{
    return {{0, 0}, {0, side}, {side, side}, {side, 0}};
}

inline std::string BuildTrueType(const TrueTypeFontSpec& spec)
{
    using namespace truetype_builder;
    const uint32_t glyphCount = uint32_t(spec.glyphs.size()) + 1;
    std::vector<std::pair<std::string, std::string>> tables;

    Box fontBox;
    uint32_t maxPoints = 0, maxContours = 0;
    uint16_t maxAdvance = 0;
    for (const TrueTypeGlyphSpec& glyph : spec.glyphs) {
        const Box box = BoxOf(glyph);
        if (!box.empty) {
            if (fontBox.empty)
                fontBox = box;
            fontBox = Box{std::min(fontBox.xMin, box.xMin), std::min(fontBox.yMin, box.yMin),
                          std::max(fontBox.xMax, box.xMax), std::max(fontBox.yMax, box.yMax), false};
        }
        uint32_t points = 0;
        for (const auto& contour : glyph.contours)
            points += uint32_t(contour.size());
        maxPoints = std::max(maxPoints, points);
        maxContours = std::max(maxContours, uint32_t(glyph.contours.size()));
        maxAdvance = std::max(maxAdvance, glyph.advance);
    }

    if (!spec.strikes.empty()) {
        std::string eblc, ebdt;
        Put32(eblc, 0x00020000);
        Put32(eblc, uint32_t(spec.strikes.size()));
        Put32(ebdt, 0x00020000);
        // The size records first, then per strike its one-entry subtable
        // array and its format 1 subtable.
        const size_t arraysStart = 8 + 48 * spec.strikes.size();
        std::string arrays;
        for (const TrueTypeStrike& strike : spec.strikes) {
            const uint32_t first = 1, last = uint32_t(strike.glyphs.size());
            const size_t arrayOffset = arraysStart + arrays.size();
            const size_t arrayStart = arrays.size();
            Put16(arrays, first);
            Put16(arrays, last);
            Put32(arrays, 8); // the subtable follows the array
            Put16(arrays, 1); // index format 1
            Put16(arrays, 1); // image format 1
            const uint32_t imageStart = uint32_t(ebdt.size());
            Put32(arrays, imageStart);
            uint32_t offset = 0;
            uint8_t widest = 0;
            for (const TrueTypeStrikeGlyph& glyph : strike.glyphs) {
                Put32(arrays, offset);
                std::string image;
                Put8(image, glyph.height);
                Put8(image, glyph.width);
                Put8(image, uint8_t(glyph.bearingX));
                Put8(image, uint8_t(glyph.bearingY));
                Put8(image, glyph.advance);
                for (uint32_t y = 0; y < glyph.height; ++y) {
                    uint32_t bits = 0, count = 0;
                    for (uint32_t x = 0; x < glyph.width; ++x) {
                        bits = (bits << strike.bitDepth) | glyph.levels[y * glyph.width + x];
                        count += strike.bitDepth;
                        if (count == 8) {
                            Put8(image, bits);
                            bits = count = 0;
                        }
                    }
                    if (count != 0)
                        Put8(image, bits << (8 - count));
                }
                ebdt += image;
                offset += uint32_t(image.size());
                widest = std::max(widest, glyph.width);
            }
            Put32(arrays, offset);
            const uint32_t indexTablesSize = uint32_t(arrays.size() - arrayStart);
            // The size record.
            Put32(eblc, uint32_t(arrayOffset));
            Put32(eblc, indexTablesSize);
            Put32(eblc, 1);
            Put32(eblc, 0); // colorRef
            for (int direction = 0; direction < 2; ++direction) {
                Put8(eblc, uint8_t(strike.ascender));
                Put8(eblc, uint8_t(strike.descender));
                Put8(eblc, widest);
                Put8(eblc, 1); // caret slope numerator
                Put8(eblc, 0); // denominator
                Put8(eblc, 0); // caret offset
                Put8(eblc, 0); // min origin side bearing
                Put8(eblc, 0); // min advance side bearing
                Put8(eblc, uint8_t(strike.ascender));
                Put8(eblc, uint8_t(strike.descender));
                Put16(eblc, 0); // padding
            }
            Put16(eblc, first);
            Put16(eblc, last);
            Put8(eblc, strike.ppem);
            Put8(eblc, strike.ppem);
            Put8(eblc, strike.bitDepth);
            Put8(eblc, 0x01); // horizontal metrics
        }
        eblc += arrays;
        tables.emplace_back("EBDT", ebdt);
        tables.emplace_back("EBLC", eblc);
    }

    {
        // Format 12: one group per glyph.
        std::string cmap;
        Put16(cmap, 0);
        Put16(cmap, 1);
        Put16(cmap, 3);  // Windows
        Put16(cmap, 10); // full Unicode
        Put32(cmap, 12);
        std::vector<std::pair<uint32_t, uint32_t>> groups;
        for (uint32_t i = 0; i < spec.glyphs.size(); ++i)
            groups.emplace_back(spec.glyphs[i].codePoint, i + 1);
        std::sort(groups.begin(), groups.end());
        Put16(cmap, 12);
        Put16(cmap, 0);
        Put32(cmap, uint32_t(16 + 12 * groups.size()));
        Put32(cmap, 0);
        Put32(cmap, uint32_t(groups.size()));
        for (const auto& [code, glyph] : groups) {
            Put32(cmap, code);
            Put32(cmap, code);
            Put32(cmap, glyph);
        }
        tables.emplace_back("cmap", cmap);
    }

    if (spec.outlines) {
        std::string glyf, loca;
        Put32(loca, 0);
        Put32(loca, 0); // .notdef is empty
        for (const TrueTypeGlyphSpec& glyph : spec.glyphs) {
            glyf += GlyphData(glyph);
            Pad4(glyf);
            Put32(loca, uint32_t(glyf.size()));
        }
        tables.emplace_back("glyf", glyf);
        tables.emplace_back("loca", loca);
    }

    std::string head;
    Put32(head, 0x00010000);
    Put32(head, 0x00010000); // revision
    Put32(head, 0);          // checksum adjustment, set below
    Put32(head, 0x5F0F3CF5);
    Put16(head, 0x000B);
    Put16(head, spec.unitsPerEm);
    for (int i = 0; i < 4; ++i)
        Put32(head, 0); // created, modified
    Put16(head, uint16_t(fontBox.xMin));
    Put16(head, uint16_t(fontBox.yMin));
    Put16(head, uint16_t(fontBox.xMax));
    Put16(head, uint16_t(fontBox.yMax));
    Put16(head, 0);
    Put16(head, 8); // lowest readable size
    Put16(head, 2);
    Put16(head, 1); // long offsets
    Put16(head, 0);
    tables.emplace_back("head", head);

    std::string hhea;
    Put32(hhea, 0x00010000);
    Put16(hhea, uint16_t(spec.ascender));
    Put16(hhea, uint16_t(spec.descender));
    Put16(hhea, uint16_t(spec.lineGap));
    Put16(hhea, maxAdvance);
    Put16(hhea, uint16_t(fontBox.xMin));
    Put16(hhea, 0);
    Put16(hhea, uint16_t(fontBox.xMax));
    Put16(hhea, 1); // caret slope rise
    for (int i = 0; i < 6; ++i)
        Put16(hhea, 0); // run, offset, reserved
    Put16(hhea, 0);
    Put16(hhea, glyphCount);
    tables.emplace_back("hhea", hhea);

    std::string hmtx;
    Put16(hmtx, 0);
    Put16(hmtx, 0);
    for (const TrueTypeGlyphSpec& glyph : spec.glyphs) {
        Put16(hmtx, glyph.advance);
        Put16(hmtx, uint16_t(BoxOf(glyph).xMin));
    }
    tables.emplace_back("hmtx", hmtx);

    if (!spec.kerning.empty()) {
        std::vector<TrueTypeKernPair> pairs = spec.kerning;
        std::sort(pairs.begin(), pairs.end(), [](const TrueTypeKernPair& a, const TrueTypeKernPair& b) {
            return (uint32_t(a.left) << 16 | a.right) < (uint32_t(b.left) << 16 | b.right);
        });
        const uint32_t n = uint32_t(pairs.size());
        const auto [power, log] = PowerBelow(n);
        std::string kern;
        Put16(kern, 0);
        Put16(kern, 1);
        Put16(kern, 0);
        Put16(kern, 14 + 6 * n);
        Put16(kern, 0x0001); // horizontal, format 0
        Put16(kern, n);
        Put16(kern, 6 * power);
        Put16(kern, log);
        Put16(kern, 6 * n - 6 * power);
        for (const TrueTypeKernPair& pair : pairs) {
            Put16(kern, pair.left);
            Put16(kern, pair.right);
            Put16(kern, uint16_t(pair.value));
        }
        tables.emplace_back("kern", kern);
    }

    std::string maxp;
    Put32(maxp, 0x00010000);
    Put16(maxp, glyphCount);
    Put16(maxp, maxPoints);
    Put16(maxp, maxContours);
    Put16(maxp, 0);
    Put16(maxp, 0);
    Put16(maxp, 2); // zones
    for (int i = 0; i < 8; ++i)
        Put16(maxp, 0);
    tables.emplace_back("maxp", maxp);

    std::sort(tables.begin(), tables.end());
    std::string file;
    const uint32_t count = uint32_t(tables.size());
    const auto [power, log] = PowerBelow(count);
    Put32(file, 0x00010000);
    Put16(file, count);
    Put16(file, 16 * power);
    Put16(file, log);
    Put16(file, 16 * count - 16 * power);
    size_t offset = 12 + 16 * tables.size();
    size_t headOffset = 0;
    for (const auto& [tag, data] : tables) {
        file += tag;
        Put32(file, CheckSum(data));
        Put32(file, uint32_t(offset));
        Put32(file, uint32_t(data.size()));
        if (tag == "head")
            headOffset = offset;
        offset += (data.size() + 3) / 4 * 4;
    }
    for (const auto& table : tables) {
        file += table.second;
        Pad4(file);
    }
    Set32(file, headOffset + 8, 0xB1B0AFBAu - CheckSum(file));
    return file;
}
