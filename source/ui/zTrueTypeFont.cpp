#include "ui/zTrueTypeFont.h"

#include "framework/system/zLogStream.h"
#include "ui/zTextParameters.h"

#include <ft2build.h>
#include FT_FREETYPE_H

// Glyph boxes are read from outlines loaded without rendering.
#if FREETYPE_MAJOR < 2 || (FREETYPE_MAJOR == 2 && FREETYPE_MINOR < 10)
#error "FreeType 2.10 or later is needed: it sets the bitmap box of an outline it loads"
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

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

// Small bitmaps share blocks of a sixteenth of the limit (at most 64 KiB), so
// that a small limit still holds several; a bitmap over a quarter of a shared
// block gets a block of its own.
size_t SharedBlockBytes(size_t limit)
{
    return std::min<size_t>(size_t(64) << 10, limit / 16);
}

// Bits per pixel of a coverage layout. For the load flags used here FreeType
// hands back GRAY for rendered outlines and MONO, GRAY2, GRAY4 or GRAY for
// embedded bitmaps (colour ones come flattened to GRAY without
// FT_LOAD_COLOR; the LCD layouts only come from LCD targets); 0 for others.
int32_t CoverageBits(unsigned char pixelMode)
{
    switch (pixelMode) {
    case FT_PIXEL_MODE_MONO:
        return 1;
    case FT_PIXEL_MODE_GRAY2:
        return 2;
    case FT_PIXEL_MODE_GRAY4:
        return 4;
    case FT_PIXEL_MODE_GRAY:
        return 8;
    default:
        return 0;
    }
}

// Writes width x rows bytes of 8-bit coverage: each pixel's level, most
// significant bits first, scaled from 0..2^bits - 1 to 0..255. A negative
// pitch means the rows go up from the buffer's start.
void ConvertCoverage(const FT_Bitmap& bitmap, int32_t bits, uint8_t* out)
{
    const ptrdiff_t pitch = bitmap.pitch;
    const uint8_t* top = bitmap.buffer + (pitch < 0 ? -pitch * ptrdiff_t(bitmap.rows - 1) : 0);
    const uint32_t highest = (1u << bits) - 1;
    for (uint32_t row = 0; row < bitmap.rows; ++row, out += bitmap.width) {
        const uint8_t* in = top + ptrdiff_t(row) * pitch;
        if (bits == 8) {
            std::memcpy(out, in, bitmap.width);
            continue;
        }
        for (uint32_t x = 0; x < bitmap.width; ++x) {
            const uint32_t bit = x * uint32_t(bits);
            const uint32_t level = (uint32_t(in[bit / 8]) >> (8 - uint32_t(bits) - bit % 8)) & highest;
            out[x] = uint8_t(level * 255 / highest);
        }
    }
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
    const uint64_t key = Key(size, glyphIndex);
    auto found = glyphs.find(key);
    if (found != glyphs.end())
        return found->second.loaded ? &found->second : nullptr;
    // A glyph that fails to load is remembered as failed, so it is not retried.
    zGlyph glyph;
    LoadGlyph(size, glyphIndex, glyph);
    const zGlyph* kept = Keep(key, glyph, glyphs.end(), true);
    return kept->loaded ? kept : nullptr;
}

const zGlyph* zTrueTypeFont::GetRenderedGlyph(int32_t size, uint32_t glyphIndex)
{
    if (face == nullptr || size < 1 || size > MaxPixelSize)
        return nullptr;
    const uint64_t key = Key(size, glyphIndex);
    auto found = glyphs.find(key);
    if (found != glyphs.end() && (!found->second.loaded || found->second.rasterised))
        return found->second.loaded ? &found->second : nullptr;
    zGlyph glyph;
    if (!LoadGlyph(size, glyphIndex, glyph)) {
        Keep(key, glyph, found, true);
        return nullptr;
    }
    const bool made = Rasterise(glyphIndex, size, glyph, found);
    // A bitmap just made has its room; nothing may start over under it.
    const zGlyph* kept = Keep(key, glyph, found, !made);
    return kept->loaded ? kept : nullptr;
}

bool zTrueTypeFont::LoadGlyph(int32_t size, uint32_t glyphIndex, zGlyph& glyph)
{
    glyph = zGlyph{};
    if (!SetPixelSize(size))
        return false;
    ++loadCount;
    if (FT_Load_Glyph(face, glyphIndex, FT_LOAD_DEFAULT) != 0)
        return false;
    const FT_GlyphSlot slot = face->glyph;
    glyph.loaded = true;
    glyph.advance = int32_t(std::clamp<FT_Pos>(slot->advance.x, INT32_MIN, INT32_MAX));
    glyph.metricsHeight = int32_t(std::clamp<FT_Pos>(slot->metrics.height, INT32_MIN, INT32_MAX));
    // FreeType sets an outline's bitmap box when it loads it without
    // rendering, so where a glyph would draw, and how large its bitmap would
    // be, is known before anything is rasterised.
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = int32_t(std::min<unsigned int>(slot->bitmap.width, INT32_MAX));
    glyph.rows = int32_t(std::min<unsigned int>(slot->bitmap.rows, INT32_MAX));
    return true;
}

