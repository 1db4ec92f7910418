// The window functions: placement, style, animation, queries and event
// handlers of windows.
#include "framework/math/zColor.h"
#include "framework/math/zVector.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/zBindUIInternal.h"
#include "ui/zScene2D.h"
#include "ui/zWidget.h"
#include "ui/zWindow.h"

#include <algorithm>

namespace {

using namespace sqbind;

#define FETCH_WINDOW(idx, name)                                                                                        \
    zWindow* name = nullptr;                                                                                           \
    if (!SqGetSafePtr(v, idx, &name, SqPtrWindow))                                                                     \
        return sq_suspendvm(v);

SQInteger WindowGetRect(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    PushRect(v, window != nullptr ? window->GetRect() : zPicture::Rect{-1, -1, -1, -1});
    return 1;
}

SQInteger WindowGetScreenRect(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window == nullptr) {
        PushRect(v, {-1, -1, -1, -1});
        return 1;
    }
    const zPicture::Rect r = window->GetRect();
    const int32_t x = ToPixel(window->position[0]), y = ToPixel(window->position[1]);
    auto add = [](int32_t a, int32_t b) { return int32_t(std::clamp<int64_t>(int64_t(a) + b, INT32_MIN, INT32_MAX)); };
    PushRect(v, {add(x, r.x0), add(y, r.y0), add(x, r.x1), add(y, r.y1)});
    return 1;
}

SQInteger WindowCompare(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, a);
    FETCH_WINDOW(3, b);
    sq_pushbool(v, a != nullptr && a == b ? SQTrue : SQFalse);
    return 1;
}

SQInteger WindowSetCommandList(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr && window->scene != nullptr)
        window->scene->commandManager.LoadACECommandList(GetString(v, 3), window);
    return 0;
}

SQInteger WindowResetCommandList(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->ResetCommandList();
    return 0;
}

SQInteger WindowIsCommandListDone(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    sq_pushbool(v, window == nullptr || !window->IsRunning() ? SQTrue : SQFalse);
    return 1;
}

SQInteger WindowShow(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->shown = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger WindowIsShown(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    sq_pushbool(v, window != nullptr && window->IsShown() ? SQTrue : SQFalse);
    return 1;
}

SQInteger WindowSetTitle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr) {
        window->title.SetText(GetString(v, 3));
        window->cacheDirty = 1;
    }
    return 0;
}

SQInteger WindowGetTitle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    const char* text = window != nullptr ? window->title.GetText().Get() : "NoTitle";
    sq_pushstring(v, text != nullptr ? text : "", -1);
    return 1;
}

SQInteger WindowSetBaseWidget(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    zWidget* widget = nullptr;
    if (!GetAnyWidget(v, 3, widget))
        return sq_suspendvm(v);
    if (window == nullptr || widget == nullptr)
        return 0;
    if (widget->scene != window->scene || widget->embedded) {
        LogError("WindowSetBaseWidget") << "Widget " << widget->id << " cannot be the root of window " << window->id
                                        << ".\n";
        return 0;
    }
    window->SetBaseWidget(widget);
    return 0;
}

SQInteger WindowGetChild(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    PushWidgetAs(v, window != nullptr ? window->GetChild(int32_t(GetInteger(v, 3))) : nullptr, SqPtrWidget);
    return 1;
}

SQInteger WindowSetParent(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    FETCH_WINDOW(3, parent);
    if (window == nullptr)
        return 0;
    if (parent != nullptr && parent->scene != window->scene) {
        LogError("WindowSetParent") << "Window " << parent->id << " belongs to another window system.\n";
        return 0;
    }
    // zWindow::SetParent refuses a parent that hangs below the window.
    window->SetParent(parent);
    return 0;
}

void PushVector3(HSQUIRRELVM v, float x, float y, float z)
{
    if (!SqPushVector(v, zVector(x, y, z)))
        sq_pushnull(v);
}

SQInteger WindowGetPosition(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        PushVector3(v, window->position[0], window->position[1], -1.0f);
    else
        PushVector3(v, -1.0f, -1.0f, -1.0f);
    return 1;
}

SQInteger WindowSetPosition(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetPosition(GetFloat(v, 3), GetFloat(v, 4));
    return 0;
}

SQInteger WindowSetRotation(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetRotation(GetFloat(v, 3));
    return 0;
}

