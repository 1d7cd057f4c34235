#include "engine/ChannelChain.h"
#include "AllocationCounter.h"
#include "engine/FirResampler.h"
#include "engine/OversamplingTables.h"
#include "support/ChainModelFiles.h"
#include "support/RandomSignal.h"
#include "support/StandInBlock.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace
{
using chainfiles::ConstantRegion;

constexpr uint32_t nv = 2;
constexpr uint32_t ni = 2;
constexpr uint32_t nx = 1;
constexpr int32_t hostRate = 48000;
const int32_t everyFactor[] = {1, 2, 4, 8, 16};
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

// Distinct operating values per rate, so a test can tell which record was applied.
chainfiles::RateRecord operatingPoint (double rate)
{
    const double r = rate / 48000.0;
    return {rate, {10.0 * r, 20.0 * r}, {0.1 * r, 0.2 * r}, {0.5 * r}};
}

std::vector<double> allRatesTable()
{
    std::vector<chainfiles::RateRecord> records;
    for (int32_t f : everyFactor)
        records.push_back (operatingPoint (hostRate * f));
    return chainfiles::rateTable (records);
}

// Four stand-in blocks and their model files; blocks 1 to 3 read pca files and block 4 a
// standard file, as in the plug-in. Every model has three positions with one region that
// holds every point and outputs the currents below.
class ChannelChainTest : public testing::Test
{
protected:
    ChannelChainTest()
    {
        for (int k = 0; k < 4; ++k)
            writeModel (k, {{chainfiles::everywhere (nv, currents[k])}});
    }

    ~ChannelChainTest() override { std::filesystem::remove_all (folder); }

    static bool usesPca (int k) { return k < 3; }

    std::string pathOf (int k) const { return folder + "/block" + std::to_string (k) + ".dat"; }

    // The same regions at each of three positions.
    void writeModel (int k, const std::vector<ConstantRegion>& regions, const std::string& path = {})
    {
        const std::string error =
            chainfiles::writeConstantModel (path.empty() ? pathOf (k) : path, usesPca (k), nv, ni,
                                            {regions, regions, regions}, allRatesTable());
        ASSERT_EQ (error, "");
    }

    void load (ChannelChain& chain, int k)
    {
        const ModelLoadResult result = chain.loadBlockModel (k, &blocks[k], pathOf (k), usesPca (k));
        ASSERT_TRUE (result.ok) << result.message;
    }

    // The loader's order: load every block, set the rate, select the positions.
    void makeReady (ChannelChain& chain, int32_t factor = 1)
    {
        for (int k = 0; k < 4; ++k)
            load (chain, k);
        chain.prepareRate (hostRate, factor);
        for (int k = 0; k < 4; ++k)
            chain.selectPosition (k, 0);
        ASSERT_TRUE (chain.isReady());
    }

    static void process (ChannelChain& chain, std::vector<float>& samples)
    {
        if (chain.getFactor() > 1)
            chain.processOversampled (samples.data(), static_cast<int> (samples.size()));
        else
            chain.processPlain (samples.data(), static_cast<int> (samples.size()));
    }

    const std::string folder = chainfiles::makeTemporaryFolder ("varkel-chain-test-");
    std::array<StandInBlock, 4> blocks{};
    std::array<std::vector<float>, 4> currents{
        {{0.001f, 0.002f}, {0.003f, 0.004f}, {0.005f, 0.006f}, {0.007f, 0.0125f}}};
};
} // namespace

TEST_F (ChannelChainTest, PassThroughBlocksGiveInputTimesBothGains)
{
    ChannelChain chain;
    makeReady (chain);
    chain.inputGain = 0.5f;
    chain.outputGain = 3.0f;
    const auto input = randomSignal (64, 1);
    auto samples = input;
    chain.processPlain (samples.data(), static_cast<int> (samples.size()));
    for (size_t s = 0; s < input.size(); ++s)
        EXPECT_EQ (samples[s], static_cast<float> (3.0 * static_cast<double> (input[s] * 0.5f))) << s;

    chain.processPlain (samples.data(), 0); // nothing to do, nothing touched
    EXPECT_EQ (samples[0], static_cast<float> (3.0 * static_cast<double> (input[0] * 0.5f)));
}

