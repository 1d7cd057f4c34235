#pragma once

#include <cstdint>
#include <cstring>

// The bit pattern of a float or double, so equality tests tell -0 from +0 and compare NaNs.
inline uint32_t floatBits (float v)
{
    uint32_t bits;
    std::memcpy (&bits, &v, sizeof bits);
    return bits;
}

inline uint64_t doubleBits (double v)
{
    uint64_t bits;
    std::memcpy (&bits, &v, sizeof bits);
    return bits;
}
