#pragma once

#include "engine/SSParamsVec.h"

#include <array>
#include <memory>

// The four circuit blocks of the preamp in chain order (input stage, second stage, third stage,
// cathode follower with tone stack), each with its control law and its own triode model, built at
// the given sample rate with their construction values 3.0, 334, 345 and 345.
using PreampBlockSet = std::array<std::unique_ptr<SSParamsVecAutomation>, 4>;

PreampBlockSet makePreampBlocks (double sampleRate);
