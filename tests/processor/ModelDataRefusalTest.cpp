// Bad model data sets, built from the real data set with one thing wrong each: the plug-in must
// refuse the bad file, name it and say why, never wait on it, and play silence rather than a
// burst or the networks of another rate. Every case rewrites the one data folder beside this
// executable, so they run one after another in a single test.
#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sys/stat.h>

namespace
{
namespace fs = std::filesystem;

constexpr int hostRate = 48000;
constexpr int blockSize = 512;
const std::string eh = "varkelpre_eh_";

fs::path dataFolder()
{
    const auto module = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    return fs::path (module.getFullPathName().toStdString() + ".dat");
}

// Every file of the real set, linked rather than copied: the links are cheap, and the plug-in
// knows a file by what the link leads to.
void layOutRealSet()
{
    const fs::path folder = dataFolder();
    fs::remove_all (folder);
    fs::create_directories (folder);
    for (const auto& entry : fs::directory_iterator (VARKEL_TEST_MODEL_DATA))
        if (entry.is_regular_file() && entry.path().filename().string().rfind ("varkelpre_", 0) == 0)
            fs::create_symlink (entry.path(), folder / entry.path().filename());
}

fs::path real (const std::string& name)
{
    return fs::path (VARKEL_TEST_MODEL_DATA) / name;
}

void replaceWithBytes (const std::string& name, const std::vector<char>& bytes)
{
    const fs::path target = dataFolder() / name;
    fs::remove (target);
    std::ofstream (target, std::ios::binary).write (bytes.data(), static_cast<std::streamsize> (bytes.size()));
}

std::vector<char> bytesOf (const fs::path& path)
{
    std::ifstream in (path, std::ios::binary);
    return {std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>()};
}

void replaceWithLinkTo (const std::string& name, const std::string& realName)
{
    fs::remove (dataFolder() / name);
    fs::create_symlink (real (realName), dataFolder() / name);
}

struct Heard
{
    double peak = 0.0;
    bool finite = true;
};

// A host's open at 48 kHz stereo, then a second of a loud guitar-like tone.
Heard openAndPlay (VarkelPreampAudioProcessor& processor)
{
    processor.setPlayConfigDetails (2, 2, hostRate, blockSize);
    processor.prepareToPlay (hostRate, blockSize);
    Heard heard;
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    double phase = 0.0;
    for (int b = 0; b < hostRate / blockSize; ++b)
    {
        for (int s = 0; s < blockSize; ++s, phase += 2.0 * 3.14159265358979 * 196.0 / hostRate)
            for (int c = 0; c < 2; ++c)
                buffer.setSample (c, s, static_cast<float> (0.4 * std::sin (phase)));
        processor.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < blockSize; ++s)
            {
                const float v = buffer.getSample (c, s);
                heard.finite = heard.finite && std::isfinite (v);
                heard.peak = std::max (heard.peak, static_cast<double> (std::fabs (v)));
            }
    }
    return heard;
}

struct Case
{
    const char* what;
    std::function<void()> spoil;
    std::string file;   // the file the status must name
    std::string reason; // a piece of the reason it must give
};
} // namespace

TEST (ModelDataRefusal, EveryBadFileIsNamedRefusedAndSilent)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    std::mt19937 random (12);

    const std::string b1 = eh + "b1_pca.dat", b2 = eh + "b2_pca.dat", b4 = eh + "b4_std.dat";
    const std::string b3at48 = eh + "b3_pca.dat.48000", b3at44 = eh + "b3_pca.dat.44100";
    const Case cases[] = {
        {"blocks 1 and 2 swapped",
         [&]
         {
             replaceWithLinkTo (b1, b2);
             replaceWithLinkTo (b2, b1);
         },
         b1, "rest point"},
        {"block 3 of 44100 Hz under the name of 48000 Hz", [&] { replaceWithLinkTo (b3at48, b3at44); }, b3at48,
         "no operating point for 48000 Hz"},
        {"block 3 for 48000 Hz truncated",
         [&]
         {
             auto bytes = bytesOf (real (b3at48));
             bytes.resize (bytes.size() / 2);
             replaceWithBytes (b3at48, bytes);
         },
         b3at48, ""},
        {"block 3 for 48000 Hz random bytes",
         [&]
         {
             std::vector<char> bytes (bytesOf (real (b3at48)).size());
             for (char& c : bytes)
                 c = static_cast<char> (random());
             replaceWithBytes (b3at48, bytes);
         },
         b3at48, ""},
        {"block 3 for 48000 Hz missing", [&] { fs::remove (dataFolder() / b3at48); }, b3at48, "could not be opened"},
        {"a FIFO in place of block 4",
         [&]
         {
             fs::remove (dataFolder() / b4);
             ASSERT_EQ (::mkfifo ((dataFolder() / b4).c_str(), 0600), 0);
         },
         b4, "is not a regular file"},
    };

    {
        layOutRealSet();
        VarkelPreampAudioProcessor processor;
        const Heard heard = openAndPlay (processor);
        ASSERT_EQ (processor.getModelStatus(), "") << "the real data set itself is refused";
        ASSERT_GT (heard.peak, 1e-3) << "the real data set plays nothing: the cases below would prove nothing";
    }

    for (const Case& c : cases)
    {
        SCOPED_TRACE (c.what);
        layOutRealSet();
        c.spoil();
        const auto start = std::chrono::steady_clock::now();
        VarkelPreampAudioProcessor processor;
        const Heard heard = openAndPlay (processor);
        const double seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
        EXPECT_LT (seconds, 30.0) << "opening waited on the data";

        const std::string status = processor.getModelStatus().toStdString();
        EXPECT_NE (status.find (c.file), std::string::npos) << status;
        EXPECT_NE (status.find (c.reason), std::string::npos) << status;
        EXPECT_TRUE (heard.finite);
        EXPECT_EQ (heard.peak, 0.0) << "a refused file must leave the host hearing silence";
    }
    fs::remove_all (dataFolder());
}
