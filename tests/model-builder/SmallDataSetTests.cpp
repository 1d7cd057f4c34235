#include "AccuracyHarness.h"
#include "AccuracyTable.h"
#include "NetworkBlockRunner.h"
#include "DataSetBuilder.h"
#include "ModelFileWriting.h"

#include "engine/PreampBlocks.h"
#include "models/ModelLoading.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"
#include "reference/ReferenceChain.h"
#include "reference/ReferenceTriode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace
{
BuildOptions smallBuildOptions()
{
    BuildOptions options;
    options.hostRates = {44100};
    // x2 and x4 as well: processing rates up to and above twice the training rate, for which
    // blocks 1 and 2 get networks trained at those rates in files of their own.
    options.factors = {1, 2, 4};
    options.trainingRates = {44100};
    options.middleRateTraining = {88200};
    options.highRateTraining = {176400};
    options.gainPositions = {0};
    options.tonePositions = {0};
    options.signalSeconds = 0.04;
    // Three boxes cannot hold the full-band signals' whole range; the guitar notes alone
    // keep this set's errors small enough to catch a broken path.
    options.fullBandSignals = false;
    options.maxRegions = 3;
    options.hiddenNeurons = 6;
    options.iterations = 20;
    options.tolerance = 0.05;
    options.maxTolerance = 0.5;
    return options;
}

// What the small build reported through its progress callback: (stage, items done) in order.
std::vector<std::pair<size_t, int>>& smallBuildProgress()
{
    static std::vector<std::pair<size_t, int>> events;
    return events;
}

// One gain position, one tone position, one processing rate, short signals, few small networks:
// seconds to build, and enough to check the whole path from circuit to loaded networks.
const ValveSetBuild& smallBuild()
{
    static const ValveSetBuild build = []
    {
        auto options = smallBuildOptions();
        options.progress = [] (size_t stage, int done) { smallBuildProgress().push_back ({stage, done}); };
        return buildValveSet ({"eh", 0}, options);
    }();
    return build;
}

// The small build's files on disk under the names the plug-in's loader asks for, in a folder of
// their own that goes when the test ends. error names the first file that could not be written.
struct WrittenSmallBuild
{
    explicit WrittenSmallBuild (const std::string& stem)
        : folder (std::filesystem::temp_directory_path() /
                  (stem + "-" + std::to_string (reinterpret_cast<uintptr_t> (&smallBuild()))))
    {
        std::filesystem::create_directories (folder);
        for (const auto& f : smallBuild().files)
            if (error.empty())
                error = testfiles::writeModelImage (f.bytes, (folder / f.name).string());
    }
    ~WrittenSmallBuild() { std::filesystem::remove_all (folder); }

    std::filesystem::path folder;
    std::string error;
};

const std::vector<uint8_t>& fileBytes (const std::string& name)
{
    for (const auto& f : smallBuild().files)
        if (f.name == name)
            return f.bytes;
    static const std::vector<uint8_t> none;
    return none;
}
} // namespace

TEST (SmallDataSet, WritesTheFileNamesTheLoaderAsksFor)
{
    std::vector<std::string> names;
    for (const auto& f : smallBuild().files)
        names.push_back (f.name);
    EXPECT_EQ (names,
               (std::vector<std::string>{"varkelpre_eh_b1_pca.dat", "varkelpre_eh_b2_pca.dat",
                                         "varkelpre_eh_b1_pca.dat.88200", "varkelpre_eh_b2_pca.dat.88200",
                                         "varkelpre_eh_b1_pca.dat.176400", "varkelpre_eh_b2_pca.dat.176400",
                                         "varkelpre_eh_b3_pca.dat.44100", "varkelpre_eh_b3_pca.dat.88200",
                                         "varkelpre_eh_b3_pca.dat.176400", "varkelpre_eh_b4_std.dat"}));
    // The files of the middle and the high rate hold networks of their own, not copies.
    for (const char* rate : {".88200", ".176400"})
        for (const char* block : {"varkelpre_eh_b1_pca.dat", "varkelpre_eh_b2_pca.dat"})
            EXPECT_NE (fileBytes (std::string (block) + rate), fileBytes (block)) << block << rate;
    EXPECT_NE (fileBytes ("varkelpre_eh_b1_pca.dat.88200"), fileBytes ("varkelpre_eh_b1_pca.dat.176400"));
    EXPECT_EQ (modelFileName ({"rsd", 2}, 2, 705600), "varkelpre_rsd_b3_pca.dat.705600");
}

