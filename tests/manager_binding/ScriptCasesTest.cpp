// Script-facing behaviour: each tests/data/script/<name>.nut runs through the
// engine's VM with every binding registered, and the log it produces (code
// locations left out) followed by the master's state must equal <name>.out.
#include "BindingTestSupport.h"

#include "bfgt/picture/zPicture.h"

#include <fstream>
#include <sstream>

namespace {

int handleTarget = 0;

// TestHandle(kind): a borrowed handle of that kind to a live object.
SQInteger TestHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, &handleTarget, kind);
    return 1;
}

// TestNullHandle(kind): a handle of that kind without an object.
SQInteger TestNullHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, nullptr, kind);
    return 1;
}

// TestNeed(handle, kind): fetches the handle as a native function does.
SQInteger TestNeed(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 3, &kind);
    void* object = nullptr;
    if (!SqGetSafePtr(v, 2, &object, kind))
        return sq_suspendvm(v);
    sq_pushbool(v, object != nullptr);
    return 1;
}

// TestPicture(): a managed Picture handle owning a new picture.
SQInteger TestPicture(HSQUIRRELVM v)
{
    SqPushSafePtr(v, new zPicture, SqPtrPicture, true);
    return 1;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScriptCase : public BindingFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        BindingFixture::SetUp();
        Register("TestHandle", TestHandle, "tn");
        Register("TestNullHandle", TestNullHandle, "tn");
        Register("TestNeed", TestNeed, "t.n");
        Register("TestPicture", TestPicture, "t");
    }
};

TEST_P(ScriptCase, PrintsExpectedLog)
{
    const std::string name = GetParam();
    const std::string source = ReadFile(std::string(TAVRIN_TEST_DATA) + "/script/" + name + ".nut");
    const std::string expected = ReadFile(std::string(TAVRIN_TEST_DATA) + "/script/" + name + ".out");
    ASSERT_FALSE(source.empty());
    const bool loaded = Load(name + ".nut", source);
    std::string state = std::string("[test] loaded=") + (loaded ? "true" : "false") +
                        " ok=" + (master.IsOk() ? "true" : "false") +
                        " vm=" + (sq_getvmstate(v) == SQ_VMSTATE_SUSPENDED ? "suspended" : "idle") + "\n";
    EXPECT_EQ(Text() + state, expected);
}

const char* const kCases[] = {
    "arithmetic", "division_by_zero", "handles", "wrong_kind", "not_a_handle", "assert",
    "parameter_checks", "constants", "shell", "managed", "runtime_error", "print_long", "path_wrong_kind",
};

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace
