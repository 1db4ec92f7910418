// Helpers shared by the C API and the libraries written against the VM internals:
// value conversion between the public SQObject and the VM's Value, and stack access.
#pragma once

#include "../vm/fiber.h"

namespace nut {

SQObjectType ApiType(Kind k);
SQObject ToApi(const Value &v);
Value FromApi(const SQObject &o);

inline Fiber *F(HSQUIRRELVM v) { return v; }

// The value at a stack index: positive from the frame base (1 = `this` in a native),
// negative from the top. Out-of-range indices read as null and ignore writes.
Value &StackAt(HSQUIRRELVM v, SQInteger idx);

SQRESULT ThrowApiError(HSQUIRRELVM v, const char *fmt, ...);
// "wrong argument type" check used by the typed getters.
bool CheckType(HSQUIRRELVM v, SQInteger idx, Kind k, Value *&out);

void RegisterBaseLib(HSQUIRRELVM v);
// Parses a parameter type mask ("t|a s n"); false when it is malformed.
bool CompileTypeMask(const char *typemask, std::vector<SQInteger> &masks);
// A named native closure with its parameter checks.
NativeClosure *MakeNative(Runtime *rt, const SQRegFunction &def);

} // namespace nut
