#include "core/render/zRenderer.h"

#include "framework/math/zMatrix3.h"
#include "framework/math/zMinMax.h"

#include <cmath>

namespace {

const float White[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float OBBColour[4] = {1.0f, 0.5f, 0.0f, 1.0f};

constexpr int SphereSegments = 24;
// 15 degrees.
constexpr float SphereStep = 0.2617994f;

} // namespace

void zRenderer::DrawCross(const zVector& position, float size, const float* colour)
{
    if (videoClosed != 0)
        return;
    if (colour == nullptr)
        colour = White;
    Line3D(zVector(position.x - size, position.y, position.z), zVector(position.x + size, position.y, position.z),
           colour);
    Line3D(zVector(position.x, position.y - size, position.z), zVector(position.x, position.y + size, position.z),
           colour);
    Line3D(zVector(position.x, position.y, position.z - size), zVector(position.x, position.y, position.z + size),
           colour);
}

void zRenderer::DrawSphere(const zMatrix4& placement, float radius, const float* colour)
{
    if (colour == nullptr)
        colour = White;
    // Circles in the y-z, x-y and x-z planes of the placement.
    auto points = [&](float a, zVector* out) {
        const float c = radius * std::cos(a);
        const float s = radius * std::sin(a);
        out[0] = zVector(0.0f, c, s).Transform(placement);
        out[1] = zVector(s, c, 0.0f).Transform(placement);
        out[2] = zVector(c, 0.0f, s).Transform(placement);
    };
    float angle = 0.0f;
    zVector previous[3];
    points(angle, previous);
    for (int i = 0; i < SphereSegments; ++i) {
        angle += SphereStep;
        zVector current[3];
        points(angle, current);
        for (int circle = 0; circle < 3; ++circle) {
            Line3D(previous[circle], current[circle], colour);
            previous[circle] = current[circle];
        }
    }
}

void zRenderer::DrawOBB(const zOBB& box, const float* colour)
{
    static const zVector unitCorners[8] = {
        {-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f},
        {-0.5f, 0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f},
    };
    static const int edges[12][2] = {
        {0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7},
    };
    if (colour == nullptr)
        colour = OBBColour;
    // Scaled along the box's own axes, then turned, then moved.
    zMatrix4 transform = zMatrix4::FromMatrix3(box.orientation * zMatrix3::ScaleMatrix(box.size));
    transform.SetRow(3, box.centre, true);
    zVector corners[8];
    for (int i = 0; i < 8; ++i)
        corners[i] = unitCorners[i].Transform(transform);
    for (const auto& edge : edges)
        Line3D(corners[edge[0]], corners[edge[1]], colour);
}

void zRenderer::DrawMinMax(const zMinMax& box, const float* colour)
{
    zOBB obb;
    obb.centre = zVector((box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f,
                         (box.min.z + box.max.z) * 0.5f);
    obb.size = zVector(box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z);
    DrawOBB(obb, colour);
}
