#include "ReferenceValues.h"

#include "engine/VARKEL_preamp_block4.h"

#include <gtest/gtest.h>

namespace
{
using Block4 = VARKEL_preamp_block4_Automation<DempwolfTriode2<0>, 0>;

struct Block4Reference
{
    const char* a[3][3];
    const char* c[3];
    const char* d[3];
    const char* f00;
    const char* g[3];
    const char* k;
};

// Block 4's printed values cover A, column 0 of C, row 0 of D, F(0,0), G and K; the structure
// (equal columns of C, D row 1 = -row 0, F's sign pattern, equal K) is checked separately.
std::vector<PrintedEntry> entriesOf (const Block4Reference& r)
{
    std::vector<PrintedEntry> e;
    for (unsigned row = 0; row < 3; ++row)
    {
        addPrintedRow (e, "A", row, {r.a[row][0], r.a[row][1], r.a[row][2]});
        e.push_back ({"C", row, 0, r.c[row]});
        e.push_back ({"D", 0, row, r.d[row]});
        e.push_back ({"G", 0, row, r.g[row]});
    }
    e.push_back ({"F", 0, 0, r.f00});
    e.push_back ({"K", 0, 0, r.k});
    return e;
}

const Block4Reference constructionDefaults{
    {{"0.82787869", "0.0036304284", "-0.00083965152"},
     {"0.16993494", "0.99439494", "0.0025933452"},
     {"-0.039302837", "0.0025933452", "0.99301694"}},
    {"-0.17198935", "0.1200551", "-1.0147055"},
    {"-2074.4603", "30.935658", "-261.46813"},
    "46668.011",
    {"1039.2679", "474.07141", "-363.95731"},
    "25674.722",
};

const Block4Reference middlePosition{
    {{"0.81906232", "0.0034547376", "-0.00070170102"},
     {"0.16171112", "0.99135072", "0.0060408116"},
     {"-0.03284558", "0.0060408116", "0.98861235"}},
    {"-0.21585982", "0.16421103", "-1.1736588"},
    {"-2603.6066", "42.313705", "-302.42703"},
    "38734.62",
    {"9385.5998", "273.99294", "-349.48402"},
    "24258.777",
};

void expectStructure (const SSParamsVec& b)
{
    for (unsigned r = 0; r < 3; ++r)
    {
        EXPECT_EQ (b.B (r, 0), 0.0);
        EXPECT_EQ (b.B (r, 1), 0.0);
        EXPECT_NEAR (b.C (r, 0), b.C (r, 1), 1e-14 * std::abs (b.C (r, 0)));
        EXPECT_NEAR (b.D (1, r), -b.D (0, r), 1e-14 * std::abs (b.D (0, r)));
        EXPECT_TRUE (std::isfinite (b.G (0, r)) && std::isfinite (b.A (r, 0)) && std::isfinite (b.A (r, 1)) &&
                     std::isfinite (b.A (r, 2)));
    }
    EXPECT_EQ (b.E (0, 0), -1.0);
    EXPECT_EQ (b.E (1, 1), 1.0);
    EXPECT_EQ (b.E (0, 1), 0.0);
    EXPECT_EQ (b.E (1, 0), 0.0);
    EXPECT_EQ (b.H (0, 0), 0.0);
    EXPECT_EQ (b.H (0, 1), 0.0);
    const double f = b.F (0, 0);
    EXPECT_GT (f, 0.0);
    EXPECT_NEAR (b.F (0, 1), f, 1e-14 * f);
    EXPECT_NEAR (b.F (1, 0), -f, 1e-14 * f);
    EXPECT_NEAR (b.F (1, 1), -f, 1e-14 * f);
    EXPECT_NEAR (b.K (0, 0), b.K (0, 1), 1e-14 * std::abs (b.K (0, 0)));
}
} // namespace

TEST (Block4, ReproducesReferenceWithConstructionDefaults)
{
    Block4 block (44100.0, 345.0);
    expectPrintedEntries (block, entriesOf (constructionDefaults));
    expectStructure (block);
}

TEST (Block4, ReproducesReferenceAtMiddleTonePosition)
{
    Block4 block (44100.0, 345.0);
    block.setControlPosition (1687);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (1), 109999.5);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (2), 110000.5);
    EXPECT_NEAR (block.getAutomationValue (3), 195194.906407, 1e-6);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (4), 24999.5);
    EXPECT_DOUBLE_EQ (block.getAutomationValue (5), 25000.5);
    expectPrintedEntries (block, entriesOf (middlePosition));
    expectStructure (block);
}

TEST (Block4, ToneLawEndsAndOutOfRangePositions)
{
    struct Case
    {
        uint32_t position;
        double trebleUpper, trebleLower, bass, middleUpper, middleLower;
    };
    const Case cases[] = {
        {0, 219999.0, 1.0, 1.0, 49999.0, 1.0},        {3374, 0.0, 220000.0, 1000000.0, 0.0, 50000.0},
        {3375, 219999.0, 1.0, 1.0, 49999.0, 1.0},     {0xFFFFFFFFu, 219999.0, 1.0, 1.0, 49999.0, 1.0},
        {225 * 14, 0.0, 220000.0, 1.0, 49999.0, 1.0}, {15 * 14, 219999.0, 1.0, 1000000.0, 49999.0, 1.0},
        {14, 219999.0, 1.0, 1.0, 0.0, 50000.0},
    };
    Block4 zero (44100.0, 345.0);
    zero.setControlPosition (0);
    for (const auto& c : cases)
    {
        Block4 block (44100.0, 345.0);
        block.setControlPosition (c.position);
        EXPECT_EQ (block.getAutomationValue (1), c.trebleUpper) << c.position;
        EXPECT_EQ (block.getAutomationValue (2), c.trebleLower) << c.position;
        EXPECT_DOUBLE_EQ (block.getAutomationValue (3), c.bass) << c.position;
        EXPECT_EQ (block.getAutomationValue (4), c.middleUpper) << c.position;
        EXPECT_EQ (block.getAutomationValue (5), c.middleLower) << c.position;
        expectStructure (block);
        if (c.position >= 3375)
        {
            for (const char* name : {"A", "C", "D", "F", "G", "K"})
                EXPECT_EQ (matrixByName (block, name).values, matrixByName (zero, name).values) << name;
        }
    }
}

TEST (Block4, ShortedPotPartsStayCloseToTinyOnes)
{
    // 0 Ohm merges two nodes; a 1 milli-ohm part (small, yet not so small that its stamp swamps the
    // 1 MOhm ones in rounding) must give nearly the same network.
    Block4 shorted (44100.0, 345.0);
    shorted.setControlPosition (3374);
    VARKEL_preamp_block4 tiny (44100.0, 15, 7);
    tiny.trebleUpper = 1e-3;
    tiny.trebleLower = 220000.0;
    tiny.bass = 1000000.0;
    tiny.middleUpper = 1e-3;
    tiny.middleLower = 50000.0;
    tiny.updateMatrices();
    for (const char* name : {"A", "C", "D", "F", "G", "K"})
    {
        const auto& a = matrixByName (shorted, name);
        const auto& b = matrixByName (tiny, name);
        for (size_t k = 0; k < a.values.size(); ++k)
            EXPECT_NEAR (a.values[k], b.values[k], 1e-6 * (1.0 + std::abs (a.values[k]))) << name << k;
    }
}
