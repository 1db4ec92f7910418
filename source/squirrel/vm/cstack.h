// How much of the calling thread's C stack is left. Recursion that a script or an image
// controls (the compiler's descent, interpreter entries from native code, delegate chains,
// nested functions in an image) asks CStackLow() before it goes one level deeper and
// raises an error when the answer is yes, instead of counting levels: what a stack allows
// differs between threads (a loader thread may have a small one) and builds (sanitizer
// frames are several times larger).
#pragma once

#include <cstdint>

namespace nut {

namespace cstack {
// The calling thread's stack: its lowest usable address, and how close to it a frame may
// come (0 and 0 until Bounds() ran on this thread). Constant-initialized, so reading them
// costs no call.
inline thread_local uintptr_t low = 0;
inline thread_local uintptr_t margin = 0;
void Bounds();
} // namespace cstack

// True when the current frame lies less than the safety margin above the lowest address
// of the calling thread's stack. A frame outside that stack (a host running the VM on a
// stack of its own) is never "low": the guard then does nothing.
[[gnu::always_inline]] inline bool CStackLow()
{
    if (cstack::margin == 0) [[unlikely]] cstack::Bounds();
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - cstack::low < cstack::margin;
}

} // namespace nut
