#include "TrainingSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

TEST (TrainingSignals, EveryKindAtEveryLevelIsRepeatableAndReachesItsPeak)
{
    const auto set = fullBandTrainingSet (2000, 0.05);
    std::set<TrainingSignalKind> kinds;
    double hottest = 0.0;
    for (const auto& shape : set)
    {
        SCOPED_TRACE (trainingSignalName (shape.kind) + " " + std::to_string (shape.peakVolts));
        kinds.insert (shape.kind);
        hottest = std::max (hottest, shape.peakVolts);
        const auto a = makeTrainingSignal (48000.0, shape);
        ASSERT_EQ (a.size(), 2400u);
        EXPECT_EQ (a, makeTrainingSignal (48000.0, shape));
        double peak = 0.0;
        for (double v : a)
        {
            ASSERT_TRUE (std::isfinite (v));
            peak = std::max (peak, std::abs (v));
        }
        EXPECT_NEAR (peak, shape.peakVolts, 1e-9 * shape.peakVolts);
    }
    EXPECT_EQ (kinds.size(), 7u);
    // Beyond a full-scale sample at the hottest Input (3 V at the preamp).
    EXPECT_GT (hottest, 3.0);
}

TEST (TrainingSignals, FullBandKindsCarryEnergyNearTheNyquistFrequency)
{
    // The energy of the second difference against the signal's: high wherever the spectrum
    // reaches far up, as a pick's noise, a naive edge or a sweep to Nyquist does.
    for (const auto kind : {TrainingSignalKind::noiseBurst, TrainingSignalKind::square,
                            TrainingSignalKind::stepsAndClicks, TrainingSignalKind::chirp,
                            TrainingSignalKind::pluck})
    {
        SCOPED_TRACE (trainingSignalName (kind));
        const auto a = makeTrainingSignal (44100.0, {kind, 1.0, 7, 0.2});
        double curvature = 0.0, energy = 0.0;
        for (size_t n = 2; n < a.size(); ++n)
        {
            const double d = a[n] - 2.0 * a[n - 1] + a[n - 2];
            curvature += d * d;
            energy += a[n] * a[n];
        }
        EXPECT_GT (curvature / energy, 1e-3);
    }
}

// The recovery material: a burst at the peak, then notes that are played, quieter, while the
// stages recover from it.
TEST (TrainingSignals, ABurstIsFollowedByQuieterNotes)
{
    for (uint32_t seed = 1; seed <= 8; ++seed)
    {
        SCOPED_TRACE (seed);
        const double rate = 48000.0;
        const auto a = makeTrainingSignal (rate, {TrainingSignalKind::burstThenNotes, 3.3, seed, 0.15});
        const auto burstEnd = static_cast<size_t> (0.012 * rate);
        double burstPeak = 0.0, notesPeak = 0.0;
        for (size_t n = 0; n < a.size(); ++n)
            (n < burstEnd ? burstPeak : notesPeak) = std::max (n < burstEnd ? burstPeak : notesPeak, std::abs (a[n]));
        EXPECT_NEAR (burstPeak, 3.3, 1e-9);
        EXPECT_GT (notesPeak, 0.04 * 3.3);
        EXPECT_LT (notesPeak, 0.36 * 3.3);
    }
}
