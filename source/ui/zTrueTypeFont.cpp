#include "ui/zTrueTypeFont.h"

#include "ui/zTextParameters.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

namespace {

// Heap bytes of a node map of entries over buckets: each node holds its entry,
// a link and the allocator's header, rounded to the allocator's 16 bytes; the
// bucket array is an allocation once it has more than the one bucket the map
// keeps inside itself.
template <class Map>
size_t NodeMapBytes(size_t entries, size_t buckets)
{
    constexpr size_t node = (sizeof(typename Map::value_type) + 2 * sizeof(void*) + 15) / 16 * 16;
    return entries * node + (buckets > 1 ? buckets * sizeof(void*) : 0);
}

template <class Map>
size_t HeldBytes(const Map& map)
{
    return NodeMapBytes<Map>(map.size(), map.bucket_count());
}

// What the map holds once it has one more entry: the insertion may grow the
// bucket array first, to a little over twice its count.
template <class Map>
size_t BytesWithOneMore(const Map& map)
{
    size_t buckets = map.bucket_count();
    if (double(map.size() + 1) > double(buckets) * double(map.max_load_factor()))
        buckets = buckets * 5 / 2 + 16;
    return NodeMapBytes<Map>(map.size() + 1, buckets);
}

} // namespace

bool zTextParameters::operator==(const zTextParameters& other) const
{
    return font == other.font && size == other.size && std::memcmp(color, other.color, sizeof(color)) == 0 &&
           format == other.format && align == other.align && columnWidth == other.columnWidth &&
           tracking == other.tracking && heading == other.heading;
}

zTrueTypeFont::zTrueTypeFont(const char* name, uint8_t* data, uint32_t size, FT_FaceRec_* ftFace)
    : zLinkedListIdEntry(name), fileData(data), fileSize(size), face(ftFace)
{
    hasKerning = face != nullptr && FT_HAS_KERNING(face);
    for (uint32_t& index : asciiIndex)
        index = UINT32_MAX;
}

zTrueTypeFont::~zTrueTypeFont()
{
    if (face != nullptr)
        FT_Done_Face(face);
    delete[] fileData;
}

bool zTrueTypeFont::SetPixelSize(int32_t size)
{
    if (face == nullptr || size < 1 || size > MaxPixelSize)
        return false;
    if (size == pixelSize)
        return true;
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) != 0) {
        pixelSize = 0;
        return false;
    }
    pixelSize = size;
    return true;
}

uint32_t zTrueTypeFont::GetGlyphIndex(uint32_t codePoint)
{
    if (face == nullptr)
        return 0;
    if (codePoint < 128) {
        if (asciiIndex[codePoint] == UINT32_MAX)
            asciiIndex[codePoint] = FT_Get_Char_Index(face, codePoint);
        return asciiIndex[codePoint];
    }
    return FT_Get_Char_Index(face, codePoint);
}

const zGlyph* zTrueTypeFont::GetGlyph(int32_t size, uint32_t glyphIndex)
{
    if (face == nullptr || size < 1 || size > MaxPixelSize)
        return nullptr;
    auto found = glyphs.find(Key(size, glyphIndex));
    if (found != glyphs.end())
        return found->second.loaded ? &found->second : nullptr;

    zGlyph rendered;
    if (!SetPixelSize(size) || FT_Load_Glyph(face, glyphIndex, FT_LOAD_RENDER) != 0) {
        // Remembered as failed, so it is not retried; the record counts
        // against the limit like any other.
        if (bitmaps.size() + BytesWithOneMore(glyphs) > cacheLimit)
            StartGlyphsOver();
        glyphs.emplace(Key(size, glyphIndex), rendered);
        return nullptr;
    }
    ++renderCount;
    const FT_GlyphSlot slot = face->glyph;
    rendered.advance = int32_t(slot->advance.x);
    rendered.metricsHeight = int32_t(slot->metrics.height);
    rendered.left = slot->bitmap_left;
    rendered.top = slot->bitmap_top;
    const FT_Bitmap& bitmap = slot->bitmap;
    const bool hasBitmap = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.buffer != nullptr;
    const size_t bytes = hasBitmap ? size_t(bitmap.width) * size_t(bitmap.rows) : 0;
    // Text that asks for many large glyphs starts the cache over rather than
    // growing without bound; glyphs handed out earlier are not used after
    // the next GetGlyph.
    if (bitmaps.size() + bytes + BytesWithOneMore(glyphs) > cacheLimit)
        StartGlyphsOver();
    if (hasBitmap) {
        rendered.width = int32_t(bitmap.width);
        rendered.rows = int32_t(bitmap.rows);
        rendered.offset = uint32_t(bitmaps.size());
        bitmaps.resize(bitmaps.size() + bytes);
        uint8_t* out = bitmaps.data() + rendered.offset;
        for (int32_t row = 0; row < rendered.rows; ++row) {
            const uint8_t* in = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
            std::memcpy(out + size_t(row) * size_t(rendered.width), in, size_t(rendered.width));
        }
    }
    rendered.loaded = true;
    return &glyphs.emplace(Key(size, glyphIndex), rendered).first->second;
}

