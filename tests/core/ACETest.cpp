#include "support/LogCapture.h"

#include "core/ace/zACEManager.h"
#include "core/ace/zACEUnit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A unit that records every command it runs as "update code slice".
class RecordingUnit : public zACEUnit {
public:
    bool ExecCommand(zACECommand* command, float slice) override
    {
        if (command != nullptr) {
            char text[64];
            std::snprintf(text, sizeof text, "%d %d %.3f", update, command->code, double(slice));
            runs.emplace_back(text);
            slices.push_back(slice);
            if (command->code >= 0)
                parameters.push_back({command->parameters[0], command->parameters[1], command->parameters[2]});
        }
        return zACEUnit::ExecCommand(command, slice);
    }

    int update = 0;
    std::vector<std::string> runs;
    std::vector<float> slices;
    std::vector<std::vector<float>> parameters;
};

// The vocabulary a scene defines for its items.
class ACETest : public ::testing::Test {
protected:
    ACETest()
    {
        manager.DefineACECommand("toposition", 0, 3);
        manager.DefineACECommand("offsetposition", 1, 3);
        manager.DefineACECommand("tooffset", 2, 3);
        manager.DefineACECommand("toscale", 3, 3);
        manager.DefineACECommand("torotation", 4, 3);
        manager.DefineACECommand("toalpha", 5, 1);
    }

    void Run(float step, int updates)
    {
        for (int i = 0; i < updates; ++i) {
            ++unit.update;
            unit.Update(step);
        }
    }

    zACEManager manager;
    RecordingUnit unit;
};

struct CompileCase {
    const char* text;
    int32_t result;
    // The error's message, or null when the text compiles.
    const char* error;
};

const CompileCase compileCases[] = {
    {"", 0, nullptr},
    {"  \t\r\n // only a comment\n", 0, nullptr},
    {"toalpha 1.0, 0.5;", 2, nullptr},
    {"toalpha 1.0, 0.5", -1, "Mangled ACE command list."},
    {"toalpha 1.0", -1, "Mangled ACE command list."},
    {"toalpha 1.0, 0.5, 0.2;", -1, "ACE command 'toalpha' takes 1 parameter(s), found 2."},
    {"toalpha 1.0;", -1, "ACE command 'toalpha' takes 1 parameter(s), found 0."},
    {"toalpha 1.0, 1, 2, 3, 4;", -1, "ACE compiled with 3 command parameter(s) maximum."},
    {"toposition 1.0, -2, 0, 0;", 2, nullptr},
    {"toposition -1.0, 0, 0, 0;", -1, "Expected ',' in ACE list declaration."},
    {"toalpha 1.0 0.5;", -1, "Expected ',' in ACE list declaration."},
    {"toalpha 1.0, 0.5 ; toalpha 2.0,", -1, "Expected ACE command parameter following ','."},
    {"toalpha 1.0,  \n ", -1, "Expected ACE command parameter following ','."},
    {"fly 1.0;", -1, "Undefined ACE command 'fly'."},
    {"Toalpha 1.0, 1;", -1, "Undefined ACE command 'Toalpha'."},
    {"toalpha", -1, "No duration for ACE command 'toalpha'."},
    {"toalpha /* soon */  ", -1, "No duration for ACE command 'toalpha'."},
    {"toalpha 1.0, 0.5;;", -1, "Undefined ACE command ''."},
    {"+toalpha 1.0, 0.5;", -1, "Undefined ACE command ''."},
    {"toalpha 1, (0.5);", -1, "Expected ',' in ACE list declaration."},
    {"/* a */ toalpha /* b */ 1.0 , 0.5 ; // end", 2, nullptr},
    {"nop 1; loop 0.01; next 0.01;", 6, nullptr},
    {"toposition 2.0, 1, 0, 5 + toalpha 2.0, 0.5; loop 0.01; torotation 1.0, 0, 90, 0; next 0.01;", 9, nullptr},
    {"toalpha 1, 0.5 + toalpha 1, 0.25 + nop 2;", 4, nullptr},
};

TEST_F(ACETest, CompilesTextsOrReportsWhyNot)
{
    for (const CompileCase& c : compileCases) {
        SCOPED_TRACE(c.text);
        LogCapture capture;
        unit.update = 0;
        unit.runs.clear();
        EXPECT_EQ(manager.LoadACECommandList(c.text, &unit), c.result);
        if (c.error == nullptr) {
            EXPECT_TRUE(capture.lines.empty());
            EXPECT_EQ(unit.commands.GetCount(), c.result);
            EXPECT_EQ(unit.current, unit.commands.GetHead());
        } else {
            ASSERT_EQ(capture.lines.size(), 1u);
            EXPECT_EQ(capture.lines[0].rfind("[!] zACEManager::LoadACECommandList (", 0), 0u) << capture.lines[0];
            EXPECT_TRUE(capture.Contains(std::string(c.error) + "\n")) << capture.lines[0];
            // A failed list never runs.
            EXPECT_EQ(unit.current, nullptr);
            Run(1.0f, 2);
            EXPECT_TRUE(unit.runs.empty());
        }
    }
}

