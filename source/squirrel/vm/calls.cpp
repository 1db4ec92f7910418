// Frames, calls into closures and natives, generators, suspension and error reporting.
#include <cstdarg>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "array.h"
#include "classes.h"
#include "cstack.h"
#include "fiber.h"
#include "strings.h"
#include "table.h"

namespace nut {

Fiber *Fiber::New(Runtime *rt, Fiber *parent, SQInteger stackSize)
{
    SQVM *f = new SQVM();
    f->kind = Kind::Thread;
    f->rt = rt;
    uint32_t size = stackSize < 64 ? 64 : static_cast<uint32_t>(stackSize);
    f->stack = new Value[size];
    f->stackSize = size;
    f->frames.reserve(16);
    if (parent) {
        f->rootTable = parent->rootTable;
        f->errorHandler = parent->errorHandler;
        f->debugHook = parent->debugHook;
        f->nativeHook = parent->nativeHook;
        f->hooksOn = parent->hooksOn;
    }
    LinkCollectable(rt, f);
    return f;
}

void Fiber::Clear()
{
    CloseUpvalues(0);
    frames.clear();
    traps.clear();
    rootTable.SetNull();
    lastError.SetNull();
    errorHandler.SetNull();
    debugHook.SetNull();
    for (uint32_t i = 0; i < stackSize; i++) stack[i].SetNull();
    top = base = 0;
    suspended = false;
}

// Errors

static std::string FormatV(const char *fmt, va_list vl)
{
    va_list copy;
    va_copy(copy, vl);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) vsnprintf(&out[0], static_cast<size_t>(n) + 1, fmt, vl);
    return out;
}

void Fiber::Throw(const char *fmt, ...)
{
    va_list vl;
    va_start(vl, fmt);
    std::string msg = FormatV(fmt, vl);
    va_end(vl);
    lastError = rt->String(msg.data(), static_cast<SQInteger>(msg.size()));
    throw ScriptError{};
}

void Fiber::ThrowValue(const Value &err)
{
    lastError = err;
    throw ScriptError{};
}

Value Fiber::Describe(const Value &v)
{
    char buf[64];
    switch (v.kind()) {
    case Kind::String: return v;
    case Kind::Int: snprintf(buf, sizeof(buf), "%d", v.AsInt()); break;
    case Kind::Float: snprintf(buf, sizeof(buf), "%.14g", static_cast<double>(v.AsFloat())); break;
    default: return rt->String(KindName(v.kind()));
    }
    return rt->String(buf);
}

void Fiber::ThrowIndexError(const Value &key)
{
    Value d = Describe(key);
    Throw("the index '%.50s' does not exist", d.As<Str>()->chars);
}

void Fiber::ThrowCompareError(const Value &a, const Value &b)
{
    Value da = Describe(a), db = Describe(b);
    Throw("comparison between '%.50s' and '%.50s'", da.As<Str>()->chars, db.As<Str>()->chars);
}

void Fiber::ThrowParamType(SQInteger param, SQInteger mask, Kind actual)
{
    static const Kind kMaskKinds[] = {Kind::Null,     Kind::Int,           Kind::Float,     Kind::Bool,
                                      Kind::String,   Kind::Table,         Kind::Array,     Kind::UserData,
                                      Kind::Closure,  Kind::NativeClosure, Kind::Generator, Kind::UserPointer,
                                      Kind::Thread,   Kind::Proto,         Kind::Class,     Kind::Instance};
    std::string expected;
    for (int i = 0; i < 16; i++) {
        if (mask & (1 << i)) {
            if (!expected.empty()) expected += "|";
            expected += KindName(kMaskKinds[i]);
        }
    }
    Throw("parameter %d has an invalid type '%s' ; expected: '%s'", param, KindName(actual), expected.c_str());
}

// Stack

void Fiber::GrowSlots(uint32_t end)
{
    const uint32_t limit = kMaxStackSlots + (inErrorHandler ? kErrorHandlerSlots : 0);
    if (end + kStackHeadroom > limit) Throw("stack overflow");
    uint32_t size = stackSize * 2;
    if (size < end + kStackHeadroom * 4) size = end + kStackHeadroom * 4;
    if (size > limit) size = limit;
    ResizeSlots(size);
}

