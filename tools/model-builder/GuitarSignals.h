#pragma once

#include <cstdint>
#include <vector>

// Deterministic guitar-like test signals in volts at the preamp input: plucked single notes and
// chords, each a sum of decaying harmonics with a sharp attack, scaled to a given peak level.
// The same seed always gives the same signal, so training and measurement are repeatable, and
// different seeds give different notes, so a measurement can use signals the training never saw.
struct GuitarSignalShape
{
    double peakVolts = 1.0;
    uint32_t seed = 1;
    double seconds = 0.3;
    int notes = 1; // 1: single note, more: a strummed chord
};

std::vector<double> makeGuitarSignal (double sampleRate, const GuitarSignalShape& shape);

// A spread of levels from quiet picking up to a hot input (the plug-in's input gain reaches 3x
// a full-scale sample), single notes and chords, for the given seed range.
std::vector<GuitarSignalShape> standardSignalSet (uint32_t firstSeed, double seconds);

// Scales the signal so that its largest magnitude is peak (a silent signal stays silent).
void scaleToPeak (std::vector<double>& signal, double peak);
