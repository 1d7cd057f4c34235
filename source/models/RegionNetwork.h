#pragma once

#include "models/BlockShape.h"
#include "models/CompiledNetwork.h"
#include "models/ModelFile.h"
#include "models/RegionIndex.h"
#include "shared/AlignedArray.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct fann;

// What an evaluation writes: the network's scaled input and its working space. The output of the
// last evaluation stays readable in it until the next.
struct RegionScratch
{
    AlignedArray<float> scaledInput;
    AlignedArray<float> network;
    const float* networkOutput = nullptr;

    // Sized for networks of up to `inputs` inputs and `floats` floats of working space; keeps the
    // storage when it is large enough already.
    void reserve (uint32_t inputs, size_t floats);
};

struct RegionNetwork;

// A region's evaluation with the sizes of its network fixed at compile time (FusedEvaluation.h):
// the same floats as the general one.
using RegionEvaluator = void (*) (const RegionNetwork&, const double* u, double* i, RegionScratch&) noexcept;

struct FannDeleter
{
    void operator() (fann* network) const noexcept;
};
using FannNetwork = std::unique_ptr<fann, FannDeleter>;

// One box of a block's (possibly projected) nonlinear-input space with the network trained for
// it. Everything is sized when the record is made and read-only afterwards, so one record can
// serve every chain of every instance at once: evaluation writes only into the caller's scratch.
struct alignas (16) RegionNetwork
{
    RegionNetwork (uint16_t inputs, uint16_t outputs);

    uint16_t inputCount = 0;
    uint16_t outputCount = 0;
    AlignedArray<float> upperBound;
    AlignedArray<float> lowerBound;
    AlignedArray<float> inputMax;
    AlignedArray<float> inputMin;
    AlignedArray<float> outputMax;
    AlignedArray<float> outputMin;
    AlignedArray<float> inputScale;
    AlignedArray<float> outputScale;
    // Only in a block's own table of the plain evaluation: fann_run writes into its network, so
    // such a table is never shared.
    FannNetwork network;
    // The same floats as fann_run, far cheaper; null only in the plain evaluation's tables.
    std::shared_ptr<const CompiledNetwork> compiled;
    RegionEvaluator evaluator = nullptr;       // null: the general evaluation
    CompiledNetwork::LayerView fusedLayers[2]; // the compiled network's two layers, for the evaluator
    // Also for the evaluator, set with it: the input scaling in the doubles it is applied in (the
    // floats converted exactly) and the output scaling padded with zeros to four lanes.
    struct FusedScaling
    {
        double inputMin[4] = {};
        double inputScale[4] = {};
        alignas (16) float outputScale[4] = {};
        alignas (16) float outputMin[4] = {};
    } fusedScaling;
    uint16_t maskLength = 0;
    const uint16_t* outputMask = nullptr; // the position's mask, owned by the table

    // Open box: both edges excluded, so NaN and points on an edge are outside.
    bool contains (const double* u) const noexcept
    {
        const float* lower = lowerBound.data();
        const float* upper = upperBound.data();
        for (uint32_t q = 0; q < inputCount; ++q)
        {
            if (!(static_cast<double> (lower[q]) < u[q] && u[q] < static_cast<double> (upper[q])))
                return false;
        }
        return true;
    }
    // Writes the entries of i that the output mask selects; the others keep their values.
    void evaluate (const double* u, double* i, RegionScratch& scratch) const noexcept;
    // The same at the point of the box nearest to u (u itself when inside; a NaN coordinate
    // is taken at the middle of the box): never an extrapolation past the box.
    void evaluateNearestPoint (const double* u, double* i, RegionScratch& scratch) const noexcept;

    // i from the network outputs: per entry the mask selects, outputScale x output + outputMin in
    // two single-precision roundings, negative and NaN results as 0.
    void writeCurrents (const float* networkOutput, double* i) const noexcept
    {
        uint32_t k = 0;
        for (uint32_t j = 0; j < maskLength; ++j)
        {
            if (outputMask[j] != 1)
                continue;
            // Two single-precision roundings, product then sum, as the networks were trained with.
            const float scaled = outputScale[k] * networkOutput[k];
            const float r = scaled + outputMin[k];
            // Negative currents are clamped to zero; so is NaN (a corrupt weight), which would
            // otherwise poison the block's state for good.
            i[j] = r >= 0.0f ? static_cast<double> (r) : 0.0;
            ++k;
        }
    }

private:
    void runAndWrite (double* i, RegionScratch& scratch) const noexcept;
};

