#include "manager/scene/zScene.h"
#include "manager/scene/zSceneRecord.h"

#include "core/font/zRasterFont.h"
#include "core/geometry/zGeometry.h"
#include "core/light/zLight.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/math/zFrustum.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/system/zLogStream.h"
#include "framework/math/zIntervals.h"
#include "manager/item/zMKinds.h"
#include "physic/dynamics/TauConstraint.h"
#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int32_t SceneModule = 8;

// The memory-category word of the scene's allocating operations.
class SceneModuleScope : public zModuleTagScope {
public:
    SceneModuleScope() : zModuleTagScope(SceneModule) {}
};

} // namespace

// --- Scene script unit -------------------------------------------------------

zSceneScriptUnit::zSceneScriptUnit(zScriptMaster* master) : zScriptUnit(master)
{
    for (HSQOBJECT& callback : callbacks)
        sq_resetobject(&callback);
}

zSceneScriptUnit::~zSceneScriptUnit()
{
    for (HSQOBJECT& callback : callbacks)
        ReleaseMember(callback);
}

bool zSceneScriptUnit::OpenScriptUnit()
{
    if (!zScriptUnit::OpenScriptUnit())
        return false;
    static const char* const names[CallbackCount] = {"OnRenderDone", "OnRenderUI", "OnUpdate"};
    if (IsOpened()) {
        for (int32_t i = 0; i < CallbackCount; ++i) {
            ReleaseMember(callbacks[i]);
            GetInstanceMember(names[i], callbacks[i]);
        }
    }
    return true;
}

void zSceneScriptUnit::CloseScriptUnit()
{
    for (HSQOBJECT& callback : callbacks)
        ReleaseMember(callback);
    zScriptUnit::CloseScriptUnit();
}

bool zSceneScriptUnit::Call(Callback which)
{
    if (!HasCallback(which) || !SetupFunctionCall(nullptr, &callbacks[which]))
        return false;
    return DoFunctionCall(0);
}

bool zSceneScriptUnit::CallIfPresent(const char* name)
{
    if (!SetupFunctionCall(name))
        return false;
    return DoFunctionCall(0);
}

bool zSceneItemList::UnlinkItem(zLinkedListEntry* entry)
{
    if (entry == nullptr || (entry->prev == nullptr && entry->next == nullptr && first != entry))
        return false;
    if (entry->prev != nullptr)
        entry->prev->next = entry->next;
    else
        first = entry->next;
    if (entry->next != nullptr)
        entry->next->prev = entry->prev;
    else
        last = entry->prev;
    entry->prev = nullptr;
    entry->next = nullptr;
    --count;
    return true;
}

// --- Construction --------------------------------------------------------------

void zScene::StepHook::OnStep(void* userData, bool stepped)
{
    static_cast<zScene*>(userData)->PhysicStepHook(stepped);
}

zScene::zScene(Tavrin* coreObject, zScriptMaster* master)
    : script(master), core(coreObject), ui(coreObject, master), scriptMaster(master)
{
    SceneModuleScope module;
    physics.collision = &collision;
    for (zTimer& timer : timers)
        timer.Reset();
    physics.stepCallback = &stepHook;
    physics.callbackUserData = this;
    collision.pairReader = &zScene::CollisionPairsRead;
    collision.pairReaderContext = this;
    script.SetOwner(this, SqPtrScene);
    commandManager.DefineACECommand("toposition", 0, 3);
    commandManager.DefineACECommand("offsetposition", 1, 3);
    commandManager.DefineACECommand("tooffset", 2, 3);
    commandManager.DefineACECommand("toscale", 3, 3);
    commandManager.DefineACECommand("torotation", 4, 3);
    commandManager.DefineACECommand("toalpha", 5, 1);
    shaderIncludes.SetNotOwned(false);
}

zScene::~zScene()
{
    AbandonReplay(replayRecord);
    delete profilerFont;
    profilerFont = nullptr;
    DeleteContent(false);
    if (renderer != nullptr && renderer->propertyContext == this) {
        renderer->propertyCallback = nullptr;
        renderer->propertyContext = nullptr;
    }
    physics.stepCallback = nullptr;
    physics.callbackUserData = nullptr;
    SqSafePtrInvalidate(this);
}

void zScene::SetFileLoader(zSceneFileLoader loader, void* context)
{
    fileLoader = loader;
    fileLoaderContext = context;
}

void zScene::SetRenderless(bool renderless)
{
    if (renderless)
        flags |= FlagRenderless;
    else
        flags &= ~FlagRenderless;
}

// --- Lifecycle -------------------------------------------------------------------

