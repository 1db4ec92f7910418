#pragma once

#include "bfgt/picture/zPicture.h"
#include "core/ace/zACEManager.h"
#include "core/ace/zACEUnit.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/metafile/zMetaObject.h"
#include "framework/system/device/zMouseDevice.h"
#include "framework/tools/zString.h"
#include "script/zScriptUnit.h"
#include "ui/zUIEvents.h"

#include <vector>

#include <cstdint>

class Tavrin;
class zScriptMaster;
class zMetaTag;
class zRenderer;
class zTrueTypeFont;
class zWidget;
class zWindow;

// A picture of the scene's cache: its name is the path it was loaded from.
struct zScene2DPicture : public zLinkedListIdEntry {
    explicit zScene2DPicture(const char* path) : zLinkedListIdEntry(path) {}
    zPicture picture;
};

// Registry entry of a live widget of the scene.
struct zWidgetRecord : public zLinkedListEntry {
    zWidget* widget = nullptr;
};

// Where the mouse stands in one frame.
struct zMouseRecord {
    zWindow* window = nullptr;
    zWidget* widget = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    uint8_t left = 0;
    uint8_t right = 0;
    uint8_t middle = 0;
    zWidget* leftPress = nullptr;
    zWidget* rightPress = nullptr;
    zWidget* middlePress = nullptr;
};

// One 2D user-interface scene: windows with widget trees, a picture cache, a
// window skin, a cursor window, command lists, a global fade, the mouse and a
// script unit ("OnSetup", "OnReset", "OnUpdate", each called with the scene's
// handle of kind Window System). The owner calls Render once per frame after
// the 3D image. The font system is
// program-wide and lives here as static members: the application opens it once
// before the first 2D scene draws and closes it at shutdown. Main thread only.
class zScene2D : public zMetaObject, public zACEUnit, public zScriptUnit {
public:
    // Codes of the UI commands.
    enum Command : int32_t {
        CommandToAlpha = 0,
        CommandToPosition = 1,
        CommandToScale = 2,
        CommandToAngle = 3,
        CommandShow = 4,
        CommandHide = 5,
        CommandGlobalFade = 6,
    };
    // Skin pictures in the order SetSkin takes them.
    enum SkinPart : int32_t {
        SkinTop = 0,
        SkinLeft = 1,
        SkinRight = 2,
        SkinBottom = 3,
        SkinTopLeft = 4,
        SkinTopRight = 5,
        SkinBottomLeft = 6,
        SkinBottomRight = 7,
        SkinPartCount = 8,
    };

    // core gives the renderer and the textures (null: no drawing through a
    // renderer); master runs the script unit and the event handlers (neither
    // owned). mouseSource is where the scene's own mouse reads the cursor (the
    // desktop, i.e. the renderer's window, when null); it must outlive the scene.
    zScene2D(Tavrin* core, zScriptMaster* master, zInputSource* mouseSource = nullptr);
    ~zScene2D() override;
    zScene2D(const zScene2D&) = delete;
    zScene2D& operator=(const zScene2D&) = delete;

    // Opens the script unit (false when that fails), then calls "OnSetup".
    bool Setup();
    // Calls "OnReset".
    void Reset();
    bool OpenScriptUnit() override;
    void CloseScriptUnit() override;
    // The per-frame step: "OnUpdate", command lists, window order, mouse,
    // drawing. Without a renderer the windows still update their pictures.
    void Render();
    // Deletes every picture and window (with its widget tree), removes the
    // cursor window and forgets every window and widget the mouse remembers.
    void Clear();

