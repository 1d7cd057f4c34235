#pragma once

#include "reference/PortSolver.h"

#include <algorithm>
#include <array>
#include <vector>

// The exact port solver as the currents of stepBlock: each sample's port equation is solved by
// Newton from the previous sample's currents, walking from the previous sample's nonlinear
// inputs when Newton alone fails. Keeps the inputs of the last two samples, so a caller can still
// see how far p moved after the step.
class ExactPortCurrents
{
public:
    ExactPortCurrents (const PortSolver& portSolver, const StateSpaceMatrix& portMatrix)
        : solver (portSolver), F (portMatrix)
    {
    }

    // The inputs of the sample before the next one (the rest point's, after a reset).
    void restartFrom (const std::vector<double>& p)
    {
        latest.fill (0.0);
        std::copy_n (p.begin(), std::min (p.size(), latest.size()), latest.begin());
        before = latest;
    }

    void operator() (const double* p, double* i) noexcept
    {
        before = latest;
        std::copy_n (p, std::min<size_t> (static_cast<size_t> (solver.nonlinearInputCount()), latest.size()),
                     latest.begin());
        last = solver.solveFrom (before.data(), p, F, i);
    }

    const PortSolveResult& lastResult() const { return last; }
    // The nonlinear inputs of the sample before the last one solved.
    const double* previousInputs() const { return before.data(); }

private:
    const PortSolver& solver;
    const StateSpaceMatrix& F;
    std::array<double, PortSolver::maxPorts> before{}, latest{};
    PortSolveResult last;
};
