#include "physic/dynamics/Tau.h"

#include "core/item/zItem.h"
#include "core/render/zRenderer.h"
#include "framework/math/zMatrix4.h"
#include "framework/system/zAssert.h"
#include "framework/system/zLogStream.h"
#include "framework/system/zModuleTag.h"
#include "framework/system/zSimd.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/TauConstraint.h"
#include "physic/dynamics/TauVectorMath.h"

#include <cmath>
#include <cstdint>
#include <new>
#include <string>

namespace {

constexpr int32_t ModuleTagPhysics = 4;
const zVector Zero{0.0f, 0.0f, 0.0f, 1.0f};

} // namespace

void TauItemList::Append(TauItem* body)
{
    // A body is in one list at a time; linking it twice corrupts both.
    TAVRIN_ASSERT(body->worldList == nullptr);
    body->prev = last;
    body->next = nullptr;
    if (last != nullptr)
        last->next = body;
    else
        first = body;
    last = body;
    body->worldList = this;
    ++count;
}

void TauItemList::Prepend(TauItem* body)
{
    TAVRIN_ASSERT(body->worldList == nullptr);
    body->prev = nullptr;
    body->next = first;
    if (first != nullptr)
        first->prev = body;
    else
        last = body;
    first = body;
    body->worldList = this;
    ++count;
}

bool TauItemList::Unlink(TauItem* body)
{
    if (body == nullptr || body->worldList != this)
        return false;
    if (body->prev != nullptr)
        body->prev->next = body->next;
    else
        first = body->next;
    if (body->next != nullptr)
        body->next->prev = body->prev;
    else
        last = body->prev;
    body->prev = nullptr;
    body->next = nullptr;
    body->worldList = nullptr;
    --count;
    return true;
}

void TauItemList::Clear(bool deleteBodies)
{
    while (TauItem* body = First()) {
        Unlink(body);
        if (deleteBodies)
            delete body;
    }
}

Tau::Tau()
{
    Reset();
    Frequency = 75.0f;
    collision = nullptr;
    ContactIteration = 16;
    ConstraintIteration = 16;
    AllocateCollisionNode(DefaultNodeCapacity, DefaultPointCapacity);
    sleepingEnabled = 1;
}

Tau::~Tau()
{
    FreeCollisionNodes();
    delete[] stepBodies;
    constraints.Clear(true);
    // The bodies belong to the scene items that embed them.
    inactiveItems.Clear(false);
    sleepingItems.Clear(false);
    activeItems.Clear(false);
}

void Tau::FreeCollisionNodes()
{
    delete[] nodeBuffers[0];
    delete[] nodeBuffers[1];
    delete[] points;
    delete[] solverNodes;
    delete[] solverPoints;
    delete[] solverBodies;
    solverNodes = nullptr;
    solverPoints = nullptr;
    solverBodies = nullptr;
    solverBodyCount = 0;
    nodeBuffers[0] = nodeBuffers[1] = nullptr;
    nodes = previousNodes = nullptr;
    points = nullptr;
    nodeCapacity = pointCapacity = 0;
    nodeCount = previousNodeCount = 0;
}

