// Loads the built VST 2.4 module the way a host does: dlopen, VSTPluginMain, dispatcher calls and
// one process call. Catches a module that does not export its entry point, does not resolve at
// load time, or fails to create the processor.

#include <pluginterfaces/fst/fst.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
using PluginMain = AEffect* (*)(audioMasterCallback);

t_fstPtrInt hostAnswering2400 (AEffect*, int opcode, int, t_fstPtrInt, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

t_fstPtrInt hostAnsweringNothing (AEffect*, int, int, t_fstPtrInt, void*, float)
{
    return 0;
}

// A copy of the built module in a folder of its own, so no model data lies beside it, whatever
// a render of the build tree has put next to the original.
std::string moduleWithoutModelData()
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("varkel-module-test-" + std::to_string (getpid()));
    fs::create_directories (folder);
    const fs::path copy = folder / fs::path (VARKEL_VST_MODULE_PATH).filename();
    fs::copy_file (VARKEL_VST_MODULE_PATH, copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

PluginMain loadEntryPoint()
{
    // Never unloaded: the framework keeps a message thread alive inside the module.
    static void* const module = []
    {
        const std::string path = moduleWithoutModelData();
        void* const handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);
        std::filesystem::remove_all (std::filesystem::path (path).parent_path()); // mapped stays valid
        return handle;
    }();
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<PluginMain> (dlsym (module, "VSTPluginMain"));
}

std::string dispatchText (AEffect* effect, int opcode, int index = 0)
{
    char text[256] = {};
    effect->dispatcher (effect, opcode, index, 0, text, 0.0f);
    return text;
}

TEST (PluginModule, HostSeesThePreamp)
{
    const PluginMain entry = loadEntryPoint();
    ASSERT_NE (entry, nullptr) << dlerror();

    EXPECT_EQ (entry (reinterpret_cast<audioMasterCallback> (&hostAnsweringNothing)), nullptr);

    AEffect* effect = entry (reinterpret_cast<audioMasterCallback> (&hostAnswering2400));
    ASSERT_NE (effect, nullptr);
    EXPECT_EQ (effect->magic, 0x56737450);
    EXPECT_EQ (effect->uniqueID, 0x56524B4C); // "VRKL"
    EXPECT_EQ (effect->numParams, 10);
    EXPECT_EQ (effect->numPrograms, 12);
    EXPECT_EQ (effect->numInputs, 2);
    EXPECT_EQ (effect->numOutputs, 2);

    effect->dispatcher (effect, effOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ (dispatchText (effect, effGetEffectName), "VARKEL Hot Preamp");
    EXPECT_EQ (dispatchText (effect, effGetVendorString), "Talvomer");
    EXPECT_EQ (dispatchText (effect, effGetParamName, 2), "Gain");
    EXPECT_EQ (dispatchText (effect, effGetProgramNameIndexed, 11), "12 default");
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 2), 0.5f);

    effect->setParameter (effect, 2, 1.0f);
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 2), 1.0f);

    // Mono program with no model data beside the module: the chains stay silent rather than
    // run blocks without networks, and both outputs agree.
    effect->dispatcher (effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher (effect, effSetBlockSize, 0, 64, nullptr, 0.0f);
    effect->dispatcher (effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> inLeft (64, 0.5f), inRight (64, -0.25f), outLeft (64), outRight (64);
    float* ins[] = {inLeft.data(), inRight.data()};
    float* outs[] = {outLeft.data(), outRight.data()};
    effect->processReplacing (effect, ins, outs, 64);
    for (int s = 0; s < 64; ++s)
    {
        EXPECT_TRUE (std::isfinite (outLeft[static_cast<size_t> (s)]));
        EXPECT_EQ (outLeft[static_cast<size_t> (s)], 0.0f);
        EXPECT_EQ (outRight[static_cast<size_t> (s)], outLeft[static_cast<size_t> (s)]);
    }

    effect->dispatcher (effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher (effect, effClose, 0, 0, nullptr, 0.0f);
}
} // namespace
