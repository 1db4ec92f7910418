// The engine's VM (a started script master with every binding registered),
// running the case tables of the scripts under tests/data/script_math/ and
// checking each case's outcome against values the test computes with the
// math library.
#pragma once

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>
#include <squirrel.h>

#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindMath.h"
#include "script/zScriptMaster.h"
#include "support/LogCapture.h"

// What a case must give: a value of one of these kinds, or a script error text.
struct zScriptError {
    std::string text;
};
// "Missing index" errors come from the VM; only their start is checked.
struct zScriptErrorStart {
    std::string text;
};
struct zScriptNull {};
using zExpected = std::variant<zVector, zMatrix3, zMatrix4, float, bool, int, std::string, zScriptError,
                               zScriptErrorStart, zScriptNull>;

struct zCaseCheck {
    const char* name;
    zExpected expected;
};

class MathScriptTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(master.StartVM());
        v = master.GetVM();
        SqRegisterBindings(v);
    }

    void TearDown() override
    {
        for (auto& [name, outcome] : outcomes)
            sq_release(v, &outcome.value);
        outcomes.clear();
        master.StopVM();
    }

    // Runs a script text with the root table as `this`; the error text on failure.
    bool RunText(const std::string& source, std::string* error = nullptr)
    {
        const SQInteger top = sq_gettop(v);
        bool ok = SQ_SUCCEEDED(sq_compilebuffer(v, source.c_str(), static_cast<SQInteger>(source.size()), "test", SQTrue));
        if (ok) {
            sq_pushroottable(v);
            ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQFalse));
        }
        if (!ok && error)
            *error = LastError();
        sq_settop(v, top);
        return ok;
    }

    // Loads the script (from tests/data/<folder>/), then calls every function
    // of its root-table "cases" table on its own and keeps what each returned
    // or raised.
    void RunCases(const char* file, const char* folder = "script_math")
    {
        std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/" + folder + "/" + file);
        ASSERT_TRUE(in.good()) << file;
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        ASSERT_TRUE(RunText(text.str(), &error)) << file << ": " << error;

        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "cases", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2))) << file << " has no cases table";
        sq_pushnull(v);
        std::vector<std::pair<std::string, HSQOBJECT>> functions;
        while (SQ_SUCCEEDED(sq_next(v, -2))) {
            const SQChar* name = "";
            sq_getstring(v, -2, &name);
            HSQOBJECT fn;
            sq_getstackobj(v, -1, &fn);
            sq_addref(v, &fn);
            functions.emplace_back(name, fn);
            sq_pop(v, 2);
        }
        sq_settop(v, top);

        for (auto& [name, fn] : functions) {
            Outcome outcome;
            sq_resetobject(&outcome.value);
            sq_pushobject(v, fn);
            sq_pushroottable(v);
            if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse))) {
                sq_getstackobj(v, -1, &outcome.value);
                sq_addref(v, &outcome.value);
            } else {
                outcome.raised = true;
                outcome.error = LastError();
            }
            sq_settop(v, top);
            sq_release(v, &fn);
            outcomes.emplace(name, outcome);
        }
    }

    // Every case of the script must be checked and every check must name a case.
    void CheckAll(const std::vector<zCaseCheck>& checks)
    {
        std::set<std::string> checked;
        for (const zCaseCheck& check : checks) {
            SCOPED_TRACE(check.name);
            checked.insert(check.name);
            auto found = outcomes.find(check.name);
            if (found == outcomes.end()) {
                ADD_FAILURE() << "no case named " << check.name;
                continue;
            }
            CheckOutcome(found->second, check.expected);
        }
        for (const auto& [name, outcome] : outcomes)
            EXPECT_TRUE(checked.count(name)) << "case " << name << " is not checked";
    }

    // A root-table Vector of the script, as the test's input.
    zVector Global(const char* name)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        zVector out(NAN, NAN, NAN, NAN);
        if (SQ_SUCCEEDED(sq_get(v, -2))) {
            if (zVector* p = SqGetVectorInstance(v, -1))
                out = *p;
        }
        sq_settop(v, top);
        return out;
    }

    zMatrix3 GlobalMatrix3(const char* name)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        zMatrix3 out;
        out.m[0] = NAN;
        if (SQ_SUCCEEDED(sq_get(v, -2))) {
            if (zMatrix3* p = SqGetMatrix3Instance(v, -1))
                out = *p;
        }
        sq_settop(v, top);
        return out;
    }

    zMatrix4 GlobalMatrix4(const char* name)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        zMatrix4 out;
        out.m[0] = NAN;
        if (SQ_SUCCEEDED(sq_get(v, -2))) {
            if (zMatrix4* p = SqGetMatrix4Instance(v, -1))
                out = *p;
        }
        sq_settop(v, top);
        return out;
    }

    std::string LastError()
    {
        sq_getlasterror(v);
        const SQChar* s = nullptr;
        std::string out = SQ_SUCCEEDED(sq_getstring(v, -1, &s)) ? s : "<not a string>";
        sq_pop(v, 1);
        return out;
    }

    zScriptMaster master;
    HSQUIRRELVM v = nullptr;

