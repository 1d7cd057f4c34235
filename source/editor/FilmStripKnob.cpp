#include "editor/FilmStripKnob.h"

#include <cmath>

FilmStripKnob::FilmStripKnob (juce::Image* imageToUse, int framesInImage)
    : juce::Slider ("Slider"), image (imageToUse), numFrames (juce::jmax (1, framesInImage))
{
    if (image == nullptr)
        return;

    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setSliderStyle (juce::Slider::RotaryVerticalDrag);
    frameWidth = image->getWidth();
    frameHeight = image->getHeight() / numFrames;
    // The step is the single-precision 0.001 widened to double, as the range has always had.
    setRange (0.0, 1.0, (double)0.001f);
}

int FilmStripKnob::frameForValue (double value, double minimum, double maximum, int numFrames) noexcept
{
    if (!(maximum > minimum)) // an empty or inverted range has only the first frame
        return 0;
    const double position = (value - minimum) / (maximum - minimum);
    const double scaled = position * (double)(numFrames - 1);
    if (!std::isfinite (scaled) || scaled <= 0.0)
        return 0;
    return juce::jmin (numFrames - 1, (int)scaled);
}

int FilmStripKnob::getCurrentFrame() const noexcept
{
    return frameForValue (getValue(), getMinimum(), getMaximum(), numFrames);
}

void FilmStripKnob::paint (juce::Graphics& g)
{
    if (image == nullptr)
        return;

    g.drawImage (*image, 0, 0, getWidth(), getHeight(), 0, getCurrentFrame() * frameHeight, frameWidth,
                 frameHeight, false);
}
