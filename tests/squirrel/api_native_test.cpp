// Native closures: parameter checks, free variables, names, errors and stack listings.
#include "vm_fixture.h"

namespace {

using SquirrelNative = SquirrelTest;

SQInteger ReturnTop(HSQUIRRELVM vm) { return sq_gettop(vm) > 1 ? 1 : 0; }

TEST_F(SquirrelNative, ParameterChecksRejectWrongTypesWithTheDocumentedMessage)
{
    struct Case {
        SQInteger nparams;
        const char *mask;
        const char *call;
        const char *error; // nullptr: the call succeeds
    };
    const Case cases[] = {
        {2, ".n", "f(1)", nullptr},
        {2, ".n", "f(1.5)", nullptr},
        {2, ".n", "f(\"x\")", "parameter 1 has an invalid type 'string' ; expected: 'integer|float'"},
        {2, ".n", "f()", "wrong number of parameters"},
        {2, ".n", "f(1, 2)", "wrong number of parameters"},
        {-2, ".s", "f(\"a\", 1, 2)", nullptr},
        {-2, ".s", "f()", "wrong number of parameters"},
        {SQ_MATCHTYPEMASKSTRING, ".t|a b", "f({}, true)", nullptr},
        {SQ_MATCHTYPEMASKSTRING, ".t|a b", "f([], false)", nullptr},
        {SQ_MATCHTYPEMASKSTRING, ".t|a b", "f({})", "wrong number of parameters"},
        {SQ_MATCHTYPEMASKSTRING, ".t|a b", "f(1, true)", "parameter 1 has an invalid type 'integer' ; expected: 'table|array'"},
        {SQ_MATCHTYPEMASKSTRING, ".t|a b", "f({}, 1)", "parameter 2 has an invalid type 'integer' ; expected: 'bool'"},
        {2, "tc", "f(print)", nullptr},
        {2, "tc", "f.call(1, print)", "parameter 0 has an invalid type 'integer' ; expected: 'table'"},
        {2, ".c", "f(1)", "parameter 1 has an invalid type 'integer' ; expected: 'function|function'"},
        {2, ".x|y", "f(null)", "parameter 1 has an invalid type 'null' ; expected: 'class|instance'"},
        {2, ".u|p", "f(1.0)", "parameter 1 has an invalid type 'float' ; expected: 'userdata|userdata'"},
        {0, nullptr, "f(1, 2, 3)", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        Register("f", ReturnTop, c.nparams, c.mask);
        bool ok = Run(c.call);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(LastError(), c.error);
        } else {
            EXPECT_TRUE(ok) << LastError();
        }
    }
}

TEST_F(SquirrelNative, InvalidTypeMaskIsRefused)
{
    sq_newclosure(v, ReturnTop, 0);
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 2, ".q")));
    EXPECT_EQ(LastError(), "invalid typemask");
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 2, ".n|")));
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, nullptr)));
    EXPECT_EQ(LastError(), "native closure expected");
}

TEST_F(SquirrelNative, FreeVariablesFollowTheArgumentsInOrder)
{
    sq_pushroottable(v);
    sq_pushstring(v, "f", -1);
    sq_pushstring(v, "second", -1);
    sq_pushstring(v, "first", -1); // the former top becomes free variable 0
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger {
        // stack: this, arg, free 0, free 1
        const SQChar *a, *f0, *f1;
        sq_getstring(vm, 2, &a);
        sq_getstring(vm, 3, &f0);
        sq_getstring(vm, 4, &f1);
        std::string s = std::string(a) + " " + f0 + " " + f1;
        sq_pushstring(vm, s.c_str(), -1);
        return 1;
    }, 2);
    EXPECT_EQ(sq_gettop(v), 3);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(Run("print(f(\"arg\"));"));
    EXPECT_EQ(printed, "arg first second");
}

TEST_F(SquirrelNative, ThrowErrorRaisesCatchableErrorsAndNamesShowInStackInfos)
{
    Register("fail", [](HSQUIRRELVM vm) -> SQInteger { return sq_throwerror(vm, "native failure"); });
    Register("where", [](HSQUIRRELVM vm) -> SQInteger {
        SQStackInfos si;
        std::string out;
        for (SQInteger level = 0; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++)
            out += std::string(si.funcname ? si.funcname : "(anon)") + "@" + (si.source ? si.source : "?") + ":" +
                   std::to_string(si.line) + " ";
        sq_pushstring(vm, out.c_str(), -1);
        return 1;
    });
    ASSERT_TRUE(Run("try { fail(); } catch (e) { print(e); }"));
    EXPECT_EQ(printed, "native failure");
    printed.clear();
    ASSERT_TRUE(Run("function outer() {\n return where();\n}\nprint(outer());"));
    EXPECT_EQ(printed, "where@NATIVE:-1 outer@test:2 main@test:4 ");
    SQStackInfos si;
    EXPECT_TRUE(SQ_FAILED(sq_stackinfos(v, 0, &si)));
}

TEST_F(SquirrelNative, ErrorHandlerSeesUncaughtErrorsOnly)
{
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger {
        const SQChar *e = "?";
        sq_getstring(vm, 2, &e);
        Self(vm)->errors += std::string("handler:") + e + ";";
        return 0;
    }, 0);
    sq_seterrorhandler(v);
    EXPECT_TRUE(Run("try { throw \"caught\"; } catch (e) {}"));
    EXPECT_EQ(errors, "");
    EXPECT_FALSE(Run("throw \"loose\";"));
    EXPECT_EQ(errors, "handler:loose;");
    EXPECT_EQ(LastError(), "loose");
    errors.clear();
    sq_notifyallexceptions(v, SQTrue);
    EXPECT_TRUE(Run("try { throw \"seen\"; } catch (e) {}"));
    EXPECT_EQ(errors, "handler:seen;");
}

} // namespace
