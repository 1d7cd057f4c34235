// The potentiometer laws behind the gain and tone positions, checked by what the controls must
// do: exact ends (a pot turned fully is 0 Ohm, never negative), a constant total per pot, the
// audio taper's constant ratio between steps, and a tone position that decodes into three
// independent controls.
#include "engine/ControlLaws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace
{
constexpr uint32_t gainPositions = 17;
constexpr double gainStep = 1.0 / (gainPositions - 1);
constexpr int tonePerControl = 15;
constexpr double toneStep = 1.0 / (tonePerControl - 1);
constexpr uint32_t tonePositions = tonePerControl * tonePerControl * tonePerControl;

// An audio taper of base 17 over n steps: each step's change is 17^(1/(n-1)) times the last.
void expectAudioTaper (const std::vector<double>& values, const char* what)
{
    SCOPED_TRACE (what);
    const double ratio = std::pow (17.0, 1.0 / static_cast<double> (values.size() - 1));
    for (size_t k = 0; k + 2 < values.size(); ++k)
    {
        const double step = values[k + 1] - values[k];
        ASSERT_GT (step, 0.0) << "step " << k;
        EXPECT_NEAR ((values[k + 2] - values[k + 1]) / step, ratio, 1e-9) << "step " << k;
    }
}

TEST (ControlLaws, GainPotHasExactEndsAConstantTotalAndAnAudioTaper)
{
    const PotParts bottom = gainLawParts (0, gainStep);
    EXPECT_EQ (bottom.lower, 6054.0);
    EXPECT_EQ (bottom.upper, 999999.0 - 6054.0);
    const PotParts top = gainLawParts (gainPositions - 1, gainStep);
    EXPECT_EQ (top.upper, 0.0); // the bright capacitor is shorted, not given a negative resistor
    EXPECT_EQ (top.lower, 999999.0);

    std::vector<double> lower;
    for (uint32_t position = 0; position < gainPositions; ++position)
    {
        const PotParts parts = gainLawParts (position, gainStep);
        EXPECT_DOUBLE_EQ (parts.upper + parts.lower, 999999.0) << position;
        EXPECT_GE (parts.upper, 0.0) << position;
        lower.push_back (parts.lower);
    }
    expectAudioTaper (lower, "gain pot, wiper to bottom");
}

// Each control's part on its own, read at the positions where the other two are at 0.
struct ToneParts
{
    double trebleLower, trebleUpper, bass, middleLower, middleUpper;
};

ToneParts partsOf (const ToneSetting& s)
{
    return {s.treble.lower, s.treble.upper, s.bass, s.middle.lower, s.middle.upper};
}

TEST (ControlLaws, TonePositionDecodesIntoThreeIndependentControls)
{
    for (uint32_t position = 0; position < tonePositions; ++position)
    {
        const uint32_t treble = position / (tonePerControl * tonePerControl);
        const uint32_t bass = (position / tonePerControl) % tonePerControl;
        const uint32_t middle = position % tonePerControl;
        const ToneParts all = partsOf (toneLawSetting (position, tonePerControl, toneStep));
        const ToneParts trebleOnly =
            partsOf (toneLawSetting (treble * tonePerControl * tonePerControl, tonePerControl, toneStep));
        const ToneParts bassOnly = partsOf (toneLawSetting (bass * tonePerControl, tonePerControl, toneStep));
        const ToneParts middleOnly = partsOf (toneLawSetting (middle, tonePerControl, toneStep));
        ASSERT_EQ (all.trebleLower, trebleOnly.trebleLower) << position;
        ASSERT_EQ (all.trebleUpper, trebleOnly.trebleUpper) << position;
        ASSERT_EQ (all.bass, bassOnly.bass) << position;
        ASSERT_EQ (all.middleLower, middleOnly.middleLower) << position;
        ASSERT_EQ (all.middleUpper, middleOnly.middleUpper) << position;
    }
}

TEST (ControlLaws, EachTonePotHasItsEndsTotalAndTaper)
{
    struct Pot
    {
        const char* what;
        uint32_t stride;                                         // tone positions per index of this control
        std::function<double (const ToneSetting&)> lower, upper; // upper null for the bass rheostat
        double total;
        bool audioTaper;
    };
    const Pot pots[] = {
        {"treble", tonePerControl * tonePerControl, [] (const ToneSetting& s) { return s.treble.lower; },
         [] (const ToneSetting& s) { return s.treble.upper; }, 220000.0, false},
        {"bass", tonePerControl, [] (const ToneSetting& s) { return s.bass; }, nullptr, 1000000.0, true},
        {"middle", 1, [] (const ToneSetting& s) { return s.middle.lower; },
         [] (const ToneSetting& s) { return s.middle.upper; }, 50000.0, false},
    };
    for (const Pot& pot : pots)
    {
        SCOPED_TRACE (pot.what);
        std::vector<double> lower;
        for (uint32_t index = 0; index < tonePerControl; ++index)
        {
            const ToneSetting s = toneLawSetting (index * pot.stride, tonePerControl, toneStep);
            lower.push_back (pot.lower (s));
            if (pot.upper)
            {
                EXPECT_DOUBLE_EQ (pot.lower (s) + pot.upper (s), pot.total) << index;
                EXPECT_GE (pot.upper (s), 0.0) << index;
            }
        }
        // 1 Ohm at the bottom keeps every part a resistor; the top reaches the pot's total.
        EXPECT_EQ (lower.front(), 1.0);
        EXPECT_NEAR (lower.back(), pot.total, 1e-9 * pot.total);
        if (pot.audioTaper)
        {
            expectAudioTaper (lower, pot.what);
            continue;
        }
        // A linear pot: equal steps from end to end.
        const double step = (lower.back() - lower.front()) / (tonePerControl - 1);
        for (uint32_t index = 0; index < tonePerControl; ++index)
            EXPECT_NEAR (lower[index], lower.front() + index * step, 1e-9 * pot.total) << index;
    }
}

TEST (ControlLaws, TonePositionsPastTheLastReadAsAllControlsAtZero)
{
    const ToneParts zero = partsOf (toneLawSetting (0, tonePerControl, toneStep));
    for (const uint32_t position : {tonePositions, tonePositions + 1, 100000u, UINT32_MAX})
    {
        const ToneParts past = partsOf (toneLawSetting (position, tonePerControl, toneStep));
        EXPECT_EQ (past.trebleLower, zero.trebleLower) << position;
        EXPECT_EQ (past.bass, zero.bass) << position;
        EXPECT_EQ (past.middleLower, zero.middleLower) << position;
    }
    // The last real position is not one of them.
    const ToneParts last = partsOf (toneLawSetting (tonePositions - 1, tonePerControl, toneStep));
    EXPECT_NE (last.trebleLower, zero.trebleLower);
}
} // namespace
