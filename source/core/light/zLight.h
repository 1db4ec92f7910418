#pragma once

#include "core/item/zItem.h"
#include "framework/math/zColor.h"
#include "framework/math/zFrustum.h"
#include "framework/tools/zString.h"

#include <cstdint>

class zTexture;

// The light source item. It shines along its local +z axis (row 2 of the
// world matrix). The renderer builds its per-light data from these fields;
// a spot light also carries its own frustum and projection for shadow maps
// and culling. SampleEnergy evaluates the lighting model at a point.
class zLight : public zItem {
public:
    enum : int32_t { TypeNone = 0, TypePoint = 1, TypeParallel = 2, TypeSpot = 3, TypeArea = 4 };
    enum : int32_t { ShadowNone = 0, ShadowPMap = 1, ShadowMap = 2, ShadowStencil = 3 };
    enum : int32_t { FalloffLinear = 0, FalloffInvDist = 1, FalloffInvDist2 = 2 };

    static constexpr float DefaultShadowRange = 100.0f;
    static constexpr float DefaultShadowBias = 0.01f;
    static constexpr float DefaultShadowDistribution = 0.9f;
    static constexpr float DefaultZNear = 0.001f;
    static constexpr float DefaultVolumetricSampleStep = 0.5f;
    static constexpr float DefaultVolumetricThickness = 8.0f;
    static constexpr float DefaultZFar = 500.0f;
    static constexpr float DefaultClipDistance = 300.0f;
    // 30 degrees.
    static constexpr float DefaultConeAngle = 0.5235988f;
    // The smallest near distance a tag may give.
    static constexpr float MinTagZNear = 0.1f;

    explicit zLight(Tavrin* owner);
    // Asks the core's renderer to drop its data for the light; the
    // projection map belongs to the texture cache.
    ~zLight() override;
    zLight(const zLight&) = delete;
    zLight& operator=(const zLight&) = delete;

    // The item's matrices, then the spot frustum.
    void UpdateWorldMatrix() override;
    // Identity unless a spot light: square, depth 0 at near and 1 at far.
    void GetProjectionMatrix(zMatrix4& out) override;
    // Spot lights only; near or far -1 take the light's own.
    void ComputeFrustum(zFrustum& out, float nearDistance, float farDistance) override;
    // The frustum is reached through ComputeFrustum only.
    zFrustum* GetFrustum() override { return nullptr; }
    float GetZNear() override { return zNear; }
    float GetZFar() override { return zFar; }
    void SetZNear(float value) override { zNear = value; }
    void SetZFar(float value) override { zFar = value; }

    // Diffuse and specular energy the light delivers at point on a surface
    // with that normal. view: direction from the eye towards the point, or
    // null for no specular term; glossiness scales the exponent (x 96).
    // False when both outputs are null or the point is not lit (out of
    // range, outside the spot cone, facing away); the outputs are then untouched.
    bool SampleEnergy(const zVector& point, const zVector& normal, float* diffuseOut, float* specularOut,
                      const zVector* view, float glossiness, bool blinn, bool cookTorrance) const;

    // The "Light" tag. The reader leaves the world matrix to its caller.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Light" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    zString shader;
    int32_t type = TypePoint;
    zFrustum frustum;
    int32_t shadow = ShadowNone;
    float shadowRange = DefaultShadowRange;
    float shadowBias = DefaultShadowBias;
    float shadowDistribution = DefaultShadowDistribution;
    float zNear = DefaultZNear;
    uint8_t volumetric = 0;
    float volumetricSampleStep = DefaultVolumetricSampleStep;
    float volumetricThickness = DefaultVolumetricThickness;
    // Carried for the renderer; SampleEnergy attenuates linearly.
    int32_t falloff = FalloffLinear;
    // Attenuation range; 0 means no attenuation.
    float range = 0.0f;
    float zFar = DefaultZFar;
    float clipDistance = DefaultClipDistance;
    zColor diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    zColor specular = {1.0f, 1.0f, 1.0f, 1.0f};
    float diffuseIntensity = 1.0f;
    float specularIntensity = 0.0f;
    // Radians: half-angle of the fully lit cone, and the width of the fade ring outside it.
    float coneAngle = DefaultConeAngle;
    float edgeAngle = DefaultConeAngle;
    // Owned by the texture cache.
    zTexture* projectionMap = nullptr;
    // The renderer's per-light object.
    void* rendererData = nullptr;
};
