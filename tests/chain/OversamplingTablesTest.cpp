#include "engine/OversamplingTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace
{
constexpr double pi = 3.14159265358979323846;

double sumOf (const std::vector<float>& taps)
{
    double s = 0.0;
    for (float v : taps)
        s += v;
    return s;
}

// Magnitude response in dB at `hostFraction` of the host rate, for a table at factor x the
// host rate.
double responseDb (const std::vector<float>& taps, int factor, double hostFraction)
{
    const double w = 2.0 * pi * hostFraction / factor;
    std::complex<double> acc = 0.0;
    for (size_t k = 0; k < taps.size(); ++k)
        acc += static_cast<double> (taps[k]) * std::polar (1.0, -w * static_cast<double> (k));
    return 20.0 * std::log10 (std::abs (acc));
}
} // namespace

TEST (OversamplingTables, FixedTableHoldsTheListedValuesMirrored)
{
    const auto& t = oversamplingTable (2);
    ASSERT_EQ (t.size(), 32u);
    // Spot values from the published half of the table, at both mirrored places.
    const struct
    {
        int k;
        float value;
    } listed[] = {{0, -0.000324488879f}, {3, 0.00316008064f}, {8, 0.017125072f},
                  {11, -0.0568418205f},  {14, 0.209751964f},  {15, 0.370763004f}};
    for (const auto& entry : listed)
    {
        EXPECT_EQ (t[entry.k], entry.value) << "k = " << entry.k;
        EXPECT_EQ (t[31 - entry.k], entry.value) << "k = " << 31 - entry.k;
    }
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ (t[k], t[31 - k]) << k;
    EXPECT_NEAR (sumOf (t), 1.00058, 1e-5);
}

TEST (OversamplingTables, FixedTableResponseMatchesItsDesign)
{
    const auto& t = oversamplingTable (2);
    EXPECT_NEAR (responseDb (t, 2, 0.26), 0.88, 0.05);
    EXPECT_NEAR (responseDb (t, 2, 0.378), -6.0, 0.2);
    for (double f = 0.6; f <= 1.0; f += 0.005)
        EXPECT_LT (responseDb (t, 2, f), -85.0) << "at " << f << " of the host rate";
}

TEST (OversamplingTables, KaiserTablesAreSymmetricUnitGainLowPasses)
{
    for (int factor : {4, 8, 16})
    {
        SCOPED_TRACE (factor);
        const auto& t = oversamplingTable (factor);
        const size_t n = static_cast<size_t> (16 * factor);
        ASSERT_EQ (t.size(), n);
        for (size_t k = 0; k < n; ++k)
            EXPECT_EQ (t[k], t[n - 1 - k]) << k;
        EXPECT_NEAR (sumOf (t), 1.0, 1e-6);

        // 6 dB down at 0.431 of the host rate, flat within 0.05 dB up to 0.3 of it.
        EXPECT_NEAR (responseDb (t, factor, 0.431), -6.0, 0.25);
        for (double f = 0.0; f <= 0.3; f += 0.01)
            EXPECT_NEAR (responseDb (t, factor, f), 0.0, 0.05) << "at " << f << " of the host rate";

        // Kaiser's rule of thumb for the stop-band attenuation of window shape beta:
        // about 45 dB for beta 4 (factor 4) and beta / 0.1102 + 8.7 = 72 dB for beta 7.
        const double stopBandDb = factor == 4 ? -45.0 : -72.0;
        for (double f = 0.6; f <= factor / 2.0; f += 0.002)
            ASSERT_LT (responseDb (t, factor, f), stopBandDb) << "at " << f << " of the host rate";
    }
}

TEST (OversamplingTables, TablesAreBuiltOnceAndSharedAndOtherFactorsHaveNone)
{
    EXPECT_EQ (&oversamplingTable (16), &oversamplingTable (16));
    for (int factor : {0, 1, 3, 32, -2})
        EXPECT_TRUE (oversamplingTable (factor).empty()) << factor;
}
