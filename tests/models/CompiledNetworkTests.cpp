// The compiled network against fann_run on networks built by FANN itself: every output must be
// the same float, bit for bit, also where the sums are clipped, the inputs are huge, infinite or
// NaN, and the layer sizes leave every remainder of the connection count modulo 4.
#include "FloatBits.h"
#include "models/CompiledNetwork.h"
#include "models/RegionNetwork.h"

#include <floatfann.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
struct NetworkCase
{
    const char* name;
    std::vector<unsigned int> layers;
    fann_activationfunc_enum output;
    float hiddenSteepness; // NaN: a different random steepness per neuron
    float outputSteepness;
    float weightSpread; // weights uniform in [-spread, spread]
};

const NetworkCase networkCases[] = {
    {"block 1 to 3 shape", {4, 8, 4}, FANN_LINEAR_PIECE_SYMMETRIC, NAN, NAN, 2.0f},
    {"block 4 shape", {2, 8, 2}, FANN_LINEAR_PIECE, 0.5f, 1.0f, 2.0f},
    {"no hidden layer", {4, 4}, FANN_LINEAR_PIECE, 1.0f, 1.0f, 1.0f},
    {"two hidden layers, odd sizes", {3, 5, 7, 2}, FANN_LINEAR_PIECE_SYMMETRIC, 0.8f, 0.3f, 3.0f},
    {"one input, one output", {1, 1}, FANN_LINEAR_PIECE, 1.0f, 1.0f, 1.0f},
    {"connection counts 3 mod 4", {6, 10, 3}, FANN_LINEAR_PIECE, 1.0f, 1.0f, 1.0f},
    {"wide layer outside the fixed lane counts", {4, 17, 5}, FANN_LINEAR_PIECE_SYMMETRIC, NAN, NAN, 1.0f},
    {"steep: sums clipped at 150 / steepness", {4, 8, 4}, FANN_LINEAR_PIECE_SYMMETRIC, 60.0f, 90.0f, 50.0f},
    {"negative steepness", {4, 8, 4}, FANN_LINEAR_PIECE, -0.7f, -2.0f, 5.0f},
    {"zero steepness", {2, 4, 2}, FANN_LINEAR_PIECE, 0.0f, 0.0f, 1.0f},
    {"tiny steepness", {4, 8, 4}, FANN_LINEAR_PIECE_SYMMETRIC, 1e-6f, 1e-6f, 1000.0f},
    {"linear output", {4, 8, 4}, FANN_LINEAR, 0.5f, 1.5f, 2.0f},
};

struct FannDestroy
{
    void operator() (fann* n) const { fann_destroy (n); }
};
using Owned = std::unique_ptr<fann, FannDestroy>;

Owned buildNetwork (const NetworkCase& c, std::mt19937& rng)
{
    Owned network (fann_create_sparse_array (1.0f, static_cast<unsigned int> (c.layers.size()), c.layers.data()));
    std::uniform_real_distribution<float> weight (-c.weightSpread, c.weightSpread);
    std::uniform_real_distribution<float> steep (0.05f, 3.0f);
    std::vector<fann_connection> connections (fann_get_total_connections (network.get()));
    fann_get_connection_array (network.get(), connections.data());
    for (auto& connection : connections)
        connection.weight = weight (rng);
    fann_set_weight_array (network.get(), connections.data(), static_cast<unsigned int> (connections.size()));

    fann_set_activation_function_hidden (network.get(), FANN_ELLIOT_SYMMETRIC);
    fann_set_activation_function_output (network.get(), c.output);
    const int last = static_cast<int> (c.layers.size()) - 1;
    for (int layer = 1; layer <= last; ++layer)
    {
        const float given = layer == last ? c.outputSteepness : c.hiddenSteepness;
        for (unsigned int g = 0; g < c.layers[static_cast<size_t> (layer)]; ++g)
            fann_set_activation_steepness (network.get(), std::isnan (given) ? steep (rng) : given, layer,
                                           static_cast<int> (g));
    }
    return network;
}

