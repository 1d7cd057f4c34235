#pragma once

#include "engine/BlockStep.h"

#include <cstdint>
#include <vector>

// One block's running data inside a channel chain: the state stepBlock runs on and the operating
// point it restarts from. The block objects are shared by the chains; the chain reads their
// matrices through the block's own sparse products, so it keeps no copy of them. Sized when a
// model is loaded; the audio path only overwrites values.
struct BlockWorkspace : BlockState
{
    uint32_t numStates = 1;           // nx
    uint32_t numInputs = 1;           // nu
    uint32_t numNonlinearInputs = 1;  // nv
    uint32_t numNonlinearOutputs = 1; // ni
    uint32_t numOutputs = 1;          // ny

    // Values for the processing rate, from the model's rate table; a rate change restarts
    // the state from them, and so does a state that has gone non-finite.
    std::vector<double> operatingP;
    std::vector<double> operatingX;
    std::vector<double> operatingI;

    BlockWorkspace() { resize (1, 1, 1, 1, 1); }

    // Resizes everything to the given dimensions and zeroes it (supplies included).
    void resize (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni, uint32_t ny);
};
