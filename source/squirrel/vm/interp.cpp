// The interpreter loop. pc, the register window R and the constants K live in locals;
// anything that may raise, call out or move the stack saves pc first (SAVEPC) and
// reloads R afterwards (REFRESH), because a call may reallocate the stack.
#include <cassert>
#include <cmath>
#include <type_traits>

#include "array.h"
#include "classes.h"
#include "fiber.h"
#include "strings.h"
#include "table.h"

namespace nut {

// The register or constant that the 8-bit field at bit `Shift + 4` of `i` names, found by
// byte offset from `base`: (field << 4) == (i >> Shift) & 0xFF0.
template <unsigned Shift, typename T> [[gnu::always_inline]] inline T &Operand(T *base, uint32_t i)
{
    using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
    return *reinterpret_cast<T *>(reinterpret_cast<Byte *>(base) + ((i >> Shift) & 0xFF0u));
}
static_assert(sizeof(Value) == 16, "operand offsets are the field shifted by 4");
static_assert(((MakeABC(OP_MOVE, 0xA1, 0xB2, 0xC3) >> 4) & 0xFF0u) == 0xA1u * sizeof(Value) &&
                  ((MakeABC(OP_MOVE, 0xA1, 0xB2, 0xC3) >> 12) & 0xFF0u) == 0xB2u * sizeof(Value) &&
                  ((MakeABC(OP_MOVE, 0xA1, 0xB2, 0xC3) >> 20) & 0xFF0u) == 0xC3u * sizeof(Value),
              "operand fields are A at bit 8, B at bit 16, C at bit 24");

// Looks constant `c` (a string, or nothing is found) up in `t`, through the running
// function's cache of where it was last found. `kc` is that cache (null until made),
// kept by the loop beside the constants so that a hit costs no walk to the function.
[[gnu::always_inline]] inline Table::Node *Fiber::CachedFind(Table *t, uint32_t c, const Value *K, KeyCache *&kc)
{
    if (kc) [[likely]] {
        const KeyCache &e = kc[c];
        if (e.layout == t->layout) {
            if (!e.node) __builtin_unreachable(); // only found nodes are kept
            return e.node;
        }
    }
    Proto *p = frames.back().callee.As<Closure>()->proto;
    Table::Node *n = CachedFindSlow(p, t, c, K);
    kc = p->keyCache.data();
    return n;
}

// The default delegate of kind `k` (as the runtime keeps them), when it is a table.
[[gnu::always_inline]] inline Table *Fiber::DelegateTable(Kind k)
{
    const Value &d = rt->delegates[static_cast<int>(k)];
    return d.kind() == Kind::Table ? d.As<Table>() : nullptr;
}

Table::Node *Fiber::CachedFindSlow(Proto *p, Table *t, uint32_t c, const Value *K)
{
    if (!K[c].IsString()) return nullptr;
    Table::Node *n = t->FindString(K[c].As<Str>());
    if (!n) return nullptr;
    if (p->keyCache.empty()) {
        try {
            p->keyCache.resize(p->consts.size());
        } catch (std::bad_alloc &) {
            return n; // no cache, only slower
        }
    }
    p->keyCache[c] = KeyCache{t->layout, n};
    return n;
}

// The loop's speed depends on where its hot handlers fall in 64-byte blocks of code (the
// benchmark loop ran 5 % slower at some offsets, with the very same instructions), and
// without this the linker would pick the offset from the size of unrelated code. The loop
// therefore starts at a 64-byte boundary and skips 48 bytes first: the offset measured
// best. Re-measure `bench/squirrel/run` with a few other skips after larger changes here.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define NUT_LOOP_ALIGN __attribute__((aligned(64)))
#define NUT_LOOP_SKIP() asm volatile(".nops 48")
#else
#define NUT_LOOP_ALIGN
#define NUT_LOOP_SKIP() ((void)0)
#endif
NUT_LOOP_ALIGN RunStatus Fiber::RunLoop(Value &out)
{
    NUT_LOOP_SKIP();
    const Value *K;
    KeyCache *KC; // the running function's key cache, or null
    const uint32_t *pc;
    Value *R;
    uint32_t i;

#define RELOAD()                                                                                                    \
    do {                                                                                                            \
        const Frame &f_ = frames.back();                                                                            \
        const Proto *p_ = f_.callee.As<Closure>()->proto;                                                           \
        K = p_->consts.data();                                                                                      \
        KC = const_cast<KeyCache *>(p_->keyCache.data());                                                           \
        pc = f_.pc;                                                                                                 \
        R = stack + f_.base;                                                                                        \
    } while (0)
// The running closure, read from its frame where needed: the loop keeps only pc, the
// register window and the constants in locals, so that they stay in registers.
#define CL (frames.back().callee.As<Closure>())
#define SAVEPC() (frames.back().pc = pc)
#define REFRESH() (R = stack + frames.back().base)
#define A ArgA(i)
// Operand registers and constants, addressed by byte offset: the field scaled by the
// size of a Value costs one shift and one mask and folds into the access (loop runs 8 %
// fewer instructions than with index arithmetic).
#define RA (Operand<4>(R, i))
#define RB (Operand<12>(R, i))
#define RC (Operand<20>(R, i))
#define KB (Operand<12>(K, i))
#define KCONST (Operand<20>(K, i))
#define B ArgB(i)
#define C ArgC(i)
#define FBASE (frames.back().base)
// Performs the JMP that follows a test.
#define DO_NEXT_JUMP()                                                                                              \
    do {                                                                                                            \
        int32_t off_ = ArgSJ(*pc) + 1;                                                                              \
        if (off_ < 0) COUNT_STEP();                                                                                 \
        pc += off_;                                                                                                 \
    } while (0)
// Backward jumps and calls take a step from the runtime's budget, when it has one.
#define COUNT_STEP()                                                                                                \
    do {                                                                                                            \
        if (rt->stepsLeft >= 0) {                                                                                   \
            SAVEPC();                                                                                               \
            TakeStep();                                                                                             \
        }                                                                                                           \
    } while (0)
#define COND_JUMP(cond)                                                                                             \
    do {                                                                                                            \
        if ((cond) != (C != 0))                                                                                     \
            pc++;                                                                                                   \
        else                                                                                                        \
            DO_NEXT_JUMP();                                                                                         \
    } while (0)

    static const void *const kLabels[OP_COUNT] = {
#define NUT_OP_LABEL(name, fmt, meaning) &&L_##name,
        NUT_OPCODES(NUT_OP_LABEL)
#undef NUT_OP_LABEL
    };
// A computed goto skips the destructors of locals it jumps out of: handlers holding
// Values continue through NEXT(), an ordinary goto, and only local-free fast paths
// dispatch directly.
#define DISPATCH()                                                                                                  \
    do {                                                                                                            \
        i = *pc++;                                                                                                  \
        goto *kLabels[OpOf(i)];                                                                                     \
    } while (0)
#define NEXT() goto next_instruction
// Marks the code after a label as hot: with every handler behind the computed goto, GCC
// takes them all for cold and keeps small helpers (a native frame's pop) out of line
// there. Only the native call is so marked: marking the whole call handler made GCC
// give up the register that holds pc.
#if defined(__GNUC__) && !defined(__clang__)
#define HOT_PATH __attribute__((hot, unused))
#else
#define HOT_PATH __attribute__((unused))
#endif

    RELOAD();
next_instruction:
    DISPATCH();

L_MOVE:
    RA = RB;
    DISPATCH();
L_LOADK:
    RA = K[ArgBx(i)];
    DISPATCH();
L_LOADI:
    RA.SetInt(ArgSBx(i));
    DISPATCH();
L_LOADNULL:
    for (uint32_t k = 0; k < B; k++) R[A + k].SetNull();
    DISPATCH();
L_LOADBOOL:
    RA.SetBool(B != 0);
    DISPATCH();
L_LOADROOT: {
    Closure *cl = CL;
    Value root = cl->root ? cl->root->Get() : Value();
    RA = root.IsNull() ? rootTable : root;
    NEXT();
}
L_GETUPVAL:
    RA = *CL->Up(B)->loc;
    DISPATCH();
L_SETUPVAL:
    *CL->Up(B)->loc = RA;
    DISPATCH();
L_GETFIELD: {
    const Value &o = RB;
    if (o.kind() == Kind::Table) {
        if (Table::Entry *e = CachedFind(o.As<Table>(), C, K, KC)) {
            RA = Deref(e->val);
            NEXT();
        }
    } else if (o.kind() == Kind::Instance) {
        Instance *in = o.As<Instance>();
        if (Table::Entry *e = CachedFind(in->cls->members, C, K, KC)) {
            // As Instance::Get: the name's slot is a field of the instance or shared.
            const SQInteger slot = e->val.AsInt();
            RA = IsFieldSlot(slot) ? Deref(in->fields[slot]) : in->cls->shared[static_cast<size_t>(SharedIndex(slot))];
            NEXT();
        }
    }
    SAVEPC();
    Value obj = o, key = KCONST;
    Value v = Get(obj, key, B == 0);
    REFRESH();
    RA = std::move(v);
    NEXT();
}
L_GETINDEX: {
    const Value &o = RB;
    const Value &k = RC;
    if (o.kind() == Kind::Array && k.IsInt()) {
        Array *a = o.As<Array>();
        SQInteger n = k.AsInt();
        if (n >= 0 && n < a->Size()) {
            RA = Deref(a->items[static_cast<size_t>(n)]);
            NEXT();
        }
    } else if (o.kind() == Kind::Table) {
        if (Table::Entry *e = o.As<Table>()->Find(k)) {
            RA = Deref(e->val);
            NEXT();
        }
    }
    SAVEPC();
    Value obj = o, key = k;
    Value v = Get(obj, key, B == 0);
    REFRESH();
    RA = std::move(v);
    NEXT();
}
L_SETFIELD: {
    const Value &o = RA;
    if (o.kind() == Kind::Table) {
        if (Table::Entry *e = CachedFind(o.As<Table>(), B, K, KC)) {
            e->val = RC;
            NEXT();
        }
    } else if (o.kind() == Kind::Instance) {
        // As Instance::SetField: fields only.
        Instance *in = o.As<Instance>();
        if (Table::Entry *e = CachedFind(in->cls->members, B, K, KC); e && IsFieldSlot(e->val.AsInt())) {
            in->fields[e->val.AsInt()] = RC;
            NEXT();
        }
    }
    SAVEPC();
    Value obj = o, key = KB, val = RC;
    Set(obj, key, val, A == 0);
    REFRESH();
    NEXT();
}
L_SETINDEX: {
    const Value &o = RA;
    const Value &k = RB;
    if (o.kind() == Kind::Array && k.IsInt()) {
        Array *a = o.As<Array>();
        SQInteger n = k.AsInt();
        if (n >= 0 && n < a->Size()) {
            a->items[static_cast<size_t>(n)] = RC;
            NEXT();
        }
    } else if (o.kind() == Kind::Table) {
        if (Table::Entry *e = o.As<Table>()->Find(k)) {
            e->val = RC;
            NEXT();
        }
    }
    SAVEPC();
    Value obj = o, key = k, val = RC;
    Set(obj, key, val, A == 0);
    REFRESH();
    NEXT();
}
L_NEWSLOT: {
    SAVEPC();
    Value obj = RA, key = RB, val = RC;
    if (obj.kind() == Kind::Table && !key.IsNull() && !obj.As<Table>()->delegate) {
        obj.As<Table>()->NewSlot(key, val);
        NEXT();
    }
    NewSlot(obj, key, val, false);
    REFRESH();
    NEXT();
}
L_NEWMEMBER: {
    uint32_t extra = *pc++;
    SAVEPC();
    Value cls = RA, key = RB, val = RC;
    Value attrs = ArgB(extra) != kNoReg ? R[ArgB(extra)] : Value();
    NewMember(cls, key, val, attrs, (ArgA(extra) & 1) != 0, false);
    REFRESH();
    NEXT();
}
L_DELETE: {
    SAVEPC();
    Value obj = RB, key = RC;
    Value v = Delete(obj, key);
    REFRESH();
    RA = std::move(v);
    NEXT();
}
L_METHOD:
    // A method (or a global function, through `this`) found in a table: the function is
    // copied before anything is released, and `this` after it.
    // Numbers, strings and arrays find a named method in their default delegate only.
    if (A != B) {
        Table *t = nullptr;
        switch (RB.kind()) {
        case Kind::Table: t = RB.As<Table>(); break;

        case Kind::Int:
        case Kind::Float:
        case Kind::Bool: t = DelegateTable(Kind::Int); break;
        case Kind::String: t = DelegateTable(Kind::String); break;
        case Kind::Array: t = DelegateTable(Kind::Array); break;
        default: break;
        }
        if (t) {
            if (Table::Entry *e = CachedFind(t, C, K, KC)) {
                if (e->val.kind() != Kind::WeakRef) [[likely]] {
                    Value *dst = &RA;
                    dst[0] = e->val;
                    dst[1] = RB;
                    DISPATCH();
                }
            }
        }
    }
L_METHODR: {
    Value obj = RB;
    const Value &key = OpOf(i) == OP_METHOD ? KCONST : RC;
    if (obj.kind() == Kind::Table && key.IsString()) {
        if (Table::Entry *e = obj.As<Table>()->FindString(key.As<Str>())) {
            RA = Deref(e->val);
            R[A + 1] = std::move(obj);
            NEXT();
        }
    } else if (obj.kind() == Kind::Instance) {
        Value v;
        Instance *in = obj.As<Instance>();
        if (OpOf(i) == OP_METHOD) {
            // The constant name's slot through the lookup cache, as Instance::Get reads it.
            if (Table::Entry *e = CachedFind(in->cls->members, C, K, KC)) {
                const SQInteger slot = e->val.AsInt();
                RA = IsFieldSlot(slot) ? Deref(in->fields[slot])
                                         : in->cls->shared[static_cast<size_t>(SharedIndex(slot))];
                R[A + 1] = std::move(obj);
                NEXT();
            }
        } else if (in->Get(key, v)) {
            RA = std::move(v);
            R[A + 1] = std::move(obj);
            NEXT();
        }
    }
    SAVEPC();
    Value k = key;
    Value v = Get(obj, k, B == 0);
    REFRESH();
    RA = std::move(v);
    R[A + 1] = std::move(obj);
    NEXT();
}
L_CALL:
    // The common call, set up here: a script closure with exact arguments, no bound
    // environment, not a generator, room on the stack and in the frame list, no hooks
    // or step budget to serve.
    if (Value *fv = &RA; fv->kind() == Kind::Closure) [[likely]] {
        Closure *c = fv->As<Closure>();
        Proto *np = c->proto;
        const uint32_t func = static_cast<uint32_t>(fv - stack);
        const uint32_t nbase = func + 1;
        const uint32_t ntop = nbase + np->maxStack;
        if (B == c->plainArgs && !hooksOn && rt->stepsLeft < 0 && ntop + kStackHeadroom <= stackSize &&
            frames.HasRoom()) [[likely]] {
            frames.back().pc = pc;
            c->refs++;
            const uint32_t *code = np->code.data();
            frames.PushChecked(c, code, nbase, ntop, top, C ? static_cast<int32_t>(func) : -1);
            base = nbase;
            top = ntop;
            K = np->consts.data();
            KC = np->keyCache.data();
            pc = code;
            R = fv + 1;
            DISPATCH();
        }
    }
{
    SAVEPC();
    const Value &fn = RA;
    uint32_t func = static_cast<uint32_t>(R - stack) + A;
    switch (fn.kind()) {
    case Kind::Closure: {
        Value gen;
        if (PushScriptFrame(fn.As<Closure>(), func, B, C ? static_cast<int32_t>(func) : -1, false, false, gen)) {
            RELOAD();
            NEXT();
        }
        REFRESH();
        if (C) RA = std::move(gen);
        NEXT();
    }
    case Kind::NativeClosure: {
        // The common native call, done here: the parameter count and kinds fit, no free
        // variables or bound environment, below the depth limit. Anything else takes
        // CallNative, which raises the errors. The arguments are registers of this frame
        // (the compiler and the image loader see to it), so the native's frame never
        // reaches past the caller's window, and that window has the headroom every
        // script frame gets when pushed.
    native_call:
        HOT_PATH;
        NativeClosure *n = fn.As<NativeClosure>();
        const uint32_t nbase = func + 1;
        const uint32_t savedTop = top;
        assert(nbase + B <= savedTop && savedTop + kStackHeadroom <= stackSize);
        if (n->CountFits(B) && n->nfree == 0 && !n->env && nativeDepth < kMaxNativeDepth &&
            n->ArgsMatchFromScript(R + A + 1, B)) {
            PushNativeFrameFromScript(nbase, B);
            const SQInteger r = RunUncountedNative(n);
            if (r == 0 && top <= savedTop && (!openUps || openUps->slot < nbase)) [[likely]] {
                // No result and nothing left above the caller's window: the frame goes
                // and the caller's base and top come back.
                DropNativeFrame(func - A, savedTop);
                R = stack + (func - A);
                if (C) RA = Value();
                NEXT();
            }
            // The result moves out of the slot it was pushed to, which goes with the frame.
            Value ret;
            if ((r > 0 || r == kSuspendSignal) && top > base) ret = std::move(stack[top - 1]);
            if (openUps && openUps->slot >= nbase) [[unlikely]] {
                PopNativeFrame();
            } else {
                // As PopNativeFrame: what the native left above the caller's window goes
                // (mostly nothing, the result having moved out), then the caller's base
                // and top come back.
                const uint32_t end = top < stackSize ? top : stackSize;
                frames.pop_back();
                if (end > savedTop) ReleaseSlots(stack + savedTop, stack + end);
                base = func - A;
                top = savedTop;
            }
            if (r < 0) [[unlikely]] {
                if (r != kSuspendSignal) throw ScriptError{};
                suspended = true;
                suspendRetSlot = C ? static_cast<int32_t>(func) : -1;
                out = std::move(ret);
                return RunStatus::Suspended;
            }
            REFRESH();
            if (C) RA = std::move(ret);
            NEXT();
        }
        bool suspend;
        Value nc = fn;
        Value r = CallNative(nc.As<NativeClosure>(), func, B, true, suspend);
        if (suspend) {
            suspended = true;
            suspendRetSlot = C ? static_cast<int32_t>(func) : -1;
            out = std::move(r);
            return RunStatus::Suspended;
        }
        REFRESH();
        if (C) RA = std::move(r);
        NEXT();
    }
    case Kind::Class: {
        Class *k = fn.As<Class>();
        Value inst = Value::Ref(Kind::Instance, Instance::New(rt, k));
        if (k->ctor < 0) {
            RA = std::move(inst);
            NEXT();
        }
        Value ctor = k->shared[static_cast<size_t>(k->ctor)];
        RA = inst;
        R[A + 1] = inst;
        if (ctor.kind() == Kind::Closure) {
            Value gen;
            if (PushScriptFrame(ctor.As<Closure>(), func, B, -1, false, false, gen)) RELOAD();
            NEXT();
        }
        if (ctor.kind() == Kind::NativeClosure) {
            bool suspend;
            CallNative(ctor.As<NativeClosure>(), func, B, false, suspend);
        } else {
            std::vector<Value> args(stack + func + 1, stack + func + 1 + B);
            CallWith(ctor, args.data(), B, false);
        }
        REFRESH();
        RA = std::move(inst);
        NEXT();
    }
    default: {
        Value r = Invoke(func, B, false);
        REFRESH();
        if (C) RA = std::move(r);
        NEXT();
    }
    }
}
L_TAILCALL: {
    const Value &fn = RA;
    if (fn.kind() == Kind::Closure && !fn.As<Closure>()->proto->generator && !frames.back().gen) {
        SAVEPC();
        Value c = fn;
        uint32_t fbase = FBASE;
        CloseUpvalues(fbase);
        uint32_t n = B;
        for (uint32_t k = 0; k < n; k++) stack[fbase + k] = std::move(stack[fbase + A + 1 + k]);
        // The caller's other registers stay until the callee overwrites them or returns:
        // what they hold (an environment bound weakly to the callee) lives through the call.
        uint32_t oldTop = frames.back().top;
        Value gen;
        PushScriptFrame(c.As<Closure>(), fbase - 1, n, 0, false, true, gen);
        if (frames.back().top < oldTop) frames.back().top = top = oldTop;
        RELOAD();
        NEXT();
    }
    goto L_CALL;
}
L_RETURN: {
    Frame &fr = frames.back();
    // The common return, done here: with no hooks, generator, exception traps or
    // captured variables of this frame to deal with. The result moves out of its
    // register, which the frame's end would clear anyway.
    if (!fr.gen && !hooksOn && (traps.empty() || traps.back().frame + 1 < frames.size()) &&
        (!openUps || openUps->slot < fr.base)) [[likely]] {
        Value ret;
        if (B) [[likely]] ret = std::move(RA);
        const uint32_t fbase = fr.base;
        uint32_t ftop = top > fr.top ? top : fr.top;
        if (ftop > stackSize) ftop = stackSize;
        const uint32_t restore = fr.savedTop;
        const int32_t retSlot = fr.retSlot;
        if (static_cast<uint32_t>(retSlot) < fbase && !fr.entry) [[likely]] {
            // The usual return, to a slot below the frame: the result goes in first, so
            // nothing but the slot's old value (the closure called, as a rule) stays
            // live across the releases. That value still goes last, as it always did,
            // when NEXT leaves its scope (like any overwritten register's, its release
            // moves no stack).
            Value old = std::move(stack[retSlot]);
            stack[retSlot] = std::move(ret);
            frames.pop_back();
            ReleaseSlots(stack + fbase, stack + ftop);
            top = restore;
            base = frames.back().base;
            RELOAD();
            NEXT();
        }
        const bool entry = fr.entry;
        frames.pop_back();
        // As PopFrame: the references in every slot the frame used go.
        ReleaseSlots(stack + fbase, stack + ftop);
        top = restore;
        if (entry) [[unlikely]] {
            // The end of an interpreter entry (a native's call back into script code).
            base = frames.empty() ? 0 : frames.back().base;
            out = std::move(ret);
            return RunStatus::Returned;
        }
        base = frames.back().base;
        if (retSlot >= 0) stack[retSlot] = std::move(ret);
        RELOAD();
        NEXT();
    }
    Value ret = B ? RA : Value();
    if (hooksOn)
        for (uint32_t k = 0; k <= fr.tailcalls; k++) CallDebugHook('r', 0);
    Frame &fr2 = frames.back();
    const bool generator = fr2.gen != nullptr;
    if (generator) fr2.gen->Kill();
    bool entry = fr2.entry;
    int32_t retSlot = fr2.retSlot;
    PopFrame();
    if (entry) {
        out = std::move(ret);
        return RunStatus::Returned;
    }
    if (retSlot >= 0) stack[retSlot] = std::move(ret);
    RELOAD();
    // A generator that foreach resumed has ended, and so has the loop.
    if (generator && OpOf(pc[-1]) == OP_FOREACH) DO_NEXT_JUMP();
    NEXT();
}

#define ARITH(op, opchar, lhs, rhs)                                                                                 \
    do {                                                                                                            \
        const Value &x_ = (lhs);                                                                                    \
        const Value &y_ = (rhs);                                                                                    \
        if (x_.kind() == Kind::Int && y_.kind() == Kind::Int) [[likely]] {                                                     \
            RA.SetInt(static_cast<SQInteger>(static_cast<uint32_t>(x_.AsInt()) op static_cast<uint32_t>(y_.AsInt()))); \
        } else if (x_.kind() == Kind::Float && y_.kind() == Kind::Float) {                                          \
            /* Dispatching from here spares floats a jump back to the integers' dispatch. */                        \
            RA.SetFloat(x_.AsFloat() op y_.AsFloat());                                                              \
            DISPATCH();                                                                                             \
        } else if (x_.IsNumber() && y_.IsNumber()) {                                                                \
            /* An integer with a float: both as floats, as Arith does. */                                           \
            RA.SetFloat(x_.ToFloat() op y_.ToFloat());                                                              \
            DISPATCH();                                                                                             \
        } else {                                                                                                    \
            SAVEPC();                                                                                               \
            Value a_ = x_, b_ = y_;                                                                                 \
            Value r_ = Arith(opchar, a_, b_);                                                                       \
            REFRESH();                                                                                              \
            RA = std::move(r_);                                                                                   \
        }                                                                                                           \
    } while (0)
#define SLOWARITH(opchar, lhs, rhs)                                                                                 \
    do {                                                                                                            \
        SAVEPC();                                                                                                   \
        Value a_ = (lhs), b_ = (rhs);                                                                               \
        Value r_ = Arith(opchar, a_, b_);                                                                           \
        REFRESH();                                                                                                  \
        RA = std::move(r_);                                                                                       \
    } while (0)

L_ADD:
    ARITH(+, '+', RB, RC);
    DISPATCH();
L_SUB:
    ARITH(-, '-', RB, RC);
    DISPATCH();
L_MUL:
    ARITH(*, '*', RB, RC);
    DISPATCH();
// Integer division and modulo inline, but for a zero or -1 divisor (errors, and the
// quotient that overflows).
#define DIVMOD(op, opchar, lhs, rhs, floatop)                                                                       \
    do {                                                                                                            \
        const Value &x_ = (lhs);                                                                                    \
        const Value &y_ = (rhs);                                                                                    \
        if (x_.kind() == Kind::Int && y_.kind() == Kind::Int && static_cast<uint32_t>(y_.AsInt()) + 1u > 1u)        \
            [[likely]] {                                                                                            \
            RA.SetInt(x_.AsInt() op y_.AsInt());                                                                    \
        } else if (x_.IsNumber() && y_.IsNumber() && !(x_.IsInt() && y_.IsInt())) {                                 \
            /* A float on either side: as floats, as Arith does. */                                                 \
            RA.SetFloat(floatop(x_.ToFloat(), y_.ToFloat()));                                                       \
        } else {                                                                                                    \
            SLOWARITH(opchar, x_, y_);                                                                              \
        }                                                                                                           \
    } while (0)
#define FLOAT_DIV(x, y) ((x) / (y))
L_DIV:
    DIVMOD(/, '/', RB, RC, FLOAT_DIV);
    DISPATCH();
L_MOD:
    DIVMOD(%, '%', RB, RC, fmodf);
    DISPATCH();
L_ADDI: {
    const Value &x = RB;
    if (x.kind() == Kind::Int) {
        RA.SetInt(static_cast<SQInteger>(static_cast<uint32_t>(x.AsInt()) + static_cast<uint32_t>(ArgSC(i))));
        NEXT();
    }
    if (x.kind() == Kind::Float) {
        RA.SetFloat(x.AsFloat() + static_cast<SQFloat>(ArgSC(i)));
        NEXT();
    }
    SLOWARITH('+', x, Value::Int(ArgSC(i)));
    NEXT();
}
L_ADDK:
    ARITH(+, '+', RB, KCONST);
    DISPATCH();
L_SUBK:
    ARITH(-, '-', RB, KCONST);
    DISPATCH();
L_MULK:
    ARITH(*, '*', RB, KCONST);
    DISPATCH();
L_DIVK:
    DIVMOD(/, '/', RB, KCONST, FLOAT_DIV);
    DISPATCH();
L_MODK:
    DIVMOD(%, '%', RB, KCONST, fmodf);
    DISPATCH();
L_UNM: {
    SAVEPC();
    Value x = RB;
    Value r = Negate(x);
    REFRESH();
    RA = std::move(r);
    NEXT();
}
L_NOT:
    RA.SetBool(RB.IsFalsy());
    DISPATCH();
L_BNOT:
    if (RB.kind() == Kind::Int) {
        RA.SetInt(~RB.AsInt());
        NEXT();
    }
    SAVEPC();
    Throw("attempt to perform a bitwise op on a %s", KindName(RB.kind()));
#define BITOP(opcode, expr, rhs)                                                                                    \
    do {                                                                                                            \
        const Value &x_ = RB;                                                                                     \
        const Value &y_ = (rhs);                                                                                    \
        if (x_.kind() == Kind::Int && y_.kind() == Kind::Int) [[likely]] {                                                     \
            uint32_t x = static_cast<uint32_t>(x_.AsInt()), y = static_cast<uint32_t>(y_.AsInt());                 \
            RA.SetInt(static_cast<SQInteger>(expr));                                                              \
            DISPATCH();                                                                                             \
        }                                                                                                           \
        SAVEPC();                                                                                                   \
        Value r_ = BitOp(opcode, x_, y_);                                                                           \
        RA = std::move(r_);                                                                                       \
        NEXT();                                                                                                     \
    } while (0)

L_BAND:
    BITOP(OP_BAND, x & y, RC);
L_BOR:
    BITOP(OP_BOR, x | y, RC);
L_BXOR:
    BITOP(OP_BXOR, x ^ y, RC);
L_SHL:
    BITOP(OP_SHL, x << (y & 31), RC);
L_SHR:
    BITOP(OP_SHR, static_cast<uint32_t>(static_cast<SQInteger>(x) >> (y & 31)), RC);
L_USHR:
    BITOP(OP_USHR, x >> (y & 31), RC);
L_BANDK:
    BITOP(OP_BAND, x & y, KCONST);
L_BORK:
    BITOP(OP_BOR, x | y, KCONST);
L_BXORK:
    BITOP(OP_BXOR, x ^ y, KCONST);
L_SHLK:
    BITOP(OP_SHL, x << (y & 31), KCONST);
L_SHRK:
    BITOP(OP_SHR, static_cast<uint32_t>(static_cast<SQInteger>(x) >> (y & 31)), KCONST);
L_USHRK:
    BITOP(OP_USHR, x >> (y & 31), KCONST);

#define COMPARE_VALUE(cmpop, lhs, rhs)                                                                              \
    do {                                                                                                            \
        const Value &x_ = (lhs);                                                                                    \
        const Value &y_ = (rhs);                                                                                    \
        bool r_;                                                                                                    \
        if (x_.kind() == Kind::Int && y_.kind() == Kind::Int) [[likely]] {                                                     \
            r_ = x_.AsInt() cmpop y_.AsInt();                                                                       \
        } else if (x_.kind() == Kind::Float && y_.kind() == Kind::Float) {                                          \
            r_ = FloatOrder(x_, y_) cmpop 0;                                                                        \
        } else if (x_.IsNumber() && y_.IsNumber()) {                                                                \
            r_ = MixedOrder(x_, y_) cmpop 0;                                                                        \
        } else {                                                                                                    \
            SAVEPC();                                                                                               \
            Value a_ = x_, b_ = y_;                                                                                 \
            r_ = Compare(a_, b_) cmpop 0;                                                                           \
            REFRESH();                                                                                              \
        }                                                                                                           \
        RA.SetBool(r_);                                                                                           \
    } while (0)
#define COMPARE_JUMP(cmpop, lhs, rhs)                                                                               \
    do {                                                                                                            \
        const Value &x_ = (lhs);                                                                                    \
        const Value &y_ = (rhs);                                                                                    \
        bool r_;                                                                                                    \
        if (x_.kind() == Kind::Int && y_.kind() == Kind::Int) [[likely]] {                                                     \
            r_ = x_.AsInt() cmpop y_.AsInt();                                                                       \
        } else if (x_.kind() == Kind::Float && y_.kind() == Kind::Float) {                                          \
            r_ = FloatOrder(x_, y_) cmpop 0;                                                                        \
        } else if (x_.IsNumber() && y_.IsNumber()) {                                                                \
            r_ = MixedOrder(x_, y_) cmpop 0;                                                                        \
        } else {                                                                                                    \
            SAVEPC();                                                                                               \
            Value a_ = x_, b_ = y_;                                                                                 \
            r_ = Compare(a_, b_) cmpop 0;                                                                           \
            REFRESH();                                                                                              \
        }                                                                                                           \
        COND_JUMP(r_);                                                                                              \
    } while (0)

L_LTV:
    COMPARE_VALUE(<, RB, RC);
    DISPATCH();
L_LEV:
    COMPARE_VALUE(<=, RB, RC);
    DISPATCH();
L_GTV:
    COMPARE_VALUE(>, RB, RC);
    DISPATCH();
L_GEV:
    COMPARE_VALUE(>=, RB, RC);
    DISPATCH();
L_LTIV:
    COMPARE_VALUE(<, RB, Value::Int(ArgSC(i)));
    DISPATCH();
L_LEIV:
    COMPARE_VALUE(<=, RB, Value::Int(ArgSC(i)));
    DISPATCH();
L_GTIV:
    COMPARE_VALUE(>, RB, Value::Int(ArgSC(i)));
    DISPATCH();
L_GEIV:
    COMPARE_VALUE(>=, RB, Value::Int(ArgSC(i)));
    DISPATCH();
L_LTKV:
    COMPARE_VALUE(<, RB, KCONST);
    DISPATCH();
L_LEKV:
    COMPARE_VALUE(<=, RB, KCONST);
    DISPATCH();
L_GTKV:
    COMPARE_VALUE(>, RB, KCONST);
    DISPATCH();
L_GEKV:
    COMPARE_VALUE(>=, RB, KCONST);
    DISPATCH();
L_EQV:
    RA.SetBool(Equal(RB, RC));
    DISPATCH();
L_NEV:
    RA.SetBool(!Equal(RB, RC));
    DISPATCH();
L_EQKV:
    RA.SetBool(Equal(RB, KCONST));
    DISPATCH();
L_NEKV:
    RA.SetBool(!Equal(RB, KCONST));
    DISPATCH();
L_CMP3: {
    if (RB.kind() == Kind::Int && RC.kind() == Kind::Int) {
        const SQInteger x = RB.AsInt(), y = RC.AsInt();
        RA.SetInt(x == y ? 0 : (x < y ? -1 : 1));
        DISPATCH();
    }
    SAVEPC();
    Value x = RB, y = RC;
    SQInteger r = Compare(x, y);
    REFRESH();
    RA.SetInt(r);
    NEXT();
}
L_LT:
    COMPARE_JUMP(<, RA, RB);
    DISPATCH();
L_LE:
    COMPARE_JUMP(<=, RA, RB);
    DISPATCH();
L_GT:
    COMPARE_JUMP(>, RA, RB);
    DISPATCH();
L_GE:
    COMPARE_JUMP(>=, RA, RB);
    DISPATCH();
L_LTI:
    COMPARE_JUMP(<, RA, Value::Int(ArgSB(i)));
    DISPATCH();
L_LEI:
    COMPARE_JUMP(<=, RA, Value::Int(ArgSB(i)));
    DISPATCH();
L_GTI:
    COMPARE_JUMP(>, RA, Value::Int(ArgSB(i)));
    DISPATCH();
L_GEI:
    COMPARE_JUMP(>=, RA, Value::Int(ArgSB(i)));
    DISPATCH();
L_LTK:
    COMPARE_JUMP(<, RA, KB);
    DISPATCH();

// A for loop's step and test in one: add sC to R[A], then jump back while below the
// limit. The fast path binds no temporaries: DISPATCH may not leave their scope.
#define INC_LOOP(limitKind, limitInt, limitValue)                                                                   \
    do {                                                                                                            \
        Value &x_ = RA;                                                                                           \
        if (x_.kind() == Kind::Int && (limitKind) == Kind::Int) {                                                   \
            SQInteger n_ = static_cast<SQInteger>(static_cast<uint32_t>(x_.AsInt()) + static_cast<uint32_t>(ArgSC(i))); \
            x_.SetInt(n_);                                                                                          \
            if (n_ < (limitInt)) [[likely]] {                                                                       \
                /* The jump back, its step check inline: the loop's hottest path. */                                \
                const int32_t off_ = ArgSJ(*pc) + 1;                                                                \
                if (off_ < 0) [[likely]] {                                                                          \
                    if (rt->stepsLeft >= 0) [[unlikely]] {                                                          \
                        SAVEPC();                                                                                   \
                        TakeStep();                                                                                 \
                    }                                                                                               \
                }                                                                                                   \
                pc += off_;                                                                                         \
                DISPATCH();                                                                                         \
            }                                                                                                       \
            pc++;                                                                                                   \
            DISPATCH();                                                                                             \
        }                                                                                                           \
        SAVEPC();                                                                                                   \
        Value a_ = x_, l_ = (limitValue);                                                                           \
        Value r_ = Arith('+', a_, Value::Int(ArgSC(i)));                                                            \
        REFRESH();                                                                                                  \
        RA = r_;                                                                                                  \
        bool below_ = Compare(r_, l_) < 0;                                                                          \
        REFRESH();                                                                                                  \
        if (below_)                                                                                                 \
            DO_NEXT_JUMP();                                                                                         \
        else                                                                                                        \
            pc++;                                                                                                   \
        NEXT();                                                                                                     \
    } while (0)

L_INCLT:
    INC_LOOP(RB.kind(), RB.AsInt(), RB);
L_INCLTI:
    INC_LOOP(Kind::Int, ArgSB(i), Value::Int(ArgSB(i)));
L_INCLTK:
    INC_LOOP(KB.kind(), KB.AsInt(), KB);
L_LEK:
    COMPARE_JUMP(<=, RA, KB);
    DISPATCH();
L_GTK:
    COMPARE_JUMP(>, RA, KB);
    DISPATCH();
L_GEK:
    COMPARE_JUMP(>=, RA, KB);
    DISPATCH();
L_EQ:
    COND_JUMP(Equal(RA, RB));
    DISPATCH();
L_EQK:
    COND_JUMP(Equal(RA, KB));
    DISPATCH();
L_TEST:
    if (RA.IsFalsy() == (B != 0))
        pc++;
    else
        DO_NEXT_JUMP();
    DISPATCH();
L_JMP:
    if (ArgSJ(i) < 0) COUNT_STEP();
    pc += ArgSJ(i);
    DISPATCH();
L_IN: {
    SAVEPC();
    Value k = RB, c = RC;
    bool r = InOperator(k, c);
    REFRESH();
    RA.SetBool(r);
    NEXT();
}
L_INSTANCEOF: {
    const Value &c = RC;
    if (c.kind() != Kind::Class) {
        SAVEPC();
        Throw("cannot apply instanceof between a %s and a %s", KindName(c.kind()), KindName(RB.kind()));
    }
    bool r = RB.kind() == Kind::Instance && RB.As<Instance>()->InstanceOf(c.As<Class>());
    RA.SetBool(r);
    NEXT();
}
L_TYPEOF: {
    SAVEPC();
    Value x = RB;
    Value r = TypeOf(x);
    REFRESH();
    RA = std::move(r);
    NEXT();
}
L_CLONE: {
    SAVEPC();
    Value x = RB;
    Value r = Clone(x);
    REFRESH();
    RA = std::move(r);
    NEXT();
}
L_RESUME: {
    // The generator runs on in this loop, as a frame above this one: it may suspend the
    // thread it runs in, as any script code may.
    SAVEPC();
    const Value &g = RB;
    if (g.kind() != Kind::Generator)
        Throw("trying to resume a '%s',only genenerator can be resumed", KindName(g.kind()));
    CheckResumable(g.As<Generator>());
    PushGeneratorFrame(g.As<Generator>(), static_cast<int32_t>(FBASE + A), false);
    RELOAD();
    NEXT();
}
L_YIELD: {
    SAVEPC();
    const Frame &yf = frames.back();
    if (!yf.gen) Throw("trying to yield a '%s',only genenerator can be yielded", "function");
    const bool entry = yf.entry;
    const int32_t retSlot = yf.retSlot;
    Value v = B ? RA : Value();
    YieldFrame();
    if (entry) {
        out = std::move(v);
        return RunStatus::Yielded;
    }
    stack[retSlot] = std::move(v);
    RELOAD();
    // Resumed by foreach: the loop's body runs next, past the jump that ends the loop.
    if (OpOf(pc[-1]) == OP_FOREACH) pc++;
    NEXT();
}
L_CLOSURE: {
    Closure *cl = CL;
    Value c = MakeClosure(cl->proto->protos[ArgBx(i)].As<Proto>(), cl, FBASE);
    RA = std::move(c);
    NEXT();
}
L_NEWTABLE:
    RA = Value::Ref(Kind::Table, Table::New(rt, ArgBx(i)));
    NEXT();
L_NEWARRAY: {
    Array *a = Array::New(rt, 0);
    a->items.reserve(ArgBx(i));
    RA = Value::Ref(Kind::Array, a);
    NEXT();
}
L_APPEND:
    // The compiler only appends to the array it just made; loaded bytecode is not trusted.
    if (RA.kind() != Kind::Array) {
        SAVEPC();
        Throw("invalid bytecode");
    }
    RA.As<Array>()->items.push_back(RB);
    DISPATCH();
L_NEWCLASS: {
    SAVEPC();
    Value base = B != kNoReg ? RB : Value();
    Value attrs = C != kNoReg ? RC : Value();
    Value cls = NewClass(B != kNoReg ? &base : nullptr, attrs);
    REFRESH();
    RA = std::move(cls);
    NEXT();
}
L_FOREACH: {
    SAVEPC();
    // B = 1: the container is the local R[C], read again at every step.
    const uint32_t cr = B ? C : A, kr = B ? A : A + 1;
    if (R[cr].kind() == Kind::Generator) {
        Generator *g = R[cr].As<Generator>();
        if (g->state == Generator::State::Dead) {
            DO_NEXT_JUMP();
            NEXT();
        }
        CheckResumable(g);
        // The key is the resume's number, set before it runs; the value register takes
        // what it yields or, at the end, returns (L_YIELD and L_RETURN go on from there).
        // The registers change only once the frame holds the generator: in a damaged
        // image the key may share the container's register.
        const Value &iter = R[kr + 2];
        const SQInteger n = iter.IsInt() ? static_cast<SQInteger>(static_cast<uint32_t>(iter.AsInt()) + 1u) : 0;
        const uint32_t resumer = FBASE;
        PushGeneratorFrame(g, static_cast<int32_t>(resumer + kr + 1), false);
        stack[resumer + kr + 2].SetInt(n);
        stack[resumer + kr].SetInt(n);
        RELOAD();
        NEXT();
    }
    Value container = R[cr], key = R[kr], val = R[kr + 1], iter = R[kr + 2];
    bool more = ForeachStep(container, key, val, iter);
    REFRESH();
    if (more) {
        R[kr] = std::move(key);
        R[kr + 1] = std::move(val);
        R[kr + 2] = std::move(iter);
        pc++;
    } else {
        DO_NEXT_JUMP();
    }
    NEXT();
}
L_PUSHTRAP: {
    uint32_t j = *pc++;
    Trap t;
    t.frame = static_cast<uint32_t>(frames.size() - 1);
    t.top = top - FBASE;
    t.handler = pc + ArgSJ(j);
    t.errorReg = static_cast<uint8_t>(A);
    traps.push_back(t);
    NEXT();
}
L_POPTRAP:
    for (uint32_t k = 0; k < A && !traps.empty() && traps.back().frame == frames.size() - 1; k++) traps.pop_back();
    NEXT();
L_THROW: {
    SAVEPC();
    Value err = RA;
    ThrowValue(err);
}
L_GETBASE:
    if (Class *b = CL->base)
        RA = Value::Ref(Kind::Class, b);
    else
        RA.SetNull();
    NEXT();
L_CLOSE:
    CloseUpvalues(FBASE + A);
    NEXT();
L_LINE:
    if (hooksOn) {
        SAVEPC();
        CallDebugHook('l', ArgSJ(i));
        REFRESH();
    }
    NEXT();
L_EXTRA:
    NEXT();

#undef RELOAD
#undef CL
#undef HOT_PATH
#undef SAVEPC
#undef REFRESH
#undef A
#undef B
#undef C
}

} // namespace nut
