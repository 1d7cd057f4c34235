#include "engine/ChannelChain.h"

#include "engine/DenormalFlush.h"
#include "engine/OversamplingTables.h"
#include "models/NetworkConstruction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
bool isSupportedFactor (int32_t factor)
{
    return factor == 2 || factor == 4 || factor == 8 || factor == 16;
}

// v - v is 0 for every finite v and NaN for NaN and both infinities, so one test covers the
// whole vector.
bool allFinite (const double* v, uint32_t n) noexcept
{
    double probe = 0.0;
    for (uint32_t k = 0; k < n; ++k)
        probe += v[k] - v[k];
    return probe == 0.0;
}

float finiteOrZero (float v) noexcept
{
    return std::isfinite (v) ? v : 0.0f;
}

// p = D x + E u, column by column: p starts at 0, then each column of D scaled by its element
// of x is added, then each column of E scaled by its element of u. With the row count known at
// compile time the sums stay in registers; the order of the additions is the same either way.
template <uint32_t rows>
void denseProduct (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                   uint32_t nu, double* p) noexcept
{
    double acc[rows];
    for (uint32_t r = 0; r < rows; ++r)
        acc[r] = 0.0;
    for (uint32_t c = 0; c < nx; ++c, d += rows)
        for (uint32_t r = 0; r < rows; ++r)
            acc[r] += x[c] * d[r];
    for (uint32_t c = 0; c < nu; ++c, e += rows)
        for (uint32_t r = 0; r < rows; ++r)
            acc[r] += u[c] * e[r];
    for (uint32_t r = 0; r < rows; ++r)
        p[r] = acc[r];
}

void denseProduct (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                   uint32_t nu, double* p, uint32_t nv) noexcept
{
    for (uint32_t r = 0; r < nv; ++r)
        p[r] = 0.0;
    for (uint32_t c = 0; c < nx; ++c, d += nv)
        for (uint32_t r = 0; r < nv; ++r)
            p[r] += x[c] * d[r];
    for (uint32_t c = 0; c < nu; ++c, e += nv)
        for (uint32_t r = 0; r < nv; ++r)
            p[r] += u[c] * e[r];
}

void nonlinearInputs (const double* d, const double* x, uint32_t nx, const double* e, const double* u,
                      uint32_t nu, double* p, uint32_t nv) noexcept
{
    switch (nv)
    {
    case 1:
        denseProduct<1> (d, x, nx, e, u, nu, p);
        break;
    case 2:
        denseProduct<2> (d, x, nx, e, u, nu, p);
        break;
    case 3:
        denseProduct<3> (d, x, nx, e, u, nu, p);
        break;
    case 4:
        denseProduct<4> (d, x, nx, e, u, nu, p);
        break;
    default:
        denseProduct (d, x, nx, e, u, nu, p, nv);
        break;
    }
}

void copyInto (std::vector<double>& to, const std::vector<double>& from) noexcept
{
    std::copy_n (from.begin(), std::min (to.size(), from.size()), to.begin());
}
} // namespace

ChannelChain::ChannelChain()
{
    u[numBlocks].assign (1, 0.0);
}

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
    double& chainInput = u[0][0];
    const double& chainOutput = u[numBlocks][0];
    for (int s = 0; s < n; ++s)
    {
        // A NaN or infinite sample would otherwise stay in the block states for good.
        chainInput = finiteOrZero (samples[s] * inputGain.load (std::memory_order_relaxed));
        runBlocks();
        pushLevel();
        samples[s] = static_cast<float> (static_cast<double> (outputGain.load (std::memory_order_relaxed)) *
                                         chainOutput);
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
    double& chainInput = u[0][0];
    const double& chainOutput = u[numBlocks][0];
    for (int s = 0; s < n; ++s)
    {
        up.push (finiteOrZero (samples[s] * inputGain.load (std::memory_order_relaxed)));

        // The decimator keeps only the filtered value at the first sub-sample of each host
        // period; the level window also advances once per host sample.
        chainInput = up.nextOutput();
        runBlocks();
        pushLevel();
        down.push (static_cast<float> (chainOutput));
        samples[s] = down.nextOutput() * outputGain.load (std::memory_order_relaxed);

        for (int j = 1; j < factor; ++j)
        {
            chainInput = up.nextOutput();
            runBlocks();
            down.push (static_cast<float> (chainOutput));
            down.advance();
        }
    }
}

