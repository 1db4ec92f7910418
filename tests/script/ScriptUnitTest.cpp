#include "ScriptTestSupport.h"

#include "framework/metafile/zMetaTag.h"
#include "script/SqSafePtr.h"
#include "script/zScriptUnit.h"
#include "support/ZmlText.h"

#include <memory>
#include <ostream>

namespace {

// Native "Describe(handle)": "<kind>:<object address matches>" of a handle.
void* describedObject = nullptr;

SQInteger Describe(HSQUIRRELVM v)
{
    void* object = nullptr;
    if (!SqGetSafePtr(v, 2, &object, 0))
        return sq_suspendvm(v);
    const std::string text = std::to_string(SqGetSafePtrType(v, 2)) + (object == describedObject ? ":same" : ":other");
    sq_pushstring(v, text.c_str(), -1);
    return 1;
}

class ScriptUnit : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        Register("Describe", Describe);
        describedObject = &owner;
        dir.Write("unit.nut", "class Player {\n"
                              "  speed = 0; name = \"\"; ratio = 0.0;\n"
                              "  function OnSetup(owner) { print(\"setup \" + Describe(owner)); }\n"
                              "  function OnUpdate(owner, dt) { print(\"update \" + Describe(owner) + \" \" + dt); }\n"
                              "  function Report(owner) { print(typeof speed + \" \" + speed + \" \" + typeof ratio + "
                              "\" \" + ratio + \" \" + name + \" \" + (\"unknown\" in this)); }\n"
                              "  function Fail(owner) { throw \"callback failed\"; }\n"
                              "  function Recurse(owner) { local r = Recurse(owner); return r; }\n"
                              "  function RecurseThroughNative(owner) {\n"
                              "    local r = [owner].map(RecurseThroughNative.bindenv(this)); return r;\n"
                              "  }\n"
                              "}\n");
    }

    std::unique_ptr<zScriptUnit> NewUnit(const char* script = "unit.nut", const char* className = "Player")
    {
        auto unit = std::make_unique<zScriptUnit>(&master);
        unit->Script = script;
        unit->Class = className;
        unit->SetOwner(&owner, SqPtrItem);
        return unit;
    }

    bool CallMethod(zScriptUnit& unit, const char* name, const HSQOBJECT* cached = nullptr)
    {
        if (!unit.SetupFunctionCall(name, cached))
            return false;
        return unit.DoFunctionCall(0);
    }

    int owner = 0;
};

TEST_F(ScriptUnit, CallsPassTheOwnerHandleFirst)
{
    auto unit = NewUnit();
    ASSERT_TRUE(unit->OpenScriptUnit());
    EXPECT_TRUE(unit->IsOpened());
    const SQInteger top = sq_gettop(v);
    ASSERT_TRUE(unit->SetupFunctionCall("OnUpdate"));
    sq_pushfloat(v, 0.5f);
    ASSERT_TRUE(unit->DoFunctionCall(1));
    EXPECT_EQ(sq_gettop(v), top);

    // A cached member is called the same way.
    HSQOBJECT setup;
    ASSERT_TRUE(unit->GetInstanceMember("OnSetup", setup));
    EXPECT_TRUE(CallMethod(*unit, nullptr, &setup));
    unit->ReleaseMember(setup);
    EXPECT_TRUE(sq_isnull(setup));

    EXPECT_EQ(Text(), "Script unit instantiating class 'Player'.\n"
                      "[S] update 23:same 0.5\n"
                      "[S] setup 23:same\n");
    EXPECT_EQ(master.GetUnitCallCount(), 2);
}

TEST_F(ScriptUnit, AbsentCallbacksAreSilent)
{
    auto unit = NewUnit();
    ASSERT_TRUE(unit->OpenScriptUnit());
    const size_t before = Lines().size();
    const SQInteger top = sq_gettop(v);
    EXPECT_FALSE(unit->SetupFunctionCall("OnCollision"));
    HSQOBJECT member;
    EXPECT_FALSE(unit->GetInstanceMember("OnCollision", member));
    EXPECT_TRUE(sq_isnull(member));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Lines().size(), before);
}

TEST_F(ScriptUnit, ParametersSetExistingMembersOnly)
{
    auto unit = NewUnit();
    unit->AddParameter("speed")->SetInteger(12);
    unit->AddParameter("ratio")->SetFloat(0.25f);
    unit->AddParameter("name")->SetString("hero");
    unit->AddParameter("unknown")->SetInteger(1);
    ASSERT_TRUE(unit->OpenScriptUnit());
    ASSERT_TRUE(CallMethod(*unit, "Report"));
    EXPECT_EQ(Count("[*] zScriptUnit::OpenScriptUnit Warning, instance parameter 'unknown' does not exist."), 1u);
    EXPECT_EQ(Count("[S] integer 12 float 0.25 hero false"), 1u);
}

