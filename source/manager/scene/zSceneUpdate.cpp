#include "core/camera/zCamera.h"
#include "core/item/zItem.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zQuaternion.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "script/zScriptValues.h"
#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The slowest logic rate: "ScriptLogicFq" 0 updates every 10 s.
constexpr float MinimumLogicFrequency = 0.1f;
// Logic calls one item may owe in one frame; what is owed beyond is dropped,
// so that a huge "ScriptLogicFq" cannot stall the frame.
constexpr int32_t MaxLogicCallsPerFrame = 1024;
constexpr float MaxFrameTime = 0.2f;

zVector WorldPosition(const zMatrix4& m)
{
    return zVector(m.m[3], m.m[7], m.m[11], 1.0f);
}

HSQUIRRELVM VMOf(const zMItem* item)
{
    const zScriptMaster* master = item->script.GetScriptMaster();
    return master != nullptr ? master->GetVM() : nullptr;
}

// Calls a cached item callback after the caller's extra arguments are pushed
// by push(v); nothing when the member is absent or the unit cannot call.
template <class Push> void CallItem(zMItem* item, zItemScriptUnit::Callback which, int32_t count, Push push)
{
    if (!item->script.HasCallback(which))
        return;
    if (!item->script.SetupFunctionCall(nullptr, &item->script.GetCallback(which)))
        return;
    push(VMOf(item));
    item->script.DoFunctionCall(count);
}

// What a collision callback needs of a pair, copied out of the table so
// that callbacks may change the worlds.
struct PairCopy {
    zMItem* a;
    zMItem* b;
    uint32_t count;
    zVector positions[GColPair::MaxPoints];
    zVector normals[GColPair::MaxPoints];
};

void PushContactTable(HSQUIRRELVM v, const PairCopy& pair)
{
    sq_newtable(v);
    sq_pushstring(v, "count", -1);
    sq_pushinteger(v, SQInteger(pair.count));
    sq_newslot(v, -3, SQFalse);
    for (int side = 0; side < 2; ++side) {
        sq_pushstring(v, side == 0 ? "p" : "n", -1);
        sq_newarray(v, 0);
        for (uint32_t i = 0; i < pair.count; ++i) {
            if (!SqPushVectorValue(v, side == 0 ? pair.positions[i] : pair.normals[i]))
                sq_pushnull(v);
            sq_arrayappend(v, -2);
        }
        sq_newslot(v, -3, SQFalse);
    }
}

} // namespace

void zScene::PhysicStepHook(bool stepped)
{
    for (TauItem* body = physics.activeItems.First(); body != nullptr;) {
        TauItem* following = TauItemList::Next(body);
        if (zMItem* item = zMItem::FromCoreItem(body->owner))
            CallItem(item, zItemScriptUnit::OnPhysicStep, 1,
                     [&](HSQUIRRELVM v) { sq_pushbool(v, stepped ? SQTrue : SQFalse); });
        body = following;
    }
    for (TauItem* body = physics.sleepingItems.First(); body != nullptr;) {
        TauItem* following = TauItemList::Next(body);
        if (zMItem* item = zMItem::FromCoreItem(body->owner))
            CallItem(item, zItemScriptUnit::OnPhysicSleepStep, 0, [](HSQUIRRELVM) {});
        body = following;
    }
}

