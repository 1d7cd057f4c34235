// The built VST 2.4 module as a host sees it: loaded with dlopen and driven through the ABI only.

#include <pluginterfaces/fst/fst.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// VST 2.4 opcode numbers the free ABI header has no value for.
constexpr int effSetBypassOpcode = 44;
constexpr int effGetTailSizeOpcode = 52;

using PluginMain = AEffect* (*)(audioMasterCallback);

int automationCalls = 0;

t_fstPtrInt recordingHost (AEffect*, int opcode, int, t_fstPtrInt, void*, float)
{
    if (opcode == audioMasterAutomate)
        ++automationCalls;
    return opcode == audioMasterVersion ? 2400 : 0;
}

t_fstPtrInt hostAnsweringVersion0 (AEffect*, int, int, t_fstPtrInt, void*, float)
{
    return 0;
}

PluginMain entryPoint()
{
    // Never unloaded: the framework keeps a message thread alive inside the module.
    static void* const module = dlopen (VARKEL_VST_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    return module != nullptr ? reinterpret_cast<PluginMain> (dlsym (module, "VSTPluginMain")) : nullptr;
}

// One effect per test, opened and closed as a host does.
class Vst2Host : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const PluginMain entry = entryPoint();
        ASSERT_NE (entry, nullptr) << dlerror();
        effect = entry (reinterpret_cast<audioMasterCallback> (&recordingHost));
        ASSERT_NE (effect, nullptr);
        call (effOpen);
    }

    void TearDown() override
    {
        if (effect != nullptr)
            call (effClose);
    }

    t_fstPtrInt call (int opcode, int index = 0, t_fstPtrInt value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher (effect, opcode, index, value, ptr, opt);
    }

    std::string text (int opcode)
    {
        char buffer[256] = {};
        call (opcode, 0, 0, buffer);
        return buffer;
    }

    std::vector<unsigned char> chunk (int index)
    {
        void* data = nullptr;
        const auto size = call (effGetChunk, index, 0, &data);
        if (data == nullptr || size <= 0)
            return {};
        const auto* bytes = static_cast<const unsigned char*> (data);
        return {bytes, bytes + size};
    }

    AEffect* effect = nullptr;
};

TEST (Vst2Entry, HostAnsweringVersion0GetsNoEffect)
{
    const PluginMain entry = entryPoint();
    ASSERT_NE (entry, nullptr) << dlerror();
    EXPECT_EQ (entry (reinterpret_cast<audioMasterCallback> (&hostAnsweringVersion0)), nullptr);
}

