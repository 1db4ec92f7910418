#include "core/camera/zCamera.h"

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

float GlobalAspectRatio = 1.0f;

namespace {

// The renderer's viewport, 1 x 1 without a renderer (the output size a fresh renderer reports).
void ViewportOf(const Tavrin* core, float& width, float& height)
{
    width = 1.0f;
    height = 1.0f;
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->GetViewportSize(width, height);
}

bool IsUsableSize(float v)
{
    return std::isfinite(v) && v > 0.0f;
}

} // namespace

zCamera::zCamera(Tavrin* owner) : zItem(owner)
{
}

float zCamera::AspectFactor(const char* method) const
{
    float c = aspect;
    if (!(c > 0.0f)) {
        float width;
        float height;
        ViewportOf(core, width, height);
        if (IsUsableSize(width) && IsUsableSize(height)) {
            c = height / width;
        } else {
            LogWarning(method) << "Viewport size " << width << " x " << height << " is degenerate, aspect 1 used.\n";
            c = 1.0f;
        }
    }
    const float e = GlobalAspectRatio * c;
    // The factor divides the projection and the frustum.
    if (e == 0.0f || !std::isfinite(e)) {
        LogWarning(method) << "Aspect factor " << e << " is degenerate, 1 used.\n";
        return 1.0f;
    }
    return e;
}

float zCamera::ViewportRatio(const char* method) const
{
    float width;
    float height;
    ViewportOf(core, width, height);
    if (IsUsableSize(width) && IsUsableSize(height))
        return width / height;
    LogWarning(method) << "Viewport size " << width << " x " << height << " is degenerate, aspect 1 used.\n";
    return 1.0f;
}

void zCamera::ComputeProjectionMatrix(zMatrix4& out)
{
    for (float& element : out.m)
        element = 0.0f;
    // A depth range of zero width cannot be mapped to 0..1: every depth becomes 0.
    float a = 0.0f;
    if (zFar != zNear)
        a = orthographic != 0 ? 1.0f / (zFar - zNear) : zFar / (zFar - zNear);
    else
        LogWarning("zCamera::ComputeProjectionMatrix") << "Far distance equals near distance (" << zNear << ").\n";

    if (orthographic != 0) {
        if (orthographicWidth != 0.0f)
            out.m[0] = 2.0f / orthographicWidth;
        else
            LogWarning("zCamera::ComputeProjectionMatrix") << "Orthographic width is zero.\n";
        if (orthographicHeight != 0.0f)
            out.m[5] = 2.0f / orthographicHeight;
        else
            LogWarning("zCamera::ComputeProjectionMatrix") << "Orthographic height is zero.\n";
        out.m[10] = a;
        out.m[11] = -a * zNear;
        out.m[15] = 1.0f;
    } else {
        out.m[0] = zoomFactor;
        out.m[5] = zoomFactor;
        out.m[10] = a;
        out.m[11] = -a * zNear;
        out.m[14] = 1.0f;
    }

    const float e = AspectFactor("zCamera::ComputeProjectionMatrix");
    if (aspectReferenceX != 0)
        out.m[0] *= e;
    else
        out.m[5] /= e;
}

void zCamera::ComputeFrustum(zFrustum& out, float nearDistance, float farDistance)
{
    const float n = nearDistance == -1.0f ? zNear : nearDistance;
    const float f = farDistance == -1.0f ? zFar : farDistance;
    const float e = AspectFactor("zCamera::ComputeFrustum");
    if (orthographic != 0) {
        // Scales, not divisors: the volume the projection shows is
        // (width / e) x height or width x (height * e).
        if (aspectReferenceX != 0)
            out.SetOrthographic(orthographicWidth, orthographicHeight, n, f, &worldMatrix, 1.0f / e, 1.0f);
        else
            out.SetOrthographic(orthographicWidth, orthographicHeight, n, f, &worldMatrix, 1.0f, e);
    } else {
        const float fov = GetFov();
        if (aspectReferenceX != 0)
            out.SetPerspective(fov, n, f, &worldMatrix, e, 1.0f);
        else
            out.SetPerspective(fov, n, f, &worldMatrix, 1.0f, 1.0f / e);
    }
}

float zCamera::GetFov() const
{
    return 2.0f * std::atan(1.0f / zoomFactor);
}

void zCamera::SetFov(float fov)
{
    fov = std::fmin(std::fmax(fov, MinFov), MaxFov);
    SetZoomFactor(1.0f / std::tan(fov / 2.0f));
}

void zCamera::SetZoomFactor(float zoom)
{
    zoomFactor = zoom > MinZoomFactor ? zoom : MinZoomFactor;
}

void zCamera::SetViewport(float originX, float originY, float width, float height)
{
    viewportOrigin = zVector2(originX, originY);
    viewportSize = zVector2(width, height);
}

