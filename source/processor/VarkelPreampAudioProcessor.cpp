#include "processor/VarkelPreampAudioProcessor.h"

#include "editor/VarkelPreampEditor.h"

#include "models/ModelDataCache.h"
#include "processor/EngineSettings.h"
#include "processor/ModelFiles.h"
#include "processor/ModelStatusQuery.h"
#include "processor/ParameterText.h"
#include "processor/ProgramState.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace
{
// Rebuilding engine data must not overlap a process call: the host gets silence meanwhile.
class ScopedSuspend
{
public:
    explicit ScopedSuspend (juce::AudioProcessor& p) : processor (p) { processor.suspendProcessing (true); }
    ~ScopedSuspend() { processor.suspendProcessing (false); }

    ScopedSuspend (const ScopedSuspend&) = delete;
    ScopedSuspend& operator= (const ScopedSuspend&) = delete;

private:
    juce::AudioProcessor& processor;
};

int limitedIndex (int index, int count) noexcept
{
    return index < 0 ? 0 : (index >= count ? count - 1 : index);
}

// The first program of the built-in bank, read once from the same document the constructor loads.
const ProgramRecord& builtInDefaultProgram()
{
    static const ProgramRecord program = []
    {
        ProgramRecord record;
        int programToSelect = 0;
        if (const auto xml = juce::parseXML (juce::String::fromUTF8 (getDefaultProgramsDocument())))
            restoreStateDocument (*xml, &record, 1, programToSelect);
        return record;
    }();
    return program;
}
} // namespace

VarkelPreampAudioProcessor::VarkelPreampAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    const double frameworkRate = getSampleRate();
    sampleRate = frameworkRate > 0.0 ? static_cast<int> (frameworkRate) : 44100;
    currentProgram = 0;
    oversamplingFactor = 1;

    blocks = makePreampBlocks (static_cast<double> (sampleRate));
    blocksReady = true;

    installDefaultPrograms();
}

VarkelPreampAudioProcessor::~VarkelPreampAudioProcessor() = default;

const juce::String VarkelPreampAudioProcessor::getName() const
{
    return "VARKEL Hot Preamp";
}

void VarkelPreampAudioProcessor::prepareToPlay (double newSampleRate, int)
{
    takeHostRate (newSampleRate);

    // An LV2 host knows a parameter's value only from the plug-in's messages, and the defaults
    // were installed before its wrapper listened: it is told every value when it prepares.
    if (wrapperType == wrapperType_LV2)
        notifyParameterListeners();
}

void VarkelPreampAudioProcessor::takeHostRate (double newSampleRate)
{
    const juce::ScopedLock control (controlLock); // the reloads read the rate
    // A rate no host uses is ignored: times the oversampling factor it must stay a valid int.
    if (!(newSampleRate >= 1.0 && newSampleRate <= static_cast<double> (maxHostSampleRate)))
        return;
    sampleRate = static_cast<int> (newSampleRate);

    // Hosts announce their rate here just before they start processing, usually long after the
    // last program switch. Waiting for the next reload would run the circuit with matrices, rate
    // tables and block-3 networks for another rate, shifting every filter of the preamp, so a
    // new rate reloads what depends on it now. The same rate again costs nothing.
    if (blocksReady && chains[0].getHostRate() != sampleRate)
        rateReload();
}

void VarkelPreampAudioProcessor::releaseResources() {}

bool VarkelPreampAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto in = layouts.getMainInputChannelSet();
    const auto out = layouts.getMainOutputChannelSet();
    return in == out && (in == juce::AudioChannelSet::mono() || in == juce::AudioChannelSet::stereo());
}

void VarkelPreampAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const int n = buffer.getNumSamples();
    (this->*processRoutine) (buffer, n);

    const int lastOutput = juce::jmin (getTotalNumOutputChannels(), buffer.getNumChannels());
    for (int channel = getTotalNumInputChannels(); channel < lastOutput; ++channel)
        buffer.clear (channel, 0, n);
}

void VarkelPreampAudioProcessor::processNothing (juce::AudioBuffer<float>&, int) {}

