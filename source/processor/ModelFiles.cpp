#include "processor/ModelFiles.h"

std::string modelDataFolder (const std::string& moduleFilePath)
{
    return moduleFilePath + ".dat/";
}

std::string modelFileName (int blockIndex, int valveType, int32_t processingRate)
{
    if (valveType < 0 || valveType >= numValveTypes || blockIndex < 0 || blockIndex > 3)
        return {};

    const std::string prefix = std::string ("varkelpre_") + (valveType == 0 ? "eh" : "rsd");
    switch (blockIndex)
    {
    case 0:
        return prefix + "_b1_pca.dat";
    case 1:
        return prefix + "_b2_pca.dat";
    case 2:
        // The full rate, never cut to a fixed width: a cut rate could name another rate's file.
        return processingRate > 0 ? prefix + "_b3_pca.dat." + std::to_string (processingRate) : std::string();
    default:
        return prefix + "_b4_std.dat";
    }
}

bool modelFileUsesPca (int blockIndex) noexcept
{
    return blockIndex != 3;
}
