#include "ValveScene.h"

#include <cmath>

namespace
{
constexpr float valveCentres[] = {158.0f, 302.0f};
constexpr float glassHalfWidth = 42.0f;
constexpr float glassTop = 46.0f;
constexpr float glassBottom = 262.0f;
constexpr float socketTop = 266.0f;
constexpr float socketBottom = 284.0f; // where the sockets touch the surface: the mirror line
constexpr float surfaceBackEdge = 250.0f;
constexpr float plateTop = 108.0f;
constexpr float plateBottom = 196.0f;
constexpr float sectionOffset = 18.0f; // the two triode sections sit left and right of the axis

juce::Image blankLayer()
{
    return juce::Image (juce::Image::ARGB, ValveScene::width, ValveScene::height, true);
}

juce::Path glassOutline (float cx)
{
    const float h = glassHalfWidth;
    juce::Path p;
    p.startNewSubPath (cx - h, glassBottom - 8.0f);
    p.lineTo (cx - h, glassTop + 28.0f);
    p.cubicTo (cx - h, glassTop + 6.0f, cx - h * 0.55f, glassTop, cx, glassTop);
    p.cubicTo (cx + h * 0.55f, glassTop, cx + h, glassTop + 6.0f, cx + h, glassTop + 28.0f);
    p.lineTo (cx + h, glassBottom - 8.0f);
    p.quadraticTo (cx + h, glassBottom, cx + h - 9.0f, glassBottom);
    p.lineTo (cx - h + 9.0f, glassBottom);
    p.quadraticTo (cx - h, glassBottom, cx - h, glassBottom - 8.0f);
    p.closeSubPath();
    return p;
}

void drawRoom (juce::Graphics& g)
{
    const float w = (float)ValveScene::width;
    const float h = (float)ValveScene::height;

    g.setGradientFill (juce::ColourGradient (juce::Colour (9, 8, 8), 0.0f, 0.0f, juce::Colour (25, 22, 20),
                                             0.0f, surfaceBackEdge, false));
    g.fillRect (0.0f, 0.0f, w, surfaceBackEdge);

    // A soft pool of ambient light on the wall behind the valves gives the room depth.
    g.setGradientFill (juce::ColourGradient (juce::Colour (34, 30, 27).withAlpha (0.55f), w * 0.5f, 150.0f,
                                             juce::Colours::transparentBlack, w * 0.5f + 250.0f, 150.0f,
                                             true));
    g.fillRect (0.0f, 0.0f, w, surfaceBackEdge);

    g.setGradientFill (juce::ColourGradient (juce::Colour (22, 20, 18), 0.0f, surfaceBackEdge,
                                             juce::Colour (7, 6, 6), 0.0f, h, false));
    g.fillRect (0.0f, surfaceBackEdge, w, h - surfaceBackEdge);

    // The back edge of the surface catches a little light.
    g.setColour (juce::Colour (46, 41, 37));
    g.fillRect (0.0f, surfaceBackEdge, w, 1.0f);
    g.setColour (juce::Colour (30, 27, 24));
    g.fillRect (0.0f, surfaceBackEdge + 1.0f, w, 1.0f);
}

void drawPlate (juce::Graphics& g, float xs)
{
    const float left = xs - 14.0f;
    const float width = 28.0f;
    const float height = plateBottom - plateTop;

    juce::ColourGradient metal (juce::Colour (30, 30, 32), left, 0.0f, juce::Colour (26, 26, 28),
                                left + width, 0.0f, false);
    metal.addColour (0.3, juce::Colour (66, 65, 68));
    metal.addColour (0.55, juce::Colour (48, 48, 51));
    g.setGradientFill (metal);
    g.fillRect (left, plateTop, width, height);

    // Pressed ribs stiffen the plate; each catches light on its upper side.
    for (float y = plateTop + 8.0f; y < plateBottom - 4.0f; y += 9.0f)
    {
        g.setColour (juce::Colour (120, 118, 122).withAlpha (0.25f));
        g.fillRect (left + 3.0f, y, width - 6.0f, 1.0f);
        g.setColour (juce::Colour (20, 20, 22).withAlpha (0.45f));
        g.fillRect (left + 3.0f, y + 1.0f, width - 6.0f, 1.0f);
    }

    // The seam where the two plate halves are crimped together, and the side flanges.
    g.setColour (juce::Colour (25, 25, 27).withAlpha (0.8f));
    g.fillRect (xs - 0.5f, plateTop, 1.0f, height);
    g.setColour (juce::Colour (92, 90, 94));
    g.fillRect (left - 1.0f, plateTop - 1.0f, 2.0f, height + 2.0f);
    g.fillRect (left + width - 1.0f, plateTop - 1.0f, 2.0f, height + 2.0f);
    g.setColour (juce::Colour (140, 138, 140));
    g.fillRect (left, plateTop - 1.0f, width, 1.0f);
}

void drawMica (juce::Graphics& g, float cx, float y)
{
    g.setColour (juce::Colour (176, 164, 140).withAlpha (0.55f));
    g.fillRoundedRectangle (cx - 38.0f, y, 76.0f, 6.0f, 2.0f);
    g.setColour (juce::Colour (220, 210, 190).withAlpha (0.5f));
    g.fillRect (cx - 37.0f, y, 74.0f, 1.0f);
    g.setColour (juce::Colour (30, 28, 26).withAlpha (0.6f));
    for (float x : {-30.0f, -6.0f, 6.0f, 30.0f})
        g.fillEllipse (cx + x - 1.5f, y + 1.5f, 3.0f, 3.0f);
}

void drawInterior (juce::Graphics& g, float cx)
{
    // Lead wires from the lower mica down to the pins in the glass stem.
    g.setColour (juce::Colour (118, 110, 102));
    for (int i = 0; i < 9; ++i)
    {
        const float top = cx - 30.0f + (float)i * 7.5f;
        const float bottom = cx - 24.0f + (float)i * 6.0f;
        g.drawLine (top, 206.0f, bottom, 254.0f, 1.0f);
    }

    // Glass stem (the pressed base through which the pins pass).
    juce::ColourGradient stem (juce::Colour (96, 108, 100).withAlpha (0.10f), cx, 236.0f,
                               juce::Colour (96, 108, 100).withAlpha (0.45f), cx, glassBottom, false);
    g.setGradientFill (stem);
    g.fillRoundedRectangle (cx - 32.0f, 236.0f, 64.0f, glassBottom - 236.0f, 8.0f);

    // Side rods carry both micas; grid posts run through them.
    g.setColour (juce::Colour (132, 126, 118));
    for (float x : {-35.0f, 35.0f})
        g.fillRect (cx + x - 0.7f, 94.0f, 1.4f, 160.0f);
    g.setColour (juce::Colour (150, 142, 132));
    for (float s : {-sectionOffset, sectionOffset})
        for (float x : {-10.0f, 10.0f})
            g.fillRect (cx + s + x - 0.5f, 96.0f, 1.0f, 114.0f);

    for (float s : {-sectionOffset, sectionOffset})
        drawPlate (g, cx + s);

    drawMica (g, cx, 98.0f);
    drawMica (g, cx, 200.0f);

    // The getter: a small cup on a wire above the upper mica.
    g.setColour (juce::Colour (140, 134, 128));
    g.drawLine (cx, 98.0f, cx, 86.0f, 1.0f);
    g.drawEllipse (cx - 10.0f, 81.0f, 20.0f, 6.0f, 1.2f);

    // The pins' stubs inside the stem.
    g.setColour (juce::Colour (168, 162, 156));
    for (int i = 0; i < 9; ++i)
        g.fillRect (cx - 24.5f + (float)i * 6.0f, 252.0f, 1.2f, glassBottom - 252.0f);
}

void drawGetterFlash (juce::Graphics& g, float cx)
{
    // The silvery deposit inside the dome; its lower edge is uneven where the flash thinned out.
    juce::Path flash;
    flash.startNewSubPath (cx - 50.0f, glassTop - 10.0f);
    flash.lineTo (cx + 50.0f, glassTop - 10.0f);
    flash.lineTo (cx + 50.0f, glassTop + 36.0f);
    for (int i = 10; i >= -10; --i)
    {
        const float x = cx + (float)i * 5.0f;
        const float wave = 2.5f * std::sin ((float)i * 0.7f + cx * 0.05f) + 1.0f * std::sin ((float)i * 1.9f);
        flash.lineTo (x, glassTop + 36.0f + wave);
    }
    flash.closeSubPath();

    juce::ColourGradient across (juce::Colour (38, 36, 40), cx - glassHalfWidth, 0.0f,
                                 juce::Colour (34, 32, 36), cx + glassHalfWidth, 0.0f, false);
    across.addColour (0.22, juce::Colour (150, 148, 156));
    across.addColour (0.32, juce::Colour (88, 86, 92));
    across.addColour (0.7, juce::Colour (62, 60, 66));
    across.addColour (0.84, juce::Colour (104, 102, 108));
    g.setGradientFill (across);
    g.setOpacity (0.92f);
    g.fillPath (flash);

    // The flash thins out downward into a brownish, half-transparent film.
    g.setGradientFill (juce::ColourGradient (juce::Colour (60, 48, 40).withAlpha (0.0f), cx, glassTop + 20.0f,
                                             juce::Colour (60, 48, 40).withAlpha (0.55f), cx,
                                             glassTop + 38.0f, false));
    g.fillPath (flash);
}

void drawGlassSurface (juce::Graphics& g, const juce::Path& glass, float cx)
{
    // Curved glass looks brighter at its edges, where the eye looks through more of it.
    juce::ColourGradient rim (juce::Colour (190, 195, 205).withAlpha (0.22f), cx - glassHalfWidth, 0.0f,
                              juce::Colour (190, 195, 205).withAlpha (0.22f), cx + glassHalfWidth, 0.0f,
                              false);
    rim.addColour (0.12, juce::Colour (190, 195, 205).withAlpha (0.05f));
    rim.addColour (0.88, juce::Colour (190, 195, 205).withAlpha (0.05f));
    rim.addColour (0.5, juce::Colour (190, 195, 205).withAlpha (0.0f));
    g.setGradientFill (rim);
    g.fillPath (glass);

    // Reflections of a window-like light to the upper left.
    const float left = cx - glassHalfWidth;
    g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (0.42f), 0.0f, glassTop + 20.0f,
                                             juce::Colours::white.withAlpha (0.03f), 0.0f,
                                             glassBottom - 10.0f, false));
    g.fillRoundedRectangle (left + 7.0f, glassTop + 22.0f, 4.0f, glassBottom - glassTop - 40.0f, 2.0f);
    g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (0.18f), 0.0f, glassTop + 30.0f,
                                             juce::Colours::white.withAlpha (0.0f), 0.0f, glassBottom - 30.0f,
                                             false));
    g.fillRoundedRectangle (cx + glassHalfWidth - 8.0f, glassTop + 30.0f, 2.0f,
                            glassBottom - glassTop - 70.0f, 1.0f);
    g.setColour (juce::Colours::white.withAlpha (0.5f));
    g.fillEllipse (cx - 24.0f, glassTop + 7.0f, 7.0f, 13.0f);

    g.setColour (juce::Colour (200, 205, 215).withAlpha (0.3f));
    g.strokePath (glass, juce::PathStrokeType (1.0f));
}

