#include "models/RegionNetwork.h"

#include <floatfann.h>

void FannDeleter::operator() (fann* network) const noexcept
{
    fann_destroy (network);
}

RegionNetwork::RegionNetwork (uint16_t inputs, uint16_t outputs)
    : inputCount (inputs), outputCount (outputs), upperBound (inputs), lowerBound (inputs), inputMax (inputs),
      inputMin (inputs), outputMax (outputs), outputMin (outputs), inputScale (inputs), outputScale (outputs)
{
}

void RegionScratch::reserve (uint32_t inputs, size_t floats)
{
    if (scaledInput.size() < inputs)
        scaledInput.reset (inputs);
    if (network.size() < floats)
        network.reset (floats);
}

void RegionNetwork::evaluate (const double* u, double* i, RegionScratch& scratch) const noexcept
{
    if (evaluator != nullptr)
    {
        evaluator (*this, u, i, scratch);
        return;
    }
    float* scaledInput = scratch.scaledInput.data();
    for (uint32_t q = 0; q < inputCount; ++q)
        scaledInput[q] =
            static_cast<float> ((u[q] - static_cast<double> (inputMin[q])) * inputScale[q] - 1.0);
    runAndWrite (i, scratch);
}

void RegionNetwork::evaluateNearestPoint (const double* u, double* i, RegionScratch& scratch) const noexcept
{
    float* scaledInput = scratch.scaledInput.data();
    for (uint32_t q = 0; q < inputCount; ++q)
    {
        const double lower = static_cast<double> (lowerBound[q]);
        const double upper = static_cast<double> (upperBound[q]);
        double v = u[q];
        if (v < lower)
            v = lower;
        else if (v > upper)
            v = upper;
        else if (!(v == v))
            v = 0.5 * (lower + upper);
        scaledInput[q] = static_cast<float> ((v - static_cast<double> (inputMin[q])) * inputScale[q] - 1.0);
    }
    runAndWrite (i, scratch);
}

void RegionNetwork::runAndWrite (double* i, RegionScratch& scratch) const noexcept
{
    const float* networkOutput = compiled != nullptr
                                     ? compiled->run (scratch.scaledInput.data(), scratch.network.data())
                                     : fann_run (network.get(), scratch.scaledInput.data());
    scratch.networkOutput = networkOutput;
    writeCurrents (networkOutput, i);
}

