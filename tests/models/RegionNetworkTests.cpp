#include "NetworkFixtures.h"
#include "models/PositionSelection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace
{
std::vector<float> randomWeights (size_t count, uint32_t seed)
{
    SampleValues values (seed);
    std::vector<float> w (count);
    for (auto& v : w)
        v = values.next();
    return w;
}

// A standard net with no hidden layer: one weight from the input and a bias per output, so each
// region returns a constant chosen by its bias.
NetRecord constantNet (float value, float lower, float upper)
{
    NetRecord net = plainNet (1, {}, 1, lower, upper);
    net.weights = {0.0f, value};
    return net;
}
} // namespace

// The weights land where the file order says: checked against a hand-computed perceptron, not
// against the network library.
TEST (RegionNetwork, StandardWeightOrderMatchesHandComputedPerceptron)
{
    struct Case
    {
        std::vector<uint32_t> hidden;
        float hiddenSteepness, outputSteepness;
    };
    for (const Case& c : {Case{{8}, 0.7f, 0.9f}, Case{{}, 1.0f, 0.6f}, Case{{5, 3}, 1.3f, 0.5f}})
    {
        TestBlock block (4, 4, 1);
        BlockModelState m;
        NetRecord net = plainNet (4, c.hidden, 4);
        net.weights = randomWeights (net.weights.size(), 42);
        net.hiddenSteepness = c.hiddenSteepness;
        net.outputSteepness = c.outputSteepness;
        for (uint32_t q = 0; q < 4; ++q)
        {
            net.inputMin[q] = -2.0f;
            net.inputMax[q] = 2.0f;
        }
        for (uint32_t o = 0; o < 4; ++o)
        {
            net.outputMin[o] = -0.1f;
            net.outputMax[o] = 0.9f;
        }
        const auto weights = net.weights;
        ASSERT_TRUE (loadStandardNets (m, block, {{net}}).ok);
        selectPosition (m, 0);

        std::vector<uint32_t> layers{4};
        std::vector<std::vector<float>> steepness;
        for (uint32_t size : c.hidden)
        {
            layers.push_back (size);
            steepness.emplace_back (size, c.hiddenSteepness);
        }
        layers.push_back (4);
        steepness.emplace_back (4, c.outputSteepness);

        SampleValues points (7);
        for (int trial = 0; trial < 20; ++trial)
        {
            double p[4], i[4];
            std::vector<double> scaled (4);
            for (int q = 0; q < 4; ++q)
            {
                p[q] = 2.5 * points.next();
                scaled[q] = (p[q] + 2.0) * 0.5 - 1.0;
            }
            regionStep (m, 3, p, i);
            const auto expected = handNetwork (weights, layers, steepness, false, scaled);
            for (int o = 0; o < 4; ++o)
            {
                EXPECT_NEAR (m.scratch.networkOutput[o], expected[o], 2e-6) << "output " << o;
                EXPECT_NEAR (i[o], std::fmax (0.0, expected[o] - 0.1), 2e-6) << "current " << o;
            }
        }
    }
}

TEST (RegionNetwork, PcaWeightOrderAndPerNeuronSteepnessMatchHandComputation)
{
    auto file = samplePcaFile (pcaSampleShape (1, 6, 1, 1), 3);
    auto& position = file->models[0].positions[0];
    auto& net = position.nets[0];
    for (uint32_t q = 0; q < 3; ++q)
    {
        net.lowerBound[q] = -100.0f;
        net.upperBound[q] = 100.0f;
        net.inputMin[q] = -4.0f;
        net.inputMax[q] = 4.0f;
    }
    for (uint32_t o = 0; o < 4; ++o)
    {
        net.outputMin[o] = 0.5f;
        net.outputMax[o] = 1.5f;
    }
    const auto weights = net.weights;
    const std::vector<std::vector<float>> steepness{net.hiddenNeuronSteepness, net.outputNeuronSteepness};
    const auto projection = position.projection; // rows: the 3 selected inputs, columns: 3 network inputs
    TestBlock block (4, 4, 1);
    BlockModelState m;
    ASSERT_TRUE (loadModelFileIntoState (m, block, std::move (file)).ok);
    selectPosition (m, 0);
    ASSERT_EQ (m.projectionNeeded, 1);

    const double p[4] = {1.5, -0.75, 2.25, 99.0}; // the last input is masked out (mask entry 7)
    double i[4];
    regionStep (m, 0, p, i);
    std::vector<double> scaled (3);
    for (uint32_t j = 0; j < 3; ++j)
    {
        double reduced = 0.0;
        for (uint32_t k = 0; k < 3; ++k)
            reduced += p[k] * projection[k * 3 + j];
        EXPECT_DOUBLE_EQ (m.reducedInput[j], reduced);
        scaled[j] = (reduced + 4.0) / 8.0 * 2.0 - 1.0;
    }
    const auto expected = handNetwork (weights, {3, 6, 4}, steepness, true, scaled);
    for (int o = 0; o < 4; ++o)
    {
        EXPECT_NEAR (m.scratch.networkOutput[o], expected[o], 2e-6);
        EXPECT_NEAR (i[o], std::fmax (0.0, expected[o] + 0.5), 2e-6);
    }
}

