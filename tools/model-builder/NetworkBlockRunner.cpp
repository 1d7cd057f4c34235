#include "NetworkBlockRunner.h"

#include "models/ModelLoading.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"

#include <algorithm>

NetworkBlockRunner::NetworkBlockRunner (SSParamsVecAutomation& b, int blockIndex, int32_t processingRate)
    : block (b), index (blockIndex), rate (processingRate)
{
}

std::string NetworkBlockRunner::load (const std::vector<uint8_t>& image)
{
    if (image.empty())
        return "empty model file";
    const auto status = loadModelImageIntoState (model, block.modelShape(), image.data(), image.size(), index != 3);
    if (!status.ok)
        return status.message;
    select (0);
    return {};
}

void NetworkBlockRunner::select (uint32_t requested)
{
    position = selectPosition (model, requested);
    block.setControlPosition (position);
    state.resizeFor (block);
    operatingP = state.p;
    operatingI = state.i;
    operatingX = state.x;
    applyRateTable (model, position, rate, true,
                    {operatingP.data(), operatingI.data(), operatingX.data(), state.p.data(), state.i.data(),
                     state.x.data()});
}

std::vector<double> NetworkBlockRunner::run (const std::vector<double>& input, long& misses)
{
    std::copy (operatingP.begin(), operatingP.end(), state.p.begin());
    std::copy (operatingI.begin(), operatingI.end(), state.i.begin());
    std::copy (operatingX.begin(), operatingX.end(), state.x.begin());
    auto& m = model;
    const int blockIndex = index;
    auto countedRegionStep = [&m, &misses, blockIndex] (const double* p, double* i)
    {
        // The box test on the reduced input as regionStep forms it, before regionStep runs, so
        // the count does not depend on how a miss is then served.
        if (m.projectionNeeded != 0)
            projectInputs (m, p);
        else
            std::copy (p, p + m.reducedCount, m.reducedInput.data());
        bool found = false;
        for (uint32_t r = 0; r < m.selectedRegionCount && !found; ++r)
            found = m.selectedRegions[r].contains (m.reducedInput.data());
        if (!found)
            ++misses;
        regionStep (m, blockIndex, p, i);
    };
    std::vector<double> output (input.size());
    for (size_t n = 0; n < input.size(); ++n)
        output[n] = stepBlock (block, state, input[n], countedRegionStep);
    return output;
}