bool zCamera::WorldToScreen(const zVector& point, zVector& out, bool aspectCorrect)
{
    const zVector p = point.Transform(inverseWorldMatrix);
    if (p.z <= 0.0f)
        return false;
    float x = p.x * zoomFactor / p.z;
    float y = p.y * zoomFactor / p.z;
    if (aspectCorrect) {
        const float r = ViewportRatio("zCamera::WorldToScreen");
        if (aspectReferenceX != 0)
            x /= r;
        else
            y /= r;
    }
    out = zVector((x + 1.0f) * 0.5f, (1.0f - y) * 0.5f, 0.0f, 1.0f);
    return true;
}

void zCamera::ScreenToWorld(zVector& out, float sx, float sy)
{
    float x = (sx - 0.5f) * 2.0f;
    float y = (sy - 0.5f) * -2.0f;
    const float r = ViewportRatio("zCamera::ScreenToWorld");
    if (aspectReferenceX != 0)
        x *= r;
    else
        y *= r;
    out = zVector(x, y, zoomFactor).Transform(worldMatrix);
}

bool zCamera::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr) {
        LogError("zCamera::FromMetaTag") << "Could not parse camera. No tag given.\n";
        return false;
    }
    if (!tag->GetName().EqualsCString("Camera")) {
        LogError("zCamera::FromMetaTag") << "Could not parse camera. Root tag id is incorrect (" << tag->GetName()
                                         << ").\n";
        return false;
    }

    fStop = 0.0f;
    focalDistance = 0.0f;

    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        const zString& name = child->GetName();
        const zMetaTag* value = document != nullptr ? zMetaTag::ResolveShortcut(child, document) : child;
        if (value == nullptr)
            continue;
        if (name.EqualsCString("Item")) {
            zItem::FromMetaTag(document, value);
        } else if (name.EqualsCString("ZNear")) {
            // A non-number reads as -999 and is raised like any small value.
            const float n = value->GetFloat();
            zNear = n >= MinTagZNear ? n : MinTagZNear;
        } else if (name.EqualsCString("ZFar")) {
            zFar = value->GetFloat();
        } else if (name.EqualsCString("ZoomFactor")) {
            zoomFactor = value->GetFloat();
        } else if (name.EqualsCString("ViewportOrigin")) {
            viewportOrigin.FromMetaTag(document, value);
        } else if (name.EqualsCString("ViewportSize")) {
            viewportSize.FromMetaTag(document, value);
        } else if (name.EqualsCString("Orthographic")) {
            orthographic = 1;
        } else if (name.EqualsCString("OrthographicWidth")) {
            orthographicWidth = value->GetFloat();
        } else if (name.EqualsCString("OrthographicHeight")) {
            orthographicHeight = value->GetFloat();
        } else if (name.EqualsCString("FStop")) {
            fStop = value->GetFloat();
        } else if (name.EqualsCString("FocalDistance")) {
            focalDistance = value->GetFloat();
        } else {
            LogWarning("zCamera::FromMetaTag") << "Unknown tag '" << name << "' in <Camera>.\n";
        }
    }
    return true;
}

zMetaTag* zCamera::AsMetaTag(const zMetaFile* document) const
{
    zMetaTag* tag = zMetaTag::NewRoot("Camera", "zCamera::AsMetaTag",
                                      {"Could not serialize camera. Failed to create root tag.\n"});
    if (tag == nullptr)
        return nullptr;
    tag->AddChild(zItem::AsMetaTag(document));
    if (zNear != DefaultZNear)
        tag->CreateFloat("ZNear", zNear);
    if (zFar != DefaultZFar)
        tag->CreateFloat("ZFar", zFar);
    if (zoomFactor != DefaultZoomFactor)
        tag->CreateFloat("ZoomFactor", zoomFactor);
    if (viewportOrigin.x != 0.0f || viewportOrigin.y != 0.0f)
        tag->AddChild(viewportOrigin.AsMetaTag("ViewportOrigin"));
    if (viewportSize.x != 1.0f || viewportSize.y != 1.0f)
        tag->AddChild(viewportSize.AsMetaTag("ViewportSize"));
    if (orthographic != 0)
        tag->CreateChild("Orthographic");
    if (orthographicWidth != 1.0f)
        tag->CreateFloat("OrthographicWidth", orthographicWidth);
    if (orthographicHeight != 1.0f)
        tag->CreateFloat("OrthographicHeight", orthographicHeight);
    if (fStop != 0.0f)
        tag->CreateFloat("FStop", fStop);
    if (focalDistance != 0.0f)
        tag->CreateFloat("FocalDistance", focalDistance);
    return tag;
}
