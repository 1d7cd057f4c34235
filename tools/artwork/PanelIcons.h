#pragma once

#include <juce_graphics/juce_graphics.h>

// Line-art pictograms for the settings panel. Each is drawn centred in box, as large as fits
// while keeping its proportions, in one colour.
namespace PanelIcons
{
void jackPlug (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour);
void valve (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour);
void violin (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour);
void microphone (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour);
void bassHead (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour);
void loudspeaker (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour, int soundWaves);
} // namespace PanelIcons
