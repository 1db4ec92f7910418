#pragma once

#include "core/ace/zACEUnit.h"
#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/zWeakRef.h"
#include "framework/math/zMatrix4.h"
#include "framework/tools/zString.h"
#include "manager/item/zItemScriptUnit.h"
#include "manager/motion/zMotionPlayer.h"
#include "physic/collision/GColItem.h"
#include "physic/dynamics/TauItem.h"

#include <cstdint>
#include <vector>

class zGroup;
class zItem;
class zMetaFile;
class zMetaTag;
class zMItemSceneServices;

// Base of the managed scene items: one core item (held by the kind class)
// with a motion player, a name, an ACE command unit, a script unit (whose
// calls pass the item as an Item handle), a rigid body, a collision item, a
// UID and the flags the scene runs it by. The name is the
// named entry's id, through which the scene's kind lists link the item.
// The core item's owner field points back to the managed item.
class zMItem : public zMotionPlayer, public zLinkedListIdEntry, public zACEUnit, public zWeakTarget {
public:
    enum : int32_t {
        KindBase = 0,
        KindCamera = 1,
        KindObject = 2,
        KindLight = 3,
        KindTrigger = 4,
    };
    static constexpr uint32_t BillboardFlag = 1;

    // The scene must outlive the item. The item joins the scene's all-items
    // and active lists; its body and collision item join the worlds at Setup.
    explicit zMItem(zMItemSceneServices* scene);
    ~zMItem() override;
    zMItem(const zMItem&) = delete;
    zMItem& operator=(const zMItem&) = delete;

    // Slot 0 is zMotionPlayer::GetChannelTarget: ids 1 to 10 reach the core
    // item's orientation, position, Euler angles and scale.
    bool GetChannelTarget(int32_t channelId, zChannelTarget& target) override;
    zItem* GetPropagationItem() override { return coreItem; }
    virtual bool IsActive() const { return active != 0; }
    virtual void UpdateRenderData() {}
    virtual void UpdateTransform();
    // Sets the collision item up and, for an active item, puts the body and
    // the collision item in the scene's worlds.
    virtual void Setup();

    // Sets the flag and keeps the active list and the worlds in step with it;
    // with recursive, also every item linked below this one, at any depth.
    // The instance's "OnActivate" gets the new state.
    void Activate(bool newActive, bool recursive);
    // Opens the script unit unless open ("OnSetup" on success), then joins the
    // scene's logic-update and trigger-watch lists when the instance has
    // "OnLogicUpdate" or "OnTrigger".
    void SetupScript();

    // Both bases have an Update; these name which one. dt in seconds.
    void UpdateMotion(float dt) { zMotionPlayer::Update(dt); }
    void UpdateCommands(float dt) { zACEUnit::Update(dt); }

    // The item reset of the scene: frozen flag, worlds' transformations,
    // logic transformations and a random first logic delay.
    void ResetItem();
    // The scene's item commands ("toposition" ... "toalpha"); other codes go
    // to the base.
    bool ExecCommand(zACECommand* command, float step) override;

    // Stores the priority; a light's scene reorders its light list at once,
    // so that the renderer's light queries follow the change.
    void SetPriority(float value);

    void RecordLocation();
    void ApplyRecordedLocation();
    void SetLogicTransformation(const zMatrix4& m);

    // The "MItem" tag. An item read without "Active" is inactive, and after
    // the read its list and world memberships follow the flag.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "MItem" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag() const;

    const zString& GetName() const { return id; }
    zMItemSceneServices* GetScene() const { return scene; }
    zItem* GetCoreItem() const { return coreItem; }
    int32_t GetKind() const { return kind; }
    // The managed item a core item belongs to, or null.
    static zMItem* FromCoreItem(const zItem* item);

    zMItemSceneServices* const scene;
    zItemScriptUnit script;
    uint8_t active = 1;
    uint8_t excludeFromRecord = 0;
    uint8_t hasRecordedLocation = 0;
    zMatrix4 recordedLocation;
    TauItem body;
    GColItem collisionItem;
    int32_t uid = -1;
    zMatrix4 replayStartWorldMatrix;
    zMatrix4 replayStartPreviousWorldMatrix;
    float priority = 0.5f;
    // "OnLogicUpdate" calls per second, and the seconds left to the next one.
    float logicFrequency = 15.0f;
    float logicTime = 0.0f;
    zMatrix4 logicTransformation;
    zMatrix4 previousLogicTransformation;
    uint8_t proxy = 0;
    uint8_t proxyDone = 0;
    void* proxyLink = nullptr;
    zString proxyScene;
    zString proxyGroup;
    zString proxyRootParameterTarget;
    int32_t proxyFlag = 4;
    // The groups that hold the item, once per membership; kept by zGroup.
    std::vector<zGroup*> memberOf;
    uint32_t billboardFlags = 0;
    uint8_t toolSpecific = 0;

protected:
    // Kind constructors: the core part becomes the item's core item and
    // the owner of the body and collision item.
    void AttachCoreItem(zItem* item, int32_t itemKind);
    // Kind destructors call this first, while every part still stands:
    // "OnDelete" runs, then the item leaves the scene and the worlds and its
    // script handles go stale. Runs once.
    void Retire();

    zItem* coreItem = nullptr;
    int32_t kind = KindBase;

private:
    // Active list and worlds follow the flag; the worlds only once set up
    // or when asked.
    void ApplyMembership(bool worlds);

    bool retired = false;
    bool setUp = false;
};
