#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A model data set in which every block's port currents follow the exact circuit to first order
// around its rest operating point: one region per position whose network is the tangent of the
// exact port solution at rest. Unlike random or constant networks, it carries the signal from
// input to output with the circuit's own gain and tone, so tests can tell one input, one channel
// or one control setting from another.
namespace chainfiles
{
struct LinearisedModelSet
{
    // Processing rates (host rate times oversampling factor) to hold operating points for; the
    // tangents of blocks 1, 2 and 4 are taken at the first, block 3 gets a file per rate.
    std::vector<int32_t> processingRates{44100};
    uint32_t gainPositions = 17; // positions 0 ... n-1 of blocks 1 and 2
    uint32_t tonePositions = 1;  // positions 0 ... n-1 of block 4 (225 treble + 15 bass + middle)
    uint32_t restGainPosition = 8; // the gain position whose rest output feeds blocks 3 and 4
    // Half-width in volts of each block's box around its rest p. Blocks 1 to 3 extrapolate the
    // tangent outside it up to their output clip; block 4 gives no current outside.
    double boxVolts[4] = {20.0, 20.0, 60.0, 200.0};
    std::string prefix = "varkelpre_eh";
};

// Writes <prefix>_b1_pca.dat, _b2_pca.dat, _b4_std.dat and _b3_pca.dat.<rate> for each rate into
// the folder (which must exist). Each file is written under a private name and renamed into
// place, so a concurrent reader never sees a half-written one. Returns an empty string, or what
// went wrong.
std::string writeLinearisedModelSet (const std::string& folder, const LinearisedModelSet& set);
} // namespace chainfiles
