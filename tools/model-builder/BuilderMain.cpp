// varkel_model_builder: derives a complete model data set from the circuit.
#include "CommandLine.h"
#include "DataSetBuilder.h"
#include "ProgressLine.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace
{
// Turns the builder's per-stage item counts into one progress line over the whole build: the
// share done is weighted by each stage's cost per item, so the time left follows the expensive
// stages rather than the count of items.
class BuildProgressDisplay
{
public:
    BuildProgressDisplay (const std::vector<ValveSet>& valves, const BuildOptions& options)
        : line ("varkel_model_builder")
    {
        for (const auto& valve : valves)
        {
            const auto stages = plannedStages (valve, options);
            stagesPerValveSet = stages.size();
            for (const auto& stage : stages)
            {
                planned.push_back ({valve.name + " " + stage.what, stage.items, stage.costPerItem});
                total += stage.items * stage.costPerItem;
            }
        }
    }

    void startValveSet (size_t index)
    {
        std::lock_guard<std::mutex> lock (mutex);
        firstStage = index * stagesPerValveSet;
    }

    void itemsDone (size_t stage, int done)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const size_t k = firstStage + stage;
        if (k >= planned.size())
            return;
        double finished = 0.0;
        for (size_t s = 0; s < k; ++s)
            finished += planned[s].items * planned[s].costPerItem;
        finished += done * planned[k].costPerItem;
        const auto what = planned[k].what + " " + std::to_string (done) + "/" + std::to_string (planned[k].items);
        line.update (total > 0.0 ? finished / total : 1.0, what);
    }

    void print (const std::string& text) { line.printLine (text); }
    void finish() { line.finish(); }

private:
    ProgressLine line;
    std::vector<BuildStage> planned; // every valve set's stages in build order
    size_t stagesPerValveSet = 0;
    size_t firstStage = 0;
    double total = 0.0;
    std::mutex mutex;
};

void printSummary (const std::vector<std::pair<std::string, ValveSetBuild>>& builds)
{
    std::printf ("\n%-5s %5s %9s %8s %8s %12s %13s %13s %9s\n", "set", "block", "positions", "trained", "regions",
                 "most/position", "worst rms (V)", "worst max (V)", "seconds");
    size_t files = 0, bytes = 0;
    for (const auto& [name, build] : builds)
    {
        for (const auto& r : build.reports)
            std::printf ("%-5s %5d %9d %8d %8d %12d %13.3g %13.3g %9.1f\n", name.c_str(), r.block + 1, r.positions,
                         r.trainedSets, r.regions, r.maxRegionsPerPosition, r.worst.rms, r.worst.max, r.seconds);
        for (const auto& file : build.files)
        {
            ++files;
            bytes += file.bytes.size();
        }
    }
    std::printf ("%zu files, %.1f MB\n", files, static_cast<double> (bytes) / 1e6);
}
void usage()
{
    std::puts (
        "usage: varkel_model_builder --out DIR [--valve eh|rsd|both] [--host-rates 44100,48000]\n"
        "                            [--factors 1,2,4,8,16]\n"
        "                            [--jobs N] [--gains 0,8,16] [--tones 0,1687] [--tolerance VOLTS]\n"
        "                            [--regions N] [--block3-regions N] [--hidden N] [--iterations N]\n"
        "                            [--samples N] [--cells N] [--restarts N]\n"
        "                            [--front-regions N] [--front-restarts N]\n"
        "                            [--training-rates R1,R2] [--middle-rate-training R[,R_RSD]]\n"
        "                            [--high-rate-training R[,R_RSD]]\n"
        "                            [--seconds S] [--fast] [--full-band] [--thin-per-box] [--verbose]\n"
        "Writes varkelpre_<valve>_b1_pca.dat, _b2_pca.dat, _b3_pca.dat.<rate> per processing rate\n"
        "(host rate times 1, 2, 4, 8, 16) and _b4_std.dat into DIR. --gains/--tones restrict the\n"
        "positions (every position up to the highest given is written; untrained ones use the nearest\n"
        "trained one's networks). --training-rates: the processing rates whose trajectories train\n"
        "blocks 1, 2 and 4 (default: the first two host rates). --fast: shorter signals, fewer and smaller "
        "networks, shorter\n"
        "training (explicit options override it). --front-regions/--front-restarts: box budget and\n"
        "training starts of blocks 1 and 2 (0: as --regions/--restarts). --verbose prints every\n"
        "trained box: its samples, fit error (volts), bounds and output range. --full-band adds noise\n"
        "bursts, unfiltered plucks, squares, steps and clicks, chirps, loud chords and bursts followed\n"
        "by notes to the guitar notes blocks 1 and 2 learn. --thin-per-box thins each split box's\n"
        "samples on its own grid instead of on one grid over the whole range. --high-rate-training R:\n"
        "blocks 1 and 2 also get networks fitted at processing rate R, written as <file>.<rate> for\n"
        "every processing rate above twice the first training rate (the plug-in prefers those); a\n"
        "second rate is the Aged set's. --middle-rate-training R: the same for the processing rates\n"
        "above 1.5 times the first training rate, up to twice it (88200 and 96000 from 48000).");
}
} // namespace

