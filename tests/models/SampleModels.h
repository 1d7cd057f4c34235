#pragma once

// Small, deterministic model files built in memory with the writer's record types, shared by
// the model tests, benchmarks and the fuzz corpus generator.

#include "models/BlockShape.h"
#include "models/ModelFile.h"

#include <cstdint>
#include <memory>
#include <vector>

// A block's counts in the order the tests name them (nv, ni, nx), with no circuit behind them.
struct TestBlock : BlockShape
{
    TestBlock (uint32_t nv, uint32_t ni, uint32_t nx) : BlockShape{nx, nv, ni} {}
};

// Deterministic values in [-1, 1].
class SampleValues
{
public:
    explicit SampleValues (uint32_t seed) : state (seed * 2654435761u + 1u) {}
    float next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float> (state % 20001u) / 10000.0f - 1.0f;
    }

private:
    uint32_t state;
};

struct SampleShape
{
    uint32_t nv = 2, ni = 2, nx = 3;
    uint32_t positions = 2;
    uint32_t netsPerPosition = 2;
    std::vector<uint32_t> hidden = {3};
    std::vector<int32_t> rates = {44100, 88200};
    uint32_t seed = 1;
};

// The pca shape the tests share: four nonlinear inputs and port currents, nx states, one hidden
// layer.
inline SampleShape pcaSampleShape (uint32_t nx, uint32_t hidden, uint32_t positions = 2,
                                   uint32_t netsPerPosition = 2)
{
    SampleShape s;
    s.nv = 4;
    s.ni = 4;
    s.nx = nx;
    s.hidden = {hidden};
    s.positions = positions;
    s.netsPerPosition = netsPerPosition;
    return s;
}

// Rate table with one record per rate: key, then p, i, x values that name their place.
inline std::vector<double> sampleRateTable (const SampleShape& s, uint32_t position)
{
    std::vector<double> table{static_cast<double> (s.rates.size())};
    for (size_t r = 0; r < s.rates.size(); ++r)
    {
        table.push_back (s.rates[r]);
        for (uint32_t e = 0; e < s.nv + s.ni + s.nx; ++e)
            table.push_back (1000.0 * position + 100.0 * r + e + 0.5);
    }
    return table;
}

// Boxes tile input 0 over (-1, 1) in netsPerPosition slices; every other input spans (-1, 1).
template <typename Net>
void fillSampleNet (Net& net, const SampleShape& s, uint32_t position, uint32_t index)
{
    SampleValues values (s.seed * 7919u + position * 131u + index);
    const float width = 2.0f / static_cast<float> (s.netsPerPosition);
    for (uint32_t q = 0; q < net.inputCount; ++q)
    {
        net.lowerBound[q] = q == 0 ? -1.0f + width * index : -1.0f;
        net.upperBound[q] = q == 0 ? -1.0f + width * (index + 1) : 1.0f;
        net.inputMin[q] = -1.0f;
        net.inputMax[q] = 1.0f;
    }
    for (uint32_t o = 0; o < net.outputCount; ++o)
    {
        net.outputMin[o] = -0.25f;
        net.outputMax[o] = 0.75f + 0.25f * o;
    }
    for (auto& w : net.weights)
        w = values.next();
    net.netTag = 0xA0000000u + position * 256u + index;
    net.netTrailer = {0x11111111u * (index + 1), position, 0xDEADBEEFu, index};
}

inline std::unique_ptr<ModelFileF> sampleStandardFile (const SampleShape& s)
{
    auto file = std::make_unique<ModelFileF>();
    file->printProgress = false;
    file->setModelCount (1);
    ModelRecord& model = file->models[0];
    model.inputCount = s.nv;
    model.outputCount = s.ni;
    model.tableLength = static_cast<uint32_t> (sampleRateTable (s, 0).size());
    model.positions.resize (s.positions);
    for (uint32_t a = 0; a < s.positions; ++a)
    {
        PositionRecord& position = model.positions[a];
        position.inputCount = s.nv;
        position.outputCount = s.ni;
        position.tableLength = model.tableLength;
        position.positionTag = 0x50000000u + a;
        position.rateTable = sampleRateTable (s, a);
        for (uint32_t e = 0; e < s.netsPerPosition; ++e)
        {
            NetRecord net = NetRecord::sized (s.nv, s.hidden, s.ni);
            fillSampleNet (net, s, a, e);
            net.hiddenSteepness = 0.5f;
            net.outputSteepness = 1.0f;
            position.nets.push_back (std::move (net));
        }
    }
    return file;
}

// A pca file whose positions select every input but the last (when nv > 1) and project them
// onto netInputs network inputs with a non-identity matrix.
inline std::unique_ptr<PCAModelFileF> samplePcaFile (const SampleShape& s, uint32_t netInputs)
{
    auto file = std::make_unique<PCAModelFileF>();
    file->setModelCount (1);
    PCAModelRecord& model = file->models[0];
    model.tableLength = static_cast<uint32_t> (sampleRateTable (s, 0).size());
    model.positions.resize (s.positions);
    const uint32_t selected = s.nv > 1 ? s.nv - 1 : s.nv;
    for (uint32_t a = 0; a < s.positions; ++a)
    {
        PCAPositionRecord& position = model.positions[a];
        position.tableLength = model.tableLength;
        position.positionTag = 0x60000000u + a;
        position.inputMask.assign (s.nv, 1u);
        if (s.nv > 1)
            position.inputMask.back() = 7u;
        position.outputMask.assign (s.ni, 1u);
        position.projectionRows = selected;
        position.netInputCount = netInputs;
        position.netOutputCount = s.ni;
        position.outputProjectionCount = 2;
        for (uint32_t k = 0; k < selected; ++k)
            for (uint32_t j = 0; j < netInputs; ++j)
                position.projection.push_back (j == k ? 0.5 : 0.125 * (j + 1));
        for (uint32_t e = 0; e < s.ni * 2; ++e)
            position.outputProjection.push_back (0.25 * e - 1.0);
        position.rateTable = sampleRateTable (s, a);
        for (uint32_t e = 0; e < s.netsPerPosition; ++e)
        {
            PCANetRecord net = PCANetRecord::sized (netInputs, s.hidden, s.ni);
            fillSampleNet (net, s, a, e);
            for (size_t q = 0; q < net.hiddenNeuronSteepness.size(); ++q)
                net.hiddenNeuronSteepness[q] = 0.5f + 0.125f * q;
            for (size_t q = 0; q < net.outputNeuronSteepness.size(); ++q)
                net.outputNeuronSteepness[q] = 1.0f - 0.125f * q;
            position.nets.push_back (std::move (net));
        }
    }
    return file;
}
