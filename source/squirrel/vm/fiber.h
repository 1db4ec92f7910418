// A thread of execution: a value stack, a call stack and exception traps. Each VM handle
// (HSQUIRRELVM) is a fiber; threads made with newthread share their creator's runtime.
//
// Errors inside the VM are C++ exceptions (ScriptError) thrown after `lastError` is set.
// They unwind to the nearest exception trap of the current interpreter entry, or leave
// the entry; the C API turns them into SQ_ERROR. Natives never see them.
#pragma once

#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "function.h"
#include "../compiler/opcodes.h"
#include "runtime.h"

namespace nut {

struct ScriptError {};

// The order of two floats: 0 when their bits are the same, -1 when a < b, else 1. So -0.0
// and 0.0 are each above the other, and NaN is above everything but itself.
inline SQInteger FloatOrder(const Value &a, const Value &b)
{
    return a.Bits() == b.Bits() ? 0 : (a.AsFloat() < b.AsFloat() ? -1 : 1);
}

// A number as a double, which holds every integer and float value exactly.
inline double ExactNumber(const Value &v)
{
    return v.IsInt() ? static_cast<double>(v.AsInt()) : static_cast<double>(v.AsFloat());
}

// The order of an integer and a float (or any two numbers) as mathematical values: 0 when
// equal, -1 when a < b, else 1 (so NaN is above everything).
inline SQInteger MixedOrder(const Value &a, const Value &b)
{
    const double x = ExactNumber(a), y = ExactNumber(b);
    return x == y ? 0 : (x < y ? -1 : 1);
}

// Releases the references held in slots [s, e), a finished frame's. The first slot is
// `this`, most often a reference; the rest mostly hold plain values, so their kinds are
// ORed together first (plain kinds OR to a plain kind: none is above UserPointer) and
// only looked at one by one when one of them may be a reference.
static_assert(static_cast<int>(Kind::Null) == 0 && static_cast<int>(Kind::UserPointer) == 4 &&
                  !IsRefKind(Kind::UserPointer) && IsRefKind(static_cast<Kind>(5)),
              "the plain kinds are 0..4, and OR to one of 0..7 below every reference but String");
[[gnu::always_inline]] inline void ReleaseSlots(Value *s, Value *e)
{
    if (s >= e) return;
    if (s->IsRef()) s->SetNull();
    s++;
    uint8_t any = 0; // a byte, so that each slot costs one OR from memory
#define NUT_KIND_OR(n) any |= static_cast<uint8_t>(s[n].kind());
    switch (e - s) {
    case 15: NUT_KIND_OR(14) [[fallthrough]];
    case 14: NUT_KIND_OR(13) [[fallthrough]];
    case 13: NUT_KIND_OR(12) [[fallthrough]];
    case 12: NUT_KIND_OR(11) [[fallthrough]];
    case 11: NUT_KIND_OR(10) [[fallthrough]];
    case 10: NUT_KIND_OR(9) [[fallthrough]];
    case 9: NUT_KIND_OR(8) [[fallthrough]];
    case 8: NUT_KIND_OR(7) [[fallthrough]];
    case 7: NUT_KIND_OR(6) [[fallthrough]];
    case 6: NUT_KIND_OR(5) [[fallthrough]];
    case 5: NUT_KIND_OR(4) [[fallthrough]];
    case 4: NUT_KIND_OR(3) [[fallthrough]];
    case 3: NUT_KIND_OR(2) [[fallthrough]];
    case 2: NUT_KIND_OR(1) [[fallthrough]];
    case 1: NUT_KIND_OR(0) [[fallthrough]];
    case 0: break;
    default: any = 0xFF; // a large frame: every slot is looked at
    }
#undef NUT_KIND_OR
    if (any > static_cast<uint8_t>(Kind::UserPointer)) [[unlikely]]
        for (; s < e; s++)
            if (s->IsRef()) s->SetNull();
}

constexpr int kMaxNativeDepth = 100; // interpreter entries and native calls per thread
constexpr uint32_t kStackHeadroom = 16;   // free slots guaranteed above a frame
constexpr uint32_t kMaxStackSlots = 1u << 22;
// Slots the error handler may use above kMaxStackSlots: the error it reports may be the
// overflow that filled the stack, and its report (call stack included) must still run.
constexpr uint32_t kErrorHandlerSlots = 4096;
constexpr SQInteger kSuspendSignal = -0x5355; // what sq_suspendvm returns to its native

struct Frame {
    const uint32_t *pc = nullptr; // next instruction (script frames)
    Value callee;                 // the closure or native closure running
    Generator *gen = nullptr;     // running generator, if any
    uint32_t base;                // stack slot of R[0], `this`
    uint32_t top;                 // stack top while this frame runs
    uint32_t savedTop;            // the stack top to restore when the frame goes
    int32_t retSlot = -1;         // stack slot for the result; -1 discards it
    uint32_t tailcalls = 0;
    bool entry = false;  // first frame of an interpreter entry: returning from it leaves Execute
    bool native = false;
    bool direct = false; // a native called straight from script code: the one kind that may suspend
    bool uncounted = false; // a native left out of the depth counts until it calls back into the VM

