#pragma once

#include "ai/zAIWorld.h"
#include "core/ace/zACEManager.h"
#include "core/render/zRendererProperty.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/zWeakRef.h"
#include "framework/math/zColor.h"
#include "framework/metafile/zMetaObject.h"
#include "framework/system/zClock.h"
#include "framework/tools/zString.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/scene/zGroup.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauSceneServices.h"
#include "script/zScriptUnit.h"
#include "ui/zScene2D.h"

#include <squirrel.h>

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class Tavrin;
class zCamera;
class zGeometry;
class zItem;
class zMCamera;
class zMItem;
class zMLight;
class zMObject;
class zRenderer;
class zScene;
class zSceneRecord;
class zMaterial;
class zScriptMaster;
class zRasterFont;
class zTrigger;

// The scene's own script instance: calls pass the scene as a Scene handle.
// "OnRenderDone", "OnRenderUI" and "OnUpdate" are looked up once when the
// unit opens; an absent member is never called.
class zSceneScriptUnit : public zScriptUnit {
public:
    enum Callback : int32_t { OnRenderDone = 0, OnRenderUI, OnUpdate, CallbackCount };

    explicit zSceneScriptUnit(zScriptMaster* master);
    ~zSceneScriptUnit() override;

    bool OpenScriptUnit() override;
    void CloseScriptUnit() override;

    bool HasCallback(Callback which) const { return !sq_isnull(callbacks[which]); }
    // Calls the cached member with no argument; false when it is absent.
    bool Call(Callback which);
    // Calls the member of that name with no argument when the instance has it.
    bool CallIfPresent(const char* name);

private:
    HSQOBJECT callbacks[CallbackCount];
};

// A kind list of the scene. It owns its items; an item leaving the scene
// unlinks itself in constant time (an item is in one kind list at most).
class zSceneItemList : public zLinkedListId {
public:
    void AppendItem(zLinkedListEntry* entry) { Add(entry, true, true); }
    // False when the entry is in no list; the caller knows it is this one.
    bool UnlinkItem(zLinkedListEntry* entry);
};

// Reads a file into a document; the scene reads scene files and proxies
// through it so that a host (or a fuzzer) can serve them from memory.
using zSceneFileLoader = bool (*)(const char* path, zMetaFile& document, void* context);

// The 3D scene manager: it owns the managed items and their groups, a
// physics world and a collision world, the AI paths, an embedded 2D
// interface, a script instance and the scene-wide lighting and fog. Items are
// created through the Add operations (or the file reader) and destroyed by
// DestroyItem, the deletion queue or DeleteContent; the kind lists own them.
//
// Life of a scene: construct, fill (FromMetaFileStoreGroup or scripts), bind
// a renderer (RegisterAsPropertyCallback), RegisterScriptGlobals, Setup,
// Reset; then per frame Update(UpdateAll), RenderSetup(RenderFlagClear),
// RenderToQueue(0), the renderer's RenderQueue, RenderUI(0); the frame loop
// ends when IsQuitRequested(). Everything runs on the main thread.
class zScene : public zMetaObject, public zMItemSceneServices, public TauSceneServices, public zWeakTarget {
public:
    // Scene flags.
    static constexpr uint32_t FlagQuit = 1;
    static constexpr uint32_t FlagRenderless = 2;

    // Update bits.
    static constexpr uint32_t UpdateTransformBit = 1;
    static constexpr uint32_t UpdateMotionBit = 2;
    static constexpr uint32_t UpdateCollisionBit = 4;
    static constexpr uint32_t UpdatePhysicBit = 8;
    static constexpr uint32_t UpdateScriptBit = 16;
    static constexpr uint32_t UpdateTriggerBit = 32;
    static constexpr uint32_t UpdateAll = 63;

    // Render flags.
    static constexpr uint32_t RenderFlagClear = 1;
    static constexpr uint32_t RenderFlagNoCallback = 2;

