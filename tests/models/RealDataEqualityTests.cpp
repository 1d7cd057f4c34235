// On the real model data set: the compiled networks give fann_run's floats for every region,
// and the region index finds the region the linear search in stored order finds, for points
// inside, on the edges of and far outside the boxes, and NaN.
#include "FloatBits.h"
#include "RealDataSet.h"
#include "models/FusedEvaluation.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"

#include <floatfann.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace
{
class RealDataEquality : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        files = realdata::loadAll (blocks, error);
        ASSERT_TRUE (error.empty()) << error;
        ASSERT_FALSE (files.empty());
    }

    PreampBlockSet blocks = makePreampBlocks (48000.0);
    std::vector<realdata::LoadedFile> files;
};

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Points for a box: inside, in the box grown three times, far outside (a thousand times the
// box), the corners and edge midpoints exactly, and one NaN or infinite coordinate.
std::vector<std::vector<double>> pointsAround (const RegionNetwork& r, std::mt19937& rng, int count)
{
    std::vector<std::vector<double>> points;
    std::uniform_real_distribution<double> unit (0.0, 1.0);
    const uint32_t n = r.inputCount;
    for (int k = 0; k < count; ++k)
    {
        std::vector<double> u (n);
        const double spread = k % 3 == 0 ? 1.0 : (k % 3 == 1 ? 3.0 : 1000.0);
        for (uint32_t q = 0; q < n; ++q)
        {
            const double lo = r.lowerBound[q], hi = r.upperBound[q];
            const double mid = 0.5 * (lo + hi), half = 0.5 * (hi - lo) * spread;
            u[q] = mid + half * (2.0 * unit (rng) - 1.0);
        }
        points.push_back (u);
    }
    for (uint32_t corner = 0; corner < (1u << n); ++corner)
    {
        std::vector<double> u (n);
        for (uint32_t q = 0; q < n; ++q)
            u[q] = (corner >> q) & 1u ? r.upperBound[q] : r.lowerBound[q];
        points.push_back (u);
        for (uint32_t q = 0; q < n; ++q)
        {
            std::vector<double> edge = u;
            edge[q] = 0.5 * (static_cast<double> (r.lowerBound[q]) + r.upperBound[q]);
            points.push_back (edge);
        }
    }
    for (uint32_t q = 0; q < n; ++q)
        for (const double special : {nan, inf, -inf})
        {
            std::vector<double> u (n);
            for (uint32_t j = 0; j < n; ++j)
                u[j] = 0.5 * (static_cast<double> (r.lowerBound[j]) + r.upperBound[j]);
            u[q] = special;
            points.push_back (u);
        }
    return points;
}

// The network input that evaluate forms from u.
std::vector<float> scaled (const RegionNetwork& r, const std::vector<double>& u)
{
    std::vector<float> s (r.inputCount);
    for (uint32_t q = 0; q < r.inputCount; ++q)
        s[q] = static_cast<float> ((u[q] - static_cast<double> (r.inputMin[q])) * r.inputScale[q] - 1.0);
    return s;
}

// A block holds the networks of its selected position only: every position in turn.
template <typename Visit>
void forEachPosition (BlockModelState& m, uint32_t step, Visit visit)
{
    for (uint32_t a = 0; a < m.positionCount; a += step)
    {
        selectPosition (m, a);
        ASSERT_EQ (m.regionsPosition, a);
        visit (a);
    }
}

const RegionNetwork* linearSearch (const RegionNetwork* first, uint32_t count, const double* u)
{
    for (uint32_t r = 0; r < count; ++r)
        if (first[r].contains (u))
            return first + r;
    return nullptr;
}
} // namespace

