#include "reference/PortSolver.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
// Solves the n x n system M d = b in place (partial pivoting); false when M is singular.
bool solveDense (double (&M)[PortSolver::maxPorts][PortSolver::maxPorts], double* b, int n)
{
    for (int k = 0; k < n; ++k)
    {
        int pivot = k;
        for (int r = k + 1; r < n; ++r)
            if (std::abs (M[r][k]) > std::abs (M[pivot][k]))
                pivot = r;
        if (M[pivot][k] == 0.0 || !std::isfinite (M[pivot][k]))
            return false;
        if (pivot != k)
        {
            std::swap (M[pivot], M[k]);
            std::swap (b[pivot], b[k]);
        }
        for (int r = k + 1; r < n; ++r)
        {
            const double factor = M[r][k] / M[k][k];
            for (int c = k; c < n; ++c)
                M[r][c] -= factor * M[k][c];
            b[r] -= factor * b[k];
        }
    }
    for (int k = n - 1; k >= 0; --k)
    {
        double sum = b[k];
        for (int c = k + 1; c < n; ++c)
            sum -= M[k][c] * b[c];
        b[k] = sum / M[k][k];
    }
    return true;
}

bool allFinite (const double* v, int n)
{
    for (int k = 0; k < n; ++k)
        if (!std::isfinite (v[k]))
            return false;
    return true;
}
} // namespace

PortSolver::PortSolver (const SSParamsVecAutomation& b, const ReferenceTriode& t, PortSolverSettings s)
    : block (b), triode (t), settings (s),
      ni (static_cast<int> (std::min<uint32_t> (b.numNonlinearOutputs, maxPorts))),
      nv (static_cast<int> (std::min<uint32_t> (b.numNonlinearInputs, maxPorts)))
{
    jacobian.resize (b.numNonlinearOutputs, b.numNonlinearInputs);
}

void PortSolver::residual (const double* p, const StateSpaceMatrix& F, const double* i, double* v,
                           double* r) const
{
    for (int m = 0; m < nv; ++m)
    {
        double sum = p[m];
        for (int c = 0; c < ni; ++c)
            sum += F (static_cast<uint32_t> (m), static_cast<uint32_t> (c)) * i[c];
        v[m] = sum;
    }
    Vec f{};
    block.computePortCurrents (v, f.data());
    for (int m = 0; m < ni; ++m)
        r[m] = i[m] - f[static_cast<size_t> (m)];
}

bool PortSolver::withinTolerance (const double* r, const double* i) const
{
    for (int m = 0; m < ni; ++m)
        if (!(std::abs (r[m]) <= settings.relativeTolerance * std::abs (i[m]) + settings.absoluteFloor))
            return false;
    return true;
}

double PortSolver::scaledResidual (const double* p, const StateSpaceMatrix& F, const double* i) const
{
    Vec v{}, r{};
    residual (p, F, i, v.data(), r.data());
    double worst = 0.0;
    for (int m = 0; m < ni; ++m)
        worst = std::max (worst, std::abs (r[static_cast<size_t> (m)]) /
                                     (settings.relativeTolerance * std::abs (i[m]) + settings.absoluteFloor));
    return worst;
}

bool PortSolver::evaluatesOnOverflowBranch (const double* p, const StateSpaceMatrix& F, const double* i) const
{
    Vec v{}, r{};
    triode.resetOverflowHits();
    residual (p, F, i, v.data(), r.data());
    return triode.overflowHitCount() > 0;
}

