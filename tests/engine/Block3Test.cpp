#include "ReferenceValues.h"

#include "engine/VARKEL_preamp_block3_simple.h"

#include <gtest/gtest.h>

namespace
{
using Block3 = VARKEL_preamp_block3_simple_Automation<DempwolfTriode2<0>, 0>;

// The stage's matrices written out by hand from its circuit; the nodal solver must agree.
struct ClosedForm
{
    std::vector<std::pair<std::string, double>> entries; // "A00" -> value

    explicit ClosedForm (const VARKEL_preamp_block3_simple& b)
    {
        const double R1 = b.R1, R2 = b.R2, Rk = b.Rk, R4 = b.R4, R5 = b.R5, Rp = b.Rp;
        const double e = 1.0 / (2.0 * b.sampleRate * b.C1);
        const double d = 1.0 / (2.0 * b.sampleRate * b.Ck);
        const double Q = (R1 + R2) * e + R1 * R2;
        const double Zk = Rk * d / (Rk + d);
        const double Z45 = R4 * R5 / (R4 + R5);
        entries = {
            {"A00", -((R1 + R2) * e - R1 * R2) / Q},
            {"A11", -(d - Rk) / (Rk + d)},
            {"A01", 0.0},
            {"A10", 0.0},
            {"B00", 2.0 * R1 / Q},
            {"B01", 0.0},
            {"B10", 0.0},
            {"B11", 0.0},
            {"C00", 2.0 * R1 * R2 / Q},
            {"C10", 2.0 * Rk / (Rk + d)},
            {"C11", 2.0 * Rk / (Rk + d)},
            {"C01", 0.0},
            {"C02", 0.0},
            {"C03", 0.0},
            {"C12", 0.0},
            {"C13", 0.0},
            {"D00", R1 * R2 * e / Q},
            {"D01", Zk},
            {"D11", -Zk},
            {"D10", 0.0},
            {"D20", 0.0},
            {"D21", 0.0},
            {"D30", 0.0},
            {"D31", 0.0},
            {"E00", -(R2 * e + R1 * R2) / Q},
            {"E11", 1.0},
            {"E21", 1.0},
            {"E31", 1.0},
            {"E01", 0.0},
            {"E10", 0.0},
            {"E20", 0.0},
            {"E30", 0.0},
            {"F00", R1 * R2 * e / Q + Zk},
            {"F01", Zk},
            {"F10", -Zk},
            {"F11", -((Rk + Rp) * d + Rk * Rp) / (Rk + d)},
            {"F12", -Rp},
            {"F21", -Rp},
            {"F22", -((R4 + R5) * Rp + R4 * R5) / (R4 + R5)},
            {"F23", -Z45},
            {"F32", -Z45},
            {"F33", -Z45},
            {"F02", 0.0},
            {"F03", 0.0},
            {"F13", 0.0},
            {"F20", 0.0},
            {"F30", 0.0},
            {"F31", 0.0},
            {"G00", 0.0},
            {"G01", 0.0},
            {"H00", 0.0},
            {"H01", 1.0},
            {"K00", 0.0},
            {"K01", -Rp},
            {"K02", -Rp},
            {"K03", 0.0},
        };
    }
};
} // namespace

TEST (Block3, NodalSolutionMatchesClosedFormsAtSeveralRates)
{
    Block3 block (44100.0, 345.0);
    for (double rate : {22050.0, 44100.0, 96000.0, 705600.0})
    {
        block.setSampleRate (rate);
        for (const auto& [name, expected] : ClosedForm (block).entries)
        {
            const double actual = matrixByName (block, name) (static_cast<unsigned> (name[1] - '0'),
                                                              static_cast<unsigned> (name[2] - '0'));
            if (expected == 0.0 || expected == 1.0)
                EXPECT_EQ (actual, expected) << name << " at " << rate;
            else
                EXPECT_NEAR (actual, expected, 1e-12 * std::abs (expected)) << name << " at " << rate;
        }
    }
}

TEST (Block3, ReproducesReferenceValues)
{
    Block3 block (44100.0, 345.0);
    expectPrintedEntries (block, {
                                     {"A", 0, 0, "0.81380956"},
                                     {"A", 1, 1, "0.96014374"},
                                     {"B", 0, 0, "3.8591693e-6"},
                                     {"C", 0, 0, "1.8138096"},
                                     {"C", 1, 0, "1.9601437"},
                                     {"C", 1, 1, "1.9601437"},
                                     {"D", 0, 0, "21877.377"},
                                     {"D", 0, 1, "16.341068"},
                                     {"E", 0, 0, "-0.95345239"},
                                     {"F", 0, 0, "21893.718"},
                                     {"F", 1, 1, "-100016.34"},
                                     {"F", 2, 2, "-195238.1"},
                                     {"F", 3, 3, "-95238.095"},
                                 });
}

TEST (Block3, PositionZeroRecomputesIdenticalMatrices)
{
    Block3 block (48000.0, 345.0);
    const auto before = block.A.values;
    const auto beforeF = block.F.values;
    block.setControlPosition (0);
    EXPECT_EQ (block.A.values, before);
    EXPECT_EQ (block.F.values, beforeF);
}
