#include "framework/math/zQuaternion.h"

#include "framework/math/zMatrix3.h"
#include "framework/metafile/zMetaTag.h"

#include <cmath>
#include <new>

namespace {

zQuaternion AxisX(float a)
{
    return zQuaternion(std::sin(a * 0.5f), 0.0f, 0.0f, std::cos(a * 0.5f)).Normalized();
}

zQuaternion AxisY(float a)
{
    return zQuaternion(0.0f, std::sin(a * 0.5f), 0.0f, std::cos(a * 0.5f)).Normalized();
}

zQuaternion AxisZ(float a)
{
    return zQuaternion(0.0f, 0.0f, std::sin(a * 0.5f), std::cos(a * 0.5f)).Normalized();
}

} // namespace

zQuaternion zQuaternion::FromEuler(float ax, float ay, float az, int order)
{
    const zQuaternion qx = AxisX(ax);
    const zQuaternion qy = AxisY(ay);
    const zQuaternion qz = AxisZ(az);
    switch (order) {
    case RotationOrderZYX:
        return qx.Multiply(qy).Multiply(qz);
    case RotationOrderYZX:
        return qx.Multiply(qz).Multiply(qy);
    case RotationOrderZXY:
        return qy.Multiply(qx).Multiply(qz);
    case RotationOrderXZY:
        return qy.Multiply(qz).Multiply(qx);
    case RotationOrderXYZ:
        return qz.Multiply(qy).Multiply(qx);
    case RotationOrderXY:
        return qy.Multiply(qx);
    case RotationOrderYXZ:
    default:
        return qz.Multiply(qx).Multiply(qy);
    }
}

zQuaternion zQuaternion::FromMatrix3(const zMatrix3& matrix)
{
    const float* m = matrix.m;
    const float a = m[0];
    const float b = m[4];
    const float c = m[8];
    zQuaternion q;
    float h;
    if (a + b + c > 0.0f) {
        h = a + b + c + 1.0f;
        q = zQuaternion(m[7] - m[5], m[2] - m[6], m[3] - m[1], h);
    } else if (a > b && a > c) {
        h = a - b - c + 1.0f;
        q = zQuaternion(h, m[3] + m[1], m[6] + m[2], m[7] - m[5]);
    } else if (b > c) {
        h = b - a - c + 1.0f;
        q = zQuaternion(m[3] + m[1], h, m[7] + m[5], m[2] - m[6]);
    } else {
        h = c - a - b + 1.0f;
        q = zQuaternion(m[6] + m[2], m[7] + m[5], h, m[3] - m[1]);
    }
    const float scale = 0.5f / std::sqrt(h);
    return zQuaternion(q.x * scale, q.y * scale, q.z * scale, q.w * scale);
}

zMatrix3 zQuaternion::ToMatrix3() const
{
    zMatrix3 out;
    float* m = out.m;
    m[0] = 1.0f - 2.0f * (y * y + z * z);
    m[1] = 2.0f * (x * y - w * z);
    m[2] = 2.0f * (x * z + w * y);
    m[3] = 2.0f * (x * y + w * z);
    m[4] = 1.0f - 2.0f * (x * x + z * z);
    m[5] = 2.0f * (y * z - w * x);
    m[6] = 2.0f * (x * z - w * y);
    m[7] = 2.0f * (y * z + w * x);
    m[8] = 1.0f - 2.0f * (x * x + y * y);
    return out;
}

zQuaternion zQuaternion::Multiply(const zQuaternion& b) const
{
    return zQuaternion(w * b.x + x * b.w + y * b.z - z * b.y,
                       w * b.y - x * b.z + y * b.w + z * b.x,
                       w * b.z + x * b.y - y * b.x + z * b.w,
                       w * b.w - x * b.x - y * b.y - z * b.z);
}

zQuaternion zQuaternion::Normalized() const
{
    const float length = std::sqrt(Dot(*this));
    // Kept as the engine always gave it: stored data may rely on it.
    if (length == 0.0f)
        return zQuaternion(1.0f, 1.0f, 1.0f, 1.0f);
    return zQuaternion(x / length, y / length, z / length, w / length);
}

float zQuaternion::Distance(const zQuaternion& b) const
{
    const float dx = x - b.x;
    const float dy = y - b.y;
    const float dz = z - b.z;
    const float dw = w - b.w;
    return std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw);
}

zQuaternion zQuaternion::Slerp(const zQuaternion& a, const zQuaternion& b, float t)
{
    zQuaternion to = b;
    float d = a.Dot(b);
    if (d < 0.0f) {
        to = zQuaternion(-b.x, -b.y, -b.z, -b.w);
        d = -d;
    }
    float wa = 1.0f - t;
    float wb = t;
    if (1.0f - d > 5e-5f) {
        const float theta = std::acos(d);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    return zQuaternion(wa * a.x + wb * to.x, wa * a.y + wb * to.y, wa * a.z + wb * to.z, wa * a.w + wb * to.w);
}

zMetaTag* zQuaternion::AsMetaTag(const char* name) const
{
    zMetaTag* tag = new (std::nothrow) zMetaTag(name != nullptr ? name : "Quaternion");
    if (tag == nullptr)
        return nullptr;
    tag->CreateFloat("X", x);
    tag->CreateFloat("Y", y);
    tag->CreateFloat("Z", z);
    tag->CreateFloat("W", w);
    return tag;
}

bool zQuaternion::FromMetaTag(const zMetaFile*, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    float* components[4] = {&x, &y, &z, &w};
    int read = 0;
    for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr && read < 4; child = child->GetNextSibling())
        *components[read++] = child->GetFloat();
    return read == 4;
}
