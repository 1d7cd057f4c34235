#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A perceptron with one hidden layer of Elliot-symmetric neurons and a linear output layer,
// evaluated in double the way FANN evaluates it in float: steepness 1, every neuron's sum
// clipped to +-150 before activation, the output later clipped by the piecewise-linear output
// activation. Weights in FANN's connection order: per destination neuron its sources in order,
// then the bias.
struct Mlp
{
    int inputs = 0;
    int hidden = 0;
    int outputs = 0;
    std::vector<double> weights;

    Mlp() = default;
    Mlp (int nIn, int nHidden, int nOut);

    size_t weightCount() const
    {
        return static_cast<size_t> (hidden) * static_cast<size_t> (inputs + 1)
               + static_cast<size_t> (outputs) * static_cast<size_t> (hidden + 1);
    }
    // Unclipped linear outputs; hiddenOut / hiddenSlope receive the hidden activations and
    // their derivatives when given.
    void evaluate (const double* x, double* y, double* hiddenOut = nullptr, double* hiddenSlope = nullptr) const;
};

// Scaled training data: inputs in about [-1, 1], targets in network output units, and per
// output a weight that turns a network-unit error into what the error costs (volts).
struct ScaledData
{
    int inputCount = 0;
    int outputCount = 0;
    std::vector<double> inputs;  // row by row
    std::vector<double> targets; // row by row
    std::vector<double> outputWeights;
    size_t size() const { return inputCount > 0 ? inputs.size() / static_cast<size_t> (inputCount) : 0; }
};

struct TrainOptions
{
    int hidden = 8;
    int iterations = 80;
    int restarts = 2;
    uint32_t seed = 1;
};

// Weighted root-mean-square and largest weighted error of the network on the data.
struct FitError
{
    double rms = 0.0;
    double max = 0.0;
};

FitError measureFit (const Mlp& net, const ScaledData& data);

// Levenberg-Marquardt in double from a least-squares start (random hidden layer, output layer
// solved exactly); keeps the best of a few restarts.
Mlp trainMlp (const ScaledData& data, const TrainOptions& options);
