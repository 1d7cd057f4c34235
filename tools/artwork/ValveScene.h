#pragma once

#include "FloatImage.h"

// Two 12AX7 valves in their sockets on a dark glossy surface before a dark wall. The heater
// glow is added as light (additive, with its reflection on the surface), so the same static
// scene serves every frame and only the light's strength and colour change.
class ValveScene
{
public:
    static constexpr int width = 460;
    static constexpr int height = 368;
    static constexpr int numFrames = 24;

    ValveScene();

    // Frame 0 is nearly dark, the last frame bright warm orange.
    juce::Image renderFrame (int frame, bool outOfFocus) const;

    // Heater brightness 0..1 of a frame: rises slowly at first, as a warming filament does.
    static float glowIntensity (int frame);

private:
    FloatImage litScene;     // wall, surface, valves and their mirror image; heaters cold
    FloatImage filamentCore; // the visible heater parts, nearly sharp
    FloatImage glassHalo;    // light scattered in the glass around them
    FloatImage roomSpill;    // the faint light thrown on the wall and surface
    FloatImage surfaceLight; // the glow reflected by the surface
};
