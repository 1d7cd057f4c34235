#include "models/RegionIndex.h"

#include "models/RegionNetwork.h"

#include <algorithm>
#include <emmintrin.h>
#include <limits>

namespace
{
// Below this many boxes the bisection costs more than the tests it saves.
constexpr uint32_t minimumIndexedRegions = 4;
// A position whose cells would list more than this many entries per box stays linear: the
// index must not cost more memory than the regions themselves.
constexpr uint64_t maximumCandidatesPerRegion = 64;

// True when no point can lie inside the box: an empty or NaN interval on some axis.
bool isEmptyBox (const RegionNetwork& r)
{
    for (uint32_t q = 0; q < r.inputCount; ++q)
        if (!(static_cast<double> (r.lowerBound[q]) < static_cast<double> (r.upperBound[q])))
            return true;
    return false;
}

struct AxisCut
{
    std::vector<double> edges;
    std::vector<uint32_t> cellStart;
    std::vector<uint32_t> candidates;
    uint64_t intervalCandidates = 0;
};

// Cell 2i lies strictly between edges i-1 and i (cell 0 below every edge, cell 2K above), cell
// 2i+1 is edge i itself. Box r holds (part of) cell 2i only when lo <= e[i-1] and e[i] <= hi,
// since both of its edges are among the cut points, and then it holds all of it; it holds
// cell 2i+1 when lo < e[i] < hi.
AxisCut cutAxis (const RegionNetwork* first, uint32_t count, const std::vector<bool>& usable, uint32_t axis)
{
    AxisCut cut;
    for (uint32_t r = 0; r < count; ++r)
        if (usable[r])
        {
            cut.edges.push_back (first[r].lowerBound[axis]);
            cut.edges.push_back (first[r].upperBound[axis]);
        }
    std::sort (cut.edges.begin(), cut.edges.end());
    cut.edges.erase (std::unique (cut.edges.begin(), cut.edges.end()), cut.edges.end());

    const size_t k = cut.edges.size();
    const size_t cells = 2 * k + 1;
    cut.cellStart.reserve (cells + 1);
    for (size_t c = 0; c < cells; ++c)
    {
        cut.cellStart.push_back (static_cast<uint32_t> (cut.candidates.size()));
        const size_t i = c / 2;
        const bool point = (c & 1u) != 0;
        if (!point && (i == 0 || i == k))
            continue; // outside every edge on this axis: no box reaches there
        for (uint32_t r = 0; r < count; ++r)
        {
            if (!usable[r])
                continue;
            const double lo = first[r].lowerBound[axis];
            const double hi = first[r].upperBound[axis];
            const bool holds = point ? (lo < cut.edges[i] && cut.edges[i] < hi)
                                     : (lo <= cut.edges[i - 1] && cut.edges[i] <= hi);
            if (holds)
                cut.candidates.push_back (r);
        }
        if (!point)
            cut.intervalCandidates += cut.candidates.size() - cut.cellStart.back();
    }
    cut.cellStart.push_back (static_cast<uint32_t> (cut.candidates.size()));
    return cut;
}
} // namespace

void RegionIndex::clear() noexcept
{
    positions.clear();
    edges.clear();
    cellStart.clear();
    candidates.clear();
}

void RegionIndex::build (const RegionNetwork* regions, uint32_t regionCount,
                         const std::vector<uint32_t>& positionFirst)
{
    clear();
    positions.resize (positionFirst.size());
    for (size_t a = 0; a < positionFirst.size(); ++a)
    {
        const uint32_t begin = positionFirst[a];
        const uint32_t end = a + 1 < positionFirst.size() ? positionFirst[a + 1] : regionCount;
        const uint32_t count = end > begin ? end - begin : 0;
        const RegionNetwork* first = regions + begin;
        Position& position = positions[a];
        if (count < minimumIndexedRegions || first[0].inputCount == 0)
            continue;
        bool sameInputs = true;
        for (uint32_t r = 1; r < count; ++r)
            sameInputs = sameInputs && first[r].inputCount == first[0].inputCount;
        if (!sameInputs)
            continue;

        std::vector<bool> usable (count);
        for (uint32_t r = 0; r < count; ++r)
            usable[r] = !isEmptyBox (first[r]);

        // The axis whose cells between edges list the fewest boxes on average.
        AxisCut best;
        uint32_t bestAxis = 0;
        for (uint32_t axis = 0; axis < first[0].inputCount; ++axis)
        {
            AxisCut cut = cutAxis (first, count, usable, axis);
            // Fewest boxes per cell between edges: cut.total / cut.cells < best.total / best.cells.
            const uint64_t cells = cut.edges.size() > 1 ? cut.edges.size() - 1 : 1;
            const uint64_t bestCells = best.edges.size() > 1 ? best.edges.size() - 1 : 1;
            if (axis == 0 || cut.intervalCandidates * bestCells < best.intervalCandidates * cells)
            {
                best = std::move (cut);
                bestAxis = axis;
            }
        }
        if (best.candidates.size() > maximumCandidatesPerRegion * count)
            continue;

        position.linear = false;
        position.axis = bestAxis;
        position.edgeBegin = static_cast<uint32_t> (edges.size());
        position.edgeCount = static_cast<uint32_t> (best.edges.size());
        position.cellBegin = static_cast<uint32_t> (cellStart.size());
        edges.insert (edges.end(), best.edges.begin(), best.edges.end());
        const auto offset = static_cast<uint32_t> (candidates.size());
        for (const uint32_t start : best.cellStart)
            cellStart.push_back (offset + start);
        candidates.insert (candidates.end(), best.candidates.begin(), best.candidates.end());
    }
}

