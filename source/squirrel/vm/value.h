// Script values. A Value is a kind tag plus one machine word; reference kinds own one
// strong reference to their object, released when the Value is overwritten or destroyed.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include <squirrel.h>

namespace nut {

// Plain kinds first, so "is a reference" is one comparison.
enum class Kind : uint8_t {
    Null,
    Bool,
    Int,
    Float,
    UserPointer,
    String,
    Table,
    Array,
    Closure,
    NativeClosure,
    Generator,
    UserData,
    Thread,
    Class,
    Instance,
    WeakRef,
    Proto,
    Upvalue,
};
constexpr int kKindCount = static_cast<int>(Kind::Upvalue) + 1;

constexpr bool IsRefKind(Kind k) { return k >= Kind::String; }

struct Object;
void FreeObject(Object *o); // frees an object whose count reached zero

// Drops one strong reference; frees at zero. Inline, as every overwritten register pays
// for it: the count is the first word of every object (checked in object.h).
inline void ReleaseObject(Object *o)
{
    uint32_t &refs = *reinterpret_cast<uint32_t *>(o);
    if (--refs == 0) FreeObject(o);
}

class Value
{
public:
    Value() noexcept : kind_(Kind::Null), bits_(0) {}
    Value(const Value &o) noexcept : kind_(o.kind_), bits_(o.bits_)
    {
        if (IsRefKind(kind_)) Retain();
    }
    Value(Value &&o) noexcept : kind_(o.kind_), bits_(o.bits_)
    {
        o.kind_ = Kind::Null;
        o.bits_ = 0;
    }
    ~Value()
    {
        if (IsRefKind(kind_)) ReleaseObject(obj_);
    }
    Value &operator=(const Value &o) noexcept
    {
        if (IsRefKind(o.kind_)) o.Retain();
        Kind oldKind = kind_;
        Object *old = obj_;
        kind_ = o.kind_;
        bits_ = o.bits_;
        if (IsRefKind(oldKind)) ReleaseObject(old);
        return *this;
    }
    Value &operator=(Value &&o) noexcept
    {
        if (this != &o) {
            Kind oldKind = kind_;
            Object *old = obj_;
            kind_ = o.kind_;
            bits_ = o.bits_;
            o.kind_ = Kind::Null;
            o.bits_ = 0;
            if (IsRefKind(oldKind)) ReleaseObject(old);
        }
        return *this;
    }

    static Value Int(SQInteger i) { return Value(Kind::Int, static_cast<uint64_t>(static_cast<uint32_t>(i))); }
    static Value Float(SQFloat f)
    {
        uint32_t b;
        memcpy(&b, &f, sizeof(b));
        return Value(Kind::Float, b);
    }
    static Value Bool(bool b) { return Value(Kind::Bool, b ? 1 : 0); }
    static Value UserPtr(void *p) { return Value(Kind::UserPointer, reinterpret_cast<uintptr_t>(p)); }
    // Takes a new strong reference to `o`, whose kind is `k`.
    static Value Ref(Kind k, Object *o);
    // Takes over a strong reference to `o` that the caller already added.
    static Value Adopt(Kind k, Object *o) { return Value(k, reinterpret_cast<uintptr_t>(o)); }

    void SetInt(SQInteger i) { Assign(Kind::Int, static_cast<uint32_t>(i)); }
    void SetFloat(SQFloat f)
    {
        uint32_t b;
        memcpy(&b, &f, sizeof(b));
        Assign(Kind::Float, b);
    }
    void SetBool(bool b) { Assign(Kind::Bool, b ? 1 : 0); }
    void SetNull() { Assign(Kind::Null, 0); }

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsInt() const { return kind_ == Kind::Int; }
    bool IsFloat() const { return kind_ == Kind::Float; }
    bool IsNumber() const { return kind_ == Kind::Int || kind_ == Kind::Float; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsRef() const { return IsRefKind(kind_); }

    SQInteger AsInt() const { return i_; }
    SQFloat AsFloat() const { return f_; }
    bool AsBool() const { return i_ != 0; }
    void *AsUserPointer() const { return p_; }
    Object *AsObject() const { return obj_; }
    template <typename T> T *As() const { return static_cast<T *>(obj_); }
    uint64_t Bits() const { return bits_; }

    // Numbers converted either way; callers check IsNumber() first.
    SQFloat ToFloat() const { return kind_ == Kind::Int ? static_cast<SQFloat>(i_) : f_; }
    SQInteger ToInt() const;

    // Same kind and same payload: the identity used for table keys and `==`.
    bool SameAs(const Value &o) const { return kind_ == o.kind_ && bits_ == o.bits_; }

    // False values: null, false, 0, 0.0 and -0.0.
    bool IsFalsy() const
    {
        switch (kind_) {
        case Kind::Null: return true;
        case Kind::Bool:
        case Kind::Int: return i_ == 0;
        case Kind::Float: return f_ == 0.0f;
        default: return false;
        }
    }

private:
    friend struct ApiViewCheck; // checks the layout the C API's inline readers rely on
    Value(Kind k, uint64_t bits) : kind_(k), bits_(bits) {}
    void Retain() const;
    void Assign(Kind k, uint64_t bits)
    {
        Kind oldKind = kind_;
        Object *old = obj_;
        kind_ = k;
        bits_ = bits;
        if (IsRefKind(oldKind)) ReleaseObject(old);
    }

    Kind kind_;
    union {
        SQInteger i_;
        SQFloat f_;
        void *p_;
        Object *obj_;
        uint64_t bits_;
    };
};

static_assert(sizeof(void *) <= sizeof(uint64_t), "object pointers fit the payload word");

// Float to integer as the hardware truncation does it: out of range and NaN give INT_MIN.
inline SQInteger FloatToInt(SQFloat f)
{
    if (!(f > -2147483649.0f && f < 2147483648.0f)) return static_cast<SQInteger>(0x80000000u);
    return static_cast<SQInteger>(f);
}

inline SQInteger Value::ToInt() const { return kind_ == Kind::Float ? FloatToInt(f_) : i_; }

} // namespace nut