TEST_F(ScriptUnit, UntypedParameterPushesMinusOne)
{
    auto unit = NewUnit();
    unit->AddParameter("speed");
    ASSERT_TRUE(unit->OpenScriptUnit());
    ASSERT_TRUE(CallMethod(*unit, "Report"));
    EXPECT_EQ(Count("[!] zScriptUnit::OpenScriptUnit Instance parameter 'speed' type is invalid."), 1u);
    EXPECT_EQ(Count("[S] integer -1 "), 1u);
}

TEST_F(ScriptUnit, UnitWithoutClassOpensAndNeverCalls)
{
    auto unit = NewUnit("unit.nut", "");
    EXPECT_TRUE(unit->OpenScriptUnit());
    EXPECT_TRUE(unit->IsClosed());
    EXPECT_FALSE(unit->SetupFunctionCall("OnSetup"));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(ScriptUnit, UndeclaredClassFailsAndStaysClosed)
{
    auto unit = NewUnit("unit.nut", "Nobody");
    EXPECT_FALSE(unit->OpenScriptUnit());
    EXPECT_EQ(Count("[!] zScriptUnit::OpenScriptUnit Failed to create class instance."), 1u);
    EXPECT_TRUE(unit->IsClosed());
    EXPECT_FALSE(unit->SetupFunctionCall("OnSetup"));
    auto missing = NewUnit("missing.nut");
    EXPECT_FALSE(missing->OpenScriptUnit());
}

TEST_F(ScriptUnit, RuntimeErrorStopsEveryUnit)
{
    auto first = NewUnit();
    auto second = NewUnit();
    ASSERT_TRUE(first->OpenScriptUnit());
    ASSERT_TRUE(second->OpenScriptUnit());
    GlobalLog.VerbosityMask = 0;
    EXPECT_FALSE(CallMethod(*first, "Fail"));
    EXPECT_EQ(Count("[|]     Error: callback failed"), 1u);
    EXPECT_EQ(Count("[|]     -> In function Fail() ('unit.nut', Line 6)."), 1u);
    // The error line itself is filtered at verbosity 0, the block is not.
    EXPECT_EQ(Count("Function call failed."), 0u);
    EXPECT_FALSE(first->SetupFunctionCall("OnSetup"));
    EXPECT_FALSE(second->SetupFunctionCall("OnSetup"));
    EXPECT_EQ(Count("[S] setup"), 0u);
}

// Every runtime error of a callback goes through the handler, the stack running
// out included: the error block with its message and call stack, and no unit
// calls anything afterwards.
struct CallbackError {
    const char* name;
    const char* method;
    const char* message;
    const char* innermost;
};

void PrintTo(const CallbackError& error, std::ostream* os)
{
    *os << error.name;
}

class ScriptUnitError : public ScriptUnit, public ::testing::WithParamInterface<CallbackError> {};

TEST_P(ScriptUnitError, IsReportedAndStopsEveryUnit)
{
    const CallbackError& error = GetParam();
    auto first = NewUnit();
    auto second = NewUnit();
    ASSERT_TRUE(first->OpenScriptUnit());
    ASSERT_TRUE(second->OpenScriptUnit());
    const SQInteger top = sq_gettop(v);
    EXPECT_FALSE(CallMethod(*first, error.method));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Count("[|] VM runtime error, execution stopped."), 1u) << Text();
    EXPECT_EQ(Count(std::string("[|]     Error: ") + error.message), 1u) << Text();
    EXPECT_EQ(Count(std::string("[|]     -> In function ") + error.innermost), 1u) << Text();
    EXPECT_EQ(Count("[!] zScriptUnit::DoFunctionCall Function call failed."), 1u);
    EXPECT_FALSE(master.IsOk());
    EXPECT_FALSE(first->SetupFunctionCall("OnSetup"));
    EXPECT_FALSE(second->SetupFunctionCall("OnSetup"));
}

INSTANTIATE_TEST_SUITE_P(
    Callbacks, ScriptUnitError,
    ::testing::Values(CallbackError{"Throw", "Fail", "callback failed", "Fail() ('unit.nut', Line 6)."},
                      CallbackError{"StackOverflow", "Recurse", "stack overflow", "Recurse() ('unit.nut', Line 7)."},
                      CallbackError{"NativeStackOverflow", "RecurseThroughNative", "Native stack overflow",
                                    "RecurseThroughNative() ('unit.nut', Line 9)."}),
    [](const ::testing::TestParamInfo<CallbackError>& info) { return std::string(info.param.name); });

