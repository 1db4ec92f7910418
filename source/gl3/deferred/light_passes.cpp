// Deferred lighting: the ambient term, then every visible light added into
// the compose buffer over its volume (or the whole screen), with its shadow
// maps rendered just before it is drawn.

#include "core/camera/zCamera.h"
#include "core/light/zLight.h"
#include "core/render/zRendererProperty.h"
#include "core/resource/zTexture.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace {

constexpr float Pi = 3.14159265f;

// A direction through the rotation part of a matrix.
zVector Rotate(const zMatrix4& m, const zVector& v)
{
    return {m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z, m.m[4] * v.x + m.m[5] * v.y + m.m[6] * v.z,
            m.m[8] * v.x + m.m[9] * v.y + m.m[10] * v.z};
}

zVector Position(const zMatrix4& m)
{
    return {m.m[3], m.m[7], m.m[11]};
}

float Distance(const zVector& a, const zVector& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

} // namespace

void zGL3Renderer::SetUniform(GLhandleARB program, const char* name, float x)
{
    const GLint location = glGetUniformLocation_(program, name);
    if (location >= 0)
        glUniform1f_(location, x);
}

void zGL3Renderer::SetUniform(GLhandleARB program, const char* name, float x, float y)
{
    const GLint location = glGetUniformLocation_(program, name);
    if (location >= 0)
        glUniform2f_(location, x, y);
}

void zGL3Renderer::SetUniform(GLhandleARB program, const char* name, float x, float y, float z)
{
    const GLint location = glGetUniformLocation_(program, name);
    if (location >= 0)
        glUniform3f_(location, x, y, z);
}

void zGL3Renderer::SetUniformMatrix(GLhandleARB program, const char* name, const zMatrix4& matrix)
{
    // The programs multiply row vectors from the left: the engine's storage
    // read column by column is the transpose they expect.
    const GLint location = glGetUniformLocation_(program, name);
    if (location >= 0)
        glUniformMatrix4fv_(location, 1, GL_FALSE, matrix.m);
}

void zGL3Renderer::BindSampler(GLhandleARB program, int32_t unit, zTexture* texture, const char* name)
{
    if (texture != nullptr && texture->rendererData != nullptr)
        BindTexture(unit, static_cast<zGL3TextureRecord*>(texture->rendererData));
    const GLint location = glGetUniformLocation_(program, name);
    if (location >= 0)
        glUniform1i_(location, unit);
}

