#pragma once

// Handle helpers of the window-system, window and widget families.

#include "manager_binding/zBindInternal.h"
#include "script/SqSafePtr.h"

#include <squirrel.h>

#include <cstdint>

class zWidget;
class zScene2D;
class zUIEventHandlers;

namespace sqbind {

// The handle kind that names a widget of that object's type.
int32_t WidgetKind(const zWidget* widget);
// Pushes a widget as a handle of its own kind (null as a Widget handle).
void PushWidget(HSQUIRRELVM v, zWidget* widget);
// Pushes a widget as a handle of the given kind.
void PushWidgetAs(HSQUIRRELVM v, zWidget* widget, int32_t kind);

// Any widget kind with an object: true and the widget. A handle of another
// kind logs "unknown widget sub-class." and prints the call stack; an empty
// handle is refused too. The caller returns sq_suspendvm on false. A stale
// handle (its widget deleted since) is true with a null widget: the caller
// does nothing and gives its neutral result.
bool GetAnyWidget(HSQUIRRELVM v, SQInteger idx, zWidget*& out);

// A handle of exactly that kind. True for a null handle (out null); out is
// also null when the object's type does not fit the kind (only a
// mis-cast could give one), so such a call does nothing.
bool GetWidgetOfKind(HSQUIRRELVM v, SQInteger idx, int32_t kind, zWidget*& out);

// Stores closure (at closureIdx) and, when contextIdx > 0, the context for the
// event on handlers; without a context the current handler's one stays. An
// event outside 0..14 is logged under caller and ignored.
void SetScriptHandler(HSQUIRRELVM v, zUIEventHandlers& handlers, SQInteger eventIdx, SQInteger contextIdx,
                      SQInteger closureIdx, const char* caller);

} // namespace sqbind
