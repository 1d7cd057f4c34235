#pragma once

#include <juce_graphics/juce_graphics.h>

// The flat pictures of the editor: the background with its settings overlay, the bar and
// selector strips, the mono/stereo switch and the valve-type outlines.
namespace PanelArt
{
// Two 460 x 368 frames: settings hidden (0) and shown (1).
juce::Image background();

// numFrames frames of 208 x 23; frame k fills k / (numFrames - 1) of the width.
juce::Image barStrip (int numFrames);

// Five 152 x 29 frames; frame k highlights cell k of "Off", "X2", "X4", "X8", "X16".
juce::Image oversamplingStrip();

// Two 37 x 22 frames: one sound wave (mono), two sound waves (stereo).
juce::Image monoStereo();

// A dotted rounded-rectangle outline filling a width x height picture.
juce::Image dottedOutline (int width, int height, juce::Colour colour);
} // namespace PanelArt
