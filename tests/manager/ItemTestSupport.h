#pragma once

#include "manager/item/zMItem.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/item/zMKinds.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"

#include <algorithm>
#include <string>
#include <vector>

// A scene reduced to its lists and worlds, recording what items ask of it.
class FakeScene : public zMItemSceneServices {
public:
    explicit FakeScene(Tavrin* coreObject = nullptr) : core(coreObject)
    {
        physics.collision = &collision;
        collision.SAP_Allocate(64);
    }

    Tavrin* GetCore() override { return core; }
    Tau* GetPhysicWorld() override { return &physics; }
    GCollide* GetCollisionSystem() override { return &collision; }
    zScriptMaster* GetScriptMaster() override { return master; }

    void RegisterItem(zMItem* item) override { all.push_back(item); }
    void UnregisterItem(zMItem* item) override
    {
        events.push_back("unregister " + std::string(item->GetName().Get() != nullptr ? item->GetName().Get() : ""));
        // What the item still is when it leaves: its kind must still stand.
        leftAs.push_back(dynamic_cast<zMObject*>(item) != nullptr   ? "object"
                         : dynamic_cast<zMLight*>(item) != nullptr  ? "light"
                         : dynamic_cast<zMCamera*>(item) != nullptr ? "camera"
                         : dynamic_cast<zTrigger*>(item) != nullptr ? "trigger"
                                                                    : "base");
        Erase(all, item);
        Erase(activeList, item);
        Erase(logicList, item);
        Erase(triggerList, item);
        Erase(cameras, dynamic_cast<zMCamera*>(item));
    }
    void UnlinkItemChilds(zMItem* item) override
    {
        for (zMItem* other : all) {
            if (other->GetCoreItem() != nullptr && other->GetCoreItem()->link == item->GetCoreItem())
                other->GetCoreItem()->SetLink(nullptr);
        }
    }
    void SetItemActive(zMItem* item, bool active) override
    {
        ++activeCalls;
        const bool listed = Contains(activeList, item);
        if (active && !listed)
            activeList.push_back(item);
        else if (!active && listed)
            Erase(activeList, item);
    }
    void AddToLogicUpdateList(zMItem* item) override
    {
        if (!Contains(logicList, item))
            logicList.push_back(item);
    }
    void AddToTriggerWatchList(zMItem* item) override
    {
        if (!Contains(triggerList, item))
            triggerList.push_back(item);
    }
    void VisitItems(zMItemVisitor& visitor) override
    {
        const std::vector<zMItem*> snapshot = all;
        for (zMItem* item : snapshot)
            visitor.Visit(item);
    }
    zCamera* GetCurrentCamera() override { return current; }
    zCamera* SetCurrentCamera(zCamera* camera) override
    {
        current = camera != nullptr ? camera : (cameras.empty() ? nullptr : &cameras.front()->camera);
        return current;
    }

    // What the scene's camera addition does.
    zMCamera* AddCamera()
    {
        zMCamera* camera = new zMCamera(this);
        cameras.push_back(camera);
        if (current == nullptr)
            current = &camera->camera;
        return camera;
    }

    bool InWorlds(zMItem* item) { return item->body.worldList != nullptr && collision.IsActive(&item->collisionItem); }
    bool OutOfWorlds(zMItem* item) { return item->body.worldList == nullptr && !collision.IsActive(&item->collisionItem); }

    template <class T> static bool Contains(const std::vector<T*>& list, const T* item)
    {
        return std::find(list.begin(), list.end(), item) != list.end();
    }
    template <class T> static void Erase(std::vector<T*>& list, const T* item)
    {
        list.erase(std::remove(list.begin(), list.end(), item), list.end());
    }

    Tavrin* core;
    zScriptMaster* master = nullptr;
    GCollide collision;
    Tau physics;
    std::vector<zMItem*> all;
    std::vector<zMItem*> activeList;
    std::vector<zMItem*> logicList;
    std::vector<zMItem*> triggerList;
    std::vector<zMCamera*> cameras;
    std::vector<std::string> leftAs;
    std::vector<std::string> events;
    zCamera* current = nullptr;
    int activeCalls = 0;
};