void zScene::Update(uint32_t bits)
{
    zModuleTagScope module(8);
    if (scriptMaster != nullptr)
        scriptMaster->ResetUnitCallCount();
    timers[TimerUpdate].Start();
    if (currentCamera == nullptr)
        return;

    // Scripts may add, deactivate or destroy items while the lists are
    // walked: each walk goes over a copy.
    // An item that left the active list meanwhile (deactivated, deleted or
    // destroyed) is skipped for the rest of the frame.
    auto stillActive = [&](zMItem* item) { return activeSet.count(item) != 0; };

    for (zMItem* item : activeItems) {
        if (zItem* core = item->GetCoreItem())
            core->previousWorldMatrix = core->worldMatrix;
    }

    if ((bits & UpdateScriptBit) != 0)
        script.Call(zSceneScriptUnit::OnUpdate);

    float dt = float(GlobalFrameDelta) * 1e-4f;
    dt = dt > MaxFrameTime ? MaxFrameTime : (dt > 0.0f ? dt : 0.0f);

    if ((bits & UpdateCollisionBit) != 0)
        collision.GetPairTable().Clear();

    timers[TimerPhysic].Start();
    if ((bits & UpdatePhysicBit) != 0) {
        // The world writes every active body's state into its item at each
        // step, static bodies (mode 0) included; their state is the item's
        // world placement, which is not the item's own position when it is
        // linked. Their items keep what they had.
        struct Kept {
            zItem* item;
            zVector position;
            zQuaternion quaternion;
        };
        std::vector<Kept> kept;
        for (TauItem* body = physics.activeItems.First(); body != nullptr; body = TauItemList::Next(body)) {
            if (body->Mode == 0 && body->owner != nullptr)
                kept.push_back(Kept{body->owner, body->owner->position, body->owner->quaternion});
        }
        const float f = physics.Update(dt);
        for (const Kept& k : kept) {
            if (std::memcmp(&k.item->position, &k.position, sizeof(zVector)) != 0 ||
                std::memcmp(&k.item->quaternion, &k.quaternion, sizeof(zQuaternion)) != 0) {
                k.item->position = k.position;
                k.item->quaternion = k.quaternion;
                k.item->UpdateWorldMatrix();
            }
        }
        for (TauItem* body = physics.activeItems.First(); body != nullptr; body = TauItemList::Next(body)) {
            zMItem* item = zMItem::FromCoreItem(body->owner);
            // Only simulated bodies have a previous state to blend with; the
            // state of a body without a mode is the item's own placement.
            if (item == nullptr || !item->IsActive() || body->Mode == 0)
                continue;
            zItem* core = item->GetCoreItem();
            const zVector& current = body->state.position;
            const zVector& previous = body->previous.position;
            core->position = zVector(current.x * (1.0f - f) + previous.x * f, current.y * (1.0f - f) + previous.y * f,
                                     current.z * (1.0f - f) + previous.z * f, 1.0f);
            if ((body->Flag & TauItem::FlagMobile) == 0) {
                core->SetOrientationMethod(zItem::OrientationQuaternion);
                core->quaternion = zQuaternion::Slerp(body->previous.orientation, body->state.orientation, 1.0f - f);
            }
        }
    }
    timers[TimerPhysic].Stop();

    if ((bits & UpdateCollisionBit) != 0) {
        timers[TimerCollision].Start();
        CollisionCallbacks();
        timers[TimerCollision].Stop();
    }

    if ((bits & UpdateTriggerBit) != 0)
        TriggerCallbacks();

    {
        const std::vector<zMItem*> items = activeItems;
        for (zMItem* item : items) {
            if (stillActive(item))
                item->UpdateCommands(dt);
        }
    }

    if ((bits & UpdateScriptBit) != 0) {
        timers[TimerItemUpdate].Start();
        const std::vector<zMItem*> items = activeItems;
        for (zMItem* item : items) {
            if (stillActive(item))
                CallItem(item, zItemScriptUnit::OnUpdate, 0, [](HSQUIRRELVM) {});
        }
        timers[TimerItemUpdate].Stop();
        timers[TimerLogicUpdate].Start();
        LogicUpdate(dt);
        timers[TimerLogicUpdate].Stop();
    }

    aiWorld.Update();

    {
        const std::vector<zMItem*> items = activeItems;
        for (zMItem* item : items) {
            if (stillActive(item))
                item->UpdateRenderData();
        }
        const float frameSeconds = float(GlobalFrameDelta) * 1e-4f;
        for (zMItem* item : items) {
            if (stillActive(item))
                TransformItem(item, bits, frameSeconds);
        }
    }

    if ((bits & UpdateCollisionBit) != 0)
        SeparationPass();

    const float inverseDt = dt != 0.0f ? 1.0f / dt : 0.0f;
    for (zMItem* item : activeItems) {
        zItem* core = item->GetCoreItem();
        if (core == nullptr || item->body.Mode != 0)
            continue;
        const zVector now = WorldPosition(core->worldMatrix);
        const zVector before = WorldPosition(core->previousWorldMatrix);
        item->body.state.linearVelocity =
            zVector((now.x - before.x) * inverseDt, (now.y - before.y) * inverseDt, (now.z - before.z) * inverseDt, 1.0f);
    }

    timers[TimerUpdate].Stop();
    if (keepDeletionQueue == 0)
        FlushDeletionQueue();
}

bool zScene::IsRegistered(const zMItem* item) const
{
    return registeredItems.count(item) != 0;
}

