// The window-system functions: windows and widgets made, pictures, fonts,
// skin, cursor, command lists, locking and fading, and the interface's
// constants. Windows and widgets pass to scripts as borrowed handles.
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"
#include "manager_binding/zBindFamilies.h"
#include "manager_binding/zBindUIInternal.h"
#include "script/zScriptMaster.h"
#include "ui/zCheckWidget.h"
#include "ui/zContainerWidget.h"
#include "ui/zPictureWidget.h"
#include "ui/zScene2D.h"
#include "ui/zSizer.h"
#include "ui/zTextWidget.h"
#include "ui/zUIScriptHandler.h"
#include "ui/zWindow.h"

#include <memory>
#include <new>
#include <string>

namespace sqbind {

int32_t WidgetKind(const zWidget* widget)
{
    if (widget == nullptr)
        return SqPtrWidget;
    switch (widget->typeId) {
    case zWidget::TypeVerticalSizer:
    case zWidget::TypeHorizontalSizer:
        return SqPtrBaseSizer;
    case zWidget::TypeContainer:
        return SqPtrContainerWidget;
    case zWidget::TypeSpacer:
        return SqPtrSpacerWidget;
    case zWidget::TypeText:
        return SqPtrTextWidget;
    case zWidget::TypeCanvas:
        return SqPtrCanvasWidget;
    case zWidget::TypeBitmap:
        return SqPtrBitmapWidget;
    case zWidget::TypeCheck:
        return SqPtrCheckWidget;
    default:
        return SqPtrWidget;
    }
}

void PushWidget(HSQUIRRELVM v, zWidget* widget)
{
    SqPushSafePtr(v, widget, WidgetKind(widget));
}

void PushWidgetAs(HSQUIRRELVM v, zWidget* widget, int32_t kind)
{
    SqPushSafePtr(v, widget, kind);
}

namespace {

// A widget made for a script: its scene deletes it if it never joins a tree.
template <class T> T* SceneOwned(T* widget)
{
    if (widget != nullptr)
        widget->ownedByScene = 1;
    return widget;
}

} // namespace

namespace {

bool IsWidgetKind(int32_t kind)
{
    switch (kind) {
    case SqPtrWidget:
    case SqPtrBaseSizer:
    case SqPtrContainerWidget:
    case SqPtrSpacerWidget:
    case SqPtrCanvasWidget:
    case SqPtrTextWidget:
    case SqPtrBitmapWidget:
    case SqPtrCheckWidget:
        return true;
    default:
        return false;
    }
}

} // namespace

bool GetAnyWidget(HSQUIRRELVM v, SQInteger idx, zWidget*& out)
{
    out = nullptr;
    const int32_t kind = SqGetSafePtrType(v, idx);
    if (!IsWidgetKind(kind)) {
        LogError("GetWidget") << "unknown widget sub-class.\n";
        SqPrintCallStack(v, "unknown widget sub-class.");
        return false;
    }
    void* object = nullptr;
    if (!SqGetSafePtr(v, idx, &object, kind))
        return false;
    if (object == nullptr)
        return SqSafePtrIsStale(v, idx);
    zWidget* widget = static_cast<zWidget*>(object);
    // Every widget kind fits a Widget handle; the others must match the object.
    if (kind != SqPtrWidget && WidgetKind(widget) != kind)
        return false;
    out = widget;
    return true;
}

bool GetWidgetOfKind(HSQUIRRELVM v, SQInteger idx, int32_t kind, zWidget*& out)
{
    out = nullptr;
    void* object = nullptr;
    if (!SqGetSafePtr(v, idx, &object, kind))
        return false;
    zWidget* widget = static_cast<zWidget*>(object);
    if (widget != nullptr && (kind == SqPtrWidget || WidgetKind(widget) == kind))
        out = widget;
    return true;
}

void SetScriptHandler(HSQUIRRELVM v, zUIEventHandlers& handlers, SQInteger eventIdx, SQInteger contextIdx,
                      SQInteger closureIdx, const char* caller)
{
    SQInteger event = 0;
    sq_getinteger(v, eventIdx, &event);
    if (!zUIEventHandlers::IsValidEvent(int32_t(event)) || event != SQInteger(int32_t(event))) {
        LogError(caller) << "Event " << std::to_string(event).c_str() << " is not an event number (0 to 14).\n";
        return;
    }
    HSQOBJECT closure;
    sq_getstackobj(v, closureIdx, &closure);
    HSQOBJECT context;
    sq_resetobject(&context);
    if (contextIdx > 0) {
        sq_getstackobj(v, contextIdx, &context);
    } else if (auto current = handlers.GetHandler(int32_t(event))) {
        if (auto* script = dynamic_cast<zUIScriptHandler*>(current.get()))
            context = script->GetContext();
    }
    // The handler holds strong references to both until it is replaced or
    // its widget or window goes.
    handlers.SetHandler(int32_t(event), std::make_shared<zUIScriptHandler>(SqGetScriptMaster(v), closure, context));
}

} // namespace sqbind

