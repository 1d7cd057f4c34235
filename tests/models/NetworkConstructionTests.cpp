#include "NetworkFixtures.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
// Nets told apart by the lower edge of their first input: -(100 + index among all nets of the
// file), given the index of the first.
std::vector<NetRecord> nets (uint32_t count, uint32_t first = 0)
{
    std::vector<NetRecord> result;
    for (uint32_t e = 0; e < count; ++e)
    {
        result.push_back (plainNet (2, {2}, 2));
        result.back().lowerBound[0] = -static_cast<float> (100 + first + e);
    }
    return result;
}

float fileIndexMark (uint32_t index)
{
    return -static_cast<float> (100 + index);
}

// A pca file of one position whose 3 x 3 projection is the identity except one element.
std::unique_ptr<PCAModelFileF> identityPcaFile (double offDiagonal)
{
    SampleShape s;
    s.nv = 4;
    s.ni = 4;
    s.nx = 1;
    s.positions = 1;
    s.netsPerPosition = 1;
    auto file = samplePcaFile (s, 3);
    auto& position = file->models[0].positions[0];
    position.inputMask = {1, 0, 1, 1};
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t j = 0; j < 3; ++j)
            position.projection[k * 3 + j] = j == k ? 1.0 : 0.0;
    position.projection[0 * 3 + 2] = offDiagonal;
    return file;
}
} // namespace

TEST (NetworkConstruction, PositionClampingAndRegionSlices)
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

TEST (NetworkConstruction, StandardSelectionIsIdentityWithFullMasks)
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
    EXPECT_EQ (reinterpret_cast<uintptr_t> (m.regions[0].scaledInput.data()) % 16, 0u);
}

TEST (NetworkConstruction, ProjectionNeededThreshold)
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
TEST (NetworkConstruction, ReducedInputCopiesOrProjects)
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

TEST (NetworkConstruction, SelectionReusesBuffersOfUnchangedDimensions)
{
    SampleShape s;
    s.nv = 4;
    s.ni = 4;
    s.nx = 1;
    s.positions = 3;
    s.netsPerPosition = 1;
    auto file = samplePcaFile (s, 3);
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

TEST (NetworkConstruction, RateTableLookupAndFirstTimeRule)
{
    SampleShape s; // nv 2, ni 2, nx 3; records for 44100 and 88200
    TestBlock block (s.nv, s.ni, s.nx);
    BlockModelState m;
    auto image = sampleStandardFile (s)->writeToMemory();
    ASSERT_TRUE (loadModelImageIntoState (m, block, image.data(), image.size(), false).ok);

    // Record values are 1000 position + 100 record + element + 0.5 (element 0..6 over p, i, x).
    struct Case
    {
        int32_t rate;
        bool firstTime;
        int record; // -1: no record matches
    };
    const Case cases[] = {{88200, true, 1}, {44100, false, 0}, {96000, true, -1}, {96000, false, -1}};
    for (const Case& c : cases)
    {
        const double stale = -3.0;
        std::vector<double> opP (2, 0.0), opI (2, 0.0), opX (3, 0.0), p (2, stale), i (2, stale),
            x (3, stale);
        const RateTableTargets t{opP.data(), opI.data(), opX.data(), p.data(), i.data(), x.data()};
        applyRateTable (m, 1, c.rate, c.firstTime, t);
        auto value = [&] (int element)
        { return c.record < 0 ? 0.0 : 1000.0 + 100.0 * c.record + element + 0.5; };
        EXPECT_EQ (opP[1], value (1)) << c.rate;
        EXPECT_EQ (opI[0], value (2)) << c.rate;
        EXPECT_EQ (opX[2], value (6)) << c.rate;
        EXPECT_EQ (x[2], value (6)) << c.rate; // the running state always takes the operating copy
        EXPECT_EQ (p[1], c.firstTime ? value (1) : stale) << c.rate;
        EXPECT_EQ (i[1], c.firstTime ? value (3) : stale) << c.rate;
    }

    // Rate 0 does nothing at all.
    std::vector<double> opX (3, 5.0), x (3, 9.0);
    applyRateTable (m, 0, 0, true, {nullptr, nullptr, opX.data(), nullptr, nullptr, x.data()});
    EXPECT_EQ (x[0], 9.0);
}

TEST (NetworkConstruction, ReloadReplacesModelAndKeepsClampedPosition)
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

    // Released buffers silence the block; a new selection makes them anew and the regions
    // follow the new output mask.
    releaseProjectionBuffers (m);
    const double p[2] = {0.0, 0.0};
    double i[2] = {4.0, 4.0};
    regionStep (m, 0, p, i);
    EXPECT_EQ (i[0], 0.0);
    selectPosition (m, 0);
    EXPECT_EQ (m.regions[0].outputMask, m.outputMask.data());

    destroyRegionNetworks (m);
    releaseProjectionBuffers (m);
    EXPECT_FALSE (hasModel (m));
    EXPECT_EQ (m.selectedRegions, nullptr);
    EXPECT_EQ (m.projectionMatrix.data(), nullptr);
}
