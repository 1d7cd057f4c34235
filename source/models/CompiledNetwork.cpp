#include "models/CompiledNetwork.h"

#include "models/NetworkKernels.h"

#include <floatfann.h>

#include <cstring>

namespace
{
using networkkernels::roundUp4;

bool isReproduced (fann_activationfunc_enum function)
{
    switch (function)
    {
    case FANN_LINEAR:
    case FANN_ELLIOT_SYMMETRIC:
    case FANN_LINEAR_PIECE:
    case FANN_LINEAR_PIECE_SYMMETRIC:
        return true;
    default:
        return false;
    }
}

template <uint32_t Fixed, CompiledNetwork::Activation function>
void runLayer (const float* __restrict w, const float* __restrict v, uint32_t count, uint32_t runtimeLanes,
               const float* __restrict steepness, const float* __restrict bound, float* __restrict out) noexcept
{
    networkkernels::runLayer<Fixed, 0, function> (w, v, count, runtimeLanes, steepness, bound, out);
}

template <CompiledNetwork::Activation function, typename Kernel>
Kernel kernelFor (uint32_t lanes)
{
    switch (lanes)
    {
    case 4:
        return runLayer<4, function>;
    case 8:
        return runLayer<8, function>;
    case 12:
        return runLayer<12, function>;
    case 16:
        return runLayer<16, function>;
    default:
        return runLayer<0, function>;
    }
}

template <typename Kernel>
Kernel kernelFor (CompiledNetwork::Activation function, uint32_t lanes)
{
    using A = CompiledNetwork::Activation;
    switch (function)
    {
    case A::elliotSymmetric:
        return kernelFor<A::elliotSymmetric, Kernel> (lanes);
    case A::linearPiece:
        return kernelFor<A::linearPiece, Kernel> (lanes);
    case A::linearPieceSymmetric:
        return kernelFor<A::linearPieceSymmetric, Kernel> (lanes);
    case A::linear:
    default:
        return kernelFor<A::linear, Kernel> (lanes);
    }
}
} // namespace

bool CompiledNetwork::lay (const std::vector<uint32_t>& sizes, const std::vector<Activation>& activations)
{
    const size_t layerCount = sizes.size();
    if (layerCount < 2 || activations.size() + 1 != layerCount)
        return false;
    std::vector<Layer> laid (layerCount - 1);
    size_t weightCount = 0, laneCount = 0;
    size_t valueOffset = roundUp4 (size_t (sizes[0]) + 1);
    for (size_t l = 1; l < layerCount; ++l)
    {
        if (sizes[l - 1] == 0 || sizes[l] == 0)
            return false;
        Layer& layer = laid[l - 1];
        layer.sources = sizes[l - 1];
        layer.neurons = sizes[l];
        layer.lanes = static_cast<uint32_t> (roundUp4 (sizes[l]));
        layer.weightOffset = weightCount;
        layer.laneOffset = laneCount;
        layer.previousOffset = l == 1 ? 0 : laid[l - 2].valueOffset;
        layer.valueOffset = valueOffset;
        weightCount += size_t (layer.sources + 1) * layer.lanes;
        laneCount += layer.lanes;
        valueOffset += roundUp4 (size_t (layer.neurons) + 1);
        layer.activation = activations[l - 1];
        layer.kernel = kernelFor<Kernel> (layer.activation, layer.lanes);
    }

    weights.reset (weightCount);
    steepness.reset (laneCount);
    bound.reset (laneCount);
    // Lanes past the last neuron compute harmless values nobody reads.
    for (size_t g = 0; g < laneCount; ++g)
    {
        steepness[g] = 1.0f;
        bound[g] = 150.0f;
    }
    inputs = sizes[0];
    outputs = sizes[layerCount - 1];
    outputOffset = laid.back().valueOffset;
    scratchFloats = valueOffset;
    layers = std::move (laid);
    return true;
}