int32_t zTrueTypeFont::GetKerning(int32_t size, uint32_t left, uint32_t right)
{
    if (!hasKerning || size < 1 || size > MaxPixelSize || left > 0xFFFF || right > 0xFFFF)
        return 0;
    const uint64_t key = (uint64_t(uint32_t(size)) << 32) | (uint64_t(left) << 16) | right;
    auto found = kerning.find(key);
    if (found != kerning.end())
        return found->second;
    // A size the face refuses is asked again each time rather than filling
    // the cache with zeros.
    if (!SetPixelSize(size))
        return 0;
    FT_Vector delta{0, 0};
    if (FT_Get_Kerning(face, left, right, FT_KERNING_DEFAULT, &delta) != 0)
        delta.x = 0;
    if (BytesWithOneMore(kerning) > cacheLimit / 4)
        StartKerningOver();
    kerning.emplace(key, int32_t(delta.x));
    return int32_t(delta.x);
}

void zTrueTypeFont::SetCacheLimit(size_t bytes)
{
    cacheLimit = bytes;
    if (GetCacheBytes() > cacheLimit)
        StartGlyphsOver();
    if (GetKerningCacheBytes() > cacheLimit / 4)
        StartKerningOver();
}

size_t zTrueTypeFont::GetCacheBytes() const
{
    return bitmaps.capacity() + HeldBytes(glyphs);
}

size_t zTrueTypeFont::GetKerningCacheBytes() const
{
    return HeldBytes(kerning);
}

void zTrueTypeFont::StartGlyphsOver()
{
    // clear() would keep the bucket array and the vector's capacity.
    decltype(glyphs)().swap(glyphs);
    decltype(bitmaps)().swap(bitmaps);
}

void zTrueTypeFont::StartKerningOver()
{
    decltype(kerning)().swap(kerning);
}

int32_t zTrueTypeFont::GetLineHeight(int32_t size)
{
    auto found = lineHeights.find(size);
    if (found != lineHeights.end())
        return found->second;
    if (!SetPixelSize(size))
        return 0;
    const int32_t height = int32_t(face->size->metrics.height);
    lineHeights.emplace(size, height);
    return height;
}

zPicture::Rect zTrueTypeFont::TextExtent(const char* text, zTrueTypeFont* font)
{
    zPicture::Rect extent{0, 0, 0, 0};
    if (font == nullptr || text == nullptr || font->face == nullptr)
        return extent;
    const int32_t size = font->pixelSize;
    int64_t width = 0;
    int32_t height = 0;
    uint32_t previous = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p == '\n')
            continue;
        const uint32_t index = font->GetGlyphIndex(*p);
        if (font->useKerning && index != 0 && previous != 0)
            width += font->GetKerning(size, previous, index);
        previous = index;
        const zGlyph* glyph = font->GetGlyph(size, index);
        if (glyph == nullptr)
            continue;
        width += glyph->advance;
        if (glyph->metricsHeight > height)
            height = glyph->metricsHeight;
    }
    extent.x1 = int32_t(width / 64);
    extent.y1 = height / 64;
    return extent;
}
