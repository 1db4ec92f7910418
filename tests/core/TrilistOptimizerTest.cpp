#include "support/LogCapture.h"

#include "core/geometry/zGeometryTrilist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Indices = std::vector<int32_t>;

// The order as the greedy model states it: every step scans every triangle
// left and takes the first with the highest score sum. Quadratic, kept here
// as the yardstick for the optimiser.
Indices ScanOrder(const Indices& indices, uint32_t vertexCount)
{
    const size_t triangles = indices.size() / 3;
    std::vector<zTrilistVertexRecord> records(vertexCount);
    std::vector<uint8_t> emitted(triangles, 0);
    int32_t cache[zGeometryTrilist::CacheSize];
    std::fill(cache, cache + zGeometryTrilist::CacheSize, -1);
    for (int32_t v : indices)
        ++records[v].remaining;
    Indices out;
    for (size_t step = 0; step < triangles; ++step) {
        float best = -1.0f;
        size_t chosen = triangles;
        for (size_t t = 0; t < triangles; ++t) {
            if (emitted[t] != 0)
                continue;
            const float score = records[indices[3 * t]].score + records[indices[3 * t + 1]].score
                + records[indices[3 * t + 2]].score;
            if (score > best) {
                best = score;
                chosen = t;
            }
        }
        if (chosen == triangles)
            chosen = size_t(std::find(emitted.begin(), emitted.end(), 0) - emitted.begin());
        for (int k = 0; k < 3; ++k) {
            const int32_t v = indices[3 * chosen + k];
            out.push_back(v);
            zGeometryTrilist::TouchCacheVertex(v, records.data(), cache);
            --records[v].remaining;
        }
        for (int32_t slot : cache) {
            if (slot >= 0)
                zGeometryTrilist::ScoreVertex(records[slot]);
        }
        emitted[chosen] = 1;
    }
    return out;
}

Indices Optimized(Indices indices, uint32_t vertexCount)
{
    EXPECT_TRUE(zGeometryTrilist::OptimizeIndices(indices.data(), uint32_t(indices.size() / 3), vertexCount));
    return indices;
}

// Triangles as a multiset, each with its corner order.
std::map<std::tuple<int32_t, int32_t, int32_t>, int> TriangleCounts(const Indices& indices)
{
    std::map<std::tuple<int32_t, int32_t, int32_t>, int> counts;
    for (size_t t = 0; t + 2 < indices.size(); t += 3)
        ++counts[{indices[t], indices[t + 1], indices[t + 2]}];
    return counts;
}

// A grid of quads split into triangles, in shuffled order.
Indices ShuffledGrid(uint32_t side, std::mt19937& random)
{
    std::vector<std::array<int32_t, 3>> triangles;
    for (uint32_t y = 0; y < side; ++y) {
        for (uint32_t x = 0; x < side; ++x) {
            const int32_t a = int32_t(y * (side + 1) + x);
            const int32_t b = a + 1;
            const int32_t c = a + int32_t(side) + 1;
            triangles.push_back({a, b, c + 1});
            triangles.push_back({a, c + 1, c});
        }
    }
    std::shuffle(triangles.begin(), triangles.end(), random);
    Indices indices;
    for (const auto& t : triangles)
        indices.insert(indices.end(), t.begin(), t.end());
    return indices;
}

TEST(TrilistOptimizerTest, ScoreFollowsRemainingTrianglesAndCachePosition)
{
    struct Case {
        int32_t remaining;
        int32_t position;
        float expected;
    };
    const Case cases[] = {
        {0, 0, -1.0f},
        {0, -1, -1.0f},
        {1, -1, 2.0f},
        {4, -1, 1.0f},
        {4, 0, 1.75f},
        {1, 2, 2.75f},
        {1, 3, 3.0f},
        {16, 17, float(std::pow(15.0 / 29.0, 1.5)) + 0.5f},
        {1, 31, float(std::pow(1.0 / 29.0, 1.5)) + 2.0f},
    };
    for (const Case& c : cases) {
        zTrilistVertexRecord record;
        record.remaining = c.remaining;
        record.cachePosition = c.position;
        zGeometryTrilist::ScoreVertex(record);
        EXPECT_NEAR(record.score, c.expected, 1e-5f) << c.remaining << " at " << c.position;
    }
}

