#include "reference/RestState.h"

#include <cmath>
#include <utility>

namespace
{
constexpr int maxStates = 8;

bool isInertState (const StateSpaceMatrix& A, uint32_t k)
{
    for (uint32_t j = 0; j < A.rows; ++j)
        if (A (k, j) != (j == k ? 1.0 : 0.0) || A (j, k) != (j == k ? 1.0 : 0.0))
            return false;
    return true;
}

// Solves (I - A) X = R for the active states, column by column of R (nx x cols, column-major).
bool solveSteadyStates (const StateSpaceMatrix& A, std::vector<double>& R, uint32_t cols)
{
    const auto nx = A.rows;
    if (nx > maxStates)
        return false;
    double M[maxStates][maxStates] = {};
    bool inert[maxStates] = {};
    for (uint32_t r = 0; r < nx; ++r)
    {
        inert[r] = isInertState (A, r);
        for (uint32_t c = 0; c < nx; ++c)
            M[r][c] = inert[r] ? (r == c ? 1.0 : 0.0) : (r == c ? 1.0 : 0.0) - A (r, c);
        if (inert[r])
            for (uint32_t c = 0; c < cols; ++c)
                R[c * nx + r] = 0.0;
    }
    for (uint32_t k = 0; k < nx; ++k)
    {
        uint32_t pivot = k;
        for (uint32_t r = k + 1; r < nx; ++r)
            if (std::abs (M[r][k]) > std::abs (M[pivot][k]))
                pivot = r;
        if (M[pivot][k] == 0.0)
            return false;
        if (pivot != k)
        {
            std::swap (M[pivot], M[k]);
            for (uint32_t c = 0; c < cols; ++c)
                std::swap (R[c * nx + pivot], R[c * nx + k]);
        }
        for (uint32_t r = k + 1; r < nx; ++r)
        {
            const double factor = M[r][k] / M[k][k];
            for (uint32_t c = k; c < nx; ++c)
                M[r][c] -= factor * M[k][c];
            for (uint32_t c = 0; c < cols; ++c)
                R[c * nx + r] -= factor * R[c * nx + k];
        }
    }
    for (uint32_t c = 0; c < cols; ++c)
        for (int k = static_cast<int> (nx) - 1; k >= 0; --k)
        {
            double sum = R[c * nx + static_cast<uint32_t> (k)];
            for (uint32_t j = static_cast<uint32_t> (k) + 1; j < nx; ++j)
                sum -= M[k][j] * R[c * nx + j];
            R[c * nx + static_cast<uint32_t> (k)] = sum / M[k][k];
        }
    return true;
}
} // namespace

BlockOperatingPoint solveRestState (const SSParamsVecAutomation& block, const PortSolver& solver,
                                    const std::vector<double>& u)
{
    const uint32_t nx = block.numStates, nu = block.numInputs, nv = block.numNonlinearInputs,
                   ni = block.numNonlinearOutputs;
    BlockOperatingPoint point;
    point.u = u;
    point.u.resize (nu, 0.0);
    point.x.assign (nx, 0.0);
    point.p.assign (nv, 0.0);
    point.i.assign (ni, 0.0);

    // x = S (B u + C i) with S = (I - A)^-1 over the active states: first S B u and S C.
    std::vector<double> R (static_cast<size_t> (nx) * (1 + ni), 0.0);
    for (uint32_t r = 0; r < nx; ++r)
    {
        for (uint32_t c = 0; c < nu; ++c)
            R[r] += block.B (r, c) * point.u[c];
        for (uint32_t m = 0; m < ni; ++m)
            R[(1 + m) * nx + r] = block.C (r, m);
    }
    if (!solveSteadyStates (block.A, R, 1 + ni))
        return point;

    // At rest the port equation becomes i = f(p0 + Fdc i) with p0 = D S B u + E u and
    // Fdc = D S C + F: the same equation as per sample, with the capacitors' memory folded in.
    StateSpaceMatrix Fdc;
    Fdc.resize (nv, ni);
    std::vector<double> p0 (nv, 0.0);
    for (uint32_t r = 0; r < nv; ++r)
    {
        for (uint32_t c = 0; c < nu; ++c)
            p0[r] += block.E (r, c) * point.u[c];
        for (uint32_t k = 0; k < nx; ++k)
            p0[r] += block.D (r, k) * R[k];
        for (uint32_t m = 0; m < ni; ++m)
        {
            double sum = block.F (r, m);
            for (uint32_t k = 0; k < nx; ++k)
                sum += block.D (r, k) * R[(1 + m) * nx + k];
            Fdc (r, m) = sum;
        }
    }

    // Newton from zero currents; if that fails, ramp the inputs up from zero (source stepping).
    std::vector<double> pStep (nv);
    PortSolveResult result = solver.solve (p0.data(), Fdc, point.i.data());
    for (int steps = 16; !result.valid() && steps <= 4096; steps *= 8)
    {
        point.i.assign (ni, 0.0);
        for (int s = 1; s <= steps; ++s)
        {
            for (uint32_t r = 0; r < nv; ++r)
                pStep[r] = p0[r] * s / steps;
            result = solver.solve (pStep.data(), Fdc, point.i.data());
            if (!result.valid())
                break;
        }
    }
    point.converged = result.valid();

    for (uint32_t k = 0; k < nx; ++k)
    {
        point.x[k] = R[k];
        for (uint32_t m = 0; m < ni; ++m)
            point.x[k] += R[(1 + m) * nx + k] * point.i[m];
    }
    block.computeNonlinearInputs (point.u.data(), point.x.data(), point.p.data());
    block.computeOutput (point.u.data(), point.x.data(), point.i.data(), &point.y);
    return point;
}
