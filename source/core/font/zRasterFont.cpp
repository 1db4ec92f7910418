#include "core/font/zRasterFont.h"

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <new>

namespace {

// "PageCount", "Page" and "Id" must be integer tags; anything else reads as -999.
int32_t ReadInteger(const zMetaTag* tag)
{
    return tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}

} // namespace

zRasterFont::Page::~Page()
{
    if (owned)
        delete texture;
}

zRasterFont::zRasterFont(Tavrin* owner) : core(owner)
{
}

zRasterFont::~zRasterFont()
{
    Free();
}

void zRasterFont::Free()
{
    pages.Clear(true);
    for (Glyph& glyph : glyphs)
        glyph = Glyph();
}

bool zRasterFont::Load(const char* descriptionPath, const char* base)
{
    zModuleTagScope module(1);
    Free();
    // Nothing of a previous font may outlive a failed load.
    path.Assign("");
    height = 0.0f;
    baseLine = 0.0f;
    int32_t pageCount = 1;
    if (!ReadDescription(descriptionPath != nullptr ? descriptionPath : "", pageCount) ||
        !LoadPages(base != nullptr ? base : "", pageCount)) {
        Free();
        height = 0.0f;
        baseLine = 0.0f;
        return false;
    }
    path.Assign(descriptionPath);
    return true;
}

bool zRasterFont::ReadDescription(const char* file, int32_t& pageCount)
{
    zMetaFile document;
    if (*file == '\0' || !zMetaParser::Load(file, &document)) {
        LogError("zRasterFont::Load") << "failed to load raster font description file '" << file << "'.\n";
        return false;
    }
    const zMetaTag* common = document.GetTag("Font:Common;");
    const zMetaTag* font = document.GetTag("Font;");
    if (common == nullptr || font == nullptr) {
        LogError("zRasterFont::Load") << "Missing base tag in font description ('" << file << "').\n";
        return false;
    }

    zLinkedListCursor header;
    while (const zMetaTag* tag = common->NextChild(header, &document)) {
        if (tag->GetName() == "Height") {
            height = tag->GetFloat();
        } else if (tag->GetName() == "BaseLine") {
            baseLine = tag->GetFloat();
        } else if (tag->GetName() == "PageCount") {
            pageCount = ReadInteger(tag);
        } else {
            LogWarning("zRasterFont::Load") << "Unexpected tag in font description header ('" << tag->GetName()
                                            << "').\n";
        }
    }
    // The count comes from the file: each page is a texture load.
    if (pageCount < 0 || pageCount > MaxPageCount) {
        const int32_t capped = pageCount < 0 ? 0 : MaxPageCount;
        LogWarning("zRasterFont::Load") << "Invalid page count " << pageCount << " in font '" << file << "', using "
                                        << capped << ".\n";
        pageCount = capped;
    }

    zLinkedListCursor chars;
    while (const zMetaTag* tag = font->NextChild(chars, &document)) {
        if (tag->GetName() != "Char")
            continue;
        const zMetaTag* idTag = tag->FindChild("Id");
        const int32_t id = idTag != nullptr ? ReadInteger(idTag) : -1;
        if (id < 0 || id >= GlyphCount) {
            LogWarning("zRasterFont::Load") << "Glyph with no or invalid ID in font '" << file << "', skipping.\n";
            continue;
        }
        Glyph& glyph = glyphs[id];
        glyph.defined = 1;
        glyph.page = 0;
        zLinkedListCursor fields;
        while (const zMetaTag* field = tag->NextChild(fields, &document)) {
            const zString& name = field->GetName();
            if (name == "U") {
                glyph.u = field->GetFloat();
            } else if (name == "V") {
                glyph.v = field->GetFloat();
            } else if (name == "W") {
                glyph.w = field->GetFloat();
            } else if (name == "H") {
                glyph.h = field->GetFloat();
            } else if (name == "OffsetU") {
                glyph.offsetU = field->GetFloat();
            } else if (name == "OffsetV") {
                glyph.offsetV = field->GetFloat();
            } else if (name == "Step") {
                glyph.step = field->GetFloat();
            } else if (name == "Page") {
                const int32_t page = ReadInteger(field);
                // A negative page would index the page list from its front backwards.
                if (page < 0 || page >= pageCount) {
                    LogWarning("zRasterFont::Load") << "Invalid glyph page in font '" << file << "' (Glyph #" << id
                                                    << "), skipping.\n";
                    glyph = Glyph();
                    break;
                }
                glyph.page = page;
            }
        }
    }

    if (glyphs[uint8_t(' ')].defined == 0)
        LogWarning("zRasterFont::Load") << "No space character in font '" << file << "'.\n";
    return true;
}

bool zRasterFont::LoadPages(const char* base, int32_t pageCount)
{
    for (int32_t i = 0; i < pageCount; ++i) {
        auto* page = new (std::nothrow) Page;
        if (page == nullptr) {
            LogError("zRasterFont::Load") << "Failed to allocate raster font page.\n";
            return false;
        }
        pages.Append(page);
        const zString name = zString::Format("%s_%02d.tga", base, int(i));
        page->texture = core != nullptr ? core->LoadTexture(name.Get(), true, false, 0.5f, false) : nullptr;
        if (page->texture == nullptr) {
            LogError("zRasterFont::Load") << "Failed to allocate raster font page texture '" << base << "'.\n";
            return false;
        }
        // A page the cache already held (or that the missing-resource hook
        // mapped onto a cached texture) stays the cache's; deleting it with the
        // font would leave the cache and its other users with a dead texture.
        page->owned = !core->GetTextures().Contains(page->texture);
    }
    return true;
}

zTexture* zRasterFont::GetPageTexture(int32_t index) const
{
    if (index < 0 || index >= pages.GetCount())
        return nullptr;
    return pages.GetAs<Page>(index)->texture;
}

const zRasterFont::Glyph* zRasterFont::GetGlyph(char character) const
{
    const Glyph& glyph = glyphs[static_cast<unsigned char>(character)];
    return glyph.defined != 0 ? &glyph : nullptr;
}

float zRasterFont::GetLineWidth(const char* text, const char** next) const
{
    float width = 0.0f;
    const char* p = text;
    if (p != nullptr) {
        for (; *p != '\0' && *p != '\n'; ++p) {
            if (const Glyph* glyph = GetGlyph(*p))
                width += glyph->step;
        }
        if (*p == '\n')
            ++p;
    }
    if (next != nullptr)
        *next = p;
    return width;
}

float zRasterFont::GetTextWidth(const char* text) const
{
    if (text == nullptr || *text == '\0')
        return 0.0f;
    const char* line = text;
    float widest = GetLineWidth(line, &line);
    while (*line != '\0') {
        const float width = GetLineWidth(line, &line);
        if (width > widest)
            widest = width;
    }
    return widest;
}
