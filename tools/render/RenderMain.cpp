// Renders audio through the built VST 2.4 module of the plug-in, loaded and driven through the
// plug-in ABI by a small host of our own, and writes the result as a 24-bit WAV file. Prints what
// it did: the module, the program and parameter texts, the model data the plug-in reported, and
// the levels in and out. See renderUsage() for the options.
//
// Exit status: 0 rendered, 1 something failed (module, files), 2 bad command line, 3 the output
// is silent (the file is still written; the reason is printed).

#include "RenderOptions.h"
#include "TestSignal.h"
#include "WavFile.h"
#include "host/ParameterLookup.h"
#include "host/Vst2Host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace
{
constexpr double generatedSeconds = 4.0;

struct Levels
{
    double peak = 0.0;
    double rms = 0.0;
};

Levels levelsOf (const std::vector<std::vector<float>>& channels)
{
    Levels levels;
    double sumOfSquares = 0.0;
    size_t count = 0;
    for (const auto& channel : channels)
        for (float v : channel)
        {
            levels.peak = std::max (levels.peak, static_cast<double> (std::abs (v)));
            sumOfSquares += static_cast<double> (v) * v;
            ++count;
        }
    levels.rms = count > 0 ? std::sqrt (sumOfSquares / static_cast<double> (count)) : 0.0;
    return levels;
}

std::string decibels (double level)
{
    char text[32];
    if (level > 0.0)
        std::snprintf (text, sizeof text, "%.1f dBFS", 20.0 * std::log10 (level));
    else
        std::snprintf (text, sizeof text, "-inf dBFS (silence)");
    return text;
}

int fail (const std::string& message, int status = 1)
{
    std::fprintf (stderr, "render: %s\n", message.c_str());
    return status;
}

// The audio to render in the channel count of the track: one channel, or two for --stereo.
bool loadInput (const RenderOptions& options, Audio& audio, std::string& description, std::string& error)
{
    const size_t channels = options.stereo ? 2 : 1;
    if (options.inputPath.empty())
    {
        audio.sampleRate = options.sampleRate;
        audio.channels.assign (channels, makePluckedPhrase (options.sampleRate, generatedSeconds));
        char text[160];
        std::snprintf (text, sizeof text, "generated plucked guitar phrase, %.1f s, %.0f Hz",
                       generatedSeconds, options.sampleRate);
        description = text;
        return true;
    }

    if (!readWav (options.inputPath, audio, error))
        return false;
    if (options.sampleRateGiven && std::abs (audio.sampleRate - options.sampleRate) > 0.5)
    {
        error = options.inputPath + " is at " + std::to_string (static_cast<long> (audio.sampleRate)) +
                " Hz; --rate does not resample (leave it out to render at the file's rate)";
        return false;
    }
    if (audio.sampleRate < 8000.0 || audio.sampleRate > 384000.0)
    {
        error = options.inputPath + ": sample rate " + std::to_string (static_cast<long> (audio.sampleRate)) +
                " Hz is outside 8000..384000";
        return false;
    }
    const size_t fileChannels = audio.channels.size();
    if (channels == 1 && fileChannels > 1)
    {
        // A mono track from a multi-channel file: the average of its channels.
        std::vector<float> mixed (audio.channels.front().size(), 0.0f);
        for (const auto& channel : audio.channels)
            for (size_t s = 0; s < mixed.size(); ++s)
                mixed[s] += channel[s] / static_cast<float> (fileChannels);
        audio.channels.assign (1, mixed);
    }
    else if (channels == 2 && fileChannels == 1)
        audio.channels.push_back (audio.channels.front());
    else if (channels == 2 && fileChannels > 2)
        audio.channels.resize (2);

    description = options.inputPath + " (" + std::to_string (fileChannels) + " channel" +
                  (fileChannels == 1 ? "" : "s") + ", " +
                  std::to_string (static_cast<long> (audio.sampleRate)) + " Hz)";
    return true;
}

void printSilenceReason (const vst2host::ModelDataReport& report, const std::string& modulePath)
{
    const std::string folder = modulePath + ".dat/";
    std::printf ("render: THE OUTPUT IS SILENT.\n");
    if (report.state == vst2host::ModelDataReport::State::problem)
    {
        std::printf ("render: the plug-in has no usable model data: %s\n", report.text.c_str());
        std::printf ("render: it reads its model files from the folder beside its module:\n"
                     "render:   %s\n"
                     "render: build them and put them there with the main command, which does both:\n"
                     "render:   bash scripts/render.sh\n"
                     "render: or by hand:\n"
                     "render:   cmake --build build --target varkel-model-builder\n"
                     "render:   build/tools/model-builder/varkel-model-builder --out build/model-data "
                     "--host-rates 44100,48000\n"
                     "render:   ln -sfn \"$PWD/build/model-data\" \"%s\"\n",
                     folder.c_str(), folder.substr (0, folder.size() - 1).c_str());
    }
    else if (report.state == vst2host::ModelDataReport::State::notAnswered)
        std::printf ("render: the module does not report its model data; if it is this plug-in, check %s\n",
                     folder.c_str());
    else
        std::printf ("render: the plug-in reports its model data as loaded; is the input silent?\n");
}
} // namespace

