// The deferred frame: depth and normals, attributes, lights into the compose
// buffer, fog, the forward pass, post effects, and the composed image drawn
// into the output.

#include "core/camera/zCamera.h"
#include "core/light/zLight.h"
#include "core/render/zRendererProperty.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <utility>

namespace {

GLuint NameOf(const zTexture* texture)
{
    return texture != nullptr && texture->rendererData != nullptr
        ? static_cast<const zGL3TextureRecord*>(texture->rendererData)->name
        : 0;
}

// Times one pass with the GL work finished on both sides, when asked.
class PassTimer {
public:
    PassTimer(zGL3Renderer& renderer, int32_t slot) : renderer(renderer), slot(slot)
    {
        if (renderer.passTiming != 0) {
            glFinish();
            start = std::chrono::steady_clock::now();
        }
    }
    ~PassTimer()
    {
        if (renderer.passTiming != 0) {
            glFinish();
            renderer.passSeconds[slot] +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    PassTimer(const PassTimer&) = delete;
    PassTimer& operator=(const PassTimer&) = delete;

private:
    zGL3Renderer& renderer;
    int32_t slot;
    std::chrono::steady_clock::time_point start;
};

} // namespace

float zGL3Renderer::DisplayRatioX() const
{
    return framebufferScaleX != 0.0f ? supersampling / framebufferScaleX : 1.0f;
}

float zGL3Renderer::DisplayRatioY() const
{
    return framebufferScaleY != 0.0f ? supersampling / framebufferScaleY : 1.0f;
}

void zGL3Renderer::RestoreFilledPolygons()
{
    // A wireframe material leaves line mode behind; the screen passes fill.
    if (cachedPolygonMode != -1 && cachedPolygonMode != GL_FILL) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        cachedPolygonMode = GL_FILL;
    }
}

void zGL3Renderer::SetPassTarget(zTexture* target)
{
    SetRenderTarget(target);
    if (target != nullptr)
        ApplyViewport(0, 0, target->picture.width, target->picture.height);
}

void zGL3Renderer::RenderDeferredQueue()
{
    if (deferredFramebuffer == 0 || attrMaps[0] == nullptr || composeMap == nullptr || glBindFramebuffer_ == nullptr)
        return;
    if (passTiming != 0)
        for (double& seconds : passSeconds)
            seconds = 0.0;
    attributeFramebufferReported = 0;
    if ((effectFlags & EffectMotionBlur) != 0 && velocityMap != nullptr) {
        PassTimer timer(*this, TimeVelocity);
        RenderVelocityPass();
        CheckPass("velocity");
    }
    const int32_t scaledWidth = ScaleGL3Pixels(viewportWidth, supersampling);
    const int32_t scaledHeight = ScaleGL3Pixels(viewportHeight, supersampling);
    const int32_t scaledX = ScaleGL3Pixels(viewportX, supersampling);
    const int32_t scaledY = ScaleGL3Pixels(viewportY, supersampling);
    ApplyViewport(scaledX, scaledY, scaledWidth, scaledHeight);
    {
        PassTimer timer(*this, TimeDepth);
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, deferredFramebuffer);
        SetRenderTarget(attrMaps[0]);
        // The alpha of the depth-normal buffer is the view depth: far away
        // where nothing is drawn.
        ClearBuffers(0.0f, 0.0f, 0.0f, 256000.0f, 1.0f, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        WalkQueue(GL3PassDepthNormal);
        RestoreFilledPolygons();
        CheckPass("depth and normals");
    }
    if ((effectFlags & EffectAmbientOcclusion) != 0) {
        PassTimer timer(*this, TimeSSAO);
        RenderSSAOPass();
        SetRenderTarget(attrMaps[0]);
        ApplyViewport(scaledX, scaledY, scaledWidth, scaledHeight);
        CheckPass("ambient occlusion");
    }
    {
        PassTimer timer(*this, TimeAttributes);
        FillAttributeBuffers();
        CheckPass("attributes");
    }
    {
        PassTimer timer(*this, TimeLights);
        SetRenderTarget(composeMap);
        ApplyViewport(scaledX, scaledY, scaledWidth, scaledHeight);
        RenderLightLoop();
        CheckPass("lights and shadows");
    }
    passSeconds[TimeLights] -= passSeconds[TimeShadows];
    {
        PassTimer timer(*this, TimeFog);
        if (fogOn != 0) {
            RenderFogPass();
            CheckPass("fog");
        }
        if ((effectFlags & EffectFramebufferAsTexture) != 0) {
            RenderFullscreenPass(composeMap, 1.0f, nullptr, attrMaps[3]);
            ApplyViewport(scaledX, scaledY, scaledWidth, scaledHeight);
            CheckPass("framebuffer as texture");
        }
    }
    {
        PassTimer timer(*this, TimeForward);
        ResetTextureUnits(0);
        glUseProgramObject_(0);
        SetRenderTarget(composeMap);
        ApplyViewport(scaledX, scaledY, scaledWidth, scaledHeight);
        BeginFixedFunctionQueuePass();
        WalkQueue(GL3PassForward);
        CheckPass("forward");
        WalkQueue(GL3PassBackToFront);
        EndFixedFunctionQueuePass();
        CheckPass("back to front");
    }
    zTexture* image = composeMap;
    {
        PassTimer timer(*this, TimePostEffects);
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, outputFramebuffer);
        // A safe-mode target may have left its depth map here.
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, 0, 0);
        zTexture* spare = attrMaps[3];
        if ((effectFlags & EffectDepthOfField) != 0) {
            if (RenderDepthOfField(image, spare))
                std::swap(image, spare);
            CheckPass("depth of field");
        }
        if ((effectFlags & EffectMotionBlur) != 0) {
            if (RenderMotionBlur(image, spare))
                std::swap(image, spare);
            CheckPass("motion blur");
        }
        if ((effectFlags & EffectBloom) != 0) {
            if (RenderBloom(image, spare))
                image = spare;
            CheckPass("bloom");
        }
    }
    PassTimer timer(*this, TimeOutput);
    glUseProgramObject_(0);
    if (renderTarget != nullptr && renderTarget->rendererData != nullptr) {
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, outputFramebuffer);
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, 0, 0);
        SetRenderTarget(renderTarget);
    } else {
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    }
    ApplyViewport(viewportX, viewportY, viewportWidth, viewportHeight);
    BindTextureUnit(0, NameOf(image));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    DrawScreenQuad(true, DisplayRatioX(), DisplayRatioY(), 1.0f, 1.0f);
    // The G-buffer maps are read texel for texel by the passes.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    ResetTextureUnits(0);
    CheckPass("output");
}

