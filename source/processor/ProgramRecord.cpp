#include "processor/ProgramRecord.h"

#include <cmath>

namespace
{
struct ParameterInfo
{
    const char* name;
    const char* key;
};

constexpr ParameterInfo parameterInfo[numParameters] = {
    {"Dual Triodes", "model"}, {"Input", "in"},
    {"Gain", "gain"},          {"Treble", "trbl"},
    {"Middle", "mdl"},         {"Bass", "bas"},
    {"Output", "out"},         {"Oversampling", "ovrsmplng"},
    {"Mono/Stereo", "stro"},   {"Show settings", "showset"},
};

bool isParameterIndex (int index) noexcept
{
    return index >= 0 && index < numParameters;
}

float limitNormalized (float x) noexcept
{
    if (!(x > 0.0f)) // also catches NaN
        return 0.0f;
    return x < 1.0f ? x : 1.0f;
}
} // namespace

juce::String getParameterDisplayName (int index)
{
    return isParameterIndex (index) ? juce::String (parameterInfo[index].name) : juce::String();
}

juce::String getParameterKey (int index)
{
    return isParameterIndex (index) ? juce::String (parameterInfo[index].key) : juce::String();
}

float normalizedToEngine (int index, float x) noexcept
{
    x = limitNormalized (x);
    switch (index)
    {
    case dualTriodesParameter:
    case monoStereoParameter:
    case showSettingsParameter:
        return std::trunc (x + 0.5f);
    case inputParameter:
    case outputParameter:
        return x * 49.0f;
    case gainParameter:
        return std::trunc (x * 16.0f);
    case trebleParameter:
    case middleParameter:
    case bassParameter:
        return std::trunc (x * 14.0f);
    case oversamplingParameter:
        return std::trunc (x * 4.0f);
    default:
        return 0.0f;
    }
}

float engineToNormalized (int index, float v) noexcept
{
    switch (index)
    {
    case dualTriodesParameter:
    case monoStereoParameter:
    case showSettingsParameter:
        return v;
    case inputParameter:
    case outputParameter:
        return v / 49.0f;
    case gainParameter:
        return v * 0.0625f;
    case trebleParameter:
    case middleParameter:
    case bassParameter:
        return v / 14.0f;
    case oversamplingParameter:
        return v * 0.25f;
    default:
        return 0.0f;
    }
}

ProgramRecord::ProgramRecord() noexcept : name ("default")
{
    for (auto& v : values)
        v = 0.0f;
    values[inputParameter] = 25.0f;
    values[outputParameter] = 25.0f;
}

bool ProgramRecord::setNormalizedValue (int index, float x) noexcept
{
    if (!isParameterIndex (index))
        return false;
    const float v = normalizedToEngine (index, x);
    if (v == values[index])
        return false;
    values[index] = v;
    return true;
}

float ProgramRecord::getNormalizedValue (int index) const noexcept
{
    return isParameterIndex (index) ? engineToNormalized (index, values[index]) : 0.0f;
}
