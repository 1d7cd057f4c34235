#include "ReferenceValues.h"

#include "engine/VARKEL_preamp_block1.h"

#include <gtest/gtest.h>

namespace
{
using Block1 = VARKEL_preamp_block1_Automation<DempwolfTriode2<0>, 0>;

std::vector<PrintedEntry> block1ReferenceAtGain8()
{
    std::vector<PrintedEntry> e;
    addPrintedRow (e, "A", 0, {"0.98228926", "0", "0", "0", "0"});
    addPrintedRow (e, "A", 1, {"0", "0.99692054", "-0.13710781", "-0.066801331", "0"});
    addPrintedRow (e, "A", 2, {"0", "-0.0029291215", "0.77194566", "-0.063540085", "0"});
    addPrintedRow (e, "A", 3, {"0", "-0.0030364241", "-0.13519167", "0.90618136", "0"});
    addPrintedRow (e, "A", 4, {"0", "0", "0", "0", "0.32868064"});
    addPrintedRow (e, "B", 0, {"0", "0"});
    addPrintedRow (e, "B", 1, {"0", "5.9753861e-6"});
    addPrintedRow (e, "B", 2, {"0", "5.6836673e-6"});
    addPrintedRow (e, "B", 3, {"0", "5.8918774e-6"});
    addPrintedRow (e, "B", 4, {"0", "0"});
    addPrintedRow (e, "C", 0, {"1.9822893", "1.9822893", "0", "0"});
    addPrintedRow (e, "C", 1, {"0", "-0.59753861", "1.1954728", "0"});
    addPrintedRow (e, "C", 2, {"0", "-0.56836673", "1.1371097", "0"});
    addPrintedRow (e, "C", 3, {"0", "-0.58918774", "1.1787655", "0"});
    addPrintedRow (e, "C", 4, {"-1.3286806", "0", "0", "0"});
    addPrintedRow (e, "D", 0, {"-23.909505", "0", "0", "0", "22824.858"});
    addPrintedRow (e, "D", 1, {"-23.909505", "153.97305", "6855.3907", "3340.0665", "0"});
    addPrintedRow (e, "D", 2, {"0", "308.04803", "13715.32", "6682.3442", "0"});
    addPrintedRow (e, "D", 3, {"0", "0", "0", "0", "0"});
    addPrintedRow (e, "E", 0, {"1", "0"});
    addPrintedRow (e, "E", 1, {"0", "0.7012307"});
    addPrintedRow (e, "E", 2, {"0", "-0.59773639"});
    addPrintedRow (e, "E", 3, {"0", "-0.97560976"});
    addPrintedRow (e, "F", 0, {"-22848.768", "-23.909505", "0", "0"});
    addPrintedRow (e, "F", 1, {"-23.909505", "-70146.979", "-59773.639", "0"});
    addPrintedRow (e, "F", 2, {"0", "59773.639", "85179.351", "4700"});
    addPrintedRow (e, "F", 3, {"0", "0", "4700", "102260.98"});
    addPrintedRow (e, "G", 0, {"0", "-360.5911", "6890.7205", "3357.2798", "0"});
    addPrintedRow (e, "H", 0, {"0", "0.69969097"});
    addPrintedRow (e, "K", 0, {"0", "-69969.097", "-60081.687", "0"});
    return e;
}
} // namespace

TEST (Block1, ReproducesReferenceMatricesAtGain8)
{
    Block1 block (44100.0, 3.0);
    block.setControlPosition (8);
    EXPECT_NEAR (block.getAutomationValue (1), 799932.798684, 1e-6);
    EXPECT_NEAR (block.getAutomationValue (2), 200066.201316, 1e-6);
    expectPrintedEntries (block, block1ReferenceAtGain8());
}

TEST (Block1, TopGainShortsTheBrightCapacitor)
{
    Block1 block (44100.0, 3.0);
    block.setControlPosition (16);
    EXPECT_EQ (block.getAutomationValue (1), 0.0);
    EXPECT_EQ (block.getAutomationValue (2), 999999.0);
    EXPECT_EQ (block.A (3, 3), -1.0);
    for (uint32_t j = 0; j < 5; ++j)
        if (j != 3)
        {
            EXPECT_EQ (block.A (3, j), 0.0);
            EXPECT_EQ (block.A (j, 3), 0.0);
        }
    for (uint32_t c = 0; c < 2; ++c)
        EXPECT_EQ (block.B (3, c), 0.0);
    for (uint32_t c = 0; c < 4; ++c)
    {
        EXPECT_EQ (block.C (3, c), 0.0);
        EXPECT_EQ (block.D (c, 3), 0.0);
    }
    EXPECT_EQ (block.G (0, 3), 0.0);
    for (const auto* m : {&block.A, &block.B, &block.C, &block.D, &block.E, &block.F, &block.G, &block.K})
        for (double v : m->values)
            EXPECT_TRUE (std::isfinite (v));
}

TEST (Block1, GainLawEndsAndFixedEntriesAcrossPositionsAndRates)
{
    Block1 block (44100.0, 3.0);
    for (double rate : {44100.0, 96000.0, 705600.0})
    {
        block.setSampleRate (rate);
        for (uint32_t position : {0u, 8u, 16u, 17u, 1000u})
        {
            block.setControlPosition (position);
            EXPECT_EQ (block.E (0, 0), 1.0);
            EXPECT_NEAR (block.E (3, 1), -0.97560976, 5e-9);
            EXPECT_GE (block.getAutomationValue (1), 0.0) << "upper part never negative";
            for (const auto* m : {&block.A, &block.B, &block.C, &block.D, &block.F, &block.G, &block.K})
                for (double v : m->values)
                    EXPECT_TRUE (std::isfinite (v));
        }
    }
    block.setControlPosition (0);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (2), 6054.0);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (1), 993945.0);
    block.setControlPosition (40);
    EXPECT_EQ (block.controlPosition, 16) << "past the top acts as the top";
    EXPECT_EQ (block.getAutomationValue (1), 0.0);
}