void zScene::Setup(bool testGeometries, int32_t octreeParameter)
{
    SceneModuleScope module;
    *GlobalLogStream << "[H] Scene setup\n\n";
    // Proxies add items to the list while it is walked; the new ones are
    // proxies of their own only through their own files, which they read at
    // their turn further down the list.
    proxyItemsLeft = MaxProxyItems;
    proxyTagsLeft = MaxProxyTags;
    proxyRefusals = 0;
    deferWorldUpdates = true;
    for (size_t i = 0; i < allItems.size(); ++i)
        DoProxy(allItems[i]);
    deferWorldUpdates = false;
    if (worldUpdatesPending) {
        worldUpdatesPending = false;
        for (zMItem* item : allItems) {
            if (item->GetCoreItem() != nullptr)
                item->GetCoreItem()->UpdateWorldMatrix();
        }
    }
    if (proxyRefusals > 1)
        LogError("zScene::Setup") << (proxyRefusals - 1)
                                  << " more proxies not instantiated, past the bounds of one set-up.\n";
    if (testGeometries)
        TestOptimizeGeometries(octreeParameter);
    {
        const std::vector<zMItem*> items = allItems;
        for (zMItem* item : items)
            item->Setup();
    }
    logicUpdateList.clear();
    logicUpdateSet.clear();
    triggerWatchList.clear();
    triggerWatchSet.clear();
    {
        // Scripts may delete items in "OnSetup"; deletion is deferred, but a
        // script may also destroy through other paths, so walk a copy and
        // skip what has left.
        const std::vector<zMItem*> items = allItems;
        const uint32_t epoch = destroyEpoch;
        for (zMItem* item : items) {
            if (destroyEpoch == epoch || IsRegistered(item))
                item->SetupScript();
        }
    }
    if (!script.IsOpened() && script.OpenScriptUnit() && script.IsOpened())
        script.CallIfPresent("OnSetup");
    SortLightsByPriority();
}

void zScene::Reset()
{
    SceneModuleScope module;
    *GlobalLogStream << "[H] Scene reset\n";
    collision.ResetItems();
    physics.Reset();
    const std::vector<zMItem*> items = allItems;
    for (zMItem* item : items)
        item->ApplyRecordedLocation();
    for (zMItem* item : items)
        item->ResetItem();
    for (zMItem* item : items) {
        if (item->script.SetupFunctionCall("OnReset"))
            item->script.DoFunctionCall(0);
    }
    script.CallIfPresent("OnReset");
    for (zTimer& timer : timers)
        timer.Reset();
    ResetFrameClock();
    UpdateFrameClock();
    flags &= ~FlagQuit;
}

void zScene::DeleteContent(bool keepScript)
{
    SceneModuleScope module;
    script.CallIfPresent("OnDelete");
    replayState = 0;
    FlushDeletionQueue();
    scenePath.Assign("");
    strippedScenePath.Assign("");

    collision.ClearItems();
    // Constraints outside any group have no owner to report their deletion:
    // scripts may still hold handles to them.
    for (zLinkedListEntry* constraint = physics.constraints.GetFirst(); constraint != nullptr;
         constraint = constraint->next)
        SqSafePtrInvalidate(static_cast<TauConstraint*>(static_cast<zLinkedListIdEntry*>(constraint)));
    physics.Clear(false);
    aiWorld.Clear();
    while (zGroup* group = static_cast<zGroup*>(groups.GetFirst())) {
        groups.Unlink(group);
        SqSafePtrInvalidate(group);
        delete group;
    }
    // Every item goes: no link may outlive its parent while the lists empty.
    for (zMItem* item : allItems) {
        if (item->GetCoreItem() != nullptr)
            item->GetCoreItem()->link = nullptr;
    }
    clearing = true;
    proxyDepth.clear();
    for (zSceneItemList* list : {&cameras, &objects, &lights, &triggers}) {
        while (zLinkedListEntry* entry = list->GetFirst()) {
            list->UnlinkItem(entry);
            delete entry;
        }
    }
    clearing = false;
    activeItems.clear();
    activeSet.clear();
    allItems.clear();
    registeredItems.clear();
    logicUpdateList.clear();
    logicUpdateSet.clear();
    triggerWatchList.clear();
    triggerWatchSet.clear();
    deletionQueue.clear();
    nextUid = 0;
    ui.Clear();
    if (!keepScript) {
        script.CloseScriptUnit();
        script.Script.Assign("");
        script.Class.Assign("");
    }
    fogColor = zColor(0.0f, 0.0f, 0.0f, 1.0f);
    fogNear = 0.0f;
    fogFar = 0.0f;
    currentCamera = nullptr;
}

