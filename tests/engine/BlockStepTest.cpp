// The block step's product p = D x + E u (the block's sparse form, which every chain runs)
// against the dense product column by column on the block's own matrices, bit for bit, for the
// real blocks at every gain position, tone positions across the range and several rates, with
// states and inputs that include zeros of both signs. Then one step against its equations.
#include "engine/BlockStep.h"
#include "engine/PreampBlocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace
{
uint64_t bits (double v)
{
    uint64_t b;
    std::memcpy (&b, &v, sizeof b);
    return b;
}

// Zero p, then add each column of D times its x, then each column of E times its u.
std::vector<double> denseProduct (const SSParamsVec& b, const std::vector<double>& x,
                                  const std::vector<double>& u)
{
    std::vector<double> p (b.numNonlinearInputs, 0.0);
    for (uint32_t c = 0; c < b.numStates; ++c)
        for (uint32_t r = 0; r < b.numNonlinearInputs; ++r)
            p[r] += x[c] * b.D.values[c * b.D.rows + r];
    for (uint32_t c = 0; c < b.numInputs; ++c)
        for (uint32_t r = 0; r < b.numNonlinearInputs; ++r)
            p[r] += u[c] * b.E.values[c * b.E.rows + r];
    return p;
}
} // namespace

TEST (BlockStep, NonlinearInputsEqualTheDenseProductBitForBit)
{
    std::mt19937 rng (21);
    std::uniform_real_distribution<double> value (-400.0, 400.0);
    std::uniform_int_distribution<int> pick (0, 5);
    for (const double rate : {44100.0, 96000.0, 768000.0})
    {
        PreampBlockSet blocks = makePreampBlocks (rate);
        for (size_t k = 0; k < blocks.size(); ++k)
        {
            SSParamsVecAutomation& b = *blocks[k];
            const int last = b.numPositions - 1;
            for (int position = 0; position <= last; position += k == 3 ? 211 : 1)
            {
                b.setControlPosition (static_cast<uint32_t> (position));
                BlockState w;
                w.resizeFor (b);
                for (int draw = 0; draw < 20; ++draw)
                {
                    std::vector<double> u (b.numInputs);
                    for (auto& v : w.x)
                        v = pick (rng) == 0 ? (pick (rng) < 3 ? 0.0 : -0.0) : value (rng);
                    for (auto& v : u)
                        v = pick (rng) == 0 ? -0.0 : value (rng);
                    std::vector<double> p (b.numNonlinearInputs, 99.0);
                    b.computeNonlinearInputs (u.data(), w.x.data(), p.data());
                    const auto expected = denseProduct (b, w.x, u);
                    for (uint32_t r = 0; r < b.numNonlinearInputs; ++r)
                        ASSERT_EQ (bits (p[r]), bits (expected[r]))
                            << "block " << k + 1 << ", position " << position << ", rate " << rate << ", row "
                            << r;
                }
            }
        }
    }
}

// One step: p from the state before the update, the currents see exactly that p, the state is
// updated with those currents and the output comes from the updated state; supplies stay put.
TEST (BlockStep, RunsTheEquationsInOrderAndKeepsTheSupplies)
{
    PreampBlockSet blocks = makePreampBlocks (48000.0);
    for (size_t k = 0; k < blocks.size(); ++k)
    {
        const SSParamsVecAutomation& b = *blocks[k];
        BlockState s;
        s.resizeFor (b);
        const std::vector<double> supplies (s.u.begin() + 1, s.u.end());
        EXPECT_GT (supplies.front(), 0.0) << "block " << k + 1;
        for (size_t r = 0; r < s.x.size(); ++r)
            s.x[r] = 0.01 * static_cast<double> (r + 1);
        const std::vector<double> xBefore = s.x;

        std::vector<double> pSeen;
        const double y = stepBlock (b, s, 0.25,
                                    [&] (const double* p, double* i)
                                    {
                                        pSeen.assign (p, p + b.numNonlinearInputs);
                                        for (uint32_t q = 0; q < b.numNonlinearOutputs; ++q)
                                            i[q] = 1e-4 * (q + 1);
                                    });

        std::vector<double> u (s.u.size());
        u[0] = 0.25;
        std::copy (supplies.begin(), supplies.end(), u.begin() + 1);
        EXPECT_EQ (s.u, u) << "block " << k + 1;
        std::vector<double> p (b.numNonlinearInputs), xNext (b.numStates);
        b.computeNonlinearInputs (u.data(), xBefore.data(), p.data());
        EXPECT_EQ (pSeen, p) << "block " << k + 1;
        EXPECT_EQ (s.p, p) << "block " << k + 1;
        b.updateState (u.data(), s.i.data(), xBefore.data(), xNext.data());
        EXPECT_EQ (s.x, xNext) << "block " << k + 1;
        double yExpected = 0.0;
        b.computeOutput (u.data(), xNext.data(), s.i.data(), &yExpected);
        EXPECT_EQ (y, yExpected) << "block " << k + 1;
        EXPECT_EQ (s.y, yExpected) << "block " << k + 1;
    }
}
