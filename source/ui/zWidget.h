#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/data_structure/zLinkedList.h"
#include "ui/zUIEvents.h"

#include <cstdint>

class zScene2D;
class zWindow;
struct zWidgetRecord;

// Iteration state of zWidget::GetNextChild: start from a default cursor; the
// next child is taken before the current one is worked on.
struct zWidgetCursor {
    zLinkedListEntry* current = nullptr;
    zLinkedListEntry* next = nullptr;
};

// Share weights of a widget inside a sizer.
struct zFormattingSize {
    float x = 1.0f;
    float y = 1.0f;
};

// Base of the widget family: a node of a window's widget tree that measures
// itself (Update), draws into the window's 32-bit cache picture (Draw, only
// while dirty), remembers where it drew (rect, for the hit test) and carries
// its event handlers. Widgets belong to their parent sizer or container, or to
// their window as its root; a widget in no tree belongs to whoever made it.
// Main thread only.
class zWidget : public zLinkedListEntry {
public:
    enum TypeId : int32_t {
        TypeBase = 0,
        TypeVerticalSizer = 2,
        TypeHorizontalSizer = 3,
        TypeContainer = 4,
        TypeSpacer = 5,
        TypeText = 6,
        TypeCanvas = 7,
        TypePicture = 8,
        TypeBitmap = 9,
        TypeCheck = 10,
    };
    // Alignment codes: horizontally 3 centres, 4 right, 6 fills, else left;
    // vertically 3 centres, 5 bottom, 6 fills, else top.
    enum Align : int32_t {
        AlignDefault = 0,
        AlignLeft = 1,
        AlignTop = 2,
        AlignMiddle = 3,
        AlignRight = 4,
        AlignBottom = 5,
        AlignFill = 6,
    };
    enum Margin : int32_t { MarginTop = 0, MarginBottom = 1, MarginLeft = 2, MarginRight = 3 };

    // scene may be null (a widget outside any scene); otherwise the widget
    // registers itself with it until destroyed.
    zWidget(zScene2D* scene, int32_t id);
    ~zWidget() override;
    zWidget(const zWidget&) = delete;
    zWidget& operator=(const zWidget&) = delete;

    // Marks the widget (and what it holds) for redrawing.
    virtual void Invalidate();
    virtual int32_t GetChildCount() const { return 0; }
    // The next child, or null at the end.
    virtual zWidget* GetNextChild(zWidgetCursor& cursor) const;
    // Measures; containers become dirty when a child is.
    virtual void Update() {}
    // Draws into the cell (x0, y0)-(x1, y1) of the target, in picture pixels;
    // nothing outside the cell or the picture is written.
    virtual void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    virtual zFormattingSize GetFormattingSize() const { return formattingSize; }

    // Sets the window on this widget and its whole subtree.
    void SetWindow(zWindow* newWindow);
    // This widget when its id matches, else the first match depth-first.
    zWidget* FindChild(int32_t childId);
    // The content rectangle moved into the cell and aligned by hAlign, vAlign.
    zPicture::Rect AlignRect(const zPicture::Rect& content, const zPicture::Rect& cell) const;
    // (x - rect.x0, y - rect.y0) through the window's inverse world matrix;
    // unchanged without a window.
    void GetScreenPosition(float& x, float& y) const;
    // True when ancestor is this widget or stands on its parent chain.
    bool IsDescendantOf(const zWidget* ancestor) const;
    // Unlinks the widget from its parent sizer or container without deleting it.
    void DetachFromParent();

    void SetHidden(bool hide);
    void SetAlignment(int32_t horizontal, int32_t vertical);
    void SetMargins(float top, float bottom, float left, float right);
    void SetFormattingSize(float x, float y);

    zUIEventHandlers handlers;
    int32_t typeId = TypeBase;
    zScene2D* scene = nullptr;
    int32_t id = -1;
    zPicture::Rect rect{0, 0, 0, 0};
    int32_t hAlign = AlignMiddle;
    int32_t vAlign = AlignMiddle;
    uint8_t hidden = 0;
    uint8_t dirty = 1;
    float margins[4] = {2.0f, 2.0f, 2.0f, 2.0f};
    zWidget* parent = nullptr;
    zWindow* window = nullptr;
    zFormattingSize formattingSize;

protected:
    friend class zScene2D;
    // A sizer or container lets go of a child that moves elsewhere.
    virtual void ReleaseChild(zWidget*) {}
    // The cell less the margins (truncated to whole pixels).
    zPicture::Rect InnerRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const;

    zWidgetRecord* registryRecord = nullptr;
};

// Leaf widget that takes space and draws nothing.
class zSpacerWidget : public zWidget {
public:
    zSpacerWidget(zScene2D* scene, int32_t id);
    void Draw(zPicture& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
};

// Intersection of two rectangles (empty ones come back with x1 <= x0 or y1 <= y0).
zPicture::Rect IntersectRect(const zPicture::Rect& a, const zPicture::Rect& b);
