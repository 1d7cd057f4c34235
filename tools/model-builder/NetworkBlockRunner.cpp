#include "NetworkBlockRunner.h"

#include "models/NetworkConstruction.h"

#include <algorithm>

NetworkBlockRunner::NetworkBlockRunner (SSParamsVecAutomation& b, int blockIndex, int32_t processingRate)
    : block (b), index (blockIndex), rate (processingRate)
{
}

std::string NetworkBlockRunner::load (const std::vector<uint8_t>& image)
{
    if (image.empty())
        return "empty model file";
    const auto status = loadModelImageIntoState (model, &block, image.data(), image.size(), index != 3);
    if (!status.ok)
        return status.message;
    select (0);
    return {};
}

void NetworkBlockRunner::select (uint32_t requested)
{
    position = selectPosition (model, requested);
    block.setControlPosition (position);
    u.assign (block.numInputs, 0.0);
    for (int32_t j = 0; j < block.numSourceInputs; ++j)
        u[static_cast<size_t> (block.firstSourceInput + j)] = block.getAutomationValue (j);
    x.assign (block.numStates, 0.0);
    xNext.assign (block.numStates, 0.0);
    p.assign (block.numNonlinearInputs, 0.0);
    i.assign (block.numNonlinearOutputs, 0.0);
    operatingP = p;
    operatingI = i;
    operatingX = x;
    applyRateTable (model, position, rate, true,
                    {operatingP.data(), operatingI.data(), operatingX.data(), p.data(), i.data(), x.data()});
}

std::vector<double> NetworkBlockRunner::run (const std::vector<double>& input, long& misses)
{
    std::copy (operatingP.begin(), operatingP.end(), p.begin());
    std::copy (operatingI.begin(), operatingI.end(), i.begin());
    std::copy (operatingX.begin(), operatingX.end(), x.begin());
    std::vector<double> output (input.size());
    for (size_t n = 0; n < input.size(); ++n)
    {
        u[0] = input[n];
        block.computeNonlinearInputs (u.data(), x.data(), p.data());
        // The box test on the reduced input as regionStep forms it, before regionStep runs, so
        // the count does not depend on how a miss is then served.
        if (model.projectionNeeded != 0)
            projectInputs (model, p.data());
        else
            std::copy (p.begin(), p.begin() + model.reducedCount, model.reducedInput.data());
        bool found = false;
        for (uint32_t r = 0; r < model.selectedRegionCount && !found; ++r)
            found = model.selectedRegions[r].contains (model.reducedInput.data());
        if (!found)
            ++misses;
        regionStep (model, index, p.data(), i.data());
        block.updateState (u.data(), i.data(), x.data(), xNext.data());
        std::copy (xNext.begin(), xNext.end(), x.begin());
        block.computeOutput (u.data(), x.data(), i.data(), &output[n]);
    }
    return output;
}
