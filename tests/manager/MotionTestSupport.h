#pragma once

#include "core/item/zItem.h"
#include "framework/math/zQuaternion.h"
#include "manager/motion/zMotion.h"
#include "manager/motion/zMotionPlayer.h"

#include <initializer_list>
#include <utility>

// Adds a linear channel with (time, value) keys to the motion.
inline zChannel* AddLinearChannel(zMotion& motion, int32_t id, std::initializer_list<std::pair<float, float>> keys,
                                  int32_t post = zCurve::Constant)
{
    zChannel* c = motion.AddChannel(id);
    c->Allocate(uint32_t(keys.size()));
    uint32_t i = 0;
    for (const auto& [time, value] : keys) {
        c->GetKey(i)->time = time;
        c->GetKey(i)->value = value;
        ++i;
    }
    c->postBehaviour = post;
    return c;
}

// A player that drives plain fields: position (ids 2 to 4), a quaternion
// (id 1) and a zoom (id 26); its propagation item is given.
class FieldPlayer : public zMotionPlayer {
public:
    bool GetChannelTarget(int32_t id, zChannelTarget& target) override
    {
        if (id >= ChannelPositionX && id <= ChannelPositionZ) {
            target.value = &position[id - ChannelPositionX];
            return true;
        }
        if (id == ChannelOrientation) {
            target.quaternion = &quaternion;
            return true;
        }
        if (id == ChannelZoom) {
            target.value = &zoom;
            return true;
        }
        return false;
    }
    zItem* GetPropagationItem() override { return item; }

    float position[3] = {0.0f, 0.0f, 0.0f};
    zQuaternion quaternion;
    float zoom = 0.0f;
    zItem* item = nullptr;
};
