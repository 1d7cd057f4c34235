#pragma once

#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

#include <memory>

// Points m at the region table of its selected position (clamped) of model 0: the shared table
// from the file's network library, or, in the plain evaluation, a table of its own with one FANN
// network per net. Needs m.shape, m.modelFile (validated), m.usesPca, m.positionCount and
// m.outputMask (ni entries). Fails, leaving no regions, when a network cannot be made.
ModelLoadResult buildRegionNetworks (BlockModelState& m);

// The table of one position of model 0 of the file, for a block with ni port currents. Plain: one
// FANN network per region, nothing compiled, no index. Otherwise compiled networks (made from
// the records, FANN only for forms it reads back) and the region index. Null with the reason in
// status when a network cannot be made or the position does not exist.
std::unique_ptr<PositionTable> buildPositionTable (const BaseModelFileF& file, uint32_t ni, uint32_t position,
                                                   bool plain, ModelLoadResult& status);

// Drops the shared tables, so every evaluation runs fann_run and every search tests the boxes one
// by one in stored order: the plain form the fast path must match, for tests and benchmarks. The
// position in use is built again with FANN networks; positions selected later are too, until
// the next load brings the fast path back.
void useReferenceEvaluation (BlockModelState& m);

void destroyRegionNetworks (BlockModelState& m);
