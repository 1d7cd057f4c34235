#include "PanelIcons.h"

namespace
{
// Sets up g so that a drawing in a unitWidth x unitHeight box lands centred in box.
void fitUnitBox (juce::Graphics& g, juce::Rectangle<float> box, float unitWidth, float unitHeight)
{
    const float scale = juce::jmin (box.getWidth() / unitWidth, box.getHeight() / unitHeight);
    const float x = box.getCentreX() - unitWidth * scale * 0.5f;
    const float y = box.getCentreY() - unitHeight * scale * 0.5f;
    g.addTransform (juce::AffineTransform::scale (scale).translated (x, y));
}

void strokeLine (juce::Graphics& g, float x1, float y1, float x2, float y2, float width)
{
    g.drawLine (x1, y1, x2, y2, width);
}
} // namespace

namespace PanelIcons
{
void jackPlug (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 2.6f, 1.0f);
    g.setColour (colour);
    g.fillRect (0.0f, 0.42f, 0.55f, 0.16f);                  // cable
    g.fillRoundedRectangle (0.5f, 0.3f, 0.25f, 0.4f, 0.06f); // strain relief
    g.drawRoundedRectangle (0.79f, 0.12f, 0.8f, 0.76f, 0.12f, 0.08f);
    for (float x : {0.98f, 1.19f, 1.4f})
        strokeLine (g, x, 0.28f, x, 0.72f, 0.06f); // grip
    g.fillRect (1.62f, 0.3f, 0.08f, 0.4f);         // collar
    g.fillRect (1.7f, 0.38f, 0.55f, 0.24f);        // sleeve
    g.fillRect (2.29f, 0.38f, 0.06f, 0.24f);       // ring
    juce::Path tip;
    tip.startNewSubPath (2.39f, 0.38f);
    tip.lineTo (2.5f, 0.38f);
    tip.lineTo (2.6f, 0.5f);
    tip.lineTo (2.5f, 0.62f);
    tip.lineTo (2.39f, 0.62f);
    tip.closeSubPath();
    g.fillPath (tip);
}

void valve (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 0.62f, 1.0f);
    g.setColour (colour);
    juce::Path glass;
    glass.startNewSubPath (0.06f, 0.84f);
    glass.lineTo (0.06f, 0.28f);
    glass.cubicTo (0.06f, 0.1f, 0.56f, 0.1f, 0.56f, 0.28f);
    glass.lineTo (0.56f, 0.84f);
    glass.closeSubPath();
    g.strokePath (glass, juce::PathStrokeType (0.06f));
    g.fillRect (0.27f, 0.03f, 0.08f, 0.1f); // exhaust tip
    strokeLine (g, 0.1f, 0.32f, 0.52f, 0.32f, 0.04f);
    g.setColour (colour.withMultipliedAlpha (0.75f));
    g.fillRect (0.15f, 0.38f, 0.13f, 0.34f); // the two plates
    g.fillRect (0.34f, 0.38f, 0.13f, 0.34f);
    g.setColour (colour);
    for (float x : {0.16f, 0.31f, 0.46f})
        strokeLine (g, x, 0.84f, x, 0.99f, 0.05f); // pins
}

void violin (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 0.5f, 1.0f);

    juce::Path body;
    body.startNewSubPath (0.25f, 0.37f);
    body.cubicTo (0.37f, 0.37f, 0.41f, 0.43f, 0.39f, 0.52f); // upper bout
    body.cubicTo (0.37f, 0.57f, 0.33f, 0.59f, 0.34f, 0.63f); // waist
    body.cubicTo (0.36f, 0.66f, 0.46f, 0.68f, 0.46f, 0.8f);  // lower bout
    body.cubicTo (0.46f, 0.92f, 0.36f, 0.965f, 0.25f, 0.965f);
    body.cubicTo (0.14f, 0.965f, 0.04f, 0.92f, 0.04f, 0.8f);
    body.cubicTo (0.04f, 0.68f, 0.14f, 0.66f, 0.16f, 0.63f);
    body.cubicTo (0.17f, 0.59f, 0.13f, 0.57f, 0.11f, 0.52f);
    body.cubicTo (0.09f, 0.43f, 0.13f, 0.37f, 0.25f, 0.37f);
    body.closeSubPath();
    g.setColour (colour.withMultipliedAlpha (0.3f));
    g.fillPath (body);
    g.setColour (colour);
    g.strokePath (body, juce::PathStrokeType (0.035f));

    g.fillRoundedRectangle (0.22f, 0.1f, 0.06f, 0.56f, 0.02f); // neck and fingerboard
    g.drawEllipse (0.205f, 0.015f, 0.09f, 0.09f, 0.035f);      // scroll
    strokeLine (g, 0.14f, 0.13f, 0.22f, 0.13f, 0.03f);         // pegs
    strokeLine (g, 0.28f, 0.17f, 0.36f, 0.17f, 0.03f);
    strokeLine (g, 0.17f, 0.76f, 0.33f, 0.76f, 0.035f);         // bridge
    g.fillRoundedRectangle (0.215f, 0.8f, 0.07f, 0.13f, 0.02f); // tailpiece

    juce::Path fHoles;
    for (float side : {-1.0f, 1.0f})
    {
        const float x = 0.25f + side * 0.11f;
        fHoles.startNewSubPath (x + side * 0.01f, 0.66f);
        fHoles.cubicTo (x - side * 0.03f, 0.7f, x + side * 0.03f, 0.76f, x - side * 0.01f, 0.81f);
    }
    g.strokePath (fHoles, juce::PathStrokeType (0.025f));
}

