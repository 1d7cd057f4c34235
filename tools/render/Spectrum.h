#pragma once

#include <cstddef>
#include <vector>

// What the render tool measures in the output for its plot and its report.
// Levels are in dB relative to full scale: a full-scale sine reads 0 dB at its frequency.

// Average magnitude spectrum (Hann windows of fftSize samples, half overlapping) of bins 0 ..
// fftSize / 2; bin k is at k * sampleRate / fftSize Hz. fftSize must be a power of two; a signal
// shorter than one window is zero-padded. Empty for an empty signal.
std::vector<double> averageSpectrumDb (const std::vector<float>& samples, size_t fftSize);

// Level of harmonics 1 .. count of a tone at frequency Hz, measured over the last three quarters
// of the signal (after the preamp has settled) with a Hann window. A harmonic at or above half
// the sample rate reads as -infinity. Levels below -200 dB read as -200.
std::vector<double> harmonicLevelsDb (const std::vector<float>& samples, double sampleRate, double frequency,
                                      int count);
