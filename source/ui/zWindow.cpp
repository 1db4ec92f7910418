#include "ui/zWindow.h"

#include "core/camera/zCamera.h"
#include "script/SqSafePtr.h"
#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zVector.h"
#include "ui/zScene2D.h"
#include "ui/zTrueTypeFont.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

namespace {

constexpr float DegreesToRadians = 0.017453292f;
// Parent chains longer than this are cut (SetParent refuses loops; this only
// bounds the walk).
constexpr int32_t MaxWindowDepth = 256;

// Copies a w x h block between 32-bit pictures without blending; whatever
// falls outside either picture is skipped.
void CopyPixels(const zPicture& source, int32_t sx, int32_t sy, int32_t w, int32_t h, zPicture& target, int32_t dx,
                int32_t dy)
{
    if (source.pixels == nullptr || target.pixels == nullptr || source.format.bitsPerPixel != 32 ||
        target.format.bitsPerPixel != 32)
        return;
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    w = std::min({w, source.width - sx, target.width - dx});
    h = std::min({h, source.height - sy, target.height - dy});
    for (int32_t row = 0; row < h; ++row) {
        const uint8_t* in = source.pixels + (size_t(sy + row) * size_t(source.width) + size_t(sx)) * 4;
        uint8_t* out = target.pixels + (size_t(dy + row) * size_t(target.width) + size_t(dx)) * 4;
        std::copy(in, in + size_t(std::max(w, 0)) * 4, out);
    }
}

// Multiplies the alpha of one row of the picture, when the row exists.
void ScaleRowAlpha(zPicture& picture, int32_t y, int32_t factor256)
{
    if (y < 0 || y >= picture.height || picture.pixels == nullptr)
        return;
    const int32_t alphaByte = picture.format.alphaShift / 8;
    uint8_t* pixel = picture.pixels + size_t(y) * size_t(picture.width) * 4 + alphaByte;
    for (int32_t x = 0; x < picture.width; ++x, pixel += 4)
        *pixel = uint8_t(*pixel * factor256 / 256);
}

uint32_t NextWindowUid()
{
    static std::atomic<uint32_t> last{0};
    uint32_t uid = ++last;
    // After four billion windows the count wraps; 0 stays "no window".
    if (uid == 0)
        uid = ++last;
    return uid;
}

zMatrix3 Affine(float m0, float m1, float m2, float m3, float m4, float m5)
{
    // x' = m0 x + m1 y + m2, y' = m3 x + m4 y + m5.
    zMatrix3 m;
    const float values[9] = {m0, m1, m2, m3, m4, m5, 0.0f, 0.0f, 1.0f};
    std::copy(values, values + 9, m.m);
    return m;
}

void Unpack(int32_t packed, float out[4])
{
    const uint32_t v = uint32_t(packed);
    for (int i = 0; i < 4; ++i)
        out[i] = float((v >> (8 * i)) & 0xFF) / 255.0f;
}

} // namespace

zWindow::zWindow(zScene2D* owner, zWindow* parentWindow, int32_t windowId, const char* titleText,
                 const float* initialPosition, const float* initialSize)
    : zLinkedListIdEntry(titleText), uid(NextWindowUid()), scene(owner),
      title(owner, -1, titleText != nullptr ? titleText : "Titleless Window", zScene2D::GetDefaultFont(), 16),
      id(windowId)
{
    if (initialPosition != nullptr) {
        position[0] = initialPosition[0];
        position[1] = initialPosition[1];
    }
    if (initialSize != nullptr) {
        size[0] = initialSize[0];
        size[1] = initialSize[1];
    }
    SetParent(parentWindow);
    title.window = this;
    title.embedded = 1;
    if (scene != nullptr) {
        title.parameters.size = scene->titleSize;
        float colour[4];
        Unpack(scene->titleColor, colour);
        title.SetColor(colour[0], colour[1], colour[2], colour[3]);
        title.parameters.font = zScene2D::GetFont(scene->skinFontName.Get());
    }
    title.parameters.align = zTextParameters::AlignCentre;

    Tavrin* core = scene != nullptr ? scene->core : nullptr;
    cacheTexture = core != nullptr ? zTexture::New(core, "Window Cache", 0, 0, false, 0.5f)
                                   : new (std::nothrow) zTexture(nullptr, "Window Cache");
    if (cacheTexture != nullptr) {
        // The window owns its cache texture: it leaves the core's cache.
        if (core != nullptr)
            core->GetTextures().Unlink(cacheTexture);
        cacheTexture->flags |= zTexture::FlagDynamic;
        cacheTexture->picture.format = PixelFormatARGB32;
    }
    UpdateMatrix();
    SetSize(size[0], size[1]);
    if (scene != nullptr)
        scene->windows.Add(this, true, true);
}

