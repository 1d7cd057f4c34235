#include "models/NetworkBuilding.h"

#include "models/FusedEvaluation.h"
#include "models/ModelRefusal.h"
#include "models/NetworkLibrary.h"

#include <floatfann.h>

#include <algorithm>
#include <new>

namespace
{
template <typename Net>
void fillScaling (RegionNetwork& region, const Net& net)
{
    for (uint32_t q = 0; q < region.inputCount; ++q)
    {
        region.lowerBound[q] = net.lowerBound[q];
        region.upperBound[q] = net.upperBound[q];
        region.inputMin[q] = net.inputMin[q];
        region.inputMax[q] = net.inputMax[q];
        region.inputScale[q] =
            net.inputMax[q] != net.inputMin[q] ? 2.0f / (net.inputMax[q] - net.inputMin[q]) : 0.0f;
    }
    for (uint32_t o = 0; o < region.outputCount; ++o)
    {
        region.outputMin[o] = net.outputMin[o];
        region.outputMax[o] = net.outputMax[o];
        const float difference = net.outputMax[o] - net.outputMin[o];
        region.outputScale[o] =
            (net.outputMax[o] > net.outputMin[o] && difference < 1e-8f) ? 1e-8f : difference;
    }
}

// Places the file's weights in file order: per layer pair, per destination neuron, the sources
// and then the source layer's bias. FANN numbers neurons layer by layer with each layer's bias
// last, so source h of a pair starting at `base` is neuron base + h and destination g is
// base + n + 1 + g.
template <typename Net>
FannNetwork createNetwork (const Net& net, const std::vector<unsigned int>& layers)
{
    FannNetwork network (
        fann_create_sparse_array (1.0f, static_cast<unsigned int> (layers.size()), layers.data()));
    if (network == nullptr)
        return network;
    unsigned int base = 0;
    size_t w = 0;
    for (size_t c = 0; c + 1 < layers.size(); ++c)
    {
        const unsigned int n = layers[c];
        const unsigned int m = layers[c + 1];
        for (unsigned int g = 0; g < m; ++g)
            for (unsigned int h = 0; h <= n; ++h)
                fann_set_weight (network.get(), base + h, base + n + 1 + g, net.weights[w++]);
        base += n + 1;
    }
    fann_set_activation_function_hidden (network.get(), FANN_ELLIOT_SYMMETRIC);
    return network;
}

FannNetwork createStandardNetwork (const NetRecord& net, const std::vector<unsigned int>& layers)
{
    FannNetwork network = createNetwork (net, layers);
    if (network == nullptr)
        return network;
    fann_set_activation_function_output (network.get(), FANN_LINEAR_PIECE);
    fann_set_activation_steepness_hidden (network.get(), net.hiddenSteepness);
    fann_set_activation_steepness_output (network.get(), net.outputSteepness);
    return network;
}

FannNetwork createPcaNetwork (const PCANetRecord& net, const std::vector<unsigned int>& layers)
{
    FannNetwork network = createNetwork (net, layers);
    if (network == nullptr)
        return network;
    fann_set_activation_function_output (network.get(), FANN_LINEAR_PIECE_SYMMETRIC);
    // With the single hidden layer a pca net has, layer 1 is hidden and layer 2 the output.
    for (unsigned int q = 0; q < layers[1]; ++q)
        fann_set_activation_steepness (network.get(), net.hiddenNeuronSteepness[q], 1, static_cast<int> (q));
    for (unsigned int q = 0; q < layers[2]; ++q)
        fann_set_activation_steepness (network.get(), net.outputNeuronSteepness[q], 2, static_cast<int> (q));
    return network;
}

// The compiled form straight from the record, as FANN would run the network createNetwork
// makes of it: hidden layers Elliot symmetric, the output linear piece (standard) or linear
// piece symmetric (pca). Null for a record of another form (a pca net with more than one hidden
// layer), which then goes through FANN.
std::shared_ptr<const CompiledNetwork> compileRecord (const NetRecord& net, const std::vector<uint32_t>& sizes)
{
    using A = CompiledNetwork::Activation;
    std::vector<CompiledNetwork::LayerForm> forms (sizes.size() - 1);
    for (size_t l = 1; l < sizes.size(); ++l)
    {
        const bool output = l + 1 == sizes.size();
        forms[l - 1].activation = output ? A::linearPiece : A::elliotSymmetric;
        forms[l - 1].steepness.assign (sizes[l], output ? net.outputSteepness : net.hiddenSteepness);
    }
    auto compiled = std::make_shared<CompiledNetwork> (
        CompiledNetwork::fromWeights (sizes, net.weights.data(), net.weights.size(), forms));
    return compiled->isValid() ? std::move (compiled) : nullptr;
}

std::shared_ptr<const CompiledNetwork> compileRecord (const PCANetRecord& net, const std::vector<uint32_t>& sizes)
{
    using A = CompiledNetwork::Activation;
    if (sizes.size() != 3 || net.hiddenNeuronSteepness.size() < sizes[1] ||
        net.outputNeuronSteepness.size() < sizes[2])
        return nullptr;
    std::vector<CompiledNetwork::LayerForm> forms (2);
    forms[0].activation = A::elliotSymmetric;
    forms[0].steepness.assign (net.hiddenNeuronSteepness.begin(), net.hiddenNeuronSteepness.begin() + sizes[1]);
    forms[1].activation = A::linearPieceSymmetric;
    forms[1].steepness.assign (net.outputNeuronSteepness.begin(), net.outputNeuronSteepness.begin() + sizes[2]);
    auto compiled = std::make_shared<CompiledNetwork> (
        CompiledNetwork::fromWeights (sizes, net.weights.data(), net.weights.size(), forms));
    return compiled->isValid() ? std::move (compiled) : nullptr;
}

// Builds the table of one position. The plain form gets a FANN network per region and nothing
// compiled; the fast form gets compiled networks only, made from the records, or read out of a
// FANN network for a record of a form compileRecord does not take (the FANN network is not
// kept: a shared table must never be written).
template <typename Position, typename Net, typename Create>
ModelLoadResult buildPosition (const BaseModelFileF& file, uint32_t ni, const std::vector<Position>& positions,
                               uint32_t a, uint32_t (*inputsOf) (const Position&), Create create, bool plain,
                               PositionTable& table)
{
    std::vector<unsigned int> layers;
    std::vector<uint32_t> sizes;
    const Position& position = positions[a];
    const uint32_t nIn = inputsOf (position);
    table.regions.reserve (position.nets.size());
    table.maxInputs = nIn;
    for (uint32_t e = 0; e < position.nets.size(); ++e)
    {
        const Net& net = position.nets[e];
        RegionNetwork& region =
            table.regions.emplace_back (static_cast<uint16_t> (nIn), static_cast<uint16_t> (ni));
        fillScaling (region, net);
        region.maskLength = static_cast<uint16_t> (ni);
        region.outputMask = table.outputMask.data();

        layers.assign (1, nIn);
        layers.insert (layers.end(), net.hiddenSizes.begin(), net.hiddenSizes.end());
        layers.push_back (ni);
        sizes.assign (layers.begin(), layers.end());
        if (!plain)
            region.compiled = compileRecord (net, sizes);
        if (region.compiled == nullptr)
        {
            FannNetwork network = create (net, layers);
            if (network == nullptr)
                return refuse (file, "the network of " + describeNet (a, e) + " could not be created");
            if (plain)
                region.network = std::move (network);
            else
            {
                auto compiled = std::make_shared<CompiledNetwork> (CompiledNetwork::compile (network.get()));
                if (!compiled->isValid())
                    return refuse (file, "the network of " + describeNet (a, e) +
                                             " is of a form the evaluation does not reproduce");
                region.compiled = std::move (compiled);
            }
        }
        if (region.compiled != nullptr)
        {
            attachFusedEvaluation (region);
            table.scratchFloats = std::max (table.scratchFloats, region.compiled->scratchSize());
        }
    }
    return ModelLoadResult::success();
}

void fillOutputMask (const PCAPositionRecord& position, PositionTable& table)
{
    for (size_t j = 0; j < table.outputMask.size(); ++j)
        table.outputMask[j] =
            j < position.outputMask.size() ? static_cast<uint16_t> (position.outputMask[j] & 0xffffu) : 1;
}

void fillOutputMask (const PositionRecord&, PositionTable& table)
{
    for (size_t j = 0; j < table.outputMask.size(); ++j)
        table.outputMask[j] = 1;
}

// Once per load: a state's file changes only by a load into a fresh state.
template <typename Position>
void indexPositions (BlockModelState& m, const std::vector<Position>& positions)
{
    if (m.positionFirstRegion.size() == positions.size())
        return;
    m.positionFirstRegion.clear();
    m.positionFirstRegion.reserve (positions.size());
    uint32_t first = 0;
    for (const Position& position : positions)
    {
        m.positionFirstRegion.push_back (first);
        first += position.netCount();
    }
}

uint32_t standardInputs (const PositionRecord& position)
{
    return position.inputCount;
}
uint32_t pcaInputs (const PCAPositionRecord& position)
{
    return position.netInputCount;
}
} // namespace

