#include "RegionFit.h"

#include "CholeskySolve.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <numeric>
#include <random>
#include <map>
#include <queue>

namespace
{
struct Box
{
    std::vector<double> lo, hi;
    bool contains (const double* x) const
    {
        for (size_t q = 0; q < lo.size(); ++q)
            if (!(lo[q] < x[q] && x[q] < hi[q]))
                return false;
        return true;
    }
};

// The runtime's output scale: the float difference, raised to 1e-8 when it is positive but
// smaller (so training must target the same scale).
double effectiveScale (float outMin, float outMax)
{
    const float difference = outMax - outMin;
    if (outMax > outMin && difference < 1e-8f)
        return 1e-8;
    return static_cast<double> (difference);
}

struct Candidate
{
    Box box;
    std::vector<size_t> inside;  // every sample inside the box (kept when thinned per box)
    std::vector<size_t> members; // those the box is trained on: thinned to its own grid
    RegionModel model;
};

RegionModel trainBox (const SampleSet& samples, const Box& box, const std::vector<size_t>& members,
                      const RegionFitOptions& options, uint32_t seed)
{
    const size_t nIn = static_cast<size_t> (samples.inputCount), nOut = static_cast<size_t> (samples.outputCount);
    RegionModel model;
    model.sampleCount = members.size();
    for (size_t q = 0; q < nIn; ++q)
    {
        model.lowerBound.push_back (static_cast<float> (box.lo[q]));
        model.upperBound.push_back (static_cast<float> (box.hi[q]));
    }
    // Inputs scale from the box edges, so the whole box maps into [-1, 1].
    model.inputMin = model.lowerBound;
    model.inputMax = model.upperBound;

    for (size_t o = 0; o < nOut; ++o)
    {
        double lo = INFINITY, hi = -INFINITY;
        for (size_t n : members)
        {
            lo = std::min (lo, samples.output (n)[o]);
            hi = std::max (hi, samples.output (n)[o]);
        }
        if (members.empty())
            lo = hi = 0.0;
        const double mid = 0.5 * (lo + hi), half = std::max (0.5 * (hi - lo), 1e-12);
        // Headroom of 20% keeps the targets clear of the output activation's clipping.
        if (options.symmetricOutput)
        {
            model.outputMin.push_back (static_cast<float> (mid));
            model.outputMax.push_back (static_cast<float> (mid + 1.2 * half));
        }
        else
        {
            model.outputMin.push_back (static_cast<float> (lo - 0.2 * half));
            model.outputMax.push_back (static_cast<float> (hi + 0.2 * half));
        }
        // The runtime needs a positive scale (it raises one below 1e-8 to 1e-8).
        if (!(model.outputMax.back() > model.outputMin.back()))
            model.outputMax.back() = std::nextafter (model.outputMin.back(), INFINITY);
    }

    // A bounded, evenly spread subset trains; all members are measured.
    std::vector<size_t> training = members;
    if (training.size() > options.maxTrainingSamples)
    {
        std::mt19937 random (seed);
        std::shuffle (training.begin(), training.end(), random);
        training.resize (options.maxTrainingSamples);
    }

    auto scaled = [&] (const std::vector<size_t>& which)
    {
        ScaledData data;
        data.inputCount = static_cast<int> (nIn);
        data.outputCount = static_cast<int> (nOut);
        for (size_t o = 0; o < nOut; ++o)
            data.outputWeights.push_back (options.outputWeights[o]
                                          * effectiveScale (model.outputMin[o], model.outputMax[o]));
        for (size_t n : which)
        {
            for (size_t q = 0; q < nIn; ++q)
            {
                const double range = static_cast<double> (model.inputMax[q]) - static_cast<double> (model.inputMin[q]);
                data.inputs.push_back (range > 0.0 ? (samples.input (n)[q] - model.inputMin[q]) * (2.0 / range) - 1.0
                                                   : -1.0);
            }
            for (size_t o = 0; o < nOut; ++o)
                data.targets.push_back ((samples.output (n)[o] - model.outputMin[o])
                                        / effectiveScale (model.outputMin[o], model.outputMax[o]));
        }
        return data;
    };

    TrainOptions train = options.train;
    train.seed = seed;
    model.network = trainMlp (scaled (training), train);
    model.error = measureFit (model.network, scaled (members));
    return model;
}

std::vector<size_t> membersOf (const SampleSet& samples, const Box& box, const std::vector<size_t>& from)
{
    std::vector<size_t> inside;
    for (size_t n : from)
        if (box.contains (samples.input (n)))
            inside.push_back (n);
    return inside;
}

// Keeps one sample per cell of a regular grid over the box: trajectories linger near the rest
// point, and without thinning the rare, strongly nonlinear excursions (grid current, cut-off)
// would be a vanishing part of what the networks are fitted to.
// The grid is the box's own, so a smaller box keeps a finer sampling of where it lies: with one
// grid over the whole range, the few cells that hold ordinary playing (a small corner of the
// range a loud, full-band input reaches) gave the boxes there a handful of samples however far
// they were split.
std::vector<size_t> thinOut (const SampleSet& samples, const Box& box, int cellsPerDimension,
                             const std::vector<size_t>& from)
{
    const size_t nIn = static_cast<size_t> (samples.inputCount);
    std::map<std::vector<int>, size_t> cells;
    std::vector<int> key (nIn);
    for (size_t n : from)
    {
        for (size_t q = 0; q < nIn; ++q)
        {
            const double extent = box.hi[q] - box.lo[q];
            key[q] = extent > 0.0 ? static_cast<int> ((samples.input (n)[q] - box.lo[q]) / extent * cellsPerDimension) : 0;
        }
        cells.emplace (key, n);
    }
    std::vector<size_t> kept;
    for (const auto& [cell, n] : cells)
        kept.push_back (n);
    std::sort (kept.begin(), kept.end());
    return kept;
}

// Weighted sum of squared residuals of per-output least-squares quadratics (no cross terms)
// over the given members, inputs scaled to the box: a cheap stand-in for how well a network
// would fit them.
double quadraticResidual (const SampleSet& samples, const Box& box, const std::vector<size_t>& members,
                          const std::vector<double>& outputWeights)
{
    const size_t nIn = static_cast<size_t> (samples.inputCount), nOut = static_cast<size_t> (samples.outputCount);
    const size_t m = 1 + 2 * nIn;
    std::vector<double> G (m * m, 0.0), feature (m);
    std::vector<std::vector<double>> rhs (nOut, std::vector<double> (m, 0.0));
    std::vector<double> targetSquares (nOut, 0.0);
    auto features = [&] (size_t n)
    {
        feature[0] = 1.0;
        for (size_t q = 0; q < nIn; ++q)
        {
            const double extent = box.hi[q] - box.lo[q];
            const double x = extent > 0.0 ? 2.0 * (samples.input (n)[q] - box.lo[q]) / extent - 1.0 : 0.0;
            feature[1 + q] = x;
            feature[1 + nIn + q] = x * x;
        }
    };
    for (size_t n : members)
    {
        features (n);
        for (size_t r = 0; r < m; ++r)
            for (size_t c = 0; c < m; ++c)
                G[r * m + c] += feature[r] * feature[c];
        for (size_t o = 0; o < nOut; ++o)
        {
            const double t = samples.output (n)[o] * outputWeights[o];
            targetSquares[o] += t * t;
            for (size_t r = 0; r < m; ++r)
                rhs[o][r] += feature[r] * t;
        }
    }
    for (size_t r = 0; r < m; ++r)
        G[r * m + r] += 1e-9 * (1.0 + G[r * m + r]);
    double residual = 0.0;
    for (size_t o = 0; o < nOut; ++o)
    {
        // Residual = t't - b' G^-1 b for the least-squares coefficients.
        auto M = G;
        auto b = rhs[o];
        if (!choleskySolve (M, b, m))
            return INFINITY;
        double explained = 0.0;
        for (size_t r = 0; r < m; ++r)
            explained += b[r] * rhs[o][r];
        residual += std::max (0.0, targetSquares[o] - explained);
    }
    return residual;
}

std::string describeBox (const Box& box, const RegionModel& model)
{
    std::string line;
    char text[96];
    std::snprintf (text, sizeof (text), "box n=%zu rms=%.3g max=%.3g in:", model.sampleCount, model.error.rms,
                   model.error.max);
    line += text;
    for (size_t q = 0; q < box.lo.size(); ++q)
    {
        std::snprintf (text, sizeof (text), " [%.4g %.4g]", box.lo[q], box.hi[q]);
        line += text;
    }
    line += " out:";
    for (size_t o = 0; o < model.outputMin.size(); ++o)
    {
        std::snprintf (text, sizeof (text), " [%.3g %.3g]", static_cast<double> (model.outputMin[o]),
                       static_cast<double> (model.outputMax[o]));
        line += text;
    }
    return line;
}

bool acceptable (const RegionModel& m, const RegionFitOptions& options)
{
    return m.error.rms <= options.tolerance && m.error.max <= options.maxTolerance;
}
} // namespace

