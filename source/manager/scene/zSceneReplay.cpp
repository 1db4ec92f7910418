#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager/scene/zSceneRecord.h"
#include "ui/zWindow.h"

#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace {

float EngineSeconds()
{
    return float(GlobalClock) * 0.0001f;
}

void PutMatrix(uint8_t* out, const zMatrix4& m)
{
    std::memcpy(out, m.m, sizeof(m.m));
}

zMatrix4 GetMatrix(const uint8_t* in)
{
    zMatrix4 m;
    std::memcpy(m.m, in, sizeof(m.m));
    return m;
}

int32_t GetInt(const uint8_t* in)
{
    return int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24);
}

void PutInt(uint8_t* out, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(uint32_t(value) >> (8 * i));
}

uint64_t GetKey(const uint8_t* in)
{
    return uint64_t(uint32_t(GetInt(in))) | uint64_t(uint32_t(GetInt(in + 4))) << 32;
}

bool IsRecordedKind(const zMItem* item)
{
    const int32_t kind = item->GetKind();
    return kind == zMItem::KindCamera || kind == zMItem::KindObject || kind == zMItem::KindLight;
}

// Writes an item entry of the item's current state.
bool WriteItemEntry(zSceneRecordSample& sample, const zMItem& item, uint8_t active)
{
    uint8_t* payload = sample.Lock(zSceneRecordSample::EntryItem, zSceneRecordSample::ItemPayload);
    if (payload == nullptr)
        return false;
    std::memset(payload, 0, zSceneRecordSample::ItemPayload);
    const zItem* core = item.GetCoreItem();
    PutInt(payload, item.uid);
    PutMatrix(payload + 4, core->previousWorldMatrix);
    PutMatrix(payload + 68, core->worldMatrix);
    PutMatrix(payload + 132, core->inverseWorldMatrix);
    payload[196] = active;
    sample.Unlock();
    return true;
}

void PutFloat(uint8_t* out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutInt(out, int32_t(bits));
}

float GetFloat(const uint8_t* in)
{
    const uint32_t bits = uint32_t(GetInt(in));
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

void PutMatrix3(uint8_t* out, const zMatrix3& m)
{
    for (int i = 0; i < 9; ++i)
        PutFloat(out + 4 * i, m.m[i]);
}

zMatrix3 GetMatrix3(const uint8_t* in)
{
    zMatrix3 m;
    for (int i = 0; i < 9; ++i)
        m.m[i] = GetFloat(in + 4 * i);
    return m;
}

// An entry for every window of the interface not excluded from record.
void SnapshotWindows(const zScene2D& ui, zSceneRecordSample& sample)
{
    zModuleTagScope module(7);
    for (zLinkedListEntry* e = ui.windows.GetFirst(); e != nullptr; e = e->next) {
        const auto* window = static_cast<const zWindow*>(e);
        if (window->excludeFromRecord)
            continue;
        uint8_t* payload = sample.Lock(zSceneRecordSample::EntryWindow, zSceneRecordSample::WindowPayload);
        if (payload == nullptr)
            continue;
        std::memset(payload, 0, zSceneRecordSample::WindowPayload);
        PutInt(payload, int32_t(window->uid));
        // A replayed window holds the replayed placement; any other is placed
        // from its fields now, drawn since or not.
        PutMatrix3(payload + 4, window->matrixLocked ? window->worldMatrix : window->ComputeWorldMatrix());
        PutFloat(payload + 40, window->opacity);
        payload[44] = window->IsShown() ? 1 : 0;
        sample.Unlock();
    }
}

// The window entries of the samples around the replayed time; windows
// deleted since are not found and their entries skipped.
void ReplayWindows(zScene2D& ui, const zSceneRecordSample& before, const zSceneRecordSample& after, float f)
{
    zModuleTagScope module(7);
    const uint8_t* entry = nullptr;
    auto windowOf = [&](const uint8_t* at) -> zWindow* {
        if (zSceneRecordSample::EntryId(at) != zSceneRecordSample::EntryWindow
            || zSceneRecordSample::EntrySize(at) < zSceneRecordSample::WindowPayload)
            return nullptr;
        return ui.FindWindowByUid(uint32_t(GetInt(zSceneRecordSample::EntryPayload(at))));
    };
    // Windows the earlier sample names; one it does not (made between the
    // two samples) takes the later placement rather than a stale start.
    std::unordered_set<const zWindow*> started;
    if (before.buffer != nullptr) {
        for (uint32_t at = before.Read(entry, 0); at != 0; at = before.Read(entry, at)) {
            if (zWindow* window = windowOf(entry)) {
                window->replayStartMatrix = GetMatrix3(zSceneRecordSample::EntryPayload(entry) + 4);
                started.insert(window);
            }
        }
    }
    if (after.buffer == nullptr)
        return;
    for (uint32_t at = after.Read(entry, 0); at != 0; at = after.Read(entry, at)) {
        zWindow* window = windowOf(entry);
        if (window == nullptr)
            continue;
        const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
        const zMatrix3 target = GetMatrix3(payload + 4);
        window->SetOpacity(GetFloat(payload + 40));
        window->shown = payload[44] != 0 ? 1 : 0;
        if (started.count(window) == 0)
            window->replayStartMatrix = target;
        for (int i = 0; i < 9; ++i)
            window->worldMatrix.m[i] = (1.0f - f) * window->replayStartMatrix.m[i] + f * target.m[i];
    }
}

} // namespace

