#include "manager/motion/zChannel.h"

#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstring>
#include <new>

namespace {

const char* const ChannelIdNames[ChannelIdCount] = {
    nullptr,     "Orientation", "PositionX", "PositionY", "PositionZ", "RotationX", "RotationY",
    "RotationZ", "ScaleX",      "ScaleY",    "ScaleZ",    "Quaternion", "PivotX",   "PivotY",
    "PivotZ",    "DiffuseR",    "DiffuseG",  "DiffuseB",  "SpecularR", "SpecularG", "SpecularB",
    "DiffuseI",  "SpecularI",   "ConeAngle", "EdgeAngle", "Alpha",     "Zoom",      "Range",
    "FogStart",  "FogEnd",      "FogR",      "FogG",      "FogB",
};

} // namespace

const char* GetChannelIdName(int32_t id)
{
    return id > 0 && id < ChannelIdCount ? ChannelIdNames[id] : nullptr;
}

int32_t GetChannelIdFromName(const char* name)
{
    if (name == nullptr)
        return -1;
    for (int32_t id = 1; id < ChannelIdCount; ++id) {
        if (std::strcmp(name, ChannelIdNames[id]) == 0)
            return id;
    }
    return -1;
}

bool zChannel::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "Channel")) {
        LogError("zChannel::FromMetaTag") << "Could not parse motion channel. Root tag id is incorrect (" << tag->GetName()
                                          << ").\n";
        return false;
    }
    bool ok = true;
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Curve") {
            if (!zCurve::FromMetaTag(document, child))
                ok = false;
        } else if (name == "Id") {
            const char* text = child->GetString();
            const int32_t found = GetChannelIdFromName(text);
            if (found < 0)
                LogWarning("zChannel::FromMetaTag") << "Unknown channel id '" << (text != nullptr ? text : "") << "'.\n";
            else
                id = found;
        } else {
            LogWarning("zChannel::FromMetaTag") << "Unknown tag '" << name << "' in <Channel>.\n";
        }
    }
    return ok;
}

zMetaTag* zChannel::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("Channel");
    if (root == nullptr) {
        LogError("zChannel::AsMetaTag") << "Could not create channel root tag to serialize.\n";
        return nullptr;
    }
    root->AddChild(zCurve::AsMetaTag());
    const char* name = GetChannelIdName(id);
    if (name == nullptr)
        LogWarning("zChannel::AsMetaTag") << "Unknown motion channel type (" << int(id) << ").\n";
    else
        root->CreateString("Id", name);
    return root;
}
