#include "manager_binding/zBindMathInternal.h"

#include <algorithm>
#include <cmath>

namespace {

// Fetches a "Vector" at idx, raising the script error on failure. The instance
// itself (idx 1) without storage is an internal failure; an argument is just
// of the wrong type.
bool GetVector(HSQUIRRELVM v, SQInteger idx, zVector*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstance(v, idx, kSqVectorTypeTag, &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, idx == 1 ? fetch : zSqFetch::WrongType);
        return false;
    }
    out = static_cast<zVector*>(p);
    return true;
}

// The instance a constructor or "_cloned" fills, whose value is not made yet.
bool GetVectorToFill(HSQUIRRELVM v, zVector*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstanceToFill(v, 1, kSqVectorTypeTag, &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, fetch);
        return false;
    }
    out = static_cast<zVector*>(p);
    return true;
}

bool TryMatrix3(HSQUIRRELVM v, SQInteger idx, zMatrix3*& out)
{
    void* p = nullptr;
    if (SqFetchInstance(v, idx, kSqMatrix3TypeTag, &p) != zSqFetch::Ok)
        return false;
    out = static_cast<zMatrix3*>(p);
    return true;
}

bool TryMatrix4(HSQUIRRELVM v, SQInteger idx, zMatrix4*& out)
{
    void* p = nullptr;
    if (SqFetchInstance(v, idx, kSqMatrix4TypeTag, &p) != zSqFetch::Ok)
        return false;
    out = static_cast<zMatrix4*>(p);
    return true;
}

// The numeric forms shared by the constructor and "Set": 1 to 5 parameters,
// the instance included.
void FillFromNumbers(HSQUIRRELVM v, SQInteger top, zVector& out)
{
    out = zVector(0.0f, 0.0f, 0.0f, 1.0f);
    if (top >= 2)
        out.x = SqArgFloat(v, 2);
    if (top >= 3)
        out.y = SqArgFloat(v, 3);
    if (top >= 4)
        out.z = SqArgFloat(v, 4);
    if (top >= 5)
        out.w = SqArgFloat(v, 5);
}

// 0 x, 1 y, 2 z, 3 w; -1 for any other key letter.
int ComponentOfLetter(char c)
{
    switch (c) {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    default:
        return -1;
    }
}

float& Component(zVector& vec, int i)
{
    switch (i) {
    case 0:
        return vec.x;
    case 1:
        return vec.y;
    case 2:
        return vec.z;
    default:
        return vec.w;
    }
}

int ComponentOfIndexKey(HSQUIRRELVM v)
{
    SQInteger i = -1;
    if (SQ_FAILED(sq_getinteger(v, 2, &i)))
        return -1;
    return i >= 0 && i <= 3 ? static_cast<int>(i) : -1;
}

SQInteger VectorTypeOf(HSQUIRRELVM v)
{
    sq_pushstring(v, "Vector", 6);
    return 1;
}

SQInteger VectorConstructor(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zVector* self;
    if (!GetVectorToFill(v, self))
        return SQ_ERROR;
    if (top < 1 || top > 5)
        return sq_throwerror(v, "Vector wrong parameters");
    if (top == 2 && sq_gettype(v, 2) == OT_INSTANCE) {
        void* p = nullptr;
        const zSqFetch fetch = SqFetchInstance(v, 2, kSqVectorTypeTag, &p);
        if (fetch == zSqFetch::WrongType)
            return sq_throwerror(v, "invalid instance type");
        if (fetch == zSqFetch::NoStorage)
            return sq_throwerror(v, "Vector() invalid instance type");
        *self = *static_cast<zVector*>(p);
    } else {
        FillFromNumbers(v, top, *self);
    }
    SqMarkInstanceMade(v, 1, kSqVectorTypeTag, self);
    return 0;
}

SQInteger VectorCloned(HSQUIRRELVM v)
{
    zVector* self;
    zVector* source;
    if (!GetVectorToFill(v, self) || !GetVector(v, 2, source))
        return SQ_ERROR;
    *self = *source;
    SqMarkInstanceMade(v, 1, kSqVectorTypeTag, self);
    return 0;
}

SQInteger VectorSet(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    int component;
    if (sq_gettype(v, 2) == OT_STRING) {
        const SQChar* key = "";
        sq_getstring(v, 2, &key);
        component = key[0] == '\0' ? 0 : ComponentOfLetter(key[0]);
    } else {
        component = ComponentOfIndexKey(v);
    }
    if (component < 0)
        return SQ_ERROR; // reported by the VM as a missing index
    const float value = SqArgFloat(v, 3);
    Component(*self, component) = value;
    sq_pushfloat(v, value);
    return 1;
}

