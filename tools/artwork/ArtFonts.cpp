#include "ArtFonts.h"

#include <cstdio>

namespace
{
const char* const fontFolder = "/usr/share/fonts/truetype/dejavu/";

juce::Typeface::Ptr loadFace (const char* fileName)
{
    juce::MemoryBlock data;
    if (!juce::File (juce::String (fontFolder) + fileName).loadFileAsData (data) || data.getSize() == 0)
    {
        std::fprintf (stderr, "warning: %s%s not found, using the default sans-serif font\n", fontFolder,
                      fileName);
        return nullptr;
    }
    return juce::Typeface::createSystemTypefaceFor (data.getData(), data.getSize());
}

juce::Font make (bool bold, float height)
{
    static const juce::Typeface::Ptr regularFace = loadFace ("DejaVuSans.ttf");
    static const juce::Typeface::Ptr boldFace = loadFace ("DejaVuSans-Bold.ttf");
    const auto& face = bold ? boldFace : regularFace;
    if (face == nullptr)
        return juce::Font (height, bold ? juce::Font::bold : juce::Font::plain);
    return juce::Font (face).withHeight (height);
}
} // namespace

namespace ArtFonts
{
juce::Font sans (float height)
{
    return make (false, height);
}

juce::Font sansBold (float height)
{
    return make (true, height);
}

juce::Font fitted (const juce::String& text, float maxHeight, float width, bool bold)
{
    for (float height = maxHeight; height > 4.0f; height -= 0.25f)
    {
        auto font = make (bold, height);
        if (font.getStringWidthFloat (text) <= width)
            return font;
    }
    return make (bold, 4.0f);
}
} // namespace ArtFonts