    // Load and save flags.
    static constexpr int32_t LoadCamera = 1;
    static constexpr int32_t LoadLight = 2;
    static constexpr int32_t LoadObject = 4;
    static constexpr int32_t LoadTrigger = 8;
    static constexpr int32_t LoadGroup = 16;
    static constexpr int32_t LoadSettings = 32;
    static constexpr int32_t LoadMotion = 64;
    static constexpr int32_t LoadGlobals = 128;
    static constexpr int32_t LoadCollision = 256;
    static constexpr int32_t LoadPhysic = 512;
    static constexpr int32_t LoadPath = 1024;
    static constexpr int32_t LoadAll = -1;

    // Profiler timers.
    enum Timer : int32_t {
        TimerUpdate = 0,
        TimerPhysic,
        TimerRenderToQueue,
        TimerRenderUI,
        TimerItemUpdate,
        TimerLogicUpdate,
        TimerCollision,
        TimerCount,
    };

    // File UIDs up to this bound are renumbered by offset (base + file UID);
    // a file whose UIDs run higher is numbered in item order instead, so that
    // no UID can make the reader reserve or allocate without bound.
    static constexpr int32_t DenseRemapLimit = 1 << 20;
    // Proxies instantiated by proxies, at most this deep: a file that
    // instantiates itself stops here instead of filling memory.
    static constexpr int32_t MaxProxyDepth = 8;
    // What the proxies of one set-up may bring in all: the items they create
    // and the tags of the files they read. Depth alone does not bound a file
    // that proxies itself several times per level. A proxy that would go past
    // either is not instantiated; once the tags are spent, no proxy file is
    // read until the next set-up.
    static constexpr int32_t MaxProxyItems = 1 << 16;
    static constexpr int32_t MaxProxyTags = 1 << 24;

    // The core and the master are not owned and must outlive the scene; the
    // master may be null (no script then runs).
    zScene(Tavrin* core, zScriptMaster* master);
    ~zScene() override;
    zScene(const zScene&) = delete;
    zScene& operator=(const zScene&) = delete;

    // --- Lifecycle ---------------------------------------------------------
    // Proxies, the octree test (with testGeometries), items, item scripts
    // ("OnSetup"), the scene's script ("OnSetup" the first time it opens),
    // light order. Safe to run again: nothing is set up or listed twice.
    void Setup(bool testGeometries, int32_t octreeParameter);
    // Worlds, recorded locations, item resets, "OnReset" of items and scene;
    // restarts the frame clock and clears the quit request.
    void Reset();
    // Empties the scene for reuse ("OnDelete" first); keepScript keeps the
    // scene's script unit open.
    void DeleteContent(bool keepScript);

    // "g_scene" (a Scene handle, not owned by scripts) and "g_clock_fq" in
    // the root table of v (null: the master's VM). False without a VM.
    bool RegisterScriptGlobals(HSQUIRRELVM v = nullptr);
    // Installs the property callback in the renderer and keeps the renderer
    // (not owned; it must outlive the binding or be unbound with null).
    void RegisterAsPropertyCallback(zRenderer* renderer);
    // The renderer's requests: 1 nearest lights, 2 visible lights eight at a
    // time, 3 ambient. False, logged, for any other kind.
    bool PropertyCallback(int32_t kind, zRendererPropertyRequest& request);
    static bool PropertyCallbackEntry(int32_t kind, zRendererPropertyRequest& request);

    void SetSourcePath(const char* path);
    void SortLightsByPriority() override;
    void RecordLocation();

    // --- Diagnostics (zSceneDiagnostics.cpp) --------------------------------
    // Geometry usage and objects that look duplicated, on the log.
    void Audit();
    // The kind lists, the groups and the item list with links, on the log.
    void PrintItemList();

    // --- Debug view and performance overlay (zSceneDebug.cpp) ---------------
    // Markers of the lights, objects and cameras (not the current one), the
    // boxes of the triggers and the name labels (only those of the group's
    // members when a group is given). Flags: 2 bone pyramids, 4 object boxes.
    void Debug(zRenderer* target, zGroup* group, uint32_t debugFlags);
    void DebugDrawItem(zRenderer* target, zMItem* item, uint32_t debugFlags, bool isBone = false);
    // Skipped without a current camera, which places the label.
    void DebugDrawItemLabel(zRenderer* target, zMItem* item);
    // Loads the overlay's raster font (zRasterFont::Load); the scene owns it.
    bool CreateProfiler(const char* path, const char* base);
    // Writes the timings from (x, y) in screen fractions with the font (or the
    // profiler font) on the bound renderer; returns the y of a next line.
    // Nothing is drawn without a renderer or a font with a page.
    float UpdateProfiler(float x, float y, bool detailed, zRasterFont* font);

