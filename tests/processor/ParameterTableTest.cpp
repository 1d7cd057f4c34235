#include "processor/ParameterText.h"
#include "processor/ProgramRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
struct ConversionCase
{
    int index;
    float normalized;
    float engine;
};

TEST (ParameterTable, NormalizedToEngineTruncatesInFloatAndLimitsTheInput)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ConversionCase cases[] = {
        {gainParameter, 0.99f, 15.0f},
        {gainParameter, 1.0f, 16.0f},
        {gainParameter, 0.5f, 8.0f},
        {gainParameter, 0.0f, 0.0f},
        {trebleParameter, 1.0f, 14.0f},
        {middleParameter, 0.5f, 7.0f},
        {bassParameter, 0.0714f, 0.0f},
        {bassParameter, 0.0715f, 1.0f},
        {dualTriodesParameter, 0.49f, 0.0f},
        {dualTriodesParameter, 0.5f, 1.0f},
        {monoStereoParameter, 0.49f, 0.0f},
        {monoStereoParameter, 0.5f, 1.0f},
        {showSettingsParameter, 1.0f, 1.0f},
        {oversamplingParameter, 0.74f, 2.0f},
        {oversamplingParameter, 0.75f, 3.0f},
        {oversamplingParameter, 1.0f, 4.0f},
        {inputParameter, 0.5f, 24.5f},
        {outputParameter, 1.0f, 49.0f},
        {inputParameter, 0.51f, 24.99f}, // not rounded to a step
        // outside 0..1: limited first, so every engine value stays within its range
        {gainParameter, 2.0f, 16.0f},
        {gainParameter, -0.5f, 0.0f},
        {outputParameter, 1.5f, 49.0f},
        {inputParameter, -1.0f, 0.0f},
        {dualTriodesParameter, 1.7f, 1.0f},
        {oversamplingParameter, 3.0f, 4.0f},
        {trebleParameter, nan, 0.0f},
        {outputParameter, std::numeric_limits<float>::infinity(), 49.0f},
    };

    for (const auto& c : cases)
    {
        ProgramRecord record;
        record.values[c.index] = -123.0f; // so every case is a change
        EXPECT_TRUE (record.setNormalizedValue (c.index, c.normalized));
        EXPECT_FLOAT_EQ (record.values[c.index], c.engine) << "index " << c.index << " x " << c.normalized;
    }
}

TEST (ParameterTable, EngineToNormalized)
{
    const ConversionCase cases[] = {
        {dualTriodesParameter, 0.0f, 0.0f},
        {dualTriodesParameter, 1.0f, 1.0f},
        {gainParameter, 0.5f, 8.0f},
        {trebleParameter, 0.357142866f, 5.0f},
        {outputParameter, 0.510204077f, 25.0f},
        {oversamplingParameter, 0.75f, 3.0f},
        {inputParameter, 0.5f, 24.5f},
    };
    for (const auto& c : cases)
    {
        ProgramRecord record;
        record.values[c.index] = c.engine;
        EXPECT_FLOAT_EQ (record.getNormalizedValue (c.index), c.normalized) << "index " << c.index;
    }
}

TEST (ParameterTable, EveryStepSurvivesTheTripThroughTheHost)
{
    const std::pair<int, int> stepped[] = {
        {dualTriodesParameter, 1}, {gainParameter, 16},        {trebleParameter, 14},
        {middleParameter, 14},     {bassParameter, 14},        {oversamplingParameter, 4},
        {monoStereoParameter, 1},  {showSettingsParameter, 1},
    };
    for (const auto& [index, top] : stepped)
        for (int step = 0; step <= top; ++step)
        {
            ProgramRecord source;
            source.values[index] = static_cast<float> (step);
            ProgramRecord target;
            target.values[index] = -1.0f;
            target.setNormalizedValue (index, source.getNormalizedValue (index));
            EXPECT_EQ (target.values[index], static_cast<float> (step)) << "index " << index;
        }
}

TEST (ParameterTable, SameEngineValueIsNoChange)
{
    ProgramRecord record;
    EXPECT_TRUE (record.setNormalizedValue (gainParameter, 1.0f));
    EXPECT_FALSE (record.setNormalizedValue (gainParameter, 1.0f));
    EXPECT_TRUE (record.setNormalizedValue (gainParameter, 0.99f));
    EXPECT_FALSE (record.setNormalizedValue (gainParameter, 0.95f)); // still position 15
    EXPECT_FALSE (record.setNormalizedValue (gainParameter, 0.9375f));
}

TEST (ParameterTable, FreshRecord)
{
    const ProgramRecord record;
    EXPECT_EQ (record.name, "default");
    for (int i = 0; i < numParameters; ++i)
        EXPECT_EQ (record.values[i], (i == inputParameter || i == outputParameter) ? 25.0f : 0.0f);
}

TEST (ParameterTable, NamesAndKeys)
{
    const char* names[] = {"Dual Triodes", "Input",  "Gain",         "Treble",      "Middle",
                           "Bass",         "Output", "Oversampling", "Mono/Stereo", "Show settings"};
    const char* keys[] = {"model", "in", "gain", "trbl", "mdl", "bas", "out", "ovrsmplng", "stro", "showset"};
    for (int i = 0; i < numParameters; ++i)
    {
        EXPECT_EQ (getParameterDisplayName (i), names[i]);
        EXPECT_EQ (getParameterKey (i), keys[i]);
    }
    EXPECT_EQ (getParameterDisplayName (-1), "");
    EXPECT_EQ (getParameterDisplayName (10), "");
}

