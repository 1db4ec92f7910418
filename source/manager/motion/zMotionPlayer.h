#pragma once

#include "framework/data_structure/zLinkedList.h"

#include <cstdint>

class zItem;
class zQuaternion;
class zMetaFile;
class zMetaTag;
class zMotion;

// The item field a channel drives: a float, or a rotation quaternion.
struct zChannelTarget {
    float* value = nullptr;
    zQuaternion* quaternion = nullptr;
};

// One playing motion of a player.
class zMotionSlot {
public:
    // Starts the motion (nothing when it is already the slot's): time = start,
    // fade-in of fade seconds, the weight, clock scale 1, and the position
    // at the start time for propagation. Always true.
    bool Set(zMotion* newMotion, float newFade, float newWeight, float startTime);
    // Free, or the time is past the motion's length.
    bool IsDone() const;
    // Back to the values of a free slot; position and reserved stay.
    void Reset();

    // Seconds: since the start, of fade-in, and the motion's own clock.
    float elapsed = 0.0f;
    float fade = 0.0f;
    float time = 0.0f;
    float weight = 1.0f;
    zMotion* motion = nullptr;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float reserved = 1.0f;
    float clockScale = 1.0f;
};

// Plays up to four of its motions at once, blended by weight with fade-in.
// Owns its list of named motions; slots only point into it (or into
// motions owned elsewhere, such as an object's hierarchy motions).
class zMotionPlayer {
public:
    static constexpr int SlotCount = 4;
    static constexpr uint32_t PropagatePosition = 1;
    static constexpr uint32_t PropagateRotation = 2;
    static constexpr uint32_t Paused = 4;

    zMotionPlayer();
    virtual ~zMotionPlayer();
    zMotionPlayer(const zMotionPlayer&) = delete;
    zMotionPlayer& operator=(const zMotionPlayer&) = delete;

    // The field the channel id drives; false when the player drives none.
    virtual bool GetChannelTarget(int32_t channelId, zChannelTarget& target);
    // The item whose link chain receives propagated position changes; null
    // when there is none.
    virtual zItem* GetPropagationItem() { return nullptr; }

    // Advances and blends the slots by dt seconds; allocates nothing.
    void Update(float dt);
    void Stop();
    void SetPropagation(uint32_t bits, bool on);
    bool IsDone() const;

    // The "MotionPlayer" tag; motions read are appended to the list.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "MotionPlayer" tag, or null when it would be empty or cannot be made.
    zMetaTag* AsMetaTag() const;

    uint32_t flags = 0;
    float clockScale = 1.0f;
    zMotionSlot slots[SlotCount];
    zLinkedListId motions;
};