    // --- Record and replay (zSceneReplay.cpp) ------------------------------
    // Records are not owned. Entries name items by UID and windows by
    // zWindow::uid: replaying after an item, material or window is gone skips
    // its entries.
    // A new sample of the cameras, objects and lights, then of the windows of
    // the embedded interface, not excluded from record.
    bool SnapshotToRecord(zSceneRecord* record);
    // The material's diffuse and self-illumination into the newest sample.
    bool MaterialSnapshotToRecord(zSceneRecord* record, zMaterial* material);
    // Adds items first met in a later sample, inactive, to every earlier one.
    bool FinalizeRecord(zSceneRecord* record);
    // Freezes the recorded items and windows; ends another replay first.
    bool StartReplay(zSceneRecord* record);
    // Puts the scene in the state of time (seconds), interpolating between
    // the samples around it. False without a camera or without samples.
    bool Replay(zSceneRecord* record, float time);
    // Replays the last sample and unfreezes the items; the windows place
    // themselves from their own position and angle again.
    bool EndReplay(zSceneRecord* record);
    // Stops replaying the record without replaying anything (a record being
    // deleted calls it).
    void AbandonReplay(zSceneRecord* record);
    zSceneRecord* GetReplayRecord() const { return replayRecord; }
    void TestOptimizeGeometries(int32_t octreeParameter);
    void TestOptimizeGeometry(zGeometry* geometry, int32_t octreeParameter);

    bool IsQuitRequested() const { return (flags & FlagQuit) != 0; }
    void RequestQuit() { flags |= FlagQuit; }
    bool IsRenderless() const { return (flags & FlagRenderless) != 0; }
    void SetRenderless(bool renderless);

    // --- Frame -------------------------------------------------------------
    // One frame with the given update bits. Nothing runs without a current camera.
    void Update(uint32_t bits);
    // Active-list membership: remove false appends unless present; remove
    // true removes (false when absent).
    bool UpdateActiveList(zMItem* item, bool remove);
    // Called by the physics world after each step.
    void PhysicStepHook(bool stepped);
    // Frame settings and camera to the core's current renderer.
    void RenderSetup(uint32_t renderFlags);
    // Visible objects onto the renderer's item stack, then "OnRenderDone".
    void RenderToQueue(uint32_t renderFlags);
    // The 2D interface, then "OnRenderUI".
    void RenderUI(uint32_t renderFlags);

    // --- Files -------------------------------------------------------------
    // Reads a "Scene" tag; with groupOut a new group collects what is read.
    // False for another tag (logged); items that fail to read stay in the
    // scene with fresh UIDs.
    bool FromMetaTagStoreGroup(const zMetaFile* document, const zMetaTag* tag, zGroup** groupOut, int32_t loadFlags,
                               int32_t importDepth);
    // Loads the file through the file loader and reads its "Scene" tag.
    // False when the file cannot be loaded or has no "Scene" tag (logged).
    bool FromMetaFileStoreGroup(const char* path, zGroup** groupOut, int32_t loadFlags, int32_t importDepth);
    // A new "Scene" tag (the caller owns it) with the whole scene, or only the
    // members of filter; null on an allocation failure.
    zMetaTag* AsMetaTag(const zMetaFile* document, const zGroup* filter, int32_t saveFlags);
    zMetaTag* LinkInfoAsMetaTag(const zMItem* item, const zGroup* filter, int32_t saveFlags);
    zMetaTag* SkinInfoAsMetaTag(const zMObject* object, const zGroup* filter, int32_t saveFlags);
    // Writes the whole scene as a ZML file.
    bool SaveFile(const char* path, int32_t saveFlags = LoadAll);
    // zMetaObject: all flags, no group, depth 0.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag) override;
    zMetaTag* AsMetaTag(zLinkedListId* list) override;

