#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zMinMax.h"
#include "framework/system/zLogStream.h"
#include "framework/system/zModuleTag.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zGroup.h"
#include "manager/scene/zScene.h"
#include "manager/scene/zSceneRecord.h"
#include "manager_binding/SqFamilySupport.h"
#include "manager_binding/SqSceneFamilies.h"
#include "physic/collision/GColShape.h"
#include "physic/dynamics/TauConstraint.h"

#include <cmath>
#include <new>
#include <string>
#include <vector>

using namespace sqfamily;

namespace {

#define SCENE_ARG(var) SQ_FETCH(zScene, var, 2, SqPtrScene)

zRenderer* CurrentRenderer(zScene* scene)
{
    return scene != nullptr && scene->core != nullptr ? scene->core->renderer : nullptr;
}

SQInteger PushColour(HSQUIRRELVM v, const zColor& colour)
{
    return PushVector4(v, zVector(colour.r, colour.g, colour.b, colour.a));
}

zColor ColourArg(HSQUIRRELVM v, SQInteger idx)
{
    const zVector c = GetVector4(v, idx);
    return zColor{c.x, c.y, c.z, c.w};
}

// --- lifecycle and file ----------------------------------------------------

SQInteger SceneFromFile(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* path = GetString(v, 3);
    // The file's first root tag goes to the reader, which takes only "Scene".
    return PushBool(v, scene != nullptr && path != nullptr && scene->LoadFromFile(path));
}

SQInteger SceneFromFileStoreGroup(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* path = GetString(v, 3);
    const int32_t flags = int32_t(GetInt(v, 4));
    zGroup* group = nullptr;
    if (scene != nullptr && path != nullptr && !scene->FromMetaFileStoreGroup(path, &group, flags, 0))
        group = nullptr;
    return PushHandle(v, group, SqPtrSceneGroup);
}

SQInteger SceneSetup(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->Setup(true, 1);
    return 0;
}

SQInteger SceneReset(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->Reset();
    return 0;
}

SQInteger SceneUpdate(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->Update(zScene::UpdateAll);
    return 0;
}

SQInteger SceneDeleteContent(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->DeleteContent(true);
    return 0;
}

SQInteger SceneEnd(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RequestQuit();
    return 0;
}

SQInteger SceneSetGlobal(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RegisterScriptGlobals();
    return 0;
}

SQInteger SceneGetScriptInstance(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene == nullptr) {
        // Only an empty handle is refused; a scene deleted since has no instance.
        if (SqSafePtrIsStale(v, 2)) {
            sq_pushnull(v);
            return 1;
        }
        return sq_suspendvm(v);
    }
    sq_pushobject(v, scene->script.GetInstance());
    return 1;
}

SQInteger SceneSetScript(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* script = GetString(v, 3);
    const char* className = GetString(v, 4);
    if (scene != nullptr) {
        scene->script.Script = script;
        scene->script.Class = className;
    }
    return 0;
}

SQInteger SceneAudit(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->Audit();
    return 0;
}

SQInteger ScenePrintItemList(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->PrintItemList();
    return 0;
}

SQInteger SceneRecordLocation(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RecordLocation();
    return 0;
}

// --- rendering -------------------------------------------------------------

SQInteger SceneSetRenderless(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->SetRenderless(GetBool(v, 3));
    return 0;
}

SQInteger SceneRegisterAsPropertyCallback(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    SQ_FETCH(zRenderer, renderer, 3, SqPtrRenderer);
    if (scene != nullptr)
        scene->RegisterAsPropertyCallback(renderer);
    return 0;
}

SQInteger SceneRenderSetup(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RenderSetup(uint32_t(GetInt(v, 3)));
    return 0;
}

SQInteger SceneRender(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const uint32_t flags = uint32_t(GetInt(v, 3));
    zRenderer* renderer = CurrentRenderer(scene);
    if (renderer == nullptr)
        return 0;
    scene->RegisterAsPropertyCallback(renderer);
    scene->RenderSetup(flags);
    scene->RenderToQueue(flags);
    renderer->RenderQueue();
    scene->RenderUI(0);
    return 0;
}

SQInteger SceneRenderToQueue(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RenderToQueue(zScene::RenderFlagClear);
    return 0;
}

SQInteger SceneRenderUI(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->RenderUI(0);
    return 0;
}