SQInteger WindowGetSize(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        PushVector3(v, window->size[0], window->size[1], -1.0f);
    else
        PushVector3(v, -1.0f, -1.0f, -1.0f);
    return 1;
}

SQInteger WindowSetSize(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetSize(GetFloat(v, 3), GetFloat(v, 4));
    return 0;
}

SQInteger WindowGetPivot(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        PushVector3(v, window->pivot[0], window->pivot[1], -1.0f);
    else
        PushVector3(v, -1.0f, -1.0f, -1.0f);
    return 1;
}

SQInteger WindowSetPivot(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetPivot(GetFloat(v, 3), GetFloat(v, 4));
    return 0;
}

SQInteger WindowSetScale(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetScale(GetFloat(v, 3), GetFloat(v, 4));
    return 0;
}

SQInteger WindowGetOpacity(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    sq_pushfloat(v, window != nullptr ? window->opacity : 0.0f);
    return 1;
}

SQInteger WindowSetOpacity(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetOpacity(GetFloat(v, 3));
    return 0;
}

SQInteger WindowSetFlip(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr) {
        window->flipX = GetBool(v, 3) ? 1 : 0;
        window->flipY = GetBool(v, 4) ? 1 : 0;
    }
    return 0;
}

SQInteger WindowGetStyle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    // An empty handle has no style bits.
    sq_pushinteger(v, window != nullptr ? window->style : 0);
    return 1;
}

SQInteger WindowSetStyle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->style = int32_t(GetInteger(v, 3));
    return 0;
}

SQInteger WindowAddStyle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->style |= int32_t(GetInteger(v, 3));
    return 0;
}

SQInteger WindowRemoveStyle(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->style &= ~int32_t(GetInteger(v, 3));
    return 0;
}

SQInteger WindowGetBackgroundPicture(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    zPicture* picture = window != nullptr && window->backgroundPicture != nullptr ? &window->backgroundPicture->picture
                                                                                  : nullptr;
    SqPushSafePtr(v, picture, SqPtrPicture);
    return 1;
}

SQInteger WindowSetBackgroundPicture(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->SetBackgroundPicture(GetString(v, 3));
    return 0;
}

SQInteger WindowSetBackgroundColor(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr) {
        zColor color;
        color.FromRGBA32(uint32_t(GetInteger(v, 3)));
        window->SetBackgroundColor(color.r, color.g, color.b, color.a);
    }
    return 0;
}

SQInteger WindowCentre(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr && window->scene != nullptr)
        window->SetPosition((window->scene->virtualWidth - window->size[0]) * 0.5f + window->pivot[0],
                            (window->scene->virtualHeight - window->size[1]) * 0.5f + window->pivot[1]);
    return 0;
}

SQInteger WindowMoveToBack(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr && window->scene != nullptr)
        window->scene->MoveWindowToBack(window, nullptr);
    return 0;
}

SQInteger WindowMoveToFront(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr && window->scene != nullptr)
        window->scene->MoveWindowToFront(window, nullptr);
    return 0;
}

// Relative moves need the other window in the same list; a window is never
// moved relative to itself.
bool CanMoveRelative(const zWindow* window, const zWindow* other)
{
    return window != nullptr && other != nullptr && window != other && window->scene != nullptr &&
           window->scene == other->scene;
}

SQInteger WindowMoveToBackOf(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    FETCH_WINDOW(3, other);
    if (CanMoveRelative(window, other))
        window->scene->MoveWindowToBack(window, other);
    return 0;
}

SQInteger WindowMoveToFrontOf(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    FETCH_WINDOW(3, other);
    if (CanMoveRelative(window, other))
        window->scene->MoveWindowToFront(window, other);
    return 0;
}

SQInteger WindowForceLayout(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->Draw(nullptr, true);
    return 0;
}

SQInteger WindowInvalidate(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->Invalidate();
    return 0;
}

SQInteger WindowGetCacheTexture(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    SqPushSafePtr(v, window != nullptr ? window->cacheTexture : nullptr, SqPtrTexture);
    return 1;
}

SQInteger WindowSetEventHandler(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        SetScriptHandler(v, window->handlers, 3, 0, 4, "WindowSetEventHandler");
    return 0;
}

SQInteger WindowSetEventHandlerWithContext(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        SetScriptHandler(v, window->handlers, 3, 4, 5, "WindowSetEventHandlerWithContext");
    return 0;
}

