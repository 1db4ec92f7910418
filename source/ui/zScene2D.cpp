#include "ui/zScene2D.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/camera/zCamera.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMatrix4.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "script/SqSafePtr.h"
#include "ui/zPictureWidget.h"
#include "ui/zWidget.h"
#include "ui/zWindow.h"

#include <algorithm>
#include <new>

namespace {

constexpr float TicksToSeconds = 0.0001f;

bool StrictlyInside(const zPicture::Rect& r, int32_t x, int32_t y)
{
    const int32_t left = std::min(r.x0, r.x1), right = std::max(r.x0, r.x1);
    const int32_t top = std::min(r.y0, r.y1), bottom = std::max(r.y0, r.y1);
    return left < x && x < right && top < y && y < bottom;
}

} // namespace

zScene2D::zScene2D(Tavrin* owner, zScriptMaster* master, zInputSource* mouseSource)
    : zScriptUnit(master), core(owner), mouse(mouseSource != nullptr ? *mouseSource : GetDesktopInputSource())
{
    sq_resetobject(&onUpdate);
    SetOwner(this, SqPtrWindowSystem);
    mouse.SetAbsoluteMode(true);
    commandManager.DefineACECommand("toalpha", CommandToAlpha, 1);
    commandManager.DefineACECommand("toposition", CommandToPosition, 2);
    commandManager.DefineACECommand("toscale", CommandToScale, 2);
    commandManager.DefineACECommand("toangle", CommandToAngle, 1);
    commandManager.DefineACECommand("show", CommandShow, 0);
    commandManager.DefineACECommand("hide", CommandHide, 0);
    commandManager.DefineACECommand("globalfade", CommandGlobalFade, 1);
}

zScene2D::~zScene2D()
{
    CloseScriptUnit();
    Clear();
    // Loose widgets the scene owns go first (each with what it holds).
    for (;;) {
        zWidget* loose = nullptr;
        for (zLinkedListEntry* e = widgetRegistry.GetFirst(); e != nullptr && loose == nullptr; e = e->next) {
            zWidget* widget = static_cast<zWidgetRecord*>(e)->widget;
            if (widget->ownedByScene && widget->parent == nullptr)
                loose = widget;
        }
        if (loose == nullptr)
            break;
        delete loose;
    }
    // Other widgets that never joined a window outlive the scene: they forget it.
    while (auto* record = static_cast<zWidgetRecord*>(widgetRegistry.GetFirst())) {
        record->widget->scene = nullptr;
        record->widget->registryRecord = nullptr;
        widgetRegistry.Remove(record, true);
    }
    SqSafePtrInvalidate(this);
}

bool zScene2D::OpenScriptUnit()
{
    if (!zScriptUnit::OpenScriptUnit())
        return false;
    ReleaseMember(onUpdate);
    GetInstanceMember("OnUpdate", onUpdate);
    return true;
}

void zScene2D::CloseScriptUnit()
{
    ReleaseMember(onUpdate);
    zScriptUnit::CloseScriptUnit();
}

bool zScene2D::Setup()
{
    if (!OpenScriptUnit())
        return false;
    if (SetupFunctionCall("OnSetup"))
        DoFunctionCall(0);
    return true;
}

void zScene2D::Reset()
{
    if (SetupFunctionCall("OnReset"))
        DoFunctionCall(0);
}

zRenderer* zScene2D::GetRenderer() const
{
    return core != nullptr ? core->renderer : nullptr;
}

void zScene2D::RegisterWidget(zWidget* widget)
{
    auto* record = new (std::nothrow) zWidgetRecord;
    if (record == nullptr)
        return;
    record->widget = widget;
    widget->registryRecord = record;
    widgetRegistry.Add(record, true, true);
}

void zScene2D::UnregisterWidget(zWidget* widget)
{
    if (widget->registryRecord != nullptr) {
        widgetRegistry.Remove(widget->registryRecord, true);
        widget->registryRecord = nullptr;
    }
}

