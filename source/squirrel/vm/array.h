// Arrays: a vector of values. Weak references stored in them read back dereferenced.
#pragma once

#include <vector>

#include "object.h"

namespace nut {

// The most elements an array may hold: a larger request is refused as out of memory
// before anything is allocated (a hostile `array(1 << 30)` must not take the machine).
constexpr SQInteger kMaxArraySize = SQInteger(1) << 26;

struct Array : GcObject {
    static Array *New(Runtime *rt, SQInteger size);
    bool Get(SQInteger i, Value &out) const
    {
        if (i < 0 || i >= static_cast<SQInteger>(items.size())) return false;
        out = Deref(items[static_cast<size_t>(i)]);
        return true;
    }
    bool Set(SQInteger i, const Value &v)
    {
        if (i < 0 || i >= static_cast<SQInteger>(items.size())) return false;
        items[static_cast<size_t>(i)] = v;
        return true;
    }
    SQInteger Size() const { return static_cast<SQInteger>(items.size()); }

    std::vector<Value> items;
};

} // namespace nut
