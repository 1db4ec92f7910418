#pragma once

#include "framework/math/zVector.h"

class zMatrix3;
class zMetaFile;
class zMetaTag;

// Sixteen floats m0 .. m15. A point becomes x' = m0 x + m1 y + m2 z + m3,
// y' = m4 x + .. + m7, z' = m8 x + .. + m11, w' = m12 x + m13 y + m14 z + m15 w.
// Row i is (m[i], m[i+4], m[i+8], m[i+12]); row 3 holds the translation.
class zMatrix4 {
public:
    // The identity.
    zMatrix4();

    void MakeIdentity();
    static zMatrix4 FromMatrix3(const zMatrix3& r);
    static zMatrix4 TranslationMatrix(const zVector& v);
    static zMatrix4 ScaleMatrix(const zVector& v);

    // With forceW the fourth element reads as 1 and is written as 1.
    zVector GetRow(int i, bool forceW = false) const;
    void SetRow(int i, const zVector& v, bool forceW = false);
    zVector GetColumn(int i, bool forceW = false) const;
    void SetColumn(int i, const zVector& v, bool forceW = false);

    // Transforming by the product applies other first, then this.
    zMatrix4 operator*(const zMatrix4& other) const;
    // Full homogeneous transform of each vector.
    void TransformArray4(zVector* output, const zVector* input, int count) const;
    // The 3x3 part only, w 1.
    void RotateArray(zVector* output, const zVector* input, int count) const;
    zMatrix4 Orthonormalized() const;

    // T(position) . R(Euler, order YXZ) . S(scale) . T(pivot).
    static zMatrix4 FromTransformation(const zVector& position, const zVector& rotation, const zVector& scale, const zVector& pivot);
    // The translation, the lengths of the three axes and the rotation with
    // them divided out (a zero axis stays zero); any output may be null.
    void Decompose(zVector* position, zVector* scale, zMatrix3* rotation) const;
    // Inverse of translation . rotation . scale; other content is not inverted.
    zMatrix4 InverseAffine() const;
    // t 0 gives a, 1 gives b. Linear blends the elements; otherwise position
    // and scale blend and the rotation is slerped.
    static zMatrix4 Interpolate(const zMatrix4& a, const zMatrix4& b, float t, bool linear);

    // A node named name ("Mtx4" without one) with the rows, w included, as "R0" .. "R3".
    zMetaTag* AsMetaTag(const char* name = nullptr) const;
    // The first four children in order as rows 0 .. 3, w included when given.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);

    float m[16];
};

extern const zMatrix4 IdentityMatrix4;

// A matrix that keeps its inverse beside it; every write recomputes the inverse.
class zTransformMatrix {
public:
    void Set(const zMatrix4& matrix);
    void SetRow(int i, const zVector& v, bool forceW = false);
    const zMatrix4& GetMatrix() const { return matrix; }
    const zMatrix4& GetInverse() const { return inverse; }

    // The matrix part as a "Mtx4" node.
    zMetaTag* AsMetaTag(const char* name = nullptr) const { return matrix.AsMetaTag(name); }
    // Whatever was read, the inverse is recomputed.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);

private:
    zMatrix4 matrix;
    zMatrix4 inverse;
};
