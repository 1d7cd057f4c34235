#pragma once

#include <vector>

// Prototype low-pass filters of the oversampling resamplers, one per factor, at the processing
// rate: 16 x factor symmetric float coefficients. Factor 2 uses a fixed 32-tap table; 4, 8
// and 16 use Kaiser-windowed sinc filters with the cutoff at 19000/44100 of the host rate,
// computed once per process on first use and shared by every chain.
// Returns an empty table for any other factor.
const std::vector<float>& oversamplingTable (int factor);

// The Kaiser-windowed sinc design behind the tables of factors 4, 8 and 16: `length` taps,
// cutoff `cutoff` in cycles per sample, window shape `beta`, normalised to unit DC gain.
std::vector<float> kaiserLowPass (int length, double cutoff, double beta);
