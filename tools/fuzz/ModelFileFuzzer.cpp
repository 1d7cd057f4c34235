// Feeds arbitrary bytes to both model file readers, then loads whatever passes validation into a
// block and runs selection, the rate table and the region step over it. Any crash, sanitizer
// report or broken invariant (trap) is a finding.

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "models/ModelLoading.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"

#include <floatfann.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
// A tree that read cleanly must write and read back to the same bytes.
void checkRoundTrip (BaseModelFileF& file)
{
    const std::vector<uint8_t> first = file.writeToMemory();
    require (file.status().ok);
    std::unique_ptr<BaseModelFileF> again;
    if (file.usesPca())
        again = std::make_unique<PCAModelFileF>();
    else
        again = std::make_unique<ModelFileF>();
    again->printProgress = false;
    require (again->readFromMemory (first.data(), first.size()) == first.size());
    require (again->status().ok);
    require (again->writeToMemory() == first);
}

void exercise (BlockModelState& m, const FuzzHeader& h, const uint8_t* data, size_t size)
{
    require (hasModel (m));
    std::vector<double> p (h.nv), i (h.ni, 0.0), x (h.nx), opP (h.nv), opI (h.ni), opX (h.nx),
        runningI (h.ni);
    const RateTableTargets targets{opP.data(), opI.data(), opX.data(), p.data(), runningI.data(), x.data()};
    const uint32_t requests[] = {0, 1, m.positionCount - 1, m.positionCount, 0xFFFFFFFFu};
    size_t cursor = 0;
    for (const uint32_t request : requests)
    {
        const uint32_t a = selectPosition (m, request);
        require (a < m.positionCount && m.selectedRegionCount >= 1);
        require (m.selectedRegions >= m.regions.data() &&
                 m.selectedRegions + m.selectedRegionCount <= m.regions.data() + m.regions.size());
        applyRateTable (m, a, 44100, request == 0, targets);
        for (int step = 0; step < 4; ++step)
        {
            for (uint32_t q = 0; q < h.nv; ++q)
            {
                const uint8_t b = size > 0 ? data[(cursor++) % size] : 0;
                p[q] = step == 3 && q == 0 ? std::nan ("") : (static_cast<double> (b) - 128.0) / 64.0;
            }
            for (int blockIndex : {0, 3})
            {
                // Entries the output mask leaves out keep their value, so start from zeros.
                std::fill (i.begin(), i.end(), 0.0);
                regionStep (m, blockIndex, p.data(), i.data());
                for (const double v : i)
                    require (v >= 0.0);
            }
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fann_set_error_log (nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const FuzzHeader h = FuzzHeader::decode (data[0]);
    const uint8_t* image = data + 1;
    const size_t length = size - 1;

    // Both readers see every image, whatever the kind byte says.
    for (const bool pca : {false, true})
    {
        std::unique_ptr<BaseModelFileF> file;
        if (pca)
            file = std::make_unique<PCAModelFileF>();
        else
            file = std::make_unique<ModelFileF>();
        file->printProgress = false;
        const uint32_t consumed = file->readFromMemory (image, length);
        require (consumed <= length);
        if (file->status().ok)
            checkRoundTrip (*file);
    }

    const BlockShape block{h.nx, h.nv, h.ni};
    BlockModelState m;
    const ModelLoadResult first = loadModelImageIntoState (m, block, image, length, h.usesPca);
    require (first.ok == hasModel (m));
    require (first.ok || !first.message.empty());
    if (first.ok)
    {
        exercise (m, h, image, length);
        // Released buffers silence the block until a selection makes them anew.
        releaseProjectionBuffers (m);
        std::vector<double> p (h.nv, 0.0), i (h.ni, 1.0);
        regionStep (m, 0, p.data(), i.data());
        for (const double v : i)
            require (v == 0.0);
        selectPosition (m, 0);
        regionStep (m, 0, p.data(), i.data());
        // A second, failing load must leave the loaded model intact.
        const RegionNetwork* before = m.regions.data();
        const ModelLoadResult broken = loadModelImageIntoState (m, block, image, length / 2, h.usesPca);
        if (!broken.ok)
            require (m.regions.data() == before && hasModel (m));
    }
    destroyRegionNetworks (m);
    releaseProjectionBuffers (m);
    return 0;
}