    Frame() : base(0), top(0), savedTop(0) {}
    // A script frame called from the interpreter loop, taking a reference already added
    // to `c`.
    Frame(Closure *c, const uint32_t *code, uint32_t fbase, uint32_t ftop, uint32_t saved, int32_t ret)
        : pc(code), callee(Value::Adopt(Kind::Closure, c)), base(fbase), top(ftop), savedTop(saved), retSlot(ret)
    {
    }
    // The frame of a native called from script code (direct, uncounted), taking the
    // reference in `calleeSlot`. Base and tops are the pusher's to set, at once: written
    // once each, as natives push a frame on every call.
    struct FromScript {};
    Frame(FromScript, Value &calleeSlot)
        : callee(std::move(calleeSlot)), native(true), direct(true), uncounted(true)
    {
    }
};

// The call stack: a vector of frames whose room the interpreter's call checks once
// (HasRoom) before pushing without another check (PushChecked). Growing moves the frames,
// so a Frame reference does not outlive a push.
class FrameStack
{
public:
    FrameStack() = default;
    FrameStack(const FrameStack &) = delete;
    FrameStack &operator=(const FrameStack &) = delete;
    ~FrameStack()
    {
        clear();
        ::operator delete(data_);
    }

    size_t size() const { return static_cast<size_t>(end_ - data_); }
    size_t capacity() const { return static_cast<size_t>(cap_ - data_); }
    bool empty() const { return end_ == data_; }
    bool HasRoom() const { return end_ != cap_; }
    Frame &back() { return end_[-1]; }
    const Frame &back() const { return end_[-1]; }
    Frame &operator[](size_t i) { return data_[i]; }
    const Frame &operator[](size_t i) const { return data_[i]; }
    Frame *begin() { return data_; }
    Frame *end() { return end_; }
    const Frame *begin() const { return data_; }
    const Frame *end() const { return end_; }

    template <typename... Args> Frame &emplace_back(Args &&...args)
    {
        if (end_ == cap_) Grow();
        return PushChecked(std::forward<Args>(args)...);
    }
    void push_back(Frame &&f) { emplace_back(std::move(f)); }
    // Pushes where HasRoom() said there is room.
    template <typename... Args> Frame &PushChecked(Args &&...args)
    {
        Frame *f = new (end_) Frame(std::forward<Args>(args)...);
        end_++;
        return *f;
    }
    void pop_back() { (--end_)->~Frame(); }
    void clear()
    {
        while (end_ != data_) pop_back();
    }
    void reserve(size_t n)
    {
        if (n > capacity()) Reallocate(n);
    }

private:
    void Grow() { Reallocate(capacity() ? capacity() * 2 : 16); }
    void Reallocate(size_t n)
    {
        Frame *fresh = static_cast<Frame *>(::operator new(n * sizeof(Frame)));
        Frame *out = fresh;
        for (Frame *f = data_; f != end_; f++, out++) {
            new (out) Frame(std::move(*f));
            f->~Frame();
        }
        ::operator delete(data_);
        data_ = fresh;
        end_ = out;
        cap_ = fresh + n;
    }

    Frame *data_ = nullptr;
    Frame *end_ = nullptr;
    Frame *cap_ = nullptr;
};

enum class RunStatus { Returned, Yielded, Suspended };

struct Fiber : GcObject {
    static Fiber *New(Runtime *rt, Fiber *parent, SQInteger stackSize);
    Fiber() = default;
    Fiber(const Fiber &) = delete;
    Fiber &operator=(const Fiber &) = delete;
    ~Fiber() { delete[] stack; }

