#pragma once

#include "processor/VarkelPreampAudioProcessor.h"

#include <initializer_list>
#include <vector>

// One processBlock over the given channels (all of one length) in a buffer of `bufferChannels`
// channels; channels past the given ones start silent.
inline juce::AudioBuffer<float> processChannels (VarkelPreampAudioProcessor& processor, int bufferChannels,
                                                 std::initializer_list<std::vector<float>> channels)
{
    const int numSamples = static_cast<int> (channels.begin()->size());
    juce::AudioBuffer<float> buffer (bufferChannels, numSamples);
    buffer.clear();
    int c = 0;
    for (const auto& samples : channels)
        buffer.copyFrom (c++, 0, samples.data(), numSamples);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    return buffer;
}