void zScene2D::ForgetWidget(const zWidget* widget)
{
    for (zMouseRecord* record : {&mouseNow, &mousePrev}) {
        if (record->widget == widget)
            record->widget = nullptr;
        if (record->leftPress == widget)
            record->leftPress = nullptr;
        if (record->rightPress == widget)
            record->rightPress = nullptr;
        if (record->middlePress == widget)
            record->middlePress = nullptr;
    }
    for (zWidget*& target : pendingTargets) {
        if (target == widget)
            target = nullptr;
    }
}

void zScene2D::ForgetWindow(const zWindow* window)
{
    if (cursorWindow == window)
        cursorWindow = nullptr;
    if (draggedWindow == window)
        draggedWindow = nullptr;
    for (zMouseRecord* record : {&mouseNow, &mousePrev}) {
        if (record->window == window)
            record->window = nullptr;
    }
}

bool zScene2D::IsWindowListed(const zWindow* window) const
{
    return window != nullptr && windows.Contains(window);
}

int32_t zScene2D::SkinWidth(int32_t part) const
{
    return part >= 0 && part < SkinPartCount && skin[part] != nullptr ? skin[part]->picture.width : 0;
}

int32_t zScene2D::SkinHeight(int32_t part) const
{
    return part >= 0 && part < SkinPartCount && skin[part] != nullptr ? skin[part]->picture.height : 0;
}

zWindow* zScene2D::FindWindowByUid(uint32_t uid) const
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr && uid != 0; e = e->next) {
        if (static_cast<zWindow*>(e)->uid == uid)
            return static_cast<zWindow*>(e);
    }
    return nullptr;
}

void zScene2D::StartReplay()
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next) {
        auto* window = static_cast<zWindow*>(e);
        if (window->excludeFromRecord)
            continue;
        // A window the record does not name stays where it is.
        if (!window->matrixLocked)
            window->worldMatrix = window->ComputeWorldMatrix();
        window->matrixLocked = 1;
    }
}

void zScene2D::EndReplay()
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next) {
        auto* window = static_cast<zWindow*>(e);
        // Only a replay locks windows: one excluded while the replay ran is
        // released too rather than left frozen.
        if (!window->matrixLocked && window->excludeFromRecord)
            continue;
        window->matrixLocked = 0;
        window->UpdateMatrix();
        window->worldMatrix = window->ComputeWorldMatrix();
    }
}

void zScene2D::DetachWindow(zWindow* window)
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next) {
        auto* other = static_cast<zWindow*>(e);
        if (other->parent == window)
            other->parent = nullptr;
    }
    ForgetWindow(window);
    if (windows.Contains(window))
        windows.Unlink(window);
}

void zScene2D::DeleteWindowNow(zWindow* window)
{
    DetachWindow(window);
    SqSafePtrInvalidate(window);
    delete window;
}

void zScene2D::DeleteWindow(zWindow* window)
{
    if (!IsWindowListed(window))
        return;
    DeleteWindowNow(window);
}

void zScene2D::Clear()
{
    while (auto* window = static_cast<zWindow*>(windows.GetFirst()))
        DeleteWindowNow(window);
    // Widgets outside any window keep living: those showing a cached picture let go of it.
    for (zLinkedListEntry* e = widgetRegistry.GetFirst(); e != nullptr; e = e->next) {
        zWidget* widget = static_cast<zWidgetRecord*>(e)->widget;
        if (widget->typeId == zWidget::TypeBitmap) {
            static_cast<zBitmapWidget*>(widget)->picture = nullptr;
            widget->Invalidate();
        }
    }
    // Scripts may hold Picture handles to cached pictures.
    for (zLinkedListEntry* e = pictures.GetFirst(); e != nullptr; e = e->next)
        SqSafePtrInvalidate(&static_cast<zScene2DPicture*>(e)->picture);
    pictures.Clear(true);
    skinComplete = 0;
    std::fill(std::begin(skin), std::end(skin), nullptr);
    cursorWindow = nullptr;
    draggedWindow = nullptr;
    mouseNow = zMouseRecord{};
    mousePrev = zMouseRecord{};
}

