#include "manager/item/zItemScriptUnit.h"

const char* const zItemScriptUnit::CallbackNames[CallbackCount] = {
    "OnLogicUpdate", "OnUpdate", "OnTrigger", "OnPhysicStep", "OnPhysicSleepStep", "OnCollision", "OnCollisionEx",
};

zItemScriptUnit::zItemScriptUnit(zScriptMaster* master) : zScriptUnit(master)
{
    for (HSQOBJECT& callback : callbacks)
        sq_resetobject(&callback);
}

zItemScriptUnit::~zItemScriptUnit()
{
    ReleaseCallbacks();
}

void zItemScriptUnit::ReleaseCallbacks()
{
    for (HSQOBJECT& callback : callbacks)
        ReleaseMember(callback);
}

bool zItemScriptUnit::OpenScriptUnit()
{
    if (!zScriptUnit::OpenScriptUnit())
        return false;
    ReleaseCallbacks();
    if (IsOpened()) {
        for (int32_t i = 0; i < CallbackCount; ++i)
            GetInstanceMember(CallbackNames[i], callbacks[i]);
    }
    return true;
}

void zItemScriptUnit::CloseScriptUnit()
{
    ReleaseCallbacks();
    zScriptUnit::CloseScriptUnit();
}

bool zItemScriptUnit::HasMember(const char* name)
{
    HSQOBJECT member;
    if (!GetInstanceMember(name, member))
        return false;
    ReleaseMember(member);
    return true;
}
