#include "gl3/system/zGL3Renderer.h"

#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "platform/PlatformVideo.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// GL wants column-major: GL element 4i + j is engine element i + 4j.
void Transposed(const zMatrix4& m, float out[16])
{
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = m.m[i + 4 * j];
    }
}

bool Differs(const float* a, const float* b)
{
    return std::fabs(a[0] - b[0]) >= 1e-6f || std::fabs(a[1] - b[1]) >= 1e-6f || std::fabs(a[2] - b[2]) >= 1e-6f;
}

} // namespace

zGL3Renderer::zGL3Renderer(Tavrin* owner, bool makeCurrent)
    : zRenderer(owner, makeCurrent), procResolver(&PlatformGetGLProcAddress)
{
    effectFlags &= ~uint32_t(EffectAmbientOcclusion);
    AllocateItemStack(2048);
    lines = new (std::nothrow) LineEntry[MaxLines];
    lineCount = 0;
}

zGL3Renderer::~zGL3Renderer()
{
    if (videoOpen != 0 || context != nullptr || mainWindow != nullptr)
        CloseVideo();
    delete[] lines;
    lines = nullptr;
}

void zGL3Renderer::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    // Clamped to the output (the render target while one is set): GL refuses
    // negative sizes, and the supersampled buffers' rectangles are scaled
    // from this one.
    float outputW = 0.0f, outputH = 0.0f;
    GetViewportSize(outputW, outputH);
    const zGL3Viewport v = ClampGL3Viewport(x, y, width, height, ToGL3Pixels(outputW), ToGL3Pixels(outputH));
    viewportX = v.x;
    viewportY = v.y;
    viewportWidth = v.width;
    viewportHeight = v.height;
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
    framebufferScaleX = framebufferWidth / float(v.width);
    framebufferScaleY = framebufferHeight / float(v.height);
}

void zGL3Renderer::ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    glViewport(x, y, width, height);
    glScissor(x, y, width, height);
    glEnable(GL_SCISSOR_TEST);
}

void zGL3Renderer::Clear(float red, float green, float blue, float depth, uint32_t flags)
{
    if (videoClosed != 0)
        return;
    if (glBindFramebuffer_ != nullptr)
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, deferredFramebuffer);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    if ((optionFlags & OptionDisableShader) == 0 && deferredFramebuffer != 0) {
        // The attribute buffers hold the supersampled viewport.
        glScissor(ScaleGL3Pixels(viewportX, supersampling), ScaleGL3Pixels(viewportY, supersampling),
                  ScaleGL3Pixels(viewportWidth, supersampling), ScaleGL3Pixels(viewportHeight, supersampling));
        const int order[3] = {0, 2, 3};
        for (int i : order) {
            SetRenderTarget(attrMaps[i]);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glClearColor(red, green, blue, 1.0f);
        SetRenderTarget(attrMaps[1]);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(viewportX, viewportY, viewportWidth, viewportHeight);
    }
    SetRenderTarget(nullptr);
    glClearDepth(depth);
    if ((flags & 0xFF) != 0)
        glClear(GL_DEPTH_BUFFER_BIT);
    else
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    CheckPass("clear");
}

void zGL3Renderer::SetRenderTarget(zTexture* texture)
{
    if (glBindFramebuffer_ == nullptr)
        return;
    if (texture == nullptr) {
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
        return;
    }
    auto* record = static_cast<zGL3TextureRecord*>(texture->rendererData);
    if (record != nullptr && glFramebufferTexture2D_ != nullptr)
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, record->name, 0);
}

void zGL3Renderer::SetViewMatrix(const zMatrix4& matrix)
{
    viewMatrix = matrix;
}

void zGL3Renderer::SetProjectionMatrix(const zMatrix4& matrix)
{
    projectionMatrix = matrix;
    if (videoClosed != 0)
        return;
    SetMatrixMode(GL_PROJECTION);
    float gl[16];
    Transposed(matrix, gl);
    glLoadMatrixf(gl);
}

void zGL3Renderer::SetModelMatrix(const zMatrix4& matrix, const void*)
{
    if (videoClosed != 0)
        return;
    // The model transform first, then the view.
    const zMatrix4 modelView = viewMatrix * matrix;
    SetMatrixMode(GL_MODELVIEW);
    float gl[16];
    Transposed(modelView, gl);
    glLoadMatrixf(gl);
}

void zGL3Renderer::SetMatrixMode(GLenum mode)
{
    if (mode == matrixMode)
        return;
    glMatrixMode(mode);
    matrixMode = mode;
    ++stateChanges;
}

void zGL3Renderer::BindTextureUnit(int32_t unit, GLuint name)
{
    if (unit < 0 || unit >= TextureUnits)
        return;
    if (glActiveTexture_ != nullptr)
        glActiveTexture_(GL_TEXTURE0_ARB + unit);
    glBindTexture(GL_TEXTURE_2D, name);
    glEnable(GL_TEXTURE_2D);
    unitState[unit] |= UnitBound;
    ++stateChanges;
}

zGL3TextureRecord* zGL3Renderer::BindTexture(int32_t unit, zGL3TextureRecord* record)
{
    if (record == nullptr)
        return nullptr;
    BindTextureUnit(unit, record->name);
    return record;
}

int32_t zGL3Renderer::FindFreeTextureUnit() const
{
    for (int32_t i = 0; i < TextureUnits; ++i) {
        if (unitState[i] == 0)
            return i;
    }
    return TextureUnits;
}

uint32_t zGL3Renderer::GetTextureUnitState(int32_t unit) const
{
    if (unit < 0)
        unit = 0;
    return unitState[unit < TextureUnits ? unit : TextureUnits - 1];
}

