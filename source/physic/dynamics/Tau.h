#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zVector.h"
#include "framework/system/zClock.h"
#include "physic/collision/GColContact.h"
#include "physic/dynamics/TauItem.h"

#include <cstdint>

class GCollide;
class TauConstraint;
class TauSceneServices;
class zMetaFile;
class zMetaTag;
class zRenderer;

// What the scene hears of each step.
class TauStepCallback {
public:
    virtual ~TauStepCallback() = default;
    // stepped: true once per simulated step, false once per dropped step.
    virtual void OnStep(void* userData, bool stepped) = 0;
};

// One of the world's body lists. It never owns its bodies and unlinks in
// constant time through the list a body records.
class TauItemList : public zLinkedList {
public:
    TauItemList() { SetNotOwned(true); }
    void Append(TauItem* body);
    void Prepend(TauItem* body);
    // False when the body is not in this list.
    bool Unlink(TauItem* body);
    TauItem* First() const { return static_cast<TauItem*>(first); }
    static TauItem* Next(const TauItem* body) { return static_cast<TauItem*>(body->next); }
    // Unlinks every body (deleting them when asked).
    void Clear(bool deleteBodies);
};

// Managed-item UIDs of a scene file by their index in the file.
struct TauUidRemap {
    const int32_t* entries = nullptr;
    int32_t count = 0;
};

// The rigid-body world of one scene. Main thread only. Bodies and collision
// items are the scene's: the world's lists link them without owning them.
// Times are seconds.
class Tau {
public:
    static constexpr uint32_t DefaultNodeCapacity = 2048;
    static constexpr uint32_t DefaultPointCapacity = 4096;
    // A node addresses its first point with 16 bits.
    static constexpr uint32_t MaxPointCapacity = 65535;
    // The solver skips nodes without points, so more nodes than points are
    // never used.
    static constexpr uint32_t MaxNodeCapacity = MaxPointCapacity;
    // Passes of either solver per step, for files and scripts alike.
    static constexpr uint32_t MaxIterations = 4096;
    static constexpr float MaxFrequency = 10000.0f;
    // Longer frames are cut to this many seconds.
    static constexpr float MaxFrameTime = 60.0f;
    // TauItem::IsQuiet factors: a body quiet at SleepQuietFactor counts
    // towards sleep; a body not quiet at the slightly looser WakeQuietFactor
    // wakes a sleeping partner it touches.
    static constexpr float SleepQuietFactor = 2000.0f;
    static constexpr float WakeQuietFactor = 2100.0f;
    // Seconds a body stays quiet before it sleeps (the quiet limit in steps
    // is Frequency times this, truncated).
    static constexpr float SleepDelaySeconds = 0.75f;

    Tau();
    ~Tau();
    Tau(const Tau&) = delete;
    Tau& operator=(const Tau&) = delete;

    bool AllocateCollisionNode(uint32_t nodes, uint32_t points);
    void FreeCollisionNodes();
    // Runs the owed fixed steps for a frame of frameTime seconds (cut to
    // +-MaxFrameTime, with a warning); returns the part of a step simulated
    // ahead. Gives up owed steps, reporting each as dropped, once the steps
    // of this call took longer than 1/60 s of wall clock.
    float Update(float frameTime);
    void DetectContacts();
    void Reset();
    void AddItem(TauItem* body);
    bool RemoveItem(TauItem* body, bool detachConstraints);
    bool SetItemInactive(TauItem* body, bool inactive);
    void WakeItem(TauItem* body);
    void SleepItem(TauItem* body);
    void Clear(bool deleteBodies);
    void AddConstraint(TauConstraint* constraint);
    void RemoveConstraint(TauConstraint* constraint);
    // A new array (delete[]) of the active bodies in list order, or null.
    TauItem** GetActiveItemArray() const;
    // A positive finite rate up to MaxFrequency; anything else is refused.
    bool SetFrequency(float frequency);
    static bool IsIterationCount(int64_t count) { return count >= 0 && count <= int64_t(MaxIterations); }
    // 0 to MaxIterations passes; anything else is refused with a warning and
    // the old count kept, as the "Tau" tag does.
    bool SetContactIteration(int64_t count);
    bool SetConstraintIteration(int64_t count);

    void Step();
    void SolveContacts(bool contactPass);
    void InterpolateStaticItems();
    void PrepareConstraints();

    void DrawDebugContacts(zRenderer* renderer, float scale) const;
    void DrawDebugItems(zRenderer* renderer, float scale) const;

