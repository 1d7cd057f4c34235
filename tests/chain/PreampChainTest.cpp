#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "AllocationCounter.h"
#include "support/ChainModelFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

// The real circuit blocks fed with model files from the model file writer, shaped like trained
// data (pca-kind 4-8-4 networks for blocks 1 to 3, a standard-kind 2-8-2 network for block 4).
namespace
{
constexpr int32_t hostRate = 44100;

class PreampChainTest : public testing::Test
{
protected:
    PreampChainTest()
    {
        const uint32_t nx[4] = {5, 5, 2, 3};
        for (int k = 0; k < 4; ++k)
        {
            chainfiles::RepresentativeModel shape;
            shape.usesPca = usesPca (k);
            shape.nv = shape.ni = k < 3 ? 4 : 2;
            shape.nx = nx[k];
            shape.positions = 3;
            shape.regionsPerPosition = k < 3 ? 8 : 4;
            shape.seed = 40u + static_cast<unsigned> (k);
            for (int f : {1, 2, 4, 8, 16})
                shape.rates.push_back (hostRate * f);
            const std::string error = chainfiles::writeRepresentativeModel (pathOf (k), shape);
            EXPECT_EQ (error, "");
        }
    }

    ~PreampChainTest() override { std::filesystem::remove_all (folder); }

    static bool usesPca (int k) { return k < 3; }
    std::string pathOf (int k) const { return folder + "/b" + std::to_string (k + 1) + ".dat"; }

    const std::string folder = chainfiles::makeTemporaryFolder ("varkel-preamp-chain-");
    PreampBlockSet blocks = makePreampBlocks (hostRate);
};
} // namespace

TEST_F (PreampChainTest, ProcessesEveryFactorWithoutAllocatingAndStaysFinite)
{
    for (int32_t factor : {1, 2, 4, 8, 16})
    {
        SCOPED_TRACE (factor);
        ChannelChain chain;
        for (int k = 0; k < 4; ++k)
        {
            const ModelLoadResult result = chain.loadBlockModel (k, blocks[k].get(), pathOf (k), usesPca (k));
            ASSERT_TRUE (result.ok) << result.message;
        }
        chain.prepareRate (hostRate, factor);
        const uint32_t positions[4] = {8, 8, 0, 1687}; // clamped to the files' three
        for (int k = 0; k < 4; ++k)
            chain.selectPosition (k, positions[k]);
        ASSERT_TRUE (chain.isReady());
        // The supplies reach the blocks' source inputs.
        EXPECT_EQ (chain.getInputVector (0)[1], 334.0);
        EXPECT_EQ (chain.getInputVector (3)[1], 345.0);

        std::vector<float> samples (256);
        for (size_t s = 0; s < samples.size(); ++s)
            samples[s] = 0.5f * static_cast<float> (std::sin (0.05 * static_cast<double> (s)));
        allocationCounterStart();
        if (factor > 1)
            chain.processOversampled (samples.data(), 256);
        else
            chain.processPlain (samples.data(), 256);
        EXPECT_EQ (allocationCounterStop(), 0u);

        bool anyNonZero = false;
        for (float s : samples)
        {
            ASSERT_TRUE (std::isfinite (s));
            anyNonZero = anyNonZero || s != 0.0f;
        }
        EXPECT_TRUE (anyNonZero);
    }
}
