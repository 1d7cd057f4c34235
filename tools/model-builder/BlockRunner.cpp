#include "BlockRunner.h"

#include "engine/BlockStep.h"
#include "reference/ExactPortCurrents.h"

#include <algorithm>
#include <cmath>

namespace
{
// Orthogonal projector (nv x nv, row-major) onto the directions p can move in: the column space
// of [D, E(:,0)]. Supplies are constant, so moves outside it are not reachable, and jittering
// there would teach the networks a spread the circuit never shows.
std::vector<double> reachableProjector (const SSParamsVecAutomation& block)
{
    const uint32_t nv = block.numNonlinearInputs;
    std::vector<std::vector<double>> basis;
    auto consider = [&] (std::vector<double> v)
    {
        for (const auto& b : basis)
        {
            double dot = 0.0;
            for (uint32_t r = 0; r < nv; ++r)
                dot += v[r] * b[r];
            for (uint32_t r = 0; r < nv; ++r)
                v[r] -= dot * b[r];
        }
        double norm = 0.0;
        for (double e : v)
            norm += e * e;
        norm = std::sqrt (norm);
        if (norm > 1e-9)
        {
            for (double& e : v)
                e /= norm;
            basis.push_back (v);
        }
    };
    for (uint32_t c = 0; c < block.numStates; ++c)
    {
        std::vector<double> v (nv);
        double scale = 0.0;
        for (uint32_t r = 0; r < nv; ++r)
            scale = std::max (scale, std::abs (block.D (r, c)));
        for (uint32_t r = 0; r < nv; ++r)
            v[r] = scale > 0.0 ? block.D (r, c) / scale : 0.0;
        consider (v);
    }
    std::vector<double> e0 (nv);
    for (uint32_t r = 0; r < nv; ++r)
        e0[r] = block.E (r, 0);
    consider (e0);

    std::vector<double> projector (static_cast<size_t> (nv) * nv, 0.0);
    for (const auto& b : basis)
        for (uint32_t r = 0; r < nv; ++r)
            for (uint32_t c = 0; c < nv; ++c)
                projector[r * nv + c] += b[r] * b[c];
    return projector;
}
} // namespace

ExactBlockRunner::ExactBlockRunner (const SSParamsVecAutomation& b, const PortSolver& s, double restInput)
    : block (b), solver (s), projector (reachableProjector (b))
{
    std::vector<double> u (b.numInputs, 0.0);
    u[0] = restInput;
    b.fillSupplyInputs (u.data(), u.size());
    restPoint = solveRestState (b, s, u);
}

std::vector<double> ExactBlockRunner::run (const std::vector<double>& input, const TrajectoryOptions& options,
                                           SampleSet* samples, std::mt19937& random)
{
    std::normal_distribution<double> gauss (0.0, 1.0);
    const size_t nv = block.numNonlinearInputs;
    BlockState state;
    state.u = restPoint.u;
    state.x = restPoint.x;
    state.p = restPoint.p;
    state.i = restPoint.i;
    state.xNext.assign (block.numStates, 0.0);
    ExactPortCurrents exact (solver, block.F);
    exact.restartFrom (state.p);
    std::vector<double> jittered (nv), move (nv), current (state.i.size());
    std::vector<double> output (input.size());
    const size_t stride = static_cast<size_t> (std::max (1, options.stride));
    size_t n = 0;
    // Samples are taken where the currents are known, before the state update reads them.
    auto sampledCurrents = [&] (const double* p, double* i)
    {
        exact (p, i);
        const bool solved = exact.lastResult().valid();
        if (!solved)
            ++failures;
        if (samples == nullptr || !solved || n % stride != 0)
            return;
        const double* previous = exact.previousInputs();
        samples->add (p, i);
        for (int c = 0; c < options.jitteredCopies; ++c)
        {
            for (size_t q = 0; q < nv; ++q)
                move[q] = std::max (options.jitterFloor, options.jitterFraction * std::abs (p[q] - previous[q]))
                          * gauss (random);
            for (size_t r = 0; r < nv; ++r)
            {
                double d = 0.0;
                for (size_t q = 0; q < nv; ++q)
                    d += projector[r * nv + q] * move[q];
                jittered[r] = p[r] + d;
            }
            std::copy (i, i + current.size(), current.begin());
            if (solver.solveFrom (p, jittered.data(), block.F, current.data()).valid())
                samples->add (jittered.data(), current.data());
        }
    };
    for (n = 0; n < input.size(); ++n)
        output[n] = stepBlock (block, state, input[n], sampledCurrents);
    return output;
}
