#include "object.h"

#include <cstdlib>
#include <new>

#include "array.h"
#include "classes.h"
#include "fiber.h"
#include "function.h"
#include "runtime.h"
#include "strings.h"
#include "table.h"
#include "userdata.h"

namespace nut {

void *AllocObject(Runtime *, size_t size)
{
    void *p = malloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}

void LinkCollectable(Runtime *rt, GcObject *o)
{
    o->gcPrev = nullptr;
    o->gcNext = rt->gcList;
    if (rt->gcList) rt->gcList->gcPrev = o;
    rt->gcList = o;
}

static void Unlink(GcObject *o)
{
    Runtime *rt = o->rt;
    if (o->gcPrev)
        o->gcPrev->gcNext = o->gcNext;
    else
        rt->gcList = o->gcNext;
    if (o->gcNext) o->gcNext->gcPrev = o->gcPrev;
}

WeakRef *GetWeakRef(const Value &v)
{
    Object *o = v.AsObject();
    if (!o->weak) {
        WeakRef *w = new (AllocObject(o->rt, sizeof(WeakRef))) WeakRef();
        w->kind = Kind::WeakRef;
        w->rt = o->rt;
        w->target = o;
        w->targetKind = v.kind();
        o->weak = w;
    }
    return o->weak;
}

const char *KindName(Kind k)
{
    switch (k) {
    case Kind::Null: return "null";
    case Kind::Bool: return "bool";
    case Kind::Int: return "integer";
    case Kind::Float: return "float";
    case Kind::UserPointer:
    case Kind::UserData: return "userdata";
    case Kind::String: return "string";
    case Kind::Table: return "table";
    case Kind::Array: return "array";
    case Kind::Closure:
    case Kind::NativeClosure:
    case Kind::Proto: return "function";
    case Kind::Generator: return "generator";
    case Kind::Thread: return "thread";
    case Kind::Class: return "class";
    case Kind::Instance: return "instance";
    case Kind::WeakRef: return "weakref";
    case Kind::Upvalue: return "outer";
    }
    return "unknown";
}

static void Destroy(Object *o)
{
    if (o->weak) {
        o->weak->target = nullptr;
        o->weak = nullptr;
    }
    switch (o->kind) {
    case Kind::String: {
        Str *s = static_cast<Str *>(o);
        s->rt->strings.Remove(s);
        s->~Str();
        free(s);
        break;
    }
    case Kind::Table: {
        Table *t = static_cast<Table *>(o);
        DestroyTable(t);
        Unlink(t);
        t->~Table();
        free(t);
        break;
    }
    case Kind::Array: {
        Array *a = static_cast<Array *>(o);
        Unlink(a);
        a->~Array();
        free(a);
        break;
    }
    case Kind::Closure: {
        Closure *c = static_cast<Closure *>(o);
        ClearClosure(c);
        Unlink(c);
        for (uint32_t i = 0; i < c->nups + c->ndefaults; i++) c->slots[i].~Value();
        if (c->env) ReleaseObject(c->env);
        if (c->root) ReleaseObject(c->root);
        ReleaseObject(c->proto);
        free(c);
        break;
    }
    case Kind::NativeClosure: {
        NativeClosure *c = static_cast<NativeClosure *>(o);
        Unlink(c);
        for (uint32_t i = 1; i < c->nfree; i++) c->freeVars[i].~Value();
        if (c->env) ReleaseObject(c->env);
        c->~NativeClosure();
        free(c);
        break;
    }
    case Kind::Generator: {
        Generator *g = static_cast<Generator *>(o);
        ClearGenerator(g);
        Unlink(g);
        g->~Generator();
        free(g);
        break;
    }
    case Kind::UserData: {
        UserData *u = static_cast<UserData *>(o);
        if (u->hook) u->hook(u->Payload(), u->size);
        Unlink(u);
        if (Table *d = u->delegate) {
            u->delegate = nullptr;
            ReleaseObject(d);
        }
        u->~UserData();
        free(u);
        break;
    }
    case Kind::Thread: {
        Fiber *f = static_cast<Fiber *>(o);
        if (f->releaseHook) {
            SQRELEASEHOOK hook = f->releaseHook;
            f->releaseHook = nullptr;
            hook(f->foreign, 0);
        }
        f->Clear();
        Unlink(f);
        delete static_cast<SQVM *>(f);
        break;
    }
    case Kind::Class: {
        Class *c = static_cast<Class *>(o);
        if (c->hook) c->hook(c->typeTag, 0);
        ClearClass(c);
        Unlink(c);
        ReleaseObject(c->members);
        c->~Class();
        free(c);
        break;
    }
    case Kind::Instance: {
        Instance *inst = static_cast<Instance *>(o);
        if (inst->hook) {
            SQRELEASEHOOK hook = inst->hook;
            inst->hook = nullptr;
            hook(inst->up, 0);
        }
        Unlink(inst);
        for (uint32_t i = 0; i < inst->nfields; i++) inst->fields[i].SetNull();
        for (uint32_t i = 1; i < inst->nfields; i++) inst->fields[i].~Value();
        Class *c = inst->cls;
        inst->~Instance();
        free(inst);
        ReleaseObject(c);
        break;
    }
    case Kind::WeakRef: {
        WeakRef *w = static_cast<WeakRef *>(o);
        if (w->target) w->target->weak = nullptr;
        w->~WeakRef();
        free(w);
        break;
    }
    case Kind::Proto: {
        Proto *p = static_cast<Proto *>(o);
        p->~Proto();
        free(p);
        break;
    }
    case Kind::Upvalue: {
        Upvalue *u = static_cast<Upvalue *>(o);
        Unlink(u);
        u->~Upvalue();
        free(u);
        break;
    }
    default: break;
    }
}

void FreeObject(Object *o)
{
    Runtime *rt = o->rt;
    try {
        rt->dying.push_back(o);
    } catch (std::bad_alloc &) {
        // Out of memory for the queue itself: free this one on the spot (this runs in
        // destructors, which must not throw); what it frees makes room for the rest.
        Destroy(o);
        return;
    }
    if (rt->freeing) return;
    rt->freeing = true;
    while (!rt->dying.empty()) {
        Object *d = rt->dying.back();
        rt->dying.pop_back();
        Destroy(d);
    }
    rt->freeing = false;
}

} // namespace nut

namespace nut {

Array *Array::New(Runtime *rt, SQInteger size)
{
    if (size > kMaxArraySize) throw std::bad_alloc();
    Array *a = new (AllocObject(rt, sizeof(Array))) Array();
    a->kind = Kind::Array;
    a->rt = rt;
    if (size > 0) {
        try {
            a->items.resize(static_cast<size_t>(size));
        } catch (...) {
            a->~Array();
            free(a);
            throw;
        }
    }
    LinkCollectable(rt, a);
    return a;
}

UserData *UserData::New(Runtime *rt, SQInteger size)
{
    if (size < 0 || size > kMaxStringLength) throw std::bad_alloc();
    UserData *u = new (AllocObject(rt, PayloadOffset() + static_cast<size_t>(size))) UserData();
    u->kind = Kind::UserData;
    u->rt = rt;
    u->size = size;
    memset(u->Payload(), 0, static_cast<size_t>(size));
    LinkCollectable(rt, u);
    return u;
}

} // namespace nut
