#include "framework/math/zCurve.h"

#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zString.h"

#include <cmath>
#include <new>

namespace {

constexpr uint32_t InitialCapacity = 64;

float Cubic(const float p[4], float s)
{
    const float r = 1.0f - s;
    return r * r * r * p[0] + 3.0f * r * r * s * p[1] + 3.0f * r * s * s * p[2] + s * s * s * p[3];
}

// Bisection for the Bezier parameter whose time is t; the time control
// points of a sane key rise, so the time curve does too.
float SolveBezierTime(const float times[4], float t)
{
    float lo = 0.0f;
    float hi = 1.0f;
    for (;;) {
        const float s = (lo + hi) * 0.5f;
        const float at = Cubic(times, s);
        if (hi - lo <= 1e-4f || std::fabs(at - t) <= 1e-4f)
            return s;
        if (at < t)
            lo = s;
        else
            hi = s;
    }
}

float EvaluateBezierSegment(const zCurveKey& k0, const zCurveKey& k1, float t)
{
    const bool startIsBezier = k0.kind == zCurveKey::Bezier;
    const float times[4] = {
        k0.time,
        startIsBezier ? k0.time + k0.parameters[zCurveKey::OutTime] : k0.time + (k1.time - k0.time) / 3.0f,
        k1.time + k1.parameters[zCurveKey::Tangent],
        k1.time,
    };
    const float values[4] = {
        k0.value,
        startIsBezier ? k0.value + k0.parameters[zCurveKey::OutValue] : k0.value + k0.parameters[zCurveKey::InValue] / 3.0f,
        k1.value + k1.parameters[zCurveKey::InValue],
        k1.value,
    };
    return Cubic(values, SolveBezierTime(times, t));
}

bool IsOdd(float periods)
{
    return std::fmod(periods, 2.0f) != 0.0f;
}

} // namespace

float WrapCurveTime(float t, float first, float last, float& periods)
{
    const float length = last - first;
    if (length == 0.0f) {
        periods = 0.0f;
        return first;
    }
    // Periods are counted from the first key; for a curve starting at 0,
    // as curves are built, this is the fold from time 0.
    const float local = t - first;
    periods = std::floor(local / length);
    float folded = first + (local - length * periods);
    if (folded < first)
        folded = first;
    else if (folded > last)
        folded = last;
    return folded;
}

zCurve::zCurve()
{
    keys.Resize(InitialCapacity);
}

zCurve::~zCurve() = default;

uint32_t zCurve::GetMemoryFootprint() const
{
    return 40 + 44 * keys.GetCount();
}

void zCurve::Clear()
{
    keys.Clear(true);
    cachedIndex = -1;
}

bool zCurve::Allocate(uint32_t n)
{
    Clear();
    if (n > keys.GetCapacity() && !keys.Resize(n))
        return false;
    for (uint32_t i = 0; i < n; ++i) {
        zCurveKey* key = new (std::nothrow) zCurveKey;
        if (key == nullptr)
            return false;
        if (!keys.Add(key)) {
            delete key;
            return false;
        }
    }
    return true;
}

float zCurve::GetLastKeyTime() const
{
    const uint32_t n = keys.GetCount();
    return n == 0 ? 0.0f : GetKey(n - 1)->time;
}

void zCurve::GetTimeRange(float& first, float& last) const
{
    const uint32_t n = keys.GetCount();
    first = n == 0 ? 0.0f : GetKey(0)->time;
    last = n == 0 ? 0.0f : GetKey(n - 1)->time;
}

bool zCurve::RawEvaluate(float t, float& v, int32_t behaviour)
{
    const int n = int(keys.GetCount());
    if (n == 0) {
        v = 0.0f;
        return false;
    }
    const zCurveKey& firstKey = *GetKey(0);
    const zCurveKey& lastKey = *GetKey(n - 1);
    if (n == 1) {
        v = firstKey.value;
        return false;
    }

    const float g = firstKey.time;
    const float h = lastKey.time;
    float offset = 0.0f;
    if (t < g || t > h) {
        const bool before = t < g;
        const int32_t mode = behaviour != -1 ? behaviour : (before ? preBehaviour : postBehaviour);
        float periods = 0.0f;
        switch (mode) {
        case Reset:
            v = 0.0f;
            return before;
        case Constant:
            v = before ? firstKey.value : lastKey.value;
            return true;
        case Repeat:
            t = WrapCurveTime(t, g, h, periods);
            break;
        case Oscillate:
            t = WrapCurveTime(t, g, h, periods);
            if (IsOdd(periods)) {
                t = g + h - t;
                t = t < g ? g : (t > h ? h : t);
            }
            break;
        case OffsetRepeat:
            t = WrapCurveTime(t, g, h, periods);
            offset = (lastKey.value - firstKey.value) * periods;
            break;
        default:
            v = 0.0f;
            return false;
        }
    }

    int start = -1;
    if (cachedIndex >= n - 1)
        cachedIndex = -1;
    if (t <= g) {
        if (t == g)
            start = 0;
    } else if (cachedIndex < 0) {
        for (int j = 1; j < n; ++j) {
            if (t <= GetKey(j)->time) {
                start = j - 1;
                break;
            }
        }
    } else if (t >= GetKey(cachedIndex)->time) {
        for (int j = cachedIndex + 1; j < n; ++j) {
            if (t <= GetKey(j)->time) {
                start = j - 1;
                break;
            }
        }
    } else {
        for (int j = cachedIndex - 1; j >= 0; --j) {
            if (GetKey(j)->time < t) {
                start = j;
                break;
            }
        }
    }
    if (start < 0) {
        LogError("zCurve::RawEvaluate") << "No interval start keyframe.\n";
        v = 0.0f;
        return false;
    }
    cachedIndex = start;
    v = EvaluateSegment(start, t) + offset;
    return true;
}