SQInteger WindowSetExcludeFromRecord(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    if (window != nullptr)
        window->excludeFromRecord = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger WindowGetExcludeFromRecord(HSQUIRRELVM v)
{
    FETCH_WINDOW(2, window);
    sq_pushbool(v, window != nullptr && window->excludeFromRecord ? SQTrue : SQFalse);
    return 1;
}

} // namespace

namespace sqbind {

void RegisterWindowFunctions(HSQUIRRELVM v)
{
    Register(v, WindowGetRect, "WindowGetRect", "x|tu");
    Register(v, WindowGetScreenRect, "WindowGetScreenRect", "x|tu");
    Register(v, WindowCompare, "WindowCompare", "x|tuu");
    Register(v, WindowSetCommandList, "WindowSetCommandList", "x|tus");
    Register(v, WindowResetCommandList, "WindowResetCommandList", "x|tu");
    Register(v, WindowIsCommandListDone, "WindowIsCommandListDone", "x|tu");
    Register(v, WindowShow, "WindowShow", "x|tub");
    Register(v, WindowIsShown, "WindowIsShown", "x|tu");
    Register(v, WindowSetTitle, "WindowSetTitle", "x|tus");
    Register(v, WindowGetTitle, "WindowGetTitle", "x|tu");
    Register(v, WindowSetBaseWidget, "WindowSetBaseWidget", "x|tuu");
    Register(v, WindowGetChild, "WindowGetChild", "x|tui");
    Register(v, WindowSetParent, "WindowSetParent", "x|tuu");
    Register(v, WindowGetPosition, "WindowGetPosition", "x|tu");
    Register(v, WindowSetPosition, "WindowSetPosition", "x|tuff");
    Register(v, WindowSetRotation, "WindowSetRotation", "x|tuf");
    Register(v, WindowGetSize, "WindowGetSize", "x|tu");
    Register(v, WindowSetSize, "WindowSetSize", "x|tuff");
    Register(v, WindowGetPivot, "WindowGetPivot", "x|tu");
    Register(v, WindowSetPivot, "WindowSetPivot", "x|tuff");
    Register(v, WindowSetScale, "WindowSetScale", "x|tuff");
    Register(v, WindowGetOpacity, "WindowGetOpacity", "x|tu");
    Register(v, WindowSetOpacity, "WindowSetOpacity", "x|tuf");
    Register(v, WindowSetFlip, "WindowSetFlip", "x|tubb");
    Register(v, WindowGetStyle, "WindowGetStyle", "x|tu");
    Register(v, WindowSetStyle, "WindowSetStyle", "x|tui");
    Register(v, WindowAddStyle, "WindowAddStyle", "x|tui");
    Register(v, WindowRemoveStyle, "WindowRemoveStyle", "x|tui");
    Register(v, WindowGetBackgroundPicture, "WindowGetBackgroundPicture", "x|tu");
    Register(v, WindowSetBackgroundPicture, "WindowSetBackgroundPicture", "x|tus");
    Register(v, WindowSetBackgroundColor, "WindowSetBackgroundColor", "x|tui");
    Register(v, WindowCentre, "WindowCentre", "x|tu");
    Register(v, WindowMoveToBack, "WindowMoveToBack", "x|tu");
    Register(v, WindowMoveToFront, "WindowMoveToFront", "x|tu");
    Register(v, WindowMoveToBackOf, "WindowMoveToBackOf", "x|tuu");
    Register(v, WindowMoveToFrontOf, "WindowMoveToFrontOf", "x|tuu");
    Register(v, WindowForceLayout, "WindowForceLayout", "x|tu");
    Register(v, WindowInvalidate, "WindowInvalidate", "x|tu");
    Register(v, WindowGetCacheTexture, "WindowGetCacheTexture", "x|tu");
    Register(v, WindowSetEventHandler, "WindowSetEventHandler", "x|tuic");
    Register(v, WindowSetEventHandlerWithContext, "WindowSetEventHandlerWithContext", "x|tui.c");
    Register(v, WindowSetExcludeFromRecord, "WindowSetExcludeFromRecord", "x|tub");
    Register(v, WindowGetExcludeFromRecord, "WindowGetExcludeFromRecord", "x|tu");
}

} // namespace sqbind
