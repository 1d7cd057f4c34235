#include "AccuracyHarness.h"

#include "reference/ReferenceChain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

AccuracyResult measureAccuracy (const std::array<const std::vector<uint8_t>*, NetworkChain::numBlocks>& images,
                                int triodeParameterSet, const AccuracyCase& c,
                                const std::vector<GuitarSignalSpec>& signals)
{
    AccuracyResult result;
    NetworkChain whole (c.rate, c.gainPosition, c.tonePosition, images);
    NetworkChain separate (c.rate, c.gainPosition, c.tonePosition, images);
    if (!whole.ok())
    {
        result.error = whole.error();
        return result;
    }
    ReferenceChain reference (c.rate, c.gainPosition, c.tonePosition, {}, triodeParameterSet);
    const double rest = reference.restState (3).y;
    std::array<double, NetworkChain::numBlocks> blockRest{};
    for (int k = 0; k < NetworkChain::numBlocks; ++k)
        blockRest[static_cast<size_t> (k)] = reference.restState (k).y;

    for (const auto& spec : signals)
    {
        whole.reset();
        separate.reset();
        reference.reset();
        EsrAccumulator one;
        const auto signal = makeGuitarSignal (c.rate, spec);
        for (double v : signal)
        {
            const double yRef = reference.process (v);
            const double y = whole.process (v);
            one.add (y, yRef, rest);
            result.chain.add (y, yRef, rest);
            double input = v;
            for (int k = 0; k < NetworkChain::numBlocks; ++k)
            {
                const double yk = separate.processBlock (k, input);
                const double yRefK = reference.state (k).y;
                result.blocks[static_cast<size_t> (k)].add (yk, yRefK, blockRest[static_cast<size_t> (k)]);
                input = yRefK;
            }
        }
        result.worstSignalEsr = std::max (result.worstSignalEsr, one.esr());
        if (std::getenv ("VARKEL_ACCURACY_DEBUG") != nullptr)
            std::fprintf (stderr, "signal peak %.3g V notes %d: chain ESR %.3g, reference rms %.3g V\n", spec.peakVolts,
                          spec.notes, one.esr(), std::sqrt (one.signal / static_cast<double> (signal.size())));
    }
    return result;
}
