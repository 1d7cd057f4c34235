#pragma once

#include <cstdint>

// The counts of a circuit block that its model data must fit: a model is trained on one block's
// nonlinear inputs, port currents and states, and its rate tables hold one operating point of
// each. The engine fills it from its block when it loads a model; a state that has not loaded one
// has all counts zero.
struct BlockShape
{
    uint32_t numStates = 0;           // nx
    uint32_t numNonlinearInputs = 0;  // nv
    uint32_t numNonlinearOutputs = 0; // ni
};
