// Load-time costs for a block-4-sized model: 3375 positions of 2 networks of 2-8-2.

#include "SampleModels.h"
#include "models/ModelLoading.h"
#include "models/ModelFileReading.h"
#include "models/NetworkBuilding.h"

#include <benchmark/benchmark.h>

namespace
{
SampleShape toneStackShape()
{
    SampleShape s; // nv 2, ni 2, nx 3
    s.positions = 3375;
    s.netsPerPosition = 2;
    s.hidden = {8};
    return s;
}

void BM_BuildRegionNetworks_3375x2_2_8_2 (benchmark::State& state)
{
    const auto image = sampleStandardFile (toneStackShape())->writeToMemory();
    TestBlock block (2, 2, 3);
    BlockModelState m;
    if (!loadModelImageIntoState (m, block, image.data(), image.size(), false).ok)
    {
        state.SkipWithError ("model did not load");
        return;
    }
    for (auto _ : state)
    {
        const auto status = buildRegionNetworks (m);
        benchmark::DoNotOptimize (status.ok);
    }
    state.counters["regions"] = m.regionCount;
}

void BM_ReadModelImage_3375x2_2_8_2 (benchmark::State& state)
{
    const auto image = sampleStandardFile (toneStackShape())->writeToMemory();
    for (auto _ : state)
    {
        auto result = readModelImage (image.data(), image.size(), false, 2, 2, 3);
        benchmark::DoNotOptimize (result.status.ok);
    }
    state.SetBytesProcessed (static_cast<int64_t> (state.iterations() * image.size()));
}
} // namespace

BENCHMARK (BM_BuildRegionNetworks_3375x2_2_8_2)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_ReadModelImage_3375x2_2_8_2)->Unit (benchmark::kMillisecond);