void VarkelPreampAudioProcessor::processMonoPlain (juce::AudioBuffer<float>& buffer, int n)
{
    if (buffer.getNumChannels() < 1)
        return;
    chains[0].processPlain (buffer.getWritePointer (0), n);
    if (getTotalNumInputChannels() >= 2 && n > 0 && buffer.getNumChannels() >= 2)
        buffer.copyFrom (1, 0, buffer, 0, 0, n);
}

void VarkelPreampAudioProcessor::processMonoOversampled (juce::AudioBuffer<float>& buffer, int n)
{
    if (buffer.getNumChannels() < 1)
        return;
    chains[0].processOversampled (buffer.getWritePointer (0), n);
    if (getTotalNumInputChannels() >= 2 && n > 0 && buffer.getNumChannels() >= 2)
        buffer.copyFrom (1, 0, buffer, 0, 0, n);
}

void VarkelPreampAudioProcessor::processStereoPlain (juce::AudioBuffer<float>& buffer, int n)
{
    // The layout can shrink after the routine was chosen; never touch a channel that is not there.
    for (int channel = 0; channel < juce::jmin (numChains, buffer.getNumChannels()); ++channel)
        chains[static_cast<size_t> (channel)].processPlain (buffer.getWritePointer (channel), n);
}

void VarkelPreampAudioProcessor::processStereoOversampled (juce::AudioBuffer<float>& buffer, int n)
{
    for (int channel = 0; channel < juce::jmin (numChains, buffer.getNumChannels()); ++channel)
        chains[static_cast<size_t> (channel)].processOversampled (buffer.getWritePointer (channel), n);
}

VarkelPreampAudioProcessor::ProcessMode VarkelPreampAudioProcessor::getProcessMode() const noexcept
{
    if (processRoutine == &VarkelPreampAudioProcessor::processMonoPlain)
        return ProcessMode::monoPlain;
    if (processRoutine == &VarkelPreampAudioProcessor::processMonoOversampled)
        return ProcessMode::monoOversampled;
    if (processRoutine == &VarkelPreampAudioProcessor::processStereoPlain)
        return ProcessMode::stereoPlain;
    if (processRoutine == &VarkelPreampAudioProcessor::processStereoOversampled)
        return ProcessMode::stereoOversampled;
    return ProcessMode::passThrough;
}

const juce::String VarkelPreampAudioProcessor::getInputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}

const juce::String VarkelPreampAudioProcessor::getOutputChannelName (int channelIndex) const
{
    return juce::String (channelIndex + 1);
}

bool VarkelPreampAudioProcessor::isInputChannelStereoPair (int) const
{
    return true;
}
bool VarkelPreampAudioProcessor::isOutputChannelStereoPair (int) const
{
    return true;
}
bool VarkelPreampAudioProcessor::silenceInProducesSilenceOut() const
{
    return false;
}
double VarkelPreampAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}
bool VarkelPreampAudioProcessor::acceptsMidi() const
{
    return false;
}
bool VarkelPreampAudioProcessor::producesMidi() const
{
    return false;
}

juce::AudioProcessorEditor* VarkelPreampAudioProcessor::createEditor()
{
    return new VarkelPreampEditor (*this);
}

bool VarkelPreampAudioProcessor::hasEditor() const
{
    return true;
}

// Parameters ------------------------------------------------------------------------------------

int VarkelPreampAudioProcessor::getNumParameters()
{
    return numParameters;
}

const juce::String VarkelPreampAudioProcessor::getParameterName (int index)
{
    return getParameterDisplayName (index);
}

float VarkelPreampAudioProcessor::getParameter (int index)
{
    if (index < 0 || index >= numParameters)
        return 0.0f;
    const juce::ScopedLock lock (getCallbackLock());
    return current().getNormalizedValue (index);
}

const juce::String VarkelPreampAudioProcessor::getParameterText (int index)
{
    if (index < 0 || index >= numParameters)
        return {};
    float value = 0.0f;
    {
        const juce::ScopedLock lock (getCallbackLock());
        value = current().values[index];
    }
    return getParameterValueText (index, value);
}

