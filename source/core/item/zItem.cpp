#include "core/item/zItem.h"

#include "framework/math/zMinMax.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <cstring>
#include <new>

const char* const zItem::RotationOrderNames[RotationOrderCount] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX", "YX"};

namespace {

// Writers leave out values this close to their default.
constexpr float WriteEpsilon = 0.000001f;

bool MatrixDiffersFrom(const zMatrix4& a, const zMatrix4& b)
{
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a.m[i] - b.m[i]) >= WriteEpsilon)
            return true;
    }
    return false;
}

} // namespace

zItem::zItem(Tavrin* owner) : core(owner)
{
}

void zItem::GetMinMax(zMinMax& out)
{
    out.min = worldMatrix.GetRow(3, true);
    out.max = out.min;
}

void zItem::UpdateWorldMatrix()
{
    if (frozen != 0)
        return;
    if (orientationMethod != OrientationExternal) {
        ComputeLocalMatrix();
        if (link != nullptr && linkSuspended == 0) {
            link->UpdateWorldMatrix();
            worldMatrix = link->worldMatrix * localMatrix;
            if ((flags & LinkOnlyPosition) != 0) {
                const zVector translation = worldMatrix.GetRow(3);
                worldMatrix = zMatrix4::FromMatrix3(orientation);
                worldMatrix.SetRow(3, translation);
            }
        } else {
            worldMatrix = localMatrix;
        }
        if ((flags & HasTarget) != 0) {
            zMatrix3 r;
            worldMatrix.Decompose(nullptr, nullptr, &r);
            const zMatrix3 e = zMatrix3::FromEuler(targetOffsetRotation.x, targetOffsetRotation.y,
                                                   targetOffsetRotation.z, DefaultRotationOrder);
            r = r * e;
            orientation = r;
            const zVector translation = worldMatrix.GetRow(3);
            const zVector direction(target.x - translation.x, target.y - translation.y, target.z - translation.z);
            const zMatrix3 d = zMatrix3::FromDirection(direction);
            worldMatrix = worldMatrix * zMatrix4::FromMatrix3(r.Transposed() * d);
        }
    }
    inverseWorldMatrix = worldMatrix.InverseAffine();
}

void zItem::GetProjectionMatrix(zMatrix4& out)
{
    out.MakeIdentity();
}

void zItem::ComputeFrustum(zFrustum&, float, float)
{
}

zFrustum* zItem::GetFrustum()
{
    return nullptr;
}

float zItem::GetZNear()
{
    return 0.2f;
}

float zItem::GetZFar()
{
    return 500.0f;
}

void zItem::SetZNear(float)
{
}

void zItem::SetZFar(float)
{
}

void zItem::SetLink(zItem* parent)
{
    if (parent == this) {
        LogError("zItem::SetLink") << "Cannot link item to itself.\n";
        return;
    }
    if (parent != nullptr) {
        for (zItem* n = parent; n->link != nullptr; n = n->link) {
            if (n->link == this) {
                n->SetLink(link);
                LogWarning("zItem::SetLink") << "Deadlock detected, link chain has been corrected.\n";
                break;
            }
        }
    }
    link = parent;
}

bool zItem::IsLinkedTo(const zItem* other) const
{
    if (other == nullptr)
        return false;
    for (const zItem* n = this; n != nullptr; n = n->link) {
        if (n == other)
            return true;
    }
    return false;
}

void zItem::SetTarget(const zVector* point)
{
    if (point == nullptr) {
        flags &= ~HasTarget;
        return;
    }
    flags |= HasTarget;
    target.x = point->x;
    target.y = point->y;
    target.z = point->z;
}

void zItem::SetOrientationMethod(int32_t method)
{
    if (method == OrientationEuler)
        rotation = orientation.ToEuler(rotationOrder);
    else if (method == OrientationQuaternion)
        quaternion = zQuaternion::FromMatrix3(orientation);
    orientationMethod = method;
}

