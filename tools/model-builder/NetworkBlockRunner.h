#pragma once

#include "engine/BlockStep.h"
#include "engine/SSParamsVec.h"
#include "models/RegionNetwork.h"

#include <cstdint>
#include <string>
#include <vector>

// One block run on its region networks exactly as the channel chain runs it (stepBlock with
// regionStep for the currents), from the operating point of its
// rate table, counting the samples whose nonlinear input lies in no box of the selected position
// (where regionStep falls back: the last region for blocks 1 to 3, zero currents for block 4).
class NetworkBlockRunner
{
public:
    // The block must already be at the processing rate; it is not owned.
    NetworkBlockRunner (SSParamsVecAutomation& block, int blockIndex, int32_t processingRate);

    // Loads a model file image; the message says why not when it fails.
    std::string load (const std::vector<uint8_t>& image);

    // Selects a control position (clamped to the file's) and its rate-table operating point.
    void select (uint32_t position);

    const std::vector<double>& restCurrents() const { return operatingI; }

    // Runs from the operating point over `input`; returns the outputs and adds the number of
    // samples outside every box to `misses`.
    std::vector<double> run (const std::vector<double>& input, long& misses);

private:
    SSParamsVecAutomation& block;
    int index;
    int32_t rate;
    BlockModelState model;
    uint32_t position = 0;
    BlockState state;
    std::vector<double> operatingP, operatingI, operatingX;
};
