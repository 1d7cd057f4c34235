// The fused region evaluations against FANN: for every network shape they are made for, and both
// kinds of file, the currents of the fast table (fused) equal those of a table of FANN networks
// built from the same records, bit for bit, at points inside, on the edges of and far outside
// the boxes (where the neurons saturate) and at NaN.
#include "FloatBits.h"
#include "SampleModels.h"
#include "models/FusedEvaluation.h"
#include "models/NetworkBuilding.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct Shape
{
    uint32_t inputs, hidden, outputs;
    bool usesPca;
};

std::vector<Shape> fusedShapes()
{
    std::vector<Shape> shapes;
    for (const bool usesPca : {false, true})
        for (uint32_t inputs = 1; inputs <= 4; ++inputs)
            for (const uint32_t hidden : {4u, 6u, 8u, 10u, 12u, 16u})
                shapes.push_back ({inputs, hidden, inputs % 4 + 1, usesPca}); // 1 to 4 outputs
    return shapes;
}

// The currents, the network outputs and the scaled inputs of two evaluations, bit for bit.
void expectSameEvaluation (const Shape& c, const std::vector<double>& currents,
                           const std::vector<double>& expected, const RegionScratch& scratch,
                           const RegionScratch& expectedScratch)
{
    for (uint32_t j = 0; j < c.outputs; ++j)
        ASSERT_EQ (doubleBits (currents[j]), doubleBits (expected[j])) << "current " << j;
    for (uint32_t o = 0; o < c.outputs; ++o)
        ASSERT_EQ (floatBits (scratch.networkOutput[o]), floatBits (expectedScratch.networkOutput[o]))
            << "output " << o;
    for (uint32_t q = 0; q < c.inputs; ++q)
        ASSERT_EQ (floatBits (scratch.scaledInput[q]), floatBits (expectedScratch.scaledInput[q]))
            << "input " << q;
}

std::unique_ptr<BaseModelFileF> fileOf (const Shape& c, float weightScale)
{
    SampleShape s;
    s.nv = c.inputs;
    s.ni = c.outputs;
    s.nx = 1;
    s.hidden = {c.hidden};
    s.positions = 1;
    s.netsPerPosition = 3;
    s.seed = c.inputs * 100 + c.hidden;
    std::unique_ptr<BaseModelFileF> file;
    if (c.usesPca)
    {
        // Every input a network input: the pca sample selects all but the last of nv.
        s.nv = c.inputs + 1;
        auto pca = samplePcaFile (s, c.inputs);
        for (auto& net : pca->models[0].positions[0].nets)
            for (auto& w : net.weights)
                w *= weightScale;
        file = std::move (pca);
    }
    else
    {
        auto standard = sampleStandardFile (s);
        for (auto& net : standard->models[0].positions[0].nets)
            for (auto& w : net.weights)
                w *= weightScale;
        file = std::move (standard);
    }
    return file;
}
} // namespace

TEST (FusedEvaluation, EveryFusedShapeGivesTheCurrentsOfFannNetworks)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Shape& c : fusedShapes())
        for (const float weightScale : {1.0f, 40.0f}) // 40: sums far past the clipping bound
        {
            const std::string name = std::string (c.usesPca ? "pca " : "standard ") +
                                     std::to_string (c.inputs) + "-" + std::to_string (c.hidden) + "-" +
                                     std::to_string (c.outputs) + " x" + std::to_string (weightScale);
            SCOPED_TRACE (name);
            const auto file = fileOf (c, weightScale);
            ModelLoadResult status;
            const auto fast = buildPositionTable (*file, c.outputs, 0, false, status);
            ASSERT_NE (fast, nullptr) << status.message;
            const auto plain = buildPositionTable (*file, c.outputs, 0, true, status);
            ASSERT_NE (plain, nullptr) << status.message;
            RegionScratch fastScratch, plainScratch;
            fastScratch.reserve (fast->maxInputs, fast->scratchFloats);
            plainScratch.reserve (plain->maxInputs, 0);

            SampleValues values (c.inputs * 7 + c.hidden);
            for (size_t e = 0; e < fast->regions.size(); ++e)
            {
                const RegionNetwork& ours = fast->regions[e];
                const RegionNetwork& theirs = plain->regions[e];
                ASSERT_NE (ours.evaluator, nullptr) << "no fused form";
                ASSERT_EQ (ours.evaluator, fusedEvaluatorFor (ours));
                for (int trial = 0; trial < 200; ++trial)
                {
                    std::vector<double> u (c.inputs);
                    const double spread = trial % 4 == 0 ? 50.0 : 1.2;
                    for (auto& v : u)
                        v = spread * values.next();
                    if (trial == 7)
                        u[0] = nan;
                    if (trial == 9)
                        u[c.inputs - 1] = ours.upperBound[c.inputs - 1];
                    std::vector<double> iFast (c.outputs, -7.0), iPlain (c.outputs, -7.0);
                    ours.evaluate (u.data(), iFast.data(), fastScratch);
                    theirs.evaluate (u.data(), iPlain.data(), plainScratch);
                    SCOPED_TRACE (testing::Message() << "net " << e << " trial " << trial);
                    ASSERT_NO_FATAL_FAILURE (
                        expectSameEvaluation (c, iFast, iPlain, fastScratch, plainScratch));
                }
            }
        }
}

