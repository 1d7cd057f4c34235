#include "engine/ChannelChain.h"

#include "engine/FiniteCheck.h"
#include "engine/VARKEL_preamp_block1.h"
#include "engine/VARKEL_preamp_block2.h"
#include "engine/VARKEL_preamp_block3_simple.h"
#include "engine/VARKEL_preamp_block4.h"
#include "models/FusedEvaluation.h"

template <class Block>
inline double ChannelChain::runBlock (int k, double input) noexcept
{
    BlockWorkspace& w = workspaces[k];
    BlockModelState& model = models[k];
    // The chain checked the block's type when it chose the pass.
    const Block& block = static_cast<const Block&> (*blocks[k]);
    stepBlock (block, w, input, [&model, k] (const double* p, double* i) { regionStep (model, k, p, i); });
    if (!allFinite (w.x.data(), w.numStates, w.y))
        restartFromOperatingPoint (k);
    return w.y;
}

template <class B1, class B2, class B3, class B4>
double ChannelChain::runFourBlocks (ChannelChain& chain, double input) noexcept
{
    double signal = chain.runBlock<B1> (0, input);
    signal = chain.runBlock<B2> (1, signal);
    signal = chain.runBlock<B3> (2, signal);
    return chain.runBlock<B4> (3, signal);
}

double ChannelChain::runAnyBlocks (ChannelChain& chain, double input) noexcept
{
    return runFourBlocks<SSParamsVecAutomation, SSParamsVecAutomation, SSParamsVecAutomation,
                         SSParamsVecAutomation> (chain, input);
}

// Everything of the pass inlined into it, so all of it is compiled for AVX2; the region step
// stays a call (and has its own choice of evaluation).
__attribute__ ((target ("avx2"), flatten)) double ChannelChain::runPreampBlocksAvx2 (ChannelChain& chain,
                                                                                     double input) noexcept
{
    return runFourBlocks<VARKEL_preamp_block1, VARKEL_preamp_block2, VARKEL_preamp_block3_simple,
                         VARKEL_preamp_block4> (chain, input);
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
