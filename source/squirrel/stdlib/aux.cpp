// Error reports written through the VM's error function: the compiler error line, the
// runtime error banner, the call stack and the locals of the innermost frames.
#include <sqstdaux.h>

namespace {

void PrintLocal(HSQUIRRELVM v, SQPRINTFUNCTION pf, const SQChar *name)
{
    switch (sq_gettype(v, -1)) {
    case OT_NULL: pf(v, "[%s] NULL\n", name); break;
    case OT_INTEGER: {
        SQInteger i;
        sq_getinteger(v, -1, &i);
        pf(v, "[%s] %d\n", name, static_cast<int>(i));
        break;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        pf(v, "[%s] %.14g\n", name, static_cast<double>(f));
        break;
    }
    case OT_STRING: {
        const SQChar *s;
        sq_getstring(v, -1, &s);
        pf(v, "[%s] \"%s\"\n", name, s);
        break;
    }
    case OT_BOOL: {
        SQBool b;
        sq_getbool(v, -1, &b);
        pf(v, "[%s] %s\n", name, b ? "true" : "false");
        break;
    }
    case OT_USERPOINTER: pf(v, "[%s] USERPOINTER\n", name); break;
    case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
    case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
    case OT_CLOSURE: pf(v, "[%s] CLOSURE\n", name); break;
    case OT_NATIVECLOSURE: pf(v, "[%s] NATIVECLOSURE\n", name); break;
    case OT_GENERATOR: pf(v, "[%s] GENERATOR\n", name); break;
    case OT_USERDATA: pf(v, "[%s] USERDATA\n", name); break;
    case OT_THREAD: pf(v, "[%s] THREAD\n", name); break;
    case OT_CLASS: pf(v, "[%s] CLASS\n", name); break;
    case OT_INSTANCE: pf(v, "[%s] INSTANCE\n", name); break;
    case OT_WEAKREF: pf(v, "[%s] WEAKREF\n", name); break;
    default: break;
    }
}

SQInteger RuntimeErrorHandler(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (!pf) return 0;
    const SQChar *err;
    if (SQ_SUCCEEDED(sq_getstring(v, 2, &err)))
        pf(v, "\nAN ERROR HAS OCCURED [%s]\n", err);
    else
        pf(v, "\nAN ERROR HAS OCCURED [unknown]\n");
    sqstd_printcallstack(v);
    return 0;
}

void CompilerErrorHandler(HSQUIRRELVM v, const SQChar *desc, const SQChar *source, SQInteger line, SQInteger column)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (pf) pf(v, "%s line = (%d) column = (%d) : error %s\n", source, static_cast<int>(line), static_cast<int>(column), desc);
}

} // namespace

void sqstd_printcallstack(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (!pf) return;
    pf(v, "\nCALLSTACK\n");
    SQStackInfos si;
    // Level 0 is whoever asked for the listing (normally the error handler).
    for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); level++) {
        pf(v, "*FUNCTION [%s()] %s line [%d]\n", si.funcname ? si.funcname : "unknown",
           si.source ? si.source : "unknown", static_cast<int>(si.line));
    }
    pf(v, "\nLOCALS\n");
    for (SQUnsignedInteger level = 0; level < 10; level++) {
        const SQChar *name;
        for (SQUnsignedInteger seq = 0; (name = sq_getlocal(v, level, seq)) != nullptr; seq++) {
            PrintLocal(v, pf, name);
            sq_pop(v, 1);
        }
    }
}

void sqstd_seterrorhandlers(HSQUIRRELVM v)
{
    sq_setcompilererrorhandler(v, CompilerErrorHandler);
    sq_newclosure(v, RuntimeErrorHandler, 0);
    sq_seterrorhandler(v);
}
