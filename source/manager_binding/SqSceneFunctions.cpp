#include "manager_binding/SqSceneFunctions.h"

#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "script/SqSafePtr.h"

namespace {

SQInteger SceneEnd(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    if (scene != nullptr)
        scene->RequestQuit();
    return 0;
}

// The interface every 3D scene embeds, as a window-system handle; null for a
// null scene. The handle dies with the scene.
SQInteger SceneGetUI(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    SqPushSafePtr(v, scene != nullptr ? &scene->ui : nullptr, SqPtrWindowSystem);
    return 1;
}

} // namespace

void SqRegisterSceneFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SceneEnd, "SceneEnd", "x|tu");
    SqRegisterFunction(v, SceneGetUI, "SceneGetUI", "x|tu");
    SqRegisterFunction(v, SceneGetUI, "SceneGetWindowSystem", "x|tu");
}