CompiledNetwork CompiledNetwork::compile (fann* network)
{
    CompiledNetwork compiled;
    if (network == nullptr || fann_get_network_type (network) != FANN_NETTYPE_LAYER ||
        !(fann_get_connection_rate (network) >= 1.0f))
        return compiled;
    const unsigned int layerCount = fann_get_num_layers (network);
    if (layerCount < 2)
        return compiled;

    std::vector<unsigned int> sizes (layerCount), biases (layerCount);
    fann_get_layer_array (network, sizes.data());
    fann_get_bias_array (network, biases.data());

    // FANN numbers neurons layer by layer, every layer's bias neuron after its own neurons.
    std::vector<unsigned int> firstNeuron (layerCount + 1, 0);
    for (unsigned int l = 0; l < layerCount; ++l)
    {
        if (sizes[l] == 0 || (l + 1 < layerCount && biases[l] != 1))
            return compiled;
        firstNeuron[l + 1] = firstNeuron[l] + sizes[l] + biases[l];
    }

    std::vector<Activation> activations;
    for (unsigned int l = 1; l < layerCount; ++l)
    {
        const auto first = fann_get_activation_function (network, static_cast<int> (l), 0);
        if (!isReproduced (first))
            return compiled;
        for (unsigned int g = 1; g < sizes[l]; ++g)
            if (fann_get_activation_function (network, static_cast<int> (l), static_cast<int> (g)) != first)
                return compiled;
        activations.push_back (static_cast<Activation> (first));
    }
    std::vector<uint32_t> layerSizes (sizes.begin(), sizes.end());
    CompiledNetwork laid;
    if (!laid.lay (layerSizes, activations))
        return compiled;

    // Each neuron's k-th connection comes from the k-th neuron of the layer before (its bias
    // last); fann_run relies on that for fully connected networks, and so does this layout.
    const unsigned int connectionCount = fann_get_total_connections (network);
    std::vector<fann_connection> connections (connectionCount);
    fann_get_connection_array (network, connections.data());
    std::vector<uint32_t> seen (firstNeuron[layerCount], 0);
    size_t expected = 0;
    for (const Layer& layer : laid.layers)
        expected += size_t (layer.sources + 1) * layer.neurons;
    if (connectionCount != expected)
        return compiled;
    for (const fann_connection& c : connections)
    {
        unsigned int l = 1;
        while (l < layerCount && c.to_neuron >= firstNeuron[l + 1])
            ++l;
        if (l >= layerCount || c.to_neuron < firstNeuron[l] || c.to_neuron - firstNeuron[l] >= sizes[l])
            return compiled;
        const Layer& layer = laid.layers[l - 1];
        const uint32_t g = c.to_neuron - firstNeuron[l];
        const uint32_t k = seen[c.to_neuron]++;
        if (k > layer.sources || c.from_neuron != firstNeuron[l - 1] + k)
            return compiled;
        laid.weights[layer.weightOffset + size_t (k) * layer.lanes + g] = c.weight;
    }
    for (unsigned int l = 1; l < layerCount; ++l)
        for (unsigned int g = 0; g < sizes[l]; ++g)
            if (seen[firstNeuron[l] + g] != sizes[l - 1] + 1)
                return compiled;

    for (unsigned int l = 1; l < layerCount; ++l)
    {
        const Layer& layer = laid.layers[l - 1];
        for (unsigned int g = 0; g < sizes[l]; ++g)
        {
            const float s =
                fann_get_activation_steepness (network, static_cast<int> (l), static_cast<int> (g));
            laid.steepness[layer.laneOffset + g] = s;
            laid.bound[layer.laneOffset + g] = 150 / s;
        }
    }
    return laid;
}

CompiledNetwork CompiledNetwork::fromWeights (const std::vector<uint32_t>& sizes, const float* weights,
                                              size_t weightCount, const std::vector<LayerForm>& forms)
{
    CompiledNetwork compiled;
    if (sizes.size() < 2 || forms.size() + 1 != sizes.size())
        return compiled;
    std::vector<Activation> activations;
    for (size_t l = 1; l < sizes.size(); ++l)
    {
        if (!isReproduced (static_cast<fann_activationfunc_enum> (forms[l - 1].activation)) ||
            forms[l - 1].steepness.size() != sizes[l])
            return compiled;
        activations.push_back (forms[l - 1].activation);
    }
    size_t expected = 0;
    for (size_t l = 1; l < sizes.size(); ++l)
        expected += (size_t (sizes[l - 1]) + 1) * sizes[l];
    if (weights == nullptr || weightCount != expected)
        return compiled;
    CompiledNetwork laid;
    if (!laid.lay (sizes, activations))
        return compiled;

    size_t w = 0;
    for (const Layer& layer : laid.layers)
        for (uint32_t g = 0; g < layer.neurons; ++g)
            for (uint32_t k = 0; k <= layer.sources; ++k)
                laid.weights[layer.weightOffset + size_t (k) * layer.lanes + g] = weights[w++];
    for (size_t l = 1; l < sizes.size(); ++l)
    {
        const Layer& layer = laid.layers[l - 1];
        for (uint32_t g = 0; g < layer.neurons; ++g)
        {
            // As fann_set_activation_steepness stores it and fann_run derives the clipping bound.
            const float s = forms[l - 1].steepness[g];
            laid.steepness[layer.laneOffset + g] = s;
            laid.bound[layer.laneOffset + g] = 150 / s;
        }
    }
    return laid;
}

namespace
{
template <typename T>
bool sameFloats (const AlignedArray<T>& a, const AlignedArray<T>& b) noexcept
{
    return a.size() == b.size() && (a.size() == 0 || std::memcmp (a.data(), b.data(), a.size() * sizeof (T)) == 0);
}
} // namespace

bool CompiledNetwork::sameAs (const CompiledNetwork& other) const noexcept
{
    if (layers.size() != other.layers.size() || inputs != other.inputs || outputs != other.outputs ||
        scratchFloats != other.scratchFloats || outputOffset != other.outputOffset)
        return false;
    for (size_t l = 0; l < layers.size(); ++l)
    {
        const Layer& a = layers[l];
        const Layer& b = other.layers[l];
        if (a.sources != b.sources || a.neurons != b.neurons || a.lanes != b.lanes ||
            a.weightOffset != b.weightOffset || a.laneOffset != b.laneOffset || a.valueOffset != b.valueOffset ||
            a.previousOffset != b.previousOffset || a.activation != b.activation || a.kernel != b.kernel)
            return false;
    }
    return sameFloats (weights, other.weights) && sameFloats (steepness, other.steepness) &&
           sameFloats (bound, other.bound);
}

const float* CompiledNetwork::run (const float* input, float* scratch) const noexcept
{
    for (uint32_t q = 0; q < inputs; ++q)
        scratch[q] = input[q];
    scratch[inputs] = 1.0f; // the input layer's bias neuron

    for (const Layer& layer : layers)
    {
        float* out = scratch + layer.valueOffset;
        layer.kernel (weights.data() + layer.weightOffset, scratch + layer.previousOffset, layer.sources + 1,
                      layer.lanes, steepness.data() + layer.laneOffset, bound.data() + layer.laneOffset, out);
        out[layer.neurons] = 1.0f;
    }
    return scratch + outputOffset;
}
