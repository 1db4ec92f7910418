#include "manager_binding/zBindItem.h"

#include "core/item/zItem.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zQuaternion.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/motion/zMotion.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqFamilySupport.h"
#include "physic/dynamics/Tau.h"

#include <cstdint>
#include <cstdio>

using namespace sqfamily;

namespace {

zItem* Core(zMItem* item)
{
    return item != nullptr ? item->GetCoreItem() : nullptr;
}

zMatrix3 Upper3x3(const zMatrix4& m)
{
    zMatrix3 out;
    out.SetRows(m.GetRow(0), m.GetRow(1), m.GetRow(2));
    return out;
}

// A slot of the item's motion player, or null for a null item or an index
// outside 0..3 (negative indices included).
zMotionSlot* Slot(zMItem* item, SQInteger index)
{
    if (item == nullptr || index < 0 || index >= zMotionPlayer::SlotCount)
        return nullptr;
    return &item->slots[index];
}

#define ITEM_ARG(var) SQ_FETCH(zMItem, var, 2, SqPtrItem)

// --- identity, life cycle and state ---------------------------------------

SQInteger ItemDerivedCastToItem(HSQUIRRELVM v)
{
    const int32_t kind = SqGetSafePtrType(v, 2);
    void* object = nullptr;
    if (kind == SqPtrItem || kind == SqPtrCamera || kind == SqPtrObject || kind == SqPtrLight ||
        kind == SqPtrTrigger)
        SqGetSafePtr(v, 2, &object, 0);
    return PushHandle(v, object, SqPtrItem);
}

SQInteger ItemCastToLight(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    // An item deleted since is no error of the script's: no light.
    if (item == nullptr && SqSafePtrIsStale(v, 2))
        return PushHandle(v, nullptr, SqPtrLight);
    if (item == nullptr) {
        LogError("ItemCastToLight") << "Item is NULL.\n";
        return sq_suspendvm(v);
    }
    if (item->GetKind() != zMItem::KindLight) {
        LogError("ItemCastToLight") << "Item is not a light.\n";
        return sq_suspendvm(v);
    }
    return PushHandle(v, item, SqPtrLight);
}

SQInteger ItemGetType(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushInt(v, item != nullptr ? item->GetKind() : 0);
}

SQInteger ItemCompare(HSQUIRRELVM v)
{
    ITEM_ARG(a);
    SQ_FETCH(zMItem, b, 3, SqPtrItem);
    return PushBool(v, a == b);
}

SQInteger ItemGetName(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const char* name = item != nullptr ? item->GetName().Get() : "0x0: Item pointer is null.";
    sq_pushstring(v, name != nullptr ? name : "", -1);
    return 1;
}

SQInteger ItemPrint(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    char text[64];
    snprintf(text, sizeof(text), "Item at address @%llu.\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(item)));
    GlobalLog << text;
    return 0;
}

SQInteger ItemGetEngine(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushHandle(v, core != nullptr ? core->core : nullptr, SqPtrEngine);
}

SQInteger ItemGetScene(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zScene* scene = item != nullptr ? dynamic_cast<zScene*>(item->GetScene()) : nullptr;
    return PushHandle(v, scene, SqPtrScene);
}

SQInteger ItemGetGeometry(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zGeometry* geometry = nullptr;
    if (item != nullptr && item->GetKind() == zMItem::KindObject)
        geometry = static_cast<zMObject*>(item)->object.geometry;
    return PushHandle(v, geometry, SqPtrGeometry);
}

SQInteger ItemGetScriptInstance(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item == nullptr) {
        // Only an empty handle is refused; an item deleted since has no instance.
        if (SqSafePtrIsStale(v, 2)) {
            sq_pushnull(v);
            return 1;
        }
        return sq_suspendvm(v);
    }
    sq_pushobject(v, item->script.GetInstance());
    return 1;
}

SQInteger ItemSetScript(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const char* script = GetString(v, 3);
    const char* className = GetString(v, 4);
    if (item != nullptr) {
        item->script.Script = script;
        item->script.Class = className;
        item->Setup();
        item->ResetItem();
    }
    return 0;
}

SQInteger ItemSetupScript(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->SetupScript();
    return 0;
}

SQInteger ItemSetup(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->Setup();
    return 0;
}

SQInteger ItemReset(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->ResetItem();
    return 0;
}

SQInteger ItemGetScriptLogicFrequency(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushFloat(v, item != nullptr ? item->logicFrequency : -1.0f);
}

SQInteger ItemSetScriptLogicFrequency(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->logicFrequency = GetFloat(v, 3);
    return 0;
}

SQInteger ItemSetCommandList(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const char* text = GetString(v, 3);
    zScene* scene = item != nullptr ? dynamic_cast<zScene*>(item->GetScene()) : nullptr;
    if (scene != nullptr && text != nullptr)
        scene->commandManager.LoadACECommandList(text, item);
    return 0;
}

SQInteger ItemResetCommandList(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->ResetCommandList();
    return 0;
}

SQInteger ItemIsCommandListDone(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item == nullptr || !item->IsRunning());
}

