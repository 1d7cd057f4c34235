#pragma once

#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "models/BlockFacts.h"
#include "models/ModelDataCache.h"
#include "processor/ModelPrefetch.h"
#include "processor/ProgramRecord.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

// The plug-in processor the host drives: ten parameters, twelve programs, the four circuit
// blocks shared by the two channel chains, and the choice of process routine.
//
// Threads: processBlock runs on the audio thread under the callback lock held by the wrapper.
// Every change that rebuilds engine data runs between suspendProcessing(true) and (false) on the
// calling thread; input and output gains are single atomic floats written without suspension.
// The host's threads and the editor's message thread may call the control operations at the
// same time, so those run one at a time under controlLock: two rebuilds at once would let the
// first one's resume restart processing while the second still replaces chain data. Program
// records and the current program index are only written while holding the callback lock as
// well, so readers that take just the callback lock (the editor, the host's parameter and
// program-name reads) see whole values.
//
// Hosts resend automation from their audio thread, and a reload holds controlLock for as long
// as it reads files. So setParameter never takes controlLock for a value that does not change
// (tested against liveValues, an atomic copy of the current program's values) nor for the
// input and output levels, which take only the callback lock, briefly.
class VarkelPreampAudioProcessor : public juce::AudioProcessor,
                                   public juce::ChangeBroadcaster,
                                   public juce::VSTCallbackHandler
{
public:
    static constexpr int numPrograms = 12;
    static constexpr int numChains = 2;
    static constexpr int maxHostSampleRate = 10000000;

    VarkelPreampAudioProcessor();
    ~VarkelPreampAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double newSampleRate, int estimatedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using AudioProcessor::processBlock;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    const juce::String getInputChannelName (int channelIndex) const override;
    const juce::String getOutputChannelName (int channelIndex) const override;
    bool isInputChannelStereoPair (int index) const override;
    bool isOutputChannelStereoPair (int index) const override;
    bool silenceInProducesSilenceOut() const override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    using AudioProcessor::getParameterName;
    using AudioProcessor::getParameterText;
    int getNumParameters() override;
    const juce::String getParameterName (int index) override;
    float getParameter (int index) override;
    const juce::String getParameterText (int index) override;
    void setParameter (int index, float newValue) override;
    // Distinct, stable IDs (the saved-state keys) for the formats that name parameters.
    juce::String getParameterID (int index) override;
    // The value of the built-in default programs, offered by VST3 and LV2 hosts as "default".
    float getParameterDefaultValue (int index) override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    // For the editor. Program index 0..11 and chain index 0..1; others are limited to that range.
    const ProgramRecord& getProgramRecord (int index) const;
    const ChannelChain& getChain (int index) const;

    // Empty when every model file of the last reloads loaded; otherwise a short text for a person,
    // e.g. "Model data missing: <folder>". Safe from any thread.
    juce::String getModelStatus() const;
    // Waits until the other valve set's files, read in the background after each load, are held.
    void waitForBackgroundReads();

    // The VST 2.4 host's vendor-specific call: answers the model status query of ModelStatusQuery.h.
    juce::pointer_sized_int handleVstManufacturerSpecific (juce::int32 index, juce::pointer_sized_int value,
                                                           void* ptr, float opt) override;

    // Which routine processBlock runs, and the rates the engine was last prepared for.
    enum class ProcessMode
    {
        passThrough,
        monoPlain,
        monoOversampled,
        stereoPlain,
        stereoOversampled
    };
    ProcessMode getProcessMode() const noexcept;
    int getEngineSampleRate() const noexcept { return sampleRate; }
    int getOversamplingFactor() const noexcept { return oversamplingFactor; }

private:
    using ProcessRoutine = void (VarkelPreampAudioProcessor::*) (juce::AudioBuffer<float>&, int);

    // Records the host's rate and reloads what depends on it when it changed.
    void takeHostRate (double newSampleRate);

    void processNothing (juce::AudioBuffer<float>& buffer, int n);
    void processMonoPlain (juce::AudioBuffer<float>& buffer, int n);
    void processMonoOversampled (juce::AudioBuffer<float>& buffer, int n);
    void processStereoPlain (juce::AudioBuffer<float>& buffer, int n);
    void processStereoOversampled (juce::AudioBuffer<float>& buffer, int n);

    ProgramRecord& current() noexcept { return programs[static_cast<size_t> (currentProgram)]; }
    const ProgramRecord& current() const noexcept { return programs[static_cast<size_t> (currentProgram)]; }

    void installDefaultPrograms();
    void notifyChange();
    void notifyParameterListeners();

    void applyInputGain();
    void applyOutputGain();
    void setLevelParameter (int index, float newValue);
    void publishLiveValues() noexcept;
    void chooseProcessRoutine();
    void selectGainPositions();
    void selectTonePositions();
    void selectAllPositions();
    // The position a control's current values select, and its selection in every block it drives.
    uint32_t controlPosition (PositionControl control) const noexcept;
    void selectPositionsOf (PositionControl control);

    void valveTypeReload();
    void rateReload();
    void programReload();

    struct ModelPaths
    {
        std::string folder;
        std::array<std::string, 4> files; // full paths; empty when there is no file to load
        int valveType = -1;
    };
    // The files a reload installs, read (or found in the cache) before processing is suspended.
    struct StagedModels
    {
        std::array<bool, 4> wanted{};
        std::array<SharedModelFile, 4> files;
        std::array<std::string, 4> paths;
        std::string folder;
        bool folderMissing = false;
        int valveType = -1;
    };
    using RetiredModels = std::vector<std::shared_ptr<const BaseModelFileF>>;
    ModelPaths buildModelPaths (int32_t factor) const; // for the current program's valve set
    ModelPaths buildModelPaths (int32_t factor, int valveType) const;
    void prefetchOtherValveSet();
    StagedModels stageModels (const ModelPaths& paths, bool blocksOneTwoFour) const;
    void installStaged (const StagedModels& staged, RetiredModels& retired);
    void verifyOperatingPoints (std::initializer_list<int> blockIndexes, RetiredModels& retired);
    void prepareChains();

    std::array<ProgramRecord, numPrograms> programs;
    std::atomic<int> currentProgram{0};
    // The current program's engine values; written with the records, under the callback lock.
    std::array<std::atomic<float>, numParameters> liveValues{};
    PreampBlockSet blocks;
    std::array<ChannelChain, numChains> chains;
    int sampleRate = 44100;
    int oversamplingFactor = 1;
    bool blocksReady = false;
    ProcessRoutine processRoutine = &VarkelPreampAudioProcessor::processNothing;

    // Taken by every control operation before the callback lock, never by the audio path.
    juce::CriticalSection controlLock;

    // The files of blocks 1, 2 and 4 last used for each valve set, kept read for a switch back.
    std::array<std::array<std::shared_ptr<const BaseModelFileF>, 4>, 2> keptFiles;

    // Last load problem per chain and block (empty: loaded), and the folder they were looked for in.
    mutable std::mutex modelStatusLock;
    std::array<std::array<std::string, 4>, numChains> loadProblems;
    std::string modelFolder;
    bool modelFolderMissing = false;

    // Last, so its thread has stopped before anything else of the processor goes.
    ModelPrefetch prefetch;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VarkelPreampAudioProcessor)
};
