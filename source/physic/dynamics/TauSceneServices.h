#pragma once

#include <cstdint>

class TauConstraint;
class TauItem;

// What the physics needs of the scene that owns it.
class TauSceneServices {
public:
    virtual ~TauSceneServices() = default;
    // The body of the managed item with that UID, or null (the scene logs a
    // missing UID).
    virtual TauItem* FindBodyFromUid(int32_t uid) = 0;
    // The UID of the managed item that embeds the body.
    virtual int32_t GetBodyUid(const TauItem* body) = 0;
    // Adds the constraint to the group without the duplicate check; the
    // group references it and does not own it. Null when refused.
    virtual TauConstraint* AddConstraintToGroup(void* group, TauConstraint* constraint) = 0;
    // The constraint is being deleted: every group must drop it.
    virtual void ForgetConstraint(TauConstraint* constraint) = 0;
};
