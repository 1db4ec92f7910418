#include "manager_binding/SqProjectFunctions.h"

#include "framework/system/zLogStream.h"
#include "manager_binding/SqBinding.h"
#include "project/zProject.h"
#include "project/zProjectScene3D.h"
#include "script/SqSafePtr.h"
#include "ui/zScene2D.h"

#include <new>

namespace {

// Pushes the script instance of a unit, or the integer 0 without one.
void PushUnitInstance(HSQUIRRELVM v, const zScriptUnit* unit)
{
    if (unit != nullptr && unit->IsOpened() && !sq_isnull(unit->GetInstance())) {
        sq_pushobject(v, unit->GetInstance());
        return;
    }
    sq_pushinteger(v, 0);
}

SQInteger ProjectGetScriptInstance(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject))
        return sq_suspendvm(v);
    if (project == nullptr) {
        // Only an empty handle is refused; a project deleted since has no instance.
        if (!SqSafePtrIsStale(v, 2))
            return sq_suspendvm(v);
        sq_pop(v, 1);
        sq_pushnull(v);
        return 1;
    }
    sq_pop(v, 1);
    if (project->IsOpened() && !sq_isnull(project->GetInstance()))
        sq_pushobject(v, project->GetInstance());
    else
        sq_pushnull(v);
    return 1;
}

SQInteger ProjectUpdateScriptClock(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject))
        return sq_suspendvm(v);
    if (project != nullptr)
        project->UpdateScriptClock();
    return 0;
}

SQInteger ProjectEnd(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject))
        return sq_suspendvm(v);
    if (project != nullptr)
        project->RequestQuit();
    return 0;
}

SQInteger ProjectAddLayer(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    zProjectScene* instance = nullptr;
    SQInteger mode = 0;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_getinteger(v, 4, &mode);
    zProjectLayer* layer = nullptr;
    if (project != nullptr && instance != nullptr)
        layer = project->AddLayer(instance, int32_t(mode));
    sq_pop(v, 3);
    SqPushSafePtr(v, layer, SqPtrProjectLayer);
    return 1;
}

SQInteger MoveLayer(HSQUIRRELVM v, bool front)
{
    zProject* project = nullptr;
    zProjectLayer* layer = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &layer, SqPtrProjectLayer))
        return sq_suspendvm(v);
    if (project == nullptr)
        return 0;
    const bool moved = front ? project->MoveLayerToFront(layer) : project->MoveLayerToBack(layer);
    if (!moved)
        LogError(front ? "ProjectLayerMoveToFront" : "ProjectLayerMoveToBack") << "Failed to locate layer in project.\n";
    return 0;
}

SQInteger ProjectLayerMoveToFront(HSQUIRRELVM v)
{
    return MoveLayer(v, true);
}

SQInteger ProjectLayerMoveToBack(HSQUIRRELVM v)
{
    return MoveLayer(v, false);
}

SQInteger ProjectNewScene(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    if (project == nullptr) {
        SqPushSafePtr(v, nullptr, SqPtrScene, true);
        return 1;
    }
    *GlobalLogStream << "[|] New scene!\n";
    zScene* scene = zProjectScene3D::New(project->GetCore(), &project->GetMaster());
    SqPushSafePtr(v, scene, SqPtrScene, true);
    return 1;
}

SQInteger ProjectGetSceneLayerList(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_pop(v, 2);
    sq_newarray(v, 0);
    if (project == nullptr || instance == nullptr)
        return 1;
    zLinkedListCursor cursor;
    while (auto* layer = project->GetLayers().NextAs<zProjectLayer>(cursor)) {
        if (layer->instance != instance)
            continue;
        SqPushSafePtr(v, layer, SqPtrProjectLayer);
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger ProjectSceneIsActive(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_pop(v, 2);
    sq_pushbool(v, project != nullptr && instance != nullptr && instance->active ? SQTrue : SQFalse);
    return 1;
}

SQInteger ProjectSceneActivate(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    zProjectScene* instance = nullptr;
    SQBool state = SQFalse;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_getbool(v, 4, &state);
    if (project != nullptr && instance != nullptr)
        project->ActivateScene(instance, state != SQFalse);
    return 0;
}

SQInteger ProjectInstantiateScene(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    const SQChar* uri = "";
    SQInteger mode = 0;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject))
        return sq_suspendvm(v);
    sq_getstring(v, 3, &uri);
    sq_getinteger(v, 4, &mode);
    zProjectScene* instance = nullptr;
    if (project != nullptr) {
        zProjectSceneDecl* declaration = project->FindScene(uri);
        if (declaration == nullptr)
            LogError("ProjectInstantiateScene") << "Scene '" << uri << "' does not exist in project.\n";
        else
            instance = project->Instantiate(declaration, int32_t(mode));
    }
    sq_pop(v, 3);
    SqPushSafePtr(v, instance, SqPtrProjectScene);
    return 1;
}

