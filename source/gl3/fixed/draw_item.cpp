// Drawing one item's batches in a pass: the depth-normal and attribute passes
// of the deferred frame go through the material's compiled shader maps, every
// other pass through the fixed-function route.

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/object/zObject.h"
#include "core/resource/zTexture.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const void* Offset(int32_t bytes)
{
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes));
}

bool SetIfDifferent(float* cache, const float* value, bool fourth)
{
    bool differs = false;
    for (int i = 0; i < (fourth ? 4 : 3); ++i)
        differs = differs || std::fabs(cache[i] - value[i]) >= 1e-6f;
    if (differs)
        std::memcpy(cache, value, 4 * sizeof(float));
    return differs;
}

// The stages the fixed-function route uses, by channel, in unit order.
constexpr int32_t FixedChannels[5] = {zMaterial::ChannelColor, zMaterial::ChannelDiffuse, zMaterial::ChannelDetail,
                                      zMaterial::ChannelOpacity, zMaterial::ChannelReflection};

} // namespace

void zGL3Renderer::ApplyMaterialState(const zMaterial* material)
{
    const int32_t shade = (material->flags & zMaterial::FlagSmoothing) != 0 ? GL_SMOOTH : GL_FLAT;
    if (shade != cachedShadeModel) {
        glShadeModel(GLenum(shade));
        ++stateChanges;
        cachedShadeModel = shade;
    }
    const int32_t polygon = (material->flags & zMaterial::FlagWireframe) != 0 ? GL_LINE : GL_FILL;
    if (polygon != cachedPolygonMode) {
        glPolygonMode(GL_FRONT_AND_BACK, GLenum(polygon));
        ++stateChanges;
        cachedPolygonMode = polygon;
    }
    const int32_t culling = (material->flags & zMaterial::FlagDoubleSided) != 0 ? 0 : 1;
    if (culling != cachedCulling) {
        if (culling != 0)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
        cachedCulling = culling;
        ++stateChanges;
    }
    const float ambient[4] = {material->ambient.r, material->ambient.g, material->ambient.b, material->ambient.a};
    const float diffuse[4] = {material->diffuse.r, material->diffuse.g, material->diffuse.b,
                              std::clamp(material->opacity, 0.0f, 1.0f)};
    const float specular[4] = {material->specular.r, material->specular.g, material->specular.b, 1.0f};
    const float emission[4] = {material->selfIllumination.r, material->selfIllumination.g,
                               material->selfIllumination.b, 1.0f};
    if (SetIfDifferent(materialAmbient, ambient, false)) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        ++stateChanges;
    }
    // The diffuse alpha carries the opacity, so the fourth value counts too.
    if (SetIfDifferent(materialDiffuse, diffuse, true)) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        ++stateChanges;
    }
    if (SetIfDifferent(materialSpecular, specular, false)) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        ++stateChanges;
    }
    if (SetIfDifferent(materialEmission, emission, false)) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
        ++stateChanges;
    }
    // Glossiness scales the specular exponent like the engine's own lighting.
    const float shininess = std::clamp(material->glossiness * 96.0f, 0.0f, 128.0f);
    if (shininess != materialShininess) {
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
        ++stateChanges;
        materialShininess = shininess;
    }
}

