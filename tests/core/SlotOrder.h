#pragma once

#include <cstddef>
#include <cstring>

// The virtual-table slot of a virtual member function, read from its
// pointer-to-member form in the Itanium C++ ABI (GCC and Clang): the pointer
// field of a virtual member holds 1 + the byte offset of its slot.
template <class F>
ptrdiff_t SlotOf(F function)
{
    struct Representation {
        ptrdiff_t pointer;
        ptrdiff_t adjustment;
    };
    static_assert(sizeof(F) == sizeof(Representation));
    Representation r;
    std::memcpy(&r, &function, sizeof r);
    if ((r.pointer & 1) == 0)
        return -1;
    return (r.pointer - 1) / ptrdiff_t(sizeof(void*));
}