void Fiber::ResizeSlots(uint32_t size)
{
    Value *fresh = new Value[size];
    const uint32_t kept = size < stackSize ? size : stackSize;
    for (uint32_t i = 0; i < kept; i++) fresh[i] = std::move(stack[i]);
    delete[] stack;
    stack = fresh;
    stackSize = size;
    for (Upvalue *u = openUps; u; u = u->nextOpen) u->loc = &stack[u->slot];
}

void Fiber::EnsureStack(uint32_t slotsAboveTop) { EnsureSlots(top + slotsAboveTop); }

// Captured variables

Value Fiber::FindUpvalue(uint32_t slot)
{
    Upvalue **pp = &openUps;
    while (*pp && (*pp)->slot >= slot) {
        if ((*pp)->slot == slot) return Value::Ref(Kind::Upvalue, *pp);
        pp = &(*pp)->nextOpen;
    }
    Upvalue *u = new (AllocObject(rt, sizeof(Upvalue))) Upvalue();
    u->kind = Kind::Upvalue;
    u->rt = rt;
    u->loc = &stack[slot];
    u->slot = slot;
    u->nextOpen = *pp;
    *pp = u;
    u->refs = 1; // the open list's reference
    LinkCollectable(rt, u);
    return Value::Ref(Kind::Upvalue, u);
}

void Fiber::CloseUpvalues(uint32_t slot)
{
    while (openUps && openUps->slot >= slot) {
        Upvalue *u = openUps;
        openUps = u->nextOpen;
        u->closed = *u->loc;
        u->loc = &u->closed;
        u->nextOpen = nullptr;
        ReleaseObject(u);
    }
}

// Frames

bool Fiber::PushScriptFrame(Closure *c, uint32_t func, uint32_t nargs, int32_t retSlot, bool entry, bool tailcall,
                            Value &out)
{
    if (rt->stepsLeft >= 0) TakeStep();
    Proto *p = c->proto;
    uint32_t fbase = func + 1;
    EnsureSlots(fbase + p->maxStack);
    uint32_t nparams = static_cast<uint32_t>(p->params.size());
    if (p->varargs) {
        uint32_t fixed = nparams - 1;
        if (nargs < fixed) Throw("wrong number of parameters");
        Array *rest = Array::New(rt, 0);
        Value hold = Value::Ref(Kind::Array, rest);
        for (uint32_t i = fixed; i < nargs; i++) rest->items.push_back(std::move(stack[fbase + i]));
        stack[fbase + fixed] = std::move(hold);
    } else if (nargs != nparams) {
        uint32_t ndef = c->ndefaults;
        if (ndef && nargs < nparams && nparams - nargs <= ndef) {
            for (uint32_t i = nargs; i < nparams; i++) stack[fbase + i] = c->Default(ndef - (nparams - i));
        } else {
            Throw("wrong number of parameters");
        }
    }
    if (c->env) stack[fbase] = c->env->Get();
    if (p->generator) {
        out = MakeGenerator(c, fbase);
        return false;
    }
    if (tailcall) {
        Frame &f = frames.back();
        f.callee = Value::Ref(Kind::Closure, c);
        f.pc = p->code.data();
        f.tailcalls++;
        f.top = fbase + p->maxStack;
        top = f.top;
        if (hooksOn) CallDebugHook('c', 0);
        return true;
    }
    PushClosureFrame(c, fbase, retSlot, entry);
    if (hooksOn) CallDebugHook('c', 0);
    return true;
}

void Fiber::PopFrame()
{
    uint32_t index = static_cast<uint32_t>(frames.size() - 1);
    while (!traps.empty() && traps.back().frame >= index) traps.pop_back();
    Frame &f = frames.back();
    uint32_t fbase = f.base;
    uint32_t ftop = top > f.top ? top : f.top;
    uint32_t restore = f.savedTop;
    const bool gen = f.gen != nullptr;
    if (openUps && openUps->slot >= fbase) CloseUpvalues(fbase);
    frames.pop_back();
    // Every slot the frame used goes, its arguments in the caller's window included, so
    // what only the finished call referred to is released now. Plain values left there
    // are never read.
    ReleaseSlots(stack + fbase, stack + (ftop < stackSize ? ftop : stackSize));
    if (gen) stack[fbase - 1].SetNull(); // the generator's hold (PushGeneratorFrame)
    if (!frames.empty()) {
        base = frames.back().base;
    } else {
        base = 0;
    }
    top = restore;
}

