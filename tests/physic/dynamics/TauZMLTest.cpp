#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "physic/dynamics/TauConstraint.h"
#include "support/LogCapture.h"
#include "TauTestWorld.h"
#include "support/ZmlText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Writes the tag as text and reads it back as a document.
std::unique_ptr<zMetaFile> ThroughText(zMetaTag* tag)
{
    zMetaFile document;
    document.AddRootTag(tag);
    std::string text;
    EXPECT_TRUE(zMetaParser::SaveText(&document, text));
    return ParseZml(text);
}

// Two bodies with UIDs 101 and 102 to hang constraints on.
class TauZMLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = world.AddSphere(0.5f, zVector(0.0f, 0.0f, 0.0f), 1.0f);
        b = world.AddSphere(0.5f, zVector(2.0f, 0.0f, 0.0f), 1.0f);
    }
    TestWorld world;
    SceneBody* a = nullptr;
    SceneBody* b = nullptr;
};

TEST_F(TauZMLTest, WorldAndEveryConstraintKindRoundTrip)
{
    Tau& tau = world.tau;
    tau.ContactIteration = 12;
    tau.ConstraintIteration = 8;
    tau.SleepDelay = 5;
    tau.SetFrequency(60.0f);
    const zVector hookA(0.5f, 0.0f, 0.0f);
    const zVector hookB(-0.5f, 0.25f, 0.0f);
    auto* distance = new TauDistanceConstraint(&tau, &a->body, &b->body, &hookA, &hookB, 1.0f, 2.5f);
    distance->id.Assign("rope");
    distance->Strength = 0.5f;
    distance->MaxErrorCorrection = 3.0f;
    tau.AddConstraint(distance);
    tau.AddConstraint(new TauPositionConstraint(&tau, &a->body, nullptr, nullptr, &hookB, 5));
    const zVector axis(0.0f, 1.0f, 0.0f);
    auto* hinge = new TauHingeConstraint(&tau, nullptr, &b->body, nullptr, nullptr, &axis);
    hinge->Enable = 0;
    tau.AddConstraint(hinge);
    tau.AddConstraint(new TauVelocityConstraint(&tau, &b->body, nullptr, nullptr, 24));

    auto document = ThroughText(tau.AsMetaTag(nullptr, &world));
    EXPECT_EQ(ChildNames(document->GetFirstRootTag()),
              (std::vector<std::string>{"ContactIteration", "ConstraintIteration", "SleepDelay", "Frequency",
                                        "DistanceConstraint", "PositionConstraint", "HingeConstraint",
                                        "VelocityConstraint"}));

    // The group outlives the world, as the scene's groups outlive its physics.
    std::vector<TauConstraint*> group;
    TestWorld other;
    other.AddSphere(0.5f, zVector(0.0f, 0.0f, 0.0f), 1.0f);
    other.AddSphere(0.5f, zVector(2.0f, 0.0f, 0.0f), 1.0f);
    LogCapture capture;
    ASSERT_TRUE(other.tau.FromMetaTag(&other, document.get(), document->GetFirstRootTag(), nullptr, &group));
    EXPECT_TRUE(capture.lines.empty()) << capture.lines.front();
    const Tau& read = other.tau;
    EXPECT_EQ(read.ContactIteration, 12u);
    EXPECT_EQ(read.ConstraintIteration, 8u);
    EXPECT_EQ(read.SleepDelay, 5);
    EXPECT_EQ(read.Frequency, 60.0f);
    ASSERT_EQ(read.constraints.GetCount(), 4);
    EXPECT_EQ(group.size(), 4u);

    auto* d = read.constraints.GetAs<TauDistanceConstraint>(0);
    EXPECT_EQ(d->type, TauConstraint::TypeDistance);
    EXPECT_STREQ(d->id.Get(), "rope");
    EXPECT_EQ(d->Enable, 1);
    EXPECT_EQ(d->Min, 1.0f);
    EXPECT_EQ(d->Max, 2.5f);
    EXPECT_EQ(d->Strength, 0.5f);
    EXPECT_EQ(d->MaxErrorCorrection, 3.0f);
    EXPECT_EQ(d->anchor, &other.bodies[0]->body);
    EXPECT_EQ(d->target, &other.bodies[1]->body);
    EXPECT_EQ(d->AnchorHook.x, 0.5f);
    EXPECT_EQ(d->TargetHook.y, 0.25f);

    auto* p = read.constraints.GetAs<TauPositionConstraint>(1);
    EXPECT_EQ(p->Dof, 5);
    EXPECT_EQ(p->target, nullptr);
    auto* h = read.constraints.GetAs<TauHingeConstraint>(2);
    EXPECT_EQ(h->Enable, 0);
    EXPECT_EQ(h->Axis.y, 1.0f);
    EXPECT_EQ(h->first.target, &other.bodies[1]->body);
    auto* v = read.constraints.GetAs<TauVelocityConstraint>(3);
    EXPECT_EQ(v->Mask, 24);
    EXPECT_EQ(v->anchor, &other.bodies[1]->body);
}