std::unique_ptr<PositionTable> buildPositionTable (const BaseModelFileF& file, uint32_t ni, uint32_t position,
                                                   bool plain, ModelLoadResult& status)
{
    status = ModelLoadResult::failure (file.name() + ": is not of the block's kind");
    try
    {
        auto table = std::make_unique<PositionTable>();
        table->outputMask.reset (ni);
        if (const auto* pca = dynamic_cast<const PCAModelFileF*> (&file))
        {
            if (pca->models.empty() || position >= pca->models[0].positions.size())
                return nullptr;
            const auto& positions = pca->models[0].positions;
            fillOutputMask (positions[position], *table);
            status = buildPosition<PCAPositionRecord, PCANetRecord> (file, ni, positions, position, pcaInputs,
                                                                     createPcaNetwork, plain, *table);
        }
        else if (const auto* standard = dynamic_cast<const ModelFileF*> (&file))
        {
            if (standard->models.empty() || position >= standard->models[0].positions.size())
                return nullptr;
            const auto& positions = standard->models[0].positions;
            fillOutputMask (positions[position], *table);
            status = buildPosition<PositionRecord, NetRecord> (file, ni, positions, position, standardInputs,
                                                               createStandardNetwork, plain, *table);
        }
        if (!status.ok)
            return nullptr;
        if (!plain)
        {
            table->index.build (table->regions.data(), static_cast<uint32_t> (table->regions.size()), {0u});
            table->hints.build (table->regions.data(), static_cast<uint32_t> (table->regions.size()));
        }
        return table;
    }
    catch (const std::bad_alloc&)
    {
        status = refuse (file, "its networks need more memory than is available");
        return nullptr;
    }
}