// The progress line is only as good as the plan: every stage must report each of its planned
// items, stages in the planned order, counts never going back.
TEST (SmallDataSet, ReportsEveryPlannedItemOfEveryStageInOrder)
{
    smallBuild();
    const auto stages = plannedStages ({"eh", 0}, smallBuildOptions());
    ASSERT_FALSE (stages.empty());
    std::vector<int> reached (stages.size(), -1);
    size_t lastStage = 0;
    for (const auto& [stage, done] : smallBuildProgress())
    {
        ASSERT_LT (stage, stages.size());
        EXPECT_GE (stage, lastStage) << "stage " << stage << " reported after stage " << lastStage;
        EXPECT_GE (done, reached[stage]) << stages[stage].what;
        lastStage = stage;
        reached[stage] = done;
    }
    for (size_t k = 0; k < stages.size(); ++k)
    {
        EXPECT_GT (stages[k].items, 0) << stages[k].what;
        EXPECT_GT (stages[k].costPerItem, 0.0) << stages[k].what;
        EXPECT_EQ (reached[k], stages[k].items) << stages[k].what;
    }
}

// The six common host rates at x1 to x16 name 30 pairs but only 14 processing rates; each is
// trained and written once, in the order first met.
TEST (SmallDataSet, EveryProcessingRateOnce)
{
    BuildOptions options;
    options.hostRates = {48000, 44100, 88200, 96000, 176400, 192000};
    options.factors = {1, 2, 4, 8, 16};
    EXPECT_EQ (processingRates (options),
               (std::vector<int>{48000, 96000, 192000, 384000, 768000, 44100, 88200, 176400, 352800, 705600,
                                 1411200, 1536000, 2822400, 3072000}));
    options.hostRates = {44100};
    options.factors = {2, 1, 2};
    EXPECT_EQ (processingRates (options), (std::vector<int>{88200, 44100}));
}

