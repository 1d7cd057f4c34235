#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A slider drawn as one frame of a vertical film strip: the frame follows the value. Mouse
// handling is the ordinary Slider's; only the drawing differs.
//
// The image belongs to the creator and must outlive the knob. It is read at every paint, so
// new content assigned to the same Image object shows at the next paint; the frame size is
// fixed at construction.
class FilmStripKnob : public juce::Slider
{
public:
    // With a null image the knob draws nothing and keeps the Slider's default style and range.
    FilmStripKnob (juce::Image* image, int numFrames);

    void paint (juce::Graphics& g) override;

    // The frame shown for a value: the position within the range scaled to the frame count
    // and truncated toward zero, in double precision and in exactly this order (a value of 13
    // in 0..23 over 24 frames shows frame 12). Out-of-range values and an empty range give
    // the nearest valid frame.
    static int frameForValue (double value, double minimum, double maximum, int numFrames) noexcept;

    int getCurrentFrame() const noexcept;
    int getNumFrames() const noexcept { return numFrames; }
    int getFrameWidth() const noexcept { return frameWidth; }
    int getFrameHeight() const noexcept { return frameHeight; }

private:
    juce::Image* image;
    int numFrames;
    int frameWidth = 0;
    int frameHeight = 0;
};
