// Table iteration order: a table must walk its keys in the node order of the chained
// scatter table scripts expect. The model below is written straight from those rules and
// random insert/delete sequences are run against both.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "vm_fixture.h"

namespace {

struct Key {
    enum Type { None, Int, Float, Bool, String } type = None;
    int32_t i = 0;
    float f = 0;
    std::string s;

    bool operator==(const Key &o) const
    {
        if (type != o.type) return false;
        switch (type) {
        case Int:
        case Bool: return i == o.i;
        case Float: return f == o.f;
        case String: return s == o.s;
        default: return true;
        }
    }
    std::string Describe() const
    {
        switch (type) {
        case Int: return "i" + std::to_string(i);
        case Bool: return i ? "true" : "false";
        case Float: return "f" + std::to_string(f);
        case String: return "'" + s + "'";
        default: return "none";
        }
    }
};

uint32_t HashOf(const Key &k)
{
    switch (k.type) {
    case Key::String: {
        uint32_t h = static_cast<uint32_t>(k.s.size());
        size_t step = (k.s.size() >> 5) | 1;
        const char *p = k.s.data();
        for (size_t l = k.s.size(); l >= step; l -= step) {
            uint16_t c = static_cast<uint16_t>(static_cast<signed char>(*p++));
            h = h ^ ((h << 5) + (h >> 2) + c);
        }
        return h;
    }
    case Key::Float: return static_cast<uint32_t>(static_cast<int32_t>(k.f));
    default: return static_cast<uint32_t>(k.i);
    }
}

// The node table, kept as plain indices.
class ModelTable
{
public:
    explicit ModelTable(size_t hint)
    {
        size_t n = 4;
        while (n < hint) n *= 2;
        Alloc(n);
    }

    void Set(const Key &k, int value)
    {
        int at = Find(k);
        if (at >= 0) {
            nodes_[static_cast<size_t>(at)].value = value;
            return;
        }
        Insert(k, value);
    }
    void Delete(const Key &k)
    {
        int at = Find(k);
        if (at < 0) return;
        nodes_[static_cast<size_t>(at)].key = Key();
        nodes_[static_cast<size_t>(at)].value = 0;
        used_--;
        Rehash(false);
    }
    std::vector<std::pair<Key, int>> Walk() const
    {
        std::vector<std::pair<Key, int>> out;
        for (const Node &n : nodes_)
            if (n.key.type != Key::None) out.emplace_back(n.key, n.value);
        return out;
    }
    size_t Count() const { return used_; }

private:
    struct Node {
        Key key;
        int value = 0;
        int next = -1;
    };

    void Alloc(size_t n)
    {
        nodes_.assign(n, Node());
        free_ = static_cast<int>(n) - 1;
    }
    size_t MainPosition(const Key &k) const { return HashOf(k) & (nodes_.size() - 1); }
    int Find(const Key &k) const
    {
        for (int n = static_cast<int>(MainPosition(k)); n >= 0; n = nodes_[static_cast<size_t>(n)].next)
            if (nodes_[static_cast<size_t>(n)].key == k) return n;
        return -1;
    }
    void Insert(const Key &k, int value)
    {
        int mp = static_cast<int>(MainPosition(k));
        if (nodes_[static_cast<size_t>(mp)].key.type != Key::None) {
            int f = free_;
            int other = static_cast<int>(MainPosition(nodes_[static_cast<size_t>(mp)].key));
            if (mp > f && other != mp) {
                while (nodes_[static_cast<size_t>(other)].next != mp) other = nodes_[static_cast<size_t>(other)].next;
                nodes_[static_cast<size_t>(other)].next = f;
                nodes_[static_cast<size_t>(f)] = nodes_[static_cast<size_t>(mp)];
                nodes_[static_cast<size_t>(mp)] = Node();
            } else {
                nodes_[static_cast<size_t>(f)].next = nodes_[static_cast<size_t>(mp)].next;
                nodes_[static_cast<size_t>(mp)].next = f;
                mp = f;
            }
        }
        nodes_[static_cast<size_t>(mp)].key = k;
        for (;;) {
            const Node &c = nodes_[static_cast<size_t>(free_)];
            if (c.key.type == Key::None && c.next < 0) {
                nodes_[static_cast<size_t>(mp)].value = value;
                used_++;
                return;
            }
            if (free_ == 0) break;
            free_--;
        }
        Rehash(true);
        nodes_[static_cast<size_t>(Find(k))].value = value;
    }
    void Rehash(bool force)
    {
        size_t s = nodes_.size();
        size_t n = used_;
        size_t fresh;
        if (n >= s - s / 4)
            fresh = s * 2;
        else if (n <= s / 4 && s > 4)
            fresh = s / 2;
        else if (force)
            fresh = s;
        else
            return;
        std::vector<Node> old = std::move(nodes_);
        Alloc(fresh);
        used_ = 0;
        for (const Node &o : old)
            if (o.key.type != Key::None) Insert(o.key, o.value);
    }