void zGL3Renderer::DrawItemBatches(zObject* object, zGeometry* geometry, int32_t mode)
{
    auto* record = static_cast<zGL3GeometryRecord*>(geometry->rendererData);
    if (record == nullptr || record->batchCount == 0)
        return;
    SetModelMatrix(object->worldMatrix, nullptr);
    bool drawn = false;
    for (int32_t i = 0; i < record->batchCount; ++i) {
        const zGL3Batch& batch = record->batches[i];
        zMaterial* material = batch.material;
        const bool transparent = material != nullptr && material->transparent != 0;
        const bool fixedOnly = material != nullptr && (material->flags & zMaterial::FlagFixedFunction) != 0;
        const bool opaqueProgram = !transparent && !fixedOnly;
        if (mode == GL3PassDepthNormal || mode == GL3PassAttributes || mode == GL3PassVelocity) {
            if (!opaqueProgram)
                continue;
            auto* programs = material != nullptr ? static_cast<zGL3MaterialPrograms*>(material->rendererData)
                                                 : nullptr;
            CompiledRenderMap* map = nullptr;
            if (programs != nullptr)
                map = mode == GL3PassDepthNormal ? programs->depthNormalMap
                    : mode == GL3PassAttributes  ? programs->attributeMap
                                                 : nullptr;
            // A missing map draws nothing: the pixel keeps what the clear left.
            if (map == nullptr || map->program == nullptr)
                continue;
            const bool noZWrite = mode == GL3PassDepthNormal && (material->flags & zMaterial::FlagNoZWrite) != 0;
            const bool noZTest = mode == GL3PassDepthNormal && (material->flags & zMaterial::FlagNoZTest) != 0;
            if (noZWrite)
                glDepthMask(GL_FALSE);
            if (noZTest)
                glDepthFunc(GL_ALWAYS);
            DrawShaderMapBatch(object, batch, material, map, mode);
            if (noZWrite)
                glDepthMask(GL_TRUE);
            if (noZTest)
                glDepthFunc(GL_LEQUAL);
            ++statistics[StatListsDrawn];
            statistics[StatTrianglesDrawn] += uint32_t(batch.indexCount / 3);
            drawn = true;
            continue;
        }
        bool draw = false;
        switch (mode) {
        case GL3PassBackToFront: draw = transparent; break;
        case GL3PassForward: draw = !transparent && fixedOnly; break;
        case GL3PassFixedOpaque:
        case GL3PassShadowCasters: draw = !transparent; break;
        default: draw = false; break;
        }
        if (!draw)
            continue;
        const bool noFog = material != nullptr && (material->flags & zMaterial::FlagNoFog) != 0;
        const bool noZWrite = material != nullptr && (material->flags & zMaterial::FlagNoZWrite) != 0;
        if (noFog)
            glDisable(GL_FOG);
        if (noZWrite)
            glDepthMask(GL_FALSE);
        DrawFixedFunctionBatch(object, batch, material, mode);
        // What one batch changed is put back for the next: items share the
        // pass's state, and the material caches stay valid across them.
        if (noZWrite)
            glDepthMask(GL_TRUE);
        if (fogOn != 0 && mode != GL3PassShadowCasters)
            glEnable(GL_FOG);
        ++statistics[StatListsDrawn];
        statistics[StatTrianglesDrawn] += uint32_t(batch.indexCount / 3);
        drawn = true;
    }
    if (drawn)
        ++statistics[StatObjectsDrawn];
}

