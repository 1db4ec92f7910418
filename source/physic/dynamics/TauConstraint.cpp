#include "physic/dynamics/TauConstraint.h"

#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauItem.h"
#include "physic/dynamics/TauSceneServices.h"

namespace {

const zVector Zero{0.0f, 0.0f, 0.0f, 1.0f};

float EndWeight(const TauItem* body, const zVector& point, const zVector& n)
{
    if (body == nullptr || body->inverseMass == 0.0f)
        return 0.0f;
    const zVector r = point - body->state.worldCenterOfMass;
    return body->inverseMass + n.Dot(r.Cross(n).Rotate(body->state.worldInverseInertia).Cross(r));
}

zVector Project(const zVector& v, const zVector& c)
{
    return c * c.Dot(v);
}

} // namespace

TauConstraint::TauConstraint(Tau* world_, int32_t type_) : zLinkedListIdEntry("Constraint"), world(world_), type(type_)
{
}

TauConstraint::~TauConstraint()
{
    if (groupOwner != nullptr)
        groupOwner->ForgetConstraint(this);
    if (world != nullptr && (prev != nullptr || next != nullptr || world->constraints.GetFirst() == this))
        world->constraints.Unlink(this);
}

float TauConstraint::Frequency() const
{
    return world != nullptr ? world->Frequency : 75.0f;
}

void TauConstraint::SetAnchorHook(const zVector* hook)
{
    AnchorHook = hook != nullptr ? *hook : Zero;
    if (anchor == nullptr)
        worldAnchor = AnchorHook;
}

void TauConstraint::SetTargetHook(const zVector* hook)
{
    TargetHook = hook != nullptr ? *hook : Zero;
    if (target == nullptr)
        worldTarget = TargetHook;
}

void TauConstraint::Prepare(bool)
{
    const zVector n = (worldTarget - worldAnchor).Normalized();
    const float sum = EndWeight(anchor, worldAnchor, n) + EndWeight(target, worldTarget, n);
    effectiveMass = sum != 0.0f ? 1.0f / sum : 0.0f;
}

void TauConstraint::PlaceWorldPoints()
{
    worldAnchor = anchor != nullptr ? AnchorHook.Rotate(anchor->state.rotation) + anchor->state.position
                                    : zVector(AnchorHook.x, AnchorHook.y, AnchorHook.z);
    worldTarget = target != nullptr ? TargetHook.Rotate(target->state.rotation) + target->state.position
                                    : zVector(TargetHook.x, TargetHook.y, TargetHook.z);
}

zVector TauConstraint::EndVelocity(const TauItem* body, const zVector& point) const
{
    if (body == nullptr)
        return Zero;
    zVector v;
    body->GetPointVelocity(point - body->state.worldCenterOfMass, v);
    return v;
}

void TauConstraint::ApplyImpulse(const zVector& j) const
{
    for (int side = 0; side < 2; ++side) {
        TauItem* body = side == 0 ? anchor : target;
        if (body == nullptr || body->inverseMass == 0.0f)
            continue;
        const zVector impulse = side == 0 ? j : -j;
        const zVector r = (side == 0 ? worldAnchor : worldTarget) - body->state.worldCenterOfMass;
        body->state.linearVelocity = body->state.linearVelocity + impulse * body->inverseMass;
        body->state.angularVelocity =
            body->state.angularVelocity + r.Cross(impulse).Rotate(body->state.worldInverseInertia);
    }
}

TauDistanceConstraint::TauDistanceConstraint(Tau* world_, TauItem* anchor_, TauItem* target_,
                                             const zVector* anchorHook, const zVector* targetHook, float min,
                                             float max)
    : TauConstraint(world_, TypeDistance), Max(max), Min(min)
{
    anchor = anchor_;
    target = target_;
    AnchorHook = anchorHook != nullptr ? *anchorHook : Zero;
    TargetHook = targetHook != nullptr ? *targetHook : Zero;
}

void TauDistanceConstraint::Prepare(bool recompute)
{
    effectiveMass = 0.0f;
    if (Enable == 0 || (anchor == nullptr && target == nullptr))
        return;
    const bool awakeEnd = (anchor != nullptr && anchor->IsAwake()) || (target != nullptr && target->IsAwake());
    if (!awakeEnd)
        return;
    if (recompute)
        PlaceWorldPoints();
    TauConstraint::Prepare(recompute);
}

void TauDistanceConstraint::Solve()
{
    if (effectiveMass == 0.0f)
        return;
    const float h = 1.0f / Frequency();
    zVector dv = EndVelocity(target, worldTarget) - EndVelocity(anchor, worldAnchor);
    zVector d = worldTarget - worldAnchor;
    if (useCorrectionVector != 0) {
        dv = Project(dv, correctionVector);
        d = Project(d, correctionVector);
    }
    const zVector p = d + dv * h;
    if (p.SquaredLength() <= 1e-6f)
        return;
    const float length = p.Length();
    float wanted = length;
    if (Min >= 0.0f && Min > length)
        wanted = Min;
    if (Max >= 0.0f && wanted > Max)
        wanted = Max;
    zVector e = p * (wanted / length) - d;
    const float limit = MaxErrorCorrection / Frequency();
    if (limit > 0.0f && e.SquaredLength() > limit * limit)
        e = e.ClampMagnitude(0.0f, limit);
    zVector j = (dv * h - e) * (0.5f * effectiveMass * Strength);
    if (useCorrectionVector != 0)
        j = Project(j, correctionVector);
    ApplyImpulse(j);
}