uint32_t Fiber::EntryFrameIndex() const
{
    for (size_t i = frames.size(); i-- > 0;)
        if (frames[i].entry) return static_cast<uint32_t>(i);
    return 0;
}

Value Fiber::CallNative(NativeClosure *nc, uint32_t func, uint32_t nargs, bool direct, bool &suspend)
{
    suspend = false;
    CountCaller caller(rt);
    if (nativeDepth + 1 > kMaxNativeDepth) Throw("Native stack overflow");
    SQInteger check = nc->paramCheck;
    if (check && ((check > 0 && check != static_cast<SQInteger>(nargs)) ||
                  (check < 0 && static_cast<SQInteger>(nargs) < -check)))
        Throw("wrong number of parameters");
    uint32_t fbase = func + 1;
    if (!nc->ArgsMatch(stack + fbase, nargs)) {
        // Report the first mismatch with its mask in the _RT_ bits.
        for (uint32_t i = 0; i < nargs && i < nc->kindMask.size(); i++) {
            Kind k = stack[fbase + i].kind();
            if (!((nc->kindMask[i] >> static_cast<uint32_t>(k)) & 1u)) ThrowParamType(i, nc->typeMask[i], k);
        }
    }
    EnsureSlots(fbase + nargs + nc->nfree);
    PushNativeFrame(nc, fbase, nargs, direct);
    for (uint32_t i = 0; i < nc->nfree; i++) stack[top++] = nc->freeVars[i];
    if (nc->env) stack[fbase] = nc->env->Get();

    SQInteger r = RunNative(nc);
    Value result;
    if (r == kSuspendSignal) {
        suspend = true;
        if (top > base) result = stack[top - 1];
    } else if (r < 0) {
        PopNativeFrame();
        throw ScriptError{};
    } else if (r > 0 && top > base) {
        result = stack[top - 1];
    }
    PopNativeFrame();
    return result;
}

RunStatus Fiber::Invoke(uint32_t func, uint32_t nargs, bool raiseError, Value &out)
{
    CountCaller caller(rt);
    // Natives and the VM call each other on the C stack: what is left of it bounds the
    // nesting, whichever threads the calls go through.
    if (CStackLow()) Throw("Native stack overflow");
    Value callee = stack[func];
    switch (callee.kind()) {
    case Kind::Closure: {
        if (nativeDepth + 1 > kMaxNativeDepth) Throw("Native stack overflow");
        bool started;
        try {
            started = PushScriptFrame(callee.As<Closure>(), func, nargs, -1, true, false, out);
        } catch (ScriptError &) {
            // The callee never started; a host call with nothing running still reports it.
            if (raiseError && frames.empty()) CallErrorHandler(lastError);
            throw;
        }
        if (!started) return RunStatus::Returned;
        return Execute(raiseError, out);
    }
    case Kind::NativeClosure: {
        bool suspend;
        out = CallNative(callee.As<NativeClosure>(), func, nargs, false, suspend);
        return RunStatus::Returned;
    }
    case Kind::Class: {
        Class *cls = callee.As<Class>();
        // Held: a constructor bound to another environment does not have it as `this`.
        HeldValue inst(rt, Value::Ref(Kind::Instance, Instance::New(rt, cls)));
        if (cls->ctor >= 0) {
            std::vector<Value> args(stack + func + 1, stack + func + 1 + nargs);
            if (args.empty()) args.emplace_back();
            args[0] = inst.value;
            CallWith(cls->shared[static_cast<size_t>(cls->ctor)], args.data(), nargs ? nargs : 1, raiseError);
        }
        out = inst.value;
        return RunStatus::Returned;
    }
    case Kind::Table:
    case Kind::UserData:
    case Kind::Instance: {
        Value mm;
        if (GetMetaMethod(callee, MM_CALL, mm)) {
            EnsureStack(nargs + 2);
            uint32_t f = top;
            stack[top++] = mm;
            stack[top++] = callee;
            for (uint32_t i = 0; i < nargs; i++) stack[top++] = stack[func + 1 + i];
            struct Restore {
                Fiber *self;
                uint32_t slot;
                ~Restore()
                {
                    while (self->top > slot) self->stack[--self->top].SetNull();
                }
            } restore{this, f};
            return Invoke(f, nargs + 1, raiseError, out);
        }
        break;
    }
    default: break;
    }
    Throw("attempt to call '%s'", KindName(callee.kind()));
}

