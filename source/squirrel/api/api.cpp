// The public C API. Every entry point keeps the documented stack effects, on failure
// too. VM errors are exceptions inside; here they become SQ_ERROR with the last error set.
#include <cstdarg>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include <squirrel.h>

#include "../compiler/compiler.h"
#include "../vm/array.h"
#include "../vm/classes.h"
#include "../vm/cstack.h"
#include "../vm/strings.h"
#include "../vm/table.h"
#include "../vm/userdata.h"
#include "api_internal.h"

using namespace nut;

namespace nut {

// The inline readers of squirrel.h read VMs, stack values and userdata through views of
// their own; each view must match the layout here. offsetof on the VM and userdata types
// (not standard-layout: they extend the object header) is exact for GCC and Clang.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct ApiViewCheck {
    static_assert(sizeof(Value) == sizeof(SQValueView) && offsetof(Value, kind_) == offsetof(SQValueView, kind) &&
                      offsetof(Value, i_) == offsetof(SQValueView, u) && sizeof(Kind) == 1,
                  "stack values as the inline readers see them");
    static_assert(static_cast<int>(Kind::Int) == SQ_VIEW_KIND_INTEGER &&
                      static_cast<int>(Kind::Float) == SQ_VIEW_KIND_FLOAT &&
                      static_cast<int>(Kind::UserData) == SQ_VIEW_KIND_USERDATA,
                  "kinds as the inline readers see them");
    static_assert(offsetof(SQVM, stack) == offsetof(SQVMView, stack) && offsetof(SQVM, top) == offsetof(SQVMView, top) &&
                      offsetof(SQVM, base) == offsetof(SQVMView, base) && sizeof(SQVM::stack) == sizeof(void *) &&
                      sizeof(SQVM::top) == 4 && sizeof(SQVM::base) == 4,
                  "a VM as the inline readers see it");
    static_assert(sizeof(UserData) == sizeof(SQUserDataView) &&
                      offsetof(UserData, typeTag) == offsetof(SQUserDataView, typeTag) &&
                      offsetof(UserData, size) == offsetof(SQUserDataView, size) &&
                      sizeof(UserData::size) == sizeof(SQInteger),
                  "a userdata as the inline readers see it");
};
#pragma GCC diagnostic pop
static_assert(UserData::PayloadOffset() == SQ_VIEW_USERDATA_PAYLOAD, "userdata memory where the inline readers find it");

// A table presized beyond this is refused: its slot arithmetic is 32-bit, and no real
// table needs the memory such a hint asks for up front.
constexpr SQInteger kMaxTableHint = SQInteger(1) << 26;

SQObjectType ApiType(Kind k)
{
    static const SQObjectType kTypes[kKindCount] = {
        OT_NULL,         OT_BOOL,          OT_INTEGER,   OT_FLOAT,    OT_USERPOINTER, OT_STRING,
        OT_TABLE,        OT_ARRAY,         OT_CLOSURE,   OT_NATIVECLOSURE, OT_GENERATOR, OT_USERDATA,
        OT_THREAD,       OT_CLASS,         OT_INSTANCE,  OT_WEAKREF,  OT_FUNCPROTO,   OT_OUTER};
    return kTypes[static_cast<int>(k)];
}

SQObject ToApi(const Value &v)
{
    SQObject o;
    o._type = ApiType(v.kind());
    o._unVal.raw = 0;
    switch (v.kind()) {
    case Kind::Null: break;
    case Kind::Bool:
    case Kind::Int: o._unVal.nInteger = v.AsInt(); break;
    case Kind::Float: o._unVal.fFloat = v.AsFloat(); break;
    case Kind::UserPointer: o._unVal.pUserPointer = v.AsUserPointer(); break;
    default: o._unVal.pObject = v.AsObject(); break;
    }
    return o;
}

Value FromApi(const SQObject &o)
{
    switch (o._type) {
    case OT_NULL: return Value();
    case OT_BOOL: return Value::Bool(o._unVal.nInteger != 0);
    case OT_INTEGER: return Value::Int(o._unVal.nInteger);
    case OT_FLOAT: return Value::Float(o._unVal.fFloat);
    case OT_USERPOINTER: return Value::UserPtr(o._unVal.pUserPointer);
    default: break;
    }
    for (int k = static_cast<int>(Kind::String); k < kKindCount; k++)
        if (ApiType(static_cast<Kind>(k)) == o._type && o._unVal.pObject)
            return Value::Ref(static_cast<Kind>(k), static_cast<Object *>(o._unVal.pObject));
    return Value();
}

Value stackScratch;

SQRESULT ThrowApiError(HSQUIRRELVM v, const char *fmt, ...)
{
    char buf[256];
    va_list vl;
    va_start(vl, fmt);
    vsnprintf(buf, sizeof(buf), fmt, vl);
    va_end(vl);
    v->lastError = v->rt->String(buf);
    return SQ_ERROR;
}

bool CompileTypeMask(const char *typemask, std::vector<SQInteger> &masks)
{
    SQInteger mask = 0;
    for (const char *p = typemask; *p; p++) {
        switch (*p) {
        case 'o': mask |= _RT_NULL; break;
        case 'i': mask |= _RT_INTEGER; break;
        case 'f': mask |= _RT_FLOAT; break;
        case 'n': mask |= _RT_FLOAT | _RT_INTEGER; break;
        case 's': mask |= _RT_STRING; break;
        case 't': mask |= _RT_TABLE; break;
        case 'a': mask |= _RT_ARRAY; break;
        case 'u': mask |= _RT_USERDATA; break;
        case 'c': mask |= _RT_CLOSURE | _RT_NATIVECLOSURE; break;
        case 'b': mask |= _RT_BOOL; break;
        case 'g': mask |= _RT_GENERATOR; break;
        case 'p': mask |= _RT_USERPOINTER; break;
        case 'v': mask |= _RT_THREAD; break;
        case 'x': mask |= _RT_INSTANCE; break;
        case 'y': mask |= _RT_CLASS; break;
        case 'r': mask |= _RT_WEAKREF; break;
        case '.':
            masks.push_back(-1);
            mask = 0;
            continue;
        case ' ': continue;
        default: return false;
        }
        if (p[1] == '|') {
            p++;
            if (p[1] == 0) return false;
            continue;
        }
        masks.push_back(mask);
        mask = 0;
    }
    return true;
}