TauPositionConstraint::TauPositionConstraint(Tau* world_, TauItem* anchor_, TauItem* target_,
                                             const zVector* anchorHook, const zVector* targetHook, int32_t dof)
    : TauConstraint(world_, TypePosition), Dof(dof)
{
    anchor = anchor_;
    SetAnchorHook(anchorHook);
    target = target_;
    SetTargetHook(targetHook);
}

void TauPositionConstraint::Prepare(bool recompute)
{
    effectiveMass = 0.0f;
    if (Enable == 0 || (anchor == nullptr && target == nullptr))
        return;
    if (recompute)
        PlaceWorldPoints();
    TauConstraint::Prepare(recompute);
}

void TauPositionConstraint::Solve()
{
    if (effectiveMass == 0.0f)
        return;
    const float h = 1.0f / Frequency();
    zVector d = (worldTarget - worldAnchor) + (EndVelocity(target, worldTarget) - EndVelocity(anchor, worldAnchor)) * h;
    if (anchor != nullptr)
        d = d.Rotate(anchor->state.rotation.Transposed());
    if ((Dof & 1) != 0)
        d.x = 0.0f;
    if ((Dof & 2) != 0)
        d.y = 0.0f;
    if ((Dof & 4) != 0)
        d.z = 0.0f;
    if (anchor != nullptr)
        d = d.Rotate(anchor->state.rotation);
    ApplyImpulse(d * (0.5f * effectiveMass * Strength));
}

TauVelocityConstraint::TauVelocityConstraint(Tau* world_, TauItem* body, const zVector* linear,
                                             const zVector* angular, int32_t mask)
    : TauConstraint(world_, TypeVelocity), Mask(mask), targetLinearVelocity(linear != nullptr ? *linear : Zero),
      targetAngularVelocity(angular != nullptr ? *angular : Zero)
{
    anchor = body;
    if (body == nullptr)
        worldAnchor = Zero;
}

void TauVelocityConstraint::Solve()
{
    if (Enable == 0 || anchor == nullptr)
        return;
    const zMatrix3& r = anchor->state.rotation;
    const zMatrix3 rt = r.Transposed();
    zVector v = anchor->state.linearVelocity.Rotate(rt);
    if ((Mask & 1) != 0)
        v.x = targetLinearVelocity.x;
    if ((Mask & 2) != 0)
        v.y = targetLinearVelocity.y;
    if ((Mask & 4) != 0)
        v.z = targetLinearVelocity.z;
    anchor->state.linearVelocity = anchor->state.linearVelocity * (1.0f - Strength) + v.Rotate(r) * Strength;
    zVector w = anchor->state.angularVelocity.Rotate(rt);
    if ((Mask & 8) != 0)
        w.x = targetAngularVelocity.x;
    if ((Mask & 16) != 0)
        w.y = targetAngularVelocity.y;
    if ((Mask & 32) != 0)
        w.z = targetAngularVelocity.z;
    anchor->state.angularVelocity = anchor->state.angularVelocity * (1.0f - Strength) + w.Rotate(r) * Strength;
}

TauHingeConstraint::TauHingeConstraint(Tau* world_, TauItem* anchor_, TauItem* target_, const zVector* anchorHook,
                                       const zVector* targetHook, const zVector* axis)
    : TauConstraint(world_, TypeHinge), first(world_, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f),
      second(world_, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f),
      Axis(axis != nullptr ? *axis : zVector(0.0f, 0.0f, 1.0f, 1.0f))
{
    first.anchor = second.anchor = anchor = anchor_;
    SetAnchorHook(anchorHook);
    first.target = second.target = target = target_;
    SetTargetHook(targetHook);
}

void TauHingeConstraint::SetAnchor(TauItem* body)
{
    first.SetAnchor(body);
    second.SetAnchor(body);
    anchor = body;
}

void TauHingeConstraint::SetTarget(TauItem* body)
{
    first.SetTarget(body);
    second.SetTarget(body);
    target = body;
}

void TauHingeConstraint::SetStrength(float value)
{
    first.SetStrength(value);
    second.SetStrength(value);
    Strength = value;
}

void TauHingeConstraint::Prepare(bool)
{
    if (Enable == 0 || target == nullptr)
        return;
    const zMatrix3 q =
        anchor != nullptr ? TauMatrixProduct(anchor->state.rotation, anchorRotation) : anchorRotation;
    const zVector& b = target->state.position;
    for (int i = 0; i < 2; ++i) {
        TauDistanceConstraint& c = i == 0 ? first : second;
        const zVector offset = i == 0 ? Axis : -Axis;
        const zVector arm = TargetHook + offset;
        c.worldAnchor = anchor != nullptr ? b + arm.Rotate(q) : AnchorHook + b + offset;
        c.worldTarget = b + arm.Rotate(target->state.rotation);
        c.Prepare(false);
    }
}

void TauHingeConstraint::Solve()
{
    if (Enable == 0 || target == nullptr)
        return;
    first.Solve();
    second.Solve();
}

TauAngularConstraint::TauAngularConstraint(Tau* world_, int32_t dof) : TauConstraint(world_, 0), Dof(dof)
{
}