PortSolveResult PortSolver::solve (const double* p, const StateSpaceMatrix& F, double* i) const
{
    PortSolveResult result;
    Vec v{}, r{}, start{};
    std::copy (i, i + ni, start.begin());
    residual (p, F, i, v.data(), r.data());

    // Two measures of progress: the plain norm follows the large currents, while the norm in
    // units of each port's tolerance follows the small ones (a cut-off triode's femtoamperes),
    // whose progress the rounding noise of the large ones would hide. A step that improves either
    // is taken.
    Vec weight{};
    auto norm = [this] (const Vec& e, const Vec* w)
    {
        double sum = 0.0;
        for (int m = 0; m < ni; ++m)
        {
            const auto k = static_cast<size_t> (m);
            const double scaled = w != nullptr ? e[k] * (*w)[k] : e[k];
            sum += scaled * scaled;
        }
        return std::sqrt (sum);
    };

    for (; result.iterations < settings.maxIterations; ++result.iterations)
    {
        if (withinTolerance (r.data(), i))
        {
            result.converged = true;
            break;
        }

        // Newton step for r(i) = i - f(p + F i): (I - Jf F) d = -r.
        jacobian.fill (0.0);
        block.computePortJacobian (v.data(), jacobian);
        double M[maxPorts][maxPorts] = {};
        Vec step{};
        for (int a = 0; a < ni; ++a)
        {
            for (int c = 0; c < ni; ++c)
            {
                double jf = 0.0;
                for (int k = 0; k < nv; ++k)
                    jf += jacobian (static_cast<uint32_t> (a), static_cast<uint32_t> (k)) *
                          F (static_cast<uint32_t> (k), static_cast<uint32_t> (c));
                M[a][c] = (a == c ? 1.0 : 0.0) - jf;
            }
            step[static_cast<size_t> (a)] = -r[static_cast<size_t> (a)];
        }
        if (!solveDense (M, step.data(), ni))
            break;

        // Halve the step until the residual shrinks; a step that is already negligible ends
        // the iteration on the next tolerance test.
        for (int m = 0; m < ni; ++m)
            weight[static_cast<size_t> (m)] =
                1.0 / (settings.relativeTolerance * std::abs (i[m]) + settings.absoluteFloor);
        const double before = norm (r, nullptr);
        const double beforeWeighted = norm (r, &weight);
        Vec trial{}, vTrial{}, rTrial{};
        double lambda = 1.0;
        bool accepted = false;
        for (int halving = 0; halving < 40; ++halving, lambda *= 0.5)
        {
            for (int m = 0; m < ni; ++m)
                trial[static_cast<size_t> (m)] = i[m] + lambda * step[static_cast<size_t> (m)];
            residual (p, F, trial.data(), vTrial.data(), rTrial.data());
            if (allFinite (rTrial.data(), ni) &&
                (norm (rTrial, nullptr) < before || norm (rTrial, &weight) < beforeWeighted))
            {
                accepted = true;
                break;
            }
        }
        if (!accepted)
        {
            // No decrease along the Newton direction: accept the full step if it is small,
            // otherwise give up here.
            bool small = true;
            for (int m = 0; m < ni; ++m)
                small = small && std::abs (step[static_cast<size_t> (m)]) <=
                                     settings.relativeTolerance * std::abs (i[m]) + settings.absoluteFloor;
            if (!small)
                break;
            for (int m = 0; m < ni; ++m)
                trial[static_cast<size_t> (m)] = i[m] + step[static_cast<size_t> (m)];
            residual (p, F, trial.data(), vTrial.data(), rTrial.data());
        }
        std::copy (trial.begin(), trial.begin() + ni, i);
        v = vTrial;
        r = rTrial;
    }

    if (!allFinite (i, ni))
        std::copy (start.begin(), start.begin() + ni, i);
    if (result.converged)
        result.onOverflowBranch = evaluatesOnOverflowBranch (p, F, i);
    return result;
}

PortSolveResult PortSolver::walk (const Vec& pA, const double* pB, const StateSpaceMatrix& F, double* i,
                                  int depth) const
{
    Vec saved{};
    std::copy (i, i + ni, saved.begin());
    PortSolveResult direct = solve (pB, F, i);
    if (direct.valid() || depth >= settings.maxSubdivisionDepth)
    {
        direct.subSteps = 1;
        return direct;
    }

    std::copy (saved.begin(), saved.begin() + ni, i);
    Vec middle{};
    for (int m = 0; m < nv; ++m)
        middle[static_cast<size_t> (m)] = 0.5 * (pA[static_cast<size_t> (m)] + pB[m]);
    const PortSolveResult first = walk (pA, middle.data(), F, i, depth + 1);
    if (!first.valid())
        return first;
    PortSolveResult second = walk (middle, pB, F, i, depth + 1);
    second.iterations += first.iterations;
    second.subSteps += first.subSteps;
    return second;
}

PortSolveResult PortSolver::solveFrom (const double* pFrom, const double* p, const StateSpaceMatrix& F,
                                       double* i) const
{
    Vec start{};
    std::copy (i, i + ni, start.begin());
    PortSolveResult direct = solve (p, F, i);
    if (direct.valid())
        return direct;

    std::copy (start.begin(), start.begin() + ni, i);
    Vec pA{};
    std::copy (pFrom, pFrom + nv, pA.begin());
    PortSolveResult walked = walk (pA, p, F, i, 1);
    walked.iterations += direct.iterations;
    walked.firstAttemptOnOverflowBranch = direct.onOverflowBranch;
    return walked;
}
