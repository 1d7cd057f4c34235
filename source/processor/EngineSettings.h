#pragma once

#include <cstdint>

// Engine settings derived from a program's values (engine units).

constexpr int numOutputLevels = 50;

// 10^((-6.54 + 0.46 i) / 20): -6.54 dB to +16 dB in 0.46 dB steps. index is limited to 0..49.
float outputLevel (int index) noexcept;

// Linear input factor 0..3: the normalized Input value times 3.
float inputGainFactor (float inputValue) noexcept;

// outputLevel[trunc(outputValue)] over the supply voltage of the last stage, which undoes the
// volts scale of the circuit output. 0 when the supply is not a positive voltage.
float outputGainFactor (float outputValue, double lastStageSupply) noexcept;

// 2, 4, 8 or 16 for steps 1 to 4; 1 for step 0 and anything else.
int32_t oversamplingFactorForStep (float oversamplingValue) noexcept;

// Control positions: the gain position for blocks 1 and 2 (0..16) and the tone index for block 4
// (treble * 225 + bass * 15 + middle, 0..3374). Each control is limited to its own range first,
// so a stray value cannot alias another tone setting.
uint32_t gainPosition (float gainValue) noexcept;
uint32_t toneIndex (float trebleValue, float middleValue, float bassValue) noexcept;
