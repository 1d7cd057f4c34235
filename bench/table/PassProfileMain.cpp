// A fixed, repeatable amount of work for instruction counting (callgrind): one channel chain on
// a model data set, or the processor's control changes. Wall time is not what this program is
// for; it prints only what it ran, so the instruction counts can be divided by it.
//
//   varkel_pass_profile --model-data DIR [--factor F] [--seconds S] [--plain] [--gain G] [--tone T]
//       one chain at 48 kHz x F (gain position G, tone position T) on S seconds of the test signal;
//       --plain: every network through fann_run and every search box by box
//   varkel_pass_profile --model-data DIR --changes N
//       N gain changes and N tone changes through the processor's setParameter (stereo, x1)
//
// Instructions per pass:
//   valgrind --tool=callgrind --toggle-collect='ChannelChain::process*' varkel_pass_profile ...
// divided by the passes printed. Per control change: --toggle-collect='*gainChanges*' (or
// '*toneChanges*') divided by N.
#include "../support/ProcessorBenchSupport.h"
#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "processor/ModelFiles.h"
#include "processor/ParameterTable.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
using namespace benchsupport;


int runChain (int factor, int seconds, bool plain, uint32_t gain, uint32_t tone)
{
    PreampBlockSet blocks = makePreampBlocks (hostRate * factor);
    ChannelChain chain;
    for (int k = 0; k < 4; ++k)
    {
        const auto name = modelFileName (k, 0, k == 2 ? hostRate * factor : hostRate);
        const auto path = benchModelFolder().getChildFile (name).getFullPathName().toStdString();
        const auto status = chain.loadBlockModel (k, blocks[static_cast<size_t> (k)].get(), path,
                                                  blockUsesPrincipalComponents (k));
        if (!status.ok)
        {
            std::fprintf (stderr, "%s\n", status.message.c_str());
            return 1;
        }
    }
    chain.prepareRate (hostRate, factor);
    for (int k = 0; k < 4; ++k)
        chain.selectPosition (k, k == 3 ? tone : (k == 2 ? 0u : gain));
    if (plain)
        chain.useReferenceEvaluation();
    if (!chain.isReady())
    {
        std::fprintf (stderr, "the chain is not ready (no model data for x%d?)\n", factor);
        return 1;
    }

    std::vector<float> buffer = testSignal (seconds);
    constexpr size_t block = 512;
    for (size_t offset = 0; offset < buffer.size(); offset += block)
    {
        const int n = static_cast<int> (std::min (block, buffer.size() - offset));
        if (factor == 1)
            chain.processPlain (buffer.data() + offset, n);
        else
            chain.processOversampled (buffer.data() + offset, n);
    }
    double sum = 0.0;
    uint64_t hash = 1469598103934665603ull; // of the output bits: a change shows in any sample
    for (const float v : buffer)
    {
        sum += static_cast<double> (v) * v;
        uint32_t bits = 0;
        std::memcpy (&bits, &v, sizeof bits);
        hash = (hash ^ bits) * 1099511628211ull;
    }
    std::printf ("x%d, %s evaluation, gain %u, tone %u: %zu passes (output energy %.9g, bits %016llx)\n",
                 factor, plain ? "plain" : "fast", gain, tone, buffer.size() * static_cast<size_t> (factor),
                 sum, static_cast<unsigned long long> (hash));
    return 0;
}

// Apart, so each can be counted on its own: --toggle-collect='*gainChanges*' or '*toneChanges*'.
__attribute__ ((noinline)) void gainChanges (VarkelPreampAudioProcessor& processor, int count)
{
    for (int n = 0; n < count; ++n)
        processor.setParameter (gainParameter, n % 2 == 0 ? 0.25f : 0.75f);
}

__attribute__ ((noinline)) void toneChanges (VarkelPreampAudioProcessor& processor, int count)
{
    for (int n = 0; n < count; ++n)
        processor.setParameter (trebleParameter, n % 2 == 0 ? 0.2f : 0.8f);
}

int runChanges (int count)
{
    VarkelPreampAudioProcessor processor;
    processor.setPlayConfigDetails (2, 2, hostRate, 512);
    processor.prepareToPlay (hostRate, 512);
    processor.setCurrentProgram (0);
    processor.setParameter (monoStereoParameter, 1.0f);
    if (processor.getModelStatus().isNotEmpty())
    {
        std::fprintf (stderr, "%s\n", processor.getModelStatus().toRawUTF8());
        return 1;
    }
    // Warm: the first selection of a position may build what later ones reuse.
    processor.setParameter (gainParameter, 0.75f);
    processor.setParameter (trebleParameter, 0.8f);
    gainChanges (processor, count);
    toneChanges (processor, count);
    std::printf ("%d gain changes and %d tone changes (stereo, x1)\n", count, count);
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    const juce::StringArray args = commandLineArguments (argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    if (!prepareModelData (argument (args, "--model-data", {})))
        return 1;
    if (args.contains ("--changes"))
        return runChanges (std::max (1, argument (args, "--changes", "10").getIntValue()));
    return runChain (argument (args, "--factor", "1").getIntValue(),
                     std::max (1, argument (args, "--seconds", "1").getIntValue()), args.contains ("--plain"),
                     static_cast<uint32_t> (argument (args, "--gain", "8").getIntValue()),
                     static_cast<uint32_t> (argument (args, "--tone", "1687").getIntValue()));
}
