#include "core/CoreTestSupport.h"
#include "support/LogCapture.h"
#include "support/SeededRandom.h"
#include "support/ZmlText.h"

#include "ai/zAIPath.h"
#include "ai/zAIWorld.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zColor.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Keys = std::initializer_list<std::pair<float, float>>;

void AddChannel(zMotion& motion, int32_t id, Keys keys)
{
    zChannel* c = motion.AddChannel(id);
    c->Allocate(uint32_t(keys.size()));
    uint32_t i = 0;
    for (const auto& [time, value] : keys) {
        c->GetKey(i)->time = time;
        c->GetKey(i)->value = value;
        ++i;
    }
}

// A path through the given points at times 0, 1, 2, ...
std::unique_ptr<zAIPath> PathThrough(const std::vector<zVector>& points)
{
    auto path = std::make_unique<zAIPath>("through");
    zChannel* axes[3] = {path->motion.AddChannel(ChannelPositionX), path->motion.AddChannel(ChannelPositionY),
                         path->motion.AddChannel(ChannelPositionZ)};
    for (zChannel* c : axes)
        c->Allocate(uint32_t(points.size()));
    for (uint32_t i = 0; i < points.size(); ++i) {
        const float values[3] = {points[i].x, points[i].y, points[i].z};
        for (int a = 0; a < 3; ++a) {
            axes[a]->GetKey(i)->time = float(i);
            axes[a]->GetKey(i)->value = values[a];
        }
    }
    EXPECT_TRUE(path->BuildPath());
    return path;
}

std::vector<float> NodeTimes(const zAIPath& path)
{
    std::vector<float> times;
    for (const zAIPathNode& n : path.GetNodes())
        times.push_back(n.time);
    return times;
}

TEST(AIPathBucketTest, CellsAreTwentyUnitsTruncatedTowardZero)
{
    const struct {
        zVector point;
        int32_t bucket;
    } cases[] = {
        {{10.0f, 10.0f, 0.0f}, 0},   {{0.0f, 0.0f, 20.0f}, 1},     {{19.0f, 0.0f, 0.0f}, 0},
        {{0.0f, 19.0f, 0.0f}, 0},    {{-19.0f, 0.0f, 0.0f}, 0},    {{-20.0f, 0.0f, 0.0f}, 511},
        {{20.0f, 20.0f, 20.0f}, 3},  {{-20.0f, 40.0f, 0.0f}, 1},   {{19.999998f, 0.0f, 0.0f}, 0},
        {{10240.0f, 0.0f, 0.0f}, 0}, {{10260.0f, 0.0f, 0.0f}, 1},  {{-39.9f, -0.5f, 0.0f}, 511},
        {{-40.0f, 0.0f, 0.0f}, 510}, {{1e30f, 0.0f, 20.0f}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zAIPath::GetBucket(c.point), c.bucket)
            << c.point.x << ", " << c.point.y << ", " << c.point.z;
    }
}

TEST(AIPathBuildTest, NodesAreTheUnionOfTheKeyTimesInOrder)
{
    zAIPath path("mixed");
    AddChannel(path.motion, ChannelPositionX, {{0.0f, 0.0f}, {2.0f, 4.0f}});
    AddChannel(path.motion, ChannelPositionY, {{1.0f, 7.0f}});
    AddChannel(path.motion, ChannelPositionZ, {{0.0f, 1.0f}, {0.5f, 1.0f}, {2.0f, 1.0f}});
    LogCapture log;
    ASSERT_TRUE(path.BuildPath());
    EXPECT_EQ(NodeTimes(path), (std::vector<float>{0.0f, 0.5f, 1.0f, 2.0f}));
    const zAIPathNode& n = path.GetNodes()[2];
    EXPECT_FLOAT_EQ(n.position.x, 2.0f);
    EXPECT_FLOAT_EQ(n.position.y, 7.0f);
    EXPECT_FLOAT_EQ(n.position.z, 1.0f);
    EXPECT_TRUE(log.Contains("Building AI path 'mixed' query structure (512 bucket(s))..."));
    EXPECT_TRUE(log.Contains("original = 4"));

    // Building again starts over.
    ASSERT_TRUE(path.BuildPath());
    EXPECT_EQ(path.GetNodes().size(), 4u);
}

