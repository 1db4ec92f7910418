// The base library: functions every VM's root table starts with.
#include "../vm/array.h"
#include "../vm/strings.h"
#include "../vm/table.h"
#include "api_internal.h"

using namespace nut;

// Pushes {func, src, line, locals} for a call level of `target` onto v; 0 when there is
// no such level.
SQInteger PushStackInfos(HSQUIRRELVM v, HSQUIRRELVM target, SQInteger level)
{
    SQStackInfos si;
    if (SQ_FAILED(sq_stackinfos(target, level, &si))) return 0;
    Runtime *rt = v->rt;
    Table *t = Table::New(rt, 4);
    Value result = Value::Ref(Kind::Table, t);
    t->NewSlot(rt->String("func"), rt->String(si.funcname ? si.funcname : "unknown"));
    t->NewSlot(rt->String("src"), rt->String(si.source ? si.source : "unknown"));
    t->NewSlot(rt->String("line"), Value::Int(si.line));
    Table *locals = Table::New(rt, 0);
    Value hl = Value::Ref(Kind::Table, locals);
    for (SQUnsignedInteger seq = 0;; seq++) {
        const SQChar *name = sq_getlocal(target, static_cast<SQUnsignedInteger>(level), seq);
        if (!name) break;
        Value val = StackAt(target, -1);
        target->Pop();
        locals->NewSlot(rt->String(name), val);
    }
    t->NewSlot(rt->String("locals"), hl);
    v->PushChecked(result);
    return 1;
}

namespace {

SQInteger base_seterrorhandler(HSQUIRRELVM v)
{
    sq_seterrorhandler(v);
    return 0;
}

SQInteger base_setdebughook(HSQUIRRELVM v)
{
    sq_setdebughook(v);
    return 0;
}

SQInteger base_enabledebuginfo(HSQUIRRELVM v)
{
    SQBool b;
    sq_tobool(v, 2, &b);
    sq_enabledebuginfo(v, b);
    return 0;
}

SQInteger base_getstackinfos(HSQUIRRELVM v)
{
    SQInteger level;
    sq_getinteger(v, 2, &level);
    return PushStackInfos(v, v, level);
}

SQInteger base_getroottable(HSQUIRRELVM v)
{
    sq_pushroottable(v);
    return 1;
}

SQInteger base_setroottable(HSQUIRRELVM v)
{
    Value old = v->rootTable;
    if (SQ_FAILED(sq_setroottable(v))) return SQ_ERROR;
    v->PushChecked(old);
    return 1;
}

SQInteger base_getconsttable(HSQUIRRELVM v)
{
    sq_pushconsttable(v);
    return 1;
}

SQInteger base_setconsttable(HSQUIRRELVM v)
{
    Value old = v->rt->consts;
    if (SQ_FAILED(sq_setconsttable(v))) return SQ_ERROR;
    v->PushChecked(old);
    return 1;
}

SQInteger base_assert(HSQUIRRELVM v)
{
    if (StackAt(v, 2).IsFalsy()) return sq_throwerror(v, "assertion failed");
    return 0;
}

SQInteger PrintThrough(HSQUIRRELVM v, SQPRINTFUNCTION fn)
{
    Value x = StackAt(v, 2);
    Value s = v->ToString(x);
    if (fn) fn(v, "%s", s.As<Str>()->chars);
    return 0;
}

SQInteger base_print(HSQUIRRELVM v) { return PrintThrough(v, v->rt->printFn); }
SQInteger base_error(HSQUIRRELVM v) { return PrintThrough(v, v->rt->errorFn); }

SQInteger base_compilestring(HSQUIRRELVM v)
{
    Value src = StackAt(v, 2);
    const SQChar *name = "unnamedbuffer";
    if (sq_gettop(v) > 2) sq_getstring(v, 3, &name);
    Str *s = src.As<Str>();
    return SQ_SUCCEEDED(sq_compilebuffer(v, s->chars, s->len, name, SQFalse)) ? 1 : SQ_ERROR;
}

SQInteger base_newthread(HSQUIRRELVM v)
{
    Value fn = StackAt(v, 2);
    SQInteger size = fn.kind() == Kind::Closure ? fn.As<Closure>()->proto->maxStack * 2 + 2 : 0;
    HSQUIRRELVM t = sq_newthread(v, size < 32 ? 32 : size);
    t->PushChecked(fn);
    return 1;
}

SQInteger base_suspend(HSQUIRRELVM v) { return sq_suspendvm(v); }

SQInteger base_array(HSQUIRRELVM v)
{
    SQInteger n = StackAt(v, 2).ToInt();
    if (n < 0) return sq_throwerror(v, "negative size");
    if (n > kMaxArraySize) return sq_throwerror(v, "out of memory");
    Array *a = Array::New(v->rt, 0);
    Value hold = Value::Ref(Kind::Array, a);
    a->items.resize(static_cast<size_t>(n), sq_gettop(v) > 2 ? StackAt(v, 3) : Value());
    v->PushChecked(hold);
    return 1;
}

SQInteger base_type(HSQUIRRELVM v)
{
    v->PushChecked(v->rt->String(KindName(StackAt(v, 2).kind())));
    return 1;
}

SQInteger base_callee(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getcallee(v)) ? 1 : SQ_ERROR; }

