// Cost of one channel chain with the real circuit blocks and model files shaped like the
// trained data (written here with the model file writer): blocks 1 to 3 pca-kind 4-8-4
// networks, 8 regions per position; block 4 standard-kind 2-8-2 networks, 4 regions. Every
// sample searches through all regions of a position before the covering one (the slowest
// search), and the pca projections are not the identity.
//
// Reported per factor: ns per host sample (one channel), ns per chain pass of the four blocks,
// and the real-time factor at 48 kHz (seconds of one channel's audio per second of one core).
#include "engine/ChannelChain.h"
#include "engine/FirResampler.h"
#include "engine/OversamplingTables.h"
#include "engine/PreampBlocks.h"
#include "support/ChainModelFiles.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
constexpr int32_t hostRate = 48000;
constexpr int blockSize = 512;

struct BlockShape
{
    uint32_t nv, ni, nx, regions;
    bool usesPca;
};
// nv, ni and nx are the blocks' own; positions are few because the per-sample cost does not
// depend on how many a file holds, only on the regions of the selected one.
constexpr BlockShape shapes[4] = {
    {4, 4, 5, 8, true}, {4, 4, 5, 8, true}, {4, 4, 2, 8, true}, {2, 2, 3, 4, false}};

// Model files written once per process, removed at exit.
struct ModelFolder
{
    ModelFolder() : path (chainfiles::makeTemporaryFolder ("varkel-chain-bench-"))
    {
        for (int k = 0; k < 4; ++k)
        {
            chainfiles::RepresentativeModel shape;
            shape.usesPca = shapes[k].usesPca;
            shape.nv = shapes[k].nv;
            shape.ni = shapes[k].ni;
            shape.nx = shapes[k].nx;
            shape.hidden = 8;
            shape.positions = 2;
            shape.regionsPerPosition = shapes[k].regions;
            shape.seed = 100u + static_cast<unsigned> (k);
            for (int f : {1, 2, 4, 8, 16})
                shape.rates.push_back (hostRate * f);
            const std::string error = chainfiles::writeRepresentativeModel (file (k), shape);
            if (!error.empty())
                throw std::runtime_error (error);
        }
    }
    ~ModelFolder() { std::filesystem::remove_all (path); }

    std::string file (int k) const { return path + "/block" + std::to_string (k + 1) + ".dat"; }

    std::string path;
};

const ModelFolder& models()
{
    static const ModelFolder folder;
    return folder;
}

std::vector<float> guitarLikeSignal (size_t n)
{
    std::mt19937 generator (3);
    std::normal_distribution<float> noise (0.0f, 0.01f);
    std::vector<float> v (n);
    for (size_t s = 0; s < n; ++s)
        v[s] = 0.3f * static_cast<float> (std::sin (2.0 * 3.14159265358979 * 110.0 * s / hostRate)) +
               noise (generator);
    return v;
}

void BM_ChannelChain (benchmark::State& state)
{
    const auto factor = static_cast<int32_t> (state.range (0));
    PreampBlockSet blocks = makePreampBlocks (hostRate);
    ChannelChain chain;
    for (int k = 0; k < 4; ++k)
    {
        const ModelLoadResult result =
            chain.loadBlockModel (k, blocks[k].get(), models().file (k), shapes[k].usesPca);
        if (!result.ok)
        {
            state.SkipWithError (result.message.c_str());
            return;
        }
    }
    chain.prepareRate (hostRate, factor);
    for (int k = 0; k < 4; ++k)
        chain.selectPosition (k, 1);

    const std::vector<float> input = guitarLikeSignal (blockSize);
    std::vector<float> samples (blockSize);
    for (auto _ : state)
    {
        samples = input;
        if (factor > 1)
            chain.processOversampled (samples.data(), blockSize);
        else
            chain.processPlain (samples.data(), blockSize);
        benchmark::DoNotOptimize (samples.data());
        benchmark::ClobberMemory();
    }

    // Time per host sample and per pass of the four blocks (CPU time); realtime_x is seconds of
    // one channel's 48 kHz audio per second of CPU (the library prints it with a "/s").
    const double hostSamples = static_cast<double> (state.iterations()) * blockSize;
    using benchmark::Counter;
    state.counters["per_host_sample"] = Counter (hostSamples, Counter::kIsRate | Counter::kInvert);
    state.counters["per_pass"] = Counter (hostSamples * factor, Counter::kIsRate | Counter::kInvert);
    state.counters["realtime_x"] = Counter (hostSamples / hostRate, Counter::kIsRate);
    if (!std::isfinite (samples[blockSize - 1]))
        state.SkipWithError ("the chain output went non-finite");
}
BENCHMARK (BM_ChannelChain)->Arg (1)->Arg (2)->Arg (4)->Arg (8)->Arg (16)->Unit (benchmark::kMicrosecond);

// The filters alone at x16: one push and 16 interpolated outputs, 16 decimator pushes and one
// full-length output per host sample.
void BM_FiltersAtSixteen (benchmark::State& state)
{
    const auto& h = oversamplingTable (16);
    FirResampler up (256, 16, h.data());
    FirResampler down (256, 1, h.data());
    const std::vector<float> input = guitarLikeSignal (blockSize);
    float out = 0.0f;
    for (auto _ : state)
    {
        for (float x : input)
        {
            up.push (x);
            down.push (up.nextOutput());
            out += down.nextOutput();
            for (int j = 1; j < 16; ++j)
            {
                down.push (up.nextOutput());
                down.advance();
            }
        }
        benchmark::DoNotOptimize (out);
    }
    const double hostSamples = static_cast<double> (state.iterations()) * blockSize;
    state.counters["per_host_sample"] =
        benchmark::Counter (hostSamples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK (BM_FiltersAtSixteen)->Unit (benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
