#include "engine/FirResampler.h"
#include "engine/OversamplingTables.h"
#include "support/RandomSignal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

namespace
{
const int factors[] = {2, 4, 8, 16};

// Plain polyphase interpolator: output j of host period t is sum_L F h[j + L F] x[t - L].
double interpolated (const std::vector<float>& h, int factor, const std::vector<float>& x, int t, int j)
{
    const int c = static_cast<int> (h.size()) / factor;
    double sum = 0.0;
    for (int L = 0; L < c && t - L >= 0; ++L)
        sum += static_cast<double> (factor) * h[j + L * factor] * x[t - L];
    return sum;
}

// Plain FIR: sum_L h[L] z[m - L].
double filtered (const std::vector<float>& h, const std::vector<float>& z, int m)
{
    double sum = 0.0;
    for (int L = 0; L < static_cast<int> (h.size()) && m - L >= 0; ++L)
        sum += static_cast<double> (h[L]) * z[m - L];
    return sum;
}
} // namespace

TEST (FirResampler, UpsampledImpulseAtFactorFourIsFourTimesTheTable)
{
    const auto& h = oversamplingTable (4);
    FirResampler up (64, 4, h.data());
    std::vector<float> out;
    for (int t = 0; t < 16; ++t)
    {
        up.push (t == 0 ? 1.0f : 0.0f);
        for (int j = 0; j < 4; ++j)
            out.push_back (up.nextOutput());
    }
    ASSERT_EQ (out.size(), 64u);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ (out[k], 4.0f * h[k]) << k;
}

TEST (FirResampler, UpAndDownSamplersMatchDirectConvolution)
{
    for (int factor : factors)
    {
        SCOPED_TRACE (factor);
        const auto& h = oversamplingTable (factor);
        const int n = static_cast<int> (h.size());
        FirResampler up (n, factor, h.data());
        FirResampler down (n, 1, h.data());

        const int hostSamples = 3 * n; // the rings wrap several times
        const auto x = randomSignal (static_cast<size_t> (hostSamples), 7u + static_cast<unsigned> (factor));
        std::vector<float> z;
        for (int t = 0; t < hostSamples; ++t)
        {
            up.push (x[t]);
            for (int j = 0; j < factor; ++j)
            {
                const float value = up.nextOutput();
                ASSERT_NEAR (value, interpolated (h, factor, x, t, j), 2e-5) << "t " << t << " j " << j;
                z.push_back (value);
                down.push (value);
                // The decimator computes only at the first sub-sample of each host period.
                if (j == 0)
                    ASSERT_NEAR (down.nextOutput(), filtered (h, z, t * factor), 2e-5) << "t " << t;
                else
                    down.advance();
            }
        }
    }
}

TEST (FirResampler, InnerProductFollowsTheFixedSummationOrderExactly)
{
    // An independent scalar model of the filter: rotated, reversed, phase-scaled coefficient
    // arrays and the per-group order ((a1 + a0) + a2) + a3. The vector code must agree to the bit.
    for (const auto& [taps, phases] : {std::pair{64, 4}, std::pair{256, 16}, std::pair{256, 1}})
    {
        SCOPED_TRACE (testing::Message() << taps << " taps, " << phases << " phases");
        const auto& h = oversamplingTable (taps / 16);
        const int c = taps / phases;
        std::vector<std::vector<float>> arrays (static_cast<size_t> (taps), std::vector<float> (c));
        for (int q = 0; q < phases; ++q)
            for (int r = 0; r < c; ++r)
                for (int t = 0; t < c; ++t)
                    arrays[q + r * phases][c - 1 - t] =
                        static_cast<float> (phases) * h[q + ((r + t) % c) * phases];

        FirResampler filter (taps, phases, h.data());
        std::vector<float> ring (c, 0.0f);
        int writeIndex = c - 1;
        int arrayIndex = taps - 1;
        const auto x = randomSignal (static_cast<size_t> (3 * taps), 11u);
        for (float value : x)
        {
            filter.push (value);
            ring[writeIndex] = value;
            writeIndex = (writeIndex + 1) % c;
            for (int call = 0; call < phases; ++call)
            {
                arrayIndex = (arrayIndex + 1) % taps;
                const auto& coef = arrays[arrayIndex];
                float total = 0.0f;
                for (int g = 0; g < c / 8; ++g)
                {
                    float acc[4];
                    for (int j = 0; j < 4; ++j)
                        acc[j] =
                            coef[8 * g + 4 + j] * ring[8 * g + 4 + j] + coef[8 * g + j] * ring[8 * g + j];
                    total += ((acc[1] + acc[0]) + acc[2]) + acc[3];
                }
                ASSERT_EQ (filter.nextOutput(), total);
            }
        }
    }
}

