#include "CoreTestSupport.h"
#include "support/LogCapture.h"

#include "core/object/zObject.h"
#include "core/geometry/zGeometry.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"
#include "core/sound/zNullMixer.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

class FrameCycleTest : public ::testing::Test {
protected:
    FrameClockFixture clock;
};

int endOfFrameCalls = 0;
std::vector<std::string>* hookLog = nullptr;

void CountEndOfFrame()
{
    ++endOfFrameCalls;
    if (hookLog != nullptr)
        hookLog->push_back("Hook");
}

// A committed object that the stack takes: a geometry set up on the renderer.
struct PushableObject {
    explicit PushableObject(Tavrin* core) : geometry(core), object(core)
    {
        geometry.rendererData = &geometry;
        object.geometry = &geometry;
    }
    zGeometry geometry;
    zObject object;
};

TEST_F(FrameCycleTest, ConstructionMakesTheNullRendererAndMixerCurrentAndOnlyRecordsTheClock)
{
    GlobalClock = 0;
    Tavrin core;
    ASSERT_NE(core.renderer, nullptr);
    EXPECT_EQ(core.renderer, core.defaultRenderer);
    EXPECT_STREQ(core.renderer->GetName(), "Null Renderer.");
    ASSERT_NE(core.mixer, nullptr);
    EXPECT_EQ(core.mixer, core.defaultMixer);
    EXPECT_EQ(GlobalFrameDelta, 0);
    EXPECT_EQ(GlobalRawFrameDelta, 0);
    EXPECT_EQ(GlobalClock, 0);
    EXPECT_EQ(GlobalClockLastTime, 1000);
    EXPECT_STREQ(GetVersionString(), "1.1.7");
}

TEST_F(FrameCycleTest, HundredsOfFramesOnTheNullRendererAndMixerKeepClockAndDepthExact)
{
    endOfFrameCalls = 0;
    GlobalEndOfFrameHook = CountEndOfFrame;
    Tavrin core;
    zNullRenderer* renderer = static_cast<zNullRenderer*>(core.renderer);
    renderer->AllocateItemStack(8);
    PushableObject pushed(&core);

    int64_t expectedClock = 0;
    for (int frame = 0; frame < 300; ++frame) {
        const uint32_t elapsed = 150 + uint32_t(frame % 37);
        core.BeginDraw(true);
        ASSERT_EQ(GlobalDrawDepth, 1);
        renderer->PushObject(&pushed.object);
        if (frame % 3 == 0) {
            // A nested bracket, as a layered project draws one scene inside another.
            core.BeginDraw(false);
            ASSERT_EQ(GlobalDrawDepth, 2);
            renderer->PushObject(&pushed.object);
            core.EndDraw(false, true);
            ASSERT_EQ(GlobalDrawDepth, 1);
            ASSERT_EQ(renderer->itemStackCount, 2);
        }
        FrameClockFixture::ticks += elapsed;
        core.EndDraw(false, false);
        ASSERT_EQ(GlobalDrawDepth, 0);
        ASSERT_EQ(renderer->itemStackCount, 0);
        expectedClock += elapsed;
        ASSERT_EQ(GlobalFrameDelta, int32_t(elapsed)) << "frame " << frame;
        ASSERT_EQ(GlobalRawFrameDelta, int32_t(elapsed));
        ASSERT_EQ(GlobalClock, expectedClock);
        ASSERT_EQ(endOfFrameCalls, frame + 1);
    }
    EXPECT_EQ(renderer->statistics[zRenderer::StatObjectsSent], 400u);

    // The same cycle against a renderer that counts its frames.
    RecordingRenderer counting(&core, true);
    for (int frame = 0; frame < 200; ++frame) {
        core.BeginDraw(true);
        if (frame % 4 == 0) {
            core.BeginDraw(false);
            core.BeginDraw(false);
            core.EndDraw(false, false);
            core.EndDraw(false, false);
        }
        FrameClockFixture::ticks += 166;
        core.EndDraw(false, false);
        ASSERT_EQ(GlobalDrawDepth, 0);
    }
    EXPECT_EQ(counting.Count("BeginFrame"), 200);
    EXPECT_EQ(counting.Count("EndFrame"), 200);
    EXPECT_EQ(counting.Count("Present"), 200);
    EXPECT_EQ(endOfFrameCalls, 500);
    EXPECT_EQ(GlobalClock, expectedClock + 200 * 166);
    EXPECT_EQ(GlobalFrameDelta, 166);
}