Value Fiber::CallWith(const Value &fn, const Value *args, uint32_t nargs, bool raiseError)
{
    EnsureStack(nargs + 1);
    const uint32_t f = top;
    stack[top++] = fn;
    for (uint32_t i = 0; i < nargs; i++) stack[top++] = args[i];
    return CallPushed(f, nargs, raiseError);
}

Value Fiber::CallWithThis(const Value &fn, const Value &self, const Value *args, uint32_t nargs, bool raiseError)
{
    EnsureStack(nargs + 2);
    const uint32_t f = top;
    stack[top++] = fn;
    stack[top++] = self;
    for (uint32_t i = 0; i < nargs; i++) stack[top++] = args[i];
    return CallPushed(f, nargs + 1, raiseError);
}

Value Fiber::CallPushed(uint32_t f, uint32_t nargs, bool raiseError)
{
    // The pushed values go when the call ends, however it ends.
    struct Restore {
        Fiber *self;
        uint32_t slot;
        ~Restore()
        {
            while (self->top > slot) self->stack[--self->top].SetNull();
        }
    } restore{this, f};
    Value out;
    const Value &fn = stack[f];
    // A plain script closure (the usual comparator, map or apply callback) gets its entry
    // frame here: Invoke's checks in the same order, without its general dispatch.
    if (fn.kind() == Kind::Closure && !frames.empty()) {
        Closure *c = fn.As<Closure>();
        Proto *p = c->proto;
        if (nargs == c->plainArgs && !hooksOn && rt->stepsLeft < 0) [[likely]] {
            CountCaller caller(rt);
            if (CStackLow()) Throw("Native stack overflow");
            if (nativeDepth + 1 > kMaxNativeDepth) Throw("Native stack overflow");
            const uint32_t fbase = f + 1;
            EnsureSlots(fbase + p->maxStack);
            PushClosureFrame(c, fbase, -1, true);
            // Execute's loop, with its error handling (traps, unwinding, the handler) left
            // to Execute itself, which takes over the error where the loop raised it.
            enum { Ran, Raised, OutOfMemory } how = Ran;
            {
                EntryDepth depth(this);
                try {
                    RunLoop(out);
                } catch (ScriptError &) {
                    how = Raised;
                } catch (std::bad_alloc &) {
                    how = OutOfMemory;
                } catch (std::length_error &) {
                    how = OutOfMemory;
                }
            }
            if (how == OutOfMemory) lastError = rt->String("out of memory");
            if (how != Ran) Execute(raiseError, out, true);
            // The return dropped the references of the frame's slots, its arguments
            // included: only the callee's own slot is left.
            if (top == fbase + nargs) {
                top = f;
                stack[f].SetNull();
            }
            return out;
        }
    }
    Invoke(f, nargs, raiseError, out);
    return out;
}

RunStatus Fiber::Execute(bool raiseError, Value &out, bool throwFirst)
{
    // Callers count a native they are called from (CountCaller): Invoke, ResumeGenerator
    // and waking up.
    EntryDepth depth(this);
    for (;;) {
        try {
            if (throwFirst) {
                throwFirst = false;
                throw ScriptError{};
            }
            // A failed allocation anywhere in the loop is the script's error, not the host's.
            try {
                return RunLoop(out);
            } catch (std::bad_alloc &) {
                Throw("out of memory");
            } catch (std::length_error &) {
                Throw("out of memory");
            }
        } catch (ScriptError &) {
            // Held while the error handler and debug hooks run scripts, which may raise
            // errors of their own.
            HeldValue held(rt, lastError);
            const Value &err = held.value;
            // This entry's first frame is still the innermost entry frame: nested entries
            // pop theirs before their errors reach here.
            const uint32_t entry = EntryFrameIndex();
            bool trapped = !traps.empty() && traps.back().frame >= entry;
            if (rt->notifyAllExceptions || (!trapped && raiseError)) CallErrorHandler(err);
            if (trapped) {
                Trap t = traps.back();
                traps.pop_back();
                while (frames.size() > t.frame + 1) {
                    if (frames.back().gen) frames.back().gen->Kill();
                    PopFrame();
                }
                Frame &f = frames.back();
                f.pc = t.handler;
                base = f.base;
                uint32_t newTop = f.base + t.top;
                for (uint32_t i = newTop; i < top; i++) stack[i].SetNull();
                top = newTop;
                stack[f.base + t.errorReg] = err;
                continue;
            }
            for (;;) {
                Frame &f = frames.back();
                bool last = f.entry;
                if (hooksOn && !f.native)
                    for (uint32_t i = 0; i <= f.tailcalls; i++) CallDebugHook('r', 0);
                if (f.gen) f.gen->Kill();
                PopFrame();
                if (last) break;
            }
            lastError = err;
            throw;
        }
    }
}

