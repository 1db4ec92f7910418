#include "cstack.h"

#include <pthread.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NUT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NUT_SANITIZED 1
#endif
#endif

namespace nut::cstack {

namespace {

// What the deepest step between two checks may still use (a native with its buffers, an
// interpreter entry, raising the error). Sanitizers make the frames of instrumented code
// several times larger: AddressSanitizer surrounds every local with red zones.
#ifdef NUT_SANITIZED
constexpr uintptr_t kMargin = 512 * 1024;
#else
constexpr uintptr_t kMargin = 128 * 1024;
#endif

} // namespace

void Bounds()
{
    // Unknown bounds leave the guard off (low 0, margin 1: no frame lies below address 1).
    low = 0;
    margin = 1;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void *addr = nullptr;
    size_t size = 0;
    const bool known = pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size > 0;
    pthread_attr_destroy(&attr);
    if (!known) return;
    low = reinterpret_cast<uintptr_t>(addr);
    // A small stack keeps half of itself for its own use, however little that leaves.
    margin = size / 2 < kMargin ? size / 2 : kMargin;
}

} // namespace nut::cstack