TEST_F(FrameCycleTest, OnlyTheOuterBracketRunsTheFrameInOrder)
{
    std::vector<std::string> log;
    hookLog = &log;
    GlobalEndOfFrameHook = CountEndOfFrame;
    // Outlives the mixer, which deletes the interface.
    int deletions = 0;
    Tavrin core;
    RecordingRenderer renderer(&core, true, &log);
    RecordingMixer mixer(&core, true, &log);
    // A streamed channel makes the mixer's update visible in the log.
    mixer.channels[5].streamInterface = new FakeStreamInterface(&mixer, 5, &deletions);
    renderer.AllocateItemStack(4);
    PushableObject pushed(&core);

    core.BeginDraw(false);
    core.BeginDraw(false);
    renderer.PushObject(&pushed.object);
    FrameClockFixture::ticks += 100;
    core.EndDraw(false, false);
    EXPECT_EQ(renderer.itemStackCount, 0) << "every end empties the stack";
    EXPECT_EQ(GlobalClock, 0) << "an inner end does not advance the clock";
    EXPECT_EQ((std::vector<std::string>{"BeginFrame"}), log);

    core.EndDraw(false, false);
    EXPECT_EQ((std::vector<std::string>{"BeginFrame", "EndFrame", "StreamRefill 5", "Present", "Hook"}), log);
    EXPECT_EQ(GlobalClock, 100);
    EXPECT_EQ(GlobalDrawDepth, 0);
    hookLog = nullptr;
}

TEST_F(FrameCycleTest, ForcedEndInsideANestedBracketRunsTheWholeSequenceAndKeepsTheDepth)
{
    Tavrin core;
    RecordingRenderer renderer(&core, true);
    core.BeginDraw(false);
    core.BeginDraw(false);
    FrameClockFixture::ticks += 50;
    core.EndDraw(true, false);
    EXPECT_EQ(GlobalDrawDepth, 1);
    EXPECT_EQ(renderer.Count("EndFrame"), 1);
    EXPECT_EQ(renderer.Count("Present"), 1);
    EXPECT_EQ(GlobalFrameDelta, 50);
    core.EndDraw(false, false);
    EXPECT_EQ(GlobalDrawDepth, 0);
    EXPECT_EQ(renderer.Count("Present"), 2);
}

TEST_F(FrameCycleTest, RetainedItemStackSurvivesTheEndOfTheFrame)
{
    Tavrin core;
    core.renderer->AllocateItemStack(4);
    PushableObject pushed(&core);
    core.BeginDraw(false);
    core.renderer->PushObject(&pushed.object);
    core.EndDraw(false, true);
    EXPECT_EQ(core.renderer->itemStackCount, 1);
}

TEST_F(FrameCycleTest, AnUnmatchedEndIsReportedAndTheDepthStaysAtZero)
{
    Tavrin core;
    RecordingRenderer renderer(&core, true);
    LogCapture capture;
    core.EndDraw(false, false);
    EXPECT_EQ(GlobalDrawDepth, 0);
    EXPECT_TRUE(capture.Contains("[*] Tavrin::EndDraw"));
    EXPECT_TRUE(capture.Contains("EndDraw() called without a matching BeginDraw()."));
    EXPECT_EQ(renderer.Count("Present"), 0) << "no frame was begun";

    // The next frame still begins and ends normally.
    core.BeginDraw(false);
    core.EndDraw(false, false);
    EXPECT_EQ(renderer.Count("BeginFrame"), 1);
    EXPECT_EQ(renderer.Count("Present"), 1);
    EXPECT_EQ(GlobalDrawDepth, 0);
}

TEST_F(FrameCycleTest, DestroyingTheCoreWithAnOpenBracketWarnsOnceAndReleasesEverything)
{
    LogCapture capture;
    {
        Tavrin core;
        core.GetTextures().Append(new zTexture(&core, "a.tga"));
        core.GetGeometries().Append(new zGeometry(&core, "a.zml"));
        core.BeginDraw(false);
        core.BeginDraw(false);
    }
    int warnings = 0;
    for (const std::string& line : capture.lines)
        warnings += line.find("Not all BeginDraw() were closed by calling EndDraw().") != std::string::npos;
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(capture.Contains("[*] Tavrin::~Tavrin"));
}

TEST_F(FrameCycleTest, DeleteAllResourcesEmptiesTheThreeCachesOfTheCurrentSet)
{
    Tavrin core;
    core.GetTextures().Append(new zTexture(&core, "t"));
    core.GetGeometries().Append(new zGeometry(&core, "g"));
    core.GetSounds().Append(new zResource(&core, "s"));
    core.DeleteAllResources();
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
    EXPECT_EQ(core.GetGeometries().GetCount(), 0);
    EXPECT_EQ(core.GetSounds().GetCount(), 0);
}

