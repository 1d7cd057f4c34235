#pragma once

#include "models/ModelFile.h"
#include "models/ModelLoadResult.h"

#include <cstdint>

// Checks what the engine relies on in model 0 against the block's counts nv, ni, nx: at least one
// position, at least one net per position, network dimensions that match the block, masks and
// projections that fit, one hidden layer per pca net, no empty hidden layer, rate tables whose
// record count fits their length.
ModelLoadResult validateModelFile (const BaseModelFileF& file, uint32_t nv, uint32_t ni, uint32_t nx);