bool Tau::AllocateCollisionNode(uint32_t nodeTotal, uint32_t pointTotal)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    FreeCollisionNodes();
    // A node buffer whose size overflows 32 bits fails below, as any failed allocation.
    if (nodeTotal > MaxNodeCapacity && static_cast<uint64_t>(nodeTotal) * sizeof(TauContactNode) <= UINT32_MAX) {
        LogWarning("Tau::AllocateCollisionNode") << "Node count " << nodeTotal << " capped to " << MaxNodeCapacity << ".\n";
        nodeTotal = MaxNodeCapacity;
    }
    if (pointTotal > MaxPointCapacity) {
        LogWarning("Tau::AllocateCollisionNode") << "Contact count " << pointTotal << " capped to " << MaxPointCapacity
                                                 << ".\n";
        pointTotal = MaxPointCapacity;
    }
    const uint64_t nodeBytes = static_cast<uint64_t>(nodeTotal) * sizeof(TauContactNode);
    const uint64_t pointBytes = static_cast<uint64_t>(pointTotal) * sizeof(TauContactPoint);
    TauContactNode* a = nullptr;
    TauContactNode* b = nullptr;
    TauContactPoint* p = nullptr;
    SolverNode* sn = nullptr;
    SolverPoint* sp = nullptr;
    SolverBody* sb = nullptr;
    if (nodeBytes <= UINT32_MAX && pointBytes <= UINT32_MAX) {
        a = new (std::nothrow) TauContactNode[nodeTotal];
        b = new (std::nothrow) TauContactNode[nodeTotal];
        p = new (std::nothrow) TauContactPoint[pointTotal];
        sn = new (std::nothrow) SolverNode[nodeTotal];
        sp = new (std::nothrow) SolverPoint[pointTotal];
        // Two bodies per node at most, and the empty entry.
        sb = new (std::nothrow) SolverBody[2 * static_cast<uint64_t>(nodeTotal) + 1];
    }
    // A plain information line: no prefix, no place in the code.
    *GlobalLogStream << "Tau alloc = " << nodeTotal * 64u + pointTotal * 20u << " byte(s) (" << nodeTotal
                     << " node(s), " << pointTotal << " contact(s)).\n";
    if (a == nullptr || b == nullptr || p == nullptr || sn == nullptr || sp == nullptr || sb == nullptr) {
        delete[] a;
        delete[] b;
        delete[] p;
        delete[] sn;
        delete[] sp;
        delete[] sb;
        LogError("Tau::AllocateCollisionNode") << "Could not allocate Tau collision nodes.\n";
        return false;
    }
    nodeBuffers[0] = a;
    nodeBuffers[1] = b;
    points = p;
    solverNodes = sn;
    solverPoints = sp;
    solverBodies = sb;
    nodeCount = previousNodeCount = 0;
    previousNodes = nullptr;
    nodeCapacity = nodeTotal;
    nodes = nodeBuffers[0];
    pointCapacity = pointTotal;
    return true;
}

bool Tau::SetFrequency(float frequency)
{
    if (!(frequency > 0.0f) || !(frequency <= MaxFrequency)) {
        LogError("Tau::SetFrequency") << "Invalid frequency " << frequency << ", " << lastGoodFrequency << " kept.\n";
        return false;
    }
    Frequency = lastGoodFrequency = frequency;
    return true;
}

namespace {

bool SetIterations(uint32_t& out, int64_t count, const char* method)
{
    if (!Tau::IsIterationCount(count)) {
        LogWarning(method) << "Invalid iteration count " << std::to_string(count).c_str() << " (0 to "
                           << Tau::MaxIterations << "), " << out << " kept.\n";
        return false;
    }
    out = static_cast<uint32_t>(count);
    return true;
}

} // namespace

bool Tau::SetContactIteration(int64_t count)
{
    return SetIterations(ContactIteration, count, "Tau::SetContactIteration");
}

bool Tau::SetConstraintIteration(int64_t count)
{
    return SetIterations(ConstraintIteration, count, "Tau::SetConstraintIteration");
}

float Tau::CheckedFrequency()
{
    if (Frequency != lastGoodFrequency && !SetFrequency(Frequency))
        Frequency = lastGoodFrequency;
    return Frequency;
}

TauItem* Tau::GetBodyOf(const GColShape* shape) const
{
    if (shape == nullptr || shape->owner == nullptr)
        return nullptr;
    return static_cast<TauItem*>(shape->owner->body);
}

uint32_t Tau::Detect()
{
    if (collision == nullptr)
        return 0;
    return collision->Detect(nodes, nodes != nullptr ? nodeCapacity : 0, points, points != nullptr ? pointCapacity : 0,
                             true);
}

