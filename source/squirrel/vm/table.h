// Hash tables laid out as chained scatter tables: a power-of-two array of nodes, each key
// chained from its main position (hash & (size - 1)); collisions take free nodes found by a
// cursor that walks down from the last node. Iteration walks the node array from index 0,
// so the order scripts see follows from the hashes and the insert/delete history exactly
// as the language's reference tables give it (scripts print and depend on that order).
#pragma once

#include "object.h"
#include "strings.h"

namespace nut {

struct Table : GcObject {
    struct Node {
        Value key; // null marks a free node (its `next` may still link a chain through it)
        Value val;
        Node *next;
        uint32_t hash; // HashKey(key) while the node holds a key: spares rehashing a pointer chase
    };
    using Entry = Node;

    // A table with room for `sizeHint` entries before it grows (at least 4 nodes).
    static Table *New(Runtime *rt, SQInteger sizeHint);
    // A copy with the same node layout, so it iterates in the same order; no delegate.
    // Class members are copied so; `clone` of a table inserts the entries afresh instead.
    static Table *CloneOf(Runtime *rt, const Table *src);

    Node *Find(const Value &key) const;
    Node *FindString(const Str *key) const
    {
        Node *n = &nodes[TableHash(key) & (size - 1)];
        do {
            if (n->key.Bits() == reinterpret_cast<uintptr_t>(key) && n->key.kind() == Kind::String) return n;
            n = n->next;
        } while (n);
        return nullptr;
    }
    // Values stored as weak references read back dereferenced.
    bool Get(const Value &key, Value &out) const
    {
        Node *e = Find(key);
        if (!e) return false;
        out = Deref(e->val);
        return true;
    }
    // Updates an existing slot only.
    bool Set(const Value &key, const Value &val)
    {
        Node *e = Find(key);
        if (!e) return false;
        e->val = val;
        return true;
    }
    // Creates or overwrites; the key must not be null.
    void NewSlot(const Value &key, const Value &val);
    bool Remove(const Value &key);
    // Empties the table as a script's clear() does (the node array shrinks once).
    void Clear();
    // Drops every key and value, leaving an empty 4-node table (cycle breaking).
    void DropAll();
    // Iteration: pass -1 first, then the returned position; -1 at the end.
    int32_t Next(int32_t pos, Value &key, Value &val) const;
    SQInteger Count() const { return static_cast<SQInteger>(used); }

    Node *nodes = nullptr;
    uint32_t size = 0; // nodes allocated, a power of two >= 4
    uint32_t used = 0; // nodes holding a key
    Node *firstFree = nullptr;
    Table *delegate = nullptr; // strong reference
    // Changes, to a number the runtime never handed out before, whenever a key may have
    // moved between nodes or the node array may have gone: lookup caches that remember a
    // node for (table, layout) stay right as long as both match.
    uint64_t layout = 0;

    void NewLayout();

private:
    void AllocNodes(uint32_t n);
    void Insert(Value &&key, Value &&val, uint32_t hash);
    void Rehash(bool force);
};

uint32_t HashKey(const Value &key);

void DestroyTable(Table *t);

} // namespace nut