// Shapes without a fused form keep the general evaluation.
TEST (FusedEvaluation, OtherShapesKeepTheGeneralEvaluation)
{
    const Shape others[] = {{5, 8, 4, false}, {2, 7, 2, false}, {2, 20, 2, true}, {3, 8, 5, false}};
    for (const Shape& c : others)
    {
        const auto file = fileOf (c, 1.0f);
        ModelLoadResult status;
        const auto fast = buildPositionTable (*file, c.outputs, 0, false, status);
        ASSERT_NE (fast, nullptr) << status.message;
        for (const RegionNetwork& region : fast->regions)
        {
            EXPECT_NE (region.compiled, nullptr);
            EXPECT_EQ (region.evaluator, nullptr) << c.inputs << "-" << c.hidden << "-" << c.outputs;
        }
    }
    // Two hidden layers.
    SampleShape s;
    s.nv = 2;
    s.ni = 2;
    s.hidden = {8, 8};
    s.positions = 1;
    const auto file = sampleStandardFile (s);
    ModelLoadResult status;
    const auto fast = buildPositionTable (*file, 2, 0, false, status);
    ASSERT_NE (fast, nullptr) << status.message;
    EXPECT_EQ (fast->regions[0].evaluator, nullptr);
}

// The build a processor gets: SSE2 without AVX2, whatever this machine has; and on this machine
// the attached evaluation is the one of its own build.
TEST (FusedEvaluation, TheSse2BuildServesProcessorsWithoutAvx2)
{
    EXPECT_EQ (fusedWidthFor (false), FusedWidth::sse2);
    EXPECT_EQ (fusedWidthFor (true), FusedWidth::avx2);

    const Shape c{3, 8, 4, true};
    const auto file = fileOf (c, 1.0f);
    ModelLoadResult status;
    const auto fast = buildPositionTable (*file, c.outputs, 0, false, status);
    ASSERT_NE (fast, nullptr) << status.message;
    for (const RegionNetwork& region : fast->regions)
    {
        const RegionEvaluator narrow = fusedEvaluatorFor (region, FusedWidth::sse2);
        const RegionEvaluator wide = fusedEvaluatorFor (region, FusedWidth::avx2);
        ASSERT_NE (narrow, nullptr);
        EXPECT_NE (narrow, wide) << "the two builds are separate functions";
        if (processorHasAvx2())
        {
            EXPECT_NE (wide, nullptr);
            EXPECT_EQ (region.evaluator, wide);
        }
        else
        {
            EXPECT_EQ (wide, nullptr) << "never the AVX2 build on a processor without AVX2";
            EXPECT_EQ (region.evaluator, narrow);
        }
    }
}

// Both builds of every fused shape on the same inputs, inside, around and far outside the boxes
// (weights scaled up so the sums pass the clipping bound), and NaN and infinite inputs: the same
// scaled inputs, network outputs and currents, bit for bit.
TEST (FusedEvaluation, TheAvx2BuildGivesTheFloatsOfTheSse2Build)
{
    if (!processorHasAvx2())
        GTEST_SKIP() << "this processor has no AVX2: only the SSE2 build runs here";
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), 0.0, -0.0};
    size_t evaluations = 0;
    for (const Shape& c : fusedShapes())
        for (const float weightScale : {1.0f, 40.0f})
        {
            SCOPED_TRACE (std::to_string (c.inputs) + "-" + std::to_string (c.hidden) + "-" +
                          std::to_string (c.outputs) + (c.usesPca ? " pca" : " standard") + " x" +
                          std::to_string (weightScale));
            const auto file = fileOf (c, weightScale);
            ModelLoadResult status;
            const auto fast = buildPositionTable (*file, c.outputs, 0, false, status);
            ASSERT_NE (fast, nullptr) << status.message;
            RegionScratch narrowScratch, wideScratch;
            narrowScratch.reserve (fast->maxInputs, fast->scratchFloats);
            wideScratch.reserve (fast->maxInputs, fast->scratchFloats);
            SampleValues values (c.inputs * 11 + c.hidden);
            for (const RegionNetwork& region : fast->regions)
            {
                const RegionEvaluator narrow = fusedEvaluatorFor (region, FusedWidth::sse2);
                const RegionEvaluator wide = fusedEvaluatorFor (region, FusedWidth::avx2);
                ASSERT_NE (narrow, nullptr);
                ASSERT_NE (wide, nullptr);
                for (int trial = 0; trial < 400; ++trial)
                {
                    std::vector<double> u (c.inputs);
                    const double spread = trial % 4 == 0 ? 1e4 : (trial % 4 == 1 ? 50.0 : 1.2);
                    for (auto& v : u)
                        v = spread * values.next();
                    if (trial % 10 == 3)
                        u[static_cast<size_t> (trial / 10) % c.inputs] = specials[(trial / 10) % 5];
                    std::vector<double> iNarrow (c.outputs, -7.0), iWide (c.outputs, -7.0);
                    narrow (region, u.data(), iNarrow.data(), narrowScratch);
                    wide (region, u.data(), iWide.data(), wideScratch);
                    SCOPED_TRACE (testing::Message() << "trial " << trial);
                    ASSERT_NO_FATAL_FAILURE (
                        expectSameEvaluation (c, iNarrow, iWide, narrowScratch, wideScratch));
                    ++evaluations;
                }
            }
        }
    EXPECT_GT (evaluations, 0u);
}
