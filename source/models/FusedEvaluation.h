#pragma once

#include "models/RegionNetwork.h"

// The fused evaluation of a region whose compiled network is of a shape this system builds (one
// hidden layer of Elliot neurons, up to 4 inputs and 4 outputs, a linear piece output): input
// scaling, both layers and the currents in one function with every size known at compile time.
// Each float is formed by the same operations in the same order as in the general evaluation
// (RegionNetwork::evaluate without it, CompiledNetwork::run), so the currents are identical.
// Null for any other shape, which keeps the general evaluation.
RegionEvaluator fusedEvaluatorFor (const RegionNetwork& region) noexcept;
