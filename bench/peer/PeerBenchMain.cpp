// Measures the processor's CPU time per second of mono 48 kHz audio at oversampling x1, x4 and
// x16, on the same file a peer plug-in is run on (run-peer-bench.sh).
//
//   varkel_peer_bench --write-input FILE.wav [--seconds S]   writes the test signal
//   varkel_peer_bench --input FILE.wav [--model-data DIR] [--repeats R]
//
// The processor reads its model data from the folder beside its module, here beside this
// executable. With --model-data that folder is made a link to DIR (a trained data set); without
// it, model files shaped like the trained data are written there (random networks of the
// trained sizes: 4-8-4 with 8 regions per position for blocks 1 to 3, 2-8-2 with 4 regions for
// block 4, every sample searching all regions). Only the process calls are timed, not loading.
#include "../support/ProcessorBenchSupport.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace
{
using namespace benchsupport;
constexpr int blockSize = 512;

// CPU seconds for one pass over the input, in host-sized blocks, through processBlock.
double timeOnePass (VarkelPreampAudioProcessor& processor, const std::vector<float>& input, double& peak,
                    int64_t& nonFinite)
{
    juce::AudioBuffer<float> buffer (1, blockSize);
    juce::MidiBuffer midi;
    peak = 0.0;
    const double start = processCpuSeconds();
    for (size_t offset = 0; offset < input.size(); offset += blockSize)
    {
        const int n = static_cast<int> (std::min<size_t> (blockSize, input.size() - offset));
        buffer.setSize (1, n, false, false, true);
        buffer.copyFrom (0, 0, input.data() + offset, n);
        processor.processBlock (buffer, midi);
        for (int s = 0; s < n; ++s)
            if (!std::isfinite (buffer.getSample (0, s)))
                ++nonFinite;
        peak = std::max (peak, static_cast<double> (buffer.getMagnitude (0, 0, n)));
    }
    return processCpuSeconds() - start;
}

} // namespace

int main (int argc, char** argv)
{
    const juce::StringArray args = commandLineArguments (argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;

    if (args.contains ("--write-input"))
    {
        const juce::File file (
            juce::File::getCurrentWorkingDirectory().getChildFile (argument (args, "--write-input")));
        const int seconds = std::max (1, argument (args, "--seconds", "20").getIntValue());
        if (!writeWav (file, testSignal (seconds)))
        {
            std::fprintf (stderr, "cannot write %s\n", file.getFullPathName().toRawUTF8());
            return 1;
        }
        return 0;
    }

    const juce::File inputFile (
        juce::File::getCurrentWorkingDirectory().getChildFile (argument (args, "--input")));
    const auto input = readWav (inputFile);
    if (input.empty())
    {
        std::fprintf (stderr,
                      "usage: %s --input FILE.wav [--model-data DIR] [--repeats R]\n"
                      "       %s --write-input FILE.wav [--seconds S]\n",
                      argv[0], argv[0]);
        return 2;
    }
    const juce::String dataFolder = argument (args, "--model-data");
    if (!prepareModelData (dataFolder))
        return 1;
    const int repeats = std::max (1, argument (args, "--repeats", "3").getIntValue());
    const double audioSeconds = static_cast<double> (input.size()) / hostRate;

    std::printf ("model data: %s\n", dataFolder.isNotEmpty() ? dataFolder.toRawUTF8()
                                                             : "written here, trained sizes, random weights");
    for (const auto& [step, label] : {std::pair<float, const char*>{0.0f, "x1"}, {0.5f, "x4"}, {1.0f, "x16"}})
    {
        VarkelPreampAudioProcessor processor;
        processor.setPlayConfigDetails (1, 1, hostRate, blockSize);
        processor.prepareToPlay (hostRate, blockSize);
        processor.setCurrentProgram (0); // loads the models for 48 kHz
        processor.setParameter (oversamplingParameter, step);
        if (processor.getModelStatus().isNotEmpty())
        {
            std::fprintf (stderr, "%s\n", processor.getModelStatus().toRawUTF8());
            return 1;
        }
        double best = 1e300, peak = 0.0;
        int64_t nonFinite = 0;
        for (int r = 0; r < repeats; ++r)
        {
            double passPeak = 0.0;
            best = std::min (best, timeOnePass (processor, input, passPeak, nonFinite));
            peak = std::max (peak, passPeak);
        }
        std::printf (
            "ours %-3s %8.2f ms CPU per second of audio (best of %d passes over %.1f s; output peak %.3g)\n",
            label, 1000.0 * best / audioSeconds, repeats, audioSeconds, peak);
        if (nonFinite > 0)
        {
            std::fprintf (stderr, "%s: %lld non-finite output samples\n", label,
                          static_cast<long long> (nonFinite));
            return 1;
        }
    }
    return 0;
}
