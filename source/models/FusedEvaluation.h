#pragma once

#include "models/RegionNetwork.h"

// The fused evaluation of a region whose compiled network is of a shape this system builds (one
// hidden layer of 4 to 16 Elliot neurons, 1 to 4 inputs and outputs, a linear piece output):
// input scaling, both layers and the currents in one function with every size known at compile
// time. Each float is formed by the same operations in the same order as in the general
// evaluation (RegionNetwork::evaluate without it, CompiledNetwork::run), so the currents are
// identical. Null for any other shape, which keeps the general evaluation.
RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region) noexcept;

// Sets the region's evaluator (and what it reads of the compiled network) when there is a fused
// form for it. The region's compiled network and output mask must be final.
void attachFusedEvaluation (RegionNetwork& region) noexcept;
