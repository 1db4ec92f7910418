#pragma once

#include "script/SqSafePtr.h"

#include <squirrel.h>

#include <cstdint>

class zVector;
class zMinMax;

// The frame every family of native script functions shares. Functions live in
// the root table, registered once per VM by SqRegisterBindings; a family adds
// its registrar to the list there and registers nothing anywhere else.
//
// Type masks use Squirrel's syntax, one entry per parameter starting with
// `this`: "." any, "x" instance, "t" table, "u" handle, "s" string, "i"
// integer, "f" float, "n" integer or float, "b" bool, "a" array, "|" between
// alternatives. The VM checks them (and the parameter count) before the native
// runs and raises its own error otherwise.
//
// Failure conventions of native functions:
// - handles: SqGetSafePtr with the expected kind; on false return
//   sq_suspendvm(v) (call stack printed, VM suspended, run ends with code 3);
// - a script class that is missing or cannot be made: SqBindingError, which
//   stops all script-unit calls;
// - bad values of the math classes: ordinary script errors (sq_throwerror).

// One method or function: name, native, parameter count (positive exact,
// -n at least n, SQ_MATCHTYPEMASKSTRING: the mask's length) and type mask.
struct SqFunctionDesc {
    const char* name;
    SQFUNCTION function;
    SQInteger paramCount;
    const char* typeMask;
};

// A native class: name, base class name or null, methods closed by an entry
// with a null name. The type tag is typeTag when given, else the descriptor's
// address.
struct SqClassDesc {
    const char* name;
    const char* baseName;
    const SqFunctionDesc* methods;
    SQUserPointer typeTag = nullptr;
};

// A typed constant of a registered table.
struct SqConstantDesc {
    const char* name;
    SQObjectType type; // OT_INTEGER, OT_FLOAT or OT_STRING
    SQInteger integer;
    SQFloat number;
    const char* text;
};

// A table of the root table: functions, constants (both closed by a null name,
// either may be null) and an optional delegate holding more functions.
struct SqTableDesc {
    const char* name;
    const SqFunctionDesc* functions;
    const SqConstantDesc* constants;
    const SqFunctionDesc* delegateFunctions;
};

// The type tags of the math classes "Vector", "Matrix3" and "Matrix4". Their
// registrar sets them through SqClassDesc::typeTag; an instance's user pointer
// is its zVector, zMatrix3 or zMatrix4 storage.
extern const SQUserPointer kSqVectorTypeTag;
extern const SQUserPointer kSqMatrix3TypeTag;
extern const SQUserPointer kSqMatrix4TypeTag;

// The master registrar: base functions, constants, then every family in its
// fixed order. Run once per VM, before any script is loaded.
void SqRegisterBindings(HSQUIRRELVM v);

// Root-table function whose parameter count is the type mask's length.
void SqRegisterFunction(HSQUIRRELVM v, SQFUNCTION function, const char* name, const char* typeMask);
// False, with the stack as before, when the base class is missing or the class
// cannot be made.
bool SqRegisterClass(HSQUIRRELVM v, const SqClassDesc* desc);
bool SqRegisterTable(HSQUIRRELVM v, const SqTableDesc* desc);

// An instance of a root-table class made without running its constructor,
// with the native pointer as its user pointer and the release hook; left on
// the stack. False, with the stack as before, on any failure (the caller
// still owns the pointer then).
bool SqCreateInstanceByName(HSQUIRRELVM v, const char* className, SQUserPointer pointer, SQRELEASEHOOK hook);
// A new instance of a root-table class left on the stack; with construct, the
// class is called with the root table as its only argument. Missing class or
// failing constructor: SqBindingError and false, stack as before.
bool SqNewClassInstance(HSQUIRRELVM v, const char* className, bool construct);

// Clears the master's ok flag (no more script-unit calls), prints the call
// stack with "Binding error: <message>" and returns false.
bool SqBindingError(HSQUIRRELVM v, const char* message);
// True when the value at idx has that type; else "Incorrect argument type." as
// a binding error.
bool SqCheckArgType(HSQUIRRELVM v, SQInteger idx, SQObjectType type);
const char* SqTypeName(SQObjectType type);

// Values of the script classes "Vector" (x, y, z, w), "MinMax" (min, max) and
// "Rect" (sx, sy, ex, ey). Pushes leave one new instance on the stack and
// return false, after a binding error, when it cannot be made. Getters read
// the members of whatever value is at idx (a missing member reads as 0) and
// return false when the value there has no such members.
bool SqPushVector(HSQUIRRELVM v, const zVector& vector, bool withW = false);
bool SqPushVector4(HSQUIRRELVM v, const float values[4]);
bool SqGetVector(HSQUIRRELVM v, SQInteger idx, zVector& out, bool withW = false);
bool SqPushMinMax(HSQUIRRELVM v, const zMinMax& box);
bool SqGetMinMax(HSQUIRRELVM v, SQInteger idx, zMinMax& out);
bool SqPushRect(HSQUIRRELVM v, const int32_t rect[4]);