TEST_F (ChannelChainTest, OversampledPassThroughIsTheFilterPairWithGains)
{
    const auto input = randomSignal (300, 2);
    for (int32_t factor : {2, 4, 8, 16})
    {
        SCOPED_TRACE (factor);
        ChannelChain chain;
        makeReady (chain, factor);
        ASSERT_TRUE (chain.hasFilters());
        chain.inputGain = 0.75f;
        chain.outputGain = 2.0f;
        auto samples = input;
        chain.processOversampled (samples.data(), static_cast<int> (samples.size()));

        const auto& h = oversamplingTable (factor);
        FirResampler up (static_cast<int> (h.size()), factor, h.data());
        FirResampler down (static_cast<int> (h.size()), 1, h.data());
        for (size_t s = 0; s < input.size(); ++s)
        {
            up.push (input[s] * 0.75f);
            float expected = 0.0f;
            for (int j = 0; j < factor; ++j)
            {
                down.push (up.nextOutput());
                if (j == 0)
                    expected = down.nextOutput() * 2.0f;
                else
                    down.advance();
            }
            ASSERT_EQ (samples[s], expected) << "sample " << s;
        }
    }
}

TEST_F (ChannelChainTest, IsSilentUntilEveryBlockHasModelRateAndPosition)
{
    ChannelChain chain;
    auto expectSilence = [&chain] (const char* stage)
    {
        std::vector<float> samples (16, 0.5f);
        chain.processPlain (samples.data(), 16);
        for (float s : samples)
            ASSERT_EQ (s, 0.0f) << stage;
        samples.assign (16, 0.5f);
        chain.processOversampled (samples.data(), 16);
        for (float s : samples)
            ASSERT_EQ (s, 0.0f) << stage;
    };

    expectSilence ("nothing loaded");
    for (int k = 0; k < 3; ++k)
        load (chain, k);
    chain.prepareRate (hostRate, 1);
    for (int k = 0; k < 3; ++k)
        chain.selectPosition (k, 0);
    expectSilence ("block 4 never loaded");
    chain.selectPosition (3, 0); // no model: ignored
    expectSilence ("block 4 selected without a model");

    load (chain, 3);
    expectSilence ("block 4 loaded, no rate yet");
    chain.prepareRate (hostRate, 1);
    expectSilence ("block 4 loaded, no position yet");
    chain.selectPosition (3, 0);
    ASSERT_TRUE (chain.isReady());
    std::vector<float> samples (4, 0.5f);
    chain.processPlain (samples.data(), 4);
    EXPECT_EQ (samples[3], 0.5f);
}

TEST_F (ChannelChainTest, FailedLoadsKeepThePreviousModelAndSayWhy)
{
    ChannelChain chain;
    ChannelChain reference;
    makeReady (chain);
    makeReady (reference);

    const std::string missing = folder + "/no-such-file.dat";
    const std::string garbage = folder + "/garbage.dat";
    std::ofstream (garbage, std::ios::binary) << "not a model file";

    const struct
    {
        int block;
        SSParamsVecAutomation* object;
        std::string path;
        std::string mentioned;
    } failures[] = {
        {2, &blocks[2], missing, missing},          {2, &blocks[2], garbage, garbage},
        {4, &blocks[2], pathOf (2), "block index"}, {-1, &blocks[0], pathOf (0), "block index"},
        {1, nullptr, pathOf (1), pathOf (1)},
    };
    for (const auto& failure : failures)
    {
        const ModelLoadResult result =
            chain.loadBlockModel (failure.block, failure.object, failure.path, true);
        EXPECT_FALSE (result.ok) << failure.path;
        EXPECT_NE (result.message.find (failure.mentioned), std::string::npos) << result.message;
    }

    ASSERT_TRUE (chain.isReady());
    auto a = randomSignal (32, 3);
    auto b = a;
    chain.processPlain (a.data(), 32);
    reference.processPlain (b.data(), 32);
    EXPECT_EQ (a, b);
}

