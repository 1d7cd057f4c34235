#pragma once

#include <vector>

// A mono guitar-like phrase: plucked strings (Karplus-Strong) of a low E string riff and a closing
// chord, peaking near 0.5 full scale. Deterministic, so two renders of it compare sample by sample.
std::vector<float> makePluckedPhrase (double sampleRate, double seconds);
