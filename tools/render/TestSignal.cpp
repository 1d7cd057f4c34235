#include "TestSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace
{
struct Pluck
{
    double start;     // seconds
    double frequency; // Hz
};

// One plucked string added into out: a noise burst circulating through a delay line with a
// two-point average, which loses the high partials first, as a real string does.
void addPluck (std::vector<float>& out, double sampleRate, const Pluck& pluck, uint32_t& noiseState)
{
    const auto period = static_cast<size_t> (std::max (2.0, std::round (sampleRate / pluck.frequency)));
    std::vector<float> line (period);
    for (auto& v : line)
    {
        noiseState = noiseState * 1664525u + 1013904223u;
        v = static_cast<float> (noiseState >> 8) / static_cast<float> (1u << 24) * 2.0f - 1.0f;
    }

    const auto first = static_cast<size_t> (pluck.start * sampleRate);
    size_t cursor = 0;
    for (size_t n = first; n < out.size(); ++n)
    {
        const size_t next = (cursor + 1) % period;
        const float sample = line[cursor];
        line[cursor] = 0.498f * (sample + line[next]);
        cursor = next;
        out[n] += 0.35f * sample;
    }
}
} // namespace

std::vector<float> makePluckedPhrase (double sampleRate, double seconds)
{
    std::vector<float> out (static_cast<size_t> (sampleRate * seconds), 0.0f);

    // Note frequencies in Hz: a low-string riff, then an open E chord strummed.
    const double e2 = 82.41, g2 = 98.0, a2 = 110.0, b2 = 123.47, e3 = 164.81, gSharp3 = 207.65, b3 = 246.94,
                 e4 = 329.63;
    const Pluck phrase[] = {
        {0.00, e2}, {0.40, e2}, {0.80, g2}, {1.20, a2},      {1.60, e2}, {2.00, g2}, {2.40, a2},
        {2.80, e2}, {2.82, b2}, {2.84, e3}, {2.86, gSharp3}, {2.88, b3}, {2.90, e4},
    };

    uint32_t noiseState = 12345u;
    for (const auto& pluck : phrase)
        if (pluck.start < seconds)
            addPluck (out, sampleRate, pluck, noiseState);

    // Keep the peak near half scale, whatever the chord sums to.
    float peak = 0.0f;
    for (float v : out)
        peak = std::max (peak, std::abs (v));
    if (peak > 0.0f)
        for (auto& v : out)
            v *= 0.5f / peak;
    return out;
}
