#pragma once

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zVector.h"

// Inline forms of the vector operations the step repeats for every body and
// contact point; they compute exactly what zVector::Cross and zVector::Rotate do.
namespace TauMath {

inline zVector Cross(const zVector& a, const zVector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// v x M in the row-vector convention.
inline zVector Rotate(const zVector& v, const zMatrix3& matrix)
{
    const float* m = matrix.m;
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

// zVector::Transform, inline.
inline zVector Transform(const zVector& v, const zMatrix4& matrix)
{
    const float* m = matrix.m;
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3], m[4] * v.x + m[5] * v.y + m[6] * v.z + m[7],
            m[8] * v.x + m[9] * v.y + m[10] * v.z + m[11]};
}

// a * b as zMatrix3's product forms it, inline.
inline zMatrix3 Multiply(const zMatrix3& a, const zMatrix3& b)
{
    zMatrix3 out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            out.m[3 * i + j] = a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
    }
    return out;
}

} // namespace TauMath
