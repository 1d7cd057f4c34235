// The cost table of the preamp, in one run: CPU per second of 48 kHz audio at every
// oversampling factor, mono and stereo, through the processor's processBlock; ns per pass of the
// four blocks; the peer preamp's cost and the ratios; the exact reference chain's cost per pass
// and our speed-up over it; and the time a gain or a tone change takes (median and worst of 100).
//
//   varkel_bench_table [--model-data DIR] [--seconds S] [--repeats R] [--peer-ms MS | --no-peer]
//
// With --model-data the processor reads that data set (rates without files are reported as
// such); without it, model files of the trained sizes with random weights. The peer is the
// studio preamp of Debian's guitarix-lv2 run by lv2file, timed here through the CPU time of the
// child process over a long and a short file (the difference removes start-up and file costs);
// --peer-ms gives a figure measured elsewhere instead. Figures are medians over the repeats.
#include "../support/ProcessorBenchSupport.h"
#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "processor/ModelFiles.h"
#include "processor/VarkelPreampAudioProcessor.h"
#include "reference/ReferenceChain.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
using namespace benchsupport;
constexpr int blockSize = 512;
constexpr const char* peerUri = "http://guitarix.sourceforge.net/plugins/gx_studiopre#studiopre";

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]));
}


struct Prepared
{
    std::unique_ptr<VarkelPreampAudioProcessor> processor;
    juce::String problem;
};

Prepared prepare (int factorStep, bool stereo)
{
    Prepared p;
    p.processor = std::make_unique<VarkelPreampAudioProcessor>();
    auto& processor = *p.processor;
    const int channels = stereo ? 2 : 1;
    processor.setPlayConfigDetails (channels, channels, hostRate, blockSize);
    processor.prepareToPlay (hostRate, blockSize);
    processor.setCurrentProgram (0);
    processor.setParameter (monoStereoParameter, stereo ? 1.0f : 0.0f);
    processor.setParameter (oversamplingParameter, 0.25f * static_cast<float> (factorStep));
    p.problem = processor.getModelStatus();
    return p;
}

// Thread CPU seconds of one pass over the input in host-sized blocks (the same signal on every
// channel).
double timePass (VarkelPreampAudioProcessor& processor, const std::vector<float>& input, int channels)
{
    juce::AudioBuffer<float> buffer (channels, blockSize);
    juce::MidiBuffer midi;
    double spent = 0.0;
    for (size_t offset = 0; offset < input.size(); offset += blockSize)
    {
        const int n = static_cast<int> (std::min<size_t> (blockSize, input.size() - offset));
        buffer.setSize (channels, n, false, false, true);
        for (int c = 0; c < channels; ++c)
            buffer.copyFrom (c, 0, input.data() + offset, n);
        const double start = threadCpuSeconds();
        processor.processBlock (buffer, midi);
        spent += threadCpuSeconds() - start;
    }
    return spent;
}

// Wall-clock milliseconds of 100 changes of one parameter between two values, median and worst.
std::pair<double, double> timeChanges (VarkelPreampAudioProcessor& processor, int index, float a, float b)
{
    std::vector<double> ms;
    for (int n = 0; n < 100; ++n)
    {
        const auto start = std::chrono::steady_clock::now();
        processor.setParameter (index, n % 2 == 0 ? b : a);
        ms.push_back (
            std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count());
    }
    return {median (ms), *std::max_element (ms.begin(), ms.end())};
}