float zCurve::EvaluateSegment(int i, float t) const
{
    const zCurveKey& k0 = *GetKey(uint32_t(i));
    const zCurveKey& k1 = *GetKey(uint32_t(i + 1));
    const float y0 = k0.value;
    const float y1 = k1.value;
    if (t == k0.time)
        return y0;
    if (t == k1.time)
        return y1;
    const float span = k1.time - k0.time;
    const float u = (t - k0.time) / span;
    switch (k1.kind) {
    case zCurveKey::Linear:
        return y0 + (y1 - y0) * u;
    case zCurveKey::Step:
        return y0;
    case zCurveKey::Bezier:
        return EvaluateBezierSegment(k0, k1, t);
    case zCurveKey::TCB:
    case zCurveKey::Hermite:
    case zCurveKey::HermiteAlt:
        break;
    default:
        return 0.0f;
    }

    const int n = int(keys.GetCount());
    const zCurveKey* previous = i > 0 ? GetKey(uint32_t(i - 1)) : nullptr;
    const zCurveKey* next = i + 2 < n ? GetKey(uint32_t(i + 2)) : nullptr;
    float m0;
    float m1;
    if (k1.kind == zCurveKey::TCB) {
        const float* a = k0.parameters;
        m0 = (1.0f - a[zCurveKey::Bias]) * (1.0f - a[zCurveKey::Continuity]) * (1.0f - a[zCurveKey::Tension]) * (y1 - y0);
        if (previous != nullptr) {
            m0 += (1.0f + a[zCurveKey::Bias]) * (1.0f + a[zCurveKey::Continuity]) * (1.0f - a[zCurveKey::Tension]) * (y0 - previous->value);
            m0 *= span / (k1.time - previous->time);
        }
        const float* b = k1.parameters;
        m1 = (1.0f - b[zCurveKey::Continuity]) * (1.0f + b[zCurveKey::Bias]) * (1.0f - b[zCurveKey::Tension]) * (y1 - y0);
        if (next != nullptr) {
            m1 += (1.0f + b[zCurveKey::Continuity]) * (1.0f - b[zCurveKey::Bias]) * (1.0f - b[zCurveKey::Tension]) * (next->value - y1);
            m1 *= span / (next->time - k0.time);
        }
    } else {
        m0 = k0.parameters[zCurveKey::Tangent];
        if (previous != nullptr)
            m0 *= span / (k1.time - previous->time);
        m1 = k1.parameters[zCurveKey::Tangent];
        if (next != nullptr)
            m1 *= span / (next->time - k0.time);
    }
    const float u2 = u * u;
    const float u3 = u2 * u;
    const float h01 = 3.0f * u2 - 2.0f * u3;
    const float h00 = 1.0f - h01;
    const float h10 = u3 - 2.0f * u2 + u;
    const float h11 = u3 - u2;
    return h00 * y0 + h10 * m0 + h01 * y1 + h11 * m1;
}

namespace {

struct KeyData {
    int32_t kind;
    float time;
    float value;
    float parameters[zCurveKey::ParameterCount];
};

void CopyKey(KeyData& to, const zCurveKey& from)
{
    to.kind = from.kind;
    to.time = from.time;
    to.value = from.value;
    for (int p = 0; p < zCurveKey::ParameterCount; ++p)
        to.parameters[p] = from.parameters[p];
}

void CopyKey(zCurveKey& to, const KeyData& from)
{
    to.kind = from.kind;
    to.time = from.time;
    to.value = from.value;
    for (int p = 0; p < zCurveKey::ParameterCount; ++p)
        to.parameters[p] = from.parameters[p];
}

} // namespace

