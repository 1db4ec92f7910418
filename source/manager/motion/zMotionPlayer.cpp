#include "manager/motion/zMotionPlayer.h"

#include "core/item/zItem.h"
#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/motion/zMotion.h"

#include <new>

bool zMotionSlot::Set(zMotion* newMotion, float newFade, float newWeight, float startTime)
{
    if (newMotion == motion)
        return true;
    time = startTime;
    fade = newFade;
    elapsed = 0.0f;
    weight = newWeight;
    motion = newMotion;
    clockScale = 1.0f;
    if (motion != nullptr) {
        zVector p(position[0], position[1], position[2]);
        if (motion->EvaluatePosition(startTime, p)) {
            position[0] = p.x;
            position[1] = p.y;
            position[2] = p.z;
        }
    }
    return true;
}

bool zMotionSlot::IsDone() const
{
    return motion == nullptr || time > motion->GetLength();
}

void zMotionSlot::Reset()
{
    elapsed = 0.0f;
    fade = 0.0f;
    time = 0.0f;
    weight = 1.0f;
    motion = nullptr;
    clockScale = 1.0f;
}

zMotionPlayer::zMotionPlayer() = default;

zMotionPlayer::~zMotionPlayer()
{
    for (zMotionSlot& slot : slots)
        slot.motion = nullptr;
    motions.Clear(true);
}

bool zMotionPlayer::GetChannelTarget(int32_t, zChannelTarget&)
{
    return false;
}

void zMotionPlayer::Update(float dt)
{
    float total = 0.0f;
    for (const zMotionSlot& slot : slots) {
        if (slot.motion != nullptr)
            total += slot.weight;
    }
    if (total == 0.0f)
        return;

    // Shares come from the state before this update's advance.
    float share[SlotCount] = {};
    for (int i = 0; i < SlotCount; ++i) {
        const zMotionSlot& slot = slots[i];
        if (slot.motion == nullptr)
            continue;
        const float fadeIn = slot.fade > slot.elapsed ? slot.elapsed / slot.fade : 1.0f;
        share[i] = slot.weight / total * fadeIn;
    }

    const bool paused = (flags & Paused) != 0;
    for (zMotionSlot& slot : slots) {
        if (slot.motion == nullptr)
            continue;
        if (!paused)
            slot.time += slot.clockScale * clockScale * dt;
        if (slot.fade > 0.0f) {
            slot.elapsed += dt;
            if (slot.fade < slot.elapsed)
                slot.fade = 0.0f;
        }
    }

    const bool propagate = (flags & PropagatePosition) != 0;
    float delta[SlotCount][3] = {};
    for (int i = 0; i < SlotCount; ++i) {
        zMotionSlot& slot = slots[i];
        if (slot.motion == nullptr)
            continue;
        const float s = share[i];
        bool finished = true;
        for (zChannel* c = slot.motion->GetFirstChannel(); c != nullptr; c = c->next) {
            float value;
            if (!c->RawEvaluate(slot.time, value))
                continue;
            finished = false;
            if (propagate && c->id >= ChannelPositionX && c->id <= ChannelPositionZ) {
                const int axis = c->id - ChannelPositionX;
                delta[i][axis] = value - slot.position[axis];
                slot.position[axis] = value;
                continue;
            }
            zChannelTarget target;
            if (GetChannelTarget(c->id, target) && target.value != nullptr)
                *target.value = (1.0f - s) * *target.value + s * value;
        }
        bool rotated = false;
        if (slot.motion->hasQuaternionChannel != 0) {
            zQuaternion q;
            if (slot.motion->quaternionChannel.Evaluate(slot.time, q)) {
                rotated = true;
                zChannelTarget target;
                if (GetChannelTarget(ChannelOrientation, target) && target.quaternion != nullptr)
                    *target.quaternion = zQuaternion::Slerp(*target.quaternion, q, s);
            }
        }
        if (!rotated && finished)
            slot.Reset();
    }

    if (!propagate)
        return;
    zVector d(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < SlotCount; ++i) {
        if (slots[i].motion == nullptr)
            continue;
        d.x += share[i] * delta[i][0];
        d.y += share[i] * delta[i][1];
        d.z += share[i] * delta[i][2];
    }
    zItem* root = GetPropagationItem();
    if (root == nullptr)
        return;
    while (root->link != nullptr)
        root = root->link;
    const zVector moved = d.Rotate(root->orientation);
    root->position.x += moved.x;
    root->position.y += moved.y;
    root->position.z += moved.z;
    root->UpdateWorldMatrix();
}

void zMotionPlayer::Stop()
{
    for (zMotionSlot& slot : slots) {
        if (slot.motion != nullptr)
            slot.Reset();
    }
}

void zMotionPlayer::SetPropagation(uint32_t bits, bool on)
{
    if (on)
        flags |= bits;
    else
        flags &= ~bits;
}

bool zMotionPlayer::IsDone() const
{
    for (const zMotionSlot& slot : slots) {
        if (!slot.IsDone())
            return false;
    }
    return true;
}

bool zMotionPlayer::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "MotionPlayer")) {
        LogError("zMotionPlayer::FromMetaTag") << "Could not parse motion player. Root tag id is incorrect ("
                                               << tag->GetName() << ").\n";
        return false;
    }
    static const zString motionName("Motion");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Flag") {
            zLinkedListCursor flagCursor = {};
            while (const zMetaTag* flag = child->NextChild(flagCursor, document)) {
                if (flag->GetName() == "PropagatePosition")
                    flags |= PropagatePosition;
                else if (flag->GetName() == "PropagateRotation")
                    flags |= PropagateRotation;
            }
        } else if (name == "Motions") {
            zLinkedListCursor motionCursor = {};
            while (const zMetaTag* m = child->NextChild(motionCursor, document)) {
                if (!(m->GetName() == motionName)) {
                    LogWarning("zMotionPlayer::FromMetaTag") << "Unknown tag '" << m->GetName() << "' in <Motions>.\n";
                    continue;
                }
                zMotion* motion = new (std::nothrow) zMotion("NewMotion");
                if (motion == nullptr)
                    continue;
                motion->FromMetaTag(document, m);
                motions.Add(motion, true, true);
            }
        } else {
            LogWarning("zMotionPlayer::FromMetaTag") << "Unknown tag '" << name << "' in <MotionPlayer>.\n";
        }
    }
    return true;
}

zMetaTag* zMotionPlayer::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("MotionPlayer");
    if (root == nullptr) {
        LogError("zMotionPlayer::AsMetaTag") << "Could not create managed root tag to serialize.\n";
        return nullptr;
    }
    if ((flags & (PropagatePosition | PropagateRotation)) != 0) {
        zMetaTag* flag = root->CreateChild("Flag");
        if (flag != nullptr && (flags & PropagatePosition) != 0)
            flag->CreateChild("PropagatePosition");
        if (flag != nullptr && (flags & PropagateRotation) != 0)
            flag->CreateChild("PropagateRotation");
    }
    if (!motions.IsEmpty()) {
        zMetaTag* list = root->CreateChild("Motions");
        zLinkedListCursor cursor = {};
        while (const zMotion* motion = motions.NextAs<zMotion>(cursor)) {
            if (list != nullptr)
                list->AddChild(motion->AsMetaTag());
        }
    }
    if (root->GetChildCount() == 0) {
        delete root;
        return nullptr;
    }
    return root;
}
