#include "bfgt/picture/zPicture.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/system/zLogStream.h"
#include "ui/zScene2D.h"
#include "ui/zTextLayout.h"
#include "ui/zTrueTypeFont.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Input: two bytes of wrap width (little-endian), one byte of format (bits
// 0-1), alignment (bits 2-3) and size (bits 4-7), then the text. Any text lays
// out within the line table, every line moves forward, and drawing stays in
// the picture (the sanitizers watch the writes).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static const bool open = [] {
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        return zScene2D::OpenFontSystem();
    }();
    if (!open)
        __builtin_trap();
    if (size < 3)
        return 0;
    const int32_t wrapWidth = int32_t(data[0] | (data[1] << 8)) % 1200;
    zTextParameters parameters;
    parameters.font = zScene2D::GetDefaultFont();
    parameters.format = data[2] & 3;
    parameters.align = (data[2] >> 2) & 3;
    parameters.size = 6 + (data[2] >> 4) * 3;
    parameters.columnWidth = 1 + data[0] % 40;
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

    zTextMarkup markup;
    for (const char* p = text.c_str(); *p != 0; ++p) {
        const char* after = ParseTextMarkup(p, markup);
        if (after < p || (markup.kind == zTextMarkup::SyntaxError && after != p))
            __builtin_trap();
    }

    const zPicture::Rect area{0, 0, wrapWidth, 64};
    const zPicture::Rect extent = ComputeTextRect(text.c_str(), parameters, area);
    if (extent.x1 < 0 || extent.y1 < 0 || GlobalTextLines.count > zTextLineTable::Capacity)
        __builtin_trap();
    for (int32_t i = 1; i < GlobalTextLines.count; ++i) {
        if (GlobalTextLines.lines[i].start <= GlobalTextLines.lines[i - 1].start)
            __builtin_trap();
    }
    zPicture picture;
    picture.AllocAs(96, 48, PixelFormatARGB32);
    const zPicture::Rect placed{-8, -4, wrapWidth - 8, 60};
    RenderTextToPicture(picture, text.c_str(), parameters, placed, zPicture::Rect{-50, -50, 500, 500});
    zTrueTypeFont::TextExtent(text.c_str(), parameters.font);
    return 0;
}
