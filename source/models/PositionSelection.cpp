#include "models/PositionSelection.h"

#include "models/NetworkBuilding.h"

#include <cmath>

namespace
{
template <typename T>
void ensureSize (AlignedArray<T>& array, size_t count)
{
    if (array.size() != count)
        array.reset (count);
}
} // namespace

uint32_t selectPosition (BlockModelState& m, uint32_t requestedPosition)
{
    if (m.modelFile == nullptr || m.positionCount == 0)
        return 0;
    const uint32_t a = requestedPosition >= m.positionCount ? m.positionCount - 1 : requestedPosition;
    if (m.regions.empty() || m.regionsPosition != a)
    {
        m.selectedPosition = a;
        // The networks point into the output mask; after releaseProjectionBuffers it is made anew
        // here, or the block would stay silent for good.
        ensureSize (m.outputMask, m.shape.numNonlinearOutputs);
        // Without its networks the block must stay silent rather than play another position's.
        if (!buildRegionNetworks (m).ok)
            return a;
    }
    selectPositionProjection (m, a);
    m.selectedPosition = a;
    m.selectedRegionCount = static_cast<uint32_t> (m.regions.size());
    m.selectedRegions = m.regions.data();
    m.lastRegion = m.selectedRegions;
    m.previousRegion = nullptr;
    return a;
}

void selectPositionProjection (BlockModelState& m, uint32_t position)
{
    if (m.modelFile == nullptr)
        return;
    const uint32_t nv = m.shape.numNonlinearInputs;
    const uint32_t ni = m.shape.numNonlinearOutputs;
    const uint32_t oldRows = m.projectionRows;
    const uint32_t oldReduced = m.reducedCount;
    ensureSize (m.inputMask, nv);
    ensureSize (m.maskedInputs, nv);
    m.maskedInputsValid = 0;
    ensureSize (m.outputMask, ni);

    const auto* pca = m.usesPca ? dynamic_cast<const PCAModelFileF*> (m.modelFile.get()) : nullptr;
    if (pca == nullptr || pca->models.empty() || position >= pca->models[0].positions.size())
    {
        for (uint32_t q = 0; q < nv; ++q)
            m.inputMask[q] = 1;
        for (uint32_t j = 0; j < ni; ++j)
            m.outputMask[j] = 1;
        m.projectionRows = nv;
        m.reducedCount = nv;
        if (m.reducedCount != oldReduced || m.reducedInput.size() != m.reducedCount)
            m.reducedInput.reset (m.reducedCount);
        if (m.reducedCount != oldReduced || m.projectionRows != oldRows ||
            m.projectionMatrix.size() != size_t (m.reducedCount) * m.projectionRows)
            m.projectionMatrix.reset (size_t (m.reducedCount) * m.projectionRows);
        for (uint32_t j = 0; j < m.reducedCount; ++j)
            for (uint32_t k = 0; k < m.projectionRows; ++k)
                m.projectionMatrix[size_t (j) * m.projectionRows + k] = j == k ? 1.0 : 0.0;
        m.projectionNeeded = 0;
        return;
    }

    const PCAPositionRecord& record = pca->models[0].positions[position];
    for (uint32_t q = 0; q < nv; ++q)
        m.inputMask[q] = record.inputMask[q];
    for (uint32_t j = 0; j < ni; ++j)
        m.outputMask[j] = static_cast<uint16_t> (record.outputMask[j] & 0xffffu);
    m.projectionRows = record.projectionRows;
    m.reducedCount = record.netInputCount;
    if (m.reducedCount != oldReduced || m.reducedInput.size() != m.reducedCount)
        m.reducedInput.reset (m.reducedCount);
    if (m.reducedCount != oldReduced || m.projectionRows != oldRows ||
        m.projectionMatrix.size() != size_t (m.reducedCount) * m.projectionRows)
        m.projectionMatrix.reset (size_t (m.reducedCount) * m.projectionRows);

    uint32_t masked = 0;
    for (uint32_t q = 0; q < nv; ++q)
        if (m.inputMask[q] == 1)
        {
            if (masked < nv)
                m.maskedInputs[masked] = q;
            ++masked;
        }
    m.maskedInputsValid = masked == m.projectionRows ? 1 : 0;

    constexpr double identityTolerance = 2.384185791015625e-7; // 2^-22
    m.projectionNeeded = 0;
    for (uint32_t j = 0; j < m.reducedCount; ++j)
    {
        for (uint32_t k = 0; k < m.projectionRows; ++k)
        {
            const double element = record.projection[size_t (k) * record.netInputCount + j];
            m.projectionMatrix[size_t (j) * m.projectionRows + k] = element;
            if (m.projectionNeeded == 0 && std::fabs (element - (j == k ? 1.0 : 0.0)) > identityTolerance)
                m.projectionNeeded = 1;
        }
    }
}

void releaseProjectionBuffers (BlockModelState& m)
{
    // Without the buffers the selection is void: the region step stays silent until the next
    // selection makes them anew.
    m.selectedRegions = nullptr;
    m.lastRegion = nullptr;
    m.previousRegion = nullptr;
    m.selectedRegionCount = 0;
    m.projectionRows = 0;
    m.reducedCount = 0;
    m.projectionNeeded = 0;
    m.inputMask.reset();
    m.maskedInputs.reset();
    m.maskedInputsValid = 0;
    m.outputMask.reset();
    m.projectionMatrix.reset();
    m.reducedInput.reset();
}
