#pragma once

#include "models/RegionNetwork.h"

#include <cstdint>

// Clamps to the model's positions, points the block at that position's region table when it is
// not the one in use (the shared table of the file's network library, built at load: nothing is
// built or allocated; in the plain evaluation a table of its own is built), selects the
// projection and the region slice and resets the fallback region. Returns the clamped position
// (0 when no model is loaded). When the networks cannot be had the block has none (hasModel is
// false) and stays silent.
uint32_t selectPosition (BlockModelState& m, uint32_t requestedPosition);
void selectPositionProjection (BlockModelState& m, uint32_t position);

void releaseProjectionBuffers (BlockModelState& m);
