// State shared by a VM and its threads: interned strings, the tables every thread sees,
// default delegates, host hooks, and the list of collectable objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "classes.h"
#include "strings.h"

namespace nut {

struct Fiber;
class HeldValue;

struct HostRef {
    Value value;
    SQUnsignedInteger count = 0;
};

// The step budget, an atomic so that a stop request may set it from another thread. Its
// reads are relaxed: they cost what reading a plain integer costs.
class StepBudget {
public:
    operator int64_t() const { return value.load(std::memory_order_relaxed); }
    StepBudget &operator=(int64_t steps)
    {
        value.store(steps, std::memory_order_relaxed);
        return *this;
    }
    bool Exchange(int64_t expected, int64_t desired) { return value.compare_exchange_strong(expected, desired); }

private:
    std::atomic<int64_t> value{-1};
};

// What a stop request puts in an unbudgeted runtime's step budget: any value the budget
// check sees as a budget, so the next step looks at the request. Never a real budget.
constexpr int64_t kStopMark = INT64_MAX;

struct Runtime {
    Runtime();
    ~Runtime();
    Runtime(const Runtime &) = delete;
    Runtime &operator=(const Runtime &) = delete;

    Value String(const char *s, SQInteger len = -1) { return MakeString(this, s, len); }
    // Frees everything the roots no longer reach; returns how many objects went.
    SQInteger CollectGarbage();
    // The unreachable objects in an array (null if none), without freeing them.
    Value Unreachable();
    // Frees every object, roots included: the state is unusable afterwards.
    void Shutdown();

    StringSet strings;
    GcObject *gcList = nullptr;
    std::vector<Object *> dying; // objects whose last reference went, freed iteratively
    bool freeing = false;

    Value registry;
    Value consts;
    Value mainFiber;
    Value delegates[kKindCount]; // default delegate table per kind (some kinds share)
    Value metaNames[MM_COUNT];
    Value ctorName;
    std::unordered_map<Object *, HostRef> hostRefs;

    SQCOMPILERERROR compilerErrorHandler = nullptr;
    SQPRINTFUNCTION printFn = nullptr;
    SQPRINTFUNCTION errorFn = nullptr;
    bool debugInfo = false;
    bool notifyAllExceptions = false;
    SQUserPointer foreign = nullptr;
    SQRELEASEHOOK releaseHook = nullptr;
    std::vector<char> scratch;
    // The thread of the innermost interpreter entry; null when none runs.
    Fiber *running = nullptr;
    // Execution budget for untrusted scripts (tests, fuzzing), -1 for none: when not
    // negative (and below kStopMark), every backward jump and script call takes one step, and at zero the
    // script raises "step limit reached" (again at each further step, so no loop outlives
    // it).
    StepBudget stepsLeft;
    // A host's request to stop the running script (sq_requeststop), from any thread. It
    // rides on the budget check: without a budget it sets the budget to kStopMark, so the
    // next step looks at it. Every step then raises the stop error until the next call
    // from the host begins, which drops what is left of it.
    std::atomic<bool> stopRequested{false};
    void RequestStop()
    {
        stopRequested.store(true);
        stepsLeft.Exchange(-1, kStopMark);
    }
    // Withdraws a request (VM thread only); a request made meanwhile stays armed.
    void DropStopRequest()
    {
        stopRequested.store(false);
        stepsLeft.Exchange(kStopMark, -1);
        if (stopRequested.load()) stepsLeft.Exchange(-1, kStopMark);
    }
    // Hands out table layout numbers (Table::layout): never the same twice in a runtime.
    uint64_t layoutClock = 0;
    // The innermost value native code holds across a call back into scripts (HeldValue).
    HeldValue *held = nullptr;

private:
    void MarkRoots(std::vector<GcObject *> &gray);
};

// A value that native code keeps across a call back into scripts where no stack slot or
// other root holds it (a result being filled, an item it reads again): the collector marks
// it as a root for as long as it lives, so a collection inside the call leaves it whole.
// They live on the C stack, so they come and go in order: each one is the innermost while
// it lives.
class HeldValue {
public:
    explicit HeldValue(Runtime *rt, const Value &v = Value()) : value(v), rt_(rt), outer_(rt->held) { rt->held = this; }
    ~HeldValue() { rt_->held = outer_; }
    HeldValue(const HeldValue &) = delete;
    HeldValue &operator=(const HeldValue &) = delete;
    HeldValue *Outer() const { return outer_; }

    Value value;

private:
    Runtime *rt_;
    HeldValue *outer_;
};

// Frees an object whose count reached zero. Frees run one at a time from a queue, so
// releasing a long chain of objects never recurses.
void FreeObject(Object *o);

// Drops every reference an object holds (cycle breaking, shutdown).
void ClearObject(GcObject *o);

// Pushes the collectable objects `o` references onto `gray`.
void MarkChildren(GcObject *o, std::vector<GcObject *> &gray);

void MarkValue(const Value &v, std::vector<GcObject *> &gray);

} // namespace nut
