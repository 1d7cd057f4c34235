#include "engine/ChannelChain.h"

#include "engine/DenormalFlush.h"
#include "engine/FiniteCheck.h"
#include "engine/OperatingPointCheck.h"
#include "engine/OversamplingTables.h"
#include "models/ModelDataCache.h"
#include "models/ModelLoading.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
bool isSupportedFactor (int32_t factor)
{
    return factor == 2 || factor == 4 || factor == 8 || factor == 16;
}

float finiteOrZero (float v) noexcept
{
    return std::isfinite (v) ? v : 0.0f;
}

void copyInto (std::vector<double>& to, const std::vector<double>& from) noexcept
{
    std::copy_n (from.begin(), std::min (to.size(), from.size()), to.begin());
}
} // namespace

ChannelChain::ChannelChain() = default;

ChannelChain::~ChannelChain() = default;

bool ChannelChain::isReady() const noexcept
{
    if (processingRate <= 0)
        return false;
    for (int k = 0; k < numBlocks; ++k)
        if (blocks[k] == nullptr || !rateApplied[k] || !positionSelected[k] || !hasModel (models[k]))
            return false;
    return true;
}

void ChannelChain::processPlain (float* samples, int n) noexcept
{
    if (!isReady())
    {
        std::fill (samples, samples + std::max (n, 0), 0.0f);
        return;
    }

    const DenormalFlush flush;
    double signal[waveLength];
    float level[waveLength];
    for (int start = 0; start < n; start += waveLength)
    {
        const int count = std::min (waveLength, n - start);
        float* const chunk = samples + start;
        // A NaN or infinite sample would otherwise stay in the block states for good.
        for (int s = 0; s < count; ++s)
            signal[s] = finiteOrZero (chunk[s] * inputGain.load (std::memory_order_relaxed));
        runBlocks (signal, level, count);
        for (int s = 0; s < count; ++s)
        {
            levelWindow.push (level[s]);
            chunk[s] = static_cast<float> (static_cast<double> (outputGain.load (std::memory_order_relaxed)) *
                                           signal[s]);
        }
    }
}

void ChannelChain::processOversampled (float* samples, int n) noexcept
{
    if (!hasFilters())
    {
        processPlain (samples, n);
        return;
    }
    if (!isReady())
    {
        std::fill (samples, samples + std::max (n, 0), 0.0f);
        return;
    }

    const DenormalFlush flush;
    FirResampler& up = *upsampler;
    FirResampler& down = *downsampler;
    double signal[waveLength];
    float level[waveLength];
    const int hostPerWave = std::max (1, waveLength / factor);
    for (int start = 0; start < n; start += hostPerWave)
    {
        const int hostCount = std::min (hostPerWave, n - start);
        float* const chunk = samples + start;
        for (int s = 0; s < hostCount; ++s)
        {
            up.push (finiteOrZero (chunk[s] * inputGain.load (std::memory_order_relaxed)));
            for (int j = 0; j < factor; ++j)
                signal[s * factor + j] = up.nextOutput();
        }
        runBlocks (signal, level, hostCount * factor);
        for (int s = 0; s < hostCount; ++s)
        {
            // The decimator keeps only the filtered value at the first sub-sample of each host
            // period; the level window also advances once per host sample.
            const double* const period = signal + s * factor;
            levelWindow.push (level[s * factor]);
            down.push (static_cast<float> (period[0]));
            chunk[s] = down.nextOutput() * outputGain.load (std::memory_order_relaxed);
            for (int j = 1; j < factor; ++j)
            {
                down.push (static_cast<float> (period[j]));
                down.advance();
            }
        }
    }
}

void ChannelChain::restartFromOperatingPoint (int k) noexcept
{
    BlockWorkspace& w = workspaces[k];
    copyInto (w.x, w.operatingX);
    copyInto (w.p, w.operatingP);
    copyInto (w.i, w.operatingI);
    blocks[k]->computeOutput (w.u.data(), w.x.data(), w.i.data(), &w.y);
    if (!allFinite (&w.y, 1))
        w.y = 0.0;
}