zWindow::~zWindow()
{
    if (scene != nullptr)
        scene->DetachWindow(this);
    delete rootWidget;
    rootWidget = nullptr;
    if (cacheTexture != nullptr) {
        SqSafePtrInvalidate(cacheTexture);
        cacheTexture->Free();
        delete cacheTexture;
    }
}

zPicture& zWindow::GetCachePicture()
{
    static zPicture none;
    return cacheTexture != nullptr ? cacheTexture->picture : none;
}

void zWindow::UpdateMatrix()
{
    const float c = std::cos(angle), s = std::sin(angle);
    localMatrix = Affine(c, -s, position[0], s, c, position[1]);
}

void zWindow::SetPosition(float x, float y)
{
    position[0] = x;
    position[1] = y;
    localMatrix.m[2] = x;
    localMatrix.m[5] = y;
}

void zWindow::SetPivot(float x, float y)
{
    pivot[0] = x;
    pivot[1] = y;
}

void zWindow::SetScale(float x, float y)
{
    scale[0] = x;
    scale[1] = y;
}

void zWindow::SetRotation(float radians)
{
    angle = radians;
    UpdateMatrix();
}

void zWindow::SetOpacity(float value)
{
    opacity = std::clamp(value, 0.0f, 1.0f);
}

void zWindow::SetParent(zWindow* newParent)
{
    // A window cannot hang below itself.
    for (zWindow* w = newParent; w != nullptr; w = w->parent) {
        if (w == this)
            return;
    }
    parent = newParent;
}

void zWindow::SetBackgroundColor(float r, float g, float b, float a)
{
    backgroundColor[0] = r;
    backgroundColor[1] = g;
    backgroundColor[2] = b;
    backgroundColor[3] = a;
    if (rootWidget != nullptr)
        rootWidget->Invalidate();
    cacheDirty = 1;
}

bool zWindow::SetBackgroundPicture(const char* path)
{
    zScene2DPicture* loaded = scene != nullptr ? scene->LoadPicture(path) : nullptr;
    if (loaded != nullptr) {
        backgroundPath = path;
        backgroundPicture = loaded;
        style |= StyleNonSkinned;
    } else {
        style &= ~StyleNonSkinned;
    }
    if (rootWidget != nullptr)
        rootWidget->Invalidate();
    cacheDirty = 1;
    return loaded != nullptr;
}

void zWindow::SetSize(float width, float height)
{
    // Sizes are whole pixels of at most the largest texture.
    auto limit = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, float(MaxTextureSize)) : 0.0f; };
    size[0] = limit(width);
    size[1] = limit(height);
    const int32_t w = int32_t(size[0]);
    const int32_t h = int32_t(size[1]);
    if (cacheTexture != nullptr) {
        zPicture& cache = cacheTexture->picture;
        if (cache.pixels == nullptr || cache.width < w || cache.height < h) {
            cacheTexture->Free();
            cache.AllocAs(int32_t(ComputeTextureSize(uint32_t(std::max(w, 1)), true)),
                          int32_t(ComputeTextureSize(uint32_t(std::max(h, 1)), true)), PixelFormatARGB32);
            cacheTexture->Setup();
        }
    }
    if (rootWidget != nullptr)
        rootWidget->Invalidate();
    cacheDirty = 1;
}

void zWindow::SetBaseWidget(zWidget* widget)
{
    if (widget != nullptr && widget->embedded)
        return;
    if (widget != rootWidget) {
        zWidget* old = rootWidget;
        rootWidget = nullptr;
        if (old != nullptr && (widget == nullptr || !widget->IsDescendantOf(old)))
            delete old;
        else if (old != nullptr)
            old->window = nullptr;
        if (widget != nullptr) {
            // The new root leaves whatever held it.
            widget->DetachFromParent();
            if (widget->window != nullptr && widget->window != this && widget->window->rootWidget == widget)
                widget->window->rootWidget = nullptr;
        }
        rootWidget = widget;
        if (widget != nullptr)
            widget->Invalidate();
        cacheDirty = 1;
    }
    if (widget != nullptr)
        widget->SetWindow(this);
}

void zWindow::Invalidate()
{
    if (rootWidget != nullptr)
        rootWidget->Invalidate();
    title.Invalidate();
    cacheDirty = 1;
}

zWidget* zWindow::GetChild(int32_t childId) const
{
    return rootWidget != nullptr ? rootWidget->FindChild(childId) : nullptr;
}

