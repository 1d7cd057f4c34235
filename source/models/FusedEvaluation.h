#pragma once

#include "models/RegionNetwork.h"

// The fused evaluation of a region whose compiled network is of a shape this system builds (one
// hidden layer of 4 to 16 Elliot neurons, 1 to 4 inputs and outputs, a linear piece output):
// input scaling, both layers and the currents in one function with every size known at compile
// time. Each float is formed by the same operations in the same order as in the general
// evaluation (RegionNetwork::evaluate without it, CompiledNetwork::run), so the currents are
// identical. Null for any other shape, which keeps the general evaluation.
//
// There are two builds of every fused evaluation: one with SSE2, which every x86-64 processor
// has, and one with AVX2 (without FMA), whose hidden layer takes eight neurons per register. The
// two give the same floats; the wide one is used only where the processor has AVX2.
enum class FusedWidth
{
    sse2,
    avx2,
};

// True when this processor runs the AVX2 build.
bool processorHasAvx2() noexcept;

// The build attachFusedEvaluation takes on a processor with or without AVX2.
FusedWidth fusedWidthFor (bool hasAvx2) noexcept;

// The evaluation of the given build; null as well for the AVX2 build on a processor without
// AVX2, which must never run it.
RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region, FusedWidth width) noexcept;
// The one for this processor.
RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region) noexcept;

// Sets the region's evaluator (and what it reads of the compiled network) when there is a fused
// form for it, of the build for this processor. The region's compiled network and output mask
// must be final.
void attachFusedEvaluation (RegionNetwork& region) noexcept;
