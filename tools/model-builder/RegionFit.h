#pragma once

#include "Mlp.h"
#include "SampleSet.h"

#include <functional>
#include <string>
#include <vector>

// One trained box: its bounds, the scaling of inputs and outputs exactly as the model file
// stores them (single precision) and its network.
struct RegionModel
{
    std::vector<float> lowerBound, upperBound;
    std::vector<float> inputMin, inputMax;
    std::vector<float> outputMin, outputMax;
    Mlp network;
    size_t sampleCount = 0;
    FitError error; // weighted (volts), on the box's own samples
};

struct RegionFitOptions
{
    bool symmetricOutput = true; // pca kind: network output in [-1, 1]; standard kind: [0, 1]
    std::vector<double> outputWeights; // volts per ampere of error, per output
    double tolerance = 1e-3;        // volts RMS per box
    double maxTolerance = 1e-2;     // volts, largest single error per box
    double rootMargin = 0.1;        // the root box extends the data's range by this fraction per side
    double overlap = 0.02;          // neighbouring boxes overlap by this fraction of their extent
    int maxRegions = 16;
    size_t minSplitSamples = 60;
    size_t maxTrainingSamples = 1000;
    // Grid of the thinning that evens out the data's density (boxes over three or more inputs;
    // two-input boxes use 200).
    int cellsPerDimension = 60;
    // Thin each box's samples on its own grid when it is split, rather than keeping its share of
    // the root box's: boxes split small keep a fine sampling of where they lie (boxes over three
    // or more inputs; two-input boxes keep the root's fine grid).
    bool thinPerBox = false;
    TrainOptions train;
    // When set, receives one line per final box: its sample count, fit error, bounds and
    // output range (the builder's --verbose).
    std::function<void (const std::string&)> boxLog;
};

struct RegionFitResult
{
    std::vector<RegionModel> regions; // search order: most-visited boxes first
    FitError worst;                   // over all boxes
};

// Partitions the samples' input range into boxes by splitting the worst-fitting box at the
// median of its widest dimension until every box meets the tolerance or the box budget is used
// up, training one network per box. The boxes tile the root box (with small overlaps), so every
// point in the extended range of the data lies in a box.
RegionFitResult fitRegions (const SampleSet& samples, const RegionFitOptions& options);

// The region's estimate at a point in double precision, with the runtime's output clipping and
// clamping at zero (the runtime itself computes the network in single precision).
void evaluateRegion (const RegionModel& region, bool symmetricOutput, const double* input, double* output);
