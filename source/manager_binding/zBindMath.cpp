#include "manager_binding/zBindMathInternal.h"
#include "script/zScriptValues.h"

#include <cmath>
#include <cstdint>
#include <cstring>

bool SqRegisterVectorClass(HSQUIRRELVM v);
bool SqRegisterMatrixClasses(HSQUIRRELVM v);

namespace {

// The size of the value the class with that tag keeps in its instances' blocks.
size_t ValueSize(SQUserPointer tag)
{
    if (tag == kSqMatrix3TypeTag)
        return sizeof(zMatrix3);
    if (tag == kSqMatrix4TypeTag)
        return sizeof(zMatrix4);
    return sizeof(zVector);
}

uint8_t& MadeMark(void* value, SQUserPointer tag)
{
    return static_cast<uint8_t*>(value)[ValueSize(tag)];
}

zSqFetch FetchInstance(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void** out, bool toFill)
{
    if (sq_gettype(v, idx) != OT_INSTANCE)
        return zSqFetch::WrongType;
    SQUserPointer own = nullptr;
    SQUserPointer p = nullptr;
    sq_gettypetag(v, idx, &own);
    if (own == tag)
        sq_getinstanceup(v, idx, &p, nullptr);
    else if (own == kSqVectorTypeTag || own == kSqMatrix3TypeTag || own == kSqMatrix4TypeTag)
        return zSqFetch::WrongType; // the native classes have no base to look through
    else if (SQ_FAILED(sq_getinstanceup(v, idx, &p, tag)))
        return zSqFetch::WrongType; // neither the class nor one of its bases
    if (p == nullptr)
        return zSqFetch::NoStorage;
    if (!toFill && sq_getreleasehook(v, idx) == nullptr && MadeMark(p, tag) == 0)
        return zSqFetch::NoStorage;
    *out = p;
    return zSqFetch::Ok;
}

} // namespace

bool SqRegisterMathClass(HSQUIRRELVM v, const SqClassDesc& cls, SQInteger valueSize)
{
    if (!SqRegisterClass(v, &cls))
        return false;
    // No instance exists yet, so the class still takes a size.
    const SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, cls.name, -1);
    const bool sized = SQ_SUCCEEDED(sq_rawget(v, -2)) && SQ_SUCCEEDED(sq_setclassudsize(v, -1, valueSize + 1));
    sq_settop(v, top);
    return sized;
}

zSqFetch SqFetchInstance(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void** out)
{
    return FetchInstance(v, idx, tag, out, false);
}

zSqFetch SqFetchInstanceToFill(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void** out)
{
    return FetchInstance(v, idx, tag, out, true);
}

void SqMarkInstanceMade(HSQUIRRELVM v, SQInteger idx, SQUserPointer tag, void* value)
{
    if (sq_getreleasehook(v, idx) == nullptr)
        MadeMark(value, tag) = 1;
}

bool SqPushNewInstance(HSQUIRRELVM v, const char* name, SQUserPointer tag, const void* value, size_t size, bool tidy)
{
    const SQInteger top = sq_gettop(v);
    // A result of the instance's own class skips the root-table lookup, which
    // costs about as much as the rest of making the instance.
    SQUserPointer thisTag = nullptr;
    if (top >= 1 && sq_gettype(v, 1) == OT_INSTANCE && SQ_SUCCEEDED(sq_gettypetag(v, 1, &thisTag)) && thisTag == tag) {
        sq_getclass(v, 1);
        sq_createinstance(v, -1);
        SQUserPointer p = nullptr;
        sq_getinstanceup(v, -1, &p, nullptr);
        if (p == nullptr) {
            sq_settop(v, top);
            return false;
        }
        std::memcpy(p, value, size);
        MadeMark(p, tag) = 1;
        if (tidy)
            sq_remove(v, -2);
        return true;
    }
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    SQUserPointer classTag = nullptr;
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS || SQ_FAILED(sq_gettypetag(v, -1, &classTag)) ||
        classTag != tag || SQ_FAILED(sq_createinstance(v, -1))) {
        sq_settop(v, top);
        return false;
    }
    SQUserPointer p = nullptr;
    sq_getinstanceup(v, -1, &p, nullptr);
    if (p == nullptr) {
        sq_settop(v, top);
        return false;
    }
    std::memcpy(p, value, size);
    MadeMark(p, tag) = 1;
    if (tidy) {
        // Keep the instance, drop the class and the root table.
        sq_remove(v, -2);
        sq_remove(v, -2);
    }
    return true;
}

