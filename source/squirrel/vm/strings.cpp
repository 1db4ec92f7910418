#include "strings.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime.h"

namespace nut {

namespace {
Str *const kTombstone = reinterpret_cast<Str *>(uintptr_t(1));
constexpr SQInteger kShortString = 31; // the table-key hash takes every byte up to here
}

uint32_t HashBytes(const char *s, size_t len)
{
    // Sampled: building long strings piece by piece must not cost a full pass per piece.
    // Equal hashes still compare the whole content. From 16 bytes on, eight 8-byte words
    // spread over the string and its last word are mixed in two lanes, so that the
    // multiplies overlap (one byte at a time, a long string's hash was a chain of 64).
    if (len < 16) {
        uint32_t h = 2166136261u ^ static_cast<uint32_t>(len);
        for (size_t i = 0; i < len; i++) {
            h ^= static_cast<unsigned char>(s[i]);
            h *= 16777619u;
        }
        return h;
    }
    auto word = [s](size_t at) {
        uint64_t w;
        memcpy(&w, s + at, sizeof(w));
        return w;
    };
    const size_t step = (len - 8) / 8; // word 7 ends at most at len - 1
    uint64_t a = 0x9E3779B97F4A7C15ull ^ len, b = 0xC2B2AE3D27D4EB4Full;
    for (size_t k = 0; k < 8; k += 2) {
        a = (a ^ word(k * step)) * 0xFF51AFD7ED558CCDull;
        a ^= a >> 32;
        b = (b ^ word((k + 1) * step)) * 0xC4CEB9FE1A85EC53ull;
        b ^= b >> 32;
    }
    uint64_t h = (a ^ word(len - 8)) * 0xFF51AFD7ED558CCDull ^ b;
    h ^= h >> 29;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t TableHashBytes(const char *s, size_t len)
{
    uint32_t h = static_cast<uint32_t>(len);
    size_t step = (len >> 5) | 1;
    for (size_t l = len; l >= step; l -= step)
        h ^= (h << 5) + (h >> 2) + static_cast<uint16_t>(static_cast<signed char>(*s++));
    return h;
}

StringSet::StringSet() : mask_(63), used_(0), live_(0)
{
    slots_ = static_cast<Str **>(calloc(mask_ + 1, sizeof(Str *)));
    if (!slots_) abort();
}

StringSet::~StringSet()
{
    for (uint32_t i = 0; i <= mask_; i++) {
        Str *s = slots_[i];
        if (s && s != kTombstone) free(s);
    }
    free(slots_);
}

void StringSet::Grow()
{
    uint32_t oldCap = mask_ + 1;
    Str **old = slots_;
    uint32_t cap = oldCap;
    if (live_ * 4 >= oldCap) cap *= 2; // otherwise only tombstones are cleared
    Str **fresh = static_cast<Str **>(calloc(cap, sizeof(Str *)));
    if (!fresh) return; // the set still works, only fuller: try again on the next insert
    slots_ = fresh;
    mask_ = cap - 1;
    used_ = live_;
    for (uint32_t i = 0; i < oldCap; i++) {
        Str *s = old[i];
        if (!s || s == kTombstone) continue;
        uint32_t j = s->hash & mask_;
        while (slots_[j]) j = (j + 1) & mask_;
        slots_[j] = s;
    }
    free(old);
}

namespace {
// Short strings: the table-key hash reads every byte, so it serves the set too and is
// computed once. Longer ones: it reads only a leading part, so the set samples them all.
inline uint32_t SetHash(const char *s, SQInteger len)
{
    return len <= kShortString ? TableHashBytes(s, static_cast<size_t>(len)) : HashBytes(s, static_cast<size_t>(len));
}
}

Str *StringSet::Probe(uint32_t h, const char *s, SQInteger len, uint32_t &slot, int64_t &firstFree) const
{
    uint32_t i = h & mask_;
    firstFree = -1;
    for (;;) {
        Str *e = slots_[i];
        if (!e) break;
        if (e == kTombstone) {
            if (firstFree < 0) firstFree = i;
        } else if (e->hash == h && e->len == len && memcmp(e->chars, s, static_cast<size_t>(len)) == 0) {
            return e;
        }
        i = (i + 1) & mask_;
    }
    slot = i;
    return nullptr;
}

void StringSet::Place(Runtime *rt, Str *str, uint32_t h, SQInteger len, uint32_t slot, int64_t firstFree)
{
    str->kind = Kind::String;
    str->rt = rt;
    str->hash = h;
    bool shortStr = len <= kShortString; // its set hash is the table-key hash
    str->thash = shortStr ? h : 0;
    str->thashReady = shortStr;
    str->len = len;
    str->chars[len] = '\0';
    if (firstFree >= 0) {
        slots_[firstFree] = str;
    } else {
        slots_[slot] = str;
        used_++;
    }
    live_++;
    if (used_ * 2 >= mask_ + 1) Grow();
}

Str *StringSet::Intern(Runtime *rt, const char *s, SQInteger len)
{
    uint32_t h = SetHash(s, len);
    uint32_t slot;
    int64_t firstFree;
    if (Str *e = Probe(h, s, len, slot, firstFree)) return e;
    if (len < 0 || len > kMaxStringLength) throw std::bad_alloc();
    Str *str = static_cast<Str *>(malloc(sizeof(Str) + static_cast<size_t>(len)));
    if (!str) throw std::bad_alloc();
    new (str) Str();
    if (len) memcpy(str->chars, s, static_cast<size_t>(len));
    Place(rt, str, h, len, slot, firstFree);
    return str;
}

Str *StringSet::InternConcat(Runtime *rt, const char *a, SQInteger alen, const char *b, SQInteger blen)
{
    // Built in its final place first (one copy of each part), then looked up: a string
    // that exists already costs a freed allocation, not a second copy of every byte.
    int64_t wide = static_cast<int64_t>(alen) + blen;
    if (alen < 0 || blen < 0 || wide > kMaxStringLength) throw std::bad_alloc();
    SQInteger len = static_cast<SQInteger>(wide);
    if (len <= 256) {
        // Short results are often found (keys built again for a lookup): join them on
        // the stack, so a hit allocates nothing.
        char buf[256];
        if (alen) memcpy(buf, a, static_cast<size_t>(alen));
        if (blen) memcpy(buf + alen, b, static_cast<size_t>(blen));
        return Intern(rt, buf, len);
    }
    Str *str = static_cast<Str *>(malloc(sizeof(Str) + static_cast<size_t>(len)));
    if (!str) throw std::bad_alloc();
    new (str) Str();
    if (alen) memcpy(str->chars, a, static_cast<size_t>(alen));
    if (blen) memcpy(str->chars + alen, b, static_cast<size_t>(blen));
    uint32_t h = SetHash(str->chars, len);
    uint32_t slot;
    int64_t firstFree;
    if (Str *e = Probe(h, str->chars, len, slot, firstFree)) {
        free(str);
        return e;
    }
    Place(rt, str, h, len, slot, firstFree);
    return str;
}

void StringSet::Remove(Str *s)
{
    uint32_t i = s->hash & mask_;
    while (slots_[i] != s) i = (i + 1) & mask_;
    live_--;
    if (slots_[(i + 1) & mask_] != nullptr) {
        slots_[i] = kTombstone;
        return;
    }
    // The end of a probe run: this slot and the tombstones before it become free again.
    slots_[i] = nullptr;
    used_--;
    for (uint32_t j = (i - 1) & mask_; slots_[j] == kTombstone; j = (j - 1) & mask_) {
        slots_[j] = nullptr;
        used_--;
    }
}

Value MakeString(Runtime *rt, const char *s, SQInteger len)
{
    if (len < 0) len = static_cast<SQInteger>(strlen(s));
    return Value::Ref(Kind::String, rt->strings.Intern(rt, s, len));
}

} // namespace nut
