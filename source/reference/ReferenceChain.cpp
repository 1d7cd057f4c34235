#include "reference/ReferenceChain.h"

#include <algorithm>
#include <cmath>

namespace
{
// The blocks with the reference triode at their positions, and one solver per block.
PreampBlockSet positionedBlocks (double rate, int gainPosition, int tonePosition, ReferenceTriode& triode,
                                 int triodeParameterSet)
{
    triode.selectParameterSet (triodeParameterSet);
    PreampBlockSet blocks = makePreampBlocks (rate);
    const uint32_t positions[ReferenceChain::numBlocks] = {static_cast<uint32_t> (std::max (gainPosition, 0)),
                                                           static_cast<uint32_t> (std::max (gainPosition, 0)), 0u,
                                                           static_cast<uint32_t> (std::max (tonePosition, 0))};
    for (size_t k = 0; k < blocks.size(); ++k)
    {
        blocks[k]->triode = &triode;
        blocks[k]->setControlPosition (positions[k]);
    }
    return blocks;
}

std::array<std::unique_ptr<PortSolver>, ReferenceChain::numBlocks>
makeSolvers (const PreampBlockSet& blocks, const ReferenceTriode& triode, const PortSolverSettings& settings)
{
    std::array<std::unique_ptr<PortSolver>, ReferenceChain::numBlocks> solvers;
    for (size_t k = 0; k < blocks.size(); ++k)
        solvers[k] = std::make_unique<PortSolver> (*blocks[k], triode, settings);
    return solvers;
}
} // namespace

ReferenceChain::ReferenceChain (double rate, int gainPosition, int tonePosition, PortSolverSettings settings,
                                int triodeParameterSet)
    : processingRate (rate),
      blocks (positionedBlocks (rate, gainPosition, tonePosition, triode, triodeParameterSet)),
      solvers (makeSolvers (blocks, triode, settings)),
      currents{{{*solvers[0], blocks[0]->F}, {*solvers[1], blocks[1]->F}, {*solvers[2], blocks[2]->F},
                {*solvers[3], blocks[3]->F}}}
{
    solveRestStates();
    reset();
}

void ReferenceChain::solveRestStates()
{
    double restInput = 0.0; // no signal at the preamp input
    for (size_t k = 0; k < numBlocks; ++k)
    {
        const auto& b = *blocks[k];
        std::vector<double> u (b.numInputs, 0.0);
        u[0] = restInput;
        b.fillSupplyInputs (u.data(), u.size());
        rest[k] = solveRestState (b, *solvers[k], u);
        if (!rest[k].converged)
            ++statistics.restFailures;
        restInput = rest[k].y;
    }
}

void ReferenceChain::reset()
{
    for (size_t k = 0; k < numBlocks; ++k)
    {
        auto& s = running[k];
        s.u = rest[k].u;
        s.x = rest[k].x;
        s.p = rest[k].p;
        s.i = rest[k].i;
        s.xNext = rest[k].x;
        s.y = rest[k].y;
        currents[k].restartFrom (s.p);
    }
}

double ReferenceChain::process (double inputVolts)
{
    if (!std::isfinite (inputVolts))
    {
        ++statistics.invalidInputs;
        inputVolts = 0.0;
    }
    ++statistics.samples;

    double signal = inputVolts;
    for (size_t k = 0; k < numBlocks; ++k)
    {
        signal = stepBlock (*blocks[k], running[k], signal, currents[k]);
        const PortSolveResult& result = currents[k].lastResult();
        ++statistics.solves;
        statistics.newtonIterations += result.iterations;
        statistics.mostIterations = std::max (statistics.mostIterations, result.iterations);
        if (result.firstAttemptOnOverflowBranch)
            ++statistics.overflowBranchHits;
        if (result.subSteps > 0 && result.valid())
            ++statistics.rescues;
        if (!result.valid())
            ++statistics.failures;
    }
    return signal;
}