    // Null restores the ZML parser on real files.
    void SetFileLoader(zSceneFileLoader loader, void* context);

    // --- Items -------------------------------------------------------------
    // New items, appended to their kind list with a fresh UID; null, logged,
    // when they cannot be allocated. A name may be null (nameless). The scene
    // owns the new item; the geometry is not owned (it stays in the core's
    // cache) and may be null.
    zMObject* AddObject(const char* name, zGeometry* geometry);
    zMLight* AddLight(const char* name, int32_t lightType, float itemPriority);
    // The first camera of a scene without a current camera becomes current.
    zMCamera* AddCamera(const char* name);
    zTrigger* AddTrigger(const char* name);

    // A UID for an item without one; an item with one keeps it (logged).
    zMItem* AssignItemUId(zMItem* item);
    // The first item with that UID; null, logged, when none.
    zMItem* FindFromUid(int32_t uid);
    // Cameras, lights, objects, triggers in that order; with a parent, the
    // first item linked directly under it. Null, logged, when none.
    zMItem* Find(const char* name, const zMItem* parent = nullptr);
    zMCamera* FindCamera(const char* name) const;
    zMLight* FindLight(const char* name) const;
    zMObject* FindObject(const char* name) const;
    zTrigger* FindTrigger(const char* name) const;
    // The kind code of the managed item of that core item (0 when none) and
    // the item in out.
    int32_t LocateItem(const zItem* coreItem, zMItem** out);
    // Whether the item's core item is a bone of some object; bone receives
    // the last bone of that object linked under it.
    bool FindBoneChild(const zMItem* item, zItem** bone);
    static bool IsExcludedFromRecord(const zMItem* item);
    void RemoveFromGroups(zMItem* item);

    // A copy of the item's kind tag under a fresh UID, linked to the same
    // parent; null for an unknown kind.
    zMItem* DuplicateItem(zMItem* source);
    // Deactivates the item and queues it for destruction (once).
    bool DeleteItem(zMItem* item);
    bool DeleteGroup(zGroup* group);
    // Destroys at once; false when the item is not in this scene. The
    // item's script handles go stale; raw pointers to it dangle.
    bool DestroyItem(zMItem* item);
    void FlushDeletionQueue();
    bool IsQueuedForDeletion(const zMItem* item) const;
    // Whether the item is (still) one of this scene's items.
    bool IsRegistered(const zMItem* item) const;

    // A new group the scene owns; null, logged, when it cannot be allocated.
    zGroup* AddGroup(const char* name);
    zGroup* FindGroup(const char* name) const;
    // Instantiates a proxy item's scene file into a group (once per item).
    void DoProxy(zMItem* item);

    // --- Services to items and physics ------------------------------------
    Tavrin* GetCore() override { return core; }
    Tau* GetPhysicWorld() override { return &physics; }
    GCollide* GetCollisionSystem() override { return &collision; }
    zScriptMaster* GetScriptMaster() override { return scriptMaster; }
    void RegisterItem(zMItem* item) override;
    void UnregisterItem(zMItem* item) override;
    void UnlinkItemChilds(zMItem* item) override;
    void SetItemActive(zMItem* item, bool active) override;
    void AddToLogicUpdateList(zMItem* item) override;
    void AddToTriggerWatchList(zMItem* item) override;
    void VisitItems(zMItemVisitor& visitor) override;
    zCamera* GetCurrentCamera() override { return currentCamera; }
    // Null chooses the core camera of the first camera of the list, or none.
    zCamera* SetCurrentCamera(zCamera* camera) override;

    TauItem* FindBodyFromUid(int32_t uid) override;
    int32_t GetBodyUid(const TauItem* body) override;
    TauConstraint* AddConstraintToGroup(void* group, TauConstraint* constraint) override;
    void ForgetConstraint(TauConstraint* constraint) override;