void Fiber::CallErrorHandler(const Value &err)
{
    if (errorHandler.IsNull()) return;
    Value handler = errorHandler;
    Value args[2] = {rootTable, err};
    HeldValue saved(rt, lastError); // the handler's own errors replace lastError meanwhile
    // The handler runs in the reserve above the stack limit (nested reports share it):
    // the stack may be full with the very overflow it is to report.
    struct Reserve {
        Fiber *self;
        bool outer;
        ~Reserve()
        {
            if (!outer) return;
            self->inErrorHandler = false;
            // What the handler took above the limit goes back, so the limit holds again
            // (the slots there are free once its call has returned).
            if (self->stackSize > kMaxStackSlots) {
                try {
                    self->ResizeSlots(kMaxStackSlots);
                } catch (std::bad_alloc &) {
                    // Left larger: scripts may then use the reserve as well.
                }
            }
        }
    } reserve{this, !inErrorHandler};
    inErrorHandler = true;
    try {
        CallWith(handler, args, 2, false);
    } catch (ScriptError &) {
        // Errors inside the handler are dropped, running out of memory included.
    } catch (std::bad_alloc &) {
    } catch (std::length_error &) {
    }
    lastError = saved.value;
}

void Fiber::CallDebugHook(SQInteger type, SQInteger line)
{
    if (inHook || frames.empty() || frames.back().native) return;
    Frame &f = frames.back();
    Proto *p = f.callee.As<Closure>()->proto;
    if (!line) line = p->LineAt(static_cast<size_t>(f.pc - p->code.data()) - (f.pc > p->code.data() ? 1 : 0));
    inHook = true;
    struct Unset {
        bool &b;
        ~Unset() { b = false; }
    } unset{inHook};
    if (nativeHook) {
        nativeHook(static_cast<SQVM *>(this), type, p->source.IsString() ? p->source.As<Str>()->chars : nullptr, line,
                   p->name.IsString() ? p->name.As<Str>()->chars : nullptr);
    } else if (!debugHook.IsNull()) {
        Value args[5] = {rootTable, Value::Int(type), p->source, Value::Int(line), p->name};
        Value hook = debugHook;
        try {
            CallWith(hook, args, 5, false);
        } catch (ScriptError &) {
        } catch (std::bad_alloc &) {
        } catch (std::length_error &) {
        }
    }
}

SQRESULT Fiber::Suspend()
{
    if (suspended) {
        lastError = rt->String("cannot suspend an already suspended vm");
        return SQ_ERROR;
    }
    // Only a native called straight from script code, with nothing else of this fiber's
    // on the C stack (its frame is the last one), may suspend.
    const int depth = nativeDepth + (!frames.empty() && frames.back().uncounted ? 1 : 0);
    if (depth != 2 || frames.empty() || !frames.back().direct) {
        lastError = rt->String("cannot suspend through native calls/metamethods");
        return SQ_ERROR;
    }
    return kSuspendSignal;
}

// Generators

