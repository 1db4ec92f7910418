#include "raytracer/zSceneBIH.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

#include <new>

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
        if (geometry->vertexCount == 0 || geometry->polygonCount == 0)
            continue;
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
