#include "framework/math/zMatrix4.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrixTag.h"
#include "framework/math/zQuaternion.h"
#include "framework/metafile/zMetaTag.h"

#include <cmath>
#include <new>

const zMatrix4 IdentityMatrix4;

zMatrix4::zMatrix4()
{
    MakeIdentity();
}

void zMatrix4::MakeIdentity()
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

zMatrix4 zMatrix4::FromMatrix3(const zMatrix3& r)
{
    zMatrix4 out;
    out.m[0] = r.m[0];
    out.m[1] = r.m[1];
    out.m[2] = r.m[2];
    out.m[4] = r.m[3];
    out.m[5] = r.m[4];
    out.m[6] = r.m[5];
    out.m[8] = r.m[6];
    out.m[9] = r.m[7];
    out.m[10] = r.m[8];
    return out;
}

zMatrix4 zMatrix4::TranslationMatrix(const zVector& v)
{
    zMatrix4 out;
    out.m[3] = v.x;
    out.m[7] = v.y;
    out.m[11] = v.z;
    return out;
}

zMatrix4 zMatrix4::ScaleMatrix(const zVector& v)
{
    zMatrix4 out;
    out.m[0] = v.x;
    out.m[5] = v.y;
    out.m[10] = v.z;
    return out;
}

zVector zMatrix4::GetRow(int i, bool forceW) const
{
    return {m[i], m[i + 4], m[i + 8], forceW ? 1.0f : m[i + 12]};
}

void zMatrix4::SetRow(int i, const zVector& v, bool forceW)
{
    m[i] = v.x;
    m[i + 4] = v.y;
    m[i + 8] = v.z;
    m[i + 12] = forceW ? 1.0f : v.w;
}

zVector zMatrix4::GetColumn(int i, bool forceW) const
{
    return {m[4 * i], m[4 * i + 1], m[4 * i + 2], forceW ? 1.0f : m[4 * i + 3]};
}

void zMatrix4::SetColumn(int i, const zVector& v, bool forceW)
{
    m[4 * i] = v.x;
    m[4 * i + 1] = v.y;
    m[4 * i + 2] = v.z;
    m[4 * i + 3] = forceW ? 1.0f : v.w;
}

zMatrix4 zMatrix4::operator*(const zMatrix4& other) const
{
    zMatrix4 out;
    const float* o = other.m;
    for (int i = 0; i < 4; ++i) {
        const float* row = m + 4 * i;
        for (int j = 0; j < 4; ++j)
            out.m[4 * i + j] = row[0] * o[j] + row[1] * o[4 + j] + row[2] * o[8 + j] + row[3] * o[12 + j];
    }
    return out;
}

void zMatrix4::TransformArray4(zVector* output, const zVector* input, int count) const
{
    for (int i = 0; i < count; ++i) {
        const zVector v = input[i];
        output[i] = zVector(m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3] * v.w,
                            m[4] * v.x + m[5] * v.y + m[6] * v.z + m[7] * v.w,
                            m[8] * v.x + m[9] * v.y + m[10] * v.z + m[11] * v.w,
                            m[12] * v.x + m[13] * v.y + m[14] * v.z + m[15] * v.w);
    }
}

void zMatrix4::RotateArray(zVector* output, const zVector* input, int count) const
{
    for (int i = 0; i < count; ++i) {
        const zVector v = input[i];
        output[i] = zVector(m[0] * v.x + m[1] * v.y + m[2] * v.z,
                            m[4] * v.x + m[5] * v.y + m[6] * v.z,
                            m[8] * v.x + m[9] * v.y + m[10] * v.z);
    }
}

zMatrix4 zMatrix4::Orthonormalized() const
{
    zMatrix4 out = FromMatrix3(zMatrix3::FromMatrix4(*this).Orthonormalized());
    out.m[3] = m[3];
    out.m[7] = m[7];
    out.m[11] = m[11];
    out.m[12] = m[12];
    out.m[13] = m[13];
    out.m[14] = m[14];
    out.m[15] = m[15];
    return out;
}

