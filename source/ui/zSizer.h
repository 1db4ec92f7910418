#pragma once

#include "ui/zWidget.h"

// A row or column of widgets that shares its inner rectangle out among its
// visible children by their formatting sizes. Owns its children.
class zSizer : public zWidget {
public:
    zSizer(zScene2D* scene, int32_t id, bool vertical);
    ~zSizer() override;

    // Takes the widget as the last child (one already here stays where it is),
    // moving it out of any other sizer or container. False for null, for this
    // sizer itself or for one of its ancestors (that would make a loop).
    bool AddWidget(zWidget* widget);

    void Invalidate() override;
    int32_t GetChildCount() const override { return children.GetCount(); }
    zWidget* GetNextChild(zWidgetCursor& cursor) const override;
    void Update() override;
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
    zFormattingSize GetFormattingSize() const override;

    zLinkedList children;
    uint8_t drawDelimiter = 0;

protected:
    void ReleaseChild(zWidget* child) override;

private:
    bool vertical;
};

class zVerticalSizer : public zSizer {
public:
    zVerticalSizer(zScene2D* scene, int32_t id) : zSizer(scene, id, true) {}
};

class zHorizontalSizer : public zSizer {
public:
    zHorizontalSizer(zScene2D* scene, int32_t id) : zSizer(scene, id, false) {}
};
