// Renders the editor's twelve pictures into a folder (normally resources/):
//   varkel_artwork <output folder> [--preview <folder>]
// With --preview it also writes PNG frames of the valve strips and enlarged small pictures, for
// looking at the artwork with an ordinary image viewer.
// The pictures are source artwork committed with the code; run this after changing the drawing.

#include "PanelArt.h"
#include "ValveScene.h"

#include <cstdio>

namespace
{
bool write (const juce::File& folder, const juce::String& name, const juce::Image& image, int expectedWidth,
            int expectedHeight)
{
    if (image.getWidth() != expectedWidth || image.getHeight() != expectedHeight)
    {
        std::fprintf (stderr, "error: %s is %d x %d, expected %d x %d\n", name.toRawUTF8(), image.getWidth(),
                      image.getHeight(), expectedWidth, expectedHeight);
        return false;
    }

    const auto file = folder.getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream stream (file);
    if (!stream.openedOk())
    {
        std::fprintf (stderr, "error: cannot write %s\n", file.getFullPathName().toRawUTF8());
        return false;
    }

    bool written = false;
    if (name.endsWith (".jpg"))
    {
        juce::JPEGImageFormat jpeg;
        jpeg.setQuality (0.88f);
        written = jpeg.writeImageToStream (image, stream);
    }
    else
    {
        written = juce::PNGImageFormat().writeImageToStream (image, stream);
    }
    stream.flush();
    if (!written || stream.getStatus().failed())
    {
        std::fprintf (stderr, "error: writing %s failed\n", file.getFullPathName().toRawUTF8());
        return false;
    }
    std::printf ("%-26s %4d x %4d  %7lld bytes\n", name.toRawUTF8(), image.getWidth(), image.getHeight(),
                 (long long)file.getSize());
    return true;
}

juce::Image valveStrip (const ValveScene& scene, bool outOfFocus)
{
    juce::Image strip (juce::Image::RGB, ValveScene::width, ValveScene::height * ValveScene::numFrames, true);
    juce::Graphics g (strip);
    for (int frame = 0; frame < ValveScene::numFrames; ++frame)
        g.drawImageAt (scene.renderFrame (frame, outOfFocus), 0, frame * ValveScene::height);
    return strip;
}
void writePng (const juce::File& file, const juce::Image& image)
{
    file.deleteFile();
    juce::FileOutputStream stream (file);
    if (!stream.openedOk() || !juce::PNGImageFormat().writeImageToStream (image, stream))
        std::fprintf (stderr, "warning: cannot write preview %s\n", file.getFullPathName().toRawUTF8());
}

juce::Image enlarged (const juce::Image& image, int factor, juce::Colour backdrop)
{
    juce::Image big (juce::Image::RGB, image.getWidth() * factor, image.getHeight() * factor, true);
    juce::Graphics g (big);
    g.fillAll (backdrop);
    g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
    g.drawImageTransformed (image, juce::AffineTransform::scale ((float)factor));
    return big;
}

void writePreviews (const juce::File& folder, const ValveScene& scene)
{
    folder.createDirectory();
    for (int frame : {0, 6, 12, 18, 23})
    {
        writePng (folder.getChildFile ("glow" + juce::String (frame) + ".png"),
                  scene.renderFrame (frame, false));
        writePng (folder.getChildFile ("blurred" + juce::String (frame) + ".png"),
                  scene.renderFrame (frame, true));
    }

    // The settings view as the editor composes it: blurred valves under the panel frame.
    juce::Image settings (juce::Image::RGB, 460, 368, true);
    {
        juce::Graphics g (settings);
        g.drawImageAt (scene.renderFrame (12, true), 0, 0);
        g.drawImage (PanelArt::background(), 0, 0, 460, 368, 0, 368, 460, 368);
        const auto level = PanelArt::barStrip (50);
        for (int row = 0; row < 6; ++row)
            g.drawImage (level, 127, 102 + 30 * row, 208, 23, 0, 23 * (10 + 7 * row), 208, 23);
        g.drawImage (PanelArt::oversamplingStrip(), 198, 287, 152, 29, 0, 29 * 2, 152, 29);
        g.drawImage (PanelArt::dottedOutline (74, 21, juce::Colour (137, 137, 137)), 155, 49, 74, 21, 0, 0,
                     74, 21);
        g.drawImage (PanelArt::monoStereo(), 420, 4, 37, 22, 0, 22, 37, 22);
    }
    writePng (folder.getChildFile ("settingsView.png"), settings);
    writePng (folder.getChildFile ("settingsViewX2.png"), enlarged (settings, 2, juce::Colours::black));

    const juce::Colour grey (60, 60, 60);
    writePng (folder.getChildFile ("oversamplingX4.png"), enlarged (PanelArt::oversamplingStrip(), 4, grey));
    writePng (folder.getChildFile ("monoStereoX8.png"), enlarged (PanelArt::monoStereo(), 8, grey));
    writePng (folder.getChildFile ("outlineX8.png"),
              enlarged (PanelArt::dottedOutline (76, 21, juce::Colour (137, 137, 137)), 8, grey));
    writePng (folder.getChildFile ("toneStripX2.png"), enlarged (PanelArt::barStrip (15), 2, grey));
}
} // namespace

int main (int argc, char* argv[])
{
    const bool preview = argc == 4 && juce::String (argv[2]) == "--preview";
    if (argc != 2 && !preview)
    {
        std::fprintf (stderr, "usage: %s <output folder> [--preview <folder>]\n", argv[0]);
        return 2;
    }
    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    if (!folder.createDirectory())
    {
        std::fprintf (stderr, "error: cannot create %s\n", folder.getFullPathName().toRawUTF8());
        return 1;
    }

    const ValveScene scene;
    const juce::Colour light (137, 137, 137);
    const juce::Colour dark (85, 85, 85);

    bool ok = true;
    ok &= write (folder, "background.png", PanelArt::background(), 460, 736);
    ok &= write (folder, "valveGlow.jpg", valveStrip (scene, false), 460, 8832);
    ok &= write (folder, "valveGlowBlurred.jpg", valveStrip (scene, true), 460, 8832);
    ok &= write (folder, "levelStrip.png", PanelArt::barStrip (50), 208, 1150);
    ok &= write (folder, "gainStrip.png", PanelArt::barStrip (17), 208, 391);
    ok &= write (folder, "toneStrip.png", PanelArt::barStrip (15), 208, 345);
    ok &= write (folder, "oversampling.png", PanelArt::oversamplingStrip(), 152, 145);
    ok &= write (folder, "monoStereo.png", PanelArt::monoStereo(), 37, 44);
    ok &= write (folder, "ehNormal.png", PanelArt::dottedOutline (74, 21, light), 74, 21);
    ok &= write (folder, "ehOver.png", PanelArt::dottedOutline (74, 21, dark), 74, 21);
    ok &= write (folder, "rsdNormal.png", PanelArt::dottedOutline (76, 21, light), 76, 21);
    ok &= write (folder, "rsdOver.png", PanelArt::dottedOutline (76, 21, dark), 76, 21);
    if (preview)
        writePreviews (juce::File::getCurrentWorkingDirectory().getChildFile (argv[3]), scene);
    return ok ? 0 : 1;
}
