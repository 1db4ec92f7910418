// Runs a script of tests/data/script_families/ through the engine's VM (every
// binding registered) and checks each function of its "cases" table: what
// it returned, shown as text, and a line the log must hold after it ran.
#pragma once

#include "BindingTestSupport.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct zFamilyCase {
    const char* name;
    // The result as text: integers and floats as printed by "%g"-like
    // formatting, bools "true"/"false", strings as they are, null "null".
    const char* result;
    // A text one of the log lines written by the case must contain; empty for
    // a case that must log nothing (garbage-collection lines aside).
    const char* log = "";
};

class FamilyCaseFixture : public BindingFixture {
protected:
    // Loads the script file (the top level runs), then calls every case.
    void RunCases(const std::string& file)
    {
        std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/script_families/" + file, std::ios::binary);
        ASSERT_TRUE(in.good()) << file;
        std::stringstream text;
        text << in.rdbuf();
        ASSERT_TRUE(Load(file, text.str())) << Text();

        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "cases", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2))) << file << " has no cases table";
        std::vector<std::pair<std::string, HSQOBJECT>> functions;
        sq_pushnull(v);
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
            const size_t before = Lines().size();
            Outcome outcome;
            sq_pushobject(v, fn);
            sq_pushroottable(v);
            if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse))) {
                outcome.result = Show(-1);
            } else {
                sq_getlasterror(v);
                outcome.result = "error: " + Show(-1);
                sq_pop(v, 1);
            }
            sq_settop(v, top);
            sq_release(v, &fn);
            const std::vector<std::string> lines = Lines();
            outcome.log.assign(lines.begin() + long(before), lines.end());
            outcomes[name] = outcome;
            if (sq_getvmstate(v) == SQ_VMSTATE_SUSPENDED)
                ADD_FAILURE() << "case " << name << " suspended the VM";
        }
    }

    void CheckAll(const std::vector<zFamilyCase>& checks)
    {
        std::map<std::string, bool> checked;
        for (const zFamilyCase& check : checks) {
            SCOPED_TRACE(check.name);
            checked[check.name] = true;
            auto found = outcomes.find(check.name);
            if (found == outcomes.end()) {
                ADD_FAILURE() << "no case named " << check.name;
                continue;
            }
            EXPECT_EQ(check.result, found->second.result);
            std::string joined;
            bool seen = false;
            for (const std::string& line : found->second.log) {
                seen = seen || (*check.log != '\0' && line.find(check.log) != std::string::npos);
                // Handles released on the way are reported; that is not the case's output.
                if (line.rfind("[|] Garbage collected: ", 0) == 0)
                    continue;
                joined += line + "\n";
            }
            if (*check.log == '\0')
                EXPECT_EQ("", joined);
            else
                EXPECT_TRUE(seen) << "log lacks '" << check.log << "':\n" << joined;
        }
        for (const auto& [name, outcome] : outcomes)
            EXPECT_TRUE(checked.count(name)) << "case " << name << " is not checked";
    }

    // The value at idx as text.
    std::string Show(SQInteger idx)
    {
        switch (sq_gettype(v, idx)) {
        case OT_NULL:
            return "null";
        case OT_BOOL: {
            SQBool b = SQFalse;
            sq_getbool(v, idx, &b);
            return b ? "true" : "false";
        }
        case OT_INTEGER: {
            SQInteger i = 0;
            sq_getinteger(v, idx, &i);
            return std::to_string(i);
        }
        case OT_FLOAT: {
            SQFloat f = 0;
            sq_getfloat(v, idx, &f);
            std::ostringstream out;
            out << f;
            return out.str();
        }
        case OT_STRING: {
            const SQChar* s = "";
            sq_getstring(v, idx, &s);
            return s;
        }
        default:
            return "<" + std::string(SqTypeName(sq_gettype(v, idx))) + ">";
        }
    }

private:
    struct Outcome {
        std::string result;
        std::vector<std::string> log;
    };
    std::map<std::string, Outcome> outcomes;
};
