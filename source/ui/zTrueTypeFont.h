#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/data_structure/zLinkedList.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

struct FT_FaceRec_;

// One glyph rendered at one pixel size: FreeType's advance and metrics height
// (1/64 pixel) and its 8-bit coverage bitmap, placed by left and top.
struct zGlyph {
    bool loaded = false;
    int32_t advance = 0;
    int32_t metricsHeight = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t rows = 0;
    // Offset of the rows (width bytes each, no padding) in the font's bitmap store.
    uint32_t offset = 0;
};

// A TrueType face read whole into memory; its name is the file's base name.
// Glyphs are rendered once per pixel size and glyph index and kept until the
// font is deleted, so measuring and drawing do not rasterise the same glyph
// twice; kerning pairs are kept the same way. Both caches count the heap bytes
// they hold (records and bitmaps alike) and start over, releasing their
// memory, rather than pass their limit.
// Main thread only: the face carries a current pixel size.
class zTrueTypeFont : public zLinkedListIdEntry {
public:
    // Pixel sizes outside 1..MaxPixelSize have no glyphs (markup can ask for any).
    static constexpr int32_t MaxPixelSize = 1024;
    // Bytes the glyph cache holds by default before it starts over; the
    // kerning cache holds a quarter of the glyph cache's limit.
    static constexpr size_t DefaultCacheBytes = size_t(64) << 20;

    // Takes ownership of fileData (new[]); the face reads from it.
    zTrueTypeFont(const char* name, uint8_t* fileData, uint32_t fileSize, FT_FaceRec_* face);
    ~zTrueTypeFont() override;
    zTrueTypeFont(const zTrueTypeFont&) = delete;
    zTrueTypeFont& operator=(const zTrueTypeFont&) = delete;

    // Single-line extent of a text walked byte by byte (no markup, no UTF-8),
    // "\n" bytes skipped, kerning included: (0, 0, width, height) in pixels at
    // the face's current pixel size. (0, 0, 0, 0) for a null font or text.
    static zPicture::Rect TextExtent(const char* text, zTrueTypeFont* font);

    // Sets the face's pixel size (width 0, height size); false when the size
    // is out of range or FreeType refuses it.
    bool SetPixelSize(int32_t size);
    int32_t GetPixelSize() const { return pixelSize; }
    uint32_t GetGlyphIndex(uint32_t codePoint);
    // The glyph at a pixel size, rendered on first use; null when it cannot load.
    const zGlyph* GetGlyph(int32_t size, uint32_t glyphIndex);
    const uint8_t* GetBitmap(const zGlyph& glyph) const { return bitmaps.data() + glyph.offset; }
    // Horizontal kerning of a glyph pair at a pixel size, 1/64 pixel; 0 (and
    // nothing kept) for a size the face does not take.
    int32_t GetKerning(int32_t size, uint32_t left, uint32_t right);
    // The face's size-metrics height at a pixel size, 1/64 pixel; 0 when unusable.
    int32_t GetLineHeight(int32_t size);

    // How many glyphs were rasterised: tests use it to see the cache at work.
    uint32_t GetRenderCount() const { return renderCount; }
    // A cache holding more than its new limit starts over at once.
    void SetCacheLimit(size_t bytes);
    // Heap bytes the glyph cache (records and bitmaps) and the kerning cache
    // hold now.
    size_t GetCacheBytes() const;
    size_t GetKerningCacheBytes() const;

    uint8_t* fileData = nullptr;
    uint32_t fileSize = 0;
    uint8_t useKerning = 1;
    FT_FaceRec_* face = nullptr;

private:
    static uint64_t Key(int32_t size, uint32_t index) { return (uint64_t(uint32_t(size)) << 32) | index; }
    // Empties a cache and gives its memory back.
    void StartGlyphsOver();
    void StartKerningOver();

    int32_t pixelSize = 0;
    bool hasKerning = false;
    uint32_t renderCount = 0;
    size_t cacheLimit = DefaultCacheBytes;
    uint32_t asciiIndex[128];
    std::unordered_map<uint64_t, zGlyph> glyphs;
    std::unordered_map<uint64_t, int32_t> kerning;
    std::unordered_map<int32_t, int32_t> lineHeights;
    std::vector<uint8_t> bitmaps;
};