// Every position's shared table (compiled straight from the file's weights, and shared with
// every other position whose nets are the same) against FANN networks built from that position's
// own records: the same compiled form as read back out of FANN, and fann_run's floats.
TEST_F (RealDataEquality, CompiledNetworksGiveFannRunsFloatsForEveryRegion)
{
    std::mt19937 rng (3);
    size_t regions = 0, evaluations = 0;
    for (auto& f : files)
    {
        SCOPED_TRACE (f.name);
        const uint32_t ni = f.state.shape.numNonlinearOutputs;
        AlignedArray<float> scratch;
        forEachPosition (f.state, 1, [&] (uint32_t a) {
            ModelLoadResult status;
            const auto plain = buildPositionTable (*f.state.modelFile, ni, a, true, status);
            ASSERT_NE (plain, nullptr) << status.message;
            ASSERT_EQ (plain->regions.size(), f.state.regions.size()) << "position " << a;
            for (size_t e = 0; e < f.state.regions.size(); ++e)
            {
                const RegionNetwork& r = f.state.regions[e];
                const RegionNetwork& theirsRegion = plain->regions[e];
                ASSERT_NE (r.compiled, nullptr) << "position " << a << " region " << e << " has no compiled network";
                ASSERT_NE (theirsRegion.network, nullptr);
                ASSERT_TRUE (r.compiled->sameAs (CompiledNetwork::compile (theirsRegion.network.get())))
                    << "position " << a << " region " << e;
                for (uint32_t q = 0; q < r.inputCount; ++q)
                {
                    ASSERT_EQ (floatBits (r.lowerBound[q]), floatBits (theirsRegion.lowerBound[q]));
                    ASSERT_EQ (floatBits (r.upperBound[q]), floatBits (theirsRegion.upperBound[q]));
                    ASSERT_EQ (floatBits (r.inputScale[q]), floatBits (theirsRegion.inputScale[q]));
                }
                scratch.reset (r.compiled->scratchSize());
                for (const auto& u : pointsAround (r, rng, 60))
                {
                    std::vector<float> input = scaled (r, u);
                    const float* ours = r.compiled->run (input.data(), scratch.data());
                    const float* theirs = fann_run (theirsRegion.network.get(), input.data());
                    for (uint32_t o = 0; o < r.compiled->outputCount(); ++o)
                        ASSERT_EQ (floatBits (ours[o]), floatBits (theirs[o]))
                            << "position " << a << " region " << e << " output " << o << ": " << ours[o] << " vs "
                            << theirs[o];
                    ++evaluations;
                }
                ++regions;
            }
        });
    }
    RecordProperty ("regions", static_cast<int> (regions));
    RecordProperty ("evaluations", static_cast<int> (evaluations));
}

TEST_F (RealDataEquality, RegionIndexFindsWhatTheLinearSearchFinds)
{
    std::mt19937 rng (5);
    for (auto& f : files)
    {
        SCOPED_TRACE (f.name);
        BlockModelState& m = f.state;
        forEachPosition (m, 1, [&] (uint32_t a) {
            // The built position is the index's position 0.
            const RegionNetwork* first = m.regions.data();
            ASSERT_NE (m.regionIndex, nullptr);
            const auto count = static_cast<uint32_t> (m.regions.size());
            for (uint32_t e = 0; e < count; ++e)
                for (const auto& u : pointsAround (m.regions[e], rng, 20))
                    ASSERT_EQ (m.regionIndex->find (0, first, count, u.data()), linearSearch (first, count, u.data()))
                        << "position " << a << ", around region " << e;
        });
    }
}

TEST_F (RealDataEquality, HintedSearchFindsWhatTheLinearSearchFinds)
{
    std::mt19937 rng (7);
    size_t hinted = 0;
    for (auto& f : files)
    {
        SCOPED_TRACE (f.name);
        BlockModelState& m = f.state;
        forEachPosition (m, 1, [&] (uint32_t a) {
            ASSERT_NE (m.regionHints, nullptr);
            const RegionNetwork* first = m.regions.data();
            const auto count = static_cast<uint32_t> (m.regions.size());
            for (uint32_t e = 0; e < count; ++e)
                for (const auto& u : pointsAround (m.regions[e], rng, 20))
                {
                    const RegionNetwork* expected = linearSearch (first, count, u.data());
                    for (uint32_t r = 0; r < count; ++r)
                    {
                        // From any hint: the first box when the hint's holds the point, else none.
                        const bool inside = first[r].contains (u.data());
                        ASSERT_EQ (m.regionHints->firstContainingFrom (first, first + r, u.data()),
                                   inside ? expected : nullptr)
                            << "position " << a << ", around region " << e << ", hint " << r;
                        if (inside)
                        {
                            ++hinted;
                            ASSERT_EQ (m.regionHints->firstContaining (first, first + r, u.data()), expected)
                                << "position " << a << ", around region " << e << ", hint " << r;
                        }
                    }
                }
        });
    }
    EXPECT_GT (hinted, 0u);
}

