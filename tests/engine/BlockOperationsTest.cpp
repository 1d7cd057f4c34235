#include "AllocationCounter.h"

#include "engine/DempwolfTriode2.h"
#include "engine/PreampBlocks.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{
// The dense products in the chain's order: column by column, D then E (A, B, C; G, H, K).
void densePlus (const StateSpaceMatrix& m, const double* v, std::vector<double>& out)
{
    for (uint32_t c = 0; c < m.cols; ++c)
        for (uint32_t r = 0; r < m.rows; ++r)
            out[r] += v[c] * m (r, c);
}

struct BlockCase
{
    int block;
    std::vector<uint32_t> positions;
};

const BlockCase allCases[] = {
    {0, {0, 1, 8, 15, 16}},
    {1, {0, 1, 8, 15, 16}},
    {2, {0}},
    {3, {0, 1687, 3374, 3375, 14, 225 * 14}},
};

std::vector<double> randomVector (std::mt19937& rng, uint32_t n, double scale)
{
    std::uniform_real_distribution<double> d (-scale, scale);
    std::vector<double> v (n);
    for (auto& e : v)
        e = d (rng);
    return v;
}
} // namespace

TEST (BlockOperations, SparseProductsEqualDenseProductsExactly)
{
    std::mt19937 rng (1234);
    for (double rate : {44100.0, 96000.0, 705600.0})
    {
        auto blocks = makePreampBlocks (rate);
        for (const auto& c : allCases)
        {
            auto& b = *blocks[static_cast<size_t> (c.block)];
            for (uint32_t position : c.positions)
            {
                b.setControlPosition (position);
                for (int trial = 0; trial < 20; ++trial)
                {
                    const auto u = randomVector (rng, b.numInputs, 400.0);
                    const auto x = randomVector (rng, b.numStates, 1e-3);
                    const auto i = randomVector (rng, b.numNonlinearOutputs, 1e-2);

                    std::vector<double> p (b.numNonlinearInputs), pDense (b.numNonlinearInputs, 0.0);
                    b.computeNonlinearInputs (u.data(), x.data(), p.data());
                    densePlus (b.D, x.data(), pDense);
                    densePlus (b.E, u.data(), pDense);
                    EXPECT_EQ (p, pDense) << "block " << c.block + 1 << " position " << position;

                    std::vector<double> xNext (b.numStates), xDense (b.numStates, 0.0);
                    b.updateState (u.data(), i.data(), x.data(), xNext.data());
                    densePlus (b.A, x.data(), xDense);
                    densePlus (b.B, u.data(), xDense);
                    densePlus (b.C, i.data(), xDense);
                    EXPECT_EQ (xNext, xDense) << "block " << c.block + 1 << " position " << position;

                    std::vector<double> y (1), yDense (1, 0.0);
                    b.computeOutput (u.data(), x.data(), i.data(), y.data());
                    densePlus (b.G, x.data(), yDense);
                    densePlus (b.H, u.data(), yDense);
                    densePlus (b.K, i.data(), yDense);
                    EXPECT_EQ (y, yDense) << "block " << c.block + 1 << " position " << position;
                }
            }
        }
    }
}

TEST (BlockOperations, DimensionsSourcesAndAutomationValues)
{
    struct Expected
    {
        uint32_t nx, nu, nv, ni;
        int32_t positions, automationValues, sources;
        std::vector<double> automation; // indices 0.. at construction
    };
    const Expected expected[] = {
        {5, 2, 4, 4, 17, 4, 1, {334.0, 200000.0, 800000.0, 3.0}},
        {5, 3, 4, 4, 17, 5, 2, {334.0, 345.0, 200000.0, 800000.0, 334.0}},
        {2, 2, 4, 4, 1, 2, 1, {345.0, 345.0}},
        {3, 2, 2, 2, 3375, 7, 1, {345.0, 220000.0, 1.0, 1000000.0, 1.0, 50000.0, 345.0}},
    };
    auto blocks = makePreampBlocks (44100.0);
    for (size_t k = 0; k < 4; ++k)
    {
        const auto& b = *blocks[k];
        const auto& e = expected[k];
        EXPECT_EQ (b.numStates, e.nx);
        EXPECT_EQ (b.numInputs, e.nu);
        EXPECT_EQ (b.numNonlinearInputs, e.nv);
        EXPECT_EQ (b.numNonlinearOutputs, e.ni);
        EXPECT_EQ (b.numOutputs, 1u);
        EXPECT_EQ (b.numPositions, e.positions);
        EXPECT_EQ (b.numAutomationValues, e.automationValues);
        EXPECT_EQ (b.numSourceInputs, e.sources);
        EXPECT_EQ (b.firstSourceInput, 1);
        EXPECT_EQ (b.controlPosition, 0);
        EXPECT_NE (b.triode, nullptr);
        for (size_t j = 0; j < e.automation.size(); ++j)
            EXPECT_EQ (b.getAutomationValue (static_cast<int32_t> (j)), e.automation[j]) << k << ":" << j;
        EXPECT_EQ (b.getAutomationValue (-1), 0.0);
        EXPECT_EQ (b.getAutomationValue (e.automationValues), 0.0);
    }
}

