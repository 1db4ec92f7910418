#include "MotionTestSupport.h"
#include "support/LogCapture.h"
#include "support/SeededRandom.h"
#include "support/ZmlText.h"

#include "framework/math/zQuaternion.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaTag.h"
#include "manager/motion/zHierarchyMotion.h"
#include "manager/motion/zMotion.h"
#include "manager/motion/zMotionPlayer.h"
#include "manager/motion/zQuaternionChannel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float HalfPi = 1.5707964f;

zQuaternionKey AboutZ(float time, float angle)
{
    return {time, 0.0f, 0.0f, std::sin(angle / 2.0f), std::cos(angle / 2.0f)};
}

std::vector<int32_t> ChannelIds(const zMotion& motion)
{
    std::vector<int32_t> ids;
    for (const zChannel* c = motion.GetFirstChannel(); c != nullptr; c = c->next)
        ids.push_back(c->id);
    return ids;
}

TEST(ChannelIdTest, NamesAndNumbersMatchBothWays)
{
    EXPECT_STREQ(GetChannelIdName(ChannelOrientation), "Orientation");
    EXPECT_STREQ(GetChannelIdName(ChannelPositionZ), "PositionZ");
    EXPECT_STREQ(GetChannelIdName(ChannelSpecularI), "SpecularI");
    EXPECT_STREQ(GetChannelIdName(ChannelFogB), "FogB");
    EXPECT_EQ(GetChannelIdName(0), nullptr);
    EXPECT_EQ(GetChannelIdName(33), nullptr);
    EXPECT_EQ(GetChannelIdName(-1), nullptr);
    for (int32_t id = 1; id < ChannelIdCount; ++id)
        EXPECT_EQ(GetChannelIdFromName(GetChannelIdName(id)), id);
    EXPECT_EQ(GetChannelIdFromName("positionx"), -1);
}

TEST(QuaternionChannelTest, EndsGiveTheEndKeysAndOnlyTheLastSaysOver)
{
    zQuaternionChannel channel;
    zQuaternion q(9.0f, 9.0f, 9.0f, 9.0f);
    EXPECT_FALSE(channel.Evaluate(0.0f, q));
    EXPECT_FLOAT_EQ(q.x, 9.0f);

    ASSERT_TRUE(channel.AllocateKf(3));
    channel.SetKey(0, AboutZ(1.0f, 0.0f));
    channel.SetKey(1, AboutZ(2.0f, HalfPi));
    channel.SetKey(2, AboutZ(4.0f, 2.0f * HalfPi));
    EXPECT_TRUE(channel.Evaluate(0.0f, q));
    EXPECT_FLOAT_EQ(q.w, 1.0f);
    EXPECT_TRUE(channel.Evaluate(1.0f, q));
    EXPECT_FLOAT_EQ(q.w, 1.0f);
    EXPECT_TRUE(channel.Evaluate(3.0f, q));
    EXPECT_NEAR(q.z, std::sin(3.0f * HalfPi / 4.0f), 1e-6f);
    EXPECT_NEAR(q.w, std::cos(3.0f * HalfPi / 4.0f), 1e-6f);
    EXPECT_FALSE(channel.Evaluate(4.0f, q));
    EXPECT_NEAR(q.z, 1.0f, 1e-6f);
    EXPECT_FALSE(channel.Evaluate(7.0f, q));
}

