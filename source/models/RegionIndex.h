#pragma once

#include "shared/AlignedArray.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct RegionNetwork;

// Finds the first box, in stored order, that contains a point, without testing every box of the
// position. Per position one input axis is cut at every box edge on it; a point's cell on that
// axis (found by bisection) lists, in stored order, exactly the boxes whose open interval on
// the axis holds that cell, and only those get the full box test. Every box left out of a cell
// fails its test on the axis for every point of the cell, so the first box that passes is the
// one the linear search in stored order finds. A point whose coordinate on the axis is NaN is in
// no box.
//
// Built once per load from the finished region table, read-only afterwards: the search takes
// no lock and allocates nothing.
class RegionIndex
{
public:
    // regions: the whole table; positionFirst: index of each position's first region; the last
    // position ends at regionCount.
    void build (const RegionNetwork* regions, uint32_t regionCount,
                const std::vector<uint32_t>& positionFirst);
    void clear() noexcept;

    bool hasPosition (uint32_t position) const noexcept { return position < positions.size(); }

    // The region of `position` (first = its first region, count its regions) that the linear
    // search would find for u, or null when none contains u.
    const RegionNetwork* find (uint32_t position, const RegionNetwork* first, uint32_t count,
                               const double* u) const noexcept;

    // Boxes tested on average over the cells between edges, for benchmarks and diagnostics.
    double meanCandidates (uint32_t position) const noexcept;

private:
    struct Position
    {
        bool linear = true; // too few boxes (or none with inputs) for cutting to pay
        uint32_t axis = 0;
        uint32_t edgeBegin = 0; // into edges: the sorted distinct box edges on the axis
        uint32_t edgeCount = 0;
        uint32_t cellBegin = 0; // into cellStart: 2 * edgeCount + 2 entries
    };

    std::vector<Position> positions;
    std::vector<double> edges;
    std::vector<uint32_t> cellStart;  // per cell, its first entry in candidates
    std::vector<uint32_t> candidates; // region indices relative to the position's first region
};

// Finds the first box, in stored order, that contains a point already known to lie in one given
// box (the box of the last sample, usually). Only a box stored before the given one can come
// first, and only one that may share a point with it; for each such box the tests on the axes
// where it covers the given box's interval are implied by the point lying in the given box, so
// only the others are made. When none passes, the given box is the first.
//
// Built once per table from the finished regions, read-only afterwards.
class RegionHints
{
public:
    void build (const RegionNetwork* regions, uint32_t count);
    void clear() noexcept;
    bool isBuilt() const noexcept { return !earlierBegin.empty(); }

    // hint is one of the count regions starting at first, and contains u.
    const RegionNetwork* firstContaining (const RegionNetwork* first, const RegionNetwork* hint,
                                          const double* u) const noexcept;

    // The same for any hint among the regions: null when the hint's box does not contain u.
    const RegionNetwork* firstContainingFrom (const RegionNetwork* first, const RegionNetwork* hint,
                                              const double* u) const noexcept;

    // Earlier boxes tested, over all boxes, for benchmarks and diagnostics.
    size_t candidateCount() const noexcept { return earlier.size(); }

private:
    struct Earlier
    {
        uint32_t region = 0;
        uint32_t testBegin = 0;
        uint32_t testEnd = 0;
    };
    struct Test
    {
        double bound = 0.0;
        uint32_t axis = 0;
        bool lower = false; // bound < u[axis]; else u[axis] < bound
    };

    template <uint32_t Inputs>
    const RegionNetwork* firstFrom (const RegionNetwork* first, const RegionNetwork* hint,
                                    const double* u) const noexcept;

    std::vector<uint32_t> earlierBegin; // per region, into earlier; one entry more than regions
    std::vector<Earlier> earlier;
    std::vector<Test> tests;
    // For regions of 1 to 4 inputs (else none), the same tests as boxes of doubles, two vector
    // comparisons per two axes: per region its own box, per entry of earlier the box of the tests
    // left to make, an implied test as an infinite edge (true for every point of the given box,
    // which is finite). Each box is 4 lower edges and 4 upper edges; the axes past the inputs are
    // infinite as well.
    static constexpr uint32_t boxDoubles = 8;
    uint32_t boxInputs = 0;
    AlignedArray<double> ownBoxes;
    AlignedArray<double> earlierBoxes;
    std::vector<uint32_t> earlierRegion; // per entry of earlier, its region
};
