#pragma once

#include <string>
#include <utility>
#include <vector>

// The render tool's command line.
struct RenderOptions
{
    std::string modulePath; // empty: the module built in this build tree
    std::string inputPath;  // empty: the generated guitar phrase
    std::string outputPath = "out/render.wav";
    double sampleRate = 48000.0;
    bool sampleRateGiven = false;
    int blockSize = 512;
    int program = 1; // as the programs are numbered for a person: 1 to 12
    std::vector<std::pair<std::string, std::string>> parameters; // name, value; in command-line order
    bool stereo = false;
    bool help = false;

    // A generated test signal instead of the phrase (none with --input).
    enum class Signal
    {
        phrase,
        tone,
        sweep,
        chord
    };
    Signal signal = Signal::phrase;
    double toneFrequency = 0.0; // Hz, for Signal::tone
    double seconds = 4.0;       // length of a generated signal
    bool programGiven = false;
    bool list = false;          // print parameters and programs, render nothing
    std::string plotPath;       // empty: no plot
    std::string loadStatePath;  // a saved chunk to restore before rendering
    std::string saveStatePath;  // where to save the chunk the host would store
};

// Parses the arguments after the program name ("--name value" or "--name=value"). On failure
// returns false with a message for the person who typed them.
bool parseRenderOptions (const std::vector<std::string>& arguments, RenderOptions& options,
                         std::string& error);

const char* renderUsage();
