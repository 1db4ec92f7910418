#pragma once

#include "framework/math/zVector.h"

#include <cstdint>

// A small generator owned by one caller, so that parallel loops draw
// reproducible numbers whatever the thread count: the engine's shared
// generator is for the main thread only.
class zRayRandom {
public:
    explicit zRayRandom(uint64_t seed = 1) { Seed(seed); }
    void Seed(uint64_t seed)
    {
        // splitmix64 spreads neighbouring seeds (rows, spreads) apart.
        uint64_t z = seed + 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        state = (z ^ (z >> 31)) | 1u;
    }
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 32);
    }
    // In [0, x).
    float Float(float x) { return float(Next() >> 8) * (1.0f / 16777216.0f) * x; }
    // In [0, n); 0 when n is 0.
    uint32_t Int(uint32_t n) { return n == 0 ? 0 : Next() % n; }

private:
    uint64_t state = 1;
};

// A set of unit directions inside a cone around +z (w = 1), used to gather
// indirect light: rings of growing elevation, each with evenly spread
// azimuths, both jittered.
class zRaySpread {
public:
    zRaySpread() = default;
    ~zRaySpread() { Free(); }
    zRaySpread(const zRaySpread&) = delete;
    zRaySpread& operator=(const zRaySpread&) = delete;

    // azimuths x rings directions within angle (radians) of +z, jittered from
    // random. Replaces the old set; false, logged, when memory runs out.
    bool Compute(int32_t azimuths, int32_t rings, float angle, zRayRandom& random);
    void Free();

    uint32_t count = 0;
    // Owned, count entries.
    zVector* directions = nullptr;
};
