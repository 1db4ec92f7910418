#pragma once

#include <cstdint>

class GCollide;
class Tau;
class Tavrin;
class zCamera;
class zMItem;
class zScriptMaster;

// Called for each item of a scene by zMItemSceneServices::VisitItems.
class zMItemVisitor {
public:
    virtual ~zMItemVisitor() = default;
    virtual void Visit(zMItem* item) = 0;
};

// What a managed item needs of the scene that owns it. The scene implements
// it; items hold it for their whole life, so it must outlive them. All
// calls come from the main thread.
class zMItemSceneServices {
public:
    virtual ~zMItemSceneServices() = default;

    // The core object the kinds build their core parts with; may be null.
    virtual Tavrin* GetCore() = 0;
    // The worlds of the scene; never null.
    virtual Tau* GetPhysicWorld() = 0;
    virtual GCollide* GetCollisionSystem() = 0;
    // The master of the VM the item scripts run in; null when scripts are off.
    virtual zScriptMaster* GetScriptMaster() = 0;

    // A new item enters the scene's all-items list (its kind list and UID
    // are the add operations' business).
    virtual void RegisterItem(zMItem* item) = 0;
    // The item is going: it leaves every list of the scene (all-items, kind,
    // active, logic-update, trigger-watch, groups, deletion queue). Called
    // once, before any part of the item is torn down.
    virtual void UnregisterItem(zMItem* item) = 0;
    // The items whose core item is linked to the item's core item lose that link.
    virtual void UnlinkItemChilds(zMItem* item) = 0;
    // Membership of the active item list; adding an item that is there or
    // removing one that is not does nothing.
    virtual void SetItemActive(zMItem* item, bool active) = 0;
    // Appends to the logic-update or trigger-watch list unless already there.
    virtual void AddToLogicUpdateList(zMItem* item) = 0;
    virtual void AddToTriggerWatchList(zMItem* item) = 0;
    // Every item of the scene, in the all-items order. The visitor must not
    // add or remove items.
    virtual void VisitItems(zMItemVisitor& visitor) = 0;

    // Reorders the scene's light list after a light's priority changed; a
    // host that keeps no light list has nothing to do.
    virtual void SortLightsByPriority() {}

    virtual zCamera* GetCurrentCamera() = 0;
    // Stores the camera; null chooses the core camera of the first entry of
    // the camera list, or none. Returns the camera now current.
    virtual zCamera* SetCurrentCamera(zCamera* camera) = 0;
};
