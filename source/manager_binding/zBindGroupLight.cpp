#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zGroup.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"

using namespace sqfamily;

namespace {

#define GROUP_ARG(var) SQ_FETCH(zGroup, var, 2, SqPtrSceneGroup)

SQInteger GroupSetup(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->Setup();
    return 0;
}

SQInteger GroupSetupScript(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->SetupScript();
    return 0;
}

SQInteger GroupReset(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->Reset(false);
    return 0;
}

SQInteger GroupActivate(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->Activate(GetBool(v, 3));
    return 0;
}

SQInteger GroupSetInvisible(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->SetInvisible(GetBool(v, 3));
    return 0;
}

SQInteger GroupGetItemList(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    sq_newarray(v, 0);
    if (group != nullptr) {
        for (zMItem* item : group->GetItems()) {
            SqPushSafePtr(v, item, SqPtrItem);
            sq_arrayappend(v, -2);
        }
    }
    return 1;
}

SQInteger GroupGetRootItem(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    return PushHandle(v, group != nullptr ? group->rootItem : nullptr, SqPtrItem);
}

SQInteger GroupSetRootItem(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    if (group != nullptr)
        group->SetRootItem(item);
    return 0;
}

SQInteger GroupFindItem(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    const char* name = GetString(v, 3);
    return PushHandle(v, group != nullptr && name != nullptr ? group->FindItem(name) : nullptr, SqPtrItem);
}

SQInteger GroupFindConstraint(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    const char* name = GetString(v, 3);
    return PushHandle(v, group != nullptr && name != nullptr ? group->FindConstraint(name) : nullptr,
                      SqPtrPhysicConstraint);
}

SQInteger GroupItemIsMember(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    return PushBool(v, group != nullptr && item != nullptr && group->FindMember(item));
}

SQInteger GroupOffsetMatrix(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    SQ_MATRIX4_ARG(m, 3);
    if (group != nullptr)
        group->OffsetMatrix(m);
    return 0;
}

SQInteger GroupSetMotion(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    const char* name = GetString(v, 3);
    if (group != nullptr && name != nullptr)
        group->SetMotion(name, GetFloat(v, 4), GetFloat(v, 5));
    return 0;
}

SQInteger GroupSetMotionFromIndex(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->SetMotionFromIndex(int32_t(GetInt(v, 3)), GetFloat(v, 4), GetFloat(v, 5));
    return 0;
}

SQInteger GroupSetMotionClockScale(HSQUIRRELVM v)
{
    GROUP_ARG(group);
    if (group != nullptr)
        group->SetMotionClockScale(GetFloat(v, 3));
    return 0;
}

zMLight* AsLight(zMItem* item)
{
    return item != nullptr && item->GetKind() == zMItem::KindLight ? static_cast<zMLight*>(item) : nullptr;
}

SQInteger LightGetItem(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrLight);
    return PushHandle(v, item, SqPtrItem);
}

SQInteger LightSetDiffuseIntensity(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrLight);
    zMLight* light = AsLight(item);
    if (light == nullptr)
        return 0;
    light->light.diffuseIntensity = GetFloat(v, 3);
    Tavrin* core = light->light.core;
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->UpdateLight(&light->light);
    return 0;
}

} // namespace

void SqRegisterGroupFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, GroupSetup, "GroupSetup", "x|tu");
    SqRegisterFunction(v, GroupSetupScript, "GroupSetupScript", "x|tu");
    SqRegisterFunction(v, GroupReset, "GroupReset", "x|tu");
    SqRegisterFunction(v, GroupActivate, "GroupActivate", "x|tub");
    SqRegisterFunction(v, GroupSetInvisible, "GroupSetInvisible", "x|tub");
    SqRegisterFunction(v, GroupGetItemList, "GroupGetItemList", "x|tu");
    SqRegisterFunction(v, GroupGetRootItem, "GroupGetRootItem", "x|tu");
    SqRegisterFunction(v, GroupSetRootItem, "GroupSetRootItem", "x|tuu");
    SqRegisterFunction(v, GroupFindItem, "GroupFindItem", "x|tus");
    SqRegisterFunction(v, GroupFindConstraint, "GroupFindConstraint", "x|tus");
    SqRegisterFunction(v, GroupItemIsMember, "GroupItemIsMember", "x|tuu");
    SqRegisterFunction(v, GroupOffsetMatrix, "GroupOffsetMatrix", "x|tux");
    SqRegisterFunction(v, GroupSetMotion, "GroupSetMotion", "x|tusff");
    SqRegisterFunction(v, GroupSetMotionFromIndex, "GroupSetMotionFromIndex", "x|tuiff");
    SqRegisterFunction(v, GroupSetMotionClockScale, "GroupSetMotionClockScale", "x|tuf");
}

void SqRegisterLightFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, LightGetItem, "LightGetItem", "x|tu");
    SqRegisterFunction(v, LightSetDiffuseIntensity, "LightSetDiffuseIntensity", "x|tuf");
}
