// Native calls take a short path when script code calls them directly and the general one
// otherwise (tail calls fall back to it, .call/.acall, host calls); both must give the
// same results, errors, depth limits and stack effects. The C API's inline argument
// readers must answer exactly as their full forms.
#include "vm_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using SquirrelNativeCall = SquirrelTest;

// Describes the call: each argument's type, numbers read through sq_getinteger and
// sq_getfloat, as "integer:3 float:2.5 string ...".
SQInteger Describe(HSQUIRRELVM vm)
{
    std::string out;
    for (SQInteger i = 2; i <= sq_gettop(vm); i++) {
        if (!out.empty()) out += " ";
        switch (sq_gettype(vm, i)) {
        case OT_INTEGER: {
            SQInteger n = 0;
            EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(vm, i, &n)));
            out += "integer:" + std::to_string(n);
            break;
        }
        case OT_FLOAT: {
            SQFloat f = 0;
            EXPECT_TRUE(SQ_SUCCEEDED(sq_getfloat(vm, i, &f)));
            char buf[32];
            snprintf(buf, sizeof(buf), "float:%g", static_cast<double>(f));
            out += buf;
            break;
        }
        case OT_STRING: out += "string"; break;
        case OT_NULL: out += "null"; break;
        case OT_TABLE: out += "table"; break;
        case OT_BOOL: out += "bool"; break;
        default: out += "other"; break;
        }
    }
    sq_pushstring(vm, out.c_str(), -1);
    return 1;
}

// Each way of calling f with the same arguments (this = the root table). The script
// defines `route(args...)` per form; the result or error text is compared.
struct Route {
    const char *name;
    const char *pattern; // %s: the argument list
};
const Route kRoutes[] = {
    {"direct", "return f(%s);"},
    {"tail call", "function viaTail() { return f(%s); } return viaTail();"},
    {"statement", "local r = null; r = f(%s); return r;"},
    {"call", "return f.call(this%s%s);"},
    {"acall", "return f.acall([this%s%s]);"},
};

std::string RouteScript(const Route &r, const std::string &args)
{
    char buf[512];
    const bool leadingComma = std::strstr(r.pattern, "this%s%s") != nullptr;
    if (leadingComma)
        snprintf(buf, sizeof(buf), r.pattern, args.empty() ? "" : ", ", args.c_str());
    else
        snprintf(buf, sizeof(buf), r.pattern, args.c_str());
    return std::string("::result <- (function() { ") + buf + " })();";
}

