#pragma once

#include "core/item/zItem.h"
#include "framework/math/zFrustum.h"
#include "framework/math/zVector.h"

#include <cstdint>

// Program-wide display aspect ratio (1.0 at start), set from the
// configuration and by scripts; it multiplies every camera's aspect factor.
extern float GlobalAspectRatio;

// The viewing item: a perspective (zoom factor) or orthographic (width and
// height) projection looking along the local +z axis, near and far
// distances, an aspect rule, a viewport and its own view frustum.
class zCamera : public zItem {
public:
    // The float just below 0.1.
    static constexpr float DefaultZNear = 0.099999994f;
    static constexpr float DefaultZFar = 50000.0f;
    static constexpr float DefaultZoomFactor = 3.2f;
    // The smallest near distance a tag may give.
    static constexpr float MinTagZNear = 0.2f;
    static constexpr float MinZoomFactor = 0.1f;
    // 0.5 degrees to about 179.95 degrees.
    static constexpr float MinFov = 0.008726646f;
    static constexpr float MaxFov = 3.1407201f;

    explicit zCamera(Tavrin* owner);

    // The projection in the slot of the item's projection matrix.
    void GetProjectionMatrix(zMatrix4& out) override { ComputeProjectionMatrix(out); }
    void ComputeFrustum(zFrustum& out, float nearDistance, float farDistance) override;
    zFrustum* GetFrustum() override { return &frustum; }
    float GetZNear() override { return zNear; }
    float GetZFar() override { return zFar; }
    void SetZNear(float value) override { zNear = value; }
    void SetZFar(float value) override { zFar = value; }

    // Every element of out is written. Depth is 0 at near and 1 at far.
    void ComputeProjectionMatrix(zMatrix4& out);

    // Radians.
    float GetFov() const;
    // Radians, held to MinFov .. MaxFov; stored as the zoom factor.
    void SetFov(float fov);
    // Values up to MinZoomFactor become MinZoomFactor.
    void SetZoomFactor(float zoom);
    // Kept and written to the tag; the projection does not read it (the
    // renderer's viewport size gives the aspect).
    void SetViewport(float originX, float originY, float width, float height);

    // Normalised screen position (0..1, y down) of a world point; false, out
    // untouched, for a point on or behind the camera plane.
    bool WorldToScreen(const zVector& point, zVector& out, bool aspectCorrect);
    // The world point on the plane at zoom-factor distance in front of the
    // camera seen at (sx, sy); the inverse of the aspect-corrected WorldToScreen.
    void ScreenToWorld(zVector& out, float sx, float sy);

    // The "Camera" tag. The reader leaves the world matrix to its caller.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Camera" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    // Aspect factor of the projection; not above 0: viewport height / width.
    float aspect = -1.0f;
    // True: the aspect applies to x; false: to y.
    uint8_t aspectReferenceX = 1;
    zFrustum frustum;
    float zNear = DefaultZNear;
    float zFar = DefaultZFar;
    uint8_t orthographic = 0;
    float orthographicWidth = 1.0f;
    float orthographicHeight = 1.0f;
    zVector2 viewportSize = {1.0f, 1.0f};
    zVector2 viewportOrigin = {0.0f, 0.0f};
    // Cotangent of half the field of view.
    float zoomFactor = DefaultZoomFactor;
    // Depth of field.
    float fStop = 0.0f;
    float focalDistance = 0.0f;

private:
    // e = GlobalAspectRatio x c; a degenerate viewport or ratio gives 1 with a warning.
    float AspectFactor(const char* method) const;
    // Viewport width / height of the renderer; a degenerate size gives 1 with a warning.
    float ViewportRatio(const char* method) const;
};