bool WrongType(HSQUIRRELVM v, Kind k, const Value &found)
{
    Value d = v->Describe(found);
    ThrowApiError(v, "wrong argument type, expected '%s' got '%.50s'", KindName(k), d.As<Str>()->chars);
    return false;
}

} // namespace nut

namespace {

void Push(HSQUIRRELVM v, Value val) { v->PushChecked(val); }

SQRESULT InvalidType(HSQUIRRELVM v, Kind k) { return ThrowApiError(v, "unexpected type %s", KindName(k)); }

#define TYPED(v, idx, kind, out)                                                                                    \
    Value *out;                                                                                                     \
    if (!CheckType(v, idx, kind, out)) return SQ_ERROR

#define NEED_PARAMS(v, n)                                                                                           \
    if (sq_gettop(v) < (n)) return ThrowApiError(v, "not enough params in the stack")

template <typename Fn> SQRESULT Guarded(HSQUIRRELVM v, Fn fn)
{
    try {
        fn();
        return SQ_OK;
    } catch (ScriptError &) {
        (void)v;
        return SQ_ERROR;
    } catch (std::bad_alloc &) {
        return ThrowApiError(v, "out of memory");
    } catch (std::length_error &) {
        return ThrowApiError(v, "out of memory");
    }
}

struct BufferSource {
    const SQChar *buf;
    SQInteger pos;
    SQInteger size;
};

SQInteger ReadBuffer(SQUserPointer p)
{
    BufferSource *b = static_cast<BufferSource *>(p);
    if (b->pos >= b->size) return 0;
    return static_cast<unsigned char>(b->buf[b->pos++]);
}

} // namespace

// VM

HSQUIRRELVM sq_open(SQInteger initialstacksize)
{
    Runtime *rt = new Runtime();
    Fiber *f = Fiber::New(rt, nullptr, initialstacksize);
    rt->mainFiber = Value::Ref(Kind::Thread, f);
    f->rootTable = Value::Ref(Kind::Table, Table::New(rt, 0));
    SQVM *v = static_cast<SQVM *>(f);
    RegisterBaseLib(v);
    return v;
}

HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize)
{
    Fiber *f = Fiber::New(friendvm->rt, friendvm, initialstacksize);
    Push(friendvm, Value::Ref(Kind::Thread, f));
    return static_cast<SQVM *>(f);
}

void sq_close(HSQUIRRELVM v)
{
    Runtime *rt = v->rt;
    rt->Shutdown();
    delete rt;
}

SQInteger sq_getvmstate(HSQUIRRELVM v)
{
    if (v->suspended) return SQ_VMSTATE_SUSPENDED;
    return v->frames.empty() ? SQ_VMSTATE_IDLE : SQ_VMSTATE_RUNNING;
}

SQInteger sq_getversion() { return SQUIRREL_VERSION_NUMBER; }

void sq_seterrorhandler(HSQUIRRELVM v)
{
    Value &o = StackAt(v, -1);
    if (o.kind() == Kind::Closure || o.kind() == Kind::NativeClosure || o.IsNull()) {
        v->errorHandler = o;
        v->Pop();
    }
}

void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->foreign = p; }
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) { return v->foreign; }
void sq_setsharedforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->rt->foreign = p; }
SQUserPointer sq_getsharedforeignptr(HSQUIRRELVM v) { return v->rt->foreign; }
void sq_setvmreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook) { v->releaseHook = hook; }
SQRELEASEHOOK sq_getvmreleasehook(HSQUIRRELVM v) { return v->releaseHook; }
void sq_setsharedreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook) { v->rt->releaseHook = hook; }
SQRELEASEHOOK sq_getsharedreleasehook(HSQUIRRELVM v) { return v->rt->releaseHook; }

void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc)
{
    v->rt->printFn = printfunc;
    v->rt->errorFn = errfunc;
}

SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) { return v->rt->printFn; }
SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v) { return v->rt->errorFn; }

SQRESULT sq_suspendvm(HSQUIRRELVM v) { return v->Suspend(); }

void sq_requeststop(HSQUIRRELVM v) { v->rt->RequestStop(); }

SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool wakeupret, SQBool retval, SQBool raiseerror, SQBool throwerror)
{
    if (!v->suspended) return ThrowApiError(v, "cannot resume a vm that is not running any code");
    if (v->nativeDepth + 1 > kMaxNativeDepth || CStackLow()) return ThrowApiError(v, "Native stack overflow");
    if (wakeupret) {
        if (v->suspendRetSlot >= 0) v->stack[v->suspendRetSlot] = StackAt(v, -1);
        v->Pop();
    } else if (v->suspendRetSlot >= 0) {
        v->stack[v->suspendRetSlot].SetNull();
    }
    v->suspended = false;
    Value out;
    try {
        Fiber::CountCaller caller(v->rt);
        v->Execute(raiseerror != 0, out, throwerror != 0);
    } catch (ScriptError &) {
        return SQ_ERROR;
    }
    if (retval) Push(v, out);
    return SQ_OK;
}

// Compiler

SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar *sourcename, SQBool raiseerror)
{
    Value proto;
    if (!Compile(v, read, p, sourcename, raiseerror != 0, proto)) return SQ_ERROR;
    WeakRef *root = v->rootTable.kind() == Kind::Table ? GetWeakRef(v->rootTable) : nullptr;
    Push(v, Value::Ref(Kind::Closure, Closure::New(v->rt, proto.As<Proto>(), root)));
    return SQ_OK;
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar *s, SQInteger size, const SQChar *sourcename,
                          SQBool raiseerror)
{
    BufferSource b{s, 0, size};
    return sq_compile(v, ReadBuffer, &b, sourcename, raiseerror);
}

void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) { v->rt->debugInfo = enable != 0; }
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable) { v->rt->notifyAllExceptions = enable != 0; }
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) { v->rt->compilerErrorHandler = f; }

// Stack

void sq_push(HSQUIRRELVM v, SQInteger idx)
{
    Value val = StackAt(v, idx);
    Push(v, val);
}

void sq_pop(HSQUIRRELVM v, SQInteger n)
{
    for (SQInteger i = 0; i < n && v->top > v->base; i++) v->Pop();
}

void sq_poptop(HSQUIRRELVM v) { sq_pop(v, 1); }

