// The header every heap object starts with, and the object kinds without a file of
// their own. Objects are plain structs; freeing and marking dispatch on the kind.
//
// Lifetime: reference counting frees an object as soon as its last strong reference
// goes. Objects that can take part in a cycle are also linked into the runtime's list of
// collectables, so the cycle collector can find the ones no root reaches.
#pragma once

#include <cstddef>

#include "value.h"

namespace nut {

struct Runtime;
struct WeakRef;

struct Object {
    uint32_t refs = 0;
    Kind kind;
    bool marked = false; // set by the cycle collector while it runs
    WeakRef *weak = nullptr; // the single weak reference handed out for this object
    Runtime *rt;
};

static_assert(offsetof(Object, refs) == 0, "ReleaseObject finds the count in the first word");

struct GcObject : Object {
    GcObject *gcPrev = nullptr;
    GcObject *gcNext = nullptr;
};

// Weak references are shared: every holder of a weak reference to one object holds the
// same WeakRef, whose target is cleared when the object dies.
struct WeakRef : Object {
    Object *target;
    Kind targetKind;
    Value Get() const { return target ? Value::Ref(targetKind, target) : Value(); }
};

inline void Value::Retain() const { obj_->refs++; }

inline Value Value::Ref(Kind k, Object *o)
{
    o->refs++;
    return Value(k, reinterpret_cast<uintptr_t>(o));
}

// Allocates `size` bytes for an object of kind `k` and links collectable kinds into the
// runtime's list. The caller placement-constructs the object.
void *AllocObject(Runtime *rt, size_t size);
void LinkCollectable(Runtime *rt, GcObject *o);

// The weak reference for a reference value (created on first use).
WeakRef *GetWeakRef(const Value &v);

// Reads through weak references stored in containers.
inline Value Deref(const Value &v) { return v.kind() == Kind::WeakRef ? v.As<WeakRef>()->Get() : v; }

const char *KindName(Kind k);

} // namespace nut
