#include "Vst2Host.h"

#include "processor/ModelStatusQuery.h"

#include <pluginterfaces/fst/fst.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace vst2host
{
namespace
{
using PluginMain = AEffect* (*)(audioMasterCallback);

// Text buffers larger than any the ABI defines: some effects write past the nominal 8 or 64 bytes.
constexpr size_t textBufferSize = 256;

// The callback only receives the AEffect, so each open effect is found through this table. An
// effect asks the host questions while VSTPluginMain runs, before it is in the table: those get
// the answers of a host with the default settings.
std::mutex registryLock;
std::map<const AEffect*, Effect*> registry;

Effect* registeredHost (const AEffect* effect)
{
    const std::lock_guard<std::mutex> lock (registryLock);
    const auto found = registry.find (effect);
    return found != registry.end() ? found->second : nullptr;
}

t_fstPtrInt hostCallback (AEffect* effect, int opcode, int index, t_fstPtrInt value, void* ptr, float opt)
{
    if (Effect* host = registeredHost (effect))
        return host->answerHost (opcode, index, value, ptr, opt);

    switch (opcode)
    {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterGetBlockSize:
        return 512;
    default:
        return 0;
    }
}

void copyText (void* destination, const char* text)
{
    if (destination == nullptr)
        return;
    // Product and vendor strings are at most 64 bytes in the ABI.
    std::strncpy (static_cast<char*> (destination), text, 63);
    static_cast<char*> (destination)[63] = '\0';
}

// Room for the speaker entries after the two counts, which the header declares without a size.
struct SpeakerArrangement
{
    int type;
    int numChannels;
    t_fstSpeakerProperties speakers[8];
};

SpeakerArrangement arrangementOf (int channels)
{
    SpeakerArrangement arrangement{};
    arrangement.type = channels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    arrangement.numChannels = channels;
    // Speaker types: 0 mono, 1 left, 2 right.
    for (int c = 0; c < std::min (channels, 8); ++c)
        arrangement.speakers[c].type = channels == 1 ? 0 : c + 1;
    return arrangement;
}
} // namespace

std::shared_ptr<const Module> Module::load (const std::string& path, std::string& error)
{
    // Never closed (see the header); RTLD_LOCAL keeps two copies of the module apart.
    void* const handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown reason");
        return {};
    }
    void* const entry = dlsym (handle, "VSTPluginMain");
    if (entry == nullptr)
    {
        error = path + " has no VSTPluginMain: not a VST 2.4 module";
        return {};
    }
    return std::shared_ptr<const Module> (new Module (path, entry));
}

std::unique_ptr<Effect> Effect::open (std::shared_ptr<const Module> module, std::string& error)
{
    if (module == nullptr)
    {
        error = "no module";
        return {};
    }
    const auto entry = reinterpret_cast<PluginMain> (module->entry);
    AEffect* const effect = entry (&hostCallback);
    if (effect == nullptr)
    {
        error = module->path() + ": VSTPluginMain gave no effect";
        return {};
    }
    if (effect->magic != 0x56737450) // "VstP"
    {
        error = module->path() + ": VSTPluginMain returned something that is not a VST 2.4 effect";
        return {};
    }

    std::unique_ptr<Effect> host (new Effect (std::move (module), effect));
    host->dispatch (effOpen);
    return host;
}

Effect::Effect (std::shared_ptr<const Module> owner, void* created)
    : module (std::move (owner)), effect (created)
{
    const std::lock_guard<std::mutex> lock (registryLock);
    registry[static_cast<const AEffect*> (effect)] = this;
}

Effect::~Effect()
{
    if (running)
        suspend();
    dispatch (effClose);
    const std::lock_guard<std::mutex> lock (registryLock);
    registry.erase (static_cast<const AEffect*> (effect));
}

std::intptr_t Effect::dispatch (int opcode, int index, std::intptr_t value, void* ptr, float opt)
{
    auto* const e = static_cast<AEffect*> (effect);
    return e->dispatcher (e, opcode, index, value, ptr, opt);
}

std::intptr_t Effect::answerHost (int opcode, int, std::intptr_t, void* ptr, float)
{
    switch (opcode)
    {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return static_cast<std::intptr_t> (hostRate);
    case audioMasterGetBlockSize:
        return hostBlockSize;
    case audioMasterGetCurrentProcessLevel:
        return kVstProcessLevelOffline;
    case audioMasterGetProductString:
        copyText (ptr, "varkel_render");
        return 1;
    case audioMasterGetVendorString:
        copyText (ptr, "Talvomer");
        return 1;
    default:
        // No time info, no automation recording, no window sizing, no capabilities.
        return 0;
    }
}

std::string Effect::text (int opcode, int index)
{
    char buffer[textBufferSize] = {};
    dispatch (opcode, index, 0, buffer);
    buffer[textBufferSize - 1] = '\0';
    return buffer;
}

int Effect::numParameters() const noexcept
{
    return static_cast<const AEffect*> (effect)->numParams;
}

int Effect::numPrograms() const noexcept
{
    return static_cast<const AEffect*> (effect)->numPrograms;
}

int Effect::numInputs() const noexcept
{
    return static_cast<const AEffect*> (effect)->numInputs;
}

int Effect::numOutputs() const noexcept
{
    return static_cast<const AEffect*> (effect)->numOutputs;
}

int Effect::uniqueId() const noexcept
{
    return static_cast<const AEffect*> (effect)->uniqueID;
}

std::string Effect::effectName()
{
    return text (effGetEffectName, 0);
}

std::string Effect::vendorName()
{
    return text (effGetVendorString, 0);
}

