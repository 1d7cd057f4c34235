#include "models/FusedEvaluation.h"

#include "models/NetworkKernels.h"

#include <utility>

namespace
{
using networkkernels::roundUp4;
using A = CompiledNetwork::Activation;

template <uint32_t In, uint32_t Hidden, A Output>
void evaluateFused (const RegionNetwork& r, const double* u, double* i, RegionScratch& scratch) noexcept
{
    constexpr uint32_t hiddenLanes = static_cast<uint32_t> (roundUp4 (Hidden));
    const CompiledNetwork& network = *r.compiled;
    const CompiledNetwork::LayerView hidden = network.layer (0);
    const CompiledNetwork::LayerView output = network.layer (1);

    float* scaled = scratch.scaledInput.data();
    alignas (16) float input[roundUp4 (In + 1)];
    for (uint32_t q = 0; q < In; ++q)
    {
        const float s =
            static_cast<float> ((u[q] - static_cast<double> (r.inputMin[q])) * r.inputScale[q] - 1.0);
        input[q] = s;
        scaled[q] = s;
    }
    input[In] = 1.0f; // the input layer's bias neuron

    alignas (16) float hiddenValues[hiddenLanes + 4];
    networkkernels::runLayer<hiddenLanes, In + 1, A::elliotSymmetric> (
        hidden.weights, input, 0, 0, hidden.steepness, hidden.bound, hiddenValues);
    hiddenValues[Hidden] = 1.0f;
    float* outputs = scratch.network.data();
    networkkernels::runLayer<4, Hidden + 1, Output> (output.weights, hiddenValues, 0, 0, output.steepness,
                                                     output.bound, outputs);
    scratch.networkOutput = outputs;
    r.writeCurrents (outputs, i);
}

template <uint32_t In, uint32_t Hidden>
RegionEvaluator forOutput (A output) noexcept
{
    switch (output)
    {
    case A::linearPiece:
        return evaluateFused<In, Hidden, A::linearPiece>;
    case A::linearPieceSymmetric:
        return evaluateFused<In, Hidden, A::linearPieceSymmetric>;
    default:
        return nullptr;
    }
}

template <uint32_t In>
RegionEvaluator forHidden (uint32_t hidden, A output) noexcept
{
    switch (hidden)
    {
    case 4:
        return forOutput<In, 4> (output);
    case 6:
        return forOutput<In, 6> (output);
    case 8:
        return forOutput<In, 8> (output);
    case 10:
        return forOutput<In, 10> (output);
    case 12:
        return forOutput<In, 12> (output);
    case 16:
        return forOutput<In, 16> (output);
    default:
        return nullptr;
    }
}
} // namespace

RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region) noexcept
{
    if (region.compiled == nullptr || region.compiled->layerCount() != 2)
        return nullptr;
    const CompiledNetwork& network = *region.compiled;
    const CompiledNetwork::LayerView hidden = network.layer (0);
    const CompiledNetwork::LayerView output = network.layer (1);
    if (hidden.activation != A::elliotSymmetric || output.lanes != 4 || output.sources != hidden.neurons ||
        hidden.sources != region.inputCount || output.neurons != region.outputCount)
        return nullptr;
    // The fused form writes the scaled input and the outputs where the general one does; a
    // scratch sized for the network holds both.
    switch (hidden.sources)
    {
    case 1:
        return forHidden<1> (hidden.neurons, output.activation);
    case 2:
        return forHidden<2> (hidden.neurons, output.activation);
    case 3:
        return forHidden<3> (hidden.neurons, output.activation);
    case 4:
        return forHidden<4> (hidden.neurons, output.activation);
    default:
        return nullptr;
    }
}