float ChannelChain::lastStageLevel() const noexcept
{
    // The level is the cathode current of the last stage's triode.
    const BlockWorkspace& last = workspaces[numBlocks - 1];
    return last.numNonlinearOutputs >= 2 ? static_cast<float> (last.i[1]) : 0.0f;
}

namespace
{
ModelLoadResult checkBlockArguments (int blockIndex, const SSParamsVecAutomation* block,
                                     const std::string& name)
{
    if (blockIndex < 0 || blockIndex >= ChannelChain::numBlocks)
        return ModelLoadResult::failure ("block index " + std::to_string (blockIndex) +
                                         " is not between 0 and 3");
    if (block == nullptr)
        return ModelLoadResult::failure ("no circuit block given for model file \"" + name + "\"");
    if (block->numInputs < 1 || block->numOutputs < 1)
        return ModelLoadResult::failure ("the circuit block for model file \"" + name +
                                         "\" has no signal input or no output");
    return ModelLoadResult::success();
}
} // namespace

ModelLoadResult ChannelChain::loadBlockModel (int blockIndex, SSParamsVecAutomation* block,
                                              const std::string& path, bool usesPca)
{
    if (auto status = checkBlockArguments (blockIndex, block, path); !status.ok)
        return status;
    SharedModelFile shared = ModelDataCache::instance().acquire (
        path, usesPca, block->numNonlinearInputs, block->numNonlinearOutputs, block->numStates);
    if (!shared.status.ok)
        return shared.status;
    return loadBlockModel (blockIndex, block, std::move (shared.file), path);
}

ModelLoadResult ChannelChain::loadBlockModel (int blockIndex, SSParamsVecAutomation* block,
                                              std::shared_ptr<const BaseModelFileF> file,
                                              const std::string& path)
{
    if (auto status = checkBlockArguments (blockIndex, block, file != nullptr ? file->name() : "");
        !status.ok)
        return status;
    if (file == nullptr)
        return ModelLoadResult::failure ("no model file given for block " + std::to_string (blockIndex + 1));

    const auto k = static_cast<size_t> (blockIndex);
    // The same file for the same block: its networks are still right; everything else restarts.
    const bool sameModel = models[k].modelFile == file && blocks[k] == block && hasModel (models[k]);
    if (!sameModel)
    {
        ModelLoadResult result = loadModelFileIntoState (models[k], block->modelShape(), std::move (file));
        if (!result.ok)
            return result; // the previous model, workspace and vectors stay as they were
    }
    // The same file can be reached under two names; messages name the one this block asked for.
    if (!path.empty())
        models[k].modelName = path;

    blocks[k] = block;
    choosePass();
    workspaces[k].resize (block->numStates, block->numInputs, block->numNonlinearInputs,
                          block->numNonlinearOutputs, block->numOutputs);
    // The new region table has no selection yet and the workspace is zero: the block stays
    // out of processing until a rate and a position have been applied to it.
    rateApplied[k] = false;
    positionSelected[k] = false;
    return ModelLoadResult::success();
}

void ChannelChain::unloadBlock (int blockIndex)
{
    if (blockIndex < 0 || blockIndex >= numBlocks)
        return;
    const auto k = static_cast<size_t> (blockIndex);
    models[k] = BlockModelState{};
    rateApplied[k] = false;
    positionSelected[k] = false;
}

