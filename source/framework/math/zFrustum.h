#pragma once

#include "framework/math/zVector.h"

class zMatrix4;
class zMinMax;

// normal . p + d = 0 with d = -(point . normal); positive values lie outside.
class zPlane {
public:
    // With a matrix the point is transformed (no point: the matrix's
    // translation) and the normal rotated; without one a missing point is the origin.
    void Set(const zVector* point, const zVector& normal, const zMatrix4* matrix = nullptr);
    float Distance(const zVector& p) const { return normal.Dot(p) + d; }

    float d = 0.0f;
    zVector point;
    zVector normal;
};

// Classification results.
enum : int {
    FrustumOutside = 0,
    FrustumInside = 1,
    FrustumClipped = 2,
};

// The view volume of a camera looking along its +z axis.
class zFrustum {
public:
    enum : int { Top = 0, Bottom = 1, Left = 2, Right = 3, Near = 4, Far = 5 };

    // fov in radians; the half-angles across x and y are atan(tan(fov / 2) /
    // divisor). Planes and corners go to world space through the camera's
    // world matrix (none: camera space).
    void SetPerspective(float fov, float nearDistance, float farDistance, const zMatrix4* camera, float divisorX, float divisorY);
    // A box of width * scaleX by height * scaleY in world units.
    void SetOrthographic(float width, float height, float nearDistance, float farDistance, const zMatrix4* camera, float scaleX, float scaleY);

    // FrustumOutside, FrustumInside or FrustumClipped, as every Classify.
    int ClassifySphere(const zVector& centre, float radius) const;
    // Outside when every point lies beyond one plane by more than margin.
    int ClassifyPoints(int count, const zVector* points, float margin) const;
    // Separating-axis tests on the projected corners.
    int ClassifyMinMax(const zMinMax& box, const zMatrix4* matrix = nullptr) const;
    int ClassifyFrustum(const zFrustum& other) const;

    // 0 .. 3 on the near plane, 4 .. 7 on the far plane, each in the order
    // (-x, +y), (+x, +y), (+x, -y), (-x, -y) of the camera's axes.
    zVector corners[8];
    // Top, bottom, left, right, near, far; outward normals.
    zPlane planes[6];

private:
    void EdgeDirections(zVector* edges) const;
};
