#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zMatrix4.h"

#include <cstdint>
#include <vector>

class Tavrin;
class TauConstraint;
class zMItem;
class zScene;

// A named set of a scene's items and physics constraints. The group only
// references its members: deleting it deletes neither items nor constraints.
// The scene's group list owns the group; the scene removes items and
// constraints from every group as they die. Main thread only.
class zGroup : public zLinkedListIdEntry {
public:
    zGroup(zScene* owner, const char* name);
    ~zGroup() override;
    zGroup(const zGroup&) = delete;
    zGroup& operator=(const zGroup&) = delete;

    const zString& GetName() const { return id; }

    // Appends the item; null for a null item, and with the check for an item
    // already a member (logged).
    zMItem* Add(zMItem* item, bool checkDuplicates);
    TauConstraint* AddConstraint(TauConstraint* constraint, bool checkDuplicates);
    // Every member of the other group, without the duplicate check.
    bool AddGroupMembers(const zGroup& other);
    // False when the item is not a member.
    bool RemoveItem(const zMItem* item);
    bool RemoveConstraint(const TauConstraint* constraint);
    bool FindMember(const zMItem* item) const;
    bool FindConstraintMember(const TauConstraint* constraint) const;
    // The member of that name; null, logged, when none.
    zMItem* FindItem(const char* name) const;
    // The constraint of that name, or null (not logged).
    TauConstraint* FindConstraint(const char* name) const;

    // Members that hang under the old root are unlinked from it; members
    // without a parent are linked under the new one (null: none).
    void SetRootItem(zMItem* item);
    // Members without a parent get their world matrix followed by m.
    void OffsetMatrix(const zMatrix4& m);
    void Activate(bool state);
    void SetInvisible(bool invisible);
    void Setup();
    void SetupScript();
    // Resets every member; with callOnReset each member's "OnReset" runs after.
    void Reset(bool callOnReset);
    void SetMotionClockScale(float scale);
    // Starts the member's motion of that name (or at that index) in slot 0.
    void SetMotion(const char* name, float fade, float weight);
    void SetMotionFromIndex(int32_t index, float fade, float startTime);

    int32_t GetItemCount() const { return int32_t(items.size()); }
    int32_t GetConstraintCount() const { return int32_t(constraints.size()); }
    const std::vector<zMItem*>& GetItems() const { return items; }
    const std::vector<TauConstraint*>& GetConstraints() const { return constraints; }

    zScene* const scene;
    Tavrin* core;
    zMItem* rootItem = nullptr;

private:
    std::vector<zMItem*> items;
    std::vector<TauConstraint*> constraints;
};
