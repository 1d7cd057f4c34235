#pragma once

#include "engine/SSParamsVec.h"

#include <gmm/gmm.h>

#include <cstdint>
#include <vector>

// One block's running data inside a channel chain: its copy of the block's D and E (the blocks
// are shared by both chains, so every chain keeps its own copy of what it reads while
// processing), the product p = D x + E u prepared over their non-zero entries, and the
// per-sample vectors. The block's other matrices are read by the block itself, so the chain keeps
// no copy of them. Sized when a model is loaded; the audio path only overwrites values.
struct BlockWorkspace
{
    uint32_t numStates = 1;           // nx
    uint32_t numInputs = 1;           // nu
    uint32_t numNonlinearInputs = 1;  // nv
    uint32_t numNonlinearOutputs = 1; // ni
    uint32_t numOutputs = 1;          // ny

    gmm::dense_matrix<double> D, E; // column-major

    // p = D x + E u over the entries of D and E that are not zero, row by row, each row's terms
    // in the dense product's column order (x columns, then u columns). A zero entry adds a zero
    // product, which leaves a sum that starts at +0 unchanged, so with finite x and u the rows
    // are the dense product's values bit for bit.
    std::vector<double> pCoefficients;
    std::vector<uint32_t> pSources; // index into x for a row's first terms, into u for the rest
    std::vector<uint32_t> pStateTermsEnd; // per row: end of its x terms
    std::vector<uint32_t> pTermsEnd;      // per row: end of its u terms

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

    // Copies the block's D and E (values and sizes) and prepares the product from them.
    void copyMatrices (const SSParamsVec& block);

    // p = D x + E u (nv rows).
    void nonlinearInputs (const double* u, double* p) const noexcept
    {
        const double* c = pCoefficients.data();
        const uint32_t* source = pSources.data();
        const double* state = x.data();
        uint32_t t = 0;
        for (uint32_t r = 0; r < numNonlinearInputs; ++r)
        {
            double sum = 0.0;
            for (const uint32_t end = pStateTermsEnd[r]; t < end; ++t)
                sum += state[source[t]] * c[t];
            for (const uint32_t end = pTermsEnd[r]; t < end; ++t)
                sum += u[source[t]] * c[t];
            p[r] = sum;
        }
    }

private:
    void prepareNonlinearInputTerms();
};