TEST_F (ChannelChainTest, NonFiniteInputSamplesCountAsSilence)
{
    for (int32_t factor : {1, 4})
    {
        SCOPED_TRACE (factor);
        ChannelChain withBadSamples;
        ChannelChain withZeros;
        makeReady (withBadSamples, factor);
        makeReady (withZeros, factor);
        std::vector<float> bad{0.25f, notANumber, 0.5f, infinity, -infinity, -0.75f};
        std::vector<float> zeros{0.25f, 0.0f, 0.5f, 0.0f, 0.0f, -0.75f};
        for (int round = 0; round < 8; ++round) // long enough to flush the filters several times
        {
            auto a = bad;
            auto b = zeros;
            process (withBadSamples, a);
            process (withZeros, b);
            ASSERT_EQ (a, b) << "round " << round;
        }
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ (withBadSamples.getWorkspace (k).x, withZeros.getWorkspace (k).x) << "block " << k + 1;
    }
}

TEST_F (ChannelChainTest, BlockWhoseStateGoesNonFiniteRestartsFromItsOperatingPoint)
{
    ChannelChain chain;
    makeReady (chain);
    blocks[1].poisonAbove = 10.0; // block 2 fails on one large sample
    chain.inputGain = 1.0f;

    std::vector<float> samples{1.0f, 2.0f};
    chain.processPlain (samples.data(), 2);
    std::vector<float> spike{50.0f};
    chain.processPlain (spike.data(), 1);

    const auto& w = chain.getWorkspace (1);
    EXPECT_EQ (w.x, operatingPoint (hostRate).x);
    EXPECT_EQ (w.i, operatingPoint (hostRate).i);
    EXPECT_TRUE (std::isfinite (spike[0]));

    std::vector<float> after{0.5f, -0.5f, 0.25f};
    chain.processPlain (after.data(), 3);
    EXPECT_EQ (after, (std::vector<float>{0.5f, -0.5f, 0.25f}));
    for (int k = 0; k < 4; ++k)
        for (double v : chain.getWorkspace (k).x)
            EXPECT_TRUE (std::isfinite (v)) << "block " << k + 1;
}

TEST_F (ChannelChainTest, FirstRateSetsPAndIFromTheRateTableLaterRatesOnlyX)
{
    ChannelChain chain;
    for (int k = 0; k < 4; ++k)
        load (chain, k);
    chain.prepareRate (hostRate, 1);
    EXPECT_EQ (chain.getProcessingRate(), hostRate);
    for (int k = 0; k < 4; ++k)
    {
        const auto& w = chain.getWorkspace (k);
        EXPECT_EQ (w.p, operatingPoint (hostRate).p) << k;
        EXPECT_EQ (w.i, operatingPoint (hostRate).i) << k;
        EXPECT_EQ (w.x, operatingPoint (hostRate).x) << k;
        EXPECT_EQ (chain.getInputVector (k)[1], 300.0) << "supply input of block " << k + 1;
        EXPECT_EQ (blocks[k].rate, hostRate);
    }

    for (int k = 0; k < 4; ++k)
        chain.selectPosition (k, 0);
    std::vector<float> samples (8, 0.3f);
    chain.processPlain (samples.data(), 8);
    std::array<std::vector<double>, 4> p, i;
    for (int k = 0; k < 4; ++k)
    {
        p[k] = chain.getWorkspace (k).p;
        i[k] = chain.getWorkspace (k).i;
        ASSERT_NE (p[k], operatingPoint (hostRate).p);
        ASSERT_NE (i[k], operatingPoint (hostRate).i);
    }

    chain.prepareRate (hostRate, 2);
    EXPECT_EQ (chain.getProcessingRate(), 2 * hostRate);
    for (int k = 0; k < 4; ++k)
    {
        const auto& w = chain.getWorkspace (k);
        EXPECT_EQ (w.x, operatingPoint (2 * hostRate).x) << k;
        EXPECT_EQ (w.operatingP, operatingPoint (2 * hostRate).p) << k;
        EXPECT_EQ (w.p, p[k]) << k;
        EXPECT_EQ (w.i, i[k]) << k;
        EXPECT_EQ (blocks[k].rate, 2 * hostRate);
    }
}

