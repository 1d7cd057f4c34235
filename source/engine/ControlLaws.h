#pragma once

#include <cstdint>

// Resistances of a potentiometer split by its wiper.
struct PotParts
{
    double upper; // top to wiper
    double lower; // wiper to bottom
};

// Gain pot of the first two stages: a 1 MOhm-class taper with base 17, position * step in 0..1.
// The top position makes the upper part exactly 0 Ohm.
PotParts gainLawParts (uint32_t position, double step);

struct ToneSetting
{
    PotParts treble;
    double bass;
    PotParts middle;
};

// The combined tone position 225 T + 15 B + M (each index 0..perControl-1); positions beyond the
// last triple mean all three indices 0.
ToneSetting toneLawSetting (uint32_t position, int perControl, double step);
