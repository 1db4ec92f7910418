#include "function.h"

#include <cstdlib>
#include <new>

#include "classes.h"
#include "runtime.h"

namespace nut {

Proto *Proto::New(Runtime *rt)
{
    Proto *p = new (AllocObject(rt, sizeof(Proto))) Proto();
    p->kind = Kind::Proto;
    p->rt = rt;
    return p;
}

Closure *Closure::New(Runtime *rt, Proto *p, WeakRef *root)
{
    uint32_t nups = static_cast<uint32_t>(p->upvals.size());
    uint32_t ndef = static_cast<uint32_t>(p->defaultRegs.size());
    uint32_t n = nups + ndef;
    size_t size = sizeof(Closure) + (n > 1 ? n - 1 : 0) * sizeof(Value);
    Closure *c = new (AllocObject(rt, size)) Closure();
    for (uint32_t i = 1; i < n; i++) new (&c->slots[i]) Value();
    c->kind = Kind::Closure;
    c->rt = rt;
    c->proto = p;
    p->refs++;
    c->nups = nups;
    c->ndefaults = ndef;
    c->SetRoot(root);
    LinkCollectable(rt, c);
    return c;
}

void Closure::SetRoot(WeakRef *r)
{
    if (r) r->refs++;
    if (root) ReleaseObject(root);
    root = r;
}

Closure *Closure::Clone() const
{
    Closure *c = New(rt, proto, root);
    for (uint32_t i = 0; i < nups + ndefaults; i++) c->slots[i] = slots[i];
    c->env = env;
    if (env) env->refs++;
    c->base = base;
    if (base) base->refs++;
    return c;
}

void ClearClosure(Closure *c)
{
    for (uint32_t i = 0; i < c->nups + c->ndefaults; i++) c->slots[i].SetNull();
    if (Class *b = c->base) {
        c->base = nullptr;
        ReleaseObject(b);
    }
}

NativeClosure *NativeClosure::New(Runtime *rt, SQFUNCTION fn, uint32_t nfree)
{
    size_t size = sizeof(NativeClosure) + (nfree > 1 ? nfree - 1 : 0) * sizeof(Value);
    NativeClosure *c = new (AllocObject(rt, size)) NativeClosure();
    for (uint32_t i = 1; i < nfree; i++) new (&c->freeVars[i]) Value();
    c->kind = Kind::NativeClosure;
    c->rt = rt;
    c->fn = fn;
    c->nfree = nfree;
    LinkCollectable(rt, c);
    return c;
}

NativeClosure *NativeClosure::Clone() const
{
    NativeClosure *c = New(rt, fn, nfree);
    for (uint32_t i = 0; i < nfree; i++) c->freeVars[i] = freeVars[i];
    c->paramCheck = paramCheck;
    c->typeMask = typeMask;
    c->name = name;
    c->env = env;
    if (env) env->refs++;
    return c;
}

void ClearNativeClosure(NativeClosure *c)
{
    for (uint32_t i = 0; i < c->nfree; i++) c->freeVars[i].SetNull();
}

Generator *Generator::New(Runtime *rt, Closure *c)
{
    Generator *g = new (AllocObject(rt, sizeof(Generator))) Generator();
    g->kind = Kind::Generator;
    g->rt = rt;
    g->closure = Value::Ref(Kind::Closure, c);
    LinkCollectable(rt, g);
    return g;
}

void CloseGeneratorUpvalues(Generator *g)
{
    while (Upvalue *u = g->openUps) {
        g->openUps = u->nextOpen;
        u->closed = *u->loc;
        u->loc = &u->closed;
        u->nextOpen = nullptr;
        ReleaseObject(u);
    }
}

void Generator::Kill()
{
    state = State::Dead;
    CloseGeneratorUpvalues(this);
    saved.clear();
    traps.clear();
    closure.SetNull();
}

void ClearGenerator(Generator *g)
{
    CloseGeneratorUpvalues(g);
    std::vector<Value> drop;
    drop.swap(g->saved);
    g->traps.clear();
    g->closure.SetNull();
}

} // namespace nut
