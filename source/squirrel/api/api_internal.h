// Helpers shared by the C API and the libraries written against the VM internals:
// value conversion between the public SQObject and the VM's Value, and stack access.
#pragma once

#include "../vm/fiber.h"

namespace nut {

SQObjectType ApiType(Kind k);
SQObject ToApi(const Value &v);
Value FromApi(const SQObject &o);

inline Fiber *F(HSQUIRRELVM v) { return v; }

// Where out-of-range stack indices read and write (see StackAt).
extern Value stackScratch;

// The value at a stack index: positive from the frame base (1 = `this` in a native),
// negative from the top. Out-of-range indices read as null and ignore writes. Inline:
// every argument a native reads goes through it.
inline Value &StackAt(HSQUIRRELVM v, SQInteger idx)
{
    int64_t slot = idx > 0 ? static_cast<int64_t>(v->base) + idx - 1 : static_cast<int64_t>(v->top) + idx;
    if (idx == 0 || slot < 0 || slot >= static_cast<int64_t>(v->top)) [[unlikely]] {
        stackScratch.SetNull();
        return stackScratch;
    }
    return v->stack[slot];
}

SQRESULT ThrowApiError(HSQUIRRELVM v, const char *fmt, ...);
// Raises "wrong argument type" for a value that is not of kind k; always false.
bool WrongType(HSQUIRRELVM v, Kind k, const Value &found);
// The check used by the typed getters; inline for the common, matching case.
inline bool CheckType(HSQUIRRELVM v, SQInteger idx, Kind k, Value *&out)
{
    out = &StackAt(v, idx);
    return out->kind() == k || WrongType(v, k, *out);
}

void RegisterBaseLib(HSQUIRRELVM v);
// Parses a parameter type mask ("t|a s n"); false when it is malformed.
bool CompileTypeMask(const char *typemask, std::vector<SQInteger> &masks);
// A named native closure with its parameter checks.
NativeClosure *MakeNative(Runtime *rt, const SQRegFunction &def);

} // namespace nut