float Tau::Update(float dt)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    updateTimer.Start(false);
    const uint32_t t0 = clock();
    // Steps are owed one by one: a frame time that is not a number, or so
    // long that adding a step no longer changes the owed time, would never end.
    if (!(dt >= -MaxFrameTime && dt <= MaxFrameTime)) {
        const float clamped = dt > MaxFrameTime ? MaxFrameTime : (dt < -MaxFrameTime ? -MaxFrameTime : 0.0f);
        LogWarning("Tau::Update") << "Frame time " << dt << " taken as " << clamped << ".\n";
        dt = clamped;
    }
    frameTime = dt;
    step = 1.0f / CheckedFrequency();
    accumulator -= dt;
    accumulatorAtUpdateStart = accumulator;
    stepped = 0;
    while (!(accumulator > 0.0f)) {
        for (TauItem* body = activeItems.First(); body != nullptr; body = TauItemList::Next(body)) {
            if (zItem* item = body->owner) {
                item->position = body->state.position;
                item->quaternion = body->state.orientation;
                item->UpdateWorldMatrix();
                if ((body->Flag & TauItem::FlagMobile) != 0)
                    body->state.rotation = item->orientation;
            }
            if (body->inverseMass != 0.0f) {
                body->previous = body->state;
                if ((body->Flag & TauItem::FlagNoGravity) == 0)
                    body->ApplyLinearForce(gravity * (body->GravityScale / body->inverseMass));
            }
        }
        Step();
        accumulator += step;
        stepped = 1;
        const float elapsed = static_cast<float>(static_cast<uint32_t>(clock() - t0)) * 0.0001f;
        if (elapsed > 1.0f / 60.0f) {
            const int skipped = static_cast<int>(-accumulator / step);
            LogWarning("Tau::Update") << "Physic skipping " << skipped << " update(s)...\n";
            while (!(accumulator > 0.0f)) {
                if (stepCallback != nullptr)
                    stepCallback->OnStep(callbackUserData, false);
                accumulator += step;
            }
            break;
        }
    }
    updateTimer.Stop();
    sleepingCount = static_cast<uint32_t>(sleepingItems.GetCount());
    restingPairCount = 0;
    pairCount = nodeCount;
    pointCount = 0;
    for (uint32_t i = 0; i < nodeCount && nodes != nullptr; ++i)
        pointCount += nodes[i].pointCount;
    return Frequency * accumulator;
}

void Tau::DetectContacts()
{
    nodeCount = Detect();
}

void Tau::Reset()
{
    accumulator = 0.0f;
    nodeCount = 0;
    for (TauItem* body = sleepingItems.First(); body != nullptr;) {
        TauItem* next = TauItemList::Next(body);
        WakeItem(body);
        body = next;
    }
}

void Tau::AddItem(TauItem* body)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    if (body == nullptr || body->worldList != nullptr)
        return;
    activeItems.Prepend(body);
}

bool Tau::RemoveItem(TauItem* body, bool detachConstraints)
{
    if (body == nullptr)
        return false;
    if (detachConstraints) {
        zLinkedListCursor cursor;
        while (TauConstraint* c = constraints.NextAs<TauConstraint>(cursor)) {
            if (c->anchor == body)
                c->SetAnchor(nullptr);
            if (c->target == body)
                c->SetTarget(nullptr);
            if (c->anchor == nullptr && c->target == nullptr)
                RemoveConstraint(c);
        }
    }
    return activeItems.Unlink(body) || sleepingItems.Unlink(body) || inactiveItems.Unlink(body);
}

bool Tau::SetItemInactive(TauItem* body, bool inactive)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    if (body == nullptr)
        return true;
    if (inactive) {
        if (activeItems.Unlink(body) || sleepingItems.Unlink(body))
            inactiveItems.Append(body);
    } else {
        if (inactiveItems.Unlink(body))
            activeItems.Append(body);
        body->ResetDynamics();
    }
    return true;
}

void Tau::WakeItem(TauItem* body)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    if (body == nullptr || body->Mode == 0 || !sleepingItems.Unlink(body))
        return;
    body->ResetDynamics();
    if (body->collisionItem != nullptr)
        body->collisionItem->moved = 1;
    body->SynchronizeCollision();
    activeItems.Append(body);
}

void Tau::SleepItem(TauItem* body)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    if (!activeItems.Unlink(body))
        return;
    body->awake = 0;
    if (body->collisionItem != nullptr)
        body->collisionItem->moved = 0;
    sleepingItems.Append(body);
}

void Tau::Clear(bool deleteBodies)
{
    activeItems.Clear(deleteBodies);
    sleepingItems.Clear(deleteBodies);
    inactiveItems.Clear(deleteBodies);
    constraints.Clear(true);
}

void Tau::AddConstraint(TauConstraint* constraint)
{
    zModuleTagScope moduleTag(ModuleTagPhysics);
    if (constraint == nullptr)
        return;
    constraints.Add(constraint, true, true);
    constraint->world = this;
}

void Tau::RemoveConstraint(TauConstraint* constraint)
{
    if (constraint == nullptr)
        return;
    constraints.Remove(constraint, true);
}

TauItem** Tau::GetActiveItemArray() const
{
    const int32_t n = activeItems.GetCount();
    TauItem** array = new (std::nothrow) TauItem*[n > 0 ? n : 1];
    if (array == nullptr)
        return nullptr;
    int32_t i = 0;
    for (TauItem* body = activeItems.First(); body != nullptr; body = TauItemList::Next(body))
        array[i++] = body;
    return array;
}