namespace
{
void attachTable (BlockModelState& m, const PositionTable& table, uint32_t position)
{
    m.table = &table;
    m.regions = RegionSpan{table.regions.data(), table.regions.size()};
    m.regionsPosition = position;
    m.previousRegion = nullptr; // it may point into the table this one replaces
    m.regionIndex = m.referenceEvaluation ? nullptr : &table.index;
    m.regionHints = m.referenceEvaluation || !table.hints.isBuilt() ? nullptr : &table.hints;
}
} // namespace

ModelLoadResult buildRegionNetworks (BlockModelState& m)
{
    if (m.modelFile == nullptr || m.positionCount == 0)
    {
        destroyRegionNetworks (m);
        return ModelLoadResult::failure ("no model file or block to build networks from");
    }
    if (m.outputMask.size() != m.shape.numNonlinearOutputs)
    {
        destroyRegionNetworks (m);
        return refuse (*m.modelFile, "the block's output mask is not allocated");
    }

    const uint32_t a = std::min (m.selectedPosition, m.positionCount - 1);
    try
    {
        if (const auto* pca = dynamic_cast<const PCAModelFileF*> (m.modelFile.get()); pca != nullptr && m.usesPca)
            indexPositions (m, pca->models[0].positions);
        else if (const auto* standard = dynamic_cast<const ModelFileF*> (m.modelFile.get());
                 standard != nullptr && !m.usesPca)
            indexPositions (m, standard->models[0].positions);
        else
        {
            destroyRegionNetworks (m);
            return ModelLoadResult::failure (m.modelFile->name() + ": is not of the block's kind");
        }

        if (!m.referenceEvaluation)
        {
            // Every position's table exists once the library does, so selecting one allocates
            // nothing: the scratch is sized for the largest network of the file.
            ModelLoadResult status = ModelLoadResult::success();
            if (m.library == nullptr || !m.library->isFor (*m.modelFile))
                m.library = NetworkLibrary::forFile (m.modelFile, m.shape.numNonlinearOutputs, status);
            if (m.library == nullptr)
            {
                destroyRegionNetworks (m);
                return status;
            }
            const PositionTable* table = m.library->table (a);
            if (table == nullptr)
            {
                destroyRegionNetworks (m);
                return refuse (*m.modelFile, "has no networks for position " + std::to_string (a));
            }
            m.scratch.reserve (m.library->maxInputs(), m.library->scratchFloats());
            m.ownTable.reset();
            attachTable (m, *table, a);
            return ModelLoadResult::success();
        }

        ModelLoadResult status = ModelLoadResult::success();
        auto table = buildPositionTable (*m.modelFile, m.shape.numNonlinearOutputs, a, true, status);
        if (table == nullptr)
        {
            destroyRegionNetworks (m);
            return status;
        }
        m.scratch.reserve (table->maxInputs, 0);
        destroyRegionNetworks (m);
        m.ownTable = std::move (table);
        attachTable (m, *m.ownTable, a);
        return status;
    }
    catch (const std::bad_alloc&)
    {
        destroyRegionNetworks (m);
        return refuse (*m.modelFile, "its networks need more memory than is available");
    }
}

void useReferenceEvaluation (BlockModelState& m)
{
    m.referenceEvaluation = true;
    m.library.reset();
    m.regionIndex = nullptr;
    m.regionHints = nullptr;
    if (m.regionsPosition == BlockModelState::noPosition || m.modelFile == nullptr)
        return;
    // The shared tables hold no FANN networks: the position in use is built again, plainly.
    const bool selected = m.selectedRegions != nullptr;
    const uint32_t keep = m.selectedPosition;
    m.selectedPosition = m.regionsPosition;
    const bool built = buildRegionNetworks (m).ok;
    m.selectedPosition = keep;
    if (built && selected)
    {
        m.selectedRegions = m.regions.data();
        m.selectedRegionCount = static_cast<uint32_t> (m.regions.size());
        m.lastRegion = m.selectedRegions;
        m.previousRegion = nullptr;
    }
}

void destroyRegionNetworks (BlockModelState& m)
{
    m.selectedRegions = nullptr;
    m.lastRegion = nullptr;
    m.previousRegion = nullptr;
    m.selectedRegionCount = 0;
    m.regionIndex = nullptr;
    m.regionHints = nullptr;
    m.table = nullptr;
    m.regions = RegionSpan{};
    m.ownTable.reset();
    m.regionsPosition = BlockModelState::noPosition;
}
