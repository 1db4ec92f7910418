#include "manager_binding/zBindMathInternal.h"

#include <cstdio>

#include "framework/system/zLogStream.h"

namespace {

bool GetMatrix3(HSQUIRRELVM v, SQInteger idx, zMatrix3*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstance(v, idx, kSqMatrix3TypeTag, &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, idx == 1 ? fetch : zSqFetch::WrongType);
        return false;
    }
    out = static_cast<zMatrix3*>(p);
    return true;
}

bool GetMatrix4(HSQUIRRELVM v, SQInteger idx, zMatrix4*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstance(v, idx, kSqMatrix4TypeTag, &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, idx == 1 ? fetch : zSqFetch::WrongType);
        return false;
    }
    out = static_cast<zMatrix4*>(p);
    return true;
}

bool GetVectorArg(HSQUIRRELVM v, SQInteger idx, zVector*& out)
{
    void* p = nullptr;
    if (SqFetchInstance(v, idx, kSqVectorTypeTag, &p) != zSqFetch::Ok) {
        sq_throwerror(v, "invalid instance type");
        return false;
    }
    out = static_cast<zVector*>(p);
    return true;
}

// Element key "m" + a + b with a, b below size: stored element m[size * a + b].
// -1 for any other string, which the VM reports as a missing index.
int ElementOfKey(HSQUIRRELVM v, int size)
{
    const SQChar* key = nullptr;
    if (SQ_FAILED(sq_getstring(v, 2, &key)) || sq_getsize(v, 2) != 3 || key[0] != 'm')
        return -1;
    const int a = key[1] - '0';
    const int b = key[2] - '0';
    if (a < 0 || a >= size || b < 0 || b >= size)
        return -1;
    return size * a + b;
}

// Rows and columns outside the matrix would read and write past its storage:
// they are refused with a script error naming the method and the range.
bool CheckIndex(HSQUIRRELVM v, const char* method, const char* what, int size, SQInteger& index)
{
    index = -1;
    sq_getinteger(v, 2, &index);
    if (index >= 0 && index < size)
        return true;
    char message[128];
    std::snprintf(message, sizeof(message), "%s: %s index %d out of range (0 to %d)", method, what,
                  static_cast<int>(index), size - 1);
    sq_throwerror(v, message);
    return false;
}

// --- Matrix4 ---

SQInteger Matrix4TypeOf(HSQUIRRELVM v)
{
    sq_pushstring(v, "Matrix4", 7);
    return 1;
}

SQInteger Matrix4Constructor(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zMatrix4* self;
    if (!GetMatrix4(v, 1, self))
        return SQ_ERROR;
    zMatrix4 m;
    if (top == 5) {
        for (int k = 0; k < 4; ++k) {
            void* p = nullptr;
            const zSqFetch fetch = SqFetchInstance(v, 2 + k, kSqVectorTypeTag, &p);
            if (fetch == zSqFetch::WrongType)
                return sq_throwerror(v, "invalid instance type");
            if (fetch == zSqFetch::NoStorage)
                return sq_throwerror(v, "Matrix4() invalid parameters");
            m.SetRow(k, *static_cast<zVector*>(p));
        }
    } else if (top == 17) {
        // Sixteen numbers, row by row.
        for (int k = 0; k < 16; ++k)
            m.m[k / 4 + 4 * (k % 4)] = SqArgFloat(v, 2 + k);
    } else if (top != 1) {
        return sq_throwerror(v, "Matrix4() wrong parameter count");
    }
    *self = m;
    return 0;
}

// Not in the classes' original method tables: without it a clone would come
// out as a zero matrix instead of a copy.
SQInteger Matrix4Cloned(HSQUIRRELVM v)
{
    zMatrix4* self;
    zMatrix4* source;
    if (!GetMatrix4(v, 1, self) || !GetMatrix4(v, 2, source))
        return SQ_ERROR;
    *self = *source;
    return 0;
}