SQInteger SceneCreateProfiler(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* path = GetString(v, 3);
    const char* base = GetString(v, 4);
    if (scene != nullptr && path != nullptr && base != nullptr && !scene->CreateProfiler(path, base))
        LogError("SceneCreateProfiler") << "could not load the profiler font '" << path << "'.\n";
    return 0;
}

SQInteger SceneUpdateProfiler(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->UpdateProfiler(0.025f, 0.05f, true, nullptr);
    return 0;
}

// Everything the debug view can draw, no group filter.
SQInteger SceneDebug(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (zRenderer* renderer = CurrentRenderer(scene))
        scene->Debug(renderer, nullptr, 0xffffffffu);
    return 0;
}

SQInteger SceneDebugPhysicSystem(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (zRenderer* renderer = CurrentRenderer(scene)) {
        scene->physics.DrawDebugContacts(renderer, 1.0f);
        scene->physics.DrawDebugItems(renderer, 1.0f);
    }
    return 0;
}

SQInteger SceneDebugPath(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (zRenderer* renderer = CurrentRenderer(scene))
        scene->aiWorld.Draw(renderer);
    return 0;
}

SQInteger SceneDebugCollisionSystem(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (zRenderer* renderer = CurrentRenderer(scene))
        scene->collision.DrawDebug(renderer);
    return 0;
}

// --- lighting and fog ------------------------------------------------------

SQInteger SceneGetAmbientIntensity(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushFloat(v, scene != nullptr ? scene->ambientIntensity : -1.0f);
}

SQInteger SceneSetAmbientIntensity(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->ambientIntensity = GetFloat(v, 3);
    return 0;
}

const zColor kNeutralColour{0.0f, 0.0f, 0.0f, 1.0f};

SQInteger SceneGetAmbientColor(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushColour(v, scene != nullptr ? scene->ambientColor : kNeutralColour);
}

SQInteger SceneSetAmbientColor(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const zColor colour = ColourArg(v, 3);
    if (scene != nullptr)
        scene->ambientColor = colour;
    return 0;
}

SQInteger SceneGetFogColor(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushColour(v, scene != nullptr ? scene->fogColor : kNeutralColour);
}

SQInteger SceneGetFogNear(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushFloat(v, scene != nullptr ? scene->fogNear : -1.0f);
}

SQInteger SceneGetFogFar(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushFloat(v, scene != nullptr ? scene->fogFar : -1.0f);
}

// The colour is always kept; near and far only while fog is on (0 turns it off).
SQInteger SceneSetFog(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const bool enable = GetBool(v, 3);
    const zColor colour = ColourArg(v, 4);
    const float fogNear = GetFloat(v, 5);
    const float fogFar = GetFloat(v, 6);
    if (scene != nullptr) {
        scene->fogColor = colour;
        scene->fogNear = enable ? fogNear : 0.0f;
        scene->fogFar = enable ? fogFar : 0.0f;
    }
    return 0;
}

SQInteger SceneAddLight(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* name = GetString(v, 3);
    zMLight* light = scene != nullptr ? scene->AddLight(name, 1, 0.5f) : nullptr;
    if (light != nullptr) {
        light->Setup();
        light->ResetItem();
    }
    return PushHandle(v, static_cast<zMItem*>(light), SqPtrLight);
}

// Lights go through the deletion queue like every item, so a light deleted
// from a script callback inside the scene's update is not destroyed while the
// update still walks it.
SQInteger SceneDeleteLight(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* name = GetString(v, 3);
    if (scene != nullptr && name != nullptr) {
        if (zMLight* light = scene->FindLight(name))
            scene->DeleteItem(light);
    }
    return 0;
}

SQInteger SceneDeleteAllLights(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene == nullptr)
        return 0;
    std::vector<zMItem*> lights;
    for (zLinkedListEntry* e = scene->lights.GetFirst(); e != nullptr; e = e->next)
        lights.push_back(static_cast<zMItem*>(static_cast<zLinkedListIdEntry*>(e)));
    for (zMItem* light : lights)
        scene->DeleteItem(light);
    return 0;
}

// --- items and groups ------------------------------------------------------

SQInteger SceneGetItemList(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    sq_newarray(v, 0);
    if (scene != nullptr) {
        for (zMItem* item : scene->allItems) {
            SqPushSafePtr(v, item, SqPtrItem);
            sq_arrayappend(v, -2);
        }
    }
    return 1;
}

SQInteger SceneFindItem(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* name = GetString(v, 3);
    return PushHandle(v, scene != nullptr && name != nullptr ? scene->Find(name) : nullptr, SqPtrItem);
}

