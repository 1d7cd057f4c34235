// A chain on the real model data set gives the same output floats, level sums and running
// vectors with the fast evaluation (compiled networks, region index) as with the plain one
// (fann_run, boxes tested one by one in stored order), across valve sets, rates, oversampling,
// gain and tone positions changed while running, loud input and silence.
#include "FloatBits.h"
#include "RealDataSet.h"
#include "engine/ChannelChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
struct ChainCase
{
    int valve;
    int32_t hostRate;
    int factor;
};

const ChainCase chainCases[] = {{0, 48000, 1}, {1, 48000, 1}, {0, 44100, 1}, {0, 48000, 2}, {1, 44100, 2}};

// Decaying notes, a loud burst and a stretch of silence.
std::vector<float> phrase (int32_t rate, int samples)
{
    std::vector<float> v (static_cast<size_t> (samples));
    std::mt19937 rng (17);
    std::normal_distribution<float> noise (0.0f, 0.003f);
    for (int s = 0; s < samples; ++s)
    {
        const double t = static_cast<double> (s % (rate / 8)) / rate;
        const double f = 110.0 * (1 + (s / (rate / 8)) % 4);
        double x = 0.0;
        for (int h = 1; h <= 4; ++h)
            x += std::sin (2.0 * M_PI * f * h * t) / h;
        const double level = s > samples / 2 && s < samples * 5 / 8 ? 4.0 : (s > samples * 7 / 8 ? 0.0 : 0.4);
        v[static_cast<size_t> (s)] = static_cast<float> (level * x * std::exp (-6.0 * t)) + noise (rng);
    }
    return v;
}

void load (ChannelChain& chain, PreampBlockSet& blocks, const ChainCase& c)
{
    const int32_t processingRate = c.hostRate * c.factor;
    for (int k = 0; k < 4; ++k)
    {
        const auto status = chain.loadBlockModel (k, blocks[static_cast<size_t> (k)].get(),
                                                  realdata::path (k, c.valve, processingRate),
                                                  blockUsesPrincipalComponents (k));
        ASSERT_TRUE (status.ok) << status.message;
    }
    chain.prepareRate (c.hostRate, c.factor);
    for (int k = 0; k < 4; ++k)
        chain.selectPosition (k, k == 3 ? 1687u : 8u);
    ASSERT_TRUE (chain.isReady());
}

void processAtFactor (ChannelChain& chain, const ChainCase& c, float* samples, int n)
{
    if (c.factor == 1)
        chain.processPlain (samples, n);
    else
        chain.processOversampled (samples, n);
}
} // namespace

TEST (RealDataChainEquality, FastAndPlainEvaluationGiveTheSameFloats)
{
    for (const auto& c : chainCases)
    {
        SCOPED_TRACE (testing::Message() << "valve " << c.valve << ", " << c.hostRate << " Hz x" << c.factor);
        PreampBlockSet blocks = makePreampBlocks (c.hostRate);
        ChannelChain fast, plain;
        load (fast, blocks, c);
        load (plain, blocks, c);
        plain.useReferenceEvaluation();

        const auto input = phrase (c.hostRate, c.hostRate / 2);
        const uint32_t positions[][2] = {{8, 1687}, {16, 3374}, {0, 0}, {12, 420}};
        const int stretch = static_cast<int> (input.size() / std::size (positions));
        for (size_t part = 0; part < std::size (positions); ++part)
        {
            for (ChannelChain* chain : {&fast, &plain})
            {
                chain->selectPosition (0, positions[part][0]);
                chain->selectPosition (1, positions[part][0]);
                chain->selectPosition (3, positions[part][1]);
            }
            std::vector<float> a (input.begin() + part * stretch, input.begin() + (part + 1) * stretch);
            std::vector<float> b = a;
            processAtFactor (fast, c, a.data(), stretch);
            processAtFactor (plain, c, b.data(), stretch);
            for (int s = 0; s < stretch; ++s)
                ASSERT_EQ (floatBits (a[s]), floatBits (b[s])) << "part " << part << ", sample " << s;
            EXPECT_EQ (floatBits (fast.levelWindow.sum), floatBits (plain.levelWindow.sum));
            EXPECT_EQ (floatBits (fast.levelWindow.sumSquares), floatBits (plain.levelWindow.sumSquares));
        }
        for (int k = 0; k < 4; ++k)
        {
            EXPECT_EQ (fast.getWorkspace (k).x, plain.getWorkspace (k).x) << "block " << k + 1;
            EXPECT_EQ (fast.getWorkspace (k).i, plain.getWorkspace (k).i) << "block " << k + 1;
        }
    }
}

// The chain runs its blocks side by side over a few samples at a time; how the host cuts its
// buffers must not change a bit: one sample per call runs every block strictly in turn.
TEST (RealDataChainEquality, HowTheHostCutsItsBuffersChangesNoBit)
{
    const int cuts[] = {1, 2, 3, 4, 5, 31, 32, 33, 64, 100, 7, 513};
    for (const auto& c : chainCases)
    {
        SCOPED_TRACE (testing::Message() << "valve " << c.valve << ", " << c.hostRate << " Hz x" << c.factor);
        PreampBlockSet blocks = makePreampBlocks (c.hostRate);
        ChannelChain oneByOne, cut;
        for (ChannelChain* chain : {&oneByOne, &cut})
            load (*chain, blocks, c);
        const auto input = phrase (c.hostRate, c.hostRate / 4);
        std::vector<float> a = input, b = input;
        size_t next = 0;
        for (size_t start = 0; start < a.size(); ++next)
        {
            const int n =
                static_cast<int> (std::min<size_t> (cuts[next % std::size (cuts)], a.size() - start));
            processAtFactor (cut, c, a.data() + start, n);
            start += static_cast<size_t> (n);
        }
        for (size_t s = 0; s < b.size(); ++s)
            processAtFactor (oneByOne, c, b.data() + s, 1);

        for (size_t s = 0; s < a.size(); ++s)
            ASSERT_EQ (floatBits (a[s]), floatBits (b[s])) << "sample " << s;
        EXPECT_EQ (floatBits (cut.levelWindow.sum), floatBits (oneByOne.levelWindow.sum));
        EXPECT_EQ (floatBits (cut.levelWindow.sumSquares), floatBits (oneByOne.levelWindow.sumSquares));
        for (int k = 0; k < 4; ++k)
        {
            EXPECT_EQ (cut.getWorkspace (k).x, oneByOne.getWorkspace (k).x) << "block " << k + 1;
            EXPECT_EQ (cut.getWorkspace (k).y, oneByOne.getWorkspace (k).y) << "block " << k + 1;
        }
    }
}
