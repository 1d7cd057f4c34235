#include "processor/EngineSettings.h"

#include "processor/ParameterTable.h"

#include <array>
#include <cmath>

namespace
{
int truncatedWithin (float value, int top) noexcept
{
    if (!(value > 0.0f)) // also catches NaN
        return 0;
    return value < static_cast<float> (top) ? static_cast<int> (value) : top;
}

int topStep (int parameter) noexcept
{
    return static_cast<int> (getParameterSpec (parameter).top);
}

const std::array<float, numOutputLevels>& outputLevelTable() noexcept
{
    static const auto table = []
    {
        std::array<float, numOutputLevels> levels{};
        for (int i = 0; i < numOutputLevels; ++i)
            levels[static_cast<size_t> (i)] = static_cast<float> (std::pow (10.0, (-6.54 + 0.46 * i) / 20.0));
        return levels;
    }();
    return table;
}
} // namespace

float outputLevel (int index) noexcept
{
    const int limited = index < 0 ? 0 : (index >= numOutputLevels ? numOutputLevels - 1 : index);
    return outputLevelTable()[static_cast<size_t> (limited)];
}

float inputGainFactor (float inputValue) noexcept
{
    float normalized = engineToNormalized (inputParameter, inputValue);
    if (!(normalized > 0.0f))
        normalized = 0.0f;
    else if (normalized > 1.0f)
        normalized = 1.0f;
    return static_cast<float> (static_cast<double> (normalized) * 3.0);
}

float outputGainFactor (float outputValue, double lastStageSupply) noexcept
{
    if (!(lastStageSupply > 0.0) || !std::isfinite (lastStageSupply))
        return 0.0f;
    const double level = outputLevel (truncatedWithin (outputValue, numOutputLevels - 1));
    return static_cast<float> (level / lastStageSupply);
}

int32_t oversamplingFactorForStep (float oversamplingValue) noexcept
{
    if (!(oversamplingValue >= 1.0f && oversamplingValue < 5.0f))
        return 1;
    switch (static_cast<int> (oversamplingValue))
    {
    case 1:
        return 2;
    case 2:
        return 4;
    case 3:
        return 8;
    case 4:
        return 16;
    default:
        return 1;
    }
}

uint32_t gainPosition (float gainValue) noexcept
{
    return static_cast<uint32_t> (truncatedWithin (gainValue, topStep (gainParameter)));
}

uint32_t toneIndex (float trebleValue, float middleValue, float bassValue) noexcept
{
    // Every tone control has 15 steps, so the index packs them in base 15.
    const int steps = topStep (trebleParameter) + 1;
    return static_cast<uint32_t> (truncatedWithin (trebleValue, topStep (trebleParameter)) * steps * steps +
                                  truncatedWithin (bassValue, topStep (bassParameter)) * steps +
                                  truncatedWithin (middleValue, topStep (middleParameter)));
}
