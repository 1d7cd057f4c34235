// Renders audio through the built VST 2.4 module of the plug-in, loaded and driven through the
// plug-in ABI by a small host of our own, and writes the result as a 24-bit WAV file. Prints what
// it did: the module, the program and parameter texts, the model data the plug-in reported, the
// levels in and out (and the harmonics of a test tone); draws it into a PNG picture on request.
// See renderUsage() for the options.
//
// Exit status: 0 rendered, 1 something failed (module, files), 2 bad command line, 3 the output
// is silent or the plug-in has no usable model data (the file is still written; the reason is
// printed).

#include "Progress.h"
#include "RenderOptions.h"
#include "Spectrum.h"
#include "TestSignal.h"
#include "WavFile.h"
#include "host/ParameterLookup.h"
#include "host/Vst2Host.h"
#include "media/AudioFileInput.h"
#include "media/RenderPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace
{
constexpr int reportedHarmonics = 10;

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
        const double rate = options.sampleRate;
        std::vector<float> signal;
        char text[200];
        switch (options.signal)
        {
        case RenderOptions::Signal::tone:
            if (options.toneFrequency >= 0.5 * rate)
            {
                error = "--tone " + std::to_string (options.toneFrequency) + ": at " +
                        std::to_string (static_cast<long> (rate)) + " Hz give a tone below half the rate";
                return false;
            }
            signal = makeTone (rate, options.seconds, options.toneFrequency, pluckedPhrasePeak);
            std::snprintf (text, sizeof text, "test tone %.1f Hz, -12 dBFS peak, %.1f s, %.0f Hz",
                           options.toneFrequency, options.seconds, rate);
            break;
        case RenderOptions::Signal::sweep:
            signal = makeSweep (rate, options.seconds, pluckedPhrasePeak);
            std::snprintf (text, sizeof text, "sine sweep 20 Hz to %.0f Hz, -12 dBFS peak, %.1f s, %.0f Hz",
                           std::min (20000.0, 0.45 * rate), options.seconds, rate);
            break;
        case RenderOptions::Signal::chord:
            signal = makeChord (rate, options.seconds, pluckedPhrasePeak);
            std::snprintf (text, sizeof text, "open E major chord (six sines), -12 dBFS peak, %.1f s, %.0f Hz",
                           options.seconds, rate);
            break;
        case RenderOptions::Signal::phrase:
            signal = makePluckedPhrase (rate, options.seconds);
            std::snprintf (text, sizeof text, "generated plucked guitar phrase, %.1f s, %.0f Hz", options.seconds, rate);
            break;
        }
        audio.sampleRate = rate;
        audio.channels.assign (channels, signal);
        description = text;
        return true;
    }

    if (!readAudioFile (options.inputPath, audio, error))
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

// Why the plug-in cannot play, in its own words, and how to give it its data.
void printModelDataProblem (const vst2host::ModelDataReport& report, const std::string& modulePath)
{
    const std::string folder = modulePath + ".dat/";
    std::printf ("render: the plug-in has no usable model data; it says: %s\n", report.text.c_str());
    std::printf ("render: it reads its model files from the folder beside its module:\n"
                 "render:   %s\n"
                 "render: build them and put them there with the main command, which does both:\n"
                 "render:   bash scripts/render.sh\n"
                 "render: or by hand (the default set, with every oversampling rate):\n"
                 "render:   bash scripts/model-data.sh\n"
                 "render:   ln -sfn \"$PWD/build/model-data\" \"%s\"\n",
                 folder.c_str(), folder.substr (0, folder.size() - 1).c_str());
}

void printSilenceReason (const vst2host::ModelDataReport& report, const std::string& modulePath)
{
    std::printf ("render: THE OUTPUT IS SILENT.\n");
    if (report.state == vst2host::ModelDataReport::State::notAnswered)
        std::printf ("render: the module does not report its model data; if it is this plug-in, check %s.dat/\n",
                     modulePath.c_str());
    else if (report.state == vst2host::ModelDataReport::State::loaded)
        std::printf ("render: the plug-in reports its model data as loaded; is the input silent?\n");
}

