// Screen passes of the deferred frame: fog and ambient occlusion over the
// G-buffer, and the post effects (depth of field, motion blur, bloom) that
// work on the composed image through the two effect buffers.

#include "core/camera/zCamera.h"
#include "core/resource/zTexture.h"
#include "gl3/system/zGL3Renderer.h"

namespace {

GLuint NameOf(const zTexture* texture)
{
    return texture != nullptr && texture->rendererData != nullptr
        ? static_cast<const zGL3TextureRecord*>(texture->rendererData)->name
        : 0;
}

} // namespace

void zGL3Renderer::RenderFogPass()
{
    auto* program = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::fog"));
    if (program == nullptr)
        return;
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    const GLhandleARB p = program->program;
    glUseProgramObject_(p);
    BindSampler(p, 0, attrMaps[0], "gbuffer0");
    SetUniform(p, "near", fogNear);
    SetUniform(p, "inverse_range", fogFar != fogNear ? 1.0f / (fogFar - fogNear) : 0.0f);
    SetUniform(p, "color", fogColour[0], fogColour[1], fogColour[2]);
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    DrawScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    ResetTextureUnits(0);
    glUseProgramObject_(0);
    glPopAttrib();
}

void zGL3Renderer::RenderSSAOPass()
{
    auto* program = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::ssao"));
    if (program == nullptr || fxMaps[0] == nullptr || camera == nullptr)
        return;
    const GLhandleARB p = program->program;
    SetPassTarget(fxMaps[0]);
    glUseProgramObject_(p);
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    SetUniform(p, "framebuffer_fx_scaler", float(effectMapDivisor));
    SetUniform(p, "display_buffer_ratio", DisplayRatioX(), DisplayRatioY());
    SetUniform(p, "inverse_projection_2d", projectionMatrix.m[0] != 0.0f ? 1.0f / projectionMatrix.m[0] : 0.0f,
               projectionMatrix.m[5] != 0.0f ? 1.0f / projectionMatrix.m[5] : 0.0f);
    SetUniform(p, "view_depth_offset", camera->GetZNear());
    BindSampler(p, 1, attrMaps[0], "nrm_dpth");
    BindSampler(p, 2, noiseTexture, "noise_texture");
    glDisable(GL_BLEND);
    DrawScreenQuad(false, 1.0f, 1.0f, DisplayRatioX(), DisplayRatioY());
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

void zGL3Renderer::RenderFullscreenPass(zTexture* source, float scale, zGL3ShaderRecord* program, zTexture* target)
{
    zTexture* destination = target != nullptr ? target : fxMaps[0];
    if (source == nullptr || destination == nullptr)
        return;
    SetPassTarget(destination);
    BindTextureUnit(0, NameOf(source));
    const float rx = DisplayRatioX(), ry = DisplayRatioY();
    if (program != nullptr) {
        const GLhandleARB p = program->program;
        glUseProgramObject_(p);
        SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
        SetUniform(p, "framebuffer_fx_scaler", scale);
        const GLint location = glGetUniformLocation_(p, "source");
        if (location >= 0)
            glUniform1i_(location, 0);
    }
    // The picture fills the same share of every buffer, whatever its size.
    DrawScreenQuad(true, rx, ry, rx, ry);
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

GLhandleARB zGL3Renderer::BeginBlurPass(zGL3ShaderRecord* program, zTexture* source, zTexture* target, float size,
                                        float scale)
{
    SetPassTarget(target);
    const GLhandleARB p = program->program;
    glUseProgramObject_(p);
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    SetUniform(p, "framebuffer_fx_scaler", scale);
    SetUniform(p, "blur_size", size);
    BindSampler(p, 0, source, "source");
    return p;
}

void zGL3Renderer::EndBlurPass()
{
    DrawScreenQuad(false, 1.0f, 1.0f, DisplayRatioX(), DisplayRatioY());
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}

void zGL3Renderer::BlendEffectOntoImage(zTexture* image, GLenum sourceFactor, GLenum destinationFactor)
{
    SetPassTarget(image);
    glEnable(GL_BLEND);
    glBlendFunc(sourceFactor, destinationFactor);
    BindTextureUnit(0, NameOf(fxMaps[0]));
    DrawScreenQuad(true, DisplayRatioX(), DisplayRatioY(), DisplayRatioX(), DisplayRatioY());
    ResetTextureUnits(0);
    glDisable(GL_BLEND);
}

bool zGL3Renderer::RenderBloom(zTexture* image, zTexture*)
{
    auto* bright = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::hdr_no_ldr"));
    auto* horizontal = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::h_gaussian_blur"));
    auto* vertical = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::v_gaussian_blur"));
    if (bright == nullptr || horizontal == nullptr || vertical == nullptr || fxMaps[0] == nullptr ||
        fxMaps[1] == nullptr)
        return false;
    const float scale = float(effectMapDivisor);
    glDisable(GL_BLEND);
    RenderFullscreenPass(image, scale, bright, fxMaps[0]);
    BeginBlurPass(horizontal, fxMaps[0], fxMaps[1], 24.0f * outputReciprocalHeight, scale);
    EndBlurPass();
    BeginBlurPass(vertical, fxMaps[1], fxMaps[0], 24.0f * outputReciprocalWidth, scale);
    EndBlurPass();
    // The blurred highlights are added onto the image.
    BlendEffectOntoImage(image, GL_ONE, GL_ONE);
    return false;
}

bool zGL3Renderer::RenderMotionBlur(zTexture* image, zTexture* spare)
{
    auto* program = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::motionblur"));
    if (program == nullptr || spare == nullptr || velocityMap == nullptr)
        return false;
    const GLhandleARB p = program->program;
    SetPassTarget(spare);
    glUseProgramObject_(p);
    SetUniform(p, "inverse_buffer_size", framebufferReciprocalWidth, framebufferReciprocalHeight);
    SetUniform(p, "inverse_display_size", outputReciprocalWidth, outputReciprocalHeight);
    BindSampler(p, 0, attrMaps[0], "nrm_dpth");
    BindSampler(p, 1, velocityMap, "velocity_map");
    BindSampler(p, 2, image, "pp_input");
    glDisable(GL_BLEND);
    DrawScreenQuad(false, 1.0f, 1.0f, DisplayRatioX(), DisplayRatioY());
    ResetTextureUnits(0);
    glUseProgramObject_(0);
    return true;
}

bool zGL3Renderer::RenderDepthOfField(zTexture* image, zTexture*)
{
    if (dofFStop == 0.0f || dofFocalDistance == 0.0f)
        return false;
    auto* horizontal = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::h_dof"));
    auto* vertical = static_cast<zGL3ShaderRecord*>(shaders.FindByName("core::v_dof"));
    if (horizontal == nullptr || vertical == nullptr || fxMaps[0] == nullptr || fxMaps[1] == nullptr)
        return false;
    const float scale = float(effectMapDivisor);
    glDisable(GL_BLEND);
    RenderFullscreenPass(image, scale, nullptr, fxMaps[0]);
    // Both passes blur by the circle of confusion read from the depth.
    const auto pass = [&](zGL3ShaderRecord* program, zTexture* source, zTexture* target, float size) {
        const GLhandleARB p = BeginBlurPass(program, source, target, size, scale);
        SetUniform(p, "f_stop", dofFStop);
        SetUniform(p, "focal_distance", dofFocalDistance);
        BindSampler(p, 1, attrMaps[0], "nrm_dpth");
        EndBlurPass();
    };
    pass(horizontal, fxMaps[0], fxMaps[1],
         outputReciprocalHeight != 0.0f ? 20.0f * (outputReciprocalWidth / outputReciprocalHeight) : 20.0f);
    pass(vertical, fxMaps[1], fxMaps[0], 20.0f);
    BlendEffectOntoImage(image, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    return false;
}