void VarkelPreampAudioProcessor::setParameter (int index, float newValue)
{
    if (index < 0 || index >= numParameters)
        return;
    // A value that is already in effect changes nothing: answered without any lock, so a host
    // resending automation never waits for another thread's reload.
    if (normalizedToEngine (index, newValue) == liveValues[static_cast<size_t> (index)].load())
        return;
    const ParameterChange change = getParameterSpec (index).change;
    if (change == ParameterChange::inputLevel || change == ParameterChange::outputLevel)
    {
        setLevelParameter (index, newValue);
        return;
    }

    const juce::ScopedLock control (controlLock);
    bool changed = false;
    {
        const juce::ScopedLock lock (getCallbackLock());
        changed = current().setNormalizedValue (index, newValue);
        publishLiveValues();
    }
    if (!changed)
        return;

    switch (change)
    {
    case ParameterChange::reloadValveSet:
        valveTypeReload();
        break;
    case ParameterChange::inputLevel:
    case ParameterChange::outputLevel:
        break; // setLevelParameter's, above
    case ParameterChange::gainPosition:
    {
        RetiredModels retired;
        const ScopedSuspend suspended (*this);
        selectGainPositions();
        verifyOperatingPoints ({0, 1}, retired);
        break;
    }
    case ParameterChange::tonePosition:
    {
        RetiredModels retired;
        const ScopedSuspend suspended (*this);
        selectTonePositions();
        verifyOperatingPoints ({3}, retired);
        break;
    }
    case ParameterChange::reloadRate:
        rateReload();
        break;
    case ParameterChange::editorOnly:
        break;
    }

    notifyChange();
}

void VarkelPreampAudioProcessor::setLevelParameter (int index, float newValue)
{
    // Only the callback lock, which no reload holds for longer than it takes to set a flag or
    // swap the bank: the record, its live copy and both chains' gain change together, so a
    // program switch on another thread either precedes all of it or re-applies its own gains.
    bool changed = false;
    {
        const juce::ScopedLock lock (getCallbackLock());
        changed = current().setNormalizedValue (index, newValue);
        if (changed)
        {
            publishLiveValues();
            if (getParameterSpec (index).change == ParameterChange::inputLevel)
                applyInputGain();
            else
                applyOutputGain();
        }
    }
    if (changed)
        notifyChange();
}

void VarkelPreampAudioProcessor::publishLiveValues() noexcept
{
    const auto& values = current().values;
    for (size_t index = 0; index < liveValues.size(); ++index)
        liveValues[index].store (values[index]);
}

juce::String VarkelPreampAudioProcessor::getParameterID (int index)
{
    const juce::String key = getParameterKey (index);
    return key.isNotEmpty() ? key : juce::String (index);
}

float VarkelPreampAudioProcessor::getParameterDefaultValue (int index)
{
    if (index < 0 || index >= numParameters)
        return 0.0f;
    return builtInDefaultProgram().getNormalizedValue (index);
}

// Programs --------------------------------------------------------------------------------------

int VarkelPreampAudioProcessor::getNumPrograms()
{
    return numPrograms;
}
int VarkelPreampAudioProcessor::getCurrentProgram()
{
    return currentProgram;
}

void VarkelPreampAudioProcessor::setCurrentProgram (int index)
{
    if (index < 0 || index >= numPrograms || !blocksReady)
        return;
    const juce::ScopedLock control (controlLock);
    {
        const juce::ScopedLock lock (getCallbackLock());
        currentProgram = index;
        publishLiveValues();
    }
    programReload();
    notifyChange();
    notifyParameterListeners();
}

const juce::String VarkelPreampAudioProcessor::getProgramName (int index)
{
    if (index < 0 || index >= numPrograms)
        return {};
    const juce::ScopedLock lock (getCallbackLock());
    return programs[static_cast<size_t> (index)].name;
}