const RegionNetwork* RegionIndex::find (uint32_t position, const RegionNetwork* first, uint32_t count,
                                        const double* u) const noexcept
{
    if (position >= positions.size() || positions[position].linear)
    {
        for (uint32_t r = 0; r < count; ++r)
            if (first[r].contains (u))
                return first + r;
        return nullptr;
    }

    const Position& p = positions[position];
    const double x = u[p.axis];
    if (x != x)
        return nullptr; // NaN fails every box test
    const double* e = edges.data() + p.edgeBegin;
    const auto i = static_cast<uint32_t> (std::lower_bound (e, e + p.edgeCount, x) - e);
    const uint32_t cell = 2 * i + (i < p.edgeCount && e[i] == x ? 1u : 0u);
    const uint32_t* range = cellStart.data() + p.cellBegin + cell;
    for (uint32_t c = range[0]; c < range[1]; ++c)
    {
        const RegionNetwork* region = first + candidates[c];
        if (region->contains (u))
            return region;
    }
    return nullptr;
}

double RegionIndex::meanCandidates (uint32_t position) const noexcept
{
    if (position >= positions.size() || positions[position].linear || positions[position].edgeCount < 2)
        return 0.0;
    const Position& p = positions[position];
    uint64_t total = 0;
    for (uint32_t i = 1; i < p.edgeCount; ++i)
        total += cellStart[p.cellBegin + 2 * i + 1] - cellStart[p.cellBegin + 2 * i];
    return static_cast<double> (total) / (p.edgeCount - 1);
}

void RegionHints::clear() noexcept
{
    earlierBegin.clear();
    earlier.clear();
    tests.clear();
    boxInputs = 0;
    ownBoxes.reset();
    earlierBoxes.reset();
    earlierRegion.clear();
}

void RegionHints::build (const RegionNetwork* regions, uint32_t count)
{
    clear();
    for (uint32_t r = 1; r < count; ++r)
        if (regions[r].inputCount != regions[0].inputCount)
            return; // never made by the loader: without hints every search is a full one
    earlierBegin.reserve (count + 1);
    for (uint32_t r = 0; r < count; ++r)
    {
        earlierBegin.push_back (static_cast<uint32_t> (earlier.size()));
        const RegionNetwork& given = regions[r];
        for (uint32_t e = 0; e < r; ++e)
        {
            const RegionNetwork& before = regions[e];
            // For u inside the given box (lo < u < hi on every axis): before's lower test on an
            // axis holds when lo' <= lo, its upper test when hi <= hi'. When hi' <= lo or
            // hi <= lo' on some axis, before holds no point of the given box. Comparisons with
            // NaN are false, so a NaN edge is always tested (and always fails).
            bool disjoint = false;
            const auto testBegin = static_cast<uint32_t> (tests.size());
            for (uint32_t q = 0; q < given.inputCount && !disjoint; ++q)
            {
                const double lo = given.lowerBound[q], hi = given.upperBound[q];
                const double loBefore = before.lowerBound[q], hiBefore = before.upperBound[q];
                if (hiBefore <= lo || hi <= loBefore)
                    disjoint = true;
                if (!(loBefore <= lo))
                    tests.push_back ({loBefore, q, true});
                if (!(hi <= hiBefore))
                    tests.push_back ({hiBefore, q, false});
            }
            if (disjoint)
            {
                tests.resize (testBegin);
                continue;
            }
            earlier.push_back ({e, testBegin, static_cast<uint32_t> (tests.size())});
        }
    }
    earlierBegin.push_back (static_cast<uint32_t> (earlier.size()));

    const uint32_t inputs = count > 0 ? regions[0].inputCount : 0;
    if (inputs == 0 || inputs > 4)
        return;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const auto fill = [] (double* box)
    {
        for (uint32_t q = 0; q < 4; ++q)
        {
            box[q] = -infinity;
            box[4 + q] = infinity;
        }
    };
    ownBoxes.reset (size_t (count) * boxDoubles);
    for (uint32_t r = 0; r < count; ++r)
    {
        double* box = ownBoxes.data() + size_t (r) * boxDoubles;
        fill (box);
        for (uint32_t q = 0; q < inputs; ++q)
        {
            box[q] = static_cast<double> (regions[r].lowerBound[q]);
            box[4 + q] = static_cast<double> (regions[r].upperBound[q]);
        }
    }
    earlierBoxes.reset (std::max<size_t> (earlier.size(), 1) * boxDoubles);
    earlierRegion.resize (earlier.size());
    for (size_t e = 0; e < earlier.size(); ++e)
    {
        double* box = earlierBoxes.data() + e * boxDoubles;
        fill (box);
        for (uint32_t t = earlier[e].testBegin; t < earlier[e].testEnd; ++t)
            box[(tests[t].lower ? 0 : 4) + tests[t].axis] = tests[t].bound;
        earlierRegion[e] = earlier[e].region;
    }
    boxInputs = inputs;
}