void zItem::ComputeLocalMatrix()
{
    if ((flags & HasTarget) == 0) {
        if (orientationMethod == OrientationEuler)
            orientation = zMatrix3::FromEuler(rotation.x, rotation.y, rotation.z, rotationOrder);
        else if (orientationMethod == OrientationQuaternion)
            orientation = quaternion.ToMatrix3();
    }
    // Pivot, then scale, then rotation, then translation.
    localMatrix = zMatrix4::TranslationMatrix(position) * zMatrix4::FromMatrix3(orientation) *
                  zMatrix4::ScaleMatrix(scale) * offsetMatrix.GetMatrix();
}

void zItem::SetMatrix(const zMatrix4& m, bool local)
{
    const zMatrix4 l = (local || link == nullptr) ? m : link->inverseWorldMatrix * m;
    zVector newPosition;
    zVector newScale;
    zMatrix3 q;
    l.Decompose(&newPosition, &newScale, &q);
    position = newPosition;
    scale = newScale;
    rotation = q.ToEuler(rotationOrder);
    quaternion = zQuaternion::FromMatrix3(q);
    orientation = q;
    if (local) {
        localMatrix = m;
        worldMatrix = link != nullptr ? link->worldMatrix * m : m;
    } else {
        localMatrix = l;
        worldMatrix = m;
    }
}

int32_t zItem::RotationOrderFromName(const char* name)
{
    if (name == nullptr)
        return -1;
    for (int32_t i = 0; i < RotationOrderCount; ++i) {
        if (std::strcmp(name, RotationOrderNames[i]) == 0)
            return i;
    }
    return -1;
}

bool zItem::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr) {
        LogError("zItem::FromMetaTag") << "Could not parse item. No tag given.\n";
        return false;
    }
    if (!tag->GetName().EqualsCString("Item")) {
        LogError("zItem::FromMetaTag") << "Could not parse item. Root tag id is incorrect (" << tag->GetName()
                                       << ").\n";
        return false;
    }

    flags = 0;
    position = zVector(0.0f, 0.0f, 0.0f);
    rotation = zVector(0.0f, 0.0f, 0.0f);
    orientation = zMatrix3();
    quaternion = zQuaternion();
    scale = zVector(1.0f, 1.0f, 1.0f);
    offsetMatrix.Set(zMatrix4());
    orientationMethod = OrientationEuler;
    alpha = 1.0f;

    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        const zString& name = child->GetName();
        // The name is the child's own; a shortcut child reads its target's value.
        const zMetaTag* value = document != nullptr ? zMetaTag::ResolveShortcut(child, document) : child;
        if (value == nullptr)
            continue;
        if (name.EqualsCString("OffsetPosition")) {
            zVector v;
            v.FromMetaTag(value);
            offsetMatrix.SetRow(3, v, true);
        } else if (name.EqualsCString("OffsetMatrix")) {
            offsetMatrix.FromMetaTag(document, value);
        } else if (name.EqualsCString("Position")) {
            position.FromMetaTag(value);
        } else if (name.EqualsCString("Rotation")) {
            rotation.FromMetaTag(value);
        } else if (name.EqualsCString("OrientationQuaternion")) {
            quaternion.FromMetaTag(document, value);
        } else if (name.EqualsCString("OrientationMatrix")) {
            orientation.FromMetaTag(document, value);
        } else if (name.EqualsCString("Scale")) {
            scale.FromMetaTag(value);
        } else if (name.EqualsCString("Target")) {
            target.FromMetaTag(value);
        } else if (name.EqualsCString("TargetOffsetRotation")) {
            targetOffsetRotation.FromMetaTag(value);
        } else if (name.EqualsCString("ItemFlag")) {
            for (const zMetaTag* bit = value->GetFirstChild(); bit != nullptr; bit = bit->GetNextSibling()) {
                if (bit->GetName().EqualsCString("HasTarget"))
                    flags |= HasTarget;
                else if (bit->GetName().EqualsCString("Invisible"))
                    flags |= Invisible;
                else if (bit->GetName().EqualsCString("LinkOnlyPosition"))
                    flags |= LinkOnlyPosition;
            }
        } else if (name.EqualsCString("OrientationMethod")) {
            const char* text = value->GetString();
            if (text != nullptr && std::strcmp(text, "Euler") == 0) {
                orientationMethod = OrientationEuler;
            } else if (text != nullptr && std::strcmp(text, "Matrix") == 0) {
                orientationMethod = OrientationMatrix;
            } else if (text != nullptr && std::strcmp(text, "Quaternion") == 0) {
                orientationMethod = OrientationQuaternion;
            } else {
                LogWarning("zItem::FromMetaTag")
                    << "Unknown orientation method '" << (text != nullptr ? text : "") << "'.\n";
            }
        } else if (name.EqualsCString("RotationOrder")) {
            const char* text = value->GetString();
            const int32_t order = RotationOrderFromName(text);
            if (order >= 0)
                rotationOrder = order;
            else
                LogWarning("zItem::FromMetaTag") << "Unknown rotation order '" << (text != nullptr ? text : "")
                                                 << "'.\n";
        } else {
            LogWarning("zItem::FromMetaTag") << "Unknown tag '" << name << "' in <Item>.\n";
        }
    }
    return true;
}

