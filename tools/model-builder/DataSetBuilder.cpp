#include "DataSetBuilder.h"

#include "ExactCircuit.h"

#include "engine/PreampBlocks.h"
#include "models/BlockFacts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace
{
const int gainPositionCount = positionCount (PositionControl::gain);
const int tonePositionCount = positionCount (PositionControl::tone);
constexpr int defaultTonePosition = 1687; // all three tone controls at their middle

double seconds (std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double> (std::chrono::steady_clock::now() - since).count();
}

// Runs fn(0 .. count-1) on up to `jobs` threads; each item must be independent.
void parallelFor (int count, int jobs, const std::function<void (int)>& fn)
{
    std::atomic<int> next{0};
    auto worker = [&]
    {
        for (int item = next++; item < count; item = next++)
            fn (item);
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min (std::max (jobs, 1), count); ++t)
        threads.emplace_back (worker);
    worker();
    for (auto& t : threads)
        t.join();
}

SampleSet leadingInputs (const SampleSet& full, int count)
{
    SampleSet reduced (count, full.outputCount);
    for (size_t n = 0; n < full.size(); ++n)
        reduced.add (full.input (n), full.output (n));
    return reduced;
}

// The error that matters is what a current error does to the port voltages: F's diagonal turns
// amperes into volts.
std::vector<double> portWeights (const SSParamsVecAutomation& block)
{
    std::vector<double> w;
    for (uint32_t m = 0; m < block.numNonlinearOutputs; ++m)
        w.push_back (std::max (std::abs (block.F (m, m)), 1.0));
    return w;
}

// What an error in each port current costs at the block's output: the energy of the output's
// response to a unit error in that current at one sample, with the block linearised at its rest
// point (the currents follow p through di/dp = (I - J F)^-1 J, so the error also echoes through
// the states and the valves). The fit then spends its accuracy where the next block hears it,
// rather than where the port voltages move most (a current the output barely sees, such as an
// inner triode's grid current, would otherwise dominate the fit).
} // namespace

std::vector<double> outputWeights (const SSParamsVecAutomation& block, const BlockOperatingPoint& rest, int steps,
                                   double weightFloor)
{
    const uint32_t nx = block.numStates, nv = block.numNonlinearInputs, ni = block.numNonlinearOutputs;
    std::vector<double> v (nv);
    for (uint32_t r = 0; r < nv; ++r)
    {
        v[r] = rest.p[r];
        for (uint32_t c = 0; c < ni; ++c)
            v[r] += block.F (r, c) * rest.i[c];
    }
    StateSpaceMatrix J;
    J.resize (ni, nv);
    block.computePortJacobian (v.data(), J);
    // M = (I - J F)^-1 J by Gauss-Jordan on [I - J F | J].
    std::vector<std::vector<double>> aug (ni, std::vector<double> (ni + nv, 0.0));
    for (uint32_t r = 0; r < ni; ++r)
    {
        for (uint32_t c = 0; c < ni; ++c)
        {
            double jf = 0.0;
            for (uint32_t k = 0; k < nv; ++k)
                jf += J (r, k) * block.F (k, c);
            aug[r][c] = (r == c ? 1.0 : 0.0) - jf;
        }
        for (uint32_t c = 0; c < nv; ++c)
            aug[r][ni + c] = J (r, c);
    }
    for (uint32_t c = 0; c < ni; ++c)
    {
        uint32_t pivot = c;
        for (uint32_t r = c + 1; r < ni; ++r)
            if (std::abs (aug[r][c]) > std::abs (aug[pivot][c]))
                pivot = r;
        std::swap (aug[c], aug[pivot]);
        if (!(std::abs (aug[c][c]) > 0.0))
            return portWeights (block);
        const double d = aug[c][c];
        for (auto& e : aug[c])
            e /= d;
        for (uint32_t r = 0; r < ni; ++r)
            if (r != c && aug[r][c] != 0.0)
            {
                const double f = aug[r][c];
                for (uint32_t k = 0; k < ni + nv; ++k)
                    aug[r][k] -= f * aug[c][k];
            }
    }
    std::vector<double> weights;
    for (uint32_t m = 0; m < ni; ++m)
    {
        std::vector<double> x (nx, 0.0), xNew (nx), i (ni, 0.0), p (nv);
        i[m] = 1.0;
        double energy = 0.0;
        for (int n = 0; n < steps; ++n)
        {
            if (n > 0)
            {
                for (uint32_t r = 0; r < nv; ++r)
                {
                    p[r] = 0.0;
                    for (uint32_t k = 0; k < nx; ++k)
                        p[r] += block.D (r, k) * x[k];
                }
                for (uint32_t r = 0; r < ni; ++r)
                {
                    i[r] = 0.0;
                    for (uint32_t k = 0; k < nv; ++k)
                        i[r] += aug[r][ni + k] * p[k];
                }
            }
            for (uint32_t r = 0; r < nx; ++r)
            {
                xNew[r] = 0.0;
                for (uint32_t k = 0; k < nx; ++k)
                    xNew[r] += block.A (r, k) * x[k];
                for (uint32_t k = 0; k < ni; ++k)
                    xNew[r] += block.C (r, k) * i[k];
            }
            x = xNew;
            double y = 0.0;
            for (uint32_t k = 0; k < nx; ++k)
                y += block.G (0, k) * x[k];
            for (uint32_t k = 0; k < ni; ++k)
                y += block.K (0, k) * i[k];
            energy += y * y;
        }
        weights.push_back (std::sqrt (energy));
    }
    // The linearisation holds near rest only: a current the output hardly sees there may matter
    // once a valve cuts off or draws grid current, so every current that reaches the states or
    // the output at all keeps a floor. One that reaches neither (a cathode current that only
    // flows into a supply) costs nothing and gets no weight, so the fit spends nothing on it.
    const double largest = *std::max_element (weights.begin(), weights.end());
    for (uint32_t m = 0; m < ni; ++m)
    {
        bool reaches = block.K (0, m) != 0.0;
        for (uint32_t r = 0; r < nx; ++r)
            reaches = reaches || block.C (r, m) != 0.0;
        if (reaches)
            weights[m] = std::max (weights[m], weightFloor * largest);
    }
    return weights;
}

