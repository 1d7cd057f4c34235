// The process routines with model data present: which chain runs which channel, and the mono
// copy. The data lie where the plug-in looks for them, beside this executable, so the processor
// loads them through its normal reload path. Each block's network is the tangent of the exact
// circuit at its rest point, so the signal passes with the circuit's own gain and tone: a test
// can tell one input, one channel and one control setting from another.
#include "ProcessChannels.h"

#include "processor/VarkelPreampAudioProcessor.h"
#include "support/ChainModelFiles.h"
#include "support/LinearisedModelSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace
{
// ctest may run several of these tests at once, each in its own process: the writer renames
// every file into place, so a reader never sees a half-written one.
void writeModelData (const juce::File& folder)
{
    ASSERT_TRUE (folder.createDirectory());
    chainfiles::LinearisedModelSet set;
    set.processingRates.clear();
    for (int factor : {1, 2, 4, 8, 16})
        set.processingRates.push_back (44100 * factor);
    // Up to the default programs' tone position (treble, bass and middle at 7 of 14: 7 * 225 +
    // 7 * 15 + 7), which covers every lower treble; more would only slow the loads.
    set.tonePositions = 1688;
    ASSERT_EQ (chainfiles::writeLinearisedModelSet (folder.getFullPathName().toStdString(), set), "");
}

class RoutingEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
        folder = juce::File (module.getFullPathName() + ".dat");
        writeModelData (folder);
    }

private:
    juce::File folder;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new RoutingEnvironment);

std::vector<float> signal (int length, double frequency, double level)
{
    std::vector<float> samples (static_cast<size_t> (length));
    for (int s = 0; s < length; ++s)
        samples[static_cast<size_t> (s)] = static_cast<float> (level * std::sin (frequency * s));
    return samples;
}

// A processor in a given channel layout and mono/stereo and oversampling setting.
struct ConfiguredProcessor
{
    ConfiguredProcessor (int channels, float stereo, float oversampling)
    {
        processor.setPlayConfigDetails (channels, channels, 44100.0, 256);
        processor.setParameter (8, stereo);
        processor.setParameter (7, oversampling);
    }

