#include "manager_binding/SqBinding.h"

#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"
#include "script/zScriptMaster.h"

#include <cstdio>

namespace {

// Distinct addresses serve as the math classes' tags.
const char vectorTag = 0;
const char matrix3Tag = 0;
const char matrix4Tag = 0;

void RegisterClosures(HSQUIRRELVM v, const SqFunctionDesc* functions)
{
    for (const SqFunctionDesc* f = functions; f != nullptr && f->name != nullptr; ++f) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->function, 0);
        sq_setparamscheck(v, f->paramCount, f->typeMask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
}

bool SetFloatMember(HSQUIRRELVM v, SQInteger idx, const char* name, float value)
{
    idx = idx < 0 ? sq_gettop(v) + idx + 1 : idx;
    sq_pushstring(v, name, -1);
    sq_pushfloat(v, value);
    if (SQ_SUCCEEDED(sq_set(v, idx)))
        return true;
    sq_pop(v, 2);
    return false;
}

// Member name of the value at idx as a float; 0 when absent or not a number.
bool GetFloatMember(HSQUIRRELVM v, SQInteger idx, const char* name, float& out)
{
    idx = idx < 0 ? sq_gettop(v) + idx + 1 : idx;
    out = 0.0f;
    sq_pushstring(v, name, -1);
    if (SQ_FAILED(sq_get(v, idx))) {
        sq_pop(v, 1);
        return false;
    }
    SQFloat value = 0.0f;
    if (SQ_SUCCEEDED(sq_getfloat(v, -1, &value)))
        out = value;
    sq_pop(v, 1);
    return true;
}

bool SetVectorMembers(HSQUIRRELVM v, SQInteger idx, float x, float y, float z)
{
    return SetFloatMember(v, idx, "x", x) && SetFloatMember(v, idx, "y", y) && SetFloatMember(v, idx, "z", z);
}

} // namespace

const SQUserPointer kSqVectorTypeTag = const_cast<char*>(&vectorTag);
const SQUserPointer kSqMatrix3TypeTag = const_cast<char*>(&matrix3Tag);
const SQUserPointer kSqMatrix4TypeTag = const_cast<char*>(&matrix4Tag);

void SqRegisterFunction(HSQUIRRELVM v, SQFUNCTION function, const char* name, const char* typeMask)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_newclosure(v, function, 0);
    sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, typeMask);
    sq_setnativeclosurename(v, -1, name);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

bool SqRegisterClass(HSQUIRRELVM v, const SqClassDesc* desc)
{
    if (desc == nullptr || desc->name == nullptr)
        return false;
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, desc->name, -1);
    if (desc->baseName != nullptr) {
        sq_pushstring(v, desc->baseName, -1);
        if (SQ_FAILED(sq_rawget(v, -3)) || sq_gettype(v, -1) != OT_CLASS) {
            sq_settop(v, top);
            return false;
        }
    }
    if (SQ_FAILED(sq_newclass(v, desc->baseName != nullptr ? SQTrue : SQFalse))) {
        sq_settop(v, top);
        return false;
    }
    sq_settypetag(v, -1, desc->typeTag != nullptr ? desc->typeTag : const_cast<SqClassDesc*>(desc));
    RegisterClosures(v, desc->methods);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    return true;
}

bool SqRegisterTable(HSQUIRRELVM v, const SqTableDesc* desc)
{
    if (desc == nullptr || desc->name == nullptr)
        return false;
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, desc->name, -1);
    sq_newtable(v);
    RegisterClosures(v, desc->functions);
    for (const SqConstantDesc* c = desc->constants; c != nullptr && c->name != nullptr; ++c) {
        sq_pushstring(v, c->name, -1);
        switch (c->type) {
        case OT_INTEGER: sq_pushinteger(v, c->integer); break;
        case OT_FLOAT: sq_pushfloat(v, c->number); break;
        case OT_STRING: sq_pushstring(v, c->text ? c->text : "", -1); break;
        default: sq_pushnull(v); break;
        }
        sq_newslot(v, -3, SQFalse);
    }
    if (desc->delegateFunctions != nullptr) {
        sq_newtable(v);
        RegisterClosures(v, desc->delegateFunctions);
        if (SQ_FAILED(sq_setdelegate(v, -2))) {
            sq_settop(v, top);
            return false;
        }
    }
    const bool ok = SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse));
    sq_settop(v, top);
    return ok;
}

bool SqCreateInstanceByName(HSQUIRRELVM v, const char* className, SQUserPointer pointer, SQRELEASEHOOK hook)
{
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, className, -1);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS || SQ_FAILED(sq_createinstance(v, -1)) ||
        SQ_FAILED(sq_setinstanceup(v, -1, pointer))) {
        sq_settop(v, top);
        return false;
    }
    sq_setreleasehook(v, -1, hook);
    // Only the instance stays.
    sq_remove(v, -2);
    sq_remove(v, -2);
    return true;
}

bool SqNewClassInstance(HSQUIRRELVM v, const char* className, bool construct)
{
    const SQInteger top = sq_gettop(v);
    char message[256];
    sq_pushroottable(v);
    sq_pushstring(v, className, -1);
    if (SQ_FAILED(sq_get(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
        sq_settop(v, top);
        std::snprintf(message, sizeof(message), "Class '%s' is not declared.", className);
        return SqBindingError(v, message);
    }
    bool made;
    if (construct) {
        sq_pushroottable(v);
        made = SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)) && sq_gettype(v, -1) == OT_INSTANCE;
    } else {
        made = SQ_SUCCEEDED(sq_createinstance(v, -1));
    }
    if (!made) {
        sq_settop(v, top);
        std::snprintf(message, sizeof(message), "Failed to instantiate class '%s'.", className);
        return SqBindingError(v, message);
    }
    const SQInteger extra = sq_gettop(v) - top - 1;
    for (SQInteger i = 0; i < extra; ++i)
        sq_remove(v, -2);
    return true;
}