SQInteger ItemActivate(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->Activate(GetBool(v, 3), false);
    return 0;
}

SQInteger ItemActivateHierarchy(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->Activate(GetBool(v, 3), true);
    return 0;
}

SQInteger ItemIsActive(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item != nullptr && item->IsActive());
}

void SetCoreFlag(zItem* core, uint32_t bit, bool on)
{
    if (core == nullptr)
        return;
    if (on)
        core->flags |= bit;
    else
        core->flags &= ~bit;
}

SQInteger ItemSetInvisible(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SetCoreFlag(Core(item), zItem::Invisible, GetBool(v, 3));
    return 0;
}

SQInteger ItemGetFlags(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushInt(v, item != nullptr ? SQInteger(item->billboardFlags) : 0);
}

SQInteger ItemSetFlags(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const uint32_t bits = uint32_t(GetInt(v, 3));
    if (item != nullptr) {
        if (GetBool(v, 4))
            item->billboardFlags |= bits;
        else
            item->billboardFlags &= ~bits;
    }
    return 0;
}

SQInteger ItemSetPriority(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->SetPriority(GetFloat(v, 3));
    return 0;
}

SQInteger ItemSetExcludeFromRecord(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->excludeFromRecord = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger ItemGetExcludeFromRecord(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item != nullptr && item->excludeFromRecord != 0);
}

SQInteger ItemRecordLocation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->RecordLocation();
    return 0;
}

SQInteger ItemGetAlpha(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushFloat(v, core != nullptr ? core->alpha : -1.0f);
}

SQInteger ItemSetAlpha(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->alpha = GetFloat(v, 3);
    return 0;
}

// --- transformation of the core item --------------------------------------

const zVector kMinusOne(-1.0f, -1.0f, -1.0f, 1.0f);
const zVector kZero(0.0f, 0.0f, 0.0f, 1.0f);

SQInteger ItemGetPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->position : kMinusOne);
}

SQInteger ItemSetPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->position = GetVector(v, 3);
    return 0;
}

SQInteger ItemGetRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->rotation : kMinusOne);
}

SQInteger ItemSetRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->rotation = GetVector(v, 3);
    return 0;
}

SQInteger ItemSetRotationQuaternion(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const zVector angles = GetVector(v, 3);
    if (zItem* core = Core(item))
        core->quaternion = zQuaternion::FromEuler(angles.x, angles.y, angles.z, RotationOrderYXZ);
    return 0;
}

SQInteger ItemGetScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->scale : kMinusOne);
}

SQInteger ItemSetScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->scale = GetVector(v, 3);
    return 0;
}

SQInteger ItemGetPivot(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->offsetMatrix.GetMatrix().GetRow(3) : kMinusOne);
}

SQInteger ItemSetPivot(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zVector pivot = GetVector(v, 3);
    pivot.w = 1.0f;
    if (zItem* core = Core(item))
        core->offsetMatrix.SetRow(3, pivot, true);
    return 0;
}

SQInteger ItemGetWorldPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->worldMatrix.GetRow(3) : kMinusOne);
}

SQInteger ItemGetPreviousWorldPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->previousWorldMatrix.GetRow(3) : kMinusOne);
}

SQInteger PushMatrix4(HSQUIRRELVM v, const zMatrix4& m)
{
    if (!SqPushNewMatrix4(v, m))
        sq_pushnull(v);
    return 1;
}

SQInteger ItemGetMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushMatrix4(v, core != nullptr ? core->worldMatrix : IdentityMatrix4);
}

SQInteger ItemGetInverseMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushMatrix4(v, core != nullptr ? core->inverseWorldMatrix : IdentityMatrix4);
}

SQInteger ItemGetLocalMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushMatrix4(v, core != nullptr ? core->localMatrix : IdentityMatrix4);
}

SQInteger ItemSetMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_MATRIX4_ARG(m, 3);
    if (zItem* core = Core(item))
        core->worldMatrix = m;
    return 0;
}

