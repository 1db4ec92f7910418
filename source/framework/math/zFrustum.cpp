#include "framework/math/zFrustum.h"

#include "framework/math/zIntervals.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"

#include <cmath>

void zPlane::Set(const zVector* p, const zVector& n, const zMatrix4* matrix)
{
    if (matrix != nullptr) {
        if (p != nullptr)
            matrix->TransformArray4(&point, p, 1);
        else
            point = zVector(matrix->m[3], matrix->m[7], matrix->m[11]);
        matrix->RotateArray(&normal, &n, 1);
    } else {
        point = p != nullptr ? *p : zVector(0.0f, 0.0f, 0.0f);
        normal = n;
    }
    d = -point.Dot(normal);
}

void zFrustum::SetPerspective(float fov, float nearDistance, float farDistance, const zMatrix4* camera, float divisorX, float divisorY)
{
    const float t = std::tan(fov / 2.0f);
    const float alpha = std::atan(t / divisorX);
    const float beta = std::atan(t / divisorY);
    const float ca = std::cos(alpha);
    const float sa = std::sin(alpha);
    const float cb = std::cos(beta);
    const float sb = std::sin(beta);

    planes[Top].Set(nullptr, zVector(0.0f, cb, -sb), camera);
    planes[Bottom].Set(nullptr, zVector(0.0f, -cb, -sb), camera);
    planes[Left].Set(nullptr, zVector(-ca, 0.0f, -sa), camera);
    planes[Right].Set(nullptr, zVector(ca, 0.0f, -sa), camera);
    const zVector nearPoint(0.0f, 0.0f, nearDistance);
    const zVector farPoint(0.0f, 0.0f, farDistance);
    planes[Near].Set(&nearPoint, zVector(0.0f, 0.0f, -1.0f), camera);
    planes[Far].Set(&farPoint, zVector(0.0f, 0.0f, 1.0f), camera);

    const float nx = nearDistance * std::tan(alpha);
    const float ny = nearDistance * std::tan(beta);
    const float fx = farDistance * std::tan(alpha);
    const float fy = farDistance * std::tan(beta);
    const zVector local[8] = {
        {-nx, ny, nearDistance}, {nx, ny, nearDistance}, {nx, -ny, nearDistance}, {-nx, -ny, nearDistance},
        {-fx, fy, farDistance}, {fx, fy, farDistance}, {fx, -fy, farDistance}, {-fx, -fy, farDistance},
    };
    if (camera != nullptr) {
        camera->TransformArray4(corners, local, 8);
    } else {
        for (int i = 0; i < 8; ++i)
            corners[i] = local[i];
    }
}

void zFrustum::SetOrthographic(float width, float height, float nearDistance, float farDistance, const zMatrix4* camera, float scaleX, float scaleY)
{
    const float hw = width * scaleX / 2.0f;
    const float hh = height * scaleY / 2.0f;
    const zVector top(0.0f, hh, 0.0f);
    const zVector bottom(0.0f, -hh, 0.0f);
    const zVector left(-hw, 0.0f, 0.0f);
    const zVector right(hw, 0.0f, 0.0f);
    const zVector nearPoint(0.0f, 0.0f, nearDistance);
    const zVector farPoint(0.0f, 0.0f, farDistance);
    planes[Top].Set(&top, zVector(0.0f, 1.0f, 0.0f), camera);
    planes[Bottom].Set(&bottom, zVector(0.0f, -1.0f, 0.0f), camera);
    planes[Left].Set(&left, zVector(-1.0f, 0.0f, 0.0f), camera);
    planes[Right].Set(&right, zVector(1.0f, 0.0f, 0.0f), camera);
    planes[Near].Set(&nearPoint, zVector(0.0f, 0.0f, -1.0f), camera);
    planes[Far].Set(&farPoint, zVector(0.0f, 0.0f, 1.0f), camera);

    const zVector local[8] = {
        {-hw, hh, nearDistance}, {hw, hh, nearDistance}, {hw, -hh, nearDistance}, {-hw, -hh, nearDistance},
        {-hw, hh, farDistance}, {hw, hh, farDistance}, {hw, -hh, farDistance}, {-hw, -hh, farDistance},
    };
    if (camera != nullptr) {
        camera->TransformArray4(corners, local, 8);
    } else {
        for (int i = 0; i < 8; ++i)
            corners[i] = local[i];
    }
}

