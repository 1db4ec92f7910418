#include "manager_binding/zBindMathInternal.h"

#include <cstdio>

#include "framework/system/zLogStream.h"

namespace {

// What differs between the two matrix classes; everything else is shared.
template <class M> struct MatrixKind;
template <> struct MatrixKind<zMatrix3> {
    static constexpr int Size = 3;
    static constexpr const char* Name = "Matrix3";
    static SQUserPointer Tag() { return kSqMatrix3TypeTag; }
    static SQInteger Return(HSQUIRRELVM v, const zMatrix3& m) { return SqReturnMatrix3(v, m); }
    static zVector Row(const zMatrix3& m, int i) { return m.GetRow(i); }
    static zVector Column(const zMatrix3& m, int i) { return m.GetColumn(i); }
    static void SetRow(zMatrix3& m, int i, const zVector& r) { m.SetRow(i, r); }
    static void SetColumn(zMatrix3& m, int i, const zVector& c) { m.SetColumn(i, c); }
};
// Rows and columns of a 4x4 matrix read and write all four elements; a
// vector's w is taken as 1 when written.
template <> struct MatrixKind<zMatrix4> {
    static constexpr int Size = 4;
    static constexpr const char* Name = "Matrix4";
    static SQUserPointer Tag() { return kSqMatrix4TypeTag; }
    static SQInteger Return(HSQUIRRELVM v, const zMatrix4& m) { return SqReturnMatrix4(v, m); }
    static zVector Row(const zMatrix4& m, int i) { return m.GetRow(i, true); }
    static zVector Column(const zMatrix4& m, int i) { return m.GetColumn(i, true); }
    static void SetRow(zMatrix4& m, int i, const zVector& r) { m.SetRow(i, r, true); }
    static void SetColumn(zMatrix4& m, int i, const zVector& c) { m.SetColumn(i, c, true); }
};

template <class M> bool GetMatrix(HSQUIRRELVM v, SQInteger idx, M*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstance(v, idx, MatrixKind<M>::Tag(), &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, idx == 1 ? fetch : zSqFetch::WrongType);
        return false;
    }
    out = static_cast<M*>(p);
    return true;
}

// The instance a constructor or "_cloned" fills, whose value is not made yet.
template <class M> bool GetMatrixToFill(HSQUIRRELVM v, M*& out)
{
    void* p = nullptr;
    const zSqFetch fetch = SqFetchInstanceToFill(v, 1, MatrixKind<M>::Tag(), &p);
    if (fetch != zSqFetch::Ok) {
        SqInstanceError(v, fetch);
        return false;
    }
    out = static_cast<M*>(p);
    return true;
}

bool GetMatrix3(HSQUIRRELVM v, SQInteger idx, zMatrix3*& out) { return GetMatrix(v, idx, out); }
bool GetMatrix4(HSQUIRRELVM v, SQInteger idx, zMatrix4*& out) { return GetMatrix(v, idx, out); }

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
bool CheckIndex(HSQUIRRELVM v, const char* type, const char* method, const char* what, int size, SQInteger& index)
{
    index = -1;
    sq_getinteger(v, 2, &index);
    if (index >= 0 && index < size)
        return true;
    char message[128];
    std::snprintf(message, sizeof(message), "%s::%s(): %s index %d out of range (0 to %d)", type, method, what,
                  static_cast<int>(index), size - 1);
    sq_throwerror(v, message);
    return false;
}

// --- Shared by both classes ---

template <class M> SQInteger MatrixTypeOf(HSQUIRRELVM v)
{
    sq_pushstring(v, MatrixKind<M>::Name, -1);
    return 1;
}

// No arguments: the identity; Size vectors: the rows; Size x Size numbers,
// row by row.
template <class M> SQInteger MatrixConstructor(HSQUIRRELVM v)
{
    constexpr int Size = MatrixKind<M>::Size;
    const SQInteger top = sq_gettop(v);
    M* self;
    if (!GetMatrixToFill(v, self))
        return SQ_ERROR;
    M m;
    char message[64];
    if (top == Size + 1) {
        for (int k = 0; k < Size; ++k) {
            void* p = nullptr;
            const zSqFetch fetch = SqFetchInstance(v, 2 + k, kSqVectorTypeTag, &p);
            if (fetch == zSqFetch::WrongType)
                return sq_throwerror(v, "invalid instance type");
            if (fetch == zSqFetch::NoStorage) {
                std::snprintf(message, sizeof(message), "%s() invalid parameters", MatrixKind<M>::Name);
                return sq_throwerror(v, message);
            }
            m.SetRow(k, *static_cast<zVector*>(p));
        }
    } else if (top == Size * Size + 1) {
        for (int k = 0; k < Size * Size; ++k)
            m.m[k / Size + Size * (k % Size)] = SqArgFloat(v, 2 + k);
    } else if (top != 1) {
        std::snprintf(message, sizeof(message), "%s() wrong parameter count", MatrixKind<M>::Name);
        return sq_throwerror(v, message);
    }
    *self = m;
    SqMarkInstanceMade(v, 1, MatrixKind<M>::Tag(), self);
    return 0;
}