void sq_remove(HSQUIRRELVM v, SQInteger idx)
{
    int64_t slot = idx > 0 ? static_cast<int64_t>(v->base) + idx - 1 : static_cast<int64_t>(v->top) + idx;
    if (slot < v->base || slot >= v->top) return;
    for (uint32_t i = static_cast<uint32_t>(slot); i + 1 < v->top; i++) v->stack[i] = std::move(v->stack[i + 1]);
    v->Pop();
}

SQInteger sq_gettop(HSQUIRRELVM v) { return static_cast<SQInteger>(v->top - v->base); }

void sq_settop(HSQUIRRELVM v, SQInteger newtop)
{
    SQInteger top = sq_gettop(v);
    if (top > newtop)
        sq_pop(v, top - newtop);
    else
        while (top++ < newtop) sq_pushnull(v);
}

SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize)
{
    return Guarded(v, [&] { v->EnsureStack(static_cast<uint32_t>(nsize < 0 ? 0 : nsize)); });
}

SQInteger sq_cmp(HSQUIRRELVM v)
{
    Value a = StackAt(v, -1), b = StackAt(v, -2);
    SQInteger r = 0;
    try {
        r = v->Compare(a, b);
    } catch (ScriptError &) {
    }
    return r;
}

void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx)
{
    Value val = StackAt(src, idx);
    Push(dest, val);
}

// Creating values

SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size)
{
    UserData *u = nullptr;
    try {
        if (size > static_cast<SQUnsignedInteger>(kMaxStringLength)) throw std::bad_alloc();
        u = UserData::New(v->rt, static_cast<SQInteger>(size));
    } catch (std::bad_alloc &) {
        ThrowApiError(v, "out of memory");
        Push(v, Value());
        return nullptr;
    }
    Push(v, Value::Ref(Kind::UserData, u));
    return u->Payload();
}

void sq_newtable(HSQUIRRELVM v) { Push(v, Value::Ref(Kind::Table, Table::New(v->rt, 0))); }

// A size within the limits can still find no memory: that is refused the same way, since an
// exception must not cross the C interface.
void sq_newtableex(HSQUIRRELVM v, SQInteger initialcapacity)
{
    try {
        if (initialcapacity > kMaxTableHint) throw std::bad_alloc();
        Push(v, Value::Ref(Kind::Table, Table::New(v->rt, initialcapacity)));
    } catch (std::bad_alloc &) {
        ThrowApiError(v, "out of memory");
        Push(v, Value());
    }
}

void sq_newarray(HSQUIRRELVM v, SQInteger size)
{
    try {
        if (size > kMaxArraySize) throw std::bad_alloc();
        Push(v, Value::Ref(Kind::Array, Array::New(v->rt, size)));
    } catch (std::bad_alloc &) {
        ThrowApiError(v, "out of memory");
        Push(v, Value());
    }
}

void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars)
{
    NativeClosure *nc = NativeClosure::New(v->rt, func, static_cast<uint32_t>(nfreevars));
    Value hold = Value::Ref(Kind::NativeClosure, nc);
    for (SQUnsignedInteger i = 0; i < nfreevars; i++) {
        nc->freeVars[i] = StackAt(v, -1); // the former top becomes free variable 0
        v->Pop();
    }
    Push(v, hold);
}

SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar *typemask)
{
    Value &o = StackAt(v, -1);
    if (o.kind() != Kind::NativeClosure) return ThrowApiError(v, "native closure expected");
    NativeClosure *nc = o.As<NativeClosure>();
    std::vector<SQInteger> masks;
    if (typemask && !CompileTypeMask(typemask, masks)) return ThrowApiError(v, "invalid typemask");
    nc->SetParamCheck(nparamscheck == SQ_MATCHTYPEMASKSTRING ? static_cast<SQInteger>(masks.size()) : nparamscheck);
    nc->SetTypeMask(std::move(masks));
    return SQ_OK;
}

SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    if (o.kind() != Kind::Closure && o.kind() != Kind::NativeClosure)
        return ThrowApiError(v, "the target is not a closure");
    Value env = StackAt(v, -1);
    if (env.kind() != Kind::Table && env.kind() != Kind::Class && env.kind() != Kind::Instance)
        return ThrowApiError(v, "invalid environment");
    WeakRef *w = GetWeakRef(env);
    Value copy;
    if (o.kind() == Kind::Closure) {
        Closure *c = o.As<Closure>()->Clone();
        copy = Value::Ref(Kind::Closure, c);
        c->BindEnv(w);
    } else {
        NativeClosure *c = o.As<NativeClosure>()->Clone();
        copy = Value::Ref(Kind::NativeClosure, c);
        if (c->env) ReleaseObject(c->env);
        c->env = w;
        w->refs++;
    }
    v->Pop();
    Push(v, copy);
    return SQ_OK;
}

SQRESULT sq_setclosureroot(HSQUIRRELVM v, SQInteger idx)
{
    Value c = StackAt(v, idx);
    Value t = StackAt(v, -1);
    if (c.kind() != Kind::Closure) return ThrowApiError(v, "closure expected");
    if (t.kind() != Kind::Table) return ThrowApiError(v, "ivalid type");
    c.As<Closure>()->SetRoot(GetWeakRef(t));
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_getclosureroot(HSQUIRRELVM v, SQInteger idx)
{
    Value c = StackAt(v, idx);
    if (c.kind() != Kind::Closure) return ThrowApiError(v, "closure expected");
    WeakRef *r = c.As<Closure>()->root;
    Value root = r ? r->Get() : Value();
    Push(v, root.IsNull() ? v->rootTable : root);
    return SQ_OK;
}

void sq_pushstring(HSQUIRRELVM v, const SQChar *s, SQInteger len)
{
    if (!s) {
        Push(v, Value());
        return;
    }
    Push(v, v->rt->String(s, len));
}

void sq_pushfloat(HSQUIRRELVM v, SQFloat f) { Push(v, Value::Float(f)); }
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) { Push(v, Value::Int(n)); }
void sq_pushbool(HSQUIRRELVM v, SQBool b) { Push(v, Value::Bool(b != 0)); }
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) { Push(v, Value::UserPtr(p)); }
void sq_pushnull(HSQUIRRELVM v) { Push(v, Value()); }
void sq_pushthread(HSQUIRRELVM v, HSQUIRRELVM thread) { Push(v, Value::Ref(Kind::Thread, thread)); }

SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) { return ApiType(StackAt(v, idx).kind()); }

SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    Value r;
    SQRESULT res = Guarded(v, [&] { r = v->TypeOf(o); });
    if (SQ_SUCCEEDED(res)) Push(v, r);
    return res;
}

SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    Value r;
    SQRESULT res = Guarded(v, [&] { r = v->ToString(o); });
    if (SQ_SUCCEEDED(res)) Push(v, r);
    return res;
}

void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool *b) { *b = StackAt(v, idx).IsFalsy() ? SQFalse : SQTrue; }

SQInteger sq_getsize_slow(HSQUIRRELVM v, SQInteger idx)
{
    Value &o = StackAt(v, idx);
    switch (o.kind()) {
    case Kind::String: return o.As<Str>()->len;
    case Kind::Table: return o.As<Table>()->Count();
    case Kind::Array: return o.As<Array>()->Size();
    case Kind::UserData: return o.As<UserData>()->size;
    case Kind::Instance: return o.As<Instance>()->cls->udSize;
    case Kind::Class: return o.As<Class>()->udSize;
    default: return InvalidType(v, o.kind());
    }
}

SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx) { return HashKey(StackAt(v, idx)); }

SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx)
{
    TYPED(v, idx, Kind::Class, o);
    Class *b = o->As<Class>()->base;
    Push(v, b ? Value::Ref(Kind::Class, b) : Value());
    return SQ_OK;
}

SQBool sq_instanceof(HSQUIRRELVM v)
{
    Value a = StackAt(v, -1), b = StackAt(v, -2);
    // Hosts use both argument orders.
    if (a.kind() == Kind::Instance && b.kind() == Kind::Class) return a.As<Instance>()->InstanceOf(b.As<Class>());
    if (b.kind() == Kind::Instance && a.kind() == Kind::Class) return b.As<Instance>()->InstanceOf(a.As<Class>());
    if (a.kind() == Kind::Class || b.kind() == Kind::Class) return SQFalse;
    ThrowApiError(v, "invalid param type");
    return SQFalse;
}

SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar **c)
{
    TYPED(v, idx, Kind::String, o);
    *c = o->As<Str>()->chars;
    return SQ_OK;
}

SQRESULT sq_getinteger_slow(HSQUIRRELVM v, SQInteger idx, SQInteger *i)
{
    Value &o = StackAt(v, idx);
    if (!o.IsNumber()) return SQ_ERROR;
    *i = o.ToInt();
    return SQ_OK;
}

SQRESULT sq_getfloat_slow(HSQUIRRELVM v, SQInteger idx, SQFloat *f)
{
    Value &o = StackAt(v, idx);
    if (!o.IsNumber()) return SQ_ERROR;
    *f = o.ToFloat();
    return SQ_OK;
}

SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool *b)
{
    Value &o = StackAt(v, idx);
    if (o.kind() != Kind::Bool) return SQ_ERROR;
    *b = o.AsBool() ? SQTrue : SQFalse;
    return SQ_OK;
}

SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM *thread)
{
    TYPED(v, idx, Kind::Thread, o);
    *thread = static_cast<SQVM *>(o->As<Fiber>());
    return SQ_OK;
}

SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p)
{
    TYPED(v, idx, Kind::UserPointer, o);
    *p = o->AsUserPointer();
    return SQ_OK;
}

SQRESULT sq_getuserdata_slow(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag)
{
    TYPED(v, idx, Kind::UserData, o);
    *p = o->As<UserData>()->Payload();
    if (typetag) *typetag = o->As<UserData>()->typeTag;
    return SQ_OK;
}

SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag)
{
    Value &o = StackAt(v, idx);
    switch (o.kind()) {
    case Kind::UserData: o.As<UserData>()->typeTag = typetag; return SQ_OK;
    case Kind::Class: o.As<Class>()->typeTag = typetag; return SQ_OK;
    default: return ThrowApiError(v, "invalid object type");
    }
}

SQRESULT sq_getobjtypetag(const HSQOBJECT *o, SQUserPointer *typetag)
{
    Value val = FromApi(*o);
    switch (val.kind()) {
    case Kind::Instance: *typetag = val.As<Instance>()->cls->typeTag; return SQ_OK;
    case Kind::UserData: *typetag = val.As<UserData>()->typeTag; return SQ_OK;
    case Kind::Class: *typetag = val.As<Class>()->typeTag; return SQ_OK;
    default: return SQ_ERROR;
    }
}

SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer *typetag)
{
    SQObject o = ToApi(StackAt(v, idx));
    if (SQ_FAILED(sq_getobjtypetag(&o, typetag))) return ThrowApiError(v, "invalid object type");
    return SQ_OK;
}

void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook)
{
    Value &o = StackAt(v, idx);
    switch (o.kind()) {
    case Kind::UserData: o.As<UserData>()->hook = hook; break;
    case Kind::Instance: o.As<Instance>()->hook = hook; break;
    case Kind::Class: o.As<Class>()->hook = hook; break;
    default: break;
    }
}

SQRELEASEHOOK sq_getreleasehook(HSQUIRRELVM v, SQInteger idx)
{
    Value &o = StackAt(v, idx);
    switch (o.kind()) {
    case Kind::UserData: return o.As<UserData>()->hook;
    case Kind::Instance: return o.As<Instance>()->hook;
    case Kind::Class: return o.As<Class>()->hook;
    default: return nullptr;
    }
}

SQChar *sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize)
{
    std::vector<char> &pad = v->rt->scratch;
    if (minsize > 0 && pad.size() < static_cast<size_t>(minsize)) pad.resize(static_cast<size_t>(minsize));
    if (pad.empty()) pad.resize(1);
    return pad.data();
}

SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger *nparams, SQUnsignedInteger *nfreevars)
{
    Value &o = StackAt(v, idx);
    if (o.kind() == Kind::Closure) {
        Closure *c = o.As<Closure>();
        *nparams = static_cast<SQUnsignedInteger>(c->proto->params.size());
        *nfreevars = c->nups;
        return SQ_OK;
    }
    if (o.kind() == Kind::NativeClosure) {
        NativeClosure *c = o.As<NativeClosure>();
        *nparams = static_cast<SQUnsignedInteger>(c->paramCheck);
        *nfreevars = c->nfree;
        return SQ_OK;
    }
    return ThrowApiError(v, "the object is not a closure");
}

SQRESULT sq_getclosurename(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    if (o.kind() == Kind::Closure) {
        Push(v, o.As<Closure>()->proto->name);
        return SQ_OK;
    }
    if (o.kind() == Kind::NativeClosure) {
        Push(v, o.As<NativeClosure>()->name);
        return SQ_OK;
    }
    return ThrowApiError(v, "the target is not a closure");
}

SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar *name)
{
    Value &o = StackAt(v, idx);
    if (o.kind() != Kind::NativeClosure) return ThrowApiError(v, "the object is not a nativeclosure");
    o.As<NativeClosure>()->name = v->rt->String(name);
    return SQ_OK;
}

SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p)
{
    Value &o = StackAt(v, idx);
    if (o.kind() != Kind::Instance) return ThrowApiError(v, "the object is not a class instance");
    o.As<Instance>()->up = p;
    return SQ_OK;
}

SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer typetag)
{
    Value &o = StackAt(v, idx);
    if (o.kind() != Kind::Instance) return ThrowApiError(v, "the object is not a class instance");
    *p = o.As<Instance>()->up;
    if (typetag) {
        for (Class *c = o.As<Instance>()->cls; c; c = c->base)
            if (c->typeTag == typetag) return SQ_OK;
        return ThrowApiError(v, "invalid type tag");
    }
    return SQ_OK;
}

SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize)
{
    Value &o = StackAt(v, idx);
    if (o.kind() != Kind::Class) return ThrowApiError(v, "the object is not a class");
    if (o.As<Class>()->locked) return ThrowApiError(v, "the class is locked");
    o.As<Class>()->udSize = udsize < 0 ? 0 : udsize;
    return SQ_OK;
}

SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase)
{
    Class *base = nullptr;
    Value baseVal;
    if (hasbase) {
        baseVal = StackAt(v, -1);
        if (baseVal.kind() != Kind::Class) return ThrowApiError(v, "invalid base type");
        base = baseVal.As<Class>();
    }
    Value cls = Value::Ref(Kind::Class, Class::New(v->rt, base));
    if (hasbase) v->Pop();
    Push(v, cls);
    return SQ_OK;
}

SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx)
{
    TYPED(v, idx, Kind::Class, o);
    Push(v, Value::Ref(Kind::Instance, Instance::New(v->rt, o->As<Class>())));
    return SQ_OK;
}

SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx)
{
    TYPED(v, idx, Kind::Class, o);
    Value cls = *o;
    Value key = StackAt(v, -2), val = StackAt(v, -1);
    Value old;
    Class *c = cls.As<Class>();
    if (key.IsNull()) {
        old = c->attributes;
        c->attributes = val;
    } else if (c->GetAttributes(key, old)) {
        c->SetAttributes(key, val);
    } else {
        return ThrowApiError(v, "wrong index");
    }
    v->Pop(2);
    Push(v, old);
    return SQ_OK;
}

SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx)
{
    TYPED(v, idx, Kind::Class, o);
    Value cls = *o;
    Value key = StackAt(v, -1);
    Value attrs;
    Class *c = cls.As<Class>();
    if (key.IsNull())
        attrs = c->attributes;
    else if (!c->GetAttributes(key, attrs))
        return ThrowApiError(v, "wrong index");
    v->Pop();
    Push(v, attrs);
    return SQ_OK;
}

SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx)
{
    TYPED(v, idx, Kind::Instance, o);
    Push(v, Value::Ref(Kind::Class, o->As<Instance>()->cls));
    return SQ_OK;
}

void sq_weakref(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    if (o.IsRef())
        Push(v, Value::Ref(Kind::WeakRef, GetWeakRef(o)));
    else
        Push(v, o);
}

SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    if (o.kind() != Kind::WeakRef) return ThrowApiError(v, "the object must be a weakref");
    Push(v, o.As<WeakRef>()->Get());
    return SQ_OK;
}

SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t)
{
    Kind k;
    switch (t) {
    case OT_TABLE: k = Kind::Table; break;
    case OT_ARRAY: k = Kind::Array; break;
    case OT_STRING: k = Kind::String; break;
    case OT_INTEGER:
    case OT_FLOAT:
    case OT_BOOL: k = Kind::Int; break;
    case OT_GENERATOR: k = Kind::Generator; break;
    case OT_CLOSURE:
    case OT_NATIVECLOSURE: k = Kind::Closure; break;
    case OT_THREAD: k = Kind::Thread; break;
    case OT_CLASS: k = Kind::Class; break;
    case OT_INSTANCE: k = Kind::Instance; break;
    case OT_WEAKREF: k = Kind::WeakRef; break;
    default: return ThrowApiError(v, "the type doesn't have a default delegate");
    }
    Push(v, v->rt->delegates[static_cast<int>(k)]);
    return SQ_OK;
}

SQRESULT sq_getmemberhandle(HSQUIRRELVM v, SQInteger idx, HSQMEMBERHANDLE *handle)
{
    TYPED(v, idx, Kind::Class, o);
    SQInteger slot;
    if (!o->As<Class>()->Lookup(StackAt(v, -1), slot)) return ThrowApiError(v, "wrong index");
    handle->_static = IsFieldSlot(slot) ? SQFalse : SQTrue;
    handle->_index = IsFieldSlot(slot) ? slot : SharedIndex(slot);
    v->Pop();
    return SQ_OK;
}

static Value *MemberByHandle(HSQUIRRELVM v, const Value &self, const HSQMEMBERHANDLE *h)
{
    Class *c;
    if (self.kind() == Kind::Instance) {
        Instance *inst = self.As<Instance>();
        c = inst->cls;
        if (!h->_static) {
            if (h->_index < 0 || static_cast<uint32_t>(h->_index) >= inst->nfields) {
                ThrowApiError(v, "wrong index");
                return nullptr;
            }
            return &inst->fields[h->_index];
        }
    } else if (self.kind() == Kind::Class) {
        c = self.As<Class>();
        if (!h->_static) {
            if (h->_index < 0 || static_cast<size_t>(h->_index) >= c->fields.size()) {
                ThrowApiError(v, "wrong index");
                return nullptr;
            }
            return &c->fields[static_cast<size_t>(h->_index)];
        }
    } else {
        ThrowApiError(v, "wrong type(expected class or instance)");
        return nullptr;
    }
    if (h->_index < 0 || static_cast<size_t>(h->_index) >= c->shared.size()) {
        ThrowApiError(v, "wrong index");
        return nullptr;
    }
    return &c->shared[static_cast<size_t>(h->_index)];
}

