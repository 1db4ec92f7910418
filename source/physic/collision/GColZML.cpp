#include "core/geometry/zGeometry.h"
#include "core/item/zItem.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GColMeshAccess.h"
#include "physic/collision/GCollide.h"

#include <new>

namespace {

void AddTag(zMetaTag* parent, zMetaTag* child)
{
    if (child != nullptr && parent->AddChild(child) == nullptr)
        delete child;
}

const char* NameOf(const zMetaTag* tag)
{
    return tag != nullptr ? tag->GetName().Get() : "";
}

// The geometry of that name becomes the shape's mesh; without it (or its
// tree) the shape is of no type.
void ReadMesh(GColShape& shape, const char* geometryName)
{
    // The scene stores its item as the owner; its core loads the geometry.
    const zItem* item = shape.owner != nullptr ? static_cast<const zItem*>(shape.owner->owner) : nullptr;
    zGeometry* geometry = nullptr;
    if (geometryName != nullptr && item != nullptr && item->core != nullptr)
        geometry = item->core->LoadGeometry(geometryName, true, true);
    const zVector keepPosition = shape.position;
    const zMatrix3 keepOrientation = shape.orientation;
    if (geometry == nullptr || !shape.AsMesh(geometry, &keepPosition, nullptr)) {
        shape.meshTree = nullptr;
        shape.type = GColShapeNone;
    }
    shape.position = keepPosition;
    shape.orientation = keepOrientation;
}

} // namespace

bool GCollide::FromMetaTag(const zMetaFile* document, const zMetaTag* tag, bool apply)
{
    if (tag == nullptr || tag->GetName() != "GCollide") {
        LogError("GCollide::FromMetaTag") << "could not parse collision system. Root tag id is incorrect ("
                                          << NameOf(tag) << ").\n";
        return false;
    }
    if (!apply)
        return true;
    const zMetaTag* useSap = tag->GetTag("UseSAP", document);
    if (useSap == nullptr)
        UseSAP = 1;
    else
        UseSAP = useSap->GetType() == zMetaTag::TypeInteger && useSap->GetInteger() != 0 ? 1 : 0;
    const zMetaTag* size = tag->GetTag("SAPSize", document);
    if (UseSAP != 0 && size != nullptr && size->GetType() == zMetaTag::TypeInteger) {
        // A count the array can take: positive and no fewer than the items it holds.
        const int32_t n = size->GetInteger();
        if (n <= 0 || static_cast<uint32_t>(n) < sapCount)
            LogWarning("GCollide::FromMetaTag") << "Invalid SAPSize " << n << ", " << sapCapacity << " kept.\n";
        else
            SAP_Allocate(static_cast<uint32_t>(n));
    }
    return true;
}

zMetaTag* GCollide::AsMetaTag(const zMetaFile*) const
{
    zMetaTag* root = zMetaTag::NewRoot("GCollide", "GCollide::AsMetaTag",
                                       {"could not create gcollide root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    if (UseSAP != 0) {
        root->CreateInteger("UseSAP", 1);
        root->CreateInteger("SAPSize", static_cast<int32_t>(sapCapacity));
    }
    return root;
}

bool GColItem::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "GColItem") {
        LogError("GColItem::FromMetaTag") << "Could not parse collision item. Root tag id is incorrect ("
                                          << NameOf(tag) << ").\n";
        return false;
    }
    Reset();
    SelfMask = 1;
    Mask = 1;
    shapes.Clear(true);
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Active") {
            moved = 1;
        } else if (name == "SelfMask") {
            SelfMask = child->GetType() == zMetaTag::TypeInteger ? child->GetInteger() : zMetaTag::NoInteger;
        } else if (name == "Mask") {
            Mask = child->GetType() == zMetaTag::TypeInteger ? child->GetInteger() : zMetaTag::NoInteger;
        } else if (name == "Shapes") {
            zLinkedListCursor shapeCursor;
            while (const zMetaTag* shapeTag = child->NextChild(shapeCursor, document)) {
                GColShape* shape = AddShape();
                if (shape != nullptr && !shape->FromMetaTag(document, shapeTag))
                    RemoveShape(shape);
            }
        } else {
            LogWarning("GColItem::FromMetaTag") << "Unknown tag '" << name << "' in <GColItem>.\n";
        }
    }
    return true;
}

