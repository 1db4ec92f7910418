#include "core/geometry/zGeometry.h"

#include "core/material/zMaterial.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <new>

namespace {

const zVector Zero(0.0f, 0.0f, 0.0f);

// The first active stage feeding the "Normal" channel, read from the stages
// themselves so that a channel table not yet rebuilt cannot mislead it.
const zTextureStage* NormalStage(const zMaterial& material)
{
    for (const zTextureStage& stage : material.stages) {
        if (stage.active && stage.channel == zMaterial::ChannelNormal)
            return &stage;
    }
    return nullptr;
}

// Positions of the first three corners, false when the polygon has fewer or
// one of them names no vertex.
bool FirstThreeCorners(const zGeometry& g, const zPolygon& polygon, const zVector*& p0, const zVector*& p1,
                              const zVector*& p2)
{
    if (polygon.vertexCount < 3 || polygon.indices == nullptr)
        return false;
    const zVector* corners[3];
    for (int c = 0; c < 3; ++c) {
        const int32_t index = polygon.indices[c];
        if (index < 0 || uint32_t(index) >= g.vertexCount)
            return false;
        corners[c] = &g.vertices[index];
    }
    p0 = corners[0];
    p1 = corners[1];
    p2 = corners[2];
    return true;
}

} // namespace