bool zWindow::IsShown() const
{
    int32_t depth = 0;
    for (const zWindow* w = this; w != nullptr && depth < MaxWindowDepth; w = w->parent, ++depth) {
        if (!w->shown)
            return false;
    }
    return true;
}

int32_t zWindow::TopEdgeHeight() const
{
    return scene != nullptr ? scene->SkinHeight(zScene2D::SkinTop) : 0;
}

zPicture::Rect zWindow::GetRect() const
{
    return zPicture::Rect{0, 0, int32_t(size[0]), shaded ? TopEdgeHeight() : int32_t(size[1])};
}

zPicture::Rect zWindow::RectToScreen(const zPicture::Rect& r) const
{
    const zVector in[2] = {zVector(float(r.x0), float(r.y0), 1.0f), zVector(float(r.x1), float(r.y1), 1.0f)};
    zVector out[2];
    worldMatrix.TransformArray(out, in, 2);
    return zPicture::Rect{int32_t(out[0].x), int32_t(out[0].y), int32_t(out[1].x), int32_t(out[1].y)};
}

bool zWindow::ShowsTitle() const
{
    return (style & StyleNoTitleBar) == 0 && backgroundPicture == nullptr && scene != nullptr && scene->skinComplete;
}

void zWindow::SetShaded(bool shade)
{
    if (!shade && shaded) {
        if (rootWidget != nullptr)
            rootWidget->Invalidate();
        title.Invalidate();
        cacheDirty = 1;
    } else if (shade) {
        // Fade the ten rows above the bottom of the title edge; rows above
        // the cache picture (short skins) are skipped.
        zPicture& cache = GetCachePicture();
        const int32_t first = TopEdgeHeight() - 10;
        for (int32_t i = 0; i < 10; ++i)
            ScaleRowAlpha(cache, first + i, (255 - 25 * i) * 256 / 255);
        zRenderer* renderer = scene != nullptr ? scene->GetRenderer() : nullptr;
        if (renderer != nullptr && cacheTexture != nullptr && cache.pixels != nullptr)
            renderer->UpdateTexture(cacheTexture, cache.pixels, cache.width, cache.height, 0, 0);
        cacheDirty = 0;
    }
    shaded = shade ? 1 : 0;
}

bool zWindow::ExecCommand(zACECommand* command, float slice)
{
    if (command == nullptr)
        return false;
    const float remaining = command->remaining;
    const float f = remaining > 0.0f ? std::min(slice / remaining, 1.0f) : 1.0f;
    const float* p = command->parameters;
    switch (command->code) {
    case zScene2D::CommandToAlpha:
        SetOpacity(StepToward(opacity, p[0], f));
        return true;
    case zScene2D::CommandToPosition:
        SetPosition(StepToward(position[0], p[0], f), StepToward(position[1], p[1], f));
        return true;
    case zScene2D::CommandToScale:
        scale[0] = StepToward(scale[0], p[0], f);
        scale[1] = StepToward(scale[1], p[1], f);
        return true;
    case zScene2D::CommandToAngle:
        angle = StepToward(angle, p[0] * DegreesToRadians, f);
        UpdateMatrix();
        return true;
    case zScene2D::CommandShow:
    case zScene2D::CommandHide:
        shown = command->code == zScene2D::CommandShow ? 1 : 0;
        command->remaining = 0.0f;
        return true;
    default:
        return zACEUnit::ExecCommand(command, slice);
    }
}

zMatrix3 zWindow::ComputeWorldMatrix() const
{
    zMatrix3 world;
    int32_t depth = 0;
    for (const zWindow* w = this; w != nullptr && depth < MaxWindowDepth; w = w->parent, ++depth) {
        const float c = std::cos(w->angle), s = std::sin(w->angle);
        const float sx = w->scale[0], sy = w->scale[1];
        // T(position) R(angle) S(scale) T(-pivot).
        const zMatrix3 local = Affine(c * sx, -s * sy, w->position[0] - (c * sx * w->pivot[0] - s * sy * w->pivot[1]),
                                      s * sx, c * sy, w->position[1] - (s * sx * w->pivot[0] + c * sy * w->pivot[1]));
        world = local * world;
    }
    return world;
}