void VarkelPreampAudioProcessor::changeProgramName (int index, const juce::String& newName)
{
    if (index < 0 || index >= numPrograms)
        return;
    juce::String name = newName;
    const juce::ScopedLock control (controlLock);
    const juce::ScopedLock lock (getCallbackLock());
    programs[static_cast<size_t> (index)].name.swapWith (name); // the old text is freed unlocked
}

const ProgramRecord& VarkelPreampAudioProcessor::getProgramRecord (int index) const
{
    jassert (index >= 0 && index < numPrograms);
    return programs[static_cast<size_t> (limitedIndex (index, numPrograms))];
}

const ChannelChain& VarkelPreampAudioProcessor::getChain (int index) const
{
    jassert (index >= 0 && index < numChains);
    return chains[static_cast<size_t> (limitedIndex (index, numChains))];
}

void VarkelPreampAudioProcessor::notifyChange()
{
    sendChangeMessage();
}

void VarkelPreampAudioProcessor::notifyParameterListeners()
{
    // VST3 and LV2 hosts learn the values of a new program or a restored state only through the
    // parameter listeners. A VST 2.4 host reads them itself after switching or restoring, and its
    // wrapper would report these calls as automation, so it is not told.
    if (wrapperType == wrapperType_VST)
        return;
    for (int index = 0; index < numParameters; ++index)
        sendParamChangeMessageToListeners (index, current().getNormalizedValue (index));
}

// State -----------------------------------------------------------------------------------------

void VarkelPreampAudioProcessor::installDefaultPrograms()
{
    const auto xml = juce::parseXML (juce::String::fromUTF8 (getDefaultProgramsDocument()));
    jassert (xml != nullptr);
    if (xml == nullptr)
        return;
    juce::MemoryBlock block;
    copyXmlToBinary (*xml, block);
    setStateInformation (block.getData(), static_cast<int> (block.getSize()));
}

void VarkelPreampAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const juce::ScopedLock control (controlLock);
    // Copied under the callback lock: the input and output levels change without controlLock.
    decltype (programs) saved;
    {
        const juce::ScopedLock lock (getCallbackLock());
        saved = programs;
    }
    const auto xml = createStateDocument (saved.data(), numPrograms, currentProgram);
    wrapStateDocument (*xml, destData);
}

void VarkelPreampAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;
    // Checked before it is parsed: hostile nesting or declarations are refused unread.
    const auto xml = readStateBlock (data, sizeInBytes);
    if (xml == nullptr)
        return;
    const juce::ScopedLock control (controlLock);
    // Restored into a copy, then swapped in at once: readers never see a half-restored bank.
    decltype (programs) restored;
    {
        const juce::ScopedLock lock (getCallbackLock());
        restored = programs;
    }
    int programToSelect = 0;
    if (!restoreStateDocument (*xml, restored.data(), numPrograms, programToSelect))
        return;
    {
        const juce::ScopedLock lock (getCallbackLock());
        std::swap (programs, restored);
        publishLiveValues();
    }
    setCurrentProgram (programToSelect);
    // A "cprog" outside the bank keeps the current program, whose record may have been replaced.
    if (programToSelect < 0 || programToSelect >= numPrograms)
        notifyParameterListeners();
}

// Engine settings -------------------------------------------------------------------------------

void VarkelPreampAudioProcessor::applyInputGain()
{
    const juce::ScopedLock lock (getCallbackLock()); // the level path writes the record under it
    const float factor = inputGainFactor (current().values[inputParameter]);
    for (auto& chain : chains)
        chain.inputGain.store (factor);
}

void VarkelPreampAudioProcessor::applyOutputGain()
{
    const juce::ScopedLock lock (getCallbackLock()); // the level path writes the record under it
    const double supply = blocks[3] != nullptr ? blocks[3]->getAutomationValue (0) : 0.0;
    const float factor = outputGainFactor (current().values[outputParameter], supply);
    for (auto& chain : chains)
        chain.outputGain.store (factor);
}

