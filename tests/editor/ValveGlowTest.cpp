#include "editor/ValveGlow.h"
#include "editor/FilmStripKnob.h"
#include "engine/LevelWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace
{
using ValveGlow::glowValueFor;
using ValveGlow::LevelStatistics;

// A full window of a signal alternating between mean + spread and mean - spread: its mean and
// spread are exactly those (up to float rounding of the running sums).
LevelStatistics windowOf (float mean, float spread)
{
    auto window = std::make_unique<LevelWindow>();
    for (uint32_t i = 0; i < LevelWindow::length; ++i)
        window->push (i % 2 == 0 ? mean + spread : mean - spread);
    return {window->invLength, window->sum, window->sumSquares};
}

LevelStatistics silence()
{
    LevelWindow window;
    return {window.invLength, window.sum, window.sumSquares};
}

// The frame the 24-frame valve strip shows for a glow value, as the editor sets it.
int valveFrameFor (float glow)
{
    juce::Image strip (juce::Image::RGB, 4, 24 * 2, true);
    FilmStripKnob knob (&strip, 24);
    knob.setRange (0.0, 23.0, 1.0);
    knob.setValue (glow, juce::dontSendNotification);
    return knob.getCurrentFrame();
}

TEST (ValveGlow, SilenceShowsTheFirstFrame)
{
    const float glow = glowValueFor (silence(), silence(), true);
    EXPECT_EQ (glow, 0.0f);
    EXPECT_EQ (valveFrameFor (glow), 0);
}

TEST (ValveGlow, LoudZeroMeanSignalShowsTheLastFrame)
{
    // 4 spreads = 0.008 A, above the 0.007 * 49 / 50 that reaches the top step.
    const float glow = glowValueFor (windowOf (0.0f, 0.002f), silence(), false);
    EXPECT_FLOAT_EQ (glow, 24.0f);
    EXPECT_EQ (valveFrameFor (glow), 23);
}

TEST (ValveGlow, MidLevelPicksItsTableStep)
{
    // Spread 0.5 mA: level = 0.002 * 50 / 0.007 = 14.29 -> step 14 -> 0.167677 * 24.
    EXPECT_NEAR (glowValueFor (windowOf (0.0f, 0.0005f), silence(), false), 4.024248f, 1e-5f);
    // Mean 3 mA, spread 0.13 mA: 0.00052 * 50 / 0.004 = 6.5 -> step 6 -> 0.111484 * 24.
    EXPECT_NEAR (glowValueFor (windowOf (0.003f, 0.00013f), silence(), false), 2.675616f, 1e-5f);
}

TEST (ValveGlow, MeanAboveTheHeadroomGivesNoGlow)
{
    EXPECT_EQ (glowValueFor (windowOf (0.008f, 0.001f), silence(), false), 0.0f);
    EXPECT_EQ (glowValueFor (windowOf (0.0072f, 0.0f), silence(), false), 0.0f);
}

TEST (ValveGlow, MonoIgnoresTheSecondChain)
{
    const auto loud = windowOf (0.0f, 0.002f);
    EXPECT_EQ (glowValueFor (silence(), loud, false), 0.0f);
    EXPECT_FLOAT_EQ (glowValueFor (silence(), loud, true), 24.0f);
}

TEST (ValveGlow, InStereoTheChainWithTheHigherUpperLevelDecides)
{
    // Chain 0: mean 0, spread 0.5 mA -> upper level 2 mA (alone: 4.024).
    // Chain 1: mean 3 mA, spread 0.13 mA -> upper level 3.52 mA, higher, so it decides
    // although its own glow (2.676) is the smaller one.
    const auto first = windowOf (0.0f, 0.0005f);
    const auto second = windowOf (0.003f, 0.00013f);
    EXPECT_NEAR (glowValueFor (first, second, true), 2.675616f, 1e-5f);
    EXPECT_NEAR (glowValueFor (second, first, true), 2.675616f, 1e-5f);
}

TEST (ValveGlow, BrokenStatisticsGiveNoGlow)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A NaN sample poisons a window's running sums for good; the valves then stay dark.
    EXPECT_EQ (glowValueFor ({1.0f / 20480.0f, nan, nan}, silence(), false), 0.0f);
    EXPECT_EQ (glowValueFor (silence(), {1.0f / 20480.0f, nan, nan}, true), 0.0f);
}

TEST (ValveGlow, TableRisesToOne)
{
    EXPECT_EQ (ValveGlow::glowTable[0], 0.0f);
    EXPECT_EQ (ValveGlow::glowTable[49], 1.0f);
    for (int k = 1; k < ValveGlow::tableSize; ++k)
    {
        EXPECT_GT (ValveGlow::glowTable[k], ValveGlow::glowTable[k - 1]);
        const double expected = std::pow (0.950259, 49 - k);
        EXPECT_NEAR (ValveGlow::glowTable[k], expected, 5e-5 * expected) << k;
    }
}
} // namespace