SQInteger ProjectSceneSetGlobal(HSQUIRRELVM v)
{
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    if (instance != nullptr && instance->scene3D != nullptr)
        zProjectScene3D::MakeGlobal(instance->scene3D);
    return 0;
}

SQInteger ProjectUnloadScene(HSQUIRRELVM v)
{
    zProject* project = nullptr;
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &project, SqPtrProject) || !SqGetSafePtr(v, 3, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    if (project != nullptr && instance != nullptr)
        project->Unload(instance);
    return 0;
}

SQInteger ProjectSceneGetType(HSQUIRRELVM v)
{
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    sq_pushinteger(v, instance != nullptr && instance->declaration != nullptr ? instance->declaration->type : 0);
    return 1;
}

SQInteger ProjectSceneGetInstance(HSQUIRRELVM v)
{
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    if (instance != nullptr && instance->Is3D() && instance->scene3D != nullptr)
        SqPushSafePtr(v, instance->scene3D, SqPtrScene);
    else if (instance != nullptr && !instance->Is3D() && instance->scene2D != nullptr)
        SqPushSafePtr(v, instance->scene2D, SqPtrWindowSystem);
    else
        SqPushSafePtr(v, nullptr, SqPtrScene);
    return 1;
}

SQInteger ProjectSceneGetScriptInstance(HSQUIRRELVM v)
{
    zProjectScene* instance = nullptr;
    if (!SqGetSafePtr(v, 2, &instance, SqPtrProjectScene))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    PushUnitInstance(v, instance != nullptr ? instance->GetSceneUnit() : nullptr);
    return 1;
}

void DeleteScene(void* scene)
{
    zProjectScene3D::Delete(static_cast<zScene*>(scene));
}

void NewConstant(HSQUIRRELVM v, const char* name, SQInteger value)
{
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
}

} // namespace

void SqRegisterProjectFunctions(HSQUIRRELVM v)
{
    static const struct {
        const char* name;
        SQFUNCTION function;
        const char* mask;
    } functions[] = {
        {"ProjectGetScriptInstance", ProjectGetScriptInstance, "x|tu"},
        {"ProjectUpdateScriptClock", ProjectUpdateScriptClock, "x|tu"},
        {"ProjectEnd", ProjectEnd, "x|tu"},
        {"ProjectAddLayer", ProjectAddLayer, "x|tuui"},
        {"ProjectLayerMoveToFront", ProjectLayerMoveToFront, ".uu"},
        {"ProjectLayerMoveToBack", ProjectLayerMoveToBack, ".uu"},
        {"ProjectNewScene", ProjectNewScene, "x|tu"},
        {"ProjectGetSceneLayerList", ProjectGetSceneLayerList, ".uu"},
        {"ProjectSceneIsActive", ProjectSceneIsActive, "x|tuu"},
        {"ProjectIsSceneActive", ProjectSceneIsActive, "x|tuu"},
        {"ProjectSceneActivate", ProjectSceneActivate, "x|tuub"},
        {"ProjectActivateScene", ProjectSceneActivate, "x|tuub"},
        {"ProjectInstantiateScene", ProjectInstantiateScene, "x|tusi"},
        {"ProjectSceneSetGlobal", ProjectSceneSetGlobal, "x|tu"},
        {"ProjectUnloadScene", ProjectUnloadScene, "x|tuu"},
        {"ProjectSceneGetType", ProjectSceneGetType, "x|tu"},
        {"ProjectSceneGetInstance", ProjectSceneGetInstance, "x|tu"},
        {"ProjectSceneGetScriptInstance", ProjectSceneGetScriptInstance, "x|tu"},
    };
    for (const auto& entry : functions)
        SqRegisterFunction(v, entry.function, entry.name, entry.mask);
    // "ProjectNewScene" hands out scenes owned by their handles.
    SqSetManagedDeleter(SqPtrScene, DeleteScene);

    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    NewConstant(v, "ProjectSceneTypeScene3d", 0);
    NewConstant(v, "ProjectSceneTypeScene2d", 1);
    NewConstant(v, "ProjectInstantiateLayerNone", 0);
    NewConstant(v, "ProjectInstantiateLayerFront", 1);
    NewConstant(v, "ProjectInstantiateLayerBack", 2);
    sq_pushstring(v, "NullItem", -1);
    SqPushSafePtr(v, nullptr, SqPtrItem);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}