void VarkelPreampAudioProcessor::chooseProcessRoutine()
{
    const bool stereo =
        static_cast<int> (current().values[monoStereoParameter]) != 0 && getTotalNumInputChannels() > 1;
    const bool plain = oversamplingFactor == 1;
    if (stereo)
        processRoutine = plain ? &VarkelPreampAudioProcessor::processStereoPlain
                               : &VarkelPreampAudioProcessor::processStereoOversampled;
    else
        processRoutine = plain ? &VarkelPreampAudioProcessor::processMonoPlain
                               : &VarkelPreampAudioProcessor::processMonoOversampled;
}

uint32_t VarkelPreampAudioProcessor::controlPosition (PositionControl control) const noexcept
{
    const auto& values = current().values;
    switch (control)
    {
    case PositionControl::gain:
        return gainPosition (values[gainParameter]);
    case PositionControl::tone:
        return toneIndex (values[trebleParameter], values[middleParameter], values[bassParameter]);
    case PositionControl::none:
        break;
    }
    return 0;
}

void VarkelPreampAudioProcessor::selectPositionsOf (PositionControl control)
{
    const uint32_t position = controlPosition (control);
    for (auto& chain : chains)
        for (int k = 0; k < numModelBlocks; ++k)
            if (getBlockFacts (k).control == control)
                chain.selectPosition (k, position);
}

void VarkelPreampAudioProcessor::selectGainPositions()
{
    selectPositionsOf (PositionControl::gain);
}

void VarkelPreampAudioProcessor::selectTonePositions()
{
    selectPositionsOf (PositionControl::tone);
}

void VarkelPreampAudioProcessor::selectAllPositions()
{
    uint32_t positions[numModelBlocks];
    for (int k = 0; k < numModelBlocks; ++k)
        positions[k] = controlPosition (getBlockFacts (k).control);
    for (auto& chain : chains)
        for (int k = 0; k < numModelBlocks; ++k)
            chain.selectPosition (k, positions[k]);
}

// Model reloads ---------------------------------------------------------------------------------

VarkelPreampAudioProcessor::ModelPaths VarkelPreampAudioProcessor::buildModelPaths (int32_t factor) const
{
    const float valveValue = current().values[dualTriodesParameter];
    return buildModelPaths (factor, (valveValue == 0.0f || valveValue == 1.0f) ? static_cast<int> (valveValue) : -1);
}

VarkelPreampAudioProcessor::ModelPaths VarkelPreampAudioProcessor::buildModelPaths (int32_t factor,
                                                                                    int valveType) const
{
    ModelPaths paths;
    const auto moduleFile = juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    paths.folder = modelDataFolder (moduleFile.getFullPathName().toStdString());
    paths.valveType = valveType;
    const char* valve = valveSetFileName (valveType);
    for (int k = 0; k < 4; ++k)
        paths.files[static_cast<size_t> (k)] =
            valve != nullptr ? chooseModelFile (paths.folder, valve, k, factor * sampleRate) : std::string();
    return paths;
}

// Reading and parsing happen here, while the audio runs on: the process-wide cache answers a
// file that some block already uses without reading it, so a switch that keeps the valve set
// and the rate costs one open per file.
VarkelPreampAudioProcessor::StagedModels VarkelPreampAudioProcessor::stageModels (const ModelPaths& paths,
                                                                                  bool blocksOneTwoFour) const
{
    StagedModels staged;
    staged.valveType = paths.valveType;
    staged.folder = paths.folder;
    staged.folderMissing = !juce::File (juce::String (paths.folder)).isDirectory();
    for (int k = 0; k < 4; ++k)
    {
        const auto index = static_cast<size_t> (k);
        if (k != 2 && !blocksOneTwoFour)
            continue;
        staged.wanted[index] = true;
        const auto& path = paths.files[index];
        staged.paths[index] = path;
        const SSParamsVecAutomation* block = blocks[index].get();
        if (path.empty())
            staged.files[index].status = ModelLoadResult::failure ("no model file for this valve type and rate");
        else if (block == nullptr)
            staged.files[index].status = ModelLoadResult::failure (path + ": no circuit block to load it into");
        else
            staged.files[index] =
                ModelDataCache::instance().acquire (path, blockUsesPrincipalComponents (k), block->numNonlinearInputs,
                                                    block->numNonlinearOutputs, block->numStates);
    }
    return staged;
}

