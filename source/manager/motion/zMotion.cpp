#include "manager/motion/zMotion.h"

#include "framework/math/zVector.h"
#include "framework/metafile/zMetaTag.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "script/SqSafePtr.h"

#include <new>

namespace {

// Scene items, motions and records count as the scene manager's memory.
constexpr int32_t SceneModuleTag = 8;

} // namespace

zMotion::zMotion(const char* name) : zLinkedListIdEntry(name) {}

zMotion::~zMotion()
{
    SqSafePtrInvalidate(this);
    ClearChannels();
}

void zMotion::ClearChannels()
{
    while (channels != nullptr) {
        zChannel* next = channels->next;
        delete channels;
        channels = next;
    }
    channelCount = 0;
}

zChannel* zMotion::AddChannel(int32_t channelId)
{
    zModuleTagScope module(SceneModuleTag);
    zChannel* channel = new (std::nothrow) zChannel(channelId);
    if (channel == nullptr) {
        LogError("zMotion::AddChannel") << "Could not allocate channel.\n";
        return nullptr;
    }
    channel->next = channels;
    channels = channel;
    ++channelCount;
    return channel;
}

zChannel* zMotion::GetChannelFromPosition(int32_t index) const
{
    zChannel* c = channels;
    for (int32_t i = 0; c != nullptr && i < index; ++i)
        c = c->next;
    if (index < 0 || c == nullptr) {
        LogWarning("zMotion::GetChannelFromPosition") << "Failed to retrieve channel from position.\n";
        return nullptr;
    }
    return c;
}

zChannel* zMotion::FindChannel(int32_t channelId) const
{
    for (zChannel* c = channels; c != nullptr; c = c->next) {
        if (c->id == channelId)
            return c;
    }
    return nullptr;
}

bool zMotion::EvaluatePosition(float time, zVector& point, int32_t behaviour) const
{
    zChannel* x = FindChannel(ChannelPositionX);
    zChannel* y = FindChannel(ChannelPositionY);
    zChannel* z = FindChannel(ChannelPositionZ);
    if (x == nullptr || y == nullptr || z == nullptr)
        return false;
    x->RawEvaluate(time, point.x, behaviour);
    y->RawEvaluate(time, point.y, behaviour);
    z->RawEvaluate(time, point.z, behaviour);
    return true;
}

float zMotion::GetLength() const
{
    float length = 0.0f;
    for (const zChannel* c = channels; c != nullptr; c = c->next) {
        const float last = c->GetLastKeyTime();
        if (last > length)
            length = last;
    }
    return length;
}

bool zMotion::GetTimeRange(float& start, float& end) const
{
    if (channels == nullptr)
        return false;
    bool first = true;
    for (const zChannel* c = channels; c != nullptr; c = c->next) {
        float a;
        float b;
        c->GetTimeRange(a, b);
        if (first || a < start)
            start = a;
        if (first || b > end)
            end = b;
        first = false;
    }
    return true;
}

void zMotion::SetPreBehavior(int32_t value)
{
    for (zChannel* c = channels; c != nullptr; c = c->next)
        c->preBehaviour = value;
}

void zMotion::SetPostBehavior(int32_t value)
{
    for (zChannel* c = channels; c != nullptr; c = c->next)
        c->postBehaviour = value;
}

int zMotion::Optimize(float curveTolerance, float quaternionTolerance)
{
    zModuleTagScope module(SceneModuleTag);
    int removed = 0;
    for (zChannel* c = channels; c != nullptr; c = c->next) {
        for (;;) {
            const int dropped = c->Optimize(curveTolerance);
            if (dropped == 0)
                break;
            removed += dropped;
        }
    }
    return removed + quaternionChannel.Optimize(quaternionTolerance);
}

bool zMotion::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "Motion")) {
        LogError("zMotion::FromMetaTag") << "Could not parse motion, root tag id is incorrect (" << tag->GetName()
                                         << ").\n";
        return false;
    }
    static const zString channelName("Channel");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == channelName) {
            if (zChannel* channel = AddChannel(ChannelNone))
                channel->FromMetaTag(document, child);
        } else if (name == "Id") {
            const char* text = child->GetString();
            id.Assign(text != nullptr ? text : "");
        } else if (name == "QChannel") {
            quaternionChannel.FromMetaTag(document, child);
            hasQuaternionChannel = 1;
        } else {
            LogWarning("zMotion::FromMetaTag") << "Unknown tag '" << name << "' in <Motion>.\n";
        }
    }
    return true;
}

zMetaTag* zMotion::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("Motion");
    if (root == nullptr) {
        LogError("zMotion::AsMetaTag") << "Could not create managed root tag to serialize.\n";
        return nullptr;
    }
    root->CreateString("Id", id.Get() != nullptr ? id.Get() : "");
    for (const zChannel* c = channels; c != nullptr; c = c->next)
        root->AddChild(c->AsMetaTag());
    if (hasQuaternionChannel != 0)
        root->AddChild(quaternionChannel.AsMetaTag());
    return root;
}
