#pragma once

#include "core/camera/zCamera.h"
#include "core/item/zItem.h"
#include "core/light/zLight.h"
#include "core/object/zObject.h"
#include "framework/data_structure/zLinkedList.h"
#include "manager/item/zMItem.h"

#include <cstdint>

class zHierarchyMotion;
class zVector;

// A managed geometry object; it owns its skin motions (hierarchy motions,
// one motion per bone).
class zMObject : public zMItem {
public:
    explicit zMObject(zMItemSceneServices* scene);
    ~zMObject() override;

    void UpdateTransform() override;

    // The "MObject" tag: "MItem", "Object" and "SkinMotion". False only for
    // a tag of another name.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new kind tag the caller owns, or null when it cannot be allocated.
    zMetaTag* AsMetaTag() const;

    // Starts motion i of the hierarchy motion in slot 0 of the managed item
    // of bone i, for every bone that has one; nothing for a null motion.
    static void SkinSetHierarchyMotion(const zObject& skin, zHierarchyMotion* motion, float fade, float weight,
                                       float startTime);
    static void SkinSetMotionClockScale(const zObject& skin, float scale);
    static void SkinStopAllMotion(const zObject& skin);

    zObject object;
    zLinkedListId skinMotions;
};

// A managed light. It counts as active only while it gives some light.
class zMLight : public zMItem {
public:
    explicit zMLight(zMItemSceneServices* scene);
    ~zMLight() override;

    // Adds 15, 16, 17 (diffuse colour) and 27 (range) to the common ids.
    bool GetChannelTarget(int32_t channelId, zChannelTarget& target) override;
    bool IsActive() const override;
    void UpdateRenderData() override;
    void UpdateTransform() override;
    void Setup() override;

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag() const;

    zLight light;
};

// A managed camera. Destroying the scene's current camera has the scene
// choose another one (never this one).
class zMCamera : public zMItem {
public:
    explicit zMCamera(zMItemSceneServices* scene);
    ~zMCamera() override;

    // Adds 26 (zoom factor) to the common ids.
    bool GetChannelTarget(int32_t channelId, zChannelTarget& target) override;
    void UpdateTransform() override;

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag() const;

    zCamera camera;
};

// An invisible box, the unit cube around the item's origin under its world
// matrix, that reports the items entering it.
class zTrigger : public zMItem {
public:
    explicit zTrigger(zMItemSceneServices* scene);
    ~zTrigger() override;

    // Strictly inside: a point on a face is outside.
    bool IsInside(const zVector& point) const;

    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    zMetaTag* AsMetaTag() const;

    zItem item;
};