SQInteger ItemGetRotationMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    if (!SqPushNewMatrix3(v, core != nullptr ? Upper3x3(core->worldMatrix) : IdentityMatrix3))
        sq_pushnull(v);
    return 1;
}

SQInteger ItemSetRotationMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_MATRIX3_ARG(m, 3);
    if (zItem* core = Core(item))
        core->orientation = m;
    return 0;
}

SQInteger ItemSnapshotTransformation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item)) {
        const zMatrix4 world = core->worldMatrix;
        core->SetMatrix(world, false);
    }
    return 0;
}

SQInteger ItemSnapshotMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_MATRIX4_ARG(m, 3);
    if (zItem* core = Core(item))
        core->SetMatrix(m, false);
    return 0;
}

SQInteger ItemSetLogicTransformation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_MATRIX4_ARG(m, 3);
    if (item != nullptr)
        item->SetLogicTransformation(m);
    return 0;
}

// A null item gives 0, like the other integer getters.
SQInteger ItemGetRotationOrder(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushInt(v, core != nullptr ? core->rotationOrder : 0);
}

SQInteger ItemSetRotationOrder(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->rotationOrder = int32_t(GetInt(v, 3));
    return 0;
}

SQInteger ItemSetOrientationMethod(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->SetOrientationMethod(int32_t(GetInt(v, 3)));
    return 0;
}

SQInteger ItemComputeMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->UpdateWorldMatrix();
    return 0;
}

SQInteger ItemComputeLocalMatrix(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->ComputeLocalMatrix();
    return 0;
}

SQInteger ItemComputeMinMax(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item)) {
        zMinMax box;
        core->GetMinMax(box);
    }
    return 0;
}

SQInteger ItemGetMinMax(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMinMax box(kZero, kZero);
    if (zItem* core = Core(item))
        core->GetMinMax(box);
    if (!SqPushMinMax(v, box))
        sq_pushnull(v);
    return 1;
}

SQInteger ItemGetParent(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushHandle(v, core != nullptr && core->link != nullptr ? zMItem::FromCoreItem(core->link) : nullptr,
                      SqPtrItem);
}

SQInteger ItemSetLink(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_FETCH(zMItem, parent, 3, SqPtrItem);
    if (zItem* core = Core(item))
        core->SetLink(Core(parent));
    return 0;
}

SQInteger ItemSetLinkInheritsPositionOnly(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SetCoreFlag(Core(item), zItem::LinkOnlyPosition, GetBool(v, 3));
    return 0;
}

SQInteger ItemSetTarget(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const zVector target = GetVector(v, 3);
    if (zItem* core = Core(item))
        core->SetTarget(&target);
    return 0;
}

SQInteger ItemSetNoTarget(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zItem* core = Core(item))
        core->SetTarget(nullptr);
    return 0;
}

SQInteger ItemGetTarget(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->target : kZero);
}

SQInteger ItemSetTargetOffsetRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const zVector offset = GetVector(v, 3);
    if (zItem* core = Core(item)) {
        core->targetOffsetRotation.x = offset.x;
        core->targetOffsetRotation.y = offset.y;
        core->targetOffsetRotation.z = offset.z;
    }
    return 0;
}

SQInteger ItemGetTargetOffsetRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zItem* core = Core(item);
    return PushVector(v, core != nullptr ? core->targetOffsetRotation : kMinusOne);
}

// --- rigid body and collision ---------------------------------------------

TauItem* Body(zMItem* item)
{
    return item != nullptr ? &item->body : nullptr;
}

SQInteger ItemGetSpeed(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushFloat(v, body != nullptr ? body->state.linearVelocity.Length() : 0.0f);
}

SQInteger ItemGetLinearVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushVector(v, body != nullptr && body->IsAwake() ? body->state.linearVelocity : kZero);
}

SQInteger ItemGetPreviousLinearVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushVector(v, body != nullptr && body->IsAwake() ? body->previous.linearVelocity : kZero);
}

SQInteger ItemGetLinearAcceleration(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    zVector out = kZero;
    if (body != nullptr && body->IsAwake()) {
        const zVector& a = body->state.linearVelocity;
        const zVector& b = body->previous.linearVelocity;
        out = zVector(a.x - b.x, a.y - b.y, a.z - b.z, 1.0f);
    }
    return PushVector(v, out);
}

SQInteger ItemSetLinearVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(velocity, 3);
    if (TauItem* body = Body(item))
        body->state.linearVelocity = zVector(velocity.x, velocity.y, velocity.z, 0.0f);
    return 0;
}