bool SqBindingError(HSQUIRRELVM v, const char* message)
{
    if (zScriptMaster* master = SqGetScriptMaster(v))
        master->SetOk(false);
    char text[1024];
    std::snprintf(text, sizeof(text), "Binding error: %s", message ? message : "");
    SqPrintCallStack(v, text);
    return false;
}

bool SqCheckArgType(HSQUIRRELVM v, SQInteger idx, SQObjectType type)
{
    if (sq_gettype(v, idx) == type)
        return true;
    return SqBindingError(v, "Incorrect argument type.");
}

const char* SqTypeName(SQObjectType type)
{
    switch (type) {
    case OT_USERPOINTER: return "UserPointer";
    case OT_NULL: return "Null";
    case OT_BOOL: return "Boolean";
    case OT_INTEGER: return "Integer";
    case OT_FLOAT: return "Float";
    case OT_STRING: return "String";
    case OT_ARRAY: return "Array";
    case OT_CLOSURE: return "Closure";
    case OT_NATIVECLOSURE: return "NativeClosure";
    case OT_GENERATOR: return "Generator";
    case OT_THREAD: return "Thread";
    case OT_FUNCPROTO: return "FuncProto";
    case OT_CLASS: return "Class";
    case OT_WEAKREF: return "WeakRef";
    case OT_TABLE: return "Table";
    case OT_USERDATA: return "UserData";
    case OT_INSTANCE: return "Instance";
    default: return "Unknown";
    }
}

bool SqPushVector(HSQUIRRELVM v, const zVector& vector, bool withW)
{
    if (!SqNewClassInstance(v, "Vector", true))
        return SqBindingError(v, "Failed to create Vector instance.");
    SetVectorMembers(v, -1, vector.x, vector.y, vector.z);
    if (withW)
        SetFloatMember(v, -1, "w", vector.w);
    return true;
}

bool SqPushVector4(HSQUIRRELVM v, const float values[4])
{
    if (!SqNewClassInstance(v, "Vector", true))
        return SqBindingError(v, "Failed to create Vector instance.");
    SetVectorMembers(v, -1, values[0], values[1], values[2]);
    SetFloatMember(v, -1, "w", values[3]);
    return true;
}

bool SqGetVector(HSQUIRRELVM v, SQInteger idx, zVector& out, bool withW)
{
    // The native "Vector" keeps its components in the instance's storage.
    SQUserPointer storage = nullptr;
    if (sq_gettype(v, idx) == OT_INSTANCE && SQ_SUCCEEDED(sq_getinstanceup(v, idx, &storage, kSqVectorTypeTag)) &&
        storage != nullptr) {
        const zVector& stored = *static_cast<const zVector*>(storage);
        out = zVector(stored.x, stored.y, stored.z, withW ? stored.w : 1.0f);
        return true;
    }
    bool found = GetFloatMember(v, idx, "x", out.x);
    found = GetFloatMember(v, idx, "y", out.y) && found;
    found = GetFloatMember(v, idx, "z", out.z) && found;
    if (withW)
        found = GetFloatMember(v, idx, "w", out.w) && found;
    else
        out.w = 1.0f;
    return found;
}

bool SqPushMinMax(HSQUIRRELVM v, const zMinMax& box)
{
    if (!SqNewClassInstance(v, "MinMax", true))
        return SqBindingError(v, "Failed to create MinMax instance.");
    const SQInteger instance = sq_gettop(v);
    const char* names[2] = {"min", "max"};
    const zVector* corners[2] = {&box.min, &box.max};
    for (int i = 0; i < 2; ++i) {
        sq_pushstring(v, names[i], -1);
        if (SQ_SUCCEEDED(sq_get(v, instance))) {
            SetVectorMembers(v, -1, corners[i]->x, corners[i]->y, corners[i]->z);
            sq_pop(v, 1);
        } else {
            sq_pop(v, 1);
        }
    }
    return true;
}

bool SqGetMinMax(HSQUIRRELVM v, SQInteger idx, zMinMax& out)
{
    idx = idx < 0 ? sq_gettop(v) + idx + 1 : idx;
    const char* names[2] = {"min", "max"};
    zVector* corners[2] = {&out.min, &out.max};
    bool found = true;
    for (int i = 0; i < 2; ++i) {
        *corners[i] = zVector(0.0f, 0.0f, 0.0f);
        sq_pushstring(v, names[i], -1);
        if (SQ_SUCCEEDED(sq_get(v, idx))) {
            found = SqGetVector(v, -1, *corners[i]) && found;
            sq_pop(v, 1);
        } else {
            sq_pop(v, 1);
            found = false;
        }
    }
    return found;
}

bool SqPushRect(HSQUIRRELVM v, const int32_t rect[4])
{
    if (!SqNewClassInstance(v, "Rect", false))
        return SqBindingError(v, "Failed to create Rect instance.");
    SetFloatMember(v, -1, "sx", float(rect[0]));
    SetFloatMember(v, -1, "sy", float(rect[1]));
    SetFloatMember(v, -1, "ex", float(rect[2]));
    SetFloatMember(v, -1, "ey", float(rect[3]));
    return true;
}