SQInteger SceneFindItemChild(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    SQ_FETCH(zMItem, parent, 3, SqPtrItem);
    const char* name = GetString(v, 4);
    return PushHandle(v, scene != nullptr && name != nullptr ? scene->Find(name, parent) : nullptr, SqPtrItem);
}

SQInteger SceneDuplicateItem(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    return PushHandle(v, scene != nullptr && item != nullptr ? scene->DuplicateItem(item) : nullptr, SqPtrItem);
}

SQInteger SceneDeleteItem(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    SQ_FETCH(zMItem, item, 3, SqPtrItem);
    if (scene != nullptr && item != nullptr)
        scene->DeleteItem(item);
    return 0;
}

SQInteger SceneDeleteGroup(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    SQ_FETCH(zGroup, group, 3, SqPtrSceneGroup);
    if (scene != nullptr && group != nullptr)
        scene->DeleteGroup(group);
    return 0;
}

SQInteger SceneFindGroup(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* name = GetString(v, 3);
    zGroup* group = scene != nullptr && name != nullptr ? scene->FindGroup(name) : nullptr;
    if (scene != nullptr && group == nullptr)
        LogError("SceneFindGroup") << "group '" << (name != nullptr ? name : "") << "' not found in scene.\n";
    return PushHandle(v, group, SqPtrSceneGroup);
}

SQInteger SceneFlushDeletionQueue(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->FlushDeletionQueue();
    return 0;
}

