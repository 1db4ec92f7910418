#include "manager_binding/zBindAI.h"

#include "ai/zAIPath.h"
#include "ai/zAIWorld.h"
#include "framework/math/zVector.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"

namespace {

// SceneLoadAIPath(scene, file): appends the paths of a scene file.
SQInteger SceneLoadAIPath(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    const SQChar* file = nullptr;
    sq_getstring(v, 3, &file);
    if (scene != nullptr)
        scene->aiWorld.LoadPathFromScene(file);
    return 0;
}

// SceneFindAIPath(scene, name) -> Path: the first path of that name.
SQInteger SceneFindAIPath(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    const SQChar* name = nullptr;
    sq_getstring(v, 3, &name);
    zAIPath* path = scene != nullptr ? scene->aiWorld.GetPath(name) : nullptr;
    SqPushSafePtr(v, path, SqPtrPath);
    return 1;
}

// AIPathGetMotion(path) -> Motion: the motion the path was built from, owned
// by the path.
SQInteger AIPathGetMotion(HSQUIRRELVM v)
{
    zAIPath* path = nullptr;
    if (!SqGetSafePtr(v, 2, &path, SqPtrPath))
        return sq_suspendvm(v);
    SqPushSafePtr(v, path != nullptr ? &path->motion : nullptr, SqPtrMotion);
    return 1;
}

// AIPathGetClosestPoint(path, point) -> Vector: the point of the path closest
// to point; (0, 0, 0, 1) when there is none.
SQInteger AIPathGetClosestPoint(HSQUIRRELVM v)
{
    zAIPath* path = nullptr;
    if (!SqGetSafePtr(v, 2, &path, SqPtrPath))
        return sq_suspendvm(v);
    zVector point;
    SqGetVector(v, 3, point);
    zVector closest(0.0f, 0.0f, 0.0f, 1.0f);
    if (path != nullptr && !path->GetClosestPoint(point, closest))
        closest = zVector(0.0f, 0.0f, 0.0f, 1.0f);
    if (!SqPushVector(v, closest))
        sq_pushnull(v);
    return 1;
}

// AIPathGetClosestTime(path, point) -> the path time at the point closest to
// point: -1 when there is none, 0 for a null path.
SQInteger AIPathGetClosestTime(HSQUIRRELVM v)
{
    zAIPath* path = nullptr;
    if (!SqGetSafePtr(v, 2, &path, SqPtrPath))
        return sq_suspendvm(v);
    zVector point;
    SqGetVector(v, 3, point);
    float time = 0.0f;
    if (path != nullptr) {
        zVector closest;
        path->GetClosestPoint(point, closest, &time);
    }
    sq_pushfloat(v, SQFloat(time));
    return 1;
}

} // namespace

void SqRegisterAIFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SceneLoadAIPath, "SceneLoadAIPath", "x|tus");
    SqRegisterFunction(v, SceneFindAIPath, "SceneFindAIPath", "x|tus");
    SqRegisterFunction(v, SceneFindAIPath, "SceneAIPathFind", "x|tus");
    SqRegisterFunction(v, AIPathGetMotion, "AIPathGetMotion", "x|tu");
    SqRegisterFunction(v, AIPathGetClosestPoint, "AIPathGetClosestPoint", "x|tux");
    SqRegisterFunction(v, AIPathGetClosestTime, "AIPathGetClosestTime", "x|tux");

    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, "NullPath", -1);
    SqPushSafePtr(v, nullptr, SqPtrPath);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}