int main (int argc, char* argv[])
{
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions (std::vector<std::string> (argv + 1, argv + argc), options, error))
    {
        std::fprintf (stderr, "render: %s\n%s", error.c_str(), renderUsage());
        return 2;
    }
    if (options.help)
    {
        std::printf ("%s", renderUsage());
        return 0;
    }
    if (options.modulePath.empty())
        options.modulePath = VARKEL_DEFAULT_VST_MODULE;

    Audio input;
    std::string inputDescription;
    if (!loadInput (options, input, inputDescription, error))
        return fail (error);
    const int channels = static_cast<int> (input.channels.size());

    const auto module = vst2host::Module::load (options.modulePath, error);
    if (module == nullptr)
        return fail (error +
                     "\nrender: build the module with: cmake --build build --target VarkelHotPreamp_VST");
    auto effect = vst2host::Effect::open (module, error);
    if (effect == nullptr)
        return fail (error);

    std::printf ("render: module %s\n", std::filesystem::absolute (options.modulePath).c_str());
    std::printf ("render: effect \"%s\" by %s, %d parameters, %d programs\n", effect->effectName().c_str(),
                 effect->vendorName().c_str(), effect->numParameters(), effect->numPrograms());
    if (options.program > effect->numPrograms())
        return fail ("the effect has " + std::to_string (effect->numPrograms()) + " programs, not " +
                         std::to_string (options.program),
                     2);
    if (effect->numInputs() < channels || effect->numOutputs() < channels)
        return fail ("the effect has fewer than " + std::to_string (channels) + " inputs and outputs");

    if (!effect->prepare (input.sampleRate, options.blockSize, channels, options.program - 1))
        std::printf ("render: note: the effect refused %d in / %d out and keeps its own layout\n", channels,
                     channels);
    if (options.stereo)
    {
        const std::string problem = vst2host::setParameterByText (*effect, "Mono/Stereo", "Stereo");
        if (!problem.empty())
            std::printf ("render: note: %s\n", problem.c_str());
    }
    for (const auto& [name, value] : options.parameters)
    {
        const std::string problem = vst2host::setParameterByText (*effect, name, value);
        if (!problem.empty())
            return fail ("--param " + name + "=" + value + ": " + problem, 2);
    }

    std::printf ("render: input %s, %s\n", inputDescription.c_str(), channels == 2 ? "stereo" : "mono");
    std::printf ("render: program %d \"%s\"\n", effect->program() + 1,
                 effect->programName (effect->program()).c_str());
    for (int i = 0; i < effect->numParameters(); ++i)
    {
        const std::string label = effect->parameterLabel (i);
        std::printf ("render:   %-14s %s%s%s\n", effect->parameterName (i).c_str(),
                     effect->parameterDisplay (i).c_str(), label.empty() ? "" : " ", label.c_str());
    }
    const vst2host::ModelDataReport modelData = effect->modelData();
    switch (modelData.state)
    {
    case vst2host::ModelDataReport::State::loaded:
        std::printf ("render: model data: loaded from %s.dat/\n", options.modulePath.c_str());
        break;
    case vst2host::ModelDataReport::State::problem:
        std::printf ("render: model data: %s\n", modelData.text.c_str());
        break;
    case vst2host::ModelDataReport::State::notAnswered:
        std::printf ("render: model data: the module does not say\n");
        break;
    }

    Audio output;
    output.sampleRate = input.sampleRate;
    output.channels = effect->process (input.channels);
    effect->suspend();
    effect.reset();

    const Levels in = levelsOf (input.channels), out = levelsOf (output.channels);
    std::printf ("render: processed %zu samples per channel in blocks of %d\n", input.channels.front().size(),
                 options.blockSize);
    std::printf ("render: input  peak %s, RMS %s\n", decibels (in.peak).c_str(), decibels (in.rms).c_str());
    std::printf ("render: output peak %s, RMS %s\n", decibels (out.peak).c_str(), decibels (out.rms).c_str());

    const std::filesystem::path outputPath = std::filesystem::absolute (options.outputPath);
    std::error_code folderError;
    std::filesystem::create_directories (outputPath.parent_path(), folderError);
    size_t clipped = 0;
    if (!writeWav24 (outputPath.string(), output, clipped, error))
        return fail (error);
    if (clipped > 0)
        std::printf ("render: note: %zu samples above full scale were clipped in the file\n", clipped);

    const bool silent = out.peak == 0.0;
    if (silent)
        printSilenceReason (modelData, options.modulePath);
    std::printf ("render: wrote %s\n", outputPath.c_str());
    return silent ? 3 : 0;
}
