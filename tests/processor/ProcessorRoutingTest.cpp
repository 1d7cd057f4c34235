// The process routines with model data present: which chain runs which channel, and the mono
// copy. The data lie where the plug-in looks for them, beside this executable, so the processor
// loads them through its normal reload path. Their networks are small and random, not trained:
// enough to make every block's output depend on its input and to tell the channels apart.
#include "processor/VarkelPreampAudioProcessor.h"
#include "support/ChainModelFiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// ctest may run several of these tests at once, each in its own process: every file is written
// under a private name and renamed into place, so a reader never sees a half-written one.
void writeModelData (const juce::File& folder)
{
    ASSERT_TRUE (folder.createDirectory());
    const auto write = [&] (const juce::String& name, bool usesPca, uint32_t nv, uint32_t ni, uint32_t nx)
    {
        chainfiles::RepresentativeModel shape;
        shape.usesPca = usesPca;
        shape.nv = nv;
        shape.ni = ni;
        shape.nx = nx;
        shape.regionsPerPosition = 1;
        const auto part =
            folder.getChildFile (name + ".part" + juce::String (juce::Random::getSystemRandom().nextInt64()));
        ASSERT_EQ (chainfiles::writeRepresentativeModel (part.getFullPathName().toStdString(), shape), "");
        ASSERT_TRUE (part.moveFileTo (folder.getChildFile (name)));
    };

    write ("varkelpre_eh_b1_pca.dat", true, 4, 4, 5);
    write ("varkelpre_eh_b2_pca.dat", true, 4, 4, 5);
    write ("varkelpre_eh_b4_std.dat", false, 2, 2, 3);
    for (int factor : {1, 2, 4, 8, 16})
        write ("varkelpre_eh_b3_pca.dat." + juce::String (44100 * factor), true, 4, 4, 2);
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
        const int numSamples = static_cast<int> (channels.begin()->size());
        juce::AudioBuffer<float> buffer (processor.getTotalNumInputChannels(), numSamples);
        int c = 0;
        for (const auto& samples : channels)
            buffer.copyFrom (c++, 0, samples.data(), numSamples);
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        return buffer;
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

const auto left = signal (256, 0.05, 0.5);
const auto right = signal (256, 0.21, 0.3);

TEST (ProcessorRouting, ModelDataInTheFolderIsLoaded)
{
    ConfiguredProcessor mono (2, 0.0f, 0.0f);
    EXPECT_EQ (mono.processor.getModelStatus(), "");
    EXPECT_TRUE (mono.processor.getChain (0).isReady());
    EXPECT_TRUE (mono.processor.getChain (1).isReady());
    EXPECT_TRUE (carriesSignal (mono.process ({left, right}), 0));
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
} // namespace