void zScene::CollisionCallbacks()
{
    std::vector<PairCopy> pairs;
    const GColPairTable& table = collision.GetPairTable();
    pairs.reserve(table.GetCount());
    for (uint32_t bucket = 0; bucket < GColPairTable::BucketCount; ++bucket) {
        const zArray& entries = table.GetBucket(bucket);
        for (uint32_t i = 0; i < entries.GetCount(); ++i) {
            const GColPair* pair = table.GetPair(bucket, i);
            if (pair == nullptr || pair->itemA == nullptr || pair->itemB == nullptr)
                continue;
            PairCopy copy;
            copy.a = zMItem::FromCoreItem(static_cast<zItem*>(pair->itemA->owner));
            copy.b = zMItem::FromCoreItem(static_cast<zItem*>(pair->itemB->owner));
            if (copy.a == nullptr || copy.b == nullptr)
                continue;
            copy.count = std::min(pair->pointCount, GColPair::MaxPoints);
            for (uint32_t k = 0; k < copy.count; ++k) {
                copy.positions[k] = pair->positions[k];
                copy.normals[k] = pair->normals[k];
            }
            pairs.push_back(copy);
        }
    }
    const uint32_t epoch = destroyEpoch;
    auto alive = [&](zMItem* item) { return destroyEpoch == epoch || IsRegistered(item); };
    for (const PairCopy& pair : pairs) {
        if (!alive(pair.a) || !alive(pair.b))
            continue;
        const bool exA = pair.a->script.HasCallback(zItemScriptUnit::OnCollisionEx);
        const bool exB = pair.b->script.HasCallback(zItemScriptUnit::OnCollisionEx);
        HSQOBJECT table;
        sq_resetobject(&table);
        HSQUIRRELVM v = scriptMaster != nullptr ? scriptMaster->GetVM() : nullptr;
        if ((exA || exB) && v != nullptr) {
            PushContactTable(v, pair);
            sq_getstackobj(v, -1, &table);
            sq_addref(v, &table);
            sq_pop(v, 1);
        }
        auto call = [&](zMItem* self, zMItem* other, bool ex, bool first) {
            if (!self->IsActive())
                return;
            if (!ex) {
                CallItem(self, zItemScriptUnit::OnCollision, 1,
                         [&](HSQUIRRELVM vm) { SqPushSafePtr(vm, other, SqPtrItem, false); });
            } else {
                CallItem(self, zItemScriptUnit::OnCollisionEx, 3, [&](HSQUIRRELVM vm) {
                    SqPushSafePtr(vm, other, SqPtrItem, false);
                    sq_pushobject(vm, table);
                    sq_pushbool(vm, first ? SQTrue : SQFalse);
                });
            }
        };
        call(pair.a, pair.b, exA, true);
        if (alive(pair.a) && alive(pair.b))
            call(pair.b, pair.a, exB, false);
        if (!sq_isnull(table) && v != nullptr && scriptMaster->GetVM() == v)
            sq_release(v, &table);
    }
}

void zScene::TriggerCallbacks()
{
    const uint32_t epoch = destroyEpoch;
    auto alive = [&](zMItem* item) { return destroyEpoch == epoch || IsRegistered(item); };
    const std::vector<zMItem*> watchers = triggerWatchList;
    std::vector<zTrigger*> volumes;
    for (zLinkedListEntry* e = triggers.GetFirst(); e != nullptr; e = e->next)
        volumes.push_back(static_cast<zTrigger*>(static_cast<zLinkedListIdEntry*>(e)));
    for (zMItem* item : watchers) {
        if (!alive(item) || !item->IsActive() || !item->script.HasCallback(zItemScriptUnit::OnTrigger))
            continue;
        for (zTrigger* trigger : volumes) {
            if (!alive(item) || !alive(trigger) || !trigger->IsActive() || item->GetCoreItem() == nullptr)
                continue;
            if (!trigger->IsInside(WorldPosition(item->GetCoreItem()->worldMatrix)))
                continue;
            CallItem(item, zItemScriptUnit::OnTrigger, 1, [&](HSQUIRRELVM v) {
                SqPushSafePtr(v, static_cast<zMItem*>(trigger), SqPtrItem, false);
            });
        }
    }
}

void zScene::LogicUpdate(float dt)
{
    const uint32_t epoch = destroyEpoch;
    auto alive = [&](zMItem* item) { return destroyEpoch == epoch || IsRegistered(item); };
    const std::vector<zMItem*> items = logicUpdateList;
    for (zMItem* item : items) {
        if (!alive(item) || !item->IsActive())
            continue;
        const float period = 1.0f / std::max(item->logicFrequency, MinimumLogicFrequency);
        item->logicTime -= dt;
        int32_t calls = 0;
        while (item->logicTime <= 0.0f) {
            const float before = item->logicTime;
            item->logicTime += period;
            if (++calls > MaxLogicCallsPerFrame || item->logicTime == before) {
                item->logicTime = period;
                break;
            }
            if (!item->script.HasCallback(zItemScriptUnit::OnLogicUpdate))
                continue;
            item->previousLogicTransformation = item->logicTransformation;
            CallItem(item, zItemScriptUnit::OnLogicUpdate, 1, [&](HSQUIRRELVM v) { sq_pushfloat(v, period); });
            if (!alive(item))
                break;
            if (item->GetCoreItem() != nullptr)
                item->logicTransformation = item->GetCoreItem()->localMatrix;
        }
    }
    for (zMItem* item : logicUpdateList) {
        if (!item->IsActive() || item->body.Mode == TauItem::ModeRigid || item->GetCoreItem() == nullptr)
            continue;
        const float frequency = std::max(item->logicFrequency, MinimumLogicFrequency);
        item->GetCoreItem()->SetMatrix(zMatrix4::Interpolate(item->logicTransformation, item->previousLogicTransformation,
                                                             item->logicTime * frequency, false),
                                       true);
    }
}