void drawTipAndBase (juce::Graphics& g, float cx)
{
    // The sealed exhaust tip on top of the dome.
    juce::Path tip;
    tip.addRoundedRectangle (cx - 5.0f, glassTop - 8.0f, 10.0f, 11.0f, 4.5f);
    g.setColour (juce::Colour (84, 82, 88).withAlpha (0.95f));
    g.fillPath (tip);
    g.setColour (juce::Colours::white.withAlpha (0.45f));
    g.fillEllipse (cx - 3.0f, glassTop - 6.0f, 2.5f, 5.0f);

    // Pins between glass and socket.
    g.setColour (juce::Colour (176, 170, 162));
    for (int i = 0; i < 9; ++i)
        g.fillRect (cx - 24.5f + (float)i * 6.0f, glassBottom, 1.5f, socketTop - glassBottom + 2.0f);

    // Socket: a short black cylinder with a metal retaining ring at its top.
    const float half = 50.0f;
    g.setGradientFill (juce::ColourGradient (juce::Colour (30, 28, 27), cx - half, 0.0f,
                                             juce::Colour (12, 11, 11), cx + half, 0.0f, false));
    g.fillRoundedRectangle (cx - half, socketTop, 2.0f * half, socketBottom - socketTop, 3.0f);
    juce::ColourGradient ring (juce::Colour (90, 86, 82), cx - half, 0.0f, juce::Colour (48, 46, 44),
                               cx + half, 0.0f, false);
    ring.addColour (0.3, juce::Colour (170, 164, 156));
    g.setGradientFill (ring);
    g.fillRoundedRectangle (cx - half + 2.0f, socketTop, 2.0f * half - 4.0f, 3.0f, 1.5f);
    g.setColour (juce::Colour (58, 54, 50));
    g.fillRect (cx - half + 3.0f, socketTop + 3.0f, 2.0f * half - 6.0f, 1.0f);
}

