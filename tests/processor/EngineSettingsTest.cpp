#include "processor/EngineSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
TEST (EngineSettings, OutputLevelTableSpansMinus654To16Decibels)
{
    EXPECT_FLOAT_EQ (outputLevel (0), 0.470977336f);
    EXPECT_FLOAT_EQ (outputLevel (49), 6.30957365f);
    for (int i = 0; i < numOutputLevels; ++i)
        EXPECT_EQ (outputLevel (i), static_cast<float> (std::pow (10.0, (-6.54 + 0.46 * i) / 20.0))) << i;
    EXPECT_EQ (outputLevel (-3), outputLevel (0));
    EXPECT_EQ (outputLevel (50), outputLevel (49));
}

TEST (EngineSettings, OutputFactorUsesTheTruncatedLevelOverTheSupply)
{
    EXPECT_FLOAT_EQ (outputGainFactor (49.0f, 345.0), static_cast<float> (6.30957365 / 345.0));
    const double level24 = static_cast<float> (std::pow (10.0, 4.5 / 20.0)); // +4.5 dB
    EXPECT_EQ (outputGainFactor (24.5f, 345.0), static_cast<float> (level24 / 345.0));
    EXPECT_EQ (outputGainFactor (24.0f, 345.0), outputGainFactor (24.99f, 345.0));
    // Values a saved document may carry: never outside the table, never infinite.
    EXPECT_EQ (outputGainFactor (98.0f, 345.0), outputGainFactor (49.0f, 345.0));
    EXPECT_EQ (outputGainFactor (-5.0f, 345.0), outputGainFactor (0.0f, 345.0));
    EXPECT_EQ (outputGainFactor (24.5f, 0.0), 0.0f);
}

TEST (EngineSettings, InputFactorIsNormalizedInputTimesThree)
{
    EXPECT_EQ (inputGainFactor (49.0f), 3.0f);
    EXPECT_EQ (inputGainFactor (24.5f), 1.5f);
    EXPECT_EQ (inputGainFactor (0.0f), 0.0f);
    EXPECT_EQ (inputGainFactor (24.99f), static_cast<float> (static_cast<double> (24.99f / 49.0f) * 3.0));
    EXPECT_EQ (inputGainFactor (100.0f), 3.0f);
}

TEST (EngineSettings, OversamplingFactor)
{
    const std::pair<float, int> cases[] = {{0.0f, 1},  {1.0f, 2}, {2.0f, 4},  {3.0f, 8},
                                           {4.0f, 16}, {5.0f, 1}, {-1.0f, 1}, {std::nanf (""), 1}};
    for (const auto& [step, factor] : cases)
        EXPECT_EQ (oversamplingFactorForStep (step), factor) << step;
}

TEST (EngineSettings, ToneIndexIsTrebleBassMiddle)
{
    EXPECT_EQ (toneIndex (14.0f, 0.0f, 0.0f), 3150u);
    EXPECT_EQ (toneIndex (14.0f, 14.0f, 14.0f), 3374u);
    EXPECT_EQ (toneIndex (7.0f, 7.0f, 7.0f), 1687u);
    EXPECT_EQ (toneIndex (0.0f, 3.0f, 0.0f), 3u);     // middle counts ones
    EXPECT_EQ (toneIndex (0.0f, 0.0f, 3.0f), 45u);    // bass counts fifteens
    EXPECT_EQ (toneIndex (20.0f, 0.0f, 0.0f), 3150u); // a stray treble cannot alias another setting
    EXPECT_EQ (gainPosition (8.0f), 8u);
    EXPECT_EQ (gainPosition (32.0f), 16u);
    EXPECT_EQ (gainPosition (-2.0f), 0u);
}
} // namespace