namespace
{
// Squared distance from u to the box; 0 inside or on its edge. A NaN coordinate adds nothing:
// evaluateNearestPoint puts it in the middle of whichever box is chosen.
double squaredDistanceToBox (const RegionNetwork& region, const double* u) noexcept
{
    double sum = 0.0;
    for (uint32_t q = 0; q < region.inputCount; ++q)
    {
        const double below = static_cast<double> (region.lowerBound[q]) - u[q];
        const double above = u[q] - static_cast<double> (region.upperBound[q]);
        const double excess = below > 0.0 ? below : (above > 0.0 ? above : 0.0);
        sum += excess * excess;
    }
    return sum;
}

const RegionNetwork* nearestRegion (const RegionNetwork* regions, uint32_t count, const double* u) noexcept
{
    const RegionNetwork* best = regions;
    double bestDistance = squaredDistanceToBox (regions[0], u);
    for (uint32_t r = 1; r < count; ++r)
    {
        const double distance = squaredDistanceToBox (regions[r], u);
        if (distance < bestDistance) // NaN distances never win; the first box stays
        {
            best = regions + r;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

bool hasModel (const BlockModelState& m) noexcept
{
    return m.modelFile != nullptr && !m.regions.empty() && m.positionCount > 0;
}

void projectInputs (BlockModelState& m, const double* p) noexcept
{
    if (m.maskedInputsValid == 1)
    {
        // The masked inputs listed once per position: the same products summed in the same order.
        const uint32_t* source = m.maskedInputs.data();
        const uint32_t rows = m.projectionRows;
        for (uint32_t j = 0; j < m.reducedCount; ++j)
        {
            const double* row = m.projectionMatrix.data() + static_cast<size_t> (j) * rows;
            double sum = 0.0;
            for (uint32_t k = 0; k < rows; ++k)
                sum += p[source[k]] * row[k];
            m.reducedInput[j] = sum;
        }
        return;
    }
    const uint32_t nv = m.shape.numNonlinearInputs;
    for (uint32_t j = 0; j < m.reducedCount; ++j)
    {
        const double* row = m.projectionMatrix.data() + static_cast<size_t> (j) * m.projectionRows;
        double sum = 0.0;
        uint32_t k = 0;
        for (uint32_t q = 0; q < nv; ++q)
        {
            if (m.inputMask[q] == 1)
                sum += p[q] * row[k++];
        }
        m.reducedInput[j] = sum;
    }
}

const RegionNetwork* findRegion (const BlockModelState& m, const double* u) noexcept
{
    // The index covers the built position's whole table, as its position 0; a slice that is not
    // that whole table (never made by the loader), or no index, is searched linearly.
    const bool wholeTable =
        m.selectedRegions == m.regions.data() && m.selectedRegionCount == m.regions.size();
    if (m.regionIndex == nullptr || !wholeTable)
    {
        for (uint32_t r = 0; r < m.selectedRegionCount; ++r)
            if (m.selectedRegions[r].contains (u))
                return m.selectedRegions + r;
        return nullptr;
    }
    return m.regionIndex->find (0u, m.selectedRegions, m.selectedRegionCount, u);
}

void regionStep (BlockModelState& m, int /*blockIndex*/, const double* p, double* i) noexcept
{
    // A block without a selected model must stay silent rather than read a freed table.
    if (m.selectedRegionCount == 0 || m.selectedRegions == nullptr || m.lastRegion == nullptr)
    {
        for (uint32_t j = 0; j < m.shape.numNonlinearOutputs; ++j)
            i[j] = 0.0;
        return;
    }

    if (m.projectionNeeded == 1)
        projectInputs (m, p);
    else
        for (uint32_t j = 0; j < m.reducedCount; ++j)
            m.reducedInput[j] = p[j];

    // Without a projection the network reads p itself (the same values): the point does not wait
    // for its copy to be stored and loaded again. The copy stays readable as the reduced input.
    const double* u = m.projectionNeeded == 1 ? m.reducedInput.data() : p;
    // Successive samples mostly stay in one box: when the last one's box still holds the point,
    // only the earlier boxes that may share points with it are left to test. A point that left
    // it has often gone back to the box before, which the hints take as well: whichever box holds
    // the point, they find the first one in stored order.
    const RegionNetwork* region = nullptr;
    const bool hinted = m.regionHints != nullptr && m.selectedRegions == m.regions.data() &&
                        m.selectedRegionCount == m.regions.size();
    if (hinted)
    {
        region = m.regionHints->firstContainingFrom (m.selectedRegions, m.lastRegion, u);
        if (region == nullptr && m.previousRegion != nullptr)
            region = m.regionHints->firstContainingFrom (m.selectedRegions, m.previousRegion, u);
    }
    if (region == nullptr)
        region = findRegion (m, u);
    if (region != nullptr)
    {
        if (region->evaluator != nullptr)
            region->evaluator (*region, u, i, m.scratch);
        else
            region->evaluate (u, i, m.scratch);
        if (region != m.lastRegion)
        {
            m.previousRegion = m.lastRegion;
            m.lastRegion = region;
        }
        return;
    }

    // Outside every box (a loud input drives a stage past the range it was trained on). A network
    // evaluated far outside its box extrapolates without bound, and zero currents are no better:
    // either can feed back through the block's state into a point the circuit never rests at,
    // where every later sample misses again and the stage stays silent. The nearest box's
    // network at the nearest point of that box answers as the circuit does at the edge of its
    // range, so the state comes back as the circuit's would.
    nearestRegion (m.selectedRegions, m.selectedRegionCount, u)->evaluateNearestPoint (u, i, m.scratch);
}