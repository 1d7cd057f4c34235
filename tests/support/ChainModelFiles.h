#pragma once

#include "models/ModelFile.h"

#include <cstdint>
#include <string>
#include <vector>

// Model data files for chain tests and benchmarks, written with the model file writer, so the
// chain reads them through the same path as the plug-in does.
namespace chainfiles
{
// One record of a rate table: the processing rate and the operating p, i and x for it.
struct RateRecord
{
    double rate = 0.0;
    std::vector<double> p, i, x;
};

// The flat rate table: the record count, then each record's rate, p, i and x.
std::vector<double> rateTable (const std::vector<RateRecord>& records);

// A region whose network outputs a constant: all weights are zero, so every output neuron
// reads 0 and the port current is outputMin (clamped at 0 by the region step).
struct ConstantRegion
{
    std::vector<float> lower, upper; // box edges per network input
    std::vector<float> current;      // port current per network output
};

// A box that contains every point the tests produce.
ConstantRegion everywhere (uint32_t inputs, std::vector<float> current);
// A box that contains none of them.
ConstantRegion nowhere (uint32_t inputs, std::vector<float> current);

// Writes a file of either kind with one model whose positions hold the given regions (inputs
// and outputs: nv and ni of the block; the pca kind with all-ones masks and the identity
// projection). Returns an empty string, or what the writer reported.
std::string writeConstantModel (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                const std::vector<std::vector<ConstantRegion>>& positions,
                                const std::vector<double>& rateTable);
// The same with a rate table of its own for each position (all of one length).
std::string writeConstantModel (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                const std::vector<std::vector<ConstantRegion>>& positions,
                                const std::vector<std::vector<double>>& rateTables);

// A model shaped like the trained data: `positions` positions of `regionsPerPosition` regions,
// networks nv-hidden-ni with seeded random weights. The first regionsPerPosition - 1 boxes of
// each position lie far outside the signal range and the last covers it, so every sample tests
// every box (the slowest search). The pca kind gets a non-identity projection, so the
// projection runs too. Currents come out between 0 and maxCurrent amperes.
struct RepresentativeModel
{
    bool usesPca = false;
    uint32_t nv = 4, ni = 4, nx = 5;
    uint32_t hidden = 8;
    uint32_t positions = 1;
    uint32_t regionsPerPosition = 8;
    float inputRange = 400.0f; // volts mapped to -1 ... +1
    float maxCurrent = 2e-3f;
    std::vector<double> rates; // a zero operating point for each
    unsigned seed = 1;
};
std::string writeRepresentativeModel (const std::string& path, const RepresentativeModel& shape);

// A pca position that passes its nv inputs through: all-ones masks and the identity projection,
// networks of nv inputs and ni outputs. Its nets and rate table are the caller's.
PCAPositionRecord passThroughPcaPosition (uint32_t nv, uint32_t ni);

// A fresh folder under the test temporary directory.
std::string makeTemporaryFolder (const std::string& stem);
} // namespace chainfiles
