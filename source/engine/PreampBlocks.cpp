#include "engine/PreampBlocks.h"

#include "engine/VARKEL_preamp_block1.h"
#include "engine/VARKEL_preamp_block2.h"
#include "engine/VARKEL_preamp_block3_simple.h"
#include "engine/VARKEL_preamp_block4.h"

PreampBlockSet makePreampBlocks (double sampleRate)
{
    using Model = DempwolfTriode2<0>;
    return {std::make_unique<VARKEL_preamp_block1_Automation<Model, 0>> (sampleRate, 3.0),
            std::make_unique<VARKEL_preamp_block2_Automation<Model, 0>> (sampleRate, 334.0),
            std::make_unique<VARKEL_preamp_block3_simple_Automation<Model, 0>> (sampleRate, 345.0),
            std::make_unique<VARKEL_preamp_block4_Automation<Model, 0>> (sampleRate, 345.0)};
}
