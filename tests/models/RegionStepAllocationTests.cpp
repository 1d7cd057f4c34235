// Proves the per-sample path allocates nothing: this binary counts every allocation of the C
// allocator (which operator new and the network library also use).

#include "AllocationCounter.h"
#include "NetworkFixtures.h"
#include "models/PositionSelection.h"

#include <gtest/gtest.h>

#include <limits>

TEST (RegionStepAllocation, SearchEvaluateProjectAndFallbackAllocateNothing)
{
    // The counter itself must work, or a zero below proves nothing.
    allocationCounterStart();
    auto* probe = new std::vector<int> (100);
    const std::size_t probeAllocations = allocationCounterStop();
    delete probe;
    ASSERT_GE (probeAllocations, 1u);

    for (const bool usesPca : {false, true})
    {
        const SampleShape s = pcaSampleShape (5, 8, 2, 8);
        const auto image =
            usesPca ? samplePcaFile (s, 3)->writeToMemory() : sampleStandardFile (s)->writeToMemory();
        TestBlock block (4, 4, 5);
        BlockModelState m;
        ASSERT_TRUE (loadModelImageIntoState (m, block, image.data(), image.size(), usesPca).ok);
        selectPosition (m, 1);
        ASSERT_EQ (m.projectionNeeded, usesPca ? 1 : 0);

        double p[4], i[4] = {};
        SampleValues values (3);
        allocationCounterStart();
        for (int n = 0; n < 2000; ++n)
        {
            for (double& v : p)
                v = 1.5 * values.next(); // some points lie outside every box
            if (n % 97 == 0)
                p[0] = std::numeric_limits<double>::quiet_NaN();
            regionStep (m, n % 4, p, i);
        }
        EXPECT_EQ (allocationCounterStop(), 0u) << (usesPca ? "pca" : "standard");
    }
}

// A control change on a loaded block points it at another position's table: nothing is built,
// so nothing is allocated, whichever position and however often.
TEST (RegionStepAllocation, SelectingAnyPositionAfterTheLoadAllocatesNothing)
{
    for (const bool usesPca : {false, true})
    {
        const SampleShape s = pcaSampleShape (5, 8, 5, 6);
        const auto image =
            usesPca ? samplePcaFile (s, 3)->writeToMemory() : sampleStandardFile (s)->writeToMemory();
        TestBlock block (4, 4, 5);
        BlockModelState m;
        ASSERT_TRUE (loadModelImageIntoState (m, block, image.data(), image.size(), usesPca).ok);
        const RegionNetwork* seen[5] = {};
        double p[4] = {0.1, -0.2, 0.3, 0.05}, i[4] = {};
        allocationCounterStart();
        for (uint32_t n = 0; n < 40; ++n)
        {
            const uint32_t position = (n * 3) % 7; // past the last too: clamped
            selectPosition (m, position);
            regionStep (m, 0, p, i);
            seen[m.regionsPosition] = m.regions.data();
        }
        EXPECT_EQ (allocationCounterStop(), 0u) << (usesPca ? "pca" : "standard");
        for (uint32_t a = 0; a < 5; ++a)
            EXPECT_NE (seen[a], nullptr) << "position " << a << " never selected";
    }
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
