#include "CollisionTestSupport.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

// Items owned by the test, linked into one world, with Tau-sized buffers.
struct Scene {
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;
    std::vector<TauContactNode> nodes = std::vector<TauContactNode>(2048);
    std::vector<TauContactPoint> points = std::vector<TauContactPoint>(4096);

    ~Scene()
    {
        for (auto& item : items)
            world.RemoveItem(item.get());
    }
    GColItem* Sphere(float radius, const zVector& at)
    {
        items.push_back(std::make_unique<GColItem>());
        GColItem* item = items.back().get();
        item->AddSphereShape(radius);
        item->SetTransformation(at, nullptr, nullptr, true);
        world.AddItem(item);
        return item;
    }
    GColItem* Box(const zVector& size, const zVector& at)
    {
        items.push_back(std::make_unique<GColItem>());
        GColItem* item = items.back().get();
        item->AddCuboidShape(&size);
        item->SetTransformation(at, nullptr, nullptr, true);
        world.AddItem(item);
        return item;
    }
    uint32_t Detect() { return world.Detect(nodes.data(), uint32_t(nodes.size()), points.data(), uint32_t(points.size())); }
    // Every item stays where it is: the rigid-body world's call after a step.
    void Settle()
    {
        for (auto& item : items)
            item->SetTransformation(item->position);
    }
};

TEST(GColDetectTest, NothingMovedMeansNoNodesAndNoHook)
{
    static uint32_t hookCalls;
    static uint32_t hookNodes;
    hookCalls = 0;
    GlobalContactHook = [](uint32_t count, TauContactNode*, TauContactPoint*) {
        ++hookCalls;
        hookNodes = count;
    };
    Scene s;
    s.Sphere(1.0f, {0, 0, 0});
    GColItem* b = s.Sphere(1.0f, {3, 0, 0});
    b->SetTransformation(zVector(1.5f, 0, 0));
    EXPECT_EQ(s.Detect(), 1u);
    EXPECT_EQ(hookCalls, 1u);
    EXPECT_EQ(hookNodes, 1u);
    EXPECT_EQ(s.world.Detect(s.nodes.data(), 2048, s.points.data(), 4096, true), 1u);
    EXPECT_EQ(hookCalls, 1u);

    s.Settle();
    EXPECT_EQ(s.Detect(), 0u);
    EXPECT_EQ(hookCalls, 1u);
    GlobalContactHook = nullptr;
}

TEST(GColDetectTest, BoxesThatOnlyTouchAreTested)
{
    Scene s;
    GColItem* a = s.Box({2, 2, 2}, {0, 0, 0});
    GColItem* b = s.Box({2, 2, 2}, {2, 0, 0});
    ASSERT_EQ(a->bounds.max.x, b->bounds.min.x);
    EXPECT_EQ(s.Detect(), 1u);
    EXPECT_EQ(s.nodes[0].depth, 0.0f);
    ASSERT_EQ(s.world.GetPairTable().GetCount(), 1u);
    EXPECT_NE(s.world.GetPairTable().Find(b, a), nullptr);
    EXPECT_EQ(a->touching, 1);
    EXPECT_EQ(b->touching, 1);
}

TEST(GColDetectTest, OneSidedMasksDependOnSweepOrder)
{
    // a's SelfMask misses b's Mask, b's SelfMask meets a's Mask.
    for (bool aFirst : {true, false}) {
        SCOPED_TRACE(aFirst);
        Scene s;
        GColItem* a = s.Sphere(1.0f, {aFirst ? 0.0f : 1.0f, 0, 0});
        GColItem* b = s.Sphere(1.0f, {aFirst ? 1.0f : 0.0f, 0, 0});
        a->SelfMask = 1;
        a->Mask = 2;
        b->SelfMask = 2;
        b->Mask = 4;
        a->SetTransformation(a->position + zVector(0, 0.1f, 0));
        EXPECT_EQ(s.Detect(), aFirst ? 0u : 1u);
        EXPECT_EQ(s.world.GetPairTable().GetCount(), aFirst ? 0u : 1u);
    }
}

