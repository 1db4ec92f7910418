// Immutable strings, interned per runtime: equal contents are one object, so string
// equality is pointer equality and the hash is computed once.
#pragma once

#include "object.h"

namespace nut {

// The longest string (and userdata) the VM makes: lengths are 32-bit, and the header
// must still fit beside the characters.
constexpr SQInteger kMaxStringLength = 0x7FFFFFFF - 64;

struct Str : Object {
    uint32_t hash;           // for the string set: spreads long strings with common prefixes
    mutable uint32_t thash;  // for table keys (fixes a table's node order); computed on first use
    SQInteger len;
    mutable bool thashReady; // thash is valid
    char chars[1]; // len bytes, then a NUL for C interfaces (content may hold NULs)
};

// The string set's hash of a long string: samples at most 72 bytes of it, so equal
// hashes say nothing until the contents compare.
uint32_t HashBytes(const char *s, size_t len);
// The table-key hash: starts at the length and mixes in leading characters (every one for
// short strings), each read as a signed char widened to 16 bits.
uint32_t TableHashBytes(const char *s, size_t len);

inline uint32_t TableHash(const Str *s)
{
    if (!s->thashReady) {
        s->thash = TableHashBytes(s->chars, static_cast<size_t>(s->len));
        s->thashReady = true;
    }
    return s->thash;
}

// Open-addressing set of every live string of a runtime.
class StringSet
{
public:
    StringSet();
    ~StringSet();
    StringSet(const StringSet &) = delete;
    StringSet &operator=(const StringSet &) = delete;

    // Returns the interned string with this content (no reference taken).
    Str *Intern(Runtime *rt, const char *s, SQInteger len);
    // The same for the contents of a followed by b.
    Str *InternConcat(Runtime *rt, const char *a, SQInteger alen, const char *b, SQInteger blen);
    void Remove(Str *s);

private:
    void Grow();
    Str *Probe(uint32_t h, const char *s, SQInteger len, uint32_t &slot, int64_t &firstFree) const;
    void Place(Runtime *rt, Str *str, uint32_t h, SQInteger len, uint32_t slot, int64_t firstFree);
    Str **slots_;
    uint32_t mask_;
    uint32_t used_; // live strings plus tombstones
    uint32_t live_;
};

// A new reference to the interned string.
Value MakeString(Runtime *rt, const char *s, SQInteger len = -1);

} // namespace nut
