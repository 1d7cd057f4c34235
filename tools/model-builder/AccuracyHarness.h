#pragma once

#include "GuitarSignals.h"
#include "NetworkChain.h"

#include <array>
#include <string>
#include <vector>

// Error-to-signal ratio, sum (y - yRef)^2 / sum yRef^2, with the reference's rest value
// removed from both, accumulated over several signals.
struct EsrAccumulator
{
    double error = 0.0;
    double signal = 0.0;
    void add (double y, double yRef, double rest)
    {
        const double d = y - yRef;
        error += d * d;
        signal += (yRef - rest) * (yRef - rest);
    }
    double esr() const { return signal > 0.0 ? error / signal : 0.0; }
};

struct AccuracyCase
{
    double rate = 44100.0;
    int gainPosition = 8;
    int tonePosition = 1687;
};

struct AccuracyResult
{
    EsrAccumulator chain;                             // whole chain, pooled over the signals
    double worstSignalEsr = 0.0;                      // whole chain, worst single signal
    std::array<EsrAccumulator, NetworkChain::numBlocks> blocks; // each block driven by the reference's input
    std::string error;                                // set when the data could not be loaded
};

// Runs the network chain and the exact reference chain side by side on the same signals (at the
// processing rate), and each block alone on the reference's input to that block.
AccuracyResult measureAccuracy (const std::array<const std::vector<uint8_t>*, NetworkChain::numBlocks>& images,
                                int triodeParameterSet, const AccuracyCase& c,
                                const std::vector<GuitarSignalSpec>& signals);
