#include "AccuracyHarness.h"

#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "models/BlockFacts.h"
#include "reference/ReferenceChain.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{
// The plug-in's engine for one channel on model files from disk, prepared as the processor
// does after loading (load, rate, positions) and then given the rate once more, as a rate
// reload does, so every block starts from the rate-table state of its selected position.
struct PluginChain
{
    PreampBlockSet blocks;
    std::unique_ptr<ChannelChain> chain = std::make_unique<ChannelChain>();
    int32_t rate;
    std::string error;

    PluginChain (const ModelFilePaths& paths, const AccuracyCase& c)
        : blocks (makePreampBlocks (c.rate)), rate (static_cast<int32_t> (c.rate))
    {
        for (int k = 0; k < ChannelChain::numBlocks; ++k)
        {
            const auto status = chain->loadBlockModel (k, blocks[static_cast<size_t> (k)].get(),
                                                       paths[static_cast<size_t> (k)],
                                                       blockUsesPrincipalComponents (k));
            if (!status.ok)
            {
                error = "ChannelChain, block " + std::to_string (k + 1) + ": " + status.message;
                return;
            }
        }
        chain->prepareRate (rate, 1);
        chain->selectPosition (0, static_cast<uint32_t> (c.gainPosition));
        chain->selectPosition (1, static_cast<uint32_t> (c.gainPosition));
        chain->selectPosition (2, 0);
        chain->selectPosition (3, static_cast<uint32_t> (c.tonePosition));
        reset();
        if (!chain->isReady())
            error = "ChannelChain is not ready after loading, rate and positions";
    }
    void reset() { chain->prepareRate (rate, 1); }
    double process (double v)
    {
        float sample = static_cast<float> (v);
        chain->processPlain (&sample, 1);
        return static_cast<double> (sample);
    }
};
} // namespace

AccuracyResult measureAccuracy (const std::array<const std::vector<uint8_t>*, NetworkChain::numBlocks>& images,
                                int triodeParameterSet, const AccuracyCase& c,
                                const std::vector<GuitarSignalShape>& signals, const ModelFilePaths* paths)
{
    AccuracyResult result;
    NetworkChain whole (c.rate, c.gainPosition, c.tonePosition, images, triodeParameterSet);
    NetworkChain separate (c.rate, c.gainPosition, c.tonePosition, images, triodeParameterSet);
    if (!whole.ok())
    {
        result.error = whole.error();
        return result;
    }
    std::unique_ptr<PluginChain> plugin;
    if (paths != nullptr)
    {
        plugin = std::make_unique<PluginChain> (*paths, c);
        if (!plugin->error.empty())
        {
            result.error = plugin->error;
            return result;
        }
    }
    ReferenceChain reference (c.rate, c.gainPosition, c.tonePosition, {}, triodeParameterSet);
    const double rest = reference.restState (3).y;
    std::array<double, NetworkChain::numBlocks> blockRest{};
    for (int k = 0; k < NetworkChain::numBlocks; ++k)
        blockRest[static_cast<size_t> (k)] = reference.restState (k).y;

    // The chain's output without the supply normalisation the processor applies afterwards.
    double pluginSquares = 0.0;
    size_t pluginCount = 0;
    for (const auto& shape : signals)
    {
        whole.reset();
        separate.reset();
        reference.reset();
        if (plugin)
            plugin->reset();
        EsrAccumulator one;
        const auto signal = makeGuitarSignal (c.rate, shape);
        for (double v : signal)
        {
            const double yRef = reference.process (v);
            const double y = whole.process (v);
            one.add (y, yRef, rest);
            result.chain.add (y, yRef, rest);
            if (plugin)
            {
                const double yPlugin = plugin->process (v);
                result.plugin.add (yPlugin, yRef, rest);
                result.pluginVsNetworkChain.add (yPlugin, y, rest);
                pluginSquares += (yPlugin - rest) * (yPlugin - rest);
                ++pluginCount;
            }
            double input = v;
            for (int k = 0; k < NetworkChain::numBlocks; ++k)
            {
                const double yk = separate.processBlock (k, input);
                const double yRefK = reference.state (k).y;
                result.blocks[static_cast<size_t> (k)].add (yk, yRefK, blockRest[static_cast<size_t> (k)]);
                input = yRefK;
            }
        }
        result.signalEsr.push_back (one.esr());
        result.worstSignalEsr = std::max (result.worstSignalEsr, one.esr());
    }
    result.pluginRms = pluginCount > 0 ? std::sqrt (pluginSquares / static_cast<double> (pluginCount)) : 0.0;
    return result;
}
