#include "manager/scene/zGroup.h"

#include "core/item/zItem.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMItem.h"
#include "manager/motion/zMotion.h"
#include "manager/scene/zScene.h"
#include "physic/dynamics/TauConstraint.h"

#include <algorithm>
#include <new>

namespace {

const char* NameOf(const zString& name)
{
    return name.Get() != nullptr ? name.Get() : "";
}

} // namespace

zGroup::zGroup(zScene* owner, const char* name) : zLinkedListIdEntry(name), scene(owner), core(owner->core) {}

zGroup::~zGroup()
{
    for (zMItem* item : items) {
        auto at = std::find(item->memberOf.begin(), item->memberOf.end(), this);
        if (at != item->memberOf.end())
            item->memberOf.erase(at);
    }
}

zMItem* zGroup::Add(zMItem* item, bool checkDuplicates)
{
    if (item == nullptr)
        return nullptr;
    if (checkDuplicates && FindMember(item)) {
        LogWarning("zGroup::Add") << "Duplicate group member '" << NameOf(item->GetName()) << "', addition blocked.\n";
        return nullptr;
    }
    items.push_back(item);
    item->memberOf.push_back(this);
    return item;
}

TauConstraint* zGroup::AddConstraint(TauConstraint* constraint, bool checkDuplicates)
{
    if (constraint == nullptr)
        return nullptr;
    if (checkDuplicates && FindConstraintMember(constraint)) {
        LogWarning("zGroup::Add") << "Duplicate group member '" << NameOf(constraint->id) << "', addition blocked.\n";
        return nullptr;
    }
    // The constraint tells the scene when it dies, so no group keeps it then.
    constraint->groupOwner = scene;
    constraints.push_back(constraint);
    return constraint;
}

bool zGroup::AddGroupMembers(const zGroup& other)
{
    // A copy: other may be this group.
    const std::vector<zMItem*> otherItems = other.items;
    const std::vector<TauConstraint*> otherConstraints = other.constraints;
    for (zMItem* item : otherItems) {
        if (Add(item, false) == nullptr)
            return false;
    }
    for (TauConstraint* constraint : otherConstraints) {
        if (AddConstraint(constraint, false) == nullptr)
            return false;
    }
    return true;
}

bool zGroup::RemoveItem(const zMItem* item)
{
    auto at = std::find(items.begin(), items.end(), item);
    if (at == items.end())
        return false;
    std::vector<zGroup*>& memberOf = (*at)->memberOf;
    auto entry = std::find(memberOf.begin(), memberOf.end(), this);
    if (entry != memberOf.end())
        memberOf.erase(entry);
    items.erase(at);
    return true;
}

bool zGroup::RemoveConstraint(const TauConstraint* constraint)
{
    const size_t before = constraints.size();
    constraints.erase(std::remove(constraints.begin(), constraints.end(), constraint), constraints.end());
    return constraints.size() != before;
}

bool zGroup::FindMember(const zMItem* item) const
{
    return std::find(items.begin(), items.end(), item) != items.end();
}

bool zGroup::FindConstraintMember(const TauConstraint* constraint) const
{
    return std::find(constraints.begin(), constraints.end(), constraint) != constraints.end();
}

zMItem* zGroup::FindItem(const char* name) const
{
    for (zMItem* item : items) {
        if (name != nullptr && item->GetName() == name)
            return item;
    }
    LogWarning("zGroup::FindItem") << "Could not find item '" << (name != nullptr ? name : "") << "' in group '"
                                   << NameOf(id) << "'.\n";
    return nullptr;
}

TauConstraint* zGroup::FindConstraint(const char* name) const
{
    for (TauConstraint* constraint : constraints) {
        if (name != nullptr && constraint->id == name)
            return constraint;
    }
    return nullptr;
}

void zGroup::SetRootItem(zMItem* item)
{
    if (rootItem != nullptr && rootItem->GetCoreItem() != nullptr) {
        for (zMItem* member : items) {
            zItem* core = member->GetCoreItem();
            if (core != nullptr && core->link == rootItem->GetCoreItem())
                core->SetLink(nullptr);
        }
    }
    if (item != nullptr && item->GetCoreItem() != nullptr) {
        for (zMItem* member : items) {
            zItem* core = member->GetCoreItem();
            if (member != item && core != nullptr && core->link == nullptr)
                core->SetLink(item->GetCoreItem());
        }
    }
    rootItem = item;
}

void zGroup::OffsetMatrix(const zMatrix4& m)
{
    for (zMItem* member : items) {
        zItem* core = member->GetCoreItem();
        if (core == nullptr || core->link != nullptr)
            continue;
        // Row vectors: the world matrix applies first, then m.
        core->SetMatrix(m * core->worldMatrix, false);
        member->UpdateTransform();
    }
}

void zGroup::Activate(bool state)
{
    for (zMItem* member : std::vector<zMItem*>(items))
        member->Activate(state, false);
}

void zGroup::SetInvisible(bool invisible)
{
    for (zMItem* member : items) {
        if (zItem* core = member->GetCoreItem()) {
            if (invisible)
                core->flags |= zItem::Invisible;
            else
                core->flags &= ~zItem::Invisible;
        }
    }
}

void zGroup::Setup()
{
    for (zMItem* member : std::vector<zMItem*>(items))
        member->Setup();
}

void zGroup::SetupScript()
{
    for (zMItem* member : std::vector<zMItem*>(items))
        member->SetupScript();
}

void zGroup::Reset(bool callOnReset)
{
    const std::vector<zMItem*> members = items;
    for (zMItem* member : members)
        member->ResetItem();
    if (!callOnReset)
        return;
    for (zMItem* member : members) {
        if (member->script.SetupFunctionCall("OnReset"))
            member->script.DoFunctionCall(0);
    }
}

void zGroup::SetMotionClockScale(float scale)
{
    for (zMItem* member : items) {
        for (zMotionSlot& slot : member->slots)
            slot.clockScale = scale;
    }
}

void zGroup::SetMotion(const char* name, float fade, float weight)
{
    if (name == nullptr)
        return;
    for (zMItem* member : items) {
        if (member->motions.IsEmpty())
            continue;
        if (zMotion* motion = static_cast<zMotion*>(member->motions.FindByName(name)))
            member->slots[0].Set(motion, fade, weight, 0.0f);
    }
}

void zGroup::SetMotionFromIndex(int32_t index, float fade, float startTime)
{
    for (zMItem* member : items) {
        if (index < 0 || index >= member->motions.GetCount())
            continue;
        if (zMotion* motion = static_cast<zMotion*>(static_cast<zLinkedListIdEntry*>(member->motions.Get(index))))
            member->slots[0].Set(motion, fade, 1.0f, startTime);
    }
}
