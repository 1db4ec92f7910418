#include "SceneTestSupport.h"

#include "ui/zSizer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Seen = std::vector<std::pair<const void*, int32_t>>;

// A window at (100, 100) of 200 x 100 whose root row holds two spacers, A on
// the left half and B on the right; a cursor window makes the mouse count.
class MouseRouting : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        const float position[2] = {100.0f, 100.0f};
        const float size[2] = {200.0f, 100.0f};
        window = new zWindow(scene.get(), nullptr, 1, "Panel", position, size);
        row = new zHorizontalSizer(scene.get(), 10);
        row->SetMargins(0, 0, 0, 0);
        a = new zSpacerWidget(scene.get(), 11);
        b = new zSpacerWidget(scene.get(), 12);
        row->AddWidget(a);
        row->AddWidget(b);
        window->SetBaseWidget(row);
        scene->SetCursor("ui/ui_check_false.tga");
        ASSERT_NE(scene->cursorWindow, nullptr);
        Frame(700, 700); // lays the window out
        Frame(700, 700); // and hit-tests it where it now is
        ASSERT_EQ(a->rect.x1, 100);
        ASSERT_EQ(scene->mouseNow.window, nullptr);
    }

    zWindow* window = nullptr;
    zHorizontalSizer* row = nullptr;
    zSpacerWidget* a = nullptr;
    zSpacerWidget* b = nullptr;
};

TEST_F(MouseRouting, PressAndReleaseOnOneWidgetIsAClick)
{
    Listen(a);
    Frame(150, 150);
    Take();
    Frame(150, 150, true);
    EXPECT_EQ(Take(), (Seen{{a, UIEventLeftMouseDown}}));
    Frame(150, 150, false);
    EXPECT_EQ(Take(), (Seen{{a, UIEventLeftMouseClick}}));
}

TEST_F(MouseRouting, ReleaseElsewhereOrAfterLeavingIsAnUp)
{
    Listen(a);
    Listen(b);
    Frame(150, 150);
    Frame(150, 150, true);
    Frame(250, 150, true);
    Take();
    Frame(250, 150, false);
    EXPECT_EQ(Take(), (Seen{{b, UIEventLeftMouseUp}})) << "pressed on A, released on B";

    // Back on A for the release, but the frame before it was on B.
    Frame(150, 150, true);
    Frame(250, 150, true);
    Take();
    input.x = 150;
    Frame(150, 150, false);
    const Seen seen = Take();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), (std::pair<const void*, int32_t>{a, UIEventLeftMouseUp}));
}

TEST_F(MouseRouting, EventsBubbleToTheParentThenTheWindow)
{
    Listen(window);
    Frame(150, 150);
    Take();
    Frame(150, 150, true);
    Frame(150, 150);
    Seen seen = Take();
    EXPECT_EQ(seen, (Seen{{window, UIEventLeftMouseDown}, {window, UIEventLeftMouseClick}}));
    ASSERT_FALSE(events.empty() && seen.empty());

    // A handler on the row takes the child's events before the window.
    row->handlers.SetHandler(UIEventLeftMouseClick, std::make_shared<RecordingHandler>(events, row));
    Frame(150, 150, true);
    Frame(150, 150);
    seen = Take();
    EXPECT_EQ(seen, (Seen{{window, UIEventLeftMouseDown}, {row, UIEventLeftMouseClick}}));
}

TEST_F(MouseRouting, HandlerStopsBubblingWhateverItReturns)
{
    Listen(window);
    a->handlers.SetHandler(UIEventLeftMouseDown, std::make_shared<RecordingHandler>(events, a));
    Frame(150, 150);
    Take();
    Frame(150, 150, true);
    EXPECT_EQ(Take(), (Seen{{a, UIEventLeftMouseDown}}));
}

