#include "models/BlockFacts.h"

#include <sys/stat.h>

namespace
{
constexpr BlockFacts blockTable[numModelBlocks] = {
    {"b1_pca", ModelFileKind::principalComponents, false, RegionMissRule::lastRegion, PositionControl::gain},
    {"b2_pca", ModelFileKind::principalComponents, false, RegionMissRule::lastRegion, PositionControl::gain},
    {"b3_pca", ModelFileKind::principalComponents, true, RegionMissRule::lastRegion, PositionControl::none},
    {"b4_std", ModelFileKind::standard, false, RegionMissRule::zeroCurrents, PositionControl::tone},
};
} // namespace

int positionCount (PositionControl control) noexcept
{
    switch (control)
    {
    case PositionControl::gain:
        return 17;
    case PositionControl::tone:
        return 15 * 15 * 15;
    case PositionControl::none:
        break;
    }
    return 1;
}

const BlockFacts& getBlockFacts (int blockIndex) noexcept
{
    return blockTable[blockIndex];
}

bool blockUsesPrincipalComponents (int blockIndex) noexcept
{
    return blockTable[blockIndex].fileKind == ModelFileKind::principalComponents;
}

std::string modelFileName (const std::string& valveName, int blockIndex, int32_t processingRate)
{
    if (blockIndex < 0 || blockIndex >= numModelBlocks || valveName.empty())
        return {};
    const auto& facts = blockTable[blockIndex];
    std::string name = "varkelpre_" + valveName + "_" + facts.stem + ".dat";
    if (!facts.filePerRate)
        return name;
    return processingRate > 0 ? name + "." + std::to_string (processingRate) : std::string();
}

std::string rateOwnModelFileName (const std::string& valveName, int blockIndex, int32_t processingRate)
{
    const std::string name = modelFileName (valveName, blockIndex, processingRate);
    if (name.empty() || blockTable[blockIndex].filePerRate || processingRate <= 0)
        return {};
    return name + "." + std::to_string (processingRate);
}

std::string chooseModelFile (const std::string& folder, const std::string& valveName, int blockIndex,
                             int32_t processingRate)
{
    const std::string name = modelFileName (valveName, blockIndex, processingRate);
    if (name.empty())
        return {};
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const std::string rateOwn = rateOwnModelFileName (valveName, blockIndex, processingRate);
    // Anything by the rate's name counts, not only a regular file: what cannot be read is then
    // refused under its own name rather than passed over in silence.
    struct stat info
    {
    };
    if (!rateOwn.empty() && lstat ((prefix + rateOwn).c_str(), &info) == 0)
        return prefix + rateOwn;
    return prefix + name;
}
