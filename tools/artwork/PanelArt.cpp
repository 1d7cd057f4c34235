#include "PanelArt.h"

#include "ArtFonts.h"
#include "PanelIcons.h"

#include <cmath>

namespace
{
const juce::Colour panelInk (218, 216, 212);
const juce::Colour dimInk (168, 164, 158);

constexpr int panelWidth = 460;
constexpr int panelHeight = 368;
constexpr int barLeft = 127;
constexpr int barWidth = 208;
constexpr int barHeight = 23;
constexpr int barRowTop = 102;
constexpr int barRowPitch = 30;
constexpr int barFirstRow = 7; // the bar occupies rows 7 to 15 of its 23-row frame
constexpr int barLastRow = 15;

void drawSettingsTab (juce::Graphics& g)
{
    const juce::Rectangle<float> tab (186.0f, 0.0f, 90.0f, 18.0f);
    // The border's anti-aliasing must not spill over the tab's pixels onto the valve picture.
    juce::Graphics::ScopedSaveState state (g);
    g.reduceClipRegion (tab.toNearestInt());
    juce::Path shape;
    shape.addRoundedRectangle (tab.getX() + 0.5f, tab.getY() - 6.0f, tab.getWidth() - 1.0f,
                               tab.getHeight() + 5.5f, 6.0f);
    g.setColour (juce::Colour (20, 20, 21).withAlpha (0.92f));
    g.fillPath (shape);
    g.setColour (juce::Colour (110, 108, 104).withAlpha (0.7f));
    g.strokePath (shape, juce::PathStrokeType (1.0f));

    g.setColour (panelInk);
    g.setFont (ArtFonts::sans (11.5f));
    g.drawText ("Settings", tab.translated (0.0f, -0.5f), juce::Justification::centred, false);
}

void drawCaption (juce::Graphics& g)
{
    const juce::Rectangle<float> area (325.0f, 341.0f, 128.0f, 22.0f);
    const juce::String name ("VARKEL Hot Preamp");
    const juce::String line2 ("four-stage 12AX7 preamp");

    g.setColour (juce::Colour (226, 214, 196).withAlpha (0.88f));
    g.setFont (ArtFonts::fitted (name, 11.0f, area.getWidth(), true));
    g.drawText (name, area.withHeight (12.0f), juce::Justification::centredRight, false);

    g.setColour (dimInk.withAlpha (0.8f));
    g.setFont (ArtFonts::fitted (line2, 9.0f, area.getWidth(), false));
    g.drawText (line2, area.withTrimmedTop (12.0f), juce::Justification::centredRight, false);
}

void drawValveTypeLabel (juce::Graphics& g, juce::Rectangle<float> outline, const juce::String& text)
{
    PanelIcons::valve (g, {outline.getX() + 4.0f, outline.getY() + 2.5f, 10.0f, 16.0f}, panelInk);
    g.setColour (panelInk);
    const auto textArea = outline.withTrimmedLeft (16.0f).withTrimmedRight (3.0f);
    g.setFont (ArtFonts::fitted (text, 11.0f, textArea.getWidth(), false));
    g.drawText (text, textArea, juce::Justification::centred, false);
}

void drawIconRow (juce::Graphics& g, int row)
{
    const float centreY = (float)(barRowTop + row * barRowPitch) + barHeight * 0.5f;
    const juce::Rectangle<float> small (100.0f, centreY - 7.0f, 25.0f, 14.0f);
    const juce::Rectangle<float> large (338.0f, centreY - 12.0f, 37.0f, 24.0f);
    const auto smallInk = panelInk.withMultipliedAlpha (0.8f);

    switch (row)
    {
    case 0:
        PanelIcons::jackPlug (g, small, smallInk);
        PanelIcons::jackPlug (g, large, panelInk);
        break;
    case 1:
        PanelIcons::valve (g, small, smallInk);
        PanelIcons::valve (g, large, panelInk);
        break;
    case 2:
        PanelIcons::violin (g, small, smallInk);
        PanelIcons::violin (g, large, panelInk);
        break;
    case 3:
        PanelIcons::microphone (g, small, smallInk);
        PanelIcons::microphone (g, large, panelInk);
        break;
    case 4:
        PanelIcons::bassHead (g, small, smallInk);
        PanelIcons::bassHead (g, large, panelInk);
        break;
    default:
        PanelIcons::loudspeaker (g, small, smallInk, 1);
        PanelIcons::loudspeaker (g, large, panelInk, 3);
        break;
    }

    // A faint groove shows the bar's full travel even at its minimum.
    const float top = (float)(barRowTop + row * barRowPitch + barFirstRow);
    const float height = (float)(barLastRow - barFirstRow + 1);
    g.setColour (juce::Colours::black.withAlpha (0.16f));
    g.drawRect (juce::Rectangle<float> ((float)barLeft, top - 1.0f, (float)barWidth, height + 2.0f), 1.0f);
}

void drawSettingsPanel (juce::Graphics& g)
{
    g.setColour (juce::Colour (200, 200, 200).withAlpha (0.2f));
    g.fillRect (0, 0, panelWidth, panelHeight);

    drawValveTypeLabel (g, {155.0f, 49.5f, 74.0f, 21.0f}, "12ax7 EH");
    drawValveTypeLabel (g, {234.0f, 49.5f, 76.0f, 21.0f}, "12ax7 RSD");

    for (int row = 0; row < 6; ++row)
        drawIconRow (g, row);

    const juce::String word ("Oversampling");
    const juce::Rectangle<float> wordArea (112.0f, 295.0f, 81.0f, 13.0f);
    g.setColour (panelInk);
    g.setFont (ArtFonts::fitted (word, 13.0f, wordArea.getWidth(), false));
    g.drawText (word, wordArea, juce::Justification::centredLeft, false);
}
} // namespace