bool zScene::RegisterScriptGlobals(HSQUIRRELVM v)
{
    if (v == nullptr && scriptMaster != nullptr)
        v = scriptMaster->GetVM();
    if (v == nullptr)
        return false;
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, "g_scene", -1);
    SqPushSafePtr(v, this, SqPtrScene, false);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "g_clock_fq", -1);
    sq_pushinteger(v, 10000);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    return true;
}

void zScene::RegisterAsPropertyCallback(zRenderer* target)
{
    if (renderer != nullptr && renderer != target && renderer->propertyContext == this) {
        renderer->propertyCallback = nullptr;
        renderer->propertyContext = nullptr;
    }
    renderer = target;
    if (renderer == nullptr)
        return;
    renderer->propertyCallback = &zScene::PropertyCallbackEntry;
    renderer->propertyContext = this;
    // Libraries named by a file read before the renderer was bound.
    LoadShaderIncludes();
}

void zScene::LoadShaderIncludes()
{
    if (renderer == nullptr)
        return;
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = shaderIncludes.NextAs<zLinkedListIdEntry>(cursor)) {
        if (entry->id.Get() != nullptr)
            renderer->LoadShaderLibrary(entry->id.Get(), "GLSL_Deferred;");
    }
}

void zScene::SetSourcePath(const char* path)
{
    scenePath.Assign(path != nullptr ? path : "");
    strippedScenePath.Assign(path != nullptr ? path : "");
    StripSearchPath(strippedScenePath);
}

void zScene::SortLightsByPriority()
{
    // The order bubble passes that swap neighbours of lower priority reach,
    // in n log n: descending, stable for equal priorities. No comparison with
    // a NaN priority holds, so such a light never moves and the lights
    // between two of them are sorted on their own.
    std::vector<zMLight*> order;
    order.reserve(size_t(lights.GetCount()));
    for (zLinkedListEntry* e = lights.GetFirst(); e != nullptr; e = e->next)
        order.push_back(static_cast<zMLight*>(static_cast<zLinkedListIdEntry*>(e)));
    bool moved = false;
    auto higher = [](const zMLight* a, const zMLight* b) { return a->priority > b->priority; };
    for (size_t start = 0; start < order.size();) {
        size_t stop = start;
        while (stop < order.size() && order[stop]->priority == order[stop]->priority)
            ++stop;
        if (!std::is_sorted(order.begin() + start, order.begin() + stop, higher)) {
            std::stable_sort(order.begin() + start, order.begin() + stop, higher);
            moved = true;
        }
        start = stop + 1;
    }
    if (!moved)
        return;
    lights.Clear(false);
    for (zMLight* light : order)
        lights.AppendItem(light);
}

void zScene::RecordLocation()
{
    for (zMItem* item : allItems)
        item->RecordLocation();
}

zCamera* zScene::SetCurrentCamera(zCamera* camera)
{
    if (camera == nullptr) {
        zMCamera* first = static_cast<zMCamera*>(static_cast<zLinkedListIdEntry*>(cameras.GetFirst()));
        camera = first != nullptr ? &first->camera : nullptr;
    }
    currentCamera = camera;
    return currentCamera;
}

void zScene::TestOptimizeGeometries(int32_t octreeParameter)
{
    if (core == nullptr)
        return;
    zLinkedListCursor cursor = {};
    while (zGeometry* geometry = core->GetGeometries().NextAs<zGeometry>(cursor))
        TestOptimizeGeometry(geometry, octreeParameter);
}

void zScene::TestOptimizeGeometry(zGeometry* geometry, int32_t octreeParameter)
{
    // The proxies of a geometry are geometries too, tested in turn; the
    // depth bound keeps a cycle of proxies from recursing without end.
    std::vector<zGeometry*> pending{geometry};
    for (size_t i = 0; i < pending.size() && i < 64; ++i) {
        zGeometry* g = pending[i];
        if (g == nullptr)
            continue;
        if (g->octree == nullptr && g->polygonCount > 8192) {
            int32_t users = 0;
            zLinkedListCursor cursor = {};
            while (zLinkedListIdEntry* entry = objects.NextAs<zLinkedListIdEntry>(cursor)) {
                if (static_cast<zMObject*>(entry)->object.geometry == g && ++users >= 2)
                    break;
            }
            const char* name = g->id.Get() != nullptr ? g->id.Get() : "";
            if (users == 1) {
                *GlobalLogStream << "   Generating octree for geometry '" << name << "'.\n";
                g->CreateOctree(octreeParameter);
            } else if (users >= 2) {
                LogWarning("zScene::TestOptimizeGeometry")
                    << "Geometry '" << name << "' should be optimized but will not be as it is used by more than one item.\n";
            }
        }
        if (g->lodProxy == g)
            g->lodProxy = nullptr;
        if (g->shadowProxy == g)
            g->shadowProxy = nullptr;
        pending.push_back(g->lodProxy);
        pending.push_back(g->shadowProxy);
    }
}