TEST(GColDetectTest, PairNormalsAreOrientedForTheLowerIdItem)
{
    Scene s;
    // Added first, so the lower id, but second in the sweep.
    GColItem* right = s.Sphere(1.0f, {1.5f, 0, 0});
    GColItem* left = s.Sphere(1.0f, {0, 0, 0});
    right->SetTransformation(zVector(1.5f, 0.1f, 0));
    ASSERT_EQ(s.Detect(), 1u);
    // The node runs from the first item of the sweep (left) to right.
    EXPECT_EQ(s.nodes[0].shapeA->owner, left);
    EXPECT_GT(s.nodes[0].normal.x, 0.9f);
    const GColPair* pair = s.world.GetPairTable().Find(left, right);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->itemA, right);
    EXPECT_EQ(pair->itemB, left);
    ASSERT_EQ(pair->pointCount, 1u);
    EXPECT_LT(pair->normals[0].x, -0.9f);
    EXPECT_EQ(pair->depths[0], -s.nodes[0].depth);
}

TEST(GColDetectTest, PointsOfOnePairAccumulateOverTheStepsOfAFrame)
{
    Scene s;
    s.Box({10, 2, 10}, {0, 0, 0});
    GColItem* ball = s.Sphere(0.5f, {-3, 2, -3});
    const zVector path[] = {{-3, 1.4f, -3}, {-3, 1.4f, -3.02f}, {3, 1.45f, -3}, {3, 1.45f, 3}, {-3, 1.45f, 3}, {0, 1.45f, 0}};
    for (const zVector& at : path) {
        ball->SetTransformation(zVector(at.x, at.y + 0.5f, at.z));
        ball->SetTransformation(at);
        s.Detect();
    }
    ASSERT_EQ(s.world.GetPairTable().GetCount(), 1u);
    const GColPair* pair = nullptr;
    for (uint32_t b = 0; b < GColPairTable::BucketCount && pair == nullptr; ++b) {
        if (s.world.GetPairTable().GetBucket(b).GetCount() > 0)
            pair = s.world.GetPairTable().GetPair(b, 0);
    }
    ASSERT_NE(pair, nullptr);
    // The second step's point lies within sqrt(0.005) of the first.
    EXPECT_EQ(pair->pointCount, 4u);

    s.world.GetPairTable().Clear();
    EXPECT_EQ(s.world.GetPairTable().GetCount(), 0u);
}

TEST(GColSortTest, SortsOnMinimumXKeepingEqualKeysInOrder)
{
    const float keys[] = {3, 1, 2, 1, 0, 5, 4, 1};
    GCollide world;
    GColItem items[8];
    for (int i = 0; i < 8; ++i) {
        world.AddItem(&items[i]);
        items[i].bounds.min.x = keys[i];
    }
    world.SAP_Sort();
    const int expected[] = {4, 1, 3, 7, 2, 0, 6, 5};
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(world.GetSAPEntry(i), &items[expected[i]]) << i;
    // Sorted input stays as it is.
    world.SAP_Sort();
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(world.GetSAPEntry(i), &items[expected[i]]) << i;
    for (GColItem& item : items)
        world.RemoveItem(&item);
}

TEST(GColPairTest, AddPointKeepsFourDistinctPoints)
{
    GColItem a;
    GColItem b;
    a.collisionId = 1;
    b.collisionId = 2;
    struct Add {
        zVector position;
        zVector normal;
        bool kept;
    };
    const Add adds[] = {
        {{0, 0, 0}, {0, 1, 0}, true},
        {{0.05f, 0, 0}, {0, 1, 0}, false},                    // close, same normal
        {{0.05f, 0, 0}, zVector(0.2f, 1, 0).Normalized(), true}, // close, normal turned past the limit
        {{0.08f, 0, 0}, {0, 1, 0}, true},                     // 0.0064 away squared
        {{1, 0, 0}, {0, 1, 0}, true},
        {{2, 0, 0}, {0, 1, 0}, false},                        // full
    };
    GColPair pair(&a, &b);
    for (const Add& add : adds) {
        const uint32_t before = pair.pointCount;
        pair.AddPoint(add.position, add.normal, -0.25f);
        EXPECT_EQ(pair.pointCount, before + (add.kept ? 1u : 0u));
    }
    EXPECT_EQ(pair.depths[3], -0.25f);
    EXPECT_EQ(pair.normals[3].w, 1.0f);
}

