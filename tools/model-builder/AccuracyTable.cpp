#include "AccuracyTable.h"

#include "BlockRunner.h"
#include "ExactCircuit.h"
#include "NetworkBlockRunner.h"

#include "engine/ChannelChain.h"
#include "engine/FirResampler.h"
#include "engine/OversamplingTables.h"
#include "engine/PreampBlocks.h"
#include "models/BlockFacts.h"
#include "reference/PortSolver.h"
#include "reference/ReferenceTriode.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

namespace
{
constexpr int toneLevels = 15;

// The host signal as the blocks receive it: times the input gain in float, then up-sampled by
// the plug-in's own filter when oversampling.
std::vector<double> toProcessingRate (const std::vector<double>& host, float gain, int factor)
{
    std::vector<double> out;
    out.reserve (host.size() * static_cast<size_t> (factor));
    if (factor <= 1)
    {
        for (double v : host)
            out.push_back (static_cast<double> (static_cast<float> (v) * gain));
        return out;
    }
    const auto& table = oversamplingTable (factor);
    FirResampler up (static_cast<int> (table.size()), factor, table.data());
    for (double v : host)
    {
        up.push (static_cast<float> (v) * gain);
        for (int j = 0; j < factor; ++j)
            out.push_back (static_cast<double> (up.nextOutput()));
    }
    return out;
}

// Back to the host rate as the plug-in does it: one filtered value per host period, taken at its
// first sub-sample; the rest value is removed first so the filter's start from silence and its
// DC gain do not enter the comparison.
std::vector<double> toHostRate (const std::vector<double>& processing, double rest, int factor)
{
    std::vector<double> out;
    if (factor <= 1)
    {
        for (double v : processing)
            out.push_back (v - rest);
        return out;
    }
    const auto& table = oversamplingTable (factor);
    FirResampler down (static_cast<int> (table.size()), 1, table.data());
    for (size_t n = 0; n < processing.size(); ++n)
    {
        down.push (static_cast<float> (processing[n] - rest));
        if (n % static_cast<size_t> (factor) == 0)
            out.push_back (static_cast<double> (down.nextOutput()));
        else
            down.advance();
    }
    return out;
}

std::vector<uint8_t> readBytes (const std::filesystem::path& path)
{
    std::ifstream stream (path, std::ios::binary);
    return {std::istreambuf_iterator<char> (stream), std::istreambuf_iterator<char>()};
}

struct Comparison
{
    double error = 0.0, signal = 0.0, error50 = 0.0, signal50 = 0.0;
    long flips = 0;
};

std::vector<double> removeRest (const std::vector<double>& y, double rest)
{
    std::vector<double> out (y.size());
    for (size_t n = 0; n < y.size(); ++n)
        out[n] = y[n] - rest;
    return out;
}

// y minus yOffset against the reference (whose rest value is already removed).
void compare (const std::vector<double>& y, const std::vector<double>& reference, size_t early, Comparison& c,
              double yOffset = 0.0)
{
    double peak = 0.0;
    for (double v : reference)
        peak = std::max (peak, std::abs (v));
    for (size_t n = 0; n < reference.size() && n < y.size(); ++n)
    {
        const double d = (y[n] - yOffset) - reference[n], s = reference[n] * reference[n];
        c.error += d * d;
        c.signal += s;
        if (n < early)
        {
            c.error50 += d * d;
            c.signal50 += s;
        }
        if (std::abs (reference[n]) > 0.1 * peak && !((y[n] - yOffset) * reference[n] > 0.0))
            ++c.flips;
    }
}

double ratio (double error, double signal)
{
    return signal > 0.0 ? error / signal : (error > 0.0 ? INFINITY : 0.0);
}

// The plug-in's channel chain on the files from disk, loaded, prepared and positioned as the
// processor does it, then given the rate once more so every block starts from its rate table.
struct PluginChain
{
    PreampBlockSet blocks;
    ChannelChain chain;
    int32_t host, factor;
    std::string error;

    PluginChain (const std::array<std::filesystem::path, 4>& paths, int hostRate, int oversampling, int gain, int tone)
        : blocks (makePreampBlocks (hostRate)), host (hostRate), factor (oversampling)
    {
        for (int k = 0; k < 4; ++k)
        {
            const auto status = chain.loadBlockModel (k, blocks[static_cast<size_t> (k)].get(),
                                                      paths[static_cast<size_t> (k)].string(), k != 3);
            if (!status.ok)
            {
                error = paths[static_cast<size_t> (k)].string() + ": " + status.message;
                return;
            }
        }
        chain.prepareRate (host, factor);
        chain.selectPosition (0, static_cast<uint32_t> (gain));
        chain.selectPosition (1, static_cast<uint32_t> (gain));
        chain.selectPosition (2, 0);
        chain.selectPosition (3, static_cast<uint32_t> (tone));
        if (!chain.isReady())
            error = "the channel chain is not ready after loading, rate and positions";
    }
    std::vector<double> run (const std::vector<double>& input, float gain)
    {
        chain.prepareRate (host, factor);
        chain.inputGain.store (gain);
        std::vector<float> samples (input.begin(), input.end());
        if (factor > 1)
            chain.processOversampled (samples.data(), static_cast<int> (samples.size()));
        else
            chain.processPlain (samples.data(), static_cast<int> (samples.size()));
        return {samples.begin(), samples.end()};
    }
};
} // namespace

