#pragma once

#include <juce_graphics/juce_graphics.h>

#include <vector>

// A premultiplied RGBA picture in floating point. JUCE's Graphics has no additive blending
// and no blur, which light and focus need; the scene is drawn with Graphics into layers and
// the layers are combined here.
class FloatImage
{
public:
    struct Pixel
    {
        float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
    };

    FloatImage (int width, int height);

    static FloatImage fromImage (const juce::Image& image);
    juce::Image toImage (juce::Image::PixelFormat format) const;

    int getWidth() const noexcept { return width; }
    int getHeight() const noexcept { return height; }

    Pixel& at (int x, int y) noexcept { return pixels[(size_t)(y * width + x)]; }
    const Pixel& at (int x, int y) const noexcept { return pixels[(size_t)(y * width + x)]; }

    // Three passes of a separable box blur: close to a Gaussian of sigma ~ radius.
    void blur (int radius);

    // Porter-Duff "over": draws top above this picture.
    void drawOver (const FloatImage& top, float opacity = 1.0f);

    // Adds light of the given colour wherever the mask has alpha (additive, unclamped).
    void addLight (const FloatImage& mask, float red, float green, float blue, float gain);

    void multiplyColour (float factor);

    // Mask arithmetic on the alpha channel: adds other's alpha, or removes the given share of
    // this alpha where the occluder covers.
    void addMask (const FloatImage& other, float gain);
    void attenuate (const FloatImage& occluder, float share);

    // Smooth roll-off above the knee instead of hard clipping, so bright light turns warm white.
    void toneMap (float knee);

private:
    void boxBlurHorizontal (int radius);
    void boxBlurVertical (int radius);

    int width;
    int height;
    std::vector<Pixel> pixels;
};
