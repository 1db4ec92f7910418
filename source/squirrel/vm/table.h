// Hash tables that keep insertion order: entries sit in a dense array (iteration walks
// it), and an open-addressing index maps key hashes to entry positions. A removed entry
// leaves a hole (null key) until the next rebuild, so iteration survives deletions.
#pragma once

#include "object.h"

namespace nut {

struct Str;

struct Table : GcObject {
    struct Entry {
        Value key; // null marks a removed entry
        Value val;
    };

    static Table *New(Runtime *rt, SQInteger sizeHint);

    Entry *Find(const Value &key) const;
    Entry *FindString(const Str *key) const;
    // Values stored as weak references read back dereferenced.
    bool Get(const Value &key, Value &out) const
    {
        Entry *e = Find(key);
        if (!e) return false;
        out = Deref(e->val);
        return true;
    }
    // Updates an existing slot only.
    bool Set(const Value &key, const Value &val)
    {
        Entry *e = Find(key);
        if (!e) return false;
        e->val = val;
        return true;
    }
    // Creates or overwrites; the key must not be null.
    void NewSlot(const Value &key, const Value &val);
    bool Remove(const Value &key);
    void Clear();
    // Iteration: pass -1 first, then the returned position; -1 at the end.
    int32_t Next(int32_t pos, Value &key, Value &val) const;
    SQInteger Count() const { return live; }

    Entry *entries = nullptr;
    uint32_t used = 0;     // entries in use, holes included
    uint32_t capacity = 0; // entries allocated
    uint32_t live = 0;
    int32_t *index = nullptr; // -1 empty, -2 removed, else an entry position
    uint32_t mask = 0;
    Table *delegate = nullptr; // strong reference
};

uint32_t HashKey(const Value &key);

void DestroyTable(Table *t);

} // namespace nut
