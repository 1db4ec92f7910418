#pragma once

#include "framework/tools/zString.h"

#include <cstdint>

// An input device as scripts see it: numbered input functions, each with a
// queue that one Update fills and the Pool calls drain. Main thread only.
class zInstanceDevice {
public:
    zInstanceDevice() = default;
    virtual ~zInstanceDevice() = default;
    zInstanceDevice(const zInstanceDevice&) = delete;
    zInstanceDevice& operator=(const zInstanceDevice&) = delete;

    virtual void SetBounceFilter(int32_t function, bool on) = 0;
    virtual bool IsFunctionSupported(int32_t function) = 0;
    // Polls the hardware and queues new values.
    virtual bool Update() = 0;
    // Takes the newest value of a function; extra, when given, receives what
    // the device adds to the value. False, value untouched, when the function
    // is unsupported or its queue is empty. The mouse and the keyboard always
    // remove what they hand out, whatever remove says.
    virtual bool PoolFunction(int32_t function, int32_t& value, int32_t* extra = nullptr, bool remove = true) = 0;
    virtual bool IsAvailable() = 0;

    const zString& GetName() const { return name; }

protected:
    zString name;
};
