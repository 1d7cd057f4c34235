#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <chrono>
#include <thread>

// Stands in for a host's audio thread: one block every period, in real time, the way the plug-in
// wrapper runs it (the callback lock held for the call, silence while processing is suspended).
// It records the longest span between two blocks that were processed rather than silenced or
// delayed, so a control operation's cost to the audio shows as that span minus one period.
class AudioThreadProbe
{
public:
    AudioThreadProbe (juce::AudioProcessor& processor, int channels, int blockSize, double sampleRate);
    ~AudioThreadProbe();

    AudioThreadProbe (const AudioThreadProbe&) = delete;
    AudioThreadProbe& operator= (const AudioThreadProbe&) = delete;

    // Starts a new measuring window; longestGapMs() covers the blocks since then.
    void resetWindow();
    double longestGapMs() const;
    double periodMs() const { return period.count() * 1e3; }
    long silencedBlocks() const { return silenced.load(); }

private:
    void run();

    juce::AudioProcessor& processor;
    juce::AudioBuffer<float> buffer;
    std::chrono::duration<double> period;
    std::atomic<bool> stopping{false};
    std::atomic<long> longestGapNs{0};
    std::atomic<long> silenced{0};
    std::atomic<bool> resetRequested{false};
    std::thread thread;
};