SQRESULT sq_getbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle)
{
    Value self = StackAt(v, idx);
    Value *slot = MemberByHandle(v, self, handle);
    if (!slot) return SQ_ERROR;
    Push(v, Deref(*slot));
    return SQ_OK;
}

SQRESULT sq_setbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle)
{
    Value self = StackAt(v, idx);
    Value *slot = MemberByHandle(v, self, handle);
    if (!slot) return SQ_ERROR;
    *slot = StackAt(v, -1);
    v->Pop();
    return SQ_OK;
}

// Manipulating objects

void sq_pushroottable(HSQUIRRELVM v) { Push(v, v->rootTable); }
void sq_pushregistrytable(HSQUIRRELVM v) { Push(v, v->rt->registry); }
void sq_pushconsttable(HSQUIRRELVM v) { Push(v, v->rt->consts); }

SQRESULT sq_setroottable(HSQUIRRELVM v)
{
    Value o = StackAt(v, -1);
    if (o.kind() != Kind::Table && !o.IsNull()) return ThrowApiError(v, "ivalid type");
    v->rootTable = o;
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_setconsttable(HSQUIRRELVM v)
{
    Value o = StackAt(v, -1);
    if (o.kind() != Kind::Table) return ThrowApiError(v, "ivalid type, expected table");
    v->rt->consts = o;
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic)
{
    NEED_PARAMS(v, 3);
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -2), val = StackAt(v, -1);
    if (key.IsNull()) return ThrowApiError(v, "null is not a valid key");
    if (self.kind() != Kind::Table && self.kind() != Kind::Class) {
        v->Pop(2);
        return InvalidType(v, self.kind());
    }
    SQRESULT r = Guarded(v, [&] { v->NewSlot(self, key, val, bstatic != 0); });
    v->Pop(2);
    return r;
}

SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    NEED_PARAMS(v, 2);
    TYPED(v, idx, Kind::Table, o);
    Value self = *o;
    Value key = StackAt(v, -1);
    if (key.IsNull()) return ThrowApiError(v, "null is not a valid key");
    Value old;
    SQRESULT r = Guarded(v, [&] { old = v->Delete(self, key); });
    v->Pop();
    if (SQ_SUCCEEDED(r) && pushval) Push(v, old);
    return r;
}

SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -2), val = StackAt(v, -1);
    SQRESULT r = Guarded(v, [&] { v->Set(self, key, val, false); });
    if (SQ_SUCCEEDED(r)) v->Pop(2);
    return r;
}

SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -1);
    Value out;
    SQRESULT r = Guarded(v, [&] { out = v->Get(self, key, false); });
    v->Pop();
    if (SQ_SUCCEEDED(r)) Push(v, out);
    return r;
}

SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -1);
    v->Pop();
    Value out;
    bool found;
    switch (self.kind()) {
    case Kind::Table: found = self.As<Table>()->Get(key, out); break;
    case Kind::Class: found = self.As<Class>()->Get(key, out); break;
    case Kind::Instance: found = self.As<Instance>()->Get(key, out); break;
    case Kind::Array:
        if (!key.IsNumber()) return ThrowApiError(v, "invalid index type for an array");
        found = self.As<Array>()->Get(key.ToInt(), out);
        break;
    default: return ThrowApiError(v, "rawget works only on array/table/instance and class");
    }
    if (!found) return ThrowApiError(v, "the index doesn't exist");
    Push(v, out);
    return SQ_OK;
}

SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -2), val = StackAt(v, -1);
    if (key.IsNull()) {
        v->Pop(2);
        return ThrowApiError(v, "null key");
    }
    switch (self.kind()) {
    case Kind::Table: self.As<Table>()->NewSlot(key, val); break;
    case Kind::Class:
        // Once instantiated, a new field is refused quietly here (the `<-` operator raises).
        self.As<Class>()->AddMember(key, val, false);
        break;
    case Kind::Instance:
        if (!self.As<Instance>()->SetField(key, val)) {
            Value d = v->Describe(key);
            return ThrowApiError(v, "the index '%.50s' does not exist", d.As<Str>()->chars);
        }
        break;
    case Kind::Array:
        if (!key.IsNumber() || !self.As<Array>()->Set(key.ToInt(), val)) {
            Value d = v->Describe(key);
            return ThrowApiError(v, "the index '%.50s' does not exist", d.As<Str>()->chars);
        }
        break;
    default: v->Pop(2); return ThrowApiError(v, "rawset works only on array/table/class and instance");
    }
    v->Pop(2);
    return SQ_OK;
}

SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    NEED_PARAMS(v, 2);
    TYPED(v, idx, Kind::Table, o);
    Value self = *o;
    Value key = StackAt(v, -1);
    Value old;
    if (self.As<Table>()->Get(key, old)) self.As<Table>()->Remove(key);
    v->Pop();
    if (pushval) Push(v, old);
    return SQ_OK;
}

static SQRESULT NewMemberImpl(HSQUIRRELVM v, SQInteger idx, SQBool bstatic, bool raw)
{
    Value self = StackAt(v, idx);
    Value key = StackAt(v, -3), val = StackAt(v, -2), attrs = StackAt(v, -1);
    v->Pop(3);
    if (self.kind() != Kind::Class) return ThrowApiError(v, "new member only works with classes");
    if (key.IsNull()) return ThrowApiError(v, "null key");
    return Guarded(v, [&] { v->NewMember(self, key, val, attrs, bstatic != 0, raw); });
}

SQRESULT sq_newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) { return NewMemberImpl(v, idx, bstatic, false); }
SQRESULT sq_rawnewmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) { return NewMemberImpl(v, idx, bstatic, true); }

static Value *ArrayAt(HSQUIRRELVM v, SQInteger idx)
{
    if (sq_gettop(v) < 1) {
        ThrowApiError(v, "not enough params in the stack");
        return nullptr;
    }
    Value *o;
    if (!CheckType(v, idx, Kind::Array, o)) return nullptr;
    return o;
}

SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx)
{
    NEED_PARAMS(v, 2);
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    o->As<Array>()->items.push_back(StackAt(v, -1));
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    Array *a = o->As<Array>();
    if (a->items.empty()) return ThrowApiError(v, "empty array");
    Value last = std::move(a->items.back());
    a->items.pop_back();
    if (pushval) Push(v, last);
    return SQ_OK;
}

SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize)
{
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    if (newsize < 0) return ThrowApiError(v, "negative size");
    if (newsize > kMaxArraySize) return ThrowApiError(v, "out of memory");
    o->As<Array>()->items.resize(static_cast<size_t>(newsize));
    return SQ_OK;
}

SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx)
{
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    std::vector<Value> &items = o->As<Array>()->items;
    for (size_t i = 0, j = items.size(); i + 1 < j; i++, j--) std::swap(items[i], items[j - 1]);
    return SQ_OK;
}

SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx)
{
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    std::vector<Value> &items = o->As<Array>()->items;
    if (itemidx < 0 || static_cast<size_t>(itemidx) >= items.size()) return ThrowApiError(v, "index out of range");
    items.erase(items.begin() + itemidx);
    return SQ_OK;
}

SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos)
{
    Value *o = ArrayAt(v, idx);
    if (!o) return SQ_ERROR;
    std::vector<Value> &items = o->As<Array>()->items;
    Value val = StackAt(v, -1);
    v->Pop();
    if (destpos < 0 || static_cast<size_t>(destpos) > items.size()) return ThrowApiError(v, "index out of range");
    items.insert(items.begin() + destpos, val);
    return SQ_OK;
}

SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Value d = StackAt(v, -1);
    Table **slot;
    switch (self.kind()) {
    case Kind::Table: slot = &self.As<Table>()->delegate; break;
    case Kind::UserData: slot = &self.As<UserData>()->delegate; break;
    default: return InvalidType(v, self.kind());
    }
    if (d.kind() == Kind::Table) {
        for (Table *t = d.As<Table>(); t; t = t->delegate)
            if (static_cast<Object *>(t) == self.AsObject()) return ThrowApiError(v, "delagate cycle");
        d.As<Table>()->refs++;
    } else if (!d.IsNull()) {
        return InvalidType(v, self.kind());
    }
    Table *old = *slot;
    *slot = d.IsNull() ? nullptr : d.As<Table>();
    if (old) ReleaseObject(old);
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx)
{
    Value self = StackAt(v, idx);
    Table *d;
    switch (self.kind()) {
    case Kind::Table: d = self.As<Table>()->delegate; break;
    case Kind::UserData: d = self.As<UserData>()->delegate; break;
    default: return ThrowApiError(v, "wrong type");
    }
    Push(v, d ? Value::Ref(Kind::Table, d) : Value());
    return SQ_OK;
}

SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    Value r;
    SQRESULT res = Guarded(v, [&] { r = v->Clone(o); });
    if (SQ_SUCCEEDED(res)) Push(v, r);
    return res;
}

SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval)
{
    Value self = StackAt(v, idx);
    Value val = StackAt(v, -1);
    switch (self.kind()) {
    case Kind::Closure: {
        Closure *c = self.As<Closure>();
        if (nval >= c->nups) return ThrowApiError(v, "invalid free var index");
        *c->Up(nval)->loc = val;
        break;
    }
    case Kind::NativeClosure: {
        NativeClosure *c = self.As<NativeClosure>();
        if (nval >= c->nfree) return ThrowApiError(v, "invalid free var index");
        c->freeVars[nval] = val;
        break;
    }
    default: return InvalidType(v, self.kind());
    }
    v->Pop();
    return SQ_OK;
}

const SQChar *sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval)
{
    Value self = StackAt(v, idx);
    if (self.kind() == Kind::Closure) {
        Closure *c = self.As<Closure>();
        if (nval >= c->nups) return nullptr;
        Push(v, *c->Up(nval)->loc);
        return c->proto->upvals[nval].name.As<Str>()->chars;
    }
    if (self.kind() == Kind::NativeClosure) {
        NativeClosure *c = self.As<NativeClosure>();
        if (nval >= c->nfree) return nullptr;
        Push(v, c->freeVars[nval]);
        return "@NATIVE";
    }
    return nullptr;
}

SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    if (o.kind() == Kind::Generator) return ThrowApiError(v, "cannot iterate a generator");
    Value iter = StackAt(v, -1), key, val;
    bool more = false;
    SQRESULT r = Guarded(v, [&] { more = v->ForeachStep(o, key, val, iter); });
    if (SQ_FAILED(r) || !more) return SQ_ERROR;
    StackAt(v, -1) = iter;
    Push(v, key);
    Push(v, val);
    return SQ_OK;
}

SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx)
{
    Value o = StackAt(v, idx);
    switch (o.kind()) {
    case Kind::Table: o.As<Table>()->Clear(); return SQ_OK;
    case Kind::Array: {
        std::vector<Value> drop;
        drop.swap(o.As<Array>()->items);
        return SQ_OK;
    }
    default: return ThrowApiError(v, "clear only works on table and array");
    }
}

// Calls

SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror)
{
    uint32_t func = v->top - static_cast<uint32_t>(params) - 1;
    Value out;
    RunStatus status;
    try {
        status = v->Invoke(func, static_cast<uint32_t>(params), raiseerror != 0, out);
    } catch (ScriptError &) {
        sq_pop(v, params);
        return SQ_ERROR;
    }
    if (status != RunStatus::Suspended) sq_pop(v, params);
    if (retval) Push(v, out);
    return SQ_OK;
}

SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror)
{
    Value g = StackAt(v, -1);
    if (g.kind() != Kind::Generator) return ThrowApiError(v, "only generators can be resumed");
    Value out;
    (void)raiseerror;
    SQRESULT r = Guarded(v, [&] { v->ResumeGenerator(g.As<Generator>(), out); });
    if (SQ_SUCCEEDED(r) && retval) Push(v, out);
    return r;
}

const SQChar *sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx)
{
    if (level >= v->frames.size()) return nullptr;
    const Frame &f = v->frames[v->frames.size() - 1 - level];
    if (f.callee.kind() != Kind::Closure) return nullptr;
    Closure *c = f.callee.As<Closure>();
    Proto *p = c->proto;
    if (idx < c->nups) {
        Push(v, *c->Up(idx)->loc);
        return p->upvals[idx].name.As<Str>()->chars;
    }
    idx -= c->nups;
    uint32_t pc = static_cast<uint32_t>(f.pc - p->code.data());
    pc = pc > 0 ? pc - 1 : 0;
    for (const LocalInfo &l : p->locals) {
        if (l.startPc <= pc && pc < l.endPc) {
            if (idx == 0) {
                Push(v, v->stack[f.base + l.reg]);
                return l.name.As<Str>()->chars;
            }
            idx--;
        }
    }
    return nullptr;
}

