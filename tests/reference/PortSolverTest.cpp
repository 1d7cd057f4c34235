#include "reference/ReferenceChain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace
{
// Block 4's two port currents both enter the network at the cathode, so F = R [1 1; -1 -1] and
// the port equation reduces to one unknown s = i0 + i1 with g(s) = s - Ig - Ik increasing in s.
// Where the triode's exp guard would fire the physical current is huge, so g counts as -inf.
double bruteForceBlock4 (const SSParamsVecAutomation& block, const ReferenceTriode& t, const double* p,
                         double* i)
{
    const double R = block.F (0, 0);
    auto currents = [&] (double s, double& ig, double& ik)
    {
        const double vgk = -(p[0] + R * s);
        const double vpk = p[1] - R * s;
        if (t.Cg * vgk > 709.0 || t.C * (vpk * t.invMu + vgk) > 709.0)
            return false;
        ig = t.gridCurrent (vgk, vpk);
        ik = t.cathodeCurrent (vgk, vpk);
        return true;
    };
    auto g = [&] (double s)
    {
        double ig = 0, ik = 0;
        return currents (s, ig, ik) ? s - ig - ik : -std::numeric_limits<double>::infinity();
    };

    // Scan a grid for the sign change, then bisect it down to rounding.
    const int points = 200000;
    const double sMax = 0.05;
    double lo = 0.0, hi = sMax;
    for (int k = 0; k < points; ++k)
    {
        const double a = sMax * k / points, b = sMax * (k + 1) / points;
        if (g (a) <= 0.0 && g (b) > 0.0)
        {
            lo = a;
            hi = b;
            break;
        }
    }
    for (int k = 0; k < 200 && hi - lo > 0.0; ++k)
    {
        const double mid = 0.5 * (lo + hi);
        if (mid == lo || mid == hi)
            break;
        (g (mid) <= 0.0 ? lo : hi) = mid;
    }
    const double s = 0.5 * (lo + hi);
    double ig = 0, ik = 0;
    currents (s, ig, ik);
    i[0] = ig;
    i[1] = ik;
    return s;
}

// p of block 4 for its state x and a grid (input) voltage.
void block4P (const SSParamsVecAutomation& b, const std::vector<double>& x, double grid, double* p)
{
    const double u[2] = {grid, b.getAutomationValue (0)};
    b.computeNonlinearInputs (u, x.data(), p);
}
} // namespace

TEST (PortSolver, SolutionsSatisfyTheirEquationForEveryBlock)
{
    std::mt19937 rng (7);
    for (double rate : {44100.0, 705600.0})
    {
        ReferenceChain chain (rate, 8, 1687);
        for (int k = 0; k < 4; ++k)
        {
            const auto& rest = chain.restState (k);
            const auto& b = chain.block (k);
            std::normal_distribution<double> jitter (0.0, 3.0);
            for (int trial = 0; trial < 50; ++trial)
            {
                std::vector<double> p = rest.p, i = rest.i;
                for (auto& e : p)
                    e += jitter (rng);
                const auto result = chain.solver (k).solveFrom (rest.p.data(), p.data(), b.F, i.data());
                ASSERT_TRUE (result.valid()) << "block " << k + 1 << " trial " << trial;
                EXPECT_LE (chain.solver (k).scaledResidual (p.data(), b.F, i.data()), 1.0);
            }
        }
    }
}

TEST (PortSolver, AgreesWithABruteForceSolutionOfBlock4)
{
    ReferenceChain chain (44100.0, 8, 1687);
    const auto& b = chain.block (3);
    const auto& rest = chain.restState (3);
    const auto& t = dynamic_cast<const ReferenceTriode&> (*b.triode);
    for (double grid : {100.0, 150.0, 190.0, 199.0, 205.0, 230.0})
    {
        double p[2], i[2] = {rest.i[0], rest.i[1]}, expected[2];
        block4P (b, rest.x, grid, p);
        const auto result = chain.solver (3).solveFrom (rest.p.data(), p, b.F, i);
        ASSERT_TRUE (result.valid()) << grid;
        bruteForceBlock4 (b, t, p, expected);
        EXPECT_NEAR (i[0], expected[0], 1e-8 * expected[0]) << grid;
        EXPECT_NEAR (i[1], expected[1], 1e-8 * expected[1] + 1e-15) << grid;
    }
}

TEST (PortSolver, RecoversFromTheOverflowBranchByWalkingP)
{
    // The cathode follower sits cut off, then its grid jumps within one sample so far that, with
    // the cut-off currents as the starting guess, the grid drive overflows the triode's exp:
    // there its currents are flat floor values that fake a solution.
    ReferenceChain chain (44100.0, 16, 1687);
    const auto& b = chain.block (3);
    const auto& rest = chain.restState (3);
    const auto& solver = chain.solver (3);
    const auto& t = dynamic_cast<const ReferenceTriode&> (*b.triode);

    // With zero currents the grid-cathode voltage is grid - (D x)_0; choose it -20 V, then +260 V,
    // far enough for both currents to hit the guard.
    double pZero[2];
    block4P (b, rest.x, 0.0, pZero);
    const double cathodeAtZeroCurrent = pZero[0];
    double pLow[2], pHigh[2], i[2] = {rest.i[0], rest.i[1]};
    block4P (b, rest.x, cathodeAtZeroCurrent - 20.0, pLow);
    block4P (b, rest.x, cathodeAtZeroCurrent + 260.0, pHigh);
    ASSERT_TRUE (solver.solveFrom (rest.p.data(), pLow, b.F, i).valid());
    EXPECT_LT (i[1], 1e-9) << "cut off";

    double plain[2] = {i[0], i[1]};
    const auto trapped = solver.solve (pHigh, b.F, plain);
    EXPECT_TRUE (trapped.converged);
    EXPECT_TRUE (trapped.onOverflowBranch) << "plain Newton settles on the false branch";
    EXPECT_EQ (plain[0], t.Ig0);
    EXPECT_EQ (plain[1], 0.0);

    const auto rescued = solver.solveFrom (pLow, pHigh, b.F, i);
    ASSERT_TRUE (rescued.valid());
    EXPECT_TRUE (rescued.firstAttemptOnOverflowBranch);
    EXPECT_GT (rescued.subSteps, 1);
    double expected[2];
    bruteForceBlock4 (b, t, pHigh, expected);
    EXPECT_NEAR (i[0], expected[0], 1e-8 * expected[0]);
    EXPECT_NEAR (i[1], expected[1], 1e-8 * expected[1]);
    EXPECT_GT (i[0], 1e-4) << "the grid conducts hard";
}

TEST (PortSolver, NonFiniteInputsLeaveTheWarmStartUntouched)
{
    ReferenceChain chain (44100.0, 8, 0);
    const auto& rest = chain.restState (0);
    std::vector<double> p = rest.p, i = rest.i;
    p[1] = std::numeric_limits<double>::quiet_NaN();
    const auto result = chain.solver (0).solve (p.data(), chain.block (0).F, i.data());
    EXPECT_FALSE (result.valid());
    EXPECT_EQ (i, rest.i);
}
