// The default delegates: the methods every value of a kind answers to (10 in the
// language reference), installed once per runtime.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "../vm/array.h"
#include "../vm/classes.h"
#include "../vm/strings.h"
#include "../vm/table.h"
#include "api_internal.h"

using namespace nut;

SQInteger PushStackInfos(HSQUIRRELVM v, HSQUIRRELVM target, SQInteger level);

namespace {

Value &Arg(HSQUIRRELVM v, SQInteger i) { return StackAt(v, i); }

SQInteger Return(HSQUIRRELVM v, const Value &r)
{
    v->PushChecked(r);
    return 1;
}

// Parses a number the way tointeger/tofloat read strings: a '.' (or an exponent when
// 'e' cannot be a digit) makes it a float; trailing characters are ignored.
bool ParseNumber(const char *s, SQInteger base, Value &out)
{
    bool isFloat = false;
    for (const char *p = s; *p; p++) {
        if (*p == '.' || (base <= 13 && (*p == 'e' || *p == 'E'))) {
            isFloat = true;
            break;
        }
    }
    char *end;
    if (isFloat) {
        double d = strtod(s, &end);
        if (end == s) return false;
        out = Value::Float(static_cast<SQFloat>(d));
        return true;
    }
    // Base 0 reads the base from the prefix; any other base outside 2..36 reads as 0.
    if (base != 0 && (base < 2 || base > 36)) {
        out = Value::Int(0);
        return true;
    }
    long long l = strtoll(s, &end, static_cast<int>(base));
    if (end == s) return false;
    // Out of range saturates at the 32-bit limits, as a 32-bit strtol does.
    if (l > INT32_MAX) l = INT32_MAX;
    if (l < INT32_MIN) l = INT32_MIN;
    out = Value::Int(static_cast<SQInteger>(l));
    return true;
}

// Shared

SQInteger obj_len(HSQUIRRELVM v) { return Return(v, Value::Int(sq_getsize(v, 1))); }

SQInteger obj_tostring(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    return Return(v, v->ToString(self));
}

SQInteger obj_weakref(HSQUIRRELVM v)
{
    sq_weakref(v, 1);
    return 1;
}

SQInteger obj_clear(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_clear(v, 1)) ? 0 : SQ_ERROR; }

SQInteger obj_tointeger(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    switch (self.kind()) {
    case Kind::String: {
        SQInteger base = 10;
        if (sq_gettop(v) > 1) sq_getinteger(v, 2, &base);
        Value n;
        if (!ParseNumber(self.As<Str>()->chars, base, n)) return sq_throwerror(v, "cannot convert the string");
        return Return(v, Value::Int(n.ToInt()));
    }
    case Kind::Int:
    case Kind::Float: return Return(v, Value::Int(self.ToInt()));
    case Kind::Bool: return Return(v, Value::Int(self.AsBool() ? 1 : 0));
    default: return 0;
    }
}

SQInteger obj_tofloat(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    switch (self.kind()) {
    case Kind::String: {
        Value n;
        if (!ParseNumber(self.As<Str>()->chars, 10, n)) return sq_throwerror(v, "cannot convert the string");
        return Return(v, Value::Float(n.ToFloat()));
    }
    case Kind::Int:
    case Kind::Float: return Return(v, Value::Float(self.ToFloat()));
    case Kind::Bool: return Return(v, Value::Float(self.AsBool() ? 1.0f : 0.0f));
    default: return 0;
    }
}

SQInteger number_tochar(HSQUIRRELVM v)
{
    char c = static_cast<char>(Arg(v, 1).ToInt());
    return Return(v, v->rt->String(&c, 1));
}

SQInteger container_rawget(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_rawget(v, 1)) ? 1 : SQ_ERROR; }
SQInteger container_rawset(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_rawset(v, 1)) ? 0 : SQ_ERROR; }

SQInteger container_rawin(HSQUIRRELVM v)
{
    bool found = SQ_SUCCEEDED(sq_rawget(v, 1));
    return Return(v, Value::Bool(found));
}

