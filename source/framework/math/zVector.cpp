#include "framework/math/zVector.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zRandom.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

namespace {

constexpr float Epsilon = 1e-6f;

float ClampFloat(float v, float lo, float hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

} // namespace

zVector zVector::Cross(const zVector& v) const
{
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
}

float zVector::Length() const
{
    return std::sqrt(SquaredLength());
}

zVector zVector::DivideScalar(float s) const
{
    if (s == 0.0f)
        return {0.0f, 0.0f, 0.0f};
    const float inverse = 1.0f / s;
    return {x * inverse, y * inverse, z * inverse};
}

zVector zVector::Normalized() const
{
    const float length = Length();
    if (length < Epsilon)
        return {0.0f, 0.0f, 0.0f};
    return {x / length, y / length, z / length};
}

bool zVector::IsNearlyEqual(const zVector& v) const
{
    return std::fabs(x - v.x) < Epsilon && std::fabs(y - v.y) < Epsilon && std::fabs(z - v.z) < Epsilon;
}

bool zVector::DiffersFrom(const zVector& v) const
{
    return std::fabs(x - v.x) >= Epsilon || std::fabs(y - v.y) >= Epsilon || std::fabs(z - v.z) >= Epsilon;
}

zVector zVector::ClampComponents(float lo, float hi) const
{
    return {ClampFloat(x, lo, hi), ClampFloat(y, lo, hi), ClampFloat(z, lo, hi)};
}

zVector zVector::Clamp(const zVector& lo, const zVector& hi) const
{
    return {ClampFloat(x, lo.x, hi.x), ClampFloat(y, lo.y, hi.y), ClampFloat(z, lo.z, hi.z)};
}

zVector zVector::ClampMagnitude(float minLength, float maxLength) const
{
    const float squared = SquaredLength();
    if ((squared >= minLength * minLength && squared <= maxLength * maxLength) || squared < Epsilon)
        return {x, y, z, w};
    const float target = squared < minLength * minLength ? minLength : maxLength;
    const float scale = target / std::sqrt(squared);
    return {x * scale, y * scale, z * scale};
}

zVector zVector::Transform(const zMatrix4& matrix) const
{
    const float* m = matrix.m;
    return {m[0] * x + m[1] * y + m[2] * z + m[3],
            m[4] * x + m[5] * y + m[6] * z + m[7],
            m[8] * x + m[9] * y + m[10] * z + m[11]};
}

void zVector::TransformInPlace(const zMatrix4& matrix)
{
    const zVector t = Transform(matrix);
    x = t.x;
    y = t.y;
    z = t.z;
}

zVector zVector::Rotate(const zMatrix3& matrix) const
{
    const float* m = matrix.m;
    return {m[0] * x + m[1] * y + m[2] * z,
            m[3] * x + m[4] * y + m[5] * z,
            m[6] * x + m[7] * y + m[8] * z};
}

void zVector::RotateInPlace(const zMatrix3& matrix)
{
    const zVector r = Rotate(matrix);
    x = r.x;
    y = r.y;
    z = r.z;
}

zVector zVector::Random(float lo, float hi)
{
    zVector v;
    v.x = RandomRange(lo, hi);
    v.y = RandomRange(lo, hi);
    v.z = RandomRange(lo, hi);
    return v;
}

void zVector::Print(const char* name) const
{
    if (name != nullptr)
        *GlobalLogStream << LogScriptPrefix << "Vector '" << name << "' = {";
    else
        *GlobalLogStream << LogScriptPrefix << "Vector = {";
    *GlobalLogStream << x << "," << y << "," << z << "}\n";
}

float VectorDistanceSquared(const zVector& a, const zVector& b)
{
    return (a - b).SquaredLength();
}

float VectorDistance(const zVector& a, const zVector& b)
{
    return (a - b).Length();
}

zMetaTag* zVector::AsMetaTag(const char* name, bool withW) const
{
    zMetaTag* tag = new (std::nothrow) zMetaTag(name != nullptr ? name : "Vector");
    if (tag == nullptr)
        return nullptr;
    tag->CreateFloat("X", x);
    tag->CreateFloat("Y", y);
    tag->CreateFloat("Z", z);
    if (withW)
        tag->CreateFloat("W", w);
    return tag;
}

bool zVector::FromMetaTag(const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    float* components[4] = {&x, &y, &z, &w};
    int read = 0;
    for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr && read < 4; child = child->GetNextSibling())
        *components[read++] = child->GetFloat();
    return read >= 3;
}

zMetaTag* zVector2::AsMetaTag(const char* name) const
{
    zMetaTag* tag = new (std::nothrow) zMetaTag(name != nullptr ? name : "Vector2");
    if (tag == nullptr)
        return nullptr;
    tag->CreateFloat("X", x);
    tag->CreateFloat("Y", y);
    return tag;
}

bool zVector2::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    float* components[2] = {&x, &y};
    int read = 0;
    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr && read < 2; child = child->GetNextSibling()) {
        // A shortcut whose target is missing ends the reading there.
        const zMetaTag* value = zMetaTag::ResolveShortcut(child, document);
        if (value == nullptr)
            return false;
        *components[read++] = value->GetFloat();
    }
    return read == 2;
}