TEST(QuaternionChannelTest, CursorGivesTheSameRotationsAsAFreshScanInAnyTimeOrder)
{
    SeededRandom random(23);
    zQuaternionChannel walked;
    zQuaternionChannel fresh;
    const uint32_t n = 12;
    ASSERT_TRUE(walked.AllocateKf(n));
    ASSERT_TRUE(fresh.AllocateKf(n));
    float time = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        const zQuaternionKey key = AboutZ(time, random.Range(-3.0f, 3.0f));
        walked.SetKey(i, key);
        fresh.SetKey(i, key);
        time += random.Range(0.1f, 1.0f);
    }
    float t = time / 2.0f;
    for (int step = 0; step < 400; ++step) {
        // Small steps either way, and now and then a jump.
        t += step % 37 == 0 ? random.Range(-time, time) : random.Range(-0.4f, 0.4f);
        t = std::fmod(std::fabs(t), time + 0.5f);
        zQuaternion a;
        zQuaternion b;
        const bool ra = walked.Evaluate(t, a);
        fresh.AllocateKf(n);
        for (uint32_t i = 0; i < n; ++i)
            fresh.SetKey(i, walked.GetKeys()[i]);
        const bool rb = fresh.Evaluate(t, b);
        ASSERT_EQ(ra, rb) << "time " << t;
        EXPECT_NEAR(a.x, b.x, 1e-5f) << "time " << t;
        EXPECT_NEAR(a.z, b.z, 1e-5f) << "time " << t;
        EXPECT_NEAR(a.w, b.w, 1e-5f) << "time " << t;
    }
}

TEST(QuaternionChannelTest, OptimizeDropsKeysOnTheArcPassAfterPass)
{
    zQuaternionChannel arc;
    ASSERT_TRUE(arc.AllocateKf(5));
    for (uint32_t i = 0; i < 5; ++i)
        arc.SetKey(i, AboutZ(float(i), 0.25f * HalfPi * float(i)));
    // First pass drops keys 1 and 3, the second the middle of 0, 2, 4.
    EXPECT_EQ(arc.Optimize(1e-4f), 3);
    ASSERT_EQ(arc.GetKeyCount(), 2u);
    EXPECT_FLOAT_EQ(arc.GetKeys()[0].time, 0.0f);
    EXPECT_FLOAT_EQ(arc.GetKeys()[1].time, 4.0f);

    zQuaternionChannel bent;
    ASSERT_TRUE(bent.AllocateKf(4));
    bent.SetKey(0, AboutZ(0.0f, 0.0f));
    bent.SetKey(1, AboutZ(1.0f, 1.0f));
    bent.SetKey(2, AboutZ(2.0f, 0.0f));
    bent.SetKey(3, AboutZ(3.0f, 0.5f));
    // Key 1 is far off the arc from key 0 to 2; key 2 is left over before
    // the last and kept; the last is always kept.
    EXPECT_EQ(bent.Optimize(1e-3f), 0);
    EXPECT_EQ(bent.GetKeyCount(), 4u);
}

struct QChannelCase {
    const char* name;
    const char* text;
    bool ok;
    uint32_t keys;
    const char* message;
};

class QChannelReadTest : public ::testing::TestWithParam<QChannelCase> {};

TEST_P(QChannelReadTest, ReadsOrReportsAndDiscards)
{
    const QChannelCase& c = GetParam();
    LogCapture log;
    auto document = ParseZml(std::string("<ZML=1.0>\n") + c.text + "\n");
    zQuaternionChannel channel;
    EXPECT_EQ(channel.FromMetaTag(document.get(), document->GetFirstRootTag()), c.ok);
    EXPECT_EQ(channel.GetKeyCount(), c.keys);
    if (c.message != nullptr) {
        EXPECT_TRUE(log.Contains(c.message)) << c.message;
    }
}

