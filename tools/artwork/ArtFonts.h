#pragma once

#include <juce_graphics/juce_graphics.h>

// The artwork's lettering comes from DejaVu Sans (Debian package fonts-dejavu-core), loaded
// from its file so the pictures do not depend on which fonts the machine happens to list.
// Falls back to JUCE's default sans-serif face when the files are missing.
namespace ArtFonts
{
juce::Font sans (float height);
juce::Font sansBold (float height);

// The largest font height up to maxHeight whose text fits into width.
juce::Font fitted (const juce::String& text, float maxHeight, float width, bool bold);
} // namespace ArtFonts