TEST(GColPairTest, TableFindsPairsInEitherOrder)
{
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;
    for (int i = 0; i < 200; ++i) {
        items.push_back(std::make_unique<GColItem>());
        world.AddItem(items.back().get());
    }
    for (int i = 0; i + 1 < 200; i += 2)
        ASSERT_NE(world.CreatePair(items[i + 1].get(), items[i].get()), nullptr);
    EXPECT_EQ(world.GetPairTable().GetCount(), 100u);
    for (int i = 0; i + 1 < 200; i += 2) {
        const GColPair* pair = world.GetPairTable().Find(items[i].get(), items[i + 1].get());
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair->itemA, items[i].get());
        EXPECT_EQ(world.GetPairTable().Find(items[i + 1].get(), items[i].get()), pair);
        const uint32_t bucket = uint32_t(pair->hash) & 63u;
        EXPECT_EQ(pair->hash, GColPairHash(items[i]->collisionId, items[i + 1]->collisionId));
        EXPECT_GT(world.GetPairTable().GetBucket(bucket).GetCount(), 0u);
    }
    EXPECT_EQ(world.GetPairTable().Find(items[0].get(), items[2].get()), nullptr);
    for (auto& item : items)
        world.RemoveItem(item.get());
}

TEST(GColPairTest, ThousandsOfPairsStayFoundThroughGrowthAndClearing)
{
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;
    for (int i = 0; i < 120; ++i) {
        items.push_back(std::make_unique<GColItem>());
        world.AddItem(items.back().get());
    }
    // Each item with its next 25: 2,675 pairs, several times what a table of
    // a few hundred holds before it grows.
    const auto paired = [](int i, int j) { return j > i && j - i <= 25; };
    GColPairTable& table = world.GetPairTable();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first fill" : "after clearing");
        for (int i = 0; i < 120; ++i) {
            for (int j = i + 1; j < 120; ++j) {
                if (paired(i, j)) {
                    ASSERT_NE(world.CreatePair(items[j].get(), items[i].get()), nullptr);
                }
            }
        }
        EXPECT_EQ(table.GetCount(), 2675u);
        for (int i = 0; i < 120; ++i) {
            for (int j = 0; j < 120; ++j) {
                const GColPair* pair = table.Find(items[i].get(), items[j].get());
                if (paired(i, j) || paired(j, i)) {
                    ASSERT_NE(pair, nullptr) << i << " " << j;
                    EXPECT_EQ(pair->itemA, items[std::min(i, j)].get());
                    EXPECT_EQ(pair->itemB, items[std::max(i, j)].get());
                } else {
                    EXPECT_EQ(pair, nullptr) << i << " " << j;
                }
            }
        }
        table.Clear();
        EXPECT_EQ(table.GetCount(), 0u);
        EXPECT_EQ(table.Find(items[0].get(), items[1].get()), nullptr);
    }
    for (auto& item : items)
        world.RemoveItem(item.get());
}

TEST(GColPairTest, HashMatchesTheMixingSteps)
{
    // The seven steps done on signed values through 64-bit arithmetic,
    // wrapped to 32 bits after each, with sign-propagating shifts.
    const auto reference = [](uint32_t p, uint32_t q) {
        const auto wrap = [](int64_t v) { return int32_t(uint32_t(uint64_t(v))); };
        int32_t k = int32_t(p ^ ((p ^ q) & 0x0F0F0F0Fu));
        int32_t h = wrap(int64_t(k) * 0x1001 + 0x7ED55D16);
        h = h ^ (h >> 19) ^ int32_t(0xC761C23Cu);
        h = wrap(int64_t(h) * 33 + 0x165667B1);
        h = wrap(int64_t(h) + int64_t(int32_t(0xD3A2646Cu))) ^ int32_t(uint32_t(h) << 9);
        h = wrap(int64_t(h) * 9 + int64_t(int32_t(0xFD7046C5u)));
        h = h ^ (h >> 16) ^ int32_t(0xB55A4F09u);
        return h;
    };
    for (uint32_t p : {1u, 2u, 77u, 4096u, 0x7FFFFFFFu}) {
        for (uint32_t q : {3u, 1000u, 0xFFFFFFF0u})
            EXPECT_EQ(GColPairHash(p, q), reference(p, q)) << p << " " << q;
    }
}

