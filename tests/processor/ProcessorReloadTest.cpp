// Where each block starts after a reload. Block 1's model data hold a rest point for every gain
// position and rate, each its own (the history currents depend on both), so the state a block
// starts from shows which record the reload applied. The data lie beside this executable, where
// the plug-in looks for them.
#include "engine/PreampBlocks.h"
#include "models/ModelDataCache.h"
#include "models/ModelLoading.h"
#include "models/RateTables.h"
#include "processor/VarkelPreampAudioProcessor.h"
#include "support/LinearisedModelSet.h"

#include <gtest/gtest.h>

namespace
{
juce::File modelFolder()
{
    const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    return juce::File (module.getFullPathName() + ".dat");
}

// The state the file of block 1 gives for a gain position and a processing rate.
std::vector<double> blockOneRecordState (uint32_t position, int32_t rate)
{
    const PreampBlockSet blocks = makePreampBlocks (44100.0); // block 1's shape, for reading its file
    std::vector<double> x;
    BlockModelState m;
    const auto path = modelFolder().getChildFile ("varkelpre_eh_b1_pca.dat").getFullPathName().toStdString();
    if (!loadModelIntoState (m, blocks[0]->modelShape(), path, true).ok)
        return x;
    const double* record = findRateRecord (m, position, rate);
    if (record == nullptr)
        return x;
    const uint32_t nv = m.shape.numNonlinearInputs, ni = m.shape.numNonlinearOutputs;
    return std::vector<double> (record + nv + ni, record + nv + ni + m.shape.numStates);
}

// ctest may run these tests at once in several processes: the writer places each file under a
// private name and renames it into place, so a reader never sees a half-written one.
void writeModelData (const juce::File& folder)
{
    folder.createDirectory();
    ASSERT_TRUE (folder.isDirectory());
    chainfiles::LinearisedModelSet set;
    set.processingRates = {44100, 48000};
    for (const char* prefix : {"varkelpre_eh", "varkelpre_rsd"}) // both valve sets
    {
        set.prefix = prefix;
        ASSERT_EQ (chainfiles::writeLinearisedModelSet (folder.getFullPathName().toStdString(), set), "");
    }
}

class ReloadEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        writeModelData (modelFolder());
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new ReloadEnvironment);