const QChannelCase QChannelCases[] = {
    {"TwoKeys", "<QChannel=<Kf=<Count=2><Kf=\"0.0:0,0,0,1\"><Kf=\"1.5:0,0,1,0\">>>", true, 2, nullptr},
    {"CountAboveKeys", "<QChannel=<Kf=<Count=3><Kf=\"0.0:0,0,0,1\"><Kf=\"1.5:0,0,1,0\">>>", false, 0,
     "<QChannel> is corrupted, discarding."},
    {"KeysBeyondCount", "<QChannel=<Kf=<Count=1><Kf=\"0.0:0,0,0,1\"><Kf=\"1.5:0,0,1,0\"><Kf=\"2:0,1,0,0\">>>", false, 0,
     "<QChannel> is corrupted, discarding."},
    {"NegativeCount", "<QChannel=<Kf=<Count=-4><Kf=\"0.0:0,0,0,1\">>>", false, 0, "<QChannel> is corrupted, discarding."},
    {"HugeCount", "<QChannel=<Kf=<Count=2000000000><Kf=\"0.0:0,0,0,1\">>>", false, 0,
     "<QChannel> is corrupted, discarding."},
    {"ThreeNumbers", "<QChannel=<Kf=<Count=1><Kf=\"0.0:0,0,1\">>>", false, 0,
     "Mangled keyframe tag while parsing quaternion channel."},
    {"NoColon", "<QChannel=<Kf=<Count=1><Kf=\"0.0,0,0,0,1\">>>", false, 0,
     "Mangled keyframe tag while parsing quaternion channel."},
    {"CountNotFirst", "<QChannel=<Kf=<Kf=\"0.0:0,0,0,1\"><Count=1>>>", false, 0,
     "First sub-tag in <QChannel> must be the keyframe <Count> tag."},
    {"FloatCount", "<QChannel=<Kf=<Count=1.0><Kf=\"0.0:0,0,0,1\">>>", false, 0,
     "First sub-tag in <QChannel> must be the keyframe <Count> tag."},
    {"NumberKeySkipped", "<QChannel=<Kf=<Count=1><Kf=3><Kf=\"0.0:0,0,0,1\">>>", true, 1,
     "Invalid keyframe tag while parsing quaternion channel."},
    {"UnknownChild", "<QChannel=<Other=1>>", true, 0, "Unknown tag 'Other' in <QChannel>."},
    {"WrongRoot", "<Channel=<Kf=<Count=0>>>", false, 0,
     "Could not parse motion quaternion channel. Root tag id is incorrect (Channel)."},
};

INSTANTIATE_TEST_SUITE_P(Cases, QChannelReadTest, ::testing::ValuesIn(QChannelCases),
                         [](const ::testing::TestParamInfo<QChannelCase>& info) { return std::string(info.param.name); });

TEST(QChannelReadTest, KeyValuesAreReadAsWritten)
{
    auto document = ParseZml("<ZML=1.0>\n<QChannel=<Kf=<Count=2><Kf=\"0.25:0.5,-0.5,0.5,-0.5\"><Kf=\"1.5:0,0,1,0\">>>\n");
    zQuaternionChannel channel;
    ASSERT_TRUE(channel.FromMetaTag(document.get(), document->GetFirstRootTag()));
    const zQuaternionKey& k = channel.GetKeys()[0];
    EXPECT_FLOAT_EQ(k.time, 0.25f);
    EXPECT_FLOAT_EQ(k.x, 0.5f);
    EXPECT_FLOAT_EQ(k.y, -0.5f);
    EXPECT_FLOAT_EQ(k.z, 0.5f);
    EXPECT_FLOAT_EQ(k.w, -0.5f);
    EXPECT_FLOAT_EQ(channel.GetKeys()[1].time, 1.5f);

    std::unique_ptr<zMetaTag> written(channel.AsMetaTag());
    ASSERT_NE(written, nullptr);
    const zMetaTag* kf = written->FindChild("Kf");
    ASSERT_NE(kf, nullptr);
    EXPECT_EQ(kf->FindChild("Count")->GetInteger(), 2);
    EXPECT_STREQ(kf->GetFirstChild()->GetNextSibling()->GetString(), "0.250:0.500000,-0.500000,0.500000,-0.500000");
}

