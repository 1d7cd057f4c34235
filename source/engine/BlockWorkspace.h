#pragma once

#include "engine/SSParamsVec.h"

#include <gmm/gmm.h>

#include <cstdint>
#include <vector>

// One block's running data inside a channel chain: its copy of the block's D and E (the blocks
// are shared by both chains, so every chain keeps its own copy of what it reads while
// processing) and the per-sample vectors. The block's other matrices are read by the block
// itself, so the chain keeps no copy of them. Sized when a model is loaded; the audio path only
// overwrites values.
struct BlockWorkspace
{
    uint32_t numStates = 1;           // nx
    uint32_t numInputs = 1;           // nu
    uint32_t numNonlinearInputs = 1;  // nv
    uint32_t numNonlinearOutputs = 1; // ni
    uint32_t numOutputs = 1;          // ny

    gmm::dense_matrix<double> D, E; // column-major

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

    // Copies the block's D and E, values and sizes.
    void copyMatrices (const SSParamsVec& block);

    // p = D x + E u (nv rows), column by column from the copies: p starts at 0, then each column
    // of D times its element of x is added, then each column of E times its element of u.
    void nonlinearInputs (const double* u, double* p) const noexcept;
};

namespace workspace_detail
{
// With the row count known at compile time the sums stay in registers; the order of the
// additions is the same either way.
template <uint32_t rows>
inline void denseProduct (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                          uint32_t nu, double* p) noexcept
{
    double acc[rows];
    for (uint32_t r = 0; r < rows; ++r)
        acc[r] = 0.0;
    for (uint32_t c = 0; c < nx; ++c, d += rows)
        for (uint32_t r = 0; r < rows; ++r)
            acc[r] += x[c] * d[r];
    for (uint32_t c = 0; c < nu; ++c, e += rows)
        for (uint32_t r = 0; r < rows; ++r)
            acc[r] += u[c] * e[r];
    for (uint32_t r = 0; r < rows; ++r)
        p[r] = acc[r];
}

inline void denseProduct (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                          uint32_t nu, double* p, uint32_t nv) noexcept
{
    for (uint32_t r = 0; r < nv; ++r)
        p[r] = 0.0;
    for (uint32_t c = 0; c < nx; ++c, d += nv)
        for (uint32_t r = 0; r < nv; ++r)
            p[r] += x[c] * d[r];
    for (uint32_t c = 0; c < nu; ++c, e += nv)
        for (uint32_t r = 0; r < nv; ++r)
            p[r] += u[c] * e[r];
}

inline void nonlinearInputs (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                             uint32_t nu, double* p, uint32_t nv) noexcept
{
    switch (nv)
    {
    case 1:
        denseProduct<1> (d, x, nx, e, u, nu, p);
        break;
    case 2:
        denseProduct<2> (d, x, nx, e, u, nu, p);
        break;
    case 3:
        denseProduct<3> (d, x, nx, e, u, nu, p);
        break;
    case 4:
        denseProduct<4> (d, x, nx, e, u, nu, p);
        break;
    default:
        denseProduct (d, x, nx, e, u, nu, p, nv);
        break;
    }
}

} // namespace workspace_detail

inline void BlockWorkspace::nonlinearInputs (const double* u, double* p) const noexcept
{
    workspace_detail::nonlinearInputs (D.data(), x.data(), numStates, E.data(), u, numInputs, p,
                                       numNonlinearInputs);
}
