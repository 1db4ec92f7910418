#pragma once

#include "ui/zWidget.h"

// A cell of a container: a rectangle in pixels, relative to the container's cell.
class zContainerCell : public zLinkedListEntry {
public:
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    zWidget* widget = nullptr;
};

// Places widgets at fixed rectangles. Owns its cells and their widgets.
class zContainerWidget : public zWidget {
public:
    zContainerWidget(zScene2D* scene, int32_t id);
    ~zContainerWidget() override;

    // A new cell holding the widget at rect, which the container then owns;
    // the widget leaves any other sizer or container, or the window it was
    // the root of. Null for a null widget, an embedded one or one that would
    // make a loop.
    zWidget* Add(zWidget* widget, const zPicture::Rect& cellRect);
    // The first cell holding the widget, or null.
    zContainerCell* FindCell(const zWidget* widget) const;

    void Invalidate() override;
    int32_t GetChildCount() const override { return cells.GetCount(); }
    zWidget* GetNextChild(zWidgetCursor& cursor) const override;
    void Update() override;
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;

    zLinkedList cells;

protected:
    void ReleaseChild(zWidget* child) override;
};