SQInteger base_dummy(HSQUIRRELVM) { return 0; }

SQInteger base_collectgarbage(HSQUIRRELVM v)
{
    sq_pushinteger(v, sq_collectgarbage(v));
    return 1;
}

SQInteger base_resurrectunreachable(HSQUIRRELVM v)
{
    sq_resurrectunreachable(v);
    return 1;
}

const SQRegFunction kBase[] = {
    {"seterrorhandler", base_seterrorhandler, 2, nullptr},
    {"setdebughook", base_setdebughook, 2, nullptr},
    {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
    {"getstackinfos", base_getstackinfos, 2, ".n"},
    {"getroottable", base_getroottable, 1, nullptr},
    {"setroottable", base_setroottable, 2, nullptr},
    {"getconsttable", base_getconsttable, 1, nullptr},
    {"setconsttable", base_setconsttable, 2, nullptr},
    {"assert", base_assert, 2, nullptr},
    {"print", base_print, 2, nullptr},
    {"error", base_error, 2, nullptr},
    {"compilestring", base_compilestring, -2, ".ss"},
    {"newthread", base_newthread, 2, ".c"},
    {"suspend", base_suspend, -1, nullptr},
    {"array", base_array, -2, ".n"},
    {"type", base_type, 2, nullptr},
    {"callee", base_callee, 0, nullptr},
    {"dummy", base_dummy, 0, nullptr},
    {"collectgarbage", base_collectgarbage, 0, nullptr},
    {"resurrectunreachable", base_resurrectunreachable, 0, nullptr},
    {nullptr, nullptr, 0, nullptr}};

} // namespace

namespace nut {

void RegisterBaseLib(HSQUIRRELVM v)
{
    Runtime *rt = v->rt;
    Table *root = v->rootTable.As<Table>();
    for (const SQRegFunction *f = kBase; f->name; f++)
        root->NewSlot(rt->String(f->name), Value::Ref(Kind::NativeClosure, MakeNative(rt, *f)));
    root->NewSlot(rt->String("_versionnumber_"), Value::Int(SQUIRREL_VERSION_NUMBER));
    root->NewSlot(rt->String("_version_"), rt->String(SQUIRREL_VERSION));
    root->NewSlot(rt->String("_charsize_"), Value::Int(static_cast<SQInteger>(sizeof(SQChar))));
    root->NewSlot(rt->String("_intsize_"), Value::Int(static_cast<SQInteger>(sizeof(SQInteger))));
    root->NewSlot(rt->String("_floatsize_"), Value::Int(static_cast<SQInteger>(sizeof(SQFloat))));
}

} // namespace nut