void drawValve (juce::Graphics& g, float cx)
{
    const auto glass = glassOutline (cx);

    // The inside of the envelope is slightly darker than the room seen through it.
    g.setColour (juce::Colour (14, 13, 13).withAlpha (0.35f));
    g.fillPath (glass);

    {
        juce::Graphics::ScopedSaveState state (g);
        g.reduceClipRegion (glass);
        drawInterior (g, cx);
        drawGetterFlash (g, cx);
    }
    drawGlassSurface (g, glass, cx);
    drawTipAndBase (g, cx);
}

// The hot parts of the heaters as a white mask: loops above and below the micas, the cathodes
// seen between the plates and through the plate seams.
void drawHeaterMask (juce::Graphics& g, float cx)
{
    for (float s : {-sectionOffset, sectionOffset})
    {
        const float xs = cx + s;
        g.setColour (juce::Colours::white);
        juce::Path upperLoop;
        upperLoop.startNewSubPath (xs - 2.0f, 104.0f);
        upperLoop.lineTo (xs - 2.0f, 95.0f);
        upperLoop.quadraticTo (xs, 91.0f, xs + 2.0f, 95.0f);
        upperLoop.lineTo (xs + 2.0f, 104.0f);
        g.strokePath (upperLoop, juce::PathStrokeType (1.5f));

        juce::Path lowerLoop;
        lowerLoop.startNewSubPath (xs - 2.0f, 200.0f);
        lowerLoop.lineTo (xs - 2.0f, 212.0f);
        lowerLoop.quadraticTo (xs, 216.0f, xs + 2.0f, 212.0f);
        lowerLoop.lineTo (xs + 2.0f, 200.0f);
        g.strokePath (lowerLoop, juce::PathStrokeType (1.5f));

        // Cathode ends between mica and plate.
        g.setColour (juce::Colours::white.withAlpha (0.75f));
        g.fillRect (xs - 9.0f, plateTop - 3.0f, 18.0f, 2.0f);
        g.fillRect (xs - 9.0f, plateBottom + 1.0f, 18.0f, 2.0f);

        g.setColour (juce::Colours::white.withAlpha (0.12f));
        g.fillRect (xs - 0.5f, plateTop + 6.0f, 1.0f, plateBottom - plateTop - 12.0f);
    }
    g.setColour (juce::Colours::white.withAlpha (0.1f));
    g.fillRect (cx - 1.5f, plateTop + 2.0f, 3.0f, plateBottom - plateTop - 4.0f);
}