// What a replay step needs to find the targets of entries that may be gone:
// items by UID, materials among those the scene's geometries still hold.
struct zSceneReplayTargets {
    explicit zSceneReplayTargets(zScene& scene)
    {
        for (zMItem* item : scene.allItems) {
            if (item->uid >= 0)
                items.emplace(item->uid, item);
            if (item->GetKind() == zMItem::KindObject) {
                const zGeometry* g = static_cast<zMObject*>(item)->object.geometry;
                for (uint32_t i = 0; g != nullptr && g->materials != nullptr && i < g->materialCount; ++i)
                    materials.insert(reinterpret_cast<uint64_t>(g->materials[i]));
            }
        }
    }
    zMItem* Item(int32_t uid) const
    {
        const auto found = items.find(uid);
        return found != items.end() ? found->second : nullptr;
    }
    zMaterial* Material(uint64_t key) const
    {
        return materials.count(key) != 0 ? reinterpret_cast<zMaterial*>(key) : nullptr;
    }

    // The first item of each UID, as FindFromUid finds it.
    std::unordered_map<int32_t, zMItem*> items;
    std::unordered_set<uint64_t> materials;
};

bool zScene::SnapshotToRecord(zSceneRecord* record)
{
    if (record == nullptr)
        return false;
    zModuleTagScope module(8);
    zSceneRecordSample* sample = record->CreateNewSample(EngineSeconds());
    if (sample == nullptr) {
        LogError("zScene::SnapshotToRecord") << "failed to allocate new snapshot sample.\n";
        return false;
    }
    for (zMItem* item : allItems) {
        if (IsExcludedFromRecord(item) || !IsRecordedKind(item) || item->GetCoreItem() == nullptr)
            continue;
        WriteItemEntry(*sample, *item, item->IsActive() ? 1 : 0);
    }
    SnapshotWindows(ui, *sample);
    sample->Trim();
    return true;
}

bool zScene::MaterialSnapshotToRecord(zSceneRecord* record, zMaterial* material)
{
    if (record == nullptr || material == nullptr || record->Last() == nullptr)
        return false;
    zModuleTagScope module(8);
    uint8_t* payload = record->Last()->Lock(zSceneRecordSample::EntryMaterial, zSceneRecordSample::MaterialPayload);
    if (payload == nullptr)
        return false;
    const uint64_t key = reinterpret_cast<uint64_t>(material);
    PutInt(payload, int32_t(uint32_t(key)));
    PutInt(payload + 4, int32_t(uint32_t(key >> 32)));
    std::memcpy(payload + 8, &material->diffuse.r, 16);
    std::memcpy(payload + 24, &material->selfIllumination.r, 16);
    record->Last()->Unlock();
    return true;
}