int main (int argc, char** argv)
{
    CommandLine args (argc, argv);
    BuildOptions options;
    if (args.has ("fast"))
        applyFastPreset (options);
    std::vector<int> jobs = {1}, regions = {options.maxRegions}, hidden = {options.hiddenNeurons},
                     iterations = {options.iterations}, blockThreeRegions = {options.blockThreeRegions},
                     samples = {static_cast<int> (options.maxTrainingSamples)},
                     cells = {options.cellsPerDimension}, restarts = {options.restarts},
                     frontRegions = {options.frontRegions}, frontRestarts = {options.frontRestarts}, highRate,
                     middleRate;
    if (args.error.empty())
    {
        args.integers ("host-rates", options.hostRates) && args.integers ("factors", options.factors) &&
            args.integers ("gains", options.gainPositions) &&
            args.integers ("tones", options.tonePositions) && args.integers ("jobs", jobs) &&
            args.integers ("regions", regions) && args.integers ("hidden", hidden) &&
            args.integers ("iterations", iterations) && args.integers ("block3-regions", blockThreeRegions) &&
            args.integers ("samples", samples) && args.integers ("cells", cells) &&
            args.integers ("restarts", restarts) && args.integers ("front-regions", frontRegions) &&
            args.integers ("front-restarts", frontRestarts) &&
            args.integers ("high-rate-training", highRate) &&
            args.integers ("middle-rate-training", middleRate) &&
            args.number ("tolerance", options.tolerance) && args.number ("seconds", options.signalSeconds);
    }
    const auto valves = valveSetsByName (args.get ("valve", "both"));
    if (!args.error.empty() || !args.has ("out") || valves.empty() || options.hostRates.empty())
    {
        if (!args.error.empty())
            std::fprintf (stderr, "varkel_model_builder: %s\n", args.error.c_str());
        usage();
        return 2;
    }
    for (int g : options.gainPositions)
        if (g > 16)
        {
            std::fprintf (stderr, "varkel_model_builder: gain positions run from 0 to 16\n");
            return 2;
        }
    for (int t : options.tonePositions)
        if (t > 3374)
        {
            std::fprintf (stderr, "varkel_model_builder: tone positions run from 0 to 3374\n");
            return 2;
        }
    options.describeBoxes = args.has ("verbose");
    options.fullBandSignals = args.has ("full-band");
    options.thinPerBox = args.has ("thin-per-box");
    options.jobs = jobs.empty() ? 1 : jobs[0];
    options.maxRegions = regions.empty() ? options.maxRegions : std::max (1, regions[0]);
    options.hiddenNeurons = hidden.empty() ? options.hiddenNeurons : std::clamp (hidden[0], 1, 64);
    options.blockThreeRegions = blockThreeRegions.empty() ? 0 : blockThreeRegions[0];
    options.iterations = iterations.empty() ? options.iterations : std::max (1, iterations[0]);
    options.maxTrainingSamples = samples.empty() ? options.maxTrainingSamples
                                                 : static_cast<size_t> (std::max (50, samples[0]));
    options.cellsPerDimension = cells.empty() ? options.cellsPerDimension : std::clamp (cells[0], 4, 1000);
    options.restarts = restarts.empty() ? options.restarts : std::clamp (restarts[0], 1, 50);
    options.frontRegions = frontRegions.empty() ? options.frontRegions : std::max (0, frontRegions[0]);
    options.frontRestarts = frontRestarts.empty() ? options.frontRestarts : std::clamp (frontRestarts[0], 0, 50);
    options.highRateTraining = highRate;
    options.middleRateTraining = middleRate;
    options.trainingRates = {options.hostRates.front()};
    if (options.hostRates.size() > 1)
        options.trainingRates.push_back (options.hostRates[1]);
    if (args.has ("training-rates") && (!args.integers ("training-rates", options.trainingRates)
                                        || options.trainingRates.empty()))
    {
        std::fprintf (stderr, "varkel_model_builder: %s\n", args.error.c_str());
        return 2;
    }
    BuildProgressDisplay progress (valves, options);
    options.log = [&progress] (const std::string& line) { progress.print (line); };
    options.progress = [&progress] (size_t stage, int done) { progress.itemsDone (stage, done); };

    const std::filesystem::path out = args.get ("out", ".");
    std::error_code ec;
    std::filesystem::create_directories (out, ec);
    if (ec)
    {
        std::fprintf (stderr, "varkel_model_builder: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::pair<std::string, ValveSetBuild>> builds;
    for (size_t v = 0; v < valves.size(); ++v)
    {
        const auto& valve = valves[v];
        progress.startValveSet (v);
        auto build = buildValveSet (valve, options);
        for (const auto& file : build.files)
        {
            if (file.bytes.empty())
            {
                progress.finish();
                std::fprintf (stderr, "varkel_model_builder: %s could not be serialised\n", file.name.c_str());
                return 1;
            }
            const auto path = out / file.name;
            std::ofstream stream (path, std::ios::binary);
            stream.write (reinterpret_cast<const char*> (file.bytes.data()), static_cast<std::streamsize> (file.bytes.size()));
            if (!stream)
            {
                progress.finish();
                std::fprintf (stderr, "varkel_model_builder: cannot write %s\n", path.c_str());
                return 1;
            }
            progress.print (path.string() + ": " + std::to_string (file.bytes.size()) + " bytes");
        }
        builds.emplace_back (valve.name, std::move (build));
    }
    progress.finish();
    printSummary (builds);
    std::printf ("total %.1f s\n",
                 std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count());
    return 0;
}
