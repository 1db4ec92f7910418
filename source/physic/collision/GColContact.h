#pragma once

#include "framework/math/zVector.h"

#include <cstdint>

class GColShape;

// One colliding shape pair (one mesh triangle for meshes), as the rigid-body
// solver reads it.
struct TauContactNode {
    // The lower kind of the pair.
    GColShape* shapeA = nullptr;
    GColShape* shapeB = nullptr;
    // World space, from shape a towards shape b, whatever the pair.
    zVector normal;
    // 0 or negative when the shapes overlap, whatever the pair: the solver
    // moves shape a out along normal x depth.
    float depth = 0.0f;
    // The node's points are consecutive in the point buffer from here.
    uint16_t firstPoint = 0;
    uint16_t pointCount = 0;
};

struct TauContactPoint {
    // World space.
    zVector position;
    float depth = 0.0f;
};

// Where one shape-pair test writes its result; the caller owns every buffer.
struct GColContactOutput {
    zVector* normal = nullptr;
    float* depth = nullptr;
    // 0: no points wanted.
    uint32_t pointCapacity = 0;
    zVector* points = nullptr;
    float* pointDepths = nullptr;

    bool WantsResult() const { return normal != nullptr && depth != nullptr; }
    bool WantsPoints() const { return pointCapacity != 0 && points != nullptr && pointDepths != nullptr; }
};

// The caller's node and point buffers with their fill counts. Writes stop at
// the capacities; the first write refused in a pass logs one warning.
struct GColContactBuffer {
    // Null: no nodes are written.
    TauContactNode* nodes = nullptr;
    uint32_t nodeCapacity = 0;
    uint32_t nodeCount = 0;
    // Null: nodes carry no points.
    TauContactPoint* points = nullptr;
    uint32_t pointCapacity = 0;
    uint32_t pointCount = 0;
    // Set once a node or a point did not fit.
    bool overflowed = false;

    bool HasNodes() const { return nodes != nullptr; }
    bool HasPoints() const { return points != nullptr; }
    // Room for one more node; logs the overflow once when there is none.
    bool ReserveNode();
    // Room for one more point; logs the overflow once when there is none.
    bool ReservePoint();
};

// Called at the end of a detection pass when installed (the system installs none).
using GColContactHook = void (*)(uint32_t nodeCount, TauContactNode* nodes, TauContactPoint* points);
extern GColContactHook GlobalContactHook;
