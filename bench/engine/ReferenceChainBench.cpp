#include "reference/ReferenceChain.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace
{
// One sample of the exactly solved chain (four Newton solves) on a 1 kHz, 0.5 V sine.
void referenceChainSample (benchmark::State& state)
{
    const double rate = static_cast<double> (state.range (0));
    const auto gain = static_cast<int> (state.range (1));
    ReferenceChain chain (rate, gain, 1687);
    long n = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize (
            chain.process (0.5 * std::sin (2.0 * 3.14159265358979 * 1000.0 * n / rate)));
        ++n;
    }
    const auto& s = chain.stats();
    state.counters["iterations/solve"] =
        static_cast<double> (s.newtonIterations) / static_cast<double> (s.solves);
    state.counters["rescues"] = static_cast<double> (s.rescues);
    state.counters["failures"] = static_cast<double> (s.failures);
}
BENCHMARK (referenceChainSample)->Args ({44100, 8})->Args ({44100, 16})->Unit (benchmark::kNanosecond);
} // namespace
