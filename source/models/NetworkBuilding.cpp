#include "models/NetworkBuilding.h"

#include "models/ModelRefusal.h"

#include <floatfann.h>

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

// Reads the finished FANN network into its evaluation form; FANN keeps owning the network.
void attachCompiledNetwork (RegionNetwork& region)
{
    auto compiled = std::make_shared<CompiledNetwork> (CompiledNetwork::compile (region.network.get()));
    if (!compiled->isValid())
        return;
    region.networkScratch.reset (compiled->scratchSize());
    region.compiled = std::move (compiled);
}

// Builds the networks of one position into `built`; m keeps its table until all of them exist.
template <typename Position, typename Net, typename Create>
ModelLoadResult buildPosition (const BlockModelState& m, const std::vector<Position>& positions, uint32_t a,
                               uint32_t (*inputsOf) (const Position&), Create create,
                               std::vector<RegionNetwork>& built)
{
    const uint32_t ni = m.shape.numNonlinearOutputs;
    std::vector<unsigned int> layers;
    const Position& position = positions[a];
    const uint32_t nIn = inputsOf (position);
    built.reserve (position.nets.size());
    for (uint32_t e = 0; e < position.nets.size(); ++e)
    {
        const Net& net = position.nets[e];
        RegionNetwork& region = built.emplace_back (static_cast<uint16_t> (nIn), static_cast<uint16_t> (ni));
        fillScaling (region, net);
        region.maskLength = static_cast<uint16_t> (ni);
        region.outputMask = m.outputMask.data();

        layers.assign (1, nIn);
        layers.insert (layers.end(), net.hiddenSizes.begin(), net.hiddenSizes.end());
        layers.push_back (ni);
        region.network = create (net, layers);
        if (region.network == nullptr)
            return refuse (*m.modelFile, "the network of " + describeNet (a, e) + " could not be created");
        if (!m.referenceEvaluation)
            attachCompiledNetwork (region);
    }
    return ModelLoadResult::success();
}

template <typename Position>
void indexPositions (BlockModelState& m, const std::vector<Position>& positions)
{
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

ModelLoadResult buildRegionNetworks (BlockModelState& m)
{
    destroyRegionNetworks (m);
    if (m.modelFile == nullptr || m.positionCount == 0)
        return ModelLoadResult::failure ("no model file or block to build networks from");
    if (m.outputMask.size() != m.shape.numNonlinearOutputs)
        return refuse (*m.modelFile, "the block's output mask is not allocated");

    const uint32_t a = std::min (m.selectedPosition, m.positionCount - 1);
    std::vector<RegionNetwork> built;
    ModelLoadResult status = ModelLoadResult::failure (m.modelFile->name() + ": is not of the block's kind");
    try
    {
        if (m.usesPca)
        {
            if (const auto* file = dynamic_cast<const PCAModelFileF*> (m.modelFile.get());
                file != nullptr && a < file->models[0].positions.size())
            {
                indexPositions (m, file->models[0].positions);
                status = buildPosition<PCAPositionRecord, PCANetRecord> (m, file->models[0].positions, a,
                                                                         pcaInputs, createPcaNetwork, built);
            }
        }
        else if (const auto* file = dynamic_cast<const ModelFileF*> (m.modelFile.get());
                 file != nullptr && a < file->models[0].positions.size())
        {
            indexPositions (m, file->models[0].positions);
            status = buildPosition<PositionRecord, NetRecord> (m, file->models[0].positions, a,
                                                               standardInputs, createStandardNetwork, built);
        }
    }
    catch (const std::bad_alloc&)
    {
        status = refuse (*m.modelFile, "its networks need more memory than is available");
    }
    if (!status.ok)
    {
        destroyRegionNetworks (m);
        return status;
    }
    m.regions.swap (built);
    m.regionsPosition = a;
    if (m.referenceEvaluation)
        return status;
    try
    {
        m.regionIndex.build (m.regions.data(), static_cast<uint32_t> (m.regions.size()), {0u});
    }
    catch (const std::bad_alloc&)
    {
        destroyRegionNetworks (m);
        return refuse (*m.modelFile, "its region index needs more memory than is available");
    }
    return status;
}

void useReferenceEvaluation (BlockModelState& m)
{
    m.referenceEvaluation = true;
    for (RegionNetwork& region : m.regions)
    {
        region.compiled.reset();
        region.networkScratch.reset();
    }
    m.regionIndex.clear();
}

void destroyRegionNetworks (BlockModelState& m)
{
    m.selectedRegions = nullptr;
    m.lastRegion = nullptr;
    m.selectedRegionCount = 0;
    m.regionIndex.clear();
    std::vector<RegionNetwork>().swap (m.regions);
    m.regionsPosition = BlockModelState::noPosition;
}
