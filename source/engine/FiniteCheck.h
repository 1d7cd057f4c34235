#pragma once

#include <cstdint>

// v - v is 0 for every finite v and NaN for NaN and both infinities, so one test covers the
// whole vector (and one more value).
inline bool allFinite (const double* v, uint32_t n, double also = 0.0) noexcept
{
    double probe = also - also;
    for (uint32_t k = 0; k < n; ++k)
        probe += v[k] - v[k];
    return probe == 0.0;
}
