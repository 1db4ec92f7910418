#include "InputFS.h"
#include "core/font/zRasterFont.h"
#include "core/zad/Tavrin.h"
#include "framework/filesystem/zStream.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>

// A raster font as a renderer loads it: the input up to its first NUL byte is
// the description "font.zml", the rest the first page picture "font_00.tga";
// every other page is missing. A font that loads measures text, and each
// page a glyph names within the page count has a texture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static Tavrin* core = new Tavrin;
    static fuzz_support::MemoryFS files;
    zStream::SetCurrentFS(&files);
    files.SplitInput(data, size, "font.zml", "font_00.tga");
    {
        zRasterFont font(core);
        if (font.Load("font.zml", "font")) {
            static const char text[] = "Tavrin raster font\nsecond line \x01\x7f\xff";
            volatile float width = font.GetTextWidth(text);
            (void)width;
            for (int c = 0; c < zRasterFont::GlyphCount; ++c) {
                const zRasterFont::Glyph* glyph = font.GetGlyph(char(c));
                if (glyph != nullptr && font.GetPageTexture(glyph->page) == nullptr && glyph->page >= 0
                    && glyph->page < font.GetPageCount())
                    __builtin_trap();
            }
            const char* next = nullptr;
            font.GetLineWidth(text, &next);
            if (next == nullptr)
                __builtin_trap();
        }
    }
    core->DeleteAllResources();
    return 0;
}