zScene2DPicture* zScene2D::LoadPicture(const char* path)
{
    if (path == nullptr)
        return nullptr;
    if (auto* found = static_cast<zScene2DPicture*>(pictures.FindByName(path)))
        return found;
    auto* entry = new (std::nothrow) zScene2DPicture(path);
    if (entry == nullptr) {
        LogError("zScene2D::LoadPicture") << "Failed to allocate new window system picture.\n";
        return nullptr;
    }
    if (!zPictureIO::Load(entry->picture, path) || entry->picture.pixels == nullptr ||
        !entry->picture.ConvertTo(PixelFormatARGB32)) {
        LogError("zScene2D::LoadPicture") << "Failed to load new window system picture '" << path << "'.\n";
        delete entry;
        return nullptr;
    }
    pictures.Add(entry, true, true);
    return entry;
}

bool zScene2D::SetSkin(const char* const paths[SkinPartCount], int32_t backgroundColor, int32_t titleColorValue,
                       int32_t top, int32_t bottom, int32_t titleSizeValue, const char* fontName)
{
    for (int32_t i = 0; i < SkinPartCount; ++i) {
        if (paths == nullptr || paths[i] == nullptr) {
            skinComplete = 0;
            return false;
        }
    }
    bool complete = true;
    for (int32_t i = 0; i < SkinPartCount; ++i) {
        skin[i] = LoadPicture(paths[i]);
        complete = complete && skin[i] != nullptr;
    }
    skinComplete = complete ? 1 : 0;
    skinBackgroundColor = backgroundColor;
    titleColor = titleColorValue;
    titleTop = top;
    titleBottom = bottom;
    titleSize = titleSizeValue;
    skinFontName = fontName;
    return complete;
}

void zScene2D::SetCursor(const char* path)
{
    if (cursorWindow != nullptr)
        DeleteWindow(cursorWindow);
    cursorWindow = nullptr;
    if (path == nullptr)
        return;
    const float origin[2] = {0.0f, 0.0f};
    auto* window = new (std::nothrow) zWindow(this, nullptr, -1, "SystemCursor", origin, nullptr);
    if (window == nullptr)
        return;
    window->SetBackgroundColor(0, 0, 0, 0);
    const bool loaded = window->SetBackgroundPicture(path);
    window->style = zWindow::StyleAlwaysOnTop | zWindow::StyleResolutionInvariant;
    if (loaded)
        window->SetSize(float(window->backgroundPicture->picture.width),
                        float(window->backgroundPicture->picture.height));
    cursorWindow = window;
}

void zScene2D::SetCursorAutoHideDelay(float seconds)
{
    cursorHideDelay = seconds;
    if (seconds <= 0.0f && cursorWindow != nullptr) {
        cursorWindow->SetOpacity(1.0f);
        cursorWindow->shown = 1;
    }
}

void zScene2D::LockToWindow(zWindow* window)
{
    if (window == nullptr) {
        LogWarning("zScene2D::LockToWindow") << "Cannot lock UI to NULL window.\n";
        return;
    }
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next) {
        auto* w = static_cast<zWindow*>(e);
        w->style &= ~zWindow::StyleLocked;
        bool underWindow = false;
        int32_t depth = 0;
        for (const zWindow* p = w; p != nullptr && depth < 256; p = p->parent, ++depth)
            underWindow = underWindow || p == window;
        if (!underWindow)
            w->style |= zWindow::StyleLocked;
    }
}

void zScene2D::Unlock()
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next)
        static_cast<zWindow*>(e)->style &= ~zWindow::StyleLocked;
}

void zScene2D::MoveWindowToFront(zWindow* window, zWindow* after)
{
    if (!IsWindowListed(window) || window == after)
        return;
    windows.Unlink(window);
    if (IsWindowListed(after))
        windows.InsertAfter(window, after, true);
    else
        windows.Add(window, true, true);
}

