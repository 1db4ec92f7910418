#include "ui/zContainerWidget.h"

#include "framework/system/zLogStream.h"

#include <new>

zContainerWidget::zContainerWidget(zScene2D* owner, int32_t widgetId) : zWidget(owner, widgetId)
{
    typeId = TypeContainer;
}

zContainerWidget::~zContainerWidget()
{
    while (auto* cell = static_cast<zContainerCell*>(cells.GetFirst())) {
        cells.Unlink(cell);
        zWidget* widget = cell->widget;
        delete cell;
        if (widget == nullptr)
            continue;
        // A widget held by several cells is deleted once.
        for (zLinkedListEntry* e = cells.GetFirst(); e != nullptr; e = e->next) {
            auto* other = static_cast<zContainerCell*>(e);
            if (other->widget == widget)
                other->widget = nullptr;
        }
        widget->parent = nullptr;
        delete widget;
    }
}

zWidget* zContainerWidget::Add(zWidget* widget, const zPicture::Rect& cellRect)
{
    if (widget == nullptr) {
        LogError("zContainerWidget::Add") << "Cannot create a cell for a NULL widget.\n";
        return nullptr;
    }
    if (IsDescendantOf(widget))
        return nullptr;
    auto* cell = new (std::nothrow) zContainerCell;
    if (cell == nullptr) {
        LogError("zContainerWidget::Add") << "Failed to allocate new container cell.\n";
        return nullptr;
    }
    if (widget->parent != this) {
        widget->DetachFromParent();
        widget->parent = this;
    }
    cell->x0 = cellRect.x0;
    cell->y0 = cellRect.y0;
    cell->x1 = cellRect.x1;
    cell->y1 = cellRect.y1;
    cell->widget = widget;
    cells.Add(cell, true, true);
    widget->SetWindow(window);
    Invalidate();
    return widget;
}

zContainerCell* zContainerWidget::FindCell(const zWidget* widget) const
{
    for (zLinkedListEntry* e = cells.GetFirst(); e != nullptr; e = e->next) {
        auto* cell = static_cast<zContainerCell*>(e);
        if (cell->widget == widget)
            return cell;
    }
    return nullptr;
}

void zContainerWidget::ReleaseChild(zWidget* child)
{
    zLinkedListCursor cursor;
    while (auto* cell = cells.NextAs<zContainerCell>(cursor)) {
        if (cell->widget == child)
            cells.Remove(cell, true);
    }
    Invalidate();
}

void zContainerWidget::Invalidate()
{
    zLinkedListCursor cursor;
    while (auto* cell = cells.NextAs<zContainerCell>(cursor)) {
        if (cell->widget != nullptr)
            cell->widget->Invalidate();
    }
    dirty = 1;
}

zWidget* zContainerWidget::GetNextChild(zWidgetCursor& cursor) const
{
    zLinkedListCursor listCursor{cursor.current, cursor.next};
    zLinkedListEntry* entry = cells.Next(listCursor);
    cursor.current = listCursor.current;
    cursor.next = listCursor.next;
    return entry != nullptr ? static_cast<zContainerCell*>(entry)->widget : nullptr;
}

void zContainerWidget::Update()
{
    zLinkedListCursor cursor;
    while (auto* cell = cells.NextAs<zContainerCell>(cursor)) {
        if (cell->widget == nullptr)
            continue;
        cell->widget->Update();
        if (cell->widget->dirty)
            dirty = 1;
    }
}

void zContainerWidget::Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (hidden) {
        dirty = 0;
        return;
    }
    if (!dirty || cells.IsEmpty())
        return;
    rect = zPicture::Rect{x0, y0, x1, y1};
    zLinkedListCursor cursor;
    while (auto* cell = cells.NextAs<zContainerCell>(cursor)) {
        if (cell->widget == nullptr || cell->widget->hidden)
            continue;
        cell->widget->Draw(target, cell->x0 + x0, cell->y0 + y0, cell->x1 + x0, cell->y1 + y0);
    }
    dirty = 0;
}
