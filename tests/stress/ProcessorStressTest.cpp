// The processor under the threads a plug-in host really runs at once: the audio thread in the
// wrapper's callback lock, host threads changing parameters, programs and state, and the
// editor's message thread reading (and, from its controls, writing) parameters. Model data lie
// beside the executable, so valve, rate and program changes rebuild networks for real.
// Sequences are seeded, so a failure can be replayed; under ThreadSanitizer every unprotected
// access shows up as a report.
#include "StressHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

namespace
{
class StressEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { stress::writeModelDataBesideExecutable(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new StressEnvironment);

// A processor as a host sets it up: stereo buses, the host rate, and the first program applied
// at that rate.
struct HostedProcessor
{
    HostedProcessor()
    {
        processor.setPlayConfigDetails (2, 2, stress::hostRate, stress::blockSize);
        processor.prepareToPlay (stress::hostRate, stress::blockSize);
        processor.setCurrentProgram (0);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
};

// Normalized values that hit both ends, the midpoint and step edges, plus arbitrary ones.
float someNormalizedValue (std::mt19937& random)
{
    static constexpr float edges[] = {0.0f, 1.0f, 0.5f, 0.25f, 0.75f, 0.99f, 0.49f, 0.01f};
    std::uniform_int_distribution<int> pick (0, 9);
    const int choice = pick (random);
    if (choice < 8)
        return edges[choice];
    return std::uniform_real_distribution<float> (0.0f, 1.0f) (random);
}

// Everything a host calls on its own threads, chosen at random: parameters (every index, so
// gain, tone, oversampling, valve and mono/stereo reloads all happen), program switches, state
// saves and restores, renames, and the host's reads.
void runHostCalls (VarkelPreampAudioProcessor& processor, unsigned seed, int count)
{
    std::mt19937 random (seed);
    std::uniform_int_distribution<int> operation (0, 9), parameter (0, numParameters - 1),
        program (0, VarkelPreampAudioProcessor::numPrograms - 1);
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    for (int n = 0; n < count; ++n)
    {
        switch (operation (random))
        {
        case 0:
        case 1:
        case 2:
        case 3:
            processor.setParameter (parameter (random), someNormalizedValue (random));
            break;
        case 4:
            processor.setCurrentProgram (program (random));
            break;
        case 5:
            processor.getStateInformation (saved);
            break;
        case 6:
            processor.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
            break;
        case 7:
            processor.changeProgramName (program (random), "Take " + juce::String (n) + " & \"dry\"");
            break;
        default:
        {
            const int index = parameter (random);
            juce::ignoreUnused (processor.getParameter (index), processor.getParameterText (index),
                                processor.getProgramName (program (random)), processor.getCurrentProgram());
            break;
        }
        }
    }
}

// The editor's message thread: the timer's and the refresh's copies under the callback lock and
// the model status line, every few hundred microseconds, until told to stop. With `writes`, it
// also moves its controls as a user would, through setParameter.
struct EditorThread
{
    EditorThread (VarkelPreampAudioProcessor& p, bool writes, unsigned seed)
        : processor (p), thread ([this, writes, seed] { run (writes, seed); })
    {
    }

    ~EditorThread() { stop(); }

    void stop()
    {
        stopRequested = true;
        if (thread.joinable())
            thread.join();
    }

    void run (bool writes, unsigned seed)
    {
        std::mt19937 random (seed);
        std::uniform_int_distribution<int> control (1, numParameters - 1);
        while (!stopRequested)
        {
            if (!stress::isPlausible (stress::readLikeTheEditor (processor)))
                ++implausibleViews;
            statusLength += processor.getModelStatus().length();
            if (writes)
                processor.setParameter (control (random), someNormalizedValue (random));
            ++ticks;
            std::this_thread::sleep_for (std::chrono::microseconds (writes ? 700 : 200));
        }
    }

    VarkelPreampAudioProcessor& processor;
    std::atomic<bool> stopRequested{false};
    std::atomic<int> implausibleViews{0};
    std::atomic<int> ticks{0};
    size_t statusLength = 0;
    std::thread thread;
};

void expectCleanAudio (const stress::WrapperAudioThread& audio)
{
    EXPECT_EQ (audio.nonFiniteSamples.load(), 0);
    EXPECT_GT (audio.processedBlocks.load(), 0);
}

// After the storm the engine still makes sound: a block run by hand carries finite signal.
void expectProcessesSignal (VarkelPreampAudioProcessor& processor)
{
    juce::AudioBuffer<float> buffer (2, stress::blockSize);
    for (int s = 0; s < stress::blockSize; ++s)
        for (int c = 0; c < 2; ++c)
            buffer.setSample (c, s, 0.5f * std::sin (0.05f * static_cast<float> (s)));
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    EXPECT_GT (buffer.getMagnitude (0, 0, stress::blockSize), 0.0f);
    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < stress::blockSize; ++s)
            ASSERT_TRUE (std::isfinite (buffer.getSample (c, s)));
}

// Host calls on one thread, the editor reading on another, audio running throughout.
TEST (ProcessorStress, HostCallsAndEditorReadsWhileAudioRuns)
{
    HostedProcessor hosted;
    auto& processor = hosted.processor;
    {
        stress::WrapperAudioThread audio (processor);
        EditorThread editor (processor, false, 7);
        runHostCalls (processor, 2024, 150);
        // Host calls take milliseconds now; on a busy machine the editor's thread may not have
        // run yet, and it must have read at least once for the check below to mean anything.
        for (int wait = 0; wait < 10000 && editor.ticks.load() == 0; ++wait)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        editor.stop();
        audio.stop();

        expectCleanAudio (audio);
        EXPECT_EQ (editor.implausibleViews.load(), 0);
        EXPECT_GT (editor.ticks.load(), 0);
    }
    stress::expectEngineMatchesCurrentProgram (processor);
    stress::expectStateRoundTrips (processor);
    expectProcessesSignal (processor);
}

// Host calls on two host threads would be beyond what the plug-in promises; host and editor
// changing parameters at once is not: the host automates while the user moves a control.
// Rebuilds from both must never overlap each other or a process call, and the engine must end
// up built for the values the program holds.
TEST (ProcessorStress, HostAndEditorChangesAtOnce)
{
    HostedProcessor hosted;
    auto& processor = hosted.processor;
    {
        stress::WrapperAudioThread audio (processor);
        EditorThread editor (processor, true, 11);
        runHostCalls (processor, 99, 150);
        editor.stop();
        audio.stop();

        expectCleanAudio (audio);
        EXPECT_EQ (editor.implausibleViews.load(), 0);
    }
    stress::expectEngineMatchesCurrentProgram (processor);
    stress::expectStateRoundTrips (processor);
    expectProcessesSignal (processor);
}

} // namespace