void zScene2D::MoveWindowToBack(zWindow* window, zWindow* before)
{
    if (!IsWindowListed(window) || window == before)
        return;
    windows.Unlink(window);
    if (IsWindowListed(before))
        windows.InsertBefore(window, before, true);
    else
        windows.Add(window, false, true);
}

void zScene2D::SetExcludeFromRecord(bool exclude)
{
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next)
        static_cast<zWindow*>(e)->excludeFromRecord = exclude ? 1 : 0;
}

bool zScene2D::ExecCommand(zACECommand* command, float slice)
{
    if (command == nullptr)
        return false;
    if (command->code == CommandGlobalFade) {
        const float f = command->remaining > 0.0f ? std::min(slice / command->remaining, 1.0f) : 1.0f;
        fadeAmount = StepToward(fadeAmount, command->parameters[0], f);
        return true;
    }
    return zACEUnit::ExecCommand(command, slice);
}

bool zScene2D::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "Scene2d") {
        LogError("zScene2D::FromMetaTag") << "Could not parse 2d scene. Root tag id is incorrect ("
                                          << (tag != nullptr ? tag->GetName().Get() : "null") << ").\n";
        return false;
    }
    if (document != nullptr)
        sourceName = document->GetFileName();
    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        if (child->GetName() == "ScriptUnit")
            zScriptUnit::FromMetaTag(document, child);
        else
            LogWarning("zScene2D::FromMetaTag") << "Unknown tag '" << child->GetName() << "' in <Scene2d>.\n";
    }
    return true;
}

zMetaTag* zScene2D::AsMetaTag(zLinkedListId*)
{
    auto* root = new (std::nothrow) zMetaTag("Scene2d");
    if (root == nullptr) {
        LogError("zScene2D::AsMetaTag") << "Could not create managed root tag to serialize.\n";
        return nullptr;
    }
    if (zMetaTag* unit = zScriptUnit::AsMetaTag())
        root->AddChild(unit);
    return root;
}

void zScene2D::Render()
{
    if (SetupFunctionCall("OnUpdate", &onUpdate))
        DoFunctionCall(0);

    const float dt = float(useRawClock ? GlobalRawFrameDelta : GlobalFrameDelta) * TicksToSeconds;
    Update(dt);
    {
        zLinkedListCursor cursor;
        while (auto* window = windows.NextAs<zWindow>(cursor))
            window->Update(dt);
    }

    // Windows that stay on top move to the tail, those that stay behind to the head.
    std::vector<zWindow*> order;
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next)
        order.push_back(static_cast<zWindow*>(e));
    for (zWindow* window : order) {
        if ((window->style & zWindow::StyleAlwaysOnTop) != 0)
            MoveWindowToFront(window, nullptr);
        else if ((window->style & zWindow::StyleAlwaysBehind) != 0)
            MoveWindowToBack(window, nullptr);
    }

    zRenderer* renderer = GetRenderer();
    float viewportWidth = virtualWidth, viewportHeight = virtualHeight;
    if (renderer != nullptr) {
        renderer->GetViewportSize(viewportWidth, viewportHeight);
        if (!(viewportWidth > 0.0f) || !(viewportHeight > 0.0f)) {
            viewportWidth = virtualWidth;
            viewportHeight = virtualHeight;
        }
    }
    if (cursorWindow != nullptr)
        ProcessMouse(viewportWidth, viewportHeight);

    if (renderer != nullptr) {
        renderer->SetViewMatrix(zMatrix4());
        zMatrix4 projection;
        projection.m[0] = (virtualWidth / virtualHeight) * (viewportHeight / viewportWidth) * GlobalAspectRatio;
        renderer->SetProjectionMatrix(projection);
    }
    for (zLinkedListEntry* e = windows.GetFirst(); e != nullptr; e = e->next)
        static_cast<zWindow*>(e)->Draw(renderer, false);
    if (cursorWindow != nullptr)
        cursorWindow->Draw(renderer, false);
    if (renderer != nullptr) {
        renderer->SetProjectionMatrix(zMatrix4());
        if (fadeAmount > 0.01f)
            DrawFade(renderer);
    }
}

