#pragma once

#include "host/Vst2Host.h"

#include <vector>

// Runs the channels through the effect. Inputs longer than a few seconds go through in slices
// with a progress line on standard error: percent done, time elapsed and time left (updated in
// place on a terminal, every quarter otherwise).
std::vector<std::vector<float>> processWithProgress (vst2host::Effect& effect,
                                                     const std::vector<std::vector<float>>& channels,
                                                     double sampleRate);