using namespace sqbind;

namespace {

bool GetUI(HSQUIRRELVM v, SQInteger idx, zScene2D*& out)
{
    return SqGetSafePtr(v, idx, &out, SqPtrWindowSystem);
}

#define FETCH_UI(idx, name)                                                                                            \
    zScene2D* name = nullptr;                                                                                          \
    if (!GetUI(v, idx, name))                                                                                          \
        return sq_suspendvm(v);

SQInteger UIGetScriptInstance(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui == nullptr)
        sq_pushnull(v);
    else
        sq_pushobject(v, ui->GetInstance());
    return 1;
}

SQInteger UISetInternalResolution(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr) {
        ui->virtualWidth = float(GetInteger(v, 3));
        ui->virtualHeight = float(GetInteger(v, 4));
    }
    return 0;
}

SQInteger UILoadBitmap(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->LoadPicture(GetString(v, 3));
    return 0;
}

SQInteger UILoadFont(HSQUIRRELVM v)
{
    // Null only for a path that, unchanged, is already a loaded font's name
    // (OpenFont refuses it); another path to a loaded file loads it again.
    SqPushSafePtr(v, zScene2D::OpenFont(GetString(v, 2)), SqPtrTruetypeFont);
    return 1;
}

SQInteger UIGetFont(HSQUIRRELVM v)
{
    SqPushSafePtr(v, zScene2D::GetFont(GetString(v, 2)), SqPtrTruetypeFont);
    return 1;
}

SQInteger UISetSkin(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui == nullptr) {
        sq_pushbool(v, SQFalse);
        return 1;
    }
    const char* paths[zScene2D::SkinPartCount];
    for (int32_t i = 0; i < zScene2D::SkinPartCount; ++i)
        paths[i] = GetString(v, 3 + i);
    const bool ok = ui->SetSkin(paths, int32_t(GetInteger(v, 11)), int32_t(GetInteger(v, 12)),
                                int32_t(GetInteger(v, 13)), int32_t(GetInteger(v, 14)), int32_t(GetInteger(v, 15)),
                                GetString(v, 16));
    sq_pushbool(v, ok ? SQTrue : SQFalse);
    return 1;
}

SQInteger UISetCursor(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->SetCursor(GetString(v, 3));
    return 0;
}

SQInteger UISetCursorAutoHideDelay(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->SetCursorAutoHideDelay(GetFloat(v, 3));
    return 0;
}

SQInteger UIGetCursorWindow(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    SqPushSafePtr(v, ui != nullptr ? ui->cursorWindow : nullptr, SqPtrWindow);
    return 1;
}

SQInteger UIGetWindowBelowCursor(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    SqPushSafePtr(v, ui != nullptr ? ui->mouseNow.window : nullptr, SqPtrWindow);
    return 1;
}

SQInteger UISetCommandList(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->commandManager.LoadACECommandList(GetString(v, 3), ui);
    return 0;
}