// Where the processor has AVX2, its build of the fused evaluation against the SSE2 one on every
// region of every position: the same scaled inputs, network outputs and currents, bit for bit,
// inside, on the edges of and far outside the boxes, and at NaN and infinities.
TEST_F (RealDataEquality, Avx2FusedEvaluationGivesTheFloatsOfTheSse2One)
{
    if (!processorHasAvx2())
        GTEST_SKIP() << "this processor has no AVX2: only the SSE2 build runs here";
    std::mt19937 rng (11);
    size_t regions = 0;
    for (auto& f : files)
    {
        SCOPED_TRACE (f.name);
        BlockModelState& m = f.state;
        RegionScratch narrowScratch, wideScratch;
        forEachPosition (m, 1,
                         [&] (uint32_t a)
                         {
                             narrowScratch.reserve (m.table->maxInputs, m.table->scratchFloats);
                             wideScratch.reserve (m.table->maxInputs, m.table->scratchFloats);
                             const uint32_t ni = m.shape.numNonlinearOutputs;
                             for (size_t e = 0; e < m.regions.size(); ++e)
                             {
                                 const RegionNetwork& r = m.regions[e];
                                 const RegionEvaluator narrow = fusedEvaluatorFor (r, FusedWidth::sse2);
                                 const RegionEvaluator wide = fusedEvaluatorFor (r, FusedWidth::avx2);
                                 ASSERT_NE (narrow, nullptr)
                                     << "position " << a << " region " << e << " has no fused form";
                                 ASSERT_NE (wide, nullptr);
                                 ASSERT_EQ (r.evaluator, wide) << "the attached build is the processor's";
                                 for (const auto& u : pointsAround (r, rng, 30))
                                 {
                                     std::vector<double> iNarrow (ni, 0.125), iWide (ni, 0.125);
                                     narrow (r, u.data(), iNarrow.data(), narrowScratch);
                                     wide (r, u.data(), iWide.data(), wideScratch);
                                     for (uint32_t j = 0; j < ni; ++j)
                                         ASSERT_EQ (doubleBits (iNarrow[j]), doubleBits (iWide[j]))
                                             << "position " << a << " region " << e << " current " << j;
                                     for (uint32_t o = 0; o < r.outputCount; ++o)
                                         ASSERT_EQ (floatBits (narrowScratch.networkOutput[o]),
                                                    floatBits (wideScratch.networkOutput[o]))
                                             << "position " << a << " region " << e << " output " << o;
                                     for (uint32_t q = 0; q < r.inputCount; ++q)
                                         ASSERT_EQ (floatBits (narrowScratch.scaledInput[q]),
                                                    floatBits (wideScratch.scaledInput[q]))
                                             << "position " << a << " region " << e << " input " << q;
                                 }
                                 ++regions;
                             }
                         });
    }
    EXPECT_GT (regions, 0u);
    RecordProperty ("regions", static_cast<int> (regions));
}

TEST_F (RealDataEquality, RegionStepWritesTheCurrentsOfThePlainEvaluation)
{
    // The same file loaded twice, one copy reduced to fann_run and the linear search; both see
    // the same inputs, including points in no box (fallback) and NaN.
    std::mt19937 rng (9);
    for (auto& f : files)
    {
        SCOPED_TRACE (f.name);
        BlockModelState plain;
        const int valve = f.name.find ("_rsd_") != std::string::npos ? 1 : 0;
        const int32_t rate = f.block == 2 ? std::stoi (f.name.substr (f.name.rfind ('.') + 1)) : 48000;
        ASSERT_TRUE (loadModelIntoState (plain, blocks[static_cast<size_t> (f.block)]->modelShape(),
                                         realdata::path (f.block, valve, rate), blockUsesPrincipalComponents (f.block))
                         .ok);
        useReferenceEvaluation (plain);
        BlockModelState& fast = f.state;
        const uint32_t nv = blocks[static_cast<size_t> (f.block)]->numNonlinearInputs;
        const uint32_t ni = blocks[static_cast<size_t> (f.block)]->numNonlinearOutputs;
        for (uint32_t a = 0; a < fast.positionCount; a += std::max (1u, fast.positionCount / 7))
        {
            selectPosition (fast, a);
            selectPosition (plain, a);
            std::vector<double> iFast (ni, 0.125), iPlain (ni, 0.125);
            ASSERT_TRUE (plain.regions.empty() || plain.regions.front().compiled == nullptr);
            for (uint32_t e = 0; e < fast.regions.size(); ++e)
            {
                // Points in the reduced space, carried back to p only for standard files; pca
                // files get p drawn around the operating range instead.
                for (const auto& point : pointsAround (fast.regions[e], rng, 10))
                {
                    std::vector<double> p (nv, 0.0);
                    for (uint32_t q = 0; q < nv; ++q)
                        p[q] = fast.projectionNeeded ? point[q % point.size()] * (1.0 + 0.1 * q) : (q < point.size() ? point[q] : 0.0);
                    regionStep (fast, f.block, p.data(), iFast.data());
                    regionStep (plain, f.block, p.data(), iPlain.data());
                    for (uint32_t j = 0; j < ni; ++j)
                        ASSERT_EQ (doubleBits (iFast[j]), doubleBits (iPlain[j])) << "position " << a << " current " << j;
                    ASSERT_EQ (fast.lastRegion - fast.regions.data(), plain.lastRegion - plain.regions.data());
                }
            }
        }
    }
}
