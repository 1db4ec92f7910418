#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"

#include <cstdint>

class GColItem;
class GColShape;
class zGeometry;
class zGeometryBIH;
class zMaterial;
class zMetaFile;
class zMetaTag;

enum GColShapeType : int32_t {
    // Never collides: a shape just added, or a mesh without a tree.
    GColShapeNone = 0,
    GColShapeMesh = 1,
    GColShapeSphere = 2,
    GColShapeCuboid = 3,
};

// Kind flags of a ray cast.
enum : uint32_t {
    GColRayMesh = 1,
    GColRaySphere = 2,
    GColRayCuboid = 4,
    GColRayAll = 7,
};

// Result of a ray cast; distance -1 means no hit, and a negative distance a
// hit behind the origin.
struct GColRayHit {
    zVector normal;
    zVector position;
    const GColShape* shape = nullptr;
    // Mesh shapes only.
    zMaterial* material = nullptr;
    float distance = -1.0f;
};

// Keeps the nearer of two hits; a hit behind the origin (negative distance)
// never replaces one. True when the candidate was taken.
bool KeepNearerHit(GColRayHit& kept, const GColRayHit& candidate);

// One collision shape of an item, placed in the item's frame.
class GColShape : public zLinkedListEntry {
public:
    GColShape() = default;

    // Null geometry, or one without a ray tree: type 0 and false.
    bool AsMesh(zGeometry* geometry, const zVector* localPosition = nullptr, const zVector* angles = nullptr);
    bool AsCuboid(const zVector* size = nullptr, const zVector* localPosition = nullptr, const zVector* angles = nullptr);
    bool AsSphere(float radius, const zVector* localPosition = nullptr, const zVector* angles = nullptr);

    // In world space; see GColRayHit for the distance.
    bool Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, uint32_t kindFlags) const;

    // The "GColShape" tag; a mesh is loaded through the core of the owner's scene item.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    float GetRadius() const { return dimensions.x; }
    zVector GetCentre() const { return world.GetRow(3, true); }
    zVector GetPreviousCentre() const { return previousWorld.GetRow(3, true); }
    // Cuboid edge lengths with the owner item's scale applied.
    zVector GetScaledSize() const;

    GColItem* owner = nullptr;
    int32_t type = GColShapeNone;
    // An inactive shape keeps its last world matrices and collides with nothing.
    uint8_t Active = 1;
    // In the item's frame.
    zVector position{0.0f, 0.0f, 0.0f, 1.0f};
    zMatrix3 orientation;
    // Cuboid: full edge lengths; sphere: the radius in all three.
    zVector dimensions{1.0f, 1.0f, 1.0f, 1.0f};
    // World space, covering the previous and the current placement.
    zMinMax bounds;
    zMatrix4 world;
    zMatrix4 worldInverse;
    zMatrix4 previousWorld;
    zMatrix4 previousWorldInverse;
    float Mass = 1.0f;
    float StaticFriction = 0.75f;
    float DynamicFriction = 0.5f;
    float Restitution = 0.1f;
    // The geometry's tree, which knows its geometry; mesh shapes only.
    zGeometryBIH* meshTree = nullptr;

private:
    void Place(const zVector* localPosition, const zVector* angles);
};