TEST(TrilistOptimizerTest, TouchMovesToTheFrontAndPushesOutTheLast)
{
    std::vector<zTrilistVertexRecord> records(40);
    int32_t cache[zGeometryTrilist::CacheSize];
    std::fill(cache, cache + zGeometryTrilist::CacheSize, -1);
    for (int32_t v = 0; v < 40; ++v)
        records[v].remaining = 4;

    for (int32_t v = 0; v < zGeometryTrilist::CacheSize; ++v)
        EXPECT_EQ(zGeometryTrilist::TouchCacheVertex(v, records.data(), cache), -1);
    for (int32_t v = 0; v < zGeometryTrilist::CacheSize; ++v) {
        EXPECT_EQ(cache[v], 31 - v);
        EXPECT_EQ(records[31 - v].cachePosition, v);
    }

    // Touching a cached vertex shifts only those in front of it.
    EXPECT_EQ(zGeometryTrilist::TouchCacheVertex(20, records.data(), cache), -1);
    EXPECT_EQ(cache[0], 20);
    EXPECT_EQ(records[21].cachePosition, 11);
    EXPECT_EQ(records[31].cachePosition, 1);
    EXPECT_EQ(records[19].cachePosition, 12);
    EXPECT_EQ(records[0].cachePosition, 31);

    // A new vertex pushes out the last, which is rescored as uncached.
    records[0].score = 99.0f;
    EXPECT_EQ(zGeometryTrilist::TouchCacheVertex(35, records.data(), cache), 0);
    EXPECT_EQ(records[0].cachePosition, -1);
    EXPECT_FLOAT_EQ(records[0].score, 1.0f);
    EXPECT_EQ(cache[0], 35);
    EXPECT_EQ(cache[31], 1);
    EXPECT_EQ(records[1].cachePosition, 31);
}