// A null item gives (0, 0, 0) rather than no value.
SQInteger ItemGetAngularVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushVector(v, body != nullptr ? body->state.angularVelocity : kZero);
}

SQInteger ItemSetAngularVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(velocity, 3);
    if (TauItem* body = Body(item))
        body->state.angularVelocity = zVector(velocity.x, velocity.y, velocity.z, 0.0f);
    return 0;
}

SQInteger ItemApplyLinearForce(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(force, 3);
    if (TauItem* body = Body(item))
        body->ApplyLinearForce(force);
    return 0;
}

SQInteger ItemApplyForce(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(force, 3);
    SQ_VECTOR_ARG(point, 4);
    if (TauItem* body = Body(item))
        body->ApplyForce(point, force);
    return 0;
}

SQInteger ItemApplyLinearImpulse(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(impulse, 3);
    if (TauItem* body = Body(item))
        body->ApplyLinearImpulse(impulse);
    return 0;
}

SQInteger ItemApplyImpulse(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(impulse, 3);
    SQ_VECTOR_ARG(point, 4);
    if (TauItem* body = Body(item))
        body->ApplyImpulse(point, impulse);
    return 0;
}

// The torque is given in the body's own axes.
SQInteger ItemApplyTorque(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(local, 3);
    if (TauItem* body = Body(item)) {
        const zMatrix3& r = body->state.rotation;
        const zVector r0 = r.GetRow(0), r1 = r.GetRow(1), r2 = r.GetRow(2);
        const zVector world(local.x * r0.x + local.y * r1.x + local.z * r2.x,
                            local.x * r0.y + local.y * r1.y + local.z * r2.y,
                            local.x * r0.z + local.y * r1.z + local.z * r2.z, 0.0f);
        body->ApplyTorque(world);
    }
    return 0;
}

SQInteger ItemWorldPointVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(point, 3);
    zVector out = kZero;
    if (TauItem* body = Body(item))
        body->GetWorldPointVelocity(point, out);
    return PushVector(v, out);
}

SQInteger ItemPointVelocity(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(point, 3);
    zVector out = kZero;
    if (TauItem* body = Body(item))
        body->GetPointVelocity(point, out);
    return PushVector(v, out);
}

SQInteger ItemGetCenterOfMass(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushVector(v, body != nullptr ? body->state.worldCenterOfMass : kZero);
}

SQInteger ItemGetMass(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushFloat(v, item != nullptr ? item->collisionItem.GetMass() : 0.0f);
}

SQInteger ItemSetInertiaTensorAndCom(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_MATRIX3_ARG(tensor, 3);
    SQ_VECTOR_ARG(centre, 4);
    if (TauItem* body = Body(item))
        body->SetInertiaTensorAndCom(tensor, centre);
    return 0;
}

SQInteger ItemUpdateInertiaTensorFromCollision(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->body.ComputeInertiaTensorAndCoM(&item->collisionItem);
    return 0;
}

SQInteger ItemSetLinearDamping(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->LinearDamping = GetFloat(v, 3);
    return 0;
}

SQInteger ItemSetAngularDamping(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->AngularDamping = GetFloat(v, 3);
    return 0;
}

SQInteger ItemSetGravityScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->GravityScale = GetFloat(v, 3);
    return 0;
}

SQInteger ItemGetPhysicMode(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushInt(v, body != nullptr ? SQInteger(body->Mode) : 0);
}

SQInteger ItemSetPhysicMode(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->Mode = uint32_t(GetInt(v, 3));
    return 0;
}

SQInteger ItemPhysicGetFlag(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushInt(v, body != nullptr ? SQInteger(body->Flag) : 0);
}

// Sets bits only: scripts cannot clear a physic flag here.
SQInteger ItemPhysicSetFlag(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->Flag |= uint32_t(GetInt(v, 3));
    return 0;
}

SQInteger ItemGetPhysicPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    return PushVector(v, body != nullptr ? body->state.position : kZero);
}

SQInteger ItemSetPhysicPosition(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(position, 3);
    if (TauItem* body = Body(item))
        body->SetPosition(position);
    return 0;
}

SQInteger ItemGetPhysicRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    TauItem* body = Body(item);
    zVector out = kZero;
    if (body != nullptr)
        out = body->state.orientation.ToMatrix3().ToEuler(RotationOrderYXZ);
    return PushVector(v, out);
}

SQInteger ItemSetPhysicRotation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(angles, 3);
    if (TauItem* body = Body(item))
        body->SetOrientation(zQuaternion::FromEuler(angles.x, angles.y, angles.z, RotationOrderYXZ));
    return 0;
}