SQInteger UIIsCommandListDone(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    sq_pushbool(v, ui == nullptr || !ui->IsRunning() ? SQTrue : SQFalse);
    return 1;
}

SQInteger UIRender(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->Render();
    return 0;
}

SQInteger UISetGlobalFadeEffect(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->fadeAmount = GetFloat(v, 3);
    return 0;
}

SQInteger UISetGlobalFadeColor(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr) {
        for (int i = 0; i < 3; ++i)
            ui->fadeColor[i] = float(GetInteger(v, 3 + i)) / 255.0f;
        ui->fadeColor[3] = 1.0f;
    }
    return 0;
}

SQInteger UISetExcludeFromRecord(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->SetExcludeFromRecord(GetBool(v, 3));
    return 0;
}

SQInteger UISetAceUseRawClock(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->useRawClock = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger UIDeleteWindow(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zWindow* window = nullptr;
    if (!SqGetSafePtr(v, 3, &window, SqPtrWindow))
        return sq_suspendvm(v);
    // Only a window of this scene: another scene's list must not be touched.
    if (ui != nullptr && window != nullptr && window->scene == ui)
        ui->DeleteWindow(window);
    return 0;
}

SQInteger UILockToWindow(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zWindow* window = nullptr;
    if (!SqGetSafePtr(v, 3, &window, SqPtrWindow))
        return sq_suspendvm(v);
    if (ui != nullptr && (window == nullptr || window->scene == ui))
        ui->LockToWindow(window);
    return 0;
}

SQInteger UIUnlock(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    if (ui != nullptr)
        ui->Unlock();
    return 0;
}

zWindow* NewWindow(HSQUIRRELVM v, zScene2D* ui, SQInteger first)
{
    const float position[2] = {GetFloat(v, first + 1), GetFloat(v, first + 2)};
    const float size[2] = {GetFloat(v, first + 3), GetFloat(v, first + 4)};
    return new (std::nothrow) zWindow(ui, nullptr, int32_t(GetInteger(v, first)), "Window", position, size);
}

SQInteger UIAddWindow(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    // An empty window system makes no window (a window needs its scene).
    SqPushSafePtr(v, ui != nullptr ? NewWindow(v, ui, 3) : nullptr, SqPtrWindow);
    return 1;
}

SQInteger UIAddBitmapWindow(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zWindow* window = nullptr;
    if (ui != nullptr) {
        const float position[2] = {GetFloat(v, 5), GetFloat(v, 6)};
        const float size[2] = {GetFloat(v, 7), GetFloat(v, 8)};
        window = new (std::nothrow) zWindow(ui, nullptr, int32_t(GetInteger(v, 3)), "Window", position, size);
        if (window != nullptr)
            window->SetBackgroundPicture(GetString(v, 4));
    }
    SqPushSafePtr(v, window, SqPtrWindow);
    return 1;
}

SQInteger UIAddCanvasWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zWidget* widget = nullptr;
    if (ui != nullptr)
        widget = SceneOwned(new (std::nothrow) zCanvasWidget(ui, int32_t(GetInteger(v, 3)), int32_t(GetInteger(v, 4)), int32_t(GetInteger(v, 5))));
    PushWidgetAs(v, widget, SqPtrCanvasWidget);
    return 1;
}

SQInteger UIAddHorizontalSizerWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    PushWidgetAs(v, ui != nullptr ? SceneOwned(new (std::nothrow) zHorizontalSizer(ui, int32_t(GetInteger(v, 3)))) : nullptr, SqPtrBaseSizer);
    return 1;
}

SQInteger UIAddVerticalSizerWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    PushWidgetAs(v, ui != nullptr ? SceneOwned(new (std::nothrow) zVerticalSizer(ui, int32_t(GetInteger(v, 3)))) : nullptr, SqPtrBaseSizer);
    return 1;
}

