#include "engine/DempwolfTriode2.h"

#include <gtest/gtest.h>

#include <cmath>

using Dempwolf = DempwolfTriode2<0>;

TEST (DempwolfTriode, ZeroBiasMatchesTheEquations)
{
    Dempwolf t;
    EXPECT_DOUBLE_EQ (t.gridCurrent (0.0, 0.0),
                      0.0006177 * std::pow (std::log (2.0) / 9.901, 1.314) + 8.025e-8);
    EXPECT_DOUBLE_EQ (t.cathodeCurrent (0.0, 0.0), 0.002242 * std::pow (std::log (2.0) / 3.4, 1.26));
}

TEST (DempwolfTriode, GuardsGiveTheFloorValuesExactly)
{
    Dempwolf t;
    EXPECT_EQ (t.gridCurrent (-50.0, 250.0), t.Ig0);
    EXPECT_EQ (t.cathodeCurrent (-50.0, 250.0), 0.0);
    EXPECT_EQ (t.gridCurrent (100.0, 0.0), t.Ig0) << "exp overflows: falls back to Ig0";
    EXPECT_EQ (t.cathodeCurrent (300.0, 0.0), 0.0) << "exp overflows: falls back to 0";
    EXPECT_EQ (t.cathodeCurrentDerivVgk (300.0, 0.0), 0.0) << "the fallback branch is flat";
    // Just below the overflow the currents are large, not floor values.
    EXPECT_GT (t.gridCurrent (71.0, 0.0), 1e-2);
    EXPECT_GT (t.cathodeCurrent (200.0, 0.0), 1.0);
}

TEST (DempwolfTriode, DerivativesAreCentralDifferencesOfTheCurrents)
{
    Dempwolf t;
    for (double vgk : {-3.0, -1.0, 0.0, 0.5})
        for (double vpk : {50.0, 150.0, 250.0})
        {
            EXPECT_EQ (t.gridCurrentDerivVpk (vgk, vpk), 0.0);
            // Against a much finer difference: the 0.5 mV half-step is accurate to O(h^2).
            const double h = 1e-6;
            const double dIkdVgk =
                (t.cathodeCurrent (vgk + h, vpk) - t.cathodeCurrent (vgk - h, vpk)) / (2 * h);
            const double dIkdVpk =
                (t.cathodeCurrent (vgk, vpk + h) - t.cathodeCurrent (vgk, vpk - h)) / (2 * h);
            const double dIgdVgk = (t.gridCurrent (vgk + h, vpk) - t.gridCurrent (vgk - h, vpk)) / (2 * h);
            EXPECT_NEAR (t.cathodeCurrentDerivVgk (vgk, vpk), dIkdVgk, 1e-5 * std::abs (dIkdVgk) + 1e-15);
            EXPECT_NEAR (t.cathodeCurrentDerivVpk (vgk, vpk), dIkdVpk, 1e-5 * std::abs (dIkdVpk) + 1e-15);
            EXPECT_NEAR (t.gridCurrentDerivVgk (vgk, vpk), dIgdVgk, 1e-5 * std::abs (dIgdVgk) + 1e-15);
            EXPECT_NEAR (t.cathodeCurrentDerivVpk (vgk, vpk), t.cathodeCurrentDerivVgk (vgk, vpk) / t.mu,
                         1e-5 * t.cathodeCurrentDerivVgk (vgk, vpk) + 1e-15);
        }
}

TEST (DempwolfTriode, DerivativesFollowAnOverriddenCurrent)
{
    struct Square : Dempwolf
    {
        double gridCurrent (double vgk, double) const override { return vgk * vgk; }
        double cathodeCurrent (double vgk, double vpk) const override { return vgk * vpk; }
    } t;
    EXPECT_NEAR (t.gridCurrentDerivVgk (3.0, 0.0), 6.0, 1e-9);
    EXPECT_NEAR (t.cathodeCurrentDerivVgk (3.0, 5.0), 5.0, 1e-9);
    EXPECT_NEAR (t.cathodeCurrentDerivVpk (3.0, 5.0), 3.0, 1e-9);
}

TEST (DempwolfTriode, ParameterSets)
{
    struct Expected
    {
        int index;
        double G, mu, gamma, C, Gg, xi, Cg, Ig0;
    };
    const Expected sets[] = {
        {0, 0.002242, 103.2, 1.26, 3.4, 0.0006177, 1.314, 9.901, 8.025e-8},
        {1, 0.002173, 100.2, 1.28, 3.19, 0.0005911, 1.358, 11.76, 4.527e-8},
        {2, 0.001371, 86.9, 1.349, 4.56, 0.0003263, 1.156, 11.99, 3.917e-8},
        {7, 0.001371, 86.9, 1.349, 4.56, 0.0003263, 1.156, 11.99, 3.917e-8},
        {-1, 0.001371, 86.9, 1.349, 4.56, 0.0003263, 1.156, 11.99, 3.917e-8},
    };
    Dempwolf fresh;
    EXPECT_EQ (fresh.invC, 1.0 / 3.4);
    EXPECT_EQ (fresh.invMu, 1.0 / 103.2);
    EXPECT_EQ (fresh.invCg, 1.0 / 9.901);
    for (const auto& s : sets)
    {
        Dempwolf t;
        t.selectParameterSet (1); // so that set 0 is a real reload
        t.selectParameterSet (s.index);
        EXPECT_EQ (t.G, s.G) << s.index;
        EXPECT_EQ (t.mu, s.mu);
        EXPECT_EQ (t.gamma, s.gamma);
        EXPECT_EQ (t.C, s.C);
        EXPECT_EQ (t.Gg, s.Gg);
        EXPECT_EQ (t.xi, s.xi);
        EXPECT_EQ (t.Cg, s.Cg);
        EXPECT_EQ (t.Ig0, s.Ig0);
        EXPECT_EQ (t.invC, 1.0 / s.C);
        EXPECT_EQ (t.invMu, 1.0 / s.mu);
        EXPECT_EQ (t.invCg, 1.0 / s.Cg);
    }
}
