#pragma once

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/spatial_structure/zBIH.h"

#include <cstdint>
#include <vector>

class zGeometry;
class zMObject;
class zScene;

// One object of the scene as the ray tracer sees it: the geometry to test
// (the object's own, its shadow proxy, or a deformed copy of a skin) and the
// object's matrices taken when the hierarchy was built.
struct zSceneBIHInstance {
    zMObject* item = nullptr;
    zGeometry* geometry = nullptr;
    zMatrix4 world;
    zMatrix4 inverseWorld;
    // The world matrix's rotation, for normals.
    zMatrix3 rotation;
    float alpha = 1.0f;
};

// A query through the scene hierarchy: the hierarchy's own stack and hit, and
// the hit in the instance's geometry. One per thread.
struct zSceneRayQuery : zBIHQuery {
    // Instance hit (index into the hierarchy's instances), -1 for none.
    int32_t instance = -1;
    // Nodes visited in both levels.
    int32_t nodeTests = 0;
    // Scratch for the geometry trees.
    zBIHQuery inner;
};

// A bounding interval hierarchy over the object instances of a scene. Each
// geometry keeps its own polygon tree, queried in object space, so moving an
// object needs only this small hierarchy rebuilt. Every tree is built by
// SetScene: queries only read, and any number of threads may cast rays at
// once, each with its own zSceneRayQuery.
class zSceneBIH : public zBIH {
public:
    static constexpr uint32_t SceneLeafSize = 3;

    zSceneBIH();
    ~zSceneBIH() override;

    void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const override;
    void Free() override;
    // Drops the instances, the geometry copies and the tree.
    void Clear();

    // Takes the active objects of the scene that have a geometry. For shadows,
    // geometries marked "ShadowNull" are left out and shadow proxies replace
    // their geometry. False, logged, when memory runs out; the scene is not owned.
    bool SetScene(zScene* scene, bool shadow);

    // Nearest hit (or any hit when query.nearestHit is 0) along
    // origin + t direction, t in lengths of direction, up to maximumDistance
    // (0 or less: unbounded). True on a hit; the query tells where.
    bool CastRay(zSceneRayQuery& query, const zVector& origin, const zVector& direction,
                 float maximumDistance = -1.0f) const;

    const std::vector<zSceneBIHInstance>& GetInstances() const { return instances; }
    zScene* GetScene() const { return scene; }

private:
    zScene* scene = nullptr;
    std::vector<zSceneBIHInstance> instances;
    // Deformed copies of skinned geometries; owned.
    std::vector<zGeometry*> copies;
};