TEST(AIPathBuildTest, MissingAxisLeavesNoNodesAndQueriesFail)
{
    zAIPath path("flat");
    AddChannel(path.motion, ChannelPositionX, {{0.0f, 0.0f}, {1.0f, 5.0f}});
    AddChannel(path.motion, ChannelPositionY, {{0.0f, 0.0f}, {1.0f, 5.0f}});
    LogCapture log;
    EXPECT_FALSE(path.BuildPath());
    EXPECT_TRUE(log.Contains("cannot convert motion to channel (missing X, Y or Z component)."));
    EXPECT_TRUE(path.GetNodes().empty());
    zVector closest(3.0f, 3.0f, 3.0f);
    float time = 5.0f;
    EXPECT_FALSE(path.GetClosestPoint(zVector(1.0f, 0.0f, 0.0f), closest, &time));
    EXPECT_TRUE(log.Contains("Failed to query closest point to path."));
    EXPECT_FLOAT_EQ(time, -1.0f);
    EXPECT_FLOAT_EQ(closest.x, 3.0f);

    auto single = PathThrough({{1.0f, 2.0f, 3.0f}});
    EXPECT_FALSE(single->GetClosestPoint(zVector(0.0f, 0.0f, 0.0f), closest, &time));
    EXPECT_FLOAT_EQ(time, -1.0f);
}

TEST(AIPathBuildTest, SegmentsReachTheBucketsOfTheCellsTheyCross)
{
    LogCapture log;
    auto path = PathThrough({{0.0f, 0.0f, 0.0f}, {45.0f, 0.0f, 0.0f}, {45.0f, 0.0f, 0.0f}, {5.0f, 0.0f, 0.0f}});
    // Node 0 crosses cells 0, 1 and 2; node 1 has no length; node 2 comes back.
    for (int32_t b = 0; b < 3; ++b) {
        EXPECT_EQ(path->GetBucketNodes(b), (std::vector<int32_t>{0, 2})) << "bucket " << b;
    }
    EXPECT_TRUE(path->GetBucketNodes(3).empty());
    EXPECT_TRUE(log.Contains("Low = 0, high = 2, avg = 0, original = 4, total = 6)."));
    EXPECT_TRUE(log.Contains("Memory usage = 10432 byte(s), took "));
}

TEST(AIPathBuildTest, AVeryLongSegmentIsSampledInBoundedSteps)
{
    LogCapture log;
    auto path = PathThrough({{0.0f, 0.0f, 0.0f}, {1.0e7f, 0.0f, 0.0f}});
    // At a thousand points per unit this would be ten billion samples; the
    // capped steps of ten units still see every 20-unit cell.
    for (int32_t b = 0; b < zAIPath::BucketCount; ++b)
        ASSERT_EQ(path->GetBucketNodes(b), (std::vector<int32_t>{0})) << "bucket " << b;
    auto wild = PathThrough({{0.0f, 0.0f, 0.0f}, {3.0e38f, -3.0e38f, 0.0f}, {NAN, 0.0f, 0.0f}});
    EXPECT_EQ(wild->GetNodes().size(), 3u);
}

TEST(AIPathQueryTest, EndsTiesAndTimes)
{
    auto path = PathThrough({{0.0f, 0.0f, 0.0f}, {10.0f, 0.0f, 0.0f}, {10.0f, 10.0f, 0.0f}});
    zVector c;
    float time = 0.0f;
    ASSERT_TRUE(path->GetClosestPoint(zVector(30.0f, 30.0f, 0.0f), c, &time));
    EXPECT_FLOAT_EQ(c.x, 10.0f);
    EXPECT_FLOAT_EQ(c.y, 10.0f);
    EXPECT_FLOAT_EQ(time, 2.0f);

    ASSERT_TRUE(path->GetClosestPoint(zVector(4.0f, -3.0f, 2.0f), c, &time));
    EXPECT_FLOAT_EQ(c.x, 4.0f);
    EXPECT_FLOAT_EQ(c.y, 0.0f);
    EXPECT_FLOAT_EQ(time, 0.4f);

    // Equidistant from both segments (on the diagonal through the corner):
    // the earlier segment wins, giving its end point with time 1.
    ASSERT_TRUE(path->GetClosestPoint(zVector(12.0f, -2.0f, 0.0f), c, &time));
    EXPECT_FLOAT_EQ(c.x, 10.0f);
    EXPECT_FLOAT_EQ(c.y, 0.0f);
    EXPECT_FLOAT_EQ(time, 1.0f);
    ASSERT_TRUE(path->GetClosestPoint(zVector(5.0f, 5.0f, 0.0f), c, &time));
    EXPECT_FLOAT_EQ(c.x, 5.0f);
    EXPECT_FLOAT_EQ(c.y, 0.0f);
    EXPECT_FLOAT_EQ(time, 0.5f);

    // Without a time wanted.
    ASSERT_TRUE(path->GetClosestPoint(zVector(11.0f, 6.0f, 0.0f), c));
    EXPECT_FLOAT_EQ(c.y, 6.0f);
}

