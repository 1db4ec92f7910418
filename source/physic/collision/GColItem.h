#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"
#include "physic/collision/GColShape.h"

#include <cstdint>

class zGeometry;
class zMetaFile;
class zMetaTag;

// A rigid set of collision shapes: one per scene item, linked in one of the
// collision world's two lists. Lengths are world units, angles radians.
class GColItem : public zLinkedListIdEntry {
public:
    GColItem();
    ~GColItem() override;
    GColItem(const GColItem&) = delete;
    GColItem& operator=(const GColItem&) = delete;

    // A shape of type 0 at the tail of the list; null when it cannot be allocated.
    GColShape* AddShape();
    // The item owns the shapes it adds (null when one cannot be allocated);
    // the geometry is borrowed and must outlive the shape. Angles are Euler
    // radians; a null placement is zero.
    GColShape* AddMeshShape(zGeometry* geometry, const zVector* localPosition = nullptr, const zVector* angles = nullptr);
    GColShape* AddCuboidShape(const zVector* size, const zVector* localPosition = nullptr, const zVector* angles = nullptr);
    GColShape* AddSphereShape(float radius, const zVector* localPosition = nullptr, const zVector* angles = nullptr);
    // Unlinks and deletes the shape; false when it is not one of this item's.
    bool RemoveShape(GColShape* shape);
    // Mesh shapes without a tree become type 0, with an error line.
    void Setup();
    float GetMass() const;
    int32_t GetShapeCount() const { return shapes.GetCount(); }
    GColShape* GetShape(int32_t index) const { return shapes.GetAs<GColShape>(index); }
    GColShape* GetFirstShape() const { return static_cast<GColShape*>(shapes.GetFirst()); }
    static GColShape* NextShape(const GColShape* shape) { return static_cast<GColShape*>(shape->next); }

    // Moves the item; the shapes follow and the bounds sweep from the old
    // placement to the new one. Changes under 1e-6 count as none unless forced.
    void SetTransformation(const zVector& newPosition, const zMatrix3* newRotation = nullptr, const zVector* newScale = nullptr,
                           bool force = false);
    // Back to the origin; the next transformation is a jump, not a sweep.
    void Reset();
    void UpdateWorldShapes();
    void SavePreviousShapeTransforms();
    void UpdateBounds(zMinMax& out);

    zMatrix4 GetMatrix() const;
    zMatrix4 GetInverseMatrix() const;

    // Nearest hit among the shapes, whatever their Active flag.
    bool Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, uint32_t kindFlags) const;

    // The "GColItem" tag with its shapes.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    zVector previousPosition{0.0f, 0.0f, 0.0f, 1.0f};
    zVector position{0.0f, 0.0f, 0.0f, 1.0f};
    zVector scale{1.0f, 1.0f, 1.0f, 1.0f};
    zMatrix3 previousRotation;
    zMatrix3 rotation;
    // Scratch of the all-pairs broad phase.
    uint8_t visited = 0;
    // The last transformation changed position or rotation.
    uint8_t moved = 1;
    // The scene's item; opaque here.
    void* owner = nullptr;
    // The rigid body; opaque here.
    void* body = nullptr;
    // A pair of this item produced contacts in the last sweep-and-prune pass.
    uint8_t touching = 0;
    // Something reads this item's pairs (GCollide::PairReader), as of the
    // last detection pass.
    uint8_t pairsRead = 1;
    uint8_t resetPending = 0;
    // Owned.
    zLinkedList shapes;
    int32_t SelfMask = 1;
    int32_t Mask = 1;
    // World space, swept.
    zMinMax bounds;
    // Given by the collision world when the item is first added; pairs are
    // hashed and ordered by it so that a scene gives the same events in the
    // same order on every run. 0: never added.
    uint32_t collisionId = 0;
    // The collision world's list that links the item (active or inactive),
    // null while it is in none; kept by GCollide so that membership tests
    // need no walk of a list.
    const zLinkedList* worldList = nullptr;
};
