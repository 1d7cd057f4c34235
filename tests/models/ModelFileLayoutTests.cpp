// The byte layout of both model file kinds, word by word, for the smallest tree with every field
// filled by a value of its own. Round trips cannot see a field the reader and the writer both
// put in the wrong place; this can.
#include "models/ModelFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
// The expected image, assembled in file order.
struct Layout
{
    std::vector<uint8_t> bytes;

    Layout& u32 (uint32_t v) { return raw (&v, 4); }
    Layout& f32 (float v) { return raw (&v, 4); }
    Layout& f64 (double v) { return raw (&v, 8); }
    Layout& raw (const void* p, size_t n)
    {
        const auto* b = static_cast<const uint8_t*> (p);
        bytes.insert (bytes.end(), b, b + n);
        return *this;
    }
};

// One input, one hidden neuron, one output: (1 + 1) * 1 + (1 + 1) * 1 = 4 weights.
template <typename Net>
void fillNet (Net& net)
{
    net.netTag = 0x7a6;
    net.lowerBound = {-1.5f};
    net.upperBound = {1.25f};
    net.inputMin = {-2.0f};
    net.inputMax = {2.5f};
    net.outputMin = {0.125f};
    net.outputMax = {3.0f};
    net.weights = {0.5f, -0.25f, 0.75f, -1.0f};
    net.netTrailer = {11, 12, 13, 14};
}

void expectNetTail (Layout& l)
{
    l.f32 (0.5f).f32 (-0.25f).f32 (0.75f).f32 (-1.0f); // weights
    l.u32 (11).u32 (12).u32 (13).u32 (14);             // trailer
}

void expectBoxes (Layout& l)
{
    l.f32 (-1.5f).f32 (1.25f).f32 (-2.0f).f32 (2.5f).f32 (0.125f).f32 (3.0f);
}
} // namespace

TEST (ModelFileLayout, StandardFileWordByWord)
{
    ModelFileF file;
    file.printProgress = false;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.inputCount = 1;
    model.outputCount = 1;
    model.tableLength = 1;
    model.positions.resize (1);
    auto& position = model.positions[0];
    position.positionTag = 0x515;
    position.inputCount = 1;
    position.outputCount = 1;
    position.tableLength = 1;
    position.rateTable = {0.375};
    position.nets.push_back (NetRecord::sized (1, {1}, 1));
    fillNet (position.nets[0]);
    position.nets[0].hiddenSteepness = 0.625f;
    position.nets[0].outputSteepness = 0.875f;

    // A net's chunk is its own bytes (36 + 4 x (4 nIn + 2 nOut + layers + weights) = 80); a
    // position's header is 40 whatever its rate table holds; a model's header is 20.
    Layout l;
    l.u32 (1);                                            // modelCount
    l.u32 (140).u32 (20).u32 (1).u32 (1).u32 (1).u32 (1); // chunk, header, nIn, nOut, positions, tableLength
    l.u32 (120).u32 (40).u32 (0x515).u32 (1).f64 (0.375); // chunk, header, tag, nets, rate table
    l.u32 (80).u32 (0x7a6);
    expectBoxes (l);
    l.f32 (0.625f).f32 (0.875f).u32 (1).u32 (1); // steepness, hidden layer count and size
    expectNetTail (l);

    EXPECT_EQ (file.writeToMemory(), l.bytes) << file.status().message;
}

TEST (ModelFileLayout, PcaFileWordByWord)
{
    PCAModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.tableLength = 1;
    model.positions.resize (1);
    auto& position = model.positions[0];
    position.positionTag = 0x515;
    position.projectionRows = 1;
    position.outputProjectionCount = 1;
    position.netInputCount = 1;
    position.netOutputCount = 1;
    position.tableLength = 1;
    position.inputMask = {1, 0};
    position.outputMask = {1};
    position.projection = {0.5};
    position.outputProjection = {-0.5};
    position.rateTable = {0.375};
    position.nets.push_back (PCANetRecord::sized (1, {1}, 1));
    fillNet (position.nets[0]);
    position.nets[0].hiddenNeuronSteepness = {0.625f};
    position.nets[0].outputNeuronSteepness = {0.875f};

    // The position header is its own bytes: 40 + 4 x 3 mask entries + 8 x 3 values = 76; a net's
    // chunk is 8 more than its 80 bytes; the model header is 16.
    Layout l;
    l.u32 (1);                                         // modelCount
    l.u32 (180).u32 (16).u32 (1).u32 (1);              // chunk, header, positions, tableLength
    l.u32 (164).u32 (76).u32 (0x515).u32 (1);          // chunk, header, tag, nets
    l.u32 (2).u32 (1).u32 (1).u32 (1).u32 (1).u32 (1); // mask lengths, projection shape, net counts
    l.u32 (1).u32 (0).u32 (1);                         // input mask, output mask
    l.f64 (0.5).f64 (-0.5).f64 (0.375);                // projection, output projection, rate table
    l.u32 (88).u32 (0x7a6);
    expectBoxes (l);
    l.u32 (1).u32 (1).f32 (0.625f).f32 (0.875f); // hidden layer count and size, steepness values
    expectNetTail (l);

    EXPECT_EQ (file.writeToMemory(), l.bytes) << file.status().message;
}
