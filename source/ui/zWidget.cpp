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
    // In 64 bits, each edge saturating: a text may measure INT32_MAX high.
    const int64_t width = int64_t(content.x1) - content.x0;
    const int64_t height = int64_t(content.y1) - content.y0;
    int64_t x0 = cell.x0, y0 = cell.y0, x1 = cell.x0 + width, y1 = cell.y0 + height;
    switch (hAlign) {
    case AlignMiddle: {
        const int64_t shift = ((int64_t(cell.x1) - cell.x0) - width) / 2;
        x0 += shift;
        x1 += shift;
        break;
    }
    case AlignRight:
        x0 = cell.x1 - width;
        x1 = cell.x1;
        break;
    case AlignFill:
        x1 = cell.x1;
        break;
    default:
        break;
    }
    switch (vAlign) {
    case AlignMiddle: {
        const int64_t shift = ((int64_t(cell.y1) - cell.y0) - height) / 2;
        y0 += shift;
        y1 += shift;
        break;
    }
    case AlignBottom:
        y0 = cell.y1 - height;
        y1 = cell.y1;
        break;
    case AlignFill:
        y1 = cell.y1;
        break;
    default:
        break;
    }
    const auto edge = [](int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); };
    return zPicture::Rect{edge(x0), edge(y0), edge(x1), edge(y1)};
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
    } else if (window != nullptr && window->rootWidget == this) {
        // A root moving into a sizer or container leaves its window, which
        // would otherwise delete it a second time.
        window->rootWidget = nullptr;
        window->cacheDirty = 1;
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