// Processing is suspended: only network building for the positions in use is left to do. A block
// whose file was refused is emptied, so the host hears silence rather than the networks of
// another rate or valve set.
void VarkelPreampAudioProcessor::installStaged (const StagedModels& staged, RetiredModels& retired)
{
    std::array<std::array<std::string, 4>, numChains> problems;
    for (int c = 0; c < numChains; ++c)
    {
        auto& chain = chains[static_cast<size_t> (c)];
        for (int k = 0; k < 4; ++k)
        {
            const auto index = static_cast<size_t> (k);
            if (!staged.wanted[index])
                continue;
            // The file being replaced may be the last use of a large tree: it is freed after the
            // audio has been resumed, not while the host hears silence.
            retired.push_back (chain.getModelState (k).modelFile);
            ModelLoadResult result = staged.files[index].status;
            if (result.ok)
                result = chain.loadBlockModel (k, blocks[index].get(), staged.files[index].file,
                                               staged.paths[index]);
            if (!result.ok)
                chain.unloadBlock (k);
            problems[static_cast<size_t> (c)][index] = result.ok ? std::string() : result.message;
        }
    }

    // Blocks 1, 2 and 4 of each valve set used stay read, so switching back reads nothing.
    if (staged.valveType >= 0 && staged.valveType < numValveTypes)
        for (size_t k = 0; k < 4; ++k)
            if (staged.wanted[k] && k != 2)
                retired.push_back (std::exchange (keptFiles[static_cast<size_t> (staged.valveType)][k],
                                                  staged.files[k].file));

    const std::lock_guard<std::mutex> lock (modelStatusLock);
    for (size_t c = 0; c < problems.size(); ++c)
        for (size_t k = 0; k < 4; ++k)
            if (staged.wanted[k])
                loadProblems[c][k] = std::move (problems[c][k]);
    modelFolder = staged.folder;
    modelFolderMissing = staged.folderMissing;
}

void VarkelPreampAudioProcessor::prepareChains()
{
    for (auto& chain : chains)
        chain.prepareRate (sampleRate, oversamplingFactor);
}

void VarkelPreampAudioProcessor::valveTypeReload()
{
    const ModelPaths paths = buildModelPaths (oversamplingFactor);
    const StagedModels staged = stageModels (paths, !paths.files[0].empty());
    RetiredModels retired;
    {
        const ScopedSuspend suspended (*this);
        installStaged (staged, retired);
        // Positions first, so each block starts from the operating point of its own position
        // rather than that of the position it had before the load.
        selectAllPositions();
        prepareChains();
        verifyOperatingPoints ({0, 1, 2, 3}, retired);
    }
    prefetchOtherValveSet();
}

void VarkelPreampAudioProcessor::rateReload()
{
    const int32_t newFactor = oversamplingFactorForStep (current().values[oversamplingParameter]);
    const StagedModels staged = stageModels (buildModelPaths (newFactor), false);
    RetiredModels retired;
    {
        const ScopedSuspend suspended (*this);
        oversamplingFactor = newFactor;
        chooseProcessRoutine();
        installStaged (staged, retired);
        prepareChains();
        for (auto& chain : chains)
            chain.selectPosition (2, 0);
        verifyOperatingPoints ({0, 1, 2, 3}, retired);
    }
    prefetchOtherValveSet();
}

// A block whose operating point does not belong to it at this rate and position would start off
// balance and play a wrong sound: it is emptied, and the chain stays silent until a reload.
void VarkelPreampAudioProcessor::verifyOperatingPoints (std::initializer_list<int> blockIndexes,
                                                        RetiredModels& retired)
{
    std::vector<std::pair<size_t, std::pair<size_t, std::string>>> refused;
    for (size_t c = 0; c < chains.size(); ++c)
        for (const int k : blockIndexes)
        {
            const ModelLoadResult result = chains[c].checkOperatingPoint (k);
            if (result.ok)
                continue;
            retired.push_back (chains[c].getModelState (k).modelFile);
            chains[c].unloadBlock (k);
            refused.push_back ({c, {static_cast<size_t> (k), result.message}});
        }
    if (refused.empty())
        return;
    const std::lock_guard<std::mutex> lock (modelStatusLock);
    for (auto& [c, problem] : refused)
        loadProblems[c][problem.first] = std::move (problem.second);
}