TEST(GColDetectTest, AllPairsModeWritesNodesButNoPairs)
{
    Scene s;
    s.world.UseSAP = 0;
    GColItem* a = s.Sphere(1.0f, {0, 0, 0});
    GColItem* b = s.Sphere(1.0f, {3, 0, 0});
    b->SetTransformation(zVector(1.5f, 0, 0));
    EXPECT_EQ(s.Detect(), 1u);
    EXPECT_EQ(s.world.GetPairTable().GetCount(), 0u);
    EXPECT_EQ(a->touching, 0);
    EXPECT_EQ(a->visited, 0);
    EXPECT_EQ(b->visited, 0);
}

TEST(GColDetectTest, FullContactBuffersStopTheWritesAndWarnOncePerPass)
{
    Scene s;
    for (int i = 0; i < 6; ++i)
        s.Box({2, 2, 2}, {float(i) * 1.9f, 0, 0});
    LogCapture capture;
    std::vector<TauContactNode> nodes(3);
    std::vector<TauContactPoint> points(5);
    EXPECT_EQ(s.world.Detect(nodes.data(), 3, points.data(), 5), 3u);
    uint32_t total = 0;
    for (const TauContactNode& node : nodes)
        total += node.pointCount;
    EXPECT_LE(total, 5u);
    int warnings = 0;
    for (const std::string& line : capture.lines)
        warnings += line.find("Contact buffer full") != std::string::npos ? 1 : 0;
    EXPECT_EQ(warnings, 1);
    // Every touching pair still has its manifold.
    EXPECT_EQ(s.world.GetPairTable().GetCount(), 5u);
}

