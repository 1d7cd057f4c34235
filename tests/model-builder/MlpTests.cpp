#include "Mlp.h"
#include "RegionFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{
// A triode-like knee (a power of a softplus) of two inputs, and a product term.
SampleSet kneeSamples (size_t count)
{
    SampleSet set (2, 2);
    std::mt19937 random (3);
    std::uniform_real_distribution<double> unit (-5.0, 5.0);
    for (size_t n = 0; n < count; ++n)
    {
        const double in[2] = {unit (random), unit (random)};
        const double out[2] = {1e-3 * std::pow (std::log1p (std::exp (in[0] + 0.3 * in[1])), 1.3),
                               1e-4 * (in[0] * in[1] + 30.0)};
        set.add (in, out);
    }
    return set;
}
} // namespace

TEST (Mlp, LevenbergMarquardtFitsSmoothMapFarBetterThanItsStart)
{
    ScaledData data;
    data.inputCount = 2;
    data.outputCount = 1;
    data.outputWeights = {1.0};
    std::mt19937 random (1);
    std::uniform_real_distribution<double> unit (-1.0, 1.0);
    for (int n = 0; n < 400; ++n)
    {
        const double a = unit (random), b = unit (random);
        data.inputs.insert (data.inputs.end(), {a, b});
        data.targets.push_back (0.5 * std::tanh (2.0 * a + b));
    }
    TrainOptions start{8, 0, 1, 1};
    TrainOptions trained{8, 60, 1, 1};
    const auto before = measureFit (trainMlp (data, start), data);
    const auto after = measureFit (trainMlp (data, trained), data);
    EXPECT_LT (after.rms, 0.01);
    EXPECT_LT (after.rms, 0.2 * before.rms);
}

TEST (RegionFit, SplittingBoxesLowersTheErrorAndEveryBoxHoldsItsSamples)
{
    const auto samples = kneeSamples (3000);
    RegionFitOptions options;
    options.outputWeights = {1e4, 1e4}; // volts per ampere
    options.tolerance = 1e-9;           // unreachable: spend the whole box budget
    options.maxTolerance = 1e-9;
    options.train.hidden = 6;
    options.train.iterations = 30;
    options.maxRegions = 1;
    const auto one = fitRegions (samples, options);
    options.maxRegions = 6;
    const auto six = fitRegions (samples, options);
    ASSERT_EQ (one.regions.size(), 1u);
    ASSERT_EQ (six.regions.size(), 6u);
    EXPECT_LT (six.worst.rms, one.worst.rms);

    // Every sample lies in some box (the boxes tile the extended range).
    for (size_t n = 0; n < samples.size(); ++n)
    {
        bool inside = false;
        for (const auto& r : six.regions)
        {
            bool in = true;
            for (size_t q = 0; q < 2; ++q)
                in = in && r.lowerBound[q] < samples.input (n)[q] && samples.input (n)[q] < r.upperBound[q];
            inside = inside || in;
        }
        ASSERT_TRUE (inside) << "sample " << n;
    }
}

// Ordinary playing fills a small corner of the range a loud input reaches. Thinned once on the
// whole range's grid, the boxes split down to that corner keep only a handful of its samples;
// thinned on each box's own grid they keep a fine sampling of it.
TEST (RegionFit, BoxesThinnedOnTheirOwnGridKeepTheDenseCorner)
{
    SampleSet samples (3, 1);
    std::mt19937 random (5);
    std::uniform_real_distribution<double> corner (0.0, 1.0), wide (-10.0, 10.0);
    for (int n = 0; n < 6000; ++n)
    {
        const bool dense = n % 10 != 0;
        const double p[3] = {dense ? corner (random) : wide (random), dense ? corner (random) : wide (random),
                             dense ? corner (random) : wide (random)};
        // A knee inside the corner, flat far from it: the worst boxes are the corner's.
        const double i[1] = {1e-3 * std::tanh (8.0 * (p[0] - 0.5)) * std::exp (-std::abs (p[1]))};
        samples.add (p, i);
    }
    RegionFitOptions options;
    options.outputWeights = {1e3};
    options.tolerance = 1e-9; // unreachable: spend the whole box budget
    options.maxTolerance = 1e-9;
    options.train.hidden = 4;
    options.train.iterations = 5;
    options.train.restarts = 1;
    options.maxRegions = 12;
    const double inCorner[3] = {0.5, 0.5, 0.5};
    const auto samplesOfCornerBox = [&] (const RegionFitResult& fit)
    {
        // The smallest box holding the corner's middle.
        size_t count = 0;
        double smallest = INFINITY;
        for (const auto& r : fit.regions)
        {
            double volume = 1.0;
            bool in = true;
            for (size_t q = 0; q < 3; ++q)
            {
                in = in && r.lowerBound[q] <= inCorner[q] && inCorner[q] <= r.upperBound[q];
                volume *= r.upperBound[q] - r.lowerBound[q];
            }
            if (in && volume < smallest)
            {
                smallest = volume;
                count = r.sampleCount;
            }
        }
        return count;
    };
    const size_t rootGrid = samplesOfCornerBox (fitRegions (samples, options));
    options.thinPerBox = true;
    const size_t ownGrid = samplesOfCornerBox (fitRegions (samples, options));
    EXPECT_LT (rootGrid, 100u);
    EXPECT_GT (ownGrid, 5 * std::max<size_t> (rootGrid, 1));
}
