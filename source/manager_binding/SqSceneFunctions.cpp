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

} // namespace

void SqRegisterSceneFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SceneEnd, "SceneEnd", "x|tu");
}
