// The render tool's measurements on signals whose spectrum is known exactly.
#include "Spectrum.h"
#include "TestSignal.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
constexpr double rate = 48000.0;

std::vector<float> sine (double frequency, double amplitude, size_t length, double secondAmplitude = 0.0)
{
    std::vector<float> samples (length);
    for (size_t s = 0; s < length; ++s)
    {
        const double t = static_cast<double> (s) / rate;
        samples[s] = static_cast<float> (amplitude * std::sin (2.0 * M_PI * frequency * t) +
                                         secondAmplitude * std::sin (2.0 * M_PI * 2.0 * frequency * t + 0.3));
    }
    return samples;
}

TEST (Spectrum, AFullScaleSineReadsZeroDecibelsAtItsBin)
{
    const size_t fftSize = 8192;
    const double binWidth = rate / fftSize;
    const double frequency = 64.0 * binWidth; // on a bin centre
    const auto levels = averageSpectrumDb (sine (frequency, 1.0, 4 * fftSize), fftSize);
    ASSERT_EQ (levels.size(), fftSize / 2 + 1);
    EXPECT_NEAR (levels[64], 0.0, 0.05);
    EXPECT_LT (levels[200], -100.0); // far from the tone, the Hann window's leakage is gone
}

TEST (Spectrum, RefusesWhatItCannotTransform)
{
    EXPECT_TRUE (averageSpectrumDb ({}, 1024).empty());
    EXPECT_TRUE (averageSpectrumDb (std::vector<float> (100, 0.5f), 1000).empty()); // not a power of two
    // Shorter than one window: zero-padded, still one spectrum.
    EXPECT_EQ (averageSpectrumDb (std::vector<float> (100, 0.5f), 1024).size(), 513u);
}

TEST (Harmonics, ReadTheLevelsOfAKnownMixture)
{
    struct Case
    {
        double frequency, amplitude, second;
    };
    const Case cases[] = {{220.0, 0.5, 0.05}, {1000.0, 0.1, 0.0}, {97.3, 1.0, 0.5}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.frequency);
        const auto levels = harmonicLevelsDb (sine (c.frequency, c.amplitude, 48000, c.second), rate, c.frequency, 4);
        ASSERT_EQ (levels.size(), 4u);
        EXPECT_NEAR (levels[0], 20.0 * std::log10 (c.amplitude), 0.05);
        if (c.second > 0.0)
            EXPECT_NEAR (levels[1], 20.0 * std::log10 (c.second), 0.05);
        else
            EXPECT_LT (levels[1], -100.0);
        EXPECT_LT (levels[2], -100.0);
    }
}

TEST (Harmonics, AboveHalfTheRateReadAsMinusInfinity)
{
    const auto levels = harmonicLevelsDb (sine (9000.0, 0.5, 24000), rate, 9000.0, 4);
    ASSERT_EQ (levels.size(), 4u);
    EXPECT_TRUE (std::isfinite (levels[1])); // 18 kHz
    EXPECT_TRUE (std::isinf (levels[2]) && levels[2] < 0.0); // 27 kHz
    EXPECT_TRUE (harmonicLevelsDb ({}, rate, 100.0, 3).empty());
}

TEST (TestSignals, PeakAtTheAskedLevelWithoutClickingEdges)
{
    const float peak = 0.25f;
    for (const auto& signal : {makeTone (rate, 1.0, 440.0, peak), makeSweep (rate, 1.0, peak), makeChord (rate, 1.0, peak)})
    {
        ASSERT_EQ (signal.size(), 48000u);
        float largest = 0.0f;
        for (float v : signal)
            largest = std::max (largest, std::abs (v));
        EXPECT_NEAR (largest, peak, 1e-6f);
        EXPECT_EQ (signal.front(), 0.0f);
        EXPECT_LT (std::abs (signal[10]), 0.01f * peak); // inside the fade-in
    }
    // The tone is a pure sine: no second harmonic.
    const auto levels = harmonicLevelsDb (makeTone (rate, 1.0, 440.0, peak), rate, 440.0, 2);
    EXPECT_NEAR (levels[0], 20.0 * std::log10 (peak), 0.1);
    EXPECT_LT (levels[1] - levels[0], -90.0);
}
} // namespace
