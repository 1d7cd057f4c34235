#pragma once

#include "models/ModelFile.h"
#include "models/ModelLoadResult.h"

#include <cstdint>
#include <string>

// How a refused model file is named in a load's message, for the checks, the reader and the
// network build alike: the file first, then what is wrong with it.
inline ModelLoadResult refuse (const BaseModelFileF& file, const std::string& why)
{
    return ModelLoadResult::failure (file.name() + ": " + why);
}

inline std::string describeNet (uint32_t position, uint32_t net)
{
    return "net " + std::to_string (net) + " of position " + std::to_string (position);
}
