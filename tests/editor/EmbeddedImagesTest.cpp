#include "EditorImages.h"

#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

namespace
{
struct Picture
{
    const char* name;
    const char* data;
    int size;
    int width, height, numFrames;
    bool hasAlpha;
};

// Sizes and frame counts the editor's controls are built around.
const Picture pictures[] = {
    {"background_png", BinaryData::background_png, BinaryData::background_pngSize, 460, 736, 2, true},
    {"valveGlow_jpg", BinaryData::valveGlow_jpg, BinaryData::valveGlow_jpgSize, 460, 8832, 24, false},
    {"valveGlowBlurred_jpg", BinaryData::valveGlowBlurred_jpg, BinaryData::valveGlowBlurred_jpgSize, 460,
     8832, 24, false},
    {"levelStrip_png", BinaryData::levelStrip_png, BinaryData::levelStrip_pngSize, 208, 1150, 50, true},
    {"gainStrip_png", BinaryData::gainStrip_png, BinaryData::gainStrip_pngSize, 208, 391, 17, true},
    {"toneStrip_png", BinaryData::toneStrip_png, BinaryData::toneStrip_pngSize, 208, 345, 15, true},
    {"oversampling_png", BinaryData::oversampling_png, BinaryData::oversampling_pngSize, 152, 145, 5, true},
    {"monoStereo_png", BinaryData::monoStereo_png, BinaryData::monoStereo_pngSize, 37, 44, 2, true},
    {"ehNormal_png", BinaryData::ehNormal_png, BinaryData::ehNormal_pngSize, 74, 21, 1, true},
    {"ehOver_png", BinaryData::ehOver_png, BinaryData::ehOver_pngSize, 74, 21, 1, true},
    {"rsdNormal_png", BinaryData::rsdNormal_png, BinaryData::rsdNormal_pngSize, 76, 21, 1, true},
    {"rsdOver_png", BinaryData::rsdOver_png, BinaryData::rsdOver_pngSize, 76, 21, 1, true},
};

juce::Image decode (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

float meanBrightness (const juce::Image& image, juce::Rectangle<int> area)
{
    double sum = 0.0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            sum += image.getPixelAt (x, y).getBrightness();
    return (float)(sum / area.getWidth() / area.getHeight());
}

TEST (EmbeddedImages, EachDecodesToItsSizeAndDividesIntoItsFrames)
{
    for (const auto& p : pictures)
    {
        SCOPED_TRACE (p.name);
        const auto image = decode (p.data, p.size);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), p.width);
        EXPECT_EQ (image.getHeight(), p.height);
        EXPECT_EQ (image.getHeight() % p.numFrames, 0);
        EXPECT_EQ (image.hasAlphaChannel(), p.hasAlpha);
    }
}

TEST (EmbeddedImages, SettingsHiddenFrameLeavesTheValvesVisible)
{
    // Frame 0 of the background lies over the valve picture: apart from the tab and the
    // caption it must be fully transparent.
    const auto image = decode (BinaryData::background_png, BinaryData::background_pngSize);
    const juce::Rectangle<int> tab (186, 0, 91, 19);
    const juce::Rectangle<int> caption (325, 341, 129, 23);
    int opaqueOutside = 0;
    int opaqueInTab = 0;
    for (int y = 0; y < 368; ++y)
    {
        for (int x = 0; x < 460; ++x)
        {
            const bool drawn = image.getPixelAt (x, y).getAlpha() != 0;
            if (tab.contains (x, y))
                opaqueInTab += drawn ? 1 : 0;
            else if (!caption.contains (x, y))
                opaqueOutside += drawn ? 1 : 0;
        }
    }
    EXPECT_EQ (opaqueOutside, 0);
    EXPECT_GT (opaqueInTab, 90 * 18 / 2);

    // Frame 1 veils the whole panel.
    EXPECT_GT (image.getPixelAt (5, 368 + 200).getAlpha(), 0);
}

TEST (EmbeddedImages, ValveGlowRisesOverTheFrames)
{
    for (auto [data, size] : {std::pair{BinaryData::valveGlow_jpg, BinaryData::valveGlow_jpgSize},
                              {BinaryData::valveGlowBlurred_jpg, BinaryData::valveGlowBlurred_jpgSize}})
    {
        const auto image = decode (data, size);
        float previous = -1.0f;
        for (int frame = 0; frame < 24; ++frame)
        {
            const float brightness = meanBrightness (image, {0, frame * 368, 460, 368});
            EXPECT_GT (brightness, previous) << "frame " << frame;
            previous = brightness;
        }
    }
}

TEST (EmbeddedImages, BarStripsFillTheirShareOfTheWidth)
{
    for (auto [data, size, numFrames] :
         {std::tuple{BinaryData::levelStrip_png, BinaryData::levelStrip_pngSize, 50},
          {BinaryData::gainStrip_png, BinaryData::gainStrip_pngSize, 17},
          {BinaryData::toneStrip_png, BinaryData::toneStrip_pngSize, 15}})
    {
        const auto image = decode (data, size);
        for (int frame = 0; frame < numFrames; ++frame)
        {
            int filled = 0;
            while (filled < 208 && image.getPixelAt (filled, frame * 23 + 11).getAlpha() != 0)
                ++filled;
            EXPECT_NEAR (filled, 208.0 * frame / (numFrames - 1), 1.0)
                << numFrames << " frames, frame " << frame;
            // Only rows 7 to 15 of a frame are drawn.
            EXPECT_EQ (image.getPixelAt (104, frame * 23 + 6).getAlpha(), 0);
            EXPECT_EQ (image.getPixelAt (104, frame * 23 + 16).getAlpha(), 0);
        }
    }
}

TEST (EmbeddedImages, ValveTypeOutlinesHaveTheirGreys)
{
    for (auto [data, size, grey] : {std::tuple{BinaryData::ehNormal_png, BinaryData::ehNormal_pngSize, 137},
                                    {BinaryData::rsdNormal_png, BinaryData::rsdNormal_pngSize, 137},
                                    {BinaryData::ehOver_png, BinaryData::ehOver_pngSize, 85},
                                    {BinaryData::rsdOver_png, BinaryData::rsdOver_pngSize, 85}})
    {
        const auto image = decode (data, size);
        int dots = 0;
        for (int y = 0; y < image.getHeight(); ++y)
        {
            for (int x = 0; x < image.getWidth(); ++x)
            {
                const auto c = image.getPixelAt (x, y);
                if (c.getAlpha() == 0)
                    continue;
                ++dots;
                EXPECT_EQ (c.getRed(), grey);
                EXPECT_EQ (c.getGreen(), grey);
                EXPECT_EQ (c.getBlue(), grey);
            }
        }
        EXPECT_GT (dots, 50);
        EXPECT_EQ (image.getPixelAt (image.getWidth() / 2, image.getHeight() / 2).getAlpha(), 0);
    }
}
} // namespace