int toneIndex (int treble, int middle, int bass)
{
    return 225 * treble + 15 * bass + middle;
}

void toneControls (int index, int& treble, int& middle, int& bass)
{
    treble = index / 225;
    bass = (index / 15) % 15;
    middle = index % 15;
}

std::vector<int> toneGrid (int levels)
{
    levels = std::clamp (levels, 1, toneLevels);
    std::vector<int> settings;
    for (int l = 0; l < levels; ++l)
        settings.push_back (levels == 1 ? 7 : (l * (toneLevels - 1) + (levels - 1) / 2) / (levels - 1));
    std::vector<int> tones;
    for (int t : settings)
        for (int m : settings)
            for (int b : settings)
                tones.push_back (toneIndex (t, m, b));
    const int middle = toneIndex (7, 7, 7);
    if (std::find (tones.begin(), tones.end(), middle) == tones.end())
        tones.push_back (middle);
    return tones;
}

std::string runAccuracyGrid (const AccuracyGrid& grid, const std::function<void (const AccuracyRow&)>& sink)
{
    for (const auto& valve : grid.valves)
        for (int host : grid.hostRates)
            for (int factor : grid.factors)
            {
                const int rate = host * factor;
                std::array<std::filesystem::path, 4> paths;
                std::array<std::vector<uint8_t>, 4> images;
                for (int k = 0; k < 4; ++k)
                {
                    const auto kk = static_cast<size_t> (k);
                    paths[kk] = chooseModelFile (grid.dataDir.string(), valve.name, k, rate);
                    images[kk] = readBytes (paths[kk]);
                    if (images[kk].empty())
                        return paths[kk].string() + ": missing or empty";
                }
                ExactCircuit exact (rate, valve.triodeParameterSet);
                const auto networkBlocks = makePreampBlocks (rate);
                std::vector<std::unique_ptr<NetworkBlockRunner>> networks;
                for (int k = 0; k < 4; ++k)
                {
                    const auto kk = static_cast<size_t> (k);
                    networks.push_back (std::make_unique<NetworkBlockRunner> (*networkBlocks[kk], k, rate));
                    const auto why = networks.back()->load (images[kk]);
                    if (!why.empty())
                        return paths[kk].string() + ": " + why;
                }
                const TrajectoryOptions plainRun;
                std::mt19937 unused;
                for (int gain : grid.gains)
                {
                    const auto g = static_cast<uint32_t> (gain);
                    exact.block (0).setControlPosition (g);
                    exact.block (1).setControlPosition (g);
                    networks[0]->select (g);
                    networks[1]->select (g);
                    networks[2]->select (0);
                    ExactBlockRunner r1 (exact.block (0), exact.solver (0), 0.0);
                    ExactBlockRunner r2 (exact.block (1), exact.solver (1), r1.rest().y);
                    ExactBlockRunner r3 (exact.block (2), exact.solver (2), r2.rest().y);
                    std::unique_ptr<PluginChain> plugin;
                    if (grid.pluginCheck && !grid.tones.empty())
                    {
                        plugin = std::make_unique<PluginChain> (paths, host, factor, gain, grid.tones.front());
                        if (!plugin->error.empty())
                            return plugin->error;
                    }
                    for (const auto* signalClass : grid.classes)
                    {
                        struct Played
                        {
                            std::vector<double> host, exact3, network3;
                        };
                        std::array<Comparison, 3> alone;
                        std::vector<Played> played;
                        std::array<long, 4> misses{};
                        long samples = 0;
                        const float inputGain = inputGainFactor (signalClass->inputLevel);
                        for (int s = 0; s < grid.signalsPerClass; ++s)
                        {
                            Played one;
                            one.host = makeAccuracySignal (*signalClass, host,
                                                           static_cast<uint32_t> (1000 * gain + 17 * s + 1), grid.seconds);
                            const auto input = toProcessingRate (one.host, inputGain, factor);
                            samples += static_cast<long> (input.size());
                            const auto exact1 = r1.run (input, plainRun, nullptr, unused);
                            const auto exact2 = r2.run (exact1, plainRun, nullptr, unused);
                            one.exact3 = r3.run (exact2, plainRun, nullptr, unused);
                            long ignored = 0;
                            compare (networks[0]->run (input, ignored), removeRest (exact1, r1.rest().y), 0, alone[0], r1.rest().y);
                            compare (networks[1]->run (exact1, ignored), removeRest (exact2, r2.rest().y), 0, alone[1], r2.rest().y);
                            compare (networks[2]->run (exact2, ignored), removeRest (one.exact3, r3.rest().y), 0, alone[2],
                                     r3.rest().y);
                            one.network3 = networks[2]->run (networks[1]->run (networks[0]->run (input, misses[0]),
                                                                               misses[1]),
                                                             misses[2]);
                            played.push_back (std::move (one));
                        }
                        for (int tone : grid.tones)
                        {
                            exact.block (3).setControlPosition (static_cast<uint32_t> (tone));
                            ExactBlockRunner r4 (exact.block (3), exact.solver (3), r3.rest().y);
                            networks[3]->select (static_cast<uint32_t> (tone));
                            AccuracyRow row;
                            row.valve = valve.name;
                            row.hostRate = host;
                            row.factor = factor;
                            row.gain = gain;
                            row.tone = tone;
                            row.signalClass = signalClass->name;
                            row.samples = samples;
                            row.misses = misses;
                            row.misses[3] = 0;
                            Comparison c, pluginComparison, alone4;
                            for (const auto& one : played)
                            {
                                const double rest = r4.rest().y;
                                const auto yExact4 = r4.run (one.exact3, plainRun, nullptr, unused);
                                const auto yRef = toHostRate (yExact4, rest, factor);
                                const auto yNetFull = networks[3]->run (one.network3, row.misses[3]);
                                long ignored = 0;
                                compare (networks[3]->run (one.exact3, ignored), removeRest (yExact4, rest), 0, alone4, rest);
                                compare (toHostRate (yNetFull, rest, factor), yRef,
                                         static_cast<size_t> (0.05 * host), c);
                                if (plugin && tone == grid.tones.front())
                                {
                                    // Both with the rest value in, through the same filter.
                                    const auto yPlugin = plugin->run (one.host, inputGain);
                                    const auto yHarness = toHostRate (yNetFull, 0.0, factor);
                                    const auto restOut = toHostRate (std::vector<double> (yNetFull.size(), rest), 0.0, factor);
                                    std::vector<double> a, b;
                                    for (size_t n = 0; n < yPlugin.size() && n < yHarness.size(); ++n)
                                    {
                                        a.push_back (yPlugin[n] - restOut[n]);
                                        b.push_back (yHarness[n] - restOut[n]);
                                    }
                                    compare (a, b, 0, pluginComparison);
                                }
                            }
                            row.esr = ratio (c.error, c.signal);
                            row.esr50 = ratio (c.error50, c.signal50);
                            row.signFlips = c.flips;
                            for (size_t k = 0; k < 3; ++k)
                                row.blockEsr[k] = ratio (alone[k].error, alone[k].signal);
                            row.blockEsr[3] = ratio (alone4.error, alone4.signal);
                            if (plugin && tone == grid.tones.front())
                                row.pluginEsr = ratio (pluginComparison.error, pluginComparison.signal);
                            sink (row);
                        }
                    }
                }
            }
    return {};
}

