#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A small VST 2.4 host over the plug-in ABI: loads a module with dlopen, creates its effect through
// VSTPluginMain and drives it the way a host does. It answers the few host queries an effect asks
// (version 2400, sample rate, block size, offline process level) and nothing else.
//
// The framework's VST 2 hosting cannot be used here: built against the free ABI header it
// allocates speaker arrangements the header declares without a size and corrupts memory.
namespace vst2host
{
class Module
{
public:
    // Loads the module; an empty pointer and a readable error when it cannot be loaded or has no
    // entry point. A module is never unloaded: the plug-in framework keeps threads inside it.
    static std::shared_ptr<const Module> load (const std::string& path, std::string& error);

    const std::string& path() const noexcept { return filePath; }

private:
    friend class Effect;
    Module (std::string path, void* entryPoint) : filePath (std::move (path)), entry (entryPoint) {}

    std::string filePath;
    void* entry;
};

// What the plug-in says about its model data (the vendor-specific query of ModelStatusQuery.h).
struct ModelDataReport
{
    enum class State
    {
        notAnswered, // the effect does not know the query
        loaded,
        problem
    };
    State state = State::notAnswered;
    std::string text; // the plug-in's own words when there is a problem
};

class Effect
{
public:
    // VSTPluginMain and effOpen; an empty pointer and a readable error when the module gives no
    // effect. The host rate and block size start at 44100 Hz and 512 samples.
    static std::unique_ptr<Effect> open (std::shared_ptr<const Module> module, std::string& error);
    ~Effect(); // stops processing if running, then effClose

    Effect (const Effect&) = delete;
    Effect& operator= (const Effect&) = delete;

    int numParameters() const noexcept;
    int numPrograms() const noexcept;
    int numInputs() const noexcept;
    int numOutputs() const noexcept;
    int uniqueId() const noexcept;

    std::string effectName();
    std::string vendorName();

    std::string parameterName (int index);
    std::string parameterDisplay (int index);
    std::string parameterLabel (int index);
    float parameter (int index);
    void setParameter (int index, float normalized);

    int program();
    void setProgram (int index);
    std::string programName (int index);

    std::vector<unsigned char> chunk (bool singleProgram);
    void setChunk (const std::vector<unsigned char>& data, bool singleProgram);

    // Offers the speaker arrangement; false when the effect refuses it.
    bool setChannels (int inputs, int outputs);

    void setSampleRate (double rate);
    void setBlockSize (int samples);
    double sampleRate() const noexcept { return hostRate; }
    int blockSize() const noexcept { return hostBlockSize; }

    // effMainsChanged: resume before processing, suspend after.
    void resume();
    void suspend();

    // Sets a track up as a host does before playing: rate, block size and channel layout (false
    // when the effect refuses the layout and keeps its own), resume, then the program. The
    // program switch comes last because the plug-in takes the host rate in at resume but only
    // reloads its rate-dependent models at a program switch; the effect is left running.
    bool prepare (double rate, int samplesPerBlock, int channels, int programIndex);

    // The host's bypass: true when the effect accepts it.
    bool setBypass (bool bypassed);

    ModelDataReport modelData();

    // Runs the channels through processReplacing in blocks of the block size; channels beyond the
    // effect's inputs are ignored, missing inputs get silence. Returns as many output channels as
    // were given (at most the effect's outputs), each as long as the input. Resumes the effect if
    // it is not running.
    std::vector<std::vector<float>> process (const std::vector<std::vector<float>>& channels);

    // Host side of the audioMaster callback; public for the callback only.
    std::intptr_t answerHost (int opcode, int index, std::intptr_t value, void* ptr, float opt);

private:
    Effect (std::shared_ptr<const Module> module, void* effect);
    std::intptr_t dispatch (int opcode, int index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                            float opt = 0.0f);
    std::string text (int opcode, int index);

    std::shared_ptr<const Module> module;
    void* effect; // the AEffect, owned by the plug-in until effClose
    double hostRate = 44100.0;
    int hostBlockSize = 512;
    bool running = false;
};
} // namespace vst2host
