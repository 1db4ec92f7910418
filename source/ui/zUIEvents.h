#pragma once

#include <cstdint>
#include <memory>

class zWidget;
class zWindow;

// Mouse and window events of the 2D interface; the numbers are what scripts see.
enum zUIEvent : int32_t {
    UIEventLeftMouseClick = 0,
    UIEventRightMouseClick = 1,
    UIEventMiddleMouseClick = 2,
    UIEventLeftMouseDown = 3,
    UIEventRightMouseDown = 4,
    UIEventMiddleMouseDown = 5,
    UIEventLeftMouseUp = 6,
    UIEventRightMouseUp = 7,
    UIEventMiddleMouseUp = 8,
    UIEventMouseEnter = 9,
    UIEventMouseLeave = 10,
    UIEventMouseMove = 11,
    UIEventMove = 12,
    UIEventShade = 13,
    UIEventUnshade = 14,
    UIEventCount = 15,
};

// What a handler is told. Widget events fill window, widget, id, the cursor
// position (x, y: pixels of the scene's screen) and the button states; window
// events fill window and the window's position (windowX, windowY, as
// zWindow::position). The pointers are borrowed for the call only.
struct zUIEventArgs {
    zWindow* window = nullptr;
    zWidget* widget = nullptr;
    int32_t id = 0;
    int32_t cursorId = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool leftDown = false;
    bool rightDown = false;
    bool middleDown = false;
    float windowX = 0.0f;
    float windowY = 0.0f;
    bool isWindowEvent = false;
};

// One handler of one event. The script bindings derive one that holds a
// closure and its context and calls it through the scene's script unit; the
// handler's result is not used.
class zUIEventHandler {
public:
    virtual ~zUIEventHandler() = default;
    virtual void Call(int32_t event, const zUIEventArgs& args) = 0;
};

// The per-widget and per-window handler table, indexed by event number.
class zUIEventHandlers {
public:
    static bool IsValidEvent(int32_t event) { return event >= 0 && event < UIEventCount; }

    // Takes the handler (null removes the current one). False, with the
    // handler dropped, for an event number outside 0..14.
    bool SetHandler(int32_t event, std::shared_ptr<zUIEventHandler> handler);
    bool HasHandler(int32_t event) const { return IsValidEvent(event) && handlers[event] != nullptr; }
    // The current handler, or null (also for an event outside 0..14).
    std::shared_ptr<zUIEventHandler> GetHandler(int32_t event) const
    {
        return IsValidEvent(event) ? handlers[event] : nullptr;
    }
    // Calls the handler; false when there is none. The handler may replace or
    // remove itself, or delete what it was called for, while it runs.
    bool Call(int32_t event, const zUIEventArgs& args) const;
    void Clear();

    // Stored for the scripts; the event dispatch does not consult it.
    uint8_t sensitive = 1;

private:
    std::shared_ptr<zUIEventHandler> handlers[UIEventCount];
};