bool zTrueTypeFont::Rasterise(uint32_t glyphIndex, int32_t size, zGlyph& glyph, GlyphMap::iterator& found)
{
    glyph.rasterised = true;
    const size_t bytes = size_t(glyph.width) * size_t(glyph.rows);
    if (bytes == 0)
        return false;
    if (bytes > MaxGlyphBytes || bytes + BytesWithOneMore(GlyphMap()) > cacheLimit) {
        LogWarning("zTrueTypeFont::GetRenderedGlyph")
            << "Glyph " << unsigned(glyphIndex) << " of font '" << id << "' at size " << int(size)
            << " is too large to draw (" << int(glyph.width) << "x" << int(glyph.rows) << " pixels).\n";
        return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
        return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int32_t bits = CoverageBits(bitmap.pixel_mode);
    // The renderer fills the box it was given; anything else is not drawn.
    if (bitmap.buffer == nullptr || bits == 0 || bitmap.width != unsigned(glyph.width) ||
        bitmap.rows != unsigned(glyph.rows) ||
        std::abs(int64_t(bitmap.pitch)) < (int64_t(bitmap.width) * bits + 7) / 8)
        return false;
    ++renderCount;

    const auto needed = [&] {
        return BitmapCost(bytes) + (found == glyphs.end() ? BytesWithOneMore(glyphs) - HeldBytes(glyphs) : 0);
    };
    // Text that asks for many large glyphs starts the cache over rather than
    // growing without bound; glyphs handed out earlier are not used after
    // the next GetGlyph.
    if (GetCacheBytes() + needed() > cacheLimit) {
        StartGlyphsOver();
        found = glyphs.end();
        if (GetCacheBytes() + needed() > cacheLimit)
            return false;
    }
    uint8_t* out = AllocateBitmap(bytes);
    if (out == nullptr) {
        LogError("zTrueTypeFont::GetRenderedGlyph") << "Out of memory for a glyph bitmap of font '" << id << "'.\n";
        return false;
    }
    ConvertCoverage(bitmap, bits, out);
    glyph.bitmap = out;
    return true;
}

const zGlyph* zTrueTypeFont::Keep(uint64_t key, const zGlyph& glyph, GlyphMap::iterator found, bool mayStartOver)
{
    if (found != glyphs.end()) {
        found->second = glyph;
        return &found->second;
    }
    const auto fits = [&] { return GetCacheBytes() - HeldBytes(glyphs) + BytesWithOneMore(glyphs) <= cacheLimit; };
    if (!fits() && mayStartOver)
        StartGlyphsOver();
    if (!fits()) {
        unkept = glyph;
        return &unkept;
    }
    return &glyphs.emplace(key, glyph).first->second;
}

size_t zTrueTypeFont::BitmapCost(size_t bytes) const
{
    if (bytes == 0)
        return 0;
    const size_t shared = SharedBlockBytes(cacheLimit);
    size_t cost = 0;
    if (bytes > shared / 4)
        cost = bytes;
    else if (bytes > sharedRoom)
        cost = shared;
    // The block list grows to twice its length.
    if (cost != 0 && blocks.size() == blocks.capacity())
        cost += std::max<size_t>(blocks.size(), 1) * sizeof(blocks[0]);
    return cost;
}

uint8_t* zTrueTypeFont::AllocateBitmap(size_t bytes)
{
    const size_t shared = SharedBlockBytes(cacheLimit);
    const bool small = bytes <= shared / 4;
    if (small && bytes <= sharedRoom) {
        uint8_t* out = sharedCursor;
        sharedCursor += bytes;
        sharedRoom -= bytes;
        return out;
    }
    const size_t size = small ? shared : bytes;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
    if (block == nullptr)
        return nullptr;
    uint8_t* out = block.get();
    blocks.push_back(std::move(block));
    blockBytes += size;
    if (small) {
        sharedCursor = out + bytes;
        sharedRoom = size - bytes;
    }
    return out;
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
    return blockBytes + blocks.capacity() * sizeof(blocks[0]) + HeldBytes(glyphs);
}

size_t zTrueTypeFont::GetKerningCacheBytes() const
{
    return HeldBytes(kerning);
}

void zTrueTypeFont::StartGlyphsOver()
{
    // clear() would keep the bucket array and the block list's capacity.
    GlyphMap().swap(glyphs);
    decltype(blocks)().swap(blocks);
    blockBytes = 0;
    sharedCursor = nullptr;
    sharedRoom = 0;
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
    extent.x1 = int32_t(std::clamp<int64_t>(width / 64, INT32_MIN, INT32_MAX));
    extent.y1 = height / 64;
    return extent;
}
