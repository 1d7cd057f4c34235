// The chain's product p = D x + E u over the non-zero entries against the dense product column by
// column, bit for bit, for the real blocks at every gain position, tone positions across the
// range and several rates, with states and inputs that include zeros of both signs.
#include "engine/BlockWorkspace.h"
#include "engine/PreampBlocks.h"

#include <gtest/gtest.h>

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
std::vector<double> denseProduct (const SSParamsVec& b, const std::vector<double>& x, const std::vector<double>& u)
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

TEST (BlockWorkspace, SparseNonlinearInputsEqualTheDenseProduct)
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
                BlockWorkspace w;
                w.resize (b.numStates, b.numInputs, b.numNonlinearInputs, b.numNonlinearOutputs, b.numOutputs);
                w.copyMatrices (b);
                for (int draw = 0; draw < 20; ++draw)
                {
                    std::vector<double> u (b.numInputs);
                    for (auto& v : w.x)
                        v = pick (rng) == 0 ? (pick (rng) < 3 ? 0.0 : -0.0) : value (rng);
                    for (auto& v : u)
                        v = pick (rng) == 0 ? -0.0 : value (rng);
                    std::vector<double> p (b.numNonlinearInputs, 99.0);
                    w.nonlinearInputs (u.data(), p.data());
                    const auto expected = denseProduct (b, w.x, u);
                    for (uint32_t r = 0; r < b.numNonlinearInputs; ++r)
                        ASSERT_EQ (bits (p[r]), bits (expected[r]))
                            << "block " << k + 1 << ", position " << position << ", rate " << rate << ", row " << r;
                }
            }
        }
    }
}