ModelLoadResult ChannelChain::checkOperatingPoint (int blockIndex) const
{
    if (blockIndex < 0 || blockIndex >= numBlocks)
        return ModelLoadResult::success();
    const auto k = static_cast<size_t> (blockIndex);
    const BlockModelState& m = models[k];
    const SSParamsVecAutomation* block = blocks[k];
    if (block == nullptr || !hasModel (m) || processingRate <= 0)
        return ModelLoadResult::success();
    const std::string& name = m.modelName;
    // Run after every control change: the message is made only for a failure.
    const auto where = [&]
    {
        return " for " + std::to_string (processingRate) + " Hz at position " +
               std::to_string (m.selectedPosition);
    };
    const double* record = findRateRecord (m, m.selectedPosition, processingRate);
    if (record == nullptr)
        return ModelLoadResult::failure (name + ": holds no operating point" + where() +
                                         " (a file for another rate or block?)");
    const uint32_t nv = block->numNonlinearInputs, ni = block->numNonlinearOutputs;
    const std::string why = describeOperatingPointMismatch (*block, record, record + nv, record + nv + ni);
    if (!why.empty())
        return ModelLoadResult::failure (name + ": its operating point" + where() + " is not block " +
                                         std::to_string (blockIndex + 1) + "'s rest point (" + why +
                                         "; a file for another block or rate?)");
    return ModelLoadResult::success();
}

void ChannelChain::prepareRate (int32_t newHostRate, int32_t newFactor)
{
    upsampler.reset();
    downsampler.reset();

    hostRate = newHostRate;
    factor = isSupportedFactor (newFactor) ? newFactor : 1;
    if (factor > 1)
    {
        const std::vector<float>& table = oversamplingTable (factor);
        const int taps = static_cast<int> (table.size());
        upsampler = std::make_unique<FirResampler> (taps, factor, table.data());
        downsampler = std::make_unique<FirResampler> (taps, 1, table.data());
    }

    const bool chainFirstTime = processingRate == 0;
    const int64_t product = static_cast<int64_t> (hostRate) * factor;
    // A rate the blocks cannot be discretised at leaves the chain silent until a valid one.
    processingRate =
        (product > 0 && product <= std::numeric_limits<int32_t>::max()) ? static_cast<int32_t> (product) : 0;

    for (size_t k = 0; k < numBlocks; ++k)
    {
        SSParamsVecAutomation* block = blocks[k];
        if (block == nullptr || !hasModel (models[k]))
            continue;
        if (processingRate == 0)
        {
            rateApplied[k] = false;
            continue;
        }

        BlockWorkspace& w = workspaces[k];
        // A block loaded since the last rate change also takes p and i from the operating
        // point: its load zeroed them, and port currents that no network drives keep the
        // value they are given here.
        const bool firstTime = chainFirstTime || !rateApplied[k];
        const RateTableTargets targets{w.operatingP.data(), w.operatingI.data(), w.operatingX.data(),
                                       w.p.data(),          w.i.data(),          w.x.data()};
        applyRateTable (models[k], models[k].selectedPosition, processingRate, firstTime, targets);

        block->setSampleRate (static_cast<double> (processingRate));
        w.fillSupplies (*block);
        rateApplied[k] = true;
    }
}

void ChannelChain::selectPosition (int blockIndex, uint32_t position)
{
    if (blockIndex < 0 || blockIndex >= numBlocks)
        return;
    const auto k = static_cast<size_t> (blockIndex);
    SSParamsVecAutomation* block = blocks[k];
    if (block == nullptr || !hasModel (models[k]))
        return;

    // The control laws are defined for the block's own positions only (a gain position past
    // the last would make a potentiometer part negative), so clamp to those as well as to the
    // model file's.
    const uint32_t blockLast = block->numPositions > 0 ? static_cast<uint32_t> (block->numPositions - 1) : 0u;
    const uint32_t clamped = ::selectPosition (models[k], std::min (position, blockLast));
    if (block->controlPosition != static_cast<int32_t> (clamped) || !positionSelected[k])
        block->setControlPosition (clamped);
    positionSelected[k] = true;
}

void ChannelChain::useReferenceEvaluation()
{
    for (auto& m : models)
        ::useReferenceEvaluation (m);
}
