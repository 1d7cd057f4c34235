#pragma once

#include <vector>

// A mono guitar-like phrase as a pickup delivers it: plucked strings (Karplus-Strong) playing a
// short riff on the low strings, then an open E chord strummed and left ringing. Peaks at -12 dBFS,
// the level of a guitar DI track. Deterministic, so two renders of it compare sample by sample.
std::vector<float> makePluckedPhrase (double sampleRate, double seconds);

// The phrase's peak level: -12 dBFS.
constexpr float pluckedPhrasePeak = 0.25118864f;

// Test signals at a peak level (full scale 1). Each fades in and out over 5 ms, so the edges do
// not click.
// A sine at frequency Hz: for reading the harmonics the preamp adds.
std::vector<float> makeTone (double sampleRate, double seconds, double frequency, float peak);
// An exponential sine sweep from 20 Hz to 20 kHz (at most 0.45 of the rate): the frequency
// response and where the distortion sets in.
std::vector<float> makeSweep (double sampleRate, double seconds, float peak);
// An open E major chord (E2 B2 E3 G#3 B3 E4) held as six sines: the intermodulation of a chord.
std::vector<float> makeChord (double sampleRate, double seconds, float peak);
