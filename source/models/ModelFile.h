#pragma once

#include "models/ModelLoadResult.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// In-memory tree of a model data file: models hold positions, positions hold one rate table and
// the region nets trained for that control position. Counts that the file stores only in a
// parent (nIn, nOut, tableLength) are carried by every child, so a record can be used alone.

// Connection weights of a fully connected perceptron with a bias in every non-output layer.
uint64_t networkWeightCount (uint32_t inputCount, const std::vector<uint32_t>& hiddenSizes,
                             uint32_t outputCount);

// What the nets of both kinds store alike: the box and scaling of the region, the layers and the
// weights. The kinds differ in how they store the neurons' steepness.
struct NetRecordCore
{
    uint32_t chunkSize = 0;
    uint32_t netTag = 0;
    uint32_t inputCount = 0;                                       // nIn, from the parent record
    uint32_t outputCount = 0;                                      // nOut, from the parent record
    std::vector<float> lowerBound, upperBound, inputMin, inputMax; // nIn each
    std::vector<float> outputMin, outputMax;                       // nOut each
    std::vector<uint32_t> hiddenSizes = {0}; // one entry per hidden layer, input side first
    std::vector<float> weights;              // weightCount()
    std::array<uint32_t, 4> netTrailer{};

    uint32_t hiddenLayerCount() const { return static_cast<uint32_t> (hiddenSizes.size()); }
    uint64_t weightCount() const { return networkWeightCount (inputCount, hiddenSizes, outputCount); }
};

// A net of the standard kind: one steepness for all hidden neurons, one for the outputs.
struct NetRecord : NetRecordCore
{
    float hiddenSteepness = 0.5f;
    float outputSteepness = 0.0f;

    // A record whose arrays are sized (zero-filled) for the given layers, ready to be filled.
    static NetRecord sized (uint32_t inputs, std::vector<uint32_t> hidden, uint32_t outputs);
};

struct PositionRecord
{
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t positionTag = 0;
    uint32_t inputCount = 0;  // nIn, from the model
    uint32_t outputCount = 0; // nOut, from the model
    uint32_t tableLength = 0; // from the model
    std::vector<double> rateTable;
    std::vector<NetRecord> nets;

    uint32_t netCount() const { return static_cast<uint32_t> (nets.size()); }
};

struct ModelRecord
{
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t inputCount = 0;
    uint32_t outputCount = 0;
    uint32_t tableLength = 0;
    std::vector<PositionRecord> positions;

    uint32_t positionCount() const { return static_cast<uint32_t> (positions.size()); }
};

// A net of the principal-component kind: a steepness per neuron. Its counts are the position's
// netInputCount and netOutputCount.
struct PCANetRecord : NetRecordCore
{
    std::vector<float> hiddenNeuronSteepness; // hiddenNeuronCount()
    std::vector<float> outputNeuronSteepness; // nOut

    uint64_t hiddenNeuronCount() const;

    static PCANetRecord sized (uint32_t inputs, std::vector<uint32_t> hidden, uint32_t outputs);
};

struct PCAPositionRecord
{
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t positionTag = 0;
    uint32_t projectionRows = 0;
    uint32_t outputProjectionCount = 0;
    uint32_t netInputCount = 0;
    uint32_t netOutputCount = 0;
    uint32_t tableLength = 0; // from the model
    std::vector<uint32_t> inputMask;
    std::vector<uint32_t> outputMask;
    std::vector<double> projection;       // projectionRows x netInputCount, row-major
    std::vector<double> outputProjection; // netOutputCount x outputProjectionCount, kept only
    std::vector<double> rateTable;
    std::vector<PCANetRecord> nets;

    uint32_t netCount() const { return static_cast<uint32_t> (nets.size()); }
    uint32_t inputMaskLength() const { return static_cast<uint32_t> (inputMask.size()); }
    uint32_t outputMaskLength() const { return static_cast<uint32_t> (outputMask.size()); }
};

struct PCAModelRecord
{
    uint32_t chunkSize = 0;
    uint32_t headerSize = 0;
    uint32_t tableLength = 0;
    std::vector<PCAPositionRecord> positions;