void zScene2D::DrawFade(zRenderer* renderer)
{
    const float colour[4] = {fadeColor[0], fadeColor[1], fadeColor[2], fadeAmount};
    const zVector a(-1, -1, 0), b(1, -1, 0), c(1, 1, 0), d(-1, 1, 0);
    const zVector first[3] = {a, b, c};
    const zVector second[3] = {a, c, d};
    renderer->DrawTriangle(first, colour, nullptr, nullptr, zWindow::DrawFlags);
    renderer->DrawTriangle(second, colour, nullptr, nullptr, zWindow::DrawFlags);
}

void zScene2D::ProcessMouse(float viewportWidth, float viewportHeight)
{
    mousePrev = mouseNow;
    mouse.Update();
    int32_t value = 0;
    if (mouse.PoolFunction(zMouseDevice::FunctionX, value))
        cursorFraction[0] = float(value) / 65535.0f;
    if (mouse.PoolFunction(zMouseDevice::FunctionY, value))
        cursorFraction[1] = float(value) / 65535.0f;
    const float fx = cursorFraction[0], fy = cursorFraction[1];
    cursorWindow->SetPosition(viewportWidth * fx, viewportHeight * fy);

    if ((cursorWindow->style & zWindow::StyleResolutionInvariant) != 0) {
        const float aspect = GlobalAspectRatio != 0.0f ? GlobalAspectRatio : 1.0f;
        mouseNow.x = int32_t(((fx - 0.5f) / (virtualWidth / virtualHeight) * (viewportWidth / viewportHeight / aspect) +
                              0.5f) * virtualWidth);
        mouseNow.y = int32_t(virtualHeight * fy);
    } else {
        mouseNow.x = int32_t(viewportWidth * fx);
        mouseNow.y = int32_t(viewportHeight * fy);
    }
    const bool moved = mouseNow.x != mousePrev.x || mouseNow.y != mousePrev.y;

    if (cursorHideDelay > 0.0f) {
        const float clock = float(GlobalClock) * TicksToSeconds;
        if (moved)
            cursorMovedAt = clock;
        if (clock - cursorMovedAt > cursorHideDelay) {
            if (!cursorWindow->IsRunning())
                commandManager.LoadACECommandList("toalpha 0.1,0; hide 0;", cursorWindow);
        } else {
            cursorWindow->ResetCommandList();
            cursorWindow->SetOpacity(1.0f);
            cursorWindow->shown = 1;
        }
    }

    int32_t button = 0;
    mouseNow.left = mouse.PoolFunction(zMouseDevice::FunctionLeftButton, button) && button != 0;
    mouseNow.right = mouse.PoolFunction(zMouseDevice::FunctionRightButton, button) && button != 0;
    mouseNow.middle = mouse.PoolFunction(zMouseDevice::FunctionMiddleButton, button) && button != 0;

    if (draggedWindow != nullptr) {
        draggedWindow->SetPosition(draggedWindow->position[0] + float(mouseNow.x - mousePrev.x),
                                   draggedWindow->position[1] + float(mouseNow.y - mousePrev.y));
        SendWindowEvent(draggedWindow, UIEventMove);
    }

    // The window under the cursor: the front-most sensitive, visible one.
    mouseNow.window = nullptr;
    for (zLinkedListEntry* e = windows.GetLast(); e != nullptr; e = e->prev) {
        auto* window = static_cast<zWindow*>(e);
        if (window == cursorWindow || !window->IsShown() || !(window->opacity > 0.0f) ||
            (window->style & zWindow::StyleNonSensitive) != 0)
            continue;
        if (StrictlyInside(window->RectToScreen(window->GetRect()), mouseNow.x, mouseNow.y)) {
            mouseNow.window = window;
            break;
        }
    }
    FindWidgetUnderCursor();

    const bool leftPressed = mouseNow.left && !mousePrev.left, leftReleased = !mouseNow.left && mousePrev.left;
    const bool rightPressed = mouseNow.right && !mousePrev.right, rightReleased = !mouseNow.right && mousePrev.right;
    const bool middlePressed = mouseNow.middle && !mousePrev.middle;
    const bool middleReleased = !mouseNow.middle && mousePrev.middle;
    if (leftPressed)
        mouseNow.leftPress = mouseNow.widget;
    if (rightPressed)
        mouseNow.rightPress = mouseNow.widget;
    if (middlePressed)
        mouseNow.middlePress = mouseNow.widget;

    if (draggedWindow == nullptr && mouseNow.widget != nullptr) {
        zWidget* const widget = mouseNow.widget;
        const bool sameAsBefore = widget == mousePrev.widget;
        // A handler may delete the widget or its window: every step checks
        // that the mouse still points at it.
        auto still = [&] { return mouseNow.widget == widget && mouseNow.window != nullptr; };
        if (leftReleased && still())
            Bubble(sameAsBefore && widget == mouseNow.leftPress ? UIEventLeftMouseClick : UIEventLeftMouseUp, widget);
        if (rightReleased && still())
            Bubble(sameAsBefore && widget == mouseNow.rightPress ? UIEventRightMouseClick : UIEventRightMouseUp,
                   widget);
        if (middleReleased && still())
            Bubble(sameAsBefore && widget == mouseNow.middlePress ? UIEventMiddleMouseClick : UIEventMiddleMouseUp,
                   widget);
        if (leftPressed && still() && !Bubble(UIEventLeftMouseDown, widget) && still()) {
            zWindow* window = mouseNow.window;
            if (!widget->handlers.HasHandler(UIEventLeftMouseClick) && (window->style & zWindow::StyleMovable) != 0 &&
                (window->style & zWindow::StyleLocked) == 0)
                draggedWindow = window;
        }
        if (rightPressed && still() && !Bubble(UIEventRightMouseDown, widget) && still()) {
            zWindow* window = mouseNow.window;
            if (!widget->handlers.HasHandler(UIEventRightMouseClick) &&
                (window->style & (zWindow::StyleNoTitleBar | zWindow::StyleNonSkinned)) == 0) {
                const bool shade = !window->shaded;
                SendWindowEvent(window, shade ? UIEventShade : UIEventUnshade);
                if (IsWindowListed(window))
                    window->SetShaded(shade);
            }
        }
        if (middlePressed && still())
            Bubble(UIEventMiddleMouseDown, widget);
        if (still() && (mouseNow.x != mousePrev.x || (mouseNow.y != mousePrev.y && sameAsBefore)))
            Bubble(UIEventMouseMove, widget);
    }

    if (mouseNow.widget == nullptr && leftPressed) {
        zWindow* window = mouseNow.window;
        if (window == nullptr)
            draggedWindow = nullptr;
        else if ((window->style & zWindow::StyleMovable) != 0 && (window->style & zWindow::StyleLocked) == 0)
            draggedWindow = window;
    }
    if (draggedWindow != nullptr && leftReleased)
        draggedWindow = nullptr;

    zWindow* previousWindow = mousePrev.window;
    zWindow* currentWindow = mouseNow.window;
    if (currentWindow != nullptr) {
        SendEnterLeave(currentWindow);
        if (currentWindow != previousWindow && IsWindowListed(currentWindow))
            SendWindowEvent(currentWindow, UIEventMouseEnter);
    }
    // The previous window may have been deleted by a handler meanwhile.
    previousWindow = mousePrev.window;
    if (previousWindow != nullptr && previousWindow != mouseNow.window) {
        SendEnterLeave(previousWindow);
        if (IsWindowListed(previousWindow))
            SendWindowEvent(previousWindow, UIEventMouseLeave);
    }
}

