#pragma once

#include "engine/BlockStep.h"
#include "engine/PreampBlocks.h"
#include "reference/ExactPortCurrents.h"
#include "reference/PortSolver.h"
#include "reference/ReferenceTriode.h"
#include "reference/RestState.h"

#include <array>
#include <memory>
#include <vector>

// The four preamp blocks with the exactly solved triode equations in place of the region
// networks: the ground truth the networks are trained on and measured against. Per sample and
// block it runs the channel chain's own step (stepBlock) with the exact port solver for the
// currents, so comparing the chain with it measures only the networks' error.
class ReferenceChain
{
public:
    static constexpr int numBlocks = 4;

    struct Stats
    {
        long samples = 0;
        long solves = 0;
        long newtonIterations = 0;
        int mostIterations = 0;      // in one solve, sub-steps included
        long overflowBranchHits = 0; // Newton settled on the triode's false branch
        long rescues = 0;            // solves that needed sub-steps and then succeeded
        long failures = 0;           // solves left unsolved even after sub-stepping
        long invalidInputs = 0;      // non-finite input samples, processed as 0 V
        long restFailures = 0;       // blocks whose rest state did not converge
    };

    // tonePosition is the block 4 position 225 treble + 15 bass + middle. triodeParameterSet
    // picks the triode's built-in parameter set (0 fresh; 2 the lower emission of an aged valve).
    ReferenceChain (double processingRate, int gainPosition, int tonePosition,
                    PortSolverSettings settings = {}, int triodeParameterSet = 0);

    // One sample at the processing rate: the input in volts at block 1, the output of block 4.
    double process (double inputVolts);

    // Back to the rest state; the statistics are kept.
    void reset();

    const Stats& stats() const { return statistics; }
    const BlockOperatingPoint& restState (int block) const { return rest[static_cast<size_t> (block)]; }
    const BlockState& state (int block) const { return running[static_cast<size_t> (block)]; }
    const SSParamsVecAutomation& block (int index) const { return *blocks[static_cast<size_t> (index)]; }
    const PortSolver& solver (int index) const { return *solvers[static_cast<size_t> (index)]; }
    double getProcessingRate() const { return processingRate; }

private:
    void solveRestStates();

    double processingRate;
    ReferenceTriode triode; // shared by all four blocks in place of their own models
    PreampBlockSet blocks;
    std::array<std::unique_ptr<PortSolver>, numBlocks> solvers;
    std::array<BlockOperatingPoint, numBlocks> rest;
    std::array<BlockState, numBlocks> running;
    std::array<ExactPortCurrents, numBlocks> currents;
    Stats statistics;
};
