#pragma once

// TAVRIN_SIMD_SSE2 is 1 where the SSE2 paths are built: wherever the compiler
// targets SSE2, unless the build asks for the scalar code everywhere
// (TAVRIN_NO_SIMD), which is how the scalar branches get built and tested on
// a machine that has SSE2. Both give the same results, bit for bit.
#if defined(__SSE2__) && !defined(TAVRIN_NO_SIMD)
#define TAVRIN_SIMD_SSE2 1
#include <emmintrin.h>
#else
#define TAVRIN_SIMD_SSE2 0
#endif