namespace PanelArt
{
juce::Image background()
{
    juce::Image image (juce::Image::ARGB, panelWidth, 2 * panelHeight, true);
    juce::Graphics g (image);
    for (int frame = 0; frame < 2; ++frame)
    {
        juce::Graphics::ScopedSaveState state (g);
        g.setOrigin (0, frame * panelHeight);
        g.reduceClipRegion (0, 0, panelWidth, panelHeight);
        if (frame == 1)
            drawSettingsPanel (g);
        drawSettingsTab (g);
        drawCaption (g);
    }
    return image;
}

juce::Image barStrip (int numFrames)
{
    juce::Image image (juce::Image::ARGB, barWidth, barHeight * numFrames, true);
    juce::Graphics g (image);
    for (int k = 1; k < numFrames; ++k)
    {
        const int filled = (int)std::lround ((double)k * barWidth / (double)(numFrames - 1));
        const int top = k * barHeight + barFirstRow;
        // Embossed: a light upper half over a dark lower half, both barely there.
        g.setColour (juce::Colours::white.withAlpha (0.15f));
        g.fillRect (0, top, filled, 1);
        g.setColour (juce::Colours::white.withAlpha (0.1f));
        g.fillRect (0, top + 1, filled, 4);
        g.setColour (juce::Colours::black.withAlpha (0.1f));
        g.fillRect (0, top + 5, filled, 3);
        g.setColour (juce::Colours::black.withAlpha (0.16f));
        g.fillRect (0, top + 8, filled, 1);
        g.fillRect (filled - 1, top + 1, 1, 8);
    }
    return image;
}

juce::Image oversamplingStrip()
{
    const int width = 152;
    const int height = 29;
    const char* const labels[] = {"Off", "X2", "X4", "X8", "X16"};
    const float cell = (float)width / 5.0f;

    juce::Image image (juce::Image::ARGB, width, 5 * height, true);
    juce::Graphics g (image);
    for (int frame = 0; frame < 5; ++frame)
    {
        const float top = (float)(frame * height);
        const juce::Rectangle<float> square (cell * (float)frame + cell * 0.5f - 13.0f, top + 1.5f, 26.0f,
                                             26.0f);
        g.setColour (juce::Colours::white.withAlpha (0.16f));
        g.fillRoundedRectangle (square, 3.0f);
        g.setColour (juce::Colours::white.withAlpha (0.28f));
        g.drawRoundedRectangle (square.reduced (0.5f), 3.0f, 1.0f);

        for (int i = 0; i < 5; ++i)
        {
            g.setColour (i == frame ? juce::Colours::white : panelInk.withMultipliedAlpha (0.8f));
            g.setFont (i == frame ? ArtFonts::sansBold (11.0f) : ArtFonts::sans (11.0f));
            g.drawText (labels[i], juce::Rectangle<float> (cell * (float)i, top, cell, (float)height),
                        juce::Justification::centred, false);
        }
    }
    return image;
}

juce::Image monoStereo()
{
    juce::Image image (juce::Image::ARGB, 37, 44, true);
    juce::Graphics g (image);
    for (int frame = 0; frame < 2; ++frame)
        PanelIcons::loudspeaker (g, {4.0f, (float)(frame * 22) + 1.0f, 29.0f, 20.0f}, dimInk, frame + 1);
    return image;
}

juce::Image dottedOutline (int width, int height, juce::Colour colour)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    juce::Path outline;
    outline.addRoundedRectangle (0.5f, 0.5f, (float)width - 1.0f, (float)height - 1.0f, 4.0f);

    // Dots on whole pixels, one pixel on and one off, so the outline stays crisp.
    const float length = outline.getLength();
    for (float along = 0.0f; along < length - 1.0f; along += 2.0f)
    {
        const auto point = outline.getPointAlongPath (along);
        const int x = juce::jlimit (0, width - 1, (int)std::floor (point.x));
        const int y = juce::jlimit (0, height - 1, (int)std::floor (point.y));
        image.setPixelAt (x, y, colour);
    }
    return image;
}
} // namespace PanelArt
