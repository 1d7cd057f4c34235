#include "editor/ImageToggleButton.h"

ImageToggleButton::ImageToggleButton (juce::Image* imageToUse, bool clickingTogglesState)
    : juce::Button ("Button"), image (imageToUse)
{
    if (image != nullptr)
    {
        frameWidth = image->getWidth();
        frameHeight = image->getHeight() / 2;
    }
    setClickingTogglesState (clickingTogglesState);
}

void ImageToggleButton::paintButton (juce::Graphics& g, bool, bool)
{
    if (image == nullptr)
        return;

    const int sourceY = getToggleState() ? frameHeight : 0;
    g.drawImage (*image, 0, 0, getWidth(), getHeight(), 0, sourceY, frameWidth, frameHeight, false);
}
