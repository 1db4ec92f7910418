#include "core/item/zItem.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColItem.h"
#include "physic/dynamics/TauItem.h"

namespace {

zMatrix3 Diagonal(float x, float y, float z)
{
    zMatrix3 m;
    m.Set(x, 0.0f, 0.0f, 0.0f, y, 0.0f, 0.0f, 0.0f, z);
    return m;
}

} // namespace

void TauItem::ComputeInertiaTensorAndCoM(const GColItem* item)
{
    if (item == nullptr) {
        LogError("TauItem::ComputeInertiaTensorAndCoM") << "Cannot compute inertia tensor with no GColItem description.\n";
        return;
    }
    const zMatrix4 toItem = owner != nullptr ? owner->offsetMatrix.GetInverse() : zMatrix4();

    zVector pivot{0.0f, 0.0f, 0.0f, 1.0f};
    float total = 0.0f;
    for (const GColShape* shape = item->GetFirstShape(); shape != nullptr; shape = GColItem::NextShape(shape)) {
        const zVector p = shape->position.Transform(toItem);
        pivot = pivot + p * shape->Mass;
        total += shape->Mass;
    }
    Mass = total;
    if (total == 0.0f) {
        inverseMass = 0.0f;
    } else {
        inverseMass = 1.0f / total;
        pivot = pivot * (1.0f / total);
    }
    Pivot = pivot;

    zMatrix3 tensor = Diagonal(0.0f, 0.0f, 0.0f);
    for (const GColShape* shape = item->GetFirstShape(); shape != nullptr; shape = GColItem::NextShape(shape)) {
        const float m = shape->Mass;
        const zVector& d = shape->dimensions;
        zMatrix3 local;
        switch (shape->type) {
        case GColShapeSphere:
            local = Diagonal(0.4f * m * d.x * d.x, 0.4f * m * d.x * d.x, 0.4f * m * d.x * d.x);
            break;
        case GColShapeCuboid:
            local = Diagonal(m / 12.0f * (d.y * d.y + d.z * d.z), m / 12.0f * (d.x * d.x + d.z * d.z),
                             m / 12.0f * (d.x * d.x + d.y * d.y));
            break;
        case GColShapeMesh:
            LogWarning("TauItem::ComputeInertiaTensorAndCoM") << "Mesh inertia tensor UNIMPLEMENTED!\n";
            break;
        default:
            break;
        }
        const zMatrix3& r = shape->orientation;
        const zMatrix3 rotated = TauMatrixProduct(r.Transposed(), TauMatrixProduct(local, r));
        const zVector p = shape->position.Transform(toItem);
        const zMatrix3 s = zMatrix3::CrossProductMatrix(p);
        zMatrix3 contribution;
        zMatrix3::Subtract(rotated, TauMatrixProduct(s, s).MulScalar(m), contribution);
        tensor = tensor.AddMatrix(contribution);
    }

    zMatrix3 inverse;
    if (!tensor.Inverse(inverse)) {
        LogWarning("TauItem::ComputeInertiaTensorAndCoM") << "Singular inertia tensor, previous one kept.\n";
        return;
    }
    TauSymmetrize(inverse);
    inverseInertiaTensor = inverse;
}
