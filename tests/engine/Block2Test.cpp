#include "ReferenceValues.h"

#include "engine/VARKEL_preamp_block2.h"

#include <gtest/gtest.h>

namespace
{
using Block2 = VARKEL_preamp_block2_Automation<DempwolfTriode2<0>, 0>;

std::vector<PrintedEntry> block2ReferenceAtGain8()
{
    std::vector<PrintedEntry> e;
    addPrintedRow (e, "A", 0, {"0.71597158", "-0.090811642", "0", "0", "0"});
    addPrintedRow (e, "A", 1, {"-0.19321626", "0.87791076", "0", "0", "0"});
    addPrintedRow (e, "A", 2, {"0", "0", "0.99900942", "0", "0"});
    addPrintedRow (e, "A", 3, {"0", "0", "0", "1", "0"});
    addPrintedRow (e, "A", 4, {"0", "0", "0", "0", "0.96014374"});
    addPrintedRow (e, "B", 0, {"8.1231109e-6", "0", "0"});
    addPrintedRow (e, "B", 1, {"8.4206852e-6", "0", "0"});
    addPrintedRow (e, "B", 2, {"0", "1.9221244e-6", "0"});
    addPrintedRow (e, "B", 3, {"0", "0", "0"});
    addPrintedRow (e, "B", 4, {"0", "0", "0"});
    addPrintedRow (e, "C", 0, {"1.6251599", "0", "0", "0"});
    addPrintedRow (e, "C", 1, {"1.6846945", "0", "0", "0"});
    addPrintedRow (e, "C", 2, {"0", "-0.19221244", "0.90339849", "0"});
    addPrintedRow (e, "C", 3, {"0", "0", "0", "0"});
    addPrintedRow (e, "C", 4, {"0", "0", "1.9601437", "1.9601437"});
    addPrintedRow (e, "D", 0, {"19601.968", "9550.4223", "0", "0", "0"});
    addPrintedRow (e, "D", 1, {"0", "0", "49.529078", "0", "0"});
    addPrintedRow (e, "D", 2, {"0", "0", "232.78666", "0", "16.341068"});
    addPrintedRow (e, "D", 3, {"0", "0", "0", "0", "16.341068"});
    addPrintedRow (e, "E", 0, {"-0.85428628", "0", "0"});
    addPrintedRow (e, "E", 1, {"0", "0.90389378", "0"});
    addPrintedRow (e, "E", 2, {"0", "-0.45169924", "0"});
    addPrintedRow (e, "E", 3, {"0", "0", "-0.97560976"});
    addPrintedRow (e, "F", 0, {"33852.39", "4700", "0", "0"});
    addPrintedRow (e, "F", 1, {"-4700", "-95089.378", "-45169.924", "0"});
    addPrintedRow (e, "F", 2, {"0", "45169.924", "257717.7", "16.341068"});
    addPrintedRow (e, "F", 3, {"0", "0", "16.341068", "97577.317"});
    addPrintedRow (e, "G", 0, {"0", "0", "-465.57333", "0", "0"});
    addPrintedRow (e, "H", 0, {"0", "0.90339849", "0"});
    addPrintedRow (e, "K", 0, {"0", "-90339.849", "-45402.711", "0"});
    return e;
}
} // namespace

TEST (Block2, ReproducesReferenceMatricesAtGain8)
{
    Block2 block (44100.0, 334.0);
    block.setControlPosition (8);
    expectPrintedEntries (block, block2ReferenceAtGain8());
}

TEST (Block2, IsolatedCapacitorIsAnIdentityStateAtEveryRateAndPosition)
{
    Block2 block (44100.0, 334.0);
    for (double rate : {44100.0, 48000.0, 705600.0})
        for (uint32_t position : {0u, 5u, 16u})
        {
            block.setSampleRate (rate);
            block.setControlPosition (position);
            for (uint32_t j = 0; j < 5; ++j)
            {
                EXPECT_EQ (block.A (3, j), j == 3 ? 1.0 : 0.0);
                EXPECT_EQ (block.A (j, 3), j == 3 ? 1.0 : 0.0);
                EXPECT_EQ (block.D (j < 4 ? j : 0, 3), 0.0);
            }
            EXPECT_EQ (block.G (0, 3), 0.0);
        }
}

TEST (Block2, CouplingAndLoadEntriesDoNotDependOnGain)
{
    Block2 reference (44100.0, 334.0);
    reference.setControlPosition (0);
    Block2 block (44100.0, 334.0);
    const std::vector<std::pair<const char*, std::pair<unsigned, unsigned>>> fixed{
        {"A", {2, 2}}, {"B", {2, 1}}, {"C", {2, 1}}, {"C", {2, 2}}, {"D", {1, 2}},
        {"D", {2, 2}}, {"G", {0, 2}}, {"A", {4, 4}}, {"C", {4, 2}}, {"C", {4, 3}},
        {"D", {2, 4}}, {"D", {3, 4}}, {"E", {3, 2}}, {"F", {3, 3}},
    };
    for (uint32_t position : {1u, 8u, 16u})
    {
        block.setControlPosition (position);
        for (const auto& [name, rc] : fixed)
            EXPECT_NEAR (matrixByName (block, name) (rc.first, rc.second),
                         matrixByName (reference, name) (rc.first, rc.second),
                         1e-12 * std::abs (matrixByName (reference, name) (rc.first, rc.second)))
                << name << "(" << rc.first << "," << rc.second << ") at position " << position;
    }
}

TEST (Block2, TopGainShortsTheBrightCapacitor)
{
    Block2 block (44100.0, 334.0);
    block.setControlPosition (16);
    EXPECT_EQ (block.getAutomationValue (2), 0.0);
    EXPECT_EQ (block.A (1, 1), -1.0);
    for (uint32_t j = 0; j < 5; ++j)
        if (j != 1)
        {
            EXPECT_EQ (block.A (1, j), 0.0);
            EXPECT_EQ (block.A (j, 1), 0.0);
        }
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_EQ (block.B (1, c), 0.0);
    for (uint32_t c = 0; c < 4; ++c)
    {
        EXPECT_EQ (block.C (1, c), 0.0);
        EXPECT_EQ (block.D (c, 1), 0.0);
    }
    EXPECT_EQ (block.G (0, 1), 0.0);
}