SQInteger VectorGet(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    int component = -1;
    if (sq_gettype(v, 2) == OT_STRING) {
        const SQChar* key = "";
        sq_getstring(v, 2, &key);
        if (sq_getsize(v, 2) == 1)
            component = ComponentOfLetter(key[0]);
    } else {
        component = ComponentOfIndexKey(v);
    }
    if (component < 0)
        return SQ_ERROR; // reported by the VM as a missing index
    sq_pushfloat(v, Component(*self, component));
    return 1;
}

// The float branch is taken for a float only; an integer is refused with the
// operator's message, so `v * 2` fails where `v * 2.0` scales.
enum class zArith { Add, Sub, Mul, Div };

SQInteger VectorArith(HSQUIRRELVM v, zArith op, const char* message)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    const SQObjectType type = sq_gettype(v, 2);
    if (type == OT_FLOAT) {
        SQFloat f = 0.0f;
        sq_getfloat(v, 2, &f);
        const zVector& a = *self;
        switch (op) {
        case zArith::Add:
            return SqReturnVector(v, zVector(a.x + f, a.y + f, a.z + f));
        case zArith::Sub:
            return SqReturnVector(v, zVector(a.x - f, a.y - f, a.z - f));
        case zArith::Mul:
            return SqReturnVector(v, a * f);
        case zArith::Div:
            return SqReturnVector(v, a.DivideScalar(f));
        }
    }
    if (type != OT_INSTANCE)
        return sq_throwerror(v, message);
    void* p = nullptr;
    if (SqFetchInstance(v, 2, kSqVectorTypeTag, &p) == zSqFetch::Ok) {
        const zVector& a = *self;
        const zVector& b = *static_cast<zVector*>(p);
        switch (op) {
        case zArith::Add:
            return SqReturnVector(v, a + b);
        case zArith::Sub:
            return SqReturnVector(v, a - b);
        case zArith::Mul:
            return SqReturnVector(v, zVector(a.x * b.x, a.y * b.y, a.z * b.z));
        case zArith::Div:
            return SqReturnVector(v, zVector(a.x / b.x, a.y / b.y, a.z / b.z));
        }
    }
    if (op == zArith::Mul) {
        zMatrix3* m3;
        if (TryMatrix3(v, 2, m3))
            return SqReturnVector(v, self->Rotate(*m3));
        zMatrix4* m4;
        if (TryMatrix4(v, 2, m4))
            return SqReturnVector(v, self->Transform(*m4));
        return sq_throwerror(v, message);
    }
    return sq_throwerror(v, "invalid instance type");
}

SQInteger VectorAdd(HSQUIRRELVM v)
{
    return VectorArith(v, zArith::Add, "Vector + operator: Invalid argument type.\n");
}

SQInteger VectorSub(HSQUIRRELVM v)
{
    return VectorArith(v, zArith::Sub, "Vector - operator: Invalid argument type.\n");
}

SQInteger VectorMul(HSQUIRRELVM v)
{
    return VectorArith(v, zArith::Mul, "Vector * operator: Invalid argument type.\n");
}

SQInteger VectorDiv(HSQUIRRELVM v)
{
    return VectorArith(v, zArith::Div, "Vector / operator: Invalid argument type.\n");
}

// A bool, which the VM reads as 0 or 1: "<=>" gives 1 for nearly equal vectors.
SQInteger VectorCmp(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    sq_pushbool(v, a->IsNearlyEqual(*b) ? SQTrue : SQFalse);
    return 1;
}

SQInteger VectorSetValues(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    if (top > 5)
        return sq_throwerror(v, "Vector Set() wrong parameters");
    FillFromNumbers(v, top, *self);
    return 0;
}

SQInteger VectorApplyMatrix(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    zMatrix3* m3;
    if (TryMatrix3(v, 2, m3))
        return SqReturnVector(v, self->Rotate(*m3));
    zMatrix4* m4;
    if (TryMatrix4(v, 2, m4))
        return SqReturnVector(v, self->Transform(*m4));
    return sq_throwerror(v, "Vector::ApplyMatrix(): Invalid parameter");
}

SQInteger VectorApplyRotationMatrix(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    zMatrix3* m3;
    if (TryMatrix3(v, 2, m3))
        return SqReturnVector(v, self->Rotate(*m3));
    zMatrix4* m4;
    if (TryMatrix4(v, 2, m4))
        return SqReturnVector(v, self->Rotate(zMatrix3::FromMatrix4(*m4)));
    return sq_throwerror(v, "Vector::ApplyRotationMatrix(): Invalid parameter");
}

enum class zRealOp { Add, Mul, Sub, Div };

