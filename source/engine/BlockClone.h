#pragma once

#include "engine/SSParamsVec.h"

// What a clone takes over from its source besides `inputDefaults`: the shared triode, the nine
// matrices with their sizes and the source-input range. Component values stay the clone's defaults.
inline void copyCloneState (const SSParamsVecAutomation& from, SSParamsVecAutomation& to)
{
    to.triode = from.triode;
    to.A = from.A;
    to.B = from.B;
    to.C = from.C;
    to.D = from.D;
    to.E = from.E;
    to.F = from.F;
    to.G = from.G;
    to.H = from.H;
    to.K = from.K;
    to.firstSourceInput = from.firstSourceInput;
    to.numSourceInputs = from.numSourceInputs;
}
