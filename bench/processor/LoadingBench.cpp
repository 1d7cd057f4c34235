// What a host waits for with the real model data set: opening the first and each further
// instance (time and resident memory), program switches (twelve identical programs, and programs
// that differ), valve switches, oversampling switches and state restores, each with the longest
// span the audio thread went without a processed block meanwhile.
//
//   varkel_loading_bench [--model-data DIR] [--instances N] [--rounds R]
//
// The processor reads its model data from the folder beside its module, here beside this
// executable; that folder is made a link to DIR (default: the tests' real data set, built by
// `ctest -R '^real_model_data$'`). Prints figures; asserts nothing.
#include "AudioThreadProbe.h"
#include "../support/ProcessorBenchSupport.h"

#include "processor/ProgramRecord.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using benchsupport::argument;
using benchsupport::commandLineArguments;

namespace
{
constexpr int hostRate = 48000;
constexpr int blockSize = 512;

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli> (steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread: the figure that a loaded machine disturbs least.
double threadCpuMs()
{
    timespec t{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double> (t.tv_sec) * 1e3 + 1e-6 * static_cast<double> (t.tv_nsec);
}

double residentMiB()
{
    std::ifstream status ("/proc/self/status");
    std::string line;
    while (std::getline (status, line))
        if (line.rfind ("VmRSS:", 0) == 0)
            return std::stod (line.substr (6)) / 1024.0;
    return 0.0;
}

bool linkModelData (const juce::String& given)
{
    const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    const juce::File folder (module.getFullPathName() + ".dat");
    if (folder.isSymbolicLink())
        folder.deleteFile();
    else
        folder.deleteRecursively();
    const juce::File data (juce::File::getCurrentWorkingDirectory().getChildFile (given));
    if (!data.isDirectory())
    {
        std::fprintf (stderr, "model data folder not found: %s\n", data.getFullPathName().toRawUTF8());
        return false;
    }
    return data.createSymbolicLink (folder, true);
}

// A host's open: construct, tell the layout and the rate, as the wrapper and the host do.
std::unique_ptr<VarkelPreampAudioProcessor> openInstance()
{
    auto processor = std::make_unique<VarkelPreampAudioProcessor>();
    processor->setPlayConfigDetails (2, 2, hostRate, blockSize);
    processor->prepareToPlay (hostRate, blockSize);
    return processor;
}

struct Figures
{
    std::vector<double> callMs;
    std::vector<double> cpuMs;
    double longestGapMs = 0.0;
};

void print (const char* what, const Figures& f, double periodMs)
{
    double sum = 0.0, most = 0.0, cpu = 0.0;
    for (double v : f.callMs)
    {
        sum += v;
        most = std::max (most, v);
    }
    for (double v : f.cpuMs)
        cpu += v;
    const double count = std::max<double> (1.0, static_cast<double> (f.callMs.size()));
    std::printf ("%-44s n %3zu  wall mean %8.2f max %8.2f ms  cpu mean %8.2f ms  audio gap %8.2f ms "
                 "(%.1f blocks)\n",
                 what, f.callMs.size(), sum / count, most, cpu / count, f.longestGapMs, f.longestGapMs / periodMs);
}

Figures measure (AudioThreadProbe& probe, int rounds, const std::function<void (int)>& operation)
{
    Figures f;
    probe.resetWindow();
    for (int r = 0; r < rounds; ++r)
    {
        const double start = nowMs();
        const double cpuStart = threadCpuMs();
        operation (r);
        f.cpuMs.push_back (threadCpuMs() - cpuStart);
        f.callMs.push_back (nowMs() - start);
        // Let a few blocks through, so each gap belongs to one operation.
        juce::Thread::sleep (30);
    }
    f.longestGapMs = probe.longestGapMs();
    return f;
}

// Programs that differ in every control the engine reads except the valve set and the rate.
juce::MemoryBlock variedBank (VarkelPreampAudioProcessor& processor, bool alternateValves)
{
    juce::XmlElement root ("kez");
    root.setAttribute ("cprog", 0);
    auto* programs = root.createNewChildElement ("programs");
    for (int p = 0; p < VarkelPreampAudioProcessor::numPrograms; ++p)
    {
        auto* program = programs->createNewChildElement ("program");
        program->setAttribute ("name", "varied " + juce::String (p + 1));
        program->setAttribute ("model", alternateValves ? p % 2 : 0);
        program->setAttribute ("in", 0.3 + 0.05 * p);
        program->setAttribute ("out", 0.6 - 0.03 * p);
        program->setAttribute ("gain", p / 11.0);
        program->setAttribute ("trbl", (p % 5) / 4.0);
        program->setAttribute ("mdl", (p % 3) / 2.0);
        program->setAttribute ("bas", ((p + 2) % 4) / 3.0);
        program->setAttribute ("ovrsmplng", 0);
        program->setAttribute ("stro", 1);
        program->setAttribute ("showset", 0);
    }
    juce::MemoryBlock block;
    processor.copyXmlToBinary (root, block);
    return block;
}

} // namespace

int main (int argc, char** argv)
{
    const juce::StringArray args = commandLineArguments (argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;

    if (!linkModelData (argument (args, "--model-data", VARKEL_TEST_MODEL_DATA)))
        return 1;
    const int instances = std::max (2, argument (args, "--instances", "4").getIntValue());
    const int rounds = std::max (1, argument (args, "--rounds", "12").getIntValue());

    std::vector<std::unique_ptr<VarkelPreampAudioProcessor>> open;
    for (int n = 0; n < instances; ++n)
    {
        const double rssBefore = residentMiB();
        const double start = nowMs();
        const double cpuStart = threadCpuMs();
        open.push_back (openInstance());
        const double cpu = threadCpuMs() - cpuStart;
        const double took = nowMs() - start;
        std::printf ("%s instance open  wall %8.2f ms  cpu %8.2f ms  resident +%7.1f MiB (total %7.1f MiB)\n",
                     n == 0 ? "first  " : "further", took, cpu, residentMiB() - rssBefore, residentMiB());
        if (open.back()->getModelStatus().isNotEmpty())
        {
            std::fprintf (stderr, "model data problem: %s\n", open.back()->getModelStatus().toRawUTF8());
            return 1;
        }
        if (n == 0)
        {
            // The other valve set is read on a background thread after the open returned.
            open.back()->waitForBackgroundReads();
            std::printf ("first   instance: other valve set read in the background by %8.2f ms after the open "
                         "began (resident +%7.1f MiB)\n",
                         nowMs() - start, residentMiB() - rssBefore);
        }
    }

    VarkelPreampAudioProcessor& processor = *open.front();
    AudioThreadProbe probe (processor, 2, blockSize, hostRate);
    juce::Thread::sleep (100);
    std::printf ("audio block period %.2f ms (%d samples at %d Hz)\n", probe.periodMs(), blockSize, hostRate);

    print ("program switch, twelve identical programs",
           measure (probe, rounds, [&] (int r) { processor.setCurrentProgram ((r + 1) % 12); }), probe.periodMs());

    const juce::MemoryBlock sameValve = variedBank (processor, false);
    processor.setStateInformation (sameValve.getData(), static_cast<int> (sameValve.getSize()));
    print ("program switch, programs differ (same valve)",
           measure (probe, rounds, [&] (int r) { processor.setCurrentProgram ((r + 1) % 12); }), probe.periodMs());

    const juce::MemoryBlock mixedValves = variedBank (processor, true);
    processor.setStateInformation (mixedValves.getData(), static_cast<int> (mixedValves.getSize()));
    print ("program switch, programs differ (valve too)",
           measure (probe, rounds, [&] (int r) { processor.setCurrentProgram ((r + 1) % 12); }), probe.periodMs());

    print ("valve switch",
           measure (probe, rounds, [&] (int r) { processor.setParameter (0, (r % 2) == 0 ? 1.0f : 0.0f); }),
           probe.periodMs());
    print ("gain change",
           measure (probe, rounds, [&] (int r) { processor.setParameter (2, (r % 17) / 16.0f); }),
           probe.periodMs());
    print ("oversampling switch x1/x2",
           measure (probe, rounds, [&] (int r) { processor.setParameter (7, (r % 2) == 0 ? 0.25f : 0.0f); }),
           probe.periodMs());

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    print ("state restore (the state just saved)",
           measure (probe, rounds,
                    [&] (int) { processor.setStateInformation (saved.getData(), static_cast<int> (saved.getSize())); }),
           probe.periodMs());
    print ("state restore (two banks in turn)",
           measure (probe, rounds,
                    [&] (int r)
                    {
                        const auto& bank = (r % 2) == 0 ? mixedValves : sameValve;
                        processor.setStateInformation (bank.getData(), static_cast<int> (bank.getSize()));
                    }),
           probe.periodMs());

    std::printf ("blocks silenced by suspension: %ld\n", probe.silencedBlocks());
    if (processor.getModelStatus().isNotEmpty())
    {
        std::fprintf (stderr, "model data problem: %s\n", processor.getModelStatus().toRawUTF8());
        return 1;
    }
    return 0;
}
