#pragma once

#include "models/BlockShape.h"
#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

#include <cstddef>
#include <memory>
#include <string>

// Reads and validates the file into a new file object and builds a new region table for a block
// of the given shape; only when all of that succeeded does it replace the model of m (the
// previous model stays intact on failure). The new model is selected at the previously selected
// position, clamped, so the region slice never points into a freed table.
ModelLoadResult loadModelIntoState (BlockModelState& m, const BlockShape& shape, const std::string& path,
                                    bool usesPca);
ModelLoadResult loadModelImageIntoState (BlockModelState& m, const BlockShape& shape, const void* image,
                                         size_t length, bool usesPca);
// Takes a file that has already been read (status ok), possibly shared with other blocks; validates
// it and builds the networks of the position in use. The file is never written.
ModelLoadResult loadModelFileIntoState (BlockModelState& m, const BlockShape& shape,
                                        std::shared_ptr<const BaseModelFileF> file);
