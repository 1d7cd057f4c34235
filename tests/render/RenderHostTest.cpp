// The host library and the render tool against the real module: a copy of the built module in a
// temporary folder, with model data written beside it: the linearised set, whose networks follow
// the exact circuit around its rest point, so the signal, the gain and the tone reach the output.
#include "host/ParameterLookup.h"
#include "host/Vst2Host.h"
#include "support/ChainModelFiles.h"
#include "support/LinearisedModelSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

class ModuleCopy : public ::testing::Environment
{
public:
    void SetUp() override
    {
        folder = chainfiles::makeTemporaryFolder ("varkel-render-test");
        modulePath = folder + "/VARKEL Hot Preamp.so";
        fs::copy_file (VARKEL_VST_MODULE_PATH, modulePath);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all (folder, ignored);
    }

    std::string folder, modulePath;
};

ModuleCopy* const moduleCopy =
    static_cast<ModuleCopy*> (::testing::AddGlobalTestEnvironment (new ModuleCopy));

std::string dataFolder()
{
    return moduleCopy->modulePath + ".dat";
}

// The data set the default programs need at 48000 Hz with oversampling none or x2: blocks 1 and 2
// at all 17 gain positions, block 4 up to the default tone position.
void writeModelData()
{
    if (fs::exists (dataFolder() + "/varkelpre_eh_b4_std.dat"))
        return;
    fs::create_directories (dataFolder());
    chainfiles::LinearisedModelSet set;
    set.processingRates = {48000, 96000};
    set.tonePositions = 1688;
    ASSERT_EQ (chainfiles::writeLinearisedModelSet (dataFolder(), set), "");
}

void removeModelData()
{
    fs::remove_all (dataFolder());
}

std::shared_ptr<const vst2host::Module> module()
{
    std::string error;
    static const auto loaded = vst2host::Module::load (moduleCopy->modulePath, error);
    EXPECT_NE (loaded, nullptr) << error;
    return loaded;
}

// An effect prepared as the render tool prepares it: rate, block size, channels, program 1.
std::unique_ptr<vst2host::Effect> openEffect (int channels)
{
    std::string error;
    auto effect = vst2host::Effect::open (module(), error);
    EXPECT_NE (effect, nullptr) << error;
    if (effect == nullptr)
        return effect;
    EXPECT_TRUE (effect->prepare (rate, blockSize, channels, 0));
    return effect;
}

// A decaying tone small enough to keep every block near its rest point.
std::vector<float> tone (double frequency, double level)
{
    std::vector<float> samples (6000);
    for (size_t s = 0; s < samples.size(); ++s)
        samples[s] = static_cast<float> (level * std::exp (-static_cast<double> (s) / 3000.0) *
                                         std::sin (2.0 * M_PI * frequency * static_cast<double> (s) / rate));
    return samples;
}

float peakOf (const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (float v : samples)
        peak = std::max (peak, std::abs (v));
    return peak;
}

const std::vector<float> left = tone (110.0, 0.002);
const std::vector<float> right = tone (330.0, 0.001);

class RenderHost : public ::testing::Test
{
protected:
    void SetUp() override { writeModelData(); }
};

TEST_F (RenderHost, RendersFiniteNonSilentAudioAndTheSameTwice)
{
    auto first = openEffect (1);
    ASSERT_NE (first, nullptr);
    EXPECT_EQ (first->modelData().state, vst2host::ModelDataReport::State::loaded) << first->modelData().text;
    const auto a = first->process ({left});
    first.reset();

    auto second = openEffect (1);
    ASSERT_NE (second, nullptr);
    const auto b = second->process ({left});

    ASSERT_EQ (a.size(), 1u);
    ASSERT_EQ (a[0].size(), left.size());
    for (float v : a[0])
        ASSERT_TRUE (std::isfinite (v));
    EXPECT_GT (peakOf (a[0]), 1e-4f);
    EXPECT_EQ (a, b);
}

TEST_F (RenderHost, BlockSizeDoesNotChangeTheResult)
{
    auto effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    const auto whole = effect->process ({left});
    effect.reset();

    effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    effect->setBlockSize (37); // blocks that do not divide the length
    EXPECT_EQ (effect->process ({left}), whole);
}

