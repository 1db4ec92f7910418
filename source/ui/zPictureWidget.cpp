#include "ui/zPictureWidget.h"

#include "ui/zScene2D.h"

#include <algorithm>

void zPictureWidget::Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (hidden) {
        dirty = 0;
        return;
    }
    if (!dirty || picture == nullptr || picture->pixels == nullptr)
        return;
    const zPicture::Rect cell{x0, y0, x1, y1};
    const zPicture::Rect aligned = AlignRect(zPicture::Rect{0, 0, picture->width, picture->height}, cell);
    rect = aligned;
    dirty = 0;
    if (picture->format.bitsPerPixel != 32 || picture->format.isFloat || target.pixels == nullptr ||
        target.format.bitsPerPixel != 32 || target.format.isFloat)
        return;

    // The part of the picture inside the cell and the target.
    zPicture::Rect visible = IntersectRect(aligned, cell);
    visible = IntersectRect(visible, zPicture::Rect{0, 0, target.width, target.height});
    visible = IntersectRect(visible, zPicture::Rect{aligned.x0, aligned.y0, aligned.x0 + picture->width,
                                                    aligned.y0 + picture->height});
    for (int32_t y = visible.y0; y < visible.y1; ++y) {
        const uint8_t* in = picture->pixels + (size_t(y - aligned.y0) * size_t(picture->width) +
                                               size_t(visible.x0 - aligned.x0)) * 4;
        uint8_t* out = target.pixels + (size_t(y) * size_t(target.width) + size_t(visible.x0)) * 4;
        for (int32_t x = visible.x0; x < visible.x1; ++x, in += 4, out += 4) {
            const uint8_t sourceAlpha = in[3];
            if (sourceAlpha == 0)
                continue;
            const uint8_t targetAlpha = out[3];
            const uint8_t alpha = ComposeAlphaOver(targetAlpha, sourceAlpha);
            for (int c = 0; c < 3; ++c)
                out[c] = ComposeChannelOver(out[c], in[c], targetAlpha, sourceAlpha, alpha);
            out[3] = alpha;
        }
    }
}

zCanvasWidget::zCanvasWidget(zScene2D* owner, int32_t widgetId, int32_t width, int32_t height)
    : zPictureWidget(owner, widgetId)
{
    typeId = TypeCanvas;
    if (width > 0 && height > 0 && canvas.AllocAs(width, height, PixelFormatARGB32))
        picture = &canvas;
}

zBitmapWidget::zBitmapWidget(zScene2D* owner, int32_t widgetId, const char* path) : zPictureWidget(owner, widgetId)
{
    typeId = TypeBitmap;
    if (path != nullptr)
        SetPicture(path);
}

bool zBitmapWidget::SetPicture(const char* path)
{
    if (scene == nullptr)
        return false;
    zScene2DPicture* loaded = scene->LoadPicture(path);
    if (loaded == nullptr)
        return false;
    fileName = path;
    if (&loaded->picture != picture) {
        picture = &loaded->picture;
        Invalidate();
    }
    return true;
}
