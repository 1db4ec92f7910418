#include "manager/item/zMItem.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GColShape.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauConstraint.h"

#include <new>

using namespace sqfamily;

namespace {

const zVector kZero(0.0f, 0.0f, 0.0f, 1.0f);

TauItem* BodyOf(zMItem* item)
{
    return item != nullptr ? &item->body : nullptr;
}

#define CONSTRAINT_ARG(var) SQ_FETCH(TauConstraint, var, 2, SqPtrPhysicConstraint)

// The new constraint joins the scene's physics world, which owns it: it is
// solved with the world's other constraints and deleted with the scene's
// content (its handles go stale then). The handle borrows it.
SQInteger PositionConstraintNew(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    SQ_FETCH(zMItem, anchor, 3, SqPtrItem);
    SQ_FETCH(zMItem, target, 4, SqPtrItem);
    SQ_VECTOR_ARG(anchorHook, 5);
    SQ_VECTOR_ARG(targetHook, 6);
    TauConstraint* constraint = nullptr;
    if (scene != nullptr) {
        anchorHook.w = 1.0f;
        targetHook.w = 1.0f;
        constraint = new (std::nothrow)
            TauPositionConstraint(&scene->physics, BodyOf(anchor), BodyOf(target), &anchorHook, &targetHook, 0);
        if (constraint != nullptr)
            scene->physics.AddConstraint(constraint);
    }
    return PushHandle(v, constraint, SqPtrPhysicConstraint);
}

SQInteger ConstraintEnable(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    if (constraint != nullptr)
        constraint->Enable = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger ConstraintSetStrength(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    if (constraint != nullptr)
        constraint->SetStrength(GetFloat(v, 3));
    return 0;
}

SQInteger ConstraintSetMaximumErrorCorrection(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    if (constraint != nullptr)
        constraint->MaxErrorCorrection = GetFloat(v, 3);
    return 0;
}

SQInteger ConstraintSetAnchorRotation(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    const zVector angles = GetVector(v, 3);
    if (constraint != nullptr)
        constraint->anchorRotation = zMatrix3::FromEuler(angles.x, angles.y, angles.z, RotationOrderYXZ);
    return 0;
}

SQInteger ConstraintSetAnchorItem(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    if (constraint != nullptr)
        constraint->SetAnchor(BodyOf(item));
    return 0;
}

SQInteger ConstraintSetTargetItem(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    if (constraint != nullptr)
        constraint->SetTarget(BodyOf(item));
    return 0;
}

SQInteger ConstraintSetAnchorHook(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    const zVector hook = GetVector(v, 3);
    if (constraint != nullptr)
        constraint->SetAnchorHook(&hook);
    return 0;
}

SQInteger ConstraintSetTargetHook(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    const zVector hook = GetVector(v, 3);
    if (constraint != nullptr)
        constraint->SetTargetHook(&hook);
    return 0;
}

SQInteger ConstraintGetAnchorHookWorld(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    return PushVector(v, constraint != nullptr ? constraint->worldAnchor : kZero);
}

SQInteger ConstraintGetTargetHookWorld(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    return PushVector(v, constraint != nullptr ? constraint->worldTarget : kZero);
}

SQInteger ConstraintGetCurrentHookDistance(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    if (constraint == nullptr)
        return PushFloat(v, 0.1f);
    const zVector& a = constraint->worldAnchor;
    const zVector& b = constraint->worldTarget;
    return PushFloat(v, zVector(b.x - a.x, b.y - a.y, b.z - a.z, 0.0f).Length());
}

SQInteger ConstraintSetCorrectionVector(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    zVector direction = GetVector(v, 3);
    direction.w = 0.0f;
    if (constraint != nullptr) {
        zVector normalised = direction.Normalized();
        normalised.w = 1.0f;
        constraint->correctionVector = normalised;
    }
    return 0;
}

SQInteger ConstraintUseCorrectionVector(HSQUIRRELVM v)
{
    CONSTRAINT_ARG(constraint);
    if (constraint != nullptr)
        constraint->useCorrectionVector = GetBool(v, 3) ? 1 : 0;
    return 0;
}

#define SHAPE_ARG(var) SQ_FETCH(GColShape, var, 2, SqPtrCollisionShape)

SQInteger ShapeGetItem(HSQUIRRELVM v)
{
    SHAPE_ARG(shape);
    zMItem* item = nullptr;
    if (shape != nullptr && shape->owner != nullptr)
        item = zMItem::FromCoreItem(static_cast<const zItem*>(shape->owner->owner));
    return PushHandle(v, item, SqPtrItem);
}

SQInteger ShapeGetMass(HSQUIRRELVM v)
{
    SHAPE_ARG(shape);
    return PushFloat(v, shape != nullptr ? shape->Mass : -1.0f);
}

SQInteger ShapeSetMass(HSQUIRRELVM v)
{
    SHAPE_ARG(shape);
    if (shape != nullptr)
        shape->Mass = GetFloat(v, 3);
    return 0;
}

SQInteger ShapeSetRestitution(HSQUIRRELVM v)
{
    SHAPE_ARG(shape);
    if (shape != nullptr)
        shape->Restitution = GetFloat(v, 3);
    return 0;
}

SQInteger ShapeSetFriction(HSQUIRRELVM v)
{
    SHAPE_ARG(shape);
    if (shape != nullptr) {
        shape->StaticFriction = GetFloat(v, 3);
        shape->DynamicFriction = GetFloat(v, 4);
    }
    return 0;
}

SQInteger ItemGetShapeFromIndex(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrItem);
    const SQInteger index = GetInt(v, 3);
    GColShape* shape = nullptr;
    if (item != nullptr && index >= 0 && index < item->collisionItem.GetShapeCount())
        shape = item->collisionItem.GetShape(int32_t(index));
    return PushHandle(v, shape, SqPtrCollisionShape);
}

SQInteger ItemSetSelfMask(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrItem);
    if (item != nullptr)
        item->collisionItem.SelfMask = int32_t(GetInt(v, 3));
    return 0;
}