bool SqRegisterMathClasses(HSQUIRRELVM v)
{
    // Libraries below the bindings (the scene's contact tables) push Vectors
    // through the script host.
    SqSetVectorPusher(SqPushNewVector);
    return SqRegisterVectorClass(v) && SqRegisterMatrixClasses(v);
}

bool SqGetRect(HSQUIRRELVM v, SQInteger idx, int32_t out[4])
{
    static const char* const members[4] = {"sx", "sy", "ex", "ey"};
    bool complete = true;
    for (int i = 0; i < 4; ++i) {
        out[i] = 0;
        sq_pushstring(v, members[i], 2);
        if (SQ_FAILED(sq_get(v, idx < 0 ? idx - 1 : idx))) {
            complete = false;
            continue; // the key was popped with the failure
        }
        SQFloat f = 0.0f;
        if (SQ_FAILED(sq_getfloat(v, -1, &f)) || !std::isfinite(f) || f >= 2147483648.0f || f < -2147483648.0f)
            complete = false;
        else
            out[i] = static_cast<int32_t>(f);
        sq_pop(v, 1);
    }
    return complete;
}

namespace {

// Math functions take their instance arguments counted from the top of the stack.
bool TopVector(HSQUIRRELVM v, SQInteger idx, zVector& out)
{
    zVector* p = SqGetVectorInstance(v, idx);
    if (p == nullptr) {
        sq_throwerror(v, "invalid instance type");
        return false;
    }
    out = zVector(p->x, p->y, p->z, 1.0f);
    return true;
}

SQInteger MatrixToEuler(HSQUIRRELVM v)
{
    zMatrix3* m = SqGetMatrix3Instance(v, -2);
    if (m == nullptr)
        return sq_throwerror(v, "invalid instance type");
    SQInteger order = 0;
    sq_getinteger(v, -1, &order);
    const zMatrix3 copy = *m;
    sq_pop(v, 2);
    return SqReturnVector(v, copy.ToEuler(static_cast<int>(order)));
}

SQInteger EulerFromDirection(HSQUIRRELVM v)
{
    zVector direction;
    if (!TopVector(v, -1, direction))
        return SQ_ERROR;
    sq_pop(v, 1);
    return SqReturnVector(v, zMatrix3::FromDirection(direction).ToEuler(RotationOrderYXZ));
}

SQInteger RotationMatrixFromDirection(HSQUIRRELVM v)
{
    zVector direction;
    if (!TopVector(v, -1, direction))
        return SQ_ERROR;
    sq_pop(v, 1);
    return SqReturnMatrix3(v, zMatrix3::FromDirection(direction));
}

SQInteger TransformationMatrix(HSQUIRRELVM v)
{
    zVector position;
    zVector rotation;
    zVector scale;
    zVector pivot;
    if (!TopVector(v, -1, pivot) || !TopVector(v, -2, scale) || !TopVector(v, -3, rotation) ||
        !TopVector(v, -4, position))
        return SQ_ERROR;
    sq_pop(v, 4);
    return SqReturnMatrix4(v, zMatrix4::FromTransformation(position, rotation, scale, pivot));
}

} // namespace

void SqRegisterMathFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, MatrixToEuler, "MatrixToEuler", "x|txi");
    SqRegisterFunction(v, EulerFromDirection, "EulerFromDirection", "x|tx");
    SqRegisterFunction(v, RotationMatrixFromDirection, "RotationMatrixFromDirection", "x|tx");
    SqRegisterFunction(v, TransformationMatrix, "TransformationMatrix", "x|txxxx");
}
