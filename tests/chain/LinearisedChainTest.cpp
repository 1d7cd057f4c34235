#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "reference/ReferenceChain.h"
#include "support/ChainModelFiles.h"
#include "support/LinearisedModelSet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

// The linearised model data set through the real blocks and chain: a small sine must come out as
// the exact circuit passes it, or the tests that rely on the set to carry the signal prove nothing.
namespace
{
constexpr int32_t rate = 44100;
constexpr double frequency = 1000.0;
constexpr double inputVolts = 0.001;
constexpr int length = 4096;
constexpr int settled = 2048; // the amplitude is read from the samples after this

std::vector<double> sine()
{
    std::vector<double> samples (length);
    for (int s = 0; s < length; ++s)
        samples[static_cast<size_t> (s)] = inputVolts * std::sin (2.0 * M_PI * frequency * s / rate);
    return samples;
}

// Amplitude of the test frequency in the settled part (a single DFT bin: the rest level drops out).
double amplitudeOf (const std::vector<double>& samples)
{
    double re = 0.0, im = 0.0;
    for (int s = settled; s < length; ++s)
    {
        const double phase = 2.0 * M_PI * frequency * s / rate;
        re += samples[static_cast<size_t> (s)] * std::cos (phase);
        im += samples[static_cast<size_t> (s)] * std::sin (phase);
    }
    return 2.0 * std::hypot (re, im) / (length - settled);
}

class LinearisedChain : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = makeTemporaryFolder ("varkel-linearised-");
        const auto start = std::chrono::steady_clock::now();
        writeError = chainfiles::writeLinearisedModelSet (folder, {});
        writeSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    }

    static void TearDownTestSuite() { std::filesystem::remove_all (folder); }

    static std::string makeTemporaryFolder (const std::string& stem) { return chainfiles::makeTemporaryFolder (stem); }

    // The chain's output in volts for the sine at a gain position (tone position 0).
    static std::vector<double> chainOutput (uint32_t gainPosition)
    {
        PreampBlockSet blocks = makePreampBlocks (rate);
        ChannelChain chain;
        const std::string names[4] = {"varkelpre_eh_b1_pca.dat", "varkelpre_eh_b2_pca.dat",
                                      "varkelpre_eh_b3_pca.dat." + std::to_string (rate), "varkelpre_eh_b4_std.dat"};
        for (int k = 0; k < 4; ++k)
        {
            const ModelLoadResult result = chain.loadBlockModel (k, blocks[k].get(), folder + "/" + names[k], k < 3);
            EXPECT_TRUE (result.ok) << result.message;
        }
        const uint32_t positions[4] = {gainPosition, gainPosition, 0, 0};
        for (int k = 0; k < 4; ++k)
            chain.selectPosition (k, positions[k]);
        chain.prepareRate (rate, 1);
        EXPECT_TRUE (chain.isReady());

        std::vector<double> out;
        for (double v : sine())
        {
            float sample = static_cast<float> (v);
            chain.processPlain (&sample, 1);
            out.push_back (sample);
        }
        return out;
    }

    static std::vector<double> referenceOutput (uint32_t gainPosition)
    {
        ReferenceChain reference (rate, static_cast<int> (gainPosition), 0);
        std::vector<double> out;
        for (double v : sine())
            out.push_back (reference.process (static_cast<double> (static_cast<float> (v))));
        return out;
    }

    static inline std::string folder, writeError;
    static inline double writeSeconds = 0.0;
};

TEST_F (LinearisedChain, IsWrittenQuickly)
{
    ASSERT_EQ (writeError, "");
    std::cout << "linearised set written in " << writeSeconds << " s\n";
}

TEST_F (LinearisedChain, SmallSinePassesWithTheExactCircuitsGain)
{
    ASSERT_EQ (writeError, "");
    double previousGain = -1e9;
    for (uint32_t gainPosition : {0u, 8u, 16u})
    {
        SCOPED_TRACE (gainPosition);
        const auto chain = chainOutput (gainPosition);
        for (double v : chain)
            ASSERT_TRUE (std::isfinite (v));
        const double chainGain = 20.0 * std::log10 (amplitudeOf (chain) / inputVolts);
        const double exactGain = 20.0 * std::log10 (amplitudeOf (referenceOutput (gainPosition)) / inputVolts);
        std::cout << "gain position " << gainPosition << ": chain " << chainGain << " dB, exact circuit "
                  << exactGain << " dB\n";
        EXPECT_NEAR (chainGain, exactGain, 0.2);
        // More gain, more output: the control reaches the sound.
        EXPECT_GT (chainGain, previousGain + 1.0);
        previousGain = chainGain;
    }
}
} // namespace
