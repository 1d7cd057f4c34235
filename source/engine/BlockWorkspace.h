#pragma once

#include "engine/SSParamsVec.h"

#include <gmm/gmm.h>

#include <cstdint>
#include <vector>

// One block's running data inside a channel chain: copies of the block's nine matrices (the
// blocks are shared by both chains, so every chain keeps its own copy to read while processing)
// and the per-sample vectors. Sized when a model is loaded; the audio path only overwrites
// values.
struct BlockWorkspace
{
    uint32_t numStates = 1;           // nx
    uint32_t numInputs = 1;           // nu
    uint32_t numNonlinearInputs = 1;  // nv
    uint32_t numNonlinearOutputs = 1; // ni
    uint32_t numOutputs = 1;          // ny

    gmm::dense_matrix<double> A, B, C, D, E, F, G, H, K; // column-major

    std::vector<double> x;     // running state (nx)
    std::vector<double> p;     // nonlinear inputs (nv)
    std::vector<double> i;     // port currents (ni)
    std::vector<double> xNext; // next state (nx), written by the block

    // Values for the processing rate, from the model's rate table; a rate change restarts
    // the state from them, and so does a state that has gone non-finite.
    std::vector<double> operatingP;
    std::vector<double> operatingX;
    std::vector<double> operatingI;

    BlockWorkspace() { resize (1, 1, 1, 1, 1); }

    // Resizes everything to the given dimensions and zeroes it.
    void resize (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni, uint32_t ny);

    // Copies the block's nine matrices, values and sizes.
    void copyMatrices (const SSParamsVec& block);
};
