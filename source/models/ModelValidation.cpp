#include "models/ModelValidation.h"

#include "models/ModelRefusal.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr uint32_t maxNetworkCount = 65535; // runtime records hold network dimensions in 16 bits

// The record count R in element 0 must be a whole number whose records all lie in the table.
std::string checkRateTable (const std::vector<double>& table, uint64_t stride)
{
    if (table.empty())
        return {};
    const double records = table[0];
    if (!(records >= 0.0) || !std::isfinite (records) || records != std::floor (records))
        return "a rate table whose record count is not a whole number";
    const uint64_t available = (table.size() - 1) / stride;
    if (records > static_cast<double> (available))
        return "a rate table that claims " +
               std::to_string (static_cast<uint64_t> (std::min (records, 1e18))) +
               " records where its length holds " + std::to_string (available);
    return {};
}

// Placing a weight searches the whole network, so building costs the square of the weight
// count; a cap keeps a hostile file from stalling a load for hours. Trained nets are far smaller.
constexpr uint64_t maxWeightsPerNetwork = 65536;

template <typename Net>
std::string checkHiddenLayers (const Net& net)
{
    if (net.weightCount() > maxWeightsPerNetwork)
        return std::to_string (net.weightCount()) + " weights, more than the " +
               std::to_string (maxWeightsPerNetwork) + " a network may have";
    for (const uint32_t size : net.hiddenSizes)
    {
        if (size == 0)
            return "a hidden layer of 0 neurons";
        if (size > maxNetworkCount)
            return "a hidden layer of " + std::to_string (size) + " neurons (at most 65535)";
    }
    return {};
}

ModelLoadResult validateStandard (const ModelFileF& file, uint32_t nv, uint32_t ni, uint64_t stride)
{
    const ModelRecord& model = file.models[0];
    if (model.positions.empty())
        return refuse (file, "model 0 has no position");
    if (model.inputCount != nv || model.outputCount != ni)
        return refuse (file, "its networks have " + std::to_string (model.inputCount) + " inputs and " +
                                 std::to_string (model.outputCount) + " outputs where the block has " +
                                 std::to_string (nv) + " nonlinear inputs and " + std::to_string (ni) +
                                 " port currents");
    for (uint32_t a = 0; a < model.positionCount(); ++a)
    {
        const PositionRecord& position = model.positions[a];
        if (position.nets.empty())
            return refuse (file, "position " + std::to_string (a) + " has a net count of 0");
        if (const auto why = checkRateTable (position.rateTable, stride); !why.empty())
            return refuse (file, "position " + std::to_string (a) + " has " + why);
        for (uint32_t e = 0; e < position.netCount(); ++e)
            if (const auto why = checkHiddenLayers (position.nets[e]); !why.empty())
                return refuse (file, describeNet (a, e) + " has " + why);
    }
    return ModelLoadResult::success();
}

ModelLoadResult validatePca (const PCAModelFileF& file, uint32_t nv, uint32_t ni, uint64_t stride)
{
    const PCAModelRecord& model = file.models[0];
    if (model.positions.empty())
        return refuse (file, "model 0 has no position");
    for (uint32_t a = 0; a < model.positionCount(); ++a)
    {
        const PCAPositionRecord& position = model.positions[a];
        const std::string where = "position " + std::to_string (a);
        if (position.nets.empty())
            return refuse (file, where + " has a net count of 0");
        if (position.netOutputCount != ni)
            return refuse (file, where + " has networks with " + std::to_string (position.netOutputCount) +
                                     " outputs where the block has " + std::to_string (ni) +
                                     " port currents");
        if (position.netInputCount > nv)
            return refuse (file, where + " has networks with " + std::to_string (position.netInputCount) +
                                     " inputs, more than the block's " + std::to_string (nv) +
                                     " nonlinear inputs");
        if (position.inputMaskLength() < nv || position.outputMaskLength() < ni)
            return refuse (file, where + " has masks of " + std::to_string (position.inputMaskLength()) +
                                     " and " + std::to_string (position.outputMaskLength()) +
                                     " entries where the block needs " + std::to_string (nv) + " and " +
                                     std::to_string (ni));
        uint32_t selected = 0;
        for (uint32_t q = 0; q < nv; ++q)
            selected += position.inputMask[q] == 1 ? 1 : 0;
        if (selected != position.projectionRows)
            return refuse (file, where + " selects " + std::to_string (selected) +
                                     " inputs but its projection has " +
                                     std::to_string (position.projectionRows) + " rows");
        if (const auto why = checkRateTable (position.rateTable, stride); !why.empty())
            return refuse (file, where + " has " + why);
        for (uint32_t e = 0; e < position.netCount(); ++e)
        {
            const PCANetRecord& net = position.nets[e];
            if (net.hiddenLayerCount() != 1)
                return refuse (file, "pca " + describeNet (a, e) + " has " +
                                         std::to_string (net.hiddenLayerCount()) +
                                         " hidden layers where exactly one is required");
            if (const auto why = checkHiddenLayers (net); !why.empty())
                return refuse (file, describeNet (a, e) + " has " + why);
        }
    }
    return ModelLoadResult::success();
}
} // namespace

ModelLoadResult validateModelFile (const BaseModelFileF& file, uint32_t nv, uint32_t ni, uint32_t nx)
{
    if (!file.status().ok)
        return file.status();
    if (ni == 0 || nv > maxNetworkCount || ni > maxNetworkCount)
        return refuse (file, "cannot serve a block with " + std::to_string (nv) + " nonlinear inputs and " +
                                 std::to_string (ni) + " port currents");
    if (file.modelCount() == 0)
        return refuse (file, "holds no model");
    const uint64_t stride = 1 + uint64_t (nv) + ni + nx;
    if (const auto* standard = dynamic_cast<const ModelFileF*> (&file))
        return validateStandard (*standard, nv, ni, stride);
    if (const auto* pca = dynamic_cast<const PCAModelFileF*> (&file))
        return validatePca (*pca, nv, ni, stride);
    return refuse (file, "is of an unknown kind");
}
