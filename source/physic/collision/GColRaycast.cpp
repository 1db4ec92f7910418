#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "physic/collision/GColMeshAccess.h"
#include "physic/collision/GCollide.h"

#include <cmath>

bool KeepNearerHit(GColRayHit& kept, const GColRayHit& candidate)
{
    if (candidate.distance < 0.0f)
        return false;
    if (kept.distance < 0.0f || kept.distance > candidate.distance) {
        kept = candidate;
        return true;
    }
    return false;
}

bool IntersectRayWithCentredBox(const zVector& centre, const zVector& size, const zVector& origin, const zVector& direction,
                                zVector& position, zVector* normal)
{
    const zVector half = size * 0.5f;
    const zMinMax box(centre - half, centre + half);
    return box.IntersectRay(origin, direction, position, normal);
}

bool GColShape::Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, uint32_t kindFlags) const
{
    const zVector localOrigin = origin.Transform(worldInverse);
    zVector localDirection = direction.Rotate(zMatrix3::FromMatrix4(worldInverse));
    hit.distance = -1.0f;
    hit.shape = this;
    zVector position;
    zVector normal;
    switch (type) {
    case GColShapeMesh: {
        if ((kindFlags & GColRayMesh) == 0)
            return false;
        const zGeometry* geometry = GColMesh::GetGeometry(meshTree);
        int32_t polygon = -1;
        float t = 0.0f;
        if (geometry == nullptr || !GColMesh::TraceRay(meshTree, localOrigin, localDirection, polygon, t) || polygon < 0 ||
            static_cast<uint32_t>(polygon) >= geometry->polygonCount)
            return false;
        const zPolygon& p = geometry->polygons[polygon];
        if (!GColMesh::GetPlaneNormal(meshTree, uint32_t(polygon), normal))
            return false;
        position = localOrigin + localDirection * t;
        hit.material = geometry->GetMaterialFromIndex(p.material);
        break;
    }
    case GColShapeSphere: {
        if ((kindFlags & GColRaySphere) == 0)
            return false;
        localDirection = localDirection.Normalized();
        const float r = GetRadius();
        const zVector d = -localOrigin;
        const float e = localDirection.Dot(d);
        const float disc = r * r - (d.SquaredLength() - e * e);
        if (disc < 0.0f)
            return false;
        const float root = std::sqrt(disc);
        const float t0 = e - root;
        const float t1 = e + root;
        if (t0 < 0.0f && t1 < 0.0f)
            return false;
        const float t = t0 > 0.0f ? t0 : t1;
        position = localOrigin + localDirection * t;
        normal = position * (1.0f / r);
        break;
    }
    case GColShapeCuboid:
        if ((kindFlags & GColRayCuboid) == 0)
            return false;
        if (!IntersectRayWithCentredBox(zVector(0.0f, 0.0f, 0.0f), dimensions, localOrigin, localDirection, position, &normal))
            return false;
        break;
    default:
        return false;
    }
    hit.position = position.Transform(world);
    hit.normal = normal.Rotate(zMatrix3::FromMatrix4(world));
    const zVector offset = hit.position - origin;
    hit.distance = offset.Length();
    if (offset.Dot(direction) < 0.0f)
        hit.distance = -hit.distance;
    return true;
}

bool GColItem::Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, uint32_t kindFlags) const
{
    hit.distance = -1.0f;
    for (const GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape)) {
        GColRayHit candidate;
        if (shape->Raytrace(origin, direction, candidate, kindFlags))
            KeepNearerHit(hit, candidate);
    }
    return !(hit.distance < 0.0f);
}

bool GCollide::Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, int32_t mask, uint32_t kindFlags) const
{
    hit.distance = -1.0f;
    for (const zLinkedListEntry* e = activeItems.GetFirst(); e != nullptr; e = e->next) {
        const GColItem* item = static_cast<const GColItem*>(e);
        if ((item->SelfMask & mask) == 0)
            continue;
        GColRayHit candidate;
        if (item->Raytrace(origin, direction, candidate, kindFlags))
            KeepNearerHit(hit, candidate);
    }
    return !(hit.distance < 0.0f);
}

void GCollide::DrawDebug(zRenderer* renderer) const
{
    for (const zLinkedListEntry* e = activeItems.GetFirst(); e != nullptr; e = e->next)
        DrawItem(static_cast<const GColItem*>(e), renderer, 0, nullptr);
}

void GCollide::DrawItem(const GColItem* item, zRenderer* renderer, uint32_t highlightedCount, const GColItem* const* highlighted) const
{
    if (item == nullptr || renderer == nullptr)
        return;
    static const float normalColour[4] = {0.5f, 0.0f, 0.0f, 1.0f};
    static const float highlightColour[4] = {1.0f, 0.0f, 0.75f, 1.0f};
    const float* colour = normalColour;
    for (uint32_t i = 0; i < highlightedCount && highlighted != nullptr; ++i) {
        if (highlighted[i] == item)
            colour = highlightColour;
    }
    for (const GColShape* shape = item->GetFirstShape(); shape != nullptr; shape = GColItem::NextShape(shape)) {
        const zMatrix4 placement = shape->world.Orthonormalized();
        switch (shape->type) {
        case GColShapeMesh: {
            const zGeometry* geometry = GColMesh::GetGeometry(shape->meshTree);
            if (geometry == nullptr || geometry->polygons == nullptr || geometry->vertices == nullptr)
                break;
            for (uint32_t p = 0; p < geometry->polygonCount; ++p) {
                const zPolygon& polygon = geometry->polygons[p];
                // The whole closed outline of each polygon.
                for (uint32_t k = 0; k < polygon.vertexCount && polygon.vertexCount > 1; ++k) {
                    const int32_t a = polygon.indices[k];
                    const int32_t b = polygon.indices[(k + 1) % polygon.vertexCount];
                    if (a < 0 || b < 0 || static_cast<uint32_t>(a) >= geometry->vertexCount ||
                        static_cast<uint32_t>(b) >= geometry->vertexCount)
                        continue;
                    renderer->Line3D(geometry->vertices[a].Transform(placement), geometry->vertices[b].Transform(placement), colour);
                }
            }
            break;
        }
        case GColShapeSphere:
            renderer->DrawSphere(placement, shape->GetRadius(), colour);
            break;
        case GColShapeCuboid: {
            zOBB box;
            box.centre = placement.GetRow(3, true);
            box.size = shape->dimensions;
            box.orientation = zMatrix3::FromMatrix4(placement);
            renderer->DrawOBB(box, colour);
            break;
        }
        default:
            break;
        }
    }
}

void GCollide::SAP_Draw(zRenderer* renderer) const
{
    if (renderer == nullptr || UseSAP != 1)
        return;
    static const float movedColour[4] = {0.25f, 0.0f, 1.0f, 1.0f};
    static const float restingColour[4] = {0.75f, 0.0f, 0.2f, 1.0f};
    for (uint32_t i = 0; i < sapCount; ++i)
        renderer->DrawMinMax(sapArray[i]->bounds, sapArray[i]->moved == 1 ? movedColour : restingColour);
}
