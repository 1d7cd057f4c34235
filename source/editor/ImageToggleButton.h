#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A button drawn from two pictures stacked in one image: the upper one while its toggle
// state is off, the lower one while it is on. Hovering and pressing do not change the picture.
//
// The image belongs to the creator and must outlive the button; it is read at every paint.
class ImageToggleButton : public juce::Button
{
public:
    // With a null image the button draws nothing but still takes clicks.
    ImageToggleButton (juce::Image* image, bool clickingTogglesState);

    int getFrameWidth() const noexcept { return frameWidth; }
    int getFrameHeight() const noexcept { return frameHeight; }

protected:
    void paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted,
                      bool shouldDrawButtonAsDown) override;

private:
    juce::Image* image;
    int frameWidth = 0;
    int frameHeight = 0;
};