SQInteger ItemPhysicResetTransformation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_VECTOR_ARG(position, 3);
    SQ_VECTOR_ARG(angles, 4);
    if (TauItem* body = Body(item))
        body->ResetTransformation(&position, &angles);
    return 0;
}

SQInteger ItemPhysicSynchronizeCollision(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (TauItem* body = Body(item))
        body->SynchronizeCollision();
    return 0;
}

SQInteger ItemWake(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr && item->GetScene() != nullptr)
        item->GetScene()->GetPhysicWorld()->WakeItem(&item->body);
    return 0;
}

SQInteger ItemSleep(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr && item->GetScene() != nullptr)
        item->GetScene()->GetPhysicWorld()->SleepItem(&item->body);
    return 0;
}

SQInteger ItemIsSleeping(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item != nullptr && !item->body.IsAwake());
}

SQInteger ItemCollided(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item != nullptr && item->collisionItem.touching != 0);
}

// --- motions ----------------------------------------------------------------

SQInteger ItemGetMotion(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const char* name = GetString(v, 3);
    zMotion* motion = nullptr;
    if (item != nullptr && name != nullptr)
        motion = static_cast<zMotion*>(item->motions.FindByName(name));
    return PushHandle(v, motion, SqPtrMotion);
}

SQInteger ItemGetMotionFromIndex(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const SQInteger index = GetInt(v, 3);
    zMotion* motion = nullptr;
    if (item != nullptr && index >= 0 && index < item->motions.GetCount())
        motion = item->motions.GetAs<zMotion>(int32_t(index));
    return PushHandle(v, motion, SqPtrMotion);
}

SQInteger ItemMotionSlotSet(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    const SQInteger index = GetInt(v, 3);
    SQ_FETCH(zMotion, motion, 4, SqPtrMotion);
    if (zMotionSlot* slot = Slot(item, index)) {
        slot->Set(motion, GetFloat(v, 5), GetFloat(v, 6), GetFloat(v, 7));
        slot->clockScale = GetFloat(v, 8);
    }
    return 0;
}

SQInteger ItemMotionSlotStop(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zMotionSlot* slot = Slot(item, GetInt(v, 3)))
        slot->Set(nullptr, 0.0f, 1.0f, 0.0f);
    return 0;
}

SQInteger ItemStopMotion(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->Stop();
    return 0;
}

SQInteger ItemMotionSlotGet(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMotionSlot* slot = Slot(item, GetInt(v, 3));
    return PushHandle(v, slot != nullptr ? slot->motion : nullptr, SqPtrMotion);
}

SQInteger ItemMotionSlotIsPlaying(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMotionSlot* slot = Slot(item, GetInt(v, 3));
    return PushBool(v, slot != nullptr && slot->motion != nullptr);
}

SQInteger ItemMotionSlotIsDone(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMotionSlot* slot = Slot(item, GetInt(v, 3));
    return PushBool(v, slot == nullptr || slot->IsDone());
}

SQInteger ItemMotionSlotGetTime(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMotionSlot* slot = Slot(item, GetInt(v, 3));
    return PushFloat(v, slot != nullptr ? slot->time : -1.0f);
}

SQInteger ItemMotionSlotSetTime(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zMotionSlot* slot = Slot(item, GetInt(v, 3)))
        slot->time = GetFloat(v, 4);
    return 0;
}

SQInteger ItemMotionSlotGetClockScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    zMotionSlot* slot = Slot(item, GetInt(v, 3));
    return PushFloat(v, slot != nullptr ? slot->clockScale : 0.0f);
}

SQInteger ItemMotionSlotSetClockScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (zMotionSlot* slot = Slot(item, GetInt(v, 3)))
        slot->clockScale = GetFloat(v, 4);
    return 0;
}

SQInteger ItemMotionGetClockScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushFloat(v, item != nullptr ? item->clockScale : -1.0f);
}

SQInteger ItemMotionSetClockScale(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr)
        item->clockScale = GetFloat(v, 3);
    return 0;
}

SQInteger ItemMotionGetPaused(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    return PushBool(v, item != nullptr && (item->flags & zMotionPlayer::Paused) != 0);
}

SQInteger ItemMotionSetPaused(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr) {
        if (GetBool(v, 3))
            item->flags |= zMotionPlayer::Paused;
        else
            item->flags &= ~zMotionPlayer::Paused;
    }
    return 0;
}

SQInteger ItemMotionSetPropagation(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    if (item != nullptr) {
        item->SetPropagation(zMotionPlayer::PropagatePosition, GetBool(v, 3));
        item->SetPropagation(zMotionPlayer::PropagateRotation, GetBool(v, 4));
    }
    return 0;
}

