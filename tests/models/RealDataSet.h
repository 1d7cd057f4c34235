#pragma once

#include "engine/PreampBlocks.h"
#include "models/ModelLoading.h"
#include "processor/ModelFiles.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

// The real model data set the test fixture builds: both valve sets, block 3 at every rate the
// set was made for.
namespace realdata
{
inline std::string folder()
{
    return VARKEL_TEST_MODEL_DATA;
}

inline std::string path (int block, int valve, int32_t rate)
{
    return folder() + "/" + modelFileName (block, valve, rate);
}

// The processing rates that block 3 has files for, ascending.
inline std::vector<int32_t> blockThreeRates (int valve)
{
    std::vector<int32_t> rates;
    const std::string prefix = modelFileName (2, valve, 1);
    const std::string stem = prefix.substr (0, prefix.size() - 1);
    for (const auto& entry : std::filesystem::directory_iterator (folder()))
    {
        const std::string name = entry.path().filename().string();
        if (name.rfind (stem, 0) == 0)
            rates.push_back (std::stoi (name.substr (stem.size())));
    }
    std::sort (rates.begin(), rates.end());
    return rates;
}

struct LoadedFile
{
    std::string name;
    int block;
    BlockModelState state;
};

// Every file of the set loaded into a block model state of its block.
inline std::vector<LoadedFile> loadAll (PreampBlockSet& blocks, std::string& error)
{
    std::vector<LoadedFile> files;
    for (int valve = 0; valve < numValveTypes; ++valve)
        for (int block = 0; block < 4; ++block)
        {
            std::vector<int32_t> rates{48000};
            if (block == 2)
                rates = blockThreeRates (valve);
            for (const int32_t rate : rates)
            {
                LoadedFile& f = files.emplace_back();
                f.name = modelFileName (block, valve, rate);
                f.block = block;
                const auto status =
                    loadModelIntoState (f.state, blocks[static_cast<size_t> (block)]->modelShape(),
                                        path (block, valve, rate), blockUsesPrincipalComponents (block));
                if (!status.ok)
                {
                    error = status.message;
                    return {};
                }
            }
        }
    return files;
}
} // namespace realdata
