#pragma once

#include "core/render/zRenderer.h"

// The core's default renderer: accepts every call, draws nothing and reports
// success where a result is expected.
class zNullRenderer : public zRenderer {
public:
    zNullRenderer(Tavrin* owner, bool makeCurrent) : zRenderer(owner, makeCurrent) {}
    ~zNullRenderer() override;

    void BeginFrame() override {}
    void EndFrame() override {}
    const char* GetName() override { return "Null Renderer."; }
    const char* GetDescription() override { return "A null renderer that renders nothing."; }
    const char* GetVersion() override { return "0.0"; }
    bool OpenVideo(int32_t width, int32_t height, int32_t bitsPerPixel, bool fullScreen) override;
    void CloseVideo() override;
    bool ResizeOutput(int32_t, int32_t) override { return true; }
    void ReservedA(void*) override {}
    void UpdateClientSize() override {}
    zWindowHandle GetWindowHandle() override { return nullptr; }
    bool SetupAdditionalWindow(zWindowHandle, zRenderWindow*) override { return true; }
    void SetOutputWindow(zRenderWindow*) override {}
    void ReleaseAdditionalWindow(zRenderWindow*) override {}
    void RenderQueue() override {}
    void Present() override {}
    zShaderRecord* LoadShader(const char*, const char*, const char*) override { return nullptr; }
    void FreeShader(zShaderRecord*) override {}
    void Clear(float, float, float, float, uint32_t) override {}
    void CopyFramebufferToTexture(zTexture*) override {}
    void SetRenderTarget(zTexture*) override {}
    void Line3D(const zVector&, const zVector&, const float*) override {}
    void DrawTriangle(const zVector*, const float*, const zVector2*, zTexture*, uint32_t) override {}
    void Write(zRasterFont*, const char*, float, float, float, bool, int32_t, const float*) override {}
    bool SetupGeometry(zGeometry*) override { return true; }
    void FreeGeometry(zGeometry*) override {}
    void UpdateGeometry(zGeometry*, int32_t, int32_t) override {}
    bool SetupTexture(zTexture*) override { return true; }
    bool LoadTextureContent(zTexture*, const char*) override { return false; }
    void FreeTexture(zTexture*) override {}
    void UpdateTexture(zTexture*, const uint8_t*, int32_t, int32_t, int32_t, int32_t) override {}
    bool SetupMaterial(zMaterial*) override { return true; }
    void FreeMaterial(zMaterial*) override {}
    void UpdateMaterial(zMaterial*) override {}
    bool SetupLight(zLight*) override { return true; }
    void FreeLight(zLight*) override {}
    void UpdateLight(zLight*) override {}
    void SetViewMatrix(const zMatrix4&) override {}
    void SetProjectionMatrix(const zMatrix4&) override {}
    void SetModelMatrix(const zMatrix4&, const void*) override {}
    void SetViewport(int32_t, int32_t, int32_t, int32_t) override {}
};