TEST_F (RenderHost, StereoRunsEachChannelOnItsOwnAndMonoCopiesTheLeft)
{
    auto monoLeft = openEffect (1);
    ASSERT_NE (monoLeft, nullptr);
    const auto leftAlone = monoLeft->process ({left});
    monoLeft.reset();
    auto monoRight = openEffect (1);
    ASSERT_NE (monoRight, nullptr);
    const auto rightAlone = monoRight->process ({right});
    monoRight.reset();

    auto stereo = openEffect (2);
    ASSERT_NE (stereo, nullptr);
    ASSERT_EQ (vst2host::setParameterByText (*stereo, "mono/stereo", "Stereo"), "");
    const auto both = stereo->process ({left, right});
    stereo.reset();
    ASSERT_EQ (both.size(), 2u);
    EXPECT_EQ (both[0], leftAlone[0]);
    EXPECT_EQ (both[1], rightAlone[0]);
    EXPECT_GT (peakOf (both[1]), 1e-4f);
    EXPECT_GT (peakOf (both[0]), 1e-4f);
    EXPECT_NE (both[0], both[1]); // the data let each channel's own input through

    // The mono program on a two-channel track ignores the right input and copies the left result.
    auto mono = openEffect (2);
    ASSERT_NE (mono, nullptr);
    const auto copied = mono->process ({left, right});
    ASSERT_EQ (copied.size(), 2u);
    EXPECT_EQ (copied[0], leftAlone[0]);
    EXPECT_EQ (copied[1], copied[0]);
}

TEST_F (RenderHost, ParametersByNameAndDisplayedTextChangeTheSound)
{
    auto plain = openEffect (1);
    ASSERT_NE (plain, nullptr);
    const auto reference = plain->process ({left});
    plain.reset();

    auto effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    ASSERT_EQ (vst2host::setParameterByText (*effect, "OUTPUT", "1"), "");
    EXPECT_EQ (effect->parameterDisplay (6), "1.00=>49");
    const auto louder = effect->process ({left});
    // Output 49 instead of 24.5: +16.0 dB instead of +4.5 dB.
    EXPECT_NEAR (peakOf (louder[0]) / peakOf (reference[0]), std::pow (10.0, 11.5 / 20.0), 0.01);
    effect.reset();

    // Displayed texts: letter case and blanks do not matter; the value that shows the text is set.
    effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    ASSERT_EQ (vst2host::setParameterByText (*effect, "Oversampling", "X2"), "");
    EXPECT_EQ (effect->parameterDisplay (7), "x2");
    EXPECT_FLOAT_EQ (effect->parameter (7), 0.25f);
    EXPECT_EQ (effect->modelData().state, vst2host::ModelDataReport::State::loaded)
        << effect->modelData().text;
    const auto oversampled = effect->process ({left});
    EXPECT_GT (peakOf (oversampled[0]), 1e-4f);
    EXPECT_NE (oversampled, reference);

    // More gain, more sound. The gain is set before the oversampling, whose reload starts every
    // block from its own position's rest, so the comparison sees no settling from another one.
    auto moreGain = openEffect (1);
    ASSERT_NE (moreGain, nullptr);
    ASSERT_EQ (vst2host::setParameterByText (*moreGain, "gain", "0.75"), "");
    EXPECT_EQ (moreGain->parameterDisplay (2), "0.75=>12");
    ASSERT_EQ (vst2host::setParameterByText (*moreGain, "oversampling", "x2"), "");
    const auto louder12 = moreGain->process ({left});
    EXPECT_GT (peakOf (louder12[0]), 1.2f * peakOf (oversampled[0]));
    moreGain.reset();

    ASSERT_EQ (vst2host::setParameterByText (*effect, "gain", "0.75"), "");
    EXPECT_EQ (effect->parameterDisplay (2), "0.75=>12");
    ASSERT_EQ (vst2host::setParameterByText (*effect, "dual   triodes", "aged 12ax7"), "");
    EXPECT_EQ (effect->parameterDisplay (0), "Aged  12ax7");
    // There are no "Aged" files beside the module: the plug-in says so.
    EXPECT_EQ (effect->modelData().state, vst2host::ModelDataReport::State::problem);
}