bool Tau::GatherStepBodies()
{
    const int32_t n = activeItems.GetCount();
    if (n > stepBodyCapacity) {
        // Doubling keeps a growing world to a few allocations in all.
        int32_t capacity = stepBodyCapacity > INT32_MAX / 2 ? INT32_MAX : 2 * stepBodyCapacity;
        if (capacity < n)
            capacity = n;
        TauItem** grown = new (std::nothrow) TauItem*[capacity];
        if (grown == nullptr)
            return false;
        delete[] stepBodies;
        stepBodies = grown;
        stepBodyCapacity = capacity;
    }
    int32_t i = 0;
    for (TauItem* body = activeItems.First(); body != nullptr; body = TauItemList::Next(body))
        stepBodies[i++] = body;
    return true;
}

void Tau::Step()
{
    for (TauItem* body = sleepingItems.First(); body != nullptr;) {
        TauItem* next = TauItemList::Next(body);
        if (body->state.force.SquaredLength() > 1e-4f)
            WakeItem(body);
        else
            body->ClearAccumulators();
        body = next;
    }
    if (collision == nullptr || activeItems.IsEmpty()) {
        nodeCount = 0;
        return;
    }
    if (!GatherStepBodies()) {
        // Without the array the step cannot run; the bodies keep their poses.
        LogError("Tau::Step") << "Could not allocate the active body array.\n";
        nodeCount = 0;
        return;
    }
    TauItem* const* bodies = stepBodies;
    const int32_t n = activeItems.GetCount();

    previousNodeCount = nodeCount;
    previousNodes = nodes;
    nodes = nodes == nodeBuffers[0] ? nodeBuffers[1] : nodeBuffers[0];

    for (int32_t i = 0; i < n; ++i) {
        TauItem* body = bodies[i];
        body->IntegrateForces();
        body->IntegrateVelocities(1.0f);
        body->UpdateWorldState();
        body->SynchronizeCollision();
        body->state.linearVelocity = body->previous.linearVelocity;
        body->state.angularVelocity = body->previous.angularVelocity;
    }

    detectionTimer.Start(stepped != 0);
    nodeCount = Detect();
    detectionTimer.Stop();

    for (uint32_t i = 0; i < nodeCount; ++i) {
        TauItem* a = GetBodyOf(nodes[i].shapeA);
        TauItem* b = GetBodyOf(nodes[i].shapeB);
        if (a == nullptr || b == nullptr)
            continue;
        if (!a->IsAwake() && (b->Flag & TauItem::FlagGhost) == 0 && !b->IsQuiet(WakeQuietFactor)) {
            WakeItem(a);
            continue;
        }
        if (!b->IsAwake() && (a->Flag & TauItem::FlagGhost) == 0 && !a->IsQuiet(WakeQuietFactor))
            WakeItem(b);
    }

    InterpolateStaticItems();
    solverTimer.Start(stepped != 0);
    SolveContacts(false);
    solverTimer.Stop();

    for (int32_t i = 0; i < n; ++i) {
        TauItem* body = bodies[i];
        body->RestorePreviousPose();
        body->IntegrateForces();
        body->ClearAccumulators();
        body->IntegrateVelocities(1.0f);
        body->UpdateWorldState();
        body->SynchronizeCollision();
        if (body->collisionItem != nullptr)
            body->collisionItem->moved = 1;
    }

    detectionTimer.Start(true);
    nodeCount = Detect();
    detectionTimer.Stop();
    InterpolateStaticItems();

    solverTimer.Start(true);
    SolveContacts(true);
    solverTimer.Stop();

    const int32_t quietLimit = static_cast<int32_t>(Frequency * SleepDelaySeconds);

    for (int32_t i = 0; i < n; ++i) {
        bodies[i]->RestorePreviousPose();
        bodies[i]->IntegrateVelocities(1.0f);
    }

    if (stepCallback != nullptr)
        stepCallback->OnStep(callbackUserData, true);

    for (int32_t i = 0; i < n; ++i) {
        TauItem* body = bodies[i];
        body->UpdateWorldState();
        body->SynchronizeCollision();
        if (body->IsQuiet(SleepQuietFactor) && sleepingEnabled != 0) {
            if (++body->quietSteps >= quietLimit) {
                body->state.linearVelocity = Zero;
                body->state.angularVelocity = Zero;
                SleepItem(body);
            }
        } else {
            body->quietSteps = 0;
        }
        zVector& v = body->state.linearVelocity;
        v.x *= body->LinearDamping;
        v.y *= body->LinearDamping;
        v.z *= body->LinearDamping;
        zVector& w = body->state.angularVelocity;
        w.x *= body->AngularDamping;
        w.y *= body->AngularDamping;
        w.z *= body->AngularDamping;
    }
}

