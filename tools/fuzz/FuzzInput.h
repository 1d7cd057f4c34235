#pragma once

#include <cstdint>

// The first byte of a fuzz input chooses the file kind and the block's counts; the rest is the
// model file image.
struct FuzzHeader
{
    bool usesPca;
    uint32_t nv, ni, nx;

    static FuzzHeader decode (uint8_t b)
    {
        return {(b & 1u) != 0, 1u + ((b >> 1) & 3u), 1u + ((b >> 3) & 3u), (b >> 5) & 7u};
    }

    uint8_t encode() const
    {
        return static_cast<uint8_t> ((usesPca ? 1u : 0u) | ((nv - 1) << 1) | ((ni - 1) << 3) | (nx << 5));
    }
};
