#pragma once

#include "models/RegionNetwork.h"

#include <cstdint>

struct RateTableTargets
{
    double* operatingP;
    double* operatingI;
    double* operatingX;
    double* p;
    double* i;
    double* x;
};

// Copies the record of the processing rate from the position's rate table into the operating
// copies; on the first rate also running p and i, always running x. Rate 0 does nothing.
void applyRateTable (const BlockModelState& m, uint32_t position, int32_t processingRate, bool firstTime,
                     const RateTableTargets& t);

// The record of the processing rate in the position's rate table: a pointer to its nv + ni + nx
// values (p, i, x) after the key, or null when the table has none for that rate.
const double* findRateRecord (const BlockModelState& m, uint32_t position, int32_t processingRate);