void Tau::InterpolateStaticItems()
{
    // A frame of no time has no inside: both ends take the frame's end pose.
    float t0 = 1.0f;
    float t1 = 1.0f;
    if (frameTime > 0.0f) {
        t0 = (accumulator - accumulatorAtUpdateStart) / frameTime;
        t1 = (step + accumulator - accumulatorAtUpdateStart) / frameTime;
    }
    // A body met again in a later node would be given the same two poses: once is enough.
    if (++interpolationPass == 0)
        interpolationPass = 1;
    for (uint32_t i = 0; i < nodeCount; ++i) {
        for (const GColShape* shape : {nodes[i].shapeA, nodes[i].shapeB}) {
            TauItem* body = GetBodyOf(shape);
            if (body == nullptr || body->inverseMass != 0.0f || body->owner == nullptr ||
                body->collisionItem == nullptr || body->interpolationPass == interpolationPass)
                continue;
            body->interpolationPass = interpolationPass;
            const zItem* item = body->owner;
            for (const float t : {t0, t1}) {
                const zMatrix4 m = zMatrix4::Interpolate(item->previousWorldMatrix, item->worldMatrix, t, false);
                zVector position;
                zVector scale;
                zMatrix3 rotation;
                m.Decompose(&position, &scale, &rotation);
                body->collisionItem->SetTransformation(position, &rotation, &scale, false);
            }
        }
    }
}

namespace {

using TauMath::Cross;
using TauMath::Rotate;

inline bool Moves(const TauItem* body)
{
    return body != nullptr && body->IsAwake() && body->inverseMass != 0.0f;
}

} // namespace

uint32_t Tau::SolverSlotOf(TauItem* body)
{
    const uint32_t empty = 2 * nodeCapacity;
    if (body == nullptr)
        return empty;
    const uint32_t slot = body->solverSlot;
    if (slot < solverBodyCount && solverBodies[slot].body == body)
        return slot;
    SolverBody& entry = solverBodies[solverBodyCount];
    entry.body = body;
    entry.linear = body->state.linearVelocity;
    entry.angular = body->state.angularVelocity;
    entry.inertia = body->state.worldInverseInertia;
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row)
            entry.inertiaColumns[4 * column + row] = entry.inertia.m[3 * row + column];
        entry.inertiaColumns[4 * column + 3] = 0.0f;
    }
    entry.mass = body->inverseMass;
    entry.spin = (body->Flag & TauItem::FlagMobile) == 0;
    body->solverSlot = solverBodyCount;
    return solverBodyCount++;
}