TEST_F(SquirrelNativeCall, EveryRouteChecksParametersAlike)
{
    struct Case {
        SQInteger nparams;
        const char *mask;
        const char *args;
        const char *expect; // the result, or the error text
    };
    const Case cases[] = {
        // Masks the short path reads at once (up to four) and longer lists.
        {SQ_MATCHTYPEMASKSTRING, "tiff", "1, 2.5, 3.0", "integer:1 float:2.5 float:3"},
        {SQ_MATCHTYPEMASKSTRING, "tiff", "1.5, 2.5, 3.0", "parameter 1 has an invalid type 'float' ; expected: 'integer'"},
        {SQ_MATCHTYPEMASKSTRING, "tiff", "1, 2.5, \"x\"", "parameter 3 has an invalid type 'string' ; expected: 'float'"},
        {SQ_MATCHTYPEMASKSTRING, "tiff", "1, 2.5, 3", "parameter 3 has an invalid type 'integer' ; expected: 'float'"},
        {SQ_MATCHTYPEMASKSTRING, "tiff", "1, 2.5", "wrong number of parameters"},
        {SQ_MATCHTYPEMASKSTRING, "tiiiii", "1, 2, 3, 4, 5", "integer:1 integer:2 integer:3 integer:4 integer:5"},
        {SQ_MATCHTYPEMASKSTRING, "tiiiii", "1, 2, 3, 4, null", "parameter 5 has an invalid type 'null' ; expected: 'integer'"},
        {SQ_MATCHTYPEMASKSTRING, "tiiiii", "1, 2, 3, null, 5", "parameter 4 has an invalid type 'null' ; expected: 'integer'"},
        // Fewer masks than arguments: the rest go unchecked.
        {-2, ".n", "1, \"a\", null", "integer:1 string null"},
        {-2, ".n", "\"a\", 1", "parameter 1 has an invalid type 'string' ; expected: 'integer|float'"},
        // More masks than arguments (no count check): only the given ones are checked.
        {0, ".ns", "1", "integer:1"},
        {0, ".ns", "", ""},
        {0, ".ns", "1, 2", "parameter 2 has an invalid type 'integer' ; expected: 'string'"},
        // Unchecked positions, and no mask at all.
        {3, "..s", "{}, \"s\"", "table string"},
        {3, "..s", "{}, true", "parameter 2 has an invalid type 'bool' ; expected: 'string'"},
        {0, nullptr, "1, 2.0, \"s\", null, true, {}", "integer:1 float:2 string null bool table"},
        // `this` is checked too.
        {2, "an", "1", "parameter 0 has an invalid type 'table' ; expected: 'array'"},
    };
    for (const Case &c : cases) {
        Register("f", Describe, c.nparams, c.mask);
        for (const Route &r : kRoutes) {
            SCOPED_TRACE(std::string(c.mask ? c.mask : "(no mask)") + " (" + c.args + ") via " + r.name);
            const bool ok = Run(RouteScript(r, c.args));
            if (!ok) {
                EXPECT_EQ(LastError(), c.expect);
                continue;
            }
            ASSERT_TRUE(Run("print(::result);"));
            EXPECT_EQ(printed, c.expect);
            printed.clear();
        }
    }
}

// An error a native raises reaches the script whichever route called it, catchable, with
// the values it pushed dropped.
TEST_F(SquirrelNativeCall, ErrorsFromNativesOnEveryRoute)
{
    Register("f", [](HSQUIRRELVM vm) -> SQInteger {
        sq_newarray(vm, 0);
        return sq_throwerror(vm, "native failure");
    }, 2, "ts");
    for (const Route &r : kRoutes) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(Run(RouteScript(r, "\"x\"")));
        EXPECT_EQ(LastError(), "native failure");
        ASSERT_TRUE(Run("try { " + RouteScript(r, "\"x\"") + " } catch (e) { print(e); }")) << LastError();
        EXPECT_EQ(printed, "native failure");
        printed.clear();
    }
    EXPECT_EQ(sq_gettop(v), 0);
}

