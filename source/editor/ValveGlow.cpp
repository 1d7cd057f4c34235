#include "editor/ValveGlow.h"

#include <cmath>

namespace ValveGlow
{
const float glowTable[tableSize] = {
    0.000000f, 0.086382f, 0.090903f, 0.095662f, 0.100669f, 0.105938f, 0.111484f, 0.117319f, 0.123460f,
    0.129923f, 0.136723f, 0.143880f, 0.151411f, 0.159337f, 0.167677f, 0.176454f, 0.185691f, 0.195410f,
    0.205639f, 0.216403f, 0.227731f, 0.239651f, 0.252195f, 0.265396f, 0.279288f, 0.293908f, 0.309292f,
    0.325482f, 0.342519f, 0.360448f, 0.379315f, 0.399170f, 0.420065f, 0.442053f, 0.465192f, 0.489542f,
    0.515166f, 0.542132f, 0.570510f, 0.600373f, 0.631799f, 0.664870f, 0.699673f, 0.736296f, 0.774837f,
    0.815396f, 0.858077f, 0.902993f, 0.950259f, 1.000000f,
};

namespace
{
struct MeanAndSpread
{
    float mean = 0.0f;
    float spread = 0.0f;
};

MeanAndSpread meanAndSpreadOf (const LevelStatistics& s) noexcept
{
    const float mean = s.invLength * s.sum;
    // The running sums drift by rounding, so the variance can come out slightly negative.
    const float spread = std::sqrt (std::fabs (s.invLength * s.sumSquares - mean * mean));
    return {mean, spread};
}
} // namespace

float glowValueFor (const LevelStatistics& chain0, const LevelStatistics& chain1, bool stereo) noexcept
{
    const auto first = meanAndSpreadOf (chain0);
    const auto second = stereo ? meanAndSpreadOf (chain1) : MeanAndSpread{};

    const float upper1 = first.spread * 4.0f + first.mean;
    const float upper2 = second.spread * 4.0f + second.mean;
    const bool firstIsLouder = upper1 > upper2;
    const float swing = firstIsLouder ? upper1 - first.mean : upper2 - second.mean;
    const float mean = firstIsLouder ? first.mean : second.mean;

    float level = (float)((double)swing * 50.0 / (0.007 - (double)mean));
    if (level > 49.0f)
        level = 49.0f;
    else if (!(level >= 0.0f)) // negative, or not a number
        level = 0.0f;

    return (float)((double)glowTable[(int)level] * 24.0);
}
} // namespace ValveGlow
