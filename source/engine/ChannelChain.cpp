#include "engine/ChannelChain.h"

#include <cstdio>

ChannelChain::ChannelChain() = default;
ChannelChain::~ChannelChain() = default;

void ChannelChain::processPlain (float* samples, int n) noexcept
{
    const float in = inputGain.load (std::memory_order_relaxed);
    const float out = outputGain.load (std::memory_order_relaxed);
    for (int s = 0; s < n; ++s)
        samples[s] = static_cast<float> (static_cast<double> (out) * static_cast<double> (samples[s] * in));
}

void ChannelChain::processOversampled (float* samples, int n) noexcept
{
    processPlain (samples, n);
}

ModelLoadResult ChannelChain::loadBlockModel (int, SSParamsVecAutomation*, const std::string& path, bool)
{
    if (std::FILE* f = std::fopen (path.c_str(), "rb"))
    {
        std::fclose (f);
        return ModelLoadResult::success();
    }
    return ModelLoadResult::failure ("model file \"" + path + "\" did not open");
}

void ChannelChain::prepareRate (int32_t newHostRate, int32_t newFactor)
{
    hostRate = newHostRate;
    factor = (newFactor == 2 || newFactor == 4 || newFactor == 8 || newFactor == 16) ? newFactor : 1;
    processingRate = hostRate * factor;
}

void ChannelChain::selectPosition (int, uint32_t) {}
