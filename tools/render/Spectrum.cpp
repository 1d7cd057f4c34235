#include "Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace
{
constexpr double twoPi = 6.283185307179586;
constexpr double floorDb = -200.0;

double toDb (double amplitude)
{
    return amplitude > 0.0 ? std::max (floorDb, 20.0 * std::log10 (amplitude)) : floorDb;
}

// In-place iterative radix-2 FFT; data.size() is a power of two.
void fft (std::vector<std::complex<double>>& data)
{
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i)
    {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap (data[i], data[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1)
    {
        const std::complex<double> step = std::polar (1.0, -twoPi / static_cast<double> (length));
        for (size_t start = 0; start < n; start += length)
        {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < length / 2; ++k)
            {
                const auto even = data[start + k], odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

std::vector<double> hann (size_t size)
{
    std::vector<double> window (size);
    for (size_t i = 0; i < size; ++i)
        window[i] = 0.5 - 0.5 * std::cos (twoPi * static_cast<double> (i) / static_cast<double> (size));
    return window;
}
} // namespace

std::vector<double> averageSpectrumDb (const std::vector<float>& samples, size_t fftSize)
{
    if (samples.empty() || fftSize < 2 || (fftSize & (fftSize - 1)) != 0)
        return {};
    const auto window = hann (fftSize);
    double windowSum = 0.0;
    for (double w : window)
        windowSum += w;

    std::vector<double> power (fftSize / 2 + 1, 0.0);
    std::vector<std::complex<double>> frame (fftSize);
    size_t frames = 0;
    const size_t hop = fftSize / 2;
    for (size_t start = 0; frames == 0 || start + fftSize <= samples.size(); start += hop)
    {
        for (size_t i = 0; i < fftSize; ++i)
            frame[i] = start + i < samples.size() ? samples[start + i] * window[i] : 0.0;
        fft (frame);
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += std::norm (frame[k]);
        ++frames;
    }
    std::vector<double> levels (power.size());
    for (size_t k = 0; k < power.size(); ++k)
        // A sine of amplitude a gives |X| = a * windowSum / 2 at its bin.
        levels[k] = toDb (2.0 * std::sqrt (power[k] / static_cast<double> (frames)) / windowSum);
    return levels;
}

std::vector<double> harmonicLevelsDb (const std::vector<float>& samples, double sampleRate, double frequency,
                                      int count)
{
    std::vector<double> levels;
    const size_t start = samples.size() / 4;
    const size_t length = samples.size() - start;
    if (length < 2 || !(sampleRate > 0.0) || !(frequency > 0.0))
        return levels;
    const auto window = hann (length);
    double windowSum = 0.0;
    for (double w : window)
        windowSum += w;
    for (int h = 1; h <= count; ++h)
    {
        const double f = frequency * h;
        if (f >= 0.5 * sampleRate)
        {
            levels.push_back (-std::numeric_limits<double>::infinity());
            continue;
        }
        // The windowed DFT at exactly f, by a rotating phasor.
        const std::complex<double> step = std::polar (1.0, -twoPi * f / sampleRate);
        std::complex<double> phasor = 1.0, sum = 0.0;
        for (size_t i = 0; i < length; ++i)
        {
            sum += static_cast<double> (samples[start + i]) * window[i] * phasor;
            phasor *= step;
            if ((i & 1023) == 1023)
                phasor /= std::abs (phasor); // keep the phasor on the unit circle
        }
        levels.push_back (toDb (2.0 * std::abs (sum) / windowSum));
    }
    return levels;
}
