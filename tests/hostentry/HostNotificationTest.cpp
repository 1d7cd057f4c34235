// VST3 and LV2 hosts know the parameters by ID and learn new values only through the processor's
// parameter listeners; these tests hold the processor to both.

#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace
{
class ParameterRecorder : public juce::AudioProcessorListener
{
public:
    struct Change
    {
        int index;
        float value;
    };

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        changes.push_back ({index, value});
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    std::vector<Change> changes;
};

// Program 3 differs from the default in every parameter, so each notification can be checked.
juce::MemoryBlock stateWithDistinctProgram3 (int currentProgram)
{
    juce::String text = "<kez cprog=\"" + juce::String (currentProgram) + "\" version=\"1\"><programs>";
    for (int p = 0; p < 12; ++p)
        text << (p == 3 ? "<program programname=\"distinct\" model=\"1\" in=\"0.25\" out=\"0.75\" stro=\"1\" "
                          "gain=\"1\" trbl=\"0\" mdl=\"1\" bas=\"0.5\" ovrsmplng=\"0.25\" showset=\"1\"/>"
                        : "<program programname=\"plain\"/>");
    text << "</programs></kez>";
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (text), block);
    return block;
}

class ParameterNotification : public ::testing::Test
{
protected:
    ParameterNotification() { processor.addListener (&recorder); }
    ~ParameterNotification() override { processor.removeListener (&recorder); }

    void expectEveryParameterReported()
    {
        ASSERT_EQ (recorder.changes.size(), static_cast<size_t> (numParameters));
        for (int index = 0; index < numParameters; ++index)
        {
            EXPECT_EQ (recorder.changes[static_cast<size_t> (index)].index, index);
            EXPECT_FLOAT_EQ (recorder.changes[static_cast<size_t> (index)].value,
                             processor.getParameter (index))
                << "parameter " << index;
        }
    }

    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
    ParameterRecorder recorder;
};

TEST_F (ParameterNotification, ProgramSwitchReportsEveryNewValue)
{
    const auto state = stateWithDistinctProgram3 (0);
    processor.setStateInformation (state.getData(), static_cast<int> (state.getSize()));
    recorder.changes.clear();

    processor.setCurrentProgram (3);

    expectEveryParameterReported();
    EXPECT_FLOAT_EQ (recorder.changes[dualTriodesParameter].value, 1.0f);
    EXPECT_FLOAT_EQ (recorder.changes[inputParameter].value, 0.25f);
    EXPECT_FLOAT_EQ (recorder.changes[oversamplingParameter].value, 0.25f);
}

TEST_F (ParameterNotification, StateRestoreReportsEveryValueOnce)
{
    const auto state = stateWithDistinctProgram3 (3);
    processor.setStateInformation (state.getData(), static_cast<int> (state.getSize()));

    expectEveryParameterReported();
    EXPECT_FLOAT_EQ (recorder.changes[outputParameter].value, 0.75f);
}

TEST_F (ParameterNotification, RestoreKeepingTheProgramStillReportsItsReplacedValues)
{
    processor.setCurrentProgram (3);
    recorder.changes.clear();

    const auto state = stateWithDistinctProgram3 (12); // no such program: the current one stays
    processor.setStateInformation (state.getData(), static_cast<int> (state.getSize()));

    EXPECT_EQ (processor.getCurrentProgram(), 3);
    expectEveryParameterReported();
    EXPECT_FLOAT_EQ (recorder.changes[gainParameter].value, 1.0f);
}

TEST_F (ParameterNotification, RejectedStateAndIgnoredSwitchReportNothing)
{
    const char junk[] = "not a state block";
    processor.setStateInformation (junk, sizeof (junk));
    processor.setCurrentProgram (12);
    processor.setCurrentProgram (-1);
    EXPECT_TRUE (recorder.changes.empty());
}

TEST (ParameterNotificationUnderVst2, VstWrapperGetsNoParameterCallsOnProgramSwitch)
{
    // The VST 2.4 wrapper would pass them to the host as automation.
    const juce::ScopedJuceInitialiser_GUI juce;
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_VST);
    VarkelPreampAudioProcessor processor;
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
    ParameterRecorder recorder;
    processor.addListener (&recorder);

    processor.setCurrentProgram (5);
    EXPECT_TRUE (recorder.changes.empty());
    processor.removeListener (&recorder);
}

TEST (ParameterIds, DistinctStableAndUsableAsNames)
{
    // Hosts store sessions by these IDs: they are the saved-state keys and must not change.
    const char* const expected[numParameters] = {"model", "in",  "gain",      "trbl", "mdl",
                                                 "bas",   "out", "ovrsmplng", "stro", "showset"};
    const juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    std::set<juce::String> ids;
    for (int index = 0; index < numParameters; ++index)
    {
        const juce::String id = processor.getParameterID (index);
        EXPECT_EQ (id, expected[index]);
        // LV2 writes the ID into its description as a name: letters, digits and '_' only.
        EXPECT_TRUE (id.isNotEmpty() &&
                     id.containsOnly ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") &&
                     !juce::CharacterFunctions::isDigit (id[0]))
            << "parameter " << index << ": \"" << id << "\"";
        ids.insert (id);
    }
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    EXPECT_EQ (ids.size(), static_cast<size_t> (numParameters));
}

TEST (ParameterDefaults, AreTheBuiltInDefaultProgram)
{
    // Input, Gain, Treble, Middle, Bass and Output sit in the middle; the switches are off.
    const float expected[numParameters] = {0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f};
    const juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
    processor.setParameter (gainParameter, 1.0f); // the live program does not move the defaults
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    for (int index = 0; index < numParameters; ++index)
        EXPECT_FLOAT_EQ (processor.getParameterDefaultValue (index), expected[index])
            << "parameter " << index;
    EXPECT_EQ (processor.getParameterDefaultValue (numParameters), 0.0f);
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
}
} // namespace
