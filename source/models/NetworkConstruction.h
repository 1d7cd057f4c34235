#pragma once

#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

#include <cstdint>
#include <memory>
#include <string>

// A model file read and checked for one block, or the reason it cannot serve that block.
struct ModelFileReadResult
{
    std::unique_ptr<BaseModelFileF> file; // null unless status.ok
    ModelLoadResult status;
};

// Checks what the engine relies on in model 0 against the block's counts nv, ni, nx: at least one
// position, at least one net per position, network dimensions that match the block, masks and
// projections that fit, one hidden layer per pca net, no empty hidden layer, rate tables whose
// record count fits their length.
ModelLoadResult validateModelFile (const BaseModelFileF& file, uint32_t nv, uint32_t ni, uint32_t nx);

// Reads and validates a file from disk or an image in memory.
ModelFileReadResult readModelFile (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                   uint32_t nx);
ModelFileReadResult readModelImage (const void* image, size_t length, bool usesPca, uint32_t nv, uint32_t ni,
                                    uint32_t nx, const std::string& name = "model image");

// Reads and validates the file into a new file object and builds a new region table; only when
// all of that succeeded does it replace the model of m (the previous model stays intact on
// failure). The new model is selected at the previously selected position, clamped, so the
// region slice never points into a freed table.
ModelLoadResult loadModelIntoState (BlockModelState& m, SSParamsVecAutomation* block, const std::string& path,
                                    bool usesPca);
ModelLoadResult loadModelImageIntoState (BlockModelState& m, SSParamsVecAutomation* block, const void* image,
                                         size_t length, bool usesPca);
// Takes a file that has already been read (status ok); validates it and builds the networks.
ModelLoadResult loadModelFileIntoState (BlockModelState& m, SSParamsVecAutomation* block,
                                        std::unique_ptr<BaseModelFileF> file);

// Replaces the region table of m with one region and FANN network per net of model 0. Needs
// m.block, m.modelFile (validated), m.usesPca and m.outputMask (ni entries). Fails, leaving no
// regions, when FANN cannot create a network.
ModelLoadResult buildRegionNetworks (BlockModelState& m);

// Clamps to the model's positions, selects the projection, the region slice and resets the
// fallback region. Returns the clamped position (0 when no model is loaded).
uint32_t selectPosition (BlockModelState& m, uint32_t requestedPosition);
void selectPositionProjection (BlockModelState& m, uint32_t position);

struct RateTableTargets
{
    double* operatingP;
    double* operatingI;
    double* operatingX;
    double* p;
    double* i;
    double* x;
};

// Copies the record of the processing rate from the position's rate table into the operating
// copies; on the first rate also running p and i, always running x. Rate 0 does nothing.
void applyRateTable (const BlockModelState& m, uint32_t position, int32_t processingRate, bool firstTime,
                     const RateTableTargets& t);

// Drops the compiled networks and the region index, so every evaluation runs fann_run and every
// search tests the boxes one by one in stored order: the plain form the fast path must match,
// for tests and benchmarks. The next load brings the fast path back.
void useReferenceEvaluation (BlockModelState& m);

void destroyRegionNetworks (BlockModelState& m);
void releaseProjectionBuffers (BlockModelState& m);
