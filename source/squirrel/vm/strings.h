// Immutable strings, interned per runtime: equal contents are one object, so string
// equality is pointer equality and the hash is computed once.
#pragma once

#include "object.h"

namespace nut {

struct Str : Object {
    uint32_t hash;  // for the string set: spreads long strings with common prefixes
    uint32_t thash; // for table keys: the hash that fixes a table's node order
    SQInteger len;
    char chars[1]; // len bytes, then a NUL for C interfaces (content may hold NULs)
};

uint32_t HashBytes(const char *s, size_t len);
// The table-key hash: starts at the length and mixes in leading characters (every one for
// short strings), each read as a signed char widened to 16 bits.
uint32_t TableHashBytes(const char *s, size_t len);

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
    void Remove(Str *s);

private:
    void Grow();
    Str **slots_;
    uint32_t mask_;
    uint32_t used_; // live strings plus tombstones
    uint32_t live_;
};

// A new reference to the interned string.
Value MakeString(Runtime *rt, const char *s, SQInteger len = -1);

} // namespace nut
