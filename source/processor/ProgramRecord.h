#pragma once

#include "processor/ParameterTable.h"

#include <juce_core/juce_core.h>

// Host-visible name and saved-state key of a parameter; empty for an index outside 0..9.
juce::String getParameterDisplayName (int index);
juce::String getParameterKey (int index);

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
