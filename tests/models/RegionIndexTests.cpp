// The region index against the linear search in stored order, on boxes whose edges lie on a
// coarse grid so that shared edges, nested and overlapping boxes and points exactly on edges are
// common, plus infinite, NaN and empty boxes.
#include "models/RegionIndex.h"
#include "models/RegionNetwork.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
RegionNetwork* linearSearch (RegionNetwork* first, uint32_t count, const double* u)
{
    for (uint32_t r = 0; r < count; ++r)
        if (first[r].contains (u))
            return first + r;
    return nullptr;
}

constexpr float inf = std::numeric_limits<float>::infinity();

struct Table
{
    std::vector<RegionNetwork> regions;
    std::vector<uint32_t> positionFirst;
};

// Positions of 1 to 40 boxes of nIn inputs with edges on the grid -4, -3.5, ..., 4.
Table randomTable (uint32_t nIn, std::mt19937& rng)
{
    Table t;
    std::uniform_int_distribution<int> grid (-8, 8);
    std::uniform_int_distribution<int> kind (0, 39);
    const uint32_t counts[] = {1, 3, 4, 5, 8, 13, 24, 40};
    for (const uint32_t count : counts)
    {
        t.positionFirst.push_back (static_cast<uint32_t> (t.regions.size()));
        for (uint32_t r = 0; r < count; ++r)
        {
            RegionNetwork& region = t.regions.emplace_back (static_cast<uint16_t> (nIn), 1);
            for (uint32_t q = 0; q < nIn; ++q)
            {
                int a = grid (rng), b = grid (rng);
                if (a > b)
                    std::swap (a, b);
                region.lowerBound[q] = 0.5f * a;
                region.upperBound[q] = 0.5f * b; // a == b: an empty box
            }
            switch (kind (rng))
            {
            case 0:
                region.lowerBound[0] = -inf;
                break;
            case 1:
                region.upperBound[nIn - 1] = inf;
                break;
            case 2:
                region.lowerBound[0] = std::numeric_limits<float>::quiet_NaN();
                break;
            case 3: // a box that covers every other one, late in the order
                for (uint32_t q = 0; q < nIn; ++q)
                {
                    region.lowerBound[q] = -5.0f;
                    region.upperBound[q] = 5.0f;
                }
                break;
            default:
                break;
            }
        }
    }
    return t;
}

std::vector<std::vector<double>> queryPoints (uint32_t nIn, std::mt19937& rng)
{
    std::vector<std::vector<double>> points;
    std::uniform_int_distribution<int> grid (-10, 10);
    std::uniform_real_distribution<double> anywhere (-5.0, 5.0);
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               -0.0,
                               0.0,
                               1e300};
    for (int n = 0; n < 3000; ++n)
    {
        std::vector<double> u (nIn);
        for (auto& x : u)
            x = n % 3 == 0 ? anywhere (rng) : 0.5 * grid (rng); // on edges two times in three
        if (n % 50 == 0)
            u[static_cast<size_t> (n / 50) % nIn] =
                specials[static_cast<size_t> (n / 50) % std::size (specials)];
        points.push_back (u);
    }
    return points;
}
} // namespace

TEST (RegionIndex, FindsTheRegionTheLinearSearchFinds)
{
    std::mt19937 rng (11);
    for (const uint32_t nIn : {1u, 2u, 3u, 4u})
    {
        SCOPED_TRACE (testing::Message() << nIn << " inputs");
        for (int draw = 0; draw < 6; ++draw)
        {
            Table t = randomTable (nIn, rng);
            RegionIndex index;
            index.build (t.regions.data(), static_cast<uint32_t> (t.regions.size()), t.positionFirst);
            const auto points = queryPoints (nIn, rng);
            for (uint32_t a = 0; a < t.positionFirst.size(); ++a)
            {
                const uint32_t begin = t.positionFirst[a];
                const uint32_t end = a + 1 < t.positionFirst.size()
                                         ? t.positionFirst[a + 1]
                                         : static_cast<uint32_t> (t.regions.size());
                RegionNetwork* first = t.regions.data() + begin;
                for (const auto& u : points)
                    ASSERT_EQ (index.find (a, first, end - begin, u.data()),
                               linearSearch (first, end - begin, u.data()))
                        << "position " << a << ", u[0] " << u[0];
            }
        }
    }
}

