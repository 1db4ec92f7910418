#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "manager/motion/zChannel.h"
#include "manager/motion/zQuaternionChannel.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;
class zVector;

// A named set of keyframed channels and at most one rotation channel. The
// name is the list entry's id; channels are owned.
class zMotion : public zLinkedListIdEntry {
public:
    explicit zMotion(const char* name = nullptr);
    // Script handles to the motion go stale.
    ~zMotion() override;
    zMotion(const zMotion&) = delete;
    zMotion& operator=(const zMotion&) = delete;

    const zString& GetName() const { return id; }
    void SetName(const char* name) { id.Assign(name); }

    // A new channel linked at the head of the list (the list holds channels
    // in the reverse order of addition); null, logged, when out of memory.
    zChannel* AddChannel(int32_t channelId);
    // Null, logged, past the end.
    zChannel* GetChannelFromPosition(int32_t index) const;
    zChannel* FindChannel(int32_t channelId) const;
    zChannel* GetFirstChannel() const { return channels; }
    int32_t GetChannelCount() const { return channelCount; }
    void ClearChannels();

    // PositionX, Y and Z at the time (seconds); behaviour -1 uses each curve's own,
    // another value overrides both ends. False, point untouched, when one
    // of the three channels is missing.
    bool EvaluatePosition(float time, zVector& point, int32_t behaviour = -1) const;
    // Largest last-key time of the scalar channels (0 without any); the
    // rotation channel does not count.
    float GetLength() const;
    // False without channels.
    bool GetTimeRange(float& start, float& end) const;
    void SetPreBehavior(int32_t value);
    void SetPostBehavior(int32_t value);
    // Removes keys within the tolerances; returns how many went.
    int Optimize(float curveTolerance, float quaternionTolerance);

    // The "Motion" tag. Channels are added at the head, so the list holds
    // them in the reverse of file order.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Motion" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag() const;

    zQuaternionChannel quaternionChannel;
    uint8_t hasQuaternionChannel = 0;

private:
    zChannel* channels = nullptr;
    int32_t channelCount = 0;
};