TEST (SmallDataSet, EveryFileLoadsAndStartsFromTheExactRestState)
{
    const auto blocks = makePreampBlocks (44100.0);
    ReferenceTriode triode;
    const std::string names[4] = {"varkelpre_eh_b1_pca.dat", "varkelpre_eh_b2_pca.dat",
                                  "varkelpre_eh_b3_pca.dat.44100", "varkelpre_eh_b4_std.dat"};
    double restInput = 0.0;
    for (int k = 0; k < 4; ++k)
    {
        SCOPED_TRACE (names[k]);
        auto& block = *blocks[static_cast<size_t> (k)];
        const auto& bytes = fileBytes (names[k]);
        ASSERT_FALSE (bytes.empty());
        BlockModelState m;
        const auto status = loadModelImageIntoState (m, block.modelShape(), bytes.data(), bytes.size(), k != 3);
        ASSERT_TRUE (status.ok) << status.message;
        block.setControlPosition (selectPosition (m, 0));

        std::vector<double> op (block.numNonlinearInputs, -1.0), oi (block.numNonlinearOutputs, -1.0),
            ox (block.numStates, -1.0), p = op, i = oi, x = ox;
        applyRateTable (m, 0, 44100, true, {op.data(), oi.data(), ox.data(), p.data(), i.data(), x.data()});

        // The record holds the block's exact steady state in chain order.
        block.triode = &triode;
        PortSolver solver (block, triode);
        std::vector<double> u (block.numInputs, 0.0);
        u[0] = restInput;
        block.fillSupplyInputs (u.data(), u.size());
        const auto rest = solveRestState (block, solver, u);
        ASSERT_TRUE (rest.converged);
        for (size_t q = 0; q < p.size(); ++q)
            EXPECT_NEAR (p[q], rest.p[q], 1e-9 * (1.0 + std::abs (rest.p[q])));
        for (size_t q = 0; q < x.size(); ++q)
            EXPECT_NEAR (x[q], rest.x[q], 1e-12 + 1e-9 * std::abs (rest.x[q]));
        restInput = rest.y;

        // At rest the networks give the rest currents, measured in what the builder fits: the
        // volts an error makes at the block's output for blocks 1 and 2, at the ports for blocks
        // 3 and 4 (this tiny data set's worst port-voltage equivalent error is about 1.7 V, block
        // 3's cathode follower; a full build is far closer).
        std::vector<double> estimate (i.size(), 0.0);
        regionStep (m, k, rest.p.data(), estimate.data());
        const auto weights = k < 2 ? outputWeights (block, rest, 4410, BuildOptions().outputWeightFloor)
                                   : std::vector<double>();
        for (size_t o = 0; o < i.size(); ++o)
        {
            const double weight = k < 2 ? weights[o]
                                        : std::abs (block.F (static_cast<uint32_t> (o), static_cast<uint32_t> (o)));
            // Output-volt errors here are below 0.1 V; port-volt errors below 1.7 V.
            EXPECT_LT (std::abs (estimate[o] - rest.i[o]) * weight, k < 2 ? 0.5 : 2.5) << "output " << o;
        }
    }
}

TEST (SmallDataSet, NetworkChainFollowsTheReferenceOnAnUnseenSignal)
{
    std::array<const std::vector<uint8_t>*, 4> images = {
        &fileBytes ("varkelpre_eh_b1_pca.dat"), &fileBytes ("varkelpre_eh_b2_pca.dat"),
        &fileBytes ("varkelpre_eh_b3_pca.dat.44100"), &fileBytes ("varkelpre_eh_b4_std.dat")};
    const auto result = measureAccuracy (images, 0, {44100.0, 0, 0}, {{0.1, 4242, 0.03, 1}});
    ASSERT_TRUE (result.error.empty()) << result.error;
    // A regression guard for this tiny data set, not the accuracy target of a full build.
    EXPECT_LT (result.blocks[0].esr(), 1e-2);
    EXPECT_LT (result.blocks[3].esr(), 1e-2);
    EXPECT_LT (result.chain.esr(), 0.5);
    EXPECT_GT (result.chain.signal, 0.0);
}

TEST (SmallDataSet, PluginChannelChainRunsTheWrittenFilesLikeTheNetworkChain)
{
    // The files as the plug-in finds them on disk, under the names its loader asks for.
    const WrittenSmallBuild written ("varkel-small-data-set-" +
                                     std::to_string (::testing::UnitTest::GetInstance()->random_seed()));
    ASSERT_EQ (written.error, "");
    const std::filesystem::path& dir = written.folder;
    ModelFilePaths paths;
    std::array<const std::vector<uint8_t>*, 4> images{};
    for (int k = 0; k < 4; ++k)
    {
        paths[static_cast<size_t> (k)] = (dir / modelFileName ({"eh", 0}, k, 44100)).string();
        images[static_cast<size_t> (k)] = &fileBytes (modelFileName ({"eh", 0}, k, 44100));
    }
    const auto result = measureAccuracy (images, 0, {44100.0, 0, 0}, {{0.3, 4343, 0.03, 4}}, &paths);
    ASSERT_TRUE (result.error.empty()) << result.error;

    // Same networks, same order of operations: only the plug-in's float input and output differ.
    EXPECT_LT (result.pluginVsNetworkChain.esr(), 1e-8);
    EXPECT_GT (result.pluginRms, 0.1 * std::sqrt (result.plugin.signal / (0.03 * 44100.0)));
    EXPECT_LT (result.plugin.esr(), 0.5);

    // A missing file is reported, not run.
    paths[2] += ".missing";
    const auto missing = measureAccuracy (images, 0, {44100.0, 0, 0}, {{0.3, 4343, 0.01, 1}}, &paths);
    EXPECT_NE (missing.error.find ("block 3"), std::string::npos) << missing.error;
}