bool zScene::FinalizeRecord(zSceneRecord* record)
{
    if (record == nullptr)
        return false;
    zModuleTagScope module(8);
    *GlobalLogStream << LogHeadingPrefix << "Finalizing scene record...\n\n";
    std::unordered_set<int32_t> seen;
    // The first item of each UID, for the names the log gives; made when a
    // first item needs one.
    std::unordered_map<int32_t, const zMItem*> byUid;
    for (zSceneRecordSample* sample = record->First(); sample != nullptr;
         sample = static_cast<zSceneRecordSample*>(sample->next)) {
        if (sample->buffer == nullptr)
            continue;
        const uint8_t* entry = nullptr;
        for (uint32_t at = sample->Read(entry, 0); at != 0; at = sample->Read(entry, at)) {
            if (zSceneRecordSample::EntryId(entry) != zSceneRecordSample::EntryItem
                || zSceneRecordSample::EntrySize(entry) < zSceneRecordSample::ItemPayload)
                continue;
            const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
            const int32_t uid = GetInt(payload);
            if (!seen.insert(uid).second || sample == record->First())
                continue;
            if (byUid.empty()) {
                for (const zMItem* candidate : allItems)
                    byUid.emplace(candidate->uid, candidate);
            }
            const auto found = byUid.find(uid);
            const zMItem* item = found != byUid.end() ? found->second : nullptr;
            const char* name = item != nullptr && item->GetName().Get() != nullptr ? item->GetName().Get() : "";
            *GlobalLogStream << "Propagating (probably) runtime created item '" << name << "' to record.\n";
            // The payload may move when an earlier sample grows: copy it out.
            uint8_t copy[zSceneRecordSample::ItemPayload];
            std::memcpy(copy, payload, sizeof(copy));
            copy[196] = 0;
            for (zSceneRecordSample* earlier = static_cast<zSceneRecordSample*>(sample->prev); earlier != nullptr;
                 earlier = static_cast<zSceneRecordSample*>(earlier->prev)) {
                uint8_t* out = earlier->Lock(zSceneRecordSample::EntryItem, zSceneRecordSample::ItemPayload);
                if (out == nullptr) {
                    LogWarning("zScene::FinalizeRecord") << "failed to propagate item creation to record sample.\n";
                    continue;
                }
                std::memcpy(out, copy, sizeof(copy));
                earlier->Unlock();
            }
        }
    }
    for (zSceneRecordSample* sample = record->First(); sample != nullptr;
         sample = static_cast<zSceneRecordSample*>(sample->next))
        sample->Trim();
    return true;
}

bool zScene::StartReplay(zSceneRecord* record)
{
    if (record == nullptr)
        return false;
    zModuleTagScope module(8);
    if (replayRecord != nullptr && replayRecord != record && !EndReplay(replayRecord)) {
        LogError("zScene::StartReplay") << "trying to start a new replay without closing current one. However, "
                                           "zEngine tried but failed to close it for you.\n";
        return false;
    }
    for (zMItem* item : allItems) {
        if (!IsExcludedFromRecord(item) && item->GetCoreItem() != nullptr)
            item->GetCoreItem()->frozen = 1;
    }
    ui.StartReplay();
    replayRecord = record;
    record->replayingScene = this;
    return true;
}

