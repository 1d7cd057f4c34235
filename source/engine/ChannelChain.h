#pragma once

#include "engine/LevelWindow.h"
#include "engine/SSParamsVec.h"
#include "models/ModelLoadResult.h"

#include <atomic>
#include <cstdint>
#include <string>

// One audio channel's run through the four circuit blocks of the preamp.
//
// This is the pass-through stand-in: it applies inputGain and outputGain only, so the
// processor can be built and tested before the circuit engine and the model data exist.
// The real chain keeps this interface.
class ChannelChain
{
public:
    static constexpr int numBlocks = 4;

    ChannelChain();
    ~ChannelChain();

    ChannelChain (const ChannelChain&) = delete;
    ChannelChain& operator= (const ChannelChain&) = delete;

    // Per-sample path (audio thread): n samples of one channel, in place.
    void processPlain (float* samples, int n) noexcept;
    void processOversampled (float* samples, int n) noexcept;

    // Control path (processing suspended).
    ModelLoadResult loadBlockModel (int blockIndex, SSParamsVecAutomation* block, const std::string& path,
                                    bool usesPca);
    void prepareRate (int32_t hostRate, int32_t factor);
    void selectPosition (int blockIndex, uint32_t position);

    int32_t getHostRate() const noexcept { return hostRate; }
    int32_t getProcessingRate() const noexcept { return processingRate; }
    int32_t getFactor() const noexcept { return factor; }

    // Written by the processor at any time, read once per sample; never torn.
    std::atomic<float> inputGain { 1.0f };
    std::atomic<float> outputGain { 1.0f };

    LevelWindow levelWindow;

private:
    int32_t hostRate = 0;
    int32_t processingRate = 0;
    int32_t factor = 1;
};
