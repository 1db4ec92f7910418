#include "physic/dynamics/TauItem.h"

#include "core/item/zItem.h"
#include "framework/math/zMatrix4.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColItem.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauVectorMath.h"

#include <cmath>

namespace {

const zVector Zero{0.0f, 0.0f, 0.0f, 1.0f};

zMatrix3 ZeroMatrix3()
{
    zMatrix3 m;
    for (float& value : m.m)
        value = 0.0f;
    return m;
}

} // namespace

void TauSymmetrize(zMatrix3& m)
{
    m.m[3] = m.m[1];
    m.m[6] = m.m[2];
    m.m[7] = m.m[5];
}

void TauItemState::Set(const zMatrix3& inverseInertia, const zVector* newPosition, const zVector* euler)
{
    force = Zero;
    torque = Zero;
    linearVelocity = Zero;
    angularVelocity = Zero;
    worldInverseInertia = inverseInertia;
    position = newPosition != nullptr ? zVector(newPosition->x, newPosition->y, newPosition->z) : Zero;
    orientation = euler != nullptr ? zQuaternion::FromEuler(euler->x, euler->y, euler->z, RotationOrderYXZ)
                                   : zQuaternion::FromEuler(0.0f, 0.0f, 0.0f, RotationOrderYXZ);
}

TauItem::TauItem(Tau* world_) : world(world_), inverseInertiaTensor(ZeroMatrix3())
{
}

TauItem::~TauItem()
{
    if (worldList != nullptr && world != nullptr)
        world->RemoveItem(this, false);
}

zVector TauItem::PositionInItem(const zVector& p) const
{
    if (owner == nullptr)
        return {p.x, p.y, p.z};
    return TauMath::Transform(p, owner->offsetMatrix.GetInverse());
}

void TauItem::ResetTransformation(const zVector* newPosition, const zVector* euler)
{
    if (Mode == 0)
        return;
    if (world != nullptr)
        world->WakeItem(this);
    state.Set(inverseInertiaTensor, newPosition, euler);
    state.rotation = state.orientation.ToMatrix3();
    const zVector base = PositionInItem(state.position);
    state.worldCenterOfMass = base + Pivot.Rotate(state.rotation);
    SynchronizeCollision();
    previous = state;
    if (owner != nullptr) {
        zMatrix4 m = zMatrix4::FromMatrix3(state.rotation);
        m.SetRow(3, state.position, true);
        owner->SetMatrix(m, true);
    }
    angularThresholdVector = zVector(inverseInertiaTensor.m[0], inverseInertiaTensor.m[4], inverseInertiaTensor.m[8]);
    const float length = angularThresholdVector.Length();
    const float scale = length != 0.0f ? AngularThreshold / length : 1.0f;
    angularThresholdVector = angularThresholdVector * scale;
    quietSteps = 0;
    if (inverseMass != 0.0f)
        awake = 1;
}

void TauItem::ComputeInverseMass()
{
    awake = 1;
    inverseMass = Mass != 0.0f ? 1.0f / Mass : 0.0f;
}

void TauItem::SetMass(float m)
{
    if (m == Mass)
        return;
    const float product = inverseMass * m;
    const float factor = inverseMass != 0.0f && product != 0.0f ? 1.0f / product : 1.0f;
    inverseInertiaTensor = inverseInertiaTensor.MulScalar(factor);
    inverseMass = m != 0.0f ? 1.0f / m : 0.0f;
    Mass = m;
    awake = inverseMass != 0.0f ? 1 : 0;
}

bool TauItem::SetInertiaTensorAndCom(const zMatrix3& tensor, const zVector& centre)
{
    Pivot = zVector(centre.x, centre.y, centre.z);
    zMatrix3 inverse;
    if (!tensor.Inverse(inverse)) {
        LogWarning("TauItem::SetInertiaTensorAndCom") << "Singular inertia tensor, previous one kept.\n";
        return false;
    }
    inverseInertiaTensor = inverse;
    return true;
}

void TauItem::WakeForPush()
{
    if (!IsAwake() && world != nullptr)
        world->WakeItem(this);
}

