#include "MessagePump.h"
#include "editor/FilmStripKnob.h"
#include "editor/ImageToggleButton.h"

#include <gtest/gtest.h>

namespace
{
// A strip whose frame k (of frameHeight rows) is filled with red = k, so a painted pixel names
// the frame it came from.
juce::Image numberedStrip (int numFrames, int frameWidth, int frameHeight)
{
    juce::Image strip (juce::Image::RGB, frameWidth, numFrames * frameHeight, true);
    juce::Graphics g (strip);
    for (int k = 0; k < numFrames; ++k)
    {
        g.setColour (juce::Colour ((juce::uint8)k, 40, 200));
        g.fillRect (0, k * frameHeight, frameWidth, frameHeight);
    }
    return strip;
}

// Paints the component at its own size with nearest-neighbour scaling so pixels map exactly.
juce::Image paintOf (juce::Component& component)
{
    juce::Image canvas (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (canvas);
    g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
    component.paintEntireComponent (g, true);
    return canvas;
}

int paintedFrame (FilmStripKnob& knob)
{
    const auto canvas = paintOf (knob);
    const auto pixel = canvas.getPixelAt (canvas.getWidth() / 2, canvas.getHeight() / 2);
    EXPECT_EQ (pixel.getGreen(), 40) << "nothing from the strip was painted";
    return pixel.getRed();
}

struct FrameCase
{
    double minimum, maximum, step;
    int numFrames;
    double value;
    int expectedFrame;
};

// Expected frames worked out by hand from the truncation rule; the 13 -> 12 and 0.25 -> 0
// cases only come out this way with the double-precision order of operations.
const FrameCase frameCases[] = {
    {0.0, 23.0, 1.0, 24, 0.0, 0},     {0.0, 23.0, 1.0, 24, 1.0, 1},     {0.0, 23.0, 1.0, 24, 12.0, 12},
    {0.0, 23.0, 1.0, 24, 13.0, 12},   {0.0, 23.0, 1.0, 24, 14.0, 14},   {0.0, 23.0, 1.0, 24, 23.0, 23},
    {0.0, 12.25, 0.25, 50, 0.25, 0},  {0.0, 12.25, 0.25, 50, 1.0, 3},   {0.0, 12.25, 0.25, 50, 12.25, 49},
    {-37.0, 12.0, 1.0, 50, -37.0, 0}, {-37.0, 12.0, 1.0, 50, -36.0, 0}, {-37.0, 12.0, 1.0, 50, 12.0, 49},
    {0.0, 16.0, 1.0, 17, 16.0, 16},   {0.0, 14.0, 1.0, 15, 7.0, 7},     {0.0, 4.0, 1.0, 5, 3.0, 3},
};

class FilmStripKnobFrames : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P (FilmStripKnobFrames, ShowsTheTruncatedFrameForItsValue)
{
    const auto& c = GetParam();
    auto strip = numberedStrip (c.numFrames, 6, 3);
    FilmStripKnob knob (&strip, c.numFrames);
    knob.setRange (c.minimum, c.maximum, c.step);
    knob.setValue (c.value, juce::dontSendNotification);
    knob.setSize (6, 3);

    EXPECT_EQ (knob.getCurrentFrame(), c.expectedFrame);
    EXPECT_EQ (paintedFrame (knob), c.expectedFrame);
}

INSTANTIATE_TEST_SUITE_P (Table, FilmStripKnobFrames, ::testing::ValuesIn (frameCases));

TEST (FilmStripKnob, SetsItselfUpFromTheStrip)
{
    auto strip = numberedStrip (24, 460, 368);
    FilmStripKnob knob (&strip, 24);

    EXPECT_EQ (knob.getName(), "Slider");
    EXPECT_EQ (knob.getFrameWidth(), 460);
    EXPECT_EQ (knob.getFrameHeight(), 368);
    EXPECT_EQ (knob.getSliderStyle(), juce::Slider::RotaryVerticalDrag);
    EXPECT_EQ (knob.getTextBoxPosition(), juce::Slider::NoTextBox);
    EXPECT_EQ (knob.getMinimum(), 0.0);
    EXPECT_EQ (knob.getMaximum(), 1.0);
    EXPECT_EQ (knob.getInterval(), 0.0010000000474974513);
}

TEST (FilmStripKnob, FrameHeightIsTheIntegerQuotient)
{
    auto strip = numberedStrip (1, 10, 101); // 101 rows over 4 frames: 25 rows each, one left over
    FilmStripKnob knob (&strip, 4);
    EXPECT_EQ (knob.getFrameHeight(), 25);
}

TEST (FilmStripKnob, ScalesTheFrameToItsSize)
{
    auto strip = numberedStrip (5, 4, 2);
    FilmStripKnob knob (&strip, 5);
    knob.setRange (0.0, 4.0, 1.0);
    knob.setValue (4.0, juce::dontSendNotification);
    knob.setSize (40, 30);

    const auto canvas = paintOf (knob);
    // Corners are left out: JUCE's resampler may touch the neighbouring row at the very edge.
    for (auto [x, y] : {std::pair{1, 1}, {38, 1}, {1, 28}, {38, 28}, {20, 15}})
        EXPECT_EQ (canvas.getPixelAt (x, y).getRed(), 4) << "at " << x << ", " << y;
}

TEST (FilmStripKnob, WithoutImageKeepsSliderDefaultsAndPaintsNothing)
{
    FilmStripKnob knob (nullptr, 24);
    const juce::Slider plain;
    EXPECT_EQ (knob.getSliderStyle(), plain.getSliderStyle());
    EXPECT_EQ (knob.getTextBoxPosition(), plain.getTextBoxPosition());
    EXPECT_EQ (knob.getMinimum(), plain.getMinimum());
    EXPECT_EQ (knob.getMaximum(), plain.getMaximum());
    EXPECT_EQ (knob.getInterval(), plain.getInterval());

    knob.setSize (20, 10);
    const auto canvas = paintOf (knob);
    for (int y = 0; y < canvas.getHeight(); ++y)
        for (int x = 0; x < canvas.getWidth(); ++x)
            ASSERT_EQ (canvas.getPixelAt (x, y).getAlpha(), 0);
}

TEST (FilmStripKnob, DegenerateInputsGiveAValidFrame)
{
    // No crash and a frame inside the strip for an empty range or a frame count below one.
    EXPECT_EQ (FilmStripKnob::frameForValue (5.0, 3.0, 3.0, 24), 0);
    EXPECT_EQ (FilmStripKnob::frameForValue (-1.0, 0.0, 1.0, 24), 0);
    EXPECT_EQ (FilmStripKnob::frameForValue (2.0, 0.0, 1.0, 24), 23);

    auto strip = numberedStrip (3, 4, 2);
    FilmStripKnob knob (&strip, 0);
    EXPECT_EQ (knob.getNumFrames(), 1);
    EXPECT_EQ (knob.getFrameHeight(), 6);
}

TEST (ImageToggleButton, ShowsUpperPictureWhenOffAndLowerWhenOnScaled)
{
    // 37 x 44: rows 0-21 are the "off" picture (red 0..21), rows 22-43 the "on" picture.
    juce::Image picture (juce::Image::RGB, 37, 44, true);
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 37; ++x)
            picture.setPixelAt (x, y, juce::Colour ((juce::uint8) (y * 5), 40, 200));

    ImageToggleButton button (&picture, true);
    EXPECT_EQ (button.getName(), "Button");
    EXPECT_EQ (button.getFrameHeight(), 22);
    button.setSize (74, 44); // twice the frame size: source row = y / 2

    const auto off = paintOf (button);
    EXPECT_EQ (off.getPixelAt (10, 0).getRed(), 0);
    EXPECT_EQ (off.getPixelAt (10, 43).getRed(), 21 * 5);

    button.setToggleState (true, juce::dontSendNotification);
    const auto on = paintOf (button);
    EXPECT_EQ (on.getPixelAt (10, 0).getRed(), 22 * 5);
    EXPECT_EQ (on.getPixelAt (10, 43).getRed(), 43 * 5);
}

TEST (ImageToggleButton, ClickingTogglesOnlyWhenAsked)
{
    juce::Image picture (juce::Image::RGB, 4, 4, true);
    ImageToggleButton toggling (&picture, true);
    ImageToggleButton plain (&picture, false);
    EXPECT_TRUE (toggling.getClickingTogglesState());
    EXPECT_FALSE (plain.getClickingTogglesState());

    toggling.triggerClick();
    plain.triggerClick();
    dispatchPendingMessages();
    EXPECT_TRUE (toggling.getToggleState());
    EXPECT_FALSE (plain.getToggleState());
}

TEST (ImageToggleButton, WithoutImagePaintsNothingButStillToggles)
{
    ImageToggleButton button (nullptr, true);
    button.setSize (10, 10);
    const auto canvas = paintOf (button);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ (canvas.getPixelAt (x, y).getAlpha(), 0);
    EXPECT_TRUE (button.getClickingTogglesState());
}
} // namespace
