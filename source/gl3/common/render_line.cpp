// Debug lines, raster-font text and the screen quads the passes use.

#include "core/camera/zCamera.h"
#include "core/font/zRasterFont.h"
#include "core/resource/zTexture.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"

#include <cstring>

void zGL3Renderer::Line3D(const zVector& from, const zVector& to, const float* colour)
{
    static const float defaultColour[4] = {1.0f, 1.0f, 0.0f, 1.0f};
    if (lines == nullptr)
        return;
    if (lineCount >= uint32_t(MaxLines)) {
        if (lineListFullReported == 0) {
            LogError("zGL3Renderer::Line3D") << "The line display list is full, please increase its capacity or "
                                                "flush it more frequently.\n";
            lineListFullReported = 1;
        }
        return;
    }
    LineEntry& entry = lines[lineCount++];
    const float f[4] = {from.x, from.y, from.z, from.w};
    const float t[4] = {to.x, to.y, to.z, to.w};
    std::memcpy(entry.from, f, sizeof(f));
    std::memcpy(entry.to, t, sizeof(t));
    std::memcpy(entry.colour, colour != nullptr ? colour : defaultColour, sizeof(entry.colour));
}

void zGL3Renderer::FlushLines()
{
    if (lineCount == 0)
        return;
    if (videoClosed != 0) {
        lineCount = 0;
        return;
    }
    SetModelMatrix(zMatrix4(), nullptr);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_LINES);
    for (uint32_t i = 0; i < lineCount; ++i) {
        const LineEntry& e = lines[i];
        glColor4fv(e.colour);
        glVertex3f(e.from[0], e.from[1], e.from[2]);
        glColor4fv(e.colour);
        glVertex3f(e.to[0], e.to[1], e.to[2]);
    }
    glEnd();
    lineCount = 0;
    glPopAttrib();
}

void zGL3Renderer::Write(zRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
                         int32_t alignment, const float* colour)
{
    if (font == nullptr || text == nullptr || videoClosed != 0)
        return;
    float e = 1.0f;
    if (keepAspect) {
        float w = 1.0f, h = 1.0f;
        GetViewportSize(w, h);
        if (w > 0.0f)
            e = h / w;
    }
    const float G = GlobalAspectRatio;
    float startX = x;
    if (alignment == 2)
        startX = (1.0f - x) - font->GetTextWidth(text) * size * 0.5f;
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT |
                 GL_CURRENT_BIT);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    SetMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    static const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glColor4fv(colour != nullptr ? colour : white);
    int32_t lastPage = -1;
    bool lineStart = true;
    float penX = startX;
    for (const char* c = text; *c != 0; ++c) {
        if (*c == '\n') {
            y += font->height * size * 0.5f;
            lineStart = true;
            continue;
        }
        if (lineStart) {
            penX = startX;
            if (alignment == 1)
                penX = startX - size * (font->GetLineWidth(c) * e) * 0.25f;
            lineStart = false;
        }
        const zRasterFont::Glyph* glyph = font->GetGlyph(*c);
        if (glyph == nullptr)
            continue;
        if (glyph->page != lastPage) {
            zTexture* page = font->GetPageTexture(glyph->page);
            if (page != nullptr && page->rendererData != nullptr)
                BindTexture(0, static_cast<zGL3TextureRecord*>(page->rendererData));
            lastPage = glyph->page;
        }
        const float left = (size * glyph->offsetU + (2.0f * penX - 1.0f)) * G;
        const float top = (1.0f - y) * 2.0f - 1.0f - size * glyph->offsetV;
        const float width = glyph->w * e * size * G;
        const float height = glyph->h * size;
        glBegin(GL_QUADS);
        glTexCoord2f(glyph->u, glyph->v);
        glVertex3f(left, top, 0.001f);
        glTexCoord2f(glyph->u, glyph->v + glyph->h);
        glVertex3f(left, top - height, 0.001f);
        glTexCoord2f(glyph->u + glyph->w, glyph->v + glyph->h);
        glVertex3f(left + width, top - height, 0.001f);
        glTexCoord2f(glyph->u + glyph->w, glyph->v);
        glVertex3f(left + width, top, 0.001f);
        glEnd();
        penX += glyph->step * e * size * 0.5f;
    }
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    ResetTextureUnits(0);
}

void zGL3Renderer::DrawScreenQuad(bool textured, float u, float v, float w, float h)
{
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_ALWAYS);
    SetMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float x1 = 2.0f * w - 1.0f, y1 = 2.0f * h - 1.0f;
    glBegin(GL_QUADS);
    if (textured)
        glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 1.0f);
    if (textured)
        glTexCoord2f(u, 0.0f);
    glVertex3f(x1, -1.0f, 1.0f);
    if (textured)
        glTexCoord2f(u, v);
    glVertex3f(x1, y1, 1.0f);
    if (textured)
        glTexCoord2f(0.0f, v);
    glVertex3f(-1.0f, y1, 1.0f);
    glEnd();
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

void zGL3Renderer::DrawCameraQuad(bool textured, float u, float v)
{
    if (camera == nullptr)
        return;
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_ALWAYS);
    SetMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetModelMatrix(camera->worldMatrix, nullptr);
    const float c = camera->GetZNear() + 0.01f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    if (textured)
        glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-100.0f * c, -100.0f * c, c);
    if (textured)
        glTexCoord2f(u, 0.0f);
    glVertex3f(100.0f * c, -100.0f * c, c);
    if (textured)
        glTexCoord2f(u, v);
    glVertex3f(100.0f * c, 100.0f * c, c);
    if (textured)
        glTexCoord2f(0.0f, v);
    glVertex3f(-100.0f * c, 100.0f * c, c);
    glEnd();
    SetMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void zGL3Renderer::DrawTextureQuad(zTexture* texture, float x, float y, float width, float height, bool full)
{
    if ((optionFlags & OptionDisableShader) != 0 || texture == nullptr || texture->rendererData == nullptr)
        return;
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_ENABLE_BIT);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_ALWAYS);
    BindTexture(0, static_cast<zGL3TextureRecord*>(texture->rendererData));
    SetMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    const float t = full ? 1.0f : 1.0f / framebufferScaleY;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(x, y, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(x + width, y, -1.0f);
    glTexCoord2f(1.0f, t);
    glVertex3f(x + width, y + height, -1.0f);
    glTexCoord2f(0.0f, t);
    glVertex3f(x, y + height, -1.0f);
    glEnd();
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    ResetTextureUnits(0);
}

void zGL3Renderer::CopyMatrix(const float* source, float* destination, bool transpose)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            destination[4 * i + j] = transpose ? source[4 * j + i] : source[4 * i + j];
    }
}
