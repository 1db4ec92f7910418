#pragma once

#include "core/ace/zACEUnit.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix3.h"
#include "ui/zTextWidget.h"
#include "ui/zUIEvents.h"

#include <cstdint>

class zRenderer;
class zScene2D;
class zTexture;
struct zScene2DPicture;

// One rectangle of a 2D scene: it owns a widget tree and a title, draws them
// into a cache picture held in a texture of its own, and draws that texture as
// a transformed, tinted quad. Windows are created into their scene's window
// list (which owns them) and placed through their parent chain. Main thread only.
class zWindow : public zLinkedListIdEntry, public zACEUnit {
public:
    // Style bits.
    enum Style : int32_t {
        StyleBlendAdditive = 1,
        StyleAlwaysOnTop = 2,
        StyleAlwaysBehind = 4,
        StyleNonSensitive = 8,
        StyleResolutionInvariant = 16,
        StyleLockUV = 32,
        StyleNonSkinned = 64,
        StyleLocked = 128,
        StyleNoTitleBar = 256,
        StyleMovable = 512,
    };
    static constexpr uint32_t DrawFlags = 0x4000;
    static constexpr uint32_t DrawFlagsAdditive = 0x4004;

    // Appends itself to the scene's window list, which owns it; the parent is
    // not owned. Null position gives
    // (0.5, 0.5), null size 320 x 200, a null title "Titleless Window".
    zWindow(zScene2D* scene, zWindow* parent, int32_t id, const char* title, const float* position = nullptr,
            const float* size = nullptr);
    // Leaves the scene (zScene2D::DetachWindow), deletes the root widget and
    // the cache texture.
    ~zWindow() override;

    // Pixels of the scene's virtual screen (of the viewport for a
    // resolution-invariant window), in the parent window's frame.
    void SetPosition(float x, float y);
    // Pixels of the window: the point placed at the position, and the
    // centre of rotation and scale.
    void SetPivot(float x, float y);
    void SetScale(float x, float y);
    void SetRotation(float radians);
    // Clamped to 0..1.
    void SetOpacity(float value);
    void SetParent(zWindow* newParent);
    // Components 0..1.
    void SetBackgroundColor(float r, float g, float b, float a);
    // Loads through the scene's picture cache: on success the picture is the
    // background and the window NonSkinned; on failure NonSkinned is cleared
    // and the previous picture stays. False on failure.
    bool SetBackgroundPicture(const char* path);
    // Pixels. The cache picture grows to powers of two that hold the size;
    // it never shrinks.
    void SetSize(float width, float height);
    // Takes the widget tree (the previous root is deleted when it differs).
    // An embedded widget is refused (nothing changes).
    void SetBaseWidget(zWidget* widget);
    void Invalidate();
    zWidget* GetChild(int32_t childId) const;
    // Shown, and every ancestor shown.
    bool IsShown() const;
    // (0, 0, width, height); while shaded the height of the skin's top edge.
    zPicture::Rect GetRect() const;
    // The corners through the world matrix, truncated.
    zPicture::Rect RectToScreen(const zPicture::Rect& r) const;
    void SetShaded(bool shade);
    bool ExecCommand(zACECommand* command, float slice) override;
    // Lays the window out and draws its tree into the cache picture; with a
    // renderer also uploads the cache when it changed and draws the quad.
    virtual void Draw(zRenderer* renderer, bool force);

    // Where the title widget, the client area and the frame go on a complete skin.
    bool ShowsTitle() const;
    zPicture& GetCachePicture();
    // Window to scene units through the parent chain, from the positions,
    // angles, scales and pivots as they are now (whatever worldMatrix holds).
    zMatrix3 ComputeWorldMatrix() const;
    // Rebuilds localMatrix from the position and the angle.
    void UpdateMatrix();

    // Names the window for as long as the process runs: no other window has
    // had it, and it is never 0. Scene records refer to windows by it, so a
    // window deleted since is simply not found.
    const uint32_t uid;

    zUIEventHandlers handlers;
    zScene2D* scene = nullptr;
    zWidget* rootWidget = nullptr;
    zTextWidget title;
    uint8_t shown = 1;
    int32_t id = 0;
    float position[2] = {0.5f, 0.5f};
    float pivot[2] = {0.0f, 0.0f};
    float size[2] = {320.0f, 200.0f};
    float scale[2] = {1.0f, 1.0f};
    int32_t style = 0;
    float angle = 0.0f;
    float opacity = 1.0f;
    float backgroundColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    zScene2DPicture* backgroundPicture = nullptr;
    zString backgroundPath;
    uint8_t flipX = 0;
    uint8_t flipY = 0;
    uint8_t shaded = 0;
    uint8_t cacheDirty = 1;
    // Owned; not in the core's texture cache.
    zTexture* cacheTexture = nullptr;
    zWindow* parent = nullptr;
    zMatrix3 localMatrix;
    zMatrix3 worldMatrix;
    zMatrix3 inverseWorldMatrix;
    zMatrix3 screenMatrix;
    // While set (a scene replays a record), Draw keeps worldMatrix as the
    // replay left it and only derives the inverse and the screen matrix.
    uint8_t matrixLocked = 0;
    uint8_t excludeFromRecord = 0;
    // The world matrix of the replay sample before the replayed time.
    zMatrix3 replayStartMatrix;
    // Set by the last Draw: opacity through the parent chain, and whether the
    // window and its ancestors are shown and not shaded.
    float drawOpacity = 1.0f;
    bool drawVisible = true;

private:
    void ComputeMatrices(const zRenderer* renderer);
    void RedrawBackground();
    void DrawSkinFrame();
    int32_t TopEdgeHeight() const;
};
