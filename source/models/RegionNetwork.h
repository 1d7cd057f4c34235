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

struct FannDeleter
{
    void operator() (fann* network) const noexcept;
};
using FannNetwork = std::unique_ptr<fann, FannDeleter>;

// One box of a block's (possibly projected) nonlinear-input space with the network trained for
// it. Everything is sized when the record is made; evaluation only overwrites scaledInput and
// the network's own output buffer.
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
    AlignedArray<float> scaledInput;
    const float* networkOutput = nullptr; // outputs of the last evaluation, in networkScratch or the network
    AlignedArray<float> inputScale;
    AlignedArray<float> outputScale;
    FannNetwork network;
    // The network's weights read out of FANN once it is built: the same floats as fann_run, far
    // cheaper. Read-only, so chains may share one; null when the network is of a form it does not
    // reproduce, and then fann_run serves. networkScratch is this record's own working space.
    std::shared_ptr<const CompiledNetwork> compiled;
    AlignedArray<float> networkScratch;
    uint16_t maskLength = 0;
    const uint16_t* outputMask = nullptr; // the block's mask, owned by BlockModelState

    // Open box: both edges excluded, so NaN and points on an edge are outside.
    bool contains (const double* u) const noexcept;
    // Writes the entries of i that the output mask selects; the others keep their values.
    void evaluate (const double* u, double* i) noexcept;
    // The same at the point of the box nearest to u (u itself when inside; a NaN coordinate
    // is taken at the middle of the box): never an extrapolation past the box.
    void evaluateNearestPoint (const double* u, double* i) noexcept;

private:
    void runAndWrite (double* i) noexcept;
};

// Everything one block of one channel holds to turn its nonlinear inputs p into port currents i.
//
// The model file is read-only and may be shared by every chain of every instance in the process;
// the networks are this block's own (running a network writes into it) and exist for the
// selected position only: a block uses one position at a time, and a file holds thousands.
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
    std::vector<RegionNetwork> regions; // the nets of position regionsPosition, in file order
    uint32_t regionsPosition = noPosition;
    RegionNetwork* selectedRegions = nullptr;
    uint32_t selectedRegionCount = 0;
    RegionNetwork* lastRegion = nullptr;
    uint32_t projectionRows = 0;
    uint32_t reducedCount = 0;
    AlignedArray<uint32_t> inputMask;      // nv
    AlignedArray<double> projectionMatrix; // reducedCount x projectionRows, j * projectionRows + k
    AlignedArray<double> reducedInput;     // reducedCount
    AlignedArray<uint16_t> outputMask;     // ni
    uint8_t projectionNeeded = 0;
    std::vector<uint32_t> positionFirstRegion; // index among all nets of the file of each position's first
    RegionIndex regionIndex;                   // of the built position's regions, as its position 0
    bool referenceEvaluation = false;          // fann_run and the linear search only (tests, benchmarks)
};

// True once a model has been loaded and its networks built, so regionStep can run.
bool hasModel (const BlockModelState& m) noexcept;

// reducedInput = projectionMatrix x (the elements of p whose inputMask entry is 1).
void projectInputs (BlockModelState& m, const double* p) noexcept;

// The first region of the selected position, in stored order, whose box contains u; null when
// none does.
RegionNetwork* findRegion (const BlockModelState& m, const double* u) noexcept;

// Per sample: p (nv values) to port currents i (ni values). A point in no box of the selected
// position takes the nearest box's network at the nearest point of that box, for every block.
// lastRegion is the box of the last point found inside one. Allocates nothing.
void regionStep (BlockModelState& m, int blockIndex, const double* p, double* i) noexcept;