TEST_F (ChannelChainTest, ReloadedBlockTakesItsWholeOperatingPointAtTheNextRate)
{
    // A load zeroes the block's vectors; port currents that no network drives would stay 0.
    ChannelChain chain;
    makeReady (chain);
    std::vector<float> samples (8, 0.3f);
    chain.processPlain (samples.data(), 8);
    const auto untouchedP = chain.getWorkspace (0).p;

    load (chain, 2);
    EXPECT_EQ (chain.getWorkspace (2).i, (std::vector<double>{0.0, 0.0}));
    chain.prepareRate (hostRate, 4);
    chain.selectPosition (2, 0);
    EXPECT_EQ (chain.getWorkspace (2).p, operatingPoint (4 * hostRate).p);
    EXPECT_EQ (chain.getWorkspace (2).i, operatingPoint (4 * hostRate).i);
    EXPECT_EQ (chain.getWorkspace (0).p, untouchedP); // the others keep p and i
}

TEST_F (ChannelChainTest, UnsupportedFactorsRunPlainAtTheHostRate)
{
    const struct
    {
        int32_t requested, factor;
        bool filters;
    } cases[] = {{3, 1, false}, {0, 1, false}, {-4, 1, false}, {32, 1, false}, {1, 1, false},
                 {2, 2, true},  {4, 4, true},  {8, 8, true},   {16, 16, true}};
    for (const auto& c : cases)
    {
        ChannelChain chain;
        makeReady (chain, c.requested);
        EXPECT_EQ (chain.getFactor(), c.factor) << c.requested;
        EXPECT_EQ (chain.getProcessingRate(), hostRate * c.factor) << c.requested;
        EXPECT_EQ (chain.getHostRate(), hostRate);
        EXPECT_EQ (chain.hasFilters(), c.filters) << c.requested;
    }

    // Factor 3 processes exactly like factor 1, even through processOversampled.
    ChannelChain three;
    ChannelChain one;
    makeReady (three, 3);
    makeReady (one, 1);
    auto a = randomSignal (40, 4);
    auto b = a;
    three.processOversampled (a.data(), 40);
    one.processPlain (b.data(), 40);
    EXPECT_EQ (a, b);
}

TEST_F (ChannelChainTest, EveryBlockTakesItsNearestBoxWhenNoRegionHoldsThePoint)
{
    // Every block's only region lies elsewhere, so every block, block 4 included, takes that
    // region's network at the nearest point of its box.
    for (int k = 0; k < 4; ++k)
        writeModel (k, {chainfiles::nowhere (nv, {0.5f, 0.25f})});
    for (auto& block : blocks)
        block.currentGain = 1.0;

    ChannelChain chain;
    makeReady (chain);
    std::vector<float> samples{0.125f, -0.25f};
    chain.processPlain (samples.data(), 2);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ (chain.getWorkspace (k).i, (std::vector<double>{0.5, 0.25})) << "block " << k + 1;
    // Each block adds its fallback currents to its input.
    EXPECT_EQ (chain.getOutput(), chain.getInputVector (3)[0] + 0.75);
    EXPECT_EQ (samples[1], static_cast<float> (-0.25 + 4 * 0.75));
}

