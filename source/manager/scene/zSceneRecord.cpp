#include "manager/scene/zSceneRecord.h"

#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"

#include <algorithm>
#include <cstring>
#include <new>

zSceneRecordSample::~zSceneRecordSample()
{
    delete[] buffer;
    buffer = nullptr;
    time = -1.0f;
}

uint8_t* zSceneRecordSample::Lock(uint32_t id, uint32_t size)
{
    if (locked) {
        LogError("zSceneRecordSample::Lock") << "Cannot lock a scene sample twice without unlocking first.\n";
        return nullptr;
    }
    const uint64_t needed = uint64_t(used) + uint64_t(size) + HeaderSize;
    if (needed > capacity) {
        // Half as much again at least, so that a sample of n entries is
        // copied a logarithmic number of times rather than every few entries;
        // short of memory for that, the entry alone.
        const uint64_t grown = std::max(needed, uint64_t(capacity) + capacity / 2);
        if (needed > MaxCapacity || (!Resize(grown) && !Resize(needed))) {
            LogError("zSceneRecordSample::Lock")
                << "Failed to increase scene record sample size to accommodate the Lock() operation.\n";
            return nullptr;
        }
    }
    uint8_t* header = buffer + used;
    // Little-endian whatever the host: the layout is the record's own.
    for (int i = 0; i < 4; ++i) {
        header[i] = uint8_t(id >> (8 * i));
        header[4 + i] = uint8_t(size >> (8 * i));
    }
    locked = 1;
    lockedSize = size;
    return header + HeaderSize;
}

bool zSceneRecordSample::Resize(uint64_t bytes)
{
    uint64_t rounded = (bytes + GrowthStep - 1) / GrowthStep * GrowthStep;
    if (rounded > MaxCapacity)
        rounded = MaxCapacity;
    if (rounded < used)
        return false;
    uint8_t* moved = new (std::nothrow) uint8_t[rounded > 0 ? rounded : 1];
    if (moved == nullptr)
        return false;
    if (buffer != nullptr)
        std::memcpy(moved, buffer, used);
    delete[] buffer;
    buffer = moved;
    capacity = uint32_t(rounded);
    return true;
}

void zSceneRecordSample::Trim()
{
    if (locked || buffer == nullptr)
        return;
    const uint64_t fitted = (uint64_t(used) + GrowthStep - 1) / GrowthStep * GrowthStep;
    // Keeping the larger buffer when no smaller one can be had loses nothing.
    if (fitted < capacity && fitted > 0)
        Resize(fitted);
}

void zSceneRecordSample::Unlock()
{
    if (!locked) {
        LogError("zSceneRecordSample::Unlock") << "Cannot unlock a scene record sample that is not locked.\n";
        return;
    }
    used += lockedSize + HeaderSize;
    locked = 0;
    lockedSize = 0;
}

uint32_t zSceneRecordSample::EntryId(const uint8_t* entry)
{
    return uint32_t(entry[0]) | uint32_t(entry[1]) << 8 | uint32_t(entry[2]) << 16 | uint32_t(entry[3]) << 24;
}

uint32_t zSceneRecordSample::EntrySize(const uint8_t* entry)
{
    return EntryId(entry + 4);
}

uint32_t zSceneRecordSample::Read(const uint8_t*& entry, uint32_t position) const
{
    if (buffer == nullptr) {
        LogError("zSceneRecordSample::Read") << "Cannot read from an empty sample.\n";
        return 0;
    }
    if (uint64_t(position) + HeaderSize > used)
        return 0;
    entry = buffer + position;
    const uint64_t next = uint64_t(position) + HeaderSize + EntrySize(entry);
    // Committed entries always fit; a torn header is not followed.
    return next <= used ? uint32_t(next) : 0;
}

zSceneRecord::zSceneRecord() = default;

zSceneRecord::~zSceneRecord()
{
    // A record collected while its scene replays it ends that replay first.
    if (replayingScene != nullptr)
        replayingScene->AbandonReplay(this);
    samples.Clear(true);
}

zSceneRecordSample* zSceneRecord::CreateNewSample(float time)
{
    zSceneRecordSample* sample = new (std::nothrow) zSceneRecordSample();
    if (sample == nullptr) {
        LogError("zSceneRecord::CreateNewSample") << "failed to allocate a new record sample.\n";
        return nullptr;
    }
    sample->time = time;
    samples.Append(sample);
    return sample;
}

bool zSceneRecord::FindSamplesAround(float time, zSceneRecordSample*& before, zSceneRecordSample*& after) const
{
    zSceneRecordSample* at = First();
    if (at == nullptr)
        return false;
    while (at->next != nullptr && static_cast<zSceneRecordSample*>(at->next)->time <= time)
        at = static_cast<zSceneRecordSample*>(at->next);
    before = at;
    after = at->next != nullptr ? static_cast<zSceneRecordSample*>(at->next) : at;
    return true;
}

float zSceneRecord::GetDuration() const
{
    if (First() == nullptr)
        return 0.0f;
    return Last()->time - First()->time;
}

int32_t zSceneRecord::DropOlderSamples(float age)
{
    const float now = float(GlobalClock) * 0.0001f;
    int32_t dropped = 0;
    zSceneRecordSample* at = First();
    while (at != nullptr) {
        zSceneRecordSample* next = static_cast<zSceneRecordSample*>(at->next);
        if (age < now - at->time) {
            samples.Remove(at, true);
            ++dropped;
        }
        at = next;
    }
    return dropped;
}

uint64_t zSceneRecord::GetMemoryFootprint() const
{
    uint64_t bytes = sizeof(zSceneRecord);
    for (const zSceneRecordSample* at = First(); at != nullptr; at = static_cast<zSceneRecordSample*>(at->next))
        bytes += sizeof(zSceneRecordSample) + at->capacity;
    return bytes;
}