RegionFitResult fitRegions (const SampleSet& samples, const RegionFitOptions& options)
{
    const size_t nIn = static_cast<size_t> (samples.inputCount);
    Box root{std::vector<double> (nIn, INFINITY), std::vector<double> (nIn, -INFINITY)};
    for (size_t n = 0; n < samples.size(); ++n)
        for (size_t q = 0; q < nIn; ++q)
        {
            root.lo[q] = std::min (root.lo[q], samples.input (n)[q]);
            root.hi[q] = std::max (root.hi[q], samples.input (n)[q]);
        }
    std::vector<double> rootExtent (nIn);
    for (size_t q = 0; q < nIn; ++q)
    {
        if (samples.size() == 0)
            root.lo[q] = root.hi[q] = 0.0;
        const double range = root.hi[q] - root.lo[q];
        const double margin = std::max (options.rootMargin * range, 1e-3 * (1.0 + std::abs (root.lo[q])));
        root.lo[q] -= margin;
        root.hi[q] += margin;
        rootExtent[q] = root.hi[q] - root.lo[q];
    }

    const int cells = nIn <= 2 ? 200 : options.cellsPerDimension;
    // Two-input boxes are thinned finely enough on the root's grid already.
    const bool thinPerBox = options.thinPerBox && nIn > 2;
    std::vector<size_t> everySample (samples.size());
    for (size_t n = 0; n < everySample.size(); ++n)
        everySample[n] = n;
    const std::vector<size_t> all = thinOut (samples, root, cells, everySample);
    uint32_t seed = options.train.seed;

    std::vector<Candidate> leaves;
    // Every sample of a box is kept only where boxes are thinned on their own grids.
    if (!thinPerBox)
        everySample.clear();
    leaves.push_back ({root, std::move (everySample), all, trainBox (samples, root, all, options, seed++)});

    while (static_cast<int> (leaves.size()) < options.maxRegions)
    {
        // The worst box that can still be split.
        int worst = -1;
        double worstScore = 0.0;
        for (size_t k = 0; k < leaves.size(); ++k)
        {
            const auto& leaf = leaves[k];
            if (acceptable (leaf.model, options) || leaf.members.size() < options.minSplitSamples)
                continue;
            const double score = std::max (leaf.model.error.rms / options.tolerance,
                                           leaf.model.error.max / options.maxTolerance);
            if (score > worstScore)
            {
                worstScore = score;
                worst = static_cast<int> (k);
            }
        }
        if (worst < 0)
            break;

        Candidate parent = std::move (leaves[static_cast<size_t> (worst)]);
        leaves.erase (leaves.begin() + worst);

        // The dimension whose median cut leaves two halves that quadratic models fit best: the
        // widest dimension is often not where the map bends (a follower's grid current turns on
        // along one input however narrow the box is in the other).
        size_t dim = 0;
        double cut = 0.0;
        double bestResidual = INFINITY;
        for (size_t q = 0; q < nIn; ++q)
        {
            std::vector<double> values;
            for (size_t n : parent.members)
                values.push_back (samples.input (n)[q]);
            std::nth_element (values.begin(), values.begin() + static_cast<long> (values.size() / 2), values.end());
            const double candidate = values[values.size() / 2];
            std::vector<size_t> below, above;
            for (size_t n : parent.members)
                (samples.input (n)[q] < candidate ? below : above).push_back (n);
            if (below.size() < options.minSplitSamples / 4 || above.size() < options.minSplitSamples / 4)
                continue;
            const double residual = quadraticResidual (samples, parent.box, below, options.outputWeights)
                                    + quadraticResidual (samples, parent.box, above, options.outputWeights);
            if (residual < bestResidual)
            {
                bestResidual = residual;
                dim = q;
                cut = candidate;
            }
        }
        if (!std::isfinite (bestResidual))
        {
            parent.model.error = {0.0, 0.0};
            leaves.push_back (std::move (parent));
            continue;
        }
        const double overlap = options.overlap * (parent.box.hi[dim] - parent.box.lo[dim]);

        Box left = parent.box, right = parent.box;
        left.hi[dim] = cut + overlap;
        right.lo[dim] = cut - overlap;
        auto leftInside = thinPerBox ? membersOf (samples, left, parent.inside) : std::vector<size_t>{};
        auto rightInside = thinPerBox ? membersOf (samples, right, parent.inside) : std::vector<size_t>{};
        auto leftMembers = thinPerBox ? thinOut (samples, left, cells, leftInside)
                                      : membersOf (samples, left, parent.members);
        auto rightMembers = thinPerBox ? thinOut (samples, right, cells, rightInside)
                                       : membersOf (samples, right, parent.members);
        const bool separated = thinPerBox
                                   ? leftInside.size() < parent.inside.size() && rightInside.size() < parent.inside.size()
                                   : leftMembers.size() < parent.members.size() && rightMembers.size() < parent.members.size();
        if (!separated)
        {
            // Cannot separate the data (all on one value): keep the box as it is.
            parent.model.error = {0.0, 0.0};
            leaves.push_back (std::move (parent));
            continue;
        }
        auto leftModel = trainBox (samples, left, leftMembers, options, seed++);
        auto rightModel = trainBox (samples, right, rightMembers, options, seed++);
        leaves.push_back ({left, std::move (leftInside), std::move (leftMembers), std::move (leftModel)});
        leaves.push_back ({right, std::move (rightInside), std::move (rightMembers), std::move (rightModel)});
    }

    std::stable_sort (leaves.begin(), leaves.end(),
                      [] (const Candidate& a, const Candidate& b) { return a.members.size() > b.members.size(); });
    RegionFitResult result;
    for (auto& leaf : leaves)
    {
        if (options.boxLog)
            options.boxLog (describeBox (leaf.box, leaf.model));
        result.worst.rms = std::max (result.worst.rms, leaf.model.error.rms);
        result.worst.max = std::max (result.worst.max, leaf.model.error.max);
        result.regions.push_back (std::move (leaf.model));
    }
    return result;
}

void evaluateRegion (const RegionModel& region, bool symmetricOutput, const double* input, double* output)
{
    const size_t nIn = region.lowerBound.size(), nOut = region.outputMin.size();
    double x[16], y[16];
    for (size_t q = 0; q < nIn; ++q)
    {
        const double range = static_cast<double> (region.inputMax[q]) - static_cast<double> (region.inputMin[q]);
        x[q] = range != 0.0 ? (input[q] - region.inputMin[q]) * (2.0 / range) - 1.0 : -1.0;
    }
    region.network.evaluate (x, y);
    for (size_t o = 0; o < nOut; ++o)
    {
        const double lo = symmetricOutput ? -1.0 : 0.0;
        const double net = std::clamp (y[o], lo, 1.0);
        const double v = effectiveScale (region.outputMin[o], region.outputMax[o]) * net + region.outputMin[o];
        output[o] = v > 0.0 ? v : 0.0;
    }
}
