#include "ui/zScene2D.h"

#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"
#include "ui/zTrueTypeFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <new>

namespace {

FT_Library fontLibrary = nullptr;
bool fontSystemOpen = false;
zTrueTypeFont* defaultFont = nullptr;

} // namespace

zLinkedListId& zScene2D::GetFontList()
{
    static zLinkedListId fonts;
    return fonts;
}

bool zScene2D::IsFontSystemOpen()
{
    return fontSystemOpen;
}

bool zScene2D::OpenFontSystem()
{
    if (fontSystemOpen)
        return true;
    if (FT_Init_FreeType(&fontLibrary) != 0) {
        fontLibrary = nullptr;
        LogError("zScene2D::OpenFontSystem") << "Failed to open font system.\n";
        return false;
    }
    fontSystemOpen = true;
    zTrueTypeFont* font = OpenFont("default.ttf");
    if (font == nullptr) {
        CloseFontSystem();
        LogError("zScene2D::OpenFontSystem") << "Failed to open default system font.\n";
        return false;
    }
    GetFontList().Unlink(font);
    defaultFont = font;
    return true;
}

void zScene2D::CloseFontSystem()
{
    if (!fontSystemOpen)
        return;
    GetFontList().Clear(true);
    delete defaultFont;
    defaultFont = nullptr;
    FT_Done_FreeType(fontLibrary);
    fontLibrary = nullptr;
    fontSystemOpen = false;
}

zTrueTypeFont* zScene2D::OpenFont(const char* path)
{
    if (!fontSystemOpen || path == nullptr)
        return nullptr;
    zLinkedListId& fonts = GetFontList();
    if (fonts.FindByName(path) != nullptr)
        return nullptr;

    char* data = nullptr;
    const uint32_t size = zStream::LoadFile(path, data);
    FT_Face face = nullptr;
    if (data == nullptr || size == 0 ||
        FT_New_Memory_Face(fontLibrary, reinterpret_cast<const FT_Byte*>(data), FT_Long(size), 0, &face) != 0) {
        delete[] data;
        LogError("zScene2D::OpenFont") << "Failed to open font file '" << path << "'.\n";
        return nullptr;
    }
    zString name(path);
    name.StripDirectoryAndExtension();
    auto* font = new (std::nothrow) zTrueTypeFont(name.Get(), reinterpret_cast<uint8_t*>(data), size, face);
    if (font == nullptr) {
        FT_Done_Face(face);
        delete[] data;
        LogError("zScene2D::OpenFont") << "failed to allocate a new entry to hold font '" << path << "'.\n";
        return nullptr;
    }
    fonts.Append(font);
    GlobalLog << "Font '" << path << "' loaded as '" << name << "'.\n";
    return font;
}

zTrueTypeFont* zScene2D::GetFont(const char* name)
{
    if (name != nullptr) {
        if (auto* font = static_cast<zTrueTypeFont*>(GetFontList().FindByName(name)))
            return font;
    }
    return defaultFont;
}

zTrueTypeFont* zScene2D::GetDefaultFont()
{
    return defaultFont;
}