TEST_F (ChannelChainTest, PositionChangeKeepsStateAndRefreshesTheMatrices)
{
    ChannelChain chain;
    makeReady (chain);
    std::vector<float> samples (10, 0.4f);
    chain.processPlain (samples.data(), 10);
    const BlockWorkspace before = chain.getWorkspace (0);

    chain.selectPosition (0, 2);
    const auto& w = chain.getWorkspace (0);
    EXPECT_EQ (w.x, before.x);
    EXPECT_EQ (w.p, before.p);
    EXPECT_EQ (w.i, before.i);
    EXPECT_EQ (blocks[0].controlPosition, 2);

    // The chain follows the block's new matrices (E(0,0) is 3 at position 2).
    std::vector<float> one{0.5f};
    chain.processPlain (one.data(), 1);
    EXPECT_EQ (w.p[0], 3.0 * 0.5);

    // Positions are clamped to the model's three and to the block's own range.
    chain.selectPosition (0, 99);
    EXPECT_EQ (blocks[0].controlPosition, 2);
    EXPECT_EQ (chain.getModelState (0).selectedPosition, 2u);
    blocks[1].numPositions = 2;
    chain.selectPosition (1, 2);
    EXPECT_EQ (blocks[1].controlPosition, 1);
    EXPECT_EQ (chain.getModelState (1).selectedPosition, 1u);

    // A rate change, in contrast, restarts x from the operating point.
    chain.prepareRate (hostRate, 1);
    EXPECT_EQ (w.x, operatingPoint (hostRate).x);
}

TEST_F (ChannelChainTest, LevelWindowFollowsTheLastStageCathodeCurrentOncePerHostSample)
{
    const double c = currents[3][1];
    {
        ChannelChain chain;
        makeReady (chain, 1);
        std::vector<float> samples (LevelWindow::length, 0.1f);
        chain.processPlain (samples.data(), static_cast<int> (samples.size()));
        const double n = LevelWindow::length;
        EXPECT_NEAR (chain.levelWindow.sum, n * c, n * c * 1e-3);
        EXPECT_NEAR (chain.levelWindow.sumSquares, n * c * c, n * c * c * 1e-3);
        EXPECT_NEAR (chain.levelWindow.sum * chain.levelWindow.invLength, c, c * 1e-3);
    }
    for (int32_t factor : {2, 16})
    {
        ChannelChain chain;
        makeReady (chain, factor);
        std::vector<float> samples (100, 0.1f);
        chain.processOversampled (samples.data(), 100);
        EXPECT_NEAR (chain.levelWindow.sum, 100 * c, 100 * c * 1e-4) << factor;
    }
}

TEST_F (ChannelChainTest, FactorChangeRestartsBothFiltersFromSilence)
{
    ChannelChain changed;
    makeReady (changed, 4);
    auto noise = randomSignal (200, 5);
    changed.processOversampled (noise.data(), 200);
    changed.prepareRate (hostRate, 8);

    ChannelChain fresh;
    makeReady (fresh, 8);

    auto a = randomSignal (100, 6);
    auto b = a;
    changed.processOversampled (a.data(), 100);
    fresh.processOversampled (b.data(), 100);
    EXPECT_EQ (a, b);
}

TEST_F (ChannelChainTest, ProcessingAllocatesNothingAtAnyFactor)
{
    // The counter sees allocations at all (through operator new and malloc).
    allocationCounterStart();
    auto probe = std::make_unique<std::vector<double>> (16);
    EXPECT_GE (allocationCounterStop(), 2u);

    for (int32_t factor : everyFactor)
    {
        ChannelChain chain;
        makeReady (chain, factor);
        auto samples = randomSignal (256, 7);
        allocationCounterStart();
        process (chain, samples);
        process (chain, samples);
        EXPECT_EQ (allocationCounterStop(), 0u) << "factor " << factor;
    }
}

#if defined(__SSE__)
TEST_F (ChannelChainTest, DenormalsAreFlushedWhileProcessingAndTheModeIsRestored)
{
    constexpr unsigned int flushBits = 0x8040; // FTZ | DAZ
    for (int32_t factor : {1, 8})
    {
        ChannelChain chain;
        makeReady (chain, factor);
        const unsigned int before = _mm_getcsr();
        ASSERT_EQ (before & flushBits, 0u);
        std::vector<float> samples (4, 1e-40f);
        process (chain, samples);
        EXPECT_EQ (blocks[0].floatModeSeen & flushBits, flushBits) << factor;
        EXPECT_EQ (_mm_getcsr(), before) << factor;
    }
}
#endif