zMetaTag* GColItem::AsMetaTag(const zMetaFile* document) const
{
    zMetaTag* root = zMetaTag::NewRoot("GColItem", "GColItem::AsMetaTag",
                                       {"Could not create collision item root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    if (moved != 0)
        root->CreateChild("Active");
    root->CreateInteger("SelfMask", SelfMask);
    root->CreateInteger("Mask", Mask);
    if (GetFirstShape() != nullptr) {
        zMetaTag* list = root->CreateChild("Shapes");
        for (const GColShape* shape = GetFirstShape(); shape != nullptr && list != nullptr; shape = NextShape(shape))
            AddTag(list, shape->AsMetaTag(document));
    }
    return root;
}

bool GColShape::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "GColShape") {
        LogError("GColShape::FromMetaTag") << "Could not parse collision shape. Root tag id is incorrect ("
                                           << NameOf(tag) << ").\n";
        return false;
    }
    Active = 0;
    type = GColShapeNone;
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Active") {
            Active = 1;
        } else if (name == "Type") {
            const char* text = child->GetString();
            const zString kind(text);
            if (text != nullptr && (kind == "Polymesh" || kind == "Mesh"))
                type = GColShapeMesh;
            else if (text != nullptr && kind == "Sphere")
                type = GColShapeSphere;
            else if (text != nullptr && kind == "Cuboid")
                type = GColShapeCuboid;
            else
                type = GColShapeNone;
        } else if (name == "Position") {
            zVector v = position;
            if (v.FromMetaTag(child))
                position = zVector(v.x, v.y, v.z);
        } else if (name == "Orientation") {
            zMatrix3 m = orientation;
            if (m.FromMetaTag(document, child))
                orientation = m;
        } else if (name == "Dimensions" || name == "Scale") {
            zVector v = dimensions;
            if (v.FromMetaTag(child))
                dimensions = zVector(v.x, v.y, v.z);
        } else if (name == "Radius") {
            const float r = child->GetFloat();
            dimensions = zVector(r, r, r);
        } else if (name == "Mesh" || name == "Polymesh") {
            ReadMesh(*this, child->GetString());
        } else if (name == "Mass") {
            Mass = child->GetFloat();
        } else if (name == "StaticFriction") {
            StaticFriction = child->GetFloat();
        } else if (name == "DynamicFriction") {
            DynamicFriction = child->GetFloat();
        } else if (name == "Restitution") {
            Restitution = child->GetFloat();
        } else if (name == "AnisotropicFriction" || name == "VStaticFriction" || name == "VDynamicFriction") {
        } else {
            LogWarning("GColShape::FromMetaTag") << "Unknown tag '" << name << "' in <GColShape>.\n";
        }
    }
    return true;
}

zMetaTag* GColShape::AsMetaTag(const zMetaFile*) const
{
    zMetaTag* root = zMetaTag::NewRoot("GColShape", "GColShape::AsMetaTag",
                                       {"Could not create collision shape root tag to serialize.\n"});
    if (root == nullptr)
        return nullptr;
    if (Active != 0)
        root->CreateChild("Active");
    static const char* const typeNames[] = {nullptr, "Mesh", "Sphere", "Cuboid"};
    if (type > GColShapeNone && type <= GColShapeCuboid)
        root->CreateString("Type", typeNames[type]);
    AddTag(root, position.AsMetaTag("Position"));
    AddTag(root, orientation.AsMetaTag("Orientation"));
    if (type == GColShapeMesh) {
        const zGeometry* geometry = GColMesh::GetGeometry(meshTree);
        if (geometry != nullptr)
            root->CreateString("Mesh", geometry->id.Get());
    } else if (type == GColShapeSphere) {
        root->CreateFloat("Radius", dimensions.x);
    } else if (type == GColShapeCuboid) {
        AddTag(root, dimensions.AsMetaTag("Dimensions"));
    }
    if (Mass != 1.0f)
        root->CreateFloat("Mass", Mass);
    root->CreateFloat("StaticFriction", StaticFriction);
    root->CreateFloat("DynamicFriction", DynamicFriction);
    root->CreateFloat("Restitution", Restitution);
    return root;
}