int CountLines(const LogCapture& capture, const std::string& text)
{
    int count = 0;
    for (const std::string& line : capture.lines)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

// Boxes spawned at one point: every pair overlaps, far more pairs than the
// table takes.
TEST(GColDetectTest, PairsPastTheCapAreDroppedWithOneWarningUntilTheTableIsCleared)
{
    constexpr int Boxes = 140;
    static_assert(Boxes * (Boxes - 1) / 2 > int(GCollide::MaxPairs), "more pairs than the table takes");
    Scene s;
    // Not quite on one point: boxes that coincide exactly give no contact.
    for (int i = 0; i < Boxes; ++i)
        s.Box({1, 1, 1}, {0.003f * float(i), 0.002f * float(i % 7), 0.001f * float(i % 5)});
    const auto nudge = [&s](float dy) {
        for (auto& item : s.items)
            item->SetTransformation(item->position + zVector(0, dy, 0), nullptr, nullptr, true);
    };
    LogCapture capture;
    EXPECT_EQ(s.Detect(), 2048u);
    GColPairTable& table = s.world.GetPairTable();
    EXPECT_EQ(table.GetCount(), GCollide::MaxPairs);
    EXPECT_EQ(CountLines(capture, "Collision pair table full (8192 pairs)"), 1);
    EXPECT_EQ(CountLines(capture, "Contact buffer full"), 1);
    for (auto& item : s.items)
        EXPECT_EQ(item->touching, 1);

    // Another step of the same frame adds no pair and no warning.
    nudge(0.01f);
    EXPECT_EQ(s.Detect(), 2048u);
    EXPECT_EQ(table.GetCount(), GCollide::MaxPairs);
    EXPECT_EQ(CountLines(capture, "Collision pair table full"), 1);
    EXPECT_EQ(CountLines(capture, "Contact buffer full"), 2) << "one a pass";

    // The next frame fills it again, and says so again.
    table.Clear();
    nudge(0.01f);
    s.Detect();
    EXPECT_EQ(table.GetCount(), GCollide::MaxPairs);
    EXPECT_EQ(CountLines(capture, "Collision pair table full"), 2);
}

// Which item's pairs the reader says are read.
struct Readers {
    const GColItem* listener = nullptr;
    int asked = 0;
    static bool Read(void* context, const GColItem* item)
    {
        Readers& readers = *static_cast<Readers*>(context);
        ++readers.asked;
        return item == readers.listener;
    }
};

struct ReaderCase {
    const char* name;
    uint32_t nodeCapacity;
};

void PrintTo(const ReaderCase& c, std::ostream* out)
{
    *out << c.name;
}

class GColPairReaderTest : public ::testing::TestWithParam<ReaderCase> {};

// Three boxes in a row, each overlapping the next, and one more over all:
// only the pairs of the item whose pairs are read are stored, with room
// for the solver's contacts or without.
TEST_P(GColPairReaderTest, OnlyPairsSomethingReadsAreStored)
{
    Scene s;
    GColItem* a = s.Box({2, 2, 2}, {0, 0, 0});
    GColItem* b = s.Box({2, 2, 2}, {1.5f, 0, 0});
    GColItem* c = s.Box({2, 2, 2}, {3, 0, 0});
    GColItem* d = s.Box({4, 1, 1}, {1.5f, 0.5f, 0});
    Readers readers;
    readers.listener = b;
    s.world.pairReader = &Readers::Read;
    s.world.pairReaderContext = &readers;
    std::vector<TauContactNode> nodes(GetParam().nodeCapacity + 1);
    LogCapture capture;
    const uint32_t written = s.world.Detect(nodes.data(), GetParam().nodeCapacity, s.points.data(), 4096);
    EXPECT_EQ(written, std::min(GetParam().nodeCapacity, 5u));
    EXPECT_EQ(readers.asked, 4) << "once an item a pass";
    const GColPairTable& table = s.world.GetPairTable();
    EXPECT_EQ(table.GetCount(), 3u);
    EXPECT_NE(table.Find(a, b), nullptr);
    EXPECT_NE(table.Find(b, c), nullptr);
    EXPECT_NE(table.Find(b, d), nullptr);
    EXPECT_EQ(table.Find(a, c), nullptr) << "apart";
    EXPECT_EQ(table.Find(a, d), nullptr) << "nobody reads it";
    EXPECT_EQ(table.Find(c, d), nullptr) << "nobody reads it";
    for (const GColItem* item : {a, b, c, d})
        EXPECT_EQ(item->touching, 1);
    EXPECT_EQ(s.world.GetPairTable().full, false);
    s.world.pairReader = nullptr;
}

const ReaderCase readerCases[] = {
    {"RoomForEveryContact", 2048},
    {"RoomForTwoContacts", 2},
    {"NoRoom", 0},
};

INSTANTIATE_TEST_SUITE_P(Buffers, GColPairReaderTest, ::testing::ValuesIn(readerCases),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

// A small generator of its own, so that the scenes are the same everywhere.
struct SceneRandom {
    uint32_t state;
    explicit SceneRandom(uint32_t seed) : state(seed) {}
    float Next(float lo, float hi)
    {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * float(state >> 8) / float(1u << 24);
    }
};

// Random spheres, boxes and two-shape items in a cube of side extent.
void FillRandomScene(Scene& s, SceneRandom& random, int count, float extent, bool reverseAllocation)
{
    std::vector<std::unique_ptr<GColItem>> made(count);
    for (int i = 0; i < count; ++i) {
        const int index = reverseAllocation ? count - 1 - i : i;
        made[index] = std::make_unique<GColItem>();
    }
    for (int i = 0; i < count; ++i) {
        GColItem* item = made[i].get();
        const float kind = random.Next(0, 3);
        if (kind < 1) {
            item->AddSphereShape(random.Next(0.3f, 1.5f));
        } else {
            const zVector size(random.Next(0.5f, 3), random.Next(0.5f, 3), random.Next(0.5f, 3));
            const zVector angles(random.Next(0, 3), random.Next(0, 3), random.Next(0, 3));
            item->AddCuboidShape(&size, nullptr, kind < 2 ? nullptr : &angles);
            if (kind > 2.6f) {
                const zVector offset(random.Next(-1, 1), random.Next(-1, 1), random.Next(-1, 1));
                item->AddSphereShape(random.Next(0.3f, 1.0f), &offset);
            }
        }
        const zVector at(random.Next(0, extent), random.Next(0, extent), random.Next(0, extent));
        item->SetTransformation(at, nullptr, nullptr, true);
        s.world.AddItem(item);
        s.items.push_back(std::move(made[i]));
    }
}

void MoveSome(Scene& s, SceneRandom& random)
{
    for (auto& item : s.items) {
        if (random.Next(0, 1) < 0.6f) {
            const zVector step(random.Next(-0.4f, 0.4f), random.Next(-0.4f, 0.4f), random.Next(-0.4f, 0.4f));
            const zMatrix3 turn = zMatrix3::FromEuler(random.Next(-0.1f, 0.1f), random.Next(-0.1f, 0.1f), 0.0f, RotationOrderYXZ);
            const zMatrix3 rotation = turn * item->rotation;
            item->SetTransformation(item->position + step, &rotation);
        } else {
            item->SetTransformation(item->position);
        }
    }
}

bool Overlap(const zMinMax& a, const zMinMax& b)
{
    return !(a.min.x > b.max.x || b.min.x > a.max.x || a.min.y > b.max.y || b.min.y > a.max.y || a.min.z > b.max.z ||
             b.min.z > a.max.z);
}

TEST(GColDetectTest, SweepAndPruneFindsTheBruteForcePairsInRandomScenes)
{
    for (uint32_t seed : {7u, 1234u, 99991u}) {
        SCOPED_TRACE(seed);
        Scene s;
        s.nodes.resize(100000);
        s.points.resize(200000);
        SceneRandom random(seed);
        FillRandomScene(s, random, 300, 28.0f, false);
        std::vector<TauContactNode> bruteNodes(100000);
        // With points, as the pass asks for them.
        std::vector<TauContactPoint> brutePoints(200000);
        for (int frame = 0; frame < 40; ++frame) {
            MoveSome(s, random);
            s.world.GetPairTable().Clear();
            const uint32_t nodes = s.Detect();

            std::set<std::pair<uint32_t, uint32_t>> expected;
            GColContactBuffer brute;
            brute.nodes = bruteNodes.data();
            brute.nodeCapacity = uint32_t(bruteNodes.size());
            brute.points = brutePoints.data();
            brute.pointCapacity = uint32_t(brutePoints.size());
            for (size_t i = 0; i < s.items.size(); ++i) {
                GColItem* a = s.items[i].get();
                for (size_t k = i + 1; k < s.items.size(); ++k) {
                    GColItem* b = s.items[k].get();
                    if (!(a->moved == 1 || b->moved == 1) || !Overlap(a->bounds, b->bounds))
                        continue;
                    const bool touching = s.world.CollideItems(a, b, brute);
                    // Without meshes the decision alone agrees with the full test.
                    EXPECT_EQ(s.world.ItemsOverlap(b, a), touching);
                    if (touching)
                        expected.insert({std::min(a->collisionId, b->collisionId), std::max(a->collisionId, b->collisionId)});
                }
            }
            std::set<std::pair<uint32_t, uint32_t>> found;
            const GColPairTable& table = s.world.GetPairTable();
            for (uint32_t bucket = 0; bucket < GColPairTable::BucketCount; ++bucket) {
                for (uint32_t i = 0; i < table.GetBucket(bucket).GetCount(); ++i) {
                    const GColPair* pair = table.GetPair(bucket, i);
                    EXPECT_LT(pair->itemA->collisionId, pair->itemB->collisionId);
                    found.insert({pair->itemA->collisionId, pair->itemB->collisionId});
                }
            }
            for (const auto& e : expected) {
                if (!found.count(e)) {
                    ADD_FAILURE() << "missing " << e.first << "," << e.second << " frame " << frame;
                    for (auto& it : s.items) {
                        if (it->collisionId != e.first && it->collisionId != e.second) continue;
                        const GColShape* sh = it->GetFirstShape();
                        std::string t = "BOX size " + std::to_string(sh->GetScaledSize().x) + "," + std::to_string(sh->GetScaledSize().y) + "," + std::to_string(sh->GetScaledSize().z) + " m";
                        char buf[64];
                        for (int q = 0; q < 16; ++q) { snprintf(buf, sizeof buf, " %.9g", sh->world.m[q]); t += buf; }
                        ADD_FAILURE() << t;
                    }
                }
            }
            for (const auto& e : found) {
                if (!expected.count(e))
                    ADD_FAILURE() << "extra " << e.first << "," << e.second << " frame " << frame;
            }
            ASSERT_TRUE(found == expected);
            EXPECT_EQ(table.GetCount(), uint32_t(found.size()));
            EXPECT_EQ(nodes, brute.nodeCount);
            for (uint32_t i = 1; i < s.world.GetSAPCount(); ++i)
                EXPECT_LE(s.world.GetSAPEntry(i - 1)->bounds.min.x, s.world.GetSAPEntry(i)->bounds.min.x);
        }
        EXPECT_GT(s.world.GetPairTable().GetCount(), 0u);
    }
}

// Once the solver's buffer is full the pass still finds every touching pair
// for the table and the touching flags, testing a pair only while that can
// tell something new.
TEST(GColDetectTest, FullContactBuffersStillFindEveryTouchingPairInRandomScenes)
{
    for (uint32_t seed : {11u, 2024u}) {
        SCOPED_TRACE(seed);
        Scene s;
        SceneRandom random(seed);
        FillRandomScene(s, random, 200, 14.0f, false);
        std::vector<TauContactNode> nodes(8);
        for (int frame = 0; frame < 20; ++frame) {
            MoveSome(s, random);
            s.world.GetPairTable().Clear();
            EXPECT_EQ(s.world.Detect(nodes.data(), 8, s.points.data(), 4096), 8u);

            std::set<std::pair<uint32_t, uint32_t>> expected;
            std::set<const GColItem*> touched;
            for (size_t i = 0; i < s.items.size(); ++i) {
                GColItem* a = s.items[i].get();
                for (size_t k = i + 1; k < s.items.size(); ++k) {
                    GColItem* b = s.items[k].get();
                    if (!(a->moved == 1 || b->moved == 1) || !Overlap(a->bounds, b->bounds) || !s.world.ItemsOverlap(a, b))
                        continue;
                    expected.insert({std::min(a->collisionId, b->collisionId), std::max(a->collisionId, b->collisionId)});
                    touched.insert(a);
                    touched.insert(b);
                }
            }
            std::set<std::pair<uint32_t, uint32_t>> found;
            const GColPairTable& table = s.world.GetPairTable();
            for (uint32_t bucket = 0; bucket < GColPairTable::BucketCount; ++bucket) {
                for (uint32_t i = 0; i < table.GetBucket(bucket).GetCount(); ++i) {
                    const GColPair* pair = table.GetPair(bucket, i);
                    found.insert({pair->itemA->collisionId, pair->itemB->collisionId});
                }
            }
            ASSERT_EQ(found, expected) << "frame " << frame;
            for (auto& item : s.items) {
                if (item->moved == 1) {
                    EXPECT_EQ(item->touching != 0, touched.count(item.get()) != 0) << "frame " << frame;
                }
            }
        }
    }
}

// What the scene reads after a frame: bucket by bucket, pair by pair.
std::vector<float> ReadEvents(const Scene& s)
{
    std::vector<float> events;
    const GColPairTable& table = const_cast<Scene&>(s).world.GetPairTable();
    for (uint32_t bucket = 0; bucket < GColPairTable::BucketCount; ++bucket) {
        for (uint32_t i = 0; i < table.GetBucket(bucket).GetCount(); ++i) {
            const GColPair* pair = table.GetPair(bucket, i);
            events.push_back(float(pair->itemA->collisionId));
            events.push_back(float(pair->itemB->collisionId));
            for (uint32_t p = 0; p < pair->pointCount; ++p) {
                events.insert(events.end(), {pair->positions[p].x, pair->positions[p].y, pair->positions[p].z, pair->normals[p].x,
                                             pair->normals[p].y, pair->normals[p].z, pair->depths[p]});
            }
        }
    }
    return events;
}

TEST(GColDetectTest, TheSameSceneGivesTheSameEventsWhereverItsItemsLive)
{
    std::vector<std::vector<float>> runs[2];
    for (int run = 0; run < 2; ++run) {
        // Some allocations in between so that the heap addresses differ.
        std::vector<std::unique_ptr<char[]>> padding;
        for (int i = 0; i < run * 37; ++i)
            padding.push_back(std::make_unique<char[]>(size_t(64 + i)));
        Scene s;
        SceneRandom random(4242);
        FillRandomScene(s, random, 150, 16.0f, run == 1);
        for (int frame = 0; frame < 15; ++frame) {
            s.world.GetPairTable().Clear();
            for (int step = 0; step < 2; ++step) {
                MoveSome(s, random);
                s.Detect();
            }
            runs[run].push_back(ReadEvents(s));
        }
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    size_t total = 0;
    for (size_t frame = 0; frame < runs[0].size(); ++frame) {
        EXPECT_EQ(runs[0][frame], runs[1][frame]) << "frame " << frame;
        total += runs[0][frame].size();
    }
    EXPECT_GT(total, 0u);
}

}
