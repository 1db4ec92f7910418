// Compiled functions (prototypes), script closures, native closures, captured variables
// and generators.
#pragma once

#include <vector>

#include "object.h"
#include "table.h"

namespace nut {

struct Class;
struct Fiber;

// How a closure finds one captured variable when it is created: a register of the
// enclosing function, or one of the enclosing closure's own captures.
struct UpvalDesc {
    Value name;
    bool inParentRegs;
    uint8_t index;
};

// A named register's lifetime, for stack listings and sq_getlocal.
struct LocalInfo {
    Value name;
    uint32_t startPc; // first instruction where the local holds its value
    uint32_t endPc;   // first instruction after its scope
    uint8_t reg;
};

// The node where a table held a constant key, while the table keeps that layout. A
// layout number is the runtime's and never handed out twice (0 never), so it names the
// table as well.
struct KeyCache {
    uint64_t layout = 0;
    Table::Node *node = nullptr;
};

struct Proto : Object {
    std::vector<uint32_t> code;
    std::vector<int32_t> lines; // source line of each instruction
    std::vector<Value> consts;
    std::vector<Value> protos; // nested functions
    std::vector<UpvalDesc> upvals;
    std::vector<LocalInfo> locals; // in the order scopes closed: innermost first
    std::vector<Value> params;     // `this` first; `vargv` last for varargs
    std::vector<uint8_t> defaultRegs; // registers holding each default when the closure is made
    Value name;
    Value source;
    // Per constant, for the instructions that look a constant key up in a table (global
    // functions through `this`, fields): made on first use.
    std::vector<KeyCache> keyCache;
    uint8_t maxStack = 0;
    bool varargs = false;
    bool generator = false;

    SQInteger LineAt(size_t pc) const { return pc < lines.size() ? lines[pc] : (lines.empty() ? 0 : lines.back()); }
    static Proto *New(Runtime *rt);
};

// A captured variable: open while its register is live (`loc` points into a stack),
// closed afterwards (`loc` points at `closed`).
struct Upvalue : GcObject {
    Value *loc;
    Value closed;
    Upvalue *nextOpen = nullptr; // open list of a fiber or generator, highest slot first
    uint32_t slot = 0;           // stack index while open
};

struct Closure : GcObject {
    static Closure *New(Runtime *rt, Proto *p, WeakRef *root);
    Closure *Clone() const;
    Upvalue *Up(size_t i) const { return slots[i].As<Upvalue>(); }
    Value &Default(size_t i) { return slots[nups + i]; }
    void SetRoot(WeakRef *r);
    // Binds `this` of every call to `w` (taking a reference), or to nothing.
    void BindEnv(WeakRef *w);

    Proto *proto;
    // The argument count (`this` included) of a plain call: the proto's parameter count,
    // or ~0 for varargs and generator functions and closures bound to an environment,
    // which take the general path. BindEnv keeps it so.
    uint32_t plainArgs;
    WeakRef *env = nullptr;  // bindenv target, weak
    WeakRef *root = nullptr; // root table when created, weak
    Class *base = nullptr;   // for methods: the class `base` names (strong)
    uint32_t nups;
    uint32_t ndefaults;
    Value slots[1]; // captures, then default parameter values
};

struct NativeClosure : GcObject {
    static NativeClosure *New(Runtime *rt, SQFUNCTION fn, uint32_t nfree);
    NativeClosure *Clone() const;

    // Sets the parameter masks (_RT_ bits, -1 any) and their per-kind form.
    void SetTypeMask(std::vector<SQInteger> masks);
    // True when the `nargs` values from `args` pass the masks.
    bool ArgsMatch(const Value *args, uint32_t nargs) const
    {
        const uint32_t n = nargs < kindMask.size() ? nargs : static_cast<uint32_t>(kindMask.size());
        for (uint32_t i = 0; i < n; i++)
            if (!((kindMask[i] >> static_cast<uint32_t>(args[i].kind())) & 1u)) return false;
        return true;
    }
    // ArgsMatch for the calls from script code, where four values from `args` are always
    // there to read (values past `nargs` meet the all-kinds masks past the list).
    bool ArgsMatchFromScript(const Value *args, uint32_t nargs) const
    {
        if (nargs >= headCount) [[likely]] {
            return (headAllow[0][static_cast<uint32_t>(args[0].kind())] &
                    headAllow[1][static_cast<uint32_t>(args[1].kind())] &
                    headAllow[2][static_cast<uint32_t>(args[2].kind())] &
                    headAllow[3][static_cast<uint32_t>(args[3].kind())]) != 0;
        }
        return ArgsMatch(args, nargs);
    }
    // Sets paramCheck (0 any count, n exactly n, -n at least n) and its range form.
    void SetParamCheck(SQInteger check)
    {
        paramCheck = check;
        const uint32_t least = check < 0 ? 0u - static_cast<uint32_t>(check) : static_cast<uint32_t>(check);
        argsMin = least;
        argsSpan = check > 0 ? 0u : ~0u - least;
    }
    // True when paramCheck lets `nargs` values in (`this` counted).
    bool CountFits(uint32_t nargs) const { return nargs - argsMin <= argsSpan; }

    SQFUNCTION fn;
    SQInteger paramCheck = 0;        // 0 any, n exactly, -n at least; set with SetParamCheck
    uint32_t argsMin = 0;            // paramCheck as a range of counts: argsMin + [0, argsSpan]
    uint32_t argsSpan = ~0u;
    std::vector<SQInteger> typeMask; // per parameter from `this`; -1 any
    // typeMask as one bit per Kind, trailing unchecked parameters left out: what every
    // call tests.
    std::vector<uint32_t> kindMask;
    uint32_t headMask[4] = {~0u, ~0u, ~0u, ~0u}; // the first four of kindMask, all kinds past it
    uint8_t headAllow[4][kKindCount];
    uint32_t headCount = 0; // kindMask's length when headMask holds it all, else ~0u
    Value name;
    WeakRef *env = nullptr;
    uint32_t nfree;
    Value freeVars[1];
};

struct Trap {
    uint32_t frame;    // index of the frame that owns the trap
    uint32_t top;      // stack top to restore (relative to the frame base)
    const uint32_t *handler;
    uint8_t errorReg;
};

struct Generator : GcObject {
    enum class State : uint8_t { Suspended, Running, Dead };
    static Generator *New(Runtime *rt, Closure *c);
    void Kill();

    Value closure;
    std::vector<Value> saved; // the frame's registers while suspended; `this` held weakly
    const uint32_t *pc = nullptr;
    std::vector<Trap> traps; // while suspended: frame field unused, top relative
    Upvalue *openUps = nullptr; // captures of the saved registers, pointing into `saved`
    State state = State::Suspended;
};

// Shared teardown used by freeing and by the cycle collector.
void ClearClosure(Closure *c);
void ClearNativeClosure(NativeClosure *c);
void ClearGenerator(Generator *g);
void CloseGeneratorUpvalues(Generator *g);

} // namespace nut
