#include "raytracer/zSceneBIH.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

template <class T> T* CopyArray(const T* source, size_t count)
{
    if (source == nullptr || count == 0)
        return nullptr;
    T* out = new T[count];
    std::copy(source, source + count, out);
    return out;
}

// A copy of a skinned geometry with its vertices, normals and tangents moved
// by the object's current skin matrices (each vertex the weighted sum over
// its non-zero weights). The materials stay the original's. Null when the
// object has no skin matrices for the geometry.
zGeometry* DeformedCopy(const zGeometry& source, const zObject& object)
{
    if (source.skinWeights == nullptr || object.skinMatrices == nullptr || object.boneCount == 0)
        return nullptr;
    auto copy = std::make_unique<zGeometry>(nullptr, source.id.Get());
    zGeometry& g = *copy;
    g.vertexCount = source.vertexCount;
    g.vertices = CopyArray(source.vertices, source.vertexCount);
    g.bindingCount = source.bindingCount;
    g.bindingIndices = CopyArray(source.bindingIndices, source.bindingCount);
    g.polygonCount = source.polygonCount;
    g.polygons = CopyArray(source.polygons, source.polygonCount);
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const ptrdiff_t offset = source.polygons[p].indices - source.bindingIndices;
        g.polygons[p].indices = source.polygons[p].indices != nullptr && offset >= 0
                                        && size_t(offset) + g.polygons[p].vertexCount <= g.bindingCount
                                    ? g.bindingIndices + offset
                                    : nullptr;
        if (g.polygons[p].indices == nullptr)
            g.polygons[p].vertexCount = 0;
    }
    g.vertexNormals = CopyArray(source.vertexNormals, source.bindingCount);
    g.vertexTangents = CopyArray(source.vertexTangents, size_t(source.bindingCount) * 2);
    g.vertexColours = CopyArray(source.vertexColours, source.bindingCount);
    g.uvSetCount = source.uvSetCount;
    for (uint32_t i = 0; i < zGeometry::MaxUVSets; ++i)
        g.uvSets[i] = i < source.uvSetCount ? CopyArray(source.uvSets[i], source.bindingCount) : nullptr;
    g.materialCount = source.materialCount;
    // Its own array of the original's materials: the copy deletes the array, not them.
    g.materials = CopyArray(source.materials, source.materialCount);
    g.flags = source.flags | zGeometry::FlagSharedMaterials;

    // The blended matrix of each vertex.
    std::vector<zMatrix4> blended(g.vertexCount);
    for (uint32_t v = 0; v < g.vertexCount; ++v) {
        zMatrix4 sum;
        for (float& e : sum.m)
            e = 0.0f;
        float total = 0.0f;
        const zSkinWeight& skin = source.skinWeights[v];
        for (int k = 0; k < 4; ++k) {
            if (skin.weights[k] == 0.0f || skin.bones[k] >= object.boneCount)
                continue;
            for (int e = 0; e < 16; ++e)
                sum.m[e] += object.skinMatrices[skin.bones[k]].m[e] * skin.weights[k];
            total += skin.weights[k];
        }
        blended[v] = total > 0.0f ? sum : zMatrix4();
        g.vertices[v] = source.vertices[v].Transform(blended[v]);
    }
    for (uint32_t b = 0; b < g.bindingCount; ++b) {
        const int32_t v = g.bindingIndices[b];
        if (v < 0 || uint32_t(v) >= g.vertexCount)
            continue;
        zVector* lists[3] = {g.vertexNormals != nullptr ? &g.vertexNormals[b] : nullptr,
                             g.vertexTangents != nullptr ? &g.vertexTangents[2 * b] : nullptr,
                             g.vertexTangents != nullptr ? &g.vertexTangents[2 * b + 1] : nullptr};
        for (zVector* n : lists) {
            if (n != nullptr) {
                blended[v].RotateArray(n, n, 1);
                *n = n->Normalized();
            }
        }
    }
    return copy.release();
}

} // namespace

zSceneBIH::zSceneBIH()
{
    leafSize = SceneLeafSize;
}

zSceneBIH::~zSceneBIH()
{
    Clear();
}

void zSceneBIH::Free()
{
    zBIH::Free();
}

void zSceneBIH::Clear()
{
    zBIH::Free();
    instances.clear();
    for (zGeometry* copy : copies)
        delete copy;
    copies.clear();
    scene = nullptr;
}

