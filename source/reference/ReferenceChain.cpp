#include "reference/ReferenceChain.h"

#include <algorithm>
#include <cmath>

ReferenceChain::ReferenceChain (double rate, int gainPosition, int tonePosition, PortSolverSettings settings,
                                int triodeParameterSet)
    : processingRate (rate), blocks (makePreampBlocks (rate)), pPrevious (PortSolver::maxPorts, 0.0)
{
    triode.selectParameterSet (triodeParameterSet);
    const uint32_t positions[numBlocks] = {static_cast<uint32_t> (std::max (gainPosition, 0)),
                                           static_cast<uint32_t> (std::max (gainPosition, 0)), 0u,
                                           static_cast<uint32_t> (std::max (tonePosition, 0))};
    for (size_t k = 0; k < numBlocks; ++k)
    {
        auto& b = *blocks[k];
        b.triode = &triode;
        b.setControlPosition (positions[k]);
        solvers[k] = std::make_unique<PortSolver> (b, triode, settings);
    }
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
        for (int32_t j = 0; j < b.numSourceInputs; ++j)
            u[static_cast<size_t> (b.firstSourceInput + j)] = b.getAutomationValue (j);
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
        const auto& b = *blocks[k];
        auto& s = running[k];
        s.u[0] = signal;
        std::copy (s.p.begin(), s.p.end(), pPrevious.begin());
        b.computeNonlinearInputs (s.u.data(), s.x.data(), s.p.data());

        const PortSolveResult result = solvers[k]->solveFrom (pPrevious.data(), s.p.data(), b.F, s.i.data());
        ++statistics.solves;
        statistics.newtonIterations += result.iterations;
        statistics.mostIterations = std::max (statistics.mostIterations, result.iterations);
        if (result.firstAttemptOnOverflowBranch)
            ++statistics.overflowBranchHits;
        if (result.subSteps > 0 && result.valid())
            ++statistics.rescues;
        if (!result.valid())
            ++statistics.failures;

        b.updateState (s.u.data(), s.i.data(), s.x.data(), s.xNext.data());
        std::copy (s.xNext.begin(), s.xNext.end(), s.x.begin());
        b.computeOutput (s.u.data(), s.x.data(), s.i.data(), &s.y);
        signal = s.y;
    }
    return signal;
}
