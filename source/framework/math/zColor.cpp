#include "framework/math/zColor.h"

#include "framework/metafile/zMetaTag.h"

#include <cmath>
#include <cstring>

namespace {

// A float in [256, 512) holds its integer part - 256 in bits 15 to 22, which
// spares a float-to-integer conversion.
uint32_t ComponentByte(float c)
{
    // Outside 0..1 (and NaN) the bit trick gives no meaningful byte.
    const float clamped = c > 0.0f ? (c < 1.0f ? c : 1.0f) : 0.0f;
    const float biased = clamped * 255.0f + 256.0f;
    uint32_t bits;
    std::memcpy(&bits, &biased, sizeof bits);
    return (bits >> 15) & 0xFFu;
}

} // namespace

uint32_t zColor::ToRGBA32() const
{
    return ComponentByte(r) | (ComponentByte(g) << 8) | (ComponentByte(b) << 16) | (ComponentByte(a) << 24);
}

void zColor::FromRGBA32(uint32_t packed)
{
    const float scale = 0.003921569f;
    r = float(packed & 0xFFu) * scale;
    g = float((packed >> 8) & 0xFFu) * scale;
    b = float((packed >> 16) & 0xFFu) * scale;
    a = float(packed >> 24) * scale;
}

float ClosestPointOnSegment(const zVector& a, const zVector& b, const zVector& p, zVector* out)
{
    const zVector d = b - a;
    const float squared = d.Dot(d);
    float t = squared != 0.0f ? d.Dot(p - a) / squared : 0.0f;
    if (t < 0.0f)
        t = 0.0f;
    else if (t > 1.0f)
        t = 1.0f;
    if (out != nullptr)
        *out = a + d * t;
    return t;
}

bool ClosestPointsOfLines(const zVector& p1, const zVector& q1, const zVector& p2, const zVector& q2, float out[2])
{
    const zVector d1 = q1 - p1;
    const zVector d2 = q2 - p2;
    const float r = d1.Dot(d2);
    const float a = d1.Dot(d1);
    const float c = d2.Dot(d2);
    const float determinant = a * c - r * r;
    if (std::fabs(determinant) < 1e-8f)
        return false;
    const float e = (p1 - p2).Dot(d2);
    const float f = (p2 - p1).Dot(d1);
    out[0] = (e * r + f * c) / determinant;
    out[1] = (f * r + e * a) / determinant;
    return true;
}

void zColor::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    float* components[4] = {&r, &g, &b, &a};
    zLinkedListCursor cursor;
    for (float* component : components) {
        const zMetaTag* child = tag->NextChild(cursor, document);
        if (child == nullptr)
            return;
        *component = child->GetFloat();
    }
}

void zColor::AddMetaTag(zMetaTag* parent, const char* name) const
{
    zMetaTag* tag = parent->CreateChild(name);
    if (tag == nullptr)
        return;
    tag->CreateFloat("R", r);
    tag->CreateFloat("G", g);
    tag->CreateFloat("B", b);
    tag->CreateFloat("A", a);
}