void ChannelChain::runBlocks() noexcept
{
    for (int k = 0; k < numBlocks; ++k)
        runBlock (k);
}

void ChannelChain::runBlock (int k) noexcept
{
    BlockWorkspace& w = workspaces[k];
    const std::vector<double>& input = u[k];
    const SSParamsVecAutomation& block = *blocks[k];

    nonlinearInputs (w.D.data(), w.x.data(), w.numStates, w.E.data(), input.data(), w.numInputs, w.p.data(),
                     w.numNonlinearInputs);
    regionStep (models[k], k, w.p.data(), w.i.data());
    block.updateState (input.data(), w.i.data(), w.x.data(), w.xNext.data());
    // x takes the new state; the old one becomes scratch that the next updateState overwrites.
    std::swap (w.x, w.xNext);
    // The output is computed from the state just updated.
    block.computeOutput (input.data(), w.x.data(), w.i.data(), y[k].data());

    if (!allFinite (w.x.data(), w.numStates) || !allFinite (y[k].data(), 1))
        restartFromOperatingPoint (k);

    u[k + 1][0] = y[k][0];
}

void ChannelChain::restartFromOperatingPoint (int k) noexcept
{
    BlockWorkspace& w = workspaces[k];
    copyInto (w.x, w.operatingX);
    copyInto (w.p, w.operatingP);
    copyInto (w.i, w.operatingI);
    blocks[k]->computeOutput (u[k].data(), w.x.data(), w.i.data(), y[k].data());
    if (!allFinite (y[k].data(), 1))
        y[k][0] = 0.0;
}

void ChannelChain::pushLevel() noexcept
{
    // The level is the cathode current of the last stage's triode.
    const BlockWorkspace& last = workspaces[numBlocks - 1];
    levelWindow.push (last.numNonlinearOutputs >= 2 ? static_cast<float> (last.i[1]) : 0.0f);
}

ModelLoadResult ChannelChain::loadBlockModel (int blockIndex, SSParamsVecAutomation* block,
                                              const std::string& path, bool usesPca)
{
    if (blockIndex < 0 || blockIndex >= numBlocks)
        return ModelLoadResult::failure ("block index " + std::to_string (blockIndex) +
                                         " is not between 0 and 3");
    if (block == nullptr)
        return ModelLoadResult::failure ("no circuit block given for model file \"" + path + "\"");
    if (block->numInputs < 1 || block->numOutputs < 1)
        return ModelLoadResult::failure ("the circuit block for model file \"" + path +
                                         "\" has no signal input or no output");

    const auto k = static_cast<size_t> (blockIndex);
    ModelLoadResult result = loadModelIntoState (models[k], block, path, usesPca);
    if (!result.ok)
        return result; // the previous model, workspace and vectors stay as they were

    blocks[k] = block;
    workspaces[k].resize (block->numStates, block->numInputs, block->numNonlinearInputs,
                          block->numNonlinearOutputs, block->numOutputs);
    u[k].resize (block->numInputs);
    y[k].resize (block->numOutputs);
    // The new region table has no selection yet and the workspace is zero: the block stays
    // out of processing until a rate and a position have been applied to it.
    rateApplied[k] = false;
    positionSelected[k] = false;
    return result;
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
        w.copyMatrices (*block);

        for (int32_t j = 0; j < block->numSourceInputs; ++j)
        {
            const int64_t index = static_cast<int64_t> (block->firstSourceInput) + j;
            if (index >= 0 && index < static_cast<int64_t> (u[k].size()))
                u[k][static_cast<size_t> (index)] = block->getAutomationValue (j);
        }
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
    block->setControlPosition (clamped);
    workspaces[k].copyMatrices (*block);
    positionSelected[k] = true;
}

void ChannelChain::useReferenceEvaluation()
{
    for (auto& m : models)
        ::useReferenceEvaluation (m);
}