// Tables

SQInteger table_rawdelete(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_rawdeleteslot(v, 1, SQTrue)) ? 1 : SQ_ERROR; }

SQInteger table_setdelegate(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_setdelegate(v, 1))) return SQ_ERROR;
    sq_push(v, 1);
    return 1;
}

SQInteger table_getdelegate(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getdelegate(v, 1)) ? 1 : SQ_ERROR; }

// Arrays

Array *Self(HSQUIRRELVM v) { return Arg(v, 1).As<Array>(); }

SQInteger array_append(HSQUIRRELVM v)
{
    Self(v)->items.push_back(Arg(v, 2));
    return 0;
}

SQInteger array_extend(HSQUIRRELVM v)
{
    Value other = Arg(v, 2);
    std::vector<Value> copy = other.As<Array>()->items;
    std::vector<Value> &items = Self(v)->items;
    items.insert(items.end(), copy.begin(), copy.end());
    return 0;
}

SQInteger array_pop(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_arraypop(v, 1, SQTrue)) ? 1 : SQ_ERROR; }

SQInteger array_top(HSQUIRRELVM v)
{
    Array *a = Self(v);
    if (a->items.empty()) return sq_throwerror(v, "top() on a empty array");
    return Return(v, a->items.back());
}

SQInteger array_insert(HSQUIRRELVM v)
{
    Array *a = Self(v);
    SQInteger idx = Arg(v, 2).ToInt();
    if (idx < 0 || idx > a->Size()) return sq_throwerror(v, "index out of range");
    Value val = Arg(v, 3);
    a->items.insert(a->items.begin() + idx, val);
    return 0;
}

SQInteger array_remove(HSQUIRRELVM v)
{
    Array *a = Self(v);
    SQInteger idx = Arg(v, 2).ToInt();
    if (idx < 0 || idx >= a->Size()) return sq_throwerror(v, "idx out of range");
    Value removed = std::move(a->items[static_cast<size_t>(idx)]);
    a->items.erase(a->items.begin() + idx);
    return Return(v, removed);
}

SQInteger array_resize(HSQUIRRELVM v)
{
    Array *a = Self(v);
    SQInteger n = Arg(v, 2).ToInt();
    if (n < 0) return sq_throwerror(v, "resizing to negative length");
    if (n > kMaxArraySize) return sq_throwerror(v, "out of memory");
    Value fill = sq_gettop(v) > 2 ? Arg(v, 3) : Value();
    a->items.resize(static_cast<size_t>(n), fill);
    return 0;
}

SQInteger array_reverse(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_arrayreverse(v, 1)) ? 0 : SQ_ERROR; }

// Calls fn(this = the array, args...) and returns the result. The loops that call it
// once per item are counted as callers once (CountCaller), not at every call: the counts
// that any check sees are the same.
Value CallOnArray(HSQUIRRELVM v, const Value &arr, std::initializer_list<Value> args)
{
    // The room the call pushes into is made first, so that the function is passed where
    // it stands in the native's own slot (no copy): the stack cannot move under it.
    const uint32_t pushed = static_cast<uint32_t>(args.size()) + 2;
    v->EnsureStack(pushed);
    return v->CallWithThis(Arg(v, 2), arr, args.begin(), pushed - 2, false);
}

// map, apply, reduce and filter take the length once, before the first call, and visit
// that many indexes whatever the callback does to the array: past its current end they
// pass the item read last again (a read there leaves `item` as it was), apply's store
// there does nothing and map's result has one item per index.
// The result being filled and the item read last are held (HeldValue) across each call:
// nothing else may refer to them while the callback runs a collection.

SQInteger array_map(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Array *src = self.As<Array>();
    const SQInteger n = src->Size();
    Array *out = Array::New(v->rt, 0);
    HeldValue result(v->rt, Value::Ref(Kind::Array, out));
    out->items.reserve(static_cast<size_t>(n));
    Fiber::CountCaller counted(v->rt);
    HeldValue item(v->rt);
    for (SQInteger i = 0; i < n; i++) {
        src->Get(i, item.value);
        out->items.push_back(CallOnArray(v, self, {item.value}));
    }
    return Return(v, result.value);
}