TEST (Vst2Entry, ModuleExportsOnlyTheEntryPoint)
{
    // The framework's legacy "main" alias would hand out an effect without the host layer.
    ASSERT_NE (entryPoint(), nullptr);
    void* const module = dlopen (VARKEL_VST_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE (module, nullptr);
    EXPECT_EQ (dlsym (module, "main"), nullptr);
    dlclose (module);
}

TEST_F (Vst2Host, EffectStructureAndIdentity)
{
    EXPECT_EQ (effect->magic, 0x56737450);    // "VstP"
    EXPECT_EQ (effect->uniqueID, 0x56524B4C); // "VRKL"
    EXPECT_EQ (effect->version, 100);
    EXPECT_EQ (effect->numPrograms, 12);
    EXPECT_EQ (effect->numParams, 10);
    EXPECT_EQ (effect->numInputs, 2);
    EXPECT_EQ (effect->numOutputs, 2);
    EXPECT_EQ (effect->initialDelay, 0);
    // Editor (bit 0), replacing (4), program chunks (5), no sound in stop (9); not a synth, no
    // double-precision processing.
    EXPECT_EQ (effect->flags, (1 << 0) | (1 << 4) | (1 << 5) | (1 << 9));

    EXPECT_EQ (text (effGetEffectName), "VARKEL Hot Preamp");
    EXPECT_EQ (text (effGetProductString), "VARKEL Hot Preamp");
    EXPECT_EQ (text (effGetVendorString), "Talvomer");
    EXPECT_EQ (call (effGetVendorVersion), 100);
    EXPECT_EQ (call (effGetVstVersion), 2400);
    EXPECT_EQ (call (effGetPlugCategory), 1);
    EXPECT_EQ (call (effGetTailSizeOpcode), 0);
}

TEST_F (Vst2Host, CanDoAnswersComeFromThePluginsTableOnly)
{
    const struct
    {
        const char* text;
        t_fstPtrInt answer;
    } cases[] = {
        {"receiveVstEvents", -1},
        {"receiveVstMidiEvent", -1},
        {"receiveVstMidiEvents", -1},
        {"sendVstEvents", -1},
        {"sendVstMidiEvent", -1},
        {"sendVstMidiEvents", -1},
        {"receiveVstTimeInfo", 1},
        {"conformsToWindowRules", 1},
        {"bypass", 1},
        {"openCloseAnyThread", -1},
        // Not in the table: the framework alone would claim the first two.
        {"supportsViewDpiScaling", 0},
        {"hasCockosExtensions", 0},
        {"MPE", 0},
        {"Bypass", 0},
        {"bypass ", 0},
        {"", 0},
        {"offline", 0},
    };
    for (const auto& c : cases)
    {
        std::vector<char> writable (c.text, c.text + std::strlen (c.text) + 1);
        EXPECT_EQ (call (effCanDo, 0, 0, writable.data()), c.answer) << '"' << c.text << '"';
    }
    EXPECT_EQ (call (effCanDo, 0, 0, nullptr), 0);
}

// Room for the speaker entries a host sends after the two counts.
struct Arrangement
{
    int type;
    int numChannels;
    t_fstSpeakerProperties speakers[8];
};

Arrangement arrangementOf (int channels)
{
    Arrangement arrangement{};
    arrangement.type = channels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    arrangement.numChannels = channels;
    return arrangement;
}

TEST_F (Vst2Host, SpeakerArrangementsOneToOneAndTwoToTwoOnly)
{
    const auto offer = [this] (int ins, int outs)
    {
        Arrangement in = arrangementOf (ins), out = arrangementOf (outs);
        return call (effSetSpeakerArrangement, 0, reinterpret_cast<t_fstPtrInt> (&in), &out);
    };
    const auto currentCounts = [this]
    {
        t_fstSpeakerArrangement* in = nullptr;
        t_fstSpeakerArrangement* out = nullptr;
        call (effGetSpeakerArrangement, 0, reinterpret_cast<t_fstPtrInt> (&in), &out);
        return (in != nullptr && out != nullptr)
                   ? std::to_string (in->numChannels) + "/" + std::to_string (out->numChannels)
                   : std::string ("none");
    };

    EXPECT_EQ (offer (1, 1), 1);
    EXPECT_EQ (currentCounts(), "1/1");
    EXPECT_EQ (offer (1, 2), 0);
    EXPECT_EQ (currentCounts(), "1/1") << "a refused request must leave the configuration";
    EXPECT_EQ (offer (2, 1), 0);
    EXPECT_EQ (offer (2, 2), 1);
    EXPECT_EQ (currentCounts(), "2/2");
}

TEST_F (Vst2Host, SingleProgramChunkIsTheWholeBank)
{
    char name[] = "Crunch";
    call (effSetProgram, 0, 4);
    call (effSetProgramName, 0, 0, name);
    effect->setParameter (effect, 3, 1.0f); // Treble of program 4

    const auto bank = chunk (0);
    const auto single = chunk (1);
    ASSERT_GT (bank.size(), 9u);
    EXPECT_EQ (std::memcmp (bank.data(), "VC2!", 4), 0);
    EXPECT_EQ (single, bank);

    // Restoring the single-program chunk brings back the whole bank and its current program.
    effect->setParameter (effect, 3, 0.0f);
    call (effSetProgram, 0, 7);
    std::vector<unsigned char> restore = single;
    call (effSetChunk, 1, static_cast<t_fstPtrInt> (restore.size()), restore.data());
    EXPECT_EQ (call (effGetProgram), 4);
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 3), 1.0f);
    char restoredName[64] = {};
    call (effGetProgramNameIndexed, 4, 0, restoredName);
    EXPECT_STREQ (restoredName, "Crunch");
}

TEST_F (Vst2Host, ProgramChangesAreNotReportedAsAutomation)
{
    automationCalls = 0;
    call (effSetProgram, 0, 2);
    std::vector<unsigned char> state = chunk (0);
    call (effSetChunk, 0, static_cast<t_fstPtrInt> (state.size()), state.data());
    EXPECT_EQ (automationCalls, 0);
}

TEST_F (Vst2Host, HostBypassPassesTheInputThrough)
{
    call (effSetSampleRate, 0, 0, nullptr, 48000.0f);
    call (effSetBlockSize, 0, 32);
    call (effMainsChanged, 0, 1);
    EXPECT_EQ (call (effSetBypassOpcode, 0, 1), 1);

    std::vector<float> inLeft (32, 0.5f), inRight (32, -0.25f), outLeft (32, 9.0f), outRight (32, 9.0f);
    float* ins[] = {inLeft.data(), inRight.data()};
    float* outs[] = {outLeft.data(), outRight.data()};
    effect->processReplacing (effect, ins, outs, 32);
    EXPECT_EQ (outLeft, inLeft);
    EXPECT_EQ (outRight, inRight);

    // And processing again once the host lifts the bypass: the mono program copies the left side.
    call (effSetBypassOpcode, 0, 0);
    effect->processReplacing (effect, ins, outs, 32);
    EXPECT_EQ (outRight, outLeft);
    call (effMainsChanged, 0, 0);
}

TEST_F (Vst2Host, EditorRectangleIs460By368)
{
    if (std::getenv ("DISPLAY") == nullptr)
        GTEST_SKIP() << "the editor needs a display (run under xvfb-run)";
    ERect* rect = nullptr;
    call (effEditGetRect, 0, 0, &rect);
    ASSERT_NE (rect, nullptr);
    EXPECT_EQ (rect->top, 0);
    EXPECT_EQ (rect->left, 0);
    EXPECT_EQ (rect->bottom, 368);
    EXPECT_EQ (rect->right, 460);
}
} // namespace
