#include "ui/zCheckWidget.h"

zCheckWidget::zCheckWidget(zScene2D* owner, int32_t widgetId, const char* text, bool initialState)
    : zWidget(owner, widgetId), box(owner, -1), label(owner, -1, text)
{
    typeId = TypeCheck;
    SetState(initialState);
}

void zCheckWidget::SetState(bool newState)
{
    state = newState ? 1 : 0;
    box.SetPicture(newState ? "ui/ui_check_true.tga" : "ui/ui_check_false.tga");
    Invalidate();
}

void zCheckWidget::Invalidate()
{
    box.Invalidate();
    label.Invalidate();
    dirty = 1;
}

void zCheckWidget::Update()
{
    box.Update();
    label.Update();
    if (box.dirty || label.dirty)
        dirty = 1;
}

void zCheckWidget::Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (hidden) {
        dirty = 0;
        return;
    }
    if (!dirty)
        return;
    const zPicture::Rect inner = InnerRect(x0, y0, x1, y1);
    rect = inner;
    // Without a box picture the box and the label share the whole inner rectangle.
    const bool hasBox = box.picture != nullptr && box.picture->pixels != nullptr;
    const int32_t split = hasBox ? inner.x0 + box.picture->width * 3 / 2 : inner.x0;
    box.Draw(target, inner.x0, inner.y0, hasBox ? split : inner.x1, inner.y1);
    label.Draw(target, split, inner.y0, inner.x1, inner.y1);
    dirty = 0;
}
