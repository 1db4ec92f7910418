#pragma once

#include <cstdint>

// The engine's one pseudo-random generator: two 32-bit words shared by every
// caller without a lock (the engine draws from the main thread only).

// Resets the state and advances it (seed AND 0x1FFF) steps; returns A.
uint32_t SeedRandom(uint32_t seed);
// 0 when n is 0 (no step); else A modulo n after one step.
uint32_t RandomInt(uint32_t n);
// In [0, x): the low 16 bits of A scaled.
float RandomFloat(float x);
// In [a, b).
float RandomRange(float a, float b);
