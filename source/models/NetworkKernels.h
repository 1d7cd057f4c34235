#pragma once

#include "models/CompiledNetwork.h"

#include <cstddef>
#include <cstdint>

// The layer pass of the compiled networks, shared by CompiledNetwork::run and the fused region
// evaluations. Sources that include it must be compiled with -ffp-contract=off: every lane must
// see the same sequence of single-precision operations that fann_run applies to its neuron.
namespace networkkernels
{
constexpr size_t roundUp4 (size_t n)
{
    return (n + 3) / 4 * 4;
}

// One layer for all of its neurons at once. `count` is the number of connections of each neuron
// (its sources and the bias), `lanes` a multiple of 4; a non-zero FixedLanes or FixedCount
// replaces the runtime value, so the loops have a known length and stay in vector registers.
template <uint32_t FixedLanes, uint32_t FixedCount, CompiledNetwork::Activation function>
inline void runLayer (const float* __restrict w, const float* __restrict v, uint32_t runtimeCount,
                      uint32_t runtimeLanes, const float* __restrict steepness, const float* __restrict bound,
                      float* __restrict out) noexcept
{
    const uint32_t lanes = FixedLanes != 0 ? FixedLanes : runtimeLanes;
    const uint32_t count = FixedCount != 0 ? FixedCount : runtimeCount;
    for (uint32_t l = 0; l < lanes; ++l)
        out[l] = 0.0f;

    // The connections left over by the groups of four come first, highest index first.
    const uint32_t rest = count & 3u;
    for (uint32_t h = rest; h-- > 0;)
    {
        const float value = v[h];
        const float* column = w + size_t (h) * lanes;
        for (uint32_t l = 0; l < lanes; ++l)
            out[l] += column[l] * value;
    }
    for (uint32_t h = rest; h < count; h += 4)
    {
        const float v0 = v[h], v1 = v[h + 1], v2 = v[h + 2], v3 = v[h + 3];
        const float* c0 = w + size_t (h) * lanes;
        const float* c1 = c0 + lanes;
        const float* c2 = c1 + lanes;
        const float* c3 = c2 + lanes;
        for (uint32_t l = 0; l < lanes; ++l)
            out[l] += ((c0[l] * v0 + c1[l] * v1) + c2[l] * v2) + c3[l] * v3;
    }

    for (uint32_t l = 0; l < lanes; ++l)
    {
        float s = steepness[l] * out[l];
        s = s > bound[l] ? bound[l] : (s < -bound[l] ? -bound[l] : s);
        if constexpr (function == CompiledNetwork::Activation::elliotSymmetric)
            s = s / (1.0f + (s > 0 ? s : -s));
        else if constexpr (function == CompiledNetwork::Activation::linearPiece)
            s = s < 0 ? 0.0f : (s > 1 ? 1.0f : s);
        else if constexpr (function == CompiledNetwork::Activation::linearPieceSymmetric)
            s = s < -1 ? -1.0f : (s > 1 ? 1.0f : s);
        out[l] = s;
    }
}
} // namespace networkkernels