SQInteger array_apply(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Array *a = self.As<Array>();
    const SQInteger n = a->Size();
    Fiber::CountCaller counted(v->rt);
    HeldValue item(v->rt);
    for (SQInteger i = 0; i < n; i++) {
        a->Get(i, item.value);
        Value r = CallOnArray(v, self, {item.value});
        a->Set(i, r);
    }
    return 0;
}

SQInteger array_reduce(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Array *a = self.As<Array>();
    const SQInteger n = a->Size();
    if (n == 0) return 0;
    HeldValue acc(v->rt);
    a->Get(0, acc.value);
    Fiber::CountCaller counted(v->rt);
    HeldValue item(v->rt);
    for (SQInteger i = 1; i < n; i++) {
        a->Get(i, item.value);
        acc.value = CallOnArray(v, self, {acc.value, item.value});
    }
    return Return(v, acc.value);
}

SQInteger array_filter(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Array *a = self.As<Array>();
    const SQInteger n = a->Size();
    Array *out = Array::New(v->rt, 0);
    HeldValue result(v->rt, Value::Ref(Kind::Array, out));
    Fiber::CountCaller counted(v->rt);
    HeldValue item(v->rt);
    for (SQInteger i = 0; i < n; i++) {
        a->Get(i, item.value);
        if (!CallOnArray(v, self, {Value::Int(i), item.value}).IsFalsy()) out->items.push_back(item.value);
    }
    return Return(v, result.value);
}

SQInteger array_find(HSQUIRRELVM v)
{
    Value self = Arg(v, 1), needle = Arg(v, 2);
    Array *a = self.As<Array>();
    for (SQInteger i = 0; i < a->Size(); i++) {
        Value item;
        a->Get(i, item);
        if (Fiber::Equal(item, needle)) return Return(v, Value::Int(i));
    }
    return 0;
}

struct SortContext {
    HSQUIRRELVM v;
    Value cmp; // null: the language's own ordering
};

Value &SortItem(SortContext &ctx, Array *a, SQInteger i)
{
    if (i >= a->Size()) ctx.v->Throw("array modified during sort");
    return a->items[static_cast<size_t>(i)];
}

// The compare function's result for x and y, which are copied onto the stack before it
// runs.
Value CallComparator(SortContext &ctx, const Value &x, const Value &y)
{
    HSQUIRRELVM v = ctx.v;
    try {
        return v->CallWithThis2(ctx.cmp, v->rootTable, x, y, false);
    } catch (ScriptError &) {
        if (!v->lastError.IsString()) v->Throw("compare func failed");
        throw;
    }
}

// Compares items i and j. Whatever runs (a compare function, a _cmp metamethod) gets
// copies: it may resize the array under us.
SQInteger SortCompareSlow(SortContext &ctx, Array *arr, SQInteger i, SQInteger j)
{
    HSQUIRRELVM v = ctx.v;
    const Value &x = SortItem(ctx, arr, i);
    const Value &y = SortItem(ctx, arr, j);
    if (ctx.cmp.IsNull()) {
        Value a = x, b = y;
        return v->Compare(a, b);
    }
    const Value r = CallComparator(ctx, x, y);
    if (!r.IsNumber()) v->Throw("numeric value expected as return value of the compare function");
    return r.ToInt();
}

// Two integers under the language's own ordering compare inline.
inline SQInteger SortCompare(SortContext &ctx, Array *arr, SQInteger i, SQInteger j)
{
    if (ctx.cmp.IsNull() && i < arr->Size() && j < arr->Size()) {
        const Value &x = arr->items[static_cast<size_t>(i)];
        const Value &y = arr->items[static_cast<size_t>(j)];
        if (x.IsInt() && y.IsInt()) return x.AsInt() < y.AsInt() ? -1 : (x.AsInt() > y.AsInt() ? 1 : 0);
    }
    return SortCompareSlow(ctx, arr, i, j);
}