void zGL3Renderer::RenderAmbientPass()
{
    auto* program = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::ambient"));
    if (program == nullptr)
        return;
    const GLhandleARB p = program->program;
    glUseProgramObject_(p);
    BindSampler(p, 0, attrMaps[1], "gbuffer1");
    BindSampler(p, 1, attrMaps[3], "gbuffer3");
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    glDisable(GL_BLEND);
    DrawScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

void zGL3Renderer::RenderLightLoop()
{
    RenderAmbientPass();
    if (propertyCallback == nullptr || camera == nullptr)
        return;
    shadowRendered = 0;
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    auto request = std::make_unique<zRendererPropertyRequest>();
    request->context = propertyContext;
    request->position = Position(camera->worldMatrix);
    request->frustum = &frustum;
    request->maximum = zRendererPropertyRequest::VisibleBatch;
    // A callback that keeps asking for more batches without end is cut off.
    for (int32_t round = 0; round < 65536; ++round) {
        request->handled = 0;
        request->count = 0;
        if (!propertyCallback(PropertyVisibleLights, *request) || request->handled == 0)
            break;
        const int32_t count = std::clamp(request->count, 0, int32_t(zRendererPropertyRequest::MaxLights));
        for (int32_t i = 0; i < count; ++i) {
            zLight* light = request->lights[i];
            if (light == nullptr)
                continue;
            ++statistics[StatLightsProcessed];
            glPushAttrib(GL_COLOR_BUFFER_BIT);
            if (light->shadow == zLight::ShadowPMap) {
                glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            } else if (light->shadow == zLight::ShadowMap && (effectFlags & EffectShadowMapping) != 0) {
                std::chrono::steady_clock::time_point start;
                if (passTiming != 0) {
                    glFinish();
                    start = std::chrono::steady_clock::now();
                }
                RenderLightShadow(light);
                shadowRendered = 1;
                if (passTiming != 0) {
                    glFinish();
                    passSeconds[TimeShadows] +=
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                }
            }
            DrawLight(light);
            if (light->volumetric != 0)
                RenderVolumetricLight(light);
            glPopAttrib();
        }
        if (request->resume == nullptr)
            break;
    }
    glPopAttrib();
    if (shadowRendered != 0) {
        ApplyCamera();
        CullItemStack(false);
    }
    glUseProgramObject_(0);
}

void zGL3Renderer::DrawLight(zLight* light)
{
    if (!SetupLightPass(light))
        return;
    if ((light->type == zLight::TypePoint && light->range != 0.0f) || light->type == zLight::TypeSpot)
        DrawLightVolume(light);
    else
        // At the near plane through the camera's projection, so the programs
        // can rebuild view positions from it.
        DrawCameraQuad(false, 1.0f, 1.0f);
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

bool zGL3Renderer::SetupLightPass(zLight* light)
{
    auto* programs = static_cast<zGL3LightPrograms*>(light->rendererData);
    if (programs == nullptr || programs->lightProgram == nullptr || camera == nullptr)
        return false;
    const GLhandleARB p = programs->lightProgram->program;
    glUseProgramObject_(p);
    BindSampler(p, 0, attrMaps[0], "gbuffer0");
    BindSampler(p, 1, attrMaps[1], "gbuffer1");
    BindSampler(p, 2, attrMaps[2], "gbuffer2");
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    SetUniform(p, "view_depth_offset", camera->GetZNear());
    SetUniform(p, "shadow_bias", light->shadowBias);

    const bool shadowMapped = light->shadow == zLight::ShadowMap && (effectFlags & EffectShadowMapping) != 0;
    const zMatrix4& cameraWorld = camera->worldMatrix;
    if (light->type != zLight::TypeParallel) {
        SetUniform(p, "range", light->range);
        const zVector at = Position(light->worldMatrix).Transform(viewMatrix);
        SetUniform(p, "position_view_space", at.x, at.y, at.z);
    }
    if (light->type == zLight::TypePoint && light->shadow == zLight::ShadowMap && programs->cube != nullptr) {
        SetUniform(p, "inverse_shadowmap_size", shadowMapReciprocal, shadowMapReciprocal);
        static const char* const samplers[6] = {"psm_0", "psm_1", "psm_2", "psm_3", "psm_4", "psm_5"};
        static const char* const matrices[6] = {"psm_0_projection_matrix", "psm_1_projection_matrix",
                                                "psm_2_projection_matrix", "psm_3_projection_matrix",
                                                "psm_4_projection_matrix", "psm_5_projection_matrix"};
        for (int32_t face = 0; face < 6; ++face) {
            BindSampler(p, 3 + face, shadowMaps[face], samplers[face]);
            const zMatrix4 m = programs->cube->matrices[6 + face] * programs->cube->matrices[face] * cameraWorld;
            SetUniformMatrix(p, matrices[face], m);
        }
        SetUniformMatrix(p, "view_to_light_matrix", light->inverseWorldMatrix * cameraWorld);
    }
    if (light->type == zLight::TypeParallel) {
        const float sx = projectionMatrix.m[0] != 0.0f ? 1.0f / projectionMatrix.m[0] : 0.0f;
        const float sy = projectionMatrix.m[5] != 0.0f ? 1.0f / projectionMatrix.m[5] : 0.0f;
        SetUniform(p, "inverse_projection_2d", sx, sy);
        SetUniform(p, "display_buffer_ratio", DisplayRatioX(), DisplayRatioY());
        const zVector direction = Rotate(viewMatrix, light->worldMatrix.GetRow(2));
        SetUniform(p, "direction_view_space", direction.x, direction.y, direction.z);
        if (shadowMapped && (effectFlags & EffectLinearShadow) != 0 && programs->pssm != nullptr) {
            SetUniform(p, "inverse_shadowmap_size", shadowMapReciprocal, shadowMapReciprocal);
            static const char* const samplers[6] = {"pssm_0", "pssm_1", "pssm_2", "pssm_3", "pssm_4", "pssm_5"};
            static const char* const matrices[6] = {"pssm_0_projection_matrix", "pssm_1_projection_matrix",
                                                    "pssm_2_projection_matrix", "pssm_3_projection_matrix",
                                                    "pssm_4_projection_matrix", "pssm_5_projection_matrix"};
            static const char* const distances[6] = {"pssm_0_slice_distance", "pssm_1_slice_distance",
                                                     "pssm_2_slice_distance", "pssm_3_slice_distance",
                                                     "pssm_4_slice_distance", "pssm_5_slice_distance"};
            for (int32_t split = 0; split < 6; ++split) {
                const PSSMSplit& s = programs->pssm->splits[split];
                BindSampler(p, 3 + split, shadowMaps[split], samplers[split]);
                SetUniformMatrix(p, matrices[split], s.projection * s.view * cameraWorld);
                SetUniform(p, distances[split], s.sliceDistance);
            }
        }
    }
    if (light->type == zLight::TypeSpot) {
        if (light->projectionMap != nullptr || light->shadow == zLight::ShadowMap) {
            int32_t unit = 3;
            if (shadowMapped) {
                SetUniform(p, "inverse_shadowmap_size", shadowMapReciprocal, shadowMapReciprocal);
                BindSampler(p, unit++, shadowMaps[0], "light_view_depth_texture");
            }
            if (light->projectionMap != nullptr)
                BindSampler(p, unit, light->projectionMap, "projection_texture");
            zMatrix4 projection;
            light->GetProjectionMatrix(projection);
            SetUniformMatrix(p, "light_projection_matrix", projection * light->inverseWorldMatrix * cameraWorld);
        }
        if (light->volumetric != 0) {
            SetUniform(p, "volumetric_step", light->volumetricSampleStep);
            SetUniform(p, "volumetric_thickness", light->volumetricThickness);
        }
        const zVector direction = Rotate(viewMatrix, light->worldMatrix.GetRow(2));
        SetUniform(p, "direction_view_space", direction.x, direction.y, direction.z);
        SetUniform(p, "spot_cone_angle", std::cos(light->coneAngle));
        SetUniform(p, "spot_edge_angle", std::cos(light->coneAngle + light->edgeAngle));
    }
    float fade = 1.0f;
    if (light->range != 0.0f) {
        const float distance = Distance(Position(cameraWorld), Position(light->worldMatrix));
        fade = std::clamp(1.0f - (distance - (light->clipDistance + light->range - 50.0f)) * 0.02f, 0.0f, 1.0f);
    }
    const float d = light->diffuseIntensity * fade;
    const float s = light->specularIntensity * fade;
    SetUniform(p, "diffuse_color", light->diffuse.r * d, light->diffuse.g * d, light->diffuse.b * d);
    SetUniform(p, "specular_color", light->specular.r * s, light->specular.g * s, light->specular.b * s);
    return true;
}

void zGL3Renderer::DrawLightVolume(zLight* light)
{
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    // A volume reaching past the camera's far plane would lose its far side
    // there, and with it the light on everything in view: clamped, its depth
    // stays behind every surface instead.
    if (depthClamp != 0)
        glEnable(GL_DEPTH_CLAMP);
    const zVector eye = Position(camera->worldMatrix);
    if (light->type == zLight::TypePoint) {
        SetModelMatrix(light->worldMatrix, nullptr);
        const float v = light->zFar;
        const float r = v + v * (1.0f - std::cos(Pi / 8.0f)) / std::cos(Pi / 4.0f);
        // Outside, the near side of the volume lights what lies behind it;
        // inside, the far side lights what lies in front of it.
        if (Distance(eye, Position(light->worldMatrix)) > std::sqrt(r * r + 0.001f)) {
            glDepthFunc(GL_LESS);
            glCullFace(GL_FRONT);
        } else {
            glDepthFunc(GL_GREATER);
            glCullFace(GL_BACK);
        }
        DrawLightSphere(r);
    } else if (light->type == zLight::TypeSpot) {
        const bool outside = light->frustum.ClassifyPoints(1, &eye, 0.5f) == FrustumOutside;
        if (outside) {
            glDepthFunc(GL_LESS);
            glCullFace(GL_FRONT);
        } else {
            glDepthFunc(GL_GREATER);
            glCullFace(GL_BACK);
        }
        if (light->volumetric != 0)
            glDepthFunc(GL_ALWAYS);
        SetModelMatrix(zMatrix4(), nullptr);
        const zVector* c = light->frustum.corners;
        // Each face wound like the engine's own geometry, seen from outside.
        static const int faces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 5, 1, 0},
                                        {3, 2, 6, 7}, {4, 0, 3, 7}, {1, 5, 6, 2}};
        glBegin(GL_QUADS);
        for (const auto& face : faces)
            for (int corner : face)
                glVertex3f(c[corner].x, c[corner].y, c[corner].z);
        glEnd();
    }
    glPopAttrib();
}

