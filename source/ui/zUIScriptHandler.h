#pragma once

#include "ui/zUIEvents.h"

#include <squirrel.h>

class zScriptMaster;

// An event handler that is a script closure, called with an optional context
// object as its environment (the root table without one) and two arguments:
// the event number and a new table. A widget event's table holds "window",
// "widget" (handles), "id", "cursor_id" (0), "x", "y" (integers) and
// "left_down", "right_down", "middle_down"; a window event's "window",
// "cursor_id" and the window position "x", "y" (floats). Nothing is called
// once the master is not ok (stopped, or after a runtime error).
class zUIScriptHandler : public zUIEventHandler {
public:
    // Takes strong references to closure and context on the master's VM; a
    // context of null type means none. The master must outlive the handler
    // or stop first.
    zUIScriptHandler(zScriptMaster* master, const HSQOBJECT& closure, const HSQOBJECT& context);
    ~zUIScriptHandler() override;

    void Call(int32_t event, const zUIEventArgs& args) override;

private:
    zScriptMaster* master;
    HSQUIRRELVM vm;
    HSQOBJECT closure;
    HSQOBJECT context;
};
