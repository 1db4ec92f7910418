#include "ui/zSizer.h"

zSizer::zSizer(zScene2D* owner, int32_t widgetId, bool isVertical) : zWidget(owner, widgetId), vertical(isVertical)
{
    typeId = vertical ? TypeVerticalSizer : TypeHorizontalSizer;
}

zSizer::~zSizer()
{
    // Children are unhooked before deletion, so they do not reach back here.
    while (zLinkedListEntry* entry = children.GetFirst()) {
        children.Unlink(entry);
        auto* child = static_cast<zWidget*>(entry);
        child->parent = nullptr;
        delete child;
    }
}

bool zSizer::AddWidget(zWidget* widget)
{
    if (widget == nullptr || IsDescendantOf(widget))
        return false;
    if (widget->parent != this) {
        widget->DetachFromParent();
        widget->parent = this;
        children.Add(widget, true, true);
    }
    widget->SetWindow(window);
    Invalidate();
    return true;
}

void zSizer::ReleaseChild(zWidget* child)
{
    children.Unlink(child);
    Invalidate();
}

void zSizer::Invalidate()
{
    zLinkedListCursor cursor;
    while (auto* child = children.NextAs<zWidget>(cursor))
        child->Invalidate();
    dirty = 1;
}

zWidget* zSizer::GetNextChild(zWidgetCursor& cursor) const
{
    zLinkedListCursor listCursor{cursor.current, cursor.next};
    zLinkedListEntry* entry = children.Next(listCursor);
    cursor.current = listCursor.current;
    cursor.next = listCursor.next;
    return static_cast<zWidget*>(entry);
}

void zSizer::Update()
{
    zLinkedListCursor cursor;
    while (auto* child = children.NextAs<zWidget>(cursor)) {
        child->Update();
        if (child->dirty)
            dirty = 1;
    }
}

zFormattingSize zSizer::GetFormattingSize() const
{
    // Hidden children count here too: the size a nested sizer reports does
    // not change when one of its children hides.
    float across = 0.0f;
    float along = 0.0f;
    zLinkedListCursor cursor;
    while (auto* child = children.NextAs<zWidget>(cursor)) {
        const zFormattingSize s = child->GetFormattingSize();
        const float a = vertical ? s.x : s.y;
        across = a > across ? a : across;
        along += vertical ? s.y : s.x;
    }
    return vertical ? zFormattingSize{across * formattingSize.x, along * formattingSize.y}
                    : zFormattingSize{along * formattingSize.x, across * formattingSize.y};
}

void zSizer::Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (hidden) {
        dirty = 0;
        return;
    }
    if (!dirty || children.IsEmpty())
        return;
    const zPicture::Rect inner = InnerRect(x0, y0, x1, y1);
    rect = inner;

    auto share = [this](const zWidget* child) {
        const zFormattingSize s = child->GetFormattingSize();
        return vertical ? s.y : s.x;
    };
    float total = 0.0f;
    zLinkedListCursor cursor;
    while (auto* child = children.NextAs<zWidget>(cursor)) {
        if (!child->hidden)
            total += share(child);
    }
    const int32_t length = vertical ? inner.y1 - inner.y0 : inner.x1 - inner.x0;
    // Nothing to share by (no visible child with a weight): every cell is empty.
    const float unit = total > 0.0f ? float(length) / total : 0.0f;
    const int32_t start = vertical ? inner.y0 : inner.x0;

    if (drawDelimiter) {
        auto* first = static_cast<zWidget*>(children.GetFirst());
        int32_t position = start + int32_t(share(first) * unit);
        const zPicture::ClipRect clip{0.0f, 0.0f, float(target.width), float(target.height)};
        for (zLinkedListEntry* e = first->next; e != nullptr; e = e->next) {
            auto* child = static_cast<zWidget*>(e);
            if (child->hidden)
                continue;
            if (vertical)
                target.DrawLine(float(inner.x0), float(position), float(inner.x1), float(position), 1, 1, 1, 1, &clip);
            else
                target.DrawLine(float(position), float(inner.y0), float(position), float(inner.y1), 1, 1, 1, 1, &clip);
            position += int32_t(share(child) * unit);
        }
    }

    int32_t position = start;
    cursor = zLinkedListCursor{};
    while (auto* child = children.NextAs<zWidget>(cursor)) {
        if (child->hidden)
            continue;
        const int32_t end = position + int32_t(share(child) * unit);
        if (vertical)
            child->Draw(target, inner.x0, position, inner.x1, end);
        else
            child->Draw(target, position, inner.y0, end, inner.y1);
        position = end;
    }
    dirty = 0;
}
