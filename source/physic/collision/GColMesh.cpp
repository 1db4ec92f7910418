#include "physic/collision/GColMeshAccess.h"

#include "core/geometry/zGeometry.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColShape.h"

const zGeometry* GColMesh::GetGeometry(const zGeometryBIH* tree)
{
    (void)tree;
    return nullptr;
}

const zBIH* GColMesh::GetHierarchy(const zGeometryBIH* tree)
{
    (void)tree;
    return nullptr;
}

bool GColMesh::TraceRay(const zGeometryBIH* tree, const zVector& origin, const zVector& direction, int32_t& polygon, float& t)
{
    (void)tree;
    (void)origin;
    (void)direction;
    (void)polygon;
    (void)t;
    return false;
}

bool GColShape::AsMesh(zGeometry* geometry, const zVector* localPosition, const zVector* angles)
{
    (void)localPosition;
    (void)angles;
    type = GColShapeNone;
    meshTree = nullptr;
    if (geometry == nullptr) {
        LogError("GColShape::AsMesh") << "Cannot create mesh shape with no geometry.\n";
        return false;
    }
    LogError("GColShape::AsMesh") << "Cannot create mesh shape: the geometry has no ray tree.\n";
    return false;
}