// A native serving as a metamethod sees the same checks as when script code calls it with
// the same values.
TEST_F(SquirrelNativeCall, MetamethodNativesCheckLikeDirectCalls)
{
    struct Case {
        const char *mask;
        const char *expect;
    };
    const Case cases[] = {
        {"ts", "string"},
        {"ti", "parameter 1 has an invalid type 'string' ; expected: 'integer'"},
        {"as", "parameter 0 has an invalid type 'table' ; expected: 'array'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        Register("getter", Describe, 2, c.mask);
        const char *forms[] = {
            "::result <- {}.setdelegate({ _get = ::getter }).key;",
            "::result <- ::getter.call({}, \"key\");",
        };
        for (const char *form : forms) {
            SCOPED_TRACE(form);
            if (!Run(form)) {
                EXPECT_EQ(LastError(), c.expect);
                continue;
            }
            ASSERT_TRUE(Run("print(::result);"));
            EXPECT_EQ(printed, c.expect);
            printed.clear();
        }
    }
}

// A native's result is the top value whatever it left below it, and every value it
// leaves behind is released (those above the caller's registers as it returns).
TEST_F(SquirrelNativeCall, ResultsAndValuesLeftBehind)
{
    static int released = 0;
    released = 0;
    struct Case {
        const char *name;
        SQFUNCTION fn;
        const char *expect;
        int released; // userdata released once the script is done
    };
    const auto pushTracked = [](HSQUIRRELVM vm) {
        sq_newuserdata(vm, 8);
        sq_setreleasehook(vm, -1, [](SQUserPointer, SQInteger) -> SQInteger {
            released++;
            return 1;
        });
    };
    static decltype(+pushTracked) push = nullptr;
    push = +pushTracked;
    const Case cases[] = {
        {"nothing", [](HSQUIRRELVM) -> SQInteger { return 0; }, "null", 0},
        {"one result", [](HSQUIRRELVM vm) -> SQInteger {
             sq_pushinteger(vm, 42);
             return 1;
         }, "42", 0},
        {"many values, result on top", [](HSQUIRRELVM vm) -> SQInteger {
             for (int i = 0; i < 300; i++) push(vm);
             sq_pushstring(vm, "top", -1);
             return 1;
         }, "top", 300},
        {"many values, no result", [](HSQUIRRELVM vm) -> SQInteger {
             for (int i = 0; i < 300; i++) push(vm);
             return 0;
         }, "null", 300},
        {"arguments popped", [](HSQUIRRELVM vm) -> SQInteger {
             sq_settop(vm, 1);
             sq_pushinteger(vm, 7);
             return 1;
         }, "7", 0},
    };
    for (const Case &c : cases) {
        Register("f", c.fn);
        for (const Route &r : kRoutes) {
            SCOPED_TRACE(std::string(c.name) + " via " + r.name);
            released = 0;
            ASSERT_TRUE(Run(RouteScript(r, "1, \"two\""))) << LastError();
            EXPECT_EQ(released, c.released);
            ASSERT_TRUE(Run("print(::result == null ? \"null\" : ::result.tostring());"));
            EXPECT_EQ(printed, c.expect);
            printed.clear();
        }
    }
    // Deep stacks: the short path grows nothing itself; a native pushing thousands of
    // values from deep recursion still runs and leaves the caller's registers intact.
    Register("g", [](HSQUIRRELVM vm) -> SQInteger {
        for (int i = 0; i < 5000; i++) sq_pushinteger(vm, i);
        return 1;
    });
    ASSERT_TRUE(Run("function deep(n) { local a = n, b = n * 2; if (n == 0) return g(); local r = deep(n - 1); "
                    "return (a * 2 == b) ? r : -1; } print(deep(200));"))
        << LastError();
    EXPECT_EQ(printed, "4999");
}

// Each native call counts towards the limit on nested native calls and interpreter
// entries, whichever way it is made.
TEST_F(SquirrelNativeCall, NativeStackOverflowComesAtTheSameDepth)
{
    // reenter(fn, n): calls fn(n) from the native.
    Register("reenter", [](HSQUIRRELVM vm) -> SQInteger {
        sq_push(vm, 2);
        sq_pushroottable(vm);
        sq_push(vm, 3);
        if (SQ_FAILED(sq_call(vm, 2, SQTrue, SQFalse))) return SQ_ERROR;
        return 1;
    }, 3, "tcn");
    const char *forms[] = {
        "reenter(down, n + 1)",
        "reenter.call(this, down, n + 1)",
        "reenter.acall([this, down, n + 1])",
        "[n + 1].map(@(x) down(x))[0]",
        "newthread(down).call(n + 1)",
        "reenter(@(m) newthread(down).call(m), n + 1)",
    };
    std::vector<std::string> depths;
    for (const char *form : forms) {
        SCOPED_TRACE(form);
        const std::string src = std::string("::deepest <- 0; function down(n) { ::deepest = n; return ") + form +
                                "; } try { down(0); } catch (e) { print(e); }";
        ASSERT_TRUE(Run(src)) << LastError();
        EXPECT_EQ(printed, "Native stack overflow");
        printed.clear();
        ASSERT_TRUE(Run("print(::deepest);"));
        depths.push_back(printed);
        printed.clear();
    }
    // 100 native calls and interpreter entries at most per thread, the host's own entry
    // included. Directly, each level adds the native and an entry; through .call and
    // .acall, the `call` native as well. A new thread starts counting at zero, so
    // recursion through threads goes on until the C stack runs short, far deeper.
    EXPECT_EQ(depths[0], "49");
    EXPECT_EQ(depths[1], "33");
    EXPECT_EQ(depths[2], "33");
    EXPECT_EQ(depths[3], "49");
    EXPECT_GT(std::stoi(depths[4]), 100);
    EXPECT_GT(std::stoi(depths[5]), 100);
}

// A native suspending from a tail call or a statement wakes up with its result in place.
TEST_F(SquirrelNativeCall, SuspendingFromEveryScriptForm)
{
    Register("wait", [](HSQUIRRELVM vm) -> SQInteger { return sq_suspendvm(vm); }, 1, "t");
    struct Case {
        const char *src;
        const char *expect;
    };
    const Case cases[] = {
        {"function run() { return wait(); }", "woken"},
        {"function run() { local r = wait(); return \"got \" + r; }", "got woken"},
        {"function run() { wait(); return \"after\"; }", "after"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.src);
        ASSERT_TRUE(Run(c.src));
        sq_pushroottable(v);
        sq_pushstring(v, "run", -1);
        sq_get(v, -2);
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
        ASSERT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
        sq_pop(v, 1);
        sq_pushstring(v, "woken", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQTrue, SQTrue, SQTrue, SQFalse))) << LastError();
        const SQChar *s = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &s)));
        EXPECT_STREQ(s, c.expect);
        sq_settop(v, 0);
    }
}

