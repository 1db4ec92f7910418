#pragma once

#include "script/zScriptUnit.h"

#include <squirrel.h>

#include <cstdint>

// The script unit of a managed item: it caches the members of the instance
// that the scene calls every frame or every step, the null object for each
// member the instance lacks (an absent callback is never called).
class zItemScriptUnit : public zScriptUnit {
public:
    enum Callback : int32_t {
        OnLogicUpdate = 0,
        OnUpdate,
        OnTrigger,
        OnPhysicStep,
        OnPhysicSleepStep,
        OnCollision,
        OnCollisionEx,
        CallbackCount,
    };
    static const char* const CallbackNames[CallbackCount];

    // The master is not owned and must outlive the unit; it may be null (the
    // unit then never opens).
    explicit zItemScriptUnit(zScriptMaster* master);
    ~zItemScriptUnit() override;

    // The base open, then the seven members are looked up; nothing is cached
    // when the open fails or leaves the unit closed.
    bool OpenScriptUnit() override;
    // Releases the cached members, then closes as the base does.
    void CloseScriptUnit() override;

    // The cached member, or the null object.
    const HSQOBJECT& GetCallback(Callback which) const { return callbacks[which]; }
    bool HasCallback(Callback which) const { return !sq_isnull(callbacks[which]); }
    // Whether the open instance has a member of that name.
    bool HasMember(const char* name);

private:
    void ReleaseCallbacks();

    HSQOBJECT callbacks[CallbackCount];
};