int zCurve::Optimize(float tolerance)
{
    const uint32_t n = keys.GetCount();
    if (n < 3)
        return 0;
    KeyData* source = new (std::nothrow) KeyData[n];
    if (source == nullptr) {
        *GlobalLogStream << LogErrorPrefix << "(zCurve::Optimize) Failed to allocate source array.\n";
        return 0;
    }
    for (uint32_t i = 0; i < n; ++i)
        CopyKey(source[i], *GetKey(i));

    KeyData* kept = new (std::nothrow) KeyData[n];
    if (kept == nullptr) {
        delete[] source;
        *GlobalLogStream << LogErrorPrefix << "(zCurve::Optimize) Failed to allocate destination array.\n";
        return 0;
    }
    // Only the middle key of each triple (k0, k1, k2), (k2, k3, k4), ... may go.
    uint32_t count = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i % 2 == 1 && i + 1 < n) {
            const KeyData& a = source[i - 1];
            const KeyData& b = source[i];
            const KeyData& c = source[i + 1];
            const float d = (b.time - a.time) / (c.time - a.time);
            if (std::fabs(b.value - ((1.0f - d) * a.value + d * c.value)) <= tolerance)
                continue;
        }
        kept[count++] = source[i];
    }

    const int dropped = int(n - count);
    if (dropped > 0) {
        if (!Allocate(count)) {
            // Put the original keys back so that a failure leaves the curve as it was.
            if (Allocate(n)) {
                for (uint32_t i = 0; i < n; ++i)
                    CopyKey(*GetKey(i), source[i]);
            }
            delete[] source;
            delete[] kept;
            *GlobalLogStream << LogErrorPrefix << "(zCurve::Optimize) Failed to reallocate optimized array.\n";
            return 0;
        }
        for (uint32_t i = 0; i < count; ++i)
            CopyKey(*GetKey(i), kept[i]);
    }
    delete[] source;
    delete[] kept;
    return dropped;
}

namespace {

// Kinds as stored in "KnotEx" differ from the kinds in memory.
int32_t FileCodeFromKind(int32_t kind)
{
    switch (kind) {
    case zCurveKey::TCB: return 5;
    case zCurveKey::Hermite: return 4;
    case zCurveKey::HermiteAlt: return 2;
    case zCurveKey::Bezier: return 3;
    case zCurveKey::Step: return 6;
    case zCurveKey::Linear: return 1;
    default: return 0;
    }
}

int32_t KindFromFileCode(int32_t code)
{
    switch (code) {
    case 1: return zCurveKey::Linear;
    case 2: return zCurveKey::HermiteAlt;
    case 3: return zCurveKey::Bezier;
    case 4: return zCurveKey::Hermite;
    case 5: return zCurveKey::TCB;
    case 6: return zCurveKey::Step;
    default: return zCurveKey::Zero;
    }
}

const char* const BehaviourNames[] = {"Reset", "Constant", "Repeat", "Oscillate", "OffsetRepeat"};

int32_t BehaviourFromName(const char* word)
{
    if (word == nullptr)
        return -1;
    for (int32_t i = 0; i < 5; ++i) {
        if (zString(word) == BehaviourNames[i])
            return i;
    }
    return -1;
}

// The fields of a key text, separated by ':'; a trailing ':' ends the last one.
class FieldReader {
public:
    explicit FieldReader(const char* text) : cursor(text) {}

    bool Next(const char*& begin, const char*& end)
    {
        if (*cursor == '\0')
            return false;
        begin = cursor;
        end = FindChar(cursor, ':');
        cursor = *end == ':' ? end + 1 : end;
        return true;
    }

    bool NextFloat(float& value)
    {
        const char* begin;
        const char* end;
        if (!Next(begin, end))
            return false;
        value = ParseFloat(begin, end, true);
        return true;
    }

private:
    const char* cursor;
};

void ReadKnot(zCurveKey& key, const char* text)
{
    FieldReader fields(text);
    fields.NextFloat(key.time);
    fields.NextFloat(key.value);
}

void ReadExtendedKnot(zCurveKey& key, const char* text)
{
    FieldReader fields(text);
    fields.NextFloat(key.time);
    const char* begin;
    const char* end;
    if (fields.Next(begin, end)) {
        const zString code = zString().AssignRange(begin, end);
        key.kind = KindFromFileCode(ParseInt(code.Get() != nullptr ? code.Get() : ""));
    }
    fields.NextFloat(key.value);
    for (int p = 0; p < zCurveKey::ParameterCount; ++p) {
        if (!fields.NextFloat(key.parameters[p])) {
            // Older files end after the sixth parameter.
            if (p == zCurveKey::OutValue)
                key.parameters[p] = -1.0f;
            break;
        }
    }
}

} // namespace