// Not in the classes' original method tables: without it a clone would come
// out as a zero matrix instead of a copy.
template <class M> SQInteger MatrixCloned(HSQUIRRELVM v)
{
    M* self;
    M* source;
    if (!GetMatrixToFill(v, self) || !GetMatrix(v, 2, source))
        return SQ_ERROR;
    *self = *source;
    SqMarkInstanceMade(v, 1, MatrixKind<M>::Tag(), self);
    return 0;
}

template <class M> SQInteger MatrixGet(HSQUIRRELVM v)
{
    M* self;
    if (!GetMatrix(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, MatrixKind<M>::Size);
    if (element < 0)
        return SQ_ERROR;
    sq_pushfloat(v, self->m[element]);
    return 1;
}

template <class M> SQInteger MatrixSet(HSQUIRRELVM v)
{
    M* self;
    if (!GetMatrix(v, 1, self))
        return SQ_ERROR;
    const int element = ElementOfKey(v, MatrixKind<M>::Size);
    if (element < 0)
        return SQ_ERROR;
    self->m[element] = SqArgFloat(v, 3);
    sq_pushfloat(v, self->m[element]);
    return 1;
}

template <class M> SQInteger MatrixMul(HSQUIRRELVM v)
{
    M* a;
    M* b;
    if (!GetMatrix(v, 1, a) || !GetMatrix(v, 2, b))
        return SQ_ERROR;
    return MatrixKind<M>::Return(v, *a * *b);
}

template <class M> SQInteger MatrixGetRow(HSQUIRRELVM v)
{
    M* self;
    SQInteger i;
    if (!GetMatrix(v, 1, self) || !CheckIndex(v, MatrixKind<M>::Name, "GetRow", "row", MatrixKind<M>::Size, i))
        return SQ_ERROR;
    return SqReturnVector(v, MatrixKind<M>::Row(*self, static_cast<int>(i)));
}

template <class M> SQInteger MatrixSetRow(HSQUIRRELVM v)
{
    M* self;
    zVector* row;
    SQInteger i;
    if (!GetMatrix(v, 1, self) || !CheckIndex(v, MatrixKind<M>::Name, "SetRow", "row", MatrixKind<M>::Size, i) ||
        !GetVectorArg(v, 3, row))
        return SQ_ERROR;
    MatrixKind<M>::SetRow(*self, static_cast<int>(i), *row);
    return 0;
}

template <class M> SQInteger MatrixGetColumn(HSQUIRRELVM v)
{
    M* self;
    SQInteger i;
    if (!GetMatrix(v, 1, self) ||
        !CheckIndex(v, MatrixKind<M>::Name, "GetColumn", "column", MatrixKind<M>::Size, i))
        return SQ_ERROR;
    return SqReturnVector(v, MatrixKind<M>::Column(*self, static_cast<int>(i)));
}

template <class M> SQInteger MatrixSetColumn(HSQUIRRELVM v)
{
    M* self;
    zVector* column;
    SQInteger i;
    if (!GetMatrix(v, 1, self) ||
        !CheckIndex(v, MatrixKind<M>::Name, "SetColumn", "column", MatrixKind<M>::Size, i) ||
        !GetVectorArg(v, 3, column))
        return SQ_ERROR;
    MatrixKind<M>::SetColumn(*self, static_cast<int>(i), *column);
    return 0;
}

// --- Matrix4 ---

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
    {"_typeof", MatrixTypeOf<zMatrix4>, 1, nullptr},
    {"constructor", MatrixConstructor<zMatrix4>, -1, ". n|x n|x n|x n|x nnnnn"},
    {"_cloned", MatrixCloned<zMatrix4>, 2, ".x"},
    {"_get", MatrixGet<zMatrix4>, 2, "xs"},
    {"_set", MatrixSet<zMatrix4>, 3, "xsn"},
    {"_mul", MatrixMul<zMatrix4>, 2, "xx"},
    {"GetRow", MatrixGetRow<zMatrix4>, 2, "xi"},
    {"SetRow", MatrixSetRow<zMatrix4>, 3, "xix"},
    {"GetColumn", MatrixGetColumn<zMatrix4>, 2, "xi"},
    {"SetColumn", MatrixSetColumn<zMatrix4>, 3, "xix"},
    {"AsMatrix3", Matrix4AsMatrix3, 1, "x"},
    {"Print", Matrix4Print, -1, "x"},
    {"RotationFromMatrix3", Matrix4RotationFromMatrix3, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

// --- Matrix3 ---

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
    {"_typeof", MatrixTypeOf<zMatrix3>, 1, nullptr},
    {"constructor", MatrixConstructor<zMatrix3>, -1, ". n|x n|x n|x nnn nnn"},
    {"_cloned", MatrixCloned<zMatrix3>, 2, ".x"},
    {"_get", MatrixGet<zMatrix3>, 2, "xs"},
    {"_set", MatrixSet<zMatrix3>, 3, "xsn"},
    {"_mul", MatrixMul<zMatrix3>, 2, "xx"},
    {"GetRow", MatrixGetRow<zMatrix3>, 2, "xi"},
    {"SetRow", MatrixSetRow<zMatrix3>, 3, "xix"},
    {"GetColumn", MatrixGetColumn<zMatrix3>, 2, "xi"},
    {"SetColumn", MatrixSetColumn<zMatrix3>, 3, "xix"},
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
