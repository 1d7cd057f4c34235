#pragma once

#include <juce_core/juce_core.h>

// The ten host parameters in index order.
enum ParameterIndex
{
    dualTriodesParameter = 0,
    inputParameter,
    gainParameter,
    trebleParameter,
    middleParameter,
    bassParameter,
    outputParameter,
    oversamplingParameter,
    monoStereoParameter,
    showSettingsParameter,
    numParameters
};

// Host-visible name and saved-state key of a parameter; empty for an index outside 0..9.
juce::String getParameterDisplayName (int index);
juce::String getParameterKey (int index);

// Engine value of a parameter from the host's normalized value and back. The arithmetic is
// 32-bit float with truncation toward zero, so a value restored from the host lands on the same
// step it was saved from. x is limited to 0..1 first (NaN counts as 0): no engine value can leave
// its range, whatever a host sends. An index outside 0..9 gives 0.
float normalizedToEngine (int index, float x) noexcept;
float engineToNormalized (int index, float v) noexcept;

// One program: a name and the ten parameter values in engine units.
struct ProgramRecord
{
    ProgramRecord() noexcept;

    juce::String name;
    float values[numParameters];

    // Stores the engine value of x for the parameter (0..9) and answers true, or answers false
    // when it equals the stored value.
    bool setNormalizedValue (int index, float x) noexcept;
    float getNormalizedValue (int index) const noexcept;
};