// Where the plates stand in front of the heaters and hide their light.
void drawPlateShadow (juce::Graphics& g, float cx)
{
    g.setColour (juce::Colours::white);
    for (float s : {-sectionOffset, sectionOffset})
        g.fillRect (cx + s - 15.0f, plateTop, 30.0f, plateBottom - plateTop);
}

FloatImage layerOf (void (*draw) (juce::Graphics&, float))
{
    auto image = blankLayer();
    {
        juce::Graphics g (image);
        for (float cx : valveCentres)
            draw (g, cx);
    }
    return FloatImage::fromImage (image);
}

// The picture of everything above the mirror line as a glossy surface shows it below the
// line: flipped, fading with distance.
FloatImage mirroredBelowSurface (const FloatImage& source, float strength, float fadeDistance)
{
    FloatImage result (source.getWidth(), source.getHeight());
    const int line = (int)socketBottom;
    for (int y = line; y < source.getHeight(); ++y)
    {
        const int from = 2 * line - y - 1;
        if (from < 0)
            continue;
        const float k = strength * std::exp (-(float)(y - line) / fadeDistance);
        for (int x = 0; x < source.getWidth(); ++x)
        {
            const auto& p = source.at (x, from);
            result.at (x, y) = {p.r * k, p.g * k, p.b * k, p.a * k};
        }
    }
    return result;
}
} // namespace

