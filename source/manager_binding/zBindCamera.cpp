#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "framework/math/zFrustum.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"

using namespace sqfamily;

namespace {

const zVector kMinusOne(-1.0f, -1.0f, -1.0f, 1.0f);

zMCamera* AsCamera(zMItem* item)
{
    return item != nullptr && item->GetKind() == zMItem::KindCamera ? static_cast<zMCamera*>(item) : nullptr;
}

#define CAMERA_ARG(var, idx)                                                                                         \
    SQ_FETCH(zMItem, var##_item, idx, SqPtrCamera);                                                                  \
    zMCamera* var = AsCamera(var##_item)

SQInteger GetGlobalAspectRatio(HSQUIRRELVM v)
{
    return PushFloat(v, GlobalAspectRatio);
}

SQInteger SetGlobalAspectRatio(HSQUIRRELVM v)
{
    GlobalAspectRatio = GetFloat(v, 2);
    return 0;
}

// A null scene or a failed allocation gives a null Camera handle.
SQInteger SceneAddCamera(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    const char* name = GetString(v, 3);
    zMCamera* camera = scene != nullptr ? scene->AddCamera(name) : nullptr;
    if (camera != nullptr) {
        camera->Setup();
        camera->ResetItem();
    }
    return PushHandle(v, static_cast<zMItem*>(camera), SqPtrCamera);
}

SQInteger SceneGetCurrentCamera(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    zMItem* camera = scene != nullptr && scene->currentCamera != nullptr ? zMItem::FromCoreItem(scene->currentCamera)
                                                                          : nullptr;
    return PushHandle(v, camera, SqPtrCamera);
}

SQInteger SceneSetCurrentCamera(HSQUIRRELVM v)
{
    SQ_FETCH(zScene, scene, 2, SqPtrScene);
    CAMERA_ARG(camera, 3);
    if (scene != nullptr)
        scene->SetCurrentCamera(camera != nullptr ? &camera->camera : nullptr);
    return 0;
}

SQInteger CameraGetItem(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrCamera);
    return PushHandle(v, item, SqPtrItem);
}

SQInteger ItemCastToCamera(HSQUIRRELVM v)
{
    SQ_FETCH(zMItem, item, 2, SqPtrItem);
    // An item deleted since is no error of the script's: no camera.
    if (item == nullptr && SqSafePtrIsStale(v, 2))
        return PushHandle(v, nullptr, SqPtrCamera);
    if (item == nullptr) {
        LogError("ItemCastToCamera") << "Item is NULL.\n";
        return sq_suspendvm(v);
    }
    if (item->GetKind() != zMItem::KindCamera) {
        LogError("ItemCastToCamera") << "Item is not a camera.\n";
        return sq_suspendvm(v);
    }
    return PushHandle(v, item, SqPtrCamera);
}

SQInteger CameraGetFov(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    return PushFloat(v, camera != nullptr ? camera->camera.GetFov() : -1.0f);
}

SQInteger CameraSetFov(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    if (camera == nullptr)
        LogError("CameraSetFov") << "Item is NULL.\n";
    else
        camera->camera.SetFov(GetFloat(v, 3));
    return 0;
}

SQInteger CameraSetClipping(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    if (camera == nullptr) {
        LogError("CameraSetClipping") << "Item is NULL.\n";
    } else {
        camera->camera.SetZNear(GetFloat(v, 3));
        camera->camera.SetZFar(GetFloat(v, 4));
    }
    return 0;
}

SQInteger CameraGetAspectRatio(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    return PushFloat(v, camera != nullptr ? camera->camera.aspect : -1.0f);
}

SQInteger CameraSetAspectRatio(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    if (camera != nullptr)
        camera->camera.aspect = GetFloat(v, 3);
    return 0;
}

SQInteger CameraSetAspectRatioRefAxis(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    if (camera != nullptr)
        camera->camera.aspectReferenceX = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger CameraCullObject(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    SQ_FETCH(zMItem, objectItem, 3, SqPtrObject);
    zMObject* object =
        objectItem != nullptr && objectItem->GetKind() == zMItem::KindObject ? static_cast<zMObject*>(objectItem) : nullptr;
    if (camera == nullptr || object == nullptr || object->object.geometry == nullptr) {
        LogError("CameraCullObject") << "Incomplete argument list.\n";
        return PushInt(v, 0);
    }
    zFrustum frustum;
    camera->camera.ComputeFrustum(frustum, camera->camera.zNear, camera->camera.zFar);
    return PushInt(v, frustum.ClassifyMinMax(object->object.geometry->bounds, &object->object.worldMatrix));
}

// A null camera or a point behind the camera gives (-1, -1, -1).
SQInteger CameraWorldToScreen(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    const zVector point = GetVector(v, 3);
    zVector out = kMinusOne;
    if (camera == nullptr || !camera->camera.WorldToScreen(point, out, true))
        out = kMinusOne;
    return PushVector(v, out);
}

SQInteger CameraScreenToWorld(HSQUIRRELVM v)
{
    CAMERA_ARG(camera, 2);
    zVector out = kMinusOne;
    if (camera != nullptr)
        camera->camera.ScreenToWorld(out, GetFloat(v, 3), GetFloat(v, 4));
    return PushVector(v, out);
}

} // namespace

void SqRegisterCameraFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, GetGlobalAspectRatio, "GetGlobalAspectRatio", "x|t");
    SqRegisterFunction(v, SetGlobalAspectRatio, "SetGlobalAspectRatio", "x|tf");
    SqRegisterFunction(v, SceneAddCamera, "SceneAddCamera", "x|tus");
    SqRegisterFunction(v, SceneGetCurrentCamera, "SceneGetCurrentCamera", "x|tu");
    SqRegisterFunction(v, SceneSetCurrentCamera, "SceneSetCurrentCamera", "x|tuu");
    SqRegisterFunction(v, CameraGetItem, "CameraGetItem", "x|tu");
    SqRegisterFunction(v, ItemCastToCamera, "ItemCastToCamera", "x|tu");
    SqRegisterFunction(v, CameraGetFov, "CameraGetFov", "x|tu");
    SqRegisterFunction(v, CameraSetFov, "CameraSetFov", "x|tuf");
    SqRegisterFunction(v, CameraSetClipping, "CameraSetClipping", "x|tuff");
    SqRegisterFunction(v, CameraGetAspectRatio, "CameraGetAspectRatio", "x|tu");
    SqRegisterFunction(v, CameraSetAspectRatio, "CameraSetAspectRatio", "x|tuf");
    SqRegisterFunction(v, CameraSetAspectRatioRefAxis, "CameraSetAspectRatioRefAxis", "x|tub");
    SqRegisterFunction(v, CameraCullObject, "CameraCullObject", "x|tuu");
    SqRegisterFunction(v, CameraWorldToScreen, "CameraWorldToScreen", "x|tux");
    SqRegisterFunction(v, CameraScreenToWorld, "CameraScreenToWorld", "x|tuff");
    RegisterInteger(v, "VisibilityOutside", FrustumOutside);
    RegisterInteger(v, "VisibilityInside", FrustumInside);
    RegisterInteger(v, "VisibilityClipped", FrustumClipped);
}
