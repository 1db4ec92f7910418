#pragma once

#include "framework/math/zMatrix3.h"
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

} // namespace TauMath