uint32_t Tau::PrepareContactSolve(bool contactPass)
{
    uint32_t kept = 0;
    solverBodyCount = 0;
    solverBodies[2 * nodeCapacity] = SolverBody();
    for (uint32_t i = 0; i < nodeCount; ++i) {
        const TauContactNode& node = nodes[i];
        SolverNode& s = solverNodes[i];
        s.a = GetBodyOf(node.shapeA);
        s.b = GetBodyOf(node.shapeB);
        s.pointCount = 0;
        s.firstPoint = node.firstPoint;
        const float invA = s.a != nullptr ? s.a->inverseMass : 0.0f;
        const float invB = s.b != nullptr ? s.b->inverseMass : 0.0f;
        if (invA == 0.0f && invB == 0.0f)
            continue;
        const zVector& n = node.normal;
        s.normal = n;
        s.restitution = 0.0f;
        s.bias = Zero;
        if (!contactPass) {
            const float e = node.shapeA->Restitution + node.shapeB->Restitution;
            s.restitution = e < 0.0f ? 0.0f : (e > 1.0f ? 1.0f : e);
            s.bias = n * (node.depth * Frequency * 0.125f);
        }
        s.friction = 0.45f * node.shapeA->DynamicFriction * node.shapeB->DynamicFriction;
        s.slow = node.depth < 0.01f;
        s.pushA = invA != 0.0f && (s.b == nullptr || (s.b->Flag & TauItem::FlagGhost) == 0);
        s.pushB = invB != 0.0f && (s.a == nullptr || (s.a->Flag & TauItem::FlagGhost) == 0);
        s.movingA = Moves(s.a);
        s.movingB = Moves(s.b);
        s.slotA = SolverSlotOf(s.a);
        s.slotB = SolverSlotOf(s.b);
        // Points beyond the buffer are not the node's.
        uint32_t count = node.pointCount;
        if (node.firstPoint >= pointCapacity)
            count = 0;
        else if (count > pointCapacity - node.firstPoint)
            count = pointCapacity - node.firstPoint;
        s.pointCount = count;
        for (uint32_t j = 0; j < count; ++j) {
            const zVector& p = points[node.firstPoint + j].position;
            SolverPoint& sp = solverPoints[node.firstPoint + j];
            float k = 0.0f;
            for (int side = 0; side < 2; ++side) {
                TauItem* body = side == 0 ? s.a : s.b;
                zVector& r = side == 0 ? sp.rA : sp.rB;
                if (body != nullptr && body->inverseMass != 0.0f) {
                    r = p - body->state.worldCenterOfMass;
                    k += body->inverseMass + n.Dot(Cross(Rotate(Cross(r, n), body->state.worldInverseInertia), r));
                } else if (body != nullptr && body->owner != nullptr) {
                    r = TauMath::Transform(p, body->owner->inverseWorldMatrix);
                } else {
                    r = zVector(p.x, p.y, p.z);
                }
                zVector& fixed = side == 0 ? sp.fixedA : sp.fixedB;
                fixed = Zero;
                if (body != nullptr && !Moves(body))
                    body->GetPointVelocity(r, fixed);
            }
            sp.inverseK = k != 0.0f ? 1.0f / k : 0.0f;
        }
        ++kept;
    }
    return kept;
}

#if TAVRIN_SIMD_SSE2
namespace {

// x, y and z of v; lane three is zero.
inline __m128 LoadVector(const zVector& v)
{
    return _mm_and_ps(_mm_loadu_ps(&v.x), _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1)));
}

inline __m128 PackedCross(__m128 a, __m128 b)
{
    const __m128 ayzx = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 azxy = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 1, 0, 2));
    const __m128 byzx = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 bzxy = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 1, 0, 2));
    return _mm_sub_ps(_mm_mul_ps(ayzx, bzxy), _mm_mul_ps(azxy, byzx));
}

// v x M with M given by columns: (m0 vx + m1 vy) + m2 vz per row, as Rotate.
inline __m128 PackedRotate(__m128 v, const float* columns)
{
    const __m128 x = _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 0, 0, 0));
    const __m128 y = _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128 z = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2));
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(columns), x), _mm_mul_ps(_mm_load_ps(columns + 4), y)),
                      _mm_mul_ps(_mm_load_ps(columns + 8), z));
}

// (x + y) + z of the lane products, as zVector::Dot.
inline float PackedDot(__m128 a, __m128 b)
{
    const __m128 p = _mm_mul_ps(a, b);
    const float x = _mm_cvtss_f32(p);
    const float y = _mm_cvtss_f32(_mm_shuffle_ps(p, p, _MM_SHUFFLE(1, 1, 1, 1)));
    const float z = _mm_cvtss_f32(_mm_movehl_ps(p, p));
    return x + y + z;
}

inline void StoreVector(zVector& out, __m128 v)
{
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, v);
    out.x = lanes[0];
    out.y = lanes[1];
    out.z = lanes[2];
}

} // namespace

