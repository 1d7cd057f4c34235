#include "AccuracySignals.h"
#include "AccuracyTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

TEST (AccuracyToneGrid, CoversTheCornersAndTheMiddle)
{
    struct Case
    {
        int levels;
        size_t positions;
    };
    for (const auto& c : {Case{1, 1}, Case{2, 9}, Case{4, 65}, Case{15, 3375}})
    {
        SCOPED_TRACE (c.levels);
        const auto grid = toneGrid (c.levels);
        const std::set<int> distinct (grid.begin(), grid.end());
        EXPECT_EQ (distinct.size(), c.positions);
        EXPECT_TRUE (distinct.count (toneIndex (7, 7, 7)));
        if (c.levels >= 2)
        {
            for (int t : {0, 14})
                for (int m : {0, 14})
                    for (int b : {0, 14})
                    {
                        EXPECT_TRUE (distinct.count (toneIndex (t, m, b))) << t << "," << m << "," << b;
                    }
        }
        for (int index : grid)
        {
            int t = -1, m = -1, b = -1;
            toneControls (index, t, m, b);
            EXPECT_EQ (toneIndex (t, m, b), index);
            EXPECT_TRUE (t >= 0 && t <= 14 && m >= 0 && m <= 14 && b >= 0 && b <= 14);
        }
    }
    // The processor's tone index: treble 225, bass 15, middle 1.
    EXPECT_EQ (toneIndex (14, 0, 0), 3150);
    EXPECT_EQ (toneIndex (0, 0, 14), 210);
    EXPECT_EQ (toneIndex (0, 14, 0), 14);
}

TEST (AccuracySignals, AreRepeatableFullBandAndAtTheirLevels)
{
    const double rate = 48000.0;
    struct Expect
    {
        const char* name;
        double peakLow, peakHigh;
        bool fullBand;
    };
    const Expect expected[] = {{"pluck", 0.6, 0.95, true},  {"pluck-hot", 0.6, 0.95, true},
                               {"pluck-soft", 0.03, 0.1, true}, {"chord", 0.8, 0.95, true},
                               {"clicks", 0.7, 0.9, true},  {"square", 0.5, 0.8, true},
                               {"guitar", 0.9, 0.9, false}};
    ASSERT_EQ (accuracySignalClasses().size(), std::size (expected));
    for (const auto& e : expected)
    {
        SCOPED_TRACE (e.name);
        const auto* c = findAccuracySignalClass (e.name);
        ASSERT_NE (c, nullptr);
        const auto a = makeAccuracySignal (*c, rate, 3, 0.1);
        EXPECT_EQ (a, makeAccuracySignal (*c, rate, 3, 0.1));
        EXPECT_NE (a, makeAccuracySignal (*c, rate, 4, 0.1));
        ASSERT_EQ (a.size(), 4800u);
        double peak = 0.0;
        for (double v : a)
            peak = std::max (peak, std::abs (v));
        EXPECT_GE (peak, e.peakLow - 1e-9);
        EXPECT_LE (peak, e.peakHigh + 1e-9);
        // Energy of the first difference against the signal's: a signal cut at a few kHz (the
        // builder's harmonic notes) has little; a noise-excited pick or a naive edge has much.
        double diff = 0.0, energy = 0.0;
        for (size_t n = 1; n < a.size(); ++n)
        {
            diff += (a[n] - a[n - 1]) * (a[n] - a[n - 1]);
            energy += a[n] * a[n];
        }
        if (e.fullBand)
        {
            EXPECT_GT (diff / energy, 0.01);
        }
        else
        {
            EXPECT_LT (diff / energy, 0.05);
        }
    }
    EXPECT_EQ (findAccuracySignalClass ("violin"), nullptr);
    EXPECT_FLOAT_EQ (inputGainFactor (24.5f), 1.5f);
    EXPECT_FLOAT_EQ (inputGainFactor (49.0f), 3.0f);
    EXPECT_FLOAT_EQ (inputGainFactor (0.0f), 0.0f);
}