    // The "Tau" tag; constraints reach scene items through the services.
    bool FromMetaTag(TauSceneServices* scene, const zMetaFile* document, const zMetaTag* tag, const TauUidRemap* remap,
                     void* group);
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr, TauSceneServices* scene = nullptr) const;

    TauItem* GetBodyOf(const GColShape* shape) const;

    GCollide* collision = nullptr;
    uint8_t stepped = 0;
    float step = 1.0f / 75.0f;
    float accumulator = 0.0f;
    float frameTime = 0.0f;
    float accumulatorAtUpdateStart = 0.0f;
    int32_t SleepDelay = 0;
    uint32_t nodeCapacity = 0;
    TauContactNode* nodeBuffers[2] = {nullptr, nullptr};
    uint32_t nodeCount = 0;
    TauContactNode* nodes = nullptr;
    uint32_t previousNodeCount = 0;
    TauContactNode* previousNodes = nullptr;
    uint32_t pointCapacity = 0;
    TauContactPoint* points = nullptr;
    TauItemList activeItems;
    TauItemList sleepingItems;
    TauItemList inactiveItems;
    // Owns its constraints.
    zLinkedListId constraints;
    void* callbackUserData = nullptr;
    TauStepCallback* stepCallback = nullptr;
    zTimer detectionTimer;
    zTimer solverTimer;
    zTimer updateTimer;
    uint32_t pairCount = 0;
    uint32_t pointCount = 0;
    uint32_t restingPairCount = 0;
    uint32_t sleepingCount = 0;
    zVector gravity{0.0f, -9.8f, 0.0f, 1.0f};
    uint8_t sleepingEnabled = 1;
    float Frequency = 75.0f;
    uint32_t ContactIteration = 16;
    uint32_t ConstraintIteration = 16;
    // The wall clock of the 1/60 s rule; tests and replays put their own here.
    zTimer::TickSource clock = GetClockTicks;

private:
    // What the contact solver keeps of a node and of a point between passes:
    // arms, inverse effective masses and the motion of bodies that do not
    // move in the solve depend only on the poses, which the passes leave alone.
    struct SolverNode {
        TauItem* a;
        TauItem* b;
        // Entries of a and b in the compact body array.
        uint32_t slotA;
        uint32_t slotB;
        zVector normal;
        zVector bias;
        float restitution;
        float friction;
        bool slow;
        bool pushA;
        bool pushB;
        bool movingA;
        bool movingB;
        uint32_t firstPoint;
        uint32_t pointCount;
    };
    struct SolverPoint {
        zVector rA;
        zVector rB;
        // The point velocity of a body that the solve does not move.
        zVector fixedA;
        zVector fixedB;
        float inverseK;
    };
    // Fills the solver records of the current nodes; the number of nodes kept.
    uint32_t PrepareContactSolve(bool contactPass);
    // The velocities, inverse inertia and mass of each body of the solve, side
    // by side: the passes read and write these instead of the scattered bodies,
    // and the velocities go back to the bodies once the passes are done.
    struct SolverBody {
        TauItem* body = nullptr;
        zVector linear;
        zVector angular;
        zMatrix3 inertia;
        // The inverse inertia by columns (fourth lane zero), for the packed passes.
        alignas(16) float inertiaColumns[12] = {};
        float mass = 0.0f;
        bool spin = false;
    };
    // The passes over the prepared nodes, four lanes at a time; each lane
    // computes what the scalar passes compute, in the same order.
    void SolvePassesPacked();
    // The entry of the body, made on first use in this solve; null bodies
    // share the last, empty entry.
    uint32_t SolverSlotOf(TauItem* body);
    uint32_t Detect();
    // Frequency, or the last accepted one when a caller stored a bad value.
    float CheckedFrequency();
    float lastGoodFrequency = 75.0f;
    uint32_t interpolationPass = 0;
    // Scratch of the contact solver, sized with the node and point buffers.
    SolverNode* solverNodes = nullptr;
    SolverPoint* solverPoints = nullptr;
    SolverBody* solverBodies = nullptr;
    uint32_t solverBodyCount = 0;
    // The active bodies of the step running, in list order: kept between
    // steps and grown only when the world has more bodies than ever before.
    TauItem** stepBodies = nullptr;
    int32_t stepBodyCapacity = 0;
    // Fills stepBodies; false when it could not grow.
    bool GatherStepBodies();

};