void Tau::SolvePassesPacked()
{
    const __m128 sign = _mm_set1_ps(-0.0f);
    for (uint32_t pass = 0; pass < ContactIteration; ++pass) {
        const bool backward = (pass & 1) == 0;
        for (uint32_t k = 0; k < nodeCount; ++k) {
            const uint32_t index = backward ? nodeCount - 1 - k : k;
            const SolverNode& s = solverNodes[index];
            const uint32_t count = s.pointCount;
            if (count == 0)
                continue;
            const __m128 n = LoadVector(s.normal);
            const __m128 bias = LoadVector(s.bias);
            SolverBody& bodyA = solverBodies[s.slotA];
            SolverBody& bodyB = solverBodies[s.slotB];
            const bool same = s.a == s.b;
            __m128 linearA = LoadVector(bodyA.linear);
            __m128 angularA = LoadVector(bodyA.angular);
            __m128 linearB = LoadVector(bodyB.linear);
            __m128 angularB = LoadVector(bodyB.angular);
            const float* inertiaA = bodyA.inertiaColumns;
            const float* inertiaB = bodyB.inertiaColumns;
            const __m128 massA = _mm_set1_ps(bodyA.mass);
            const __m128 massB = _mm_set1_ps(bodyB.mass);
            const bool spinA = bodyA.spin;
            const bool spinB = bodyB.spin;
            const bool movingA = s.movingA;
            const bool movingB = s.movingB;
            const bool pushA = s.pushA;
            const bool pushB = s.pushB;
            const bool slow = s.slow;
            const __m128 normalScale = _mm_set1_ps(-(1.0f + s.restitution));
            const __m128 friction = _mm_set1_ps(s.friction);
            const SolverPoint* first = solverPoints + s.firstPoint;
            for (uint32_t j = 0; j < count; ++j) {
                const SolverPoint& p = first[backward ? count - 1 - j : j];
                const __m128 rA = LoadVector(p.rA);
                const __m128 rB = LoadVector(p.rB);
                __m128 vA;
                __m128 vB;
                if (movingA)
                    vA = spinA ? _mm_add_ps(linearA, PackedCross(angularA, rA)) : linearA;
                else
                    vA = LoadVector(p.fixedA);
                if (movingB)
                    vB = spinB ? _mm_add_ps(linearB, PackedCross(angularB, rB)) : linearB;
                else
                    vB = LoadVector(p.fixedB);
                const __m128 dv = _mm_sub_ps(vA, vB);
                const float vn = PackedDot(dv, n);
                if (vn < 0.0f)
                    continue;
                __m128 normalPart = _mm_mul_ps(n, _mm_set1_ps(vn));
                const __m128 tangent = _mm_sub_ps(dv, normalPart);
                if (PackedDot(dv, dv) < 0.1f * 0.1f && slow)
                    normalPart = _mm_mul_ps(normalPart, _mm_set1_ps(0.25f));
                const __m128 impulse = _mm_mul_ps(
                    _mm_add_ps(_mm_sub_ps(_mm_mul_ps(normalPart, normalScale), _mm_mul_ps(tangent, friction)), bias),
                    _mm_set1_ps(p.inverseK));
                if (pushA) {
                    linearA = _mm_add_ps(linearA, _mm_mul_ps(impulse, massA));
                    angularA = _mm_add_ps(angularA, PackedRotate(PackedCross(rA, impulse), inertiaA));
                    if (same) {
                        linearB = linearA;
                        angularB = angularA;
                    }
                }
                if (pushB) {
                    const __m128 opposite = _mm_xor_ps(impulse, sign);
                    linearB = _mm_add_ps(linearB, _mm_mul_ps(opposite, massB));
                    angularB = _mm_add_ps(angularB, PackedRotate(PackedCross(rB, opposite), inertiaB));
                    if (same) {
                        linearA = linearB;
                        angularA = angularB;
                    }
                }
            }
            if (pushA) {
                StoreVector(bodyA.linear, linearA);
                StoreVector(bodyA.angular, angularA);
            }
            if (pushB) {
                StoreVector(bodyB.linear, linearB);
                StoreVector(bodyB.angular, angularB);
            }
        }
    }
}
#endif

