#pragma once

#include <cstddef>
#include <random>
#include <vector>

// n samples uniform in [-1, 1), the same for the same seed on every run.
inline std::vector<float> randomSignal (size_t n, unsigned seed)
{
    std::mt19937 generator (seed);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    std::vector<float> v (n);
    for (auto& s : v)
        s = dist (generator);
    return v;
}
