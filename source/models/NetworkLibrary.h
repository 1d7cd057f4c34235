#pragma once

#include "models/ModelFile.h"
#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

#include <cstdint>
#include <memory>
#include <vector>

// The region tables of every position of one model file, built once per process and shared
// read-only by every block, chain and instance that loads the file: a control change then only
// points a block at another table, without building, compiling or allocating anything.
//
// Positions whose nets are the same, record for record, share one table (block 4's thousands of
// tone positions are trained on a few network sets), so the library costs little more memory
// than the distinct networks of the file. It keeps its file alive as long as it lives itself.
class NetworkLibrary
{
public:
    // The library of the file for a block with ni port currents: the live one when some block
    // still holds it, else a new one. Null, with the reason in status, when a network of the file
    // cannot be made. Safe from several threads.
    static std::shared_ptr<const NetworkLibrary> forFile (const std::shared_ptr<const BaseModelFileF>& file,
                                                          uint32_t ni, ModelLoadResult& status);

    // Builds without sharing: for tests and benchmarks of the building itself.
    static std::shared_ptr<const NetworkLibrary> build (const std::shared_ptr<const BaseModelFileF>& file,
                                                        uint32_t ni, ModelLoadResult& status);

    bool isFor (const BaseModelFileF& f) const noexcept { return file.get() == &f; }
    uint32_t positionCount() const noexcept { return static_cast<uint32_t> (tableOfPosition.size()); }
    // Null past the last position.
    const PositionTable* table (uint32_t position) const noexcept
    {
        return position < tableOfPosition.size() ? tables[tableOfPosition[position]].get() : nullptr;
    }
    // Distinct tables, at most one per position.
    size_t tableCount() const noexcept { return tables.size(); }
    uint32_t maxInputs() const noexcept { return largestInputs; }
    size_t scratchFloats() const noexcept { return largestScratch; }

private:
    std::shared_ptr<const BaseModelFileF> file;
    std::vector<uint32_t> tableOfPosition;
    std::vector<std::unique_ptr<PositionTable>> tables;
    uint32_t largestInputs = 0;
    size_t largestScratch = 0;
};