TEST_F(MouseRouting, WidgetEventsCarryTheCursorAndButtons)
{
    Listen(a);
    Frame(150, 160);
    events.clear();
    Frame(150, 160, true);
    ASSERT_EQ(events.size(), 1u);
    const zUIEventArgs& args = events[0].args;
    EXPECT_EQ(args.window, window);
    EXPECT_EQ(args.widget, a);
    EXPECT_EQ(args.id, 11);
    EXPECT_EQ(args.cursorId, 0);
    EXPECT_NEAR(args.x, 150, 1);
    EXPECT_NEAR(args.y, 160, 1);
    EXPECT_TRUE(args.leftDown);
    EXPECT_FALSE(args.rightDown);
}

TEST_F(MouseRouting, EnterAndLeaveFollowTheCursor)
{
    Listen(a);
    Listen(b);
    Listen(row);
    Listen(window);
    Frame(150, 150);
    // Clicks and moves go first, then enter and leave, widgets before their window.
    EXPECT_EQ(Take(), (Seen{{a, UIEventMouseMove}, {row, UIEventMouseEnter}, {a, UIEventMouseEnter},
                            {window, UIEventMouseEnter}}));
    Frame(250, 150);
    EXPECT_EQ(Take(), (Seen{{b, UIEventMouseMove}, {a, UIEventMouseLeave}, {b, UIEventMouseEnter}}));
    Frame(500, 500);
    EXPECT_EQ(Take(), (Seen{{row, UIEventMouseLeave}, {b, UIEventMouseLeave}, {window, UIEventMouseLeave}}));
}

TEST_F(MouseRouting, WithoutACursorWindowNothingHappens)
{
    Listen(a);
    Listen(window);
    window->style |= zWindow::StyleMovable;
    scene->SetCursor(nullptr);
    Frame(150, 150);
    Frame(150, 150, true);
    Frame(250, 200, true);
    Frame(250, 200);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(scene->draggedWindow, nullptr);
    EXPECT_FLOAT_EQ(window->position[0], 100.0f);
}

TEST_F(MouseRouting, MovableWindowDragsFromAWidgetWithoutClickHandler)
{
    window->style |= zWindow::StyleMovable;
    Listen(window);
    window->handlers.SetHandler(UIEventLeftMouseDown, nullptr);
    Frame(150, 150);
    Frame(150, 150, true);
    EXPECT_EQ(scene->draggedWindow, window);
    const int32_t x0 = scene->mouseNow.x, y0 = scene->mouseNow.y;
    Take();
    Frame(180, 170, true);
    EXPECT_FLOAT_EQ(window->position[0], 100.0f + float(scene->mouseNow.x - x0));
    EXPECT_FLOAT_EQ(window->position[1], 100.0f + float(scene->mouseNow.y - y0));
    const Seen seen = Take();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), (std::pair<const void*, int32_t>{window, UIEventMove}));
    Frame(180, 170, false);
    EXPECT_EQ(scene->draggedWindow, nullptr);
    // A click handler on the widget keeps the window still.
    a->handlers.SetHandler(UIEventLeftMouseClick, std::make_shared<RecordingHandler>(events, a));
    Frame(150, 150);
    Frame(150, 150, true);
    EXPECT_EQ(scene->draggedWindow, nullptr);
}

TEST_F(MouseRouting, WindowWithoutWidgetsDragsAndEmptySpaceClearsTheDrag)
{
    window->SetBaseWidget(nullptr);
    window->style |= zWindow::StyleMovable;
    Frame(150, 150);
    Frame(150, 150, true);
    EXPECT_EQ(scene->draggedWindow, window);
    Frame(150, 150, false);
    EXPECT_EQ(scene->draggedWindow, nullptr);
    // A press on empty space clears a drag left over.
    Frame(700, 700, false);
    scene->draggedWindow = window;
    Frame(700, 700, true);
    EXPECT_EQ(scene->draggedWindow, nullptr);
}

