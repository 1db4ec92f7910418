// A wall of 1,000 boxes falls onto a static floor and settles: 10 simulated
// seconds at 60 Hz with 8 solver iterations, through Tau and through Bullet.

#include "core/item/zItem.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"

#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int Columns = 50;
constexpr int Rows = 20;
constexpr float Edge = 1.0f;
constexpr float Gap = 0.05f;
constexpr float Drop = 0.5f;
constexpr int Frames = 600;
constexpr float FrameTime = 1.0f / 60.0f;
constexpr int Iterations = 8;

zVector BoxCentre(int column, int row)
{
    return {(static_cast<float>(column) - Columns * 0.5f) * (Edge + Gap),
            Drop + Edge * 0.5f + static_cast<float>(row) * (Edge + Gap), 0.0f};
}

// No wall time passes for the world: every owed step runs.
uint32_t FrozenClock()
{
    return 0;
}

struct TauBody {
    explicit TauBody(Tau* world) : item(nullptr), body(world)
    {
        item.orientationMethod = zItem::OrientationQuaternion;
        body.owner = &item;
        body.collisionItem = &collision;
        collision.body = &body;
        collision.owner = &item;
    }
    zItem item;
    GColItem collision;
    TauItem body;
};

struct TauScene {
    TauScene()
    {
        tau.collision = &collide;
        tau.clock = FrozenClock;
        tau.SetFrequency(60.0f);
        tau.ContactIteration = tau.ConstraintIteration = Iterations;
        // Room for every box of the settled wall resting on the one below.
        tau.AllocateCollisionNode(4096, 16384);
        Add(zVector(200.0f, 1.0f, 200.0f), zVector(0.0f, -0.5f, 0.0f), 0.0f);
        for (int row = 0; row < Rows; ++row) {
            for (int column = 0; column < Columns; ++column)
                Add(zVector(Edge, Edge, Edge), BoxCentre(column, row), 1.0f);
        }
    }
    ~TauScene()
    {
        tau.Clear(false);
        for (auto& b : bodies)
            collide.RemoveItem(&b->collision);
    }
    void Add(const zVector& size, const zVector& position, float mass)
    {
        bodies.push_back(std::make_unique<TauBody>(&tau));
        TauBody& b = *bodies.back();
        b.body.Mode = TauItem::ModeRigid;
        b.collision.AddCuboidShape(&size)->Mass = mass;
        if (mass != 0.0f) {
            b.body.ComputeInertiaTensorAndCoM(&b.collision);
            b.body.ComputeInverseMass();
        } else {
            b.body.Mass = 0.0f;
        }
        b.body.ResetTransformation(&position, nullptr);
        b.item.UpdateWorldMatrix();
        b.item.previousWorldMatrix = b.item.worldMatrix;
        collide.AddItem(&b.collision);
        tau.AddItem(&b.body);
    }
    // withEvents: also the detection-only pass the scene runs after each
    // update for its collision events.
    void Run(bool withEvents)
    {
        for (int frame = 0; frame < Frames; ++frame) {
            for (auto& b : bodies)
                b->item.previousWorldMatrix = b->item.worldMatrix;
            collide.pairTable.Clear();
            tau.Update(FrameTime);
            if (withEvents)
                tau.DetectContacts();
        }
    }
    GCollide collide;
    Tau tau;
    std::vector<std::unique_ptr<TauBody>> bodies;
};

struct BulletScene {
    BulletScene()
        : dispatcher(&configuration), world(&dispatcher, &broadphase, &solver, &configuration),
          floorShape(btVector3(100.0f, 0.5f, 100.0f)), boxShape(btVector3(Edge * 0.5f, Edge * 0.5f, Edge * 0.5f))
    {
        world.setGravity(btVector3(0.0f, -9.8f, 0.0f));
        world.getSolverInfo().m_numIterations = Iterations;
        Add(&floorShape, btVector3(0.0f, -0.5f, 0.0f), 0.0f);
        for (int row = 0; row < Rows; ++row) {
            for (int column = 0; column < Columns; ++column) {
                const zVector c = BoxCentre(column, row);
                Add(&boxShape, btVector3(c.x, c.y, c.z), 1.0f);
            }
        }
    }
    ~BulletScene()
    {
        for (auto& body : bodies)
            world.removeRigidBody(body.get());
    }
    void Add(btCollisionShape* shape, const btVector3& position, float mass)
    {
        btVector3 inertia(0.0f, 0.0f, 0.0f);
        if (mass != 0.0f)
            shape->calculateLocalInertia(mass, inertia);
        states.push_back(std::make_unique<btDefaultMotionState>(btTransform(btQuaternion::getIdentity(), position)));
        btRigidBody::btRigidBodyConstructionInfo info(mass, states.back().get(), shape, inertia);
        bodies.push_back(std::make_unique<btRigidBody>(info));
        world.addRigidBody(bodies.back().get());
    }
    void Run(bool)
    {
        for (int frame = 0; frame < Frames; ++frame)
            world.stepSimulation(FrameTime, 1, FrameTime);
    }
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher;
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world;
    btBoxShape floorShape;
    btBoxShape boxShape;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
};

