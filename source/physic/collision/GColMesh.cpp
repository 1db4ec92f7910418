#include "physic/collision/GColMeshAccess.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColShape.h"

const zGeometry* GColMesh::GetGeometry(const zGeometryBIH* tree)
{
    return tree != nullptr ? tree->GetGeometry() : nullptr;
}

const zBIH* GColMesh::GetHierarchy(const zGeometryBIH* tree)
{
    return tree != nullptr && tree->IsBuilt() ? tree : nullptr;
}

bool GColMesh::TraceRay(const zGeometryBIH* tree, const zVector& origin, const zVector& direction, int32_t& polygon, float& t)
{
    if (tree == nullptr || !tree->IsBuilt())
        return false;
    zBIHQuery query;
    query.nearestHit = 1;
    tree->TraceRay(query, origin, direction, 0.0f);
    if (!query.hitFound || query.primitiveHit < 0)
        return false;
    polygon = query.primitiveHit;
    t = query.hitT;
    return true;
}

bool GColMesh::GetPlaneNormal(const zGeometryBIH* tree, uint32_t polygon, zVector& normal)
{
    if (tree == nullptr || tree->GetPolygons() == nullptr || polygon >= tree->GetPolygonCount())
        return false;
    normal = tree->GetPolygons()[polygon].normal;
    return true;
}

bool GColShape::AsMesh(zGeometry* geometry, const zVector* localPosition, const zVector* angles)
{
    if (geometry == nullptr) {
        type = GColShapeNone;
        meshTree = nullptr;
        LogError("GColShape::AsMesh") << "Cannot create mesh shape with no geometry.\n";
        return false;
    }
    if (!geometry->CreateTree() && geometry->tree == nullptr)
        geometry->CreateTree();
    // Without a tree the set-up turns the shape into one that never collides.
    type = GColShapeMesh;
    meshTree = geometry->tree;
    Place(localPosition, angles);
    return true;
}
