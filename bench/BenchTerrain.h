#pragma once

#include "framework/math/zVector.h"

#include <cmath>
#include <random>
#include <vector>

// The rolling hills the hierarchy benchmarks build their terrain meshes over,
// and one fixed set of rays cast down onto them, so the plain and the
// geometry hierarchies are timed on the same work.

inline float TerrainHeight(float x, float z)
{
    return 8.0f * std::sin(x * 0.05f) * std::cos(z * 0.043f) + 2.0f * std::sin(x * 0.31f + z * 0.17f);
}

// 4096 rays from above the hills to random points on the ground of a
// size x size terrain.
struct TerrainRays {
    static constexpr size_t Count = 4096;

    explicit TerrainRays(float size)
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> across(0.0f, size);
        for (size_t i = 0; i < Count; ++i) {
            const zVector origin(across(random), 40.0f, across(random));
            const zVector target(across(random), 0.0f, across(random));
            origins.push_back(origin);
            directions.push_back(target - origin);
        }
    }

    std::vector<zVector> origins;
    std::vector<zVector> directions;
};
