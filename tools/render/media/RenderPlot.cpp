#include "media/RenderPlot.h"

#include "Spectrum.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
constexpr int width = 1200;
constexpr int height = 1080;
constexpr int left = 90;
constexpr int right = 30;

const juce::Colour background (0xfffcfbf7);
const juce::Colour ink (0xff202020);
const juce::Colour grid (0xffdedad0);
const juce::Colour inputColour (0xff8a8f98);
const juce::Colour outputColours[] = {juce::Colour (0xffc0501a), juce::Colour (0xff2a6fb0)};

juce::String decibelText (double level)
{
    if (!(level > 0.0))
        return "-inf dBFS";
    return juce::String (20.0 * std::log10 (level), 1) + " dBFS";
}

double peakOf (const Audio& audio)
{
    double peak = 0.0;
    for (const auto& channel : audio.channels)
        for (float v : channel)
            peak = std::max (peak, static_cast<double> (std::abs (v)));
    return peak;
}

// A step of 1, 2 or 5 times a power of ten that gives at most about `count` ticks over span.
double niceStep (double span, int count)
{
    const double raw = span / std::max (1, count);
    const double power = std::pow (10.0, std::floor (std::log10 (raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (raw <= factor * power)
            return factor * power;
    return 10.0 * power;
}

void drawFrame (juce::Graphics& g, juce::Rectangle<int> box, const juce::String& title)
{
    g.setColour (ink);
    g.setFont (juce::Font (15.0f, juce::Font::bold));
    g.drawText (title, box.getX(), box.getY() - 22, box.getWidth(), 20, juce::Justification::centredLeft);
    g.setColour (ink.withAlpha (0.6f));
    g.drawRect (box);
}

// Min/max of each pixel column, every channel in its colour, scaled to the panel's peak.
void drawWaveform (juce::Graphics& g, juce::Rectangle<int> box, const Audio& audio, bool isInput,
                   const juce::String& title)
{
    const double peak = std::max (peakOf (audio), 1e-9);
    drawFrame (g, box, title + "   (peak " + decibelText (peakOf (audio)) + ", scale +-" +
                           juce::String (peak, 3) + ")");
    const size_t length = audio.channels.empty() ? 0 : audio.channels.front().size();
    const double seconds = static_cast<double> (length) / audio.sampleRate;

    g.setFont (12.0f);
    const double step = niceStep (seconds, 10);
    for (double t = 0.0; t <= seconds + 1e-9; t += step)
    {
        const float x = static_cast<float> (box.getX() + t / seconds * box.getWidth());
        g.setColour (grid);
        g.drawVerticalLine (static_cast<int> (x), static_cast<float> (box.getY()) + 1.0f,
                            static_cast<float> (box.getBottom()) - 1.0f);
        g.setColour (ink);
        g.drawText (juce::String (t, step < 1.0 ? 1 : 0) + " s", static_cast<int> (x) - 30, box.getBottom() + 2, 60,
                    14, juce::Justification::centred);
    }
    const float middle = static_cast<float> (box.getCentreY());
    g.setColour (grid);
    g.drawHorizontalLine (static_cast<int> (middle), static_cast<float> (box.getX()),
                          static_cast<float> (box.getRight()));
    g.setColour (ink);
    g.drawText ("+" + juce::String (peak, 3), box.getX() - left, box.getY(), left - 6, 14,
                juce::Justification::centredRight);
    g.drawText ("0", box.getX() - left, static_cast<int> (middle) - 7, left - 6, 14,
                juce::Justification::centredRight);
    g.drawText ("-" + juce::String (peak, 3), box.getX() - left, box.getBottom() - 14, left - 6, 14,
                juce::Justification::centredRight);
    if (length == 0)
        return;

    const float half = static_cast<float> (box.getHeight()) * 0.5f - 2.0f;
    for (size_t c = 0; c < audio.channels.size() && c < 2; ++c)
    {
        const auto& channel = audio.channels[c];
        g.setColour (isInput ? inputColour.withAlpha (c == 0 ? 1.0f : 0.6f) : outputColours[c].withAlpha (0.85f));
        for (int x = 0; x < box.getWidth(); ++x)
        {
            const size_t from = static_cast<size_t> (static_cast<double> (x) / box.getWidth() * length);
            const size_t to = std::max (from + 1, static_cast<size_t> (static_cast<double> (x + 1) / box.getWidth() * length));
            float low = channel[from], high = channel[from];
            for (size_t s = from; s < to && s < length; ++s)
            {
                low = std::min (low, channel[s]);
                high = std::max (high, channel[s]);
            }
            const float top = middle - static_cast<float> (high / peak) * half;
            const float bottom = middle - static_cast<float> (low / peak) * half;
            g.drawVerticalLine (box.getX() + x, top, std::max (bottom, top + 1.0f));
        }
    }
}

// A close look at a few milliseconds: the input (grey) and the output (colour), each scaled to
// its own peak in the window, so the change of shape shows whatever the gain.
void drawZoom (juce::Graphics& g, juce::Rectangle<int> box, const Audio& input, const Audio& output, size_t from,
               size_t count)
{
    const double milliseconds = 1000.0 * static_cast<double> (count) / output.sampleRate;
    drawFrame (g, box, "Shape, " + juce::String (milliseconds, 1) + " ms at " +
                           juce::String (static_cast<double> (from) / output.sampleRate, 2) + " s");
    const float middle = static_cast<float> (box.getCentreY());
    g.setColour (grid);
    g.drawHorizontalLine (static_cast<int> (middle), static_cast<float> (box.getX()), static_cast<float> (box.getRight()));
    const auto trace = [&] (const std::vector<float>& channel, juce::Colour colour, float thickness)
    {
        if (from + count > channel.size() || count < 2)
            return;
        float peak = 1e-9f;
        for (size_t s = from; s < from + count; ++s)
            peak = std::max (peak, std::abs (channel[s]));
        const float half = static_cast<float> (box.getHeight()) * 0.5f - 4.0f;
        juce::Path path;
        for (size_t s = 0; s < count; ++s)
        {
            const float x = static_cast<float> (box.getX()) +
                            static_cast<float> (s) / static_cast<float> (count - 1) * static_cast<float> (box.getWidth());
            const float y = middle - channel[from + s] / peak * half;
            if (s == 0)
                path.startNewSubPath (x, y);
            else
                path.lineTo (x, y);
        }
        g.setColour (colour);
        g.strokePath (path, juce::PathStrokeType (thickness));
    };
    trace (input.channels.front(), inputColour, 1.0f);
    trace (output.channels.front(), outputColours[0], 1.8f);
}

// Where to look closely: three periods of a test tone near the end, else 20 ms around the
// output's peak.
std::pair<size_t, size_t> zoomWindow (const Audio& output, double toneFrequency)
{
    const auto& channel = output.channels.front();
    const double rate = output.sampleRate;
    const size_t count = std::min (channel.size(), static_cast<size_t> (
                                                       toneFrequency > 0.0 ? 3.0 * rate / toneFrequency : 0.02 * rate));
    if (count < 2)
        return {0, 0};
    if (toneFrequency > 0.0)
        return {channel.size() - count - std::min (channel.size() - count, static_cast<size_t> (0.05 * rate)), count};
    size_t loudest = 0;
    for (size_t s = 0; s < channel.size(); ++s)
        if (std::abs (channel[s]) > std::abs (channel[loudest]))
            loudest = s;
    const size_t from = loudest > count / 2 ? std::min (loudest - count / 2, channel.size() - count) : 0;
    return {from, count};
}

size_t fftSizeFor (double sampleRate)
{
    size_t size = 1024;
    while (static_cast<double> (size) < sampleRate / 6.0 && size < (1u << 16))
        size <<= 1;
    return size;
}

// The output's spectrum (its first channel) over the input's, on a log frequency axis.
void drawSpectrum (juce::Graphics& g, juce::Rectangle<int> box, const Audio& input, const Audio& output)
{
    const double rate = output.sampleRate;
    const size_t fftSize = fftSizeFor (rate);
    const auto out = averageSpectrumDb (output.channels.front(), fftSize);
    const auto in = averageSpectrumDb (input.channels.front(), fftSize);
    const double low = 20.0, high = std::min (20000.0, 0.5 * rate);
    double loudest = -200.0;
    for (size_t k = 1; k < out.size(); ++k)
        loudest = std::max (loudest, out[k]);
    const double top = std::min (20.0, std::ceil (loudest / 10.0) * 10.0 + 10.0);
    const double bottom = top - 140.0;

    drawFrame (g, box, "Spectrum of the output (colour) over the input (grey), Hann windows of " +
                           juce::String (static_cast<int> (fftSize)) + " samples");
    const auto xOf = [&] (double f)
    { return static_cast<float> (box.getX() + std::log (f / low) / std::log (high / low) * box.getWidth()); };
    const auto yOf = [&] (double db)
    {
        const double clamped = std::clamp (db, bottom, top);
        return static_cast<float> (box.getY() + (top - clamped) / (top - bottom) * box.getHeight());
    };

    g.setFont (12.0f);
    for (double f : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0})
    {
        if (f > high)
            break;
        g.setColour (grid);
        g.drawVerticalLine (static_cast<int> (xOf (f)), static_cast<float> (box.getY()) + 1.0f,
                            static_cast<float> (box.getBottom()) - 1.0f);
        g.setColour (ink);
        g.drawText (f >= 1000.0 ? juce::String (f / 1000.0, 0) + " kHz" : juce::String (f, 0) + " Hz",
                    static_cast<int> (xOf (f)) - 30, box.getBottom() + 2, 60, 14, juce::Justification::centred);
    }
    for (double db = top; db >= bottom - 1e-9; db -= 20.0)
    {
        g.setColour (grid);
        g.drawHorizontalLine (static_cast<int> (yOf (db)), static_cast<float> (box.getX()) + 1.0f,
                              static_cast<float> (box.getRight()) - 1.0f);
        g.setColour (ink);
        g.drawText (juce::String (db, 0) + " dB", box.getX() - left, static_cast<int> (yOf (db)) - 7, left - 6, 14,
                    juce::Justification::centredRight);
    }

    const auto curve = [&] (const std::vector<double>& levels, juce::Colour colour, float thickness)
    {
        juce::Path path;
        bool started = false;
        const double binWidth = rate / static_cast<double> (fftSize);
        // One point per pixel column: the loudest bin in it, so narrow harmonics stay visible.
        for (int x = 0; x < box.getWidth(); ++x)
        {
            const double f0 = low * std::pow (high / low, static_cast<double> (x) / box.getWidth());
            const double f1 = low * std::pow (high / low, static_cast<double> (x + 1) / box.getWidth());
            const size_t from = std::max<size_t> (1, static_cast<size_t> (std::floor (f0 / binWidth)));
            const size_t to = std::min (levels.size() - 1, std::max (from, static_cast<size_t> (std::ceil (f1 / binWidth))));
            double level = -200.0;
            for (size_t k = from; k <= to; ++k)
                level = std::max (level, levels[k]);
            const float y = yOf (level);
            if (!started)
                path.startNewSubPath (static_cast<float> (box.getX() + x), y);
            else
                path.lineTo (static_cast<float> (box.getX() + x), y);
            started = true;
        }
        g.setColour (colour);
        g.strokePath (path, juce::PathStrokeType (thickness));
    };
    if (!in.empty())
        curve (in, inputColour, 1.0f);
    if (!out.empty())
        curve (out, outputColours[0], 1.5f);
}

// One bar per harmonic, its output level in dBFS and relative to the fundamental.
void drawHarmonics (juce::Graphics& g, juce::Rectangle<int> box, double frequency, const std::vector<double>& levels)
{
    drawFrame (g, box, "Harmonics of the " + juce::String (frequency, 1) + " Hz test tone in the output");
    if (levels.empty())
        return;
    const double top = 0.0, bottom = -140.0;
    const auto yOf = [&] (double db)
    {
        const double clamped = std::clamp (db, bottom, top);
        return static_cast<float> (box.getY() + 16 + (top - clamped) / (top - bottom) * (box.getHeight() - 48));
    };
    g.setFont (12.0f);
    for (double db = top; db >= bottom; db -= 20.0)
    {
        g.setColour (grid);
        g.drawHorizontalLine (static_cast<int> (yOf (db)), static_cast<float> (box.getX()) + 1.0f,
                              static_cast<float> (box.getRight()) - 1.0f);
        g.setColour (ink);
        g.drawText (juce::String (db, 0) + " dB", box.getX() - left, static_cast<int> (yOf (db)) - 7, left - 6, 14,
                    juce::Justification::centredRight);
    }
    const int slot = box.getWidth() / static_cast<int> (levels.size());
    for (size_t h = 0; h < levels.size(); ++h)
    {
        const int x = box.getX() + static_cast<int> (h) * slot;
        g.setColour (ink);
        g.drawText ("H" + juce::String (static_cast<int> (h + 1)), x, box.getBottom() - 30, slot, 14,
                    juce::Justification::centred);
        g.drawText (juce::String (frequency * static_cast<double> (h + 1), 0) + " Hz", x, box.getBottom() - 16, slot,
                    14, juce::Justification::centred);
        if (!std::isfinite (levels[h]))
        {
            g.drawText ("above Nyquist", x, static_cast<int> (yOf (bottom)) - 16, slot, 14,
                        juce::Justification::centred);
            continue;
        }
        const float barTop = yOf (levels[h]);
        g.setColour (outputColours[0].withAlpha (h == 0 ? 1.0f : 0.75f));
        g.fillRect (juce::Rectangle<float> (static_cast<float> (x + slot / 4), barTop, static_cast<float> (slot / 2),
                                            std::max (1.0f, yOf (bottom) - barTop)));
        g.setColour (ink);
        const juce::String relative =
            h == 0 ? juce::String ("fundamental") : juce::String (levels[h] - levels[0], 1) + " dBc";
        g.drawText (juce::String (levels[h], 1) + " dBFS", x, static_cast<int> (barTop) - 30, slot, 14,
                    juce::Justification::centred);
        g.drawText (relative, x, static_cast<int> (barTop) - 16, slot, 14, juce::Justification::centred);
    }
}
} // namespace

bool writePlot (const std::string& path, const PlotContent& content, std::string& error)
{
    if (content.input == nullptr || content.output == nullptr || content.input->channels.empty() ||
        content.output->channels.empty() || !(content.output->sampleRate > 0.0))
    {
        error = "nothing to plot";
        return false;
    }
    juce::Image image (juce::Image::RGB, width, height, true, juce::SoftwareImageType());
    {
        juce::Graphics g (image);
        g.fillAll (background);
        g.setColour (ink);
        g.setFont (juce::Font (20.0f, juce::Font::bold));
        g.drawText (juce::String::fromUTF8 (content.title.c_str()), 20, 8, width - 40, 26,
                    juce::Justification::centredLeft);
        g.setFont (13.0f);
        int y = 36;
        for (const auto& note : content.notes)
        {
            g.drawText (juce::String::fromUTF8 (note.c_str()), 20, y, width - 40, 16, juce::Justification::centredLeft);
            y += 16;
        }

        const int top = std::max (y + 30, 100);
        const bool withHarmonics = content.toneFrequency > 0.0;
        const int available = height - top - 30;
        const int waveHeight = withHarmonics ? available * 16 / 100 : available * 22 / 100;
        const int spectrumHeight = withHarmonics ? available * 28 / 100 : available * 42 / 100;
        const int gap = 44;
        juce::Rectangle<int> box (left, top, width - left - right, waveHeight);
        drawWaveform (g, box, *content.input, true, "Input");
        box.setY (box.getBottom() + gap);
        const auto [zoomFrom, zoomCount] = zoomWindow (*content.output, content.toneFrequency);
        auto whole = box;
        if (zoomCount > 0)
        {
            const auto closeUp = whole.removeFromRight (box.getWidth() / 4);
            whole.removeFromRight (24);
            drawZoom (g, closeUp, *content.input, *content.output, zoomFrom, zoomCount);
        }
        drawWaveform (g, whole, *content.output, false,
                      content.output->channels.size() > 1 ? "Output (left orange, right blue)" : "Output");
        box.setY (box.getBottom() + gap);
        box.setHeight (spectrumHeight);
        drawSpectrum (g, box, *content.input, *content.output);
        if (withHarmonics)
        {
            box.setY (box.getBottom() + gap);
            box.setHeight (height - box.getY() - 16);
            drawHarmonics (g, box, content.toneFrequency, content.harmonics);
        }
    }

    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str()));
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;
    if (!stream.openedOk() || !png.writeImageToStream (image, stream))
    {
        error = path + ": cannot write the PNG file";
        return false;
    }
    return true;
}
