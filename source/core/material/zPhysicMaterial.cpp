#include "core/material/zPhysicMaterial.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <new>

bool zPhysicMaterial::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr || tag->GetName() != "PhysicMaterial") {
        LogError("zPhysicMaterial::FromMetaTag") << "Could not parse physic material. Root tag id is incorrect ("
                                                 << (tag != nullptr ? tag->GetName().Get() : nullptr) << ").\n";
        return false;
    }
    zLinkedListCursor cursor;
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Mass")
            mass = child->GetFloat();
        else if (name == "StaticFriction")
            staticFriction = child->GetFloat();
        else if (name == "DynamicFriction")
            dynamicFriction = child->GetFloat();
        else if (name == "Restitution")
            restitution = child->GetFloat();
        else if (name == "Damping")
            damping = child->GetFloat();
        else if (name == "Stiffness")
            stiffness = child->GetFloat();
        else if (name == "Torsion")
            torsion = child->GetType() == zMetaTag::TypeInteger && child->GetInteger() != 0 ? 1.0f : 0.0f;
    }
    return true;
}

zMetaTag* zPhysicMaterial::AsMetaTag(zLinkedListId*) const
{
    zMetaTag* root = zMetaTag::NewRoot("PhysicMaterial", "zPhysicMaterial::AsMetaTag",
                                       {"Could not serialize physic material. Failed to create root tag.\n"});
    if (root == nullptr)
        return nullptr;
    if (mass != 1.0f)
        root->CreateFloat("Mass", mass);
    root->CreateFloat("StaticFriction", staticFriction);
    root->CreateFloat("DynamicFriction", dynamicFriction);
    root->CreateFloat("Restitution", restitution);
    if (damping != 0.99f)
        root->CreateFloat("Damping", damping);
    if (stiffness != 1.0f)
        root->CreateFloat("Stiffness", stiffness);
    if (torsion != 1.0f)
        root->CreateInteger("Torsion", torsion != 0.0f ? 1 : 0);
    return root;
}
