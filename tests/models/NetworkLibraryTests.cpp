// The network library of a file: positions whose nets are the same share one table, any
// difference in what building reads gives a table of its own, every position's table evaluates
// as a table built for that position alone, and one live library serves every block of a file.
#include "FloatBits.h"
#include "NetworkFixtures.h"
#include "models/NetworkBuilding.h"
#include "models/NetworkLibrary.h"
#include "models/PositionSelection.h"

#include <floatfann.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::shared_ptr<const ModelFileF> standardFile (std::vector<std::vector<NetRecord>> positions)
{
    auto file = std::make_shared<ModelFileF>();
    file->setModelCount (1);
    auto& model = file->models[0];
    model.inputCount = 2;
    model.outputCount = 2;
    for (auto& nets : positions)
    {
        auto& position = model.positions.emplace_back();
        position.inputCount = 2;
        position.outputCount = 2;
        position.nets = std::move (nets);
    }
    return file;
}

// Three nets with weights drawn from the seed; the last net's first weight is 0.
std::vector<NetRecord> weightedNets (uint32_t seed)
{
    std::vector<NetRecord> result = nets (3);
    for (auto& net : result)
    {
        SampleValues values (seed++);
        for (auto& w : net.weights)
            w = values.next();
    }
    result[2].weights[0] = 0.0f;
    return result;
}
} // namespace