void zScene::TransformItem(zMItem* item, uint32_t bits, float frameSeconds)
{
    zItem* core = item->GetCoreItem();
    if ((bits & UpdateMotionBit) != 0)
        item->UpdateMotion(frameSeconds);
    if ((bits & UpdateTransformBit) != 0 && core != nullptr) {
        const bool billboard = (item->billboardFlags & zMItem::BillboardFlag) != 0;
        const int32_t method = core->orientationMethod;
        if (billboard) {
            core->SetOrientationMethod(zItem::OrientationMatrix);
            zMatrix3 cameraRotation;
            if (currentCamera != nullptr)
                cameraRotation = zMatrix3::FromMatrix4(currentCamera->worldMatrix);
            zMatrix3 orientation = cameraRotation * zMatrix3::RotationZ(core->rotation.z);
            if (core->link != nullptr && core->linkSuspended == 0) {
                zMatrix3 parentRotation;
                core->link->inverseWorldMatrix.Orthonormalized().Decompose(nullptr, nullptr, &parentRotation);
                orientation = parentRotation * orientation;
            }
            core->orientation = orientation;
        }
        item->UpdateTransform();
        if (billboard)
            core->orientationMethod = method;
    }
    if ((bits & UpdateCollisionBit) != 0 && core != nullptr) {
        TauItem& body = item->body;
        const bool mobile = (body.Flag & TauItem::FlagMobile) != 0;
        if (body.Mode != TauItem::ModeRigid || mobile || (bits & UpdatePhysicBit) == 0) {
            zVector position, scale;
            zMatrix3 rotation;
            core->worldMatrix.Decompose(&position, &scale, &rotation);
            item->collisionItem.SetTransformation(position, &rotation, &scale);
            if (!mobile) {
                body.state.position = position;
                body.state.rotation = rotation;
            }
        }
    }
}

bool zScene::CollisionPairsRead(void*, const GColItem* collisionItem)
{
    // The callbacks read the pairs of an item that listens; the separation
    // pass moves the items that have no body mode and a mass.
    const zMItem* item = zMItem::FromCoreItem(static_cast<zItem*>(collisionItem->owner));
    if (item == nullptr)
        return false;
    return item->script.HasCallback(zItemScriptUnit::OnCollision)
        || item->script.HasCallback(zItemScriptUnit::OnCollisionEx)
        || (item->body.Mode == 0 && collisionItem->GetMass() != 0.0f);
}

void zScene::SeparationPass()
{
    collision.GetPairTable().Clear();
    physics.DetectContacts();
    const GColPairTable& table = collision.GetPairTable();
    for (uint32_t bucket = 0; bucket < GColPairTable::BucketCount; ++bucket) {
        const zArray& entries = table.GetBucket(bucket);
        for (uint32_t i = 0; i < entries.GetCount(); ++i) {
            const GColPair* pair = table.GetPair(bucket, i);
            if (pair == nullptr || pair->itemA == nullptr || pair->itemB == nullptr)
                continue;
            const float massA = pair->itemA->GetMass();
            const float massB = pair->itemB->GetMass();
            const float total = massA + massB;
            if (total == 0.0f)
                continue;
            // The pair's normals point from A towards B; a depth's sign
            // depends on which item the sweep met first, so only its size
            // is used. C is then the move that takes A out of B.
            zVector correction(0.0f, 0.0f, 0.0f, 1.0f);
            const uint32_t count = std::min(pair->pointCount, GColPair::MaxPoints);
            for (uint32_t k = 0; k < count; ++k) {
                const zVector& n = pair->normals[k];
                const float d = -std::fabs(pair->depths[k]) - (n.x * correction.x + n.y * correction.y + n.z * correction.z);
                correction = zVector(correction.x + n.x * d, correction.y + n.y * d, correction.z + n.z * d, 1.0f);
            }
            auto move = [&](GColItem* collisionItem, float share) {
                zMItem* item = zMItem::FromCoreItem(static_cast<zItem*>(collisionItem->owner));
                if (item == nullptr || item->body.Mode != 0 || item->GetCoreItem() == nullptr)
                    return;
                zItem* core = item->GetCoreItem();
                core->position = zVector(core->position.x + correction.x * share, core->position.y + correction.y * share,
                                         core->position.z + correction.z * share, 1.0f);
                core->UpdateWorldMatrix();
            };
            if (massA != 0.0f)
                move(pair->itemA, massA / total);
            if (massB != 0.0f)
                move(pair->itemB, -massB / total);
        }
    }
}