namespace
{
RegionFitOptions fitOptions (const BuildOptions& options, const BlockLayout& layout,
                             const SSParamsVecAutomation& block, uint32_t seed, const std::string& label)
{
    RegionFitOptions fit;
    fit.symmetricOutput = layout.pca;
    fit.outputWeights = portWeights (block);
    fit.tolerance = options.tolerance;
    fit.maxTolerance = options.maxTolerance;
    fit.maxRegions = options.maxRegions;
    // Block 4 outputs zero currents outside every box, so its boxes reach further out.
    // Block 2's inputs reach further past its training trajectories (it sees block 1's hottest
    // swings), and a point beyond every box is served by an extrapolating network: a wider root
    // box there. Block 1 keeps the narrow one, whose finer boxes it needs most.
    fit.rootMargin = layout.block == 3 || layout.block == 1 ? 0.3 : 0.15;
    fit.train.hidden = options.hiddenNeurons;
    fit.train.iterations = options.iterations;
    fit.train.restarts = options.restarts;
    fit.maxTrainingSamples = options.maxTrainingSamples;
    fit.cellsPerDimension = options.cellsPerDimension;
    fit.thinPerBox = options.thinPerBox;
    fit.train.seed = seed;
    if (options.describeBoxes && options.log)
        fit.boxLog = [log = options.log, label] (const std::string& line) { log (label + ": " + line); };
    return fit;
}

template <typename Net>
void fillNet (Net& net, const RegionModel& region)
{
    net.lowerBound = region.lowerBound;
    net.upperBound = region.upperBound;
    net.inputMin = region.inputMin;
    net.inputMax = region.inputMax;
    net.outputMin = region.outputMin;
    net.outputMax = region.outputMax;
    for (size_t w = 0; w < region.network.weights.size(); ++w)
        net.weights[w] = static_cast<float> (region.network.weights[w]);
}

PCAPositionRecord pcaPosition (const BlockLayout& layout, const RegionFitResult& fit, std::vector<double> rateTable,
                               uint32_t tag)
{
    PCAPositionRecord position;
    position.positionTag = tag;
    const auto nIn = static_cast<uint32_t> (layout.networkInputs), ni = static_cast<uint32_t> (layout.ni);
    position.inputMask.assign (static_cast<size_t> (layout.nv), 0u);
    for (uint32_t q = 0; q < nIn; ++q)
        position.inputMask[q] = 1u;
    position.outputMask.assign (ni, 1u);
    position.projectionRows = nIn;
    position.netInputCount = nIn;
    position.netOutputCount = ni;
    position.outputProjectionCount = 0;
    position.projection.assign (static_cast<size_t> (nIn) * nIn, 0.0);
    for (uint32_t q = 0; q < nIn; ++q)
        position.projection[q * nIn + q] = 1.0;
    position.tableLength = static_cast<uint32_t> (rateTable.size());
    position.rateTable = std::move (rateTable);
    for (const auto& region : fit.regions)
    {
        auto net = PCANetRecord::sized (nIn, {static_cast<uint32_t> (region.network.hidden)}, ni);
        fillNet (net, region);
        std::fill (net.hiddenNeuronSteepness.begin(), net.hiddenNeuronSteepness.end(), 1.0f);
        std::fill (net.outputNeuronSteepness.begin(), net.outputNeuronSteepness.end(), 1.0f);
        position.nets.push_back (std::move (net));
    }
    return position;
}

PositionRecord standardPosition (const BlockLayout& layout, const RegionFitResult& fit, std::vector<double> rateTable,
                                 uint32_t tag)
{
    PositionRecord position;
    position.positionTag = tag;
    position.inputCount = static_cast<uint32_t> (layout.nv);
    position.outputCount = static_cast<uint32_t> (layout.ni);
    position.tableLength = static_cast<uint32_t> (rateTable.size());
    position.rateTable = std::move (rateTable);
    for (const auto& region : fit.regions)
    {
        auto net = NetRecord::sized (position.inputCount, {static_cast<uint32_t> (region.network.hidden)},
                                     position.outputCount);
        fillNet (net, region);
        net.hiddenSteepness = 1.0f;
        net.outputSteepness = 1.0f;
        position.nets.push_back (std::move (net));
    }
    return position;
}

std::vector<uint8_t> pcaFileBytes (std::vector<PCAPositionRecord> positions)
{
    PCAModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.tableLength = positions.empty() ? 0 : positions[0].tableLength;
    model.positions = std::move (positions);
    return file.writeToMemory();
}

std::vector<uint8_t> standardFileBytes (const BlockLayout& layout, std::vector<PositionRecord> positions)
{
    ModelFileF file;
    file.printProgress = false;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.inputCount = static_cast<uint32_t> (layout.nv);
    model.outputCount = static_cast<uint32_t> (layout.ni);
    model.tableLength = positions.empty() ? 0 : positions[0].tableLength;
    model.positions = std::move (positions);
    return file.writeToMemory();
}

void appendRateRecord (std::vector<double>& table, int rate, const BlockOperatingPoint& rest)
{
    if (table.empty())
        table.push_back (0.0);
    table[0] += 1.0;
    table.push_back (static_cast<double> (rate));
    table.insert (table.end(), rest.p.begin(), rest.p.end());
    table.insert (table.end(), rest.i.begin(), rest.i.end());
    table.insert (table.end(), rest.x.begin(), rest.x.end());
}

size_t nearestIndex (const std::vector<int>& list, int value)
{
    size_t best = 0;
    for (size_t k = 1; k < list.size(); ++k)
        if (std::abs (list[k] - value) < std::abs (list[best] - value))
            best = k;
    return best;
}

void report (const BuildOptions& options, const std::string& line)
{
    if (options.log)
        options.log (line);
}

// The stages of a valve set's build, in the order they run (plannedStages lists them).
enum BuildStageIndex : size_t
{
    trajectoryStage,
    restStage,
    blockOneStage,
    blockTwoStage,
    middleRateTrajectoryStage,
    middleRateBlockOneStage,
    middleRateBlockTwoStage,
    highRateTrajectoryStage,
    highRateBlockOneStage,
    highRateBlockTwoStage,
    blockThreeStage,
    blockFourStage,
    blockFourTableStage,
    stageCount
};

// A band of processing rates (above `above`, up to `upTo`) whose blocks 1 and 2 get their own
// networks, fitted at `trainingRate`, and the build stages that show it.
struct FrontRateBand
{
    int trainingRate = 0;
    int above = 0;
    int upTo = 0;
    BuildStageIndex trajectoryStage;
    BuildStageIndex blockStages[2];
    std::vector<int> rates; // the processing rates of the build in the band
};

// The rate of a valve set from a list of one rate for every set or one per set ("eh", "rsd").
int rateForValve (const std::vector<int>& rates, const ValveSet& valve)
{
    if (rates.empty())
        return 0;
    const size_t index = rates.size() > 1 && valve.name == "rsd" ? 1 : 0;
    return std::max (0, rates[index]);
}

std::vector<FrontRateBand> frontRateBands (const ValveSet& valve, const BuildOptions& options)
{
    const int base = options.trainingRates.front();
    std::vector<FrontRateBand> bands;
    // Above 1.5 times the base rate, up to twice it (88.2 and 96 kHz from a 48 kHz base).
    if (const int middle = rateForValve (options.middleRateTraining, valve); middle > 0)
        bands.push_back ({middle,
                          base + base / 2,
                          2 * base,
                          middleRateTrajectoryStage,
                          {middleRateBlockOneStage, middleRateBlockTwoStage},
                          {}});
    if (const int high = rateForValve (options.highRateTraining, valve); high > 0)
        bands.push_back ({high,
                          2 * base,
                          std::numeric_limits<int>::max(),
                          highRateTrajectoryStage,
                          {highRateBlockOneStage, highRateBlockTwoStage},
                          {}});
    // A band none of the build's rates falls in is not trained.
    for (auto& band : bands)
        for (int rate : processingRates (options))
            if (rate > band.above && rate <= band.upTo)
                band.rates.push_back (rate);
    bands.erase (
        std::remove_if (bands.begin(), bands.end(), [] (const FrontRateBand& b) { return b.rates.empty(); }),
        bands.end());
    return bands;
}

// Counts the finished items of one stage for the progress callback; items finish on any thread.
class StageProgress
{
public:
    StageProgress (const BuildOptions& o, size_t s) : options (o), stage (s)
    {
        if (options.progress)
            options.progress (stage, 0);
    }
    void itemDone()
    {
        const int done = ++finished;
        if (options.progress)
            options.progress (stage, done);
    }

private:
    const BuildOptions& options;
    size_t stage;
    std::atomic<int> finished{0};
};

std::vector<int> gainPositionsOf (const BuildOptions& options)
{
    std::vector<int> gains = options.gainPositions;
    if (gains.empty())
        for (int g = 0; g < gainPositionCount; ++g)
            gains.push_back (g);
    return gains;
}

std::vector<int> tonePositionsOf (const BuildOptions& options)
{
    std::vector<int> tones = options.tonePositions;
    if (tones.empty())
        for (int t = 0; t < tonePositionCount; ++t)
            tones.push_back (t);
    return tones;
}

// Block 4's networks depend on the tone position only through F(0,0), the resistance the
// cathode sees: positions whose F(0,0) agree within the share tolerance form one group, which
// shares one trained network set.
std::vector<std::vector<int>> toneGroups (const BuildOptions& options, int triodeParameterSet)
{
    ExactCircuit probe (options.trainingRates.front(), triodeParameterSet);
    std::vector<std::pair<double, int>> byResistance;
    for (int t : tonePositionsOf (options))
    {
        probe.block (3).setControlPosition (static_cast<uint32_t> (t));
        byResistance.push_back ({probe.block (3).F (0, 0), t});
    }
    std::sort (byResistance.begin(), byResistance.end());
    std::vector<std::vector<int>> groups;
    double groupStart = 0.0;
    for (const auto& [resistance, t] : byResistance)
    {
        if (groups.empty() || resistance > groupStart * (1.0 + 2.0 * options.toneShareTolerance))
        {
            groups.emplace_back();
            groupStart = resistance;
        }
        groups.back().push_back (t);
    }
    return groups;
}

BlockBuildReport summarise (int block, const std::vector<RegionFitResult>& fits, int positions, double elapsed)
{
    BlockBuildReport r;
    r.block = block;
    r.positions = positions;
    r.trainedSets = static_cast<int> (fits.size());
    for (const auto& f : fits)
    {
        r.regions += static_cast<int> (f.regions.size());
        r.maxRegionsPerPosition = std::max (r.maxRegionsPerPosition, static_cast<int> (f.regions.size()));
        r.worst.rms = std::max (r.worst.rms, f.worst.rms);
        r.worst.max = std::max (r.worst.max, f.worst.max);
    }
    r.seconds = elapsed;
    return r;
}
} // namespace

