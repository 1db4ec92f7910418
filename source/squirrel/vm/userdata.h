// Blocks of host memory owned by the VM, with an optional delegate table.
#pragma once

#include "object.h"

namespace nut {

struct Table;

struct UserData : GcObject {
    static UserData *New(Runtime *rt, SQInteger size);
    void *Payload() { return reinterpret_cast<char *>(this) + PayloadOffset(); }
    static constexpr size_t PayloadOffset();

    Table *delegate = nullptr;
    SQUserPointer typeTag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    SQInteger size = 0;
};

constexpr size_t UserData::PayloadOffset() { return (sizeof(UserData) + 15) & ~size_t(15); }

} // namespace nut