bool zScene::Replay(zSceneRecord* record, float time)
{
    if (record == nullptr)
        return false;
    zModuleTagScope module(8);
    if (currentCamera == nullptr)
        return false;
    for (zMItem* item : activeItems) {
        if (zItem* core = item->GetCoreItem())
            core->previousWorldMatrix = core->worldMatrix;
    }
    zSceneRecordSample* before = nullptr;
    zSceneRecordSample* after = nullptr;
    if (!record->FindSamplesAround(time, before, after))
        return false;
    const zSceneReplayTargets targets(*this);
    const uint8_t* entry = nullptr;

    if (before->buffer != nullptr) {
        for (uint32_t at = before->Read(entry, 0); at != 0; at = before->Read(entry, at)) {
            if (zSceneRecordSample::EntryId(entry) != zSceneRecordSample::EntryItem
                || zSceneRecordSample::EntrySize(entry) < zSceneRecordSample::ItemPayload)
                continue;
            const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
            if (zMItem* item = targets.Item(GetInt(payload))) {
                item->replayStartWorldMatrix = GetMatrix(payload + 68);
                item->replayStartPreviousWorldMatrix = GetMatrix(payload + 4);
            }
        }
    }
    if (after->buffer != nullptr) {
        for (uint32_t at = after->Read(entry, 0); at != 0; at = after->Read(entry, at)) {
            const uint32_t id = zSceneRecordSample::EntryId(entry);
            const uint32_t size = zSceneRecordSample::EntrySize(entry);
            const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
            if (id == zSceneRecordSample::EntryItem && size >= zSceneRecordSample::ItemPayload) {
                zMItem* item = targets.Item(GetInt(payload));
                if (item == nullptr || item->GetCoreItem() == nullptr)
                    continue;
                item->Activate(payload[196] != 0, false);
                item->GetCoreItem()->worldMatrix = GetMatrix(payload + 68);
                item->GetCoreItem()->previousWorldMatrix = GetMatrix(payload + 4);
            } else if (id == zSceneRecordSample::EntryMaterial && size >= zSceneRecordSample::MaterialPayload) {
                if (zMaterial* material = targets.Material(GetKey(payload))) {
                    std::memcpy(&material->diffuse.r, payload + 8, 16);
                    std::memcpy(&material->selfIllumination.r, payload + 24, 16);
                }
            }
        }
    }

    const float factor = before == after ? 0.0f : (time - before->time) / (after->time - before->time);
    float f = factor;
    if (before->buffer != nullptr) {
        for (uint32_t at = before->Read(entry, 0); at != 0; at = before->Read(entry, at)) {
            if (zSceneRecordSample::EntryId(entry) != zSceneRecordSample::EntryItem
                || zSceneRecordSample::EntrySize(entry) < zSceneRecordSample::ItemPayload)
                continue;
            zMItem* item = targets.Item(GetInt(zSceneRecordSample::EntryPayload(entry)));
            if (item == nullptr || item->GetCoreItem() == nullptr)
                continue;
            zItem* core = item->GetCoreItem();
            const zVector from = item->replayStartWorldMatrix.GetRow(3);
            const zVector to = core->worldMatrix.GetRow(3);
            if ((to - from).Length() > 200.0f) {
                *GlobalLogStream << "Position switch detected.\n";
                f = 0.0f;
            }
            core->worldMatrix = zMatrix4::Interpolate(item->replayStartWorldMatrix, core->worldMatrix, f, false);
            TransformItem(item, UpdateTransformBit, 0.0f);
            core->previousWorldMatrix = zMatrix4::Interpolate(item->replayStartPreviousWorldMatrix,
                                                              core->previousWorldMatrix, f, false);
        }
    }

    const std::vector<zMItem*> items = allItems;
    for (zMItem* item : items) {
        if (!IsRegistered(item))
            continue;
        if (item->script.HasCallback(zItemScriptUnit::OnUpdate)
            && item->script.SetupFunctionCall(nullptr, &item->script.GetCallback(zItemScriptUnit::OnUpdate)))
            item->script.DoFunctionCall(0);
        if (IsRegistered(item) && item->GetCoreItem() != nullptr && item->GetCoreItem()->frozen == 0)
            TransformItem(item, UpdateTransformBit, 0.0f);
    }
    // The interface's windows: no position switch test for them.
    ReplayWindows(ui, *before, *after, factor);
    return true;
}

bool zScene::EndReplay(zSceneRecord* record)
{
    if (record == nullptr || record != replayRecord) {
        LogError("zScene::EndReplay") << "trying to close a record that wasn't opened for replay.\n";
        return false;
    }
    zModuleTagScope module(8);
    if (record->Last() != nullptr)
        Replay(record, record->Last()->time);
    AbandonReplay(record);
    return true;
}

void zScene::AbandonReplay(zSceneRecord* record)
{
    if (record == nullptr || record != replayRecord)
        return;
    for (zMItem* item : allItems) {
        if (!IsExcludedFromRecord(item) && item->GetCoreItem() != nullptr)
            item->GetCoreItem()->frozen = 0;
    }
    ui.EndReplay();
    record->replayingScene = nullptr;
    replayRecord = nullptr;
}