TEST (FirResampler, ConstantInputSettlesNearOneThroughBothFilters)
{
    for (int factor : factors)
    {
        SCOPED_TRACE (factor);
        const auto& h = oversamplingTable (factor);
        const int n = static_cast<int> (h.size());
        FirResampler up (n, factor, h.data());
        FirResampler down (n, 1, h.data());
        // T32's DC gain is 1.00058 per pass; the Kaiser tables' is 1.
        const float tolerance = factor == 2 ? 0.004f : 0.001f;
        for (int t = 0; t < 40; ++t)
        {
            up.push (1.0f);
            float hostOutput = 0.0f;
            for (int j = 0; j < factor; ++j)
            {
                const float value = up.nextOutput();
                if (t >= 16)
                {
                    EXPECT_NEAR (value, 1.0f, tolerance) << "t " << t << " j " << j;
                }
                down.push (value);
                if (j == 0)
                    hostOutput = down.nextOutput();
                else
                    down.advance();
            }
            if (t >= 32) // both filters filled: 16 host periods each
            {
                EXPECT_NEAR (hostOutput, 1.0f, tolerance) << "t " << t;
            }
        }
    }
}

TEST (FirResampler, CascadeDelaysByOneLessThanThePrototypeLength)
{
    // Up-sampling and then filtering every sub-sample gives F (h * h), symmetric about N - 1.
    for (int factor : factors)
    {
        SCOPED_TRACE (factor);
        const auto& h = oversamplingTable (factor);
        const int n = static_cast<int> (h.size());
        FirResampler up (n, factor, h.data());
        FirResampler down (n, 1, h.data());
        std::vector<float> response;
        for (int t = 0; t < 2 * n / factor; ++t)
        {
            up.push (t == 0 ? 1.0f : 0.0f);
            for (int j = 0; j < factor; ++j)
            {
                down.push (up.nextOutput());
                response.push_back (down.nextOutput()); // every sub-sample, to see the whole response
            }
        }
        ASSERT_GE (response.size(), static_cast<size_t> (2 * n - 1));
        size_t peak = 0;
        for (size_t k = 1; k < response.size(); ++k)
            if (response[k] > response[peak])
                peak = k;
        EXPECT_EQ (peak, static_cast<size_t> (n - 1));
        for (int k = 1; k < n; ++k)
            EXPECT_NEAR (response[n - 1 - k], response[n - 1 + k], 1e-6) << k;
    }
}

TEST (FirResampler, StorageIsSixteenByteAligned)
{
    const auto& h = oversamplingTable (16);
    for (int phases : {1, 16})
    {
        FirResampler filter (256, phases, h.data());
        EXPECT_EQ (reinterpret_cast<uintptr_t> (filter.ringData()) % 16, 0u);
        for (uint16_t a = 0; a < filter.getArrayCount(); ++a)
            ASSERT_EQ (reinterpret_cast<uintptr_t> (filter.coefficientArray (a)) % 16, 0u) << a;
    }
}

TEST (FirResampler, RejectsShapesItCannotRunAligned)
{
    const std::vector<float> h (512, 0.0f);
    const struct
    {
        int taps, phases;
    } bad[] = {{0, 1}, {12, 1}, {64, 0}, {64, 17}, {48, 4}, {8192, 1}, {-8, 1}};
    for (const auto& shape : bad)
        EXPECT_THROW (FirResampler (shape.taps, shape.phases, h.data()), std::invalid_argument)
            << shape.taps << " taps, " << shape.phases << " phases";
    EXPECT_THROW (FirResampler (64, 4, nullptr), std::invalid_argument);
}