// In-place heapsort whose node 0 is its own first child (children of k are 2k and 2k+1):
// equal keys end up where scripts written for the language expect them. A comparator
// that resizes the array stops the sort with an error instead of reading past it.
void SiftDown(SortContext &ctx, Array *a, SQInteger root, SQInteger bottom)
{
    while (root * 2 <= bottom) {
        SQInteger child = root * 2;
        if (child != bottom && SortCompare(ctx, a, child, child + 1) <= 0) child++;
        if (SortCompare(ctx, a, root, child) >= 0) return;
        if (child == root) ctx.v->Throw("inconsistent compare function");
        std::swap(SortItem(ctx, a, root), SortItem(ctx, a, child));
        root = child;
    }
}

SQInteger array_sort(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Array *a = self.As<Array>();
    SortContext ctx{v, sq_gettop(v) > 1 ? Arg(v, 2) : Value()};
    SQInteger n = a->Size();
    if (n < 2) return 0;
    // Every compare may call back into the VM: the sort is counted as their caller once,
    // as the loops over CallOnArray are.
    Fiber::CountCaller counted(v->rt);
    for (SQInteger i = n / 2; i >= 0; i--) SiftDown(ctx, a, i, n - 1);
    for (SQInteger i = n - 1; i >= 1; i--) {
        std::swap(SortItem(ctx, a, 0), SortItem(ctx, a, i));
        SiftDown(ctx, a, 0, i - 1);
    }
    return 0;
}

// Resolves slice(start [, end]) arguments against `len`; false after raising.
bool SliceBounds(HSQUIRRELVM v, SQInteger len, SQInteger &start, SQInteger &end)
{
    SQInteger top = sq_gettop(v);
    start = 0;
    end = len;
    if (top > 1 && Arg(v, 2).IsNumber()) start = Arg(v, 2).ToInt();
    if (top > 2) end = Arg(v, 3).IsNumber() ? Arg(v, 3).ToInt() : 0;
    if (start < 0) start += len;
    if (end < 0) end += len;
    if (end < start) {
        sq_throwerror(v, "wrong indexes");
        return false;
    }
    if (end > len || start < 0) {
        sq_throwerror(v, "slice out of range");
        return false;
    }
    return true;
}

SQInteger array_slice(HSQUIRRELVM v)
{
    Array *a = Self(v);
    SQInteger start, end;
    if (!SliceBounds(v, a->Size(), start, end)) return SQ_ERROR;
    Array *out = Array::New(v->rt, 0);
    Value result = Value::Ref(Kind::Array, out);
    for (SQInteger i = start; i < end; i++) out->items.push_back(a->items[static_cast<size_t>(i)]);
    return Return(v, result);
}

// Strings

SQInteger string_slice(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Str *s = self.As<Str>();
    SQInteger start, end;
    if (!SliceBounds(v, s->len, start, end)) return SQ_ERROR;
    return Return(v, v->rt->String(s->chars + start, end - start));
}

SQInteger string_find(HSQUIRRELVM v)
{
    Value self = Arg(v, 1), sub = Arg(v, 2);
    Str *s = self.As<Str>();
    SQInteger start = 0;
    if (sq_gettop(v) > 2) start = Arg(v, 3).ToInt();
    if (start < 0 || start >= s->len) return 0;
    const char *hit = strstr(s->chars + start, sub.As<Str>()->chars);
    if (!hit) return 0;
    return Return(v, Value::Int(static_cast<SQInteger>(hit - s->chars)));
}

template <int (*Conv)(int)> SQInteger string_case(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Str *s = self.As<Str>();
    SQInteger start, end;
    if (!SliceBounds(v, s->len, start, end)) return SQ_ERROR;
    std::string out(s->chars, static_cast<size_t>(s->len));
    for (SQInteger i = start; i < end; i++) out[static_cast<size_t>(i)] = static_cast<char>(Conv(static_cast<unsigned char>(out[static_cast<size_t>(i)])));
    return Return(v, v->rt->String(out.data(), static_cast<SQInteger>(out.size())));
}

