// varkel-model-accuracy: the network chain against the exact reference chain, as an ESR table.
#include "AccuracyHarness.h"
#include "CommandLine.h"
#include "DataSetBuilder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace
{
std::vector<uint8_t> readBytes (const std::filesystem::path& path)
{
    std::ifstream stream (path, std::ios::binary);
    return {std::istreambuf_iterator<char> (stream), std::istreambuf_iterator<char>()};
}
} // namespace

int main (int argc, char** argv)
{
    CommandLine args (argc, argv);
    std::vector<int> hostRates = {44100, 48000}, factors = {1}, gains = {0, 8, 16}, tones = {0, 1687, 3374},
                     exact;
    double seconds = 0.3;
    if (args.error.empty())
        args.integers ("host-rates", hostRates) && args.integers ("factors", factors)
            && args.integers ("gains", gains) && args.integers ("tones", tones)
            && args.integers ("exact-blocks", exact) && args.number ("seconds", seconds);
    const auto valves = valveSetsByName (args.get ("valve", "eh"));
    if (!args.error.empty() || !args.has ("data") || valves.empty())
    {
        if (!args.error.empty())
            std::fprintf (stderr, "varkel-model-accuracy: %s\n", args.error.c_str());
        std::puts ("usage: varkel-model-accuracy --data DIR [--valve eh|rsd|both] [--host-rates 44100,48000]\n"
                   "                             [--factors 1,2,4,8,16] [--gains 0,8,16] [--tones 0,1687,3374]\n"
                   "                             [--seconds S] [--exact-blocks 1,2,3,4] [--per-signal]\n"
                   "Prints the error-to-signal ratio of the chain output and of each block (driven by the\n"
                   "reference's input) on unseen guitar-like signals, and of the plug-in's own channel\n"
                   "chain on the same files read from disk (column plugin, with its output RMS in volts);\n"
                   "--exact-blocks solves those blocks exactly instead of loading their data (no plugin\n"
                   "column then); --per-signal adds one line per signal with its level and chain ESR.");
        return 2;
    }
    const std::filesystem::path dir = args.get ("data", ".");
    // Signals the builder never trained on (other seeds), quiet to hot.
    const auto signals = standardSignalSet (5000, seconds);
    double worst = 0.0;
    const bool perSignal = args.has ("per-signal");
    std::printf ("%-4s %8s %4s %5s %10s %10s %10s %10s %10s %10s %10s %10s\n", "set", "rate", "gain", "tone", "chain",
                 "worstSig", "block1", "block2", "block3", "block4", "plugin", "pluginRms");
    for (const auto& valve : valves)
    {
        for (int host : hostRates)
            for (int factor : factors)
            {
                const int rate = host * factor;
                std::array<std::vector<uint8_t>, 4> bytes;
                std::array<const std::vector<uint8_t>*, 4> images{};
                ModelFilePaths paths;
                for (int k = 0; k < 4; ++k)
                {
                    paths[static_cast<size_t> (k)] = (dir / modelFileName (valve, k, rate)).string();
                    if (std::find (exact.begin(), exact.end(), k + 1) != exact.end())
                        continue;
                    bytes[static_cast<size_t> (k)] = readBytes (paths[static_cast<size_t> (k)]);
                    images[static_cast<size_t> (k)] = &bytes[static_cast<size_t> (k)];
                }
                for (int g : gains)
                    for (int t : tones)
                    {
                        const auto r = measureAccuracy (images, valve.triodeParameterSet, {double (rate), g, t}, signals,
                                                        exact.empty() ? &paths : nullptr);
                        if (!r.error.empty())
                        {
                            std::fprintf (stderr, "varkel-model-accuracy: %s at %d Hz: %s\n", valve.name.c_str(), rate,
                                          r.error.c_str());
                            return 1;
                        }
                        worst = std::max (worst, r.chain.esr());
                        std::printf ("%-4s %8d %4d %5d %10.3g %10.3g %10.3g %10.3g %10.3g %10.3g", valve.name.c_str(),
                                     rate, g, t, r.chain.esr(), r.worstSignalEsr, r.blocks[0].esr(), r.blocks[1].esr(),
                                     r.blocks[2].esr(), r.blocks[3].esr());
                        if (exact.empty())
                            std::printf (" %10.3g %10.3g\n", r.plugin.esr(), r.pluginRms);
                        else
                            std::printf (" %10s %10s\n", "-", "-");
                        if (perSignal)
                            for (size_t s = 0; s < signals.size() && s < r.signalEsr.size(); ++s)
                                std::printf ("    signal peak %.3g V, %d note(s): chain ESR %.3g\n", signals[s].peakVolts,
                                             signals[s].notes, r.signalEsr[s]);
                        std::fflush (stdout);
                    }
            }
    }
    std::printf ("worst chain ESR %.3g\n", worst);
    return 0;
}
