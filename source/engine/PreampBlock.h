#pragma once

#include "engine/ControlLaws.h"
#include "engine/SSParamsVec.h"
#include "engine/TriodePorts.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <vector>

// What a clone takes over from its source besides `inputDefaults`: the shared triode, the nine
// matrices with their sizes and the source-input range. Component values stay the clone's defaults.
inline void copyCloneState (const SSParamsVecAutomation& from, SSParamsVecAutomation& to)
{
    to.triode = from.triode;
    for (StateSpaceMatrix SSParamsVec::*matrix :
         {&SSParamsVec::A, &SSParamsVec::B, &SSParamsVec::C, &SSParamsVec::D, &SSParamsVec::E,
          &SSParamsVec::F, &SSParamsVec::G, &SSParamsVec::H, &SSParamsVec::K})
        to.*matrix = from.*matrix;
    to.firstSourceInput = from.firstSourceInput;
    to.numSourceInputs = from.numSourceInputs;
}

// The sizes a preamp block is built with.
struct PreampBlockDimensions
{
    uint32_t states;
    uint32_t inputs;
    uint32_t nonlinearInputs;
    uint32_t nonlinearOutputs;
    int32_t sourceInputs;
};

// What the four preamp blocks have in common: the processing rate, the input defaults, a rate
// change that solves the netlist again, the port equations of their triodes and the plain clone. A block adds
// its component values, its netlist (`updateMatrices`, which its constructor calls once the components are
// set) and its per-sample products, declared final so that a pass over known block classes inlines them.
template <class Block, size_t Triodes = 2>
class PreampBlock : public SSParamsVecAutomation
{
public:
    using TriodePairs = std::array<TriodePortPair, Triodes>;

    PreampBlock (const PreampBlockDimensions& size, const TriodePairs& pairs, double rate, int32_t positions,
                 int32_t automationValues)
        : SSParamsVecAutomation (size.states, size.inputs, size.nonlinearInputs, size.nonlinearOutputs,
                                 positions, automationValues, size.sourceInputs),
          sampleRate (rate), inputDefaults (size.inputs, 0.0), triodePairs (pairs)
    {
    }

    void setSampleRate (double rate) override
    {
        sampleRate = rate;
        updateMatrices();
    }

    void computePortCurrents (const double* v, double* i) const override
    {
        computeTriodePortCurrents (triode, triodePairs, v, i);
    }

    void computePortJacobian (const double* v, StateSpaceMatrix& J) const override
    {
        computeTriodePortJacobian (triode, triodePairs, v, J);
    }

    std::unique_ptr<SSParamsVecAutomation> clone() const override
    {
        auto copy = std::make_unique<Block> (sampleRate, numPositions, numAutomationValues);
        copyCloneState (*this, *copy);
        copy->inputDefaults = inputDefaults;
        return copy;
    }

    double sampleRate;
    std::vector<double> inputDefaults;

private:
    TriodePairs triodePairs; // the ports each triode sits on, with their signs in this netlist
};

// A block's control class creates and owns its triode model and starts from its input defaults:
// the construction value first, then the supply voltages.
template <class Block, class TriodeModel>
class TriodeOwningBlock : public Block
{
public:
    TriodeOwningBlock (double rate, int32_t positions, int32_t automationValues,
                       std::initializer_list<double> defaults)
        : Block (rate, positions, automationValues), ownedTriode (std::make_unique<TriodeModel>())
    {
        this->triode = ownedTriode.get();
        std::copy_n (defaults.begin(), std::min (defaults.size(), this->inputDefaults.size()),
                     this->inputDefaults.begin());
    }

    std::unique_ptr<TriodeModel> ownedTriode;
};

// The variable behind automation value `index` in a block's table of slots, or nullptr past it.
template <size_t Count>
double* automationSlotAt (double* const (&slots)[Count], int32_t index)
{
    return index >= 0 && static_cast<size_t> (index) < Count ? slots[index] : nullptr;
}

// Blocks 1 and 2 both hold the gain pot: a position past the top would make the upper part
// negative, so it acts as the top.
template <class GainBlock>
void moveGainPot (GainBlock& block, uint32_t position, double positionStep)
{
    position = std::min (position, static_cast<uint32_t> (block.numPositions - 1));
    block.controlPosition = static_cast<int32_t> (position);
    const PotParts parts = gainLawParts (position, positionStep);
    block.gainUpper = parts.upper;
    block.gainLower = parts.lower;
    block.updateMatrices();
}
