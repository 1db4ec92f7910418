// The item's part of the scene frame: its reset and the item commands the
// scene defines.
#include "core/item/zItem.h"
#include "framework/math/zRandom.h"
#include "manager/item/zMItem.h"

#include <algorithm>

namespace {

// The slowest logic rate: an item asking for less (0 among them) is updated
// every 10 s rather than never.
constexpr float MinimumLogicFrequency = 0.1f;

zVector WorldPosition(const zItem& item)
{
    return zVector(item.worldMatrix.m[3], item.worldMatrix.m[7], item.worldMatrix.m[11], 1.0f);
}

} // namespace

void zMItem::ResetItem()
{
    if (coreItem == nullptr)
        return;
    // The physics drives a body's item in world space: its link to a parent
    // is suspended while it has a mode.
    coreItem->linkSuspended = 0;
    coreItem->UpdateWorldMatrix();
    const zVector position = WorldPosition(*coreItem);
    collisionItem.SetTransformation(position, &coreItem->orientation, &coreItem->scale, true);
    // A body with a mode is set up from its mass here: nothing else makes
    // its inverse mass, and without one it never moves.
    if (body.Mode != 0)
        body.ComputeInverseMass();
    body.ResetTransformation(&position, &coreItem->rotation);
    if (body.Mode == 0) {
        // A body without a mode takes the item's placement as it is; the
        // world reads it from the first step on.
        body.state.position = position;
        body.state.rotation = coreItem->orientation;
        body.previous.position = position;
        body.previous.rotation = coreItem->orientation;
    }
    logicTransformation = coreItem->localMatrix;
    previousLogicTransformation = coreItem->localMatrix;
    if (body.Mode != 0)
        coreItem->linkSuspended = 1;
    logicTime = RandomFloat(1.0f / std::max(logicFrequency, MinimumLogicFrequency));
}

bool zMItem::ExecCommand(zACECommand* command, float step)
{
    if (command == nullptr || command->code < 0 || command->code > 5 || coreItem == nullptr)
        return zACEUnit::ExecCommand(command, step);
    const float* v = command->parameters;
    const float f = command->remaining > 0.0f ? step / command->remaining : 1.0f;
    zItem& item = *coreItem;
    switch (command->code) {
    case 0:
        item.position.x = StepToward(item.position.x, v[0], f);
        item.position.y = StepToward(item.position.y, v[1], f);
        item.position.z = StepToward(item.position.z, v[2], f);
        break;
    case 1: {
        const float share = command->duration > 0.0f ? step / command->duration : 1.0f;
        item.position.x += v[0] * share;
        item.position.y += v[1] * share;
        item.position.z += v[2] * share;
        break;
    }
    case 2: {
        zVector t = item.offsetMatrix.GetMatrix().GetRow(3);
        t.x = StepToward(t.x, v[0], f);
        t.y = StepToward(t.y, v[1], f);
        t.z = StepToward(t.z, v[2], f);
        item.offsetMatrix.SetRow(3, t);
        break;
    }
    case 3:
        item.scale.x = StepToward(item.scale.x, v[0], f);
        item.scale.y = StepToward(item.scale.y, v[1], f);
        item.scale.z = StepToward(item.scale.z, v[2], f);
        break;
    case 4: {
        constexpr float DegreesToRadians = 0.017453292f;
        item.rotation.x = StepToward(item.rotation.x, v[0] * DegreesToRadians, f);
        item.rotation.y = StepToward(item.rotation.y, v[1] * DegreesToRadians, f);
        item.rotation.z = StepToward(item.rotation.z, v[2] * DegreesToRadians, f);
        break;
    }
    case 5: item.alpha = StepToward(item.alpha, v[0], f); break;
    default: break;
    }
    return true;
}
