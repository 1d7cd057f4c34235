#include "models/NetworkConstruction.h"

#include <floatfann.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace
{
constexpr uint32_t maxNetworkCount = 65535; // runtime records hold network dimensions in 16 bits

std::string describeNet (uint32_t position, uint32_t net)
{
    return "net " + std::to_string (net) + " of position " + std::to_string (position);
}

ModelLoadResult refuse (const BaseModelFileF& file, const std::string& why)
{
    return ModelLoadResult::failure (file.name() + ": " + why);
}

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
    const uint32_t ni = m.block->numNonlinearOutputs;
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

const std::vector<double>* rateTableOf (const BlockModelState& m, uint32_t position)
{
    if (m.usesPca)
    {
        const auto* file = dynamic_cast<const PCAModelFileF*> (m.modelFile.get());
        if (file == nullptr || file->models.empty() || position >= file->models[0].positions.size())
            return nullptr;
        return &file->models[0].positions[position].rateTable;
    }
    const auto* file = dynamic_cast<const ModelFileF*> (m.modelFile.get());
    if (file == nullptr || file->models.empty() || position >= file->models[0].positions.size())
        return nullptr;
    return &file->models[0].positions[position].rateTable;
}

// The record key is compared after truncation toward zero to 32 bits; keys outside that range
// (or NaN) can never match, and are not converted.
bool keyMatches (double key, int32_t rate)
{
    if (!(key > -2147483649.0 && key < 2147483648.0))
        return false;
    return static_cast<int32_t> (key) == rate;
}

void copyValues (const double* from, uint32_t count, double* to)
{
    if (to == nullptr)
        return;
    for (uint32_t e = 0; e < count; ++e)
        to[e] = from[e];
}

template <typename T>
void ensureSize (AlignedArray<T>& array, size_t count)
{
    if (array.size() != count)
        array.reset (count);
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

ModelFileReadResult readModelFile (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                   uint32_t nx)
{
    ModelFileReadResult result;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        if (file->openRead (path.c_str()) == nullptr)
        {
            result.status = file->status();
            return result;
        }
        file->read();
        file->close();
        result.status = validateModelFile (*file, nv, ni, nx);
        if (result.status.ok)
            result.file = std::move (file);
    }
    catch (const std::bad_alloc&)
    {
        result.status = ModelLoadResult::failure (path + ": needs more memory than is available");
    }
    return result;
}

ModelFileReadResult readModelImage (const void* image, size_t length, bool usesPca, uint32_t nv, uint32_t ni,
                                    uint32_t nx, const std::string& name)
{
    ModelFileReadResult result;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        file->setName (name);
        file->printProgress = false;
        file->readFromMemory (image, length);
        result.status = validateModelFile (*file, nv, ni, nx);
        if (result.status.ok)
            result.file = std::move (file);
    }
    catch (const std::bad_alloc&)
    {
        result.status = ModelLoadResult::failure (name + ": needs more memory than is available");
    }
    return result;
}

ModelLoadResult loadModelFileIntoState (BlockModelState& m, SSParamsVecAutomation* block,
                                        std::shared_ptr<const BaseModelFileF> file)
{
    if (file == nullptr)
        return ModelLoadResult::failure ("no model file was given");
    if (block == nullptr)
        return ModelLoadResult::failure (file->name() + ": no block to load it into");
    const uint32_t nv = block->numNonlinearInputs;
    const uint32_t ni = block->numNonlinearOutputs;
    if (auto status = validateModelFile (*file, nv, ni, block->numStates); !status.ok)
        return status;

    try
    {
        BlockModelState staged;
        staged.block = block;
        staged.usesPca = file->usesPca() ? 1 : 0;
        uint64_t regionCount = 0;
        if (const auto* pca = dynamic_cast<const PCAModelFileF*> (file.get()))
        {
            staged.positionCount = pca->models[0].positionCount();
            for (const auto& position : pca->models[0].positions)
                regionCount += position.netCount();
        }
        else if (const auto* standard = dynamic_cast<const ModelFileF*> (file.get()))
        {
            staged.positionCount = standard->models[0].positionCount();
            for (const auto& position : standard->models[0].positions)
                regionCount += position.netCount();
        }
        if (regionCount > UINT32_MAX)
            return ModelLoadResult::failure (file->name() + ": holds too many nets");
        staged.regionCount = static_cast<uint32_t> (regionCount);
        staged.modelName = file->name();
        staged.modelFile = std::move (file);
        staged.inputMask.reset (nv);
        staged.outputMask.reset (ni);

        // Only the position in use gets networks; the file stays shared and read-only.
        staged.selectedPosition = std::min (m.selectedPosition, staged.positionCount - 1);
        if (auto status = buildRegionNetworks (staged); !status.ok)
            return status;

        m = std::move (staged);
        selectPosition (m, m.selectedPosition);
    }
    catch (const std::bad_alloc&)
    {
        return ModelLoadResult::failure ("a model needs more memory than is available");
    }
    return ModelLoadResult::success();
}

