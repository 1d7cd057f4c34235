#include "GuitarSignals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
constexpr double pi = 3.14159265358979323846;
constexpr double pickupRollOffHz = 6000.0; // a magnetic pickup's resonance region: little above it
} // namespace

std::vector<double> makeGuitarSignal (double sampleRate, const GuitarSignalShape& shape)
{
    const auto length = static_cast<size_t> (std::max (1.0, shape.seconds * sampleRate));
    std::vector<double> out (length, 0.0);
    std::mt19937 random (shape.seed);
    std::uniform_real_distribution<double> unit (0.0, 1.0);

    const double lowE = 82.41;
    for (int n = 0; n < std::max (1, shape.notes); ++n)
    {
        const double semitones = std::floor (unit (random) * 30.0);
        const double f0 = lowE * std::pow (2.0, semitones / 12.0);
        // Strummed chords hit their strings a few milliseconds apart.
        const double onset = 0.002 + 0.012 * n + 0.01 * unit (random);
        const double pluckPoint = 0.1 + 0.3 * unit (random); // relative position on the string
        const double noteDecay = 1.5 + 3.0 * unit (random);  // 1/s
        const double noteGain = 0.6 + 0.4 * unit (random);
        for (int h = 1; h < 40; ++h)
        {
            const double f = f0 * h;
            if (f > pickupRollOffHz || f > 0.45 * sampleRate)
                break;
            // A string plucked at relative position b has harmonic amplitudes sin(h pi b) / h^2.
            const double a = noteGain * std::abs (std::sin (h * pi * pluckPoint)) / (h * std::sqrt (h));
            const double decay = noteDecay * (1.0 + 0.15 * h * h / 4.0);
            const double phase = 2.0 * pi * unit (random);
            const double w = 2.0 * pi * f / sampleRate;
            const auto start = static_cast<size_t> (onset * sampleRate);
            for (size_t s = start; s < length; ++s)
            {
                const double t = static_cast<double> (s - start) / sampleRate;
                // A 1 ms attack keeps the pluck sharp without an unphysical step.
                const double attack = std::min (1.0, t / 0.001);
                out[s] += a * attack * std::exp (-decay * t) * std::sin (w * static_cast<double> (s - start) + phase);
            }
        }
    }

    double peak = 0.0;
    for (double v : out)
        peak = std::max (peak, std::abs (v));
    if (peak > 0.0)
        for (double& v : out)
            v *= shape.peakVolts / peak;
    return out;
}

std::vector<GuitarSignalShape> standardSignalSet (uint32_t firstSeed, double seconds)
{
    const double levels[] = {0.03, 0.1, 0.3, 1.0, 3.0};
    std::vector<GuitarSignalShape> set;
    uint32_t seed = firstSeed;
    for (double level : levels)
    {
        set.push_back ({level, seed++, seconds, 1});
        set.push_back ({level, seed++, seconds, 4});
    }
    return set;
}

void scaleToPeak (std::vector<double>& signal, double peak)
{
    double largest = 0.0;
    for (double v : signal)
        largest = std::max (largest, std::abs (v));
    if (largest > 0.0)
        for (double& v : signal)
            v *= peak / largest;
}
