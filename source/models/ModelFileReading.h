#pragma once

#include "models/ModelFile.h"
#include "models/ModelLoadResult.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A model file read and checked for one block, or the reason it cannot serve that block.
struct ModelFileReadResult
{
    std::unique_ptr<BaseModelFileF> file; // null unless status.ok
    ModelLoadResult status;
};

// Reads and validates a file from disk or an image in memory against the block's counts nv, ni,
// nx (see validateModelFile).
ModelFileReadResult readModelFile (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                   uint32_t nx);
ModelFileReadResult readModelImage (const void* image, size_t length, bool usesPca, uint32_t nv, uint32_t ni,
                                    uint32_t nx, const std::string& name = "model image");