TEST(MotionTest, ChannelsListInReverseOfAdditionAndAreFoundByIdAndPosition)
{
    LogCapture log;
    zMotion motion("m");
    AddLinearChannel(motion, ChannelZoom, {{0.5f, 1.0f}, {3.0f, 2.0f}});
    AddLinearChannel(motion, ChannelPositionX, {{-1.0f, 1.0f}, {2.0f, 2.0f}});
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 7.0f}, {1.0f, 7.0f}});
    EXPECT_EQ(ChannelIds(motion), (std::vector<int32_t>{ChannelPositionX, ChannelPositionX, ChannelZoom}));
    EXPECT_EQ(motion.GetChannelCount(), 3);
    EXPECT_FLOAT_EQ(motion.FindChannel(ChannelPositionX)->GetKey(0)->value, 7.0f);
    EXPECT_EQ(motion.FindChannel(ChannelAlpha), nullptr);
    EXPECT_EQ(motion.GetChannelFromPosition(2)->id, ChannelZoom);
    EXPECT_EQ(motion.GetChannelFromPosition(3), nullptr);
    EXPECT_TRUE(log.Contains("Failed to retrieve channel from position."));
    EXPECT_FLOAT_EQ(motion.GetLength(), 3.0f);
    float start = 0.0f;
    float end = 0.0f;
    ASSERT_TRUE(motion.GetTimeRange(start, end));
    EXPECT_FLOAT_EQ(start, -1.0f);
    EXPECT_FLOAT_EQ(end, 3.0f);

    // The rotation channel does not count in the length.
    zMotion spin("spin");
    spin.hasQuaternionChannel = 1;
    spin.quaternionChannel.AllocateKf(2);
    spin.quaternionChannel.SetKey(1, AboutZ(5.0f, 1.0f));
    EXPECT_FLOAT_EQ(spin.GetLength(), 0.0f);
    EXPECT_FALSE(spin.GetTimeRange(start, end));
}

TEST(MotionTest, EvaluatePositionNeedsAllThreeAxesAndCanForceABehaviour)
{
    zMotion motion("path");
    AddLinearChannel(motion, ChannelPositionX, {{0.0f, 0.0f}, {2.0f, 4.0f}});
    AddLinearChannel(motion, ChannelPositionY, {{0.0f, 1.0f}, {2.0f, 3.0f}});
    zVector p(9.0f, 9.0f, 9.0f);
    EXPECT_FALSE(motion.EvaluatePosition(1.0f, p));
    EXPECT_FLOAT_EQ(p.x, 9.0f);
    AddLinearChannel(motion, ChannelPositionZ, {{0.0f, 0.0f}, {2.0f, -2.0f}});
    ASSERT_TRUE(motion.EvaluatePosition(1.0f, p));
    EXPECT_FLOAT_EQ(p.x, 2.0f);
    EXPECT_FLOAT_EQ(p.y, 2.0f);
    EXPECT_FLOAT_EQ(p.z, -1.0f);
    // Past the end: the curves' own Constant holds; Repeat folds back.
    ASSERT_TRUE(motion.EvaluatePosition(2.5f, p));
    EXPECT_FLOAT_EQ(p.x, 4.0f);
    ASSERT_TRUE(motion.EvaluatePosition(2.5f, p, zCurve::Repeat));
    EXPECT_FLOAT_EQ(p.x, 1.0f);
    EXPECT_FLOAT_EQ(p.y, 1.5f);
}

TEST(MotionTest, OptimizeRunsEachCurveUntilNothingGoes)
{
    zMotion motion("line");
    AddLinearChannel(motion, ChannelZoom, {{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 2.0f}, {3.0f, 3.0f}, {4.0f, 4.0f}});
    motion.hasQuaternionChannel = 1;
    motion.quaternionChannel.AllocateKf(3);
    for (uint32_t i = 0; i < 3; ++i)
        motion.quaternionChannel.SetKey(i, AboutZ(float(i), 0.5f * float(i)));
    EXPECT_EQ(motion.Optimize(1e-4f, 1e-4f), 4);
    EXPECT_EQ(motion.FindChannel(ChannelZoom)->GetKeyCount(), 2u);
    EXPECT_EQ(motion.quaternionChannel.GetKeyCount(), 2u);
}