TEST(AIPathQueryTest, MatchesBruteForceOverSampledPoints)
{
    SeededRandom random(2023);
    std::vector<zVector> points;
    zVector at(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 40; ++i) {
        points.push_back(at);
        at = random.Point(at, 15.0f);
    }
    auto path = PathThrough(points);
    const auto& nodes = path->GetNodes();
    ASSERT_EQ(nodes.size(), points.size());
    constexpr int Samples = 400;
    for (int q = 0; q < 300; ++q) {
        const zVector p = random.Point(zVector(0.0f, 0.0f, 0.0f), 60.0f);
        float bestDistance = INFINITY;
        for (size_t i = 0; i + 1 < nodes.size(); ++i) {
            for (int s = 0; s <= Samples; ++s) {
                const float u = float(s) / float(Samples);
                const zVector sample = nodes[i].position + (nodes[i + 1].position - nodes[i].position) * u;
                bestDistance = std::min(bestDistance, (sample - p).Length());
            }
        }
        zVector c;
        float time = -5.0f;
        ASSERT_TRUE(path->GetClosestPoint(p, c, &time));
        const float distance = (c - p).Length();
        // Never farther than the best sample, and no nearer than the
        // sampling could miss (half a sample spacing on the longest segment).
        EXPECT_LE(distance, bestDistance + 1e-4f);
        EXPECT_GE(distance, bestDistance - 0.05f);
        // The time names the returned point.
        ASSERT_GE(time, 0.0f);
        ASSERT_LE(time, float(nodes.size() - 1));
        const size_t i = std::min(size_t(time), nodes.size() - 2);
        const zVector onPath = nodes[i].position + (nodes[i + 1].position - nodes[i].position) * (time - float(i));
        EXPECT_NEAR(onPath.x, c.x, 1e-3f);
        EXPECT_NEAR(onPath.y, c.y, 1e-3f);
        EXPECT_NEAR(onPath.z, c.z, 1e-3f);
    }
}

TEST(AIPathQueryTest, GivesExactlyTheFullScanOverSegments)
{
    SeededRandom random(77);
    std::vector<zVector> points;
    for (int i = 0; i < 60; ++i)
        points.push_back(random.Point(zVector(0.0f, 0.0f, 0.0f), i % 7 == 0 ? 0.0f : 50.0f));
    points.push_back(points.back());
    auto path = PathThrough(points);
    const auto& nodes = path->GetNodes();
    for (int q = 0; q < 500; ++q) {
        const zVector p = random.Point(zVector(0.0f, 0.0f, 0.0f), 80.0f);
        float best = 0.0f;
        size_t winner = 0;
        float winnerS = 0.0f;
        zVector expected;
        for (size_t i = 0; i + 1 < nodes.size(); ++i) {
            zVector c;
            const float s = ClosestPointOnSegment(nodes[i].position, nodes[i + 1].position, p, &c);
            const float d = (c - p).Dot(c - p);
            if (i == 0 || d < best) {
                best = d;
                winner = i;
                winnerS = s;
                expected = c;
            }
        }
        zVector c;
        float time = 0.0f;
        ASSERT_TRUE(path->GetClosestPoint(p, c, &time));
        EXPECT_EQ(c.x, expected.x);
        EXPECT_EQ(c.y, expected.y);
        EXPECT_EQ(c.z, expected.z);
        EXPECT_EQ(time, nodes[winner].time + (nodes[winner + 1].time - nodes[winner].time) * winnerS);
    }
}