constexpr double SimulatedSeconds = Frames * FrameTime;
double tauSecondsPerSimulatedSecond = 0.0;
double tauWithEventsSecondsPerSimulatedSecond = 0.0;
double bulletSecondsPerSimulatedSecond = 0.0;

template <class Scene>
void RunScene(benchmark::State& state, double& perSimulatedSecond, bool withEvents)
{
    double total = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        scene->Run(withEvents);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    perSimulatedSecond = total / static_cast<double>(state.iterations()) / SimulatedSeconds;
    state.counters["ms_per_simulated_s"] = perSimulatedSecond * 1000.0;
}

void BM_TauWall(benchmark::State& state)
{
    RunScene<TauScene>(state, tauSecondsPerSimulatedSecond, false);
}

void BM_TauWallWithEvents(benchmark::State& state)
{
    RunScene<TauScene>(state, tauWithEventsSecondsPerSimulatedSecond, true);
}

void BM_BulletWall(benchmark::State& state)
{
    RunScene<BulletScene>(state, bulletSecondsPerSimulatedSecond, false);
}

BENCHMARK(BM_TauWall)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TauWallWithEvents)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BulletWall)->Unit(benchmark::kMillisecond)->Iterations(3);

// Hashes every body's pose and velocities after each of the first frames of
// the wall, so that a change meant to keep results bit-identical can be
// checked against the hash from before it.
uint64_t WallStateHash(int frames)
{
    TauScene scene;
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    for (int frame = 0; frame < frames; ++frame) {
        for (auto& b : scene.bodies)
            b->item.previousWorldMatrix = b->item.worldMatrix;
        scene.collide.pairTable.Clear();
        scene.tau.Update(FrameTime);
        for (auto& b : scene.bodies) {
            const TauItemState& s = b->body.state;
            mix(&s.position, sizeof(float) * 3);
            mix(&s.orientation, sizeof(s.orientation));
            mix(&s.linearVelocity, sizeof(float) * 3);
            mix(&s.angularVelocity, sizeof(float) * 3);
            mix(&b->item.worldMatrix, sizeof(b->item.worldMatrix));
            mix(&b->body.awake, sizeof(b->body.awake));
        }
        mix(&scene.tau.pointCount, sizeof(scene.tau.pointCount));
    }
    return hash;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--state-hash") == 0) {
        const int frames = argc > 2 ? std::atoi(argv[2]) : 240;
        std::printf("%016llx\n", static_cast<unsigned long long>(WallStateHash(frames)));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (bulletSecondsPerSimulatedSecond > 0.0) {
        std::printf("Bullet:            %.2f ms per simulated second\n", bulletSecondsPerSimulatedSecond * 1000.0);
        if (tauSecondsPerSimulatedSecond > 0.0)
            std::printf("Tau step:          %.2f ms per simulated second, Tau / Bullet %.3f\n",
                        tauSecondsPerSimulatedSecond * 1000.0,
                        tauSecondsPerSimulatedSecond / bulletSecondsPerSimulatedSecond);
        if (tauWithEventsSecondsPerSimulatedSecond > 0.0)
            std::printf("Tau step + events: %.2f ms per simulated second, Tau / Bullet %.3f\n",
                        tauWithEventsSecondsPerSimulatedSecond * 1000.0,
                        tauWithEventsSecondsPerSimulatedSecond / bulletSecondsPerSimulatedSecond);
    }
    return 0;
}