// The texts a parameter shows over its range: every distinct one for a stepped parameter, the
// two ends and the middle for a continuous one. The parameter is left as it was.
std::string parameterTexts (vst2host::Effect& effect, int index)
{
    const float kept = effect.parameter (index);
    std::vector<std::string> texts;
    std::set<std::string> seen;
    constexpr int probes = 64;
    for (int k = 0; k <= probes; ++k)
    {
        effect.setParameter (index, static_cast<float> (k) / probes);
        const std::string text = effect.parameterDisplay (index);
        if (seen.insert (text).second)
            texts.push_back (text);
    }
    effect.setParameter (index, kept);
    std::string joined;
    constexpr size_t listedSteps = 17;
    if (texts.size() <= listedSteps)
    {
        for (const auto& text : texts)
            joined += (joined.empty() ? "" : " | ") + text;
        return joined;
    }
    effect.setParameter (index, 0.0f);
    joined = effect.parameterDisplay (index) + " .. ";
    effect.setParameter (index, 1.0f);
    joined += effect.parameterDisplay (index) + " (continuous)";
    effect.setParameter (index, kept);
    return joined;
}

void printList (vst2host::Effect& effect)
{
    std::printf ("parameters (set with --param NAME=VALUE, VALUE normalized 0..1 or one of the texts):\n");
    for (int i = 0; i < effect.numParameters(); ++i)
    {
        const std::string label = effect.parameterLabel (i);
        std::printf ("  %2d %-14s now %s%s%s\n", i, effect.parameterName (i).c_str(),
                     effect.parameterDisplay (i).c_str(), label.empty() ? "" : " ", label.c_str());
        std::printf ("     %-14s %s\n", "", parameterTexts (effect, i).c_str());
    }
    std::printf ("programs (choose with --program N):\n");
    for (int p = 0; p < effect.numPrograms(); ++p)
        std::printf ("  %2d %s\n", p + 1, effect.programName (p).c_str());
}

bool readFile (const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    std::ifstream in (path, std::ios::binary);
    if (!in)
    {
        error = path + ": cannot read it";
        return false;
    }
    bytes.assign (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    if (bytes.empty())
    {
        error = path + ": the file is empty";
        return false;
    }
    return true;
}

bool writeFile (const std::string& path, const std::vector<unsigned char>& bytes, std::string& error)
{
    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (bytes.data()), static_cast<std::streamsize> (bytes.size()));
    if (!out)
    {
        error = path + ": cannot write it";
        return false;
    }
    return true;
}