    // The cached picture loaded from path (32-bit RGBA); null when it cannot
    // load. A path loads once. The scene owns it until Clear or destruction.
    zScene2DPicture* LoadPicture(const char* path);
    // Eight paths (top, left, right, bottom, top-left, top-right, bottom-left,
    // bottom-right). True when all eight loaded; a null path marks the skin
    // incomplete and changes nothing else. Colours are packed 0xAABBGGRR
    // (red in the low byte); top, bottom and the title size are pixels.
    bool SetSkin(const char* const paths[SkinPartCount], int32_t backgroundColor, int32_t titleColorValue,
                 int32_t top, int32_t bottom, int32_t titleSizeValue, const char* fontName);
    // Replaces the cursor window; null removes it (and with it all mouse processing).
    void SetCursor(const char* path);
    // Hides the cursor after that many seconds without movement; 0 or less
    // never hides it.
    void SetCursorAutoHideDelay(float seconds);
    // Only window and its descendants receive events.
    void LockToWindow(zWindow* window);
    void Unlock();
    // Deletes the window; its children lose their parent, and nothing of the
    // scene keeps pointing at it or its widgets.
    void DeleteWindow(zWindow* window);
    // Moves the window after `after` (the tail when null) / before `before`
    // (the head when null).
    void MoveWindowToFront(zWindow* window, zWindow* after);
    void MoveWindowToBack(zWindow* window, zWindow* before);
    void SetExcludeFromRecord(bool exclude);
    // The listed window with that uid (zWindow::uid); null when there is none,
    // e.g. after it was deleted.
    zWindow* FindWindowByUid(uint32_t uid) const;
    // A scene replay starts: every window not excluded from record keeps the
    // world matrix the replay gives it instead of computing its own.
    void StartReplay();
    // The replay ends (or is abandoned): those windows place themselves again
    // from their position and angle.
    void EndReplay();

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag) override;
    // A new "Scene2d" tag the caller owns (the script unit only); null when it
    // cannot be allocated.
    zMetaTag* AsMetaTag(zLinkedListId* list) override;
    bool ExecCommand(zACECommand* command, float slice) override;

    // Widgets and windows report their birth and death here.
    void RegisterWidget(zWidget* widget);
    void UnregisterWidget(zWidget* widget);
    // Drops every reference the mouse records hold to the widget.
    void ForgetWidget(const zWidget* widget);
    bool IsWindowListed(const zWindow* window) const;
    // Takes a window out of the scene without deleting it: unlinked, its
    // children orphaned, forgotten by the cursor, the drag and the mouse.
    // A window's destructor calls it, so deleting one directly is safe too.
    void DetachWindow(zWindow* window);
    zRenderer* GetRenderer() const;

    // The font system.
    // Starts FreeType and opens "default.ttf" (found through the search paths)
    // as the default font. True when already open; false, with the system
    // closed again, when either step fails.
    static bool OpenFontSystem();
    // Deletes every font and the default font and stops FreeType; a second
    // call does nothing.
    static void CloseFontSystem();
    static bool IsFontSystemOpen();
    // Loads a TrueType file into the font list, named after its base name.
    // Null when the system is closed, when the list already holds a font
    // named exactly as the path, or when the file cannot be read or opened.
    // The list owns the font.
    static zTrueTypeFont* OpenFont(const char* path);
    // The loaded font with that name, else the default font (null while the
    // system is closed).
    static zTrueTypeFont* GetFont(const char* name);
    static zTrueTypeFont* GetDefaultFont();
    static zLinkedListId& GetFontList();

    zACEManager commandManager;
    Tavrin* core = nullptr;
    zMouseDevice mouse;
    // Seconds of the frame clock when the cursor last moved.
    float cursorMovedAt = 0.0f;
    float cursorHideDelay = 0.0f;
    zWindow* cursorWindow = nullptr;
    zWindow* draggedWindow = nullptr;
    zMouseRecord mouseNow;
    zMouseRecord mousePrev;
    // Nonzero: command lists run on the unscaled frame delta.
    uint8_t useRawClock = 0;
    // The virtual screen, in pixels, that window coordinates refer to.
    float virtualWidth = 1280.0f;
    float virtualHeight = 960.0f;
    float fadeAmount = 0.0f;
    zLinkedList widgetRegistry;
    zLinkedListId windows;
    zLinkedListId pictures;
    uint8_t skinComplete = 0;
    zScene2DPicture* skin[SkinPartCount] = {};
    int32_t skinBackgroundColor = 0;
    zString skinFontName{"Default"};
    int32_t titleTop = 12;
    int32_t titleBottom = 0;
    int32_t titleSize = 28;
    int32_t titleColor = -1;
    zString sourceName;
    float fadeColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    // "OnUpdate", looked up when the unit opens; null when absent.
    HSQOBJECT onUpdate;

    // Width and height of a skin picture, 0 for a missing one.
    int32_t SkinWidth(int32_t part) const;
    int32_t SkinHeight(int32_t part) const;

private:
    void ProcessMouse(float viewportWidth, float viewportHeight);
    void FindWidgetUnderCursor();
    // Sends a widget event up the parent chain, then to the window. True when
    // a handler was called.
    bool Bubble(int32_t event, zWidget* widget);
    bool SendWindowEvent(zWindow* window, int32_t event);
    void SendEnterLeave(zWindow* window);
    void ForgetWindow(const zWindow* window);
    void DrawFade(zRenderer* renderer);
    void DeleteWindowNow(zWindow* window);

    // Last cursor position read from the mouse, as fractions of the client area.
    float cursorFraction[2] = {0.0f, 0.0f};
    // Widgets about to receive enter and leave events; ForgetWidget clears
    // the ones deleted by a handler on the way.
    std::vector<zWidget*> pendingTargets;
};