zMatrix4 zMatrix4::FromTransformation(const zVector& position, const zVector& rotation, const zVector& scale, const zVector& pivot)
{
    const zMatrix4 r = FromMatrix3(zMatrix3::FromEulerVector(rotation, RotationOrderYXZ));
    return TranslationMatrix(position) * r * ScaleMatrix(scale) * TranslationMatrix(pivot);
}

void zMatrix4::Decompose(zVector* position, zVector* scale, zMatrix3* rotation) const
{
    if (position != nullptr)
        *position = zVector(m[3], m[7], m[11]);
    zVector s;
    for (int i = 0; i < 3; ++i)
        (&s.x)[i] = std::sqrt(m[i] * m[i] + m[i + 4] * m[i + 4] + m[i + 8] * m[i + 8]);
    if (scale != nullptr)
        *scale = zVector(s.x, s.y, s.z);
    if (rotation != nullptr) {
        for (int i = 0; i < 3; ++i) {
            // A collapsed axis keeps its zero row instead of NaN.
            const float length = (&s.x)[i] != 0.0f ? (&s.x)[i] : 1.0f;
            rotation->m[i] = m[i] / length;
            rotation->m[i + 3] = m[i + 4] / length;
            rotation->m[i + 6] = m[i + 8] / length;
        }
    }
}

zMatrix4 zMatrix4::InverseAffine() const
{
    zMatrix4 out;
    for (int i = 0; i < 3; ++i) {
        const float length = std::sqrt(m[i] * m[i] + m[i + 4] * m[i + 4] + m[i + 8] * m[i + 8]);
        // A collapsed axis stays collapsed instead of filling the inverse with NaN.
        const float inverse = length != 0.0f ? 1.0f / length : 0.0f;
        // Row i of the 3x3 part, unit length, becomes column i of the transposed rotation.
        for (int j = 0; j < 3; ++j)
            out.m[4 * i + j] = (m[i + 4 * j] * inverse) * inverse;
    }
    const float tx = -m[3];
    const float ty = -m[7];
    const float tz = -m[11];
    for (int i = 0; i < 3; ++i)
        out.m[4 * i + 3] = out.m[4 * i] * tx + out.m[4 * i + 1] * ty + out.m[4 * i + 2] * tz;
    return out;
}

zMatrix4 zMatrix4::Interpolate(const zMatrix4& a, const zMatrix4& b, float t, bool linear)
{
    zMatrix4 out;
    if (linear) {
        for (int i = 0; i < 16; ++i)
            out.m[i] = a.m[i] + (b.m[i] - a.m[i]) * t;
        return out;
    }
    zVector positionA, positionB, scaleA, scaleB;
    zMatrix3 rotationA, rotationB;
    a.Decompose(&positionA, &scaleA, &rotationA);
    b.Decompose(&positionB, &scaleB, &rotationB);
    const zQuaternion q = zQuaternion::Slerp(zQuaternion::FromMatrix3(rotationA), zQuaternion::FromMatrix3(rotationB), t);
    const zVector position = positionA + (positionB - positionA) * t;
    const zVector scale = scaleA + (scaleB - scaleA) * t;
    return TranslationMatrix(position) * FromMatrix3(q.ToMatrix3()) * ScaleMatrix(scale);
}

zMetaTag* zMatrix4::AsMetaTag(const char* name) const
{
    return zMatrixTag::Write<4>(*this, name != nullptr ? name : "Mtx4", true);
}

bool zMatrix4::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return zMatrixTag::Read<4>(*this, document, tag);
}

void zTransformMatrix::Set(const zMatrix4& m)
{
    matrix = m;
    inverse = matrix.InverseAffine();
}

void zTransformMatrix::SetRow(int i, const zVector& v, bool forceW)
{
    matrix.SetRow(i, v, forceW);
    inverse = matrix.InverseAffine();
}

bool zTransformMatrix::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    const bool result = matrix.FromMetaTag(document, tag);
    inverse = matrix.InverseAffine();
    return result;
}