bool zCurve::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "Curve")) {
        LogError("zCurve::FromMetaTag") << "Could not parse curve. Root tag id is incorrect (" << tag->GetName() << ").\n";
        return false;
    }
    Clear();
    // The writer leaves out Constant behaviours, so a missing one means Constant.
    preBehaviour = Constant;
    postBehaviour = Constant;
    static const zString knotName("Knot");
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == knotName) {
            if (!ReadKnots(document, child))
                return false;
        } else if (name == "PreBehavior" || name == "PostBehavior") {
            const bool pre = name == "PreBehavior";
            const char* word = child->GetString();
            const int32_t behaviour = BehaviourFromName(word);
            if (behaviour < 0) {
                LogWarning("zCurve::FromMetaTag") << (pre ? "Unknown pre-behavior '" : "Unknown post-behavior '")
                                                  << (word != nullptr ? word : "") << "'.\n";
            } else if (pre) {
                preBehaviour = behaviour;
            } else {
                postBehaviour = behaviour;
            }
        } else {
            LogWarning("zCurve::FromMetaTag") << "Unknown tag '" << name << "' in <Curve>.\n";
        }
    }
    return true;
}

bool zCurve::ReadKnots(const zMetaFile* document, const zMetaTag* knots)
{
    static const zString knotName("Knot");
    static const zString extendedName("KnotEx");
    zLinkedListCursor cursor = {};
    const zMetaTag* countTag = knots->NextChild(cursor, document);
    if (countTag == nullptr || !(countTag->GetName() == "Count") || !countTag->IsNumber()) {
        LogError("zCurve::FromMetaTag") << "First sub-tag in <Curve> must be the knot <Count> tag.\n";
        return false;
    }
    const int32_t count = countTag->GetInteger();
    // A count beyond the tags present cannot be met; allocating it would let
    // a file size our memory.
    const int32_t present = knots->GetChildCount() - 1;
    const int32_t allocated = count < 0 ? 0 : (count < present ? count : present);
    if (!Allocate(uint32_t(allocated))) {
        Clear();
        LogError("zCurve::FromMetaTag") << "<Curve> is corrupted, discarding.\n";
        return false;
    }
    int32_t read = 0;
    while (const zMetaTag* child = knots->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        const bool extended = name == extendedName;
        if (!extended && !(name == knotName)) {
            LogWarning("zCurve::FromMetaTag") << "Unsupported knot tag '" << name << "'.\n";
            continue;
        }
        const char* text = child->GetString();
        if (text == nullptr) {
            LogWarning("zCurve::FromMetaTag") << (extended ? "Invalid extended knot tag while parsing curve.\n"
                                                           : "Invalid knot tag while parsing curve.\n");
            continue;
        }
        if (read >= count || read >= allocated) {
            LogError("zCurve::FromMetaTag") << (extended ? "Too many knot in <Knot>, " : "Too many knot in <Curve>, ")
                                            << count << ".\n";
            return false;
        }
        zCurveKey& key = *GetKey(uint32_t(read++));
        if (extended)
            ReadExtendedKnot(key, text);
        else
            ReadKnot(key, text);
    }
    if (read < count) {
        Clear();
        LogError("zCurve::FromMetaTag") << "<Curve> is corrupted, discarding.\n";
        return false;
    }
    return true;
}

zMetaTag* zCurve::AsMetaTag() const
{
    zMetaTag* root = zMetaTag::NewRoot("Curve", "zCurve::AsMetaTag",
                                       {"Could not create curve root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    zMetaTag* knots = new (std::nothrow) zMetaTag("Knot");
    if (knots == nullptr) {
        LogWarning("zCurve::AsMetaTag") << "Could not allocate knot ZML tag.\n";
    } else {
        root->AddChild(knots);
        const uint32_t n = keys.GetCount();
        knots->CreateInteger("Count", int32_t(n));
        for (uint32_t i = 0; i < n; ++i) {
            const zCurveKey& key = *GetKey(i);
            if (key.kind == zCurveKey::Linear) {
                knots->CreateString("Knot", zString::Format("%.3f:%.6f", double(key.time), double(key.value)).Get());
                continue;
            }
            const float* p = key.parameters;
            const zString text = zString::Format("%.3f:%d:%.6f:%.3f:%.3f:%.3f:%.3f:%.3f:%.3f:%.3f:", double(key.time),
                                                 int(FileCodeFromKind(key.kind)), double(key.value), double(p[0]),
                                                 double(p[1]), double(p[2]), double(p[3]), double(p[4]), double(p[5]),
                                                 double(p[6]));
            knots->CreateString("KnotEx", text.Get());
        }
    }
    if (preBehaviour != Constant && preBehaviour >= Reset && preBehaviour <= OffsetRepeat)
        root->CreateString("PreBehavior", BehaviourNames[preBehaviour]);
    if (postBehaviour != Constant && postBehaviour >= Reset && postBehaviour <= OffsetRepeat)
        root->CreateString("PostBehavior", BehaviourNames[postBehaviour]);
    return root;
}
