#pragma once

#include "SampleModels.h"
#include "models/ModelLoading.h"

#include <cmath>
#include <memory>
#include <vector>

// Loads standard nets as the positions of one file (nets[a] for position a) into m.
inline ModelLoadResult loadStandardNets (BlockModelState& m, TestBlock& block,
                                         std::vector<std::vector<NetRecord>> positions)
{
    auto file = std::make_unique<ModelFileF>();
    file->setModelCount (1);
    auto& model = file->models[0];
    model.inputCount = block.numNonlinearInputs;
    model.outputCount = block.numNonlinearOutputs;
    for (auto& nets : positions)
    {
        auto& position = model.positions.emplace_back();
        position.inputCount = model.inputCount;
        position.outputCount = model.outputCount;
        position.nets = std::move (nets);
    }
    return loadModelFileIntoState (m, block, std::move (file));
}

// A net whose box spans (lower, upper) on every input and whose input and output scaling is
// the identity: inputs in [-1, 1] reach the network unchanged, outputs leave it unchanged.
inline NetRecord plainNet (uint32_t nIn, std::vector<uint32_t> hidden, uint32_t nOut, float lower = -10.0f,
                           float upper = 10.0f)
{
    NetRecord net = NetRecord::sized (nIn, std::move (hidden), nOut);
    for (uint32_t q = 0; q < nIn; ++q)
    {
        net.lowerBound[q] = lower;
        net.upperBound[q] = upper;
        net.inputMin[q] = -1.0f;
        net.inputMax[q] = 1.0f;
    }
    for (uint32_t o = 0; o < nOut; ++o)
        net.outputMax[o] = 1.0f;
    net.hiddenSteepness = 1.0f;
    net.outputSteepness = 1.0f;
    return net;
}

// Nets told apart by the lower edge of their first input: -(100 + index among all nets of the
// file), given the index of the first.
inline std::vector<NetRecord> nets (uint32_t count, uint32_t first = 0)
{
    std::vector<NetRecord> result;
    for (uint32_t e = 0; e < count; ++e)
    {
        result.push_back (plainNet (2, {2}, 2));
        result.back().lowerBound[0] = -static_cast<float> (100 + first + e);
    }
    return result;
}

inline float fileIndexMark (uint32_t index)
{
    return -static_cast<float> (100 + index);
}

// Independent evaluation of a fully connected perceptron in the file's weight order: per layer
// pair, per destination neuron, the sources and then the bias. Hidden neurons use the symmetric
// Elliot function y = s / (1 + |s|) of the steepness-scaled sum s; output neurons the linear
// piece of the scaled sum, clipped to [0, 1] or, symmetric, to [-1, 1].
inline std::vector<double> handNetwork (const std::vector<float>& weights,
                                        const std::vector<uint32_t>& layers,
                                        const std::vector<std::vector<float>>& steepness,
                                        bool symmetricOutput, std::vector<double> values)
{
    size_t w = 0;
    for (size_t c = 0; c + 1 < layers.size(); ++c)
    {
        const bool output = c + 2 == layers.size();
        std::vector<double> next (layers[c + 1]);
        for (uint32_t g = 0; g < layers[c + 1]; ++g)
        {
            double sum = 0.0;
            for (uint32_t h = 0; h < layers[c]; ++h)
                sum += weights[w++] * values[h];
            sum += weights[w++]; // bias neuron, value 1
            const double s = sum * steepness[c][g];
            if (!output)
                next[g] = s / (1.0 + std::fabs (s));
            else
                next[g] = std::fmin (std::fmax (s, symmetricOutput ? -1.0 : 0.0), 1.0);
        }
        values = next;
    }
    return values;
}