TEST_F(ACETest, AFailedListKeepsWhatWasCompiledWithoutRunningIt)
{
    EXPECT_EQ(manager.LoadACECommandList("toalpha 1.0, 0.5; toscale 1.0, 1; nop 1;", &unit), -1);
    // toalpha, its separator, and the toscale that failed.
    EXPECT_EQ(unit.commands.GetCount(), 3);
    EXPECT_EQ(unit.commands.GetHead()->code, 5);
    EXPECT_FALSE(unit.IsRunning());
}

TEST_F(ACETest, NullTextOrUnitIsAnError)
{
    LogCapture capture;
    EXPECT_EQ(manager.LoadACECommandList(nullptr, &unit), -1);
    EXPECT_TRUE(capture.Contains("Cannot load a null command list."));
    EXPECT_EQ(manager.LoadACECommandList("toalpha 1.0, 0.5;", nullptr), -1);
    EXPECT_EQ(capture.lines.size(), 2u);
}

TEST_F(ACETest, CompiledCommandsCarryCodeDurationAndParameters)
{
    ASSERT_EQ(manager.LoadACECommandList("toposition 2.5, 1, -0.5, 5 + toalpha 0, 0.25; nop 1;", &unit), 5);
    const zACECommand* c = unit.commands.GetHead();
    EXPECT_EQ(c->code, 0);
    EXPECT_EQ(c->duration, 2.5f);
    EXPECT_EQ(c->remaining, 2.5f);
    EXPECT_EQ(c->parameters[0], 1.0f);
    EXPECT_EQ(c->parameters[1], -0.5f);
    EXPECT_EQ(c->parameters[2], 5.0f);
    c = c->GetNext();
    EXPECT_EQ(c->code, 5);
    EXPECT_EQ(c->duration, 0.001f) << "durations below 0.001 become 0.001";
    EXPECT_EQ(c->parameters[0], 0.25f);
    EXPECT_EQ(c->parameters[1], 0.0f);
    c = c->GetNext();
    EXPECT_EQ(c->code, ACECodeSeparator);
    EXPECT_EQ(c->GetNext()->code, ACECodeNop);
}

struct TimingCase {
    const char* name;
    const char* text;
    float step;
    int updates;
    // "update code slice" of every command run, in order.
    std::vector<std::string> runs;
    bool runningAfter;
};

const std::vector<TimingCase>& TimingCases()
{
    static const std::vector<TimingCase> cases = {
        {"JoinedCommandsRunTogetherAndTheGroupLastsAsLongAsTheLongest",
         "toalpha 2.0, 0.5 + toscale 1.0, 1, 2, 3; nop 0.5;", 0.5f, 6,
         {"1 5 0.500", "1 3 0.500", "2 5 0.500", "2 3 0.500", "3 5 0.500", "4 5 0.500", "5 -1 0.500"}, false},
        {"TheLastSliceIsWhatRemains", "toalpha 1.0, 1;", 0.3f, 5,
         {"1 5 0.300", "2 5 0.300", "3 5 0.300", "4 5 0.100"}, false},
        {"AZeroDurationStillRunsOnce", "toalpha 0, 1;", 0.1f, 3, {"1 5 0.001"}, false},
        {"ALoopRepeatsForEver", "loop 0.01; toalpha 1.0, 0; next 0.01;", 0.5f, 10,
         {"1 -3 0.010", "2 5 0.500", "3 5 0.500", "4 -4 0.010", "5 -3 0.010", "6 5 0.500", "7 5 0.500",
          "8 -4 0.010", "9 -3 0.010", "10 5 0.500"},
         true},
        {"NextWithoutALoopEndsTheList", "toalpha 0.5, 1; next 0.01; toalpha 0.5, 0;", 1.0f, 4,
         {"1 5 0.500", "2 -4 0.010"}, false},
        {"ALoopStartsWhereItIs", "toalpha 0.5, 1; loop 0.01; toscale 0.5, 1, 1, 1; next 0.01;", 1.0f, 8,
         {"1 5 0.500", "2 -3 0.010", "3 3 0.500", "4 -4 0.010", "5 -3 0.010", "6 3 0.500", "7 -4 0.010",
          "8 -3 0.010"},
         true},
        {"LoopAndNextInOneGroupRearmEachUpdate", "loop 0.01 + toalpha 1.0, 1 + next 0.01;", 0.25f, 3,
         {"1 -3 0.010", "1 5 0.250", "1 -4 0.010", "2 -3 0.010", "2 5 0.250", "2 -4 0.010", "3 -3 0.010",
          "3 5 0.250", "3 -4 0.010"},
         true},
    };
    return cases;
}