SQInteger ItemSetCollisionMask(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrItem);
    if (item != nullptr)
        item->collisionItem.Mask = int32_t(GetInt(v, 3));
    return 0;
}

} // namespace

void SqRegisterPhysicShapeFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, ShapeGetItem, "ShapeGetItem", "x|tu");
    SqRegisterFunction(v, ShapeGetMass, "ShapeGetMass", "x|tu");
    SqRegisterFunction(v, ShapeSetMass, "ShapeSetMass", "x|tuf");
    SqRegisterFunction(v, ShapeSetRestitution, "ShapeSetRestitution", "x|tuf");
    SqRegisterFunction(v, ShapeSetFriction, "ShapeSetFriction", "x|tuff");
    SqRegisterFunction(v, ItemGetShapeFromIndex, "ItemGetShapeFromIndex", "x|tui");
    SqRegisterFunction(v, ItemSetSelfMask, "ItemSetSelfMask", "x|tui");
    SqRegisterFunction(v, ItemSetCollisionMask, "ItemSetCollisionMask", "x|tui");
    RegisterInteger(v, "CollisionTraceMesh", 1);
    RegisterInteger(v, "CollisionTraceSphere", 2);
    RegisterInteger(v, "CollisionTraceCuboid", 4);
    RegisterInteger(v, "CollisionTraceAll", -1);
}

void SqRegisterPhysicConstraintFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, PositionConstraintNew, "PositionConstraintNew", "x|tuuuxx");
    SqRegisterFunction(v, ConstraintEnable, "ConstraintEnable", "x|tub");
    SqRegisterFunction(v, ConstraintSetStrength, "ConstraintSetStrength", "x|tuf");
    SqRegisterFunction(v, ConstraintSetMaximumErrorCorrection, "ConstraintSetMaximumErrorCorrection", "x|tuf");
    SqRegisterFunction(v, ConstraintSetAnchorRotation, "ConstraintSetAnchorRotation", "x|tux");
    SqRegisterFunction(v, ConstraintSetAnchorItem, "ConstraintSetAnchorItem", "x|tuu");
    SqRegisterFunction(v, ConstraintSetTargetItem, "ConstraintSetTargetItem", "x|tuu");
    SqRegisterFunction(v, ConstraintSetAnchorHook, "ConstraintSetAnchorHook", "x|tux");
    SqRegisterFunction(v, ConstraintSetTargetHook, "ConstraintSetTargetHook", "x|tux");
    SqRegisterFunction(v, ConstraintGetAnchorHookWorld, "ConstraintGetAnchorHookWorld", "x|tu");
    SqRegisterFunction(v, ConstraintGetTargetHookWorld, "ConstraintGetTargetHookWorld", "x|tu");
    SqRegisterFunction(v, ConstraintGetCurrentHookDistance, "ConstraintGetCurrentHookDistance", "x|tu");
    SqRegisterFunction(v, ConstraintSetCorrectionVector, "ConstraintSetCorrectionVector", "x|tux");
    SqRegisterFunction(v, ConstraintUseCorrectionVector, "ConstraintUseCorrectionVector", "x|tub");
    RegisterInteger(v, "PhysicModeNone", 0);
    RegisterInteger(v, "PhysicModeRigidBody", 1);
    RegisterInteger(v, "PhysicModeSoftBody", 2);
}
