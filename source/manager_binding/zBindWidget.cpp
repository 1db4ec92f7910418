// The widget functions: casts, handlers, alignment and visibility, sizers
// and containers, canvases, bitmaps, texts and check boxes.
#include "framework/math/zVector.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/zBindUIInternal.h"
#include "ui/zCheckWidget.h"
#include "ui/zContainerWidget.h"
#include "ui/zPictureWidget.h"
#include "ui/zScene2D.h"
#include "ui/zSizer.h"
#include "ui/zTextLayout.h"
#include "ui/zTextWidget.h"

#include <algorithm>

namespace {

using namespace sqbind;

#define FETCH_ANY(idx, name)                                                                                           \
    zWidget* name = nullptr;                                                                                           \
    if (!GetAnyWidget(v, idx, name))                                                                                   \
        return sq_suspendvm(v);

#define FETCH_KIND(idx, kind, type, name)                                                                              \
    type* name = nullptr;                                                                                              \
    {                                                                                                                  \
        zWidget* fetched_ = nullptr;                                                                                   \
        if (!GetWidgetOfKind(v, idx, kind, fetched_))                                                                  \
            return sq_suspendvm(v);                                                                                    \
        name = static_cast<type*>(fetched_);                                                                           \
    }

SQInteger CastToWidget(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    PushWidgetAs(v, widget, SqPtrWidget);
    return 1;
}

// A Widget handle seen as a more specific kind: only when the widget is of
// that type, otherwise a null handle of the kind (with a warning).
SQInteger CastFromWidget(HSQUIRRELVM v, int32_t kind, const char* caller)
{
    FETCH_KIND(2, SqPtrWidget, zWidget, widget);
    if (widget != nullptr && WidgetKind(widget) != kind) {
        LogWarning(caller) << "Widget " << widget->id << " is not a " << SqSafePtrTypeToString(kind).c_str() << ".\n";
        widget = nullptr;
    }
    PushWidgetAs(v, widget, kind);
    return 1;
}

SQInteger WidgetToBitmap(HSQUIRRELVM v) { return CastFromWidget(v, SqPtrBitmapWidget, "WidgetToBitmap"); }
SQInteger WidgetToText(HSQUIRRELVM v) { return CastFromWidget(v, SqPtrTextWidget, "WidgetToText"); }
SQInteger WidgetToCheck(HSQUIRRELVM v) { return CastFromWidget(v, SqPtrCheckWidget, "WidgetToCheck"); }

SQInteger WidgetSetEventHandler(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr)
        SetScriptHandler(v, widget->handlers, 3, 0, 4, "WidgetSetEventHandler");
    return 0;
}

SQInteger WidgetSetEventHandlerWithContext(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr)
        SetScriptHandler(v, widget->handlers, 3, 4, 5, "WidgetSetEventHandlerWithContext");
    return 0;
}

SQInteger WidgetSetSensitive(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr)
        widget->handlers.sensitive = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger WidgetGetRect(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    // A widget that is gone gives the rectangle of a window that is none.
    PushRect(v, widget != nullptr ? widget->rect : zPicture::Rect{-1, -1, -1, -1});
    return 1;
}

SQInteger WidgetGetScreenPosition(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrWidget, zWidget, widget);
    float x = 0.0f, y = 0.0f;
    if (widget != nullptr)
        widget->GetScreenPosition(x, y);
    if (!SqPushVector(v, zVector(x, y, 0.0f)))
        sq_pushnull(v);
    return 1;
}

SQInteger WidgetSetHAlign(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr) {
        widget->hAlign = int32_t(GetInteger(v, 3));
        widget->Invalidate();
    }
    return 0;
}

SQInteger WidgetSetVAlign(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr) {
        widget->vAlign = int32_t(GetInteger(v, 3));
        widget->Invalidate();
    }
    return 0;
}

SQInteger WidgetSetHidden(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    const bool hide = GetBool(v, 3);
    if (widget != nullptr && (widget->hidden != 0) != hide)
        widget->SetHidden(hide);
    return 0;
}

SQInteger WidgetIsHidden(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    sq_pushbool(v, widget != nullptr && widget->hidden ? SQTrue : SQFalse);
    return 1;
}

SQInteger WidgetSetFormattingSize(HSQUIRRELVM v)
{
    FETCH_ANY(2, widget);
    if (widget != nullptr)
        widget->SetFormattingSize(GetFloat(v, 3), GetFloat(v, 4));
    return 0;
}

// A widget joins a sizer or container of its own 2D scene only, and never one
// of the widgets it holds itself (the sizer and container refuse loops).
bool CanAdopt(const zWidget* holder, const zWidget* widget, const char* caller)
{
    if (widget->embedded) {
        LogError(caller) << "Widget " << widget->id << " is part of another widget.\n";
        return false;
    }
    if (widget->scene != holder->scene) {
        LogError(caller) << "Widget " << widget->id << " belongs to another window system.\n";
        return false;
    }
    return true;
}

