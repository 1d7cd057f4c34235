#include "SampleModels.h"
#include "models/ModelLoading.h"
#include "models/PositionSelection.h"

#include <functional>
#include <gtest/gtest.h>

namespace
{
SampleShape pcaShape()
{
    return pcaSampleShape (5, 4);
}

struct Broken
{
    const char* what;
    std::function<void (ModelFileF&)> standard;
    std::function<void (PCAModelFileF&)> pca;
    const char* expected;
};
} // namespace

// Files that read cleanly but break what the engine relies on are refused with a reason, and a
// block that already has a model keeps it.
TEST (ModelValidation, FilesBreakingInvariantsAreRefused)
{
    const Broken cases[] = {
        {"no model", [] (ModelFileF& f) { f.setModelCount (0); }, nullptr, "holds no model"},
        {"no position", [] (ModelFileF& f) { f.models[0].positions.clear(); }, nullptr, "has no position"},
        {"net count 0", [] (ModelFileF& f) { f.models[0].positions[1].nets.clear(); }, nullptr,
         "position 1 has a net count of 0"},
        {"inputs differ from block",
         [] (ModelFileF& f)
         {
             auto fresh = sampleStandardFile (
                 []
                 {
                     SampleShape s;
                     s.nv = 3;
                     s.nx = 2;
                     return s;
                 }());
             f.models = std::move (fresh->models);
         },
         nullptr, "networks have 3 inputs and 2 outputs where the block has 2 nonlinear inputs"},
        {"empty hidden layer",
         [] (ModelFileF& f)
         {
             auto& net = f.models[0].positions[0].nets[1];
             net = NetRecord::sized (2, {0}, 2);
         },
         nullptr, "net 1 of position 0 has a hidden layer of 0 neurons"},
        {"network too big to build",
         [] (ModelFileF& f) { f.models[0].positions[1].nets[0] = NetRecord::sized (2, {20000}, 2); }, nullptr,
         "net 0 of position 1 has 100002 weights, more than the 65536"},
        {"rate table too short", [] (ModelFileF& f) { f.models[0].positions[0].rateTable[0] = 3.0; }, nullptr,
         "claims 3 records where its length holds 2"},
        {"rate count not whole", [] (ModelFileF& f) { f.models[0].positions[1].rateTable[0] = 0.5; }, nullptr,
         "not a whole number"},
        {"pca two hidden layers", nullptr,
         [] (PCAModelFileF& f) {
             f.models[0].positions[0].nets[0] = PCANetRecord::sized (3, {2, 2}, 4);
         },
         "pca net 0 of position 0 has 2 hidden layers"},
        {"pca outputs differ from block", nullptr,
         [] (PCAModelFileF& f)
         {
             auto& p = f.models[0].positions[1];
             p.netOutputCount = 3;
             p.outputProjection.resize (3 * p.outputProjectionCount);
             for (auto& net : p.nets)
                 net = PCANetRecord::sized (3, {4}, 3);
         },
         "position 1 has networks with 3 outputs where the block has 4"},
        {"pca more network inputs than block inputs", nullptr,
         [] (PCAModelFileF& f)
         {
             auto& p = f.models[0].positions[0];
             p.netInputCount = 5;
             p.projection.assign (size_t (p.projectionRows) * 5, 0.0);
             for (auto& net : p.nets)
                 net = PCANetRecord::sized (5, {4}, 4);
         },
         "5 inputs, more than the block's 4"},
        {"pca short input mask", nullptr,
         [] (PCAModelFileF& f) { f.models[0].positions[0].inputMask.resize (3); },
         "has masks of 3 and 4 entries"},
        {"pca mask selects other than projection rows", nullptr,
         [] (PCAModelFileF& f) { f.models[0].positions[1].inputMask[3] = 1; },
         "selects 4 inputs but its projection has 3 rows"},
    };

    for (const auto& c : cases)
    {
        std::vector<uint8_t> image;
        const bool usesPca = c.pca != nullptr;
        if (usesPca)
        {
            auto file = samplePcaFile (pcaShape(), 3);
            c.pca (*file);
            image = file->writeToMemory();
            ASSERT_TRUE (file->status().ok) << c.what << ": " << file->status().message;
        }
        else
        {
            auto file = sampleStandardFile (SampleShape{});
            c.standard (*file);
            image = file->writeToMemory();
            ASSERT_TRUE (file->status().ok) << c.what << ": " << file->status().message;
        }

        const auto shape = usesPca ? pcaShape() : SampleShape{};
        TestBlock block (shape.nv, shape.ni, shape.nx);
        BlockModelState m;
        const auto good =
            usesPca ? samplePcaFile (shape, 3)->writeToMemory() : sampleStandardFile (shape)->writeToMemory();
        ASSERT_TRUE (loadModelImageIntoState (m, block, good.data(), good.size(), usesPca).ok);
        const RegionNetwork* regionsBefore = m.regions.data();
        const BaseModelFileF* fileBefore = m.modelFile.get();

        const auto result = loadModelImageIntoState (m, block, image.data(), image.size(), usesPca);
        EXPECT_FALSE (result.ok) << c.what;
        EXPECT_NE (result.message.find (c.expected), std::string::npos) << c.what << ": " << result.message;
        EXPECT_EQ (result.message.rfind ("model image: ", 0), 0u) << result.message;
        EXPECT_TRUE (hasModel (m)) << c.what;
        EXPECT_EQ (m.regions.data(), regionsBefore) << c.what;
        EXPECT_EQ (m.modelFile.get(), fileBefore) << c.what;
    }
}

TEST (ModelValidation, FileOfTheOtherKindIsNotUsed)
{
    const auto image = sampleStandardFile (SampleShape{})->writeToMemory();
    TestBlock block (2, 2, 3);
    BlockModelState m;
    EXPECT_FALSE (loadModelImageIntoState (m, block, image.data(), image.size(), true).ok);
    EXPECT_FALSE (hasModel (m));
    EXPECT_EQ (selectPosition (m, 0), 0u);
    double i[2] = {5.0, 5.0};
    const double p[2] = {0.0, 0.0};
    regionStep (m, 0, p, i); // a block without a model touches nothing instead of reading freed data
    EXPECT_EQ (i[0], 5.0);
}
