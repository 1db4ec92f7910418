// Shadow maps of the deferred light pass: a spot light's map, a parallel
// light's six splits and a point light's six cube faces, rendered into the
// renderer's six shared depth maps just before the light is drawn.

#include "core/light/zLight.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/deferred/zGL3Shadow.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <cmath>
#include <new>

float ComputeGL3ShadowSliceDistance(float nearDistance, float range, float distribution, int32_t split)
{
    const float n = nearDistance > 0.0f ? nearDistance : 1e-6f;
    // The sixth is held in single precision, as the splits always were.
    const float t = 0.16666667f * float(split + 1);
    return distribution * n * std::pow(range / n, t) + (1.0f - distribution) * (n + (range - n) * t);
}

const zMatrix3& GL3CubeFaceRotation(int32_t face)
{
    static const zMatrix3* const faces = [] {
        constexpr float pi = 3.14159265f;
        static const zMatrix3 made[6] = {
            zMatrix3::FromEuler(0.0f, 0.0f, 0.0f, RotationOrderYXZ),
            zMatrix3::FromEuler(0.0f, pi / 2.0f, 0.0f, RotationOrderYXZ),
            zMatrix3::FromEuler(0.0f, pi, 0.0f, RotationOrderYXZ),
            zMatrix3::FromEuler(0.0f, 3.0f * pi / 2.0f, 0.0f, RotationOrderYXZ),
            zMatrix3::FromEuler(pi / 2.0f, 0.0f, 0.0f, RotationOrderYXZ),
            zMatrix3::FromEuler(3.0f * pi / 2.0f, 0.0f, 0.0f, RotationOrderYXZ),
        };
        return made;
    }();
    return faces[face >= 0 && face < 6 ? face : 0];
}

zGL3ShadowCamera::zGL3ShadowCamera(Tavrin* owner, zLight* light) : zCamera(owner), source(light)
{
    aspect = 1.0f;
    orientationMethod = OrientationExternal;
}

void zGL3ShadowCamera::PlaceAt(const zMatrix4& world)
{
    orientationMethod = OrientationExternal;
    worldMatrix = world;
    inverseWorldMatrix = world.InverseAffine();
}

void zGL3ShadowCamera::GetProjectionMatrix(zMatrix4& out)
{
    if (source != nullptr) {
        source->GetProjectionMatrix(out);
        return;
    }
    for (float& element : out.m)
        element = 0.0f;
    float a = 0.0f;
    if (zFar != zNear)
        a = orthographic != 0 ? 1.0f / (zFar - zNear) : zFar / (zFar - zNear);
    if (orthographic != 0) {
        out.m[0] = orthographicWidth != 0.0f ? 2.0f / orthographicWidth : 0.0f;
        out.m[5] = orthographicHeight != 0.0f ? 2.0f / orthographicHeight : 0.0f;
        out.m[15] = 1.0f;
    } else {
        out.m[0] = zoomFactor;
        out.m[5] = zoomFactor;
        out.m[14] = 1.0f;
    }
    out.m[10] = a;
    out.m[11] = -a * zNear;
}

void zGL3ShadowCamera::ComputeFrustum(zFrustum& out, float nearDistance, float farDistance)
{
    if (source != nullptr) {
        source->ComputeFrustum(out, nearDistance, farDistance);
        return;
    }
    const float n = nearDistance == -1.0f ? zNear : nearDistance;
    const float f = farDistance == -1.0f ? zFar : farDistance;
    if (orthographic != 0)
        out.SetOrthographic(orthographicWidth, orthographicHeight, n, f, &worldMatrix, 1.0f, 1.0f);
    else
        out.SetPerspective(GetFov(), n, f, &worldMatrix, 1.0f, 1.0f);
}

PSSMStructure* zGL3Renderer::AllocatePSSMStructure()
{
    return new (std::nothrow) PSSMStructure;
}

CubeShadowStructure* zGL3Renderer::AllocateCubeShadowStructure()
{
    return new (std::nothrow) CubeShadowStructure;
}