void zGL3Renderer::RenderVelocityPass()
{
    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, velocityFramebuffer);
    SetRenderTarget(velocityMap);
    // No material has a velocity program, so nothing draws here: the map is
    // cleared to no motion, or the blur would read what the texture held.
    // The whole map: it is read by normalised coordinates, not by the viewport.
    glDisable(GL_SCISSOR_TEST);
    ClearBuffers(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    WalkQueue(GL3PassVelocity);
}

void zGL3Renderer::RenderDepthPass()
{
    SetRenderTarget(attrMaps[0]);
    ClearBuffers(0.0f, 0.0f, 0.0f, 256000.0f, 1.0f, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    WalkQueue(GL3PassDepthNormal);
}

void zGL3Renderer::FillAttributeBuffers()
{
    for (int32_t i = 0; i < 3; ++i)
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + GLenum(i), GL_TEXTURE_2D,
                                NameOf(attrMaps[i + 1]), 0);
    if (glCheckFramebufferStatus_(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT &&
        attributeFramebufferReported == 0) {
        LogError("zGL3Renderer::FillAttributeBuffers") << "FBO incomplete.\n";
        attributeFramebufferReported = 1;
    }
    static const GLenum buffers[3] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT, GL_COLOR_ATTACHMENT2_EXT};
    if (glDrawBuffers_ != nullptr)
        glDrawBuffers_(3, buffers);
    glPushAttrib(GL_DEPTH_BUFFER_BIT);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    WalkQueue(GL3PassAttributes);
    glPopAttrib();
    RestoreFilledPolygons();
    glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT1_EXT, GL_TEXTURE_2D, 0, 0);
    glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT2_EXT, GL_TEXTURE_2D, 0, 0);
    if (glDrawBuffers_ != nullptr)
        glDrawBuffers_(1, buffers);
}

void zGL3Renderer::DrawDebugOverlay(bool showGBuffer)
{
    if (propertyCallback != nullptr && camera != nullptr) {
        glPushAttrib(GL_POLYGON_BIT | GL_ENABLE_BIT | GL_CURRENT_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
        auto request = std::make_unique<zRendererPropertyRequest>();
        request->context = propertyContext;
        request->position = camera->worldMatrix.GetRow(3);
        request->frustum = &frustum;
        request->maximum = zRendererPropertyRequest::VisibleBatch;
        const float quarter = std::cos(3.14159265f / 4.0f);
        const float s = std::sin(3.14159265f / 8.0f);
        for (int32_t round = 0; round < 1024; ++round) {
            request->handled = 0;
            request->count = 0;
            if (!propertyCallback(PropertyVisibleLights, *request) || request->handled == 0)
                break;
            for (int32_t i = 0; i < request->count && i < zRendererPropertyRequest::MaxLights; ++i) {
                zLight* light = request->lights[i];
                if (light == nullptr)
                    continue;
                SetModelMatrix(light->worldMatrix, nullptr);
                const float r = light->zFar;
                if (light->type == zLight::TypePoint) {
                    const float big = r - std::sqrt((r - s * s * r) * r);
                    DrawLightSphere(big / quarter + r);
                } else if (light->type == zLight::TypeSpot) {
                    DrawLightPyramid(r, std::tan(light->coneAngle + light->edgeAngle) * r / quarter);
                }
            }
            if (request->resume == nullptr)
                break;
        }
        glPopAttrib();
    }
    if (showGBuffer) {
        DrawTextureQuad(attrMaps[0], -0.9f, 0.4f, 0.5f, 0.5f, false);
        DrawTextureQuad(attrMaps[1], -0.9f, -0.2f, 0.5f, 0.5f, false);
        DrawTextureQuad(attrMaps[2], -0.3f, 0.4f, 0.5f, 0.5f, false);
        DrawTextureQuad(attrMaps[3], -0.3f, -0.2f, 0.5f, 0.5f, false);
    }
}