    // Errors
    [[noreturn]] void Throw(const char *fmt, ...);
    [[noreturn]] void ThrowValue(const Value &err);
    [[noreturn]] void ThrowIndexError(const Value &key);
    [[noreturn]] void ThrowCompareError(const Value &a, const Value &b);
    [[noreturn]] void ThrowParamType(SQInteger param, SQInteger mask, Kind actual);
    Value Describe(const Value &v); // a value as error messages quote it

    // Stack
    void EnsureStack(uint32_t slotsAboveTop);
    void Push(const Value &v) { stack[top++] = v; }
    void PushChecked(const Value &v)
    {
        if (top + kStackHeadroom >= stackSize) EnsureStack(kStackHeadroom);
        stack[top++] = v;
    }
    void Pop(uint32_t n = 1)
    {
        while (n--) stack[--top].SetNull();
    }
    Value &At(uint32_t slot) { return stack[slot]; }

    // Calls: the callee at stack[func], `this` and the arguments right above it.
    RunStatus Invoke(uint32_t func, uint32_t nargs, bool raiseError, Value &out);
    Value Invoke(uint32_t func, uint32_t nargs, bool raiseError)
    {
        Value out;
        Invoke(func, nargs, raiseError, out);
        return out;
    }
    // Calls `fn` with copies of `args` (this first) pushed on top of the stack.
    Value CallWith(const Value &fn, const Value *args, uint32_t nargs, bool raiseError);
    // The same with `self` as `this` and `args` after it.
    Value CallWithThis(const Value &fn, const Value &self, const Value *args, uint32_t nargs, bool raiseError);
    Value CallWithThis2(const Value &fn, const Value &self, const Value &x, const Value &y, bool raiseError)
    {
        EnsureSlots(top + 3);
        const uint32_t f = top;
        stack[f] = fn;
        stack[f + 1] = self;
        stack[f + 2] = x;
        stack[f + 3] = y;
        top = f + 4;
        return CallPushed(f, 3, raiseError);
    }
    // Calls the callee at stack[func] with the `nargs` values above it (this first), all
    // pushed by the caller, and pops them again.
    Value CallPushed(uint32_t func, uint32_t nargs, bool raiseError);
    Value CallMeta(const Value &fn, const Value *args, uint32_t nargs) { return CallWith(fn, args, nargs, false); }
    RunStatus Execute(bool raiseError, Value &out, bool throwFirst = false);
    // An interpreter entry's count, and the runtime's running thread, for its duration.
    struct EntryDepth {
        Fiber *self;
        Fiber *outer;
        explicit EntryDepth(Fiber *f) : self(f), outer(f->rt->running)
        {
            self->nativeDepth++;
            self->rt->running = self;
            // A call from the host starts clear of stop requests made before it.
            if (!outer && self->rt->stopRequested.load(std::memory_order_relaxed)) [[unlikely]]
                self->rt->DropStopRequest();
        }
        ~EntryDepth()
        {
            self->nativeDepth--;
            self->rt->running = outer;
        }
        EntryDepth(const EntryDepth &) = delete;
        EntryDepth &operator=(const EntryDepth &) = delete;
    };
    RunStatus RunLoop(Value &out);
    // The table lookups of constant keys in the loop, through the function's KeyCache.
    Table::Node *CachedFind(Table *t, uint32_t c, const Value *K, KeyCache *&kc);
    Table::Node *CachedFindSlow(Proto *p, Table *t, uint32_t c, const Value *K);
    Table *DelegateTable(Kind k);
    // Returns false when `c` is a generator function: `out` then holds the new generator.
    // Pushes the frame of script closure `c` whose `this` is stack[fbase] (its arguments
    // in place, room made) and makes it the running one.
    void PushClosureFrame(Closure *c, uint32_t fbase, int32_t retSlot, bool entry)
    {
        Proto *p = c->proto;
        Frame &f = frames.emplace_back(c, p->code.data(), fbase, fbase + p->maxStack, top, retSlot);
        c->refs++; // the frame's, once the push cannot fail
        f.entry = entry;
        base = fbase;
        top = f.top;
    }
    bool PushScriptFrame(Closure *c, uint32_t func, uint32_t nargs, int32_t retSlot, bool entry, bool tailcall,
                         Value &out);
    Value CallNative(NativeClosure *nc, uint32_t func, uint32_t nargs, bool direct, bool &suspend);
    // The parts of CallNative's native call: the frame for `nc` with its `nargs` values
    // from `fbase` (checks done, room made; `direct` when script code makes the call),
    // the call itself with the depth counts (the frame popped again if the native
    // throws), and the frame's removal (PopNativeFrame, shared with the interpreter's
    // own native call below).
    void PushNativeFrame(NativeClosure *nc, uint32_t fbase, uint32_t nargs, bool direct)
    {
        Frame &f = frames.emplace_back();
        f.callee = Value::Ref(Kind::NativeClosure, nc);
        f.base = fbase;
        f.top = fbase + nargs;
        f.savedTop = top;
        f.native = true;
        f.direct = direct;
        base = fbase;
        top = fbase + nargs;
    }
    SQInteger RunNative(NativeClosure *nc);
    // PushNativeFrame for the interpreter's own native call (direct, uncounted): the
    // frame takes the caller's reference to the native out of the register below the
    // arguments (stack[fbase - 1]) instead of adding one. That register is the call's
    // own temporary, which the caller never reads again (the result goes there when it
    // is kept), so the native's count is not raised and dropped on every call.
    void PushNativeFrameFromScript(uint32_t fbase, uint32_t nargs)
    {
        Frame &f = frames.emplace_back(Frame::FromScript{}, stack[fbase - 1]);
        f.base = fbase;
        f.top = fbase + nargs;
        f.savedTop = top;
        base = fbase;
        top = fbase + nargs;
    }
    // The interpreter's own native call: the frame is pushed `uncounted`, and popped again
    // if the native throws.
    SQInteger RunUncountedNative(NativeClosure *nc);
    // Counts the native of the innermost interpreter entry, when it runs uncounted, for as
    // long as the VM is entered again from inside it (every path back in passes here
    // before it checks or adds to the depth counts). Its frame stays where it is until the
    // native returns, which is after this.
    struct CountCaller {
        Fiber *native = nullptr;
        size_t frame = 0;
        explicit CountCaller(Runtime *rt)
        {
            Fiber *r = rt->running;
            if (r && !r->frames.empty() && r->frames.back().uncounted) [[unlikely]] {
                native = r;
                frame = r->frames.size() - 1;
                r->frames.back().uncounted = false;
                r->nativeDepth++;
            }
        }
        ~CountCaller()
        {
            if (native) {
                native->frames[frame].uncounted = true;
                native->nativeDepth--;
            }
        }
        CountCaller(const CountCaller &) = delete;
        CountCaller &operator=(const CountCaller &) = delete;
    };
    void PopNativeFrame();
    // PopNativeFrame when nothing above the caller's window needs dropping: the frame
    // goes and the caller's base and top come back. Forced inline, as the interpreter
    // loop is too large for the compiler to inline the vector's own pop there.
    [[gnu::always_inline]] void DropNativeFrame(uint32_t callerBase, uint32_t callerTop)
    {
        frames.pop_back();
        base = callerBase;
        top = callerTop;
    }
    void PopFrame();
    void CloseUpvalues(uint32_t slot);
    Value FindUpvalue(uint32_t slot);
    Value MakeGenerator(Closure *c, uint32_t base);
    // Resumes `g` in an interpreter entry of its own (the C API's resume).
    RunStatus ResumeGenerator(Generator *g, Value &out);
    void CheckResumable(Generator *g);
    // The frame that runs `g` on: from the interpreter loop (not an entry) its yield or
    // return stores the value in `retSlot` and the loop goes on with the resumer's frame.
    void PushGeneratorFrame(Generator *g, int32_t retSlot, bool entry);
    void YieldFrame();
    bool CatchError(uint32_t entryFrame);
    uint32_t EntryFrameIndex() const;
    // Grows the stack so slot `end` has headroom above it; every call passes here.
    void EnsureSlots(uint32_t end)
    {
        if (end + kStackHeadroom > stackSize) GrowSlots(end);
    }
    void GrowSlots(uint32_t end);
    void ResizeSlots(uint32_t size);
    void CallErrorHandler(const Value &err);
    void CallDebugHook(SQInteger type, SQInteger line);
    void TakeStep()
    {
        if (rt->stopRequested.load(std::memory_order_relaxed)) [[unlikely]] {
            // A request before anything runs (a host call setting up its first frame) is
            // dropped: it was made while no script ran.
            if (rt->running) Throw("script stopped: the run is ending");
            rt->DropStopRequest();
        }
        const int64_t left = rt->stepsLeft;
        if (left < 0) return; // no budget: the request dropped above armed the check
        if (left == kStopMark) [[unlikely]] {
            // Left by a request already dropped, or armed by one made just now.
            if (!rt->stopRequested.load()) rt->DropStopRequest();
            return;
        }
        if (left == 0) Throw("step limit reached");
        rt->stepsLeft = left - 1;
    }
    SQRESULT Suspend();

