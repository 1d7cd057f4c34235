// A host may resend automation from its audio thread while another of its threads switches
// program, valve set or state. Those reloads prepare the real model data set under the control
// lock; the audio thread's setParameter must not wait for them.
//
// The reloading thread counts: odd while it is inside a reload, even between two. A call that
// began and returned with the same odd count overlapped a reload. A call that queued behind the
// control lock returns only when the reload releases it, so a waiting implementation completes
// calls only in the short stretch between that release and the count moving on (measured: 3 to
// 6 per reload), while one that never waits keeps calling all through the reload (measured: 230
// to 400 per reload, calls 20 us apart). The test asks for 25 per reload.
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
    // round 0, 1, 2, ...: each reload changes something, back and forth.
    std::function<void (VarkelPreampAudioProcessor&, const juce::MemoryBlock& agedState,
                        const juce::MemoryBlock& freshState, int round)>
        run;
};

constexpr int reloads = 20;
constexpr int overlappedCallsPerReload = 25;

struct Observed
{
    int overlappedCalls = 0; // calls begun and finished inside one reload
    Clock::duration longestCall{};
};

// Stands in for the host's audio thread: until the reloads are over, resends the unchanged gain
// and writes new input and output levels, timing every call.
Observed automateDuringReloads (VarkelPreampAudioProcessor& processor, const std::atomic<int>& sequence,
                                const std::atomic<bool>& reloadsDone, std::atomic<bool>& automating)
{
    Observed seen;
    automating.store (true);
    const auto giveUp = Clock::now() + std::chrono::seconds (120);
    int round = 0;
    while (!reloadsDone.load() && Clock::now() < giveUp)
    {
        const float level = (round++ % 2 == 0) ? 0.2f : 0.8f;
        for (const auto& [index, value] : {std::pair{2, 0.5f}, {1, level}, {6, 1.0f - level}})
        {
            const int before = sequence.load();
            const auto start = Clock::now();
            processor.setParameter (index, value);
            seen.longestCall = std::max (seen.longestCall, Clock::now() - start);
            if (before % 2 == 1 && sequence.load() == before)
                ++seen.overlappedCalls;
        }
        std::this_thread::sleep_for (std::chrono::microseconds (20));
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

    juce::MemoryBlock freshState;
    processor.getStateInformation (freshState);
    const juce::MemoryBlock agedState = agedStateOf (processor);
    ASSERT_GT (agedState.getSize(), 0u);
    std::atomic<int> sequence{0};
    std::atomic<bool> reloadsDone{false};
    std::atomic<bool> automating{false};
    Observed seen;
    std::thread audio ([&] { seen = automateDuringReloads (processor, sequence, reloadsDone, automating); });
    std::thread reloader (
        [&]
        {
            while (!automating.load())
                std::this_thread::yield();
            for (int round = 0; round < reloads; ++round)
            {
                sequence.fetch_add (1);
                GetParam().run (processor, agedState, freshState, round);
                sequence.fetch_add (1);
            }
            reloadsDone.store (true);
        });
    reloader.join();
    audio.join();

    std::printf ("%s: %d calls returned inside %d reloads, the longest took %.3f ms\n", GetParam().name,
                 seen.overlappedCalls, reloads,
                 std::chrono::duration<double, std::milli> (seen.longestCall).count());
    EXPECT_GT (seen.overlappedCalls, overlappedCallsPerReload * reloads) << "calls waited for the reloads";
    // Generous: a call that queued behind a reload would wait for all of its preparation.
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
    ::testing::Values (Reload{"programSwitch", [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock&,
                                                   const juce::MemoryBlock&, int round)
                              {
                                  if (round == 0) // program 4 on the other valve set: each switch reloads
                                  {
                                      p.setCurrentProgram (4);
                                      p.setParameter (dualTriodesParameter, 1.0f);
                                  }
                                  p.setCurrentProgram (3 + round % 2);
                              }},
                       Reload{"valveSwitch", [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock&,
                                                 const juce::MemoryBlock&, int round)
                              { p.setParameter (dualTriodesParameter, round % 2 == 0 ? 1.0f : 0.0f); }},
                       Reload{"stateRestore",
                              [] (VarkelPreampAudioProcessor& p, const juce::MemoryBlock& aged,
                                  const juce::MemoryBlock& fresh, int round)
                              {
                                  const auto& state = round % 2 == 0 ? aged : fresh;
                                  p.setStateInformation (state.getData(), static_cast<int> (state.getSize()));
                              }}),
    [] (const ::testing::TestParamInfo<Reload>& info) { return std::string (info.param.name); });
} // namespace