void zWindow::ComputeMatrices(const zRenderer* renderer)
{
    if (!matrixLocked)
        worldMatrix = ComputeWorldMatrix();
    if (!worldMatrix.Inverse(inverseWorldMatrix))
        inverseWorldMatrix = zMatrix3();

    const float vw = scene != nullptr ? scene->virtualWidth : 1280.0f;
    const float vh = scene != nullptr ? scene->virtualHeight : 960.0f;
    zMatrix3 projection = Affine(2.0f / vw, 0.0f, -1.0f, 0.0f, -2.0f / vh, 1.0f);
    if ((style & StyleResolutionInvariant) != 0 && renderer != nullptr) {
        float viewportWidth = 1.0f, viewportHeight = 1.0f;
        renderer->GetViewportSize(viewportWidth, viewportHeight);
        const float factor = (vw / vh) * (viewportHeight / viewportWidth) * GlobalAspectRatio;
        const float u = factor != 0.0f ? 1.0f / factor : 1.0f;
        projection = Affine(u * 2.0f / viewportWidth, 0.0f, -u, 0.0f, -2.0f / viewportHeight, 1.0f);
    }
    screenMatrix = projection * worldMatrix;
}

void zWindow::DrawSkinFrame()
{
    zPicture& cache = GetCachePicture();
    const zPicture::Rect r = GetRect();
    const int32_t W = r.x1, H = r.y1;
    auto w = [this](int32_t part) { return scene->SkinWidth(part); };
    auto h = [this](int32_t part) { return scene->SkinHeight(part); };
    auto pic = [this](int32_t part) -> const zPicture* {
        return scene->skin[part] != nullptr ? &scene->skin[part]->picture : nullptr;
    };
    using S = zScene2D;

    cache.Fill(0, 0, 0, 0);
    float background[4];
    Unpack(scene->skinBackgroundColor, background);
    const zPicture::Rect client{w(S::SkinTopLeft), h(S::SkinTopLeft), W - w(S::SkinBottomRight),
                                H - h(S::SkinBottomRight)};
    if (client.x1 > client.x0 && client.y1 > client.y0)
        cache.Fill(background[0], background[1], background[2], background[3], &client);

    auto corner = [&](int32_t part, int32_t x, int32_t y) {
        if (const zPicture* p = pic(part))
            CopyPixels(*p, 0, 0, p->width, p->height, cache, x, y);
    };
    corner(S::SkinTopLeft, 0, 0);
    corner(S::SkinTopRight, W - w(S::SkinTopRight), 0);
    corner(S::SkinBottomLeft, 0, H - h(S::SkinBottomLeft));
    corner(S::SkinBottomRight, W - w(S::SkinBottomRight), H - h(S::SkinBottomRight));

    // Edges repeat their rows (left, right) or columns (top, bottom).
    auto verticalEdge = [&](int32_t part, int32_t x, int32_t y0, int32_t y1) {
        const zPicture* p = pic(part);
        if (p == nullptr || p->height <= 0)
            return;
        for (int32_t y = std::max(y0, 0); y < std::min(y1, cache.height); ++y)
            CopyPixels(*p, 0, (y - y0) % p->height, p->width, 1, cache, x, y);
    };
    verticalEdge(S::SkinLeft, 0, h(S::SkinTopLeft), H - h(S::SkinBottomLeft));
    verticalEdge(S::SkinRight, W - w(S::SkinRight), h(S::SkinTopRight), H - h(S::SkinBottomRight));
    auto horizontalEdge = [&](int32_t part, int32_t y, int32_t x0, int32_t x1) {
        const zPicture* p = pic(part);
        if (p == nullptr || p->width <= 0)
            return;
        for (int32_t x = std::max(x0, 0); x < std::min(x1, cache.width); ++x)
            CopyPixels(*p, (x - x0) % p->width, 0, 1, p->height, cache, x, y);
    };
    horizontalEdge(S::SkinTop, 0, w(S::SkinTopLeft), W - w(S::SkinTopRight));
    horizontalEdge(S::SkinBottom, H - h(S::SkinBottom), w(S::SkinBottomLeft), W - w(S::SkinBottomRight));

    // Vertical fade of the client area: down to 0.85 over the first 70 % of
    // its rows, back up to 1 over the rest. Windows too small for a part skip it.
    const int32_t rows = H - h(S::SkinBottomRight) - h(S::SkinTopLeft);
    const int32_t top = h(S::SkinTopLeft);
    if (rows <= 0)
        return;
    const int32_t n = 70 * rows / 100;
    for (int32_t i = 0; i < n; ++i) {
        const float factor = 1.0f - 0.15f * float(i) / float(n);
        ScaleRowAlpha(cache, top + i, int32_t(255.0f * factor));
    }
    const int32_t rest = rows - n;
    for (int32_t j = 0; j < rest; ++j) {
        const float factor = 0.85f + 0.15f * float(j + 1) / float(rest);
        ScaleRowAlpha(cache, top + n + j, int32_t(255.0f * factor));
    }
}