SQInteger SizerAddWidget(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrBaseSizer, zSizer, sizer);
    FETCH_ANY(3, widget);
    bool added = false;
    if (sizer != nullptr && widget != nullptr && CanAdopt(sizer, widget, "SizerAddWidget")) {
        added = sizer->AddWidget(widget);
        if (!added)
            LogError("SizerAddWidget") << "Widget " << widget->id << " would hold its own sizer.\n";
    }
    PushWidget(v, added ? widget : nullptr);
    return 1;
}

SQInteger SizerSetDrawDelimiter(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrBaseSizer, zSizer, sizer);
    if (sizer != nullptr) {
        sizer->drawDelimiter = GetBool(v, 3) ? 1 : 0;
        sizer->Invalidate();
    }
    return 0;
}

SQInteger SizerSetBorderSize(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrBaseSizer, zSizer, sizer);
    if (sizer != nullptr) {
        // Arguments: left, top, right, bottom.
        sizer->SetMargins(float(GetInteger(v, 4)), float(GetInteger(v, 6)), float(GetInteger(v, 3)),
                          float(GetInteger(v, 5)));
        sizer->Invalidate();
    }
    return 0;
}

SQInteger ContainerAddWidget(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrContainerWidget, zContainerWidget, container);
    FETCH_ANY(3, widget);
    zWidget* added = nullptr;
    if (container != nullptr && widget != nullptr && CanAdopt(container, widget, "ContainerAddWidget")) {
        const float x = GetFloat(v, 4), y = GetFloat(v, 5);
        const zPicture::Rect cell{ToPixel(x), ToPixel(y), ToPixel(x + GetFloat(v, 6)), ToPixel(y + GetFloat(v, 7))};
        added = container->Add(widget, cell);
        if (added == nullptr)
            LogError("ContainerAddWidget") << "Widget " << widget->id << " would hold its own container.\n";
    }
    PushWidget(v, added);
    return 1;
}

SQInteger ContainerWidgetSetPosition(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrContainerWidget, zContainerWidget, container);
    FETCH_ANY(3, widget);
    if (container == nullptr || widget == nullptr)
        return 0;
    zContainerCell* cell = container->FindCell(widget);
    if (cell == nullptr) {
        LogError("ContainerWidgetSetPosition") << "Widget not found in container.\n";
        return 0;
    }
    // The cell moves and keeps its size.
    const int32_t x = ToPixel(GetFloat(v, 4)), y = ToPixel(GetFloat(v, 5));
    const int64_t width = int64_t(cell->x1) - cell->x0, height = int64_t(cell->y1) - cell->y0;
    cell->x0 = x;
    cell->y0 = y;
    cell->x1 = int32_t(std::clamp<int64_t>(x + width, INT32_MIN, INT32_MAX));
    cell->y1 = int32_t(std::clamp<int64_t>(y + height, INT32_MIN, INT32_MAX));
    container->Invalidate();
    return 0;
}

SQInteger CanvasWidgetLock(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCanvasWidget, zCanvasWidget, canvas);
    SqPushSafePtr(v, canvas != nullptr ? &canvas->canvas : nullptr, SqPtrPicture);
    return 1;
}

SQInteger CanvasWidgetUnlock(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCanvasWidget, zCanvasWidget, canvas);
    if (canvas != nullptr) {
        // Drawing may have given the canvas new pixels (PictureAlloc,
        // PictureResize) in another byte order than the cache picture's.
        if (canvas->canvas.HasBuffer() && canvas->canvas.format.IsDifferent(PixelFormatARGB32))
            canvas->canvas.ConvertTo(PixelFormatARGB32);
        canvas->picture = canvas->canvas.HasBuffer() ? &canvas->canvas : nullptr;
        canvas->Invalidate();
    }
    return 0;
}

SQInteger BitmapSetPicture(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrBitmapWidget, zBitmapWidget, bitmap);
    if (bitmap != nullptr)
        bitmap->SetPicture(GetString(v, 3));
    return 0;
}

SQInteger TextSetAlignment(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    const int32_t align = int32_t(GetInteger(v, 3));
    if (text != nullptr && text->parameters.align != align) {
        text->parameters.align = align;
        text->Invalidate();
    }
    return 0;
}

SQInteger TextSetFormat(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    const int32_t format = int32_t(GetInteger(v, 3));
    if (text != nullptr && text->parameters.format != format) {
        text->parameters.format = format;
        text->Invalidate();
    }
    return 0;
}

SQInteger TextSetSize(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    if (text != nullptr)
        text->SetSize(int32_t(GetInteger(v, 3)));
    return 0;
}

SQInteger TextSetColor(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    if (text != nullptr)
        text->SetColor(float(GetInteger(v, 3)) * 0.003921569f, float(GetInteger(v, 4)) * 0.003921569f,
                       float(GetInteger(v, 5)) * 0.003921569f, float(GetInteger(v, 6)) * 0.003921569f);
    return 0;
}

SQInteger TextSetText(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    if (text != nullptr)
        text->SetText(GetString(v, 3));
    return 0;
}