void zGL3Renderer::ResetTextureUnits(int32_t first)
{
    if (first < 0)
        first = 0;
    for (int32_t unit = first; unit < TextureUnits; ++unit) {
        const uint32_t state = unitState[unit];
        if (state == 0)
            continue;
        if (glActiveTexture_ != nullptr)
            glActiveTexture_(GL_TEXTURE0_ARB + unit);
        if (glClientActiveTexture_ != nullptr)
            glClientActiveTexture_(GL_TEXTURE0_ARB + unit);
        if ((state & UnitEnvironment) != 0) {
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_PREVIOUS);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
        }
        if ((state & UnitTexGen) != 0) {
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
        }
        if ((state & UnitCoordArray) != 0)
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        if ((state & UnitMatrix) != 0) {
            SetMatrixMode(GL_TEXTURE);
            glLoadIdentity();
        }
        if ((state & UnitBound) != 0) {
            glBindTexture(GL_TEXTURE_2D, 0);
            glDisable(GL_TEXTURE_2D);
        }
        unitState[unit] = 0;
    }
    if (glActiveTexture_ != nullptr)
        glActiveTexture_(GL_TEXTURE0_ARB);
    if (glClientActiveTexture_ != nullptr)
        glClientActiveTexture_(GL_TEXTURE0_ARB);
}

void zGL3Renderer::SetDefaultState()
{
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_LIGHTING);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glEnable(GL_NORMALIZE);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glAlphaFunc(GL_GREATER, 0.1f);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);
    if (vertexArraySet != 0) {
        vertexArraySet = 0;
        glDisableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
    }
    if (normalArraySet != 0) {
        normalArraySet = 0;
        glDisableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, nullptr);
    }
    if (colourArraySet != 0) {
        colourArraySet = 0;
        glDisableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, nullptr);
    }
    SetMatrixMode(GL_MODELVIEW);
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    struct {
        float* cache;
        GLenum name;
    } colours[4] = {{materialAmbient, GL_AMBIENT},
                    {materialDiffuse, GL_DIFFUSE},
                    {materialSpecular, GL_SPECULAR},
                    {materialEmission, GL_EMISSION}};
    for (auto& c : colours) {
        if (Differs(c.cache, black)) {
            std::memcpy(c.cache, black, sizeof(black));
            glMaterialfv(GL_FRONT_AND_BACK, c.name, black);
            ++stateChanges;
        }
    }
    if (materialShininess != 0.0f) {
        materialShininess = 0.0f;
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
        ++stateChanges;
    }
    cachedShadeModel = -1;
    cachedPolygonMode = -1;
    cachedCulling = -1;
}

void zGL3Renderer::ResetStateCaches()
{
    vertexArraySet = normalArraySet = colourArraySet = 0;
    matrixMode = 0;
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    const float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(materialAmbient, ambient, sizeof(ambient));
    std::memcpy(materialDiffuse, diffuse, sizeof(diffuse));
    std::memcpy(materialSpecular, black, sizeof(black));
    std::memcpy(materialEmission, black, sizeof(black));
    materialShininess = 0.0f;
    cachedShadeModel = cachedPolygonMode = cachedCulling = -1;
    for (uint32_t& state : unitState)
        state = 0;
}

void zGL3Renderer::DrawTriangle(const zVector* corners, const float* colour, const zVector2* uvs, zTexture* texture,
                                uint32_t drawFlags)
{
    if (videoClosed != 0 || corners == nullptr)
        return;
    SetModelMatrix(zMatrix4(), nullptr);
    static const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (colour == nullptr)
        colour = black;
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    if (texture != nullptr && texture->rendererData != nullptr)
        BindTexture(0, static_cast<zGL3TextureRecord*>(texture->rendererData));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, (drawFlags & 4) != 0 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    if ((drawFlags & 8) != 0)
        glDisable(GL_CULL_FACE);
    else
        glEnable(GL_CULL_FACE);
    if ((drawFlags & 0x2000) != 0)
        glDepthMask(GL_FALSE);
    if ((drawFlags & 0x4000) != 0)
        glDepthFunc(GL_ALWAYS);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < 3; ++i) {
        glColor4fv(colour);
        if (uvs != nullptr)
            glTexCoord2f(uvs[i].x, uvs[i].y);
        glVertex4f(corners[i].x, corners[i].y, corners[i].z, corners[i].w);
    }
    glEnd();
    glPopAttrib();
    ResetTextureUnits(0);
}

bool zGL3Renderer::SetupMaterial(zMaterial* material)
{
    if (material == nullptr || material->rendererData != nullptr)
        return false;
    material->rendererData = new (std::nothrow) zGL3MaterialPrograms;
    if (material->rendererData == nullptr)
        return false;
    UpdateMaterial(material);
    return true;
}

void zGL3Renderer::FreeMaterial(zMaterial* material)
{
    if (material == nullptr)
        return;
    delete static_cast<zGL3MaterialPrograms*>(material->rendererData);
    material->rendererData = nullptr;
}

bool zGL3Renderer::SetupLight(zLight* light)
{
    if (light == nullptr || light->rendererData != nullptr)
        return false;
    light->rendererData = new (std::nothrow) zGL3LightPrograms;
    if (light->rendererData == nullptr)
        return false;
    UpdateLight(light);
    return true;
}

void zGL3Renderer::FreeLight(zLight* light)
{
    if (light == nullptr)
        return;
    delete static_cast<zGL3LightPrograms*>(light->rendererData);
    light->rendererData = nullptr;
}