void zScene2D::FindWidgetUnderCursor()
{
    zWindow* window = mouseNow.window;
    mouseNow.widget = nullptr;
    if (window == nullptr || window->rootWidget == nullptr || window->rootWidget->hidden)
        return;
    zWidget* widget = window->rootWidget;
    for (int32_t depth = 0; depth < 1024; ++depth) {
        zWidget* match = nullptr;
        zWidgetCursor cursor;
        while (zWidget* child = widget->GetNextChild(cursor)) {
            if (!child->hidden && StrictlyInside(window->RectToScreen(child->rect), mouseNow.x, mouseNow.y)) {
                match = child;
                break;
            }
        }
        if (match == nullptr)
            break;
        widget = match;
    }
    mouseNow.widget = widget;
}

bool zScene2D::Bubble(int32_t event, zWidget* widget)
{
    zWindow* window = widget->window != nullptr ? widget->window : mouseNow.window;
    if (window == nullptr || (window->style & zWindow::StyleLocked) != 0)
        return false;
    zUIEventArgs args;
    args.window = window;
    args.widget = widget;
    args.id = widget->id;
    args.x = mouseNow.x;
    args.y = mouseNow.y;
    args.leftDown = mouseNow.left != 0;
    args.rightDown = mouseNow.right != 0;
    args.middleDown = mouseNow.middle != 0;
    for (zWidget* w = widget; w != nullptr; w = w->parent) {
        if (w->handlers.HasHandler(event))
            return w->handlers.Call(event, args);
    }
    return window->handlers.Call(event, args);
}

