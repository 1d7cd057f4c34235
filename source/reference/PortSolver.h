#pragma once

#include "engine/SSParamsVec.h"
#include "reference/ReferenceTriode.h"

#include <array>

struct PortSolverSettings
{
    double relativeTolerance = 1e-10; // per port current
    double absoluteFloor = 1e-18;     // amperes; currents of a cut-off triode are compared to this
    int maxIterations = 100;
    int maxSubdivisionDepth = 12; // up to 4096 sub-steps when walking p
};

struct PortSolveResult
{
    bool converged = false;
    bool onOverflowBranch = false; // converged, but where the triode's exp guard fakes a solution
    int iterations = 0;
    int subSteps = 0; // sub-steps walked from the previous p; 0 when none were needed
    bool firstAttemptOnOverflowBranch = false; // solveFrom: why sub-steps were needed

    bool valid() const { return converged && !onOverflowBranch; }
};

// Solves the port equation i = f(p + F i) of one block by damped Newton iteration, with the
// block's port currents and its Jacobian (exact when the block's triode is the ReferenceTriode
// given here). Its scratch storage is sized at construction: nothing is allocated while solving,
// and one solver must not be used by two threads at once.
class PortSolver
{
public:
    static constexpr int maxPorts = 4;

    PortSolver (const SSParamsVecAutomation& block, const ReferenceTriode& triode,
                PortSolverSettings settings = {});

    // Newton from the guess in `i` (warm start); `i` receives the solution or, on failure, the
    // last finite iterate.
    PortSolveResult solve (const double* p, const StateSpaceMatrix& F, double* i) const;

    // As solve; when Newton fails or settles on the overflow branch, walks p from pFrom (where
    // the incoming `i` is the solution) to p in ever finer sub-steps, each warm-started from the
    // one before.
    PortSolveResult solveFrom (const double* pFrom, const double* p, const StateSpaceMatrix& F,
                               double* i) const;

    // The largest |r_m| / (tol |i_m| + floor) of r = i - f(p + F i); <= 1 means solved.
    double scaledResidual (const double* p, const StateSpaceMatrix& F, const double* i) const;

    const PortSolverSettings& getSettings() const { return settings; }
    int nonlinearInputCount() const { return nv; }

private:
    using Vec = std::array<double, maxPorts>;

    void residual (const double* p, const StateSpaceMatrix& F, const double* i, double* v, double* r) const;
    bool withinTolerance (const double* r, const double* i) const;
    bool evaluatesOnOverflowBranch (const double* p, const StateSpaceMatrix& F, const double* i) const;
    PortSolveResult walk (const Vec& pA, const double* pB, const StateSpaceMatrix& F, double* i,
                          int depth) const;

    const SSParamsVecAutomation& block;
    const ReferenceTriode& triode;
    PortSolverSettings settings;
    int ni;
    int nv;
    mutable StateSpaceMatrix jacobian; // sized once; the block writes its triode entries into it
};