BlockLayout blockLayout (int blockIndex)
{
    switch (blockIndex)
    {
        case 0:
            return {0, true, 4, 4, 5, 3};
        case 1:
            return {1, true, 4, 4, 5, 3};
        case 2:
            return {2, true, 4, 4, 2, 2};
        default:
            return {3, false, 2, 2, 3, 2};
    }
}

std::vector<ValveSet> valveSetsByName (const std::string& which)
{
    std::vector<ValveSet> sets;
    if (which == "eh" || which == "both")
        sets.push_back ({"eh", 0});
    if (which == "rsd" || which == "both")
        sets.push_back ({"rsd", 2});
    return sets;
}

void applyFastPreset (BuildOptions& options)
{
    options.signalSeconds = 0.15;
    options.maxRegions = 8;
    options.frontRegions = 16;
    options.frontRestarts = 4;
    options.hiddenNeurons = 8;
    options.iterations = 40;
    options.maxTrainingSamples = 500;
    options.tolerance = 0.05;
}

size_t guitarSignalCount (const BuildOptions& options)
{
    return standardSignalSet (1000, options.signalSeconds).size();
}

std::vector<TrainingSignal> trainingSignals (const BuildOptions& options)
{
    std::vector<TrainingSignal> signals;
    for (const auto& shape : standardSignalSet (1000, options.signalSeconds))
        signals.push_back ([shape] (double rate, double seconds)
                           {
                               auto sized = shape;
                               sized.seconds = seconds;
                               return makeGuitarSignal (rate, sized);
                           });
    if (options.fullBandSignals)
        for (const auto& shape : fullBandTrainingSet (2000, options.signalSeconds))
            signals.push_back ([shape] (double rate, double seconds)
                               {
                                   auto sized = shape;
                                   sized.seconds = seconds;
                                   return makeTrainingSignal (rate, sized);
                               });
    return signals;
}