void TauItem::ApplyLinearForce(const zVector& f)
{
    WakeForPush();
    state.force = state.force + f;
}

void TauItem::ApplyForce(const zVector& point, const zVector& f)
{
    WakeForPush();
    state.force = state.force + f;
    state.torque = state.torque + (point - state.position).Cross(f);
}

void TauItem::ApplyTorque(const zVector& t)
{
    WakeForPush();
    state.torque = state.torque + t;
}

void TauItem::ApplyLinearImpulse(const zVector& velocityChange)
{
    WakeForPush();
    if (inverseMass == 0.0f)
        return;
    state.linearVelocity = state.linearVelocity + velocityChange;
}

void TauItem::ApplyImpulse(const zVector& point, const zVector& impulse)
{
    if (impulse.SquaredLength() < 1e-7f)
        return;
    WakeForPush();
    const zVector r = point - state.worldCenterOfMass;
    const zVector n = impulse.Normalized();
    const float k = inverseMass + n.Dot(r.Cross(n).Rotate(state.worldInverseInertia).Cross(r));
    if (k == 0.0f)
        return;
    const zVector j = impulse * (1.0f / k);
    state.linearVelocity = state.linearVelocity + j * inverseMass;
    state.angularVelocity = state.angularVelocity + r.Cross(j).Rotate(state.worldInverseInertia);
}

void TauItem::GetPointVelocity(const zVector& r, zVector& out, const TauItemState* from) const
{
    const TauItemState& s = from != nullptr ? *from : state;
    if (IsAwake() && inverseMass != 0.0f) {
        out = s.linearVelocity;
        if ((Flag & FlagMobile) == 0)
            out = out + TauMath::Cross(s.angularVelocity, r);
        out.w = 1.0f;
        return;
    }
    if (owner == nullptr) {
        out = Zero;
        return;
    }
    out = TauMath::Transform(r, owner->worldMatrix) - TauMath::Transform(r, owner->previousWorldMatrix);
}

void TauItem::GetWorldPointVelocity(const zVector& point, zVector& out, const TauItemState* from) const
{
    zVector r;
    if (inverseMass != 0.0f)
        r = point - state.worldCenterOfMass;
    else
        r = owner != nullptr ? point.Transform(owner->inverseWorldMatrix) : zVector(point.x, point.y, point.z);
    GetPointVelocity(r, out, from);
}

void TauItem::ClearAccumulators()
{
    state.force = Zero;
    state.torque = Zero;
}

void TauItem::IntegrateForces()
{
    const float h = world != nullptr ? world->step : 1.0f / 75.0f;
    state.linearVelocity = state.linearVelocity + state.force * (inverseMass * h);
    state.angularVelocity = state.angularVelocity + TauMath::Rotate(state.torque, state.worldInverseInertia) * h;
}

void TauItem::IntegrateVelocities(float fraction)
{
    const float h = fraction * (world != nullptr ? world->step : 1.0f / 75.0f);
    const zVector move = state.linearVelocity * h;
    state.position = state.position + move;
    state.worldCenterOfMass = state.worldCenterOfMass + move;
    if ((Flag & FlagMobile) != 0)
        return;
    const zVector& w = state.angularVelocity;
    // zQuaternion::Multiply of (w, 0) by the orientation, inline.
    const zQuaternion& o = state.orientation;
    const float s = 0.0f;
    const zQuaternion spin(s * o.x + w.x * o.w + w.y * o.z - w.z * o.y, s * o.y - w.x * o.z + w.y * o.w + w.z * o.x,
                           s * o.z + w.x * o.y - w.y * o.x + w.z * o.w, s * o.w - w.x * o.x - w.y * o.y - w.z * o.z);
    const float k = 0.5f * h;
    zQuaternion q(state.orientation.x + spin.x * k, state.orientation.y + spin.y * k,
                  state.orientation.z + spin.z * k, state.orientation.w + spin.w * k);
    // A zero quaternion has no direction: the body falls back to no rotation.
    const float dot = q.Dot(q);
    if (dot == 0.0f || !std::isfinite(dot))
        q = zQuaternion();
    // zQuaternion::Normalized, inline.
    const float length = std::sqrt(q.Dot(q));
    state.orientation = length == 0.0f ? zQuaternion(1.0f, 1.0f, 1.0f, 1.0f)
                                       : zQuaternion(q.x / length, q.y / length, q.z / length, q.w / length);
}

