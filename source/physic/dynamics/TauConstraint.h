#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zVector.h"

#include <cstdint>

class Tau;
class TauItem;
class TauSceneServices;
struct TauUidRemap;
class zMetaFile;
class zMetaTag;

// Ties an anchor body to a target body (either may be the world, null). The
// bodies are borrowed: removing a body from the world with its constraints
// detached clears the ends that name it. The world owns the constraint once
// added (Tau::AddConstraint).
class TauConstraint : public zLinkedListIdEntry {
public:
    enum : int32_t {
        TypeDistance = 1,
        TypeVelocity = 2,
        TypePosition = 3,
        TypeHinge = 4,
    };

    TauConstraint(Tau* world, int32_t type);
    // Leaves the world's list and every group that references it.
    ~TauConstraint() override;
    TauConstraint(const TauConstraint&) = delete;
    TauConstraint& operator=(const TauConstraint&) = delete;

    virtual void SetAnchor(TauItem* body) { anchor = body; }
    virtual void SetTarget(TauItem* body) { target = body; }
    virtual void Prepare(bool recompute);
    virtual void Solve() = 0;
    virtual void SetStrength(float value) { Strength = value; }
    // The kind's tag; scene may be null (no bodies are then found).
    virtual bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                             const TauUidRemap* remap) = 0;
    virtual zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const = 0;

    // Hooks are points in the body's frame (world space for a null body); null
    // is the origin.
    void SetAnchorHook(const zVector* hook);
    void SetTargetHook(const zVector* hook);

    // The "Constraint" part common to every kind.
    bool ReadCommon(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag, const TauUidRemap* remap);
    zMetaTag* WriteCommon(TauSceneServices* scene) const;

    Tau* world;
    int32_t type;
    float effectiveMass = 0.0f;
    TauItem* anchor = nullptr;
    TauItem* target = nullptr;
    zMatrix3 anchorRotation;
    uint8_t useCorrectionVector = 0;
    // Zero until a script sets it, so that setting the use flag first is harmless.
    zVector correctionVector{0.0f, 0.0f, 0.0f, 1.0f};
    uint8_t Enable = 1;
    float Strength = 1.0f;
    float MaxErrorCorrection = -1.0f;
    zVector AnchorHook{0.0f, 0.0f, 0.0f, 1.0f};
    zVector TargetHook{0.0f, 0.0f, 0.0f, 1.0f};
    zVector worldAnchor{0.0f, 0.0f, 0.0f, 1.0f};
    zVector worldTarget{0.0f, 0.0f, 0.0f, 1.0f};
    // Groups that reference the constraint; told when it dies.
    TauSceneServices* groupOwner = nullptr;

protected:
    float Frequency() const;
    // World points from the hooks of each end.
    void PlaceWorldPoints();
    void ApplyImpulse(const zVector& impulse) const;
    zVector EndVelocity(const TauItem* body, const zVector& point) const;
};

class TauDistanceConstraint : public TauConstraint {
public:
    TauDistanceConstraint(Tau* world, TauItem* anchor, TauItem* target, const zVector* anchorHook,
                          const zVector* targetHook, float min, float max);
    void Prepare(bool recompute) override;
    void Solve() override;
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                     const TauUidRemap* remap) override;
    zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const override;

    float Max;
    float Min;
};

class TauVelocityConstraint : public TauConstraint {
public:
    TauVelocityConstraint(Tau* world, TauItem* body, const zVector* linear, const zVector* angular, int32_t mask);
    void Prepare(bool) override {}
    void Solve() override;
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                     const TauUidRemap* remap) override;
    zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const override;

    int32_t Mask;
    zVector targetLinearVelocity;
    zVector targetAngularVelocity;
};

class TauPositionConstraint : public TauConstraint {
public:
    TauPositionConstraint(Tau* world, TauItem* anchor, TauItem* target, const zVector* anchorHook,
                          const zVector* targetHook, int32_t dof);
    void SetDof(int32_t value) { Dof = value; }
    void Prepare(bool recompute) override;
    void Solve() override;
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                     const TauUidRemap* remap) override;
    zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const override;

    int32_t Dof;
};

class TauHingeConstraint : public TauConstraint {
public:
    TauHingeConstraint(Tau* world, TauItem* anchor, TauItem* target, const zVector* anchorHook,
                       const zVector* targetHook, const zVector* axis);
    void SetAnchor(TauItem* body) override;
    void SetTarget(TauItem* body) override;
    void SetStrength(float value) override;
    void Prepare(bool recompute) override;
    void Solve() override;
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                     const TauUidRemap* remap) override;
    zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const override;

    TauDistanceConstraint first;
    TauDistanceConstraint second;
    zVector Axis;
};

// Only the tag exists for this kind: it never constrains anything.
class TauAngularConstraint : public TauConstraint {
public:
    TauAngularConstraint(Tau* world, int32_t dof);
    void Solve() override {}
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag,
                     const TauUidRemap* remap) override;
    zMetaTag* AsMetaTag(const zMetaFile* document, TauSceneServices* scene) const override;

    int32_t Dof;
};