// Orders worked out by hand from the scores.
TEST(TrilistOptimizerTest, SmallListsComeOutInTheHandWorkedOrder)
{
    struct Case {
        const char* name;
        Indices input;
        uint32_t vertexCount;
        Indices expected;
    };
    const Case cases[] = {
        {"single", {0, 1, 2}, 3, {0, 1, 2}},
        // After (0 1 2), vertices 1 and 2 score 2.75 each, so the triangle
        // over the shared edge (5.5) beats the untouched one (0).
        {"shared edge joins", {0, 1, 2, 3, 4, 5, 2, 1, 6}, 7, {0, 1, 2, 2, 1, 6, 3, 4, 5}},
        // A strip A B C D stored as D A B C: D first (all scores 0), then C
        // (4.91 against 2.16 for B), then B, then A.
        {"reversed strip",
         {3, 5, 4, 0, 1, 2, 1, 3, 2, 2, 3, 4},
         6,
         {3, 5, 4, 2, 3, 4, 1, 3, 2, 0, 1, 2}},
        // Equal sums: the first stored of the equals wins.
        {"ties keep stored order", {7, 8, 9, 0, 1, 2, 0, 3, 4, 0, 5, 6, 0, 7, 6}, 10,
         {7, 8, 9, 0, 7, 6, 0, 5, 6, 0, 1, 2, 0, 3, 4}},
        // A triangle naming one vertex twice counts that vertex twice.
        {"degenerate", {0, 0, 1, 2, 3, 4, 1, 0, 5}, 6, {0, 0, 1, 1, 0, 5, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Optimized(c.input, c.vertexCount), c.expected) << c.name;
        EXPECT_EQ(ScanOrder(c.input, c.vertexCount), c.expected) << c.name;
    }
}

// The optimiser against the scan on random lists: few vertices (many ties and
// shared vertices), many vertices (mostly untouched, all-zero ties),
// degenerate triangles, and shuffled grids.
TEST(TrilistOptimizerTest, OrderMatchesTheFullScanOnRandomLists)
{
    std::mt19937 random(20261210);
    struct Shape {
        uint32_t triangles;
        uint32_t vertices;
    };
    const Shape shapes[] = {{1, 3},   {2, 3},    {5, 4},     {40, 8},     {100, 12},  {100, 300},
                            {257, 60}, {600, 40}, {600, 1500}, {1500, 800}, {3000, 200}};
    for (const Shape& shape : shapes) {
        for (int round = 0; round < 3; ++round) {
            std::uniform_int_distribution<int32_t> pick(0, int32_t(shape.vertices) - 1);
            Indices indices(3 * shape.triangles);
            for (int32_t& v : indices)
                v = pick(random);
            const Indices fast = Optimized(indices, shape.vertices);
            ASSERT_EQ(fast, ScanOrder(indices, shape.vertices)) << shape.triangles << " over " << shape.vertices;
            EXPECT_EQ(TriangleCounts(fast), TriangleCounts(indices));
        }
    }
    // A few vertices used often but not in a row (so they leave the cache
    // and come back) among many used rarely.
    for (uint32_t triangles : {400u, 1500u, 4000u}) {
        for (double share : {0.1, 0.3}) {
            const uint32_t vertices = triangles;
            std::uniform_int_distribution<int32_t> pick(0, int32_t(vertices) - 1);
            std::uniform_int_distribution<int32_t> pickHub(0, 3);
            std::uniform_int_distribution<int32_t> pickCorner(0, 2);
            std::bernoulli_distribution useHub(share);
            Indices indices(3 * triangles);
            for (uint32_t t = 0; t < triangles; ++t) {
                for (uint32_t k = 0; k < 3; ++k)
                    indices[3 * t + k] = pick(random);
                if (useHub(random))
                    indices[3 * t + uint32_t(pickCorner(random))] = pickHub(random);
            }
            const Indices fast = Optimized(indices, vertices);
            ASSERT_EQ(fast, ScanOrder(indices, vertices)) << "hubs " << triangles << " " << share;
            EXPECT_EQ(TriangleCounts(fast), TriangleCounts(indices));
        }
    }
    // Fans around one or two centres, stored shuffled or in order, with a
    // grid beside them: vertices of high valence next to ordinary ones.
    for (uint32_t fan : {30u, 200u, 1200u}) {
        for (bool shuffled : {false, true}) {
            Indices indices = ShuffledGrid(12, random);
            const int32_t base = 13 * 13;
            for (uint32_t k = 0; k < fan; ++k) {
                const int32_t centre = k % 3 == 2 && fan > 30 ? base + 1 : base;
                indices.insert(indices.end(), {centre, base + 2 + int32_t(k), base + 3 + int32_t(k)});
            }
            const uint32_t vertices = uint32_t(base) + fan + 3;
            if (shuffled) {
                for (size_t t = indices.size() / 3; t > 1; --t) {
                    const size_t other = std::uniform_int_distribution<size_t>(0, t - 1)(random);
                    std::swap_ranges(indices.begin() + 3 * (t - 1), indices.begin() + 3 * t, indices.begin() + 3 * other);
                }
            }
            const Indices fast = Optimized(indices, vertices);
            ASSERT_EQ(fast, ScanOrder(indices, vertices)) << "fan " << fan << " " << shuffled;
            EXPECT_EQ(TriangleCounts(fast), TriangleCounts(indices));
        }
    }
    for (uint32_t side : {1u, 3u, 10u, 31u}) {
        const Indices indices = ShuffledGrid(side, random);
        const uint32_t vertices = (side + 1) * (side + 1);
        const Indices fast = Optimized(indices, vertices);
        ASSERT_EQ(fast, ScanOrder(indices, vertices)) << "grid " << side;
        EXPECT_EQ(TriangleCounts(fast), TriangleCounts(indices));
    }
}

// A container's lists as stored, and after Optimize.
struct Container {
    Container(const std::vector<Indices>& lists, uint32_t vertexCount)
    {
        for (const Indices& indices : lists) {
            auto* list = new zGeometryTrilist;
            const bool none[3] = {false, false, false};
            list->Allocate(vertexCount, uint32_t(indices.size() / 3), 0, false, false, false, false, none);
            std::copy(indices.begin(), indices.end(), list->indices);
            container.Append(list);
        }
    }
    Indices Get(int32_t index) const
    {
        const auto* list = container.GetAs<zGeometryTrilist>(index);
        return Indices(list->indices, list->indices + 3 * list->triangleCount);
    }
    zLinkedList container;
};

TEST(TrilistOptimizerTest, OptimizeReordersEveryListOfTheContainer)
{
    std::mt19937 random(7);
    const Indices big = ShuffledGrid(12, random);
    const Indices small = {0, 1, 2, 3, 4, 5, 2, 1, 6};
    Container c({small, {}, big}, 169);
    const int32_t* emptyBefore = c.container.GetAs<zGeometryTrilist>(1)->indices;
    LogCapture log;
    zGeometryTrilist::Optimize(&c.container);
    EXPECT_TRUE(log.Contains("Optimizing triangle list..."));
    EXPECT_EQ(c.Get(0), ScanOrder(small, 169));
    EXPECT_EQ(c.Get(2), ScanOrder(big, 169));
    // An empty list only gets a new, empty index array.
    EXPECT_EQ(c.container.GetAs<zGeometryTrilist>(1)->triangleCount, 0u);
    EXPECT_NE(c.container.GetAs<zGeometryTrilist>(1)->indices, emptyBefore);

    zGeometryTrilist::Optimize(nullptr);
}

TEST(TrilistOptimizerTest, ListWithIndicesOutsideItsVerticesIsLeftAsItWas)
{
    const Indices bad = {0, 1, 2, 2, 1, 9};
    const Indices good = {0, 1, 2, 3, 4, 5, 2, 1, 6};
    Container c({bad, good}, 7);
    LogCapture log;
    zGeometryTrilist::Optimize(&c.container);
    EXPECT_EQ(c.Get(0), bad);
    EXPECT_EQ(c.Get(1), ScanOrder(good, 7));
    EXPECT_TRUE(log.Contains("[*] zGeometryTrilist::Optimize"));

    Indices negative = {0, -1, 2};
    EXPECT_FALSE(zGeometryTrilist::OptimizeIndices(negative.data(), 1, 3));
    EXPECT_EQ(negative, (Indices{0, -1, 2}));
}

// Thousands of triangles over the same three vertices: every step would scan
// every triangle left. Such a list keeps its order, with one warning for the
// container, and the others are still reordered.
TEST(TrilistOptimizerTest, ListsOfFewVerticesUnderManyTrianglesKeepTheirOrder)
{
    Indices copies;
    for (int t = 0; t < 20000; ++t) {
        const bool turned = t % 3 == 0;
        copies.insert(copies.end(), {turned ? 2 : 0, 1, turned ? 0 : 2});
    }
    const Indices good = {0, 1, 2, 3, 4, 5, 2, 1, 6};
    Container c({copies, good, copies}, 7);
    LogCapture log;
    zGeometryTrilist::Optimize(&c.container);
    EXPECT_EQ(c.Get(0), copies);
    EXPECT_EQ(c.Get(1), ScanOrder(good, 7));
    EXPECT_EQ(c.Get(2), copies);
    int warnings = 0;
    for (const std::string& line : log.lines)
        warnings += line.find("kept in its order") != std::string::npos ? 1 : 0;
    EXPECT_EQ(warnings, 1);

    Indices alone = copies;
    EXPECT_FALSE(zGeometryTrilist::OptimizeIndices(alone.data(), uint32_t(alone.size() / 3), 3));
    EXPECT_EQ(alone, copies);
}

// Each call keeps its own cache, so calls on several threads at once give the
// same orders as one after another.
TEST(TrilistOptimizerTest, ConcurrentCallsGiveTheSameOrders)
{
    std::mt19937 random(99);
    std::vector<Indices> inputs;
    for (uint32_t side : {8u, 14u, 20u, 26u})
        inputs.push_back(ShuffledGrid(side, random));
    std::vector<Indices> expected;
    for (const Indices& input : inputs)
        expected.push_back(Optimized(input, 27 * 27));

    std::vector<std::vector<Indices>> results(inputs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < inputs.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round) {
                Indices copy = inputs[i];
                zGeometryTrilist::OptimizeIndices(copy.data(), uint32_t(copy.size() / 3), 27 * 27);
                results[i].push_back(copy);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (size_t i = 0; i < inputs.size(); ++i) {
        for (const Indices& result : results[i])
            EXPECT_EQ(result, expected[i]);
    }
}

} // namespace
