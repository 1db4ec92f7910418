#include "framework/system/device/zInputChannel.h"

bool zInputChannel::Push(int32_t value)
{
    if (bounceFilter && value != 0 && lastState)
        return false;
    lastState = value != 0;
    head = (head + 1) % Capacity;
    values[head] = value;
    if (count < Capacity)
        ++count;
    return true;
}

bool zInputChannel::Pop(int32_t& value, bool remove)
{
    if (count <= 0)
        return false;
    value = values[head];
    if (remove) {
        --count;
        head = (head + Capacity - 1) % Capacity;
    }
    return true;
}

bool zInputChannel::Contains(int32_t value) const
{
    int32_t index = head;
    for (int32_t i = 0; i < count; ++i) {
        if (values[index] == value)
            return true;
        index = (index + Capacity - 1) % Capacity;
    }
    return false;
}

void zInputChannel::Clear()
{
    bounceFilter = false;
    lastState = false;
    head = 0;
    count = 0;
}

void zInputChannel::Flush()
{
    head = 0;
    count = 0;
}