bool zGeometry::ComputePolygonNormal()
{
    if (polygonNormals != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    *GlobalLogStream << "Compute polygon normal for " << id << ".\n";
    zVector* normals = new (std::nothrow) zVector[polygonCount];
    if (normals == nullptr) {
        LogError("zGeometry::ComputePolygonNormal") << "zGeometry::ComputePolygonNormal() failed to allocate buffer!\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zVector* p0 = nullptr;
        const zVector* p1 = nullptr;
        const zVector* p2 = nullptr;
        normals[p] = FirstThreeCorners(*this, polygons[p], p0, p1, p2) ? (*p1 - *p0).Cross(*p2 - *p0).Normalized() : Zero;
    }
    polygonNormals = normals;
    return true;
}

bool zGeometry::ComputePolygonTangent()
{
    if (polygonTangents != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    // The handedness test needs the normals; the bindings locate the UVs.
    if (!ComputePolygonNormal() || !BuildPolygonIndex())
        return false;
    // Every polygon starts with zero vectors, so that one the pass skips adds
    // nothing to the vertex sums that read it.
    zVector* tangents = new (std::nothrow) zVector[2 * uint64_t(polygonCount)];
    if (tangents == nullptr) {
        LogError("zGeometry::ComputePolygonTangent") << "zGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return false;
    }
    bool missingUV = false;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        tangents[2 * p] = Zero;
        tangents[2 * p + 1] = Zero;
        const zPolygon& polygon = polygons[p];
        const zVector* p0 = nullptr;
        const zVector* p1 = nullptr;
        const zVector* p2 = nullptr;
        if (!FirstThreeCorners(*this, polygon, p0, p1, p2))
            continue;
        const zMaterial* material = GetMaterialFromIndex(polygon.material);
        const zTextureStage* stage = material != nullptr ? NormalStage(*material) : nullptr;
        if (stage == nullptr)
            continue;
        if (stage->uvIndex < 0 || uint32_t(stage->uvIndex) >= uvSetCount || uint32_t(stage->uvIndex) >= MaxUVSets
            || uvSets[stage->uvIndex] == nullptr) {
            missingUV = true;
            continue;
        }
        const zUV* uv = uvSets[stage->uvIndex] + polygonFirst[p];
        const zVector e0 = *p0 - *p1;
        const zVector e2 = *p2 - *p1;
        zVector t = -(e0 * (uv[2].v - uv[1].v) - e2 * (uv[0].v - uv[1].v)).Normalized();
        zVector b = (e0 * (uv[2].u - uv[1].u) - e2 * (uv[0].u - uv[1].u)).Normalized();
        if (polygonNormals[p].Dot(t.Cross(b)) < 0.0f) {
            t = -t;
            b = -b;
        }
        tangents[2 * p] = t;
        tangents[2 * p + 1] = b;
    }
    if (missingUV)
        LogWarning("zGeometry::ComputePolygonTangent") << "Missing UV sets to compute tangent frame in '" << id << "'.\n";
    polygonTangents = tangents;
    return true;
}

bool zGeometry::ComputeVertexNormal(bool force)
{
    if (!force && vertexNormals != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    // The array is written by binding number, so a count that disagrees with
    // the polygons would write past it.
    const uint32_t declared = bindingCount;
    CountBindings();
    if (declared != bindingCount)
        LogError("zGeometry::ComputeVertexNormal")
            << "The total binding count is wrong. Check that the importer did properly update this flag.\n";
    if (!ComputePolygonNormal() || !ComputePolygonTangent() || !BuildVertexToPolygon() || !BuildPolygonIndex())
        return false;
    *GlobalLogStream << "Compute vertex normal for " << id << ".\n";
    zVector* normals = new (std::nothrow) zVector[bindingCount > 0 ? bindingCount : 1];
    if (normals == nullptr) {
        LogError("zGeometry::ComputeVertexNormal") << "zGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        zVector* out = normals + polygonFirst[p];
        zMaterial* material = GetMaterialFromIndex(polygon.material);
        if (material == nullptr || polygon.indices == nullptr) {
            std::fill(out, out + polygon.vertexCount, Zero);
            continue;
        }
        float threshold = std::clamp(material->maxSmoothingAngle, -1.0f, 1.0f);
        if (threshold == 1.0f)
            threshold = -1.0f;
        material->maxSmoothingAngle = threshold;
        const zVector& own = polygonNormals[p];
        for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
            const int32_t vertex = polygon.indices[c];
            zVector sum = Zero;
            if (vertex >= 0 && uint32_t(vertex) < vertexCount) {
                const zVertexPolygons& uses = vertexToPolygon[vertex];
                for (uint32_t u = 0; u < uses.count; ++u) {
                    const zVector& other = polygonNormals[uses.polygons[u]];
                    if (other.Dot(own) > threshold)
                        sum = sum + other;
                }
            }
            out[c] = sum.Normalized();
        }
    }
    delete[] vertexNormals;
    vertexNormals = normals;
    return true;
}

bool zGeometry::ComputeVertexTangent(bool force)
{
    if (!force && vertexTangents != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    const uint32_t declared = bindingCount;
    CountBindings();
    if (declared != bindingCount)
        LogError("zGeometry::ComputeVertexTangent")
            << "ComputeVertexTangent() pol_binding_count member wasn't set! Check that the importer updates this flag.\n";
    if (!ComputePolygonTangent() || !BuildVertexToPolygon() || !BuildPolygonIndex())
        return false;
    zVector* tangents = new (std::nothrow) zVector[2 * uint64_t(bindingCount > 0 ? bindingCount : 1)];
    if (tangents == nullptr) {
        LogError("zGeometry::ComputeVertexTangent") << "zGeometry::ComputeVertexTangent() failed to allocate buffer!\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        const zVector& ownT = polygonTangents[2 * p];
        const zVector& ownB = polygonTangents[2 * p + 1];
        zVector* out = tangents + 2 * uint64_t(polygonFirst[p]);
        for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
            const int32_t vertex = polygon.indices != nullptr ? polygon.indices[c] : -1;
            zVector sumT = Zero;
            zVector sumB = Zero;
            if (vertex >= 0 && uint32_t(vertex) < vertexCount) {
                const zVertexPolygons& uses = vertexToPolygon[vertex];
                for (uint32_t u = 0; u < uses.count; ++u) {
                    const zVector& t = polygonTangents[2 * uses.polygons[u]];
                    const zVector& b = polygonTangents[2 * uses.polygons[u] + 1];
                    sumT = sumT + (t.Dot(ownT) < 0.0f ? -t : t);
                    sumB = sumB + (b.Dot(ownB) < 0.0f ? -b : b);
                }
            }
            out[2 * c] = sumT.Normalized();
            out[2 * c + 1] = sumB.Normalized();
        }
    }
    delete[] vertexTangents;
    vertexTangents = tangents;
    return true;
}

bool zGeometry::ComputeAverageVertexNormals(zVector* out)
{
    if (out == nullptr || polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    if (!ComputePolygonNormal() || !BuildVertexToPolygon())
        return false;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const zVertexPolygons& uses = vertexToPolygon[v];
        zVector sum = Zero;
        for (uint32_t u = 0; u < uses.count; ++u)
            sum = sum + polygonNormals[uses.polygons[u]];
        out[v] = uses.count > 0 ? sum * (1.0f / float(uses.count)) : Zero;
    }
    return true;
}
