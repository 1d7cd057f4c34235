#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The signals the accuracy report plays through the circuit: full-band material of the kinds a
// guitarist sends through the plug-in (picked strings, strummed chords, a drum loop, a synth),
// made by generators the model builder never trains with. Samples are host-rate values in full
// scale units (1.0 = a full-scale sample) before the plug-in's Input gain.
struct AccuracySignalClass
{
    std::string name;
    float inputLevel = 24.5f; // the Input parameter's engine value, 0 to 49
    std::string description;
};

// Every class in report order: pluck, pluck-hot, pluck-soft, chord, clicks, square, guitar.
const std::vector<AccuracySignalClass>& accuracySignalClasses();

// Null when no class has that name.
const AccuracySignalClass* findAccuracySignalClass (const std::string& name);

// One signal of a class at the host rate; the same class, seed and length always give the same
// samples, and different seeds give other notes, rhythms and levels.
std::vector<double> makeAccuracySignal (const AccuracySignalClass& signalClass, double hostRate, uint32_t seed,
                                        double seconds);

// The chain's input gain factor for an Input engine value, rounded as the processor rounds it.
float inputGainFactor (float inputLevel);
