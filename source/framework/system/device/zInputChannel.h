#pragma once

#include <cstdint>

// The queue of one input function: the last eight values, read newest first,
// with an optional edge-only filter that refuses a non-zero value while the
// previous accepted value was non-zero.
class zInputChannel {
public:
    static constexpr int32_t Capacity = 8;

    // Beyond eight values the oldest is overwritten. False when the filter
    // refuses the value.
    bool Push(int32_t value);
    // The newest value; with remove it leaves the queue. False when empty.
    bool Pop(int32_t& value, bool remove);
    // Whether the value is among the queued ones.
    bool Contains(int32_t value) const;
    // Empties the queue and resets the filter and its state.
    void Clear();
    // Empties the queue only: the filter and its state stay.
    void Flush();

    bool bounceFilter = false;
    bool lastState = false;
    int32_t head = 0;
    int32_t count = 0;
    int32_t values[Capacity] = {};
};