class ReloadFixture : public ::testing::Test
{
protected:
    std::vector<double> blockOneState (int chain) const { return processor.getChain (chain).getWorkspace (0).x; }

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

TEST_F (ReloadFixture, TheRecordsTellPositionsAndRatesApart)
{
    const auto reference = blockOneRecordState (8, 44100);
    ASSERT_EQ (reference.size(), 5u);
    EXPECT_NE (blockOneRecordState (16, 44100), reference);
    EXPECT_NE (blockOneRecordState (8, 48000), reference);
}

TEST_F (ReloadFixture, EveryBlockStartsFromTheOperatingPointOfItsOwnPosition)
{
    ASSERT_EQ (processor.getModelStatus(), "");
    // The default program sets gain position 8; before the load the block was at position 0.
    for (int chain = 0; chain < 2; ++chain)
        EXPECT_EQ (blockOneState (chain), blockOneRecordState (8, 44100));

    processor.setParameter (2, 1.0f); // gain 16: a control change keeps the running state
    EXPECT_EQ (blockOneState (0), blockOneRecordState (8, 44100));
    processor.setCurrentProgram (0); // a reload starts from the operating point again
    EXPECT_EQ (blockOneState (0), blockOneRecordState (16, 44100));
}

TEST_F (ReloadFixture, AnAnnouncedHostRateReloadsAtOnceAndTheSameRateAgainDoesNot)
{
    processor.prepareToPlay (48000.0, 64);
    EXPECT_EQ (processor.getModelStatus(), ""); // block 3's file for 48000 was found
    for (int chain = 0; chain < 2; ++chain)
    {
        EXPECT_EQ (processor.getChain (chain).getProcessingRate(), 48000);
        EXPECT_EQ (blockOneState (chain), blockOneRecordState (8, 48000));
    }

    // A signal moves the state on; announcing the same rate again must not restart it.
    juce::AudioBuffer<float> buffer (2, 64);
    for (int s = 0; s < 64; ++s)
        buffer.setSample (0, s, 0.5f);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    const auto running = blockOneState (0);
    ASSERT_NE (running, blockOneRecordState (8, 48000));
    processor.prepareToPlay (48000.0, 64);
    EXPECT_EQ (blockOneState (0), running);
}
TEST_F (ReloadFixture, InstancesAndChainsShareOneReadOfEachFile)
{
    VarkelPreampAudioProcessor second;
    for (int k = 0; k < 4; ++k)
    {
        const auto& file = processor.getChain (0).getModelState (k).modelFile;
        ASSERT_NE (file, nullptr) << "block " << k + 1;
        EXPECT_EQ (processor.getChain (1).getModelState (k).modelFile, file) << "block " << k + 1;
        EXPECT_EQ (second.getChain (0).getModelState (k).modelFile, file) << "block " << k + 1;
        // The region tables are read-only and shared with the file; what an evaluation writes is
        // each chain's own.
        EXPECT_EQ (processor.getChain (1).getModelState (k).regions.data(),
                   processor.getChain (0).getModelState (k).regions.data());
        EXPECT_EQ (second.getChain (0).getModelState (k).regions.data(),
                   processor.getChain (0).getModelState (k).regions.data());
        EXPECT_NE (processor.getChain (1).getModelState (k).scratch.network.data(),
                   processor.getChain (0).getModelState (k).scratch.network.data());
        EXPECT_NE (processor.getChain (1).getModelState (k).scratch.scaledInput.data(),
                   processor.getChain (0).getModelState (k).scratch.scaledInput.data());
    }
}

TEST_F (ReloadFixture, ASwitchThatKeepsValveSetAndRateReadsNothingAndKeepsTheNetworks)
{
    const auto& blockTwo = processor.getChain (0).getModelState (1);
    const RegionNetwork* networks = blockTwo.regions.data();
    processor.waitForBackgroundReads(); // the other valve set, read after the first load
    const uint64_t reads = ModelDataCache::instance().readCount();
    processor.setCurrentProgram (3);
    processor.setCurrentProgram (0);
    EXPECT_EQ (ModelDataCache::instance().readCount(), reads);
    EXPECT_EQ (blockTwo.regions.data(), networks);
    EXPECT_EQ (processor.getModelStatus(), "");

    processor.setParameter (2, 0.0f); // gain 0: another position, other networks
    EXPECT_EQ (blockTwo.regionsPosition, 0u);
    EXPECT_EQ (ModelDataCache::instance().readCount(), reads);
}
} // namespace

namespace
{
TEST_F (ReloadFixture, TheOtherValveSetIsReadInTheBackgroundSoASwitchToItReadsNothing)
{
    processor.waitForBackgroundReads();
    const uint64_t reads = ModelDataCache::instance().readCount();
    processor.setParameter (dualTriodesParameter, 1.0f);
    EXPECT_EQ (ModelDataCache::instance().readCount(), reads);
    EXPECT_EQ (processor.getModelStatus(), "");
    for (int k = 0; k < 4; ++k)
        EXPECT_NE (processor.getChain (0).getModelState (k).modelFile, nullptr) << "block " << k + 1;

    // And the set left behind is the one read in the background now: switching back reads nothing.
    processor.waitForBackgroundReads();
    const uint64_t readsBack = ModelDataCache::instance().readCount();
    processor.setParameter (dualTriodesParameter, 0.0f);
    EXPECT_EQ (ModelDataCache::instance().readCount(), readsBack);
    EXPECT_EQ (processor.getModelStatus(), "");
}
} // namespace
