#include "RenderOptions.h"

#include <cmath>
#include <cstdlib>

namespace
{
bool parseInteger (const std::string& text, long low, long high, int& result)
{
    char* end = nullptr;
    const long value = std::strtol (text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || value < low || value > high)
        return false;
    result = static_cast<int> (value);
    return true;
}

bool parseNumber (const std::string& text, double low, double high, double& result)
{
    char* end = nullptr;
    const double value = std::strtod (text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite (value) || value < low || value > high)
        return false;
    result = value;
    return true;
}

bool parseRate (const std::string& text, double& result)
{
    char* end = nullptr;
    const double value = std::strtod (text.c_str(), &end);
    // The plug-in names its rate-dependent model files by the processing rate (host rate times
    // oversampling up to 16) with at most 7 digits.
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite (value) || value < 8000.0 ||
        value > 384000.0)
        return false;
    result = value;
    return true;
}
} // namespace

const char* renderUsage()
{
    return "usage: varkel_render [options]\n"
           "  --module PATH        VST 2.4 module to load (default: the one built in this build tree)\n"
           "  --input FILE        audio to process (default: a generated 4 s guitar phrase, -12 dBFS peak)\n"
           "  --output FILE.wav    where to write the result, 24-bit (default: out/render.wav)\n"
           "  --rate HZ            sample rate of the generated phrase, 8000..384000 (default 48000);\n"
           "                       an input file keeps its own rate\n"
           "  --block N            samples per process call, 1..65536 (default 512)\n"
           "  --program N          program 1..12 (default 1)\n"
           "  --param NAME=VALUE   parameter by name, VALUE normalized 0..1 or as displayed,\n"
           "                       e.g. gain=0.75, \"dual triodes=Aged 12ax7\", oversampling=x4 "
           "(repeatable)\n"
           "  --stereo             two channels through the plug-in's two chains (Mono/Stereo set to "
           "Stereo);\n"
           "                       default mono: one channel, a stereo input file is mixed down\n"
           "  --tone HZ            a sine at HZ instead of the phrase (-12 dBFS peak); the report and the\n"
           "                       plot give the level of each harmonic in the output\n"
           "  --sweep              an exponential sine sweep from 20 Hz to 20 kHz instead of the phrase\n"
           "  --chord              an open E major chord held as six sines instead of the phrase\n"
           "  --seconds S          length of the generated signal, 0.1..600 (default 4)\n"
           "  --plot FILE.png      draw the input and output waveforms, the output spectrum and, with\n"
           "                       --tone, the harmonic levels into a PNG picture\n"
           "  --list               print the parameters with their texts and the twelve programs, render nothing\n"
           "  --load-state FILE    restore a saved state (the chunk a host stores) before rendering\n"
           "  --save-state FILE    save the state as a host would store it, after the settings above\n"
           "Input files: WAV, AIFF, FLAC or Ogg Vorbis. Inputs longer than 5 s show a progress line.\n"
           "Exit status: 0 rendered; 1 a file or the module failed; 2 bad command line; 3 the output is\n"
           "silent or the plug-in has no usable model data (its message says why; the file is still written).\n";
}

bool parseRenderOptions (const std::vector<std::string>& arguments, RenderOptions& options,
                         std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        std::string name = arguments[i], value;
        bool hasValue = false;
        const auto equals = name.find ('=');
        if (name.rfind ("--", 0) == 0 && equals != std::string::npos)
        {
            value = name.substr (equals + 1);
            name = name.substr (0, equals);
            hasValue = true;
        }

        const auto takeValue = [&]() -> bool
        {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size())
            {
                error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };

        if (name == "--help" || name == "-h")
            options.help = true;
        else if (name == "--stereo" && !hasValue)
            options.stereo = true;
        else if (name == "--list" && !hasValue)
            options.list = true;
        else if ((name == "--sweep" || name == "--chord") && !hasValue)
            options.signal = name == "--sweep" ? RenderOptions::Signal::sweep : RenderOptions::Signal::chord;
        else if (name == "--tone")
        {
            if (!takeValue())
                return false;
            if (!parseNumber (value, 1.0, 100000.0, options.toneFrequency))
            {
                error = "--tone " + value + ": give a frequency in Hz, e.g. --tone 220";
                return false;
            }
            options.signal = RenderOptions::Signal::tone;
        }
        else if (name == "--seconds")
        {
            if (!takeValue())
                return false;
            if (!parseNumber (value, 0.1, 600.0, options.seconds))
            {
                error = "--seconds " + value + ": give a length from 0.1 to 600 seconds";
                return false;
            }
        }
        else if (name == "--module" || name == "--input" || name == "--output" || name == "--plot" ||
                 name == "--load-state" || name == "--save-state")
        {
            if (!takeValue())
                return false;
            if (value.empty())
            {
                error = name + " needs a file path";
                return false;
            }
            (name == "--module"       ? options.modulePath
             : name == "--input"      ? options.inputPath
             : name == "--output"     ? options.outputPath
             : name == "--plot"       ? options.plotPath
             : name == "--load-state" ? options.loadStatePath
                                      : options.saveStatePath) = value;
        }
        else if (name == "--rate")
        {
            if (!takeValue())
                return false;
            if (!parseRate (value, options.sampleRate))
            {
                error = "--rate " + value + ": give a sample rate from 8000 to 384000 Hz";
                return false;
            }
            options.sampleRateGiven = true;
        }
        else if (name == "--block")
        {
            if (!takeValue())
                return false;
            if (!parseInteger (value, 1, 65536, options.blockSize))
            {
                error = "--block " + value + ": give a block size from 1 to 65536 samples";
                return false;
            }
        }
        else if (name == "--program")
        {
            if (!takeValue())
                return false;
            if (!parseInteger (value, 1, 12, options.program))
            {
                error = "--program " + value + ": give a program number from 1 to 12";
                return false;
            }
            options.programGiven = true;
        }
        else if (name == "--param")
        {
            if (!takeValue())
                return false;
            const auto separator = value.find ('=');
            if (separator == std::string::npos || separator == 0 || separator + 1 == value.size())
            {
                error = "--param " + value + ": write NAME=VALUE, e.g. gain=0.75";
                return false;
            }
            options.parameters.emplace_back (value.substr (0, separator), value.substr (separator + 1));
        }
        else
        {
            error = "unknown option " + arguments[i];
            return false;
        }
    }
    if (!options.inputPath.empty() && options.signal != RenderOptions::Signal::phrase)
    {
        error = "--input and a test signal (--tone, --sweep, --chord) exclude each other";
        return false;
    }
    return true;
}
