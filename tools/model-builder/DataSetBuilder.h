#pragma once

#include "RegionFit.h"
#include "BlockRunner.h"
#include "GuitarSignals.h"
#include "TrainingSignals.h"

#include "models/ModelFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Which of a block's nonlinear inputs its networks see. Block 1's p3 and block 3's p2, p3 are
// fixed by the supplies; block 2's p3 follows from p1 and p2 (all three move only with two
// states). The leading entries carry everything, so the projection is the identity over them
// and the runtime copies them without multiplying.
struct BlockLayout
{
    int block = 0;   // 0 to 3
    bool pca = true; // blocks 1 to 3
    int nv = 0, ni = 0, nx = 0;
    int networkInputs = 0;
};

BlockLayout blockLayout (int blockIndex);

struct ValveSet
{
    std::string name;       // "eh" or "rsd", as in the file names
    int triodeParameterSet; // the reference triode's built-in set
};

// "eh" (Fresh) is the engine's own set 0; "rsd" (Aged) uses set 2, the set with the lower
// emission (smaller G, Gg) and higher sharpness that a worn cathode shows.
std::vector<ValveSet> valveSetsByName (const std::string& which);

struct BuildOptions
{
    std::vector<int> hostRates = {44100, 48000};
    std::vector<int> factors = {1, 2, 4, 8, 16};
    // Processing rates whose trajectories train the rate-independent files of blocks 1, 2 and 4
    // (one file serves every rate; F changes with the rate, so this is a compromise).
    std::vector<int> trainingRates = {44100, 48000};
    // Blocks 1 and 2 also get networks fitted at this processing rate (0: none), written as
    // "<file>.<rate>" for every processing rate above twice the first training rate. One rate
    // for every valve set, or one per valve set in the order "eh", "rsd".
    std::vector<int> highRateTraining;
    // The same for the processing rates above 1.5 times the first training rate, up to twice it.
    std::vector<int> middleRateTraining;
    std::vector<int> gainPositions;       // empty: all 17
    std::vector<int> tonePositions;       // empty: all 3375 (sharing networks)
    double signalSeconds = 0.25;
    // Besides the harmonic guitar notes, the full-band kinds of TrainingSignals.h (noise bursts,
    // unfiltered plucks, squares, steps and clicks, chirps, loud chords, bursts then notes): what
    // a pick, a drum loop or a synth sends through the plug-in. They train blocks 1 and 2 (blocks
    // 3 and 4 learn the notes) and need thinPerBox: on one grid over their wide range, the boxes
    // where notes are played kept too few samples.
    bool fullBandSignals = false;
    TrajectoryOptions trajectory;
    double tolerance = 2e-3;     // volts RMS per box, port-voltage equivalent
    double maxTolerance = 2e-2;  // volts, largest single error per box
    int maxRegions = 12;
    // Block 3 has one position per rate and two network inputs, but the sharpest map (its
    // follower's grid current): it gets its own, larger budget; 0 means twice maxRegions.
    int blockThreeRegions = 0;
    // Blocks 1 and 2 weight each port current's fit error by what it does to the block's output
    // (volts there, times the scale) instead of to the port voltages.
    bool outputWeighting = true;
    double outputWeightScale = 1.0;
    double outputWeightFloor = 0.01; // fraction of the largest weight every current gets at least
    int hiddenNeurons = 8;
    int iterations = 60;
    int restarts = 2; // training runs per box from different random starts; the best is kept
    // Blocks 1 and 2 (0: maxRegions, restarts): the chain hears block 1's error some 300 times
    // louder than the block's own ratio, so the front blocks get the finer boxes and more
    // training starts.
    int frontRegions = 0;
    int frontRestarts = 0;
    size_t maxTrainingSamples = 1000; // per box and training run
    int cellsPerDimension = 60; // thinning grid of the three-input boxes (blocks 1, 2)
    bool thinPerBox = false;    // each split box thinned on its own grid (RegionFitOptions)
    // Block 4 positions whose F(0,0) differ by less than this relative amount share networks.
    double toneShareTolerance = 0.02;
    int jobs = 1;
    bool describeBoxes = false; // log every final box (bounds, samples, fit error)
    std::function<void (const std::string&)> log;
    // Called (from any worker thread) each time an item of a build stage is done: the stage's
    // index in plannedStages() and how many of its items are done.
    std::function<void (size_t stage, int itemsDone)> progress;
};

// A quick data set for renders and checks: about a minute per host rate on two cores, at a
// cost in accuracy (see the README's figures).
void applyFastPreset (BuildOptions& options);

std::vector<int> processingRates (const BuildOptions& options);

// Every training input as a generator of the signal (volts) at a given sample rate and length.
using TrainingSignal = std::function<std::vector<double> (double sampleRate, double seconds)>;
// The guitar notes first, then (with fullBandSignals) the full-band kinds.
std::vector<TrainingSignal> trainingSignals (const BuildOptions& options);
// How many of trainingSignals are guitar notes.
size_t guitarSignalCount (const BuildOptions& options);

// The files of one valve set, as byte images, keyed by their file names.
struct BuiltFile
{
    std::string name;
    std::vector<uint8_t> bytes;
};

struct BlockBuildReport
{
    int block = 0;
    int positions = 0;
    int trainedSets = 0; // distinct trained network sets (block 4 shares them)
    int regions = 0;
    int maxRegionsPerPosition = 0;
    FitError worst;
    double seconds = 0.0;
};

struct ValveSetBuild
{
    std::vector<BuiltFile> files;
    std::vector<BlockBuildReport> reports;
};

// Volts at the block's output per ampere of error in each port current (root of the energy of
// the output's response over `steps` samples, the block linearised at `rest`), every weight
// raised to at least weightFloor times the largest. Blocks 1 and 2 are fitted with these.
std::vector<double> outputWeights (const SSParamsVecAutomation& block, const BlockOperatingPoint& rest, int steps,
                                   double weightFloor);

// The stages of one valve set's build in the order they run, each with its count of independent
// items and the relative cost of one item. The costs only seed the estimate of the time left; the
// measured time per unit of cost corrects it as the build goes.
struct BuildStage
{
    std::string what;
    int items = 0;
    double costPerItem = 1.0;
};

std::vector<BuildStage> plannedStages (const ValveSet& valve, const BuildOptions& options);

ValveSetBuild buildValveSet (const ValveSet& valve, const BuildOptions& options);

std::string modelFileName (const ValveSet& valve, int blockIndex, int processingRate);

// The rate the valve set's second network set of blocks 1 and 2 is fitted at; 0 for none.
int highTrainingRate (const ValveSet& valve, const BuildOptions& options);
