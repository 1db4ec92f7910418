#include "table.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "runtime.h"

namespace nut {

uint32_t HashKey(const Value &key)
{
    switch (key.kind()) {
    case Kind::String: return TableHash(key.As<Str>());
    case Kind::Bool:
    case Kind::Int: return static_cast<uint32_t>(key.AsInt());
    case Kind::Float: return static_cast<uint32_t>(FloatToInt(key.AsFloat()));
    default: {
        // Objects and pointers: their order cannot be reproduced anyway, so spread the
        // aligned addresses over the whole table instead of piling them on one chain.
        uint64_t x = key.Bits();
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return static_cast<uint32_t>(x);
    }
    }
}

void Table::NewLayout() { layout = ++rt->layoutClock; }

void Table::AllocNodes(uint32_t n)
{
    Node *fresh = static_cast<Node *>(malloc(sizeof(Node) * n));
    if (!fresh) throw std::bad_alloc();
    for (uint32_t i = 0; i < n; i++) new (&fresh[i]) Node{Value(), Value(), nullptr, 0};
    nodes = fresh;
    size = n;
    firstFree = &fresh[n - 1];
    NewLayout();
}

Table *Table::New(Runtime *rt, SQInteger sizeHint)
{
    uint32_t n = 4;
    while (n < 0x40000000u && static_cast<int64_t>(n) < static_cast<int64_t>(sizeHint)) n <<= 1;
    Table *t = new (AllocObject(rt, sizeof(Table))) Table();
    t->kind = Kind::Table;
    t->rt = rt;
    try {
        t->AllocNodes(n);
    } catch (...) {
        t->~Table();
        free(t);
        throw;
    }
    LinkCollectable(rt, t);
    return t;
}

Table *Table::CloneOf(Runtime *rt, const Table *src)
{
    Table *t = New(rt, src->size);
    for (uint32_t i = 0; i < src->size; i++) {
        const Node &s = src->nodes[i];
        Node &d = t->nodes[i];
        d.key = s.key;
        d.val = s.val;
        d.next = s.next ? t->nodes + (s.next - src->nodes) : nullptr;
        d.hash = s.hash;
    }
    t->firstFree = t->nodes + (src->firstFree - src->nodes);
    t->used = src->used;
    t->NewLayout();
    return t;
}

Table::Node *Table::Find(const Value &key) const
{
    if (key.kind() == Kind::String) return FindString(key.As<Str>());
    if (key.IsNull()) return nullptr; // free nodes hold null keys
    Node *n = &nodes[HashKey(key) & (size - 1)];
    do {
        if (n->key.SameAs(key)) return n;
        n = n->next;
    } while (n);
    return nullptr;
}

// Places a key known to be absent: in its main position when that node is free;
// otherwise the free node under the cursor takes either the new key (chained after the
// main position) or the node squatting in the main position when that one belongs to
// another chain. The cursor then moves down to the next free node; when none is left the
// table is rebuilt and the value stored afterwards.
void Table::Insert(Value &&key, Value &&val, uint32_t hash)
{
    NewLayout();
    uint32_t mask = size - 1;
    Node *mp = &nodes[hash & mask];
    if (!mp->key.IsNull()) {
        Node *f = firstFree;
        Node *other = &nodes[mp->hash & mask];
        if (mp > f && other != mp) {
            while (other->next != mp) other = other->next;
            other->next = f;
            f->key = std::move(mp->key);
            f->val = std::move(mp->val);
            f->next = mp->next;
            f->hash = mp->hash;
            mp->next = nullptr;
        } else {
            f->next = mp->next;
            mp->next = f;
            mp = f;
        }
    }
    mp->key = std::move(key);
    mp->hash = hash;
    for (;;) {
        if (firstFree->key.IsNull() && !firstFree->next) {
            mp->val = std::move(val);
            used++;
            return;
        }
        if (firstFree == nodes) break;
        firstFree--;
    }
    // The key is already placed (without its value) and is carried over by the rebuild.
    // A rebuild that finds no memory changes nothing: the key is then cleared again, as a
    // delete would, so the failed insert leaves no half-made entry.
    Value k = mp->key;
    try {
        Rehash(true);
    } catch (...) {
        mp->key.SetNull();
        throw;
    }
    Find(k)->val = std::move(val);
}

// Grows past 3/4 full, shrinks below 1/4, or rebuilds at the same size when forced; the
// old nodes are reinserted in index order.
void Table::Rehash(bool force)
{
    uint32_t oldSize = size;
    uint32_t newSize;
    if (used >= oldSize - oldSize / 4) {
        if (oldSize >= 0x40000000u) throw std::bad_alloc();
        newSize = oldSize * 2;
    } else if (used <= oldSize / 4 && oldSize > 4) {
        newSize = oldSize / 2;
    } else if (force) {
        newSize = oldSize;
    } else {
        return;
    }
    Node *old = nodes;
    AllocNodes(newSize);
    used = 0;
    for (uint32_t i = 0; i < oldSize; i++)
        if (!old[i].key.IsNull()) Insert(std::move(old[i].key), std::move(old[i].val), old[i].hash);
    for (uint32_t i = 0; i < oldSize; i++) old[i].~Node();
    free(old);
}

void Table::NewSlot(const Value &key, const Value &val)
{
    if (Node *e = Find(key)) {
        e->val = val;
        return;
    }
    Insert(Value(key), Value(val), HashKey(key));
}

bool Table::Remove(const Value &key)
{
    Node *n = Find(key);
    if (!n) return false;
    // Move the key and value out first: releasing them may run code that reads this table.
    Value k = std::move(n->key);
    Value v = std::move(n->val);
    NewLayout();
    used--;
    Rehash(false);
    return true;
}

void Table::DropAll()
{
    // Released values may run code that still reaches this table (cycle breaking): it is
    // already empty and whole by then.
    Node *old = nodes;
    uint32_t oldSize = size;
    AllocNodes(4);
    used = 0;
    for (uint32_t i = 0; i < oldSize; i++) old[i].~Node();
    free(old);
}

void Table::Clear()
{
    std::vector<Value> drop;
    drop.reserve(static_cast<size_t>(used) * 2);
    for (uint32_t i = 0; i < size; i++) {
        Node &n = nodes[i];
        if (!n.key.IsNull()) drop.push_back(std::move(n.key));
        if (!n.val.IsNull()) drop.push_back(std::move(n.val));
        n.next = nullptr;
    }
    used = 0;
    Rehash(true);
}

int32_t Table::Next(int32_t pos, Value &key, Value &val) const
{
    for (uint32_t i = static_cast<uint32_t>(pos + 1); i < size; i++) {
        if (!nodes[i].key.IsNull()) {
            key = nodes[i].key;
            val = Deref(nodes[i].val);
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void DestroyTable(Table *t)
{
    // Nothing can reach a table being destroyed (its weak reference is already cleared),
    // so the nodes are released where they are.
    for (uint32_t i = 0; i < t->size; i++) t->nodes[i].~Node();
    free(t->nodes);
    t->nodes = nullptr;
    t->size = 0;
    t->firstFree = nullptr;
    t->NewLayout();
    if (Table *d = t->delegate) {
        t->delegate = nullptr;
        ReleaseObject(d);
    }
}

} // namespace nut