void zWindow::RedrawBackground()
{
    zPicture& cache = GetCachePicture();
    if (cache.pixels == nullptr)
        return;
    if (backgroundPicture != nullptr) {
        cache.Fill(0, 0, 0, 0);
        const zPicture& source = backgroundPicture->picture;
        CopyPixels(source, 0, 0, source.width, source.height, cache, 0, 0);
    } else if ((style & StyleNonSkinned) == 0 && scene != nullptr && scene->skinComplete) {
        DrawSkinFrame();
    } else {
        cache.Fill(backgroundColor[0], backgroundColor[1], backgroundColor[2], backgroundColor[3]);
    }
}

void zWindow::Draw(zRenderer* renderer, bool force)
{
    // Opacity and visibility through the parent chain.
    drawOpacity = opacity;
    drawVisible = shown != 0;
    int32_t depth = 0;
    for (const zWindow* w = parent; w != nullptr && depth < MaxWindowDepth; w = w->parent, ++depth) {
        drawOpacity *= w->opacity;
        if (!w->shown || w->shaded)
            drawVisible = false;
    }
    ComputeMatrices(renderer);
    if (!drawVisible && !force)
        return;

    zPicture& cache = GetCachePicture();
    const zPicture::Rect r = GetRect();
    const bool titled = ShowsTitle();
    // The title is drawn only over a freshly drawn background: drawn again
    // over itself its edges would thicken frame after frame.
    bool redraw;
    if (rootWidget != nullptr) {
        rootWidget->Update();
        redraw = (rootWidget->dirty || (titled && title.dirty)) && !shaded;
    } else {
        redraw = cacheDirty || (titled && title.dirty);
    }
    if (redraw) {
        Invalidate();
        RedrawBackground();
        if (rootWidget != nullptr) {
            if (titled)
                rootWidget->Draw(cache, scene->SkinWidth(zScene2D::SkinTopLeft), scene->titleBottom + 4,
                                 r.x1 - scene->SkinWidth(zScene2D::SkinBottomRight),
                                 r.y1 - scene->SkinHeight(zScene2D::SkinBottomRight));
            else
                rootWidget->Draw(cache, 0, 0, r.x1, r.y1);
        }
        if (titled && scene->skin[zScene2D::SkinTopLeft] != nullptr)
            title.Draw(cache, scene->SkinWidth(zScene2D::SkinTopLeft), scene->titleTop,
                       r.x1 - scene->SkinWidth(zScene2D::SkinTopRight), scene->titleBottom);
        title.dirty = 0;
    }

    if (renderer == nullptr)
        return;
    if (cacheDirty) {
        if (cacheTexture != nullptr && cache.pixels != nullptr && cache.width > 0 && cache.height > 0)
            renderer->UpdateTexture(cacheTexture, cache.pixels, cache.width, cache.height, 0, 0);
        cacheDirty = 0;
    }
    if (drawOpacity == 0.0f || cache.width <= 0 || cache.height <= 0)
        return;

    const float W = float(r.x1);
    const float H = float(shaded ? TopEdgeHeight() : int32_t(size[1]));
    const zVector corners[4] = {zVector(0, 0, 1), zVector(W, 0, 1), zVector(W, H, 1), zVector(0, H, 1)};
    zVector clip[4];
    screenMatrix.TransformArray(clip, corners, 4);
    for (zVector& c : clip) {
        c.z = 0.75f;
        c.w = 1.0f;
    }
    float u0 = 0.0f, u1 = W / float(cache.width);
    float v0 = 0.0f, v1 = H / float(cache.height);
    if (flipX)
        std::swap(u0, u1);
    if (flipY)
        std::swap(v0, v1);
    const zVector2 uv[4] = {zVector2(u0, v0), zVector2(u1, v0), zVector2(u1, v1), zVector2(u0, v1)};
    const float colour[4] = {1.0f, 1.0f, 1.0f, drawOpacity * (shaded ? 0.5f : 1.0f)};
    const uint32_t flags = (style & StyleBlendAdditive) != 0 ? DrawFlagsAdditive : DrawFlags;
    const zVector first[3] = {clip[0], clip[1], clip[2]};
    const zVector2 firstUV[3] = {uv[0], uv[1], uv[2]};
    renderer->DrawTriangle(first, colour, firstUV, cacheTexture, flags);
    const zVector second[3] = {clip[0], clip[2], clip[3]};
    const zVector2 secondUV[3] = {uv[0], uv[2], uv[3]};
    renderer->DrawTriangle(second, colour, secondUV, cacheTexture, flags);
}