SQInteger SceneEnableItemDeletionQueue(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->keepDeletionQueue = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger SceneSetItemDeletionDelay(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    GlobalLog << "[|] SceneSetItemDeletionDelay() is deprecated, please use SceneEnableItemDeletionQueue() instead.\n";
    return 0;
}

// The first trigger, in list order, whose unit box ([-0.5, 0.5] on each axis
// in the trigger's space) the ray hits; with a length of -1 the ray is
// unbounded, else only the segment origin + direction x length counts.
SQInteger SceneRaytraceTriggerList(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const zVector origin = GetVector(v, 3);
    zVector direction = GetVector(v, 4);
    direction.w = 0.0f;
    SQFloat lengthArg = -1;
    sq_getfloat(v, 5, &lengthArg);
    const float length = float(lengthArg);
    zMItem* found = nullptr;
    if (scene != nullptr) {
        const zMinMax unit(zVector(-0.5f, -0.5f, -0.5f, 1.0f), zVector(0.5f, 0.5f, 0.5f, 1.0f));
        for (zLinkedListEntry* e = scene->triggers.GetFirst(); e != nullptr && found == nullptr; e = e->next) {
            auto* trigger = static_cast<zTrigger*>(static_cast<zLinkedListIdEntry*>(e));
            const zMatrix4& inverse = trigger->item.inverseWorldMatrix;
            zVector localOrigin, localDirection;
            inverse.TransformArray4(&localOrigin, &origin, 1);
            inverse.RotateArray(&localDirection, &direction, 1);
            localOrigin.w = 1.0f;
            float entry = 0.0f, exit = 0.0f;
            if (!unit.IntersectRaySlab(localOrigin, localDirection, entry, exit) || exit < 0.0f)
                continue;
            if (length != -1.0f && std::max(entry, 0.0f) > length)
                continue;
            found = trigger;
        }
    }
    return PushHandle(v, found, SqPtrItem);
}

// --- physics world ---------------------------------------------------------

SQInteger ScenePhysicAllocateCollisionNode(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const SQInteger nodes = GetInt(v, 3);
    const SQInteger contacts = GetInt(v, 4);
    if (scene == nullptr)
        return 0;
    // Counts past the world's limits are capped by it; negative ones mean nothing.
    if (nodes < 0 || contacts < 0) {
        LogError("ScenePhysicAllocateCollisionNode") << "Invalid node or contact count (" << nodes << ", " << contacts
                                                     << "), buffers kept.\n";
        return 0;
    }
    scene->physics.AllocateCollisionNode(uint32_t(nodes), uint32_t(contacts));
    return 0;
}

SQInteger ScenePhysicEnableDeactivation(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->physics.sleepingEnabled = GetBool(v, 3) ? 1 : 0;
    return 0;
}

SQInteger SceneSetPhysicContactSolverIteration(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->physics.SetContactIteration(int64_t(GetInt(v, 3)));
    return 0;
}

SQInteger SceneSetPhysicConstraintSolverIteration(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->physics.SetConstraintIteration(int64_t(GetInt(v, 3)));
    return 0;
}

SQInteger SceneGetPhysicFrequency(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    return PushFloat(v, scene != nullptr ? scene->physics.Frequency : -1.0f);
}

SQInteger SceneSetPhysicFrequency(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    if (scene != nullptr)
        scene->physics.SetFrequency(GetFloat(v, 3));
    return 0;
}

SQInteger SceneSetGravity(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const zVector gravity = GetVector4(v, 3);
    if (scene != nullptr)
        scene->physics.gravity = gravity;
    return 0;
}

SQInteger SceneFindConstraint(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const char* name = GetString(v, 3);
    TauConstraint* constraint = nullptr;
    if (scene != nullptr && name != nullptr)
        constraint = static_cast<TauConstraint*>(scene->physics.constraints.FindByName(name));
    return PushHandle(v, constraint, SqPtrPhysicConstraint);
}

// --- record and replay -----------------------------------------------------
// Records belong to the script handle made by "SceneRecordNew"; a record
// collected while a scene replays it ends that replay.

void DeleteRecord(void* object)
{
    delete static_cast<zSceneRecord*>(object);
}

#define RECORD_ARG(var, idx) SQ_FETCH(zSceneRecord, var, idx, SqPtrSceneRecord)

SQInteger SceneRecordNew(HSQUIRRELVM v)
{
    zSceneRecord* record = nullptr;
    {
        zModuleTagScope module(8);
        record = new (std::nothrow) zSceneRecord();
    }
    if (record == nullptr)
        LogError("SceneRecordNew") << "could not allocate a new record.\n";
    SqPushSafePtr(v, record, SqPtrSceneRecord, record != nullptr);
    return 1;
}

SQInteger SceneRecordDelete(HSQUIRRELVM v)
{
    RECORD_ARG(record, 2);
    (void)record;
    LogWarning("SceneRecordDelete") << "SceneRecordDelete is obsolete, memory is now freed.\n";
    return 0;
}

SQInteger SceneRecordFinalize(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    if (scene != nullptr && record != nullptr)
        scene->FinalizeRecord(record);
    return 0;
}

SQInteger SceneRecordMemoryFootPrint(HSQUIRRELVM v)
{
    RECORD_ARG(record, 2);
    return PushInt(v, record != nullptr ? SQInteger(record->GetMemoryFootprint()) : 0);
}

SQInteger SceneRecordStartReplay(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    if (scene != nullptr && record != nullptr)
        scene->StartReplay(record);
    return 0;
}

SQInteger SceneRecordEndReplay(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    if (scene != nullptr && record != nullptr)
        scene->EndReplay(record);
    return 0;
}

SQInteger SceneRecordSnapshot(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    if (scene != nullptr && record != nullptr)
        scene->SnapshotToRecord(record);
    return 0;
}

SQInteger SceneRecordMaterialSnapshot(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    SQ_FETCH(zMaterial, material, 4, SqPtrMaterial);
    if (scene != nullptr && record != nullptr && material != nullptr)
        scene->MaterialSnapshotToRecord(record, material);
    return 0;
}

SQInteger SceneRecordDropOlderSamples(HSQUIRRELVM v)
{
    RECORD_ARG(record, 2);
    const float age = GetFloat(v, 3);
    return PushInt(v, record != nullptr ? record->DropOlderSamples(age) : 0);
}

SQInteger SceneRecordGetDuration(HSQUIRRELVM v)
{
    RECORD_ARG(record, 2);
    return PushFloat(v, record != nullptr ? record->GetDuration() : -1.0f);
}

SQInteger SceneRecordReplay(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    RECORD_ARG(record, 3);
    const float time = GetFloat(v, 4);
    if (scene != nullptr && record != nullptr)
        scene->Replay(record, time);
    return 0;
}

void NewSlot(HSQUIRRELVM v, const char* key)
{
    sq_pushstring(v, key, -1);
    sq_push(v, -2);
    sq_remove(v, -3);
    sq_newslot(v, -3, SQFalse);
}

// {hit} and, on a hit between from and to, shape, item, material, p, n, d.
SQInteger SceneCollisionRaytrace(HSQUIRRELVM v)
{
    SCENE_ARG(scene);
    const zVector from = GetVector(v, 3);
    const zVector to = GetVector(v, 4);
    const int32_t mask = int32_t(GetInt(v, 5));
    const uint32_t kinds = uint32_t(GetInt(v, 6));
    GColRayHit hit;
    bool found = false;
    if (scene != nullptr) {
        const zVector direction(to.x - from.x, to.y - from.y, to.z - from.z, 0.0f);
        found = scene->collision.Raytrace(from, direction, hit, mask, kinds) && hit.distance <= direction.Length();
    }
    sq_newtable(v);
    sq_pushbool(v, found ? SQTrue : SQFalse);
    NewSlot(v, "hit");
    if (found) {
        SqPushSafePtr(v, hit.shape, SqPtrCollisionShape);
        NewSlot(v, "shape");
        zMItem* item = hit.shape != nullptr && hit.shape->owner != nullptr
                           ? zMItem::FromCoreItem(static_cast<const zItem*>(hit.shape->owner->owner))
                           : nullptr;
        SqPushSafePtr(v, item, SqPtrItem);
        NewSlot(v, "item");
        SqPushSafePtr(v, hit.material, SqPtrMaterial);
        NewSlot(v, "material");
        PushVector(v, hit.position);
        NewSlot(v, "p");
        PushVector(v, hit.normal);
        NewSlot(v, "n");
        sq_pushfloat(v, hit.distance);
        NewSlot(v, "d");
    }
    return 1;
}

struct Entry {
    const char* name;
    SQFUNCTION function;
    const char* mask;
};

// In the family's registration order.
const Entry kFunctions[] = {
    {"SceneFromFile", SceneFromFile, "x|tus"},
    {"SceneFromZML", SceneFromFile, "x|tus"},
    {"SceneFromFileStoreGroup", SceneFromFileStoreGroup, "x|tusi"},
    {"SceneFromZMLStoreGroup", SceneFromFileStoreGroup, "x|tusi"},
    {"SceneDeleteItem", SceneDeleteItem, "x|tuu"},
    {"SceneEnd", SceneEnd, "x|tu"},
    {"SceneSetGlobal", SceneSetGlobal, "x|tu"},
    {"SceneGetScriptInstance", SceneGetScriptInstance, "x|tu"},
    {"SceneSetScript", SceneSetScript, "x|tuss"},
    {"SceneSetup", SceneSetup, "x|tu"},
    {"SceneReset", SceneReset, "x|tu"},
    {"SceneUpdate", SceneUpdate, "x|tu"},
    {"SceneAudit", SceneAudit, "x|tu"},
    {"SceneRecordLocation", SceneRecordLocation, "x|tu"},
    {"SceneSetItemDeletionDelay", SceneSetItemDeletionDelay, "x|tuf"},
    {"SceneEnableItemDeletionQueue", SceneEnableItemDeletionQueue, "x|tub"},
    {"SceneDeleteContent", SceneDeleteContent, "x|tu"},
    {"SceneFlushDeletionQueue", SceneFlushDeletionQueue, "x|tu"},
    {"SceneAddLight", SceneAddLight, "x|tus"},
    {"SceneDeleteLight", SceneDeleteLight, "x|tus"},
    {"SceneDeleteAllLights", SceneDeleteAllLights, "x|tu"},
    {"SceneGetAmbientIntensity", SceneGetAmbientIntensity, "x|tu"},
    {"SceneSetAmbientIntensity", SceneSetAmbientIntensity, "x|tuf"},
    {"SceneGetAmbientColor", SceneGetAmbientColor, "x|tu"},
    {"SceneSetAmbientColor", SceneSetAmbientColor, "x|tux"},
    {"SceneGetFogColor", SceneGetFogColor, "x|tu"},
    {"SceneGetFogNear", SceneGetFogNear, "x|tu"},
    {"SceneGetFogFar", SceneGetFogFar, "x|tu"},
    {"SceneSetFog", SceneSetFog, "x|tubxff"},
    {"SceneSetRenderless", SceneSetRenderless, "x|tub"},
    {"SceneRegisterAsPropertyCallback", SceneRegisterAsPropertyCallback, "x|tuu"},
    {"SceneRenderSetup", SceneRenderSetup, "x|tui"},
    {"SceneRender", SceneRender, "x|tui"},
    {"SceneRenderToQueue", SceneRenderToQueue, "x|tu"},
    {"SceneRenderUI", SceneRenderUI, "x|tu"},
    {"SceneCreateProfiler", SceneCreateProfiler, "x|tuss"},
    {"SceneUpdateProfiler", SceneUpdateProfiler, "x|tu"},
    {"ScenePrintItemList", ScenePrintItemList, "x|tu"},
    {"SceneDebugCollisionSystem", SceneDebugCollisionSystem, "x|tu"},
    {"SceneDebugPhysicSystem", SceneDebugPhysicSystem, "x|tu"},
    {"SceneDebugPath", SceneDebugPath, "x|tu"},
    {"SceneDebug", SceneDebug, "x|tu"},
    {"SceneGetItemList", SceneGetItemList, "x|tu"},
    {"SceneFindItem", SceneFindItem, "x|tus"},
    {"SceneFindItemChild", SceneFindItemChild, "x|tuus"},
    {"SceneDuplicateItem", SceneDuplicateItem, "x|tuu"},
    {"SceneDeleteGroup", SceneDeleteGroup, "x|tuu"},
    {"SceneFindGroup", SceneFindGroup, "x|tus"},
    {"ScenePhysicAllocateCollisionNode", ScenePhysicAllocateCollisionNode, "x|tuii"},
    {"ScenePhysicEnableDeactivation", ScenePhysicEnableDeactivation, "x|tub"},
    {"SceneSetPhysicContactSolverIteration", SceneSetPhysicContactSolverIteration, "x|tui"},
    {"SceneSetPhysicConstraintSolverIteration", SceneSetPhysicConstraintSolverIteration, "x|tui"},
    {"SceneSetPhysicFrequency", SceneSetPhysicFrequency, "x|tuf"},
    {"SceneGetPhysicFrequency", SceneGetPhysicFrequency, "x|tu"},
    {"SceneSetGravity", SceneSetGravity, "x|tux"},
    {"SceneFindConstraint", SceneFindConstraint, "x|tus"},
    {"SceneCollisionRaytrace", SceneCollisionRaytrace, "x|tuxxii"},
    {"SceneRaytraceTriggerList", SceneRaytraceTriggerList, "x|tuxxi"},
    {"SceneRecordStartReplay", SceneRecordStartReplay, "x|tuu"},
    {"SceneRecordEndReplay", SceneRecordEndReplay, "x|tuu"},
    {"SceneRecordReplay", SceneRecordReplay, "x|tuuf"},
    {"SceneRecordNew", SceneRecordNew, "x|t"},
    {"SceneRecordDelete", SceneRecordDelete, "x|tu"},
    {"SceneRecordSnapshot", SceneRecordSnapshot, "x|tuu"},
    {"SceneRecordMaterialSnapshot", SceneRecordMaterialSnapshot, "x|tuuu"},
    {"SceneRecordDropOlderSamples", SceneRecordDropOlderSamples, "x|tuf"},
    {"SceneRecordFinalize", SceneRecordFinalize, "x|tuu"},
    {"SceneRecordGetDuration", SceneRecordGetDuration, "x|tu"},
    {"SceneRecordMemoryFootPrint", SceneRecordMemoryFootPrint, "x|tu"},
};

} // namespace

