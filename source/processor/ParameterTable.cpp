#include "processor/ParameterTable.h"

#include <cmath>

namespace
{
constexpr const char* valveSetTexts[] = {"Fresh 12ax7", "Aged  12ax7"};
constexpr const char* oversamplingTexts[] = {"none", "x2", "x4", "x8", "x16"};
constexpr const char* monoStereoTexts[] = {"Mono", "Stereo"};
constexpr const char* showSettingsTexts[] = {"false", "true"};

// The Input knob shows a quarter of the engine value (0..12.25 in quarter steps); the Output
// knob shows it as -37..+12.
constexpr ParameterControl inputControl{0.25, 0.0, 0.25};
constexpr ParameterControl outputControl{1.0, -37.0, 1.0};
constexpr ParameterControl plainControl{};

constexpr ParameterSpec parameterTable[numParameters] = {
    {"Dual Triodes", "model", 1.0f, ParameterSteps::nearest, valveSetTexts, 2, 0.0f,
     ParameterChange::reloadValveSet, plainControl},
    {"Input", "in", 49.0f, ParameterSteps::continuous, nullptr, 0, 0.5f, ParameterChange::inputLevel,
     inputControl},
    {"Gain", "gain", 16.0f, ParameterSteps::truncated, nullptr, 0, 0.5f, ParameterChange::gainPosition,
     plainControl},
    {"Treble", "trbl", 14.0f, ParameterSteps::truncated, nullptr, 0, 0.5f, ParameterChange::tonePosition,
     plainControl},
    {"Middle", "mdl", 14.0f, ParameterSteps::truncated, nullptr, 0, 0.5f, ParameterChange::tonePosition,
     plainControl},
    {"Bass", "bas", 14.0f, ParameterSteps::truncated, nullptr, 0, 0.5f, ParameterChange::tonePosition,
     plainControl},
    {"Output", "out", 49.0f, ParameterSteps::continuous, nullptr, 0, 0.5f, ParameterChange::outputLevel,
     outputControl},
    {"Oversampling", "ovrsmplng", 4.0f, ParameterSteps::truncated, oversamplingTexts, 5, 0.0f,
     ParameterChange::reloadRate, plainControl},
    {"Mono/Stereo", "stro", 1.0f, ParameterSteps::nearest, monoStereoTexts, 2, 0.0f,
     ParameterChange::reloadRate, plainControl},
    {"Show settings", "showset", 1.0f, ParameterSteps::nearest, showSettingsTexts, 2, 0.0f,
     ParameterChange::editorOnly, plainControl},
};

float limitNormalized (float x) noexcept
{
    if (!(x > 0.0f)) // also catches NaN
        return 0.0f;
    return x < 1.0f ? x : 1.0f;
}
} // namespace

bool isParameterIndex (int index) noexcept
{
    return index >= 0 && index < numParameters;
}

const ParameterSpec& getParameterSpec (int index) noexcept
{
    return parameterTable[index];
}

float normalizedToEngine (int index, float x) noexcept
{
    if (!isParameterIndex (index))
        return 0.0f;
    const auto& spec = parameterTable[index];
    const float scaled = limitNormalized (x) * spec.top;
    switch (spec.steps)
    {
    case ParameterSteps::nearest:
        return std::trunc (scaled + 0.5f);
    case ParameterSteps::truncated:
        return std::trunc (scaled);
    case ParameterSteps::continuous:
        return scaled;
    }
    return 0.0f;
}

float engineToNormalized (int index, float v) noexcept
{
    // Dividing by a power of two or by one is exact, so v / top gives what multiplying by the
    // reciprocal would.
    return isParameterIndex (index) ? v / parameterTable[index].top : 0.0f;
}

double engineToControl (int index, float v) noexcept
{
    if (!isParameterIndex (index))
        return 0.0;
    const auto& control = parameterTable[index].control;
    return static_cast<double> (v) * control.scale + control.offset;
}

float controlToNormalized (int index, double controlValue) noexcept
{
    if (!isParameterIndex (index))
        return 0.0f;
    const auto& spec = parameterTable[index];
    // One rounding to float of the double quotient equals the correctly rounded float quotient,
    // so a stepped knob sends exactly step / top.
    return static_cast<float> ((controlValue - spec.control.offset) / spec.control.scale /
                               static_cast<double> (spec.top));
}