void VarkelPreampAudioProcessor::programReload()
{
    const int32_t newFactor = oversamplingFactorForStep (current().values[oversamplingParameter]);
    const ModelPaths paths = buildModelPaths (newFactor);
    const StagedModels staged = stageModels (paths, !paths.files[0].empty());
    RetiredModels retired;
    {
        const ScopedSuspend suspended (*this);
        applyInputGain();
        applyOutputGain();
        oversamplingFactor = newFactor;
        chooseProcessRoutine();
        installStaged (staged, retired);
        // Positions first, so each block starts from the operating point of its own position
        // rather than that of the position it had before the load.
        selectAllPositions();
        prepareChains();
        verifyOperatingPoints ({0, 1, 2, 3}, retired);
    }
    prefetchOtherValveSet();
}

// The other valve set's files for this rate are read and compiled in the background, so a valve
// switch (or a program of the other set) only installs them. A switch that comes before they are
// ready reads them itself, as it would without this.
void VarkelPreampAudioProcessor::prefetchOtherValveSet()
{
    const int valveType = buildModelPaths (oversamplingFactor).valveType;
    std::vector<ModelPrefetch::Request> requests;
    if (valveType >= 0 && valveType < numValveTypes)
    {
        const ModelPaths other = buildModelPaths (oversamplingFactor, (valveType + 1) % numValveTypes);
        for (int k = 0; k < numModelBlocks; ++k)
        {
            const auto index = static_cast<size_t> (k);
            const SSParamsVecAutomation* block = blocks[index].get();
            if (!other.files[index].empty() && block != nullptr)
                requests.push_back ({other.files[index], blockUsesPrincipalComponents (k), block->numNonlinearInputs,
                                     block->numNonlinearOutputs, block->numStates});
        }
    }
    prefetch.start (std::move (requests));
}

void VarkelPreampAudioProcessor::waitForBackgroundReads()
{
    const juce::ScopedLock control (controlLock);
    prefetch.waitUntilDone();
}

juce::String VarkelPreampAudioProcessor::getModelStatus() const
{
    const std::lock_guard<std::mutex> lock (modelStatusLock);

    // Both chains load the same files, so a problem usually shows twice: count distinct ones.
    std::vector<std::string> distinct;
    for (const auto& chainProblems : loadProblems)
        for (const auto& problem : chainProblems)
            if (!problem.empty() && std::find (distinct.begin(), distinct.end(), problem) == distinct.end())
                distinct.push_back (problem);

    if (distinct.empty())
        return {};
    if (modelFolderMissing)
        return "Model data missing: " + juce::String (modelFolder);

    juce::String text = "Model data problem: " + juce::String (distinct.front());
    if (distinct.size() > 1)
        text << " (and " << static_cast<int> (distinct.size() - 1) << " more)";
    return text;
}

juce::pointer_sized_int
VarkelPreampAudioProcessor::handleVstManufacturerSpecific (juce::int32 index, juce::pointer_sized_int value,
                                                           void* ptr, float)
{
    if (index != modelstatus::queryIndex || value != modelstatus::queryValue)
        return 0;

    const juce::String status = getModelStatus();
    if (ptr != nullptr)
    {
        // copyToUTF8 never splits a character and always writes the terminating zero.
        status.copyToUTF8 (static_cast<char*> (ptr), modelstatus::textCapacity);
    }
    return status.isEmpty() ? modelstatus::answerLoaded : modelstatus::answerProblem;
}

// Called by the VST wrapper to create the plug-in.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VarkelPreampAudioProcessor();
}