void SqRegisterSceneFunctions(HSQUIRRELVM v)
{
    SqSetManagedDeleter(SqPtrSceneRecord, DeleteRecord);
    for (const Entry& e : kFunctions)
        SqRegisterFunction(v, e.function, e.name, e.mask);
    RegisterInteger(v, "SceneRenderFlagDefault", 1);
    RegisterInteger(v, "FlagLoadCamera", zScene::LoadCamera);
    RegisterInteger(v, "FlagLoadLight", zScene::LoadLight);
    RegisterInteger(v, "FlagLoadObject", zScene::LoadObject);
    RegisterInteger(v, "FlagLoadTrigger", zScene::LoadTrigger);
    RegisterInteger(v, "FlagLoadGroup", zScene::LoadGroup);
    RegisterInteger(v, "FlagLoadSettings", zScene::LoadSettings);
    RegisterInteger(v, "FlagLoadGlobals", zScene::LoadGlobals);
    RegisterInteger(v, "FlagLoadMotion", zScene::LoadMotion);
    RegisterInteger(v, "FlagLoadCollision", zScene::LoadCollision);
    RegisterInteger(v, "FlagLoadPhysic", zScene::LoadPhysic);
    RegisterInteger(v, "FlagLoadPath", zScene::LoadPath);
    RegisterInteger(v, "FlagLoadAll", zScene::LoadAll);
    RegisterNullHandle(v, "NullItem", SqPtrItem);
}
