#pragma once

class zMatrix3;
class zMetaFile;
class zMetaTag;

// x, y, z and the scalar part w; a unit quaternion is a rotation.
class zQuaternion {
public:
    zQuaternion() = default;
    zQuaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    // Applies the axes from the first letter of the order's name to the last,
    // the reverse of zMatrix3::FromEuler; an unknown order is order 4.
    static zQuaternion FromEuler(float ax, float ay, float az, int order);
    static zQuaternion FromMatrix3(const zMatrix3& m);
    zMatrix3 ToMatrix3() const;

    // Hamilton product this (x) b: rotating by it applies b first.
    zQuaternion Multiply(const zQuaternion& b) const;
    // Length 0 gives (1, 1, 1, 1).
    zQuaternion Normalized() const;
    float Dot(const zQuaternion& b) const { return x * b.x + y * b.y + z * b.z + w * b.w; }
    float Distance(const zQuaternion& b) const;
    // Along the shorter arc; not renormalised.
    static zQuaternion Slerp(const zQuaternion& a, const zQuaternion& b, float t);

    // A node named name ("Quaternion" without one) with "X", "Y", "Z", "W".
    zMetaTag* AsMetaTag(const char* name = nullptr) const;
    // The first four children by position (shortcuts not resolved); false
    // when there are fewer, keeping what was read.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};
