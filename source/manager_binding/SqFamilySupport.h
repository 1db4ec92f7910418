#pragma once

// Helpers shared by the scene-side families (items, lights, objects, cameras,
// groups, physics, scene): handle fetches that return the suspend result, and
// value pushes and reads.
#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zVector.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindMath.h"

#include <squirrel.h>

// Fetches the handle at idx with its kind into var, or returns the suspend
// result from the calling native function.
#define SQ_FETCH(type, var, idx, kind)                                                                               \
    type* var = nullptr;                                                                                             \
    if (!SqGetSafePtr(v, idx, &var, kind))                                                                           \
        return sq_suspendvm(v)

namespace sqfamily {

inline SQInteger PushVector(HSQUIRRELVM v, const zVector& value)
{
    if (!SqPushNewVector(v, zVector(value.x, value.y, value.z, 1.0f)))
        sq_pushnull(v);
    return 1;
}

inline SQInteger PushVector4(HSQUIRRELVM v, const zVector& value)
{
    if (!SqPushNewVector(v, value))
        sq_pushnull(v);
    return 1;
}

inline SQInteger PushFloat(HSQUIRRELVM v, float value)
{
    sq_pushfloat(v, SQFloat(value));
    return 1;
}

inline SQInteger PushInt(HSQUIRRELVM v, SQInteger value)
{
    sq_pushinteger(v, value);
    return 1;
}

inline SQInteger PushBool(HSQUIRRELVM v, bool value)
{
    sq_pushbool(v, value ? SQTrue : SQFalse);
    return 1;
}

inline SQInteger PushHandle(HSQUIRRELVM v, const void* object, int32_t kind)
{
    SqPushSafePtr(v, object, kind);
    return 1;
}

inline float GetFloat(HSQUIRRELVM v, SQInteger idx)
{
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    return float(f);
}

inline SQInteger GetInt(HSQUIRRELVM v, SQInteger idx)
{
    SQInteger i = 0;
    sq_getinteger(v, idx, &i);
    return i;
}

inline bool GetBool(HSQUIRRELVM v, SQInteger idx)
{
    SQBool b = SQFalse;
    sq_getbool(v, idx, &b);
    return b != SQFalse;
}

inline const char* GetString(HSQUIRRELVM v, SQInteger idx)
{
    const SQChar* s = nullptr;
    sq_getstring(v, idx, &s);
    return s;
}

// A vector argument read from its members (w 1).
inline zVector GetVector(HSQUIRRELVM v, SQInteger idx)
{
    zVector out(0.0f, 0.0f, 0.0f, 1.0f);
    SqGetVector(v, idx, out);
    out.w = 1.0f;
    return out;
}

inline zVector GetVector4(HSQUIRRELVM v, SQInteger idx)
{
    zVector out(0.0f, 0.0f, 0.0f, 1.0f);
    SqGetVector(v, idx, out, true);
    return out;
}

inline void RegisterInteger(HSQUIRRELVM v, const char* name, SQInteger value)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

inline void RegisterNullHandle(HSQUIRRELVM v, const char* name, int32_t kind)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    SqPushSafePtr(v, nullptr, kind);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

} // namespace sqfamily

// Reads a Vector, Matrix3 or Matrix4 instance through its class's type tag
// into var, or raises "invalid instance type" from the calling function.
#define SQ_VECTOR_ARG(var, idx)                                                                                      \
    zVector var;                                                                                                     \
    if (const zVector* var##_p = SqGetVectorInstance(v, idx))                                                        \
        var = *var##_p;                                                                                              \
    else                                                                                                             \
        return sq_throwerror(v, "invalid instance type")
#define SQ_MATRIX3_ARG(var, idx)                                                                                     \
    zMatrix3 var;                                                                                                    \
    if (const zMatrix3* var##_p = SqGetMatrix3Instance(v, idx))                                                      \
        var = *var##_p;                                                                                              \
    else                                                                                                             \
        return sq_throwerror(v, "invalid instance type")
#define SQ_MATRIX4_ARG(var, idx)                                                                                     \
    zMatrix4 var;                                                                                                    \
    if (const zMatrix4* var##_p = SqGetMatrix4Instance(v, idx))                                                      \
        var = *var##_p;                                                                                              \
    else                                                                                                             \
        return sq_throwerror(v, "invalid instance type")