void microphone (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 0.6f, 1.0f);
    g.setColour (colour);
    g.drawRoundedRectangle (0.16f, 0.03f, 0.28f, 0.47f, 0.14f, 0.05f);
    for (float y : {0.16f, 0.25f, 0.34f})
        strokeLine (g, 0.2f, y, 0.4f, y, 0.03f); // grille

    juce::Path holder;
    holder.startNewSubPath (0.07f, 0.3f);
    holder.lineTo (0.07f, 0.38f);
    holder.cubicTo (0.07f, 0.56f, 0.2f, 0.63f, 0.3f, 0.63f);
    holder.cubicTo (0.4f, 0.63f, 0.53f, 0.56f, 0.53f, 0.38f);
    holder.lineTo (0.53f, 0.3f);
    g.strokePath (holder, juce::PathStrokeType (0.05f));
    strokeLine (g, 0.3f, 0.63f, 0.3f, 0.9f, 0.05f);
    g.fillRoundedRectangle (0.12f, 0.9f, 0.36f, 0.07f, 0.03f);
}

void bassHead (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 0.56f, 1.0f);

    juce::Path head;
    head.startNewSubPath (0.24f, 0.74f);
    head.lineTo (0.22f, 0.64f);
    head.cubicTo (0.2f, 0.45f, 0.2f, 0.2f, 0.25f, 0.06f);
    head.cubicTo (0.27f, 0.01f, 0.36f, 0.0f, 0.4f, 0.03f);
    head.cubicTo (0.44f, 0.07f, 0.42f, 0.12f, 0.38f, 0.2f);
    head.cubicTo (0.35f, 0.3f, 0.37f, 0.5f, 0.38f, 0.74f);
    head.closeSubPath();
    g.setColour (colour.withMultipliedAlpha (0.3f));
    g.fillPath (head);
    g.setColour (colour);
    g.strokePath (head, juce::PathStrokeType (0.035f));

    g.fillRect (0.24f, 0.74f, 0.14f, 0.26f); // neck
    g.setColour (colour.withMultipliedAlpha (0.4f));
    g.fillRect (0.22f, 0.73f, 0.18f, 0.025f); // nut
    g.setColour (colour);
    for (int i = 0; i < 4; ++i)
    {
        const float y = 0.14f + (float)i * 0.14f;
        strokeLine (g, 0.21f, y, 0.09f, y, 0.04f);              // tuner shaft
        g.fillEllipse (0.01f, y - 0.045f, 0.1f, 0.09f);         // tuner key
        g.drawEllipse (0.27f, y - 0.025f, 0.05f, 0.05f, 0.02f); // string post
    }
}

void loudspeaker (juce::Graphics& g, juce::Rectangle<float> box, juce::Colour colour, int soundWaves)
{
    juce::Graphics::ScopedSaveState state (g);
    fitUnitBox (g, box, 1.0f, 1.0f);
    g.setColour (colour);
    g.fillRect (0.04f, 0.36f, 0.17f, 0.28f);
    juce::Path cone;
    cone.startNewSubPath (0.21f, 0.36f);
    cone.lineTo (0.46f, 0.12f);
    cone.lineTo (0.46f, 0.88f);
    cone.lineTo (0.21f, 0.64f);
    cone.closeSubPath();
    g.fillPath (cone);

    for (int i = 0; i < soundWaves; ++i)
    {
        const float radius = 0.17f + 0.15f * (float)i;
        juce::Path wave;
        wave.addCentredArc (0.46f, 0.5f, radius, radius, 0.0f, juce::MathConstants<float>::pi * 0.22f,
                            juce::MathConstants<float>::pi * 0.78f, true);
        g.strokePath (
            wave, juce::PathStrokeType (0.07f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }
}
} // namespace PanelIcons
