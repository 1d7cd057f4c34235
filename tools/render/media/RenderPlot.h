#pragma once

#include "WavFile.h"

#include <string>
#include <vector>

// What one plot shows: the input and output waveforms, the output's spectrum over the input's,
// and for a test tone the level of each harmonic.
struct PlotContent
{
    std::string title;              // first line of the header
    std::vector<std::string> notes; // further header lines: the settings
    const Audio* input = nullptr;
    const Audio* output = nullptr;
    double toneFrequency = 0.0;     // Hz; 0: no test tone, no harmonic panel
    std::vector<double> harmonics;  // output level of harmonics 1, 2, ... in dBFS
};

// Draws the plot with the framework's software renderer (no display needed) and writes it as
// PNG. On failure returns false and a reason for a person to read.
bool writePlot (const std::string& path, const PlotContent& content, std::string& error);
