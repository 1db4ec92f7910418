#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/data_structure/zLinkedList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

struct FT_FaceRec_;

// One glyph at one pixel size: FreeType's advance and metrics height (1/64
// pixel), and the box of its 8-bit coverage bitmap, placed by left and top.
// Measuring needs no bitmap: it is made when the glyph is first drawn.
struct zGlyph {
    bool loaded = false;
    // The bitmap was made, or refused; bitmap stays null for a refused glyph
    // and for one without ink.
    bool rasterised = false;
    int32_t advance = 0;
    int32_t metricsHeight = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t rows = 0;
    // width x rows coverage bytes, rows from the top, no padding.
    const uint8_t* bitmap = nullptr;
};

// A TrueType face read whole into memory; its name is the file's base name.
// Glyphs are loaded once per pixel size and glyph index, and rasterised once
// when drawn, and kept until the font is deleted, so measuring and drawing do
// not load or rasterise the same glyph twice; kerning pairs are kept the same
// way. Both caches count the heap bytes
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
    // A glyph whose bitmap would take more than this, or more than the glyph
    // cache can hold, is not rasterised: it takes its place and draws nothing.
    static constexpr size_t MaxGlyphBytes = size_t(16) << 20;

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
    // The glyph at a pixel size, loaded on first use but not rasterised; null
    // when it cannot load. Valid until the next GetGlyph or GetRenderedGlyph.
    const zGlyph* GetGlyph(int32_t size, uint32_t glyphIndex);
    // The same with its bitmap, rasterised on first use.
    const zGlyph* GetRenderedGlyph(int32_t size, uint32_t glyphIndex);
    // Horizontal kerning of a glyph pair at a pixel size, 1/64 pixel; 0 (and
    // nothing kept) for a size the face does not take.
    int32_t GetKerning(int32_t size, uint32_t left, uint32_t right);
    // The face's size-metrics height at a pixel size, 1/64 pixel; 0 when unusable.
    int32_t GetLineHeight(int32_t size);

    // How many glyphs were loaded from the face and how many rasterised:
    // tests use them to see the cache at work.
    uint32_t GetLoadCount() const { return loadCount; }
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
    using GlyphMap = std::unordered_map<uint64_t, zGlyph>;

    static uint64_t Key(int32_t size, uint32_t index) { return (uint64_t(uint32_t(size)) << 32) | index; }
    // Loads a glyph into the face's slot (not rendered) and reads its metrics
    // and bitmap box; false when it cannot load.
    bool LoadGlyph(int32_t size, uint32_t glyphIndex, zGlyph& glyph);
    // Makes the bitmap of the glyph in the slot; false when it is refused or
    // cannot be made. found is the glyph's record, or the map's end.
    bool Rasterise(uint32_t glyphIndex, int32_t size, zGlyph& glyph, GlyphMap::iterator& found);
    // Stores a glyph in its record (found) or a new one; a new record that
    // does not fit starts the cache over when mayStartOver, else the glyph
    // is handed out unkept.
    const zGlyph* Keep(uint64_t key, const zGlyph& glyph, GlyphMap::iterator found, bool mayStartOver);
    // The bytes a bitmap adds to the blocks, and the bytes taken from them.
    size_t BitmapCost(size_t bytes) const;
    uint8_t* AllocateBitmap(size_t bytes);
    // Empties a cache and gives its memory back.
    void StartGlyphsOver();
    void StartKerningOver();

    int32_t pixelSize = 0;
    bool hasKerning = false;
    uint32_t loadCount = 0;
    uint32_t renderCount = 0;
    size_t cacheLimit = DefaultCacheBytes;
    uint32_t asciiIndex[128];
    GlyphMap glyphs;
    // A glyph the cache has no room for even when empty.
    zGlyph unkept;
    std::unordered_map<uint64_t, int32_t> kerning;
    std::unordered_map<int32_t, int32_t> lineHeights;
    // Bitmaps live in blocks: small ones packed into shared blocks, larger
    // ones in a block each, all freed together when the cache starts over.
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    size_t blockBytes = 0;
    uint8_t* sharedCursor = nullptr;
    size_t sharedRoom = 0;
};