// Functions

SQInteger closure_call(HSQUIRRELVM v)
{
    return SQ_SUCCEEDED(sq_call(v, sq_gettop(v) - 1, SQTrue, SQTrue)) ? 1 : SQ_ERROR;
}

SQInteger closure_pcall(HSQUIRRELVM v)
{
    return SQ_SUCCEEDED(sq_call(v, sq_gettop(v) - 1, SQTrue, SQFalse)) ? 1 : SQ_ERROR;
}

SQInteger ArrayCall(HSQUIRRELVM v, bool raise)
{
    Value args = Arg(v, 2);
    std::vector<Value> items = args.As<Array>()->items;
    sq_push(v, 1);
    for (const Value &a : items) v->PushChecked(a);
    return SQ_SUCCEEDED(sq_call(v, static_cast<SQInteger>(items.size()), SQTrue, raise ? SQTrue : SQFalse)) ? 1 : SQ_ERROR;
}

SQInteger closure_acall(HSQUIRRELVM v) { return ArrayCall(v, true); }
SQInteger closure_pacall(HSQUIRRELVM v) { return ArrayCall(v, false); }
SQInteger closure_bindenv(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_bindenv(v, 1)) ? 1 : SQ_ERROR; }
SQInteger closure_getroot(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getclosureroot(v, 1)) ? 1 : SQ_ERROR; }

SQInteger closure_setroot(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_setclosureroot(v, 1))) return SQ_ERROR;
    sq_push(v, 1);
    return 1;
}

SQInteger closure_getinfos(HSQUIRRELVM v)
{
    Value self = Arg(v, 1);
    Runtime *rt = v->rt;
    Table *t = Table::New(rt, 6);
    Value result = Value::Ref(Kind::Table, t);
    if (self.kind() == Kind::Closure) {
        Closure *c = self.As<Closure>();
        Proto *p = c->proto;
        Array *params = Array::New(rt, 0);
        Value hp = Value::Ref(Kind::Array, params);
        for (const Value &n : p->params) params->items.push_back(n);
        if (p->varargs) params->items.push_back(rt->String("..."));
        Array *defs = Array::New(rt, 0);
        Value hd = Value::Ref(Kind::Array, defs);
        for (uint32_t i = 0; i < c->ndefaults; i++) defs->items.push_back(c->Default(i));
        t->NewSlot(rt->String("native"), Value::Bool(false));
        t->NewSlot(rt->String("name"), p->name);
        t->NewSlot(rt->String("src"), p->source);
        t->NewSlot(rt->String("parameters"), hp);
        t->NewSlot(rt->String("varargs"), Value::Int(p->varargs ? 1 : 0));
        t->NewSlot(rt->String("defparams"), hd);
    } else {
        NativeClosure *nc = self.As<NativeClosure>();
        t->NewSlot(rt->String("native"), Value::Bool(true));
        t->NewSlot(rt->String("name"), nc->name);
        t->NewSlot(rt->String("paramscheck"), Value::Int(nc->paramCheck));
        Value masks;
        if (!nc->typeMask.empty()) {
            Array *m = Array::New(rt, 0);
            masks = Value::Ref(Kind::Array, m);
            for (SQInteger mask : nc->typeMask) m->items.push_back(Value::Int(mask));
        }
        t->NewSlot(rt->String("typecheck"), masks);
    }
    return Return(v, result);
}

// Generators and threads

SQInteger generator_getstatus(HSQUIRRELVM v)
{
    static const char *const kStates[] = {"suspended", "running", "dead"};
    return Return(v, v->rt->String(kStates[static_cast<int>(Arg(v, 1).As<Generator>()->state)]));
}

Fiber *ThreadArg(HSQUIRRELVM v) { return Arg(v, 1).As<Fiber>(); }

