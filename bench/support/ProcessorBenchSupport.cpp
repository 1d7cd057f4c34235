#include "ProcessorBenchSupport.h"

#include "support/ChainModelFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

namespace benchsupport
{
namespace
{
struct BlockShape
{
    const char* name;
    uint32_t nv, ni, nx, regions;
    bool usesPca;
};
constexpr BlockShape shapes[4] = {{"varkelpre_eh_b1_pca.dat", 4, 4, 5, 8, true},
                                  {"varkelpre_eh_b2_pca.dat", 4, 4, 5, 8, true},
                                  {"varkelpre_eh_b3_pca.dat.", 4, 4, 2, 8, true},
                                  {"varkelpre_eh_b4_std.dat", 2, 2, 3, 4, false}};

juce::File modelFolder()
{
    const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    return juce::File (module.getFullPathName() + ".dat");
}
} // namespace

juce::File benchModelFolder()
{
    return modelFolder();
}

bool prepareModelData (const juce::String& givenFolder)
{
    const auto folder = modelFolder();
    if (folder.isSymbolicLink())
        folder.deleteFile();
    else
        folder.deleteRecursively();

    if (givenFolder.isNotEmpty())
    {
        const juce::File given (juce::File::getCurrentWorkingDirectory().getChildFile (givenFolder));
        if (!given.isDirectory())
        {
            std::fprintf (stderr, "model data folder not found: %s\n", given.getFullPathName().toRawUTF8());
            return false;
        }
        return given.createSymbolicLink (folder, true);
    }

    folder.createDirectory();
    std::vector<double> rates;
    for (int factor : {1, 2, 4, 8, 16})
        rates.push_back (hostRate * factor);
    for (int k = 0; k < 4; ++k)
    {
        chainfiles::RepresentativeModel shape;
        shape.usesPca = shapes[k].usesPca;
        shape.nv = shapes[k].nv;
        shape.ni = shapes[k].ni;
        shape.nx = shapes[k].nx;
        shape.hidden = 8;
        shape.positions = 2;
        shape.regionsPerPosition = shapes[k].regions;
        shape.rates = rates;
        shape.seed = 100u + static_cast<unsigned> (k);
        const std::vector<std::string> names =
            k == 2 ? std::vector<std::string>{"48000", "96000", "192000", "384000", "768000"}
                   : std::vector<std::string>{""};
        for (const auto& suffix : names)
        {
            const auto path = folder.getChildFile (shapes[k].name + juce::String (suffix)).getFullPathName();
            const std::string error = chainfiles::writeRepresentativeModel (path.toStdString(), shape);
            if (!error.empty())
            {
                std::fprintf (stderr, "cannot write model data: %s\n", error.c_str());
                return false;
            }
        }
    }
    return true;
}

std::vector<float> testSignal (int seconds)
{
    const int n = seconds * hostRate;
    std::vector<float> samples (static_cast<size_t> (n));
    std::mt19937 generator (7);
    std::normal_distribution<float> noise (0.0f, 0.002f);
    const double notes[] = {82.41, 110.0, 146.83, 196.0, 246.94, 329.63};
    for (int s = 0; s < n; ++s)
    {
        const int note = s / (hostRate / 2);
        const double t = static_cast<double> (s % (hostRate / 2)) / hostRate;
        const double f = notes[note % 6];
        double v = 0.0;
        for (int h = 1; h <= 6; ++h)
            v += std::sin (2.0 * juce::MathConstants<double>::pi * f * h * t) / h;
        samples[static_cast<size_t> (s)] =
            static_cast<float> (0.3 * v * std::exp (-4.0 * t)) + noise (generator);
    }
    return samples;
}

bool writeWav (const juce::File& file, const std::vector<float>& samples)
{
    file.deleteFile();
    std::unique_ptr<juce::OutputStream> stream = file.createOutputStream();
    if (stream == nullptr)
        return false;
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), hostRate, 1, 32, {}, 0));
    if (writer == nullptr)
        return false;
    stream.release(); // owned by the writer now
    const float* channels[] = {samples.data()};
    return writer->writeFromFloatArrays (channels, 1, static_cast<int> (samples.size()));
}

std::vector<float> readWav (const juce::File& file)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (
        wav.createReaderFor (file.createInputStream().release(), true));
    if (reader == nullptr || reader->lengthInSamples <= 0)
        return {};
    juce::AudioBuffer<float> buffer (1, static_cast<int> (reader->lengthInSamples));
    reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, false);
    return {buffer.getReadPointer (0), buffer.getReadPointer (0) + buffer.getNumSamples()};
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime (CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double> (t.tv_sec) + 1e-9 * static_cast<double> (t.tv_nsec);
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double> (t.tv_sec) + 1e-9 * static_cast<double> (t.tv_nsec);
}
juce::StringArray commandLineArguments (int argc, char** argv)
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);
    return args;
}

juce::String argument (const juce::StringArray& args, const juce::String& name, const juce::String& fallback)
{
    const int i = args.indexOf (name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
}
} // namespace benchsupport