const RegionNetwork* RegionHints::firstContaining (const RegionNetwork* first, const RegionNetwork* hint,
                                                   const double* u) const noexcept
{
    const auto r = static_cast<size_t> (hint - first);
    for (uint32_t e = earlierBegin[r]; e < earlierBegin[r + 1]; ++e)
    {
        const Earlier& candidate = earlier[e];
        bool inside = true;
        for (uint32_t t = candidate.testBegin; inside && t < candidate.testEnd; ++t)
        {
            const Test& test = tests[t];
            const double x = u[test.axis];
            inside = test.lower ? test.bound < x : x < test.bound;
        }
        if (inside)
            return first + candidate.region;
    }
    return hint;
}

namespace
{
// lower < u < upper on every axis of an 8-double box, false for NaN as the scalar tests are.
template <uint32_t Inputs>
inline bool insideBox (const double* box, const double* u) noexcept
{
    if constexpr (Inputs == 1)
        return box[0] < u[0] && u[0] < box[4];
    else
    {
        const __m128d low = _mm_loadu_pd (u);
        __m128d inside =
            _mm_and_pd (_mm_cmplt_pd (_mm_load_pd (box), low), _mm_cmplt_pd (low, _mm_load_pd (box + 4)));
        if constexpr (Inputs >= 3)
        {
            // With three inputs the fourth lane is 0, inside the infinite edges.
            const __m128d high = Inputs == 4 ? _mm_loadu_pd (u + 2) : _mm_load_sd (u + 2);
            inside = _mm_and_pd (inside, _mm_and_pd (_mm_cmplt_pd (_mm_load_pd (box + 2), high),
                                                     _mm_cmplt_pd (high, _mm_load_pd (box + 6))));
        }
        return _mm_movemask_pd (inside) == 3;
    }
}
} // namespace

template <uint32_t Inputs>
const RegionNetwork* RegionHints::firstFrom (const RegionNetwork* first, const RegionNetwork* hint,
                                             const double* u) const noexcept
{
    const auto r = static_cast<size_t> (hint - first);
    if (!insideBox<Inputs> (ownBoxes.data() + r * boxDoubles, u))
        return nullptr;
    const double* box = earlierBoxes.data();
    for (uint32_t e = earlierBegin[r], end = earlierBegin[r + 1]; e < end; ++e)
        if (insideBox<Inputs> (box + size_t (e) * boxDoubles, u))
            return first + earlierRegion[e];
    return hint;
}

const RegionNetwork* RegionHints::firstContainingFrom (const RegionNetwork* first, const RegionNetwork* hint,
                                                       const double* u) const noexcept
{
    switch (boxInputs)
    {
    case 1:
        return firstFrom<1> (first, hint, u);
    case 2:
        return firstFrom<2> (first, hint, u);
    case 3:
        return firstFrom<3> (first, hint, u);
    case 4:
        return firstFrom<4> (first, hint, u);
    default:
        return hint->contains (u) ? firstContaining (first, hint, u) : nullptr;
    }
}
