#pragma once

class zMatrix3;
class zMatrix4;
class zMetaFile;
class zMetaTag;

// A point or direction. Operations that produce a vector set w to 1; only
// x, y and z carry the value.
class zVector {
public:
    zVector() = default;
    zVector(float x_, float y_, float z_, float w_ = 1.0f) : x(x_), y(y_), z(z_), w(w_) {}

    float Dot(const zVector& v) const { return x * v.x + y * v.y + z * v.z; }
    zVector Cross(const zVector& v) const;
    float SquaredLength() const { return x * x + y * y + z * z; }
    float Length() const;

    // Product with 1/s; s = 0 gives (0, 0, 0, 1).
    zVector DivideScalar(float s) const;
    // A length below 1e-6 gives (0, 0, 0, 1).
    zVector Normalized() const;
    bool IsNearlyEqual(const zVector& v) const;
    // Writers use it to leave out values equal to their default.
    bool DiffersFrom(const zVector& v) const;

    zVector ClampComponents(float lo, float hi) const;
    zVector Clamp(const zVector& lo, const zVector& hi) const;
    zVector ClampMagnitude(float minLength, float maxLength) const;

    // The point times a 4x4 matrix, translation included.
    zVector Transform(const zMatrix4& m) const;
    void TransformInPlace(const zMatrix4& m);
    zVector Rotate(const zMatrix3& m) const;
    void RotateInPlace(const zMatrix3& m);

    // x, y, z drawn in that order from the program-wide generator.
    static zVector Random(float lo, float hi);
    void Print(const char* name = nullptr) const;

    // A new node named name ("Vector" without one) with the float children
    // "X", "Y", "Z" and, when asked, "W".
    zMetaTag* AsMetaTag(const char* name = nullptr, bool withW = false) const;
    // Children by position, not by name, shortcuts not resolved: x, y, z and
    // an optional w. Fewer than three gives false, keeping what was read.
    bool FromMetaTag(const zMetaTag* tag);

    zVector operator+(const zVector& v) const { return {x + v.x, y + v.y, z + v.z}; }
    zVector operator-(const zVector& v) const { return {x - v.x, y - v.y, z - v.z}; }
    zVector operator-() const { return {-x, -y, -z}; }
    zVector operator*(float s) const { return {x * s, y * s, z * s}; }

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

float VectorDistanceSquared(const zVector& a, const zVector& b);
float VectorDistance(const zVector& a, const zVector& b);

class zVector2 {
public:
    zVector2() = default;
    zVector2(float x_, float y_) : x(x_), y(y_) {}

    zMetaTag* AsMetaTag(const char* name = nullptr) const;
    // The first two children, shortcuts resolved against the document.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);

    float x = 0.0f;
    float y = 0.0f;
};