SQInteger UIAddContainerWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    PushWidgetAs(v, ui != nullptr ? SceneOwned(new (std::nothrow) zContainerWidget(ui, int32_t(GetInteger(v, 3)))) : nullptr,
                 SqPtrContainerWidget);
    return 1;
}

SQInteger UIAddSpacerWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    PushWidgetAs(v, ui != nullptr ? SceneOwned(new (std::nothrow) zSpacerWidget(ui, int32_t(GetInteger(v, 3)))) : nullptr, SqPtrSpacerWidget);
    return 1;
}

SQInteger UIAddBitmapWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    PushWidgetAs(v, ui != nullptr ? SceneOwned(new (std::nothrow) zBitmapWidget(ui, int32_t(GetInteger(v, 3)), GetString(v, 4))) : nullptr,
                 SqPtrBitmapWidget);
    return 1;
}

SQInteger UIAddStaticTextWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zWidget* widget = nullptr;
    if (ui != nullptr)
        widget = SceneOwned(new (std::nothrow) zTextWidget(ui, int32_t(GetInteger(v, 3)), GetString(v, 4), zScene2D::GetFont(GetString(v, 5)), 16));
    PushWidgetAs(v, widget, SqPtrTextWidget);
    return 1;
}

SQInteger UIAddCheckWidget(HSQUIRRELVM v)
{
    FETCH_UI(2, ui);
    zCheckWidget* widget = nullptr;
    if (ui != nullptr) {
        widget = SceneOwned(new (std::nothrow) zCheckWidget(ui, int32_t(GetInteger(v, 3)), GetString(v, 4), GetBool(v, 6)));
        widget->label.SetFont(zScene2D::GetFont(GetString(v, 5)));
        widget->label.SetSize(16);
    }
    PushWidgetAs(v, widget, SqPtrCheckWidget);
    return 1;
}

struct zIntegerConstant {
    const char* name;
    SQInteger value;
};

const zIntegerConstant kConstants[] = {
    {"StyleBlendAdditive", 1}, {"StyleAlwaysOnTop", 2}, {"StyleAlwaysBehind", 4}, {"StyleNonSensitive", 8},
    {"StyleResolutionInvariant", 16}, {"StyleLockUV", 32}, {"StyleNonSkinned", 64}, {"StyleNoTitleBar", 256},
    {"StyleMovable", 512},
    {"WidgetAlignDefault", 0}, {"WidgetAlignLeft", 1}, {"WidgetAlignTop", 2}, {"WidgetAlignMiddle", 3},
    {"WidgetAlignRight", 4}, {"WidgetAlignBottom", 5},
    {"TextAlignLeft", 0}, {"TextAlignRight", 1}, {"TextAlignCenter", 2}, {"TextAlignJustify", 3},
    {"TextFormatStandard", 0}, {"TextFormatLine", 0}, {"TextFormatParagraph", 1}, {"TextFormatColumn", 2},
    {"EventLeftMouseClick", 0}, {"EventRightMouseClick", 1}, {"EventMiddleMouseClick", 2},
    {"EventLeftMouseDown", 3}, {"EventRightMouseDown", 4}, {"EventMiddleMouseDown", 5}, {"EventLeftMouseUp", 6},
    {"EventRightMouseUp", 7}, {"EventMiddleMouseUp", 8}, {"EventMouseEnter", 9}, {"EventMouseLeave", 10},
    {"EventMouseMove", 11}, {"EventMove", 12}, {"EventShade", 13}, {"EventUnshade", 14},
};

// The interface every 3D scene embeds, as a window-system handle; null for a
// null scene. The handle dies with the scene.
SQInteger SceneGetUI(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    SqPushSafePtr(v, scene != nullptr ? &scene->ui : nullptr, SqPtrWindowSystem);
    return 1;
}

} // namespace

