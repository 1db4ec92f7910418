#include "ui/zUIScriptHandler.h"

#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

namespace {

// The table is below the key and the value the caller pushed.
void NewSlot(HSQUIRRELVM v)
{
    sq_newslot(v, -3, SQFalse);
}

void PushKey(HSQUIRRELVM v, const char* name)
{
    sq_pushstring(v, name, -1);
}

} // namespace

zUIScriptHandler::zUIScriptHandler(zScriptMaster* owner, const HSQOBJECT& function, const HSQOBJECT& environment)
    : master(owner), vm(owner != nullptr ? owner->GetVM() : nullptr), closure(function), context(environment)
{
    if (vm != nullptr) {
        sq_addref(vm, &closure);
        sq_addref(vm, &context);
    }
}

zUIScriptHandler::~zUIScriptHandler()
{
    // References die with their VM: release only while it still runs.
    if (vm != nullptr && master != nullptr && master->GetVM() == vm) {
        sq_release(vm, &closure);
        sq_release(vm, &context);
    }
}

void zUIScriptHandler::Call(int32_t event, const zUIEventArgs& args)
{
    if (master == nullptr || vm == nullptr || master->GetVM() != vm || !master->IsOk())
        return;
    const bool hasContext = !sq_isnull(context);
    if (!master->SetupFunctionCall(nullptr, &closure, hasContext ? &context : nullptr))
        return;
    sq_pushinteger(vm, event);
    sq_newtable(vm);
    PushKey(vm, "window");
    SqPushSafePtr(vm, args.window, SqPtrWindow);
    NewSlot(vm);
    PushKey(vm, "cursor_id");
    sq_pushinteger(vm, args.cursorId);
    NewSlot(vm);
    if (args.isWindowEvent) {
        PushKey(vm, "x");
        sq_pushfloat(vm, args.windowX);
        NewSlot(vm);
        PushKey(vm, "y");
        sq_pushfloat(vm, args.windowY);
        NewSlot(vm);
    } else {
        PushKey(vm, "widget");
        SqPushSafePtr(vm, args.widget, SqPtrWidget);
        NewSlot(vm);
        PushKey(vm, "id");
        sq_pushinteger(vm, args.id);
        NewSlot(vm);
        PushKey(vm, "x");
        sq_pushinteger(vm, args.x);
        NewSlot(vm);
        PushKey(vm, "y");
        sq_pushinteger(vm, args.y);
        NewSlot(vm);
        PushKey(vm, "left_down");
        sq_pushbool(vm, args.leftDown ? SQTrue : SQFalse);
        NewSlot(vm);
        PushKey(vm, "right_down");
        sq_pushbool(vm, args.rightDown ? SQTrue : SQFalse);
        NewSlot(vm);
        PushKey(vm, "middle_down");
        sq_pushbool(vm, args.middleDown ? SQTrue : SQFalse);
        NewSlot(vm);
    }
    master->DoFunctionCall(2);
}
