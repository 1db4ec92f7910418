#include "framework/math/zMatrix3.h"

#include "framework/math/zMatrix4.h"
#include "framework/math/zMatrixTag.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

const zMatrix3 IdentityMatrix3;

zMatrix3::zMatrix3() : m{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f} {}

void zMatrix3::Set(float a00, float a01, float a02, float a10, float a11, float a12, float a20, float a21, float a22)
{
    m[0] = a00;
    m[3] = a01;
    m[6] = a02;
    m[1] = a10;
    m[4] = a11;
    m[7] = a12;
    m[2] = a20;
    m[5] = a21;
    m[8] = a22;
}

void zMatrix3::SetRows(const zVector& r0, const zVector& r1, const zVector& r2)
{
    SetRow(0, r0);
    SetRow(1, r1);
    SetRow(2, r2);
}

zVector zMatrix3::GetRow(int i) const
{
    return {m[i], m[i + 3], m[i + 6]};
}

void zMatrix3::SetRow(int i, const zVector& v)
{
    m[i] = v.x;
    m[i + 3] = v.y;
    m[i + 6] = v.z;
}

zVector zMatrix3::GetColumn(int i) const
{
    return {m[3 * i], m[3 * i + 1], m[3 * i + 2]};
}

void zMatrix3::SetColumn(int i, const zVector& v)
{
    m[3 * i] = v.x;
    m[3 * i + 1] = v.y;
    m[3 * i + 2] = v.z;
}

zMatrix3 zMatrix3::operator*(const zMatrix3& other) const
{
    zMatrix3 out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            out.m[3 * i + j] = m[3 * i] * other.m[j] + m[3 * i + 1] * other.m[3 + j] + m[3 * i + 2] * other.m[6 + j];
    }
    return out;
}

zMatrix3 zMatrix3::AddMatrix(const zMatrix3& other) const
{
    zMatrix3 out;
    for (int i = 0; i < 9; ++i)
        out.m[i] = m[i] + other.m[i];
    return out;
}

zMatrix3 zMatrix3::MulScalar(float s) const
{
    zMatrix3 out;
    for (int i = 0; i < 9; ++i)
        out.m[i] = m[i] * s;
    return out;
}

void zMatrix3::Subtract(const zMatrix3& a, const zMatrix3& b, zMatrix3& out)
{
    for (int i = 0; i < 9; ++i)
        out.m[i] = a.m[i] - b.m[i];
}

zMatrix3 zMatrix3::Transposed() const
{
    zMatrix3 out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            out.m[3 * i + j] = m[3 * j + i];
    }
    return out;
}

bool zMatrix3::Inverse(zMatrix3& out) const
{
    float a[9];
    a[0] = m[4] * m[8] - m[7] * m[5];
    a[1] = m[7] * m[2] - m[8] * m[1];
    a[2] = m[5] * m[1] - m[4] * m[2];
    a[3] = m[6] * m[5] - m[8] * m[3];
    a[4] = m[0] * m[8] - m[6] * m[2];
    a[5] = m[3] * m[2] - m[0] * m[5];
    a[6] = m[7] * m[3] - m[4] * m[6];
    a[7] = m[6] * m[1] - m[7] * m[0];
    a[8] = m[4] * m[0] - m[3] * m[1];
    const float determinant = a[0] * m[0] + a[3] * m[1] + a[6] * m[2];
    for (int i = 0; i < 9; ++i)
        out.m[i] = a[i];
    if (determinant == 0.0f) {
        LogError("zMatrix3::Inverse") << "Matrix is not invertible.\n";
        return false;
    }
    const float scale = 1.0f / determinant;
    for (int i = 0; i < 9; ++i)
        out.m[i] *= scale;
    return true;
}

void zMatrix3::TransformArray(zVector* output, const zVector* input, int count) const
{
    for (int i = 0; i < count; ++i)
        output[i] = input[i].Rotate(*this);
}

zMatrix3 zMatrix3::Orthonormalized() const
{
    const zVector r0 = GetRow(0).Normalized();
    const zVector r2 = r0.Cross(GetRow(1)).Normalized();
    const zVector r1 = r2.Cross(r0).Normalized();
    zMatrix3 out;
    out.SetRows(r0, r1, r2);
    return out;
}

zMatrix3 zMatrix3::CrossProductMatrix(const zVector& v)
{
    zMatrix3 out;
    out.m[0] = 0.0f;
    out.m[1] = v.z;
    out.m[2] = -v.y;
    out.m[3] = -v.z;
    out.m[4] = 0.0f;
    out.m[5] = v.x;
    out.m[6] = v.y;
    out.m[7] = -v.x;
    out.m[8] = 0.0f;
    return out;
}

zMatrix3 zMatrix3::RotationZ(float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    zMatrix3 out;
    out.m[0] = c;
    out.m[4] = c;
    out.m[3] = s;
    out.m[1] = -s;
    return out;
}

