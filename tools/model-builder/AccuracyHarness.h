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
    std::vector<double> signalEsr;                    // whole chain, per signal in the given order
    std::array<EsrAccumulator, NetworkChain::numBlocks> blocks; // each block driven by the reference's input
    // The plug-in's own ChannelChain on the model files read from disk (only when paths are
    // given): its error against the reference, and its output's RMS with the rest value removed.
    EsrAccumulator plugin;
    EsrAccumulator pluginVsNetworkChain; // the ChannelChain against this harness's own network chain
    double pluginRms = 0.0;
    std::string error;                                // set when the data could not be loaded
};

// Model files as the plug-in reads them, in block order (block 3's for the case's rate).
using ModelFilePaths = std::array<std::string, NetworkChain::numBlocks>;

// Runs the network chain and the exact reference chain side by side on the same signals (at the
// processing rate), and each block alone on the reference's input to that block. With paths,
// also the plug-in's ChannelChain on those files, loaded and prepared in the processor's order.
AccuracyResult measureAccuracy (const std::array<const std::vector<uint8_t>*, NetworkChain::numBlocks>& images,
                                int triodeParameterSet, const AccuracyCase& c,
                                const std::vector<GuitarSignalShape>& signals, const ModelFilePaths* paths = nullptr);