void Tau::SolveContacts(bool contactPass)
{
    if (nodes == nullptr || solverNodes == nullptr || solverBodies == nullptr)
        return;
    if (PrepareContactSolve(contactPass) != 0) {
#if TAVRIN_SIMD_SSE2
        SolvePassesPacked();
#else
        for (uint32_t pass = 0; pass < ContactIteration; ++pass) {
            const bool backward = (pass & 1) == 0;
            for (uint32_t k = 0; k < nodeCount; ++k) {
                const uint32_t index = backward ? nodeCount - 1 - k : k;
                const SolverNode& s = solverNodes[index];
                const uint32_t count = s.pointCount;
                if (count == 0)
                    continue;
                const zVector& n = nodes[index].normal;
                SolverBody& bodyA = solverBodies[s.slotA];
                SolverBody& bodyB = solverBodies[s.slotB];
                // The two bodies' velocities stay in locals for the node's
                // points: the same arithmetic, without reloading them.
                const bool same = s.a == s.b;
                zVector linearA = bodyA.linear;
                zVector angularA = bodyA.angular;
                zVector linearB = bodyB.linear;
                zVector angularB = bodyB.angular;
                const zMatrix3& inertiaA = bodyA.inertia;
                const zMatrix3& inertiaB = bodyB.inertia;
                const float massA = bodyA.mass;
                const float massB = bodyB.mass;
                const bool spinA = bodyA.spin;
                const bool spinB = bodyB.spin;
                for (uint32_t j = 0; j < count; ++j) {
                    const SolverPoint& p = solverPoints[s.firstPoint + (backward ? count - 1 - j : j)];
                    zVector vA = p.fixedA;
                    zVector vB = p.fixedB;
                    if (s.movingA) {
                        vA = linearA;
                        if (spinA)
                            vA = vA + Cross(angularA, p.rA);
                    }
                    if (s.movingB) {
                        vB = linearB;
                        if (spinB)
                            vB = vB + Cross(angularB, p.rB);
                    }
                    const zVector dv = vA - vB;
                    const float vn = dv.Dot(n);
                    if (vn < 0.0f)
                        continue;
                    zVector normalPart = n * vn;
                    const zVector tangent = dv - normalPart;
                    if (dv.SquaredLength() < 0.1f * 0.1f && s.slow)
                        normalPart = normalPart * 0.25f;
                    const zVector impulse =
                        (normalPart * -(1.0f + s.restitution) - tangent * s.friction + s.bias) * p.inverseK;
                    if (s.pushA) {
                        linearA = linearA + impulse * massA;
                        angularA = angularA + Rotate(Cross(p.rA, impulse), inertiaA);
                        if (same) {
                            linearB = linearA;
                            angularB = angularA;
                        }
                    }
                    if (s.pushB) {
                        const zVector opposite = -impulse;
                        linearB = linearB + opposite * massB;
                        angularB = angularB + Rotate(Cross(p.rB, opposite), inertiaB);
                        if (same) {
                            linearA = linearB;
                            angularA = angularB;
                        }
                    }
                }
                if (s.pushA) {
                    bodyA.linear = linearA;
                    bodyA.angular = angularA;
                }
                if (s.pushB) {
                    bodyB.linear = linearB;
                    bodyB.angular = angularB;
                }
            }
        }
#endif
        for (uint32_t i = 0; i < solverBodyCount; ++i) {
            TauItem* body = solverBodies[i].body;
            body->state.linearVelocity = solverBodies[i].linear;
            body->state.angularVelocity = solverBodies[i].angular;
        }
    }
    if (points == nullptr)
        return;
    PrepareConstraints();
    for (uint32_t pass = 0; pass < ConstraintIteration; ++pass) {
        zLinkedListCursor cursor;
        while (TauConstraint* c = constraints.NextAs<TauConstraint>(cursor))
            c->Solve();
    }
}

void Tau::PrepareConstraints()
{
    zLinkedListCursor cursor;
    while (TauConstraint* c = constraints.NextAs<TauConstraint>(cursor))
        c->Prepare(true);
}

void Tau::DrawDebugContacts(zRenderer* renderer, float scale) const
{
    if (renderer == nullptr || nodes == nullptr)
        return;
    static const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i < nodeCount; ++i) {
        const TauContactNode& node = nodes[i];
        if (node.pointCount == 0)
            continue;
        zVector n = node.normal.y < 0.0f ? -node.normal : zVector(node.normal.x, node.normal.y, node.normal.z);
        n = n * (scale * 0.1f);
        for (uint32_t j = 0; j < node.pointCount; ++j) {
            const uint32_t index = node.firstPoint + j;
            if (index >= pointCapacity)
                break;
            const zVector& p = points[index].position;
            renderer->DrawCross(p, scale * 0.025f, nullptr);
            renderer->Line3D(p, p + n, red);
        }
    }
}

void Tau::DrawDebugItems(zRenderer* renderer, float scale) const
{
    if (renderer == nullptr)
        return;
    const float limit = Frequency * SleepDelaySeconds;
    for (const TauItem* body = activeItems.First(); body != nullptr; body = TauItemList::Next(body)) {
        const float g = limit != 0.0f ? 1.0f - static_cast<float>(body->quietSteps) / limit : 1.0f;
        const float colour[4] = {g, g, g, 1.0f};
        const zVector c = body->state.position + body->Pivot.Rotate(body->state.orientation.ToMatrix3());
        renderer->DrawCross(c, scale * 0.05f, colour);
    }
}
