#include "StressHarness.h"

#include "processor/EngineSettings.h"
#include "support/LinearisedModelSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace stress
{
namespace
{
constexpr float engineMaximum[numParameters] = {1, 49, 16, 14, 14, 14, 49, 4, 1, 1};
} // namespace

// Data whose operating points are the blocks' own rest points, as the plug-in requires, for
// both valve sets and every rate the tests can reach.
void writeModelDataBesideExecutable()
{
    const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    const juce::File folder (module.getFullPathName() + ".dat");
    folder.createDirectory();
    ASSERT_TRUE (folder.isDirectory());
    for (const std::string valve : {"eh", "rsd"})
    {
        chainfiles::LinearisedModelSet set;
        set.prefix = "varkelpre_" + valve;
        set.processingRates.clear();
        for (int rate : {44100, hostRate})
            for (int factor : {1, 2, 4, 8, 16})
                set.processingRates.push_back (rate * factor);
        set.tonePositions = 4;
        ASSERT_EQ (chainfiles::writeLinearisedModelSet (folder.getFullPathName().toStdString(), set), "");
    }
}

WrapperAudioThread::WrapperAudioThread (juce::AudioProcessor& p) : processor (p)
{
    thread = std::thread ([this] { run(); });
}

WrapperAudioThread::~WrapperAudioThread()
{
    stop();
}

void WrapperAudioThread::stop()
{
    stopRequested = true;
    if (thread.joinable())
        thread.join();
}

void WrapperAudioThread::run()
{
    const int channels =
        std::max (processor.getTotalNumInputChannels(), processor.getTotalNumOutputChannels());
    juce::AudioBuffer<float> buffer (channels, blockSize);
    juce::MidiBuffer midi;
    double phase = 0.0;
    while (!stopRequested)
    {
        for (int s = 0; s < blockSize; ++s, phase += 0.0571)
            for (int c = 0; c < channels; ++c)
                buffer.setSample (c, s, static_cast<float> (0.5 * std::sin (phase * (c + 1))));
        {
            const juce::ScopedLock lock (processor.getCallbackLock());
            if (processor.isSuspended())
            {
                buffer.clear();
                ++suspendedBlocks;
            }
            else
            {
                processor.processBlock (buffer, midi);
                ++processedBlocks;
            }
        }
        for (int c = 0; c < channels; ++c)
            for (int s = 0; s < blockSize; ++s)
                if (!std::isfinite (buffer.getSample (c, s)))
                    ++nonFiniteSamples;
        // A real device leaves the rest of the block period to other threads.
        std::this_thread::sleep_for (std::chrono::microseconds (300));
    }
}

EditorView readLikeTheEditor (VarkelPreampAudioProcessor& processor)
{
    EditorView view{};
    const juce::ScopedLock lock (processor.getCallbackLock());
    const auto& record = processor.getProgramRecord (processor.getCurrentProgram());
    std::copy (record.values, record.values + numParameters, view.values);
    for (int c = 0; c < 2; ++c)
    {
        const auto& window = processor.getChain (c).levelWindow;
        view.level[c][0] = window.invLength;
        view.level[c][1] = window.sum;
        view.level[c][2] = window.sumSquares;
    }
    return view;
}

bool isPlausible (const EditorView& view)
{
    for (int i = 0; i < numParameters; ++i)
        if (!(view.values[i] >= 0.0f && view.values[i] <= engineMaximum[i]))
            return false;
    for (const auto& level : view.level)
        for (float figure : level)
            if (!std::isfinite (figure))
                return false;
    return true;
}

void expectEngineMatchesCurrentProgram (VarkelPreampAudioProcessor& processor)
{
    const auto& values = processor.getProgramRecord (processor.getCurrentProgram()).values;
    const int factor = oversamplingFactorForStep (values[oversamplingParameter]);
    const bool stereo = static_cast<int> (values[monoStereoParameter]) != 0;
    using Mode = VarkelPreampAudioProcessor::ProcessMode;

    EXPECT_EQ (processor.getModelStatus(), "");
    EXPECT_EQ (processor.getOversamplingFactor(), factor);
    EXPECT_EQ (processor.getProcessMode(), stereo
                                               ? (factor == 1 ? Mode::stereoPlain : Mode::stereoOversampled)
                                               : (factor == 1 ? Mode::monoPlain : Mode::monoOversampled));

    const uint32_t positions[4] = {
        gainPosition (values[gainParameter]), gainPosition (values[gainParameter]), 0,
        toneIndex (values[trebleParameter], values[middleParameter], values[bassParameter])};
    for (int c = 0; c < 2; ++c)
    {
        SCOPED_TRACE ("chain " + std::to_string (c));
        const auto& chain = processor.getChain (c);
        EXPECT_TRUE (chain.isReady());
        EXPECT_EQ (chain.getFactor(), factor);
        EXPECT_EQ (chain.getProcessingRate(), hostRate * factor);
        EXPECT_EQ (chain.inputGain.load(), inputGainFactor (values[inputParameter]));
        EXPECT_EQ (chain.outputGain.load(), outputGainFactor (values[outputParameter], 345.0));
        for (int k = 0; k < 4; ++k)
        {
            const auto& model = chain.getModelState (k);
            ASSERT_GT (model.positionCount, 0u);
            EXPECT_EQ (model.selectedPosition, std::min (positions[k], model.positionCount - 1))
                << "block " << k;
        }
    }
}

void expectStateRoundTrips (VarkelPreampAudioProcessor& processor)
{
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    VarkelPreampAudioProcessor fresh;
    fresh.setPlayConfigDetails (2, 2, hostRate, blockSize);
    fresh.prepareToPlay (hostRate, blockSize);
    fresh.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
    juce::MemoryBlock again;
    fresh.getStateInformation (again);
    EXPECT_EQ (again, saved);
    EXPECT_EQ (fresh.getCurrentProgram(), processor.getCurrentProgram());
    for (int i = 0; i < numParameters; ++i)
        EXPECT_EQ (fresh.getParameter (i), processor.getParameter (i)) << "parameter " << i;
    for (int p = 0; p < VarkelPreampAudioProcessor::numPrograms; ++p)
        EXPECT_EQ (fresh.getProgramName (p), processor.getProgramName (p)) << "program " << p;
    expectEngineMatchesCurrentProgram (fresh);

    processor.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
    juce::MemoryBlock restoredInPlace;
    processor.getStateInformation (restoredInPlace);
    EXPECT_EQ (restoredInPlace, saved);
    expectEngineMatchesCurrentProgram (processor);
}
} // namespace stress
