#include "ui/zWidget.h"

#include "framework/math/zVector.h"
#include "script/SqSafePtr.h"
#include "ui/zScene2D.h"
#include "ui/zWindow.h"

#include <algorithm>

zPicture::Rect IntersectRect(const zPicture::Rect& a, const zPicture::Rect& b)
{
    return zPicture::Rect{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

zWidget::zWidget(zScene2D* owner, int32_t widgetId) : scene(owner), id(widgetId)
{
    if (scene != nullptr)
        scene->RegisterWidget(this);
}

zWidget::~zWidget()
{
    SqSafePtrInvalidate(this);
    DetachFromParent();
    if (window != nullptr && window->rootWidget == this)
        window->rootWidget = nullptr;
    if (scene != nullptr) {
        scene->ForgetWidget(this);
        scene->UnregisterWidget(this);
    }
}

void zWidget::Invalidate()
{
    dirty = 1;
}

zWidget* zWidget::GetNextChild(zWidgetCursor&) const
{
    return nullptr;
}

void zWidget::Draw(zPicture&, int32_t, int32_t, int32_t, int32_t)
{
    dirty = 0;
}

void zWidget::SetWindow(zWindow* newWindow)
{
    window = newWindow;
    zWidgetCursor cursor;
    while (zWidget* child = GetNextChild(cursor))
        child->SetWindow(newWindow);
}

zWidget* zWidget::FindChild(int32_t childId)
{
    if (id == childId)
        return this;
    zWidgetCursor cursor;
    while (zWidget* child = GetNextChild(cursor)) {
        if (zWidget* found = child->FindChild(childId))
            return found;
    }
    return nullptr;
}

zPicture::Rect zWidget::AlignRect(const zPicture::Rect& content, const zPicture::Rect& cell) const
{
    const int32_t width = content.x1 - content.x0;
    const int32_t height = content.y1 - content.y0;
    zPicture::Rect r{cell.x0, cell.y0, cell.x0 + width, cell.y0 + height};
    switch (hAlign) {
    case AlignMiddle: {
        const int32_t shift = ((cell.x1 - cell.x0) - width) / 2;
        r.x0 += shift;
        r.x1 += shift;
        break;
    }
    case AlignRight:
        r.x0 = cell.x1 - width;
        r.x1 = cell.x1;
        break;
    case AlignFill:
        r.x1 = cell.x1;
        break;
    default:
        break;
    }
    switch (vAlign) {
    case AlignMiddle: {
        const int32_t shift = ((cell.y1 - cell.y0) - height) / 2;
        r.y0 += shift;
        r.y1 += shift;
        break;
    }
    case AlignBottom:
        r.y0 = cell.y1 - height;
        r.y1 = cell.y1;
        break;
    case AlignFill:
        r.y1 = cell.y1;
        break;
    default:
        break;
    }
    return r;
}

void zWidget::GetScreenPosition(float& x, float& y) const
{
    if (window == nullptr)
        return;
    const zVector in(x - float(rect.x0), y - float(rect.y0), 1.0f);
    zVector out;
    window->inverseWorldMatrix.TransformArray(&out, &in, 1);
    x = out.x;
    y = out.y;
}

bool zWidget::IsDescendantOf(const zWidget* ancestor) const
{
    for (const zWidget* w = this; w != nullptr; w = w->parent) {
        if (w == ancestor)
            return true;
    }
    return false;
}

void zWidget::DetachFromParent()
{
    if (parent != nullptr) {
        zWidget* holder = parent;
        parent = nullptr;
        holder->ReleaseChild(this);
    }
}

void zWidget::SetHidden(bool hide)
{
    hidden = hide ? 1 : 0;
    Invalidate();
    // The parent shares its space out again.
    if (parent != nullptr)
        parent->Invalidate();
}

void zWidget::SetAlignment(int32_t horizontal, int32_t vertical)
{
    hAlign = horizontal;
    vAlign = vertical;
    Invalidate();
}

void zWidget::SetMargins(float top, float bottom, float left, float right)
{
    margins[MarginTop] = top;
    margins[MarginBottom] = bottom;
    margins[MarginLeft] = left;
    margins[MarginRight] = right;
    Invalidate();
}

void zWidget::SetFormattingSize(float x, float y)
{
    formattingSize = zFormattingSize{x, y};
    Invalidate();
    if (parent != nullptr)
        parent->Invalidate();
}

zPicture::Rect zWidget::InnerRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const
{
    return zPicture::Rect{x0 + int32_t(margins[MarginLeft]), y0 + int32_t(margins[MarginTop]),
                          x1 - int32_t(margins[MarginRight]), y1 - int32_t(margins[MarginBottom])};
}

zSpacerWidget::zSpacerWidget(zScene2D* owner, int32_t widgetId) : zWidget(owner, widgetId)
{
    typeId = TypeSpacer;
    formattingSize = zFormattingSize{0.5f, 0.5f};
}

void zSpacerWidget::Draw(zPicture&, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    rect = zPicture::Rect{x0, y0, x1, y1};
    dirty = 0;
}
