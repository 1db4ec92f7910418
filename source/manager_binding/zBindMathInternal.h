#pragma once

// Shared by the three math classes and the math functions; not for other families.

#include <squirrel.h>

#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindMath.h"

// An instance's block holds its value and, after it, one byte that says the
// value was made: the constructor, "_cloned" and the result makers set it. The
// VM fills a new block with zeros, so an instance made without its
// constructor (a class's instance(), a derived class whose constructor skips
// the base one) is refused as one without storage is. A value a caller
// attached with its own release hook lives elsewhere and counts as made.

// Registers the class through the frame, then sizes its instances to hold
// valueSize bytes of native value each, and the mark.
bool SqRegisterMathClass(HSQUIRRELVM v, const SqClassDesc& cls, SQInteger valueSize);

enum class zSqFetch { Ok, WrongType, NoStorage };

// The user pointer of the instance at idx if it carries the tag itself or
// through a base class and holds a made value; NoStorage without one.
zSqFetch SqFetchInstance(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void** out);
// The same for the instance a constructor or "_cloned" fills: its value need
// not be made yet. SqMarkInstanceMade once it is filled.
zSqFetch SqFetchInstanceToFill(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void** out);
void SqMarkInstanceMade(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void* value);

// Pushes a new instance of the native class with that tag and copies size
// bytes of value into its storage. The class is taken from the instance at
// stack index 1 when that is exactly of this class (no lookup), else from the
// root table's slot `name`, which must be the native class; false with
// nothing pushed otherwise. Without tidy, the values used to make it may stay
// below the instance: enough for a native's result, which is the top value.
bool SqPushNewInstance(HSQUIRRELVM v, const char* name, SQUserPointer tag, const void* value, size_t size,
                       bool tidy = true);

// A numeric argument; absent or not a number reads as 0.
inline float SqArgFloat(HSQUIRRELVM v, SQInteger idx)
{
    SQFloat f = 0.0f;
    if (idx <= sq_gettop(v))
        sq_getfloat(v, idx, &f);
    return f;
}

inline SQInteger SqInstanceError(HSQUIRRELVM v, zSqFetch fetch)
{
    return sq_throwerror(v, fetch == zSqFetch::NoStorage ? "internal failure" : "invalid instance type");
}

// A native's result: the new instance on top (null when it cannot be made),
// returned as the native's one result.
inline SQInteger SqReturnVector(HSQUIRRELVM v, const zVector& value)
{
    if (!SqPushNewInstance(v, "Vector", kSqVectorTypeTag, &value, sizeof(zVector), false))
        sq_pushnull(v);
    return 1;
}

inline SQInteger SqReturnMatrix3(HSQUIRRELVM v, const zMatrix3& value)
{
    if (!SqPushNewInstance(v, "Matrix3", kSqMatrix3TypeTag, &value, sizeof(zMatrix3), false))
        sq_pushnull(v);
    return 1;
}

inline SQInteger SqReturnMatrix4(HSQUIRRELVM v, const zMatrix4& value)
{
    if (!SqPushNewInstance(v, "Matrix4", kSqMatrix4TypeTag, &value, sizeof(zMatrix4), false))
        sq_pushnull(v);
    return 1;
}
