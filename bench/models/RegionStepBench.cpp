// Per-sample cost of the region step for a 4-input block with 4-8-4 networks, by the number of
// regions of the selected position (boxes tile the first input, so the search scans half of
// them on average).

#include "SampleModels.h"
#include "models/ModelLoading.h"
#include "models/PositionSelection.h"

#include <benchmark/benchmark.h>

namespace
{
void runRegionStep (benchmark::State& state, bool usesPca)
{
    SampleShape s;
    s.nv = 4;
    s.ni = 4;
    s.nx = 5;
    s.positions = 2;
    s.hidden = {8};
    s.netsPerPosition = static_cast<uint32_t> (state.range (0));
    const auto image =
        usesPca ? samplePcaFile (s, 4)->writeToMemory() : sampleStandardFile (s)->writeToMemory();
    TestBlock block (4, 4, 5);
    BlockModelState m;
    if (!loadModelImageIntoState (m, block, image.data(), image.size(), usesPca).ok)
    {
        state.SkipWithError ("model did not load");
        return;
    }
    selectPosition (m, 1);

    constexpr size_t pointCount = 4096;
    std::vector<double> points (pointCount * 4);
    SampleValues values (11);
    for (auto& v : points)
        v = 0.999 * values.next();
    double i[4] = {};
    size_t n = 0;
    for (auto _ : state)
    {
        regionStep (m, 0, &points[n * 4], i);
        benchmark::DoNotOptimize (i);
        n = (n + 1) % pointCount;
    }
    state.SetItemsProcessed (state.iterations());
}

void BM_RegionStepStandard_4_8_4 (benchmark::State& state)
{
    runRegionStep (state, false);
}
void BM_RegionStepPca_4_8_4 (benchmark::State& state)
{
    runRegionStep (state, true);
}
} // namespace

BENCHMARK (BM_RegionStepStandard_4_8_4)->Arg (1)->Arg (8)->Arg (32);
BENCHMARK (BM_RegionStepPca_4_8_4)->Arg (1)->Arg (8)->Arg (32);
