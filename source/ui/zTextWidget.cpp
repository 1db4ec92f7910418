#include "ui/zTextWidget.h"

#include "ui/zScene2D.h"
#include "ui/zTextLayout.h"
#include "ui/zTrueTypeFont.h"

#include <algorithm>
#include <cstring>

zTextWidget::zTextWidget(zScene2D* owner, int32_t widgetId, const char* initialText, zTrueTypeFont* font,
                         int32_t size)
    : zWidget(owner, widgetId), text(initialText)
{
    typeId = TypeText;
    hAlign = AlignFill;
    parameters.font = font != nullptr ? font : zScene2D::GetDefaultFont();
    parameters.size = size;
    for (int32_t& c : parameters.color)
        c = 255;
}

void zTextWidget::SetText(const char* newText)
{
    const char* current = text.Get() != nullptr ? text.Get() : "";
    if (std::strcmp(current, newText != nullptr ? newText : "") == 0)
        return;
    text.Assign(newText);
    Invalidate();
}

void zTextWidget::SetFont(zTrueTypeFont* font)
{
    if (font == parameters.font)
        return;
    parameters.font = font;
    Invalidate();
}

void zTextWidget::SetSize(int32_t size)
{
    if (parameters.font != nullptr)
        parameters.font->SetPixelSize(size);
    if (size == parameters.size)
        return;
    parameters.size = size;
    Invalidate();
}

void zTextWidget::SetColor(float r, float g, float b, float a)
{
    const float in[4] = {r, g, b, a};
    int32_t out[4];
    for (int i = 0; i < 4; ++i)
        out[i] = int32_t(std::clamp(in[i], 0.0f, 1.0f) * 255.0f);
    if (std::equal(out, out + 4, parameters.color))
        return;
    std::copy(out, out + 4, parameters.color);
    Invalidate();
}

void zTextWidget::SetParameters(const zTextParameters& newParameters)
{
    if (newParameters == parameters)
        return;
    parameters = newParameters;
    Invalidate();
}

void zTextWidget::Update()
{
    if (parameters.font == nullptr || !dirty)
        return;
    // Glyphs of other sizes may have been rendered since: measure at ours.
    parameters.font->SetPixelSize(parameters.size);
    rect = zTrueTypeFont::TextExtent(text.Get(), parameters.font);
}

void zTextWidget::Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (hidden) {
        dirty = 0;
        return;
    }
    const zPicture::Rect cell{x0, y0, x1, y1};
    const char* content = text.Get() != nullptr ? text.Get() : "";
    const zPicture::Rect laidOut = ComputeTextRect(content, parameters, cell);
    const zPicture::Rect placed = AlignRect(laidOut, cell);
    rect = RenderTextToPicture(target, content, parameters, placed, cell);
    dirty = 0;
}
