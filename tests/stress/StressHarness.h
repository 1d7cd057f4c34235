#pragma once

#include "processor/VarkelPreampAudioProcessor.h"

#include <atomic>
#include <cstdint>
#include <thread>

namespace stress
{
// Host rate the stress tests play at; model data exist for it and for the construction rate.
constexpr int hostRate = 48000;
constexpr int blockSize = 128;

// Writes both valve sets' model files, with block 3 for every factor at 44100 Hz and 48000 Hz,
// into the folder the plug-in reads beside this executable. Small random networks with 17
// positions for the gain blocks, so position and reload changes really rebuild something.
void writeModelDataBesideExecutable();

// The host's audio thread as the plug-in wrappers drive it: the callback lock held for the
// whole call, and silence written instead of processing while the processor is suspended.
class WrapperAudioThread
{
public:
    explicit WrapperAudioThread (juce::AudioProcessor& processor);
    ~WrapperAudioThread();

    WrapperAudioThread (const WrapperAudioThread&) = delete;
    WrapperAudioThread& operator= (const WrapperAudioThread&) = delete;

    void stop();

    std::atomic<int64_t> processedBlocks{0};
    std::atomic<int64_t> suspendedBlocks{0};
    std::atomic<int64_t> nonFiniteSamples{0};

private:
    void run();

    juce::AudioProcessor& processor;
    std::atomic<bool> stopRequested{false};
    std::thread thread;
};

// What the editor copies out under the callback lock on every refresh and timer tick.
struct EditorView
{
    float values[numParameters];
    float level[2][3]; // invLength, sum, sumSquares of each chain's level window
};
EditorView readLikeTheEditor (VarkelPreampAudioProcessor& processor);

// True when every value lies in its parameter's engine range and every level figure is finite.
bool isPlausible (const EditorView& view);

// The engine is built for the current program: rate and factor, process routine, every block's
// model and position, both gains, and no model load problem.
void expectEngineMatchesCurrentProgram (VarkelPreampAudioProcessor& processor);

// A fresh processor restored from this one's state saves the same bytes and reports the same
// parameters and program names; restoring it into this one changes nothing either.
void expectStateRoundTrips (VarkelPreampAudioProcessor& processor);
} // namespace stress