SQInteger TextSetParameters(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrTextWidget, zTextWidget, text);
    if (text != nullptr) {
        zTextParameters parameters = text->GetParameters();
        ApplyTextParameterTable(v, 3, parameters);
        text->SetParameters(parameters);
    }
    return 0;
}

SQInteger TextComputeRect(HSQUIRRELVM v)
{
    zPicture::Rect rect{0, 0, 0, 0};
    GetRect(v, 2, rect);
    zTextParameters parameters;
    ApplyTextParameterTable(v, 5, parameters);
    parameters.font = zScene2D::GetFont(GetString(v, 4));
    PushRect(v, ComputeTextRect(GetString(v, 3), parameters, rect));
    return 1;
}

SQInteger CheckWidgetSetLabel(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    if (check != nullptr) {
        check->label.SetText(GetString(v, 3));
        check->Invalidate();
    }
    return 0;
}

SQInteger CheckWidgetSetLabelFont(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    if (check != nullptr) {
        check->label.SetFont(zScene2D::GetFont(GetString(v, 3)));
        check->Invalidate();
    }
    return 0;
}

SQInteger CheckWidgetSetLabelSize(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    if (check != nullptr) {
        check->label.SetSize(int32_t(GetInteger(v, 3)));
        check->Invalidate();
    }
    return 0;
}

SQInteger CheckWidgetSetState(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    if (check != nullptr)
        check->SetState(GetBool(v, 3));
    return 0;
}

SQInteger CheckWidgetGetState(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    sq_pushbool(v, check != nullptr && check->GetState() ? SQTrue : SQFalse);
    return 1;
}

SQInteger CheckWidgetGetText(HSQUIRRELVM v)
{
    FETCH_KIND(2, SqPtrCheckWidget, zCheckWidget, check);
    PushWidgetAs(v, check != nullptr ? &check->label : nullptr, SqPtrTextWidget);
    return 1;
}

} // namespace

namespace sqbind {

void RegisterWidgetFunctions(HSQUIRRELVM v)
{
    Register(v, CastToWidget, "CastToWidget", ".u");
    Register(v, WidgetToBitmap, "WidgetToBitmap", "x|tu");
    Register(v, WidgetToText, "WidgetToText", "x|tu");
    Register(v, WidgetToCheck, "WidgetToCheck", "x|tu");
    Register(v, WidgetSetEventHandler, "WidgetSetEventHandler", "x|tuic");
    Register(v, WidgetSetEventHandlerWithContext, "WidgetSetEventHandlerWithContext", "x|tui.c");
    Register(v, WidgetSetSensitive, "WidgetSetSensitive", "x|tub");
    Register(v, WidgetGetRect, "WidgetGetRect", "x|tu");
    Register(v, WidgetGetScreenPosition, "WidgetGetScreenPosition", ".u");
    Register(v, WidgetSetHAlign, "WidgetSetHAlign", "x|tui");
    Register(v, WidgetSetVAlign, "WidgetSetVAlign", "x|tui");
    Register(v, WidgetSetHidden, "WidgetSetHidden", "x|tub");
    Register(v, WidgetIsHidden, "WidgetIsHidden", "x|tu");
    Register(v, WidgetSetFormattingSize, "WidgetSetFormattingSize", "x|tuff");
    Register(v, SizerAddWidget, "SizerAddWidget", "x|tuu");
    Register(v, SizerSetDrawDelimiter, "SizerSetDrawDelimiter", "x|tub");
    Register(v, SizerSetBorderSize, "SizerSetBorderSize", "x|tuiiii");
    Register(v, ContainerAddWidget, "ContainerAddWidget", "x|tuuffff");
    Register(v, ContainerWidgetSetPosition, "ContainerWidgetSetPosition", "x|tuuff");
    Register(v, CanvasWidgetLock, "CanvasWidgetLock", "x|tu");
    Register(v, CanvasWidgetUnlock, "CanvasWidgetUnlock", "x|tu");
    Register(v, BitmapSetPicture, "BitmapSetPicture", "x|tus");
    Register(v, TextSetAlignment, "TextSetAlignment", "x|tui");
    Register(v, TextSetFormat, "TextSetFormat", "x|tui");
    Register(v, TextSetSize, "TextSetSize", "x|tui");
    Register(v, TextSetColor, "TextSetColor", "x|tunnnn");
    Register(v, TextSetText, "TextSetText", "x|tus");
    Register(v, TextSetParameters, "TextSetParameters", "x|tut");
    Register(v, TextComputeRect, "TextComputeRect", "x|txsst");
    Register(v, CheckWidgetSetLabel, "CheckWidgetSetLabel", "x|tus");
    Register(v, CheckWidgetSetLabelFont, "CheckWidgetSetLabelFont", "x|tus");
    Register(v, CheckWidgetSetLabelSize, "CheckWidgetSetLabelSize", "x|tui");
    Register(v, CheckWidgetSetState, "CheckWidgetSetState", "x|tub");
    Register(v, CheckWidgetGetState, "CheckWidgetGetState", "x|tu");
    Register(v, CheckWidgetGetText, "CheckWidgetGetText", "x|tu");
}

} // namespace sqbind
