// A VM with print and error output captured into strings, for the C API tests.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <squirrel.h>

class SquirrelTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        v = sq_open(1024);
        sq_setforeignptr(v, this);
        sq_setprintfunc(v, &SquirrelTest::Print, &SquirrelTest::Error);
    }
    void TearDown() override
    {
        if (v) sq_close(v);
    }

    static SquirrelTest *Self(HSQUIRRELVM vm) { return static_cast<SquirrelTest *>(sq_getforeignptr(vm)); }
    static void Append(std::string &out, const SQChar *fmt, va_list vl)
    {
        char buf[2048];
        vsnprintf(buf, sizeof(buf), fmt, vl);
        out += buf;
    }
    static void Print(HSQUIRRELVM vm, const SQChar *fmt, ...)
    {
        va_list vl;
        va_start(vl, fmt);
        Append(Self(vm)->printed, fmt, vl);
        va_end(vl);
    }
    static void Error(HSQUIRRELVM vm, const SQChar *fmt, ...)
    {
        va_list vl;
        va_start(vl, fmt);
        Append(Self(vm)->errors, fmt, vl);
        va_end(vl);
    }

    // Compiles and runs `src` with the root table as `this`; false on any error.
    bool Run(const std::string &src)
    {
        SQInteger top = sq_gettop(v);
        if (SQ_FAILED(sq_compilebuffer(v, src.c_str(), static_cast<SQInteger>(src.size()), "test", SQTrue)))
            return false;
        sq_pushroottable(v);
        bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
        sq_settop(v, top);
        return ok;
    }

    std::string LastError()
    {
        sq_getlasterror(v);
        const SQChar *s = "";
        std::string out = SQ_SUCCEEDED(sq_getstring(v, -1, &s)) ? s : "<not a string>";
        sq_pop(v, 1);
        return out;
    }

    // Binds a native function in the root table.
    void Register(const char *name, SQFUNCTION fn, SQInteger nparams = 0, const SQChar *mask = nullptr)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, fn, 0);
        sq_setnativeclosurename(v, -1, name);
        sq_setparamscheck(v, nparams, mask);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    HSQUIRRELVM v = nullptr;
    std::string printed;
    std::string errors;
};