// Each case changes one thing that building reads in position 1, a copy of position 0; position
// 2 stays an exact copy of position 0 throughout.
TEST (NetworkLibrary, PositionsShareATableOnlyWhenEveryNetIsTheSame)
{
    struct Case
    {
        const char* change;
        std::function<void (std::vector<NetRecord>&)> apply;
        bool shared;
    };
    const Case cases[] = {
        {"nothing", [] (std::vector<NetRecord>&) {}, true},
        {"one weight by one bit",
         [] (std::vector<NetRecord>& n) { n[1].weights[2] = std::nextafter (n[1].weights[2], 1e9f); }, false},
        {"a weight 0 to -0", [] (std::vector<NetRecord>& n) { n[2].weights[0] = -0.0f; }, false},
        {"a lower bound", [] (std::vector<NetRecord>& n) { n[0].lowerBound[1] = -9.5f; }, false},
        {"an upper bound", [] (std::vector<NetRecord>& n) { n[2].upperBound[0] = 9.5f; }, false},
        {"an input minimum", [] (std::vector<NetRecord>& n) { n[1].inputMin[0] = -1.5f; }, false},
        {"an input maximum", [] (std::vector<NetRecord>& n) { n[1].inputMax[1] = 1.5f; }, false},
        {"an output minimum", [] (std::vector<NetRecord>& n) { n[0].outputMin[1] = 0.25f; }, false},
        {"an output maximum", [] (std::vector<NetRecord>& n) { n[0].outputMax[0] = 0.75f; }, false},
        {"the hidden steepness", [] (std::vector<NetRecord>& n) { n[2].hiddenSteepness = 0.5f; }, false},
        {"the output steepness", [] (std::vector<NetRecord>& n) { n[1].outputSteepness = 0.5f; }, false},
        {"the order of two nets", [] (std::vector<NetRecord>& n) { std::swap (n[0], n[1]); }, false},
        {"one net fewer", [] (std::vector<NetRecord>& n) { n.pop_back(); }, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE (c.change);
        const auto base = weightedNets (11);
        auto changed = base;
        c.apply (changed);
        ModelLoadResult status;
        const auto library = NetworkLibrary::build (standardFile ({base, changed, base}), 2, status);
        ASSERT_NE (library, nullptr) << status.message;
        ASSERT_EQ (library->positionCount(), 3u);
        EXPECT_EQ (library->table (0), library->table (2));
        EXPECT_EQ (library->table (0) == library->table (1), c.shared);
        EXPECT_EQ (library->tableCount(), c.shared ? 1u : 2u);
        EXPECT_EQ (library->table (3), nullptr);
    }
}

// A shared table evaluates as one built for the position alone, with FANN, for every position.
TEST (NetworkLibrary, EveryPositionsTableGivesTheFloatsOfItsOwnFannNetworks)
{
    const auto a = weightedNets (21), b = weightedNets (31);
    const auto file = standardFile ({a, b, a, b, b});
    ModelLoadResult status;
    const auto library = NetworkLibrary::build (file, 2, status);
    ASSERT_NE (library, nullptr) << status.message;
    EXPECT_EQ (library->tableCount(), 2u);
    SampleValues values (5);
    AlignedArray<float> scratch (library->scratchFloats());
    for (uint32_t p = 0; p < library->positionCount(); ++p)
    {
        const auto plain = buildPositionTable (*file, 2, p, true, status);
        ASSERT_NE (plain, nullptr) << status.message;
        const PositionTable& shared = *library->table (p);
        ASSERT_EQ (shared.regions.size(), plain->regions.size());
        for (size_t e = 0; e < plain->regions.size(); ++e)
        {
            ASSERT_NE (shared.regions[e].compiled, nullptr);
            EXPECT_EQ (shared.regions[e].network,
                       nullptr); // a shared table holds nothing that runs write into
            EXPECT_EQ (floatBits (shared.regions[e].lowerBound[0]),
                       floatBits (plain->regions[e].lowerBound[0]));
            for (int trial = 0; trial < 50; ++trial)
            {
                float input[2] = {static_cast<float> (1.3 * values.next()),
                                  static_cast<float> (1.3 * values.next())};
                const float* ours = shared.regions[e].compiled->run (input, scratch.data());
                const float* theirs = fann_run (plain->regions[e].network.get(), input);
                for (int o = 0; o < 2; ++o)
                    ASSERT_EQ (floatBits (ours[o]), floatBits (theirs[o]))
                        << "position " << p << " net " << e;
            }
        }
    }
}

TEST (NetworkLibrary, OneLiveLibraryPerFileAndANewOneAfterTheLastUserIsGone)
{
    const auto file = standardFile ({weightedNets (1), weightedNets (2)});
    ModelLoadResult status;
    auto first = NetworkLibrary::forFile (file, 2, status);
    ASSERT_NE (first, nullptr) << status.message;
    EXPECT_EQ (NetworkLibrary::forFile (file, 2, status), first);
    EXPECT_TRUE (first->isFor (*file));

    // Another file with equal contents is another file: its own library.
    const auto twin = standardFile ({weightedNets (1), weightedNets (2)});
    const auto other = NetworkLibrary::forFile (twin, 2, status);
    EXPECT_NE (other, first);
    EXPECT_TRUE (other->isFor (*twin));

    std::weak_ptr<const NetworkLibrary> gone = first;
    first.reset();
    EXPECT_TRUE (gone.expired());
    const auto again = NetworkLibrary::forFile (file, 2, status);
    ASSERT_NE (again, nullptr);
    ASSERT_NE (again->table (1), nullptr);
    EXPECT_EQ (again->table (1)->regions.size(), 3u);
}

// Blocks of one file share the tables; their scratch stays their own, and a position change
// only points the block at the position's table.
TEST (NetworkLibrary, BlocksOfOneFileShareTablesAndKeepTheirOwnScratch)
{
    const auto file = standardFile ({weightedNets (3), weightedNets (4), weightedNets (3)});
    TestBlock block (2, 2, 1);
    BlockModelState m1, m2;
    ASSERT_TRUE (loadModelFileIntoState (m1, block, file).ok);
    ASSERT_TRUE (loadModelFileIntoState (m2, block, file).ok);
    EXPECT_EQ (m1.library, m2.library);
    for (uint32_t p : {1u, 2u, 0u, 1u})
    {
        selectPosition (m1, p);
        selectPosition (m2, p);
        EXPECT_EQ (m1.regions.data(), m2.regions.data());
        EXPECT_EQ (m1.regions.data(), m1.library->table (p)->regions.data());
        EXPECT_EQ (m1.regionIndex, &m1.library->table (p)->index);
    }
    EXPECT_NE (m1.scratch.network.data(), m2.scratch.network.data());
    EXPECT_GE (m1.scratch.network.size(), m1.library->scratchFloats());

    // A plain block builds its own tables with FANN networks and searches them linearly.
    useReferenceEvaluation (m2);
    EXPECT_EQ (m2.library, nullptr);
    EXPECT_NE (m2.regions.data(), m1.regions.data());
    EXPECT_EQ (m2.regionIndex, nullptr);
    ASSERT_FALSE (m2.regions.empty());
    EXPECT_NE (m2.regions[0].network, nullptr);
    EXPECT_EQ (m2.regions[0].compiled, nullptr);
    EXPECT_EQ (m2.selectedRegions, m2.regions.data());
}