zMetaTag* zItem::AsMetaTag(const zMetaFile*) const
{
    zMetaTag* tag = zMetaTag::NewRoot("Item", "zItem::AsMetaTag",
                                      {"Could not serialize item. Failed to create root tag.\n"});
    if (tag == nullptr)
        return nullptr;
    if (MatrixDiffersFrom(offsetMatrix.GetMatrix(), IdentityMatrix4))
        tag->AddChild(offsetMatrix.AsMetaTag("OffsetMatrix"));
    if (position.DiffersFrom(zVector(0.0f, 0.0f, 0.0f)))
        tag->AddChild(position.AsMetaTag("Position"));
    if (rotation.DiffersFrom(zVector(0.0f, 0.0f, 0.0f)))
        tag->AddChild(rotation.AsMetaTag("Rotation"));
    if (scale.DiffersFrom(zVector(1.0f, 1.0f, 1.0f)))
        tag->AddChild(scale.AsMetaTag("Scale"));
    tag->AddChild(quaternion.AsMetaTag("OrientationQuaternion"));
    tag->AddChild(orientation.AsMetaTag("OrientationMatrix"));
    if (flags != 0) {
        zMetaTag* flagTag = tag->CreateChild("ItemFlag");
        if (flagTag == nullptr)
            LogWarning("zItem::AsMetaTag") << "Could not allocate the item flag tag.\n";
        else if ((flags & HasTarget) != 0)
            flagTag->CreateChild("HasTarget");
        if (flagTag != nullptr && (flags & Invisible) != 0)
            flagTag->CreateChild("Invisible");
        if (flagTag != nullptr && (flags & LinkOnlyPosition) != 0)
            flagTag->CreateChild("LinkOnlyPosition");
    }
    tag->AddChild(target.AsMetaTag("Target"));
    if (targetOffsetRotation.DiffersFrom(zVector(0.0f, 0.0f, 0.0f)))
        tag->AddChild(targetOffsetRotation.AsMetaTag("TargetOffsetRotation"));
    if (orientationMethod == OrientationMatrix)
        tag->CreateString("OrientationMethod", "Matrix");
    else if (orientationMethod == OrientationQuaternion)
        tag->CreateString("OrientationMethod", "Quaternion");
    if (rotationOrder != DefaultRotationOrder && rotationOrder >= 0 && rotationOrder < RotationOrderCount)
        tag->CreateString("RotationOrder", RotationOrderNames[rotationOrder]);
    return tag;
}
