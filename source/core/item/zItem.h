#pragma once

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"

#include <cstdint>

class Tavrin;
class zFrustum;
class zMetaFile;
class zMetaTag;
class zMinMax;

// The transformable thing of the engine core: position, rotation and scale in
// several interchangeable forms, a pivot, an optional look-at target and a
// parent link, from which it computes its local, world and inverse world
// matrices. Matrices follow the row-vector reading of the math library, so a
// chain "A then B" is the code product B * A. Main thread only.
class zItem {
public:
    // Where the rotation comes from.
    enum : int32_t {
        OrientationEuler = 0,
        OrientationMatrix = 1,
        OrientationQuaternion = 2,
        // The world matrix is set from outside and never recomputed.
        OrientationExternal = 3,
    };

    // Flag bits.
    static constexpr uint32_t HasTarget = 1;
    static constexpr uint32_t Invisible = 2;
    static constexpr uint32_t LinkOnlyPosition = 4;

    // Euler orders by their ZML names ("XYZ" applies x first, then y, then z);
    // the numbers are those of zMatrix3::FromEuler.
    static constexpr int32_t RotationOrderCount = 7;
    static const char* const RotationOrderNames[RotationOrderCount];
    static constexpr int32_t DefaultRotationOrder = 4;

    explicit zItem(Tavrin* owner);
    zItem(const zItem&) = default;
    zItem& operator=(const zItem&) = default;

    // Slot order matters to the kind classes that replace these.
    virtual void GetMinMax(zMinMax& out);
    virtual void UpdateWorldMatrix();
    virtual void GetProjectionMatrix(zMatrix4& out);
    virtual void ComputeFrustum(zFrustum& frustum, float nearDistance, float farDistance);
    virtual zFrustum* GetFrustum();
    virtual float GetZNear();
    virtual float GetZFar();
    virtual void SetZNear(float value);
    virtual void SetZFar(float value);
    // Kinds own memory of their own and are deleted through this base.
    virtual ~zItem() = default;

    // Links under parent (null unlinks); the parent is borrowed and must
    // outlive the link (no back pointer tells it). A self link is refused; a
    // link that would close a cycle first moves the item of parent's chain
    // that hangs under this one to this item's former parent.
    void SetLink(zItem* parent);
    // True when other is this item or an item up its link chain.
    bool IsLinkedTo(const zItem* other) const;
    // A point sets HasTarget and the target; null clears HasTarget only.
    void SetTarget(const zVector* point);
    void SetOrientationMethod(int32_t method);
    void ComputeLocalMatrix();
    // Decomposes m into position, scale and rotation; m is a local matrix when
    // local is true, else a world matrix. The inverse world matrix is left
    // for the next UpdateWorldMatrix.
    void SetMatrix(const zMatrix4& m, bool local);

    // The "Item" tag. The reader leaves the world matrix to its caller.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Item" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    // The rotation order of a ZML name, or -1.
    static int32_t RotationOrderFromName(const char* name);

    Tavrin* core;
    // The parent; not owned.
    zItem* link = nullptr;
    int32_t orientationMethod = OrientationEuler;
    // While set the parent's world matrix is not applied (the physics drives the item).
    uint8_t linkSuspended = 0;
    uint32_t flags = 0;
    zVector target = {0.0f, 0.0f, 1.0f, 1.0f};
    float alpha = 1.0f;
    // Euler angles (radians, order 4) applied after the look-at.
    zVector targetOffsetRotation;
    zVector position;
    // Euler angles in radians, in rotationOrder.
    zVector rotation;
    zVector scale = {1.0f, 1.0f, 1.0f, 1.0f};
    // Pivot: applied first to every point of the item.
    zTransformMatrix offsetMatrix;
    int32_t rotationOrder = DefaultRotationOrder;
    zQuaternion quaternion;
    // The rotation actually used.
    zMatrix3 orientation;
    zMatrix4 localMatrix;
    zMatrix4 previousWorldMatrix;
    zMatrix4 worldMatrix;
    zMatrix4 inverseWorldMatrix;
    // The object that embeds the item.
    void* owner = nullptr;
    // While set UpdateWorldMatrix leaves every matrix as it is.
    uint8_t frozen = 0;
};
