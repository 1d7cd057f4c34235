#pragma once

#include <vector>

// A mono guitar-like phrase as a pickup delivers it: plucked strings (Karplus-Strong) playing a
// short riff on the low strings, then an open E chord strummed and left ringing. Peaks at -12 dBFS,
// the level of a guitar DI track. Deterministic, so two renders of it compare sample by sample.
std::vector<float> makePluckedPhrase (double sampleRate, double seconds);

// The phrase's peak level: -12 dBFS.
constexpr float pluckedPhrasePeak = 0.25118864f;
