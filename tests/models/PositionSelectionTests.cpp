// Selecting a position: which networks exist, the region slice, and the projection with its
// masks and buffers.
#include "NetworkFixtures.h"
#include "models/PositionSelection.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
// A pca file of one position whose 3 x 3 projection is the identity except one element.
std::unique_ptr<PCAModelFileF> identityPcaFile (double offDiagonal)
{
    auto file = samplePcaFile (pcaSampleShape (1, 3, 1, 1), 3);
    auto& position = file->models[0].positions[0];
    position.inputMask = {1, 0, 1, 1};
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t j = 0; j < 3; ++j)
            position.projection[k * 3 + j] = j == k ? 1.0 : 0.0;
    position.projection[0 * 3 + 2] = offDiagonal;
    return file;
}
} // namespace

TEST (PositionSelection, PositionClampingAndRegionSlices)
{
    TestBlock block (2, 2, 1);
    BlockModelState m;
    ASSERT_TRUE (loadStandardNets (m, block, {nets (3, 0), nets (4, 3), nets (2, 7)}).ok);
    EXPECT_EQ (m.regionCount, 9u);
    EXPECT_EQ (m.positionCount, 3u);
    struct Case
    {
        uint32_t requested, selected, first, count;
    };
    // Only the selected position has networks, built from that position's nets in file order.
    for (const Case& c :
         {Case{2, 2, 7, 2}, Case{0, 0, 0, 3}, Case{1, 1, 3, 4}, Case{7, 2, 7, 2}, Case{0xFFFFFFFFu, 2, 7, 2}})
    {
        EXPECT_EQ (selectPosition (m, c.requested), c.selected);
        EXPECT_EQ (m.selectedPosition, c.selected);
        EXPECT_EQ (m.regionsPosition, c.selected);
        EXPECT_EQ (m.positionFirstRegion[c.selected], c.first);
        EXPECT_EQ (m.selectedRegions, m.regions.data()) << c.requested;
        EXPECT_EQ (m.selectedRegionCount, c.count) << c.requested;
        ASSERT_EQ (m.regions.size(), c.count) << c.requested;
        for (uint32_t r = 0; r < c.count; ++r)
            EXPECT_EQ (m.regions[r].lowerBound[0], fileIndexMark (c.first + r)) << c.requested;
        EXPECT_EQ (m.lastRegion, m.selectedRegions);
    }

    // Selecting the position already built keeps its networks.
    const RegionNetwork* built = m.regions.data();
    selectPosition (m, 2);
    EXPECT_EQ (m.regions.data(), built);

    BlockModelState five;
    ASSERT_TRUE (loadStandardNets (five, block, {nets (1), nets (1), nets (1), nets (1), nets (1)}).ok);
    EXPECT_EQ (selectPosition (five, 7), 4u);
}

TEST (PositionSelection, StandardSelectionIsIdentityWithFullMasks)
{
    TestBlock block (2, 2, 1);
    BlockModelState m;
    ASSERT_TRUE (loadStandardNets (m, block, {nets (1)}).ok);
    selectPosition (m, 0);
    EXPECT_EQ (m.projectionRows, 2u);
    EXPECT_EQ (m.reducedCount, 2u);
    EXPECT_EQ (m.projectionNeeded, 0);
    EXPECT_EQ (m.inputMask[0], 1u);
    EXPECT_EQ (m.outputMask[1], 1u);
    const double identity[4] = {1.0, 0.0, 0.0, 1.0};
    for (int e = 0; e < 4; ++e)
        EXPECT_EQ (m.projectionMatrix[size_t (e)], identity[e]);
    EXPECT_EQ (reinterpret_cast<uintptr_t> (m.projectionMatrix.data()) % 16, 0u);
    EXPECT_EQ (reinterpret_cast<uintptr_t> (m.regions.data()) % 16, 0u);
    EXPECT_EQ (reinterpret_cast<uintptr_t> (m.scratch.scaledInput.data()) % 16, 0u);
}

TEST (PositionSelection, ProjectionNeededThreshold)
{
    struct Case
    {
        double offDiagonal;
        uint8_t needed;
    };
    const Case cases[] = {{1e-6, 1},
                          {1e-7, 0},
                          {-1e-6, 1},
                          {2.384185791015625e-7, 0},
                          {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const Case& c : cases)
    {
        TestBlock block (4, 4, 1);
        BlockModelState m;
        ASSERT_TRUE (loadModelFileIntoState (m, block, identityPcaFile (c.offDiagonal)).ok);
        selectPosition (m, 0);
        EXPECT_EQ (m.projectionNeeded, c.needed) << c.offDiagonal;
    }
}

// Near-identity: the leading reducedCount entries of p are copied, whatever the mask says.
// Otherwise only masked-in entries are projected, in order, each by its own matrix column.
TEST (PositionSelection, ReducedInputCopiesOrProjects)
{
    const double p[4] = {10.0, 20.0, 30.0, 40.0};
    double i[4];
    {
        TestBlock block (4, 4, 1);
        BlockModelState m;
        ASSERT_TRUE (loadModelFileIntoState (m, block, identityPcaFile (1e-7)).ok);
        selectPosition (m, 0);
        regionStep (m, 0, p, i);
        EXPECT_EQ (m.reducedInput[0], 10.0);
        EXPECT_EQ (m.reducedInput[1], 20.0);
        EXPECT_EQ (m.reducedInput[2], 30.0);
    }
    {
        TestBlock block (4, 4, 1);
        BlockModelState m;
        ASSERT_TRUE (loadModelFileIntoState (m, block, identityPcaFile (0.5)).ok);
        selectPosition (m, 0);
        // File element (k = 0, j = 2) is stored at j * projectionRows + k in the block state.
        EXPECT_EQ (m.projectionMatrix[2 * 3 + 0], 0.5);
        regionStep (m, 0, p, i);
        EXPECT_EQ (m.reducedInput[0], 10.0); // selected inputs are p[0], p[2], p[3]
        EXPECT_EQ (m.reducedInput[1], 30.0);
        EXPECT_EQ (m.reducedInput[2], 40.0 + 0.5 * 10.0);
    }
}

TEST (PositionSelection, SelectionReusesBuffersOfUnchangedDimensions)
{
    auto file = samplePcaFile (pcaSampleShape (1, 3, 3, 1), 3);
    auto& third = file->models[0].positions[2];
    third.netInputCount = 2;
    third.projection.assign (3 * 2, 0.25);
    third.nets[0] = PCANetRecord::sized (2, {3}, 4);
    TestBlock block (4, 4, 1);
    BlockModelState m;
    ASSERT_TRUE (loadModelFileIntoState (m, block, std::move (file)).ok);
    selectPosition (m, 0);
    const double* matrix = m.projectionMatrix.data();
    const double* reduced = m.reducedInput.data();
    selectPosition (m, 1);
    EXPECT_EQ (m.projectionMatrix.data(), matrix);
    EXPECT_EQ (m.reducedInput.data(), reduced);
    selectPosition (m, 2);
    EXPECT_EQ (m.reducedCount, 2u);
    EXPECT_EQ (m.projectionMatrix.size(), 6u);
    EXPECT_EQ (m.reducedInput.size(), 2u);
    EXPECT_EQ (m.regions[0].inputCount, 2u);
}
