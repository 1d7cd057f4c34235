// Loading a model into a block's state: a reload replaces the whole model and keeps the
// position, clamped; releasing and destroying leave nothing to read.
#include "NetworkFixtures.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"

#include <gtest/gtest.h>

TEST (ModelLoading, ReloadReplacesModelAndKeepsClampedPosition)
{
    TestBlock block (2, 2, 1);
    BlockModelState m;
    ASSERT_TRUE (loadStandardNets (m, block, {nets (1), nets (2), nets (3)}).ok);
    selectPosition (m, 2);
    ASSERT_TRUE (loadStandardNets (m, block, {nets (2, 0), nets (2, 2), nets (2, 4), nets (2, 6)}).ok);
    EXPECT_EQ (m.selectedPosition, 2u);
    EXPECT_EQ (m.selectedRegions, m.regions.data());
    ASSERT_EQ (m.selectedRegionCount, 2u);
    EXPECT_EQ (m.selectedRegions[0].lowerBound[0], fileIndexMark (4));
    ASSERT_TRUE (loadStandardNets (m, block, {nets (1)}).ok);
    EXPECT_EQ (m.selectedPosition, 0u);
    EXPECT_EQ (m.selectedRegions, m.regions.data());
    EXPECT_EQ (m.regionCount, 1u);

    // Released buffers silence the block; a new selection makes them anew. The regions read
    // their table's copy of the position's output mask, which no release frees.
    releaseProjectionBuffers (m);
    const double p[2] = {0.0, 0.0};
    double i[2] = {4.0, 4.0};
    regionStep (m, 0, p, i);
    EXPECT_EQ (i[0], 0.0);
    selectPosition (m, 0);
    ASSERT_NE (m.table, nullptr);
    EXPECT_EQ (m.regions[0].outputMask, m.table->outputMask.data());
    for (uint32_t j = 0; j < 2; ++j)
        EXPECT_EQ (m.regions[0].outputMask[j], m.outputMask[j]) << j;

    destroyRegionNetworks (m);
    releaseProjectionBuffers (m);
    EXPECT_FALSE (hasModel (m));
    EXPECT_EQ (m.selectedRegions, nullptr);
    EXPECT_EQ (m.projectionMatrix.data(), nullptr);
}

// After a release, selecting another position builds that position's networks: the release
// must not leave the block silent until the next reload.
TEST (ModelLoading, ASelectionOfAnotherPositionAfterAReleaseRestoresTheNetworks)
{
    TestBlock block (2, 2, 1);
    BlockModelState m;
    ASSERT_TRUE (loadStandardNets (m, block, {nets (1), nets (2), nets (3)}).ok);
    selectPosition (m, 2);
    releaseProjectionBuffers (m);
    EXPECT_EQ (selectPosition (m, 0), 0u);
    EXPECT_TRUE (hasModel (m));
    ASSERT_EQ (m.selectedRegionCount, 1u);
    EXPECT_EQ (m.selectedRegions, m.regions.data());
    EXPECT_EQ (m.regionsPosition, 0u);
}