ValveScene::ValveScene()
    : litScene (width, height), filamentCore (width, height), glassHalo (width, height),
      roomSpill (width, height), surfaceLight (width, height)
{
    auto room = blankLayer();
    {
        juce::Graphics g (room);
        drawRoom (g);
    }
    litScene = FloatImage::fromImage (room);

    const auto valves = layerOf (drawValve);
    auto valveReflection = mirroredBelowSurface (valves, 0.3f, 40.0f);
    valveReflection.blur (1);
    litScene.drawOver (valveReflection);
    litScene.drawOver (valves);

    const auto heaters = layerOf (drawHeaterMask);
    filamentCore = heaters;
    filamentCore.blur (1);
    glassHalo = heaters;
    glassHalo.blur (7);
    glassHalo.attenuate (layerOf (drawPlateShadow), 0.8f);
    roomSpill = heaters;
    roomSpill.blur (36);

    // On the surface: the mirrored glow, softened by the surface's gloss, and a diffuse pool of
    // light right in front of each socket.
    auto mirroredGlow = heaters;
    mirroredGlow.blur (2);
    surfaceLight = mirroredBelowSurface (mirroredGlow, 0.9f, 60.0f);
    surfaceLight.blur (3);
    auto pool = blankLayer();
    {
        juce::Graphics g (pool);
        g.setColour (juce::Colours::white);
        for (float cx : valveCentres)
            g.fillEllipse (cx - 70.0f, socketBottom + 2.0f, 140.0f, 22.0f);
    }
    auto poolLight = FloatImage::fromImage (pool);
    poolLight.blur (9);
    surfaceLight.addMask (poolLight, 0.1f);
}

float ValveScene::glowIntensity (int frame)
{
    const float t = (float)frame / (float)(numFrames - 1);
    return 0.012f + 0.988f * std::pow (t, 1.7f);
}

juce::Image ValveScene::renderFrame (int frame, bool outOfFocus) const
{
    const float t = (float)frame / (float)(numFrames - 1);
    const float intensity = glowIntensity (frame);

    // A cool filament glows deep red; hotter, it turns orange.
    const float red = 1.0f;
    const float green = 0.2f + 0.28f * t;
    const float blue = 0.04f + 0.08f * t;

    FloatImage picture = litScene;
    picture.addLight (filamentCore, red, green, blue, 2.8f * intensity);
    picture.addLight (glassHalo, red, green, blue, 3.2f * intensity);
    picture.addLight (roomSpill, red, green, blue, 12.0f * intensity);
    picture.addLight (surfaceLight, red, green, blue, 3.0f * intensity);
    picture.toneMap (0.8f);

    if (outOfFocus)
    {
        picture.blur (4);
        picture.multiplyColour (0.5f);
    }
    return picture.toImage (juce::Image::RGB);
}
