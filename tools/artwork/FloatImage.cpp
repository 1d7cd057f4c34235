#include "FloatImage.h"

#include <algorithm>
#include <cmath>

FloatImage::FloatImage (int w, int h) : width (w), height (h), pixels ((size_t)(w * h)) {}

FloatImage FloatImage::fromImage (const juce::Image& image)
{
    FloatImage result (image.getWidth(), image.getHeight());
    const juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);
    for (int y = 0; y < result.height; ++y)
    {
        for (int x = 0; x < result.width; ++x)
        {
            // getPixelColour un-premultiplies; store premultiplied values.
            const auto c = data.getPixelColour (x, y);
            const float alpha = c.getFloatAlpha();
            result.at (x, y) = {c.getFloatRed() * alpha, c.getFloatGreen() * alpha, c.getFloatBlue() * alpha,
                                alpha};
        }
    }
    return result;
}

juce::Image FloatImage::toImage (juce::Image::PixelFormat format) const
{
    juce::Image image (format, width, height, true);
    const juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);
    const auto toByte = [] (float v)
    { return (juce::uint8)std::lround (std::clamp (v, 0.0f, 1.0f) * 255.0f); };
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const auto& p = at (x, y);
            const float alpha = std::clamp (p.a, 0.0f, 1.0f);
            if (format == juce::Image::RGB)
            {
                data.setPixelColour (x, y, juce::Colour (toByte (p.r), toByte (p.g), toByte (p.b)));
            }
            else if (alpha > 0.0f)
            {
                data.setPixelColour (x, y,
                                     juce::Colour (toByte (p.r / alpha), toByte (p.g / alpha),
                                                   toByte (p.b / alpha), toByte (alpha)));
            }
        }
    }
    return image;
}

void FloatImage::blur (int radius)
{
    if (radius <= 0)
        return;
    for (int pass = 0; pass < 3; ++pass)
    {
        boxBlurHorizontal (radius);
        boxBlurVertical (radius);
    }
}

namespace
{
// One running-sum box filter along a line of n pixels with the given stride; edges clamp.
void boxLine (FloatImage::Pixel* first, int n, int stride, int radius,
              std::vector<FloatImage::Pixel>& scratch)
{
    scratch.resize ((size_t)n);
    for (int i = 0; i < n; ++i)
        scratch[(size_t)i] = first[i * stride];

    const auto sample = [&] (int i) -> const FloatImage::Pixel&
    { return scratch[(size_t)std::clamp (i, 0, n - 1)]; };
    FloatImage::Pixel sum;
    for (int i = -radius; i <= radius; ++i)
    {
        const auto& p = sample (i);
        sum.r += p.r, sum.g += p.g, sum.b += p.b, sum.a += p.a;
    }
    const float scale = 1.0f / (float)(2 * radius + 1);
    for (int i = 0; i < n; ++i)
    {
        first[i * stride] = {sum.r * scale, sum.g * scale, sum.b * scale, sum.a * scale};
        const auto& in = sample (i + radius + 1);
        const auto& out = sample (i - radius);
        sum.r += in.r - out.r, sum.g += in.g - out.g, sum.b += in.b - out.b, sum.a += in.a - out.a;
    }
}
} // namespace

void FloatImage::boxBlurHorizontal (int radius)
{
    std::vector<Pixel> scratch;
    for (int y = 0; y < height; ++y)
        boxLine (&at (0, y), width, 1, radius, scratch);
}

void FloatImage::boxBlurVertical (int radius)
{
    std::vector<Pixel> scratch;
    for (int x = 0; x < width; ++x)
        boxLine (&at (x, 0), height, width, radius, scratch);
}

void FloatImage::drawOver (const FloatImage& top, float opacity)
{
    for (size_t i = 0; i < pixels.size(); ++i)
    {
        const auto& t = top.pixels[i];
        auto& p = pixels[i];
        const float keep = 1.0f - t.a * opacity;
        p.r = t.r * opacity + p.r * keep;
        p.g = t.g * opacity + p.g * keep;
        p.b = t.b * opacity + p.b * keep;
        p.a = t.a * opacity + p.a * keep;
    }
}

void FloatImage::addLight (const FloatImage& mask, float red, float green, float blue, float gain)
{
    for (size_t i = 0; i < pixels.size(); ++i)
    {
        const float amount = mask.pixels[i].a * gain;
        auto& p = pixels[i];
        p.r += red * amount;
        p.g += green * amount;
        p.b += blue * amount;
    }
}

void FloatImage::multiplyColour (float factor)
{
    for (auto& p : pixels)
        p.r *= factor, p.g *= factor, p.b *= factor;
}

void FloatImage::addMask (const FloatImage& other, float gain)
{
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i].a += other.pixels[i].a * gain;
}

void FloatImage::attenuate (const FloatImage& occluder, float share)
{
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i].a *= 1.0f - share * occluder.pixels[i].a;
}

void FloatImage::toneMap (float knee)
{
    const float headroom = 1.0f - knee;
    const auto roll = [=] (float v)
    { return v <= knee ? v : knee + headroom * (1.0f - std::exp (-(v - knee) / headroom)); };
    for (auto& p : pixels)
    {
        // Light spilling over in one channel bleeds into the others, as film and eyes do.
        const float excess = std::max ({p.r - 1.0f, p.g - 1.0f, 0.0f});
        p.r = roll (p.r);
        p.g = roll (p.g + excess * 0.35f);
        p.b = roll (p.b + excess * 0.15f);
    }
}