SQInteger VectorRealOp(HSQUIRRELVM v, zRealOp op)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    const float n = SqArgFloat(v, 2);
    const zVector& a = *self;
    switch (op) {
    case zRealOp::Add:
        return SqReturnVector(v, zVector(a.x + n, a.y + n, a.z + n));
    case zRealOp::Mul:
        return SqReturnVector(v, a * n);
    case zRealOp::Sub:
        return SqReturnVector(v, zVector(a.x - n, a.y - n, a.z - n));
    case zRealOp::Div: {
        // No zero test here: a zero divisor follows IEEE float division.
        const float inverse = 1.0f / n;
        return SqReturnVector(v, a * inverse);
    }
    }
    return 0;
}

SQInteger VectorAddReal(HSQUIRRELVM v)
{
    return VectorRealOp(v, zRealOp::Add);
}

SQInteger VectorMulReal(HSQUIRRELVM v)
{
    return VectorRealOp(v, zRealOp::Mul);
}

SQInteger VectorSubReal(HSQUIRRELVM v)
{
    return VectorRealOp(v, zRealOp::Sub);
}

SQInteger VectorDivReal(HSQUIRRELVM v)
{
    return VectorRealOp(v, zRealOp::Div);
}

SQInteger VectorScale(HSQUIRRELVM v)
{
    return VectorRealOp(v, zRealOp::Mul);
}

// A "Vector" or a number n standing for (n, n, n).
bool GetBound(HSQUIRRELVM v, SQInteger idx, zVector& out)
{
    if (sq_gettype(v, idx) == OT_INSTANCE) {
        zVector* p;
        if (!GetVector(v, idx, p))
            return false;
        out = *p;
        return true;
    }
    const float n = SqArgFloat(v, idx);
    out = zVector(n, n, n);
    return true;
}

SQInteger VectorClamp(HSQUIRRELVM v)
{
    zVector* self;
    zVector lo;
    zVector hi;
    if (!GetVector(v, 1, self) || !GetBound(v, 2, lo) || !GetBound(v, 3, hi))
        return SQ_ERROR;
    return SqReturnVector(v, self->Clamp(lo, hi));
}

SQInteger VectorClampMagnitude(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    return SqReturnVector(v, self->ClampMagnitude(0.0f, SqArgFloat(v, 2)));
}

SQInteger VectorReverse(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    return SqReturnVector(v, -*self);
}

SQInteger VectorMinMax(HSQUIRRELVM v, bool isMin, const char* message)
{
    const SQInteger top = sq_gettop(v);
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    if (top != 2 && top != 4)
        return sq_throwerror(v, message);
    zVector other;
    const SQObjectType type = sq_gettype(v, 2);
    if (type == OT_INSTANCE) {
        zVector* p;
        if (!GetVector(v, 2, p))
            return SQ_ERROR;
        other = *p;
    } else if (type == OT_FLOAT) {
        other = zVector(SqArgFloat(v, 2), top == 4 ? SqArgFloat(v, 3) : 0.0f, top == 4 ? SqArgFloat(v, 4) : 0.0f);
    } else {
        return sq_throwerror(v, message);
    }
    const zVector& a = *self;
    if (isMin)
        return SqReturnVector(v, zVector(std::min(a.x, other.x), std::min(a.y, other.y), std::min(a.z, other.z)));
    return SqReturnVector(v, zVector(std::max(a.x, other.x), std::max(a.y, other.y), std::max(a.z, other.z)));
}

SQInteger VectorMin(HSQUIRRELVM v)
{
    return VectorMinMax(v, true, "Vector Min(): Invalid parameter list.\n");
}

SQInteger VectorMax(HSQUIRRELVM v)
{
    return VectorMinMax(v, false, "Vector Max(): Invalid parameter list.\n");
}

SQInteger VectorDot(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    sq_pushfloat(v, a->Dot(*b));
    return 1;
}

SQInteger VectorCross(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    return SqReturnVector(v, a->Cross(*b));
}

SQInteger VectorLen(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    sq_pushfloat(v, self->Length());
    return 1;
}

SQInteger VectorLen2(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    sq_pushfloat(v, self->SquaredLength());
    return 1;
}

SQInteger VectorAngleWithVector(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    sq_pushfloat(v, std::acos(std::clamp(a->Dot(*b), -1.0f, 1.0f)));
    return 1;
}

SQInteger VectorNormalize(HSQUIRRELVM v)
{
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    const zVector unit = self->Normalized();
    if (sq_gettop(v) >= 2)
        return SqReturnVector(v, unit * SqArgFloat(v, 2));
    return SqReturnVector(v, unit);
}

SQInteger VectorDist(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    sq_pushfloat(v, VectorDistance(*a, *b));
    return 1;
}

SQInteger VectorDist2(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 2, b))
        return SQ_ERROR;
    sq_pushfloat(v, VectorDistanceSquared(*a, *b));
    return 1;
}

