#include "AudioThreadProbe.h"

#include <cmath>

AudioThreadProbe::AudioThreadProbe (juce::AudioProcessor& p, int channels, int blockSize, double sampleRate)
    : processor (p), buffer (channels, blockSize), period (blockSize / sampleRate)
{
    thread = std::thread ([this] { run(); });
}

AudioThreadProbe::~AudioThreadProbe()
{
    stopping = true;
    thread.join();
}

void AudioThreadProbe::resetWindow()
{
    resetRequested = true;
    while (resetRequested.load())
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
}

double AudioThreadProbe::longestGapMs() const
{
    return static_cast<double> (longestGapNs.load()) * 1e-6;
}

void AudioThreadProbe::run()
{
    using clock = std::chrono::steady_clock;
    juce::MidiBuffer midi;
    auto lastProcessed = clock::now();
    auto deadline = lastProcessed;
    double phase = 0.0;
    while (!stopping.load())
    {
        deadline += std::chrono::duration_cast<clock::duration> (period);
        std::this_thread::sleep_until (deadline);

        // A quiet guitar-like tone, so the blocks do real work.
        for (int s = 0; s < buffer.getNumSamples(); ++s, phase += 0.0229)
            for (int c = 0; c < buffer.getNumChannels(); ++c)
                buffer.setSample (c, s, static_cast<float> (0.2 * std::sin (phase)));

        bool processed = false;
        {
            const juce::ScopedLock lock (processor.getCallbackLock());
            if (!processor.isSuspended())
            {
                processor.processBlock (buffer, midi);
                processed = true;
            }
        }
        const auto now = clock::now();
        if (resetRequested.load())
        {
            longestGapNs = 0;
            lastProcessed = now;
            resetRequested = false;
            continue;
        }
        if (!processed)
        {
            ++silenced;
            continue;
        }
        const long gap = static_cast<long> (std::chrono::duration_cast<std::chrono::nanoseconds> (now - lastProcessed).count());
        if (gap > longestGapNs.load())
            longestGapNs = gap;
        lastProcessed = now;
        // A late block is not made up for: the next one is due a period after this one.
        if (now > deadline)
            deadline = now;
    }
}
