#pragma once

#include "reference/PortSolver.h"

#include <vector>

// The steady state a block's discrete model keeps while its inputs stay constant: x = A x + B u
// + C i, i = f(D x + E u + F i). Depends on the sample rate through the history currents x and
// hence p, though not through the node voltages.
struct BlockOperatingPoint
{
    std::vector<double> u; // inputs: rest signal value, then the supplies
    std::vector<double> x;
    std::vector<double> p;
    std::vector<double> i;
    double y = 0.0;
    bool converged = false;
};

// Solves the block's steady state for the constant input vector u. A state whose capacitor
// is connected to nothing (its row and column of A are the identity's) keeps 0.
BlockOperatingPoint solveRestState (const SSParamsVecAutomation& block, const PortSolver& solver,
                                    const std::vector<double>& u);
