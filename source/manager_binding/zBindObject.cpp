#include "core/geometry/zGeometry.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/motion/zHierarchyMotion.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"

using namespace sqfamily;

namespace {

zMObject* AsObject(zMItem* item)
{
    return item != nullptr && item->GetKind() == zMItem::KindObject ? static_cast<zMObject*>(item) : nullptr;
}

#define OBJECT_ARG(var, idx)                                                                                         \
    SQ_FETCH(zMItem, var##_item, idx, SqPtrObject);                                                                  \
    zMObject* var = AsObject(var##_item)

// A null scene or a failed allocation gives a null Object handle.
SQInteger SceneAddObject(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    const char* name = GetString(v, 3);
    zMObject* object = scene != nullptr ? scene->AddObject(name, nullptr) : nullptr;
    if (object != nullptr) {
        object->Setup();
        object->ResetItem();
    }
    return PushHandle(v, static_cast<zMItem*>(object), SqPtrObject);
}

SQInteger SceneDeleteObject(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    OBJECT_ARG(object, 3);
    if (scene != nullptr && object != nullptr)
        scene->DeleteItem(object);
    return 0;
}

SQInteger ObjectGetItem(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrObject);
    return PushHandle(v, item, SqPtrItem);
}

// Another kind or a null item gives a null Object handle with an error line;
// the script goes on.
SQInteger ItemCastToObject(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrItem);
    if (item == nullptr) {
        LogError("ItemCastToObject") << "Item is NULL.\n";
    } else if (item->GetKind() != zMItem::KindObject) {
        LogError("ItemCastToObject") << "Incorrect cast, item is not an object.\n";
        item = nullptr;
    }
    return PushHandle(v, item, SqPtrObject);
}

SQInteger ObjectSetGeometry(HSQUIRRELVM v)
{
    OBJECT_ARG(object, 2);
    SQ_FETCH(zGeometry, geometry, 3, SqPtrGeometry);
    if (object == nullptr)
        return 0;
    if (geometry != nullptr)
        geometry->Setup();
    object->object.SetGeometry(geometry, true);
    return 0;
}

SQInteger ObjectGetGeometry(HSQUIRRELVM v)
{
    OBJECT_ARG(object, 2);
    return PushHandle(v, object != nullptr ? object->object.geometry : nullptr, SqPtrGeometry);
}

// The bool argument is read for the mask; the skin player has no use for it.
SQInteger ObjectSetSkinMotion(HSQUIRRELVM v)
{
    OBJECT_ARG(object, 2);
    const char* name = GetString(v, 3);
    if (object == nullptr || name == nullptr)
        return 0;
    auto* motion = static_cast<zHierarchyMotion*>(object->skinMotions.FindByName(name));
    if (motion != nullptr)
        zMObject::SkinSetHierarchyMotion(object->object, motion, GetFloat(v, 4), GetFloat(v, 5), GetFloat(v, 6));
    return 0;
}

SQInteger ObjectSetSkinMotionClockScale(HSQUIRRELVM v)
{
    OBJECT_ARG(object, 2);
    if (object != nullptr)
        zMObject::SkinSetMotionClockScale(object->object, GetFloat(v, 3));
    return 0;
}

SQInteger ObjectStopAllSkinMotion(HSQUIRRELVM v)
{
    OBJECT_ARG(object, 2);
    if (object != nullptr)
        zMObject::SkinStopAllMotion(object->object);
    return 0;
}

} // namespace

void SqRegisterObjectFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SceneAddObject, "SceneAddObject", "x|tus");
    SqRegisterFunction(v, SceneDeleteObject, "SceneDeleteObject", "x|tuu");
    SqRegisterFunction(v, ObjectGetItem, "ObjectGetItem", "x|tu");
    SqRegisterFunction(v, ItemCastToObject, "ItemCastToObject", "x|tu");
    SqRegisterFunction(v, ObjectSetGeometry, "ObjectSetGeometry", "x|tuu");
    SqRegisterFunction(v, ObjectGetGeometry, "ObjectGetGeometry", "x|tu");
    SqRegisterFunction(v, ObjectSetSkinMotion, "ObjectSetSkinMotion", "x|tusfffb");
    SqRegisterFunction(v, ObjectSetSkinMotionClockScale, "ObjectSetSkinMotionClockScale", "x|tuf");
    SqRegisterFunction(v, ObjectStopAllSkinMotion, "ObjectStopAllSkinMotion", "x|tu");
}