// A native whose one reference is the register its call was made from stays alive for
// the whole call (its frame owns it), even when it drops that register itself, and is
// freed once the call is over; the caller gets the result in that register as usual.
TEST_F(SquirrelNativeCall, ANativeHeldOnlyByItsCallLivesUntilItReturns)
{
    const SQFUNCTION self = [](HSQUIRRELVM vm) -> SQInteger {
        // Removes the value below this frame (the register holding the callee), collects
        // cycles, then reads the frame's own name.
        sq_remove(vm, -(sq_gettop(vm) + 1));
        sq_collectgarbage(vm);
        SQStackInfos si;
        if (SQ_FAILED(sq_stackinfos(vm, 0, &si))) return sq_throwerror(vm, "no frame");
        sq_pushstring(vm, si.funcname, -1);
        return 1;
    };
    struct Case {
        const char *name;
        const char *call; // calls take() with the argument 1, leaving something in r
        const char *expect;
    };
    const Case cases[] = {
        {"result kept", "r = take()(1);", "held freed"},
        {"result dropped", "take()(1); r = \"dropped\";", "dropped freed"},
        {"in an expression", "r = \"got \" + take()(1);", "got held freed"},
        {"tail call", "r = (function() { return take()(1); })();", "held freed"},
        {"as a method", "r = {m = take()}.m(1);", "held freed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sq_pushroottable(v);
        sq_pushstring(v, "holder", -1);
        sq_newtable(v);
        sq_pushstring(v, "f", -1);
        sq_newclosure(v, self, 0);
        sq_setnativeclosurename(v, -1, "held");
        sq_setparamscheck(v, 2, "tn");
        sq_newslot(v, -3, SQFalse);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
        printed.clear();
        ASSERT_TRUE(Run(std::string("local weak = holder.f.weakref();\n"
                                    "function take() { local f = holder.f; delete holder.f; return f; }\n"
                                    "local r = null;\n") +
                        c.call + "\nprint(r + \" \" + (weak.ref() == null ? \"freed\" : \"alive\"));"))
            << LastError();
        EXPECT_EQ(printed, c.expect);
    }
}

// Natives report no call or return events to the debug hook, however they are called;
// the script functions around them still do.
TEST_F(SquirrelNativeCall, DebugHookSeesScriptFramesOnly)
{
    Register("f", Describe, 2, "tn");
    ASSERT_TRUE(Run("local events = [];\n"
                    "function inner(x) { return f(x); }\n"
                    "function outer() { f(1); f.call(this, 2); return inner(3); }\n"
                    "setdebughook(function(type, src, line, name) {\n"
                    "  if (type == 'c') events.append(\"c:\" + name); else if (type == 'r') events.append(\"r\"); });\n"
                    "outer();\n"
                    "setdebughook(null);\n"
                    "local s = \"\"; foreach (e in events) s += e + \" \"; print(s);"))
        << LastError();
    EXPECT_EQ(printed, "c:outer c:inner r r ");
}

// The inline readers against their full forms, for every kind of value and index.
TEST_F(SquirrelNativeCall, InlineReadersAnswerAsTheFullForms)
{
    static const int kTag = 0;
    // Stack: 1 integer, 2 float, 3 big float, 4 string, 5 null, 6 bool, 7 plain
    // userdata (16 bytes), 8 tagged userdata (3 bytes), 9 table of two, 10 array of five.
    sq_pushinteger(v, -7);
    sq_pushfloat(v, 2.75f);
    sq_pushfloat(v, 1e10f);
    sq_pushstring(v, "four", -1);
    sq_pushnull(v);
    sq_pushbool(v, SQTrue);
    std::memset(sq_newuserdata(v, 16), 0xAB, 16);
    sq_newuserdata(v, 3);
    sq_settypetag(v, -1, const_cast<int *>(&kTag));
    sq_newtable(v);
    sq_pushstring(v, "a", -1);
    sq_pushinteger(v, 1);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "b", -1);
    sq_pushinteger(v, 2);
    sq_newslot(v, -3, SQFalse);
    sq_newarray(v, 5);
    ASSERT_EQ(sq_gettop(v), 10);

    struct Expect {
        SQInteger idx;
        SQRESULT intResult;
        SQInteger intValue;
        SQRESULT floatResult;
        SQFloat floatValue;
        bool userdata;
        SQInteger size;
    };
    const SQInteger kIntMin = static_cast<SQInteger>(0x80000000u);
    const Expect expects[] = {
        {1, SQ_OK, -7, SQ_OK, -7.0f, false, SQ_ERROR},
        {2, SQ_OK, 2, SQ_OK, 2.75f, false, SQ_ERROR},
        {3, SQ_OK, kIntMin, SQ_OK, 1e10f, false, SQ_ERROR},
        {4, SQ_ERROR, 0, SQ_ERROR, 0, false, 4},
        {5, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {6, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {7, SQ_ERROR, 0, SQ_ERROR, 0, true, 16},
        {8, SQ_ERROR, 0, SQ_ERROR, 0, true, 3},
        {9, SQ_ERROR, 0, SQ_ERROR, 0, false, 2},
        {10, SQ_ERROR, 0, SQ_ERROR, 0, false, 5},
        {-10, SQ_OK, -7, SQ_OK, -7.0f, false, SQ_ERROR},
        {-4, SQ_ERROR, 0, SQ_ERROR, 0, true, 16},
        {-1, SQ_ERROR, 0, SQ_ERROR, 0, false, 5},
        // Outside the stack: read as null.
        {0, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {11, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {-11, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {0x7fffffff, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
        {kIntMin, SQ_ERROR, 0, SQ_ERROR, 0, false, SQ_ERROR},
    };
    for (const Expect &e : expects) {
        SCOPED_TRACE("index " + std::to_string(e.idx));
        SQInteger i = 99, iFull = 99;
        EXPECT_EQ(sq_getinteger(v, e.idx, &i), e.intResult);
        EXPECT_EQ(sq_getinteger_slow(v, e.idx, &iFull), e.intResult);
        EXPECT_EQ(i, e.intResult == SQ_OK ? e.intValue : 99); // untouched on failure
        EXPECT_EQ(i, iFull);

        SQFloat f = 99, fFull = 99;
        EXPECT_EQ(sq_getfloat(v, e.idx, &f), e.floatResult);
        EXPECT_EQ(sq_getfloat_slow(v, e.idx, &fFull), e.floatResult);
        EXPECT_EQ(f, e.floatResult == SQ_OK ? e.floatValue : 99.0f);
        EXPECT_EQ(f, fFull);

        SQUserPointer p = nullptr, tag = reinterpret_cast<SQUserPointer>(1);
        SQUserPointer pFull = nullptr, tagFull = reinterpret_cast<SQUserPointer>(1);
        const SQRESULT ud = sq_getuserdata(v, e.idx, &p, &tag);
        const std::string udError = ud == SQ_OK ? "" : LastError();
        const SQRESULT udFull = sq_getuserdata_slow(v, e.idx, &pFull, &tagFull);
        const std::string udFullError = udFull == SQ_OK ? "" : LastError();
        EXPECT_EQ(ud, e.userdata ? SQ_OK : SQ_ERROR);
        EXPECT_EQ(ud, udFull);
        EXPECT_EQ(p, pFull);
        EXPECT_EQ(tag, tagFull);
        EXPECT_EQ(udError, udFullError);
        if (!e.userdata) {
            EXPECT_EQ(udError.rfind("wrong argument type, expected 'userdata' got '", 0), 0u) << udError;
        } else {
            SQUserPointer noTag = nullptr;
            EXPECT_EQ(sq_getuserdata(v, e.idx, &noTag, nullptr), SQ_OK); // the tag is optional
            EXPECT_EQ(noTag, p);
        }

        EXPECT_EQ(sq_getsize(v, e.idx), e.size);
        EXPECT_EQ(sq_getsize_slow(v, e.idx), e.size);

        // The fused read answers as sq_getuserdata followed by sq_getsize, error text
        // included, and leaves every output untouched on failure.
        SQUserPointer pBoth = nullptr, tagBoth = reinterpret_cast<SQUserPointer>(1);
        SQInteger sizeBoth = -99;
        const SQRESULT both = sq_getuserdataandsize(v, e.idx, &pBoth, &tagBoth, &sizeBoth);
        EXPECT_EQ(both, udFull);
        EXPECT_EQ(both == SQ_OK ? "" : LastError(), udFullError);
        EXPECT_EQ(pBoth, pFull);
        EXPECT_EQ(tagBoth, tagFull);
        EXPECT_EQ(sizeBoth, e.userdata ? e.size : -99);
        if (e.userdata) {
            SQUserPointer noTag = nullptr;
            SQInteger size = 0;
            EXPECT_EQ(sq_getuserdataandsize(v, e.idx, &noTag, nullptr, &size), SQ_OK);
            EXPECT_EQ(noTag, p);
            EXPECT_EQ(size, e.size);
        }
    }
    // The userdata's own memory and tag come back.
    SQUserPointer p = nullptr, tag = nullptr;
    ASSERT_EQ(sq_getuserdata(v, 7, &p, &tag), SQ_OK);
    EXPECT_EQ(tag, nullptr);
    EXPECT_EQ(static_cast<unsigned char *>(p)[15], 0xAB);
    ASSERT_EQ(sq_getuserdata(v, 8, &p, &tag), SQ_OK);
    EXPECT_EQ(tag, &kTag);
}

// Inside a native the readers count from the native's own frame.
TEST_F(SquirrelNativeCall, InlineReadersInsideANativeReadItsFrame)
{
    Register("sum", [](HSQUIRRELVM vm) -> SQInteger {
        SQFloat total = 0;
        for (SQInteger i = 2; i <= sq_gettop(vm); i++) {
            SQFloat x = 0;
            if (SQ_FAILED(sq_getfloat(vm, i, &x))) return sq_throwerror(vm, "not a number");
            total += x;
        }
        SQInteger below = 0;
        // Index 0 and indices past the top read nothing, even with values further down.
        if (SQ_SUCCEEDED(sq_getinteger(vm, 0, &below)) || SQ_SUCCEEDED(sq_getinteger(vm, sq_gettop(vm) + 1, &below)))
            return sq_throwerror(vm, "read outside the frame");
        sq_pushfloat(vm, total);
        return 1;
    });
    ASSERT_TRUE(Run("local a = 100, b = 200; print(sum(1, 2.5, 3) + \" \" + sum() + \" \" + (a + b));")) << LastError();
    EXPECT_EQ(printed, "6.5 0 300");
    EXPECT_FALSE(Run("sum(1, \"x\");"));
    EXPECT_EQ(LastError(), "not a number");
}

} // namespace
