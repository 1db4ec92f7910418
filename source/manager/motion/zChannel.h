#pragma once

#include "framework/math/zCurve.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;

// Item properties a motion channel can drive; the names are the "Id" values
// of the "Channel" tag and the numbers are shared with scripts.
enum zChannelId : int32_t {
    ChannelNone = 0,
    ChannelOrientation = 1,
    ChannelPositionX = 2,
    ChannelPositionY = 3,
    ChannelPositionZ = 4,
    ChannelRotationX = 5,
    ChannelRotationY = 6,
    ChannelRotationZ = 7,
    ChannelScaleX = 8,
    ChannelScaleY = 9,
    ChannelScaleZ = 10,
    ChannelQuaternion = 11,
    ChannelPivotX = 12,
    ChannelPivotY = 13,
    ChannelPivotZ = 14,
    ChannelDiffuseR = 15,
    ChannelDiffuseG = 16,
    ChannelDiffuseB = 17,
    ChannelSpecularR = 18,
    ChannelSpecularG = 19,
    ChannelSpecularB = 20,
    ChannelDiffuseI = 21,
    ChannelSpecularI = 22,
    ChannelConeAngle = 23,
    ChannelEdgeAngle = 24,
    ChannelAlpha = 25,
    ChannelZoom = 26,
    ChannelRange = 27,
    ChannelFogStart = 28,
    ChannelFogEnd = 29,
    ChannelFogR = 30,
    ChannelFogG = 31,
    ChannelFogB = 32,
    ChannelIdCount = 33,
};

// The "Id" name of a channel id, or null for 0 and ids out of range.
const char* GetChannelIdName(int32_t id);
// The channel id of an "Id" name, or -1.
int32_t GetChannelIdFromName(const char* name);

// A keyframed scalar curve that drives one item property. Channels of a
// motion form a singly linked list owned by the motion.
class zChannel : public zCurve {
public:
    zChannel() = default;
    explicit zChannel(int32_t channelId) : id(channelId) {}

    // Reads a "Channel" tag: its "Curve" and its "Id". False for a tag of
    // another name or a curve that could not be read.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Channel" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag() const;

    int32_t id = ChannelNone;
    zChannel* next = nullptr;
};