int zFrustum::ClassifySphere(const zVector& centre, float radius) const
{
    int result = FrustumInside;
    for (const zPlane& plane : planes) {
        const float s = plane.Distance(centre);
        if (s > radius)
            return FrustumOutside;
        if (s > -radius)
            result = FrustumClipped;
    }
    return result;
}

int zFrustum::ClassifyPoints(int count, const zVector* points, float margin) const
{
    int result = FrustumInside;
    for (const zPlane& plane : planes) {
        int outside = 0;
        for (int i = 0; i < count; ++i) {
            if (plane.Distance(points[i]) > margin)
                ++outside;
        }
        if (outside == count)
            return FrustumOutside;
        if (outside > 0)
            result = FrustumClipped;
    }
    return result;
}

void zFrustum::EdgeDirections(zVector* edges) const
{
    for (int i = 0; i < 4; ++i)
        edges[i] = corners[i + 4] - corners[i];
    edges[4] = corners[1] - corners[0];
    edges[5] = corners[3] - corners[0];
}

namespace {

// The near plane's normal is the far one reversed and adds nothing.
constexpr int TestedPlanes[5] = {zFrustum::Top, zFrustum::Bottom, zFrustum::Left, zFrustum::Right, zFrustum::Far};

// Runs the axes of a separating-axis test one by one; any disjoint axis ends it.
class AxisTest {
public:
    AxisTest(const zVector* a, const zVector* b) : pointsA(a), pointsB(b) {}

    bool Test(const zVector& axis)
    {
        const int r = CompareProjectedIntervals(axis, 8, pointsA, 8, pointsB);
        if (r == FrustumOutside)
            return false;
        if (r == FrustumClipped)
            result = FrustumClipped;
        return true;
    }

    // Cross axes of parallel edges carry no information.
    bool TestCross(const zVector& e, const zVector& f)
    {
        const zVector axis = e.Cross(f);
        if (axis.SquaredLength() <= 1e-6f)
            return true;
        return Test(axis);
    }

    int result = FrustumInside;

private:
    const zVector* pointsA;
    const zVector* pointsB;
};

} // namespace

int zFrustum::ClassifyMinMax(const zMinMax& box, const zMatrix4* matrix) const
{
    const zVector local[8] = {
        {box.min.x, box.min.y, box.min.z}, {box.max.x, box.min.y, box.min.z},
        {box.min.x, box.max.y, box.min.z}, {box.max.x, box.max.y, box.min.z},
        {box.min.x, box.min.y, box.max.z}, {box.max.x, box.min.y, box.max.z},
        {box.min.x, box.max.y, box.max.z}, {box.max.x, box.max.y, box.max.z},
    };
    zVector boxCorners[8];
    zVector axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    if (matrix != nullptr) {
        matrix->TransformArray4(boxCorners, local, 8);
        for (int i = 0; i < 3; ++i)
            axes[i] = matrix->GetRow(i, true);
    } else {
        for (int i = 0; i < 8; ++i)
            boxCorners[i] = local[i];
    }

    AxisTest test(corners, boxCorners);
    for (const int p : TestedPlanes) {
        if (!test.Test(planes[p].normal))
            return FrustumOutside;
    }
    for (const zVector& axis : axes) {
        if (!test.Test(axis))
            return FrustumOutside;
    }
    zVector edges[6];
    EdgeDirections(edges);
    for (const zVector& edge : edges) {
        for (const zVector& axis : axes) {
            if (!test.TestCross(edge, axis))
                return FrustumOutside;
        }
    }
    return test.result;
}

int zFrustum::ClassifyFrustum(const zFrustum& other) const
{
    AxisTest test(corners, other.corners);
    for (const int p : TestedPlanes) {
        if (!test.Test(planes[p].normal))
            return FrustumOutside;
    }
    for (const int p : TestedPlanes) {
        if (!test.Test(other.planes[p].normal))
            return FrustumOutside;
    }
    zVector edges[6];
    zVector otherEdges[6];
    EdgeDirections(edges);
    other.EdgeDirections(otherEdges);
    for (const zVector& edge : edges) {
        for (const zVector& otherEdge : otherEdges) {
            if (!test.TestCross(edge, otherEdge))
                return FrustumOutside;
        }
    }
    return test.result;
}