struct ControlCase
{
    int index;
    double lowest, highest, step; // what the editor's control shows
};

// Every position of an editor control sends a normalized value that lands the engine on the step
// the control shows (exactly for stepped knobs), and the control shows every step where it belongs.
TEST (ParameterTable, EditorControlsLandOnTheirEngineSteps)
{
    const ControlCase cases[] = {
        {inputParameter, 0.0, 12.25, 0.25},     {gainParameter, 0.0, 16.0, 1.0},
        {trebleParameter, 0.0, 14.0, 1.0},      {middleParameter, 0.0, 14.0, 1.0},
        {bassParameter, 0.0, 14.0, 1.0},        {outputParameter, -37.0, 12.0, 1.0},
        {oversamplingParameter, 0.0, 4.0, 1.0},
    };
    for (const auto& c : cases)
    {
        const auto& spec = getParameterSpec (c.index);
        EXPECT_EQ (engineToControl (c.index, 0.0f), c.lowest) << "index " << c.index;
        EXPECT_EQ (engineToControl (c.index, spec.top), c.highest) << "index " << c.index;
        EXPECT_EQ (spec.control.step, c.step) << "index " << c.index;
        for (int step = 0; c.lowest + step * c.step <= c.highest; ++step)
        {
            const double shown = c.lowest + step * c.step;
            ProgramRecord record;
            record.values[c.index] = -1.0f;
            record.setNormalizedValue (c.index, controlToNormalized (c.index, shown));
            const auto expected = static_cast<float> (step);
            if (spec.steps == ParameterSteps::continuous)
            {
                // A level is x * top in float, not rounded to a step: within a float's rounding.
                EXPECT_NEAR (record.values[c.index], expected,
                             4.0f * (std::nextafter (expected, 100.0f) - expected))
                    << "index " << c.index << " at " << shown;
                continue;
            }
            EXPECT_EQ (record.values[c.index], expected) << "index " << c.index << " at " << shown;
            EXPECT_EQ (engineToControl (c.index, record.values[c.index]), shown) << "index " << c.index;
        }
    }
    // The normalized values a host then stores, rounded once from the exact quotient.
    EXPECT_EQ (controlToNormalized (trebleParameter, 7.0), 0.5f);
    EXPECT_EQ (controlToNormalized (middleParameter, 5.0), 5.0f / 14.0f);
    EXPECT_EQ (controlToNormalized (outputParameter, 12.0), 1.0f);
    EXPECT_EQ (controlToNormalized (inputParameter, 6.25), static_cast<float> (25.0 / 49.0));
}

struct TextCase
{
    int index;
    float engine;
    const char* text;
};

TEST (ParameterText, TextsOfEngineValues)
{
    const TextCase cases[] = {
        {dualTriodesParameter, 0.0f, "Fresh 12ax7"},
        {dualTriodesParameter, 1.0f, "Aged  12ax7"},
        {oversamplingParameter, 0.0f, "none"},
        {oversamplingParameter, 1.0f, "x2"},
        {oversamplingParameter, 4.0f, "x16"},
        {monoStereoParameter, 0.0f, "Mono"},
        {monoStereoParameter, 1.0f, "Stereo"},
        {showSettingsParameter, 0.0f, "false"},
        {showSettingsParameter, 1.0f, "true"},
        {gainParameter, 8.0f, "0.50=>8"},
        {gainParameter, 2.0f, "0.13=>2"}, // 0.125: half rounds up, not to even
        {gainParameter, 6.0f, "0.38=>6"}, // 0.375
        {inputParameter, 24.5f, "0.50=>24.5"},
        {inputParameter, 24.99f, "0.51=>24.9899998"}, // nine significant digits of the float
        {trebleParameter, 14.0f, "1.00=>14"},
        {bassParameter, 5.0f, "0.36=>5"},
        {outputParameter, 0.0f, "0.00=>0"},
        {outputParameter, 49.0f, "1.00=>49"},
        {middleParameter, 1.0f, "0.07=>1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ (getParameterValueText (c.index, c.engine), c.text) << "index " << c.index;
}

TEST (ParameterText, OutsideTheTablesIsEmpty)
{
    EXPECT_EQ (getParameterValueText (-1, 0.0f), "");
    EXPECT_EQ (getParameterValueText (10, 0.0f), "");
    EXPECT_EQ (getParameterValueText (oversamplingParameter, 5.0f), "");
    EXPECT_EQ (getParameterValueText (dualTriodesParameter, -2.0f), "");
    EXPECT_EQ (getParameterValueText (monoStereoParameter, std::numeric_limits<float>::quiet_NaN()), "");
}

TEST (ParameterText, TwoDecimals)
{
    EXPECT_EQ (formatTwoDecimals (0.0), "0.00");
    EXPECT_EQ (formatTwoDecimals (0.125), "0.13");
    EXPECT_EQ (formatTwoDecimals (0.994), "0.99");
    EXPECT_EQ (formatTwoDecimals (0.996), "1.00");
    EXPECT_EQ (formatTwoDecimals (-0.25), "-0.25");
    EXPECT_EQ (formatTwoDecimals (12.5), "12.50");
}
} // namespace