TEST_F(FrameCycleTest, DeletingTheCurrentRendererOrMixerPutsTheDefaultBack)
{
    Tavrin core;
    auto* renderer = new RecordingRenderer(&core, true);
    auto* mixer = new RecordingMixer(&core, true);
    EXPECT_EQ(core.renderer, renderer);
    EXPECT_EQ(core.mixer, mixer);
    delete renderer;
    delete mixer;
    EXPECT_EQ(core.renderer, core.defaultRenderer);
    EXPECT_EQ(core.mixer, core.defaultMixer);

    // Built without the flag: never current, and its end changes nothing.
    auto* other = new RecordingRenderer(&core, false);
    EXPECT_EQ(core.renderer, core.defaultRenderer);
    delete other;
    EXPECT_EQ(core.renderer, core.defaultRenderer);
}

TEST_F(FrameCycleTest, DeletingTheDefaultsLeavesNoCurrentRendererOrMixer)
{
    Tavrin core;
    RecordingRenderer current(&core, true);
    delete core.defaultRenderer;
    core.defaultRenderer = nullptr;
    EXPECT_EQ(core.renderer, nullptr) << "the core is going: nothing is current";

    delete core.defaultMixer;
    core.defaultMixer = nullptr;
    EXPECT_EQ(core.mixer, nullptr);
}

// Clock cases: the globals set, then the ticks of each frame and the expected
// delta and clock after it.
struct ClockCase {
    const char* name;
    int32_t scale;
    int32_t fixedStep;
    int32_t frequency;
    uint32_t elapsed;
    int32_t expectedDelta;
    int32_t expectedClockStep;
};

const ClockCase clockCases[] = {
    {"RealTime", 1000, -1, -1, 200, 200, 200},
    {"HalfSpeed", 500, -1, -1, 200, 100, 100},
    {"Stopped", 0, -1, -1, 200, 0, 0},
    {"TruncatedTowardZero", 1500, -1, -1, 3, 4, 4},
    {"BackwardsKeepsDeltaAtZero", -1000, -1, -1, 200, 0, -200},
    {"BackwardsTruncatedTowardZero", -1500, -1, -1, 3, 0, -4},
    {"FixedStepIgnoresMeasuredTime", 1000, 166, -1, 500, 166, 166},
    {"FixedStepIsScaled", 500, 166, -1, 500, 83, 83},
    // Five minutes of stall: 1000 x 3000000 does not fit 32 bits.
    {"LongStallAtRealTime", 1000, -1, -1, 3000000, 3000000, 3000000},
    {"FastClockLongFrame", 1000000, -1, -1, 3000, 3000000, 3000000},
    {"HugeProductIsClamped", std::numeric_limits<int32_t>::max(), -1, -1, 1u << 20,
     std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()},
};

void PrintTo(const ClockCase& c, std::ostream* out)
{
    *out << c.name;
}

class FrameClockCaseTest : public ::testing::TestWithParam<ClockCase> {
protected:
    FrameClockFixture clock;
};

TEST_P(FrameClockCaseTest, DeltaAndClockFollowScaleAndStep)
{
    const ClockCase& c = GetParam();
    GlobalClockScale = c.scale;
    GlobalFixedFrameStep = c.fixedStep;
    GlobalFixedFrameFrequency = c.frequency;
    LogCapture capture;
    UpdateFrameClock();
    EXPECT_EQ(GlobalClock, 0);
    FrameClockFixture::ticks += c.elapsed;
    UpdateFrameClock();
    EXPECT_EQ(GlobalFrameDelta, c.expectedDelta);
    EXPECT_EQ(GlobalRawFrameDelta, int32_t(c.elapsed));
    EXPECT_EQ(GlobalClock, c.expectedClockStep);
    EXPECT_TRUE(capture.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameClockCaseTest, ::testing::ValuesIn(clockCases),
                         [](const ::testing::TestParamInfo<ClockCase>& info) { return info.param.name; });

TEST_F(FrameCycleTest, TheClockSaturatesInsteadOfWrappingNegative)
{
    UpdateFrameClock();
    GlobalClock = std::numeric_limits<int32_t>::max() - 10;
    FrameClockFixture::ticks += 100;
    UpdateFrameClock();
    EXPECT_EQ(GlobalClock, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(GlobalFrameDelta, 100);
}

TEST_F(FrameCycleTest, TheTickCounterWrapsAround)
{
    FrameClockFixture::ticks = 0xFFFFFF00u;
    UpdateFrameClock();
    FrameClockFixture::ticks += 0x200;
    UpdateFrameClock();
    EXPECT_EQ(GlobalFrameDelta, 0x200);
    EXPECT_EQ(GlobalClock, 0x200);
}

TEST_F(FrameCycleTest, FixedStepDriftCorrectionAddsWholeUnits)
{
    GlobalFixedFrameStep = 166;
    GlobalFixedFrameFrequency = 60;
    UpdateFrameClock();
    // The first update already accumulates the drift.
    EXPECT_EQ(GlobalClockDrift, 66666);
    LogCapture capture;
    FrameClockFixture::ticks += 1;
    UpdateFrameClock();
    EXPECT_EQ(GlobalFrameDelta, 167);
    EXPECT_EQ(GlobalClockDrift, 33332);
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0], "Applying clock correction of 1 units.\n");

    FrameClockFixture::ticks += 1;
    UpdateFrameClock();
    EXPECT_EQ(GlobalFrameDelta, 166);
    EXPECT_EQ(GlobalClockDrift, 99998);
    FrameClockFixture::ticks += 1;
    UpdateFrameClock();
    EXPECT_EQ(GlobalFrameDelta, 167);
    EXPECT_EQ(GlobalClock, 166 + 167 + 166 + 167 - 166) << "the first update only recorded the time";
}