SQInteger VectorLerp(HSQUIRRELVM v)
{
    zVector* a;
    zVector* b;
    if (!GetVector(v, 1, a) || !GetVector(v, 3, b))
        return SQ_ERROR;
    const float t = SqArgFloat(v, 2);
    return SqReturnVector(v, *a * t + *b * (1.0f - t));
}

// The instance is not used, so any value may stand as `this`.
SQInteger VectorRandomize(HSQUIRRELVM v)
{
    float lo = 0.0f;
    float hi = SqArgFloat(v, 2);
    if (sq_gettop(v) >= 3) {
        lo = hi;
        hi = SqArgFloat(v, 3);
    }
    return SqReturnVector(v, zVector::Random(lo, hi));
}

SQInteger VectorIsEqual(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zVector* a;
    if (!GetVector(v, 1, a))
        return SQ_ERROR;
    if (top > 3)
        return sq_throwerror(v, "Vector::IsEqual() wrong parameter count");
    zVector* b;
    if (!GetVector(v, 2, b))
        return SQ_ERROR;
    const float tolerance = top == 3 ? SqArgFloat(v, 3) : 0.0001f;
    sq_pushbool(v, VectorDistanceSquared(*a, *b) < tolerance * tolerance ? SQTrue : SQFalse);
    return 1;
}

SQInteger VectorPrint(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zVector* self;
    if (!GetVector(v, 1, self))
        return SQ_ERROR;
    const SQChar* name = "Vector";
    if (top == 2 && SQ_FAILED(sq_getstring(v, 2, &name)))
        name = nullptr;
    self->Print(name);
    return 0;
}

const SqFunctionDesc VectorMethods[] = {
    {"_typeof", VectorTypeOf, 1, nullptr},
    {"constructor", VectorConstructor, -1, ".n|xnnn"},
    {"_cloned", VectorCloned, 2, ".x"},
    {"_set", VectorSet, 3, "xs|n"},
    {"_get", VectorGet, 2, "xs|n"},
    {"_add", VectorAdd, 2, "xx|n"},
    {"_sub", VectorSub, 2, "xx|n"},
    {"_mul", VectorMul, 2, "xx|n"},
    {"_div", VectorDiv, 2, "xx|n"},
    {"_cmp", VectorCmp, 2, "xx"},
    {"Set", VectorSetValues, -1, "xnnnn"},
    {"ApplyMatrix", VectorApplyMatrix, 2, "xx"},
    {"ApplyRotationMatrix", VectorApplyRotationMatrix, 2, "xx"},
    {"AddReal", VectorAddReal, 2, "xn"},
    {"MulReal", VectorMulReal, 2, "xn"},
    {"SubReal", VectorSubReal, 2, "xn"},
    {"DivReal", VectorDivReal, 2, "xn"},
    {"Scale", VectorScale, 2, "xn"},
    {"Clamp", VectorClamp, 3, "x x|n x|n"},
    {"ClampMagnitude", VectorClampMagnitude, 2, "xn"},
    {"Reverse", VectorReverse, 1, "x"},
    {"Min", VectorMin, -2, "xn|xnn"},
    {"Max", VectorMax, -2, "xn|xnn"},
    {"Dot", VectorDot, 2, "xx"},
    {"Cross", VectorCross, 2, "xx"},
    {"Len", VectorLen, 1, "x"},
    {"Len2", VectorLen2, 1, "x"},
    {"AngleWithVector", VectorAngleWithVector, 2, "xx"},
    {"Normalize", VectorNormalize, -1, "xn"},
    {"Dist", VectorDist, 2, "xx"},
    {"Dist2", VectorDist2, 2, "xx"},
    {"Lerp", VectorLerp, 3, "xnx"},
    {"Randomize", VectorRandomize, -2, ".nn"},
    {"IsEqual", VectorIsEqual, -2, "xxn"},
    {"Print", VectorPrint, -1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

zVector* SqGetVectorInstance(HSQUIRRELVM v, SQInteger idx)
{
    void* p = nullptr;
    return SqFetchInstance(v, idx, kSqVectorTypeTag, &p) == zSqFetch::Ok ? static_cast<zVector*>(p) : nullptr;
}

bool SqPushNewVector(HSQUIRRELVM v, const zVector& value)
{
    return SqPushNewInstance(v, "Vector", kSqVectorTypeTag, &value, sizeof(zVector));
}

bool SqRegisterVectorClass(HSQUIRRELVM v)
{
    const SqClassDesc vectorClass = {"Vector", nullptr, VectorMethods, kSqVectorTypeTag};
    return SqRegisterMathClass(v, vectorClass, sizeof(zVector));
}