TEST(AIWorldTest, PathsTagRoundTripRebuildsTheSameNodes)
{
    LogCapture log;
    auto document = ParseZml("<ZML=1.0>\n<Paths=\n"
                             " <Motion=<Id=\"a\">"
                             "<Channel=<Curve=<Knot=<Count=2><Knot=\"0:0\"><Knot=\"3:30\">>><Id=\"PositionX\">>"
                             "<Channel=<Curve=<Knot=<Count=2><Knot=\"0:1\"><Knot=\"1:2\">>><Id=\"PositionY\">>"
                             "<Channel=<Curve=<Knot=<Count=1><Knot=\"2:5\">>><Id=\"PositionZ\">>>\n"
                             " <Road=1>\n"
                             " <Motion=<Channel=<Curve=<Knot=<Count=2><Knot=\"0:0\"><Knot=\"1:1\">>><Id=\"PositionX\">>>\n"
                             ">\n");
    zAIWorld world;
    ASSERT_TRUE(world.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("Unexpected tag 'Road' in <Paths>."));
    ASSERT_EQ(world.GetPathCount(), 2);
    zAIPath* a = world.GetPath("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(NodeTimes(*a), (std::vector<float>{0.0f, 1.0f, 2.0f, 3.0f}));
    EXPECT_NE(world.GetPath("Unnamed"), nullptr);
    EXPECT_TRUE(world.GetPath("Unnamed")->GetNodes().empty());

    std::unique_ptr<zMetaTag> written(world.AsMetaTag());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Motion", "Motion"}));
    zAIWorld again;
    again.FromMetaTag(nullptr, written.get());
    ASSERT_EQ(again.GetPathCount(), 2);
    const zAIPath* b = again.GetPathAt(0);
    EXPECT_STREQ(b->GetName().Get(), "a");
    ASSERT_EQ(b->GetNodes().size(), a->GetNodes().size());
    for (size_t i = 0; i < b->GetNodes().size(); ++i) {
        EXPECT_FLOAT_EQ(b->GetNodes()[i].time, a->GetNodes()[i].time);
        EXPECT_FLOAT_EQ(b->GetNodes()[i].position.x, a->GetNodes()[i].position.x);
        EXPECT_FLOAT_EQ(b->GetNodes()[i].position.y, a->GetNodes()[i].position.y);
        EXPECT_FLOAT_EQ(b->GetNodes()[i].position.z, a->GetNodes()[i].position.z);
    }
    EXPECT_STREQ(again.GetPathAt(1)->GetName().Get(), "Unnamed");

    world.Clear();
    EXPECT_EQ(world.GetPathCount(), 0);
}

TEST(AIWorldTest, FindingIsCaseSensitiveAndReportsMisses)
{
    zAIWorld world;
    world.Add(PathThrough({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}).release());
    world.GetPathAt(0)->motion.SetName("Road");
    LogCapture log;
    EXPECT_NE(world.GetPath("Road"), nullptr);
    EXPECT_FALSE(log.Contains("Could not find"));
    EXPECT_EQ(world.GetPath("road"), nullptr);
    EXPECT_TRUE(log.Contains("Could not find AI path 'road'."));
}

TEST(AIWorldTest, LoadsPathsFromSceneFiles)
{
    LogCapture log;
    zAIWorld world;
    ASSERT_TRUE(world.LoadPathFromScene(TAVRIN_TEST_DATA "/ai/scene_paths.zml"));
    ASSERT_EQ(world.GetPathCount(), 2);
    EXPECT_EQ(NodeTimes(*world.GetPath("patrol")), (std::vector<float>{0.0f, 1.0f, 2.0f}));
    // "flat" has no PositionZ: kept, but without nodes.
    EXPECT_TRUE(world.GetPath("flat")->GetNodes().empty());
    EXPECT_EQ(world.GetPath("ignored"), nullptr);

    ASSERT_TRUE(world.LoadPathFromScene(TAVRIN_TEST_DATA "/ai/scene_motions.zml"));
    ASSERT_EQ(world.GetPathCount(), 3);
    zVector c;
    float time = 0.0f;
    ASSERT_TRUE(world.GetPath("lap")->GetClosestPoint(zVector(20.0f, 0.0f, 0.0f), c, &time));
    EXPECT_FLOAT_EQ(time, 2.0f);
    EXPECT_FLOAT_EQ(c.y, 1.0f);
    EXPECT_FLOAT_EQ(c.z, 2.0f);

    EXPECT_FALSE(world.LoadPathFromScene(TAVRIN_TEST_DATA "/ai/scene_without_paths.zml"));
    EXPECT_TRUE(log.Contains("No AI path in '" TAVRIN_TEST_DATA "/ai/scene_without_paths.zml'."));
    EXPECT_FALSE(world.LoadPathFromScene(TAVRIN_TEST_DATA "/ai/missing.zml"));
    EXPECT_EQ(world.GetPathCount(), 3);
}

TEST(AIWorldTest, DrawsACrossAndALinePerSegment)
{
    Tavrin core;
    RecordingRenderer renderer(&core, false);
    renderer.videoClosed = 0;
    zAIWorld world;
    world.Add(PathThrough({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1.0f, 2.0f, 0.0f}}).release());
    world.Add(PathThrough({{5.0f, 5.0f, 5.0f}}).release());
    world.Draw(&renderer);
    // A cross is three lines; two segments with a cross each.
    ASSERT_EQ(renderer.lines.size(), 8u);
    const auto& last = renderer.lines.back();
    EXPECT_FLOAT_EQ(last.from.x, 1.0f);
    EXPECT_FLOAT_EQ(last.to.y, 2.0f);
}

} // namespace
