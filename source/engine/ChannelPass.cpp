#include "engine/ChannelChain.h"

#include "engine/FiniteCheck.h"
#include "engine/VARKEL_preamp_block1.h"
#include "engine/VARKEL_preamp_block2.h"
#include "engine/VARKEL_preamp_block3_simple.h"
#include "engine/VARKEL_preamp_block4.h"
#include "models/FusedEvaluation.h"

#include <algorithm>

template <class Block>
inline void ChannelChain::startBlock (int k, double input) noexcept
{
    // The chain checked the block's type when it chose the pass.
    startStep (static_cast<const Block&> (*blocks[k]), workspaces[k], input);
}

inline void ChannelChain::blockCurrents (int k) noexcept
{
    BlockWorkspace& w = workspaces[k];
    regionStep (models[k], k, w.p.data(), w.i.data());
}

template <class Block>
inline void ChannelChain::finishBlock (int k) noexcept
{
    BlockWorkspace& w = workspaces[k];
    finishStep (static_cast<const Block&> (*blocks[k]), w);
    if (!allFinite (w.x.data(), w.numStates, w.y))
        restartFromOperatingPoint (k);
}

template <class B1, class B2, class B3, class B4>
void ChannelChain::runFourBlocks (ChannelChain& chain, double* signal, float* level, int n) noexcept
{
    const auto& w = chain.workspaces;
    // Step t: block 1 takes sample t, block k + 1 sample t - k. Every block starts from its
    // predecessor's output of the step before, so all four start before any finishes; between,
    // the four region steps do not depend on each other.
    const auto step = [&] (int t, bool all)
    {
        const bool on[numBlocks] = {all || t < n, all || (t >= 1 && t - 1 < n), all || (t >= 2 && t - 2 < n),
                                    all || (t >= 3 && t - 3 < n)};
        if (on[3])
            chain.startBlock<B4> (3, w[2].y);
        if (on[2])
            chain.startBlock<B3> (2, w[1].y);
        if (on[1])
            chain.startBlock<B2> (1, w[0].y);
        if (on[0])
            chain.startBlock<B1> (0, signal[t]);
        for (int k = 0; k < numBlocks; ++k)
            if (on[k])
                chain.blockCurrents (k);
        if (on[0])
            chain.finishBlock<B1> (0);
        if (on[1])
            chain.finishBlock<B2> (1);
        if (on[2])
            chain.finishBlock<B3> (2);
        if (on[3])
        {
            chain.finishBlock<B4> (3);
            signal[t - 3] = w[3].y;
            level[t - 3] = chain.lastStageLevel();
        }
    };
    int t = 0;
    for (; t < std::min (n, 3); ++t)
        step (t, false);
    for (; t < n; ++t)
        step (t, true);
    for (; t < n + 3; ++t)
        step (t, false);
}

void ChannelChain::runAnyBlocks (ChannelChain& chain, double* signal, float* level, int n) noexcept
{
    runFourBlocks<SSParamsVecAutomation, SSParamsVecAutomation, SSParamsVecAutomation,
                  SSParamsVecAutomation> (chain, signal, level, n);
}

// Everything of the pass inlined into it, so all of it is compiled for AVX2; the region step
// stays a call (and has its own choice of evaluation).
__attribute__ ((target ("avx2"), flatten)) void
ChannelChain::runPreampBlocksAvx2 (ChannelChain& chain, double* signal, float* level, int n) noexcept
{
    runFourBlocks<VARKEL_preamp_block1, VARKEL_preamp_block2, VARKEL_preamp_block3_simple,
                  VARKEL_preamp_block4> (chain, signal, level, n);
}

void ChannelChain::choosePass() noexcept
{
    // The products of these classes are final, so no block of a derived type runs other ones.
    const bool preampBlocks = dynamic_cast<const VARKEL_preamp_block1*> (blocks[0]) != nullptr &&
                              dynamic_cast<const VARKEL_preamp_block2*> (blocks[1]) != nullptr &&
                              dynamic_cast<const VARKEL_preamp_block3_simple*> (blocks[2]) != nullptr &&
                              dynamic_cast<const VARKEL_preamp_block4*> (blocks[3]) != nullptr;
    if (!preampBlocks)
        pass = &runAnyBlocks;
    else if (processorHasAvx2())
        pass = &runPreampBlocksAvx2;
    else
        pass = &runFourBlocks<VARKEL_preamp_block1, VARKEL_preamp_block2, VARKEL_preamp_block3_simple,
                              VARKEL_preamp_block4>;
}
