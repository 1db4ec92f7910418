#pragma once

#include "framework/math/zVector.h"

#include <cstdint>
#include <random>

// Fixed-seed random values for property tests: the same sequence on every
// standard library, so a failing case can be replayed.
class SeededRandom {
public:
    explicit SeededRandom(uint32_t seed) : engine(seed) {}
    // Uniform in [lo, hi).
    float Range(float lo, float hi) { return lo + float(engine() >> 8) * (1.0f / 16777216.0f) * (hi - lo); }
    uint32_t Below(uint32_t n) { return uint32_t(engine() % n); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    zVector Point(const zVector& centre, float half)
    {
        return zVector(centre.x + Range(-half, half), centre.y + Range(-half, half), centre.z + Range(-half, half));
    }

private:
    std::mt19937 engine;
};