    // Value semantics
    bool TryGet(const Value &obj, const Value &key, Value &out, bool raw);
    Value Get(const Value &obj, const Value &key, bool implicitThis);
    void Set(const Value &obj, const Value &key, const Value &val, bool implicitThis);
    void NewSlot(const Value &obj, const Value &key, const Value &val, bool isStatic);
    void NewMember(const Value &cls, const Value &key, const Value &val, const Value &attrs, bool isStatic, bool raw);
    Value Delete(const Value &obj, const Value &key);
    Value Arith(char op, const Value &a, const Value &b);
    Value Negate(const Value &a);
    Value BitOp(OpCode op, const Value &a, const Value &b);
    SQInteger Compare(const Value &a, const Value &b);
    static bool Equal(const Value &a, const Value &b);
    Value ToString(const Value &v);
    Value TypeOf(const Value &v);
    Value Clone(const Value &v);
    bool InOperator(const Value &key, const Value &container);
    // One foreach step; false at the end.
    bool ForeachStep(const Value &container, Value &key, Value &val, Value &iter);
    bool GetMetaMethod(const Value &obj, MetaMethod mm, Value &fn);
    Value MakeClosure(Proto *p, Closure *enclosing, uint32_t base);
    Value NewClass(const Value *base, const Value &attrs);
    void Clear();

