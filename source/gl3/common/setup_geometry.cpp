// Geometry upload: one vertex buffer and one 16-bit index buffer per
// triangle list, filled once through write-only mappings.

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryTrilist.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Lists are cut below this many triangles: at most three times as many
// vertices, which 16-bit indices still address.
constexpr int32_t TrilistTriangleLimit = 16384;

void WriteVec3(uint8_t* out, const zVector& v)
{
    const float f[3] = {v.x, v.y, v.z};
    std::memcpy(out, f, sizeof(f));
}

} // namespace

bool zGL3Renderer::SetupGeometry(zGeometry* geometry)
{
    if (geometry == nullptr)
        return false;
    if (geometry->rendererData != nullptr)
        return true;
    if (videoClosed != 0) {
        LogError("zGL3Renderer::SetupGeometry")
            << "cannot setup geometry '" << geometry->id << "', system not ready.\n";
        FreeGeometry(geometry);
        return false;
    }
    if (geometry->vertexCount == 0 || geometry->polygonCount == 0 || geometry->materialCount == 0) {
        LogError("zGL3Renderer::SetupGeometry")
            << "cannot setup geometry '" << geometry->id << "', geometry is empty.\n";
        FreeGeometry(geometry);
        return false;
    }
    auto* record = new (std::nothrow) zGL3GeometryRecord;
    if (record == nullptr)
        return false;
    geometry->rendererData = record;
    geometry->ComputeRenderFlags();
    geometry->BuildPolygonIndex();
    std::unique_ptr<zLinkedList> lists(
        zGeometryTrilist::GeometryToTriangleList(geometry, TrilistTriangleLimit, zGeometryTrilist::CacheSize));
    if (lists == nullptr || lists->GetCount() == 0) {
        FreeGeometry(geometry);
        return false;
    }
    record->batches = new (std::nothrow) zGL3Batch[size_t(lists->GetCount())];
    if (record->batches == nullptr) {
        FreeGeometry(geometry);
        return false;
    }
    const char* failure = nullptr;
    for (zLinkedListEntry* e = lists->GetFirst(); e != nullptr && failure == nullptr; e = e->next) {
        auto* list = static_cast<zGeometryTrilist*>(e);
        zGL3Batch& batch = record->batches[record->batchCount++];
        batch.indexCount = int32_t(list->triangleCount * 3);
        batch.material = list->material;
        if (list->vertexCount > 65536) {
            failure = "index VBO creation error.";
            break;
        }
        glGenBuffers_(1, &batch.indexBuffer);
        glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
        glBufferData_(GL_ELEMENT_ARRAY_BUFFER_ARB, GLsizeiptrARB(list->triangleCount) * 6, nullptr,
                      GL_STATIC_DRAW_ARB);
        auto* indices = static_cast<uint16_t*>(glMapBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB));
        if (indices == nullptr) {
            failure = "index VBO creation error.";
            glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
            break;
        }
        for (uint32_t i = 0; i < list->triangleCount * 3; ++i)
            indices[i] = uint16_t(list->indices[i] & 0xFFFF);
        glUnmapBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB);
        glBindBuffer_(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);

        if (list->boneCount > 0 && list->bonePalette != nullptr) {
            batch.boneCount = int32_t(list->boneCount);
            batch.boneIds = new (std::nothrow) uint16_t[list->boneCount];
            batch.skinMatrices = new (std::nothrow) float[size_t(list->boneCount) * 16];
            if (batch.boneIds == nullptr || batch.skinMatrices == nullptr) {
                failure = "Vertex VBO creation error.";
                break;
            }
            std::memcpy(batch.boneIds, list->bonePalette, list->boneCount * sizeof(uint16_t));
        }
        zGL3VertexAttributes attributes;
        attributes.normals = list->normals != nullptr;
        attributes.tangents = list->tangents != nullptr;
        attributes.skinned = list->weights != nullptr;
        attributes.colours = list->colours != nullptr;
        for (int s = 0; s < 3; ++s)
            attributes.uvSets[s] = list->uvSets[s] != nullptr;
        const zGL3VertexLayout layout = ComputeGL3VertexLayout(attributes, list->vertexCount);
        batch.normals = layout.normals;
        batch.tangents = layout.tangents;
        batch.bitangents = layout.bitangents;
        batch.boneIndices = layout.boneIndices;
        batch.boneWeights = layout.boneWeights;
        batch.colours = layout.colours;
        for (int s = 0; s < 3; ++s)
            batch.uvSets[s] = layout.uvSets[s];
        batch.vertexSize = layout.size;
        geometryMemory += uint64_t(layout.size);

        glGenBuffers_(1, &batch.vertexBuffer);
        glBindBuffer_(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
        glBufferData_(GL_ARRAY_BUFFER_ARB, layout.size, nullptr, GL_STATIC_DRAW_ARB);
        auto* data = static_cast<uint8_t*>(glMapBuffer_(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB));
        if (data == nullptr) {
            failure = "Vertex VBO creation error.";
            glBindBuffer_(GL_ARRAY_BUFFER_ARB, 0);
            break;
        }
        const uint32_t n = list->vertexCount;
        for (uint32_t v = 0; v < n; ++v) {
            WriteVec3(data + 12 * v, list->vertices[v]);
            if (layout.normals >= 0)
                WriteVec3(data + layout.normals + 12 * v, list->normals[v]);
            if (layout.tangents >= 0) {
                WriteVec3(data + layout.tangents + 12 * v, list->tangents[2 * v]);
                WriteVec3(data + layout.bitangents + 12 * v, list->tangents[2 * v + 1]);
            }
            if (layout.boneIndices >= 0) {
                std::memcpy(data + layout.boneIndices + 4 * v, list->weights[v].palette, 4);
                float w[4];
                for (int k = 0; k < 4; ++k)
                    w[k] = list->weights[v].weights[k] * 255.0f;
                std::memcpy(data + layout.boneWeights + 16 * v, w, sizeof(w));
            }
            if (layout.colours >= 0)
                WriteVec3(data + layout.colours + 12 * v, list->colours[v]);
            for (int s = 0; s < 3; ++s) {
                if (layout.uvSets[s] >= 0) {
                    const float uv[2] = {list->uvSets[s][v].u, list->uvSets[s][v].v};
                    std::memcpy(data + layout.uvSets[s] + 8 * v, uv, sizeof(uv));
                }
            }
        }
        glUnmapBuffer_(GL_ARRAY_BUFFER_ARB);
        glBindBuffer_(GL_ARRAY_BUFFER_ARB, 0);
        ++uploads;
    }
    lists.reset();
    if (failure != nullptr) {
        LogError("zGL3Renderer::SetupGeometry") << failure << "\n";
        FreeGeometry(geometry);
        return false;
    }
    if (freeCpuCopies != 0)
        geometry->Free();
    return true;
}