// Inputs in [-1, 1] (where the regions put them), a little and far outside, exact zeros of
// both signs, huge values, infinities and NaN.
std::vector<std::vector<float>> inputSets (unsigned int count, std::mt19937& rng)
{
    std::vector<std::vector<float>> sets;
    std::uniform_real_distribution<float> inside (-1.0f, 1.0f);
    std::uniform_real_distribution<float> outside (-40.0f, 40.0f);
    std::uniform_real_distribution<float> exponent (-30.0f, 30.0f);
    for (int r = 0; r < 400; ++r)
    {
        std::vector<float> v (count);
        for (auto& x : v)
            x = r < 200 ? inside (rng) : (r < 350 ? outside (rng) : std::copysign (std::pow (10.0f, exponent (rng)), inside (rng)));
        sets.push_back (v);
    }
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 3.0e38f, -3.0e38f,
                              std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min()};
    for (const float s : specials)
    {
        sets.emplace_back (count, s);
        std::vector<float> one (count, 0.25f);
        one[0] = s;
        sets.push_back (one);
    }
    return sets;
}
} // namespace

TEST (CompiledNetwork, GivesFannRunsFloatsBitForBit)
{
    std::mt19937 rng (20261210);
    for (const auto& c : networkCases)
    {
        SCOPED_TRACE (c.name);
        for (int draw = 0; draw < 5; ++draw)
        {
            Owned network = buildNetwork (c, rng);
            const CompiledNetwork compiled = CompiledNetwork::compile (network.get());
            ASSERT_TRUE (compiled.isValid());
            ASSERT_EQ (compiled.inputCount(), c.layers.front());
            ASSERT_EQ (compiled.outputCount(), c.layers.back());
            AlignedArray<float> scratch (compiled.scratchSize());
            for (auto input : inputSets (c.layers.front(), rng))
            {
                const float* ours = compiled.run (input.data(), scratch.data());
                const float* theirs = fann_run (network.get(), input.data());
                for (unsigned int o = 0; o < c.layers.back(); ++o)
                    ASSERT_EQ (floatBits (ours[o]), floatBits (theirs[o]))
                        << "output " << o << ": " << ours[o] << " vs " << theirs[o] << ", input[0] " << input[0];
            }
        }
    }
}

TEST (CompiledNetwork, OneCompiledNetworkServesIndependentScratches)
{
    std::mt19937 rng (7);
    Owned network = buildNetwork (networkCases[0], rng);
    const CompiledNetwork compiled = CompiledNetwork::compile (network.get());
    AlignedArray<float> a (compiled.scratchSize()), b (compiled.scratchSize());
    const float x[4] = {0.1f, -0.2f, 0.3f, -0.4f}, z[4] = {0.9f, 0.8f, -0.7f, 0.6f};
    const float* first = compiled.run (x, a.data());
    std::vector<float> kept (first, first + 4);
    compiled.run (z, b.data()); // another user's evaluation leaves the first one's outputs alone
    for (int o = 0; o < 4; ++o)
        EXPECT_EQ (floatBits (first[o]), floatBits (kept[o]));
    const float* expected = fann_run (network.get(), const_cast<float*> (x));
    for (int o = 0; o < 4; ++o)
        EXPECT_EQ (floatBits (kept[o]), floatBits (expected[o]));
}

TEST (CompiledNetwork, RefusesNetworksItDoesNotReproduce)
{
    const unsigned int layers[] = {3, 5, 2};
    Owned sigmoid (fann_create_standard_array (3, layers));
    fann_set_activation_function_hidden (sigmoid.get(), FANN_SIGMOID);
    EXPECT_FALSE (CompiledNetwork::compile (sigmoid.get()).isValid());

    Owned mixed (fann_create_standard_array (3, layers));
    fann_set_activation_function_hidden (mixed.get(), FANN_ELLIOT_SYMMETRIC);
    fann_set_activation_function_output (mixed.get(), FANN_LINEAR_PIECE);
    fann_set_activation_function (mixed.get(), FANN_LINEAR_PIECE_SYMMETRIC, 2, 1);
    EXPECT_FALSE (CompiledNetwork::compile (mixed.get()).isValid());

    Owned sparse (fann_create_sparse_array (0.5f, 3, layers));
    fann_set_activation_function_hidden (sparse.get(), FANN_ELLIOT_SYMMETRIC);
    fann_set_activation_function_output (sparse.get(), FANN_LINEAR_PIECE);
    EXPECT_FALSE (CompiledNetwork::compile (sparse.get()).isValid());

    Owned shortcut (fann_create_shortcut_array (3, layers));
    fann_set_activation_function_hidden (shortcut.get(), FANN_ELLIOT_SYMMETRIC);
    fann_set_activation_function_output (shortcut.get(), FANN_LINEAR_PIECE);
    EXPECT_FALSE (CompiledNetwork::compile (shortcut.get()).isValid());

    EXPECT_FALSE (CompiledNetwork::compile (nullptr).isValid());
}
