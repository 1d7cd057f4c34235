#pragma once

#include "engine/SSParamsVec.h"

#include <utility>
#include <vector>

// What one circuit block carries from one sample to the next, and the vectors of the sample
// itself. Every user of the blocks runs them on this state through stepBlock: the channel chain
// with region networks, the reference chain with the exact port solver, the model builder with
// both, so what the builder trains and measures is the engine's own step.
struct BlockState
{
    std::vector<double> u;     // inputs (nu): u[0] the signal, then the block's supplies
    std::vector<double> x;     // state (nx)
    std::vector<double> p;     // nonlinear inputs (nv)
    std::vector<double> i;     // port currents (ni)
    std::vector<double> xNext; // scratch for the state update (nx)
    double y = 0.0;            // output, from the updated state

    // Sizes every vector for the block and zeroes it, then writes the block's supplies into u.
    void resizeFor (const SSParamsVecAutomation& block)
    {
        u.assign (block.numInputs, 0.0);
        x.assign (block.numStates, 0.0);
        p.assign (block.numNonlinearInputs, 0.0);
        i.assign (block.numNonlinearOutputs, 0.0);
        xNext.assign (block.numStates, 0.0);
        y = 0.0;
        fillSupplies (block);
    }

    void fillSupplies (const SSParamsVecAutomation& block) { block.fillSupplyInputs (u.data(), u.size()); }
};

// The step in its two halves around the currents, for a caller that runs several blocks' steps
// side by side: startStep takes the input and makes p, finishStep updates the state and gives y.
template <typename Block>
inline void startStep (const Block& block, BlockState& s, double input) noexcept
{
    s.u[0] = input;
    block.computeNonlinearInputs (s.u.data(), s.x.data(), s.p.data());
}

template <typename Block>
inline double finishStep (const Block& block, BlockState& s) noexcept
{
    block.updateState (s.u.data(), s.i.data(), s.x.data(), s.xNext.data());
    std::swap (s.x, s.xNext);
    block.computeOutput (s.u.data(), s.x.data(), s.i.data(), &s.y);
    return s.y;
}

// One sample of one block:
//   p = D x + E u              (from the state before the update)
//   i from p                   (whatever supplies the port currents: region networks, the exact
//                               port solver; it may read i as its starting guess)
//   x = A x + B u + C i
//   y = G x + H u + K i        (from the updated state)
// `currents` is called as currents (p, i) with the block's nv inputs and ni currents. Allocates
// nothing: x and its scratch trade places. A block type whose products are final and inline (the
// preamp's own) has them inlined here; any other goes through the virtual calls.
template <typename Block, typename Currents>
inline double stepBlock (const Block& block, BlockState& s, double input, Currents&& currents) noexcept
{
    startStep (block, s, input);
    currents (static_cast<const double*> (s.p.data()), s.i.data());
    return finishStep (block, s);
}