TEST (SmallDataSet, NetworkBlockRunnerCountsThePointsOutsideEveryBox)
{
    // Block 4 alone, from its rest: at the rest input every point lies in a box; driven far beyond
    // anything the circuit reaches, every point lies outside them all.
    const auto blocks = makePreampBlocks (44100.0);
    NetworkBlockRunner runner (*blocks[3], 3, 44100);
    ASSERT_EQ (runner.load (fileBytes ("varkelpre_eh_b4_std.dat")), "");
    runner.select (0);
    // Block 3's rest output, the input block 4 rests at.
    ReferenceChain reference (44100.0, 0, 0);
    const double restInput = reference.restState (2).y;
    long misses = 0;
    const auto atRest = runner.run (std::vector<double> (200, restInput), misses);
    EXPECT_EQ (misses, 0);
    // Volts at the tone stack output, which rests near 0 V.
    EXPECT_NEAR (atRest.back(), reference.restState (3).y, 0.05);
    runner.run (std::vector<double> (100, restInput + 5000.0), misses);
    EXPECT_GE (misses, 99);
    EXPECT_LE (misses, 100);
    EXPECT_NE (runner.load ({}), "");
}

TEST (SmallDataSet, AccuracyGridMeasuresEveryRowAndNamesAMissingFile)
{
    const WrittenSmallBuild written ("varkel-accuracy-grid");
    ASSERT_EQ (written.error, "");
    const std::filesystem::path& dir = written.folder;
    AccuracyGrid grid;
    grid.dataDir = dir;
    grid.valves = valveSetsByName ("eh");
    grid.hostRates = {44100};
    grid.factors = {1};
    grid.gains = {0};
    grid.tones = {0, toneIndex (7, 7, 7)};
    grid.classes = {findAccuracySignalClass ("pluck-soft"), findAccuracySignalClass ("clicks")};
    grid.seconds = 0.03;
    grid.pluginCheck = true;
    std::vector<AccuracyRow> rows;
    ASSERT_EQ (runAccuracyGrid (grid, [&] (const AccuracyRow& r) { rows.push_back (r); }), "");
    ASSERT_EQ (rows.size(), 4u);
    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.signalClass + " " + std::to_string (r.tone));
        EXPECT_EQ (r.samples, static_cast<long> (0.03 * 44100));
        EXPECT_TRUE (std::isfinite (r.esr) && r.esr > 0.0);
        EXPECT_TRUE (std::isfinite (r.esr50) && r.esr50 > 0.0);
        // The plug-in's chain runs the same networks in the same order: only its float input differs.
        if (r.tone == 0)
        {
            EXPECT_LT (r.pluginEsr, 1e-8);
        }
        else
        {
            EXPECT_LT (r.pluginEsr, 0.0);
        }
    }
    const auto summary = summariseRows (rows);
    EXPECT_EQ (summary.rows, 4u);
    EXPECT_LE (summary.medianEsr, summary.worstEsr);

    // A rate the set has no block 3 file for: the report names the file and measures nothing.
    grid.factors = {8};
    rows.clear();
    const auto error = runAccuracyGrid (grid, [&] (const AccuracyRow& r) { rows.push_back (r); });
    EXPECT_NE (error.find ("varkelpre_eh_b3_pca.dat.352800"), std::string::npos) << error;
    EXPECT_TRUE (rows.empty());
}
