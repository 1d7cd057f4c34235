#include "engine/PreampBlocks.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
// Control path: a gain or tone change recomputes all nine matrices from the netlist.
void setControlPosition (benchmark::State& state)
{
    auto blocks = makePreampBlocks (44100.0);
    auto& block = *blocks[static_cast<size_t> (state.range (0))];
    const auto last = static_cast<uint32_t> (block.numPositions - 1);
    uint32_t position = 0;
    for (auto _ : state)
    {
        block.setControlPosition (position);
        position = position == last ? 0 : position + 1;
        benchmark::DoNotOptimize (block.A.values.data());
    }
    state.SetLabel ("block " + std::to_string (state.range (0) + 1));
}
BENCHMARK (setControlPosition)->Arg (0)->Arg (3)->Unit (benchmark::kMicrosecond);

// Per-sample path: p = D x + E u, xNext = A x + B u + C i, y = G x + H u + K i of one block.
void perSampleOperations (benchmark::State& state)
{
    auto blocks = makePreampBlocks (44100.0);
    auto& block = *blocks[static_cast<size_t> (state.range (0))];
    std::vector<double> u (block.numInputs, 300.0), x (block.numStates, 1e-4), xNext (block.numStates),
        i (block.numNonlinearOutputs, 1e-3), p (block.numNonlinearInputs), y (1);
    u[0] = 0.1;
    for (auto _ : state)
    {
        block.computeNonlinearInputs (u.data(), x.data(), p.data());
        block.updateState (u.data(), i.data(), x.data(), xNext.data());
        block.computeOutput (u.data(), xNext.data(), i.data(), y.data());
        benchmark::DoNotOptimize (y.data());
        benchmark::DoNotOptimize (p.data());
        benchmark::ClobberMemory();
        u[0] += 1e-6;
    }
    state.SetLabel ("block " + std::to_string (state.range (0) + 1));
}
BENCHMARK (perSampleOperations)->DenseRange (0, 3)->Unit (benchmark::kNanosecond);
} // namespace