TEST_F (RenderHost, BadParameterRequestsAreRefusedAndChangeNothing)
{
    auto effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    const float gain = effect->parameter (2);
    EXPECT_NE (vst2host::setParameterByText (*effect, "volume", "0.5").find ("no parameter"),
               std::string::npos);
    EXPECT_NE (vst2host::setParameterByText (*effect, "gain", "1.5").find ("outside 0..1"),
               std::string::npos);
    EXPECT_NE (vst2host::setParameterByText (*effect, "gain", "nan").find ("displays"), std::string::npos);
    EXPECT_NE (vst2host::setParameterByText (*effect, "oversampling", "x3").find ("displays"),
               std::string::npos);
    EXPECT_EQ (effect->parameter (2), gain);
    EXPECT_EQ (effect->parameterDisplay (7), "none");
}

TEST (RenderHostWithoutData, OutputIsSilentAndThePluginSaysWhy)
{
    removeModelData();
    auto effect = openEffect (1);
    ASSERT_NE (effect, nullptr);
    const auto report = effect->modelData();
    EXPECT_EQ (report.state, vst2host::ModelDataReport::State::problem);
    EXPECT_NE (report.text.find ("missing"), std::string::npos) << report.text;
    EXPECT_NE (report.text.find (dataFolder()), std::string::npos) << report.text;
    const auto out = effect->process ({left});
    EXPECT_EQ (peakOf (out[0]), 0.0f);
}

