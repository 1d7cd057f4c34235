#pragma once

#include "models/ModelFile.h"

#include <cstdint>

// The fields of every model file record, in file order: the one description of the format that
// the reader, the writer, the size-field computation and the writer's consistency check all run.
//
// A walk is handed a walker and a record (const for the jobs that only look). It calls, per field:
//   word (v, what)                  a stored 32-bit word (sizes, tags, dimensions)
//   real (v, what)                  a stored 32-bit float
//   length (n, current, what)       a stored count of what follows; `current` is the tree's own
//                                   count, which the reader replaces by the stored one in n
//   values (array, count, what)     count values of the array's type
//   inherit (field, parent, what)   a count the file stores only in the parent record
//   trailer (words)                 the four words that close a net
//   children (records, n, smallestBytes, what, walk)   n child records, each walked by `walk`
//   enter (record) / leave (record) around a position and a model
// A walker that has failed may ignore every later call; the reader's first failure sticks.

namespace modelschema
{
// The fields that open a net of either kind: its size, its tag and its box and scaling.
template <typename W, typename Net>
void walkNetHead (W& w, Net& net)
{
    w.word (net.chunkSize, "chunkSize of a net");
    w.word (net.netTag, "netTag");
    w.values (net.lowerBound, net.inputCount, "lowerBound values");
    w.values (net.upperBound, net.inputCount, "upperBound values");
    w.values (net.inputMin, net.inputCount, "inputMin values");
    w.values (net.inputMax, net.inputCount, "inputMax values");
    w.values (net.outputMin, net.outputCount, "outputMin values");
    w.values (net.outputMax, net.outputCount, "outputMax values");
}

// The weights close a net of either kind, then its trailer. Their count is derived from the
// layers, never stored; the reader checks it against the remaining bytes like any stored count.
template <typename W, typename Net>
void walkNetTail (W& w, Net& net)
{
    w.values (net.weights, net.weightCount(), "weights");
    w.trailer (net.netTrailer);
}

// The four words that open a position of either kind; `nets` receives the stored net count.
template <typename W, typename Position>
void walkPositionHead (W& w, Position& position, uint32_t& nets)
{
    w.word (position.chunkSize, "chunkSize of a position");
    w.word (position.headerSize, "headerSize");
    w.word (position.positionTag, "positionTag");
    w.length (nets, position.nets.size(), "netCount");
}

template <typename W, typename Net>
void walkHiddenLayers (W& w, Net& net)
{
    uint32_t layers = static_cast<uint32_t> (net.hiddenSizes.size());
    w.length (layers, net.hiddenSizes.size(), "hiddenLayerCount");
    w.values (net.hiddenSizes, layers, "hidden layers");
}

// ------------------------------------------------------------------------------ standard kind

template <typename W, typename Net>
void walkStandardNet (W& w, Net& net)
{
    walkNetHead (w, net);
    w.real (net.hiddenSteepness, "hiddenSteepness");
    w.real (net.outputSteepness, "outputSteepness");
    walkHiddenLayers (w, net);
    walkNetTail (w, net);
}

template <typename W, typename Position>
void walkStandardPosition (W& w, Position& position)
{
    w.enter (position);
    uint32_t nets = static_cast<uint32_t> (position.nets.size());
    walkPositionHead (w, position, nets);
    w.values (position.rateTable, position.tableLength, "rateTable values");
    const uint64_t smallestNet =
        36 + 16 * uint64_t (position.inputCount) + 8 * uint64_t (position.outputCount);
    w.children (position.nets, nets, smallestNet, "nets",
                [&] (auto& net)
                {
                    w.inherit (net.inputCount, position.inputCount, "a net's counts differ from its model's");
                    w.inherit (net.outputCount, position.outputCount,
                               "a net's counts differ from its model's");
                    walkStandardNet (w, net);
                });
    w.leave (position);
}

template <typename W, typename Model>
void walkStandardModel (W& w, Model& model)
{
    w.enter (model);
    uint32_t positions = static_cast<uint32_t> (model.positions.size());
    w.word (model.chunkSize, "chunkSize of a model");
    w.word (model.headerSize, "headerSize");
    w.word (model.inputCount, "inputCount");
    w.word (model.outputCount, "outputCount");
    w.length (positions, model.positions.size(), "positionCount");
    w.word (model.tableLength, "tableLength");
    w.children (model.positions, positions, 16 + 8 * uint64_t (model.tableLength), "positions",
                [&] (auto& position)
                {
                    const char* differ = "a position's counts differ from its model's";
                    w.inherit (position.inputCount, model.inputCount, differ);
                    w.inherit (position.outputCount, model.outputCount, differ);
                    w.inherit (position.tableLength, model.tableLength, differ);
                    walkStandardPosition (w, position);
                });
    w.leave (model);
}

template <typename W, typename Models>
void walkStandardFile (W& w, Models& models)
{
    uint32_t count = static_cast<uint32_t> (models.size());
    w.length (count, models.size(), "modelCount");
    w.children (models, count, 24, "models", [&] (auto& model) { walkStandardModel (w, model); });
}

// ------------------------------------------------------------------------------ pca kind

template <typename W, typename Net>
void walkPcaNet (W& w, Net& net)
{
    walkNetHead (w, net);
    walkHiddenLayers (w, net);
    w.values (net.hiddenNeuronSteepness, net.hiddenNeuronCount(), "hidden steepness values");
    w.values (net.outputNeuronSteepness, net.outputCount, "output steepness values");
    walkNetTail (w, net);
}

template <typename W, typename Position>
void walkPcaPosition (W& w, Position& position)
{
    w.enter (position);
    uint32_t nets = static_cast<uint32_t> (position.nets.size());
    uint32_t inputMaskLength = static_cast<uint32_t> (position.inputMask.size());
    uint32_t outputMaskLength = static_cast<uint32_t> (position.outputMask.size());
    walkPositionHead (w, position, nets);
    w.length (inputMaskLength, position.inputMask.size(), "inputMaskLength");
    w.length (outputMaskLength, position.outputMask.size(), "outputMaskLength");
    w.word (position.projectionRows, "projectionRows");
    w.word (position.outputProjectionCount, "outputProjectionCount");
    w.word (position.netInputCount, "netInputCount");
    w.word (position.netOutputCount, "netOutputCount");
    w.values (position.inputMask, inputMaskLength, "inputMask entries");
    w.values (position.outputMask, outputMaskLength, "outputMask entries");
    w.values (position.projection, uint64_t (position.projectionRows) * position.netInputCount,
              "projection values");
    w.values (position.outputProjection, uint64_t (position.netOutputCount) * position.outputProjectionCount,
              "outputProjection values");
    w.values (position.rateTable, position.tableLength, "rateTable values");
    const uint64_t smallestNet =
        28 + 16 * uint64_t (position.netInputCount) + 12 * uint64_t (position.netOutputCount);
    w.children (position.nets, nets, smallestNet, "nets",
                [&] (auto& net)
                {
                    const char* differ = "a net's counts differ from its position's";
                    w.inherit (net.inputCount, position.netInputCount, differ);
                    w.inherit (net.outputCount, position.netOutputCount, differ);
                    walkPcaNet (w, net);
                });
    w.leave (position);
}

template <typename W, typename Model>
void walkPcaModel (W& w, Model& model)
{
    w.enter (model);
    uint32_t positions = static_cast<uint32_t> (model.positions.size());
    w.word (model.chunkSize, "chunkSize of a model");
    w.word (model.headerSize, "headerSize");
    w.length (positions, model.positions.size(), "positionCount");
    w.word (model.tableLength, "tableLength");
    w.children (model.positions, positions, 40 + 8 * uint64_t (model.tableLength), "positions",
                [&] (auto& position)
                {
                    w.inherit (position.tableLength, model.tableLength,
                               "a rate table does not hold tableLength values");
                    walkPcaPosition (w, position);
                });
    w.leave (model);
}

template <typename W, typename Models>
void walkPcaFile (W& w, Models& models)
{
    uint32_t count = static_cast<uint32_t> (models.size());
    w.length (count, models.size(), "modelCount");
    w.children (models, count, 16, "models", [&] (auto& model) { walkPcaModel (w, model); });
}
} // namespace modelschema