SQInteger thread_call(HSQUIRRELVM v)
{
    Value keep = Arg(v, 1);
    HSQUIRRELVM t = static_cast<SQVM *>(ThreadArg(v));
    if (t->suspended) {
        // A suspended thread is left as it is, for a wakeup; the error carries no value.
        v->lastError.SetNull();
        return SQ_ERROR;
    }
    SQInteger nargs = sq_gettop(v);
    sq_pushroottable(t);
    for (SQInteger i = 2; i <= nargs; i++) sq_move(t, v, i);
    if (SQ_SUCCEEDED(sq_call(t, nargs, SQTrue, SQTrue))) {
        sq_move(v, t, -1);
        sq_pop(t, 1);
        return 1;
    }
    v->lastError = t->lastError;
    return SQ_ERROR;
}

SQInteger Wakeup(HSQUIRRELVM v, bool throwing)
{
    Value keep = Arg(v, 1);
    HSQUIRRELVM t = static_cast<SQVM *>(ThreadArg(v));
    switch (sq_getvmstate(t)) {
    case SQ_VMSTATE_IDLE: return sq_throwerror(v, "cannot wakeup a idle thread");
    case SQ_VMSTATE_RUNNING: return sq_throwerror(v, "cannot wakeup a running thread");
    default: break;
    }
    SQBool rethrow = SQTrue;
    SQBool wakeupret = SQFalse;
    if (throwing) {
        t->lastError = Arg(v, 2);
        if (sq_gettop(v) > 2) sq_getbool(v, 3, &rethrow);
    } else if (sq_gettop(v) > 1) {
        wakeupret = SQTrue;
        sq_move(t, v, 2);
    }
    if (SQ_SUCCEEDED(sq_wakeupvm(t, wakeupret, SQTrue, SQTrue, throwing ? SQTrue : SQFalse))) {
        sq_move(v, t, -1);
        sq_pop(t, 1);
        if (sq_getvmstate(t) == SQ_VMSTATE_IDLE) sq_settop(t, 1);
        return 1;
    }
    sq_settop(t, 1);
    if (!rethrow) return 0;
    v->lastError = t->lastError;
    return SQ_ERROR;
}

SQInteger thread_wakeup(HSQUIRRELVM v) { return Wakeup(v, false); }
SQInteger thread_wakeupthrow(HSQUIRRELVM v) { return Wakeup(v, true); }

SQInteger thread_getstatus(HSQUIRRELVM v)
{
    static const char *const kStates[] = {"idle", "running", "suspended"};
    return Return(v, v->rt->String(kStates[sq_getvmstate(static_cast<SQVM *>(ThreadArg(v)))]));
}

SQInteger thread_getstackinfos(HSQUIRRELVM v)
{
    Value keep = Arg(v, 1);
    HSQUIRRELVM t = static_cast<SQVM *>(ThreadArg(v));
    return PushStackInfos(v, t, Arg(v, 2).ToInt());
}

// Classes and instances

