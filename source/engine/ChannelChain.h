#pragma once

#include "engine/BlockWorkspace.h"
#include "engine/FirResampler.h"
#include "engine/LevelWindow.h"
#include "engine/SSParamsVec.h"
#include "models/ModelLoadResult.h"
#include "models/RegionNetwork.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One audio channel's run through the four circuit blocks of the preamp, sample by sample.
//
// The block objects (matrices, component values, triode models) are shared by both chains and
// owned by the processor; everything that changes per sample belongs to the chain: its copies
// of the block matrices, the state and signal vectors, each block's model state and the scratch
// its network evaluations write, the gains, the oversampling filters and the level window. The
// model files and their region tables are read-only and shared by every chain of the process.
// Loading and rate changes resize and refill that data off the audio path; a position change
// only points a block at another shared table; processing only overwrites values.
class ChannelChain
{
public:
    static constexpr int numBlocks = 4;

    ChannelChain();
    ~ChannelChain();

    ChannelChain (const ChannelChain&) = delete;
    ChannelChain& operator= (const ChannelChain&) = delete;

    // Per-sample path (audio thread): n samples of one channel, in place. No allocation, no
    // lock. Until every block has a model, a processing rate and a position, the output is
    // silence. processOversampled runs at the factor of the last prepareRate (plain at 1).
    void processPlain (float* samples, int n) noexcept;
    void processOversampled (float* samples, int n) noexcept;

    // Control path (processing suspended). A failed load keeps the block's previous model.
    // The path form takes the file from the process-wide model data cache (read at most once
    // while any block uses it); the file form installs a file already read, shared read-only.
    // Loading the file the block already has keeps its networks and restarts the block as a
    // new load would (zero state until a rate and a position are applied).
    ModelLoadResult loadBlockModel (int blockIndex, SSParamsVecAutomation* block, const std::string& path,
                                    bool usesPca);
    ModelLoadResult loadBlockModel (int blockIndex, SSParamsVecAutomation* block,
                                    std::shared_ptr<const BaseModelFileF> file, const std::string& path = {});
    // Drops the block's model: the chain is silent until a load succeeds.
    void unloadBlock (int blockIndex);

    // After a rate and a position have been applied: the block's file must hold an operating
    // point for the processing rate at the selected position, and it must be a rest point of this
    // block there (a file of another block or rate is not). Fails naming the file and why; a
    // block without a model passes.
    ModelLoadResult checkOperatingPoint (int blockIndex) const;
    void prepareRate (int32_t hostRate, int32_t factor);
    // Selects the block's networks for the position (clamped to the file's and the block's own
    // positions) and sets the block there; the networks need no building once the model is
    // loaded. The blocks are shared by the chains: a block already at that position, set there by
    // another chain, is not solved again.
    void selectPosition (int blockIndex, uint32_t position);
    // Every block's networks through fann_run and its regions searched one by one, until the
    // next load: the plain evaluation that the fast one must match bit for bit.
    void useReferenceEvaluation();

    int32_t getHostRate() const noexcept { return hostRate; }
    int32_t getProcessingRate() const noexcept { return processingRate; }
    int32_t getFactor() const noexcept { return factor; }

    // True when every block has a model, a processing rate and a selected position, so
    // processing runs the blocks rather than writing silence.
    bool isReady() const noexcept;

    // Read-only views for diagnostics and tests.
    const BlockWorkspace& getWorkspace (int blockIndex) const
    {
        return workspaces[static_cast<size_t> (blockIndex)];
    }
    const BlockModelState& getModelState (int blockIndex) const
    {
        return models[static_cast<size_t> (blockIndex)];
    }
    const std::vector<double>& getInputVector (int blockIndex) const
    {
        return workspaces[static_cast<size_t> (blockIndex)].u;
    }
    double getOutput() const noexcept { return workspaces[numBlocks - 1].y; }
    bool hasFilters() const noexcept { return upsampler != nullptr && downsampler != nullptr; }

    // Written by the processor at any time, read once per sample; never torn.
    std::atomic<float> inputGain{1.0f};
    std::atomic<float> outputGain{1.0f};

    LevelWindow levelWindow;

private:
    // The processing-rate samples one call of the pass runs: short enough to live on the stack
    // of the audio thread, long enough that the blocks run side by side for most of it.
    static constexpr int waveLength = 32;

    // The four blocks over n <= waveLength processing-rate samples: `signal` holds the chain's
    // inputs and receives its outputs, `level` receives the last stage's cathode current after
    // each sample. The blocks run as a wave: at each step block 1 takes sample t, block 2 sample
    // t - 1, block 3 t - 2 and block 4 t - 3, so the four steps do not wait on each other and the
    // processor overlaps them; every block still sees its own samples in order, so the output is
    // the output of running the samples one by one.
    void runBlocks (double* signal, float* level, int n) noexcept { pass (*this, signal, level, n); }
    // One block's step in three parts, so that the pass can run the blocks' steps side by side.
    template <class Block>
    void startBlock (int k, double input) noexcept;
    void blockCurrents (int k) noexcept;
    template <class Block>
    void finishBlock (int k) noexcept;
    // The pass for the chain's block types: with the preamp's own four blocks, one whose products
    // are inlined and whose calls are direct; with any other, one through the virtual calls.
    // Chosen whenever a block is loaded (ChannelPass.cpp).
    using Pass = void (*) (ChannelChain&, double*, float*, int) noexcept;
    template <class B1, class B2, class B3, class B4>
    static void runFourBlocks (ChannelChain& chain, double* signal, float* level, int n) noexcept;
    static void runAnyBlocks (ChannelChain& chain, double* signal, float* level, int n) noexcept;
    // The preamp's pass built for processors with AVX2 (no FMA: the same doubles), chosen where
    // the processor has it.
    __attribute__ ((target ("avx2"))) static void runPreampBlocksAvx2 (ChannelChain& chain, double* signal,
                                                                       float* level, int n) noexcept;
    float lastStageLevel() const noexcept;
    void choosePass() noexcept;
    void restartFromOperatingPoint (int k) noexcept;

    std::array<BlockWorkspace, numBlocks> workspaces;
    std::array<BlockModelState, numBlocks> models;

    int32_t hostRate = 0;
    int32_t processingRate = 0;
    int32_t factor = 1;
    std::unique_ptr<FirResampler> upsampler;
    std::unique_ptr<FirResampler> downsampler;

    // Per block: the block object of its current model (not owned), and whether the rate and
    // the position have been applied since that model was loaded.
    std::array<SSParamsVecAutomation*, numBlocks> blocks{};
    std::array<bool, numBlocks> rateApplied{};
    std::array<bool, numBlocks> positionSelected{};
    Pass pass = &runAnyBlocks;
};
