#include "AccuracySignals.h"

#include "GuitarSignals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
constexpr double pi = 3.14159265358979323846;

// A plucked string as a delay line whose loop averages neighbouring samples: the burst of white
// noise that fills the line is the pick, full band up to the host's Nyquist frequency, and the
// loop filter darkens it within a few periods as a real string does.
void addString (std::vector<double>& out, double rate, double f0, double onsetSeconds, double gain, double sustain,
                std::mt19937& random)
{
    const auto period = static_cast<size_t> (std::max (2.0, std::round (rate / f0)));
    std::uniform_real_distribution<double> noise (-1.0, 1.0);
    std::vector<double> line (period);
    for (double& v : line)
        v = noise (random);
    // Loop gain per period for the requested decay time of -60 dB.
    const double loopGain = std::pow (10.0, -3.0 / (sustain * f0));
    const auto start = static_cast<size_t> (onsetSeconds * rate);
    size_t index = 0;
    for (size_t s = start; s < out.size(); ++s)
    {
        const double v = line[index];
        const size_t next = index + 1 == period ? 0 : index + 1;
        out[s] += gain * v;
        line[index] = loopGain * 0.5 * (v + line[next]);
        index = next;
    }
}

double noteFrequency (std::mt19937& random, int lowest, int range)
{
    std::uniform_int_distribution<int> semitone (lowest, lowest + range);
    return 82.41 * std::pow (2.0, semitone (random) / 12.0);
}

std::vector<double> plucks (double rate, size_t length, uint32_t seed, int strings, double peakLow, double peakHigh)
{
    std::vector<double> out (length, 0.0);
    std::mt19937 random (seed);
    std::uniform_real_distribution<double> unit (0.0, 1.0);
    // A strum: the strings of one chord shape, a few milliseconds apart.
    const int root = static_cast<int> (unit (random) * 12.0);
    const int shape[] = {0, 7, 12, 16, 19, 24};
    for (int n = 0; n < strings; ++n)
    {
        const double f0 = strings == 1 ? noteFrequency (random, 0, 30) : 82.41 * std::pow (2.0, (root + shape[n]) / 12.0);
        addString (out, rate, f0, 0.003 + 0.009 * n + 0.004 * unit (random), 0.7 + 0.3 * unit (random),
                   1.0 + 3.0 * unit (random), random);
    }
    scaleToPeak (out, peakLow + (peakHigh - peakLow) * unit (random));
    return out;
}

// A drum loop's transients: a kick (a falling sine with a fast decay), a snare's noise and a
// stick click of a few samples on every hit, every 60 to 120 ms.
std::vector<double> clickTrain (double rate, size_t length, uint32_t seed)
{
    std::vector<double> out (length, 0.0);
    std::mt19937 random (seed);
    std::uniform_real_distribution<double> unit (0.0, 1.0), noise (-1.0, 1.0);
    double t0 = 0.002 + 0.005 * unit (random);
    for (int hit = 0; t0 * rate < static_cast<double> (length); ++hit)
    {
        const auto start = static_cast<size_t> (t0 * rate);
        const bool snare = hit % 2 == 1;
        double phase = 0.0;
        for (size_t s = start; s < length; ++s)
        {
            const double t = static_cast<double> (s - start) / rate;
            if (t > 0.25)
                break;
            double v = 0.0;
            if (!snare)
            {
                phase += 2.0 * pi * (50.0 + 130.0 * std::exp (-t / 0.02)) / rate;
                v += std::sin (phase) * std::exp (-t / 0.05);
            }
            else
                v += 0.6 * noise (random) * std::exp (-t / 0.06);
            v += noise (random) * std::exp (-t / 0.0004);
            out[s] += v;
        }
        t0 += 0.06 + 0.06 * unit (random);
    }
    scaleToPeak (out, 0.7 + 0.2 * unit (random));
    return out;
}

// A synth lead: a naive (not band-limited) square wave, two notes with an instant start and a
// slow fade, so every edge is a full-band step.
std::vector<double> synthSquare (double rate, size_t length, uint32_t seed)
{
    std::vector<double> out (length, 0.0);
    std::mt19937 random (seed);
    std::uniform_real_distribution<double> unit (0.0, 1.0);
    const double onset = 0.002 + 0.004 * unit (random);
    const double change = onset + 0.5 * (static_cast<double> (length) / rate - onset);
    const double f1 = noteFrequency (random, 5, 24), f2 = noteFrequency (random, 5, 24);
    double phase = unit (random);
    for (size_t s = static_cast<size_t> (onset * rate); s < length; ++s)
    {
        const double t = static_cast<double> (s) / rate;
        phase += (t < change ? f1 : f2) / rate;
        phase -= std::floor (phase);
        out[s] = (phase < 0.5 ? 1.0 : -1.0) * std::exp (-(t - onset) / 0.6);
    }
    scaleToPeak (out, 0.5 + 0.3 * unit (random));
    return out;
}
} // namespace

const std::vector<AccuracySignalClass>& accuracySignalClasses()
{
    static const std::vector<AccuracySignalClass> classes = {
        {"pluck", 24.5f, "one string excited by a noise burst, peak 0.6-0.95 FS"},
        {"pluck-hot", 49.0f, "the same at the hottest Input"},
        {"pluck-soft", 24.5f, "one string played softly, peak 0.03-0.1 FS"},
        {"chord", 24.5f, "six strings strummed, peak 0.8-0.95 FS"},
        {"clicks", 24.5f, "a drum loop's kicks, snares and stick clicks"},
        {"square", 24.5f, "a naive square-wave synth, two notes"},
        {"guitar", 24.5f, "harmonic-series notes and chords (other seeds than the builder's)"},
    };
    return classes;
}

const AccuracySignalClass* findAccuracySignalClass (const std::string& name)
{
    for (const auto& c : accuracySignalClasses())
        if (c.name == name)
            return &c;
    return nullptr;
}

std::vector<double> makeAccuracySignal (const AccuracySignalClass& signalClass, double hostRate, uint32_t seed,
                                        double seconds)
{
    const auto length = static_cast<size_t> (std::max (1.0, seconds * hostRate));
    // Seeds far from the builder's (1000 up) and apart per class.
    const uint32_t s = 7919u * seed + 104729u;
    const auto& n = signalClass.name;
    if (n == "pluck" || n == "pluck-hot")
        return plucks (hostRate, length, s, 1, 0.6, 0.95);
    if (n == "pluck-soft")
        return plucks (hostRate, length, s + 1, 1, 0.03, 0.1);
    if (n == "chord")
        return plucks (hostRate, length, s + 2, 6, 0.8, 0.95);
    if (n == "clicks")
        return clickTrain (hostRate, length, s + 3);
    if (n == "square")
        return synthSquare (hostRate, length, s + 4);
    GuitarSignalShape shape;
    shape.seed = 50000u + seed;
    shape.seconds = seconds;
    shape.notes = seed % 2 == 0 ? 1 : 4;
    shape.peakVolts = 0.9;
    auto out = makeGuitarSignal (hostRate, shape);
    out.resize (length, 0.0);
    return out;
}

float inputGainFactor (float inputLevel)
{
    return static_cast<float> (static_cast<double> (inputLevel / 49.0f) * 3.0);
}