    uint32_t positionCount() const { return static_cast<uint32_t> (positions.size()); }
};

class ModelByteSource;
class ModelByteSink;

// A model data file of either kind. The reader trusts no count: every count is checked against
// the bytes that remain before anything is sized from it, and the outcome of the last read or
// write is kept in status(), naming the file and what is wrong with it.
class BaseModelFileF
{
public:
    BaseModelFileF() = default;
    virtual ~BaseModelFileF();

    BaseModelFileF (const BaseModelFileF&) = delete;
    BaseModelFileF& operator= (const BaseModelFileF&) = delete;

    virtual FILE* openRead (const char* path) = 0;
    virtual FILE* openWrite (const char* path) = 0;
    virtual int close() = 0;
    virtual void setModelCount (uint32_t count) = 0;
    // Element counts (a scalar counts 1, an array its length).
    virtual uint32_t write() = 0;
    virtual uint32_t read() = 0;
    // Bytes consumed from an image of `length` bytes; nothing beyond it is ever touched.
    virtual uint32_t readFromMemory (const void* image, size_t length) = 0;

    virtual uint32_t modelCount() const = 0;
    virtual bool usesPca() const = 0;

    // The serialised tree, size fields recomputed; empty (and status() failed) when the tree is
    // inconsistent. Prints nothing.
    std::vector<uint8_t> writeToMemory();

    const ModelLoadResult& status() const { return lastStatus; }
    const std::string& name() const { return fileName; }
    void setName (std::string newName) { fileName = std::move (newName); }
    // The standard kind prints progress lines while writing and reading from memory.
    bool printProgress = true;

protected:
    FILE* openHandle (const char* path, const char* mode);
    FILE* openForReading (const char* path, const char* mode);
    int closeHandle();
    uint32_t readFromHandle();
    uint32_t writeToHandle();

    virtual void parse (ModelByteSource& source) = 0;
    virtual ModelLoadResult checkWritable() const = 0;
    virtual void recomputeSizeFields() = 0;
    virtual void serialise (ModelByteSink& sink, bool withProgress) = 0;

    FILE* handle = nullptr;
    std::string fileName = "model image";
    ModelLoadResult lastStatus = ModelLoadResult::success();
};

class ModelFileF : public BaseModelFileF
{
public:
    ~ModelFileF() override;

    FILE* openRead (const char* path) override { return openHandle (path, "rb"); }
    FILE* openWrite (const char* path) override { return openHandle (path, "wb"); }
    int close() override { return closeHandle(); }
    void setModelCount (uint32_t count) override;
    uint32_t write() override { return writeToHandle(); }
    uint32_t read() override { return readFromHandle(); }
    uint32_t readFromMemory (const void* image, size_t length) override;

    uint32_t modelCount() const override { return static_cast<uint32_t> (models.size()); }
    bool usesPca() const override { return false; }

    std::vector<ModelRecord> models;

protected:
    void parse (ModelByteSource& source) override;
    ModelLoadResult checkWritable() const override;
    void recomputeSizeFields() override;
    void serialise (ModelByteSink& sink, bool withProgress) override;
};

class PCAModelFileF : public BaseModelFileF
{
public:
    ~PCAModelFileF() override;

    FILE* openRead (const char* path) override { return openHandle (path, "rb"); }
    FILE* openWrite (const char* path) override { return openHandle (path, "wb"); }
    int close() override { return closeHandle(); }
    void setModelCount (uint32_t count) override;
    uint32_t write() override { return writeToHandle(); }
    uint32_t read() override { return readFromHandle(); }
    uint32_t readFromMemory (const void* image, size_t length) override;

    uint32_t modelCount() const override { return static_cast<uint32_t> (models.size()); }
    bool usesPca() const override { return true; }

    std::vector<PCAModelRecord> models;

protected:
    void parse (ModelByteSource& source) override;
    ModelLoadResult checkWritable() const override;
    void recomputeSizeFields() override;
    void serialise (ModelByteSink& sink, bool withProgress) override;
};

// An empty model file object of the kind a block reads: principal-component or standard.
std::unique_ptr<BaseModelFileF> makeModelFile (bool usesPca);