SQInteger ItemIsMotionPlaying(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    bool playing = false;
    for (int i = 0; item != nullptr && i < zMotionPlayer::SlotCount; ++i)
        playing = playing || item->slots[i].motion != nullptr;
    return PushBool(v, playing);
}

SQInteger ItemIsMotionDone(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    bool done = true;
    for (int i = 0; item != nullptr && i < zMotionPlayer::SlotCount; ++i)
        done = done && item->slots[i].IsDone();
    return PushBool(v, done);
}

// A null second item leaves the first item's slots as they are.
SQInteger ItemReplicateItemMotion(HSQUIRRELVM v)
{
    ITEM_ARG(item);
    SQ_FETCH(zMItem, source, 3, SqPtrItem);
    if (item == nullptr || source == nullptr || item == source)
        return 0;
    for (int i = 0; i < zMotionPlayer::SlotCount; ++i) {
        item->slots[i].Set(source->slots[i].motion, 0.0f, 1.0f, 0.0f);
        item->slots[i].time = source->slots[i].time;
    }
    return 0;
}

struct Entry {
    const char* name;
    SQFUNCTION function;
    const char* mask;
};

const Entry kFunctions[] = {
    {"ItemDerivedCastToItem", ItemDerivedCastToItem, "x|tu"},
    {"ItemCastToLight", ItemCastToLight, "x|tu"},
    {"ItemGetType", ItemGetType, "x|tu"},
    {"ItemCompare", ItemCompare, "x|tuu"},
    {"ItemGetName", ItemGetName, "x|tu"},
    {"ItemPrint", ItemPrint, "x|tu"},
    {"ItemGetEngine", ItemGetEngine, "x|tu"},
    {"ItemGetScene", ItemGetScene, "x|tu"},
    {"ItemGetGeometry", ItemGetGeometry, "x|tu"},
    {"ItemGetScriptInstance", ItemGetScriptInstance, "x|tu"},
    {"ItemSetScript", ItemSetScript, "x|tuss"},
    {"ItemSetupScript", ItemSetupScript, "x|tu"},
    {"ItemSetup", ItemSetup, "x|tu"},
    {"ItemReset", ItemReset, "x|tu"},
    {"ItemGetScriptLogicFrequency", ItemGetScriptLogicFrequency, "x|tu"},
    {"ItemSetScriptLogicFrequency", ItemSetScriptLogicFrequency, "x|tuf"},
    {"ItemSetCommandList", ItemSetCommandList, "x|tus"},
    {"ItemResetCommandList", ItemResetCommandList, "x|tu"},
    {"ItemIsCommandListDone", ItemIsCommandListDone, "x|tu"},
    {"ItemActivate", ItemActivate, "x|tub"},
    {"ItemActivateHierarchy", ItemActivateHierarchy, "x|tub"},
    {"ItemIsActive", ItemIsActive, "x|tu"},
    {"ItemSetInvisible", ItemSetInvisible, "x|tub"},
    {"ItemGetFlags", ItemGetFlags, "x|tu"},
    {"ItemSetFlags", ItemSetFlags, "x|tuib"},
    {"ItemSetPriority", ItemSetPriority, "x|tuf"},
    {"ItemSetExcludeFromRecord", ItemSetExcludeFromRecord, "x|tub"},
    {"ItemGetExcludeFromRecord", ItemGetExcludeFromRecord, "x|tu"},
    {"ItemRecordLocation", ItemRecordLocation, "x|tu"},
    {"ItemGetAlpha", ItemGetAlpha, "x|tu"},
    {"ItemSetAlpha", ItemSetAlpha, "x|tuf"},
    {"ItemGetPosition", ItemGetPosition, "x|tu"},
    {"ItemSetPosition", ItemSetPosition, "x|tux"},
    {"ItemGetRotation", ItemGetRotation, "x|tu"},
    {"ItemSetRotation", ItemSetRotation, "x|tux"},
    {"ItemSetRotationQuaternion", ItemSetRotationQuaternion, "x|tux"},
    {"ItemGetScale", ItemGetScale, "x|tu"},
    {"ItemSetScale", ItemSetScale, "x|tux"},
    {"ItemGetPivot", ItemGetPivot, "x|tu"},
    {"ItemSetPivot", ItemSetPivot, "x|tux"},
    {"ItemGetWorldPosition", ItemGetWorldPosition, "x|tu"},
    {"ItemGetPreviousWorldPosition", ItemGetPreviousWorldPosition, "x|tu"},
    {"ItemGetMatrix", ItemGetMatrix, "x|tu"},
    {"ItemGetInverseMatrix", ItemGetInverseMatrix, "x|tu"},
    {"ItemGetLocalMatrix", ItemGetLocalMatrix, "x|tu"},
    {"ItemSetMatrix", ItemSetMatrix, "x|tux"},
    {"ItemGetRotationMatrix", ItemGetRotationMatrix, "x|tu"},
    {"ItemSetRotationMatrix", ItemSetRotationMatrix, "x|tux"},
    {"ItemSnapshotTransformation", ItemSnapshotTransformation, "x|tu"},
    {"ItemSnapshotMatrix", ItemSnapshotMatrix, "x|tux"},
    {"ItemSetLogicTransformation", ItemSetLogicTransformation, "x|tux"},
    {"ItemGetRotationOrder", ItemGetRotationOrder, "x|tu"},
    {"ItemSetRotationOrder", ItemSetRotationOrder, "x|tui"},
    {"ItemSetOrientationMethod", ItemSetOrientationMethod, "x|tui"},
    {"ItemComputeMatrix", ItemComputeMatrix, "x|tu"},
    {"ItemComputeLocalMatrix", ItemComputeLocalMatrix, "x|tu"},
    {"ItemComputeMinMax", ItemComputeMinMax, "x|tu"},
    {"ItemGetMinMax", ItemGetMinMax, "x|tu"},
    {"ItemGetParent", ItemGetParent, "x|tu"},
    {"ItemSetLink", ItemSetLink, "x|tuu"},
    {"ItemSetParent", ItemSetLink, "x|tuu"},
    {"ItemSetLinkInheritsPositionOnly", ItemSetLinkInheritsPositionOnly, "x|tub"},
    {"ItemSetTarget", ItemSetTarget, "x|tux"},
    {"ItemSetNoTarget", ItemSetNoTarget, "x|tu"},
    {"ItemGetTarget", ItemGetTarget, "x|tu"},
    {"ItemSetTargetOffsetRotation", ItemSetTargetOffsetRotation, "x|tux"},
    {"ItemGetTargetOffsetRotation", ItemGetTargetOffsetRotation, "x|tu"},
    // Rigid body and collision.
    {"ItemGetSpeed", ItemGetSpeed, "x|tu"},
    {"ItemGetLinearVelocity", ItemGetLinearVelocity, "x|tu"},
    {"ItemGetPreviousLinearVelocity", ItemGetPreviousLinearVelocity, "x|tu"},
    {"ItemGetLinearAcceleration", ItemGetLinearAcceleration, "x|tu"},
    {"ItemSetLinearVelocity", ItemSetLinearVelocity, "x|tux"},
    {"ItemGetAngularVelocity", ItemGetAngularVelocity, "x|tu"},
    {"ItemSetAngularVelocity", ItemSetAngularVelocity, "x|tux"},
    {"ItemApplyLinearForce", ItemApplyLinearForce, "x|tux"},
    {"ItemApplyForce", ItemApplyForce, "x|tuxx"},
    {"ItemApplyLinearImpulse", ItemApplyLinearImpulse, "x|tux"},
    {"ItemApplyImpulse", ItemApplyImpulse, "x|tuxx"},
    {"ItemApplyTorque", ItemApplyTorque, "x|tux"},
    {"ItemWorldPointVelocity", ItemWorldPointVelocity, "x|tux"},
    {"ItemPointVelocity", ItemPointVelocity, "x|tux"},
    {"ItemGetCenterOfMass", ItemGetCenterOfMass, "x|tu"},
    {"ItemGetMass", ItemGetMass, "x|tu"},
    {"ItemSetInertiaTensorAndCom", ItemSetInertiaTensorAndCom, "x|tuxx"},
    {"ItemUpdateInertiaTensorFromCollision", ItemUpdateInertiaTensorFromCollision, "x|tu"},
    {"ItemSetLinearDamping", ItemSetLinearDamping, "x|tuf"},
    {"ItemSetAngularDamping", ItemSetAngularDamping, "x|tuf"},
    {"ItemSetGravityScale", ItemSetGravityScale, "x|tuf"},
    {"ItemGetPhysicMode", ItemGetPhysicMode, "x|tu"},
    {"ItemSetPhysicMode", ItemSetPhysicMode, "x|tui"},
    {"ItemPhysicGetFlag", ItemPhysicGetFlag, "x|tu"},
    {"ItemPhysicSetFlag", ItemPhysicSetFlag, "x|tui"},
    {"ItemGetPhysicPosition", ItemGetPhysicPosition, "x|tu"},
    {"ItemSetPhysicPosition", ItemSetPhysicPosition, "x|tux"},
    {"ItemGetPhysicRotation", ItemGetPhysicRotation, "x|tu"},
    {"ItemSetPhysicRotation", ItemSetPhysicRotation, "x|tux"},
    {"ItemPhysicResetTransformation", ItemPhysicResetTransformation, "x|tuxx"},
    {"ItemPhysicSynchronizeCollision", ItemPhysicSynchronizeCollision, "x|tu"},
    {"ItemWake", ItemWake, "x|tu"},
    {"ItemSleep", ItemSleep, "x|tu"},
    {"ItemIsSleeping", ItemIsSleeping, "x|tu"},
    {"ItemCollided", ItemCollided, "x|tu"},
    // Motions.
    {"ItemGetMotion", ItemGetMotion, "x|tus"},
    {"ItemGetMotionFromIndex", ItemGetMotionFromIndex, "x|tui"},
    {"ItemMotionSlotSet", ItemMotionSlotSet, "x|tuiuffff"},
    {"ItemSetMotion", ItemMotionSlotSet, "x|tuiuffff"},
    {"ItemMotionSlotStop", ItemMotionSlotStop, "x|tui"},
    {"ItemStopMotion", ItemStopMotion, "x|tu"},
    {"ItemMotionSlotGet", ItemMotionSlotGet, "x|tui"},
    {"ItemMotionSlotIsPlaying", ItemMotionSlotIsPlaying, "x|tui"},
    {"ItemMotionSlotIsDone", ItemMotionSlotIsDone, "x|tui"},
    {"ItemMotionSlotGetTime", ItemMotionSlotGetTime, "x|tui"},
    {"ItemMotionSlotSetTime", ItemMotionSlotSetTime, "x|tuif"},
    {"ItemMotionSlotGetClockScale", ItemMotionSlotGetClockScale, "x|tui"},
    {"ItemMotionSlotSetClockScale", ItemMotionSlotSetClockScale, "x|tuif"},
    {"ItemMotionGetClockScale", ItemMotionGetClockScale, "x|tu"},
    {"ItemMotionSetClockScale", ItemMotionSetClockScale, "x|tuf"},
    {"ItemMotionGetPaused", ItemMotionGetPaused, "x|tu"},
    {"ItemMotionSetPaused", ItemMotionSetPaused, "x|tub"},
    {"ItemMotionSetPropagation", ItemMotionSetPropagation, "x|tubb"},
    {"ItemIsMotionPlaying", ItemIsMotionPlaying, "x|tu"},
    {"ItemIsMotionDone", ItemIsMotionDone, "x|tu"},
    {"ItemReplicateItemMotion", ItemReplicateItemMotion, "x|tuu"},
};