TEST_F(FrameCycleTest, DriftOfLongStepsNeitherOverflowsNorCorrectsDownward)
{
    // Three seconds per step at one frame per second: the step's nanoseconds
    // do not fit 32 bits and the drift runs negative.
    GlobalFixedFrameStep = 30000;
    GlobalFixedFrameFrequency = 1;
    UpdateFrameClock();
    EXPECT_EQ(GlobalClockDrift, -2000000000);
    FrameClockFixture::ticks += 1;
    UpdateFrameClock();
    EXPECT_EQ(GlobalClockDrift, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(GlobalFrameDelta, 30000);
}

TEST_F(FrameCycleTest, DriftCorrectionCatchesAStepFarBelowTheFramePeriod)
{
    // One tick per frame at one frame per second: the correction makes up the second.
    GlobalFixedFrameStep = 1;
    GlobalFixedFrameFrequency = 1;
    UpdateFrameClock();
    LogCapture capture;
    for (int frame = 0; frame < 5; ++frame) {
        FrameClockFixture::ticks += 10000;
        UpdateFrameClock();
        ASSERT_EQ(GlobalFrameDelta, 10000);
    }
    EXPECT_EQ(GlobalClock, 50000);
    EXPECT_TRUE(capture.Contains("Applying clock correction of 9999 units."));
}

TEST_F(FrameCycleTest, ResetFrameClockSetsASixtiethAndMeasuresFromNow)
{
    Tavrin core;
    FrameClockFixture::ticks += 5000;
    core.BeginDraw(false);
    core.EndDraw(false, false);
    FrameClockFixture::ticks += 123456;
    ResetFrameClock();
    EXPECT_EQ(GlobalFrameDelta, 166);
    EXPECT_EQ(GlobalClock, 5000);
    FrameClockFixture::ticks += 170;
    core.BeginDraw(false);
    core.EndDraw(false, false);
    EXPECT_EQ(GlobalFrameDelta, 170);
    EXPECT_EQ(GlobalClock, 5170);
}

TEST_F(FrameCycleTest, MemoryLayoutListsTheMachineAndCoreTypes)
{
    LogCapture capture;
    DumpMemoryLayout(false);
    const std::vector<std::string> machine = {
        "Machine memory layout:\n",      "\n",
        "    sizeof(bool) = 1\n",        "    sizeof(char) = 1\n",
        "    sizeof(short) = 2\n",       "    sizeof(int) = 4\n",
        "    sizeof(float) = 4\n",       "\n",
        "\n",                            "Compiled with 6 logical texture stage(s), 3 UV set(s).\n",
        "\n",
    };
    EXPECT_EQ(capture.lines, machine);

    capture.lines.clear();
    DumpMemoryLayout(true);
    EXPECT_TRUE(capture.Contains("Core memory layout:"));
    EXPECT_TRUE(capture.Contains("    sizeof(zVector) = 16\n"));
    EXPECT_TRUE(capture.Contains("    sizeof(zMatrix3) = 36\n"));
    EXPECT_TRUE(capture.Contains("    sizeof(zMatrix4) = 64\n"));
    EXPECT_TRUE(capture.Contains("    sizeof(zMinMax) = 32\n"));
    EXPECT_TRUE(capture.Contains("    sizeof(Tavrin) = "));
    EXPECT_TRUE(capture.Contains("    sizeof(zItem) = "));
    EXPECT_TRUE(capture.Contains("    sizeof(zSound) = "));
}

} // namespace
