#include "processor/ModelFiles.h"

std::string modelDataFolder (const std::string& moduleFilePath)
{
    return moduleFilePath + ".dat/";
}

const char* valveSetFileName (int valveType) noexcept
{
    static constexpr const char* names[numValveTypes] = {"eh", "rsd"};
    return valveType >= 0 && valveType < numValveTypes ? names[valveType] : nullptr;
}

std::string modelFileName (int blockIndex, int valveType, int32_t processingRate)
{
    const char* valve = valveSetFileName (valveType);
    return valve != nullptr ? modelFileName (valve, blockIndex, processingRate) : std::string();
}