TEST_F(MouseRouting, LockedWindowHidesWhatIsBehindButGetsNoEvents)
{
    const float position[2] = {100.0f, 100.0f};
    const float size[2] = {200.0f, 100.0f};
    auto* front = new zWindow(scene.get(), nullptr, 2, "Front", position, size);
    auto* other = new zWindow(scene.get(), nullptr, 3, "Other", nullptr, nullptr);
    other->SetPosition(900, 700);
    Listen(front);
    Listen(window);
    Listen(a);
    scene->LockToWindow(other);
    EXPECT_NE(front->style & zWindow::StyleLocked, 0);
    EXPECT_EQ(other->style & zWindow::StyleLocked, 0);
    Frame(5, 5);
    Frame(150, 150);
    Frame(150, 150, true);
    Frame(150, 150);
    EXPECT_EQ(scene->mouseNow.window, front);
    EXPECT_TRUE(events.empty());
    scene->Unlock();
    Frame(700, 700);
    Take();
    Frame(150, 150);
    EXPECT_EQ(Take(), (Seen{{front, UIEventMouseEnter}}));
}

TEST_F(MouseRouting, RightPressShadesAndUnshadesASkinnedWindow)
{
    Listen(window);
    window->handlers.SetHandler(UIEventRightMouseDown, nullptr);
    Frame(150, 150);
    Take();
    Frame(150, 150, false, true);
    EXPECT_EQ(Take(), (Seen{{window, UIEventShade}}));
    EXPECT_EQ(window->shaded, 1);
    Frame(150, 110, false, false);
    Take();
    // Shaded to the (missing) skin's top edge: nothing left to hit.
    Frame(150, 110, false, true);
    EXPECT_EQ(scene->mouseNow.window, nullptr);
    window->SetShaded(false);
    Frame(150, 150, false, false);
    Take();
    window->style |= zWindow::StyleNoTitleBar;
    Frame(150, 150, false, true);
    EXPECT_EQ(window->shaded, 0) << "a window without title bar does not shade";
}

TEST_F(MouseRouting, DeletingAWindowClearsEveryReferenceToIt)
{
    window->style |= zWindow::StyleMovable;
    Frame(150, 150);
    Frame(150, 150, true);
    ASSERT_EQ(scene->draggedWindow, window);
    ASSERT_EQ(scene->mouseNow.window, window);
    ASSERT_EQ(scene->mouseNow.widget, a);
    scene->DeleteWindow(window);
    EXPECT_EQ(scene->draggedWindow, nullptr);
    EXPECT_EQ(scene->mouseNow.window, nullptr);
    EXPECT_EQ(scene->mousePrev.window, nullptr);
    EXPECT_EQ(scene->mouseNow.widget, nullptr);
    EXPECT_EQ(scene->mouseNow.leftPress, nullptr);
    Frame(180, 160, true);
    Frame(180, 160, false);
    // The cursor window too.
    scene->DeleteWindow(scene->cursorWindow);
    EXPECT_EQ(scene->cursorWindow, nullptr);
    Frame(10, 10);
}

TEST_F(MouseRouting, ClearForgetsTheDraggedWindow)
{
    window->style |= zWindow::StyleMovable;
    Frame(150, 150);
    Frame(150, 150, true);
    ASSERT_EQ(scene->draggedWindow, window);
    scene->Clear();
    EXPECT_EQ(scene->draggedWindow, nullptr);
    EXPECT_EQ(scene->cursorWindow, nullptr);
    EXPECT_EQ(scene->mousePrev.window, nullptr);
    EXPECT_EQ(scene->windows.GetCount(), 0);
    Frame(160, 150, true);
}

// A handler that deletes the window it is called for.
class DeletingHandler : public zUIEventHandler {
public:
    DeletingHandler(zScene2D* scene, zWindow* window) : scene(scene), window(window) {}
    void Call(int32_t, const zUIEventArgs&) override { scene->DeleteWindow(window); }
    zScene2D* scene;
    zWindow* window;
};

