#include "manager/motion/zQuaternionChannel.h"

#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zString.h"

#include <new>

namespace {

zQuaternion QuaternionOf(const zQuaternionKey& k)
{
    return zQuaternion(k.x, k.y, k.z, k.w);
}

zQuaternion Interpolate(const zQuaternionKey& a, const zQuaternionKey& b, float time)
{
    const float span = b.time - a.time;
    const float t = span > 0.0f ? (time - a.time) / span : 0.0f;
    return zQuaternion::Slerp(QuaternionOf(a), QuaternionOf(b), t);
}

// "time:x,y,z,w"; false when a separator is missing.
bool ParseKey(const char* text, zQuaternionKey& key)
{
    const char* colon = FindChar(text, ':');
    if (*colon != ':')
        return false;
    const char* c1 = FindChar(colon + 1, ',');
    if (*c1 != ',')
        return false;
    const char* c2 = FindChar(c1 + 1, ',');
    if (*c2 != ',')
        return false;
    const char* c3 = FindChar(c2 + 1, ',');
    if (*c3 != ',')
        return false;
    key.time = ParseFloat(text, colon);
    key.x = ParseFloat(colon + 1, c1);
    key.y = ParseFloat(c1 + 1, c2);
    key.z = ParseFloat(c2 + 1, c3);
    key.w = ParseFloat(c3 + 1);
    return true;
}

} // namespace

zQuaternionChannel::~zQuaternionChannel()
{
    Free();
}

void zQuaternionChannel::Free()
{
    delete[] keys;
    keys = nullptr;
    count = 0;
    cursor = -1;
}

bool zQuaternionChannel::AllocateKf(uint32_t n)
{
    Free();
    if (n == 0)
        return true;
    keys = new (std::nothrow) zQuaternionKey[n];
    if (keys == nullptr) {
        LogError("zQuaternionChannel::AllocateKf")
            << "Quaternion channel failed to allocate " << n << " key frame(s).\n";
        return false;
    }
    count = n;
    return true;
}

void zQuaternionChannel::SetKey(uint32_t index, const zQuaternionKey& key)
{
    if (index < count)
        keys[index] = key;
}

bool zQuaternionChannel::Evaluate(float time, zQuaternion& q)
{
    if (count == 0)
        return false;
    if (time <= keys[0].time) {
        q = QuaternionOf(keys[0]);
        return true;
    }
    const int32_t last = int32_t(count) - 1;
    if (time >= keys[last].time) {
        q = QuaternionOf(keys[last]);
        return false;
    }
    int32_t c = cursor;
    if (c < 0 || c >= last) {
        c = 0;
        while (c + 1 < last && keys[c + 1].time <= time)
            ++c;
    } else if (time >= keys[c].time) {
        while (c + 1 <= last && time > keys[c + 1].time)
            ++c;
    } else {
        while (c != 0 && keys[c - 1].time > time)
            --c;
        // The key before is at or before the time (the first key is, since
        // times at or before it returned above).
        --c;
    }
    cursor = c;
    q = Interpolate(keys[c], keys[c + 1], time);
    return true;
}

int zQuaternionChannel::OptimizePass(float tolerance)
{
    if (count < 3)
        return 0;
    zQuaternionKey* kept = new (std::nothrow) zQuaternionKey[count];
    if (kept == nullptr)
        return 0;
    uint32_t n = 0;
    uint32_t i = 0;
    for (; i + 2 < count; i += 2) {
        kept[n++] = keys[i];
        const zQuaternion between = Interpolate(keys[i], keys[i + 2], keys[i + 1].time);
        if (between.Distance(QuaternionOf(keys[i + 1])) > tolerance)
            kept[n++] = keys[i + 1];
    }
    // What the pairs left over: at most the key before the last, and the last.
    for (; i < count; ++i)
        kept[n++] = keys[i];
    const int dropped = int(count - n);
    if (dropped == 0) {
        delete[] kept;
        return 0;
    }
    delete[] keys;
    keys = kept;
    count = n;
    cursor = -1;
    return dropped;
}

int zQuaternionChannel::Optimize(float tolerance)
{
    int total = 0;
    for (;;) {
        const int dropped = OptimizePass(tolerance);
        if (dropped == 0)
            return total;
        total += dropped;
    }
}

bool zQuaternionChannel::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "QChannel")) {
        LogError("zQuaternionChannel::FromMetaTag")
            << "Could not parse motion quaternion channel. Root tag id is incorrect (" << tag->GetName() << ").\n";
        return false;
    }
    static const zString kfName("Kf");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* node = tag->NextChild(cursor, document)) {
        if (!(node->GetName() == kfName)) {
            LogWarning("zQuaternionChannel::FromMetaTag") << "Unknown tag '" << node->GetName() << "' in <QChannel>.\n";
            continue;
        }
        zLinkedListCursor keyCursor = {};
        const zMetaTag* countTag = node->NextChild(keyCursor, document);
        if (countTag == nullptr || !(countTag->GetName() == "Count") || countTag->GetType() != zMetaTag::TypeInteger) {
            LogError("zQuaternionChannel::FromMetaTag")
                << "First sub-tag in <QChannel> must be the keyframe <Count> tag.\n";
            return false;
        }
        const int32_t expected = countTag->GetInteger();
        // Keys beyond the children present cannot be read; allocating them
        // would let a file size our memory.
        const int32_t present = node->GetChildCount() - 1;
        const int32_t allocated = expected < 0 ? 0 : (expected < present ? expected : present);
        if (!AllocateKf(uint32_t(allocated)))
            return false;
        int32_t read = 0;
        bool overrun = false;
        while (const zMetaTag* child = node->NextChild(keyCursor, document)) {
            const char* text = child->GetString();
            if (text == nullptr) {
                LogWarning("zQuaternionChannel::FromMetaTag") << "Invalid keyframe tag while parsing quaternion channel.\n";
                continue;
            }
            zQuaternionKey key;
            if (!ParseKey(text, key)) {
                LogWarning("zQuaternionChannel::FromMetaTag") << "Mangled keyframe tag while parsing quaternion channel.\n";
                Free();
                return false;
            }
            // More keys than the count announced: stop before writing past the keys.
            if (read >= allocated) {
                overrun = true;
                break;
            }
            keys[read++] = key;
        }
        if (overrun || read != expected) {
            LogError("zQuaternionChannel::FromMetaTag") << "<QChannel> is corrupted, discarding.\n";
            Free();
            return false;
        }
    }
    return true;
}

zMetaTag* zQuaternionChannel::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("QChannel");
    if (root == nullptr) {
        LogError("zQuaternionChannel::AsMetaTag") << "Could not create quaternion channel root tag to serialize.\n";
        return nullptr;
    }
    zMetaTag* node = new (std::nothrow) zMetaTag("Kf");
    if (node == nullptr) {
        LogWarning("zQuaternionChannel::AsMetaTag") << "Warning, could not allocate keyframe ZML tag.\n";
        return root;
    }
    root->AddChild(node);
    node->CreateInteger("Count", int32_t(count));
    for (uint32_t i = 0; i < count; ++i) {
        const zQuaternionKey& k = keys[i];
        node->CreateString("Kf", zString::Format("%.3f:%.6f,%.6f,%.6f,%.6f", double(k.time), double(k.x), double(k.y),
                                                 double(k.z), double(k.w))
                                     .Get());
    }
    return root;
}
