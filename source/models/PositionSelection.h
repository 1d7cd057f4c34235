#pragma once

#include "models/RegionNetwork.h"

#include <cstdint>

// Clamps to the model's positions, builds that position's networks when they are not the ones
// built, selects the projection and the region slice and resets the fallback region. Returns the
// clamped position (0 when no model is loaded). When the networks cannot be built the block has
// none (hasModel is false) and stays silent.
uint32_t selectPosition (BlockModelState& m, uint32_t requestedPosition);
void selectPositionProjection (BlockModelState& m, uint32_t position);

void releaseProjectionBuffers (BlockModelState& m);
