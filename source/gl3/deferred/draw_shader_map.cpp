// The shader-map route of the item draw: a batch drawn with the program a
// material's shader map compiled to, its textures, coordinate sets, uniforms,
// tangent frame and skin palette.

#include "core/camera/zCamera.h"
#include "core/material/zMaterial.h"
#include "core/object/zObject.h"
#include "core/resource/zTexture.h"
#include "core/shader/zShaderBlocks.h"
#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <cstdint>
#include <cstring>

namespace {

const void* Offset(int32_t bytes)
{
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes));
}

} // namespace

void zGL3Renderer::UseShaderMap(const CompiledRenderMap* map, const zGL3Batch* batch)
{
    if (map == nullptr || map->program == nullptr)
        return;
    const GLhandleARB program = map->program->program;
    glUseProgramObject_(program);
    for (int32_t slot = 0; slot < CompiledRenderMap::MaxTextures && map->textures[slot].location >= 0; ++slot) {
        const CompiledRenderMap::TextureSlot& entry = map->textures[slot];
        glActiveTexture_(GL_TEXTURE0_ARB + GLenum(slot));
        if (entry.texture != nullptr && entry.texture->rendererData != nullptr) {
            unitState[slot] |= UnitBound;
            glUniform1i_(entry.location, slot);
            glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(entry.texture->rendererData)->name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, map->wrap[slot][0] != 0 ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, map->wrap[slot][1] != 0 ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            glEnable(GL_TEXTURE_2D);
            ++stateChanges;
        } else {
            glDisable(GL_TEXTURE_2D);
        }
    }
    glActiveTexture_(GL_TEXTURE0_ARB);
    if (batch != nullptr) {
        for (int32_t set = 0; set < 3; ++set) {
            if (map->uvSets[set] == 0 || batch->uvSets[set] < 0)
                continue;
            glClientActiveTexture_(GL_TEXTURE0_ARB + GLenum(set));
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, Offset(batch->uvSets[set]));
            unitState[set] |= UnitCoordArray;
        }
        glClientActiveTexture_(GL_TEXTURE0_ARB);
    }
    for (auto* node = map->uniforms.GetFirst(); node != nullptr; node = node->next) {
        const auto* uniform = static_cast<const RenderMapUniform*>(node);
        const float* v = uniform->value;
        switch (uniform->blockType) {
        case ShaderBlockConstant:
            switch (uniform->valueType) {
            case zShaderValue::Float: glUniform1f_(uniform->location, v[0]); break;
            case zShaderValue::Vector2: glUniform2f_(uniform->location, v[0], v[1]); break;
            case zShaderValue::Vector3: glUniform3f_(uniform->location, v[0], v[1], v[2]); break;
            case zShaderValue::Vector4: glUniform4f_(uniform->location, v[0], v[1], v[2], v[3]); break;
            default: break;
            }
            break;
        case ShaderBlockColor: glUniform4f_(uniform->location, v[0], v[1], v[2], v[3]); break;
        case ShaderBlockViewVector: {
            // The camera's z axis (third row of its world matrix).
            const zVector axis = camera != nullptr ? camera->worldMatrix.GetRow(2) : zVector(0.0f, 0.0f, 1.0f);
            glUniform3f_(uniform->location, axis.x, axis.y, axis.z);
            break;
        }
        case ShaderBlockClock: glUniform1f_(uniform->location, float(GetClockTicks()) * 0.0001f); break;
        default:
            LogWarning("zGL3Renderer::UseShaderMap")
                << "Unsupported uniform type ('" << uniform->blockType << "').\n";
            break;
        }
    }
}

void zGL3Renderer::DrawShaderMapBatch(zObject* object, const zGL3Batch& batch, zMaterial* material,
                                      const CompiledRenderMap* map, int32_t mode)
{
    const bool attributes = mode != GL3PassVelocity && mode != GL3PassShadowCasters;
    glBindBuffer_(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, Offset(0));
    if (attributes && batch.colours >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, Offset(batch.colours));
    }
    if (attributes && batch.normals >= 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, Offset(batch.normals));
    }
    if (material != nullptr)
        ApplyMaterialState(material);
    UseShaderMap(map, &batch);

    const zGL3ShaderRecord* program = map->program;
    GLint enabled[4] = {-1, -1, -1, -1};
    int32_t enabledCount = 0;
    auto enable = [&](GLint location, GLint size, GLenum type, GLboolean normalise, int32_t offset) {
        if (location < 0 || offset < 0 || glEnableVertexAttribArray_ == nullptr)
            return;
        glEnableVertexAttribArray_(GLuint(location));
        glVertexAttribPointer_(GLuint(location), size, type, normalise, 0, Offset(offset));
        enabled[enabledCount++] = location;
    };
    const bool tangentPass = mode != GL3PassAttributes && attributes;
    if (tangentPass && batch.tangents >= 0 && program->tangentLocation >= 0) {
        enable(program->tangentLocation, 3, GL_FLOAT, GL_FALSE, batch.tangents);
        enable(program->bitangentLocation, 3, GL_FLOAT, GL_FALSE, batch.bitangents);
    }
    // Skinning moves the position every pass computes, so every pass whose
    // program reads the palette gets it.
    if (batch.boneCount > 0 && batch.boneIndices >= 0 && program->skinIdLocation >= 0) {
        enable(program->skinIdLocation, 4, GL_BYTE, GL_FALSE, batch.boneIndices);
        enable(program->skinWeightLocation, 4, GL_FLOAT, GL_FALSE, batch.boneWeights);
        static const zMatrix4 identity;
        const int32_t entries = batch.boneCount < SkinPaletteSize ? batch.boneCount : SkinPaletteSize;
        if (batch.skinMatrices != nullptr && batch.boneIds != nullptr) {
            for (int32_t i = 0; i < entries; ++i) {
                const uint32_t bone = batch.boneIds[i];
                const zMatrix4& m = object != nullptr && object->skinMatrices != nullptr && bone < object->boneCount
                    ? object->skinMatrices[bone]
                    : identity;
                std::memcpy(batch.skinMatrices + size_t(i) * 16, m.m, sizeof(m.m));
            }
            const GLint location = glGetUniformLocation_(program->program, "skin_mtx");
            if (location >= 0)
                glUniformMatrix4fv_(location, entries, GL_TRUE, batch.skinMatrices);
        }
    }
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, Offset(0));
    for (int32_t i = 0; i < enabledCount; ++i)
        glDisableVertexAttribArray_(GLuint(enabled[i]));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glBindBuffer_(GL_ARRAY_BUFFER_ARB, 0);
    glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    ResetTextureUnits(0);
    glUseProgramObject_(0);
}