// The regions of one position, in file order, with their index. Read-only once built; the
// shared tables of a model file live as long as the file's network library.
struct PositionTable
{
    std::vector<RegionNetwork> regions;
    RegionIndex index;                 // of these regions, as its position 0
    RegionHints hints;                 // of these regions
    AlignedArray<uint16_t> outputMask; // ni, which the regions point to
    uint32_t maxInputs = 0;
    size_t scratchFloats = 0; // of the largest compiled network
};

// A view of the selected position's regions.
struct RegionSpan
{
    const RegionNetwork* first = nullptr;
    size_t count = 0;

    const RegionNetwork* data() const noexcept { return first; }
    size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    const RegionNetwork& operator[] (size_t r) const noexcept { return first[r]; }
    const RegionNetwork& front() const noexcept { return first[0]; }
    const RegionNetwork* begin() const noexcept { return first; }
    const RegionNetwork* end() const noexcept { return first + count; }
};

class NetworkLibrary;

// Everything one block of one channel holds to turn its nonlinear inputs p into port currents i.
//
// The model file is read-only and may be shared by every chain of every instance in the process;
// so are the region tables of its positions, built once per file (positions trained on the same
// networks share one table). What a block writes per sample (the scaled input, the network's
// working space) is its own.
struct BlockModelState
{
    static constexpr uint32_t noPosition = 0xffffffffu;

    BlockShape shape; // of the block the model was loaded for
    std::shared_ptr<const BaseModelFileF> modelFile;
    std::string modelName; // the path this block loaded it from (a shared file may have several)
    uint8_t usesPca = 0;
    uint32_t regionCount = 0;
    uint32_t positionCount = 0;
    uint32_t selectedPosition = 0;
    std::shared_ptr<const NetworkLibrary> library; // null in the plain evaluation
    std::unique_ptr<PositionTable> ownTable;       // the plain evaluation's, with FANN networks
    const PositionTable* table = nullptr;          // of position regionsPosition
    RegionSpan regions;                            // the nets of position regionsPosition, in file order
    uint32_t regionsPosition = noPosition;
    const RegionNetwork* selectedRegions = nullptr;
    uint32_t selectedRegionCount = 0;
    const RegionNetwork* lastRegion = nullptr;
    const RegionNetwork* previousRegion = nullptr; // the box lastRegion was before it changed; null: none
    uint32_t projectionRows = 0;
    uint32_t reducedCount = 0;
    AlignedArray<uint32_t> inputMask;      // nv
    AlignedArray<uint32_t> maskedInputs;   // projectionRows: the q whose inputMask entry is 1, ascending
    uint8_t maskedInputsValid = 0;         // the mask selects exactly projectionRows inputs
    AlignedArray<double> projectionMatrix; // reducedCount x projectionRows, j * projectionRows + k
    AlignedArray<double> reducedInput;     // reducedCount
    AlignedArray<uint16_t> outputMask;     // ni
    uint8_t projectionNeeded = 0;
    std::vector<uint32_t> positionFirstRegion; // index among all nets of the file of each position's first
    const RegionIndex* regionIndex = nullptr;  // of the selected regions; null: the linear search
    const RegionHints* regionHints = nullptr;  // of the selected regions; null: every search a full one
    RegionScratch scratch;                     // what an evaluation writes
    bool referenceEvaluation = false;          // fann_run and the linear search only (tests, benchmarks)
};

// True once a model has been loaded and its networks built, so regionStep can run.
bool hasModel (const BlockModelState& m) noexcept;

// reducedInput = projectionMatrix x (the elements of p whose inputMask entry is 1).
void projectInputs (BlockModelState& m, const double* p) noexcept;

// The first region of the selected position, in stored order, whose box contains u; null when
// none does.
const RegionNetwork* findRegion (const BlockModelState& m, const double* u) noexcept;

// Per sample: p (nv values) to port currents i (ni values). A point in no box of the selected
// position takes the nearest box's network at the nearest point of that box, for every block.
// lastRegion is the box of the last point found inside one, previousRegion the one before; a point
// that is inside either is found through the hints. Allocates nothing.
void regionStep (BlockModelState& m, int blockIndex, const double* p, double* i) noexcept;