const char* const MotionText = "<ZML=1.0>\n"
                               "<Motion=<Id=\"walk\">\n"
                               " <Channel=<Curve=<Knot=<Count=2><Knot=\"0.0:1.0\"><Knot=\"2.0:3.0\">>"
                               "<PostBehavior=\"Repeat\">><Id=\"PositionX\">>\n"
                               " <Channel=<Curve=<Knot=<Count=2><Knot=\"0.0:5.0\"><Knot=\"1.0:6.0\">>><Id=\"Zoom\">>\n"
                               " <Channel=<Curve=<Knot=<Count=2><Knot=\"0.0:0.0\"><Knot=\"4.0:1.0\">>><Id=\"FogB\">>\n"
                               " <QChannel=<Kf=<Count=2><Kf=\"0.0:0,0,0,1\"><Kf=\"1.0:0,0,1,0\">>>\n"
                               ">\n";

TEST(MotionTagTest, RoundTripReversesTheChannelNodesAndRestoresTheirOrder)
{
    auto document = ParseZml(MotionText);
    zMotion first;
    ASSERT_TRUE(first.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_STREQ(first.GetName().Get(), "walk");
    EXPECT_EQ(ChannelIds(first), (std::vector<int32_t>{ChannelFogB, ChannelZoom, ChannelPositionX}));
    EXPECT_EQ(first.FindChannel(ChannelPositionX)->postBehaviour, zCurve::Repeat);
    EXPECT_EQ(first.hasQuaternionChannel, 1);
    EXPECT_EQ(first.quaternionChannel.GetKeyCount(), 2u);

    std::unique_ptr<zMetaTag> written(first.AsMetaTag());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Id", "Channel", "Channel", "Channel", "QChannel"}));
    EXPECT_STREQ(written->GetFirstChild()->GetNextSibling()->FindChild("Id")->GetString(), "FogB");

    zMotion second;
    ASSERT_TRUE(second.FromMetaTag(nullptr, written.get()));
    EXPECT_STREQ(second.GetName().Get(), "walk");
    EXPECT_EQ(ChannelIds(second), (std::vector<int32_t>{ChannelPositionX, ChannelZoom, ChannelFogB}));
    for (const zChannel* a = first.GetFirstChannel(); a != nullptr; a = a->next) {
        const zChannel* b = second.FindChannel(a->id);
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(a->GetKeyCount(), b->GetKeyCount());
        EXPECT_EQ(a->postBehaviour, b->postBehaviour);
        for (uint32_t k = 0; k < a->GetKeyCount(); ++k) {
            EXPECT_FLOAT_EQ(a->GetKey(k)->time, b->GetKey(k)->time);
            EXPECT_FLOAT_EQ(a->GetKey(k)->value, b->GetKey(k)->value);
        }
    }
    ASSERT_EQ(second.quaternionChannel.GetKeyCount(), 2u);
    EXPECT_FLOAT_EQ(second.quaternionChannel.GetKeys()[1].z, 1.0f);
    EXPECT_FLOAT_EQ(second.quaternionChannel.GetKeys()[1].w, 0.0f);

    // A third generation is written as the first was.
    std::unique_ptr<zMetaTag> again(second.AsMetaTag());
    zMotion third;
    third.FromMetaTag(nullptr, again.get());
    EXPECT_EQ(ChannelIds(third), ChannelIds(first));
}

TEST(MotionTagTest, ReportsWhatItDoesNotKnow)
{
    LogCapture log;
    auto document = ParseZml("<ZML=1.0>\n<Motion=<Colour=1><Channel=<Id=\"Sparkle\"><Speed=2>>>\n<Motions=1>\n");
    zMotion motion("keep");
    ASSERT_TRUE(motion.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("[*] "));
    EXPECT_TRUE(log.Contains("Unknown tag 'Colour' in <Motion>."));
    EXPECT_TRUE(log.Contains("Unknown channel id 'Sparkle'."));
    EXPECT_TRUE(log.Contains("Unknown tag 'Speed' in <Channel>."));
    EXPECT_STREQ(motion.GetName().Get(), "keep");
    ASSERT_EQ(motion.GetChannelCount(), 1);
    EXPECT_EQ(motion.GetFirstChannel()->id, ChannelNone);
    EXPECT_EQ(motion.hasQuaternionChannel, 0);

    EXPECT_FALSE(motion.FromMetaTag(document.get(), document->GetFirstRootTag()->GetNextSibling()));
    EXPECT_TRUE(log.Contains("Could not parse motion, root tag id is incorrect (Motions)."));

    // A channel without a named id is written without "Id".
    std::unique_ptr<zMetaTag> written(motion.GetFirstChannel()->AsMetaTag());
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Curve"}));
    EXPECT_TRUE(log.Contains("Unknown motion channel type (0)."));
}

TEST(MotionTagTest, BrokenRotationChannelStillMarksTheMotion)
{
    auto document = ParseZml("<ZML=1.0>\n<Motion=<QChannel=<Kf=<Count=3><Kf=\"0:0,0,0,1\">>>>\n");
    LogCapture log;
    zMotion motion;
    motion.FromMetaTag(document.get(), document->GetFirstRootTag());
    EXPECT_EQ(motion.hasQuaternionChannel, 1);
    EXPECT_EQ(motion.quaternionChannel.GetKeyCount(), 0u);
}

TEST(HierarchyMotionTagTest, RoundTripKeepsIndexedMotionsAndEmptyEntries)
{
    LogCapture log;
    auto document = ParseZml("<ZML=1.0>\n<HierarchyMotion=<Id=\"run\"><Count=4>\n"
                             " <Entry=<Index=3><Motion=<Id=\"x\"><Channel=<Curve=<Knot=<Count=2><Knot=\"0:0\"><Knot=\"2.5:1\">>>"
                             "<Id=\"RotationX\">>>>\n"
                             " <Entry=<Index=0><Motion=<Channel=<Curve=<Knot=<Count=2><Knot=\"0:0\"><Knot=\"1:1\">>>"
                             "<Id=\"RotationY\">>>>\n"
                             " <Entry=<Index=4><Motion=>>\n"
                             " <Entry=<Motion=>>\n"
                             " <Other=1>\n"
                             ">\n");
    zHierarchyMotion hierarchy;
    ASSERT_TRUE(hierarchy.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("Motion index out of bound."));
    EXPECT_TRUE(log.Contains("Incomplete hierarchy entry tag."));
    EXPECT_STREQ(hierarchy.id.Get(), "run");
    ASSERT_EQ(hierarchy.GetCount(), 4);
    EXPECT_EQ(hierarchy.GetMotion(1), nullptr);
    EXPECT_EQ(hierarchy.GetMotion(2), nullptr);
    ASSERT_NE(hierarchy.GetMotion(3), nullptr);
    EXPECT_STREQ(hierarchy.GetMotion(0)->GetName().Get(), "_");
    EXPECT_FLOAT_EQ(hierarchy.GetLength(), 2.5f);

    std::unique_ptr<zMetaTag> written(hierarchy.AsMetaTag());
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Id", "Count", "Entry", "Entry"}));
    zHierarchyMotion again;
    ASSERT_TRUE(again.FromMetaTag(nullptr, written.get()));
    EXPECT_STREQ(again.id.Get(), "run");
    ASSERT_EQ(again.GetCount(), 4);
    EXPECT_EQ(again.GetMotion(1), nullptr);
    ASSERT_NE(again.GetMotion(0), nullptr);
    ASSERT_NE(again.GetMotion(3), nullptr);
    EXPECT_STREQ(again.GetMotion(3)->GetName().Get(), "x");
    EXPECT_EQ(again.GetMotion(3)->GetFirstChannel()->id, ChannelRotationX);
    EXPECT_FLOAT_EQ(again.GetMotion(3)->GetLength(), 2.5f);
}

TEST(HierarchyMotionTagTest, CountIsRequiredAndBounded)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"<HierarchyMotion=<Id=\"a\">>", "Incomplete hierarchy motion tag."},
        {"<HierarchyMotion=<Id=\"a\"><Count=\"3\">>", "Incomplete hierarchy motion tag."},
        {"<HierarchyMotion=<Id=\"a\"><Count=-1>>", "Incomplete hierarchy motion tag."},
        {"<HierarchyMotion=<Id=\"a\"><Count=2000000000>>", "Failed to allocate motion array."},
        {"<HierarchyMotions=<Count=1>>", "Could not parse hierarchy motion. Root tag id is incorrect (HierarchyMotions)."},
    };
    for (const auto& c : cases) {
        LogCapture log;
        auto document = ParseZml(std::string("<ZML=1.0>\n") + c.text + "\n");
        zHierarchyMotion hierarchy;
        EXPECT_FALSE(hierarchy.FromMetaTag(document.get(), document->GetFirstRootTag())) << c.text;
        EXPECT_TRUE(log.Contains(c.message)) << c.text;
        EXPECT_EQ(hierarchy.GetCount(), 0) << c.text;
    }
    LogCapture log;
    auto document = ParseZml("<ZML=1.0>\n<HierarchyMotion=<Count=0>>\n");
    zHierarchyMotion unnamed;
    EXPECT_TRUE(unnamed.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("Motion has no id."));
}

