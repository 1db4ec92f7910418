#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"
#include "physic/dynamics/TauVectorMath.h"

#include <cstdint>

class GColItem;
class Tau;
class zItem;
class zMetaFile;
class zMetaTag;

// The dynamic state of a body; a body keeps the current one and the one at
// the start of the step.
struct TauItemState {
    zVector force;
    zVector torque;
    zVector linearVelocity;
    zVector angularVelocity;
    zVector worldCenterOfMass;
    zMatrix3 worldInverseInertia;
    zVector position;
    zQuaternion orientation;
    zMatrix3 rotation;

    // Accumulators and velocities cleared, the pose from position and Euler
    // angles (order 4), each zero when not given.
    void Set(const zMatrix3& inverseInertia, const zVector* newPosition, const zVector* euler);
};

// One rigid body of a Tau world. The scene embeds it in its item beside the
// item's collision item; the world's lists only link it. Times are seconds,
// angles radians.
class TauItem : public zLinkedListEntry {
public:
    enum : uint32_t {
        ModeRigid = 1,
        ModeSoft = 2,
    };
    enum : uint32_t {
        FlagNoGravity = 1,
        FlagNoForceField = 2,
        // Translates but never rotates by integration.
        FlagMobile = 4,
        // Pushed by others, pushes nothing, wakes nobody.
        FlagGhost = 8,
    };

    explicit TauItem(Tau* world);
    // Leaves the world's lists, so that a body embedded in an item can die first.
    ~TauItem() override;
    TauItem(const TauItem&) = delete;
    TauItem& operator=(const TauItem&) = delete;

    // Wakes the body and sets its pose from a position and Euler angles
    // (radians, order 4), each zero when null; velocities and accumulators
    // cleared. Nothing for a body without a mode.
    void ResetTransformation(const zVector* newPosition, const zVector* euler);
    // Moves the body's reference point there, its world centre of mass with it
    // (their world offset kept), in the current and the previous state alike,
    // so that the step goes on from there with the body's velocities, whatever
    // its mass. Turning sets the orientation in both states and turns the body
    // about its reference point, the centre of mass following. Both wake the
    // body (as a push does) and move its collision item at once.
    void SetPosition(const zVector& newPosition);
    void SetOrientation(const zQuaternion& newOrientation);
    void ComputeInverseMass();
    void SetMass(float m);
    // The tensor is inverted; a singular one keeps the previous inverse.
    bool SetInertiaTensorAndCom(const zMatrix3& tensor, const zVector& centre);
    void SetLinearThreshold(float t) { LinearThreshold = t * t; }
    void SetAngularThreshold(float t) { AngularThreshold = t; }
    bool IsAwake() const { return Mode != 0 && awake != 0; }

    void ApplyLinearForce(const zVector& force);
    void ApplyForce(const zVector& point, const zVector& force);
    void ApplyTorque(const zVector& torque);
    // A velocity change, not scaled by the inverse mass.
    void ApplyLinearImpulse(const zVector& velocityChange);
    // Sets the velocity change of the point along the impulse.
    void ApplyImpulse(const zVector& point, const zVector& impulse);

    // r relative to the world centre of mass (item space for a static or
    // sleeping body, whose answer is the item's motion over the last frame).
    void GetPointVelocity(const zVector& r, zVector& out, const TauItemState* from = nullptr) const;
    void GetWorldPointVelocity(const zVector& point, zVector& out, const TauItemState* from = nullptr) const;

    void ClearAccumulators();
    void IntegrateForces();
    void IntegrateVelocities(float fraction);
    void UpdateWorldState();
    bool IsQuiet(float factor) const;
    void SynchronizeCollision();
    void ResetDynamics();
    // The pose part of the previous state copied into the current one.
    void RestorePreviousPose();

    // Mass, centre of mass and inverse inertia from the collision shapes.
    void ComputeInertiaTensorAndCoM(const GColItem* item);

    // The "TauItem" tag.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    TauItemState state;
    // The scene item that embeds the body.
    zItem* owner = nullptr;
    GColItem* collisionItem = nullptr;
    Tau* world;
    float inverseMass = 0.0f;
    float Mass = 1.0f;
    // Body axes; the tag's "ITensor".
    zMatrix3 inverseInertiaTensor;
    // Stored squared.
    float LinearThreshold = 5.625e-7f;
    float AngularThreshold = 0.00075f;
    zVector angularThresholdVector;
    int32_t quietSteps = 0;
    uint8_t awake = 1;
    uint32_t Mode = 0;
    float LinearDamping = 0.999f;
    float AngularDamping = 0.999f;
    float GravityScale = 1.0f;
    uint32_t Flag = 0;
    // Centre of mass in body axes, relative to the reference point.
    zVector Pivot;
    TauItemState previous;
    // The world list that links the body, null in none (kept by Tau).
    zLinkedList* worldList = nullptr;
    // The world's interpolation pass that last placed this static body.
    uint32_t interpolationPass = 0;
    // The body's entry in the contact solver's compact body array, valid
    // while that entry names the body.
    uint32_t solverSlot = 0;

private:
    void WakeForPush();
    zVector PositionInItem(const zVector& p) const;
};

// The row-vector product a x b (v x (a x b) = (v x a) x b).
inline zMatrix3 TauMatrixProduct(const zMatrix3& a, const zMatrix3& b)
{
    return TauMath::Multiply(b, a);
}

// Copies element 1 into 3, 2 into 6 and 5 into 7.
void TauSymmetrize(zMatrix3& m);