    juce::AudioBuffer<float> process (std::initializer_list<std::vector<float>> channels)
    {
        return processChannels (processor, processor.getTotalNumInputChannels(), channels);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
};

void expectSameSamples (const juce::AudioBuffer<float>& a, int channelA, const juce::AudioBuffer<float>& b,
                        int channelB)
{
    ASSERT_EQ (a.getNumSamples(), b.getNumSamples());
    for (int s = 0; s < a.getNumSamples(); ++s)
        ASSERT_EQ (a.getSample (channelA, s), b.getSample (channelB, s)) << "sample " << s;
}

bool carriesSignal (const juce::AudioBuffer<float>& buffer, int channel)
{
    return buffer.getMagnitude (channel, 0, buffer.getNumSamples()) > 0.0f;
}

// The largest sample difference between two channels relative to the first one's peak.
float relativeDifference (const juce::AudioBuffer<float>& a, int channelA, const juce::AudioBuffer<float>& b,
                          int channelB)
{
    float difference = 0.0f;
    for (int s = 0; s < a.getNumSamples(); ++s)
        difference = std::max (difference, std::abs (a.getSample (channelA, s) - b.getSample (channelB, s)));
    return difference / a.getMagnitude (channelA, 0, a.getNumSamples());
}

// Small enough that every block stays near its rest point, where the data follow the circuit.
const auto left = signal (256, 0.05, 0.002);
const auto right = signal (256, 0.21, 0.001);

TEST (ProcessorRouting, ModelDataInTheFolderIsLoaded)
{
    ConfiguredProcessor mono (2, 0.0f, 0.0f);
    EXPECT_EQ (mono.processor.getModelStatus(), "");
    EXPECT_TRUE (mono.processor.getChain (0).isReady());
    EXPECT_TRUE (mono.processor.getChain (1).isReady());
    const auto out = mono.process ({left, right});
    EXPECT_TRUE (carriesSignal (out, 0));
    for (int s = 0; s < out.getNumSamples(); ++s)
        ASSERT_TRUE (std::isfinite (out.getSample (0, s)));
}

TEST (ProcessorRouting, TheOutputFollowsTheInput)
{
    for (float oversampling : {0.0f, 0.5f})
    {
        ConfiguredProcessor a (1, 0.0f, oversampling), b (1, 0.0f, oversampling), silent (1, 0.0f, oversampling);
        const auto outA = a.process ({left});
        const auto outB = b.process ({right});
        const auto outSilent = silent.process ({std::vector<float> (left.size(), 0.0f)});
        EXPECT_GT (relativeDifference (outA, 0, outB, 0), 0.1f);
        EXPECT_GT (relativeDifference (outA, 0, outSilent, 0), 0.5f);
    }
}

TEST (ProcessorRouting, MonoWithTwoInputsCopiesChannelZeroAndIgnoresTheRight)
{
    for (float oversampling : {0.0f, 0.5f})
    {
        ConfiguredProcessor a (2, 0.0f, oversampling), b (2, 0.0f, oversampling);
        const auto outA = a.process ({left, right});
        const auto outB = b.process ({left, left});
        ASSERT_TRUE (carriesSignal (outA, 0));
        expectSameSamples (outA, 1, outA, 0);
        expectSameSamples (outA, 0, outB, 0);
    }
}

TEST (ProcessorRouting, StereoWithTwoInputsRunsEachChannelThroughItsOwnChain)
{
    for (float oversampling : {0.0f, 0.25f})
    {
        ConfiguredProcessor stereo (2, 1.0f, oversampling);
        ConfiguredProcessor monoLeft (1, 0.0f, oversampling), monoRight (1, 0.0f, oversampling);
        const auto out = stereo.process ({left, right});
        expectSameSamples (out, 0, monoLeft.process ({left}), 0);
        expectSameSamples (out, 1, monoRight.process ({right}), 0);
        EXPECT_GT (relativeDifference (out, 0, out, 1), 0.1f);
    }
}

TEST (ProcessorRouting, StereoWithOneInputRunsMono)
{
    ConfiguredProcessor stereoSelected (1, 1.0f, 1.0f), mono (1, 0.0f, 1.0f);
    EXPECT_EQ (stereoSelected.processor.getProcessMode(),
               VarkelPreampAudioProcessor::ProcessMode::monoOversampled);
    const auto out = stereoSelected.process ({left});
    ASSERT_TRUE (carriesSignal (out, 0));
    expectSameSamples (out, 0, mono.process ({left}), 0);
}

// Gain and tone set control positions of blocks 1, 2 and 4: the sound must follow them.
TEST (ProcessorRouting, GainAndTrebleChangeTheSound)
{
    const auto bright = signal (1024, 0.5, 0.002); // about 3.5 kHz
    ConfiguredProcessor plain (1, 0.0f, 0.0f);
    const auto reference = plain.process ({bright});

    ConfiguredProcessor lowGain (1, 0.0f, 0.0f);
    lowGain.processor.setParameter (gainParameter, 0.0f);
    const auto quieter = lowGain.process ({bright});
    const int tail = 512; // after the step from the default position's state has settled
    const float ratio = quieter.getMagnitude (0, tail, 1024 - tail) / reference.getMagnitude (0, tail, 1024 - tail);
    std::cout << "gain 0 against the default gain 8: " << 20.0 * std::log10 (ratio) << " dB\n";
    EXPECT_LT (ratio, 0.5f);

    ConfiguredProcessor dull (1, 0.0f, 0.0f);
    dull.processor.setParameter (trebleParameter, 0.0f);
    const auto darker = dull.process ({bright});
    const float trebleRatio =
        darker.getMagnitude (0, tail, 1024 - tail) / reference.getMagnitude (0, tail, 1024 - tail);
    std::cout << "treble 0 against the default treble 7: " << 20.0 * std::log10 (trebleRatio) << " dB\n";
    EXPECT_LT (trebleRatio, 0.9f);
}
} // namespace