TEST(MotionPlayerTagTest, FlagsAndMotionsRoundTrip)
{
    LogCapture log;
    auto document = ParseZml("<ZML=1.0>\n<MotionPlayer=<Flag=<PropagateRotation><Other>>\n"
                             " <Motions=<Motion=<Id=\"a\"><Channel=<Curve=<Knot=<Count=2><Knot=\"0:1\"><Knot=\"1:2\">>>"
                             "<Id=\"Zoom\">>><Motion=><Clip=1>>\n"
                             " <Speed=2>\n"
                             ">\n");
    FieldPlayer player;
    player.flags = zMotionPlayer::Paused;
    ASSERT_TRUE(player.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_EQ(player.flags, zMotionPlayer::Paused | zMotionPlayer::PropagateRotation);
    EXPECT_TRUE(log.Contains("Unknown tag 'Clip' in <Motions>."));
    EXPECT_TRUE(log.Contains("Unknown tag 'Speed' in <MotionPlayer>."));
    ASSERT_EQ(player.motions.GetCount(), 2);
    EXPECT_NE(player.motions.FindByName("a"), nullptr);
    EXPECT_NE(player.motions.FindByName("NewMotion"), nullptr);

    std::unique_ptr<zMetaTag> written(player.AsMetaTag());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Flag", "Motions"}));
    EXPECT_EQ(ChildNames(written->FindChild("Flag")), (std::vector<std::string>{"PropagateRotation"}));
    FieldPlayer again;
    ASSERT_TRUE(again.FromMetaTag(nullptr, written.get()));
    EXPECT_EQ(again.flags, zMotionPlayer::PropagateRotation);
    ASSERT_EQ(again.motions.GetCount(), 2);
    const zMotion* a = again.motions.GetAs<zMotion>(0);
    EXPECT_STREQ(a->GetName().Get(), "a");
    ASSERT_EQ(a->GetChannelCount(), 1);
    EXPECT_FLOAT_EQ(a->GetFirstChannel()->GetKey(1)->value, 2.0f);
    EXPECT_STREQ(again.motions.GetAs<zMotion>(1)->GetName().Get(), "NewMotion");
}

TEST(MotionPlayerTagTest, EmptyPlayerWritesNothingAndWrongRootFails)
{
    FieldPlayer player;
    player.flags = zMotionPlayer::Paused;
    EXPECT_EQ(player.AsMetaTag(), nullptr);
    player.SetPropagation(zMotionPlayer::PropagatePosition | zMotionPlayer::PropagateRotation, true);
    std::unique_ptr<zMetaTag> written(player.AsMetaTag());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Flag"}));
    EXPECT_EQ(ChildNames(written->GetFirstChild()), (std::vector<std::string>{"PropagatePosition", "PropagateRotation"}));

    LogCapture log;
    zMetaTag wrong("Player");
    EXPECT_FALSE(player.FromMetaTag(nullptr, &wrong));
    EXPECT_TRUE(log.Contains("Could not parse motion player. Root tag id is incorrect (Player)."));
}

} // namespace