TEST_F(ScriptUnit, FailedCallIsLogged)
{
    auto unit = NewUnit();
    ASSERT_TRUE(unit->OpenScriptUnit());
    const SQInteger top = sq_gettop(v);
    EXPECT_FALSE(CallMethod(*unit, "Fail"));
    EXPECT_EQ(Count("[!] zScriptUnit::DoFunctionCall Function call failed."), 1u);
    EXPECT_EQ(sq_gettop(v), top);
}

TEST_F(ScriptUnit, CloseReleasesTheInstance)
{
    dir.Write("count.nut", "class Counted { constructor() { ::alive <- (\"alive\" in getroottable() ? alive : 0) + 1; }"
                           " function _release() {} }\n");
    auto unit = NewUnit();
    ASSERT_TRUE(unit->OpenScriptUnit());
    HSQOBJECT instance = unit->GetInstance();
    EXPECT_EQ(sq_getrefcount(v, &instance), 1u);
    unit->CloseScriptUnit();
    EXPECT_TRUE(unit->IsClosed());
    EXPECT_FALSE(unit->IsOpened());
    EXPECT_FALSE(unit->SetupFunctionCall("OnSetup"));
    // A unit that outlives its VM does not touch it.
    ASSERT_TRUE(unit->OpenScriptUnit());
    master.StopVM();
    unit.reset();
}

std::string Serialise(const zMetaTag* tag)
{
    std::string text;
    EXPECT_TRUE(zMetaParser::SaveTag(text, nullptr, tag, 0));
    return text;
}

TEST_F(ScriptUnit, TagRoundTripAndAppend)
{
    const char* text = "<ZML=1.0>\n"
                       "<ScriptUnit=\n"
                       "  <Script=\"unit.nut\">\n"
                       "  <Class=\"Player\">\n"
                       "  <ParmList=\n"
                       "    <Parm=<Id=\"speed\"><Value=3>>\n"
                       "    <Parm=<Id=\"ratio\"><Value=1.5>>\n"
                       "    <Parm=<Id=\"name\"><Value=\"x\">>\n"
                       "    <Parm=<Id=\"half\">>\n"
                       "  >\n"
                       "  <Colour=1>\n"
                       ">\n";
    auto document = ParseZml(text);
    zScriptUnit unit(&master);
    ASSERT_TRUE(unit.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_STREQ(unit.Script.Get(), "unit.nut");
    EXPECT_STREQ(unit.Class.Get(), "Player");
    EXPECT_EQ(unit.GetParameters().GetCount(), 3);
    EXPECT_EQ(Count("[*] zScriptUnit::FromMetaTag Incomplete script parameter declaration ignored."), 1u);
    EXPECT_EQ(Count("[*] zScriptUnit::FromMetaTag Unknown tag 'Colour' in <ScriptUnit>."), 1u);

    auto* ratio = unit.GetParameters().GetAs<zScriptParameter>(1);
    EXPECT_EQ(ratio->GetType(), zScriptParameter::Float);
    EXPECT_FLOAT_EQ(ratio->GetFloat(), 1.5f);

    std::unique_ptr<zMetaTag> written(unit.AsMetaTag());
    ASSERT_NE(written, nullptr);
    zScriptUnit copy(&master);
    ASSERT_TRUE(copy.FromMetaTag(nullptr, written.get()));
    std::unique_ptr<zMetaTag> rewritten(copy.AsMetaTag());
    EXPECT_EQ(Serialise(written.get()), Serialise(rewritten.get()));

    // Reading again appends the parameters again.
    ASSERT_TRUE(copy.FromMetaTag(nullptr, written.get()));
    EXPECT_EQ(copy.GetParameters().GetCount(), 6);
}

TEST_F(ScriptUnit, TagErrorsAndEmptyUnit)
{
    zScriptUnit unit(&master);
    EXPECT_EQ(unit.AsMetaTag(), nullptr);
    zMetaTag wrong("Script");
    EXPECT_FALSE(unit.FromMetaTag(nullptr, &wrong));
    EXPECT_EQ(Count("[!] zScriptUnit::FromMetaTag Could not parse script unit. Root tag id is incorrect (Script)."),
              1u);
    // An untyped parameter is written without a value.
    unit.AddParameter("plain");
    std::unique_ptr<zMetaTag> tag(unit.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    const zMetaTag* parm = tag->GetTag("ParmList:Parm;");
    ASSERT_NE(parm, nullptr);
    EXPECT_NE(parm->FindChild("Id"), nullptr);
    EXPECT_EQ(parm->FindChild("Value"), nullptr);
}

} // namespace
