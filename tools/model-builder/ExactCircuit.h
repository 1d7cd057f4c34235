#pragma once

#include "engine/PreampBlocks.h"
#include "reference/PortSolver.h"
#include "reference/ReferenceTriode.h"

#include <array>
#include <memory>

// The exact circuit at one processing rate with one triode parameter set: the four preamp blocks
// on the reference triode, each with the port solver that gives its currents.
struct ExactCircuit
{
    ReferenceTriode triode;
    PreampBlockSet blocks;
    std::array<std::unique_ptr<PortSolver>, 4> solvers;

    ExactCircuit (double rate, int triodeParameterSet) : blocks (makePreampBlocks (rate))
    {
        triode.selectParameterSet (triodeParameterSet);
        for (size_t k = 0; k < 4; ++k)
        {
            blocks[k]->triode = &triode;
            solvers[k] = std::make_unique<PortSolver> (*blocks[k], triode);
        }
    }

    ExactCircuit (const ExactCircuit&) = delete;
    ExactCircuit& operator= (const ExactCircuit&) = delete;

    SSParamsVecAutomation& block (int k) { return *blocks[static_cast<size_t> (k)]; }
    const PortSolver& solver (int k) const { return *solvers[static_cast<size_t> (k)]; }
};