SQInteger Matrix4Get(HSQUIRRELVM v)
{
    zMatrix4* self;
    if (!GetMatrix4(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, 4);
    if (element < 0)
        return SQ_ERROR;
    sq_pushfloat(v, self->m[element]);
    return 1;
}

SQInteger Matrix4Set(HSQUIRRELVM v)
{
    zMatrix4* self;
    if (!GetMatrix4(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, 4);
    if (element < 0)
        return SQ_ERROR;
    self->m[element] = SqArgFloat(v, 3);
    sq_pushfloat(v, self->m[element]);
    return 1;
}

SQInteger Matrix4Mul(HSQUIRRELVM v)
{
    zMatrix4* a;
    zMatrix4* b;
    if (!GetMatrix4(v, 1, a) || !GetMatrix4(v, 2, b))
        return SQ_ERROR;
    return SqReturnMatrix4(v, *a * *b);
}

SQInteger Matrix4GetRow(HSQUIRRELVM v)
{
    zMatrix4* self;
    SQInteger i;
    if (!GetMatrix4(v, 1, self) || !CheckIndex(v, "Matrix4::GetRow()", "row", 4, i))
        return SQ_ERROR;
    return SqReturnVector(v, self->GetRow(static_cast<int>(i), true));
}

// Writes the fourth element as 1 whatever the vector's w.
SQInteger Matrix4SetRow(HSQUIRRELVM v)
{
    zMatrix4* self;
    zVector* row;
    SQInteger i;
    if (!GetMatrix4(v, 1, self) || !CheckIndex(v, "Matrix4::SetRow()", "row", 4, i) || !GetVectorArg(v, 3, row))
        return SQ_ERROR;
    self->SetRow(static_cast<int>(i), *row, true);
    return 0;
}

SQInteger Matrix4GetColumn(HSQUIRRELVM v)
{
    zMatrix4* self;
    SQInteger i;
    if (!GetMatrix4(v, 1, self) || !CheckIndex(v, "Matrix4::GetColumn()", "column", 4, i))
        return SQ_ERROR;
    return SqReturnVector(v, self->GetColumn(static_cast<int>(i), true));
}

SQInteger Matrix4SetColumn(HSQUIRRELVM v)
{
    zMatrix4* self;
    zVector* column;
    SQInteger i;
    if (!GetMatrix4(v, 1, self) || !CheckIndex(v, "Matrix4::SetColumn()", "column", 4, i) ||
        !GetVectorArg(v, 3, column))
        return SQ_ERROR;
    self->SetColumn(static_cast<int>(i), *column, true);
    return 0;
}

SQInteger Matrix4AsMatrix3(HSQUIRRELVM v)
{
    zMatrix4* self;
    if (!GetMatrix4(v, 1, self))
        return SQ_ERROR;
    return SqReturnMatrix3(v, zMatrix3::FromMatrix4(*self));
}

SQInteger Matrix4Print(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zMatrix4* self;
    if (!GetMatrix4(v, 1, self))
        return SQ_ERROR;
    const SQChar* name = "Matrix";
    if (top == 2 && SQ_FAILED(sq_getstring(v, 2, &name)))
        name = "";
    *GlobalLogStream << "Dumping matrix '" << name << "':\n";
    for (int i = 0; i < 4; ++i)
        self->GetRow(i, true).Print("Row");
    return 0;
}

SQInteger Matrix4RotationFromMatrix3(HSQUIRRELVM v)
{
    zMatrix4* self;
    zMatrix3* r;
    if (!GetMatrix4(v, 1, self) || !GetMatrix3(v, 2, r))
        return SQ_ERROR;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            self->m[4 * i + j] = r->m[3 * i + j];
    return 0;
}

const SqFunctionDesc Matrix4Methods[] = {
    {"_typeof", Matrix4TypeOf, 1, nullptr},
    {"constructor", Matrix4Constructor, -1, ". n|x n|x n|x n|x nnnnn"},
    {"_cloned", Matrix4Cloned, 2, ".x"},
    {"_get", Matrix4Get, 2, "xs"},
    {"_set", Matrix4Set, 3, "xsn"},
    {"_mul", Matrix4Mul, 2, "xx"},
    {"GetRow", Matrix4GetRow, 2, "xi"},
    {"SetRow", Matrix4SetRow, 3, "xix"},
    {"GetColumn", Matrix4GetColumn, 2, "xi"},
    {"SetColumn", Matrix4SetColumn, 3, "xix"},
    {"AsMatrix3", Matrix4AsMatrix3, 1, "x"},
    {"Print", Matrix4Print, -1, "x"},
    {"RotationFromMatrix3", Matrix4RotationFromMatrix3, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

// --- Matrix3 ---

SQInteger Matrix3TypeOf(HSQUIRRELVM v)
{
    sq_pushstring(v, "Matrix3", 7);
    return 1;
}

SQInteger Matrix3Constructor(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    zMatrix3* self;
    if (!GetMatrix3(v, 1, self))
        return SQ_ERROR;
    zMatrix3 m;
    if (top == 4) {
        for (int k = 0; k < 3; ++k) {
            void* p = nullptr;
            const zSqFetch fetch = SqFetchInstance(v, 2 + k, kSqVectorTypeTag, &p);
            if (fetch == zSqFetch::WrongType)
                return sq_throwerror(v, "invalid instance type");
            if (fetch == zSqFetch::NoStorage)
                return sq_throwerror(v, "Matrix3() invalid parameters");
            m.SetRow(k, *static_cast<zVector*>(p));
        }
    } else if (top == 10) {
        // Nine numbers, row by row.
        for (int k = 0; k < 9; ++k)
            m.m[k / 3 + 3 * (k % 3)] = SqArgFloat(v, 2 + k);
    } else if (top != 1) {
        return sq_throwerror(v, "Matrix3() wrong parameter count");
    }
    *self = m;
    return 0;
}

SQInteger Matrix3Cloned(HSQUIRRELVM v)
{
    zMatrix3* self;
    zMatrix3* source;
    if (!GetMatrix3(v, 1, self) || !GetMatrix3(v, 2, source))
        return SQ_ERROR;
    *self = *source;
    return 0;
}

SQInteger Matrix3Get(HSQUIRRELVM v)
{
    zMatrix3* self;
    if (!GetMatrix3(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, 3);
    if (element < 0)
        return SQ_ERROR;
    sq_pushfloat(v, self->m[element]);
    return 1;
}

SQInteger Matrix3Set(HSQUIRRELVM v)
{
    zMatrix3* self;
    if (!GetMatrix3(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, 3);
    if (element < 0)
        return SQ_ERROR;
    self->m[element] = SqArgFloat(v, 3);
    sq_pushfloat(v, self->m[element]);
    return 1;
}

SQInteger Matrix3Mul(HSQUIRRELVM v)
{
    zMatrix3* a;
    zMatrix3* b;
    if (!GetMatrix3(v, 1, a) || !GetMatrix3(v, 2, b))
        return SQ_ERROR;
    return SqReturnMatrix3(v, *a * *b);
}

SQInteger Matrix3GetRow(HSQUIRRELVM v)
{
    zMatrix3* self;
    SQInteger i;
    if (!GetMatrix3(v, 1, self) || !CheckIndex(v, "Matrix3::GetRow()", "row", 3, i))
        return SQ_ERROR;
    return SqReturnVector(v, self->GetRow(static_cast<int>(i)));
}

SQInteger Matrix3SetRow(HSQUIRRELVM v)
{
    zMatrix3* self;
    zVector* row;
    SQInteger i;
    if (!GetMatrix3(v, 1, self) || !CheckIndex(v, "Matrix3::SetRow()", "row", 3, i) || !GetVectorArg(v, 3, row))
        return SQ_ERROR;
    self->SetRow(static_cast<int>(i), *row);
    return 0;
}

SQInteger Matrix3GetColumn(HSQUIRRELVM v)
{
    zMatrix3* self;
    SQInteger i;
    if (!GetMatrix3(v, 1, self) || !CheckIndex(v, "Matrix3::GetColumn()", "column", 3, i))
        return SQ_ERROR;
    return SqReturnVector(v, self->GetColumn(static_cast<int>(i)));
}

SQInteger Matrix3SetColumn(HSQUIRRELVM v)
{
    zMatrix3* self;
    zVector* column;
    SQInteger i;
    if (!GetMatrix3(v, 1, self) || !CheckIndex(v, "Matrix3::SetColumn()", "column", 3, i) ||
        !GetVectorArg(v, 3, column))
        return SQ_ERROR;
    self->SetColumn(static_cast<int>(i), *column);
    return 0;
}

SQInteger Matrix3AsMatrix4(HSQUIRRELVM v)
{
    zMatrix3* self;
    if (!GetMatrix3(v, 1, self))
        return SQ_ERROR;
    return SqReturnMatrix4(v, zMatrix4::FromMatrix3(*self));
}

// The instance is not used: only the direction and the optional up vector.
SQInteger Matrix3FromOrthonormalBasis(HSQUIRRELVM v)
{
    const SQInteger top = sq_gettop(v);
    if (top != 2 && top != 3)
        return sq_throwerror(v, "Matrix3::FromOrthonormalBasis() wrong parameter count");
    zVector* direction;
    if (!GetVectorArg(v, 2, direction))
        return SQ_ERROR;
    if (top == 3) {
        zVector* up;
        if (!GetVectorArg(v, 3, up))
            return SQ_ERROR;
        return SqReturnMatrix3(v, zMatrix3::FromDirection(*direction, up));
    }
    return SqReturnMatrix3(v, zMatrix3::FromDirection(*direction));
}

SQInteger Matrix3SlerpTo(HSQUIRRELVM v)
{
    zMatrix3* self;
    zMatrix3* other;
    if (!GetMatrix3(v, 1, self) || !GetMatrix3(v, 3, other))
        return SQ_ERROR;
    const float t = SqArgFloat(v, 2);
    zMatrix3 out;
    for (int i = 0; i < 9; ++i)
        out.m[i] = t * self->m[i] + (1.0f - t) * other->m[i];
    return SqReturnMatrix3(v, out);
}

SQInteger Matrix3AsEuler(HSQUIRRELVM v)
{
    zMatrix3* self;
    if (!GetMatrix3(v, 1, self))
        return SQ_ERROR;
    SQInteger order = RotationOrderYXZ;
    if (sq_gettop(v) >= 2)
        sq_getinteger(v, 2, &order);
    return SqReturnVector(v, self->ToEuler(static_cast<int>(order)));
}

const SqFunctionDesc Matrix3Methods[] = {
    {"_typeof", Matrix3TypeOf, 1, nullptr},
    {"constructor", Matrix3Constructor, -1, ". n|x n|x n|x nnn nnn"},
    {"_cloned", Matrix3Cloned, 2, ".x"},
    {"_get", Matrix3Get, 2, "xs"},
    {"_set", Matrix3Set, 3, "xsn"},
    {"_mul", Matrix3Mul, 2, "xx"},
    {"GetRow", Matrix3GetRow, 2, "xi"},
    {"SetRow", Matrix3SetRow, 3, "xix"},
    {"GetColumn", Matrix3GetColumn, 2, "xi"},
    {"SetColumn", Matrix3SetColumn, 3, "xix"},
    {"AsMatrix4", Matrix3AsMatrix4, 1, "x"},
    {"FromOrthonormalBasis", Matrix3FromOrthonormalBasis, -2, ".xx"},
    {"SlerpTo", Matrix3SlerpTo, 3, "xnx"},
    {"AsEuler", Matrix3AsEuler, -1, "xi"},
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

zMatrix3* SqGetMatrix3Instance(HSQUIRRELVM v, SQInteger idx)
{
    void* p = nullptr;
    return SqFetchInstance(v, idx, kSqMatrix3TypeTag, &p) == zSqFetch::Ok ? static_cast<zMatrix3*>(p) : nullptr;
}

zMatrix4* SqGetMatrix4Instance(HSQUIRRELVM v, SQInteger idx)
{
    void* p = nullptr;
    return SqFetchInstance(v, idx, kSqMatrix4TypeTag, &p) == zSqFetch::Ok ? static_cast<zMatrix4*>(p) : nullptr;
}

bool SqPushNewMatrix3(HSQUIRRELVM v, const zMatrix3& value)
{
    return SqPushNewInstance(v, "Matrix3", kSqMatrix3TypeTag, &value, sizeof(zMatrix3));
}

bool SqPushNewMatrix4(HSQUIRRELVM v, const zMatrix4& value)
{
    return SqPushNewInstance(v, "Matrix4", kSqMatrix4TypeTag, &value, sizeof(zMatrix4));
}

bool SqRegisterMatrixClasses(HSQUIRRELVM v)
{
    const SqClassDesc matrix3Class = {"Matrix3", nullptr, Matrix3Methods, kSqMatrix3TypeTag};
    const SqClassDesc matrix4Class = {"Matrix4", nullptr, Matrix4Methods, kSqMatrix4TypeTag};
    return SqRegisterMathClass(v, matrix3Class, sizeof(zMatrix3)) && SqRegisterMathClass(v, matrix4Class, sizeof(zMatrix4));
}
