// The frame driver and the fixed-function frame: up to eight GL lights,
// opaque items in stack order, then transparent ones back to front.

#include "core/camera/zCamera.h"
#include "core/light/zLight.h"
#include "core/render/zRendererProperty.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <memory>
#include <new>

void zGL3Renderer::RenderQueue()
{
    if (camera == nullptr || videoClosed != 0)
        return;
    // What came before the queue: uploads, clears, 2D.
    CheckPass("before the queue");
    SetDefaultState();
    renderTimer.Start();
    SortItemStack();
    CullItemStack(false);
    SetupAmbientLight();
    if ((optionFlags & OptionDisableShader) != 0) {
        if (renderTarget != nullptr)
            BindSafeModeTarget();
        BeginFixedFunctionQueuePass();
        WalkQueue(GL3PassFixedOpaque);
        CheckPass("fixed-function opaque");
        WalkQueue(GL3PassBackToFront);
        EndFixedFunctionQueuePass();
        CheckPass("fixed-function back to front");
    } else {
        RenderDeferredQueue();
    }
    if (glBindFramebuffer_ != nullptr)
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    FlushLines();
    CheckPass("lines");
    if ((optionFlags & OptionEnableDebug) != 0 && (optionFlags & OptionDisableShader) == 0) {
        DrawDebugOverlay(true);
        DrawTextureQuad(shadowMaps[0], -0.9f, -0.9f, 0.4f, 0.4f, true);
        CheckPass("debug overlay");
    }
    renderTimer.Stop();
}

bool zGL3Renderer::BindSafeModeTarget()
{
    if (glBindFramebuffer_ == nullptr || outputFramebuffer == 0 || renderTarget->rendererData == nullptr)
        return false;
    const int32_t width = renderTarget->picture.width;
    const int32_t height = renderTarget->picture.height;
    if (targetDepthMap != nullptr &&
        (targetDepthMap->picture.width != width || targetDepthMap->picture.height != height)) {
        FreeTexture(targetDepthMap);
        delete targetDepthMap;
        targetDepthMap = nullptr;
    }
    if (targetDepthMap == nullptr)
        targetDepthMap = NewRenderTexture("target_depth_map", width, height, 3, false);
    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, outputFramebuffer);
    SetRenderTarget(renderTarget);
    const GLuint depth =
        targetDepthMap != nullptr ? static_cast<zGL3TextureRecord*>(targetDepthMap->rendererData)->name : 0;
    glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depth, 0);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    return depth != 0;
}

void zGL3Renderer::BeginFixedFunctionQueuePass()
{
    glPushAttrib(GL_LIGHTING_BIT | GL_FOG_BIT | GL_ENABLE_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_ALPHA_TEST);
    if (fogOn != 0) {
        glFogfv(GL_FOG_COLOR, fogColour);
        glFogf(GL_FOG_START, fogNear);
        glFogf(GL_FOG_END, fogFar);
        glEnable(GL_FOG);
    }
    if (propertyCallback == nullptr) {
        LogWarning("zGL3Renderer::BeginFixedFunctionQueuePass") << "No property request callback function.\n";
        return;
    }
    auto request = std::make_unique<zRendererPropertyRequest>();
    request->context = propertyContext;
    request->position = camera != nullptr ? zVector(camera->worldMatrix.m[3], camera->worldMatrix.m[7],
                                                    camera->worldMatrix.m[11])
                                          : zVector(0.0f, 0.0f, 0.0f);
    request->frustum = &frustum;
    request->maximum = MaxFixedLights;
    if (propertyCallback(PropertyVisibleLights, *request) && request->handled != 0) {
        lightCount = std::clamp(request->count, 0, int32_t(MaxFixedLights));
        for (int32_t i = 0; i < lightCount; ++i)
            lightList[i] = request->lights[i];
        SetupFixedLights();
    }
}

void zGL3Renderer::EndFixedFunctionQueuePass()
{
    glDisable(GL_ALPHA_TEST);
    // Wireframe materials leave line mode behind; the pop restores culling.
    if (cachedPolygonMode != -1 && cachedPolygonMode != GL_FILL)
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    cachedShadeModel = cachedPolygonMode = cachedCulling = -1;
    glPopAttrib();
    // The pop put back GL's material colours of before the pass: the cache no
    // longer knows them.
    for (float* cache : {materialAmbient, materialDiffuse, materialSpecular, materialEmission})
        std::fill(cache, cache + 4, -1.0f);
    materialShininess = -1.0f;
}

void zGL3Renderer::SetupAmbientLight()
{
    if (propertyCallback == nullptr)
        return;
    auto request = std::make_unique<zRendererPropertyRequest>();
    request->context = propertyContext;
    if (propertyCallback(PropertyAmbient, *request) && request->handled != 0) {
        const float ambient[4] = {request->ambient[0], request->ambient[1], request->ambient[2], 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    }
}

void zGL3Renderer::SetupFixedLights()
{
    // Positions are given in world space: the model-view holds the view only.
    SetModelMatrix(zMatrix4(), nullptr);
    int32_t i = 0;
    for (; i < lightCount; ++i) {
        if (lightList[i] != nullptr)
            SetupFixedLight(i, lightList[i]);
        else
            glDisable(GL_LIGHT0 + i);
    }
    for (; i < MaxFixedLights; ++i)
        glDisable(GL_LIGHT0 + i);
}

void zGL3Renderer::SetupFixedLight(int32_t index, zLight* light)
{
    const GLenum id = GL_LIGHT0 + GLenum(index);
    glEnable(id);
    const zMatrix4& w = light->worldMatrix;
    const float position[4] = {w.m[3], w.m[7], w.m[11], 1.0f};
    glLightfv(id, GL_POSITION, position);
    const float diffuse[4] = {light->diffuse.r * light->diffuseIntensity, light->diffuse.g * light->diffuseIntensity,
                              light->diffuse.b * light->diffuseIntensity, 1.0f};
    const float specular[4] = {light->specular.r * light->specularIntensity,
                               light->specular.g * light->specularIntensity,
                               light->specular.b * light->specularIntensity, 1.0f};
    glLightfv(id, GL_DIFFUSE, diffuse);
    glLightfv(id, GL_SPECULAR, specular);
    const float zAxis[4] = {w.m[2], w.m[6], w.m[10], 1.0f};
    if (light->type == zLight::TypeParallel) {
        glLightf(id, GL_SPOT_CUTOFF, 180.0f);
        // A directional light from its position towards the origin.
        const float direction[4] = {w.m[3], w.m[7], w.m[11], 0.0f};
        glLightfv(id, GL_POSITION, direction);
        glLightfv(id, GL_SPOT_DIRECTION, zAxis);
    } else if (light->type == zLight::TypeSpot) {
        // GL takes 0 to 90 degrees or 180 for no cone.
        const int32_t cutoff =
            std::clamp(int32_t((light->coneAngle + light->edgeAngle) * 57.295776f * 0.5f), 0, 90);
        glLightf(id, GL_SPOT_CUTOFF, float(cutoff));
        glLightf(id, GL_SPOT_EXPONENT, 16.0f);
        glLightfv(id, GL_SPOT_DIRECTION, zAxis);
    } else {
        glLightf(id, GL_SPOT_CUTOFF, 180.0f);
    }
    glLightf(id, GL_LINEAR_ATTENUATION, light->range > 0.0f ? 7.0f / light->range : 0.0f);
}
