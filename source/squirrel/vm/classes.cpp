#include "classes.h"

#include <cstdlib>
#include <new>

#include "function.h"
#include "runtime.h"
#include "strings.h"
#include "table.h"

namespace nut {

const char *const kMetaMethodNames[MM_COUNT] = {
    "_add",  "_sub",   "_mul",     "_div",      "_modulo", "_unm",    "_set",      "_get",       "_typeof",
    "_nexti", "_cmp",  "_call",    "_cloned",   "_newslot", "_delslot", "_tostring", "_newmember", "_inherited"};

Class *Class::New(Runtime *rt, Class *base)
{
    Class *c = new (AllocObject(rt, sizeof(Class))) Class();
    c->kind = Kind::Class;
    c->rt = rt;
    c->members = base ? Table::CloneOf(rt, base->members) : Table::New(rt, 0);
    c->members->refs++;
    if (base) {
        // A derived class starts as a copy of its base.
        c->base = base;
        base->refs++;
        c->fields = base->fields;
        c->fieldAttrs = base->fieldAttrs;
        c->shared = base->shared;
        c->sharedAttrs = base->sharedAttrs;
        for (int i = 0; i < MM_COUNT; i++) c->meta[i] = base->meta[i];
        c->ctor = base->ctor;
        c->udSize = base->udSize;
    }
    LinkCollectable(rt, c);
    return c;
}

bool Class::Lookup(const Value &key, SQInteger &slot) const
{
    if (key.kind() != Kind::String) {
        Table::Entry *e = members->Find(key);
        if (!e) return false;
        slot = e->val.AsInt();
        return true;
    }
    Str *name = key.As<Str>();
    CachedSlot &c = slotCache[name->hash % kSlotCacheSize];
    if (c.key.AsObject() == name && c.key.IsString()) {
        slot = c.slot;
        return true;
    }
    Table::Entry *e = members->FindString(name);
    if (!e) return false;
    slot = e->val.AsInt();
    c.key = key;
    c.slot = slot;
    return true;
}

bool Class::Get(const Value &key, Value &out) const
{
    SQInteger slot;
    if (!Lookup(key, slot)) return false;
    out = IsFieldSlot(slot) ? Deref(fields[static_cast<size_t>(slot)]) : shared[static_cast<size_t>(SharedIndex(slot))];
    return true;
}

static int MetaIndexOf(Runtime *rt, const Value &key)
{
    if (!key.IsString()) return -1;
    for (int i = 0; i < MM_COUNT; i++)
        if (rt->metaNames[i].AsObject() == key.AsObject()) return i;
    return -1;
}

bool Class::AddMember(const Value &key, const Value &val, bool isStatic)
{
    // Closures and statics go to the shared slots; any other value is a field default.
    const bool isFunction = val.kind() == Kind::Closure || val.kind() == Kind::NativeClosure;
    const bool sharedSlot = isFunction || isStatic;
    if (locked && !sharedSlot) return false;
    SQInteger slot;
    const bool exists = Lookup(key, slot);
    if (exists && IsFieldSlot(slot)) {
        fields[static_cast<size_t>(slot)] = val;
        return true;
    }
    if (!sharedSlot) {
        // A new field, or one in place of a method or static of that name: no instance
        // exists yet (the class is not locked), so every one made from now on gets it.
        const SQInteger field = static_cast<SQInteger>(fields.size());
        members->NewSlot(key, Value::Int(field));
        fields.push_back(val);
        fieldAttrs.emplace_back();
        if (exists) {
            if (SharedIndex(slot) == ctor) ctor = -1;
            if (key.IsString()) {
                CachedSlot &c = slotCache[key.As<Str>()->hash % kSlotCacheSize];
                if (c.key.SameAs(key)) c.slot = field;
            }
        }
        return true;
    }
    int mm = isFunction ? MetaIndexOf(rt, key) : -1;
    if (mm >= 0) {
        meta[mm] = val;
        return true;
    }
    Value stored = val;
    if (base && val.kind() == Kind::Closure) {
        // Methods of a derived class carry the class `base` refers to inside them.
        Closure *m = val.As<Closure>()->Clone();
        stored = Value::Ref(Kind::Closure, m);
        if (m->base) ReleaseObject(m->base);
        m->base = base;
        base->refs++;
    }
    if (exists) {
        shared[static_cast<size_t>(SharedIndex(slot))] = stored;
        return true;
    }
    SQInteger idx = static_cast<SQInteger>(shared.size());
    if (key.SameAs(rt->ctorName)) ctor = idx;
    members->NewSlot(key, Value::Int(~idx));
    shared.push_back(stored);
    sharedAttrs.emplace_back();
    return true;
}

bool Class::GetAttributes(const Value &key, Value &out) const
{
    SQInteger slot;
    if (!Lookup(key, slot)) return false;
    out = IsFieldSlot(slot) ? fieldAttrs[static_cast<size_t>(slot)] : sharedAttrs[static_cast<size_t>(SharedIndex(slot))];
    return true;
}

bool Class::SetAttributes(const Value &key, const Value &val)
{
    SQInteger slot;
    if (!Lookup(key, slot)) return false;
    if (IsFieldSlot(slot))
        fieldAttrs[static_cast<size_t>(slot)] = val;
    else
        sharedAttrs[static_cast<size_t>(SharedIndex(slot))] = val;
    return true;
}

void Class::Lock()
{
    for (Class *c = this; c; c = c->base) c->locked = true;
}

void ClearClass(Class *c)
{
    std::vector<Value> a, b, d, e;
    a.swap(c->fields);
    b.swap(c->fieldAttrs);
    d.swap(c->shared);
    e.swap(c->sharedAttrs);
    for (int i = 0; i < MM_COUNT; i++) c->meta[i].SetNull();
    for (Class::CachedSlot &s : c->slotCache) s.key.SetNull();
    c->attributes.SetNull();
    if (Class *b0 = c->base) {
        c->base = nullptr;
        ReleaseObject(b0);
    }
}

static size_t InstanceSize(uint32_t nfields, SQInteger udSize, size_t &udOffset)
{
    size_t size = sizeof(Instance) + (nfields > 1 ? nfields - 1 : 0) * sizeof(Value);
    udOffset = (size + 15) & ~size_t(15);
    return udOffset + static_cast<size_t>(udSize);
}

Instance *Instance::New(Runtime *rt, Class *c)
{
    uint32_t n = static_cast<uint32_t>(c->fields.size());
    size_t udOffset;
    size_t size = InstanceSize(n, c->udSize, udOffset);
    Instance *inst = new (AllocObject(rt, size)) Instance();
    for (uint32_t i = 1; i < n; i++) new (&inst->fields[i]) Value();
    inst->kind = Kind::Instance;
    inst->rt = rt;
    inst->cls = c;
    c->refs++;
    inst->nfields = n;
    inst->allocSize = static_cast<uint32_t>(size);
    for (uint32_t i = 0; i < n; i++) inst->fields[i] = c->fields[i];
    if (c->udSize > 0) {
        inst->up = reinterpret_cast<char *>(inst) + udOffset;
        memset(inst->up, 0, static_cast<size_t>(c->udSize));
    }
    c->Lock();
    LinkCollectable(rt, inst);
    return inst;
}

Instance *Instance::Clone() const
{
    Instance *copy = New(rt, cls);
    for (uint32_t i = 0; i < nfields && i < copy->nfields; i++) copy->fields[i] = fields[i];
    return copy;
}

bool Instance::Get(const Value &key, Value &out) const
{
    SQInteger slot;
    if (!cls->Lookup(key, slot)) return false;
    out = IsFieldSlot(slot) ? Deref(fields[slot]) : cls->shared[static_cast<size_t>(SharedIndex(slot))];
    return true;
}

bool Instance::SetField(const Value &key, const Value &val)
{
    SQInteger slot;
    if (!cls->Lookup(key, slot) || !IsFieldSlot(slot)) return false;
    fields[slot] = val;
    return true;
}

bool Instance::InstanceOf(const Class *c) const
{
    for (const Class *k = cls; k; k = k->base)
        if (k == c) return true;
    return false;
}

} // namespace nut