bool zSceneBIH::SetScene(zScene* newScene, bool shadow)
{
    Clear();
    scene = newScene;
    if (scene == nullptr)
        return false;
    std::vector<zMinMax> boxes;
    try {
        instances.reserve(size_t(scene->objects.GetCount()));
        boxes.reserve(size_t(scene->objects.GetCount()));
    } catch (const std::bad_alloc&) {
        LogError("zSceneBIH::SetScene") << "Failed to grab scene to raytracer.\n";
        return false;
    }
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = scene->objects.NextAs<zLinkedListIdEntry>(cursor)) {
        zMObject* item = static_cast<zMObject*>(entry);
        zGeometry* geometry = item->object.geometry;
        if (!item->IsActive() || geometry == nullptr)
            continue;
        if (shadow) {
            if ((geometry->flags & zGeometry::FlagShadowNull) != 0)
                continue;
            if (geometry->shadowProxy != nullptr)
                geometry = geometry->shadowProxy;
        }
        if (geometry->vertexCount == 0 || geometry->polygonCount == 0) {
            // A renderer that releases CPU copies after upload leaves nothing to trace.
            if (!shadow && geometry->rendererData != nullptr)
                LogWarning("zSceneBIH::SetScene")
                    << "Geometry '" << (geometry->id.Get() != nullptr ? geometry->id.Get() : "")
                    << "' has no mesh left to trace: the renderer released it after upload.\n";
            continue;
        }
        if (geometry->skinWeights != nullptr) {
            zGeometry* deformed = nullptr;
            try {
                deformed = DeformedCopy(*geometry, item->object);
                if (deformed != nullptr)
                    copies.push_back(deformed);
            } catch (const std::bad_alloc&) {
                delete deformed;
                LogError("zSceneBIH::SetScene") << "Failed to grab scene to raytracer.\n";
                Clear();
                return false;
            }
            if (deformed != nullptr)
                geometry = deformed;
        }
        // Every tree is made here, before any ray: queries run in parallel
        // and must not build anything.
        if (!geometry->BuildPolygonIndex() || !geometry->ComputePolygonNormal() || !geometry->CreateTree())
            continue;
        geometry->ComputeVertexNormal(false);
        zSceneBIHInstance instance;
        instance.item = item;
        instance.geometry = geometry;
        instance.world = item->object.worldMatrix;
        instance.inverseWorld = item->object.worldMatrix.InverseAffine();
        zVector scale;
        item->object.worldMatrix.Decompose(nullptr, &scale, &instance.rotation);
        instance.alpha = item->object.alpha;
        zMinMax box;
        geometry->ComputeMinMax(box, &instance.world);
        instances.push_back(instance);
        boxes.push_back(box);
    }
    if (instances.empty())
        return true;
    if (!Build(int32_t(instances.size()), boxes.data())) {
        LogError("zSceneBIH::SetScene") << "Failed to allocate volume array to build scene tree.\n";
        instances.clear();
        return false;
    }
    return true;
}

void zSceneBIH::IntersectLeaf(const zBIHNode& leaf, float, float tFar, zBIHQuery& base) const
{
    zSceneRayQuery& query = static_cast<zSceneRayQuery&>(base);
    for (uint32_t i = 0; i < leaf.count; ++i) {
        const uint32_t index = leaf.indices[i];
        const zSceneBIHInstance& instance = instances[index];
        const zGeometryBIH* tree = instance.geometry->tree;
        if (tree == nullptr)
            continue;
        // An affine map keeps the ray parameter: t in object space is t in world space.
        const zVector origin = query.origin.Transform(instance.inverseWorld);
        const zVector along = (query.origin + query.direction).Transform(instance.inverseWorld) - origin;
        zBIHQuery& inner = query.inner;
        inner.nearestHit = query.nearestHit;
        inner.ResetHit();
        // The leaf's span holds its instances whole, up to the clip margin.
        float limit = tFar + ClipMargin * (1.0f + tFar);
        if (query.hitFound && query.hitT < limit)
            limit = query.hitT;
        tree->TraceRay(inner, origin, along, limit > 0.0f ? limit : 1e-30f);
        query.nodeTests += inner.visits;
        if (!inner.hitFound || inner.hitT < 0.0f || (query.hitFound && inner.hitT >= query.hitT))
            continue;
        query.hitFound = 1;
        query.hitT = inner.hitT;
        query.objectHit = instance.geometry;
        query.primitiveHit = inner.primitiveHit;
        query.subPrimitiveHit = inner.subPrimitiveHit;
        query.weights[0] = inner.weights[0];
        query.weights[1] = inner.weights[1];
        query.weights[2] = inner.weights[2];
        query.backSide = inner.backSide;
        query.instance = int32_t(index);
        if (!query.nearestHit)
            return;
    }
}

bool zSceneBIH::CastRay(zSceneRayQuery& query, const zVector& origin, const zVector& direction,
                        float maximumDistance) const
{
    query.ResetHit();
    query.instance = -1;
    query.nodeTests = 0;
    if (!IsBuilt())
        return false;
    IntersectRay(query, origin, direction, maximumDistance);
    query.nodeTests += query.visits;
    return query.hitFound != 0 && query.instance >= 0;
}