TEST_F(MouseRouting, AHandlerMayDeleteItsOwnWindow)
{
    Listen(b);
    a->handlers.SetHandler(UIEventLeftMouseDown, std::make_shared<DeletingHandler>(scene.get(), window));
    Frame(150, 150);
    Frame(150, 150, true);
    EXPECT_EQ(scene->windows.GetCount(), 1) << "only the cursor window is left";
    Frame(250, 150, true);
    Frame(250, 150, false);
    EXPECT_TRUE(events.empty());
}

TEST_F(MouseRouting, DeletingAWidgetInAnEnterHandlerSkipsItsPendingEvents)
{
    class DeleteWidget : public zUIEventHandler {
    public:
        explicit DeleteWidget(zWidget* w) : widget(w) {}
        void Call(int32_t, const zUIEventArgs&) override
        {
            delete widget;
            widget = nullptr;
        }
        zWidget* widget;
    };
    row->handlers.SetHandler(UIEventMouseEnter, std::make_shared<DeleteWidget>(a));
    Listen(b);
    Frame(150, 150);
    EXPECT_EQ(row->GetChildCount(), 1);
    Frame(250, 150);
    Frame(150, 150, true);
}

TEST_F(MouseRouting, HitTestSkipsHiddenInsensitiveAndTransparentWindows)
{
    const float position[2] = {100.0f, 100.0f};
    const float size[2] = {200.0f, 100.0f};
    auto* front = new zWindow(scene.get(), nullptr, 2, "Front", position, size);
    for (auto change : {+[](zWindow* w) { w->shown = 0; }, +[](zWindow* w) { w->style |= zWindow::StyleNonSensitive; },
                        +[](zWindow* w) { w->SetOpacity(0.0f); }}) {
        front->shown = 1;
        front->style = 0;
        front->SetOpacity(1.0f);
        Frame(150, 150);
        Frame(151, 150);
        ASSERT_EQ(scene->mouseNow.window, front);
        change(front);
        Frame(150, 150);
        EXPECT_EQ(scene->mouseNow.window, window);
    }
    // A child of a hidden parent is not hit; a child of a shaded parent is.
    front->shown = 1;
    front->style = 0;
    front->SetOpacity(1.0f);
    auto* child = new zWindow(scene.get(), front, 4, "Child", nullptr, size);
    child->SetPosition(0, 0);
    Frame(150, 150);
    Frame(151, 150);
    ASSERT_EQ(scene->mouseNow.window, child);
    front->SetShaded(true);
    Frame(150, 150);
    EXPECT_EQ(scene->mouseNow.window, child);
    front->shown = 0;
    Frame(151, 150);
    EXPECT_EQ(scene->mouseNow.window, window);
}

} // namespace

namespace {

TEST_F(MouseRouting, CursorHidesAfterItsDelayAndComesBackOnMove)
{
    zWindow* cursor = scene->cursorWindow;
    scene->SetCursorAutoHideDelay(0.5f);
    GlobalClock = 0;
    GlobalFrameDelta = 500; // 0.05 s a frame
    Frame(400, 400);
    GlobalClock = 10000; // one second later, without a move
    for (int i = 0; i < 6; ++i)
        Frame(400, 400);
    EXPECT_EQ(cursor->shown, 0);
    EXPECT_NEAR(cursor->opacity, 0.0f, 1e-5);
    Frame(420, 400);
    EXPECT_EQ(cursor->shown, 1);
    EXPECT_FLOAT_EQ(cursor->opacity, 1.0f);
    scene->SetCursorAutoHideDelay(0.0f);
    GlobalClock = 0;
    GlobalFrameDelta = 0;
}

TEST_F(MouseRouting, ScreenPositionMapsThroughTheWindow)
{
    window->SetScale(2, 2);
    Frame(700, 700);
    float x = 10, y = 20;
    b->GetScreenPosition(x, y);
    EXPECT_FLOAT_EQ(x, (10.0f - float(b->rect.x0) - 100.0f) / 2.0f);
    EXPECT_FLOAT_EQ(y, (20.0f - float(b->rect.y0) - 100.0f) / 2.0f);
}

} // namespace
