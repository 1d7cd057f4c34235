#pragma once

#include "models/BlockFacts.h"

#include <cstdint>
#include <string>

// Where the model data files are and what they are called.
//
// The folder sits beside the plug-in module and is named like it with ".dat" appended, e.g.
// "/usr/lib/vst/VARKEL Hot Preamp.so.dat/". Block 3's network depends on the processing rate, so
// its file name ends in that rate.

constexpr int numValveTypes = 2;

std::string modelDataFolder (const std::string& moduleFilePath);

// The name a valve type (0 "eh", 1 "rsd") has in model file names; nullptr outside the table.
const char* valveSetFileName (int valveType) noexcept;

// File name of a block's model (block index 0..3) for a valve type and the processing rate (host
// rate times oversampling factor). Empty when there is no such file: a block index or valve type
// outside the table, or a processing rate that is not positive.
std::string modelFileName (int blockIndex, int valveType, int32_t processingRate);
