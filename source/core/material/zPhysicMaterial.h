#pragma once

#include "framework/data_structure/zLinkedList.h"

class zMetaFile;
class zMetaTag;

// How the faces that carry a material behave in the physics: mass, friction,
// restitution and the soft-body values. Read and written as "PhysicMaterial".
class zPhysicMaterial {
public:
    zPhysicMaterial() = default;

    // Sets the floats of the children present; nothing is reset first. False
    // when the tag is not a "PhysicMaterial".
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "PhysicMaterial" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(zLinkedListId* list) const;

    float mass = 1.0f;
    float dynamicFriction = 0.5f;
    float staticFriction = 0.75f;
    float restitution = 0.1f;
    // Kept for the physics; neither read nor written here.
    float reserved[3] = {0.0f, 0.0f, 0.0f};
    float damping = 0.99f;
    float stiffness = 1.0f;
    // 1 or 0.
    float torsion = 1.0f;
};