SQRESULT sq_getcallee(HSQUIRRELVM v)
{
    if (v->frames.size() > 1) {
        Push(v, v->frames[v->frames.size() - 2].callee);
        return SQ_OK;
    }
    return ThrowApiError(v, "no closure in the calls stack");
}

SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar *err)
{
    v->lastError = v->rt->String(err);
    return SQ_ERROR;
}

SQRESULT sq_throwobject(HSQUIRRELVM v)
{
    v->lastError = StackAt(v, -1);
    v->Pop();
    return SQ_ERROR;
}

void sq_reseterror(HSQUIRRELVM v) { v->lastError.SetNull(); }
void sq_getlasterror(HSQUIRRELVM v) { Push(v, v->lastError); }

// Raw handles

SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT *po)
{
    *po = ToApi(StackAt(v, idx));
    return SQ_OK;
}

void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) { Push(v, FromApi(obj)); }

void sq_addref(HSQUIRRELVM v, HSQOBJECT *po)
{
    Value val = FromApi(*po);
    if (!val.IsRef()) return;
    HostRef &r = v->rt->hostRefs[val.AsObject()];
    if (r.count == 0) r.value = val;
    r.count++;
}

SQBool sq_release(HSQUIRRELVM v, HSQOBJECT *po)
{
    Value val = FromApi(*po);
    if (!val.IsRef()) return SQTrue;
    auto it = v->rt->hostRefs.find(val.AsObject());
    if (it == v->rt->hostRefs.end()) return SQFalse;
    if (--it->second.count > 0) return SQFalse;
    Value drop = std::move(it->second.value);
    v->rt->hostRefs.erase(it);
    return SQTrue;
}

SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT *po)
{
    Value val = FromApi(*po);
    if (!val.IsRef()) return 0;
    auto it = v->rt->hostRefs.find(val.AsObject());
    return it == v->rt->hostRefs.end() ? 0 : it->second.count;
}

SQUnsignedInteger sq_getvmrefcount(HSQUIRRELVM, const HSQOBJECT *po)
{
    if (!ISREFCOUNTED(po->_type) || !po->_unVal.pObject) return 0;
    return static_cast<Object *>(po->_unVal.pObject)->refs;
}

void sq_resetobject(HSQOBJECT *po)
{
    po->_type = OT_NULL;
    po->_unVal.raw = 0;
}

const SQChar *sq_objtostring(const HSQOBJECT *o)
{
    return o->_type == OT_STRING ? static_cast<Str *>(o->_unVal.pObject)->chars : nullptr;
}

SQBool sq_objtobool(const HSQOBJECT *o) { return o->_type == OT_BOOL ? (o->_unVal.nInteger != 0) : SQFalse; }

SQInteger sq_objtointeger(const HSQOBJECT *o)
{
    if (o->_type == OT_INTEGER) return o->_unVal.nInteger;
    if (o->_type == OT_FLOAT) return FloatToInt(o->_unVal.fFloat);
    return 0;
}

SQFloat sq_objtofloat(const HSQOBJECT *o)
{
    if (o->_type == OT_FLOAT) return o->_unVal.fFloat;
    if (o->_type == OT_INTEGER) return static_cast<SQFloat>(o->_unVal.nInteger);
    return 0;
}

SQUserPointer sq_objtouserpointer(const HSQOBJECT *o)
{
    return o->_type == OT_USERPOINTER ? o->_unVal.pUserPointer : nullptr;
}

// Collector

SQInteger sq_collectgarbage(HSQUIRRELVM v) { return v->rt->CollectGarbage(); }

SQRESULT sq_resurrectunreachable(HSQUIRRELVM v)
{
    Push(v, v->rt->Unreachable());
    return SQ_OK;
}

// Memory

void *sq_malloc(SQUnsignedInteger size) { return malloc(size ? size : 1); }
void *sq_realloc(void *p, SQUnsignedInteger, SQUnsignedInteger newsize) { return realloc(p, newsize ? newsize : 1); }
void sq_free(void *p, SQUnsignedInteger) { free(p); }

// Debug

SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos *si)
{
    if (level < 0 || static_cast<size_t>(level) >= v->frames.size()) return SQ_ERROR;
    const Frame &f = v->frames[v->frames.size() - 1 - static_cast<size_t>(level)];
    si->funcname = nullptr;
    si->source = nullptr;
    si->line = 0;
    if (f.callee.kind() == Kind::Closure) {
        Proto *p = f.callee.As<Closure>()->proto;
        if (p->name.IsString()) si->funcname = p->name.As<Str>()->chars;
        if (p->source.IsString()) si->source = p->source.As<Str>()->chars;
        size_t pc = static_cast<size_t>(f.pc - p->code.data());
        si->line = p->LineAt(pc > 0 ? pc - 1 : 0);
    } else {
        si->source = "NATIVE";
        si->funcname = "unknown";
        const Value &name = f.callee.As<NativeClosure>()->name;
        if (name.IsString()) si->funcname = name.As<Str>()->chars;
        si->line = -1;
    }
    return SQ_OK;
}

SQRESULT sq_getfunctioninfo(HSQUIRRELVM v, SQInteger level, SQFunctionInfo *fi)
{
    if (level >= 0 && static_cast<size_t>(level) < v->frames.size()) {
        const Frame &f = v->frames[v->frames.size() - 1 - static_cast<size_t>(level)];
        if (f.callee.kind() == Kind::Closure) {
            Proto *p = f.callee.As<Closure>()->proto;
            fi->funcid = p;
            fi->name = p->name.IsString() ? p->name.As<Str>()->chars : "unknown";
            fi->source = p->source.IsString() ? p->source.As<Str>()->chars : "unknown";
            fi->line = p->lines.empty() ? 0 : p->lines.front();
            return SQ_OK;
        }
    }
    return ThrowApiError(v, "the object is not a closure");
}

void sq_setdebughook(HSQUIRRELVM v)
{
    Value o = StackAt(v, -1);
    if (o.kind() == Kind::Closure || o.kind() == Kind::NativeClosure || o.IsNull()) {
        v->debugHook = o;
        v->nativeHook = nullptr;
        v->hooksOn = !o.IsNull();
        v->Pop();
    }
}

void sq_setnativedebughook(HSQUIRRELVM v, SQDEBUGHOOK hook)
{
    v->nativeHook = hook;
    v->debugHook.SetNull();
    v->hooksOn = hook != nullptr;
}
