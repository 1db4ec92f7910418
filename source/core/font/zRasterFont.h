#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/tools/zString.h"

#include <cstdint>

class Tavrin;
class zTexture;

// A bitmap font: up to 256 glyphs, each a rectangle on one of its page
// textures, described by a ZML file whose pages are TGA pictures named after a
// base name ("base_00.tga", "base_01.tga", ...). The renderer draws text with
// it; the core measures text with it.
class zRasterFont {
public:
    static constexpr int32_t GlyphCount = 256;
    // More pages than glyphs could never be used; larger counts are capped.
    static constexpr int32_t MaxPageCount = 256;

    // An undefined glyph has every field 0.
    struct Glyph {
        uint8_t defined = 0;
        float u = 0.0f;
        float v = 0.0f;
        float w = 0.0f;
        float h = 0.0f;
        float offsetU = 0.0f;
        float offsetV = 0.0f;
        float step = 0.0f;
        int32_t page = 0;
    };

    explicit zRasterFont(Tavrin* owner);
    ~zRasterFont();
    zRasterFont(const zRasterFont&) = delete;
    zRasterFont& operator=(const zRasterFont&) = delete;

    // Deletes the pages with their textures and clears every glyph.
    void Free();
    // Reads the description at path and the pages named after base; on an
    // error the font is left empty.
    bool Load(const char* path, const char* base);

    // Null when index is not a page of the font; the font (or the core's
    // texture cache) keeps the texture.
    zTexture* GetPageTexture(int32_t index) const;
    int32_t GetPageCount() const { return pages.GetCount(); }
    // The glyph of the character's byte value, or null when it is undefined.
    const Glyph* GetGlyph(char character) const;
    // The sum of the steps of the defined glyphs up to the first '\n' or the
    // end; next receives the start of the following line (or the end).
    float GetLineWidth(const char* text, const char** next = nullptr) const;
    // The widest line of the text; 0 for an empty text.
    float GetTextWidth(const char* text) const;

    Tavrin* core;
    float baseLine = 0.0f;
    float height = 0.0f;
    // The description file of the loaded font; empty while none is loaded.
    zString path;

private:
    class Page : public zLinkedListEntry {
    public:
        ~Page() override;
        zTexture* texture = nullptr;
        // A texture the loader found in the core's cache belongs to the cache.
        bool owned = false;
    };

    bool ReadDescription(const char* path, int32_t& pageCount);
    bool LoadPages(const char* base, int32_t pageCount);

    zLinkedList pages;
    Glyph glyphs[GlyphCount];
};