private:
    struct Outcome {
        bool raised = false;
        std::string error;
        HSQOBJECT value;
    };

    static void ExpectSameFloat(float expected, float actual, const char* what)
    {
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(actual)) << what << " = " << actual;
        else
            EXPECT_FLOAT_EQ(expected, actual) << what;
    }

    void CheckOutcome(const Outcome& outcome, const zExpected& expected)
    {
        if (const auto* error = std::get_if<zScriptError>(&expected)) {
            EXPECT_TRUE(outcome.raised);
            EXPECT_EQ(error->text, outcome.error);
            return;
        }
        if (const auto* start = std::get_if<zScriptErrorStart>(&expected)) {
            EXPECT_TRUE(outcome.raised);
            EXPECT_EQ(0u, outcome.error.rfind(start->text, 0)) << outcome.error;
            return;
        }
        ASSERT_FALSE(outcome.raised) << "raised: " << outcome.error;
        sq_pushobject(v, outcome.value);
        const SQObjectType type = sq_gettype(v, -1);
        if (std::holds_alternative<zScriptNull>(expected)) {
            EXPECT_EQ(OT_NULL, type);
        } else if (const auto* vec = std::get_if<zVector>(&expected)) {
            const zVector* got = SqGetVectorInstance(v, -1);
            EXPECT_NE(nullptr, got) << "not a Vector";
            if (got) {
                ExpectSameFloat(vec->x, got->x, "x");
                ExpectSameFloat(vec->y, got->y, "y");
                ExpectSameFloat(vec->z, got->z, "z");
                ExpectSameFloat(vec->w, got->w, "w");
            }
        } else if (const auto* m3 = std::get_if<zMatrix3>(&expected)) {
            const zMatrix3* got = SqGetMatrix3Instance(v, -1);
            EXPECT_NE(nullptr, got) << "not a Matrix3";
            for (int i = 0; got && i < 9; ++i)
                ExpectSameFloat(m3->m[i], got->m[i], ("m" + std::to_string(i)).c_str());
        } else if (const auto* m4 = std::get_if<zMatrix4>(&expected)) {
            const zMatrix4* got = SqGetMatrix4Instance(v, -1);
            EXPECT_NE(nullptr, got) << "not a Matrix4";
            for (int i = 0; got && i < 16; ++i)
                ExpectSameFloat(m4->m[i], got->m[i], ("m" + std::to_string(i)).c_str());
        } else if (const auto* f = std::get_if<float>(&expected)) {
            SQFloat got = NAN;
            EXPECT_EQ(OT_FLOAT, type);
            sq_getfloat(v, -1, &got);
            ExpectSameFloat(*f, got, "value");
        } else if (const auto* b = std::get_if<bool>(&expected)) {
            SQBool got = SQFalse;
            EXPECT_EQ(OT_BOOL, type);
            sq_getbool(v, -1, &got);
            EXPECT_EQ(*b, got != SQFalse);
        } else if (const auto* i = std::get_if<int>(&expected)) {
            SQInteger got = -12345;
            EXPECT_EQ(OT_INTEGER, type);
            sq_getinteger(v, -1, &got);
            EXPECT_EQ(*i, got);
        } else if (const auto* s = std::get_if<std::string>(&expected)) {
            const SQChar* got = "";
            EXPECT_EQ(OT_STRING, type);
            sq_getstring(v, -1, &got);
            EXPECT_EQ(*s, got);
        }
        sq_pop(v, 1);
    }

    std::map<std::string, Outcome> outcomes;
};

inline zMatrix4 Matrix4FromRows(const zVector& r0, const zVector& r1, const zVector& r2, const zVector& r3)
{
    zMatrix4 m;
    m.SetRow(0, r0);
    m.SetRow(1, r1);
    m.SetRow(2, r2);
    m.SetRow(3, r3);
    return m;
}
