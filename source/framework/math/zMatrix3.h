#pragma once

#include "framework/math/zVector.h"

class zMatrix4;
class zMetaFile;
class zMetaTag;

// Rotation orders of the Euler conversions; the script constants carry these names.
enum zRotationOrder : int {
    RotationOrderZYX = 0,
    RotationOrderYZX = 1,
    RotationOrderZXY = 2,
    RotationOrderXZY = 3,
    RotationOrderYXZ = 4,
    RotationOrderXYZ = 5,
    RotationOrderXY = 6,
};

// Nine floats m0 .. m8. (x, y, z) becomes x' = m0 x + m1 y + m2 z,
// y' = m3 x + m4 y + m5 z, z' = m6 x + m7 y + m8 z. Row i is
// (m[i], m[i+3], m[i+6]), the image of axis i; column i is m[3i] .. m[3i+2].
class zMatrix3 {
public:
    // The identity.
    zMatrix3();

    // Nine values given row by row.
    void Set(float a00, float a01, float a02, float a10, float a11, float a12, float a20, float a21, float a22);
    void SetRows(const zVector& r0, const zVector& r1, const zVector& r2);
    zVector GetRow(int i) const;
    void SetRow(int i, const zVector& v);
    zVector GetColumn(int i) const;
    void SetColumn(int i, const zVector& v);

    // Transforming by the product applies other first, then this.
    zMatrix3 operator*(const zMatrix3& other) const;
    zMatrix3 AddMatrix(const zMatrix3& other) const;
    // out = a - b element by element.
    static void Subtract(const zMatrix3& a, const zMatrix3& b, zMatrix3& out);
    zMatrix3 MulScalar(float s) const;
    zMatrix3 Transposed() const;
    // False, with the adjugate left in out, when the determinant is exactly 0.
    bool Inverse(zMatrix3& out) const;
    void TransformArray(zVector* output, const zVector* input, int count) const;
    zMatrix3 Orthonormalized() const;

    static zMatrix3 CrossProductMatrix(const zVector& v);
    // angle in radians.
    static zMatrix3 RotationZ(float angle);
    static zMatrix3 ScaleMatrix(const zVector& v);
    static zMatrix3 FromMatrix4(const zMatrix4& m);
    // Maps the local z axis onto the direction.
    static zMatrix3 FromDirection(const zVector& direction, const zVector* up = nullptr);

    // Euler angles in radians; an unknown order gives the identity.
    static zMatrix3 FromEuler(float x, float y, float z, int order);
    static zMatrix3 FromEulerVector(const zVector& angles, int order = RotationOrderYXZ);
    // Orders 2, 4 and 6 are recovered; the others give (0, 0, 0).
    zVector ToEuler(int order) const;

    // A node named name ("Mtx3" without one) with the rows as "R0" .. "R2".
    zMetaTag* AsMetaTag(const char* name = nullptr) const;
    // The first three children in order (names not checked, shortcuts
    // resolved) as rows 0 .. 2; false when one is missing or short, keeping
    // the rows read so far.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);

    float m[9];
};

extern const zMatrix3 IdentityMatrix3;