namespace {

// The rotation matrix and the world inverse inertia of a state's orientation.
void OrientState(TauItemState& state, const zMatrix3& inverseInertiaTensor)
{
    // zQuaternion::ToMatrix3 and Transposed, inline.
    const float x = state.orientation.x;
    const float y = state.orientation.y;
    const float z = state.orientation.z;
    const float w = state.orientation.w;
    float* m = state.rotation.m;
    m[0] = 1.0f - 2.0f * (y * y + z * z);
    m[1] = 2.0f * (x * y - w * z);
    m[2] = 2.0f * (x * z + w * y);
    m[3] = 2.0f * (x * y + w * z);
    m[4] = 1.0f - 2.0f * (x * x + z * z);
    m[5] = 2.0f * (y * z - w * x);
    m[6] = 2.0f * (x * z - w * y);
    m[7] = 2.0f * (y * z + w * x);
    m[8] = 1.0f - 2.0f * (x * x + y * y);
    const zMatrix3& r = state.rotation;
    zMatrix3 transposed;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            transposed.m[3 * i + j] = r.m[3 * j + i];
    }
    state.worldInverseInertia = TauMatrixProduct(transposed, TauMatrixProduct(inverseInertiaTensor, r));
    TauSymmetrize(state.worldInverseInertia);
}

} // namespace

void TauItem::SetPosition(const zVector& newPosition)
{
    WakeForPush();
    const zVector p(newPosition.x, newPosition.y, newPosition.z, 1.0f);
    // The step derives the position from the centre of mass (and a static
    // body takes its whole pose from the previous state): both states move.
    for (TauItemState* s : {&state, &previous}) {
        s->worldCenterOfMass = p + (s->worldCenterOfMass - s->position);
        s->worldCenterOfMass.w = 1.0f;
        s->position = p;
    }
    SynchronizeCollision();
}

void TauItem::SetOrientation(const zQuaternion& newOrientation)
{
    WakeForPush();
    for (TauItemState* s : {&state, &previous}) {
        s->orientation = newOrientation;
        OrientState(*s, inverseInertiaTensor);
        s->worldCenterOfMass = s->position + TauMath::Rotate(Pivot, s->rotation);
        s->worldCenterOfMass.w = 1.0f;
    }
    SynchronizeCollision();
}

void TauItem::UpdateWorldState()
{
    if ((Flag & FlagMobile) == 0)
        OrientState(state, inverseInertiaTensor);
    const zVector c = TauMath::Rotate(Pivot, state.rotation);
    state.position = state.position + (previous.worldCenterOfMass - previous.position) - c;
    state.worldCenterOfMass = state.position + c;
}

bool TauItem::IsQuiet(float factor) const
{
    const float u = factor != 0.0f ? 1.0f / factor : 0.0f;
    const zVector& w = state.angularVelocity;
    return std::fabs(w.x * u) <= angularThresholdVector.x && std::fabs(w.y * u) <= angularThresholdVector.y &&
           std::fabs(w.z * u) <= angularThresholdVector.z &&
           state.linearVelocity.SquaredLength() <= LinearThreshold * factor * 4.0f;
}

void TauItem::SynchronizeCollision()
{
    if (collisionItem == nullptr)
        return;
    const zVector one{1.0f, 1.0f, 1.0f, 1.0f};
    collisionItem->SetTransformation(PositionInItem(state.position), &state.rotation, &one, false);
}

void TauItem::ResetDynamics()
{
    quietSteps = 0;
    if (awake == 0) {
        state.linearVelocity = Zero;
        state.angularVelocity = Zero;
    }
    ClearAccumulators();
    awake = 1;
}

void TauItem::RestorePreviousPose()
{
    state.position = previous.position;
    state.orientation = previous.orientation;
    state.rotation = previous.rotation;
    state.worldInverseInertia = previous.worldInverseInertia;
    state.worldCenterOfMass = previous.worldCenterOfMass;
}