std::string Effect::parameterName (int index)
{
    return text (effGetParamName, index);
}

std::string Effect::parameterDisplay (int index)
{
    return text (effGetParamDisplay, index);
}

std::string Effect::parameterLabel (int index)
{
    return text (effGetParamLabel, index);
}

float Effect::parameter (int index)
{
    auto* const e = static_cast<AEffect*> (effect);
    return e->getParameter (e, index);
}

void Effect::setParameter (int index, float normalized)
{
    auto* const e = static_cast<AEffect*> (effect);
    e->setParameter (e, index, normalized);
}

int Effect::program()
{
    return static_cast<int> (dispatch (effGetProgram));
}

void Effect::setProgram (int index)
{
    dispatch (effSetProgram, 0, index);
}

std::string Effect::programName (int index)
{
    return text (effGetProgramNameIndexed, index);
}

std::vector<unsigned char> Effect::chunk (bool singleProgram)
{
    void* data = nullptr;
    const auto size = dispatch (effGetChunk, singleProgram ? 1 : 0, 0, &data);
    if (data == nullptr || size <= 0)
        return {};
    const auto* bytes = static_cast<const unsigned char*> (data);
    return {bytes, bytes + size};
}

void Effect::setChunk (const std::vector<unsigned char>& data, bool singleProgram)
{
    // The effect may keep a pointer only for the duration of the call; it gets its own copy.
    std::vector<unsigned char> copy = data;
    dispatch (effSetChunk, singleProgram ? 1 : 0, static_cast<std::intptr_t> (copy.size()), copy.data());
}

bool Effect::setChannels (int inputs, int outputs)
{
    SpeakerArrangement in = arrangementOf (inputs), out = arrangementOf (outputs);
    return dispatch (effSetSpeakerArrangement, 0, reinterpret_cast<std::intptr_t> (&in), &out) != 0;
}

void Effect::setSampleRate (double rate)
{
    hostRate = rate;
    dispatch (effSetSampleRate, 0, 0, nullptr, static_cast<float> (rate));
}

void Effect::setBlockSize (int samples)
{
    hostBlockSize = std::max (1, samples);
    dispatch (effSetBlockSize, 0, hostBlockSize);
}

void Effect::resume()
{
    dispatch (effMainsChanged, 0, 1);
    running = true;
}

void Effect::suspend()
{
    dispatch (effMainsChanged, 0, 0);
    running = false;
}

bool Effect::prepare (double rate, int samplesPerBlock, int channels, int programIndex)
{
    if (running)
        suspend();
    setSampleRate (rate);
    setBlockSize (samplesPerBlock);
    const bool accepted = setChannels (channels, channels);
    resume();
    setProgram (programIndex);
    return accepted;
}

bool Effect::setBypass (bool bypassed)
{
    // The VST 2.4 number of effSetBypass; the free header only has a placeholder for it.
    constexpr int setBypassOpcode = 44;
    return dispatch (setBypassOpcode, 0, bypassed ? 1 : 0) != 0;
}

ModelDataReport Effect::modelData()
{
    char buffer[modelstatus::textCapacity] = {};
    const auto answer =
        dispatch (effVendorSpecific, modelstatus::queryIndex, modelstatus::queryValue, buffer);
    buffer[modelstatus::textCapacity - 1] = '\0';

    ModelDataReport report;
    if (answer == modelstatus::answerLoaded)
        report.state = ModelDataReport::State::loaded;
    else if (answer == modelstatus::answerProblem)
    {
        report.state = ModelDataReport::State::problem;
        report.text = buffer;
    }
    return report;
}

std::vector<std::vector<float>> Effect::process (const std::vector<std::vector<float>>& channels)
{
    const size_t length = channels.empty() ? 0 : channels.front().size();
    const auto ins = static_cast<size_t> (std::max (0, numInputs()));
    const auto outs = static_cast<size_t> (std::max (0, numOutputs()));
    const size_t block = static_cast<size_t> (hostBlockSize);

    // One buffer per pin of the effect, whatever the channel count of the track.
    std::vector<std::vector<float>> inputBlocks (ins, std::vector<float> (block, 0.0f));
    std::vector<std::vector<float>> outputBlocks (outs, std::vector<float> (block, 0.0f));
    std::vector<float*> inputPointers, outputPointers;
    for (auto& b : inputBlocks)
        inputPointers.push_back (b.data());
    for (auto& b : outputBlocks)
        outputPointers.push_back (b.data());

    std::vector<std::vector<float>> result (std::min (channels.size(), outs),
                                            std::vector<float> (length, 0.0f));
    if (!running)
        resume();

    auto* const e = static_cast<AEffect*> (effect);
    for (size_t start = 0; start < length; start += block)
    {
        const size_t n = std::min (block, length - start);
        for (size_t c = 0; c < ins; ++c)
        {
            float* const destination = inputBlocks[c].data();
            if (c < channels.size() && channels[c].size() >= start + n)
                std::copy_n (channels[c].begin() + static_cast<std::ptrdiff_t> (start), n, destination);
            else
                std::fill_n (destination, n, 0.0f);
        }
        for (auto& b : outputBlocks)
            std::fill_n (b.data(), n, 0.0f);

        e->processReplacing (e, inputPointers.data(), outputPointers.data(), static_cast<int> (n));

        for (size_t c = 0; c < result.size(); ++c)
            std::copy_n (outputBlocks[c].begin(), n, result[c].begin() + static_cast<std::ptrdiff_t> (start));
    }
    return result;
}
} // namespace vst2host