bool zScene2D::SendWindowEvent(zWindow* window, int32_t event)
{
    if (window == nullptr || (window->style & zWindow::StyleLocked) != 0)
        return false;
    zUIEventArgs args;
    args.isWindowEvent = true;
    args.window = window;
    args.windowX = window->position[0];
    args.windowY = window->position[1];
    return window->handlers.Call(event, args);
}

void zScene2D::SendEnterLeave(zWindow* window)
{
    if (window->rootWidget == nullptr || (window->style & zWindow::StyleLocked) != 0)
        return;
    // A point counts for a window's widgets only while the cursor was over
    // that window, so a widget hidden behind another window gets nothing.
    const bool nowHere = mouseNow.window == window;
    const bool beforeHere = mousePrev.window == window;
    std::vector<std::pair<zWidget*, int32_t>> events;
    std::vector<zWidget*> stack{window->rootWidget};
    while (!stack.empty()) {
        zWidget* widget = stack.back();
        stack.pop_back();
        if (widget->hidden)
            continue;
        const zPicture::Rect screen = window->RectToScreen(widget->rect);
        const bool inNow = nowHere && StrictlyInside(screen, mouseNow.x, mouseNow.y);
        const bool inBefore = beforeHere && StrictlyInside(screen, mousePrev.x, mousePrev.y);
        if (inNow && !inBefore)
            events.emplace_back(widget, UIEventMouseEnter);
        else if (inBefore && !inNow)
            events.emplace_back(widget, UIEventMouseLeave);
        zWidgetCursor cursor;
        std::vector<zWidget*> children;
        while (zWidget* child = widget->GetNextChild(cursor))
            children.push_back(child);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    pendingTargets.clear();
    for (const auto& e : events)
        pendingTargets.push_back(e.first);
    for (size_t i = 0; i < events.size(); ++i) {
        zWidget* widget = pendingTargets[i];
        if (widget == nullptr || !IsWindowListed(widget->window) ||
            (widget->window->style & zWindow::StyleLocked) != 0)
            continue;
        zUIEventArgs args;
        args.window = widget->window;
        args.widget = widget;
        args.id = widget->id;
        args.x = mouseNow.x;
        args.y = mouseNow.y;
        args.leftDown = mouseNow.left != 0;
        args.rightDown = mouseNow.right != 0;
        args.middleDown = mouseNow.middle != 0;
        widget->handlers.Call(events[i].second, args);
    }
    pendingTargets.clear();
}
