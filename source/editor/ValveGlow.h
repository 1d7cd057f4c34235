#pragma once

// How brightly the valve picture glows for the signal level of the last stage.
//
// The editor's timer copies the three numbers of each chain's level window (under the
// processor's callback lock) and maps them to a glow value; the valve film strips show it.
namespace ValveGlow
{
// The numbers a level window keeps: 1/N and the running sum and sum of squares of its last N
// values (a valve current in amperes).
struct LevelStatistics
{
    float invLength = 0.0f;
    float sum = 0.0f;
    float sumSquares = 0.0f;
};

constexpr int tableSize = 50;

// Brightness per level step: 0, then close to 0.950259^(49 - k), reaching 1 at the top.
extern const float glowTable[tableSize];

// The glow value for the valve pictures (0..24; the 0..23 film strips clamp it). The louder of the
// two chains decides, by mean + 4 spreads; the second chain counts only in stereo. The level is
// the upper swing relative to the headroom left below 7 mA, in 50 steps. A signal whose mean
// already exceeds that gives no glow, and so does a level that is not a number.
float glowValueFor (const LevelStatistics& chain0, const LevelStatistics& chain1, bool stereo) noexcept;
} // namespace ValveGlow