TEST_F(TauZMLTest, LaterIterationKeysOverrideEarlierOnes)
{
    auto document = ParseZml("<ZML=1.0>\n<Tau=<IterationCount=8> <ContactIteration=12> <Gravity=3>>\n");
    LogCapture capture;
    ASSERT_TRUE(world.tau.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr, nullptr));
    EXPECT_EQ(world.tau.ContactIteration, 12u);
    EXPECT_EQ(world.tau.ConstraintIteration, 8u);
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(TauZMLTest, BadCountsAndRatesKeepTheOldValues)
{
    const char* texts[] = {
        "<ZML=1.0>\n<Tau=<ContactIteration=12.5> <ConstraintIteration=\"many\"> <Frequency=0>>\n",
        "<ZML=1.0>\n<Tau=<ContactIteration=-3> <ConstraintIteration=2000000000> <Frequency=-75.0>>\n",
        "<ZML=1.0>\n<Tau=<IterationCount=<X=1>> <Frequency=\"fast\">>\n",
    };
    for (const char* text : texts) {
        auto document = ParseZml(text);
        LogCapture capture;
        ASSERT_TRUE(world.tau.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr, nullptr));
        EXPECT_EQ(world.tau.ContactIteration, 16u) << text;
        EXPECT_EQ(world.tau.ConstraintIteration, 16u) << text;
        EXPECT_EQ(world.tau.Frequency, 75.0f) << text;
        EXPECT_TRUE(capture.Contains("Invalid iteration count")) << text;
        EXPECT_TRUE(capture.Contains("Invalid frequency")) << text;
    }
}

TEST_F(TauZMLTest, WrongRootChangesNothing)
{
    auto document = ParseZml("<ZML=1.0>\n<Tao=<ContactIteration=3>>\n");
    LogCapture capture;
    EXPECT_FALSE(world.tau.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr, nullptr));
    EXPECT_EQ(world.tau.ContactIteration, 16u);
    EXPECT_TRUE(capture.Contains("could not parse physic system. Root tag id is incorrect (Tao).\n"));
    TauItem body(nullptr);
    EXPECT_FALSE(body.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(capture.Contains("Could not parse Physic item. Root tag id is incorrect (Tao).\n"));
    TauDistanceConstraint c(nullptr, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f);
    EXPECT_FALSE(c.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr));
    EXPECT_TRUE(capture.Contains("could not parse distance constraint. Root tag id is incorrect (Tao).\n"));
}

TEST_F(TauZMLTest, RemappedUidsAreBoundsChecked)
{
    const int32_t uids[] = {102, 101};
    const TauUidRemap remap{uids, 2};
    struct Case {
        const char* anchor;
        TauItem* expected;
    } cases[] = {
        {"0", &b->body}, {"1", &a->body}, {"2", nullptr}, {"-1", nullptr}, {"1.0", nullptr}, {"\"a\"", nullptr},
    };
    for (const Case& c : cases) {
        world.tau.Clear(false);
        auto document = ParseZml(std::string("<ZML=1.0>\n<Tau=<DistanceConstraint=<Constraint=<Anchor=") + c.anchor +
                              ">>>>\n");
        ASSERT_TRUE(world.tau.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), &remap, nullptr));
        ASSERT_EQ(world.tau.constraints.GetCount(), 1);
        EXPECT_EQ(world.tau.constraints.GetAs<TauConstraint>(0)->anchor, c.expected) << c.anchor;
    }
}

