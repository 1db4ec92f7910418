#include "function.h"

#include <cstdlib>
#include <cstring>
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
    c->plainArgs = p->varargs || p->generator ? ~0u : static_cast<uint32_t>(p->params.size());
    c->nups = nups;
    c->ndefaults = ndef;
    c->SetRoot(root);
    LinkCollectable(rt, c);
    return c;
}

void Closure::BindEnv(WeakRef *w)
{
    if (w) w->refs++;
    if (env) ReleaseObject(env);
    env = w;
    plainArgs = w || proto->varargs || proto->generator ? ~0u : static_cast<uint32_t>(proto->params.size());
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
    c->BindEnv(env);
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
    c->SetTypeMask({});
    LinkCollectable(rt, c);
    return c;
}

NativeClosure *NativeClosure::Clone() const
{
    NativeClosure *c = New(rt, fn, nfree);
    for (uint32_t i = 0; i < nfree; i++) c->freeVars[i] = freeVars[i];
    c->SetParamCheck(paramCheck);
    c->typeMask = typeMask;
    c->kindMask = kindMask;
    for (size_t i = 0; i < 4; i++) c->headMask[i] = headMask[i];
    c->headCount = headCount;
    memcpy(c->headAllow, headAllow, sizeof(headAllow));
    c->name = name;
    c->env = env;
    if (env) env->refs++;
    return c;
}

void NativeClosure::SetTypeMask(std::vector<SQInteger> masks)
{
    static const SQInteger kRawBits[kKindCount] = {
        _RT_NULL,  _RT_BOOL,   _RT_INTEGER, _RT_FLOAT,    _RT_USERPOINTER, _RT_STRING,   _RT_TABLE,     _RT_ARRAY,
        _RT_CLOSURE, _RT_NATIVECLOSURE, _RT_GENERATOR, _RT_USERDATA, _RT_THREAD, _RT_CLASS, _RT_INSTANCE, _RT_WEAKREF,
        _RT_FUNCPROTO, _RT_OUTER};
    static_assert(kKindCount <= 32, "a kind mask holds every kind");
    kindMask.assign(masks.size(), 0);
    for (size_t i = 0; i < masks.size(); i++)
        for (int k = 0; k < kKindCount; k++)
            if (kRawBits[k] & masks[i]) kindMask[i] |= 1u << k;
    size_t n = kindMask.size();
    const uint32_t all = (1u << kKindCount) - 1;
    while (n > 0 && kindMask[n - 1] == all) n--;
    kindMask.resize(n);
    for (size_t i = 0; i < 4; i++) headMask[i] = i < n ? kindMask[i] : ~0u;
    headCount = n <= 4 ? static_cast<uint32_t>(n) : ~0u;
    for (size_t i = 0; i < 4; i++)
        for (int k = 0; k < kKindCount; k++) headAllow[i][k] = (headMask[i] >> k) & 1u;
    typeMask = std::move(masks);
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
