#pragma once

#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

// Replaces the region table of m with one region and FANN network per net of the selected
// position (clamped) of model 0. Needs m.shape, m.modelFile (validated), m.usesPca,
// m.positionCount and m.outputMask (ni entries). Fails, leaving no regions, when FANN cannot
// create a network.
ModelLoadResult buildRegionNetworks (BlockModelState& m);

// Drops the compiled networks and the region index, so every evaluation runs fann_run and every
// search tests the boxes one by one in stored order: the plain form the fast path must match,
// for tests and benchmarks. Positions built later stay plain; the next load brings the fast path
// back.
void useReferenceEvaluation (BlockModelState& m);

void destroyRegionNetworks (BlockModelState& m);