// Children's CPU seconds (user + system) so far.
double childCpuSeconds()
{
    rusage usage{};
    getrusage (RUSAGE_CHILDREN, &usage);
    return static_cast<double> (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double> (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The peer's ms of CPU per second of mono audio, or a negative value when it cannot be run.
double measurePeer (int repeats)
{
    if (std::system ("command -v lv2file >/dev/null 2>&1") != 0)
        return -1.0;
    const auto folder = juce::File::createTempFile ("varkel-bench-peer");
    folder.createDirectory();
    const int longSeconds = 20, shortSeconds = 2;
    const auto longFile = folder.getChildFile ("long.wav"), shortFile = folder.getChildFile ("short.wav");
    if (!writeWav (longFile, testSignal (longSeconds)) || !writeWav (shortFile, testSignal (shortSeconds)))
        return -1.0;
    auto run = [&] (const juce::File& in)
    {
        const std::string command = "lv2file --ignore-clipping -b 512 -i '" +
                                    in.getFullPathName().toStdString() + "' -o '" +
                                    folder.getChildFile ("out.wav").getFullPathName().toStdString() + "' '" +
                                    peerUri + "' >/dev/null 2>&1";
        const double before = childCpuSeconds();
        const int status = std::system (command.c_str());
        return status == 0 ? childCpuSeconds() - before : -1.0;
    };
    std::vector<double> longRuns, shortRuns;
    for (int r = 0; r < repeats; ++r)
    {
        longRuns.push_back (run (longFile));
        shortRuns.push_back (run (shortFile));
    }
    folder.deleteRecursively();
    if (*std::min_element (longRuns.begin(), longRuns.end()) < 0 ||
        *std::min_element (shortRuns.begin(), shortRuns.end()) < 0)
        return -1.0;
    return 1000.0 * (median (longRuns) - median (shortRuns)) / (longSeconds - shortSeconds);
}

// ns per pass of one chain at 48 kHz x1 (gain 8, tone 1687) on the test signal: with the fast
// evaluation, or with every network through fann_run and every search box by box.
double chainNsPerPass (const std::vector<float>& input, bool plain, int repeats)
{
    PreampBlockSet blocks = makePreampBlocks (hostRate);
    ChannelChain chain;
    for (int k = 0; k < 4; ++k)
    {
        const auto path = benchModelFolder().getChildFile (modelFileName (k, 0, hostRate)).getFullPathName();
        if (!chain
                 .loadBlockModel (k, blocks[static_cast<size_t> (k)].get(), path.toStdString(),
                                  blockUsesPrincipalComponents (k))
                 .ok)
            return -1.0;
    }
    chain.prepareRate (hostRate, 1);
    for (int k = 0; k < 4; ++k)
        chain.selectPosition (k, k == 3 ? 1687u : 8u);
    if (plain)
        chain.useReferenceEvaluation();
    std::vector<double> ns;
    std::vector<float> buffer (input.size());
    for (int r = 0; r < repeats; ++r)
    {
        buffer = input;
        const double start = threadCpuSeconds();
        chain.processPlain (buffer.data(), static_cast<int> (buffer.size()));
        ns.push_back (1e9 * (threadCpuSeconds() - start) / static_cast<double> (buffer.size()));
    }
    return median (ns);
}

// ns per pass of the exactly solved chain (four Newton solves) at 48 kHz, gain 8, tone 1687, on
// the test signal in volts.
double referenceNsPerPass (const std::vector<float>& input, int repeats)
{
    std::vector<double> ns;
    const size_t n = std::min<size_t> (input.size(), hostRate / 2);
    for (int r = 0; r < repeats; ++r)
    {
        ReferenceChain chain (hostRate, 8, 1687);
        double sink = 0.0;
        const double start = threadCpuSeconds();
        for (size_t s = 0; s < n; ++s)
            sink += chain.process (input[s]);
        ns.push_back (1e9 * (threadCpuSeconds() - start) / static_cast<double> (n));
        if (!std::isfinite (sink))
            std::fprintf (stderr, "reference chain: non-finite output\n");
    }
    return median (ns);
}
} // namespace

int main (int argc, char** argv)
{
    const juce::StringArray args = commandLineArguments (argc, argv);
    if (args.contains ("--help"))
    {
        std::printf ("usage: %s [--model-data DIR] [--seconds S] [--repeats R] [--peer-ms MS | --no-peer]\n",
                     argv[0]);
        return 0;
    }
    const juce::ScopedJuceInitialiser_GUI juce;

    const juce::String dataFolder = argument (args, "--model-data");
    if (!prepareModelData (dataFolder))
        return 1;
    const int seconds = std::max (1, argument (args, "--seconds", "2").getIntValue());
    const int repeats = std::max (1, argument (args, "--repeats", "3").getIntValue());
    const auto input = testSignal (seconds);

    std::printf ("model data: %s\n", dataFolder.isNotEmpty() ? dataFolder.toRawUTF8()
                                                             : "written here, trained sizes, random weights");
    std::printf ("%d s of 48 kHz audio per measurement, median of %d; CPU time of the processing thread\n\n",
                 seconds, repeats);
    std::printf ("%-6s %14s %16s %16s %16s\n", "factor", "mono ms/s", "stereo ms/s", "ns per pass",
                 "stereo % core");

    double monoX1 = -1.0, nsX1 = -1.0, nsX16 = -1.0, stereoX16 = -1.0;
    for (int step = 0; step <= 4; ++step)
    {
        const int factor = 1 << step;
        double msPerSecond[2] = {-1.0, -1.0};
        juce::String problem;
        for (const bool stereo : {false, true})
        {
            Prepared p = prepare (step, stereo);
            if (p.problem.isNotEmpty())
            {
                problem = p.problem;
                break;
            }
            std::vector<double> runs;
            timePass (*p.processor, std::vector<float> (input.begin(), input.begin() + hostRate / 10),
                      stereo ? 2 : 1); // warm-up
            for (int r = 0; r < repeats; ++r)
                runs.push_back (timePass (*p.processor, input, stereo ? 2 : 1));
            msPerSecond[stereo ? 1 : 0] = 1000.0 * median (runs) / seconds;
        }
        if (problem.isNotEmpty())
        {
            std::printf ("x%-5d no model data: %s\n", factor, problem.toRawUTF8());
            continue;
        }
        const double nsPerPass = 1e6 * msPerSecond[0] / (static_cast<double> (hostRate) * factor);
        std::printf ("x%-5d %14.2f %16.2f %16.1f %15.1f%%\n", factor, msPerSecond[0], msPerSecond[1],
                     nsPerPass, msPerSecond[1] / 10.0);
        if (factor == 1)
        {
            monoX1 = msPerSecond[0];
            nsX1 = nsPerPass;
        }
        if (factor == 16)
        {
            nsX16 = nsPerPass;
            stereoX16 = msPerSecond[1];
        }
    }

    std::printf ("\n");
    double peer = -1.0;
    if (args.contains ("--peer-ms"))
        peer = argument (args, "--peer-ms").getDoubleValue();
    else if (!args.contains ("--no-peer"))
        peer = measurePeer (repeats);
    if (peer > 0.0)
    {
        std::printf ("peer (gx_studiopre in lv2file, mono): %.2f ms/s%s\n", peer,
                     args.contains ("--peer-ms") ? " (given)" : "");
        if (monoX1 > 0.0)
            std::printf ("ratio x1 mono / peer: %.2f (target <= 0.70)\n", monoX1 / peer);
    }
    else
        std::printf (
            "peer: not measured (needs lv2file and guitarix-lv2; scripts/bench-table.sh installs them)\n");
    if (stereoX16 > 0.0)
        std::printf ("x16 stereo: %.1f %% of one core (target <= 40 %%)\n", stereoX16 / 10.0);
    if (nsX16 > 0.0)
        std::printf ("x16 ns per pass: %.1f (target <= 200)\n", nsX16);

    const double reference = referenceNsPerPass (input, repeats);
    std::printf ("exact reference chain (Newton solves), 48 kHz: %.0f ns per pass", reference);
    if (nsX1 > 0.0)
        std::printf ("; speed-up of ours at x1: %.0f x", reference / nsX1);
    std::printf ("\n");
    const double fastChain = chainNsPerPass (input, false, repeats);
    const double plainChain = chainNsPerPass (input, true, repeats);
    if (fastChain > 0.0 && plainChain > 0.0)
        std::printf (
            "one chain, 48 kHz x1: %.1f ns per pass; with fann_run and the linear search %.1f ns (%.2f x)\n",
            fastChain, plainChain, plainChain / fastChain);
    std::printf ("\n");

    Prepared p = prepare (0, true);
    if (p.problem.isEmpty())
    {
        const auto gain = timeChanges (*p.processor, gainParameter, 0.25f, 0.75f);
        const auto tone = timeChanges (*p.processor, trebleParameter, 0.2f, 0.8f);
        std::printf ("gain change (stereo): median %.3f ms, worst %.3f ms over 100 (target <= 0.2 ms)\n",
                     gain.first, gain.second);
        std::printf ("tone change (stereo): median %.3f ms, worst %.3f ms over 100 (target <= 0.2 ms)\n",
                     tone.first, tone.second);
    }
    return 0;
}