    std::vector<Node> nodes_;
    int free_ = 0;
    size_t used_ = 0;
};

class TableOrder : public SquirrelTest
{
public:
    void Push(const Key &k)
    {
        switch (k.type) {
        case Key::Int: sq_pushinteger(v, k.i); break;
        case Key::Bool: sq_pushbool(v, k.i ? SQTrue : SQFalse); break;
        case Key::Float: sq_pushfloat(v, k.f); break;
        case Key::String: sq_pushstring(v, k.s.data(), static_cast<SQInteger>(k.s.size())); break;
        default: sq_pushnull(v); break;
        }
    }
    Key Read(SQInteger idx)
    {
        Key k;
        switch (sq_gettype(v, idx)) {
        case OT_INTEGER: k.type = Key::Int; sq_getinteger(v, idx, &k.i); break;
        case OT_BOOL: {
            SQBool b;
            sq_getbool(v, idx, &b);
            k.type = Key::Bool;
            k.i = b ? 1 : 0;
            break;
        }
        case OT_FLOAT: k.type = Key::Float; sq_getfloat(v, idx, &k.f); break;
        case OT_STRING: {
            const SQChar *s;
            sq_getstring(v, idx, &s);
            k.type = Key::String;
            k.s.assign(s, static_cast<size_t>(sq_getsize(v, idx)));
            break;
        }
        default: break;
        }
        return k;
    }
    // Walks the table on top of the stack with sq_next.
    std::vector<std::pair<Key, int>> Walk()
    {
        std::vector<std::pair<Key, int>> out;
        sq_pushnull(v);
        while (SQ_SUCCEEDED(sq_next(v, -2))) {
            SQInteger val = 0;
            sq_getinteger(v, -1, &val);
            out.emplace_back(Read(-2), static_cast<int>(val));
            sq_pop(v, 2);
        }
        sq_pop(v, 1);
        return out;
    }
};

std::string Describe(const std::vector<std::pair<Key, int>> &items)
{
    std::string s;
    for (const auto &[k, val] : items) s += k.Describe() + "=" + std::to_string(val) + " ";
    return s;
}

// Keys that collide, chain and move: short and long strings (long ones hash only a
// leading part), bytes above 0x7F, small and negative integers, and the number and bool
// keys that share a hash with an integer.
std::vector<Key> KeyPool(std::mt19937 &rng)
{
    std::vector<Key> pool;
    for (int i = -3; i < 40; i++) {
        Key k;
        k.type = Key::Int;
        k.i = i * (i % 5 == 0 ? 16 : 1);
        pool.push_back(k);
    }
    for (int i = 0; i < 4; i++) {
        Key k;
        k.type = Key::Float;
        k.f = static_cast<float>(i) + 0.5f;
        pool.push_back(k);
    }
    for (int b = 0; b < 2; b++) {
        Key k;
        k.type = Key::Bool;
        k.i = b;
        pool.push_back(k);
    }
    const char *words[] = {"a", "b", "c", "x", "y", "name", "value", "constructor", "key1", "key2", "caf\xe9", "\xff\x80"};
    for (const char *w : words) {
        Key k;
        k.type = Key::String;
        k.s = w;
        pool.push_back(k);
    }
    std::uniform_int_distribution<int> len(1, 100), ch(1, 255);
    for (int i = 0; i < 40; i++) {
        Key k;
        k.type = Key::String;
        int n = len(rng);
        for (int j = 0; j < n; j++) k.s.push_back(static_cast<char>(ch(rng)));
        pool.push_back(k);
    }
    return pool;
}

TEST_F(TableOrder, RandomInsertsAndDeletesFollowTheNodeRules)
{
    std::mt19937 rng(20261210);
    std::vector<Key> pool = KeyPool(rng);
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99), presize(0, 40);
    for (int round = 0; round < 60; round++) {
        int hint = round % 3 == 0 ? presize(rng) : 0;
        ModelTable model(static_cast<size_t>(hint));
        sq_newtableex(v, hint);
        // Phases of mostly inserts, then mostly deletes, so the table grows and shrinks.
        for (int step = 0; step < 300; step++) {
            bool growing = (step / 50) % 2 == 0;
            const Key &k = pool[pick(rng)];
            Push(k);
            if (percent(rng) < (growing ? 80 : 25)) {
                int val = step;
                sq_pushinteger(v, val);
                ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
                model.Set(k, val);
            } else {
                sq_deleteslot(v, -2, SQFalse); // absent keys fail and change nothing
                model.Delete(k);
            }
            ASSERT_EQ(static_cast<size_t>(sq_getsize(v, -1)), model.Count());
            std::vector<std::pair<Key, int>> got = Walk(), want = model.Walk();
            ASSERT_EQ(Describe(got), Describe(want)) << "round " << round << " step " << step << " key " << k.Describe();
        }
        sq_pop(v, 1);
    }
}

TEST_F(TableOrder, LiteralsClonesAndClassesIterateInNodeOrder)
{
    // {a,b,c}: "a" hashes to 128 (node 0), "b" to 131 (node 3), "c" to 130 (node 2).
    ASSERT_TRUE(Run(R"(
        local t = { a = 1, b = 2, c = 3 };
        local s = "";
        foreach (k, v in t) s += k;
        foreach (k, v in clone t) s += k;
        class C { a = 1; b = 2; c = 3 }
        foreach (k, v in C) s += k;
        foreach (k, v in class extends C { d = 4 }) s += k;
        print(s);
    )"));
    // "d" (133) takes the last free node of the copied layout, which leaves none: the
    // nodes double and are reinserted in index order, "d" going to node 5.
    EXPECT_EQ(printed, "acbacbacbacbd");
}

} // namespace