// Boxes are open: edges, shared edges and NaN are in no box. Such a point, and any point
// outside every box, takes the nearest box's network at the nearest point of that box (the
// first box on a tie; a NaN coordinate at the box's middle), for every block: a network never
// extrapolates past its box, and no block answers with zero currents.
TEST (RegionNetwork, BoxSearchAndNearestBoxFallback)
{
    TestBlock block (1, 1, 1);
    BlockModelState m;
    NetRecord sloped = plainNet (1, {}, 1, -1.0f, 0.0f); // 0.25 p + 0.5 on (-1, 0)
    sloped.weights = {0.25f, 0.5f};
    ASSERT_TRUE (loadStandardNets (m, block, {{sloped, constantNet (0.875f, 0.0f, 1.0f)}}).ok);
    selectPosition (m, 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Step
    {
        double p;
        int blockIndex;
        double expected;
        int lastRegion; // moves only when a box holds the point
    };
    const Step steps[] = {
        {-0.5, 0, 0.375, 0}, // inside the first box
        {0.0, 0, 0.5, 0},    // shared edge: in neither, both at distance 0, the first at its edge
        {0.5, 0, 0.875, 1},  // inside the second box
        {0.0, 0, 0.5, 1},    // shared edge again: still the first box, whatever was found last
        {-3.0, 0, 0.25, 1},  // far below: the first box at -1, not its extrapolation (-0.25 -> 0)
        {-1.0, 0, 0.25, 1},  // lower edge of the first box
        {4.0, 0, 0.875, 1},  // far above: the second box
        {nan, 0, 0.375, 1},  // NaN: the first box at its middle
        {-3.0, 3, 0.25, 1},  // block 4 follows the same rule
        {nan, 3, 0.375, 1},  {-0.5, 3, 0.375, 0},
    };
    for (const Step& s : steps)
    {
        double i = 7.0;
        regionStep (m, s.blockIndex, &s.p, &i);
        EXPECT_DOUBLE_EQ (i, s.expected) << "p " << s.p << " block " << s.blockIndex;
        EXPECT_EQ (m.lastRegion, &m.regions[size_t (s.lastRegion)]) << "p " << s.p;
        EXPECT_TRUE (s.p != s.p || m.reducedInput[0] == s.p) << "the reduced input keeps the point itself";
    }

    // A new selection resets the last region found.
    const double inSecond = 0.5;
    double i = 0.0;
    regionStep (m, 0, &inSecond, &i);
    ASSERT_EQ (m.lastRegion, &m.regions[1]);
    selectPosition (m, 0);
    EXPECT_EQ (m.lastRegion, &m.regions[0]);
}

// Inside a box the fallback point is the point itself, so both evaluations agree bit for bit;
// outside, the nearest point is taken per input.
TEST (RegionNetwork, NearestPointEvaluationMatchesEvaluationAtTheClampedPoint)
{
    TestBlock block (4, 4, 1);
    BlockModelState m;
    NetRecord net = plainNet (4, {6}, 4, -2.0f, 3.0f);
    net.weights = randomWeights (net.weights.size(), 7);
    for (uint32_t q = 0; q < 4; ++q)
    {
        net.inputMin[q] = -2.5f;
        net.inputMax[q] = 3.5f;
    }
    ASSERT_TRUE (loadStandardNets (m, block, {{net}}).ok);
    selectPosition (m, 0);
    const RegionNetwork& region = m.regions[0];

    const double points[][4] = {{0.1, -1.9, 2.9, 0.0}, {-7.0, 0.5, 30.0, 3.0}, {1e30, -1e30, -2.0, 2.5}};
    for (const auto& u : points)
    {
        double clamped[4];
        for (int q = 0; q < 4; ++q)
            clamped[q] = std::min (3.0, std::max (-2.0, u[q]));
        double viaNearest[4] = {}, viaClamped[4] = {};
        region.evaluateNearestPoint (u, viaNearest, m.scratch);
        region.evaluate (clamped, viaClamped, m.scratch);
        for (int o = 0; o < 4; ++o)
            EXPECT_EQ (viaNearest[o], viaClamped[o]) << u[0];
    }
}

TEST (RegionNetwork, InputAndOutputScalingEdgeCases)
{
    struct Case
    {
        float outputMin, outputMax;
        float expectedScale;
        double expectedCurrent; // network output fixed at 0.25
    };
    const Case cases[] = {
        {0.0f, 5e-9f, 1e-8f, 0.25f * 1e-8f},
        {0.3f, 0.3f, 0.0f, double (0.3f)},    // zero span: the output is outputMin
        {-0.3f, -0.3f, 0.0f, 0.0},            // ... clamped at zero
        {0.5f, 0.0f, -0.5f, double (0.375f)}, // negative span used unchanged
        {0.0f, 2.0f, 2.0f, double (0.5f)},
    };
    for (const Case& c : cases)
    {
        TestBlock block (2, 1, 1);
        BlockModelState m;
        NetRecord net = plainNet (2, {}, 1);
        net.inputMin[1] = 3.0f; // inputMin == inputMax: the network always sees -1
        net.inputMax[1] = 3.0f;
        net.weights = {0.0f, 0.0f, 0.25f};
        net.outputMin[0] = c.outputMin;
        net.outputMax[0] = c.outputMax;
        ASSERT_TRUE (loadStandardNets (m, block, {{net}}).ok);
        selectPosition (m, 0);
        EXPECT_EQ (m.regions[0].inputScale[1], 0.0f);
        EXPECT_EQ (m.regions[0].inputScale[0], 1.0f);
        EXPECT_EQ (m.regions[0].outputScale[0], c.expectedScale) << c.outputMin << " " << c.outputMax;
        const double p[2] = {0.5, 8.0};
        double i = -1.0;
        regionStep (m, 0, p, &i);
        EXPECT_EQ (m.scratch.scaledInput[0], 0.5f);
        EXPECT_EQ (m.scratch.scaledInput[1], -1.0f);
        EXPECT_FLOAT_EQ (static_cast<float> (i), static_cast<float> (c.expectedCurrent));
        EXPECT_GE (i, 0.0);
    }
}

// With output mask {1, 0, 1, 1} network outputs 0, 1, 2 drive i[0], i[2], i[3]; i[1] keeps its value.
TEST (RegionNetwork, OutputMaskSkipsEntriesWithoutAdvancing)
{
    auto file = samplePcaFile (pcaSampleShape (1, 2, 1, 1), 3);
    auto& position = file->models[0].positions[0];
    position.outputMask = {1, 0x00050000u, 0x00010001u, 1}; // only the low 16 bits count
    auto& net = position.nets[0];
    std::fill (net.weights.begin(), net.weights.end(), 0.0f);
    const size_t outputLayer = 4 * 2;
    for (uint32_t g = 0; g < 4; ++g)
        net.weights[outputLayer + g * 3 + 2] = 0.1f * (g + 1); // output biases: outputs 0.1 .. 0.4
    for (uint32_t q = 0; q < 3; ++q)
    {
        net.lowerBound[q] = -1e9f;
        net.upperBound[q] = 1e9f;
    }
    for (uint32_t o = 0; o < 4; ++o)
    {
        net.outputMin[o] = 0.0f;
        net.outputMax[o] = 1.0f;
    }
    std::fill (net.outputNeuronSteepness.begin(), net.outputNeuronSteepness.end(), 1.0f);
    TestBlock block (4, 4, 1);
    BlockModelState m;
    ASSERT_TRUE (loadModelFileIntoState (m, block, std::move (file)).ok);
    selectPosition (m, 0);
    EXPECT_EQ (m.outputMask[2], 1);
    const double p[4] = {0.1, 0.2, 0.3, 0.4};
    double i[4] = {9.0, 9.0, 9.0, 9.0};
    regionStep (m, 0, p, i);
    EXPECT_NEAR (i[0], 0.1, 1e-6);
    EXPECT_EQ (i[1], 9.0);
    EXPECT_NEAR (i[2], 0.2, 1e-6);
    EXPECT_NEAR (i[3], 0.3, 1e-6);
}