void zGL3Renderer::DrawLightSphere(float radius)
{
    const float step = Pi / 4.0f;
    auto point = [&](int band, int segment) {
        const float theta = float(band) * step;
        const float phi = float(segment) * step;
        glVertex3f(radius * std::sin(theta) * std::cos(phi), radius * std::cos(theta),
                   radius * std::sin(theta) * std::sin(phi));
    };
    glBegin(GL_TRIANGLES);
    for (int s = 0; s < 8; ++s) {
        point(0, s);
        point(1, s + 1);
        point(1, s);
        point(4, s);
        point(3, s);
        point(3, s + 1);
    }
    glEnd();
    glBegin(GL_QUADS);
    for (int band = 1; band < 3; ++band)
        for (int s = 0; s < 8; ++s) {
            point(band, s);
            point(band, s + 1);
            point(band + 1, s + 1);
            point(band + 1, s);
        }
    glEnd();
}

void zGL3Renderer::DrawLightPyramid(float distance, float halfSize)
{
    const float rim = halfSize * std::sqrt(2.0f);
    glBegin(GL_TRIANGLES);
    for (int step = 0; step < 4; ++step) {
        const float a0 = float(step) * Pi / 2.0f + Pi / 4.0f;
        const float a1 = a0 + Pi / 2.0f;
        const float x0 = rim * std::cos(a0), y0 = rim * std::sin(a0);
        const float x1 = rim * std::cos(a1), y1 = rim * std::sin(a1);
        glVertex3f(x1, y1, distance);
        glVertex3f(x0, y0, distance);
        glVertex3f(0.0f, 0.0f, distance);
        glVertex3f(0.0f, 0.0f, 0.0f);
        glVertex3f(x0, y0, distance);
        glVertex3f(x1, y1, distance);
    }
    glEnd();
}

