#include "runtime.h"

#include "array.h"
#include "fiber.h"
#include "function.h"
#include "table.h"
#include "userdata.h"

namespace nut {

void InstallDelegates(Runtime *rt); // the default delegates live with the library code

Runtime::Runtime()
{
    for (int i = 0; i < MM_COUNT; i++) metaNames[i] = String(kMetaMethodNames[i]);
    ctorName = String("constructor");
    registry = Value::Ref(Kind::Table, Table::New(this, 0));
    consts = Value::Ref(Kind::Table, Table::New(this, 0));
    InstallDelegates(this);
}

Runtime::~Runtime() = default;

void ClearObject(GcObject *o)
{
    switch (o->kind) {
    case Kind::Table: {
        Table *t = static_cast<Table *>(o);
        t->DropAll();
        if (Table *d = t->delegate) {
            t->delegate = nullptr;
            ReleaseObject(d);
        }
        break;
    }
    case Kind::Array: {
        std::vector<Value> drop;
        drop.swap(static_cast<Array *>(o)->items);
        break;
    }
    case Kind::Closure: ClearClosure(static_cast<Closure *>(o)); break;
    case Kind::NativeClosure: ClearNativeClosure(static_cast<NativeClosure *>(o)); break;
    case Kind::Generator: ClearGenerator(static_cast<Generator *>(o)); break;
    case Kind::UserData: {
        UserData *u = static_cast<UserData *>(o);
        if (Table *d = u->delegate) {
            u->delegate = nullptr;
            ReleaseObject(d);
        }
        break;
    }
    case Kind::Thread: static_cast<Fiber *>(o)->Clear(); break;
    case Kind::Class: ClearClass(static_cast<Class *>(o)); break;
    case Kind::Instance: {
        Instance *inst = static_cast<Instance *>(o);
        for (uint32_t i = 0; i < inst->nfields; i++) inst->fields[i].SetNull();
        break;
    }
    case Kind::Upvalue: {
        Upvalue *u = static_cast<Upvalue *>(o);
        if (u->loc == &u->closed) u->closed.SetNull();
        break;
    }
    default: break;
    }
}

void MarkValue(const Value &v, std::vector<GcObject *> &gray)
{
    switch (v.kind()) {
    case Kind::Table:
    case Kind::Array:
    case Kind::Closure:
    case Kind::NativeClosure:
    case Kind::Generator:
    case Kind::UserData:
    case Kind::Thread:
    case Kind::Class:
    case Kind::Instance:
    case Kind::Upvalue: {
        GcObject *o = v.As<GcObject>();
        if (!o->marked) {
            o->marked = true;
            gray.push_back(o);
        }
        break;
    }
    case Kind::Proto:
        for (const Value &c : v.As<Proto>()->consts) MarkValue(c, gray);
        break;
    default: break;
    }
}

static void MarkObject(GcObject *o, std::vector<GcObject *> &gray)
{
    if (o && !o->marked) {
        o->marked = true;
        gray.push_back(o);
    }
}

void MarkChildren(GcObject *o, std::vector<GcObject *> &gray)
{
    switch (o->kind) {
    case Kind::Table: {
        Table *t = static_cast<Table *>(o);
        MarkObject(t->delegate, gray);
        for (uint32_t i = 0; i < t->size; i++) {
            MarkValue(t->nodes[i].key, gray);
            MarkValue(t->nodes[i].val, gray);
        }
        break;
    }
    case Kind::Array:
        for (const Value &v : static_cast<Array *>(o)->items) MarkValue(v, gray);
        break;
    case Kind::Closure: {
        Closure *c = static_cast<Closure *>(o);
        for (uint32_t i = 0; i < c->nups + c->ndefaults; i++) MarkValue(c->slots[i], gray);
        MarkObject(c->base, gray);
        for (const Value &k : c->proto->consts) MarkValue(k, gray);
        break;
    }
    case Kind::NativeClosure: {
        NativeClosure *c = static_cast<NativeClosure *>(o);
        for (uint32_t i = 0; i < c->nfree; i++) MarkValue(c->freeVars[i], gray);
        break;
    }
    case Kind::Generator: {
        Generator *g = static_cast<Generator *>(o);
        MarkValue(g->closure, gray);
        for (const Value &v : g->saved) MarkValue(v, gray);
        for (Upvalue *u = g->openUps; u; u = u->nextOpen) MarkObject(u, gray);
        break;
    }
    case Kind::UserData: MarkObject(static_cast<UserData *>(o)->delegate, gray); break;
    case Kind::Thread: {
        Fiber *f = static_cast<Fiber *>(o);
        for (uint32_t i = 0; i < f->stackSize; i++) MarkValue(f->stack[i], gray);
        for (const Frame &fr : f->frames) MarkValue(fr.callee, gray);
        for (Upvalue *u = f->openUps; u; u = u->nextOpen) MarkObject(u, gray);
        MarkValue(f->rootTable, gray);
        MarkValue(f->lastError, gray);
        MarkValue(f->errorHandler, gray);
        MarkValue(f->debugHook, gray);
        break;
    }
    case Kind::Class: {
        Class *c = static_cast<Class *>(o);
        MarkObject(c->base, gray);
        MarkObject(c->members, gray);
        for (const Value &v : c->fields) MarkValue(v, gray);
        for (const Value &v : c->fieldAttrs) MarkValue(v, gray);
        for (const Value &v : c->shared) MarkValue(v, gray);
        for (const Value &v : c->sharedAttrs) MarkValue(v, gray);
        for (const Value &v : c->meta) MarkValue(v, gray);
        MarkValue(c->attributes, gray);
        break;
    }
    case Kind::Instance: {
        Instance *inst = static_cast<Instance *>(o);
        MarkObject(inst->cls, gray);
        for (uint32_t i = 0; i < inst->nfields; i++) MarkValue(inst->fields[i], gray);
        break;
    }
    case Kind::Upvalue: MarkValue(*static_cast<Upvalue *>(o)->loc, gray); break;
    default: break;
    }
}

void Runtime::MarkRoots(std::vector<GcObject *> &gray)
{
    MarkValue(mainFiber, gray);
    MarkValue(registry, gray);
    MarkValue(consts, gray);
    for (const Value &d : delegates) MarkValue(d, gray);
    for (auto &kv : hostRefs) MarkValue(kv.second.value, gray);
    for (const HeldValue *h = held; h; h = h->Outer()) MarkValue(h->value, gray);
}

static std::vector<GcObject *> FindUnreachable(Runtime *rt, void (Runtime::*markRoots)(std::vector<GcObject *> &))
{
    std::vector<GcObject *> gray;
    (rt->*markRoots)(gray);
    while (!gray.empty()) {
        GcObject *o = gray.back();
        gray.pop_back();
        MarkChildren(o, gray);
    }
    std::vector<GcObject *> dead;
    for (GcObject *o = rt->gcList; o; o = o->gcNext) {
        if (!o->marked) dead.push_back(o);
        o->marked = false;
    }
    return dead;
}

// Breaks the references among `objs` while holding them, then lets them go.
static void FreeAll(const std::vector<GcObject *> &objs)
{
    for (GcObject *o : objs) o->refs++;
    for (GcObject *o : objs) ClearObject(o);
    for (GcObject *o : objs) ReleaseObject(o);
}

SQInteger Runtime::CollectGarbage()
{
    std::vector<GcObject *> dead = FindUnreachable(this, &Runtime::MarkRoots);
    FreeAll(dead);
    return static_cast<SQInteger>(dead.size());
}

Value Runtime::Unreachable()
{
    std::vector<GcObject *> dead = FindUnreachable(this, &Runtime::MarkRoots);
    if (dead.empty()) return Value();
    Array *a = Array::New(this, 0);
    Value hold = Value::Ref(Kind::Array, a);
    for (GcObject *o : dead) a->items.push_back(Value::Ref(o->kind, o));
    return hold;
}

void Runtime::Shutdown()
{
    if (releaseHook) {
        SQRELEASEHOOK hook = releaseHook;
        releaseHook = nullptr;
        hook(foreign, 0);
    }
    std::vector<GcObject *> all;
    for (GcObject *o = gcList; o; o = o->gcNext) all.push_back(o);
    for (GcObject *o : all) o->refs++;
    for (GcObject *o : all) ClearObject(o);
    hostRefs.clear();
    registry.SetNull();
    consts.SetNull();
    mainFiber.SetNull();
    for (Value &d : delegates) d.SetNull();
    for (Value &m : metaNames) m.SetNull();
    ctorName.SetNull();
    for (GcObject *o : all) ReleaseObject(o);
    // Anything still listed is held only by non-collectable objects: free it anyway.
    while (gcList) {
        GcObject *o = gcList;
        o->refs = 1;
        ReleaseObject(o);
    }
}

} // namespace nut