TEST_F(TauZMLTest, ConstraintWithoutEnableReadsDisabledAndUnknownKeysWarn)
{
    auto document = ParseZml("<ZML=1.0>\n<HingeConstraint=<Min=1> <Constraint=<Id=\"door\"> <Colour=2>>>\n");
    TauHingeConstraint c(&world.tau, nullptr, nullptr, nullptr, nullptr, nullptr);
    LogCapture capture;
    EXPECT_TRUE(c.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr));
    EXPECT_EQ(c.Enable, 0);
    EXPECT_STREQ(c.id.Get(), "door");
    EXPECT_TRUE(capture.Contains("Unexpected <Min> sub-tag in <HingeConstraint>.\n"));
    EXPECT_TRUE(capture.Contains("Unexpected <Colour> sub-tag in <Constraint>.\n"));
}

TEST_F(TauZMLTest, AngularConstraintTagRoundTrips)
{
    TauAngularConstraint c(&world.tau, 3);
    c.Strength = 0.25f;
    auto document = ThroughText(c.AsMetaTag(nullptr, &world));
    TauAngularConstraint read(&world.tau, 0);
    ASSERT_TRUE(read.FromMetaTag(&world, document.get(), document->GetFirstRootTag(), nullptr));
    EXPECT_EQ(read.Dof, 3);
    EXPECT_EQ(read.Strength, 0.25f);
    EXPECT_EQ(read.Enable, 1);
}

TEST(TauItemZML, EveryFieldRoundTrips)
{
    TauItem body(nullptr);
    body.Mode = TauItem::ModeRigid | TauItem::ModeSoft;
    body.Flag = TauItem::FlagNoGravity | TauItem::FlagGhost;
    body.Mass = 3.0f;
    body.inverseInertiaTensor.Set(1.0f, 0.5f, 0.0f, 0.5f, 2.0f, 0.0f, 0.0f, 0.0f, 3.0f);
    body.Pivot = zVector(0.0f, 0.5f, -1.0f);
    body.SetLinearThreshold(0.01f);
    body.AngularThreshold = 0.002f;
    body.LinearDamping = 0.9f;
    body.AngularDamping = 0.8f;
    body.GravityScale = -1.0f;
    auto document = ThroughText(body.AsMetaTag());
    TauItem read(nullptr);
    LogCapture capture;
    ASSERT_TRUE(read.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(read.Mode, 3u);
    EXPECT_EQ(read.Flag, 9u);
    EXPECT_EQ(read.Mass, 3.0f);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(read.inverseInertiaTensor.m[i], body.inverseInertiaTensor.m[i]) << i;
    EXPECT_EQ(read.Pivot.z, -1.0f);
    EXPECT_FLOAT_EQ(read.LinearThreshold, 0.0001f);
    EXPECT_EQ(read.AngularThreshold, 0.002f);
    EXPECT_EQ(read.LinearDamping, 0.9f);
    EXPECT_EQ(read.AngularDamping, 0.8f);
    EXPECT_EQ(read.GravityScale, -1.0f);
}

TEST(TauItemZML, DefaultsWriteNoModeFlagOrMass)
{
    TauItem body(nullptr);
    std::unique_ptr<zMetaTag> tag(body.AsMetaTag());
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"ITensor", "Pivot", "LinearThreshold", "AngularThreshold", "LinearDamping",
                                        "AngularDamping", "GravityScale"}));
}

TEST(TauItemZML, UnknownChildWarnsAndTheRestIsRead)
{
    auto document = ParseZml("<ZML=1.0>\n<TauItem=<Damping=0.5> <Mode=<Rigid><Fluid>> <GravityScale=2> <Mass=\"x\">>\n");
    TauItem body(nullptr);
    body.Flag = 4;
    LogCapture capture;
    ASSERT_TRUE(body.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(capture.Contains("Unknown tag 'Damping' in <TauItem>.\n"));
    EXPECT_EQ(body.Mode, 1u);
    EXPECT_EQ(body.Flag, 0u);
    EXPECT_EQ(body.GravityScale, 2.0f);
    EXPECT_EQ(body.Mass, -999.0f);
}

} // namespace
