#include "models/FusedEvaluation.h"

#include "models/NetworkKernels.h"

#include <immintrin.h>

namespace
{
using A = CompiledNetwork::Activation;

namespace sse2
{
constexpr bool wideVectors = false;
#include "models/FusedEvaluationKernels.h"
} // namespace sse2

// The same kernels for processors with AVX2; no FMA, so every product and sum rounds on its own.
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2
{
constexpr bool wideVectors = true;
#include "models/FusedEvaluationKernels.h"
} // namespace avx2
#pragma GCC pop_options
} // namespace

bool processorHasAvx2() noexcept
{
    // Idempotent; needed when this runs before libgcc's own constructor has filled in the model.
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2") != 0;
}

FusedWidth fusedWidthFor (bool hasAvx2) noexcept
{
    return hasAvx2 ? FusedWidth::avx2 : FusedWidth::sse2;
}

RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region, FusedWidth width) noexcept
{
    if (region.compiled == nullptr || region.compiled->layerCount() != 2)
        return nullptr;
    const CompiledNetwork& network = *region.compiled;
    const CompiledNetwork::LayerView hidden = network.layer (0);
    const CompiledNetwork::LayerView output = network.layer (1);
    if (hidden.activation != A::elliotSymmetric || output.lanes != 4 || output.sources != hidden.neurons ||
        hidden.sources != region.inputCount || output.neurons != region.outputCount ||
        region.outputMask == nullptr)
        return nullptr;
    // A mask that drives every current, in order, needs no test per entry.
    bool everyOutput = region.maskLength == region.outputCount;
    for (uint32_t j = 0; everyOutput && j < region.maskLength; ++j)
        everyOutput = region.outputMask[j] == 1;
    if (width == FusedWidth::avx2)
        return processorHasAvx2() ? avx2::evaluatorFor (hidden.sources, hidden.neurons, output.neurons,
                                                        output.activation, everyOutput)
                                  : nullptr;
    return sse2::evaluatorFor (hidden.sources, hidden.neurons, output.neurons, output.activation,
                               everyOutput);
}

RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region) noexcept
{
    static const FusedWidth width = fusedWidthFor (processorHasAvx2());
    return fusedEvaluatorFor (region, width);
}

void attachFusedEvaluation (RegionNetwork& region) noexcept
{
    region.evaluator = fusedEvaluatorFor (region);
    if (region.evaluator == nullptr)
        return;
    region.fusedLayers[0] = region.compiled->layer (0);
    region.fusedLayers[1] = region.compiled->layer (1);
    RegionNetwork::FusedScaling& scaling = region.fusedScaling;
    scaling = {};
    for (uint32_t q = 0; q < region.inputCount; ++q)
    {
        scaling.inputMin[q] = static_cast<double> (region.inputMin[q]);
        scaling.inputScale[q] = static_cast<double> (region.inputScale[q]);
    }
    for (uint32_t j = 0; j < region.outputCount; ++j)
    {
        scaling.outputScale[j] = region.outputScale[j];
        scaling.outputMin[j] = region.outputMin[j];
    }
}
