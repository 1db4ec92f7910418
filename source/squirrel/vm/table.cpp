#include "table.h"

#include <cstdlib>
#include <new>

#include "runtime.h"
#include "strings.h"

namespace nut {

namespace {

constexpr int32_t kEmpty = -1;
constexpr int32_t kRemoved = -2;

inline uint32_t Mix(uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

uint32_t IndexSizeFor(uint32_t entries)
{
    uint32_t n = 8;
    while (n < uint64_t(entries) * 2 && n < 0x80000000u) n <<= 1; // no wrap-around to 0
    return n;
}

} // namespace

uint32_t HashKey(const Value &key)
{
    if (key.kind() == Kind::String) return key.As<Str>()->hash;
    return Mix(key.Bits() * 31 + static_cast<uint64_t>(key.kind()));
}

Table *Table::New(Runtime *rt, SQInteger sizeHint)
{
    // Allocation failures surface as exceptions the VM reports as script errors.
    uint32_t n = sizeHint > 0 ? static_cast<uint32_t>(sizeHint) : 0;
    uint32_t slots = n ? IndexSizeFor(n) : 0;
    int32_t *index = n ? static_cast<int32_t *>(malloc(sizeof(int32_t) * slots)) : nullptr;
    Entry *entries = n ? static_cast<Entry *>(malloc(sizeof(Entry) * n)) : nullptr;
    if (n && (!index || !entries)) {
        free(index);
        free(entries);
        throw std::bad_alloc();
    }
    Table *t;
    try {
        t = new (AllocObject(rt, sizeof(Table))) Table();
    } catch (...) {
        free(index);
        free(entries);
        throw;
    }
    t->kind = Kind::Table;
    t->rt = rt;
    LinkCollectable(rt, t);
    if (n) {
        t->mask = slots - 1;
        t->index = index;
        for (uint32_t i = 0; i <= t->mask; i++) t->index[i] = kEmpty;
        t->capacity = n;
        t->entries = entries;
    }
    return t;
}

Table::Entry *Table::Find(const Value &key) const
{
    if (!index) return nullptr;
    uint32_t i = HashKey(key) & mask;
    for (;;) {
        int32_t e = index[i];
        if (e == kEmpty) return nullptr;
        if (e >= 0 && entries[e].key.SameAs(key)) return &entries[e];
        i = (i + 1) & mask;
    }
}

Table::Entry *Table::FindString(const Str *key) const
{
    if (!index) return nullptr;
    uint32_t i = key->hash & mask;
    for (;;) {
        int32_t e = index[i];
        if (e == kEmpty) return nullptr;
        if (e >= 0 && entries[e].key.kind() == Kind::String && entries[e].key.AsObject() == key) return &entries[e];
        i = (i + 1) & mask;
    }
}

// Rebuilds the index for at least `need` live entries, squeezing out removed entries.
static void Rebuild(Table *t, uint32_t need)
{
    uint32_t newCap = need < 4 ? 4 : need;
    uint32_t slots = IndexSizeFor(newCap);
    Table::Entry *fresh = static_cast<Table::Entry *>(malloc(sizeof(Table::Entry) * newCap));
    int32_t *index = static_cast<int32_t *>(malloc(sizeof(int32_t) * slots));
    if (!fresh || !index) {
        // Nothing has moved yet: the table stays as it was.
        free(fresh);
        free(index);
        throw std::bad_alloc();
    }
    uint32_t n = 0;
    for (uint32_t i = 0; i < t->used; i++) {
        Table::Entry &e = t->entries[i];
        if (!e.key.IsNull()) new (&fresh[n++]) Table::Entry{std::move(e.key), std::move(e.val)};
        e.~Entry();
    }
    free(t->entries);
    t->entries = fresh;
    t->used = n;
    t->capacity = newCap;
    free(t->index);
    t->mask = slots - 1;
    t->index = index;
    for (uint32_t i = 0; i <= t->mask; i++) t->index[i] = kEmpty;
    for (uint32_t e = 0; e < n; e++) {
        uint32_t i = HashKey(fresh[e].key) & t->mask;
        while (t->index[i] != kEmpty) i = (i + 1) & t->mask;
        t->index[i] = static_cast<int32_t>(e);
    }
}

void Table::NewSlot(const Value &key, const Value &val)
{
    if (Entry *e = Find(key)) {
        e->val = val;
        return;
    }
    if (used == capacity) Rebuild(this, live + 1 > capacity ? (capacity ? capacity * 2 : 4) : capacity);
    uint32_t pos = used++;
    new (&entries[pos]) Entry{key, val};
    live++;
    uint32_t i = HashKey(key) & mask;
    while (index[i] >= 0) i = (i + 1) & mask;
    index[i] = static_cast<int32_t>(pos);
}

bool Table::Remove(const Value &key)
{
    if (!index) return false;
    uint32_t i = HashKey(key) & mask;
    for (;;) {
        int32_t e = index[i];
        if (e == kEmpty) return false;
        if (e >= 0 && entries[e].key.SameAs(key)) {
            index[i] = kRemoved;
            // Move the values out first: releasing them may run code that reads this table.
            Value k = std::move(entries[e].key);
            Value v = std::move(entries[e].val);
            live--;
            return true;
        }
        i = (i + 1) & mask;
    }
}

void Table::Clear()
{
    Entry *old = entries;
    uint32_t n = used;
    entries = nullptr;
    used = capacity = live = 0;
    free(index);
    index = nullptr;
    mask = 0;
    for (uint32_t i = 0; i < n; i++) old[i].~Entry();
    free(old);
}

int32_t Table::Next(int32_t pos, Value &key, Value &val) const
{
    for (uint32_t i = static_cast<uint32_t>(pos + 1); i < used; i++) {
        if (!entries[i].key.IsNull()) {
            key = entries[i].key;
            val = Deref(entries[i].val);
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void DestroyTable(Table *t)
{
    t->Clear();
    if (Table *d = t->delegate) {
        t->delegate = nullptr;
        ReleaseObject(d);
    }
}

} // namespace nut
