#pragma once

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"

#include <gtest/gtest.h>

#include <cmath>

// Elementary rotations written out from their definition, independent of the library.
inline zMatrix3 TestRotationX(float a)
{
    zMatrix3 r;
    r.m[4] = std::cos(a);
    r.m[5] = -std::sin(a);
    r.m[7] = std::sin(a);
    r.m[8] = std::cos(a);
    return r;
}

inline zMatrix3 TestRotationY(float a)
{
    zMatrix3 r;
    r.m[0] = std::cos(a);
    r.m[2] = std::sin(a);
    r.m[6] = -std::sin(a);
    r.m[8] = std::cos(a);
    return r;
}

inline zMatrix3 TestRotationZ(float a)
{
    zMatrix3 r;
    r.m[0] = std::cos(a);
    r.m[1] = -std::sin(a);
    r.m[3] = std::sin(a);
    r.m[4] = std::cos(a);
    return r;
}

inline ::testing::AssertionResult MatricesNear(const zMatrix3& a, const zMatrix3& b, float tolerance)
{
    for (int i = 0; i < 9; ++i) {
        if (!(std::fabs(a.m[i] - b.m[i]) <= tolerance))
            return ::testing::AssertionFailure() << "m" << i << ": " << a.m[i] << " vs " << b.m[i];
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult MatricesNear(const zMatrix4& a, const zMatrix4& b, float tolerance)
{
    for (int i = 0; i < 16; ++i) {
        if (!(std::fabs(a.m[i] - b.m[i]) <= tolerance))
            return ::testing::AssertionFailure() << "m" << i << ": " << a.m[i] << " vs " << b.m[i];
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult VectorNear(const zVector& v, float x, float y, float z, float tolerance)
{
    if (std::fabs(v.x - x) <= tolerance && std::fabs(v.y - y) <= tolerance && std::fabs(v.z - z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << v.x << ", " << v.y << ", " << v.z << ") vs (" << x << ", " << y << ", " << z << ")";
}

// q and -q are the same rotation.
inline ::testing::AssertionResult SameRotation(const zQuaternion& a, const zQuaternion& b, float tolerance)
{
    const float sign = a.Dot(b) < 0.0f ? -1.0f : 1.0f;
    if (std::fabs(a.x - sign * b.x) <= tolerance && std::fabs(a.y - sign * b.y) <= tolerance &&
        std::fabs(a.z - sign * b.z) <= tolerance && std::fabs(a.w - sign * b.w) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}
