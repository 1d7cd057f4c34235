#include "engine/OperatingPointCheck.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{
// Rest points are solved in double precision and stored as doubles; what differs between two
// stages or two rates differs in the leading digits.
constexpr double relativeTolerance = 1e-6;
constexpr double absoluteFloor = 1e-12;

std::string mismatch (const char* equation, uint32_t row, double residual, double scale)
{
    char text[160];
    std::snprintf (text, sizeof (text), "%s row %u is off by %.3g (terms of size %.3g)", equation,
                   static_cast<unsigned> (row), residual, scale);
    return text;
}
} // namespace

std::string describeOperatingPointMismatch (const SSParamsVecAutomation& block, const double* p, const double* i,
                                            const double* x)
{
    const uint32_t nx = block.numStates, nu = block.numInputs, nv = block.numNonlinearInputs,
                   ni = block.numNonlinearOutputs;
    if (nu == 0)
        return {};
    for (uint32_t k = 0; k < nx; ++k)
        if (!std::isfinite (x[k]))
            return "its state is not finite";
    for (uint32_t k = 0; k < nv; ++k)
        if (!std::isfinite (p[k]))
            return "its nonlinear inputs are not finite";
    for (uint32_t k = 0; k < ni; ++k)
        if (!std::isfinite (i[k]))
            return "its port currents are not finite";

    std::vector<double> u (nu, 0.0);
    block.fillSupplyInputs (u.data(), u.size());

    // Both equations without the signal input: g = x - A x - C i - B u for the states, then
    // p - D x - E u for the nonlinear inputs; b is the signal input's column (B's, then E's). The
    // signal input that best explains g through b, each row weighted by the size of its terms.
    const uint32_t rows = nx + nv;
    std::vector<double> g (rows), b (rows), scale (rows);
    for (uint32_t r = 0; r < nx; ++r)
    {
        double value = x[r];
        double size = std::fabs (x[r]);
        for (uint32_t c = 0; c < nx; ++c)
        {
            value -= block.A (r, c) * x[c];
            size += std::fabs (block.A (r, c) * x[c]);
        }
        for (uint32_t m = 0; m < ni; ++m)
        {
            value -= block.C (r, m) * i[m];
            size += std::fabs (block.C (r, m) * i[m]);
        }
        for (uint32_t c = 1; c < nu; ++c)
        {
            value -= block.B (r, c) * u[c];
            size += std::fabs (block.B (r, c) * u[c]);
        }
        g[r] = value;
        b[r] = block.B (r, 0);
        scale[r] = size;
    }
    for (uint32_t r = 0; r < nv; ++r)
    {
        double value = p[r];
        double size = std::fabs (p[r]);
        for (uint32_t c = 0; c < nx; ++c)
        {
            value -= block.D (r, c) * x[c];
            size += std::fabs (block.D (r, c) * x[c]);
        }
        for (uint32_t c = 1; c < nu; ++c)
        {
            value -= block.E (r, c) * u[c];
            size += std::fabs (block.E (r, c) * u[c]);
        }
        g[nx + r] = value;
        b[nx + r] = block.E (r, 0);
        scale[nx + r] = size;
    }

    // The weights must not depend on the unknown itself, or a huge input would excuse anything.
    double along = 0.0, norm = 0.0;
    for (uint32_t r = 0; r < rows; ++r)
    {
        const double w = 1.0 / (scale[r] + std::fabs (b[r]) + absoluteFloor);
        along += w * w * b[r] * g[r];
        norm += w * w * b[r] * b[r];
    }
    const double signal = norm > 0.0 ? along / norm : 0.0;

    for (uint32_t r = 0; r < rows; ++r)
    {
        const double residual = g[r] - b[r] * signal;
        const double size = scale[r] + std::fabs (b[r] * signal);
        if (!(std::fabs (residual) <= relativeTolerance * size + absoluteFloor))
            return mismatch (r < nx ? "the state equation" : "the nonlinear-input equation", r < nx ? r : r - nx,
                             residual, size);
    }
    return {};
}