std::vector<int> processingRates (const BuildOptions& options)
{
    // Host rate times factor, each rate once (88200 is both 44100 x2 and 88200 x1), in the order
    // first met: a rate met twice was trained twice and its file written twice.
    std::vector<int> rates;
    for (int host : options.hostRates)
        for (int factor : options.factors)
            if (std::find (rates.begin(), rates.end(), host * factor) == rates.end())
                rates.push_back (host * factor);
    return rates;
}

std::string modelFileName (const ValveSet& valve, int blockIndex, int processingRate)
{
    return modelFileName (valve.name, blockIndex, static_cast<int32_t> (processingRate));
}

std::vector<BuildStage> plannedStages (const ValveSet& valve, const BuildOptions& options)
{
    const int gains = static_cast<int> (gainPositionsOf (options).size());
    const int rates = static_cast<int> (processingRates (options).size());
    const int trainingRates = static_cast<int> (options.trainingRates.size());
    const int groups = static_cast<int> (toneGroups (options, valve.triodeParameterSet).size());
    // Costs relative to one gain position's trajectories at one training rate, from the
    // per-stage times of builds with the default and fast presets.
    const double front = 2.0 * (options.frontRestarts > 0 ? options.frontRestarts : options.restarts);
    std::vector<BuildStage> stages (stageCount);
    stages[trajectoryStage] = {"trajectories of blocks 1-3", gains, 1.0 * trainingRates};
    stages[restStage] = {"rest states", rates, 0.05};
    stages[blockOneStage] = {"block 1 networks", gains, front};
    stages[blockTwoStage] = {"block 2 networks", gains, front};
    stages[middleRateTrajectoryStage] = {"trajectories of blocks 1-2 at the middle rate", 0, 0.0};
    stages[middleRateBlockOneStage] = {"block 1 networks for middle rates", 0, front};
    stages[middleRateBlockTwoStage] = {"block 2 networks for middle rates", 0, front};
    stages[highRateTrajectoryStage] = {"trajectories of blocks 1-2 at the high rate", 0, 0.0};
    stages[highRateBlockOneStage] = {"block 1 networks for high rates", 0, front};
    stages[highRateBlockTwoStage] = {"block 2 networks for high rates", 0, front};
    for (const FrontRateBand& band : frontRateBands (valve, options))
    {
        // Trajectories cost in proportion to the samples they run.
        stages[band.trajectoryStage].items = gains;
        stages[band.trajectoryStage].costPerItem =
            double (band.trainingRate) / std::max (1, options.trainingRates.front());
        stages[band.blockStages[0]].items = gains;
        stages[band.blockStages[1]].items = gains;
    }
    stages[blockThreeStage] = {"block 3 networks", rates, 2.0 * options.restarts};
    stages[blockFourStage] = {"block 4 networks", groups, 0.5 * options.restarts};
    stages[blockFourTableStage] = {"block 4 rate tables", rates, 0.2};
    return stages;
}

namespace
{
// What every stage of one valve set's build reads.
struct ValveSetPlan
{
    ValveSetPlan (const ValveSet& v, const BuildOptions& o)
        : valve (v), options (o), rates (processingRates (o)), gains (gainPositionsOf (o)),
          tones (tonePositionsOf (o)), signals (trainingSignals (o)), backSignalCount (guitarSignalCount (o)),
          triodeSet (v.triodeParameterSet)
    {
    }