struct Constant {
    const char* name;
    SQInteger value;
};

const Constant kConstants[] = {
    {"OrientationEuler", zItem::OrientationEuler},
    {"OrientationMatrix", zItem::OrientationMatrix},
    {"OrientationQuaternion", zItem::OrientationQuaternion},
    {"OrientationExternal", zItem::OrientationExternal},
    {"ItemTypeNone", 0},
    {"ItemTypeCamera", zMItem::KindCamera},
    {"ItemTypeObject", zMItem::KindObject},
    {"ItemTypeLight", zMItem::KindLight},
    {"ItemTypeTrigger", zMItem::KindTrigger},
    {"RotationOrderZYX", 0},
    {"RotationOrderYZX", 1},
    {"RotationOrderZXY", 2},
    {"RotationOrderXZY", 3},
    {"RotationOrderYXZ", 4},
    {"RotationOrderXYZ", 5},
    {"RotationOrderXY", 6},
    {"RotationOrderDefault", zItem::DefaultRotationOrder},
    {"ItemFlagNone", 0},
    {"ItemFlagBillboard", zMItem::BillboardFlag},
    {"PhysicFlagNone", 0},
    {"PhysicFlagNoGravity", 1},
    {"PhysicFlagNoForceField", 2},
    {"PhysicFlagMobile", 4},
    {"PhysicFlagGhost", 8},
};

} // namespace

void SqRegisterItemFunctions(HSQUIRRELVM v)
{
    for (const Entry& e : kFunctions)
        SqRegisterFunction(v, e.function, e.name, e.mask);
    for (const Constant& c : kConstants)
        RegisterInteger(v, c.name, c.value);
    RegisterNullHandle(v, "NullGeometry", SqPtrGeometry);
}
