#include "TestSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace
{
struct Pluck
{
    double start;     // seconds
    double stop;      // seconds: the string is damped (next note on it, or the hand); 0 rings on
    double frequency; // Hz
    float velocity;   // 0..1
};

float nextNoise (uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return static_cast<float> (state >> 8) / static_cast<float> (1u << 24) * 2.0f - 1.0f;
}

// One plucked string added into out: a noise burst circulating through a delay line with a
// two-point average, which loses the high partials first, as a real string does. A softer pluck
// starts from smoother noise (fewer high partials); a damped string fades out within 15 ms.
void addPluck (std::vector<float>& out, double sampleRate, const Pluck& pluck, uint32_t& noiseState)
{
    const auto period = static_cast<size_t> (std::max (2.0, std::round (sampleRate / pluck.frequency)));
    std::vector<float> line (period);
    float smoothed = 0.0f;
    const float pickBrightness = 0.35f + 0.6f * pluck.velocity;
    for (auto& v : line)
    {
        smoothed += pickBrightness * (nextNoise (noiseState) - smoothed);
        v = smoothed;
    }
    // The burst carries no DC, or the string would ring with an offset.
    float mean = 0.0f;
    for (float v : line)
        mean += v;
    mean /= static_cast<float> (period);
    for (auto& v : line)
        v -= mean;

    const auto first = static_cast<size_t> (pluck.start * sampleRate);
    const size_t damped =
        pluck.stop > pluck.start ? static_cast<size_t> (pluck.stop * sampleRate) : out.size();
    const double releaseSamples = 0.015 * sampleRate;
    // Lower strings sustain longer; every string loses a little per round trip.
    const float loss = pluck.frequency < 150.0 ? 0.4995f : 0.4985f;
    size_t cursor = 0;
    for (size_t n = first; n < out.size(); ++n)
    {
        float envelope = 1.0f;
        if (n >= damped)
        {
            const double t = static_cast<double> (n - damped) / releaseSamples;
            if (t >= 1.0)
                break;
            envelope = static_cast<float> (1.0 - t);
        }
        const size_t next = (cursor + 1) % period;
        const float sample = line[cursor];
        line[cursor] = loss * (sample + line[next]);
        cursor = next;
        out[n] += pluck.velocity * envelope * sample;
    }
}
} // namespace

std::vector<float> makePluckedPhrase (double sampleRate, double seconds)
{
    std::vector<float> out (static_cast<size_t> (std::max (0.0, sampleRate * seconds)), 0.0f);
    if (out.empty())
        return out;

    // Note frequencies in Hz: a riff on the low E and A strings (each note damps the one before
    // on its string), then an open E chord strummed down over 60 ms and left ringing.
    const double e2 = 82.41, g2 = 98.0, a2 = 110.0, b2 = 123.47, e3 = 164.81, gSharp3 = 207.65, b3 = 246.94,
                 e4 = 329.63;
    const Pluck phrase[] = {
        {0.00, 0.38, e2, 1.0f},  {0.40, 0.78, e2, 0.7f}, {0.80, 1.18, g2, 0.85f},      {1.20, 1.58, a2, 0.9f},
        {1.60, 1.98, e2, 1.0f},  {2.00, 2.38, g2, 0.8f}, {2.40, 2.78, a2, 0.9f},       {2.80, 0.0, e2, 1.0f},
        {2.812, 0.0, b2, 0.95f}, {2.824, 0.0, e3, 0.9f}, {2.836, 0.0, gSharp3, 0.85f}, {2.848, 0.0, b3, 0.8f},
        {2.860, 0.0, e4, 0.75f},
    };

    uint32_t noiseState = 12345u;
    for (const auto& pluck : phrase)
        if (pluck.start < seconds)
            addPluck (out, sampleRate, pluck, noiseState);

    float peak = 0.0f;
    for (float v : out)
        peak = std::max (peak, std::abs (v));
    if (peak > 0.0f)
        for (auto& v : out)
            v *= pluckedPhrasePeak / peak;
    return out;
}

namespace
{
constexpr double twoPi = 6.283185307179586;

// Scales to the peak and applies 5 ms raised-cosine fades at both ends.
void finishTestSignal (std::vector<float>& samples, double sampleRate, float peak)
{
    float largest = 0.0f;
    for (float v : samples)
        largest = std::max (largest, std::abs (v));
    const float gain = largest > 0.0f ? peak / largest : 0.0f;
    const size_t fade = std::min (samples.size() / 2, static_cast<size_t> (0.005 * sampleRate));
    for (size_t s = 0; s < samples.size(); ++s)
    {
        double envelope = 1.0;
        const size_t fromEdge = std::min (s, samples.size() - 1 - s);
        if (fromEdge < fade)
            envelope = 0.5 - 0.5 * std::cos (M_PI * static_cast<double> (fromEdge) / static_cast<double> (fade));
        samples[s] = static_cast<float> (samples[s] * gain * envelope);
    }
}

size_t sampleCount (double sampleRate, double seconds)
{
    return static_cast<size_t> (std::max (1.0, std::round (sampleRate * seconds)));
}
} // namespace

std::vector<float> makeTone (double sampleRate, double seconds, double frequency, float peak)
{
    std::vector<float> samples (sampleCount (sampleRate, seconds));
    for (size_t s = 0; s < samples.size(); ++s)
        samples[s] = static_cast<float> (std::sin (twoPi * frequency * static_cast<double> (s) / sampleRate));
    finishTestSignal (samples, sampleRate, peak);
    return samples;
}

std::vector<float> makeSweep (double sampleRate, double seconds, float peak)
{
    std::vector<float> samples (sampleCount (sampleRate, seconds));
    const double low = 20.0, high = std::min (20000.0, 0.45 * sampleRate);
    const double duration = static_cast<double> (samples.size()) / sampleRate;
    const double rate = std::log (high / low);
    for (size_t s = 0; s < samples.size(); ++s)
    {
        const double t = static_cast<double> (s) / sampleRate;
        // Phase of a sweep whose frequency rises exponentially from low to high over the duration.
        const double phase = twoPi * low * duration / rate * (std::exp (t / duration * rate) - 1.0);
        samples[s] = static_cast<float> (std::sin (phase));
    }
    finishTestSignal (samples, sampleRate, peak);
    return samples;
}

std::vector<float> makeChord (double sampleRate, double seconds, float peak)
{
    static constexpr double notes[] = {82.407, 123.471, 164.814, 207.652, 246.942, 329.628};
    std::vector<float> samples (sampleCount (sampleRate, seconds), 0.0f);
    for (size_t n = 0; n < std::size (notes); ++n)
        for (size_t s = 0; s < samples.size(); ++s)
            samples[s] += static_cast<float> (
                std::sin (twoPi * notes[n] * static_cast<double> (s) / sampleRate + 0.7 * static_cast<double> (n)));
    finishTestSignal (samples, sampleRate, peak);
    return samples;
}
