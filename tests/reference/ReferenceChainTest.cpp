#include "reference/ReferenceChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace
{
constexpr double pi = 3.14159265358979323846;
}

TEST (ReferenceChain, RestStatesChainUpAndThirdStagePlateSitsNear199V)
{
    ReferenceChain chain (44100.0, 8, 1687);
    EXPECT_EQ (chain.stats().restFailures, 0);
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ (chain.restState (k).u[0], chain.restState (k - 1).y) << "block " << k + 1;
    EXPECT_EQ (chain.restState (0).u[0], 0.0);
    EXPECT_NEAR (chain.restState (2).y, 199.1, 0.1);
    EXPECT_EQ (chain.restState (3).u[1], 345.0);
    EXPECT_EQ (chain.restState (1).u[2], 345.0);
    EXPECT_EQ (chain.restState (1).u[1], 334.0);
}

TEST (ReferenceChain, RestIsAFixedPointOfTheDiscreteModel)
{
    for (double rate : {44100.0, 352800.0})
    {
        ReferenceChain chain (rate, 16, 0);
        const double y0 = chain.restState (3).y;
        double y = 0.0;
        for (int n = 0; n < 200; ++n)
            y = chain.process (0.0);
        EXPECT_NEAR (y, y0, 1e-6);
        for (int k = 0; k < 4; ++k)
            for (size_t j = 0; j < chain.state (k).x.size(); ++j)
            {
                // Relative to the block's largest history current: tiny ones carry rounding.
                const auto& x = chain.restState (k).x;
                const double scale = std::abs (*std::max_element (
                    x.begin(), x.end(), [] (double a, double b) { return std::abs (a) < std::abs (b); }));
                EXPECT_NEAR (chain.state (k).x[j], x[j], 1e-8 * scale)
                    << "block " << k + 1 << " state " << j << " at " << rate;
            }
        EXPECT_EQ (chain.stats().failures, 0);
    }
}

TEST (ReferenceChain, RestVoltagesDoNotDependOnTheRateButHistoryCurrentsDo)
{
    ReferenceChain slow (44100.0, 8, 1687);
    ReferenceChain fast (705600.0, 8, 1687);
    // Microvolts: the steady-state solve at the high rate inverts I - A with A close to I.
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR (slow.restState (k).y, fast.restState (k).y, 1e-6);
    EXPECT_NE (slow.restState (0).x[0], fast.restState (0).x[0]);
    EXPECT_NE (slow.restState (0).p[0], fast.restState (0).p[0]);
}

TEST (ReferenceChain, SineThroughTheStageWithoutSolverFailures)
{
    struct Case
    {
        double rate;
        int gain;
        double seconds;
    };
    // The high rate runs a few milliseconds only to keep the test quick.
    const Case cases[] = {
        {44100.0, 0, 0.02},   {44100.0, 8, 0.02},   {44100.0, 16, 0.02},
        {705600.0, 0, 0.003}, {705600.0, 8, 0.003}, {705600.0, 16, 0.003},
    };
    for (const auto& c : cases)
    {
        ReferenceChain chain (c.rate, c.gain, 1687);
        const double rest = chain.restState (3).y;
        const int n = static_cast<int> (c.seconds * c.rate);
        double low = rest, high = rest;
        for (int s = 0; s < n; ++s)
        {
            const double y = chain.process (0.5 * std::sin (2.0 * pi * 1000.0 * s / c.rate));
            ASSERT_TRUE (std::isfinite (y));
            low = std::min (low, y);
            high = std::max (high, y);
        }
        const auto& stats = chain.stats();
        EXPECT_EQ (stats.failures, 0) << c.rate << " Hz, gain " << c.gain;
        EXPECT_EQ (stats.restFailures, 0);
        EXPECT_EQ (stats.samples, n);
        EXPECT_EQ (stats.solves, 4L * n);
        EXPECT_GT (high - low, 1.0) << "the stage amplifies: " << c.rate << " Hz, gain " << c.gain;
        EXPECT_LT (high - low, 400.0);
        RecordProperty ("rescues", static_cast<int> (stats.rescues));
    }
}

TEST (ReferenceChain, NonFiniteInputIsCountedAndProcessedAsSilence)
{
    ReferenceChain chain (44100.0, 8, 1687);
    const double y = chain.process (std::nan (""));
    EXPECT_TRUE (std::isfinite (y));
    EXPECT_EQ (chain.stats().invalidInputs, 1);
    EXPECT_NEAR (y, chain.restState (3).y, 1e-6);
}

TEST (ReferenceChain, CountsAndRescuesEveryOverflowBranchHit)
{
    // Measured: at gain 16 and the plain host rate the third stage's plate jumps by tens of volts
    // within one sample, enough for Newton started from the previous currents to land on the
    // triode's flat overflow branch. Each such solve must be detected and walked out of.
    ReferenceChain chain (44100.0, 16, 1687);
    for (int s = 0; s < 882; ++s)
        chain.process (0.5 * std::sin (2.0 * pi * 1000.0 * s / 44100.0));
    const auto& stats = chain.stats();
    EXPECT_GT (stats.overflowBranchHits, 0);
    EXPECT_GE (stats.rescues, stats.overflowBranchHits);
    EXPECT_EQ (stats.failures, 0);
    for (int k = 0; k < 4; ++k)
        EXPECT_LE (chain.solver (k).scaledResidual (chain.state (k).p.data(), chain.block (k).F,
                                                    chain.state (k).i.data()),
                   1.0);
}
