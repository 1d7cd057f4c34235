// Renders a generated guitar phrase through the plug-in's processor, the way a host drives it
// (prepare, then process in blocks), and writes the result as a 24-bit WAV file.
//
//   varkel_render [OUTPUT.wav]      default: out/render.wav

#include "TestSignal.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace
{
constexpr double renderRate = 48000.0;
constexpr double renderSeconds = 4.0;
constexpr int blockSize = 512;

float peakOf (const float* samples, size_t n)
{
    float peak = 0.0f;
    for (size_t i = 0; i < n; ++i)
        peak = std::max (peak, std::abs (samples[i]));
    return peak;
}

juce::String describeSettings (VarkelPreampAudioProcessor& processor)
{
    juce::String settings;
    for (int i = 0; i < processor.getNumParameters(); ++i)
        settings << (i > 0 ? ", " : "") << processor.getParameterName (i) << " "
                 << processor.getParameterText (i);
    return settings;
}

double decibels (float level)
{
    return level > 0.0f ? 20.0 * std::log10 (static_cast<double> (level)) : -999.0;
}
} // namespace

int main (int argc, char* argv[])
{
    const juce::File output = juce::File::getCurrentWorkingDirectory().getChildFile (
        argc > 1 ? juce::String (argv[1]) : juce::String ("out/render.wav"));
    if (!output.getParentDirectory().createDirectory())
    {
        std::fprintf (stderr, "render: cannot create folder %s\n",
                      output.getParentDirectory().getFullPathName().toRawUTF8());
        return 1;
    }

    std::vector<float> signal = makePluckedPhrase (renderRate, renderSeconds);
    const float inputPeak = peakOf (signal.data(), signal.size());

    // A mono guitar track, as a host sets it up; the new host rate reaches the engine at the next
    // program switch.
    VarkelPreampAudioProcessor processor;
    processor.setPlayConfigDetails (1, 1, renderRate, blockSize);
    processor.prepareToPlay (renderRate, blockSize);
    processor.setCurrentProgram (0);

    juce::AudioBuffer<float> buffer (1, blockSize);
    juce::MidiBuffer midi;
    for (size_t start = 0; start < signal.size(); start += blockSize)
    {
        const int n = static_cast<int> (std::min<size_t> (blockSize, signal.size() - start));
        buffer.setSize (1, n, false, false, true);
        buffer.copyFrom (0, 0, signal.data() + start, n);
        processor.processBlock (buffer, midi);
        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + n,
                   signal.begin() + static_cast<long> (start));
    }
    processor.releaseResources();
    const float outputPeak = peakOf (signal.data(), signal.size());

    output.deleteFile();
    std::unique_ptr<juce::OutputStream> stream = std::make_unique<juce::FileOutputStream> (output);
    if (static_cast<juce::FileOutputStream*> (stream.get())->failedToOpen())
    {
        std::fprintf (stderr, "render: cannot write %s\n", output.getFullPathName().toRawUTF8());
        return 1;
    }
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), renderRate, 1, 24, {}, 0));
    if (writer == nullptr)
    {
        std::fprintf (stderr, "render: no WAV writer for %s\n", output.getFullPathName().toRawUTF8());
        return 1;
    }
    stream.release(); // the writer owns the stream now

    const float* channels[] = {signal.data()};
    if (!writer->writeFromFloatArrays (channels, 1, static_cast<int> (signal.size())))
    {
        std::fprintf (stderr, "render: writing %s failed\n", output.getFullPathName().toRawUTF8());
        return 1;
    }
    writer.reset();

    std::printf ("render: %.1f s plucked guitar phrase, mono, %.0f Hz, 24-bit\n", renderSeconds, renderRate);
    std::printf ("render: program \"%s\": %s\n", processor.getProgramName (0).toRawUTF8(),
                 describeSettings (processor).toRawUTF8());
    std::printf ("render: peak in %.1f dBFS, peak out %.1f dBFS\n", decibels (inputPeak),
                 decibels (outputPeak));
    const juce::String status = processor.getModelStatus();
    if (status.isNotEmpty())
        std::printf ("render: note: %s\n", status.toRawUTF8());
    std::printf ("render: wrote %s\n", output.getFullPathName().toRawUTF8());
    return 0;
}