TEST (BlockOperations, WritingAnAutomationValueDoesNotRecompute)
{
    auto blocks = makePreampBlocks (44100.0);
    auto& b1 = *blocks[0];
    const auto before = b1.A.values;
    b1.setAutomationValue (1, 12345.0);
    EXPECT_EQ (b1.getAutomationValue (1), 12345.0);
    EXPECT_EQ (b1.A.values, before);
    b1.setSampleRate (44100.0);
    EXPECT_NE (b1.A.values, before) << "the written pot part takes effect at the next recomputation";
    b1.setAutomationValue (99, 1.0); // ignored
    b1.setControlPosition (8);
    EXPECT_NEAR (b1.getAutomationValue (1), 799932.798684, 1e-6) << "replaced at the next position";
}

TEST (BlockOperations, CloneIsAPlainCopySharingTheTriode)
{
    auto blocks = makePreampBlocks (48000.0);
    for (auto& source : blocks)
    {
        source->setControlPosition (source->numPositions > 1 ? 1 : 0);
        source->setAutomationValue (0, 300.0);
        auto copy = source->clone();
        ASSERT_NE (copy, nullptr);
        EXPECT_EQ (copy->triode, source->triode);
        EXPECT_EQ (copy->A.values, source->A.values);
        EXPECT_EQ (copy->F.values, source->F.values);
        EXPECT_EQ (copy->K.values, source->K.values);
        EXPECT_EQ (copy->numPositions, source->numPositions);
        EXPECT_EQ (copy->numSourceInputs, source->numSourceInputs);
        // No control law on the clone.
        EXPECT_EQ (copy->getAutomationValue (0), 0.0);
        const auto matrices = copy->A.values;
        copy->setControlPosition (0);
        EXPECT_EQ (copy->A.values, matrices);
    }
}

TEST (BlockOperations, PortSignsAndJacobianFollowEachBlocksPorts)
{
    // Vgk and Vpk signs per triode (ports 0,1 and 2,3), as each netlist orients its ports.
    const double signs[4][4] = {{+1, +1, -1, -1}, {-1, +1, -1, -1}, {-1, +1, +1, +1}, {-1, +1, 0, 0}};
    const double v[4][4] = {
        {-1.5, 200.0, 1.2, -180.0}, {1.5, 200.0, 1.2, -180.0}, {1.5, 200.0, -1.3, 190.0}, {1.4, 150.0, 0, 0}};
    DempwolfTriode2<0> t;
    auto blocks = makePreampBlocks (44100.0);
    for (size_t k = 0; k < 4; ++k)
    {
        const auto& b = *blocks[k];
        double i[4] = {};
        b.computePortCurrents (v[k], i);
        for (uint32_t m = 0; m < b.numNonlinearOutputs; m += 2)
        {
            const double vgk = signs[k][m] * v[k][m];
            const double vpk = signs[k][m + 1] * v[k][m + 1];
            EXPECT_EQ (i[m], t.gridCurrent (vgk, vpk)) << k;
            EXPECT_EQ (i[m + 1], t.cathodeCurrent (vgk, vpk)) << k;
        }

        StateSpaceMatrix J;
        J.resize (b.numNonlinearOutputs, b.numNonlinearInputs);
        J.fill (-7.0); // entries coupling two triodes must stay untouched
        b.computePortJacobian (v[k], J);
        for (uint32_t r = 0; r < J.rows; ++r)
            for (uint32_t c = 0; c < J.cols; ++c)
            {
                if (r / 2 != c / 2)
                {
                    EXPECT_EQ (J (r, c), -7.0);
                    continue;
                }
                // Against a difference of the block's own port currents.
                double vp[4], vm[4], ip[4], im[4];
                std::copy (v[k], v[k] + 4, vp);
                std::copy (v[k], v[k] + 4, vm);
                vp[c] += 1e-4;
                vm[c] -= 1e-4;
                b.computePortCurrents (vp, ip);
                b.computePortCurrents (vm, im);
                const double fd = (ip[r] - im[r]) / 2e-4;
                EXPECT_NEAR (J (r, c), fd, 1e-4 * std::abs (fd) + 1e-12)
                    << k << " J(" << r << "," << c << ")";
            }
    }
}

TEST (BlockOperations, RecomputationAndPerSampleOperationsDoNotAllocate)
{
    auto blocks = makePreampBlocks (44100.0);
    std::vector<double> u (3, 1.0), x (5, 1e-4), i (4, 1e-3), xNext (5), p (4), y (1);
    allocationCounterStart();
    for (auto& b : blocks)
    {
        b->setSampleRate (96000.0);
        b->setControlPosition (0);
        b->setControlPosition (b->numPositions - 1);
        b->computeNonlinearInputs (u.data(), x.data(), p.data());
        b->updateState (u.data(), i.data(), x.data(), xNext.data());
        b->computeOutput (u.data(), x.data(), i.data(), y.data());
        b->computePortCurrents (p.data(), i.data());
    }
    EXPECT_EQ (allocationCounterStop(), 0u);
}
