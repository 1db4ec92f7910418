#include "physic/collision/GColItem.h"

#include "core/geometry/zGeometry.h"
#include "framework/system/zLogStream.h"
#include "framework/system/zModuleTag.h"
#include "physic/collision/GColMeshAccess.h"

#include <cmath>
#include <new>

namespace {

inline float Component(const zVector& v, int i)
{
    return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

constexpr int32_t CollisionModule = 3;
constexpr float ChangeTolerance = 1e-6f;

bool VectorDiffers(const zVector& a, const zVector& b)
{
    return std::fabs(a.x - b.x) >= ChangeTolerance || std::fabs(a.y - b.y) >= ChangeTolerance ||
           std::fabs(a.z - b.z) >= ChangeTolerance;
}

bool Matrix3Differs(const zMatrix3& a, const zMatrix3& b)
{
    for (int i = 0; i < 9; ++i) {
        if (std::fabs(a.m[i] - b.m[i]) >= ChangeTolerance)
            return true;
    }
    return false;
}

void MergeInto(zMinMax& box, const zMinMax& other)
{
    box.min = zVector(std::fmin(box.min.x, other.min.x), std::fmin(box.min.y, other.min.y), std::fmin(box.min.z, other.min.z));
    box.max = zVector(std::fmax(box.max.x, other.max.x), std::fmax(box.max.y, other.max.y), std::fmax(box.max.z, other.max.z));
}

// The bounds of the oriented box, as zOBB::GetMinMax gives them, inline:
// the extent on each axis is the largest of |corner rotated| over the four
// corners (h), (-h.x, h.y, h.z), (h.x, -h.y, h.z), (h.x, h.y, -h.z).
zMinMax CuboidBounds(const zVector& size, const zMatrix4& placement)
{
    const float* m = placement.m;
    const zVector centre(m[3], m[7], m[11]);
    const float o[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
    const zVector h = size * 0.5f;
    const zVector corners[4] = {{h.x, h.y, h.z}, {-h.x, h.y, h.z}, {h.x, -h.y, h.z}, {h.x, h.y, -h.z}};
    float extent[3] = {0.0f, 0.0f, 0.0f};
    for (const zVector& c : corners) {
        for (int axis = 0; axis < 3; ++axis) {
            const float r = std::fabs(o[3 * axis] * c.x + o[3 * axis + 1] * c.y + o[3 * axis + 2] * c.z);
            // fmax of two numbers, neither of them negative.
            if (r > extent[axis])
                extent[axis] = r;
        }
    }
    const zVector e(extent[0], extent[1], extent[2]);
    return zMinMax(centre - e, centre + e);
}

zMinMax SphereBounds(const zVector& centre, float radius)
{
    const zVector r(radius, radius, radius);
    return zMinMax(centre - r, centre + r);
}

}

GColItem::GColItem()
{
    Reset();
}

GColItem::~GColItem()
{
    shapes.Clear(true);
}

GColShape* GColItem::AddShape()
{
    zModuleTagScope module(CollisionModule);
    GColShape* shape = new (std::nothrow) GColShape();
    if (shape == nullptr)
        return nullptr;
    shape->owner = this;
    shapes.Add(shape, true, true);
    return shape;
}

GColShape* GColItem::AddMeshShape(zGeometry* geometry, const zVector* localPosition, const zVector* angles)
{
    GColShape* shape = AddShape();
    if (shape != nullptr)
        shape->AsMesh(geometry, localPosition, angles);
    return shape;
}

GColShape* GColItem::AddCuboidShape(const zVector* size, const zVector* localPosition, const zVector* angles)
{
    GColShape* shape = AddShape();
    if (shape != nullptr)
        shape->AsCuboid(size, localPosition, angles);
    return shape;
}

GColShape* GColItem::AddSphereShape(float radius, const zVector* localPosition, const zVector* angles)
{
    GColShape* shape = AddShape();
    if (shape != nullptr)
        shape->AsSphere(radius, localPosition, angles);
    return shape;
}

bool GColItem::RemoveShape(GColShape* shape)
{
    if (shape == nullptr || shape->owner != this)
        return false;
    return shapes.Remove(shape, true);
}

void GColItem::Setup()
{
    for (GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape)) {
        if (shape->type == GColShapeMesh && shape->meshTree == nullptr) {
            shape->type = GColShapeNone;
            LogError("GColItem::Setup") << "Collision shape declared as mesh but has no mesh tree registered.\n";
        }
    }
}

float GColItem::GetMass() const
{
    float mass = 0.0f;
    for (const GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape))
        mass += shape->Mass;
    return mass;
}

