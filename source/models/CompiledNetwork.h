#pragma once

#include "shared/AlignedArray.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct fann;

// A fully connected FANN network, read out of the FANN object after FANN has built it, laid out
// for evaluation: per layer, the weights of every source neuron (its bias last) side by side for
// all destination neurons, so one pass over the sources updates every neuron of the layer at
// once. Every neuron's sum is formed in the same order of single-precision operations as
// fann_run forms it (the remainder of the connection count modulo 4 first, from the highest of
// those connections down, then groups of four added among themselves before they join the sum),
// followed by the same steepness product, the same clipping to +-150 / steepness and the same
// activation formulas, so the outputs are identical floats.
//
// The object is read-only once compiled; all per-evaluation data live in caller-provided
// scratch, so one compiled network can serve several chains on different threads. FANN keeps
// owning its network: nothing here points into it.
class CompiledNetwork
{
public:
    // Activation functions reproduced here, with FANN's enumeration values.
    enum class Activation : uint8_t
    {
        linear = 0,
        elliotSymmetric = 11,
        linearPiece = 12,
        linearPieceSymmetric = 13,
    };

    CompiledNetwork() = default;

    // Reads weights, steepness, activation functions and layer sizes. Returns an invalid object
    // (isValid() false) for a network this evaluator does not reproduce exactly (not fully
    // connected, shortcut connections, an activation function other than the ones above, or
    // neurons of one layer with different functions); the caller then keeps using fann_run.
    static CompiledNetwork compile (fann* network);

    // The object compile() reads out of FANN, made straight from what FANN would have been given:
    // the layer sizes (inputs first), the weights in the order of the model files (per layer
    // pair, per destination neuron, its sources and then the source layer's bias) and, per layer
    // after the input, its activation function and each neuron's steepness. Invalid for an
    // activation function it does not reproduce or counts that do not fit.
    struct LayerForm
    {
        Activation activation = Activation::linear;
        std::vector<float> steepness; // one per neuron of the layer
    };
    static CompiledNetwork fromWeights (const std::vector<uint32_t>& sizes, const float* weights, size_t weightCount,
                                        const std::vector<LayerForm>& forms);

    // One layer after the input, for evaluations that fix the sizes at compile time: weights
    // (sources + 1) x lanes, source-major, the bias last; steepness and bound per lane.
    struct LayerView
    {
        const float* weights = nullptr;
        const float* steepness = nullptr;
        const float* bound = nullptr;
        uint32_t sources = 0;
        uint32_t neurons = 0;
        uint32_t lanes = 0;
        Activation activation = Activation::linear;
    };
    size_t layerCount() const noexcept { return layers.size(); }
    LayerView layer (size_t l) const noexcept
    {
        const Layer& y = layers[l];
        return {weights.data() + y.weightOffset, steepness.data() + y.laneOffset, bound.data() + y.laneOffset,
                y.sources, y.neurons, y.lanes, y.activation};
    }

    // Same layout, weights, steepness and activation functions, float for float.
    bool sameAs (const CompiledNetwork& other) const noexcept;

    bool isValid() const noexcept { return !layers.empty(); }
    uint32_t inputCount() const noexcept { return inputs; }
    uint32_t outputCount() const noexcept { return outputs; }

    // Floats of scratch that run needs; the scratch must be 16-byte aligned.
    size_t scratchSize() const noexcept { return scratchFloats; }

    // Evaluates the network on inputCount() inputs. Returns the outputCount() outputs, which
    // lie inside the scratch and stay valid until its next use. Allocates nothing.
    const float* run (const float* input, float* scratch) const noexcept;

private:
    using Kernel = void (*) (const float*, const float*, uint32_t, uint32_t, const float*, const float*,
                             float*) noexcept;

    struct Layer
    {
        uint32_t sources = 0;      // neurons of the layer before, without its bias neuron
        uint32_t neurons = 0;      // neurons of this layer, without its bias neuron
        uint32_t lanes = 0;        // neurons rounded up to a multiple of 4
        size_t weightOffset = 0;   // (sources + 1) x lanes weights, source-major
        size_t laneOffset = 0;     // lanes entries of steepness and clipping bound
        size_t valueOffset = 0;    // into scratch: this layer's values, its bias value after them
        size_t previousOffset = 0; // into scratch: the values of the layer before
        Activation activation = Activation::linear;
        Kernel kernel = nullptr; // the layer's pass, specialised for its activation and lane count
    };

    // Sizes every layer and array for the layer sizes (inputs first); weights zero, steepness 1.
    // False when a layer is empty.
    bool lay (const std::vector<uint32_t>& sizes, const std::vector<Activation>& activations);

    std::vector<Layer> layers;
    AlignedArray<float> weights;
    AlignedArray<float> steepness;
    AlignedArray<float> bound; // 150 / steepness, as FANN derives it for every neuron
    uint32_t inputs = 0;
    uint32_t outputs = 0;
    size_t outputOffset = 0;
    size_t scratchFloats = 0;
};