    // --- State ---------------------------------------------------------------
    zSceneScriptUnit script;
    zACEManager commandManager;
    Tavrin* const core;
    zRenderer* renderer = nullptr;
    zCamera* currentCamera = nullptr;
    // Shader library names read from "Shader"; loaded into the bound
    // renderer, or when one is bound.
    zLinkedListId shaderIncludes;
    GCollide collision;
    Tau physics;
    zAIWorld aiWorld;
    zScene2D ui;
    // Kept by UpdateActiveList; read it, do not change it.
    std::vector<zMItem*> activeItems;
    std::vector<zMItem*> allItems;
    int32_t replayState = 0;
    uint8_t keepDeletionQueue = 0;
    std::vector<zMItem*> deletionQueue;
    uint32_t flags = 0;
    float visualisationScale = 1.0f;
    int32_t nextUid = 0;
    zString scenePath;
    zString strippedScenePath;
    zTimer timers[TimerCount];
    zColor backgroundColor{0.0f, 0.0f, 0.0f, 1.0f};
    zColor ambientColor{0.0f, 0.0f, 0.0f, 1.0f};
    float ambientIntensity = 1.0f;
    float targetExposure = 0.25f;
    // Fog distances in world units from the camera; fogFar 0 turns fog off.
    float fogNear = 0.0f;
    float fogFar = 0.0f;
    zColor fogColor{0.0f, 0.0f, 0.0f, 1.0f};
    std::vector<zMItem*> logicUpdateList;
    std::vector<zMItem*> triggerWatchList;
    zScriptMaster* const scriptMaster;
    zSceneItemList cameras;
    zSceneItemList objects;
    zSceneItemList lights;
    zLinkedListId groups;
    zSceneItemList triggers;
    int32_t recordState[2] = {0, 0};
    // The record being replayed, not owned; null when none.
    zSceneRecord* replayRecord = nullptr;
    // The overlay's font; owned, null until CreateProfiler.
    zRasterFont* profilerFont = nullptr;

private:
    class StepHook : public TauStepCallback {
    public:
        void OnStep(void* userData, bool stepped) override;
    };

    // Kind list of an item, by its kind code.
    zSceneItemList* KindList(const zMItem* item);
    void LoadShaderIncludes();
    // How many items the reader would create from the "Scene" tag with
    // these load flags.
    static int64_t CountItemsToRead(const zMetaFile* document, const zMetaTag* tag, int32_t loadFlags);
    // Counts a proxy refused by the bounds of one set-up; true for the first
    // of the set-up, which is logged in full (the others are summed up).
    bool CountProxyRefusal() { return proxyRefusals++ == 0; }
    void CollisionCallbacks();
    void TriggerCallbacks();
    void LogicUpdate(float dt);
    void TransformItem(zMItem* item, uint32_t bits, float frameSeconds);
    void SeparationPass();
    // The collision world's test of whether the two readers above use the
    // pairs of an item, so that pairs nobody reads are not stored.
    static bool CollisionPairsRead(void* scene, const GColItem* collisionItem);

    StepHook stepHook;
    zSceneFileLoader fileLoader = nullptr;
    void* fileLoaderContext = nullptr;
    // Set while DeleteContent tears everything down: dying items need not be
    // searched out of lists that are about to be emptied.
    bool clearing = false;
    // Counts items leaving the scene, so that a walk over a copy of a list
    // knows when it must check that an item still exists.
    uint32_t destroyEpoch = 0;
    // How many proxy instantiations brought an item in (absent: none).
    std::unordered_map<const zMItem*, int32_t> proxyDepth;
    // What the proxies of the current set-up may still bring in, and how
    // many proxies the bounds refused.
    int64_t proxyItemsLeft = MaxProxyItems;
    int64_t proxyTagsLeft = MaxProxyTags;
    int32_t proxyRefusals = 0;
    // Set while set-up instantiates proxies: a file read then recomputes the
    // world matrices of its own items only (each read recomputing every item
    // would make nested proxies quadratic), and set-up recomputes them all
    // once at the end of its proxy pass when some file was read.
    bool deferWorldUpdates = false;
    bool worldUpdatesPending = false;
    // The members of activeItems, allItems, logicUpdateList and
    // triggerWatchList, for constant-time membership tests: set-up and the
    // update stay linear in the number of items.
    std::unordered_set<const zMItem*> activeSet;
    std::unordered_set<const zMItem*> registeredItems;
    std::unordered_set<const zMItem*> logicUpdateSet;
    std::unordered_set<const zMItem*> triggerWatchSet;
};