void zGL3Renderer::RenderLightShadow(zLight* light)
{
    if (light == nullptr || videoClosed != 0 || glBindFramebuffer_ == nullptr || glFramebufferTexture2D_ == nullptr ||
        shadowFramebuffer == 0)
        return;
    // What the shadow views change and the frame goes on with.
    const zMatrix4 savedView = viewMatrix;
    const zMatrix4 savedProjection = projectionMatrix;
    zCamera* const savedCamera = camera;
    const zFrustum savedFrustum = frustum;
    const int32_t savedViewport[4] = {viewportX, viewportY, viewportWidth, viewportHeight};
    const int32_t savedShadeModel = cachedShadeModel;
    const int32_t savedPolygonMode = cachedPolygonMode;
    const int32_t savedCulling = cachedCulling;
    GLint previousFramebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previousFramebuffer);

    // The model-view matrix is kept too: the light pass may draw with it
    // before its next SetModelMatrix.
    SetMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    // The frame culls GL's front faces (the engine's back faces); the maps
    // keep the casters' far sides, which keeps lit faces off their own shadow.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    // Casters are drawn untextured, unlit and opaque: with the alpha test on,
    // a texture or colour left by the frame (the attribute buffers bound
    // after an earlier light, a faded material) would drop their depth.
    if (glUseProgramObject_ != nullptr)
        glUseProgramObject_(0);
    glDisable(GL_LIGHTING);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (glActiveTexture_ != nullptr) {
        for (int32_t unit = 0; unit < TextureUnits; ++unit) {
            glActiveTexture_(GL_TEXTURE0_ARB + unit);
            glDisable(GL_TEXTURE_2D);
        }
        glActiveTexture_(GL_TEXTURE0_ARB);
    }

    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, shadowFramebuffer);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);

    switch (light->type) {
    case zLight::TypePoint: LightRenderPSM(light); break;
    case zLight::TypeParallel:
        if ((effectFlags & EffectLinearShadow) != 0)
            LightRenderPSSM(light);
        break;
    case zLight::TypeSpot: {
        zGL3ShadowCamera view(core, light);
        view.worldMatrix = light->worldMatrix;
        view.inverseWorldMatrix = light->inverseWorldMatrix;
        view.zNear = light->zNear;
        view.zFar = light->zFar;
        RenderShadowView(&view, 0);
        break;
    }
    default: break;
    }

    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, GLuint(previousFramebuffer));
    SetMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    // The attributes were pushed in projection mode: popping them selects it again.
    glPopAttrib();
    matrixMode = GL_PROJECTION;

    viewMatrix = savedView;
    projectionMatrix = savedProjection;
    camera = savedCamera;
    frustum = savedFrustum;
    viewportX = savedViewport[0];
    viewportY = savedViewport[1];
    viewportWidth = savedViewport[2];
    viewportHeight = savedViewport[3];
    cachedShadeModel = savedShadeModel;
    cachedPolygonMode = savedPolygonMode;
    cachedCulling = savedCulling;
    for (int32_t unit = 0; unit < 4; ++unit) {
        if (attrMaps[unit] != nullptr && attrMaps[unit]->rendererData != nullptr)
            BindTexture(unit, static_cast<zGL3TextureRecord*>(attrMaps[unit]->rendererData));
    }
}

void zGL3Renderer::RenderShadowView(zCamera* view, int32_t map)
{
    if (view == nullptr || map < 0 || map >= 6 || shadowMaps[map] == nullptr ||
        shadowMaps[map]->rendererData == nullptr || glFramebufferTexture2D_ == nullptr)
        return;
    zCamera* const previous = camera;
    camera = view;
    ApplyCamera();
    CullItemStack(true);
    const GLuint name = static_cast<zGL3TextureRecord*>(shadowMaps[map]->rendererData)->name;
    glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, name, 0);
    const int32_t width = shadowMaps[map]->picture.width > 0 ? shadowMaps[map]->picture.width : shadowMapSize;
    const int32_t height = shadowMaps[map]->picture.height > 0 ? shadowMaps[map]->picture.height : shadowMapSize;
    glViewport(0, 0, width, height);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    WalkQueue(GL3PassShadowCasters);
    camera = previous;
}