void zGL3Renderer::RenderVolumetricLight(zLight* light)
{
    auto* programs = static_cast<zGL3LightPrograms*>(light->rendererData);
    if (programs == nullptr || programs->volumetricProgram == nullptr || !SetupVolumetricPass(light))
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if ((effectFlags & EffectLowResolutionFx) != 0 && fxMaps[0] != nullptr) {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        SetRenderTarget(fxMaps[0]);
        ApplyViewport(0, 0, std::max(viewport[2] / effectMapDivisor, 1), std::max(viewport[3] / effectMapDivisor, 1));
        ClearBuffers(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, GL_COLOR_BUFFER_BIT);
        glDisable(GL_BLEND);
        DrawLightVolume(light);
        ResetTextureUnits(0);
        glUseProgramObject_(0);
        SetRenderTarget(composeMap);
        ApplyViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        glEnable(GL_BLEND);
        BindTextureUnit(0, static_cast<zGL3TextureRecord*>(fxMaps[0]->rendererData)->name);
        DrawScreenQuad(true, 1.0f, 1.0f, 1.0f, 1.0f);
    } else {
        DrawLightVolume(light);
    }
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

bool zGL3Renderer::SetupVolumetricPass(zLight* light)
{
    auto* programs = static_cast<zGL3LightPrograms*>(light->rendererData);
    if (programs == nullptr || programs->volumetricProgram == nullptr || camera == nullptr)
        return false;
    const GLhandleARB p = programs->volumetricProgram->program;
    glUseProgramObject_(p);
    BindSampler(p, 0, attrMaps[0], "gbuffer0");
    const float scale = (effectFlags & EffectLowResolutionFx) != 0 ? float(effectMapDivisor) : 1.0f;
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth * scale, framebufferReciprocalHeight * scale);
    SetUniform(p, "view_depth_offset", camera->GetZNear());
    SetUniform(p, "volumetric_step", light->volumetricSampleStep);
    SetUniform(p, "volumetric_thickness", light->volumetricThickness);
    SetUniform(p, "volumetric_color", light->diffuse.r * light->diffuseIntensity,
               light->diffuse.g * light->diffuseIntensity, light->diffuse.b * light->diffuseIntensity);
    if (light->type != zLight::TypeSpot)
        return true;
    SetUniform(p, "volumetric_range", light->range);
    const zVector at = Position(light->worldMatrix).Transform(viewMatrix);
    SetUniform(p, "position_view_space", at.x, at.y, at.z);
    const zVector direction = Rotate(viewMatrix, light->worldMatrix.GetRow(2));
    SetUniform(p, "direction_view_space", direction.x, direction.y, direction.z);
    SetUniform(p, "cone_angle", std::cos(light->coneAngle + light->edgeAngle));
    if (light->shadow == zLight::ShadowMap && (effectFlags & EffectShadowMapping) != 0) {
        SetUniform(p, "inverse_shadowmap_size", shadowMapReciprocal, shadowMapReciprocal);
        SetUniform(p, "shadow_bias", light->shadowBias);
        BindSampler(p, 4, shadowMaps[0], "volume_view_depth_texture");
        zMatrix4 projection;
        light->GetProjectionMatrix(projection);
        SetUniformMatrix(p, "volume_projection_matrix", projection * light->inverseWorldMatrix * camera->worldMatrix);
    }
    return true;
}
