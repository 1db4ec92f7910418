#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

class zScene;

// One moment of a recorded scene: entries {id, payload size, payload} packed
// one after the other (little-endian, 8-byte header, no alignment).
//
// Entries name what they describe by identity, never by address, so that a
// record outlives what it recorded:
//   id 1, item state (200 bytes): the item's UID (int32) at 0, then the
//     previous world, world and inverse world matrices (16 floats each) at
//     4, 68 and 132, the active byte at 196;
//   id 2, material colours (40 bytes): the material's address as a 64-bit
//     key at 0, only compared with the materials the scene still holds and
//     never followed otherwise, then diffuse and self-illumination (4 floats
//     each) at 8 and 24;
//   id 500, window of the scene's 2D interface (48 bytes): the window's uid
//     (zWindow::uid, uint32) at 0, its world matrix (3 x 3 floats, row
//     major) at 4, its opacity (float) at 40, the shown byte (shown with all
//     its ancestors) at 44.
class zSceneRecordSample : public zLinkedListEntry {
public:
    static constexpr uint32_t EntryItem = 1;
    static constexpr uint32_t EntryMaterial = 2;
    static constexpr uint32_t EntryWindow = 500;
    static constexpr uint32_t ItemPayload = 200;
    static constexpr uint32_t MaterialPayload = 40;
    static constexpr uint32_t WindowPayload = 48;
    static constexpr uint32_t HeaderSize = 8;
    // The buffer grows by whole steps, and by half its size at least.
    static constexpr uint32_t GrowthStep = 4096;
    static constexpr uint64_t MaxCapacity = 0xFFFFFFFFu / GrowthStep * GrowthStep;

    zSceneRecordSample() = default;
    ~zSceneRecordSample() override;
    zSceneRecordSample(const zSceneRecordSample&) = delete;
    zSceneRecordSample& operator=(const zSceneRecordSample&) = delete;

    // Room for an entry of that payload size: its header is written and the
    // payload's address returned, to be filled before Unlock. Null, logged,
    // while another entry is locked or when memory runs out.
    uint8_t* Lock(uint32_t id, uint32_t size);
    void Unlock();
    // Gives back the room past the last step the entries reach, once a sample
    // is complete; keeps the buffer as it is when no smaller one can be had.
    void Trim();
    // Walks the entries in write order: start with position 0; each call sets
    // entry to the next entry's header and returns the position after it, or
    // 0 at the end (and, logged, on a sample without a buffer).
    uint32_t Read(const uint8_t*& entry, uint32_t position) const;

    static uint32_t EntryId(const uint8_t* entry);
    static uint32_t EntrySize(const uint8_t* entry);
    static const uint8_t* EntryPayload(const uint8_t* entry) { return entry + HeaderSize; }

    float time = -1.0f;
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t used = 0;
    uint8_t locked = 0;
    uint32_t lockedSize = 0;

private:
    // Moves the entries to a buffer of bytes rounded up to a step; false,
    // with nothing changed, when it cannot be had or would not hold them.
    bool Resize(uint64_t bytes);
};

// A scene recorded in memory: samples in the order they were taken. A record
// being replayed by a scene ends that replay when it is deleted.
class zSceneRecord {
public:
    zSceneRecord();
    ~zSceneRecord();
    zSceneRecord(const zSceneRecord&) = delete;
    zSceneRecord& operator=(const zSceneRecord&) = delete;

    // A new sample at the tail; null, logged, when it cannot be allocated.
    zSceneRecordSample* CreateNewSample(float time);
    // The samples around time; false when the record is empty.
    bool FindSamplesAround(float time, zSceneRecordSample*& before, zSceneRecordSample*& after) const;
    float GetDuration() const;
    // Deletes the samples older than age seconds of the engine clock; returns
    // how many.
    int32_t DropOlderSamples(float age);
    // Bytes held: the record, its samples and their buffers.
    uint64_t GetMemoryFootprint() const;

    zSceneRecordSample* First() const { return static_cast<zSceneRecordSample*>(samples.GetFirst()); }
    zSceneRecordSample* Last() const { return static_cast<zSceneRecordSample*>(samples.GetLast()); }
    int32_t GetSampleCount() const { return samples.GetCount(); }

    // The scene replaying this record, set and cleared by the scene.
    zScene* replayingScene = nullptr;

private:
    zLinkedList samples;
};