    Value *stack = nullptr;
    uint32_t stackSize = 0;
    uint32_t top = 0;  // first free slot
    uint32_t base = 0; // R[0] of the current frame: API index 1
    FrameStack frames;
    std::vector<Trap> traps;
    Upvalue *openUps = nullptr;

    Value rootTable;
    Value lastError;
    Value errorHandler;
    Value debugHook;
    SQDEBUGHOOK nativeHook = nullptr;
    bool hooksOn = false;
    bool inHook = false;
    SQUserPointer foreign = nullptr;
    SQRELEASEHOOK releaseHook = nullptr;

    // Interpreter entries and counted native calls of this thread on the C stack. A native
    // called straight from script code counts only while it calls back into the VM
    // (CountCaller): until then nothing can nest inside it. Threads run on the C stack of
    // whoever calls them, so this count bounds each thread's own nesting only; the C stack
    // left (CStackLow) bounds them all together.
    int nativeDepth = 0;
    bool suspended = false;
    int32_t suspendRetSlot = -1; // where the suspended call's result goes on wakeup
    bool inErrorHandler = false; // the stack may grow into the handler's reserve
};

} // namespace nut

// The public handle type is the fiber itself.
struct SQVM final : nut::Fiber {
};

namespace nut {

inline SQInteger Fiber::RunNative(NativeClosure *nc)
{
    nativeDepth++;
    struct Leave {
        Fiber *self;
        void operator()() const
        {
            self->nativeDepth--;
        }
    } leave{this};
    SQInteger r;
    try {
        r = nc->fn(static_cast<SQVM *>(this));
    } catch (ScriptError &) {
        // The library's own natives may raise straight through.
        leave();
        PopFrame();
        throw;
    } catch (std::bad_alloc &) {
        leave();
        PopFrame();
        Throw("out of memory");
    } catch (std::length_error &) {
        leave();
        PopFrame();
        Throw("out of memory");
    }
    leave();
    return r;
}

inline SQInteger Fiber::RunUncountedNative(NativeClosure *nc)
{
    try {
        return nc->fn(static_cast<SQVM *>(this));
    } catch (ScriptError &) {
        // The library's own natives may raise straight through.
        PopFrame();
        throw;
    } catch (std::bad_alloc &) {
        PopFrame();
        Throw("out of memory");
    } catch (std::length_error &) {
        PopFrame();
        Throw("out of memory");
    }
}

// PopFrame for a native's frame: natives own no exception traps, and the captures of
// anything they called are closed already.
inline void Fiber::PopNativeFrame()
{
    Frame &f = frames.back();
    const uint32_t fbase = f.base;
    const uint32_t ftop = top > f.top ? top : f.top;
    const uint32_t restore = f.savedTop;
    if (openUps && openUps->slot >= fbase) [[unlikely]] CloseUpvalues(fbase);
    frames.pop_back();
    ReleaseSlots(stack + (fbase > restore ? fbase : restore), stack + (ftop < stackSize ? ftop : stackSize));
    base = frames.empty() ? 0 : frames.back().base;
    top = restore;
}

} // namespace nut
