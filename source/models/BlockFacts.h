#pragma once

#include <cstdint>
#include <string>

// What differs between the four blocks of the chain as far as their model data goes, in one
// table: the kind of model file a block reads, what its file is called, whether there is one
// file per processing rate, what its region step does when no region contains the input, and
// which control selects its position. The plug-in's loader, the model builder and the accuracy
// tool all read it.

constexpr int numModelBlocks = 4;

enum class ModelFileKind
{
    principalComponents, // the input is projected before the box search
    standard             // the input is searched as it is
};

enum class RegionMissRule
{
    lastRegion,  // evaluate the region that last contained the input
    zeroCurrents // write zero currents
};

enum class PositionControl
{
    gain, // 17 positions, one per Gain step
    none, // one position
    tone  // 3375 positions, one per treble/bass/middle setting
};

struct BlockFacts
{
    const char* stem; // "b1_pca": the file name between the valve set and ".dat"
    ModelFileKind fileKind;
    bool filePerRate; // the file name ends in "." and the processing rate
    RegionMissRule onMiss;
    PositionControl control;
};

// How many positions a block driven by the control has in its model file.
int positionCount (PositionControl control) noexcept;

// The facts of block 0..3; callers check the index first.
const BlockFacts& getBlockFacts (int blockIndex) noexcept;

bool blockUsesPrincipalComponents (int blockIndex) noexcept;

// "varkelpre_<valve>_<stem>.dat", with "." and the processing rate appended for a block that has
// a file per rate. The full rate, never cut to a fixed width: a cut rate could name another
// rate's file. Empty for a block index outside 0..3, an empty valve name, or a per-rate block
// without a positive rate.
std::string modelFileName (const std::string& valveName, int blockIndex, int32_t processingRate);

// "<modelFileName>.<rate>" for a block that shares one file among rates: the file of its own that
// a data set may hold for the rate. Empty where modelFileName is, for a per-rate block (whose
// usual name already ends in the rate) or without a positive rate.
std::string rateOwnModelFileName (const std::string& valveName, int blockIndex, int32_t processingRate);

// The file a block loads for a processing rate from a folder (the folder's path with or without
// its final "/"): a block that shares one file among rates may also have a file for the rate
// ("<its usual name>.<rate>", trained nearer that rate), which is taken when the folder holds
// anything by that name; otherwise the usual name. Empty where modelFileName is.
std::string chooseModelFile (const std::string& folder, const std::string& valveName, int blockIndex,
                             int32_t processingRate);
