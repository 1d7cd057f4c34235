// The nodal solver on circuits small enough to solve by hand: every matrix entry it writes is
// checked against the circuit's own equations, so a wrong stamp, sign, companion model or merge
// of 0 Ohm parts shows as a wrong coefficient rather than only as a changed block response.
#include "engine/CircuitNetlist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
// The solver writes into any state-space model of the right counts; this one has no circuit of
// its own.
class NetlistModel : public SSParamsVec
{
public:
    NetlistModel (uint32_t nx, uint32_t nu, uint32_t ni) : SSParamsVec (nx, nu, ni, ni) {}
    void setSampleRate (double) override {}

    std::vector<StateSpaceMatrix*> matrices() { return {&A, &B, &C, &D, &E, &F, &G, &H, &K}; }
};

constexpr double tolerance = 1e-12;

// Node 1 is the input u0, node 2 the output; R1 from input to output, R2 from output to ground,
// and one port whose current leaves the network at the output:
//   V2 = u0 R2 / (R1 + R2) - i (R1 || R2).
TEST (CircuitNetlist, ResistiveDividerGivesItsGainAndSourceResistance)
{
    struct Case
    {
        double r1, r2;
    };
    const Case cases[] = {{1000.0, 1000.0}, {100e3, 1e3}, {1.0, 1e6}, {47e3, 220e3}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE (::testing::Message() << "R1 " << c.r1 << " R2 " << c.r2);
        const CircuitElement elements[] = {resistor (1, 2, c.r1), resistor (2, 0, c.r2)};
        const int inputs[] = {1};
        const CircuitPort ports[] = {{2, 0, 2, 0}};
        NetlistModel model (0, 1, 1);
        solveNetlistMatrices ({3, elements, inputs, ports, 2}, 48000.0, model);

        const double gain = c.r2 / (c.r1 + c.r2);
        const double parallel = c.r1 * c.r2 / (c.r1 + c.r2);
        EXPECT_NEAR (model.H (0, 0), gain, tolerance * gain);
        EXPECT_NEAR (model.K (0, 0), -parallel, tolerance * parallel);
        // The port sees the same node against ground.
        EXPECT_NEAR (model.E (0, 0), gain, tolerance * gain);
        EXPECT_NEAR (model.F (0, 0), -parallel, tolerance * parallel);
    }
}

