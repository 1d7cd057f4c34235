#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Full-band training material in volts at the preamp input: what a pick, a drum loop or a synth
// sends through the plug-in, beyond the builder's harmonic guitar notes. Each kind drives a block
// into a part of its input space the notes never reach (fast edges, steps that leave the valves
// cut off for milliseconds, energy up to the Nyquist frequency, loud dense chords).
enum class TrainingSignalKind
{
    noiseBurst, // decaying white noise, a few ms to tens of ms
    pluck,      // harmonic notes up to the Nyquist frequency with an instant attack
    square,     // naive square waves
    stepsAndClicks, // DC steps of both signs and single-sample clicks on silence
    chirp,      // a constant-level sweep from 20 Hz to the Nyquist frequency
    loudChord,  // six-note chords up to the hottest input
    burstThenNotes, // a loud step, square or noise burst, then notes played while the stages recover
};

struct TrainingSignalShape
{
    TrainingSignalKind kind = TrainingSignalKind::noiseBurst;
    double peakVolts = 1.0;
    uint32_t seed = 1;
    double seconds = 0.15;
};

std::vector<double> makeTrainingSignal (double sampleRate, const TrainingSignalShape& shape);

// Every kind at a spread of levels from quiet to the hottest input (3 V: Input 49 on a
// full-scale sample) and a little beyond, for the given seed range.
std::vector<TrainingSignalShape> fullBandTrainingSet (uint32_t firstSeed, double seconds);

std::string trainingSignalName (TrainingSignalKind kind);