AccuracySummary summariseRows (const std::vector<AccuracyRow>& rows)
{
    AccuracySummary s;
    s.rows = rows.size();
    if (rows.empty())
        return s;
    std::vector<double> esr, esr50;
    for (const auto& r : rows)
    {
        esr.push_back (r.esr);
        esr50.push_back (r.esr50);
        s.signFlips += r.signFlips;
        s.rowsWithFlips += r.signFlips > 0 ? 1 : 0;
        bool missed = false;
        for (size_t k = 0; k < 4; ++k)
        {
            s.misses[k] += r.misses[k];
            missed = missed || r.misses[k] > 0;
        }
        s.samples += r.samples;
        s.rowsWithMisses += missed ? 1 : 0;
        s.worstPluginEsr = std::max (s.worstPluginEsr, r.pluginEsr);
    }
    auto median = [] (std::vector<double> v)
    {
        std::sort (v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    };
    for (size_t k = 0; k < 4; ++k)
    {
        std::vector<double> b;
        for (const auto& r : rows)
            b.push_back (r.blockEsr[k]);
        s.medianBlockEsr[k] = median (b);
        s.worstBlockEsr[k] = *std::max_element (b.begin(), b.end());
    }
    s.medianEsr = median (esr);
    s.medianEsr50 = median (esr50);
    s.worstEsr = *std::max_element (esr.begin(), esr.end());
    s.worstEsr50 = *std::max_element (esr50.begin(), esr50.end());
    return s;
}
