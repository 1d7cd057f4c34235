#pragma once

#include <string>
#include <vector>

// Reading and writing WAV files: planar float channels at a sample rate.
struct Audio
{
    double sampleRate = 0.0;
    std::vector<std::vector<float>> channels; // all of the same length
};

// Reads 16-, 24- or 32-bit integer PCM or 32- or 64-bit float WAV (also in the extensible
// header). On failure returns false and a readable reason in error.
bool readWav (const std::string& path, Audio& audio, std::string& error);

// Writes 24-bit integer PCM. Samples beyond full scale are clipped; their count is returned in
// clippedSamples. On failure returns false and a readable reason in error.
bool writeWav24 (const std::string& path, const Audio& audio, size_t& clippedSamples, std::string& error);
