// Command lists given by scripts end exactly on their targets whatever the
// frame times: the last step of a command runs with all the time it has left,
// even when a frame leaves it less than a millisecond.
#include "SceneScriptFixture.h"

#include "core/item/zItem.h"
#include "core/zad/TavrinGlobals.h"
#include "ui/zWindow.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FrameTimes {
    const char* name;
    // Frame lengths in ticks, repeated in turn.
    std::vector<int32_t> ticks;
};

void PrintTo(const FrameTimes& times, std::ostream* out)
{
    *out << times.name;
}

class CommandListScriptTest : public SceneScriptTest, public ::testing::WithParamInterface<FrameTimes> {
public:
    void TearDown() override
    {
        GlobalFrameDelta = 0;
        SceneScriptTest::TearDown();
    }

    // One frame of the scene as the application runs it: update, then the interface.
    void Frame(int32_t ticks)
    {
        GlobalFrameDelta = ticks;
        scene->Update(zScene::UpdateAll);
        scene->RenderUI(0);
    }

    bool AllDone()
    {
        std::string error;
        EXPECT_TRUE(RunText("done <- AllDone();\n", &error)) << error;
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "done", -1);
        SQBool done = SQFalse;
        if (SQ_SUCCEEDED(sq_get(v, -2)))
            sq_getbool(v, -1, &done);
        sq_settop(v, top);
        return done != SQFalse;
    }

    const zItem& Core(const char* name) const { return *Item(name)->GetCoreItem(); }
};

TEST_P(CommandListScriptTest, CommandsEndOnTheirTargets)
{
    std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/script_scene/commands.nut");
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    ASSERT_TRUE(RunText(text.str(), &error)) << error;

    // The commands last 0.05 s; every schedule gives them 0.1 s at least.
    const std::vector<int32_t>& ticks = GetParam().ticks;
    int32_t elapsed = 0;
    for (size_t i = 0; elapsed < 1000; ++i) {
        Frame(ticks[i % ticks.size()]);
        elapsed += ticks[i % ticks.size()];
    }
    EXPECT_TRUE(AllDone());

    const zItem& p1 = Core("p1");
    EXPECT_EQ(1.0f, p1.position.x);
    EXPECT_EQ(2.0f, p1.position.y);
    EXPECT_EQ(3.0f, p1.position.z);
    EXPECT_EQ(0.25f, p1.alpha);
    const zItem& p2 = Core("p2");
    EXPECT_EQ(2.0f, p2.scale.x);
    EXPECT_EQ(3.0f, p2.scale.y);
    EXPECT_EQ(4.0f, p2.scale.z);
    const zVector offset = p2.offsetMatrix.GetMatrix().GetRow(3);
    EXPECT_EQ(-1.0f, offset.x);
    EXPECT_EQ(5.0f, offset.y);
    EXPECT_EQ(7.0f, offset.z);
    const zItem& p3 = Core("p3");
    EXPECT_FLOAT_EQ(float(M_PI) / 2.0f, p3.rotation.x);
    EXPECT_EQ(0.0f, p3.rotation.y);
    EXPECT_FLOAT_EQ(float(M_PI) / 4.0f, p3.rotation.z);
    // An offset adds its share of each step: all of it once the command ends
    // (p3 starts at x = 2).
    EXPECT_NEAR(12.0f, p3.position.x, 1e-5f);

    const auto* panel = static_cast<const zWindow*>(scene->ui.windows.GetFirst());
    ASSERT_NE(nullptr, panel);
    // At 0 the window is neither drawn nor under the cursor.
    EXPECT_EQ(0.0f, panel->opacity);
    EXPECT_EQ(100.0f, panel->position[0]);
    EXPECT_EQ(50.0f, panel->position[1]);
    EXPECT_EQ(2.0f, panel->scale[0]);
    EXPECT_EQ(3.0f, panel->scale[1]);
    EXPECT_FLOAT_EQ(float(M_PI) / 2.0f, panel->angle);
    EXPECT_EQ(0.75f, scene->ui.fadeAmount);
}

const FrameTimes kFrameTimes[] = {
    {"SixtyHertz", {166}},
    {"UnevenFrames", {333, 162}},
    {"ShortFrames", {7}},
    {"FramesThatFitExactly", {125}},
};

INSTANTIATE_TEST_SUITE_P(Schedules, CommandListScriptTest, ::testing::ValuesIn(kFrameTimes),
                         [](const ::testing::TestParamInfo<FrameTimes>& info) { return std::string(info.param.name); });

} // namespace