SQInteger class_getattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getattributes(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_setattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_setattributes(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_instance(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_createinstance(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_getbase(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getbase(v, 1)) ? 1 : SQ_ERROR; }

SQInteger NewMember(HSQUIRRELVM v, bool raw)
{
    SQInteger top = sq_gettop(v);
    SQBool isStatic = SQFalse;
    if (top >= 5) {
        sq_tobool(v, 5, &isStatic);
        sq_settop(v, 4);
    }
    if (top < 4) sq_pushnull(v);
    Value attrs = StackAt(v, -1);
    SQRESULT r = raw ? sq_rawnewmember(v, 1, isStatic) : sq_newmember(v, 1, isStatic);
    if (SQ_FAILED(r)) return SQ_ERROR;
    return Return(v, attrs); // the attributes given, or null
}

SQInteger class_newmember(HSQUIRRELVM v) { return NewMember(v, false); }
SQInteger class_rawnewmember(HSQUIRRELVM v) { return NewMember(v, true); }
SQInteger instance_getclass(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getclass(v, 1)) ? 1 : SQ_ERROR; }
SQInteger weakref_ref(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getweakrefval(v, 1)) ? 1 : SQ_ERROR; }

const SQRegFunction kNumber[] = {
    {"tointeger", obj_tointeger, 1, "n|b"}, {"tofloat", obj_tofloat, 1, "n|b"}, {"tostring", obj_tostring, 1, "."},
    {"tochar", number_tochar, 1, "n|b"},    {"weakref", obj_weakref, 1, nullptr}, {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kString[] = {{"len", obj_len, 1, "s"},
                                 {"tointeger", obj_tointeger, -1, "sn"},
                                 {"tofloat", obj_tofloat, 1, "s"},
                                 {"tostring", obj_tostring, 1, "."},
                                 {"slice", string_slice, -1, "s n  n"},
                                 {"find", string_find, -2, "s s n"},
                                 {"tolower", string_case<tolower>, -1, "s n n"},
                                 {"toupper", string_case<toupper>, -1, "s n n"},
                                 {"weakref", obj_weakref, 1, nullptr},
                                 {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kTable[] = {{"len", obj_len, 1, "t"},
                                {"rawget", container_rawget, 2, "t"},
                                {"rawset", container_rawset, 3, "t"},
                                {"rawdelete", table_rawdelete, 2, "t"},
                                {"rawin", container_rawin, 2, "t"},
                                {"weakref", obj_weakref, 1, nullptr},
                                {"tostring", obj_tostring, 1, "."},
                                {"clear", obj_clear, 1, "."},
                                {"setdelegate", table_setdelegate, 2, ".t|o"},
                                {"getdelegate", table_getdelegate, 1, "."},
                                {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kArray[] = {{"len", obj_len, 1, "a"},
                                {"append", array_append, 2, "a"},
                                {"extend", array_extend, 2, "aa"},
                                {"push", array_append, 2, "a"},
                                {"pop", array_pop, 1, "a"},
                                {"top", array_top, 1, "a"},
                                {"insert", array_insert, 3, "an"},
                                {"remove", array_remove, 2, "an"},
                                {"resize", array_resize, -2, "an"},
                                {"reverse", array_reverse, 1, "a"},
                                {"sort", array_sort, -1, "ac"},
                                {"slice", array_slice, -1, "ann"},
                                {"weakref", obj_weakref, 1, nullptr},
                                {"tostring", obj_tostring, 1, "."},
                                {"clear", obj_clear, 1, "."},
                                {"map", array_map, 2, "ac"},
                                {"apply", array_apply, 2, "ac"},
                                {"reduce", array_reduce, 2, "ac"},
                                {"filter", array_filter, 2, "ac"},
                                {"find", array_find, 2, "a."},
                                {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kClosure[] = {{"call", closure_call, -1, "c"},
                                  {"pcall", closure_pcall, -1, "c"},
                                  {"acall", closure_acall, 2, "ca"},
                                  {"pacall", closure_pacall, 2, "ca"},
                                  {"weakref", obj_weakref, 1, nullptr},
                                  {"tostring", obj_tostring, 1, "."},
                                  {"bindenv", closure_bindenv, 2, "c x|y|t"},
                                  {"getinfos", closure_getinfos, 1, "c"},
                                  {"getroot", closure_getroot, 1, "c"},
                                  {"setroot", closure_setroot, 2, "ct"},
                                  {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kGenerator[] = {{"getstatus", generator_getstatus, 1, "g"},
                                    {"weakref", obj_weakref, 1, nullptr},
                                    {"tostring", obj_tostring, 1, "."},
                                    {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kThread[] = {{"call", thread_call, -1, "v"},
                                 {"wakeup", thread_wakeup, -1, "v"},
                                 {"wakeupthrow", thread_wakeupthrow, -2, "v.b"},
                                 {"getstatus", thread_getstatus, 1, "v"},
                                 {"weakref", obj_weakref, 1, nullptr},
                                 {"getstackinfos", thread_getstackinfos, 2, "vn"},
                                 {"tostring", obj_tostring, 1, "."},
                                 {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kClass[] = {{"getattributes", class_getattributes, 2, "y."},
                                {"setattributes", class_setattributes, 3, "y.."},
                                {"rawget", container_rawget, 2, "y"},
                                {"rawset", container_rawset, 3, "y"},
                                {"rawin", container_rawin, 2, "y"},
                                {"weakref", obj_weakref, 1, nullptr},
                                {"tostring", obj_tostring, 1, "."},
                                {"instance", class_instance, 1, "y"},
                                {"getbase", class_getbase, 1, "y"},
                                {"newmember", class_newmember, -3, "y"},
                                {"rawnewmember", class_rawnewmember, -3, "y"},
                                {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kInstance[] = {{"getclass", instance_getclass, 1, "x"},
                                   {"rawget", container_rawget, 2, "x"},
                                   {"rawset", container_rawset, 3, "x"},
                                   {"rawin", container_rawin, 2, "x"},
                                   {"weakref", obj_weakref, 1, nullptr},
                                   {"tostring", obj_tostring, 1, "."},
                                   {nullptr, nullptr, 0, nullptr}};

const SQRegFunction kWeakRef[] = {{"ref", weakref_ref, 1, "r"},
                                  {"weakref", obj_weakref, 1, nullptr},
                                  {"tostring", obj_tostring, 1, "."},
                                  {nullptr, nullptr, 0, nullptr}};

Value MakeDelegate(Runtime *rt, const SQRegFunction *fns)
{
    Table *t = Table::New(rt, 0);
    Value hold = Value::Ref(Kind::Table, t);
    for (const SQRegFunction *f = fns; f->name; f++)
        t->NewSlot(rt->String(f->name), Value::Ref(Kind::NativeClosure, MakeNative(rt, *f)));
    return hold;
}

} // namespace

namespace nut {

NativeClosure *MakeNative(Runtime *rt, const SQRegFunction &def)
{
    NativeClosure *nc = NativeClosure::New(rt, def.f, 0);
    nc->name = rt->String(def.name);
    nc->SetParamCheck(def.nparamscheck);
    if (def.typemask) {
        std::vector<SQInteger> masks;
        CompileTypeMask(def.typemask, masks);
        if (def.nparamscheck == SQ_MATCHTYPEMASKSTRING) nc->SetParamCheck(static_cast<SQInteger>(masks.size()));
        nc->SetTypeMask(std::move(masks));
    }
    return nc;
}

void InstallDelegates(Runtime *rt)
{
    Value number = MakeDelegate(rt, kNumber);
    rt->delegates[static_cast<int>(Kind::Int)] = number;
    rt->delegates[static_cast<int>(Kind::Float)] = number;
    rt->delegates[static_cast<int>(Kind::Bool)] = number;
    rt->delegates[static_cast<int>(Kind::String)] = MakeDelegate(rt, kString);
    rt->delegates[static_cast<int>(Kind::Table)] = MakeDelegate(rt, kTable);
    rt->delegates[static_cast<int>(Kind::Array)] = MakeDelegate(rt, kArray);
    Value closure = MakeDelegate(rt, kClosure);
    rt->delegates[static_cast<int>(Kind::Closure)] = closure;
    rt->delegates[static_cast<int>(Kind::NativeClosure)] = closure;
    rt->delegates[static_cast<int>(Kind::Generator)] = MakeDelegate(rt, kGenerator);
    rt->delegates[static_cast<int>(Kind::Thread)] = MakeDelegate(rt, kThread);
    rt->delegates[static_cast<int>(Kind::Class)] = MakeDelegate(rt, kClass);
    rt->delegates[static_cast<int>(Kind::Instance)] = MakeDelegate(rt, kInstance);
    rt->delegates[static_cast<int>(Kind::WeakRef)] = MakeDelegate(rt, kWeakRef);
}

} // namespace nut