void SqRegisterUIFunctions(HSQUIRRELVM v)
{
    Register(v, UIGetScriptInstance, "UIGetScriptInstance", "x|tu");
    Register(v, SceneGetUI, "SceneGetUI", "x|tu", "SceneGetWindowSystem");
    Register(v, UISetInternalResolution, "UISetInternalResolution", "x|tuii");
    Register(v, UILoadBitmap, "UILoadBitmap", "x|tus", "WindowSystemLoadBitmap");
    Register(v, UILoadFont, "UILoadFont", "x|ts", "WindowSystemLoadFont");
    Register(v, UIGetFont, "UIGetFont", "x|ts", "WindowSystemGetFont");
    Register(v, UISetSkin, "UISetSkin", "x|tussssssssiiiiis", "WindowSystemSetSkin");
    Register(v, UISetCursor, "UISetCursor", "x|tus", "WindowSystemSetCursor");
    Register(v, UISetCursorAutoHideDelay, "UISetCursorAutoHideDelay", "x|tuf", "WindowSystemSetCursorAutoHideDelay");
    Register(v, UIGetCursorWindow, "UIGetCursorWindow", "x|tu", "WindowSystemGetCursorWindow");
    Register(v, UIGetWindowBelowCursor, "UIGetWindowBelowCursor", "x|tu", "WindowSystemGetWindowBelowCursor");
    Register(v, UISetCommandList, "UISetCommandList", "x|tus", "WindowSystemSetCommandList");
    Register(v, UIIsCommandListDone, "UIIsCommandListDone", "x|tu", "WindowSystemIsCommandListDone");
    Register(v, UIRender, "UIRender", "x|tu", "WindowSystemRender");
    Register(v, UISetGlobalFadeEffect, "UISetGlobalFadeEffect", "x|tuf", "WindowSystemSetGlobalFadeEffect");
    Register(v, UISetGlobalFadeColor, "UISetGlobalFadeColor", "x|tuiii", "WindowSystemSetGlobalFadeColor");
    Register(v, UISetExcludeFromRecord, "UISetExcludeFromRecord", "x|tub", "WindowSystemSetExcludeFromRecord");
    Register(v, UISetAceUseRawClock, "UISetAceUseRawClock", "x|tub", "WindowSystemSetAceUseRawClock");
    Register(v, UIDeleteWindow, "UIDeleteWindow", "x|tuu");
    Register(v, UILockToWindow, "UILockToWindow", "x|tuu", "WindowSystemLockToWindow");
    Register(v, UIUnlock, "UIUnlock", "x|tu", "WindowSystemUnlock");
    Register(v, UIAddWindow, "UIAddWindow", "x|tuiffff", "WindowSystemAddWindow");
    Register(v, UIAddBitmapWindow, "UIAddBitmapWindow", "x|tuisffff", "WindowSystemAddBitmapWindow");
    Register(v, UIAddCanvasWidget, "UIAddCanvasWidget", "x|tuiii", "WindowSystemAddCanvasWidget");
    Register(v, UIAddHorizontalSizerWidget, "UIAddHorizontalSizerWidget", "x|tui",
             "WindowSystemAddHorizontalSizerWidget");
    Register(v, UIAddVerticalSizerWidget, "UIAddVerticalSizerWidget", "x|tui", "WindowSystemAddVerticalSizerWidget");
    Register(v, UIAddContainerWidget, "UIAddContainerWidget", "x|tui", "WindowSystemAddContainerWidget");
    Register(v, UIAddSpacerWidget, "UIAddSpacerWidget", "x|tui", "WindowSystemAddSpacerWidget");
    Register(v, UIAddBitmapWidget, "UIAddBitmapWidget", "x|tuis", "WindowSystemAddBitmapWidget");
    Register(v, UIAddStaticTextWidget, "UIAddStaticTextWidget", "x|tuiss", "WindowSystemAddTextWidget");
    Register(v, UIAddCheckWidget, "UIAddCheckWidget", "x|tuissb", "WindowSystemAddCheckWidget");
    RegisterWindowFunctions(v);
    RegisterWidgetFunctions(v);
    for (const zIntegerConstant& constant : kConstants)
        NewIntegerConstant(v, constant.name, constant.value);
}