// A series R from the input and a C to ground, state 0 the capacitor's history current. With the
// trapezoidal companion (conductance 2 fs C beside the history source x):
//   V = (u / R + x - i) / (1 / R + 2 fs C),   x' = 4 fs C V - x.
TEST (CircuitNetlist, LowPassFollowsTheTrapezoidalCompanionModel)
{
    struct Case
    {
        double r, c, fs;
    };
    const Case cases[] = {{10e3, 10e-9, 44100.0}, {1e3, 1e-6, 48000.0}, {220e3, 470e-12, 192000.0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE (::testing::Message() << "R " << c.r << " C " << c.c << " fs " << c.fs);
        const CircuitElement elements[] = {resistor (1, 2, c.r), capacitor (2, 0, c.c, 0)};
        const int inputs[] = {1};
        const CircuitPort ports[] = {{2, 0, 2, 0}};
        NetlistModel model (1, 1, 1);
        solveNetlistMatrices ({3, elements, inputs, ports, 2}, c.fs, model);

        const double g = 1.0 / c.r;
        const double gc = 2.0 * c.fs * c.c;
        const double onX = 1.0 / (g + gc), onU = g / (g + gc), onI = -1.0 / (g + gc);
        EXPECT_NEAR (model.G (0, 0), onX, tolerance * onX);
        EXPECT_NEAR (model.H (0, 0), onU, tolerance * onU);
        EXPECT_NEAR (model.K (0, 0), onI, tolerance * -onI);
        EXPECT_NEAR (model.A (0, 0), 2.0 * gc * onX - 1.0, tolerance);
        EXPECT_NEAR (model.B (0, 0), 2.0 * gc * onU, tolerance * 2.0 * gc);
        EXPECT_NEAR (model.C (0, 0), 2.0 * gc * onI, tolerance * 2.0 * gc * -onI);

        // Run with the matrices: a constant input settles at unity gain, as the circuit does.
        double x = 0.0, y = 0.0;
        for (int n = 0; n < 200000; ++n)
        {
            const double u = 1.0;
            y = model.G (0, 0) * x + model.H (0, 0) * u;
            x = model.A (0, 0) * x + model.B (0, 0) * u;
        }
        EXPECT_NEAR (y, 1.0, 1e-9);
    }
}

// A 0 Ohm part merges its nodes: a potentiometer turned to an end stays finite and exact.
TEST (CircuitNetlist, ZeroOhmPartsMergeNodesExactly)
{
    struct Case
    {
        const char* what;
        double r1, r2;
        double gain;   // V2 per volt of u0
        double source; // V2 per ampere of port current
    };
    const Case cases[] = {
        {"the output shorted to the input", 0.0, 1000.0, 1.0, 0.0},
        {"the output shorted to ground", 1000.0, 0.0, 0.0, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE (c.what);
        const CircuitElement elements[] = {resistor (1, 2, c.r1), resistor (2, 0, c.r2)};
        const int inputs[] = {1};
        const CircuitPort ports[] = {{2, 0, 2, 0}};
        NetlistModel model (0, 1, 1);
        solveNetlistMatrices ({3, elements, inputs, ports, 2}, 48000.0, model);
        EXPECT_EQ (model.H (0, 0), c.gain);
        EXPECT_EQ (model.K (0, 0), c.source);
        EXPECT_EQ (model.E (0, 0), c.gain);
        EXPECT_EQ (model.F (0, 0), c.source);
        for (StateSpaceMatrix* m : model.matrices())
            for (const double v : m->values)
                EXPECT_TRUE (std::isfinite (v));
    }
}

// A capacitor whose terminals are merged holds no voltage: its history current only decays
// (x' = -x) and nothing drives it; a port across merged nodes reads exactly 0 V.
TEST (CircuitNetlist, ShortedCapacitorAndPortCarryNothing)
{
    const CircuitElement elements[] = {resistor (1, 2, 1000.0), resistor (2, 3, 0.0),
                                       capacitor (2, 3, 1e-6, 0), resistor (3, 0, 2000.0)};
    const int inputs[] = {1};
    const CircuitPort ports[] = {{3, 2, 3, 2}};
    NetlistModel model (1, 1, 1);
    solveNetlistMatrices ({4, elements, inputs, ports, 3}, 48000.0, model);

    struct Entry
    {
        const char* name;
        const StateSpaceMatrix& matrix;
        double value;
    };
    const Entry exact[] = {{"A", model.A, -1.0}, {"B", model.B, 0.0}, {"C", model.C, 0.0},
                           {"D", model.D, 0.0},  {"E", model.E, 0.0}, {"F", model.F, 0.0},
                           {"G", model.G, 0.0},  {"K", model.K, 0.0}};
    for (const Entry& e : exact)
        EXPECT_EQ (e.matrix (0, 0), e.value) << e.name;
    // The output is the divider the capacitor no longer takes part in.
    EXPECT_NEAR (model.H (0, 0), 2000.0 / 3000.0, tolerance);
}

// Inputs and ports that do not match the model's counts leave every matrix as it was, so a
// netlist written for another block never yields a half-written model.
TEST (CircuitNetlist, NetlistOfOtherCountsLeavesTheModelUntouched)
{
    const CircuitElement elements[] = {resistor (1, 2, 1000.0), resistor (2, 0, 1000.0)};
    const int oneInput[] = {1};
    const int twoInputs[] = {1, 2};
    const CircuitPort onePort[] = {{2, 0, 2, 0}};
    const CircuitPort twoPorts[] = {{2, 0, 2, 0}, {1, 0, 1, 0}};
    struct Case
    {
        const char* what;
        CircuitNetlist netlist;
        uint32_t nu, ni;
    };
    const Case cases[] = {
        {"one port for a block of two", {3, elements, oneInput, onePort, 2}, 1, 2},
        {"two ports for a block of one", {3, elements, oneInput, twoPorts, 2}, 1, 1},
        {"two inputs for a block of one", {3, elements, twoInputs, onePort, 2}, 1, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE (c.what);
        NetlistModel model (0, c.nu, c.ni);
        for (StateSpaceMatrix* m : model.matrices())
            m->fill (7.0);
        solveNetlistMatrices (c.netlist, 48000.0, model);
        for (StateSpaceMatrix* m : model.matrices())
            for (const double v : m->values)
                EXPECT_EQ (v, 7.0);
    }
}
} // namespace
