#include "TrainingSignals.h"

#include "GuitarSignals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
constexpr double pi = 3.14159265358979323846;

void addNotes (std::vector<double>& out, double rate, int notes, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit (0.0, 1.0);
    for (int n = 0; n < notes; ++n)
    {
        const double f0 = 82.41 * std::pow (2.0, std::floor (unit (random) * 36.0) / 12.0);
        const auto start = static_cast<size_t> ((0.002 + 0.008 * n + 0.004 * unit (random)) * rate);
        const double pluckPoint = 0.05 + 0.4 * unit (random);
        const double decay = 2.0 + 4.0 * unit (random);
        for (int h = 1; f0 * h < 0.48 * rate && h < 400; ++h)
        {
            const double a = std::abs (std::sin (h * pi * pluckPoint)) / h;
            const double w = 2.0 * pi * f0 * h / rate, phase = 2.0 * pi * unit (random);
            const double d = decay * (1.0 + 0.02 * h * h);
            for (size_t s = start; s < out.size(); ++s)
            {
                const double t = static_cast<double> (s - start) / rate;
                const double e = std::exp (-d * t);
                if (e < 1e-4)
                    break;
                out[s] += a * e * std::sin (w * static_cast<double> (s - start) + phase);
            }
        }
    }
}
} // namespace

std::vector<double> makeTrainingSignal (double rate, const TrainingSignalShape& shape)
{
    const auto length = static_cast<size_t> (std::max (1.0, shape.seconds * rate));
    std::vector<double> out (length, 0.0);
    std::mt19937 random (shape.seed);
    std::uniform_real_distribution<double> unit (0.0, 1.0), noise (-1.0, 1.0);
    switch (shape.kind)
    {
        case TrainingSignalKind::noiseBurst:
        {
            // Bursts of different lengths with silence between them: each one's end leaves the
            // coupling capacitors charged, as a pick's release does.
            for (size_t start = static_cast<size_t> (0.002 * rate); start < length;)
            {
                const double tau = 0.001 + 0.02 * unit (random), level = 0.3 + 0.7 * unit (random);
                for (size_t s = start; s < length && s < start + static_cast<size_t> (6.0 * tau * rate); ++s)
                    out[s] += level * noise (random) * std::exp (-static_cast<double> (s - start) / (tau * rate));
                start += static_cast<size_t> ((0.015 + 0.03 * unit (random)) * rate);
            }
            break;
        }
        case TrainingSignalKind::pluck:
            addNotes (out, rate, 1, random);
            break;
        case TrainingSignalKind::loudChord:
            addNotes (out, rate, 6, random);
            break;
        case TrainingSignalKind::square:
        {
            const double f = 60.0 + 600.0 * unit (random);
            double phase = unit (random);
            for (size_t s = static_cast<size_t> (0.002 * rate); s < length; ++s)
            {
                phase += f / rate;
                phase -= std::floor (phase);
                out[s] = phase < 0.5 ? 1.0 : -1.0;
            }
            break;
        }
        case TrainingSignalKind::stepsAndClicks:
        {
            // Alternating steps up, down and back to silence, every few to tens of milliseconds,
            // with single-sample clicks between.
            double level = 0.0;
            size_t next = static_cast<size_t> (0.002 * rate);
            for (size_t s = 0; s < length; ++s)
            {
                if (s == next)
                {
                    const double r = unit (random);
                    level = r < 0.35 ? 1.0 : (r < 0.7 ? -1.0 : 0.0);
                    next += static_cast<size_t> ((0.004 + 0.03 * unit (random)) * rate);
                    if (level == 0.0)
                        out[s] = noise (random) > 0.0 ? 1.0 : -1.0;
                }
                out[s] += level;
            }
            break;
        }
        case TrainingSignalKind::burstThenNotes:
        {
            // The grid current of a loud event charges the coupling capacitors; for tens of
            // milliseconds after it the stages play from operating points that neither the event
            // nor notes alone reach.
            const auto burstLength = std::min (length, static_cast<size_t> ((0.003 + 0.009 * unit (random)) * rate));
            const double sign = unit (random) < 0.5 ? -1.0 : 1.0;
            const double form = unit (random);
            for (size_t s = 0; s < burstLength; ++s)
                out[s] = form < 0.4 ? sign
                                    : (form < 0.7 ? ((s * 800 / static_cast<size_t> (rate)) % 2 == 0 ? 1.0 : -1.0)
                                                  : noise (random));
            std::vector<double> notes (length, 0.0);
            addNotes (notes, rate, 1 + static_cast<int> (3.0 * unit (random)), random);
            scaleToPeak (notes, 0.05 + 0.3 * unit (random));
            for (size_t s = burstLength; s < length; ++s)
                out[s] = notes[s - burstLength];
            break;
        }
        case TrainingSignalKind::chirp:
        {
            // Logarithmic sweep, up or down, over the whole signal.
            const bool up = unit (random) < 0.5;
            const double f0 = 20.0, f1 = 0.49 * rate, seconds = static_cast<double> (length) / rate;
            const double k = std::log (f1 / f0) / seconds;
            for (size_t s = 0; s < length; ++s)
            {
                const double t = static_cast<double> (s) / rate, tt = up ? t : seconds - t;
                const double phase = 2.0 * pi * f0 * (std::exp (k * tt) - 1.0) / k;
                out[s] = std::sin (up ? phase : -phase);
            }
            break;
        }
    }
    scaleToPeak (out, shape.peakVolts);
    return out;
}

std::vector<TrainingSignalShape> fullBandTrainingSet (uint32_t firstSeed, double seconds)
{
    const TrainingSignalKind kinds[] = {TrainingSignalKind::noiseBurst, TrainingSignalKind::pluck,
                                        TrainingSignalKind::square,     TrainingSignalKind::stepsAndClicks,
                                        TrainingSignalKind::chirp,      TrainingSignalKind::loudChord,
                                        TrainingSignalKind::burstThenNotes};
    // Quiet to beyond the hottest input (a sample a little over full scale at Input 49).
    const double levels[] = {0.08, 0.7, 3.3};
    std::vector<TrainingSignalShape> set;
    uint32_t seed = firstSeed;
    for (const auto kind : kinds)
        for (double level : levels)
            set.push_back ({kind, level, seed++, seconds});
    return set;
}

std::string trainingSignalName (TrainingSignalKind kind)
{
    switch (kind)
    {
        case TrainingSignalKind::noiseBurst: return "noise-burst";
        case TrainingSignalKind::pluck: return "pluck";
        case TrainingSignalKind::square: return "square";
        case TrainingSignalKind::stepsAndClicks: return "steps-and-clicks";
        case TrainingSignalKind::chirp: return "chirp";
        case TrainingSignalKind::loudChord: return "loud-chord";
        case TrainingSignalKind::burstThenNotes: return "burst-then-notes";
    }
    return "?";
}
