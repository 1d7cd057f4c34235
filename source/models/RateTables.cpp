#include "models/RateTables.h"

namespace
{
const std::vector<double>* rateTableOf (const BlockModelState& m, uint32_t position)
{
    if (m.usesPca)
    {
        const auto* file = dynamic_cast<const PCAModelFileF*> (m.modelFile.get());
        if (file == nullptr || file->models.empty() || position >= file->models[0].positions.size())
            return nullptr;
        return &file->models[0].positions[position].rateTable;
    }
    const auto* file = dynamic_cast<const ModelFileF*> (m.modelFile.get());
    if (file == nullptr || file->models.empty() || position >= file->models[0].positions.size())
        return nullptr;
    return &file->models[0].positions[position].rateTable;
}

// The record key is compared after truncation toward zero to 32 bits; keys outside that range
// (or NaN) can never match, and are not converted.
bool keyMatches (double key, int32_t rate)
{
    if (!(key > -2147483649.0 && key < 2147483648.0))
        return false;
    return static_cast<int32_t> (key) == rate;
}

void copyValues (const double* from, uint32_t count, double* to)
{
    if (to == nullptr)
        return;
    for (uint32_t e = 0; e < count; ++e)
        to[e] = from[e];
}
} // namespace

const double* findRateRecord (const BlockModelState& m, uint32_t position, int32_t processingRate)
{
    if (processingRate == 0 || m.positionCount == 0)
        return nullptr;
    const uint32_t a = position >= m.positionCount ? m.positionCount - 1 : position;
    const std::vector<double>* table = rateTableOf (m, a);
    if (table == nullptr || table->empty())
        return nullptr;
    const size_t stride =
        1 + size_t (m.shape.numNonlinearInputs) + m.shape.numNonlinearOutputs + m.shape.numStates;
    const size_t available = (table->size() - 1) / stride;
    const double records = (*table)[0];
    for (size_t r = 0; r < available && static_cast<double> (r) < records; ++r)
    {
        const double* record = table->data() + 1 + r * stride;
        if (keyMatches (record[0], processingRate))
            return record + 1;
    }
    return nullptr;
}

void applyRateTable (const BlockModelState& m, uint32_t position, int32_t processingRate, bool firstTime,
                     const RateTableTargets& t)
{
    if (processingRate == 0 || m.positionCount == 0)
        return;
    const uint32_t nv = m.shape.numNonlinearInputs;
    const uint32_t ni = m.shape.numNonlinearOutputs;
    const uint32_t nx = m.shape.numStates;
    if (const double* record = findRateRecord (m, position, processingRate))
    {
        copyValues (record, nv, t.operatingP);
        copyValues (record + nv, ni, t.operatingI);
        copyValues (record + nv + ni, nx, t.operatingX);
    }

    if (firstTime)
    {
        if (t.operatingP != nullptr)
            copyValues (t.operatingP, nv, t.p);
        if (t.operatingI != nullptr)
            copyValues (t.operatingI, ni, t.i);
    }
    if (t.operatingX != nullptr)
        copyValues (t.operatingX, nx, t.x);
}
