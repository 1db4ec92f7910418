#pragma once

#include "core/item/zItem.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zMinMax.h"

#include <cstdint>

class zGeometry;

// The item that shows a geometry. For a skinned geometry it binds each bone
// to an item of the scene, computes one skin matrix per bone every frame and
// keeps one bind-pose box per bone, so that the bounds of the deformed mesh
// are found without touching its vertices. The object owns its per-bone
// arrays, not the bone items nor the geometries.
class zObject : public zItem {
public:
    explicit zObject(Tavrin* owner);
    ~zObject() override;
    zObject(const zObject&) = delete;
    zObject& operator=(const zObject&) = delete;

    // In the object's own space: the bone boxes under their skin matrices,
    // else the geometry's bounds, else the world position.
    void GetMinMax(zMinMax& out) override;

    // Unbinds, then allocates the per-bone arrays for the geometry's bones
    // (null bones, identity matrices) and builds the bone boxes. True with
    // nothing to bind; false, unskinned, when allocation fails.
    virtual bool BindSkin();
    // Frees the per-bone arrays; bone count 0.
    virtual void FreeSkin();
    // Drives bone index by item. The bind matrix is the one given, else the
    // item's current inverse world matrix, else identity. False for an index
    // not below the bone count.
    virtual bool SetBone(uint32_t index, zItem* item, const zMatrix4* bind);

    // Nothing when g is already the geometry; otherwise unbinds, takes g and,
    // with bind, binds its skin.
    void SetGeometry(zGeometry* g, bool bind);
    // skin = bind, then the bone's world matrix, then the object's inverse
    // world matrix; identity for a bone without an item.
    void ComputeSkinMatrices();
    // Onto the renderer's item stack, when there is a geometry.
    void PushToRenderer();
    // The box of bone index under its skin matrix; false for an index not
    // below the bone count.
    bool GetBoneOBB(uint32_t index, zOBB& out) const;
    // Bind-pose box of the vertices each bone moves (weight above 0); a bone
    // no vertex uses keeps an empty box at the origin.
    bool BuildBoneBoundingVolumes();

    // The "Object" tag. The reader leaves the world matrix to its caller.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Object" tag (the caller owns it), or null.
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;

    uint32_t boneCount = 0;
    // The item driving each bone; null entries allowed.
    zItem** bones = nullptr;
    // Per bone: from a bind-pose point into the bone's space.
    zMatrix4* bindMatrices = nullptr;
    // Per bone: the matrix of the current frame, in the object's space.
    zMatrix4* skinMatrices = nullptr;
    // Per bone: bind-pose bounds of the vertices it moves.
    zMinMax* boneBoxes = nullptr;
    // Shown geometry, owned by the resource cache.
    zGeometry* geometry = nullptr;
    // Geometry used for occlusion, owned by the resource cache.
    zGeometry* occluder = nullptr;
    // Load the geometry through the resource cache.
    uint8_t cacheGeometry = 1;
};