// --- Property callback -----------------------------------------------------------

bool zScene::PropertyCallbackEntry(int32_t kind, zRendererPropertyRequest& request)
{
    zScene* scene = static_cast<zScene*>(request.context);
    return scene != nullptr && scene->PropertyCallback(kind, request);
}

namespace {

zVector WorldPosition(const zItem& item)
{
    return zVector(item.worldMatrix.m[3], item.worldMatrix.m[7], item.worldMatrix.m[11], 1.0f);
}

float SquaredDistance(const zVector& a, const zVector& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

} // namespace

bool zScene::PropertyCallback(int32_t kind, zRendererPropertyRequest& request)
{
    switch (kind) {
    case PropertyLightProximity: {
        request.count = 0;
        const int32_t maximum = std::clamp(request.maximum, 0, int32_t(zRendererPropertyRequest::MaxLights));
        zLinkedListCursor cursor = {};
        if (lights.GetCount() <= maximum) {
            while (zLinkedListIdEntry* entry = lights.NextAs<zLinkedListIdEntry>(cursor)) {
                zMLight* light = static_cast<zMLight*>(entry);
                if (light->IsActive())
                    request.lights[request.count++] = &light->light;
            }
        } else {
            zFloatKeyedPair pairs[zRendererPropertyRequest::MaxLights];
            zLight* candidates[zRendererPropertyRequest::MaxLights];
            int32_t collected = 0;
            while (zLinkedListIdEntry* entry = lights.NextAs<zLinkedListIdEntry>(cursor)) {
                zMLight* light = static_cast<zMLight*>(entry);
                if (!light->IsActive())
                    continue;
                pairs[collected].key = SquaredDistance(WorldPosition(light->light), request.position) *
                                       (1.0f - light->priority);
                pairs[collected].value = collected;
                candidates[collected] = &light->light;
                if (++collected == zRendererPropertyRequest::MaxLights) {
                    LogWarning("zScene::PropertyCallback")
                        << "the light proximity query cannot sort more than 256 lights! CORRECT THE HACK!\n";
                    break;
                }
            }
            if (collected > 1)
                SortFloatKeyedPairs(pairs, 0, collected - 1);
            const int32_t n = std::min(maximum, collected);
            for (int32_t i = 0; i < n; ++i)
                request.lights[request.count++] = candidates[pairs[i].value];
        }
        request.handled = 1;
        return true;
    }
    case PropertyVisibleLights: {
        request.count = 0;
        zLinkedListEntry* entry = request.resume != nullptr
                                      ? static_cast<zLinkedListEntry*>(const_cast<void*>(request.resume))->next
                                      : lights.GetFirst();
        request.resume = nullptr;
        for (; entry != nullptr; entry = entry->next) {
            zMLight* light = static_cast<zMLight*>(static_cast<zLinkedListIdEntry*>(entry));
            if (!light->IsActive())
                continue;
            const zLight& l = light->light;
            const zVector position = WorldPosition(l);
            if (l.range != 0.0f) {
                if (std::sqrt(SquaredDistance(position, request.position)) >= l.range + l.clipDistance)
                    continue;
            }
            if (request.frustum != nullptr) {
                if (l.type == zLight::TypePoint && request.frustum->ClassifySphere(position, l.range) == 0)
                    continue;
                if (l.type == zLight::TypeSpot && request.frustum->ClassifyFrustum(l.frustum) == 0)
                    continue;
            }
            request.lights[request.count++] = &light->light;
            if (request.count == zRendererPropertyRequest::VisibleBatch) {
                request.resume = entry;
                break;
            }
        }
        request.handled = 1;
        return true;
    }
    case PropertyAmbient:
        request.ambient[0] = ambientColor.r * ambientIntensity;
        request.ambient[1] = ambientColor.g * ambientIntensity;
        request.ambient[2] = ambientColor.b * ambientIntensity;
        request.ambient[3] = ambientColor.a * ambientIntensity;
        request.handled = 1;
        return true;
    default:
        *GlobalLogStream << "** Scene could not process one of the property request (" << kind << ").\n";
        return false;
    }
}