// Runs the render tool on the module copy; returns its exit status and standard output.
int runTool (const std::string& arguments, std::string& output)
{
    const std::string command = std::string ("\"") + VARKEL_RENDER_TOOL_PATH + "\" --module \"" +
                                moduleCopy->modulePath + "\" " + arguments + " 2>&1";
    FILE* pipe = popen (command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[512];
    while (std::fgets (buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose (pipe);
    return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
}

TEST (RenderTool, WithoutDataWritesSilenceAndSaysHowToBuildTheData)
{
    removeModelData();
    const std::string wav = moduleCopy->folder + "/silent.wav";
    std::string output;
    EXPECT_EQ (runTool ("--output \"" + wav + "\" --rate 48000", output), 3) << output;
    EXPECT_NE (output.find ("THE OUTPUT IS SILENT"), std::string::npos) << output;
    EXPECT_NE (output.find (dataFolder()), std::string::npos) << output;
    EXPECT_NE (output.find ("scripts/render.sh"), std::string::npos) << output;
    // 4 s of 48 kHz mono at 3 bytes a sample, after the 44-byte header.
    EXPECT_EQ (fs::file_size (wav), 44u + 4u * 48000u * 3u);
}

TEST (RenderTool, WithDataRendersAndReportsTheSettings)
{
    writeModelData();
    const std::string wav = moduleCopy->folder + "/rendered.wav";
    std::string output;
    ASSERT_EQ (runTool ("--output \"" + wav + "\" --stereo --param gain=0.75 --program 3", output), 0)
        << output;
    EXPECT_NE (output.find ("model data: loaded"), std::string::npos) << output;
    EXPECT_NE (output.find ("program 3 \"3 default\""), std::string::npos) << output;
    EXPECT_NE (output.find ("0.75=>12"), std::string::npos) << output;
    EXPECT_NE (output.find ("Stereo"), std::string::npos) << output;
    EXPECT_NE (output.find ("input  peak -12.0 dBFS"), std::string::npos) << output;
    EXPECT_EQ (output.find ("SILENT"), std::string::npos) << output;
    EXPECT_EQ (fs::file_size (wav), 44u + 4u * 48000u * 2u * 3u);

    output.clear();
    EXPECT_EQ (runTool ("--param volume=1", output), 2) << output;
    EXPECT_NE (output.find ("no parameter \"volume\""), std::string::npos) << output;
}

std::string readBytes (const std::string& path)
{
    std::FILE* file = std::fopen (path.c_str(), "rb");
    if (file == nullptr)
        return {};
    std::string bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread (buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append (buffer, n);
    std::fclose (file);
    return bytes;
}

TEST (RenderTool, ListsEveryParameterWithItsTextsAndTheTwelvePrograms)
{
    writeModelData();
    std::string output;
    ASSERT_EQ (runTool ("--list", output), 0) << output;
    for (const char* expected : {"Dual Triodes", "Fresh 12ax7 | Aged  12ax7", "none | x2 | x4 | x8 | x16", "Mono | Stereo",
                                 "0.00=>0 | 0.06=>1", "1.00=>16", "0.00=>0 .. 1.00=>49 (continuous)", " 1 1 default",
                                 "12 12 default"})
        EXPECT_NE (output.find (expected), std::string::npos) << expected << "\n" << output;
    EXPECT_EQ (output.find ("wrote"), std::string::npos) << "--list renders nothing\n" << output;
}

TEST (RenderTool, ASavedStateRestoresTheSettingsAndSavesTheSameChunk)
{
    writeModelData();
    const std::string first = moduleCopy->folder + "/first.state", second = moduleCopy->folder + "/second.state";
    const std::string wav = moduleCopy->folder + "/state.wav";
    std::string output;
    ASSERT_EQ (runTool ("--seconds 0.5 --program 2 --param gain=0.75 --param \"dual triodes=Aged 12ax7\" "
                        "--save-state \"" + first + "\" --output \"" + wav + "\"",
                        output),
               3) // the linearised set has no "Aged" files: the plug-in says so
        << output;
    EXPECT_NE (output.find ("varkelpre_rsd_"), std::string::npos) << output;

    output.clear();
    runTool ("--seconds 0.5 --load-state \"" + first + "\" --save-state \"" + second + "\" --output \"" + wav + "\"",
             output);
    EXPECT_NE (output.find ("program 2 \"2 default\""), std::string::npos) << output;
    EXPECT_NE (output.find ("0.75=>12"), std::string::npos) << output;
    EXPECT_NE (output.find ("Aged  12ax7"), std::string::npos) << output;
    const std::string saved = readBytes (first);
    EXPECT_GT (saved.size(), 8u);
    EXPECT_EQ (saved, readBytes (second));

    output.clear();
    EXPECT_EQ (runTool ("--load-state \"" + moduleCopy->folder + "/no-such.state\"", output), 1) << output;
    EXPECT_NE (output.find ("no-such.state"), std::string::npos) << output;
}

TEST (RenderTool, AToneWithAPlotWritesAPictureAndReportsTheHarmonics)
{
    writeModelData();
    const std::string png = moduleCopy->folder + "/tone.png", wav = moduleCopy->folder + "/tone.wav";
    std::string output;
    ASSERT_EQ (runTool ("--tone 220 --seconds 1 --plot \"" + png + "\" --output \"" + wav + "\"", output), 0) << output;
    EXPECT_NE (output.find ("test tone 220.0 Hz"), std::string::npos) << output;
    EXPECT_NE (output.find ("harmonics of 220.0 Hz: H1 "), std::string::npos) << output;
    const std::string picture = readBytes (png);
    ASSERT_GT (picture.size(), 10000u) << "a plot of four panels with text";
    EXPECT_EQ (picture.substr (0, 8), std::string ("\x89PNG\r\n\x1a\n", 8));

    // The rendered file read back as an input (through the framework's readers), and test
    // signals that cannot be made.
    output.clear();
    EXPECT_EQ (runTool ("--input \"" + wav + "\" --output \"" + moduleCopy->folder + "/again.wav\"", output), 0) << output;
    EXPECT_NE (output.find ("(1 channel, 48000 Hz)"), std::string::npos) << output;
    output.clear();
    EXPECT_EQ (runTool ("--tone 30000", output), 1) << output;
    EXPECT_NE (output.find ("below half the rate"), std::string::npos) << output;
    output.clear();
    EXPECT_EQ (runTool ("--input \"" + wav + "\" --sweep", output), 2) << output;
    output.clear();
    EXPECT_EQ (runTool ("--input \"" + png + "\"", output), 1) << output;
    EXPECT_NE (output.find ("not an audio file"), std::string::npos) << output;
}

TEST (RenderTool, OversamplingWithoutItsRateDataExitsNonZeroWithThePluginsMessage)
{
    writeModelData(); // 48000 and 96000 only: x4 needs block 3 at 192000
    std::string output;
    EXPECT_EQ (runTool ("--seconds 0.5 --param oversampling=x4 --output \"" + moduleCopy->folder + "/x4.wav\"", output),
               3)
        << output;
    EXPECT_NE (output.find ("it says: "), std::string::npos) << output;
    EXPECT_NE (output.find ("192000"), std::string::npos) << output;
}
} // namespace