void zGL3Renderer::DrawFixedFunctionBatch(zObject* object, const zGL3Batch& batch, zMaterial* material, int32_t mode)
{
    const bool lit = material == nullptr || (material->flags & zMaterial::FlagLit) != 0;
    bool blended = false;
    bool unlit = false;
    if (mode != GL3PassShadowCasters && material != nullptr) {
        ApplyMaterialState(material);
        if (!lit) {
            unlit = true;
            // An unlit material shows its diffuse colour as it is.
            glDisable(GL_LIGHTING);
            glColor4f(material->diffuse.r, material->diffuse.g, material->diffuse.b,
                      std::clamp(material->opacity * object->alpha, 0.0f, 1.0f));
        }
        const float alpha = std::clamp(material->opacity * object->alpha, 0.0f, 1.0f);
        if (material->transparent != 0 || alpha < 1.0f) {
            blended = true;
            glEnable(GL_BLEND);
            if ((material->flags & zMaterial::FlagAdditive) != 0) {
                glBlendFunc(GL_SRC_ALPHA, GL_ONE);
                glDisable(GL_FOG);
            } else {
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            }
            glEnable(GL_ALPHA_TEST);
            if (alpha < 1.0f && lit) {
                float diffuse[4] = {material->diffuse.r, material->diffuse.g, material->diffuse.b, alpha};
                if (SetIfDifferent(materialDiffuse, diffuse, true))
                {
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
            ++stateChanges;
        }
            }
        }
    }
    glBindBuffer_(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, Offset(0));
    const bool attributes = mode != GL3PassVelocity && mode != GL3PassShadowCasters;
    if (attributes && batch.normals >= 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, Offset(batch.normals));
    }
    const bool vertexColours =
        attributes && batch.colours >= 0 && (!lit || (material != nullptr &&
                                                      (material->flags & zMaterial::FlagVertexColor) != 0));
    if (vertexColours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, Offset(batch.colours));
    }
    int32_t unit = 0;
    if (attributes && material != nullptr) {
        for (int32_t channel : FixedChannels) {
            const zTextureStage* stage = material->channels[channel];
            if (stage == nullptr || stage->active == 0 || stage->texture == nullptr ||
                stage->texture->rendererData == nullptr || unit >= TextureUnits)
                continue;
            BindTexture(unit, static_cast<zGL3TextureRecord*>(stage->texture->rendererData));
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, stage->wrapU != 0 ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, stage->wrapV != 0 ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            GLint rgb = GL_MODULATE;
            GLint source0 = GL_TEXTURE;
            if (stage->operation == zMaterial::OperatorAdd)
                rgb = GL_ADD;
            else if (stage->operation == zMaterial::OperatorNone && channel == zMaterial::ChannelOpacity) {
                rgb = GL_REPLACE;
                source0 = GL_PREVIOUS;
            } else if (stage->operation == zMaterial::OperatorNone && channel == zMaterial::ChannelReflection)
                rgb = GL_ADD;
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, rgb);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, source0);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_PREVIOUS);
            unitState[unit] |= UnitEnvironment;
            if (stage->uvSource == zMaterial::UVSourceUVMap) {
                const int32_t set = stage->uvIndex >= 0 && stage->uvIndex < 3 ? stage->uvIndex : 0;
                const int32_t offset = batch.uvSets[set] >= 0 ? batch.uvSets[set] : batch.uvSets[0];
                if (offset >= 0) {
                    glClientActiveTexture_(GL_TEXTURE0_ARB + unit);
                    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                    glTexCoordPointer(2, GL_FLOAT, 0, Offset(offset));
                    unitState[unit] |= UnitCoordArray;
                }
                float gl[16];
                CopyMatrix(stage->matrix.m, gl, true);
                SetMatrixMode(GL_TEXTURE);
                glLoadMatrixf(gl);
                unitState[unit] |= UnitMatrix;
            } else if (stage->uvSource == zMaterial::UVSourceLSNormal) {
                glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
                glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
                glEnable(GL_TEXTURE_GEN_S);
                glEnable(GL_TEXTURE_GEN_T);
                unitState[unit] |= UnitTexGen;
            } else if (stage->uvSource == zMaterial::UVSourceFrontMap) {
                glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
                glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
                glEnable(GL_TEXTURE_GEN_S);
                glEnable(GL_TEXTURE_GEN_T);
                SetMatrixMode(GL_TEXTURE);
                const float half[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 1};
                glLoadMatrixf(half);
                unitState[unit] |= UnitTexGen | UnitMatrix;
            }
            ++unit;
        }
    }
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, Offset(0));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glBindBuffer_(GL_ARRAY_BUFFER_ARB, 0);
    glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    if (unit > 0)
        ResetTextureUnits(0);
    SetMatrixMode(GL_MODELVIEW);
    if (blended) {
        glDisable(GL_BLEND);
        if (fogOn != 0)
            glEnable(GL_FOG);
    }
    if (unlit)
        glEnable(GL_LIGHTING);
}