void zGL3Renderer::FitShadowCamera(const zVector* corners, zCamera* view, float depthOffset)
{
    if (corners == nullptr || view == nullptr)
        return;
    zVector low = corners[0];
    zVector high = corners[0];
    for (int32_t i = 1; i < 8; ++i) {
        low = zVector(std::min(low.x, corners[i].x), std::min(low.y, corners[i].y), std::min(low.z, corners[i].z));
        high = zVector(std::max(high.x, corners[i].x), std::max(high.y, corners[i].y), std::max(high.z, corners[i].z));
    }
    const zVector centre = (low + high) * 0.5f;
    const zVector x = view->worldMatrix.GetRow(0);
    const zVector y = view->worldMatrix.GetRow(1);
    const zVector z = view->worldMatrix.GetRow(2);
    const zVector p = centre - z * depthOffset;
    float farDistance = -INFINITY;
    float halfWidth = 0.0f;
    float halfHeight = 0.0f;
    for (int32_t i = 0; i < 8; ++i) {
        const zVector d = corners[i] - p;
        farDistance = std::max(farDistance, d.Dot(z));
        halfWidth = std::max(halfWidth, std::fabs(d.Dot(x)));
        halfHeight = std::max(halfHeight, std::fabs(d.Dot(y)));
    }
    view->zFar = farDistance;
    view->orthographicWidth = 2.0f * halfWidth;
    view->orthographicHeight = 2.0f * halfHeight;
    view->worldMatrix.SetRow(3, p, true);
    view->orientationMethod = zItem::OrientationExternal;
    view->inverseWorldMatrix = view->worldMatrix.InverseAffine();
}

void zGL3Renderer::LightRenderPSSM(zLight* light)
{
    auto* programs = light != nullptr ? static_cast<zGL3LightPrograms*>(light->rendererData) : nullptr;
    if (programs == nullptr)
        return;
    if (programs->pssm == nullptr) {
        programs->pssm = AllocatePSSMStructure();
        if (programs->pssm == nullptr) {
            LogError("zGL3Renderer::LightRenderPSSM") << "Failed to allocate PSSM structure.\n";
            return;
        }
    }
    // The splits divide the viewing camera's depth.
    if (camera == nullptr)
        return;
    zGL3ShadowCamera view(core);
    view.orthographic = 1;
    // Unit axes: the fit measures the slice along them.
    view.PlaceAt(light->worldMatrix.Orthonormalized());
    zCamera* const viewer = camera;
    const float n = viewer->GetZNear();
    const float range = light->shadowRange;
    for (int32_t i = 0; i < GL3ShadowSplits; ++i) {
        const float d = ComputeGL3ShadowSliceDistance(n, range, light->shadowDistribution, i);
        zFrustum slice;
        viewer->ComputeFrustum(slice, n, d);
        FitShadowCamera(slice.corners, &view, 4.0f * range);
        RenderShadowView(&view, i);
        PSSMSplit& split = programs->pssm->splits[i];
        split.sliceDistance = d;
        split.view = view.inverseWorldMatrix;
        view.GetProjectionMatrix(split.projection);
    }
}

void zGL3Renderer::LightRenderPSM(zLight* light)
{
    auto* programs = light != nullptr ? static_cast<zGL3LightPrograms*>(light->rendererData) : nullptr;
    if (programs == nullptr)
        return;
    if (programs->cube == nullptr) {
        programs->cube = AllocateCubeShadowStructure();
        if (programs->cube == nullptr) {
            LogError("zGL3Renderer::LightRenderPSM") << "Failed to allocate point shadow map structure.\n";
            return;
        }
    }
    zGL3ShadowCamera view(core);
    view.SetFov(1.5707964f);
    const zMatrix4 placement = light->worldMatrix.Orthonormalized();
    for (int32_t i = 0; i < 6; ++i) {
        // The face turns in the light's own frame.
        view.PlaceAt(placement * zMatrix4::FromMatrix3(GL3CubeFaceRotation(i)));
        RenderShadowView(&view, i);
        programs->cube->matrices[i] = view.inverseWorldMatrix;
        view.GetProjectionMatrix(programs->cube->matrices[6 + i]);
    }
}