    const ValveSet& valve;
    const BuildOptions& options;
    std::vector<int> rates, gains, tones;
    std::vector<TrainingSignal> signals;
    // The full-band signals come after the guitar notes and train blocks 1 and 2 only. Blocks 3
    // and 4 learn from the notes: trained on the full-band signals too, block 3's networks (one
    // position for every gain, with twice the boxes) missed the notes' map by ESR 0.016 alone
    // instead of 5e-6, while blocks 1 and 2 without them missed the loud attacks by ESR up to 0.6
    // and left a loud input outside every box.
    size_t backSignalCount;
    int triodeSet;

    uint32_t gain (int item) const { return static_cast<uint32_t> (gains[static_cast<size_t> (item)]); }
    int highestGain() const { return *std::max_element (gains.begin(), gains.end()); }
};

// Trajectories of blocks 1 to 3 at the training rates, per gain position; block 3's output is
// kept (per gain and signal) to drive block 4.
struct GainRun
{
    SampleSet b1{4, 4}, b2{4, 4};
    // Per training rate: block 3's file is per rate, and its F (hence its map) changes with the
    // rate, so one rate's trajectories must not train another rate's networks.
    std::vector<SampleSet> b3;
    std::vector<std::vector<double>> y3; // per training rate and signal
};

// Rest states in chain order at one processing rate, per gain position (blocks 1 to 3).
struct RestRow
{
    std::vector<BlockOperatingPoint> b1, b2; // per gain
    BlockOperatingPoint b3;
    double y3 = 0.0;
};
using RestStates = std::map<int, RestRow>;

void setGain (ExactCircuit& circuit, uint32_t gain)
{
    circuit.block (0).setControlPosition (gain);
    circuit.block (1).setControlPosition (gain);
}

std::vector<GainRun> runTrainingTrajectories (const ValveSetPlan& plan)
{
    const auto& options = plan.options;
    const auto started = std::chrono::steady_clock::now();
    std::vector<GainRun> runs (plan.gains.size());
    StageProgress progress (options, trajectoryStage);
    parallelFor (static_cast<int> (plan.gains.size()), options.jobs,
                 [&] (int item)
                 {
                     auto& run = runs[static_cast<size_t> (item)];
                     std::mt19937 random (static_cast<uint32_t> (1 + item));
                     for (int rate : options.trainingRates)
                     {
                         run.b3.emplace_back (4, 4);
                         ExactCircuit circuit (rate, plan.triodeSet);
                         setGain (circuit, plan.gain (item));
                         ExactBlockRunner r1 (circuit.block (0), circuit.solver (0), 0.0);
                         ExactBlockRunner r2 (circuit.block (1), circuit.solver (1), r1.rest().y);
                         ExactBlockRunner r3 (circuit.block (2), circuit.solver (2), r2.rest().y);
                         for (size_t s = 0; s < plan.signals.size(); ++s)
                         {
                             const auto input = plan.signals[s](rate, options.signalSeconds);
                             const auto y1 = r1.run (input, options.trajectory, &run.b1, random);
                             const auto y2 = r2.run (y1, options.trajectory, &run.b2, random);
                             if (s < plan.backSignalCount)
                                 run.y3.push_back (r3.run (y2, options.trajectory, &run.b3.back(), random));
                         }
                     }
                     progress.itemDone();
                 });
    report (options,
            plan.valve.name + ": trajectories of blocks 1-3 in " + std::to_string (seconds (started)) + " s");
    return runs;
}

RestStates solveRestStates (const ValveSetPlan& plan)
{
    RestStates restByRate;
    StageProgress progress (plan.options, restStage);
    for (int rate : plan.rates)
    {
        ExactCircuit circuit (rate, plan.triodeSet);
        RestRow row;
        for (int g = 0; g < gainPositionCount; ++g)
        {
            setGain (circuit, static_cast<uint32_t> (g));
            ExactBlockRunner r1 (circuit.block (0), circuit.solver (0), 0.0);
            ExactBlockRunner r2 (circuit.block (1), circuit.solver (1), r1.rest().y);
            row.b1.push_back (r1.rest());
            row.b2.push_back (r2.rest());
            if (g == 0)
            {
                ExactBlockRunner r3 (circuit.block (2), circuit.solver (2), r2.rest().y);
                row.b3 = r3.rest();
                row.y3 = r3.rest().y;
            }
        }
        restByRate[rate] = std::move (row);
        progress.itemDone();
    }
    return restByRate;
}

// Blocks 1 and 2: one network set per gain position, fitted to the given trajectories of the
// block at a training rate.
std::vector<RegionFitResult> fitFrontBlock (const ValveSetPlan& plan, int k, int trainingRate,
                                            const std::vector<GainRun>& from, size_t stage)
{
    const auto& options = plan.options;
    const auto layout = blockLayout (k);
    std::vector<RegionFitResult> fits (plan.gains.size());
    StageProgress progress (options, stage);
    parallelFor (
        static_cast<int> (plan.gains.size()), options.jobs,
        [&] (int item)
        {
            ExactCircuit circuit (trainingRate, plan.triodeSet);
            const auto gain = plan.gain (item);
            setGain (circuit, gain);
            const auto& run = from[static_cast<size_t> (item)];
            const auto& full = k == 0 ? run.b1 : run.b2;
            const std::string label =
                plan.valve.name + " block " + std::to_string (k + 1) + " gain " + std::to_string (gain);
            auto fit = fitOptions (options, layout, circuit.block (k), static_cast<uint32_t> (100 * k + item),
                                   label);
            if (options.frontRegions > 0)
                fit.maxRegions = options.frontRegions;
            if (options.frontRestarts > 0)
                fit.train.restarts = options.frontRestarts;
            if (options.outputWeighting)
            {
                ExactBlockRunner r1 (circuit.block (0), circuit.solver (0), 0.0);
                const auto rest =
                    k == 0 ? r1.rest()
                           : ExactBlockRunner (circuit.block (1), circuit.solver (1), r1.rest().y).rest();
                fit.outputWeights =
                    outputWeights (circuit.block (k), rest, trainingRate / 10, options.outputWeightFloor);
                for (auto& w : fit.outputWeights)
                    w *= options.outputWeightScale;
            }
            if (options.describeBoxes && options.log)
            {
                std::string line = label + ": weights";
                for (double w : fit.outputWeights)
                    line += " " + std::to_string (w);
                options.log (line);
            }
            fits[static_cast<size_t> (item)] = fitRegions (leadingInputs (full, layout.networkInputs), fit);
            progress.itemDone();
        });
    return fits;
}

// The file of block 1 or 2 with every processing rate's table. Every position up to the highest
// one trained is written; a position that was not trained (only when the positions were
// restricted) uses the networks of the nearest trained one, so its index still means its own
// control setting.
std::vector<uint8_t> frontBlockFile (const ValveSetPlan& plan, int k,
                                     const std::vector<RegionFitResult>& fits, const RestStates& restByRate)
{
    const auto layout = blockLayout (k);
    std::vector<PCAPositionRecord> positions;
    for (int g = 0; g <= plan.highestGain(); ++g)
    {
        std::vector<double> table;
        for (int rate : plan.rates)
        {
            const auto& row = restByRate.at (rate);
            appendRateRecord (table, rate, (k == 0 ? row.b1 : row.b2)[static_cast<size_t> (g)]);
        }
        positions.push_back (pcaPosition (layout, fits[nearestIndex (plan.gains, g)], std::move (table),
                                          static_cast<uint32_t> (g)));
    }
    return pcaFileBytes (std::move (positions));
}

// Blocks 1 and 2 fitted at the first training rate, in the files every processing rate shares.
void buildFrontBlocks (const ValveSetPlan& plan, const std::vector<GainRun>& runs,
                       const RestStates& restByRate, ValveSetBuild& build)
{
    for (int k = 0; k < 2; ++k)
    {
        const auto started = std::chrono::steady_clock::now();
        const auto fits = fitFrontBlock (plan, k, plan.options.trainingRates.front(), runs,
                                         k == 0 ? blockOneStage : blockTwoStage);
        build.files.push_back (
            {modelFileName (plan.valve, k, 0), frontBlockFile (plan, k, fits, restByRate)});
        build.reports.push_back (summarise (k, fits, plan.highestGain() + 1, seconds (started)));
        report (plan.options, plan.valve.name + ": block " + std::to_string (k + 1) + " in " +
                                  std::to_string (build.reports.back().seconds) + " s");
    }
}

std::vector<GainRun> runBandTrajectories (const ValveSetPlan& plan, const FrontRateBand& band)
{
    const auto& options = plan.options;
    std::vector<GainRun> runs (plan.gains.size());
    StageProgress progress (options, band.trajectoryStage);
    parallelFor (static_cast<int> (plan.gains.size()), options.jobs,
                 [&] (int item)
                 {
                     auto& run = runs[static_cast<size_t> (item)];
                     std::mt19937 random (static_cast<uint32_t> (1 + item));
                     ExactCircuit circuit (band.trainingRate, plan.triodeSet);
                     setGain (circuit, plan.gain (item));
                     ExactBlockRunner r1 (circuit.block (0), circuit.solver (0), 0.0);
                     ExactBlockRunner r2 (circuit.block (1), circuit.solver (1), r1.rest().y);
                     for (const auto& signal : plan.signals)
                     {
                         const auto input = signal (band.trainingRate, options.signalSeconds);
                         const auto y1 = r1.run (input, options.trajectory, &run.b1, random);
                         r2.run (y1, options.trajectory, &run.b2, random);
                     }
                     progress.itemDone();
                 });
    return runs;
}

// Away from the training rate the history terms of blocks 1 and 2 differ enough that the
// networks fitted there miss the grid currents of a loud input: each band of processing rates
// gets its own set, fitted at the band's training rate, in a file per processing rate
// ("<name>.<rate>"), which the loader prefers to the file every rate shares.
void buildFrontRateBand (const ValveSetPlan& plan, const FrontRateBand& band, const RestStates& restByRate,
                         ValveSetBuild& build)
{
    const auto started = std::chrono::steady_clock::now();
    const auto runs = runBandTrajectories (plan, band);
    for (int k = 0; k < 2; ++k)
    {
        const auto fits = fitFrontBlock (plan, k, band.trainingRate, runs, band.blockStages[k]);
        const auto bytes = frontBlockFile (plan, k, fits, restByRate);
        for (int rate : band.rates)
            build.files.push_back ({rateOwnModelFileName (plan.valve.name, k, rate), bytes});
    }
    const std::string upTo =
        band.upTo == std::numeric_limits<int>::max() ? std::string() : " up to " + std::to_string (band.upTo);
    report (plan.options, plan.valve.name + ": blocks 1 and 2 for rates above " +
                              std::to_string (band.above) + upTo + ", trained at " +
                              std::to_string (band.trainingRate) + " in " +
                              std::to_string (seconds (started)) + " s");
}

// Block 3's samples at one processing rate: the kept trajectories where it is a training rate,
// otherwise solved at that rate over a spread of gain positions (its input level depends on the
// gain).
SampleSet blockThreeSamples (const ValveSetPlan& plan, const std::vector<GainRun>& runs, int rate, int item)
{
    const auto& options = plan.options;
    const auto& trainingRates = options.trainingRates;
    SampleSet samples (4, 4);
    const auto trainedAt = std::find (trainingRates.begin(), trainingRates.end(), rate);
    if (trainedAt != trainingRates.end())
    {
        const auto rateIndex = static_cast<size_t> (trainedAt - trainingRates.begin());
        for (size_t g = 0; g < plan.gains.size(); ++g)
            samples.append (runs[g].b3[rateIndex]);
        return samples;
    }
    std::mt19937 random (static_cast<uint32_t> (500 + item));
    ExactCircuit circuit (rate, plan.triodeSet);
    auto trajectory = options.trajectory;
    // Above the base rate only the start of each signal (its attack and the valves' largest
    // swings) is solved, at the cost of one base-rate run per gain, and above twice the base rate
    // at three gains: solving every signal whole at up to 64 times the base rate would cost more
    // than all the rest of the build.
    // At least the first 20 ms, which hold every signal's attack: at x16 of a 176.4 or 192 kHz host
    // the start alone was 2.3 ms, mostly silence before the attack, and the one box it gave missed
    // everything the block met in playing (ESR 0.99).
    const double signalLength =
        std::max (std::min (options.signalSeconds, 0.02),
                  options.signalSeconds * std::min (1.0, double (trainingRates.front()) / rate));
    const bool high = rate > 2 * trainingRates.front();
    // As many kept samples per signal as at the base rate: the shortened signals at a high rate
    // need every kept sample they give (a stride scaled with the rate left too few, and x8 and x16
    // files whose networks missed by ESR 0.5 to 1.3).
    trajectory.stride =
        std::max (1, static_cast<int> (std::lround (options.trajectory.stride * rate * signalLength /
                                                    (trainingRates.front() * options.signalSeconds))));
    const std::vector<int> blockThreeGains =
        high ? std::vector<int>{0, 8, 16} : std::vector<int>{0, 4, 8, 12, 16};
    for (int g : blockThreeGains)
    {
        setGain (circuit, static_cast<uint32_t> (g));
        ExactBlockRunner r1 (circuit.block (0), circuit.solver (0), 0.0);
        ExactBlockRunner r2 (circuit.block (1), circuit.solver (1), r1.rest().y);
        ExactBlockRunner r3 (circuit.block (2), circuit.solver (2), r2.rest().y);
        for (size_t s = 0; s < plan.backSignalCount; ++s)
        {
            const auto input = plan.signals[s](rate, signalLength);
            const auto y1 = r1.run (input, trajectory, nullptr, random);
            const auto y2 = r2.run (y1, trajectory, nullptr, random);
            r3.run (y2, trajectory, &samples, random);
        }
    }
    return samples;
}

// Block 3: one file per processing rate, each trained on that rate's own trajectories.
void buildBlockThree (const ValveSetPlan& plan, const std::vector<GainRun>& runs,
                      const RestStates& restByRate, ValveSetBuild& build)
{
    const auto& options = plan.options;
    const auto started = std::chrono::steady_clock::now();
    const auto layout = blockLayout (2);
    std::vector<RegionFitResult> fits (plan.rates.size());
    StageProgress progress (options, blockThreeStage);
    parallelFor (static_cast<int> (plan.rates.size()), options.jobs,
                 [&] (int item)
                 {
                     const int rate = plan.rates[static_cast<size_t> (item)];
                     const SampleSet samples = blockThreeSamples (plan, runs, rate, item);
                     ExactCircuit circuit (rate, plan.triodeSet);
                     auto fit =
                         fitOptions (options, layout, circuit.block (2), static_cast<uint32_t> (300 + item),
                                     plan.valve.name + " block 3 rate " + std::to_string (rate));
                     // Block 3 sees every gain's block 2 output in its one position: twice the usual boxes.
                     fit.maxRegions =
                         options.blockThreeRegions > 0 ? options.blockThreeRegions : 2 * options.maxRegions;
                     fits[static_cast<size_t> (item)] =
                         fitRegions (leadingInputs (samples, layout.networkInputs), fit);
                     progress.itemDone();
                 });
    for (size_t r = 0; r < plan.rates.size(); ++r)
    {
        std::vector<double> table;
        appendRateRecord (table, plan.rates[r], restByRate.at (plan.rates[r]).b3);
        std::vector<PCAPositionRecord> positions;
        positions.push_back (pcaPosition (layout, fits[r], std::move (table), 0));
        build.files.push_back (
            {modelFileName (plan.valve, 2, plan.rates[r]), pcaFileBytes (std::move (positions))});
    }
    build.reports.push_back (summarise (2, fits, 1, seconds (started)));
    report (options,
            plan.valve.name + ": block 3 in " + std::to_string (build.reports.back().seconds) + " s");
}

// Block 4's networks depend on the tone position only through F(0,0), the resistance the
// cathode sees; positions whose F(0,0) agree within the share tolerance use one trained set
// (trained on the trajectories of the group's smallest, middle and largest member).
std::vector<RegionFitResult> fitBlockFourGroups (const ValveSetPlan& plan, const std::vector<GainRun>& runs,
                                                 const RestStates& restByRate,
                                                 const std::vector<std::vector<int>>& groups)
{
    const auto& options = plan.options;
    const auto& trainingRates = options.trainingRates;
    // Block 3's output hardly changes its range from one gain position to the next, so five of
    // them (the extremes and three between) drive block 4: the grid thinning would drop most of
    // the other positions' samples anyway.
    std::vector<size_t> driverGains;
    for (size_t step = 0; step < 5; ++step)
        driverGains.push_back ((plan.gains.size() - 1) * step / 4);
    driverGains.erase (std::unique (driverGains.begin(), driverGains.end()), driverGains.end());

    const auto layout = blockLayout (3);
    std::vector<RegionFitResult> fits (groups.size());
    StageProgress progress (options, blockFourStage);
    parallelFor (
        static_cast<int> (groups.size()), options.jobs,
        [&] (int item)
        {
            const auto& members = groups[static_cast<size_t> (item)];
            std::vector<int> drivers = {members.front(), members[members.size() / 2], members.back()};
            drivers.erase (std::unique (drivers.begin(), drivers.end()), drivers.end());
            SampleSet samples (2, 2);
            std::mt19937 random (static_cast<uint32_t> (700 + item));
            for (size_t rIndex = 0; rIndex < trainingRates.size(); ++rIndex)
            {
                ExactCircuit circuit (trainingRates[rIndex], plan.triodeSet);
                const double restInput = restByRate.at (trainingRates[rIndex]).y3;
                for (int t : drivers)
                {
                    circuit.block (3).setControlPosition (static_cast<uint32_t> (t));
                    ExactBlockRunner r4 (circuit.block (3), circuit.solver (3), restInput);
                    for (size_t g : driverGains)
                        for (size_t s = 0; s < plan.backSignalCount; ++s)
                            r4.run (runs[g].y3[rIndex * plan.backSignalCount + s], options.trajectory,
                                    &samples, random);
                }
            }
            ExactCircuit circuit (trainingRates.front(), plan.triodeSet);
            circuit.block (3).setControlPosition (static_cast<uint32_t> (members[members.size() / 2]));
            fits[static_cast<size_t> (item)] = fitRegions (
                samples, fitOptions (options, layout, circuit.block (3), static_cast<uint32_t> (900 + item),
                                     plan.valve.name + " block 4 group " + std::to_string (item)));
            progress.itemDone();
        });
    return fits;
}

// Block 4's rate table per written position: its rest with block 3's rest output as its input.
std::vector<std::vector<double>> blockFourRateTables (const ValveSetPlan& plan, const RestStates& restByRate,
                                                      const std::vector<int>& written)
{
    std::vector<std::vector<double>> tables (written.size());
    StageProgress progress (plan.options, blockFourTableStage);
    parallelFor (static_cast<int> (plan.rates.size()), 1,
                 [&] (int r)
                 {
                     const int rate = plan.rates[static_cast<size_t> (r)];
                     ExactCircuit circuit (rate, plan.triodeSet);
                     const double restInput = restByRate.at (rate).y3;
                     for (size_t t = 0; t < written.size(); ++t)
                     {
                         circuit.block (3).setControlPosition (static_cast<uint32_t> (written[t]));
                         ExactBlockRunner r4 (circuit.block (3), circuit.solver (3), restInput);
                         appendRateRecord (tables[t], rate, r4.rest());
                     }
                     progress.itemDone();
                 });
    return tables;
}

void buildBlockFour (const ValveSetPlan& plan, const std::vector<GainRun>& runs, const RestStates& restByRate,
                     ValveSetBuild& build)
{
    const auto started = std::chrono::steady_clock::now();
    const auto groups = toneGroups (plan.options, plan.triodeSet);
    std::map<int, size_t> groupOf;
    for (size_t g = 0; g < groups.size(); ++g)
        for (int t : groups[g])
            groupOf[t] = g;
    const int highest = *std::max_element (plan.tones.begin(), plan.tones.end());
    std::vector<int> written;
    for (int t = 0; t <= highest; ++t)
        written.push_back (t);

    const auto fits = fitBlockFourGroups (plan, runs, restByRate, groups);
    report (plan.options,
            plan.valve.name + ": block 4 networks in " + std::to_string (seconds (started)) + " s");

    auto tables = blockFourRateTables (plan, restByRate, written);
    std::vector<PositionRecord> positions;
    const auto layout = blockLayout (3);
    for (size_t t = 0; t < written.size(); ++t)
    {
        const auto trained = groupOf.find (written[t]);
        const size_t group = trained != groupOf.end()
                                 ? trained->second
                                 : groupOf[plan.tones[nearestIndex (plan.tones, written[t])]];
        positions.push_back (standardPosition (layout, fits[group], std::move (tables[t]),
                                               static_cast<uint32_t> (written[t])));
    }
    build.files.push_back (
        {modelFileName (plan.valve, 3, 0), standardFileBytes (layout, std::move (positions))});
    build.reports.push_back (summarise (3, fits, static_cast<int> (written.size()), seconds (started)));
    report (plan.options, plan.valve.name + ": block 4 in " + std::to_string (build.reports.back().seconds) +
                              " s, " + std::to_string (groups.size()) + " shared network sets");
}
} // namespace

// The pipeline of one valve set: the trajectories the training rates give, the rest states of
// every processing rate, then each block's networks and files in chain order.
ValveSetBuild buildValveSet (const ValveSet& valve, const BuildOptions& options)
{
    const ValveSetPlan plan (valve, options);
    ValveSetBuild build;
    const auto runs = runTrainingTrajectories (plan);
    const auto restByRate = solveRestStates (plan);
    buildFrontBlocks (plan, runs, restByRate, build);
    for (const FrontRateBand& band : frontRateBands (valve, options))
        buildFrontRateBand (plan, band, restByRate, build);
    buildBlockThree (plan, runs, restByRate, build);
    buildBlockFour (plan, runs, restByRate, build);
    return build;
}