// Given any box that holds the point as the hint, the hints give the box the linear search
// finds: on the same grid-edged boxes, with nested, covering, infinite, NaN and empty ones.
TEST (RegionHints, FindTheRegionTheLinearSearchFindsFromAnyBoxHoldingThePoint)
{
    std::mt19937 rng (13);
    size_t hinted = 0, earlierFound = 0;
    for (const uint32_t nIn : {1u, 2u, 3u, 4u})
    {
        SCOPED_TRACE (testing::Message() << nIn << " inputs");
        for (int draw = 0; draw < 6; ++draw)
        {
            Table t = randomTable (nIn, rng);
            const auto points = queryPoints (nIn, rng);
            for (uint32_t a = 0; a < t.positionFirst.size(); ++a)
            {
                const uint32_t begin = t.positionFirst[a];
                const uint32_t end = a + 1 < t.positionFirst.size() ? t.positionFirst[a + 1]
                                                                    : static_cast<uint32_t> (t.regions.size());
                RegionNetwork* first = t.regions.data() + begin;
                const uint32_t count = end - begin;
                RegionHints hints;
                hints.build (first, count);
                ASSERT_TRUE (hints.isBuilt());
                for (const auto& u : points)
                {
                    const RegionNetwork* expected = linearSearch (first, count, u.data());
                    for (uint32_t r = 0; r < count; ++r)
                    {
                        if (!first[r].contains (u.data()))
                            continue;
                        ++hinted;
                        earlierFound += expected != first + r ? 1 : 0;
                        ASSERT_EQ (hints.firstContaining (first, first + r, u.data()), expected)
                            << "position " << a << ", hint " << r << ", u[0] " << u[0];
                    }
                }
            }
        }
    }
    // Both outcomes must have been exercised: the hint itself, and an earlier box.
    EXPECT_GT (hinted, 1000u);
    EXPECT_GT (earlierFound, 100u);
    EXPECT_GT (hinted - earlierFound, 100u);
}

TEST (RegionHints, BoxesWithDifferentInputCountsGetNoHints)
{
    std::vector<RegionNetwork> regions;
    regions.emplace_back (2, 1);
    regions.emplace_back (3, 1);
    RegionHints hints;
    hints.build (regions.data(), 2);
    EXPECT_FALSE (hints.isBuilt());
}

TEST (RegionIndex, CellsListFewerBoxesThanAPositionHolds)
{
    // Sixteen side-by-side boxes along input 1 (the other input spans everything): a point's cell
    // lists one box, and the axis chosen is the one that separates them.
    Table t;
    t.positionFirst.push_back (0);
    for (int r = 0; r < 16; ++r)
    {
        RegionNetwork& region = t.regions.emplace_back (2, 1);
        region.lowerBound[0] = -1.0f;
        region.upperBound[0] = 1.0f;
        region.lowerBound[1] = static_cast<float> (r);
        region.upperBound[1] = static_cast<float> (r + 1);
    }
    RegionIndex index;
    index.build (t.regions.data(), 16, t.positionFirst);
    EXPECT_DOUBLE_EQ (index.meanCandidates (0), 1.0);
    const double inside[2] = {0.0, 7.5}, onEdge[2] = {0.0, 7.0}, nan[2] = {0.0, std::nan ("")};
    EXPECT_EQ (index.find (0, t.regions.data(), 16, inside), &t.regions[7]);
    EXPECT_EQ (index.find (0, t.regions.data(), 16, onEdge), nullptr); // shared edge: in neither box
    EXPECT_EQ (index.find (0, t.regions.data(), 16, nan), nullptr);
}

TEST (RegionIndex, PositionsItDoesNotKnowAreSearchedLinearly)
{
    Table t;
    t.positionFirst.push_back (0);
    RegionNetwork& region = t.regions.emplace_back (1, 1);
    region.lowerBound[0] = -1.0f;
    region.upperBound[0] = 1.0f;
    RegionIndex index;
    const double u[1] = {0.5};
    EXPECT_EQ (index.find (0, t.regions.data(), 1, u), &t.regions[0]); // never built
    index.build (t.regions.data(), 1, t.positionFirst);
    EXPECT_EQ (index.find (5, t.regions.data(), 1, u), &t.regions[0]);
}
