#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// What the processor benchmarks share: the model data folder beside the executable, a guitar-like
// test signal, WAV files of it and CPU clocks.
namespace benchsupport
{
constexpr int hostRate = 48000;

// Makes the folder the processor reads its model data from (beside this executable) a link to
// givenFolder, or, when givenFolder is empty, fills it with model files shaped like the trained
// data (random networks of the trained sizes: 4-8-4 with 8 regions per position for blocks 1 to
// 3, 2-8-2 with 4 regions for block 4, every sample searching all regions).
bool prepareModelData (const juce::String& givenFolder);
// The folder the processor reads its model data from.
juce::File benchModelFolder();

// Plucked-string-like notes: decaying harmonics with a little noise, a new note every half
// second, peaks near 0.5; 48 kHz.
std::vector<float> testSignal (int seconds);

bool writeWav (const juce::File& file, const std::vector<float>& samples);
std::vector<float> readWav (const juce::File& file);

double processCpuSeconds();
double threadCpuSeconds();

// The command line after the program name, and the value after `name` in it (fallback when the
// option or its value is missing).
juce::StringArray commandLineArguments (int argc, char** argv);
juce::String argument (const juce::StringArray& args, const juce::String& name, const juce::String& fallback = {});
} // namespace benchsupport