void zGL3Renderer::FreeGeometry(zGeometry* geometry)
{
    if (geometry == nullptr || geometry->rendererData == nullptr)
        return;
    auto* record = static_cast<zGL3GeometryRecord*>(geometry->rendererData);
    // The record is cleared first: the buffers may outlive a closed context.
    geometry->rendererData = nullptr;
    const bool live = context != nullptr;
    for (int32_t i = 0; i < record->batchCount; ++i) {
        zGL3Batch& batch = record->batches[i];
        geometryMemory -= std::min<uint64_t>(geometryMemory, uint64_t(batch.vertexSize > 0 ? batch.vertexSize : 0));
        if (live && glDeleteBuffers_ != nullptr) {
            if (batch.vertexBuffer != 0)
                glDeleteBuffers_(1, &batch.vertexBuffer);
            if (batch.indexBuffer != 0)
                glDeleteBuffers_(1, &batch.indexBuffer);
        }
        delete[] batch.boneIds;
        delete[] batch.skinMatrices;
    }
    delete[] record->batches;
    delete record;
}

void zGL3Renderer::UpdateGeometry(zGeometry* geometry, int32_t, int32_t)
{
    if (geometry != nullptr && geometry->staticFlag != 0)
        LogWarning("zGL3Renderer::UpdateGeometry")
            << "!! Warning, you are trying to update a static geometry, make it dynamic first.\n";
}
