#pragma once

#include "SampleSet.h"

#include "reference/PortSolver.h"
#include "reference/RestState.h"

#include <random>
#include <cstdint>
#include <vector>

struct TrajectoryOptions
{
    int stride = 4;              // keep every stride-th sample of a trajectory
    int jitteredCopies = 1;      // extra points per kept sample, p moved a little off the trajectory
    double jitterFraction = 0.5; // jitter scale relative to the last step of p, per element
    double jitterFloor = 1e-3;   // volts; jitter never smaller than this
};

// One block solved exactly, run on an input sequence from its rest state: the pieces the
// builder chains block by block, so that block 4 can be run for many tone positions on the
// same block 3 output without re-running the first three blocks.
class ExactBlockRunner
{
public:
    // The block must already have its rate, position and triode (the solver's) set.
    ExactBlockRunner (const SSParamsVecAutomation& block, const PortSolver& solver, double restInput);

    const BlockOperatingPoint& rest() const { return restPoint; }
    long solveFailures() const { return failures; }

    // Runs the block from rest over `input`; returns its output sequence. Every stride-th sample
    // (and its jittered neighbours) is appended to `samples` when given.
    std::vector<double> run (const std::vector<double>& input, const TrajectoryOptions& options, SampleSet* samples,
                             std::mt19937& random);

private:
    const SSParamsVecAutomation& block;
    const PortSolver& solver;
    BlockOperatingPoint restPoint;
    std::vector<double> projector; // onto the directions p can move in
    long failures = 0;
};