TEST_F(ACETest, CommandListsRunOverTime)
{
    for (const TimingCase& c : TimingCases()) {
        SCOPED_TRACE(c.name);
        RecordingUnit fresh;
        ASSERT_GT(manager.LoadACECommandList(c.text, &fresh), 0);
        for (int i = 0; i < c.updates; ++i) {
            ++fresh.update;
            fresh.Update(c.step);
        }
        EXPECT_EQ(fresh.runs, c.runs);
        EXPECT_EQ(fresh.IsRunning(), c.runningAfter);
    }
}

// A step that would leave a command 1 ms or less, which never runs, takes that
// rest as well, so the slices add up to the duration; the group still ends on
// the update after and the next one starts on the update after that.
TEST_F(ACETest, TheLastStepTakesWhatWouldBeTooLittleToRun)
{
    ASSERT_GT(manager.LoadACECommandList("toalpha 0.05, 0; toalpha 0.05, 1;", &unit), 0);
    Run(0.0166f, 5);
    EXPECT_EQ(unit.runs, (std::vector<std::string>{"1 5 0.017", "2 5 0.017", "3 5 0.017", "5 5 0.017"}));
    ASSERT_EQ(unit.slices.size(), 4u);
    EXPECT_EQ(unit.slices[2], 0.05f - 0.0166f - 0.0166f);
    EXPECT_TRUE(unit.IsRunning());
}

TEST_F(ACETest, CommandsSeeTheirParameters)
{
    ASSERT_EQ(manager.LoadACECommandList("toalpha 1, 0.5 + toscale 1, 1, 2, 3;", &unit), 3);
    Run(1.0f, 1);
    ASSERT_EQ(unit.parameters.size(), 2u);
    EXPECT_EQ(unit.parameters[0], (std::vector<float>{0.5f, 0.0f, 0.0f}));
    EXPECT_EQ(unit.parameters[1], (std::vector<float>{1.0f, 2.0f, 3.0f}));
}

TEST_F(ACETest, RecompilingReplacesTheListAndForgetsTheLoop)
{
    ASSERT_EQ(manager.LoadACECommandList("loop 0.01; toalpha 1, 0; next 0.01;", &unit), 6);
    Run(1.0f, 1);
    EXPECT_NE(unit.loopStart, nullptr);
    ASSERT_EQ(manager.LoadACECommandList("toalpha 1, 1;", &unit), 2);
    EXPECT_EQ(unit.loopStart, nullptr);
    EXPECT_EQ(unit.commands.GetCount(), 2);
    unit.ResetCommandList();
    EXPECT_EQ(unit.commands.GetCount(), 0);
    EXPECT_FALSE(unit.IsRunning());
    unit.runs.clear();
    Run(1.0f, 1);
    EXPECT_TRUE(unit.runs.empty());
}

TEST_F(ACETest, TheVocabularyKeepsNegativeCodesAndFindsTheFirstDefinition)
{
    LogCapture capture;
    EXPECT_FALSE(manager.DefineACECommand("rewind", -5, 0));
    EXPECT_TRUE(capture.Contains("[!] zACEManager::DefineACECommand"));
    EXPECT_TRUE(capture.Contains("Negative command codes are reserved."));
    EXPECT_EQ(manager.FindCommand(zString("rewind")), nullptr);

    EXPECT_TRUE(manager.DefineACECommand("toalpha", 9, 2));
    EXPECT_EQ(manager.LoadACECommandList("toalpha 1, 0.5;", &unit), 2);
    EXPECT_EQ(unit.commands.GetHead()->code, 5);

    const zACECommandDefinition* next = manager.FindCommand(zString("next"));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->code, ACECodeNext);
    EXPECT_EQ(next->parameterCount, 0);
}

TEST(ACEUnitTest, BaseExecutionOfBuiltInAndUnknownCodes)
{
    zACEUnit unit;
    zACECommand command;
    EXPECT_FALSE(unit.ExecCommand(nullptr, 1.0f));
    command.code = ACECodeNop;
    EXPECT_FALSE(unit.ExecCommand(&command, 0.0f));
    EXPECT_TRUE(unit.ExecCommand(&command, 0.5f));
    command.code = 42;
    EXPECT_TRUE(unit.ExecCommand(&command, 0.5f));

    LogCapture capture;
    command.code = ACECodeSeparator;
    EXPECT_TRUE(unit.ExecCommand(&command, 0.5f));
    EXPECT_TRUE(capture.Contains("[*] zACEUnit::ExecCommand"));
    EXPECT_TRUE(capture.Contains("ACE unit is executing exec opcode (?!)."));
}

} // namespace
