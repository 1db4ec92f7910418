// What the language's operators and slot accesses mean for each kind of value.
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "array.h"
#include "classes.h"
#include "cstack.h"
#include "fiber.h"
#include "strings.h"
#include "table.h"
#include "userdata.h"

namespace nut {

bool Fiber::GetMetaMethod(const Value &obj, MetaMethod mm, Value &fn)
{
    switch (obj.kind()) {
    case Kind::Table: {
        Table *d = obj.As<Table>()->delegate;
        return d && d->Get(rt->metaNames[mm], fn);
    }
    case Kind::UserData: {
        Table *d = obj.As<UserData>()->delegate;
        return d && d->Get(rt->metaNames[mm], fn);
    }
    case Kind::Instance: {
        const Value &m = obj.As<Instance>()->cls->meta[mm];
        if (m.IsNull()) return false;
        fn = m;
        return true;
    }
    default: return false;
    }
}

// Runs a _get/_set style metamethod. False when it signalled "not found" by throwing
// null; any other error propagates.
static bool CallLookupMeta(Fiber *f, const Value &fn, const Value *args, uint32_t nargs, Value &out)
{
    f->lastError.SetNull();
    try {
        out = f->CallMeta(fn, args, nargs);
        return true;
    } catch (ScriptError &) {
        if (f->lastError.IsNull()) return false;
        throw;
    }
}

static bool DefaultDelegateGet(Runtime *rt, Kind k, const Value &key, Value &out)
{
    const Value &d = rt->delegates[static_cast<int>(k)];
    return d.kind() == Kind::Table && d.As<Table>()->Get(key, out);
}

bool Fiber::TryGet(const Value &obj, const Value &key, Value &out, bool raw)
{
    switch (obj.kind()) {
    case Kind::Table: {
        Table *t = obj.As<Table>();
        if (t->Get(key, out)) return true;
        if (raw) return false;
        if (t->delegate) {
            // A get goes down the whole delegate chain, which a script can make as long as
            // it likes.
            if (CStackLow()) Throw("Native stack overflow");
            Value self = obj, k = key; // a metamethod may move the stack these refer to
            if (TryGet(Value::Ref(Kind::Table, t->delegate), k, out, false)) return true;
            Value fn;
            if (GetMetaMethod(self, MM_GET, fn)) {
                Value args[2] = {self, k};
                if (CallLookupMeta(this, fn, args, 2, out)) return true;
            }
            return DefaultDelegateGet(rt, Kind::Table, k, out);
        }
        return DefaultDelegateGet(rt, Kind::Table, key, out);
    }
    case Kind::Instance: {
        Instance *inst = obj.As<Instance>();
        if (inst->Get(key, out)) return true;
        if (raw) return false;
        const Value &fn = inst->cls->meta[MM_GET];
        if (!fn.IsNull()) {
            Value args[2] = {obj, key};
            Value f = fn;
            if (CallLookupMeta(this, f, args, 2, out)) return true;
            return DefaultDelegateGet(rt, Kind::Instance, args[1], out);
        }
        return DefaultDelegateGet(rt, Kind::Instance, key, out);
    }
    case Kind::Class:
        if (obj.As<Class>()->Get(key, out)) return true;
        return !raw && DefaultDelegateGet(rt, Kind::Class, key, out);
    case Kind::Array:
        if (key.IsNumber()) return obj.As<Array>()->Get(key.ToInt(), out);
        return !raw && DefaultDelegateGet(rt, Kind::Array, key, out);
    case Kind::String:
        if (key.IsNumber()) {
            Str *s = obj.As<Str>();
            SQInteger n = key.ToInt();
            if (n < 0) n += s->len;
            if (n < 0 || n >= s->len) return false;
            out = Value::Int(static_cast<signed char>(s->chars[n]));
            return true;
        }
        return !raw && DefaultDelegateGet(rt, Kind::String, key, out);
    case Kind::UserData: {
        if (raw) return false;
        Table *d = obj.As<UserData>()->delegate;
        if (!d) return false;
        Value self = obj, k = key;
        if (TryGet(Value::Ref(Kind::Table, d), k, out, false)) return true;
        Value fn;
        if (GetMetaMethod(self, MM_GET, fn)) {
            Value args[2] = {self, k};
            return CallLookupMeta(this, fn, args, 2, out);
        }
        return false;
    }
    case Kind::Int:
    case Kind::Float:
    case Kind::Bool: return !raw && DefaultDelegateGet(rt, Kind::Int, key, out);
    case Kind::Closure:
    case Kind::NativeClosure: return !raw && DefaultDelegateGet(rt, Kind::Closure, key, out);
    case Kind::Generator:
    case Kind::Thread:
    case Kind::WeakRef: return !raw && DefaultDelegateGet(rt, obj.kind(), key, out);
    default: return false;
    }
}

Value Fiber::Get(const Value &obj, const Value &key, bool implicitThis)
{
    Value out;
    if (TryGet(obj, key, out, false)) return out;
    if (implicitThis) {
        Value k = key;
        Value root;
        if (!frames.empty() && frames.back().callee.kind() == Kind::Closure) {
            WeakRef *w = frames.back().callee.As<Closure>()->root;
            if (w) root = w->Get();
        }
        if (root.IsNull()) root = rootTable;
        if (!root.IsNull() && TryGet(root, k, out, false)) return out;
        ThrowIndexError(k);
    }
    ThrowIndexError(key);
}

void Fiber::Set(const Value &obj, const Value &key, const Value &val, bool implicitThis)
{
    Value fn;
    switch (obj.kind()) {
    case Kind::Table: {
        Table *t = obj.As<Table>();
        if (t->Set(key, val)) return;
        for (Table *d = t->delegate; d; d = d->delegate)
            if (d->Set(key, val)) return;
        if (GetMetaMethod(obj, MM_SET, fn)) {
            Value args[3] = {obj, key, val};
            Value ignored;
            if (CallLookupMeta(this, fn, args, 3, ignored)) return;
            if (implicitThis && rootTable.kind() == Kind::Table && rootTable.As<Table>()->Set(args[1], args[2])) return;
            ThrowIndexError(args[1]);
        }
        break;
    }
    case Kind::Instance: {
        if (obj.As<Instance>()->SetField(key, val)) return;
        if (GetMetaMethod(obj, MM_SET, fn)) {
            Value args[3] = {obj, key, val};
            Value ignored;
            if (CallLookupMeta(this, fn, args, 3, ignored)) return;
            if (implicitThis && rootTable.kind() == Kind::Table && rootTable.As<Table>()->Set(args[1], args[2])) return;
            ThrowIndexError(args[1]);
        }
        break;
    }
    case Kind::Array:
        if (!key.IsNumber()) Throw("indexing %s with %s", KindName(obj.kind()), KindName(key.kind()));
        if (!obj.As<Array>()->Set(key.ToInt(), val)) ThrowIndexError(key);
        return;
    default: Throw("trying to set '%s'", KindName(obj.kind()));
    }
    if (implicitThis && rootTable.kind() == Kind::Table && rootTable.As<Table>()->Set(key, val)) return;
    ThrowIndexError(key);
}

void Fiber::NewSlot(const Value &obj, const Value &key, const Value &val, bool isStatic)
{
    if (key.IsNull()) Throw("null cannot be used as index");
    Value fn;
    switch (obj.kind()) {
    case Kind::Table: {
        Table *t = obj.As<Table>();
        if (t->delegate && !t->Find(key) && GetMetaMethod(obj, MM_NEWSLOT, fn)) {
            Value args[3] = {obj, key, val};
            CallMeta(fn, args, 3);
            return;
        }
        t->NewSlot(key, val);
        return;
    }
    case Kind::Instance:
        if (GetMetaMethod(obj, MM_NEWSLOT, fn)) {
            Value args[3] = {obj, key, val};
            CallMeta(fn, args, 3);
            return;
        }
        Throw("class instances do not support the new slot operator");
    case Kind::Class:
        if (!obj.As<Class>()->AddMember(key, val, isStatic))
            Throw("trying to modify a class that has already been instantiated");
        return;
    default: Throw("indexing %s with %s", KindName(obj.kind()), KindName(key.kind()));
    }
}

void Fiber::NewMember(const Value &cls, const Value &key, const Value &val, const Value &attrs, bool isStatic, bool raw)
{
    if (cls.kind() != Kind::Class) Throw("object must be a class");
    Class *c = cls.As<Class>();
    if (!raw && !c->meta[MM_NEWMEMBER].IsNull()) {
        Value args[5] = {cls, key, val, attrs, Value::Bool(isStatic)};
        Value fn = c->meta[MM_NEWMEMBER];
        CallMeta(fn, args, 5);
        return;
    }
    NewSlot(cls, key, val, isStatic);
    if (!attrs.IsNull()) c->SetAttributes(key, attrs);
}

Value Fiber::Delete(const Value &obj, const Value &key)
{
    switch (obj.kind()) {
    case Kind::Table:
    case Kind::Instance:
    case Kind::UserData: {
        Value fn;
        if (GetMetaMethod(obj, MM_DELSLOT, fn)) {
            Value args[2] = {obj, key};
            return CallMeta(fn, args, 2);
        }
        if (obj.kind() != Kind::Table) Throw("cannot delete a slot from %s", KindName(obj.kind()));
        Value old;
        Table *t = obj.As<Table>();
        if (!t->Get(key, old)) ThrowIndexError(key);
        t->Remove(key);
        return old;
    }
    default: Throw("attempt to delete a slot from a %s", KindName(obj.kind()));
    }
}

// A number as ToString writes it, into `buf` (at least 32 bytes); returns the length.
// Integers are written here rather than by snprintf, which costs several times more.
static size_t NumberText(const Value &v, char *buf)
{
    if (v.IsInt()) {
        static const char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
        const SQInteger i = v.AsInt();
        uint32_t u = i < 0 ? 0u - static_cast<uint32_t>(i) : static_cast<uint32_t>(i);
        char tmp[12];
        char *p = tmp + sizeof(tmp);
        while (u >= 100) {
            const uint32_t r = u % 100;
            u /= 100;
            p -= 2;
            memcpy(p, kPairs + 2 * r, 2);
        }
        if (u >= 10) {
            p -= 2;
            memcpy(p, kPairs + 2 * u, 2);
        } else {
            *--p = static_cast<char>('0' + u);
        }
        size_t len = 0;
        if (i < 0) buf[len++] = '-';
        const size_t n = static_cast<size_t>(tmp + sizeof(tmp) - p);
        memcpy(buf + len, p, n);
        len += n;
        buf[len] = '\0';
        return len;
    }
    const int n = snprintf(buf, 32, "%g", static_cast<double>(v.AsFloat()));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

Value Fiber::Arith(char op, const Value &a, const Value &b)
{
    Kind ka = a.kind(), kb = b.kind();
    if (ka == Kind::Int && kb == Kind::Int) {
        uint32_t x = static_cast<uint32_t>(a.AsInt()), y = static_cast<uint32_t>(b.AsInt());
        SQInteger i1 = a.AsInt(), i2 = b.AsInt();
        switch (op) {
        case '+': return Value::Int(static_cast<SQInteger>(x + y));
        case '-': return Value::Int(static_cast<SQInteger>(x - y));
        case '*': return Value::Int(static_cast<SQInteger>(x * y));
        case '/':
            if (i2 == 0) Throw("division by zero");
            if (i2 == -1 && i1 == INT_MIN) Throw("integer overflow");
            return Value::Int(i1 / i2);
        case '%':
            if (i2 == 0) Throw("modulo by zero");
            return Value::Int(i2 == -1 ? 0 : i1 % i2);
        }
    }
    if (a.IsNumber() && b.IsNumber()) {
        SQFloat x = a.ToFloat(), y = b.ToFloat();
        switch (op) {
        case '+': return Value::Float(x + y);
        case '-': return Value::Float(x - y);
        case '*': return Value::Float(x * y);
        case '/': return Value::Float(x / y);
        case '%': return Value::Float(fmodf(x, y));
        }
    }
    if (op == '+' && (ka == Kind::String || kb == Kind::String)) {
        // A string and a number, or two strings: the number's text is joined without
        // being made a string of its own first.
        if ((ka == Kind::String || a.IsNumber()) && (kb == Kind::String || b.IsNumber())) {
            char abuf[32], bbuf[32];
            const char *x = abuf, *y = bbuf;
            SQInteger xl, yl;
            if (ka == Kind::String) {
                x = a.As<Str>()->chars;
                xl = a.As<Str>()->len;
            } else {
                xl = static_cast<SQInteger>(NumberText(a, abuf));
            }
            if (kb == Kind::String) {
                y = b.As<Str>()->chars;
                yl = b.As<Str>()->len;
            } else {
                yl = static_cast<SQInteger>(NumberText(b, bbuf));
            }
            if (static_cast<int64_t>(xl) + yl > kMaxStringLength) Throw("out of memory");
            return Value::Ref(Kind::String, rt->strings.InternConcat(rt, x, xl, y, yl));
        }
        Value sa = ToString(a);
        Value sb = ToString(b);
        Str *x = sa.As<Str>(), *y = sb.As<Str>();
        if (static_cast<int64_t>(x->len) + y->len > kMaxStringLength) Throw("out of memory");
        return Value::Ref(Kind::String, rt->strings.InternConcat(rt, x->chars, x->len, y->chars, y->len));
    }
    MetaMethod mm = op == '+' ? MM_ADD : op == '-' ? MM_SUB : op == '*' ? MM_MUL : op == '/' ? MM_DIV : MM_MODULO;
    Value fn;
    if (GetMetaMethod(a, mm, fn)) {
        Value args[2] = {a, b};
        return CallMeta(fn, args, 2);
    }
    Throw("arith op %c on between '%s' and '%s'", op, KindName(ka), KindName(kb));
}

Value Fiber::Negate(const Value &a)
{
    switch (a.kind()) {
    case Kind::Int: return Value::Int(static_cast<SQInteger>(0u - static_cast<uint32_t>(a.AsInt())));
    case Kind::Float: return Value::Float(-a.AsFloat());
    default: {
        Value fn;
        if (GetMetaMethod(a, MM_UNM, fn)) {
            Value self = a;
            return CallMeta(fn, &self, 1);
        }
        Throw("attempt to negate a %s", KindName(a.kind()));
    }
    }
}

Value Fiber::BitOp(OpCode op, const Value &a, const Value &b)
{
    if (a.kind() != Kind::Int || b.kind() != Kind::Int)
        Throw("bitwise op between '%s' and '%s'", KindName(a.kind()), KindName(b.kind()));
    SQInteger x = a.AsInt(), y = b.AsInt();
    uint32_t ux = static_cast<uint32_t>(x);
    switch (op) {
    case OP_BAND: return Value::Int(x & y);
    case OP_BOR: return Value::Int(x | y);
    case OP_BXOR: return Value::Int(x ^ y);
    case OP_SHL: return Value::Int(static_cast<SQInteger>(ux << (y & 31)));
    case OP_SHR: return Value::Int(x >> (y & 31));
    default: return Value::Int(static_cast<SQInteger>(ux >> (y & 31)));
    }
}

SQInteger Fiber::Compare(const Value &a, const Value &b)
{
    Kind ka = a.kind(), kb = b.kind();
    if (ka == kb) {
        if (a.Bits() == b.Bits()) return 0;
        switch (ka) {
        case Kind::Int: return a.AsInt() < b.AsInt() ? -1 : 1;
        case Kind::Float: return FloatOrder(a, b);
        case Kind::String: {
            // Ordering stops at the first NUL, as C's strcmp does (`==` compares all bytes).
            int c = strcmp(a.As<Str>()->chars, b.As<Str>()->chars);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case Kind::Table:
        case Kind::UserData:
        case Kind::Instance: {
            Value fn;
            if (GetMetaMethod(a, MM_CMP, fn)) {
                Value args[2] = {a, b};
                Value r = CallMeta(fn, args, 2);
                // A bool counts as 0 or 1: host classes written for 3.0 return one.
                if (r.kind() == Kind::Int || r.kind() == Kind::Bool) return r.AsInt();
                Throw("_cmp must return an integer");
            }
            break;
        }
        default: break;
        }
        return a.Bits() < b.Bits() ? -1 : 1;
    }
    if (a.IsNumber() && b.IsNumber()) return MixedOrder(a, b);
    if (ka == Kind::Null) return -1;
    if (kb == Kind::Null) return 1;
    ThrowCompareError(a, b);
}

bool Fiber::Equal(const Value &a, const Value &b)
{
    if (a.kind() == b.kind()) return a.Bits() == b.Bits(); // floats compare bitwise
    if (a.IsNumber() && b.IsNumber()) return ExactNumber(a) == ExactNumber(b);
    return false;
}

Value Fiber::ToString(const Value &v)
{
    char buf[80];
    switch (v.kind()) {
    case Kind::String: return v;
    case Kind::Int:
    case Kind::Float: {
        const size_t n = NumberText(v, buf);
        return rt->String(buf, static_cast<SQInteger>(n));
    }
    case Kind::Bool: return rt->String(v.AsBool() ? "true" : "false");
    case Kind::Null: return rt->String("(null : 0x(nil))"); // as C's "%p" prints a null pointer
    case Kind::Table:
    case Kind::UserData:
    case Kind::Instance: {
        Value fn;
        if (GetMetaMethod(v, MM_TOSTRING, fn)) {
            Value self = v;
            Value r = CallMeta(fn, &self, 1);
            if (r.IsString()) return r;
        }
    }
        [[fallthrough]];
    default:
        snprintf(buf, sizeof(buf), "(%s : 0x%08" PRIXPTR ")", KindName(v.kind()),
                 v.IsRef() ? reinterpret_cast<uintptr_t>(v.AsObject())
                           : (v.kind() == Kind::UserPointer ? reinterpret_cast<uintptr_t>(v.AsUserPointer()) : 0));
        break;
    }
    return rt->String(buf);
}

Value Fiber::TypeOf(const Value &v)
{
    Value fn;
    if (GetMetaMethod(v, MM_TYPEOF, fn)) {
        Value self = v;
        return CallMeta(fn, &self, 1);
    }
    return rt->String(KindName(v.kind()));
}

Value Fiber::Clone(const Value &v)
{
    Value copy;
    switch (v.kind()) {
    case Kind::Table: {
        // Sized as the source and filled in its iteration order, one insert at a time: after
        // deletes and inserts the copy may iterate in another order than the source.
        Table *src = v.As<Table>();
        Table *t = Table::New(rt, src->size);
        copy = Value::Ref(Kind::Table, t);
        for (uint32_t i = 0; i < src->size; i++)
            if (!src->nodes[i].key.IsNull()) t->NewSlot(src->nodes[i].key, src->nodes[i].val);
        if (src->delegate) {
            t->delegate = src->delegate;
            t->delegate->refs++;
        }
        break;
    }
    case Kind::Instance: copy = Value::Ref(Kind::Instance, v.As<Instance>()->Clone()); break;
    case Kind::Array: {
        Array *a = Array::New(rt, 0);
        a->items = v.As<Array>()->items;
        return Value::Ref(Kind::Array, a);
    }
    default: Throw("cloning a %s", KindName(v.kind()));
    }
    Value fn;
    if (GetMetaMethod(copy, MM_CLONED, fn)) {
        // Held: a _cloned bound to another environment does not have it as `this`.
        HeldValue held(rt, copy);
        Value args[2] = {copy, v};
        CallMeta(fn, args, 2);
    }
    return copy;
}

bool Fiber::InOperator(const Value &key, const Value &container)
{
    Value out;
    return TryGet(container, key, out, true);
}

// Arrays, strings, tables and classes keep the index of the next slot to look at in the
// iterator (null: the first). A loop over a local that its body switched to another
// container goes on at that index; an iterator that is no such index ends the walk.
static bool StartIndex(const Value &iter, uint32_t &i)
{
    if (iter.IsNull()) {
        i = 0;
        return true;
    }
    if (!iter.IsInt() || iter.AsInt() < 0) return false;
    i = static_cast<uint32_t>(iter.AsInt());
    return true;
}

bool Fiber::ForeachStep(const Value &container, Value &key, Value &val, Value &iter)
{
    uint32_t i;
    switch (container.kind()) {
    case Kind::Table: {
        if (!StartIndex(iter, i)) return false;
        int32_t at = container.As<Table>()->Next(static_cast<int32_t>(i) - 1, key, val);
        if (at < 0) return false;
        iter.SetInt(at + 1);
        return true;
    }
    case Kind::Array: {
        Array *a = container.As<Array>();
        if (!StartIndex(iter, i) || i >= static_cast<uint32_t>(a->Size())) return false;
        key.SetInt(static_cast<SQInteger>(i));
        val = Deref(a->items[i]);
        iter.SetInt(static_cast<SQInteger>(i + 1));
        return true;
    }
    case Kind::String: {
        Str *s = container.As<Str>();
        if (!StartIndex(iter, i) || i >= static_cast<uint32_t>(s->len)) return false;
        key.SetInt(static_cast<SQInteger>(i));
        val.SetInt(static_cast<signed char>(s->chars[i]));
        iter.SetInt(static_cast<SQInteger>(i + 1));
        return true;
    }
    case Kind::Class: {
        Class *c = container.As<Class>();
        if (!StartIndex(iter, i)) return false;
        Value slot;
        int32_t at = c->members->Next(static_cast<int32_t>(i) - 1, key, slot);
        if (at < 0) return false;
        SQInteger s = slot.AsInt();
        val = IsFieldSlot(s) ? Deref(c->fields[static_cast<size_t>(s)]) : c->shared[static_cast<size_t>(SharedIndex(s))];
        iter.SetInt(at + 1);
        return true;
    }
    case Kind::Instance:
    case Kind::UserData: {
        Value fn;
        if (!GetMetaMethod(container, MM_NEXTI, fn)) {
            if (container.kind() == Kind::Instance) Throw("_nexti failed");
            break;
        }
        Value args[2] = {container, iter};
        Value next = CallMeta(fn, args, 2);
        if (next.IsNull()) return false;
        Value v;
        try {
            v = Get(args[0], next, false);
        } catch (ScriptError &) {
            Throw("_nexti returned an invalid idx");
        }
        key = next;
        iter = next;
        val = v;
        return true;
    }
    default: break; // generators: the interpreter resumes them itself
    }
    Throw("cannot iterate %s", KindName(container.kind()));
}

Value Fiber::MakeClosure(Proto *p, Closure *enclosing, uint32_t fbase)
{
    WeakRef *root = rootTable.kind() == Kind::Table ? GetWeakRef(rootTable) : nullptr;
    Closure *c = Closure::New(rt, p, root);
    Value hold = Value::Ref(Kind::Closure, c);
    for (uint32_t i = 0; i < c->nups; i++) {
        const UpvalDesc &d = p->upvals[i];
        c->slots[i] = d.inParentRegs ? FindUpvalue(fbase + d.index) : enclosing->slots[d.index];
    }
    for (uint32_t i = 0; i < c->ndefaults; i++) c->Default(i) = stack[fbase + p->defaultRegs[i]];
    return hold;
}

Value Fiber::NewClass(const Value *base, const Value &attrs)
{
    Class *b = nullptr;
    if (base) {
        const Value &base0 = *base;
        if (base0.kind() != Kind::Class) Throw("trying to inherit from a %s", KindName(base0.kind()));
        b = base0.As<Class>();
    }
    Class *c = Class::New(rt, b);
    Value cls = Value::Ref(Kind::Class, c);
    if (!c->meta[MM_INHERITED].IsNull()) {
        HeldValue held(rt, cls); // as in Clone
        Value args[2] = {cls, attrs};
        Value fn = c->meta[MM_INHERITED];
        CallMeta(fn, args, 2);
    }
    c->attributes = attrs;
    return cls;
}

} // namespace nut
