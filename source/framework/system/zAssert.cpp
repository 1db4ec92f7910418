#include "framework/system/zAssert.h"

#include <cstdio>
#include <cstdlib>

void zAssertFailed(const char* condition, const char* file, int line)
{
    // Straight to stderr: the log stream may be what is broken.
    std::fprintf(stderr, "Assertion failed: %s (%s:%d)\n", condition, file, line);
    std::fflush(stderr);
    std::abort();
}
