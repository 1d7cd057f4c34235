#pragma once

#include <juce_core/juce_core.h>

// A value with exactly two decimals, rounded by adding 0.5 to the magnitude times 100 and
// truncating (so 0.125 reads 0.13): "0.50", "1.00", "-0.25".
juce::String formatTwoDecimals (double value);

// The engine value as "%.9g" would print it in the C locale, whatever locale the host has set.
juce::String formatEngineValue (float value);

// The display text of a parameter at an engine value: the named state for the switches
// ("Fresh 12ax7", "x16", "Stereo", "true"), otherwise normalized "=>" engine value, e.g.
// "0.50=>24.5". Empty for an index outside 0..9 or a switch value outside its table.
juce::String getParameterValueText (int index, float engineValue);