zMatrix3 zMatrix3::ScaleMatrix(const zVector& v)
{
    zMatrix3 out;
    out.m[0] = v.x;
    out.m[4] = v.y;
    out.m[8] = v.z;
    return out;
}

zMatrix3 zMatrix3::FromMatrix4(const zMatrix4& a)
{
    zMatrix3 out;
    out.m[0] = a.m[0];
    out.m[1] = a.m[1];
    out.m[2] = a.m[2];
    out.m[3] = a.m[4];
    out.m[4] = a.m[5];
    out.m[5] = a.m[6];
    out.m[6] = a.m[8];
    out.m[7] = a.m[9];
    out.m[8] = a.m[10];
    return out;
}

zMatrix3 zMatrix3::FromDirection(const zVector& direction, const zVector* up)
{
    zMatrix3 out;
    if (direction.SquaredLength() == 0.0f)
        return out;
    const zVector d = direction.Normalized();
    zVector s;
    zVector u;
    if (up != nullptr) {
        u = up->Normalized();
        s = u.Cross(d);
    } else {
        if (std::fabs(d.x) > 1e-6f || std::fabs(d.z) > 1e-6f)
            s = zVector(d.z, 0.0f, -d.x).Normalized();
        else
            s = zVector(-1.0f, 0.0f, 0.0f);
        u = d.Cross(s);
    }
    out.SetRows(s, u, d);
    return out;
}

namespace {

// Rounding can push a sine a hair past 1; asin would give NaN there.
float ClampedAsin(float s)
{
    return std::asin(s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s));
}

zMatrix3 RotationX(float a)
{
    zMatrix3 r;
    const float c = std::cos(a);
    const float s = std::sin(a);
    r.m[4] = c;
    r.m[5] = -s;
    r.m[7] = s;
    r.m[8] = c;
    return r;
}

zMatrix3 RotationY(float a)
{
    zMatrix3 r;
    const float c = std::cos(a);
    const float s = std::sin(a);
    r.m[0] = c;
    r.m[2] = s;
    r.m[6] = -s;
    r.m[8] = c;
    return r;
}

} // namespace

zMatrix3 zMatrix3::FromEuler(float x, float y, float z, int order)
{
    const float cx = std::cos(x);
    const float sx = std::sin(x);
    const float cy = std::cos(y);
    const float sy = std::sin(y);
    const float cz = std::cos(z);
    const float sz = std::sin(z);
    zMatrix3 r;
    switch (order) {
    case RotationOrderZYX:
        return RotationZ(z) * RotationY(y) * RotationX(x);
    case RotationOrderYZX:
        return RotationY(y) * RotationZ(z) * RotationX(x);
    case RotationOrderZXY:
        r.m[0] = cz * cy - sz * sx * sy;
        r.m[1] = -sz * cx;
        r.m[2] = sz * sx * cy + sy * cz;
        r.m[3] = sy * sx * cz + sz * cy;
        r.m[4] = cz * cx;
        r.m[5] = sz * sy - sx * cz * cy;
        r.m[6] = -sy * cx;
        r.m[7] = sx;
        r.m[8] = cy * cx;
        return r;
    case RotationOrderXZY:
        return RotationX(x) * RotationZ(z) * RotationY(y);
    case RotationOrderYXZ:
        r.m[0] = sz * sy * sx + cz * cy;
        r.m[1] = sy * sx * cz - sz * cy;
        r.m[2] = sy * cx;
        r.m[3] = sz * cx;
        r.m[4] = cz * cx;
        r.m[5] = -sx;
        r.m[6] = sz * sx * cy - sy * cz;
        r.m[7] = sx * cz * cy + sz * sy;
        r.m[8] = cy * cx;
        return r;
    case RotationOrderXYZ:
        return RotationX(x) * RotationY(y) * RotationZ(z);
    case RotationOrderXY:
        return RotationX(x) * RotationY(y);
    default:
        return r;
    }
}

zMatrix3 zMatrix3::FromEulerVector(const zVector& angles, int order)
{
    return FromEuler(angles.x, angles.y, angles.z, order);
}

zVector zMatrix3::ToEuler(int order) const
{
    zVector angles(0.0f, 0.0f, 0.0f);
    if (order == RotationOrderZXY || order == RotationOrderXY) {
        angles.x = ClampedAsin(m[7]);
        if (std::cos(angles.x) == 0.0f) {
            angles.y = 0.0f;
            angles.z = std::atan2(m[3], m[0]);
        } else {
            angles.y = std::atan2(-m[6], m[8]);
            angles.z = std::atan2(-m[1], m[4]);
        }
    } else if (order == RotationOrderYXZ) {
        angles.x = ClampedAsin(-m[5]);
        angles.y = std::atan2(m[2], m[8]);
        angles.z = std::atan2(m[3], m[4]);
    }
    return angles;
}

zMetaTag* zMatrix3::AsMetaTag(const char* name) const
{
    return zMatrixTag::Write<3>(*this, name != nullptr ? name : "Mtx3", false);
}

bool zMatrix3::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return zMatrixTag::Read<3>(*this, document, tag);
}