void GColItem::SetTransformation(const zVector& newPosition, const zMatrix3* newRotation, const zVector* newScale, bool force)
{
    bool changed = VectorDiffers(newPosition, position);
    if (newRotation != nullptr && Matrix3Differs(*newRotation, rotation))
        changed = true;
    moved = changed ? 1 : 0;
    if (!changed && !force)
        return;

    previousPosition = resetPending ? newPosition : position;
    position = zVector(newPosition.x, newPosition.y, newPosition.z);
    if (newRotation != nullptr) {
        previousRotation = resetPending ? *newRotation : rotation;
        rotation = *newRotation;
    }
    if (newScale != nullptr)
        scale = zVector(newScale->x, newScale->y, newScale->z);
    UpdateWorldShapes();
    if (resetPending) {
        SavePreviousShapeTransforms();
        UpdateBounds(bounds);
        resetPending = 0;
    }
}

void GColItem::Reset()
{
    moved = 0;
    touching = 0;
    resetPending = 1;
    position = zVector(0.0f, 0.0f, 0.0f);
    rotation = zMatrix3();
    scale = zVector(1.0f, 1.0f, 1.0f);
    UpdateWorldShapes();
    SavePreviousShapeTransforms();
    UpdateBounds(bounds);
}

void GColItem::SavePreviousShapeTransforms()
{
    for (GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape)) {
        if (shape->Active == 1) {
            shape->previousWorld = shape->world;
            shape->previousWorldInverse = shape->worldInverse;
        }
    }
}

void GColItem::UpdateWorldShapes()
{
    // The arithmetic of Rotate, the zMatrix3 product, FromMatrix3, SetRow and
    // InverseAffine, written out so that it runs inline for every step of every body.
    const float* r = rotation.m;
    for (GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape)) {
        if (shape->Active != 1)
            continue;
        shape->previousWorld = shape->world;
        shape->previousWorldInverse = shape->worldInverse;
        const float sx = shape->position.x * scale.x;
        const float sy = shape->position.y * scale.y;
        const float sz = shape->position.z * scale.z;
        const float* o = shape->orientation.m;
        // The shape's own orientation first, then the item's rotation.
        float* w = shape->world.m;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                w[4 * i + j] = r[3 * i] * o[j] + r[3 * i + 1] * o[3 + j] + r[3 * i + 2] * o[6 + j];
            w[4 * i + 3] = (r[3 * i] * sx + r[3 * i + 1] * sy + r[3 * i + 2] * sz) + Component(position, i);
        }
        w[12] = 0.0f;
        w[13] = 0.0f;
        w[14] = 0.0f;
        w[15] = 1.0f;
        float* v = shape->worldInverse.m;
        for (int i = 0; i < 3; ++i) {
            const float length = std::sqrt(w[i] * w[i] + w[i + 4] * w[i + 4] + w[i + 8] * w[i + 8]);
            // A collapsed axis stays collapsed instead of filling the inverse with NaN.
            const float inverse = length != 0.0f ? 1.0f / length : 0.0f;
            for (int j = 0; j < 3; ++j)
                v[4 * i + j] = (w[i + 4 * j] * inverse) * inverse;
        }
        const float tx = -w[3];
        const float ty = -w[7];
        const float tz = -w[11];
        for (int i = 0; i < 3; ++i)
            v[4 * i + 3] = v[4 * i] * tx + v[4 * i + 1] * ty + v[4 * i + 2] * tz;
        v[12] = 0.0f;
        v[13] = 0.0f;
        v[14] = 0.0f;
        v[15] = 1.0f;
    }
}

void GColItem::UpdateBounds(zMinMax& out)
{
    bool first = true;
    for (GColShape* shape = GetFirstShape(); shape != nullptr; shape = NextShape(shape)) {
        zMinMax previous(zVector(0.0f, 0.0f, 0.0f), zVector(0.0f, 0.0f, 0.0f));
        switch (shape->type) {
        case GColShapeMesh: {
            const zGeometry* geometry = GColMesh::GetGeometry(shape->meshTree);
            if (geometry != nullptr) {
                geometry->ComputeMinMax(previous, &shape->previousWorld);
                geometry->ComputeMinMax(shape->bounds, &shape->world);
            }
            break;
        }
        case GColShapeSphere:
            previous = SphereBounds(shape->GetPreviousCentre(), shape->GetRadius());
            shape->bounds = SphereBounds(shape->GetCentre(), shape->GetRadius());
            break;
        case GColShapeCuboid: {
            const zVector size = shape->GetScaledSize();
            previous = CuboidBounds(size, shape->previousWorld);
            shape->bounds = CuboidBounds(size, shape->world);
            break;
        }
        default:
            break;
        }
        MergeInto(shape->bounds, previous);
        if (first)
            out = shape->bounds;
        else
            MergeInto(out, shape->bounds);
        first = false;
    }
}

zMatrix4 GColItem::GetMatrix() const
{
    zMatrix4 m = zMatrix4::FromMatrix3(rotation);
    m.SetRow(3, position, true);
    return m;
}

zMatrix4 GColItem::GetInverseMatrix() const
{
    // Translation by the negated position, then the transposed rotation.
    return zMatrix4::FromMatrix3(rotation.Transposed()) * zMatrix4::TranslationMatrix(-position);
}