ModelLoadResult loadModelIntoState (BlockModelState& m, SSParamsVecAutomation* block, const std::string& path,
                                    bool usesPca)
{
    if (block == nullptr)
        return ModelLoadResult::failure (path + ": no block to load it into");
    auto read = readModelFile (path, usesPca, block->numNonlinearInputs, block->numNonlinearOutputs,
                               block->numStates);
    if (!read.status.ok)
        return read.status;
    return loadModelFileIntoState (m, block, std::move (read.file));
}

ModelLoadResult loadModelImageIntoState (BlockModelState& m, SSParamsVecAutomation* block, const void* image,
                                         size_t length, bool usesPca)
{
    if (block == nullptr)
        return ModelLoadResult::failure ("model image: no block to load it into");
    auto read = readModelImage (image, length, usesPca, block->numNonlinearInputs, block->numNonlinearOutputs,
                                block->numStates);
    if (!read.status.ok)
        return read.status;
    return loadModelFileIntoState (m, block, std::move (read.file));
}

ModelLoadResult buildRegionNetworks (BlockModelState& m)
{
    destroyRegionNetworks (m);
    if (m.block == nullptr || m.modelFile == nullptr || m.positionCount == 0)
        return ModelLoadResult::failure ("no model file or block to build networks from");
    if (m.outputMask.size() != m.block->numNonlinearOutputs)
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
                status = buildPosition<PCAPositionRecord, PCANetRecord> (m, file->models[0].positions, a, pcaInputs,
                                                                         createPcaNetwork, built);
            }
        }
        else if (const auto* file = dynamic_cast<const ModelFileF*> (m.modelFile.get());
                 file != nullptr && a < file->models[0].positions.size())
        {
            indexPositions (m, file->models[0].positions);
            status = buildPosition<PositionRecord, NetRecord> (m, file->models[0].positions, a, standardInputs,
                                                               createStandardNetwork, built);
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

uint32_t selectPosition (BlockModelState& m, uint32_t requestedPosition)
{
    if (m.block == nullptr || m.modelFile == nullptr || m.positionCount == 0)
        return 0;
    const uint32_t a = requestedPosition >= m.positionCount ? m.positionCount - 1 : requestedPosition;
    if (m.regions.empty() || m.regionsPosition != a)
    {
        m.selectedPosition = a;
        // Without its networks the block must stay silent rather than play another position's.
        if (!buildRegionNetworks (m).ok)
            return a;
    }
    selectPositionProjection (m, a);
    m.selectedPosition = a;
    m.selectedRegionCount = static_cast<uint32_t> (m.regions.size());
    m.selectedRegions = m.regions.data();
    m.lastRegion = m.selectedRegions;
    return a;
}

void selectPositionProjection (BlockModelState& m, uint32_t position)
{
    if (m.block == nullptr || m.modelFile == nullptr)
        return;
    const uint32_t nv = m.block->numNonlinearInputs;
    const uint32_t ni = m.block->numNonlinearOutputs;
    const uint32_t oldRows = m.projectionRows;
    const uint32_t oldReduced = m.reducedCount;
    ensureSize (m.inputMask, nv);
    ensureSize (m.outputMask, ni);
    // Regions share the block's output mask; after the buffers were released and made anew
    // they must follow it rather than keep the freed one.
    if (!m.regions.empty() && m.regions.front().outputMask != m.outputMask.data())
        for (auto& region : m.regions)
            region.outputMask = m.outputMask.data();

    const auto* pca = m.usesPca ? dynamic_cast<const PCAModelFileF*> (m.modelFile.get()) : nullptr;
    if (pca == nullptr || pca->models.empty() || position >= pca->models[0].positions.size())
    {
        for (uint32_t q = 0; q < nv; ++q)
            m.inputMask[q] = 1;
        for (uint32_t j = 0; j < ni; ++j)
            m.outputMask[j] = 1;
        m.projectionRows = nv;
        m.reducedCount = nv;
        if (m.reducedCount != oldReduced || m.reducedInput.size() != m.reducedCount)
            m.reducedInput.reset (m.reducedCount);
        if (m.reducedCount != oldReduced || m.projectionRows != oldRows ||
            m.projectionMatrix.size() != size_t (m.reducedCount) * m.projectionRows)
            m.projectionMatrix.reset (size_t (m.reducedCount) * m.projectionRows);
        for (uint32_t j = 0; j < m.reducedCount; ++j)
            for (uint32_t k = 0; k < m.projectionRows; ++k)
                m.projectionMatrix[size_t (j) * m.projectionRows + k] = j == k ? 1.0 : 0.0;
        m.projectionNeeded = 0;
        return;
    }

    const PCAPositionRecord& record = pca->models[0].positions[position];
    for (uint32_t q = 0; q < nv; ++q)
        m.inputMask[q] = record.inputMask[q];
    for (uint32_t j = 0; j < ni; ++j)
        m.outputMask[j] = static_cast<uint16_t> (record.outputMask[j] & 0xffffu);
    m.projectionRows = record.projectionRows;
    m.reducedCount = record.netInputCount;
    if (m.reducedCount != oldReduced || m.reducedInput.size() != m.reducedCount)
        m.reducedInput.reset (m.reducedCount);
    if (m.reducedCount != oldReduced || m.projectionRows != oldRows ||
        m.projectionMatrix.size() != size_t (m.reducedCount) * m.projectionRows)
        m.projectionMatrix.reset (size_t (m.reducedCount) * m.projectionRows);

    constexpr double identityTolerance = 2.384185791015625e-7; // 2^-22
    m.projectionNeeded = 0;
    for (uint32_t j = 0; j < m.reducedCount; ++j)
    {
        for (uint32_t k = 0; k < m.projectionRows; ++k)
        {
            const double element = record.projection[size_t (k) * record.netInputCount + j];
            m.projectionMatrix[size_t (j) * m.projectionRows + k] = element;
            if (m.projectionNeeded == 0 && std::fabs (element - (j == k ? 1.0 : 0.0)) > identityTolerance)
                m.projectionNeeded = 1;
        }
    }
}

void applyRateTable (const BlockModelState& m, uint32_t position, int32_t processingRate, bool firstTime,
                     const RateTableTargets& t)
{
    if (processingRate == 0 || m.block == nullptr || m.positionCount == 0)
        return;
    const uint32_t nv = m.block->numNonlinearInputs;
    const uint32_t ni = m.block->numNonlinearOutputs;
    const uint32_t nx = m.block->numStates;
    const uint32_t a = position >= m.positionCount ? m.positionCount - 1 : position;

    if (const std::vector<double>* table = rateTableOf (m, a); table != nullptr && !table->empty())
    {
        const size_t stride = 1 + size_t (nv) + ni + nx;
        const size_t available = (table->size() - 1) / stride;
        const double records = (*table)[0];
        for (size_t r = 0; r < available && static_cast<double> (r) < records; ++r)
        {
            const double* record = table->data() + 1 + r * stride;
            if (!keyMatches (record[0], processingRate))
                continue;
            copyValues (record + 1, nv, t.operatingP);
            copyValues (record + 1 + nv, ni, t.operatingI);
            copyValues (record + 1 + nv + ni, nx, t.operatingX);
            break;
        }
    }

    if (firstTime)
    {
        if (t.operatingP != nullptr)
            copyValues (t.operatingP, nv, t.p);
        if (t.operatingI != nullptr)
            copyValues (t.operatingI, ni, t.i);
    }
    if (t.operatingX != nullptr)
        copyValues (t.operatingX, nx, t.x);
}

const double* findRateRecord (const BlockModelState& m, uint32_t position, int32_t processingRate)
{
    if (processingRate == 0 || m.block == nullptr || m.positionCount == 0)
        return nullptr;
    const uint32_t a = position >= m.positionCount ? m.positionCount - 1 : position;
    const std::vector<double>* table = rateTableOf (m, a);
    if (table == nullptr || table->empty())
        return nullptr;
    const size_t stride =
        1 + size_t (m.block->numNonlinearInputs) + m.block->numNonlinearOutputs + m.block->numStates;
    const size_t available = (table->size() - 1) / stride;
    const double records = (*table)[0];
    for (size_t r = 0; r < available && static_cast<double> (r) < records; ++r)
    {
        const double* record = table->data() + 1 + r * stride;
        if (keyMatches (record[0], processingRate))
            return record + 1;
    }
    return nullptr;
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

void releaseProjectionBuffers (BlockModelState& m)
{
    // Without the buffers the selection is void: the region step stays silent until the next
    // selection makes them anew.
    m.selectedRegions = nullptr;
    m.lastRegion = nullptr;
    m.selectedRegionCount = 0;
    m.projectionRows = 0;
    m.reducedCount = 0;
    m.projectionNeeded = 0;
    m.inputMask.reset();
    m.outputMask.reset();
    m.projectionMatrix.reset();
    m.reducedInput.reset();
}