std::string harmonicsLine (const std::vector<double>& levels)
{
    std::string line;
    char text[48];
    for (size_t h = 0; h < levels.size(); ++h)
    {
        if (!std::isfinite (levels[h]))
            break;
        if (h == 0)
            std::snprintf (text, sizeof text, "H1 %.1f dBFS", levels[h]);
        else
            std::snprintf (text, sizeof text, ", H%zu %.1f dBc", h + 1, levels[h] - levels[0]);
        line += text;
    }
    return line;
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
    if (!options.list && !loadInput (options, input, inputDescription, error))
        return fail (error);
    if (options.list)
        input.sampleRate = options.sampleRate;
    const int channels = options.list ? 1 : static_cast<int> (input.channels.size());

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
    if (!options.loadStatePath.empty())
    {
        std::vector<unsigned char> chunk;
        if (!readFile (options.loadStatePath, chunk, error))
            return fail ("--load-state " + error);
        effect->setChunk (chunk, false);
        std::printf ("render: restored the state in %s (%zu bytes)\n", options.loadStatePath.c_str(), chunk.size());
        if (options.programGiven)
            effect->setProgram (options.program - 1);
    }
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
    if (options.list)
    {
        printList (*effect);
        return 0;
    }
    if (!options.saveStatePath.empty())
    {
        if (!writeFile (options.saveStatePath, effect->chunk (false), error))
            return fail ("--save-state " + error);
        std::printf ("render: saved the state to %s\n", options.saveStatePath.c_str());
    }

    std::printf ("render: input %s, %s\n", inputDescription.c_str(), channels == 2 ? "stereo" : "mono");
    std::printf ("render: program %d \"%s\"\n", effect->program() + 1,
                 effect->programName (effect->program()).c_str());
    std::vector<std::string> settings;
    for (int i = 0; i < effect->numParameters(); ++i)
    {
        const std::string label = effect->parameterLabel (i);
        std::printf ("render:   %-14s %s%s%s\n", effect->parameterName (i).c_str(),
                     effect->parameterDisplay (i).c_str(), label.empty() ? "" : " ", label.c_str());
        settings.push_back (effect->parameterName (i) + " " + effect->parameterDisplay (i));
    }
    const vst2host::ModelDataReport modelData = effect->modelData();
    switch (modelData.state)
    {
    case vst2host::ModelDataReport::State::loaded:
        std::printf ("render: model data: loaded from %s.dat/\n", options.modulePath.c_str());
        break;
    case vst2host::ModelDataReport::State::problem:
        printModelDataProblem (modelData, options.modulePath);
        break;
    case vst2host::ModelDataReport::State::notAnswered:
        std::printf ("render: model data: the module does not say\n");
        break;
    }

    Audio output;
    output.sampleRate = input.sampleRate;
    output.channels = processWithProgress (*effect, input.channels, input.sampleRate);
    effect->suspend();
    // A reload the rendering itself caused (none is expected) is reported as well.
    const vst2host::ModelDataReport afterwards = effect->modelData();
    const std::string programName = effect->programName (effect->program());
    effect.reset();

    const Levels in = levelsOf (input.channels), out = levelsOf (output.channels);
    std::printf ("render: processed %zu samples per channel in blocks of %d\n", input.channels.front().size(),
                 options.blockSize);
    std::printf ("render: input  peak %s, RMS %s\n", decibels (in.peak).c_str(), decibels (in.rms).c_str());
    std::printf ("render: output peak %s, RMS %s\n", decibels (out.peak).c_str(), decibels (out.rms).c_str());
    std::vector<double> harmonics;
    if (options.signal == RenderOptions::Signal::tone && options.inputPath.empty())
    {
        harmonics = harmonicLevelsDb (output.channels.front(), output.sampleRate, options.toneFrequency,
                                      reportedHarmonics);
        std::printf ("render: harmonics of %.1f Hz: %s\n", options.toneFrequency, harmonicsLine (harmonics).c_str());
    }

    const std::filesystem::path outputPath = std::filesystem::absolute (options.outputPath);
    std::error_code folderError;
    std::filesystem::create_directories (outputPath.parent_path(), folderError);
    size_t clipped = 0;
    if (!writeWav24 (outputPath.string(), output, clipped, error))
        return fail (error);
    if (clipped > 0)
        std::printf ("render: note: %zu samples above full scale were clipped in the file\n", clipped);

    if (!options.plotPath.empty())
    {
        PlotContent plot;
        plot.title = "VARKEL Hot Preamp, program " + std::to_string (options.program) + " \"" + programName +
                     "\": " + inputDescription;
        std::string line;
        for (size_t i = 0; i < settings.size(); ++i)
        {
            line += (line.empty() ? "" : "    ") + settings[i];
            if (i % 5 == 4 || i + 1 == settings.size())
            {
                plot.notes.push_back (line);
                line.clear();
            }
        }
        plot.notes.push_back ("input peak " + decibels (in.peak) + ", RMS " + decibels (in.rms) + "    output peak " +
                              decibels (out.peak) + ", RMS " + decibels (out.rms));
        plot.input = &input;
        plot.output = &output;
        plot.toneFrequency = harmonics.empty() ? 0.0 : options.toneFrequency;
        plot.harmonics = harmonics;
        if (!writePlot (options.plotPath, plot, error))
            return fail (error);
        std::printf ("render: plot %s\n", std::filesystem::absolute (options.plotPath).c_str());
    }

    const bool silent = out.peak == 0.0;
    const bool withoutData = modelData.state == vst2host::ModelDataReport::State::problem ||
                             afterwards.state == vst2host::ModelDataReport::State::problem;
    if (silent)
        printSilenceReason (modelData, options.modulePath);
    if (afterwards.state == vst2host::ModelDataReport::State::problem &&
        modelData.state != vst2host::ModelDataReport::State::problem)
        printModelDataProblem (afterwards, options.modulePath);
    std::printf ("render: wrote %s\n", outputPath.c_str());
    return silent || withoutData ? 3 : 0;
}