Value Fiber::MakeGenerator(Closure *c, uint32_t fbase)
{
    Proto *p = c->proto;
    Generator *g = Generator::New(rt, c);
    Value hold = Value::Ref(Kind::Generator, g);
    g->saved.resize(p->maxStack);
    Value self = stack[fbase];
    g->saved[0] = self.IsRef() ? Value::Ref(Kind::WeakRef, GetWeakRef(self)) : self;
    uint32_t nparams = static_cast<uint32_t>(p->params.size());
    for (uint32_t i = 1; i < nparams && i < p->maxStack; i++) g->saved[i] = stack[fbase + i];
    g->pc = p->code.data();
    return hold;
}

RunStatus Fiber::ResumeGenerator(Generator *g, Value &out)
{
    CheckResumable(g);
    CountCaller caller(rt);
    if (nativeDepth + 1 > kMaxNativeDepth || CStackLow()) Throw("Native stack overflow");
    PushGeneratorFrame(g, -1, true);
    return Execute(false, out);
}

void Fiber::CheckResumable(Generator *g)
{
    if (g->state == Generator::State::Dead) Throw("resuming dead generator");
    if (g->state == Generator::State::Running) Throw("resuming active generator");
}

void Fiber::PushGeneratorFrame(Generator *g, int32_t retSlot, bool entry)
{
    Closure *c = g->closure.As<Closure>();
    Proto *p = c->proto;
    uint32_t fbase = top + 1;
    EnsureSlots(fbase + p->maxStack);
    // The slot below the frame holds the generator while it runs: whatever resumed it may
    // drop its own reference meanwhile. The frame's pop releases it.
    stack[fbase - 1] = Value::Ref(Kind::Generator, g);
    Frame f;
    f.pc = g->pc;
    f.callee = g->closure;
    f.gen = g;
    f.base = fbase;
    f.top = fbase + p->maxStack;
    f.savedTop = top;
    f.retSlot = retSlot;
    f.entry = entry;
    frames.push_back(std::move(f));
    uint32_t frameIndex = static_cast<uint32_t>(frames.size() - 1);
    base = fbase;
    top = fbase + p->maxStack;
    size_t n = g->saved.size();
    stack[fbase] = Deref(g->saved[0]);
    for (size_t i = 1; i < n; i++) stack[fbase + i] = std::move(g->saved[i]);
    g->saved.clear();
    // Captures of the saved registers move back onto the stack; they sit above every
    // other open capture, so they go first in the list.
    if (Upvalue *u = g->openUps) {
        Upvalue *last = nullptr;
        for (; u; u = u->nextOpen) {
            u->slot += fbase;
            u->loc = &stack[u->slot];
            last = u;
        }
        last->nextOpen = openUps;
        openUps = g->openUps;
        g->openUps = nullptr;
    }
    for (Trap t : g->traps) {
        t.frame = frameIndex;
        traps.push_back(t);
    }
    g->traps.clear();
    g->state = Generator::State::Running;
    if (hooksOn) CallDebugHook('c', 0);
}

void Fiber::YieldFrame()
{
    Frame &f = frames.back();
    Generator *g = f.gen;
    uint32_t fbase = f.base;
    uint32_t n = f.top - fbase;
    g->saved.resize(n);
    Value self = stack[fbase];
    g->saved[0] = self.IsRef() ? Value::Ref(Kind::WeakRef, GetWeakRef(self)) : self;
    for (uint32_t i = 1; i < n; i++) g->saved[i] = std::move(stack[fbase + i]);
    // Captures of this frame's registers follow the registers into the generator.
    Upvalue **pp = &openUps;
    Upvalue *mine = nullptr, **tail = &mine;
    while (*pp) {
        Upvalue *u = *pp;
        if (u->slot >= fbase && u->slot < fbase + n) {
            *pp = u->nextOpen;
            u->slot -= fbase;
            u->loc = &g->saved[u->slot];
            u->nextOpen = nullptr;
            *tail = u;
            tail = &u->nextOpen;
        } else {
            pp = &u->nextOpen;
        }
    }
    g->openUps = mine;
    uint32_t frameIndex = static_cast<uint32_t>(frames.size() - 1);
    size_t keep = traps.size();
    while (keep > 0 && traps[keep - 1].frame == frameIndex) keep--;
    g->traps.assign(traps.begin() + static_cast<long>(keep), traps.end());
    traps.resize(keep);
    g->pc = f.pc;
    g->state = Generator::State::Suspended;
    PopFrame();
}

} // namespace nut
