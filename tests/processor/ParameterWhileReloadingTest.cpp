// A host may resend automation from its audio thread while another of its threads switches
// program, valve set or state. Those reloads read the real model data set, which takes far
// longer than an audio block; the audio thread's setParameter must not wait for them.
//
// A call is known to have overlapped a reload when processing was suspended both before it was
// made and after it returned: the reload holds the control lock for longer than the suspension,
// so a call that queued behind it could only return once processing had resumed.
#include "processor/EngineSettings.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;

// The plug-in reads its data from "<module>.dat" beside itself; here the module is this program.
class RealDataBesideExecutable : public ::testing::Environment
{
public:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
        const fs::path link = (module.getFullPathName() + ".dat").toStdString();
        // Other test processes may do the same at once: the link is made aside and renamed into place.
        const fs::path aside =
            link.string() + ".link" + std::to_string (juce::Random::getSystemRandom().nextInt64());
        fs::create_directory_symlink (VARKEL_TEST_MODEL_DATA, aside);
        fs::rename (aside, link);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new RealDataBesideExecutable);

struct Reload
{
    const char* name;
    std::function<void (VarkelPreampAudioProcessor&, const juce::MemoryBlock& agedState)> run;
};

struct Observed
{
    int overlappedCalls = 0; // calls begun and finished while the reload had processing suspended
    Clock::duration longestCall{};
    bool reloadSeen = false;
};

// Stands in for the host's audio thread: from the moment the reload suspends processing until it
// ends, resends the unchanged gain and writes new input and output levels, timing every call.
Observed automateDuringReload (VarkelPreampAudioProcessor& processor, const std::atomic<bool>& reloadDone)
{
    Observed seen;
    const auto giveUp = Clock::now() + std::chrono::seconds (60);
    while (!processor.isSuspended() && !reloadDone.load() && Clock::now() < giveUp)
        std::this_thread::yield();

    int round = 0;
    while (!reloadDone.load() && Clock::now() < giveUp)
    {
        const float level = (round++ % 2 == 0) ? 0.2f : 0.8f;
        for (const auto& [index, value] : {std::pair{2, 0.5f}, {1, level}, {6, 1.0f - level}})
        {
            const bool suspendedBefore = processor.isSuspended();
            const auto start = Clock::now();
            processor.setParameter (index, value);
            seen.longestCall = std::max (seen.longestCall, Clock::now() - start);
            if (suspendedBefore && processor.isSuspended())
                ++seen.overlappedCalls;
            seen.reloadSeen = seen.reloadSeen || suspendedBefore;
        }
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }
    return seen;
}

// The processor's own saved state with every program on the other valve set.
juce::MemoryBlock agedStateOf (VarkelPreampAudioProcessor& processor)
{
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), static_cast<int> (state.getSize()));
    if (xml == nullptr || xml->getFirstChildElement() == nullptr)
        return {};
    for (auto* program : xml->getFirstChildElement()->getChildIterator())
        program->setAttribute ("model", 1);
    juce::AudioProcessor::copyXmlToBinary (*xml, state);
    return state;
}

// One processor for every case: opening one reads the whole data set, and each case starts with
// a reload of its own anyway.
class ParameterWhileReloading : public ::testing::TestWithParam<Reload>
{
protected:
    static void SetUpTestSuite()
    {
        juce = new juce::ScopedJuceInitialiser_GUI();
        shared = new VarkelPreampAudioProcessor();
    }
    static void TearDownTestSuite()
    {
        delete shared;
        delete juce;
    }

    static inline juce::ScopedJuceInitialiser_GUI* juce = nullptr;
    static inline VarkelPreampAudioProcessor* shared = nullptr;
    VarkelPreampAudioProcessor& processor = *shared;
};

TEST_P (ParameterWhileReloading, AudioThreadNeverWaitsAndTheLevelsItSetAreTheOnesInEffect)
{
    ASSERT_EQ (processor.getModelStatus(), "") << "the real model data set should be beside the test";

    const juce::MemoryBlock agedState = agedStateOf (processor);
    ASSERT_GT (agedState.getSize(), 0u);
    std::atomic<bool> reloadDone{false};
    std::thread reloader (
        [&]
        {
            GetParam().run (processor, agedState);
            reloadDone.store (true);
        });
    Observed seen;
    std::thread audio ([&] { seen = automateDuringReload (processor, reloadDone); });
    reloader.join();
    audio.join();

    std::printf ("%s: %d calls returned during the reload, the longest took %.3f ms\n", GetParam().name,
                 seen.overlappedCalls,
                 std::chrono::duration<double, std::milli> (seen.longestCall).count());
    ASSERT_TRUE (seen.reloadSeen) << "the reload never suspended processing";
    EXPECT_GT (seen.overlappedCalls, 0) << "no call returned while the reload was still running";
    // Generous: a call that queued behind the reload would wait for all of its file reading.
    EXPECT_LT (std::chrono::duration_cast<std::chrono::milliseconds> (seen.longestCall).count(), 50);

    // Whatever order the two threads' writes took, the chains play the current program's levels.
    const auto& values = processor.getProgramRecord (processor.getCurrentProgram()).values;
    const float input = inputGainFactor (values[inputParameter]);
    for (int chain = 0; chain < VarkelPreampAudioProcessor::numChains; ++chain)
    {
        EXPECT_EQ (processor.getChain (chain).inputGain.load(), input);
        EXPECT_GT (processor.getChain (chain).outputGain.load(), 0.0f);
    }
    EXPECT_EQ (processor.getModelStatus(), "");
}

INSTANTIATE_TEST_SUITE_P (
    Reloads, ParameterWhileReloading,
    ::testing::Values (
        Reload{"programSwitch", [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock&) { p.setCurrentProgram (3); }},
        Reload{"valveSwitch", [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock&)
               { p.setParameter (dualTriodesParameter, 1.0f); }},
        Reload{"stateRestore", [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock& state)
               { p.setStateInformation (state.getData(), static_cast<int> (state.getSize())); }}),
    [] (const ::testing::TestParamInfo<Reload>& info) { return std::string (info.param.name); });
} // namespace
