#include "ProcessChannels.h"

#include "processor/EngineSettings.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
class ChangeCounter : public juce::ChangeListener
{
public:
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

// A processor with a message manager and a listener, as the editor would attach.
class ProcessorFixture : public ::testing::Test
{
protected:
    ProcessorFixture() { processor.addChangeListener (&changes); }
    ~ProcessorFixture() override { processor.removeChangeListener (&changes); }

    // Change messages are asynchronous; deliver any pending one now and count them.
    int deliveredChanges()
    {
        processor.dispatchPendingMessages();
        return changes.count;
    }

    juce::AudioBuffer<float> process (std::initializer_list<std::vector<float>> channels)
    {
        return processChannels (processor, static_cast<int> (channels.size()), channels);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
    ChangeCounter changes;
};

const std::vector<float> left{0.5f, -0.25f, 1.0f, 0.0f, -1.0f};

TEST_F (ProcessorFixture, ConstructedWithoutHostRateRunsAt44100)
{
    EXPECT_EQ (processor.getSampleRate(), 0.0);
    EXPECT_EQ (processor.getEngineSampleRate(), 44100);
    EXPECT_EQ (processor.getOversamplingFactor(), 1);
    for (int c = 0; c < 2; ++c)
    {
        EXPECT_EQ (processor.getChain (c).getHostRate(), 44100);
        EXPECT_EQ (processor.getChain (c).getProcessingRate(), 44100);
    }
    EXPECT_EQ (processor.getProcessMode(), VarkelPreampAudioProcessor::ProcessMode::monoPlain);
}

TEST_F (ProcessorFixture, DefaultBankAndHostFacts)
{
    EXPECT_EQ (processor.getName(), "VARKEL Hot Preamp");
    EXPECT_EQ (processor.getNumParameters(), 10);
    EXPECT_EQ (processor.getNumPrograms(), 12);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    for (int p = 0; p < 12; ++p)
        EXPECT_EQ (processor.getProgramName (p), juce::String (p + 1) + " default");

    const float expected[10] = {0, 24.5f, 8, 7, 7, 7, 24.5f, 0, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (processor.getProgramRecord (0).values[i], expected[i]) << i;

    EXPECT_EQ (processor.getParameterText (1), "0.50=>24.5");
    EXPECT_EQ (processor.getParameter (2), 0.5f);
    EXPECT_EQ (processor.getParameter (0), 0.0f);
    EXPECT_EQ (processor.getInputChannelName (0), "1");
    EXPECT_EQ (processor.getOutputChannelName (1), "2");
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
}

TEST_F (ProcessorFixture, ParametersGoThroughTheCurrentProgram)
{
    processor.setParameter (0, 1.0f);
    EXPECT_EQ (processor.getParameter (0), 1.0f);
    EXPECT_EQ (processor.getParameterText (0), "Aged  12ax7");
    processor.setParameter (7, 1.0f);
    EXPECT_EQ (processor.getParameterText (7), "x16");
    EXPECT_EQ (processor.getOversamplingFactor(), 16);
    EXPECT_EQ (processor.getChain (1).getProcessingRate(), 44100 * 16);

    // Edits stay with their program.
    processor.setCurrentProgram (1);
    EXPECT_EQ (processor.getParameter (0), 0.0f);
    EXPECT_EQ (processor.getOversamplingFactor(), 1);
    processor.setCurrentProgram (0);
    EXPECT_EQ (processor.getParameter (0), 1.0f);
    EXPECT_EQ (processor.getOversamplingFactor(), 16);
}

TEST_F (ProcessorFixture, OutOfRangeIndexesAreIgnored)
{
    juce::MemoryBlock before;
    processor.getStateInformation (before);
    const int changesBefore = deliveredChanges();

    EXPECT_EQ (processor.getParameterName (-1), "");
    EXPECT_EQ (processor.getParameterName (10), "");
    EXPECT_EQ (processor.getParameter (10), 0.0f);
    EXPECT_EQ (processor.getParameter (-1), 0.0f);
    EXPECT_EQ (processor.getParameterText (10), "");
    EXPECT_EQ (processor.getProgramName (12), "");
    EXPECT_EQ (processor.getProgramName (-1), "");
    processor.setParameter (10, 1.0f);
    processor.setParameter (-1, 1.0f);
    processor.setCurrentProgram (12);
    processor.setCurrentProgram (-1);
    processor.changeProgramName (12, "Twelve");

    juce::MemoryBlock after;
    processor.getStateInformation (after);
    EXPECT_EQ (before, after);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (deliveredChanges(), changesBefore);
}

TEST_F (ProcessorFixture, SameValueTwiceChangesNothingAndSendsNoMessage)
{
    for (int index = 0; index < 10; ++index)
    {
        const int before = deliveredChanges();
        const float x = processor.getParameter (index) < 0.5f ? 1.0f : 0.0f;
        processor.setParameter (index, x);
        EXPECT_EQ (deliveredChanges(), before + 1) << index;

        const float value = processor.getProgramRecord (0).values[index];
        processor.setParameter (index, x);
        EXPECT_EQ (deliveredChanges(), before + 1) << index;
        EXPECT_EQ (processor.getProgramRecord (0).values[index], value);
    }

    // A different normalized value on the same step is no change either.
    processor.setParameter (2, 0.99f);
    const int before = deliveredChanges();
    processor.setParameter (2, 0.95f);
    EXPECT_EQ (deliveredChanges(), before);
}

TEST_F (ProcessorFixture, SwitchingProgramAlwaysReloadsAndNotifies)
{
    processor.prepareToPlay (96000.0, 256);
    const int before = deliveredChanges();
    processor.setCurrentProgram (0); // already current: still prepares the chains anew
    EXPECT_EQ (deliveredChanges(), before + 1);
    EXPECT_EQ (processor.getChain (0).getHostRate(), 96000);
    EXPECT_EQ (processor.getChain (1).getProcessingRate(), 96000);
    processor.setCurrentProgram (3);
    EXPECT_EQ (deliveredChanges(), before + 2);
    EXPECT_EQ (processor.getCurrentProgram(), 3);
}

TEST_F (ProcessorFixture, GainFactorsFollowInputAndOutput)
{
    const float defaultOutput = static_cast<float> (static_cast<double> (outputLevel (24)) / 345.0);
    for (int c = 0; c < 2; ++c)
    {
        EXPECT_EQ (processor.getChain (c).inputGain.load(), 1.5f);
        EXPECT_EQ (processor.getChain (c).outputGain.load(), defaultOutput);
    }

    processor.setParameter (1, 1.0f);
    processor.setParameter (6, 1.0f);
    for (int c = 0; c < 2; ++c)
    {
        EXPECT_EQ (processor.getChain (c).inputGain.load(), 3.0f);
        EXPECT_FLOAT_EQ (processor.getChain (c).outputGain.load(), static_cast<float> (6.30957365 / 345.0));
    }

    // Switching program brings the program's own factors back.
    processor.setCurrentProgram (1);
    EXPECT_EQ (processor.getChain (0).inputGain.load(), 1.5f);
    EXPECT_EQ (processor.getChain (1).outputGain.load(), defaultOutput);
}

TEST_F (ProcessorFixture, StereoRoutineSurvivesALayoutThatShrankAfterwards)
{
    processor.setPlayConfigDetails (2, 2, 48000.0, 64);
    processor.setParameter (8, 1.0f);
    processor.setPlayConfigDetails (1, 1, 48000.0, 64);
    const auto out = process ({left}); // the routine is chosen at reload; one channel must still do
    EXPECT_EQ (out.getNumChannels(), 1);
    EXPECT_TRUE (std::isfinite (out.getSample (0, 0)));
}

TEST_F (ProcessorFixture, HostRateReachesTheEngineWhenAnnounced)
{
    for (double unusable : {0.0, -48000.0, 1.0e9, std::nan ("")})
        processor.prepareToPlay (unusable, 512);
    EXPECT_EQ (processor.getEngineSampleRate(), 44100);
    EXPECT_EQ (processor.getChain (0).getHostRate(), 44100);

    processor.prepareToPlay (48000.0, 512);
    EXPECT_EQ (processor.getChain (0).getHostRate(), 48000);
    EXPECT_EQ (processor.getChain (1).getProcessingRate(), 48000);
    processor.setParameter (7, 0.75f); // x8
    EXPECT_EQ (processor.getChain (0).getProcessingRate(), 384000);
    EXPECT_EQ (processor.getChain (1).getProcessingRate(), 384000);
}

TEST_F (ProcessorFixture, MissingModelDataIsReported)
{
    const auto folder =
        juce::File::getSpecialLocation (juce::File::currentApplicationFile).getFullPathName() + ".dat/";
    ASSERT_FALSE (juce::File (folder).exists());
    EXPECT_EQ (processor.getModelStatus(), "Model data missing: " + folder);
}
} // namespace
