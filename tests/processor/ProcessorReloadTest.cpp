// Where each block starts after a reload. Block 1's model data give every gain position and
// rate its own operating point (state 0 marks the position, state 1 the rate), so the state a
// block starts from shows which record the reload applied. The data lie beside this executable,
// where the plug-in looks for them.
#include "processor/VarkelPreampAudioProcessor.h"
#include "support/ChainModelFiles.h"

#include <gtest/gtest.h>

namespace
{
constexpr double positionMarker (uint32_t position)
{
    return 1.0 + position;
}
constexpr double rateMarker (int rate)
{
    return rate == 48000 ? 2.0 : 1.0;
}

std::vector<std::vector<double>> blockOneRateTables()
{
    std::vector<std::vector<double>> tables;
    for (uint32_t position = 0; position < 17; ++position)
    {
        std::vector<chainfiles::RateRecord> records;
        for (int rate : {44100, 48000})
        {
            std::vector<double> x (5, 0.0);
            x[0] = positionMarker (position);
            x[1] = rateMarker (rate);
            records.push_back (
                {static_cast<double> (rate), std::vector<double> (4, 0.0), std::vector<double> (4, 0.0), x});
        }
        tables.push_back (chainfiles::rateTable (records));
    }
    return tables;
}

// ctest may run these tests at once in several processes: each file is written under a private
// name and renamed into place, so a reader never sees a half-written one.
void writeModelData (const juce::File& folder)
{
    ASSERT_TRUE (folder.createDirectory());
    const auto privateName = [&] (const juce::String& name) {
        return folder.getChildFile (name + ".part" +
                                    juce::String (juce::Random::getSystemRandom().nextInt64()));
    };
    const auto place = [&] (const juce::File& part, const juce::String& name)
    { ASSERT_TRUE (part.moveFileTo (folder.getChildFile (name))); };

    const auto blockOne = privateName ("varkelpre_eh_b1_pca.dat");
    const std::vector<std::vector<chainfiles::ConstantRegion>> positions (
        17, {chainfiles::everywhere (4, std::vector<float> (4, 0.0f))});
    ASSERT_EQ (chainfiles::writeConstantModel (blockOne.getFullPathName().toStdString(), true, 4, 4,
                                               positions, blockOneRateTables()),
               "");
    place (blockOne, "varkelpre_eh_b1_pca.dat");

    const auto write = [&] (const juce::String& name, bool usesPca, uint32_t nv, uint32_t nx)
    {
        chainfiles::RepresentativeModel shape;
        shape.usesPca = usesPca;
        shape.nv = nv;
        shape.ni = nv;
        shape.nx = nx;
        shape.regionsPerPosition = 1;
        const auto part = privateName (name);
        ASSERT_EQ (chainfiles::writeRepresentativeModel (part.getFullPathName().toStdString(), shape), "");
        place (part, name);
    };
    write ("varkelpre_eh_b2_pca.dat", true, 4, 5);
    write ("varkelpre_eh_b4_std.dat", false, 2, 3);
    for (int rate : {44100, 48000})
        write ("varkelpre_eh_b3_pca.dat." + juce::String (rate), true, 4, 2);
}

class ReloadEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
        writeModelData (juce::File (module.getFullPathName() + ".dat"));
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new ReloadEnvironment);

class ReloadFixture : public ::testing::Test
{
protected:
    double blockOneState (int chain, int index) const
    {
        return processor.getChain (chain).getWorkspace (0).x[static_cast<size_t> (index)];
    }

    void process (int samples)
    {
        juce::AudioBuffer<float> buffer (2, samples);
        buffer.clear();
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
};

TEST_F (ReloadFixture, EveryBlockStartsFromTheOperatingPointOfItsOwnPosition)
{
    ASSERT_EQ (processor.getModelStatus(), "");
    // The default program sets gain position 8; before the load the block was at position 0.
    for (int chain = 0; chain < 2; ++chain)
    {
        EXPECT_EQ (blockOneState (chain, 0), positionMarker (8));
        EXPECT_EQ (blockOneState (chain, 1), rateMarker (44100));
    }

    processor.setParameter (2, 1.0f); // gain 16: a control change keeps the running state
    EXPECT_EQ (blockOneState (0, 0), positionMarker (8));
    processor.setCurrentProgram (0); // a reload starts from the operating point again
    EXPECT_EQ (blockOneState (0, 0), positionMarker (16));
}

TEST_F (ReloadFixture, AnAnnouncedHostRateReloadsAtOnceAndTheSameRateAgainDoesNot)
{
    processor.prepareToPlay (48000.0, 64);
    EXPECT_EQ (processor.getModelStatus(), ""); // block 3's file for 48000 was found
    for (int chain = 0; chain < 2; ++chain)
    {
        EXPECT_EQ (processor.getChain (chain).getProcessingRate(), 48000);
        EXPECT_EQ (blockOneState (chain, 1), rateMarker (48000));
        EXPECT_EQ (blockOneState (chain, 0), positionMarker (8));
    }

    process (64);
    const double running = blockOneState (0, 1);
    ASSERT_NE (running, rateMarker (48000)); // the state has moved on
    processor.prepareToPlay (48000.0, 64);
    EXPECT_EQ (blockOneState (0, 1), running);
}
} // namespace
