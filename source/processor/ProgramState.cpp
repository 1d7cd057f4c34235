#include "processor/ProgramState.h"

#include "processor/ParameterText.h"
#include "processor/StateTextGuard.h"

namespace
{
constexpr int stateBlockMagic = 0x21324356; // "VC2!"

// Attribute order of the written document; each attribute is the parameter's key.
constexpr int storedOrder[numParameters] = {
    dualTriodesParameter, inputParameter,  outputParameter, monoStereoParameter,   gainParameter,
    trebleParameter,      middleParameter, bassParameter,   oversamplingParameter, showSettingsParameter,
};

const char* const defaultProgramsDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<kez cprog="0" version="1">
  <programs>
    <program programname="1 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="2 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="3 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="4 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="5 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="6 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="7 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="8 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="9 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="10 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="11 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
    <program programname="12 default" gain="0.5" ovrsmplng="0.0" in="0.5" out="0.5" stro="0.0" model="0.0" trbl="0.5" mdl="0.5" bas="0.5" showset="0.0"/>
  </programs>
</kez>
)";

// XmlElement's own attribute lookup is case-sensitive; saved state from other writers may not be.
const juce::String* findAttribute (const juce::XmlElement& element, const char* name)
{
    for (int i = 0; i < element.getNumAttributes(); ++i)
        if (element.getAttributeName (i).equalsIgnoreCase (name))
            return &element.getAttributeValue (i);
    return nullptr;
}

void loadProgram (const juce::XmlElement& element, ProgramRecord& record)
{
    const auto* name = findAttribute (element, "programname");
    record.name = name != nullptr ? *name : juce::String ("Not Saved");
    for (const int parameter : storedOrder)
    {
        const auto& spec = getParameterSpec (parameter);
        const auto* text = findAttribute (element, spec.key);
        const float x = text != nullptr ? static_cast<float> (text->getDoubleValue()) : spec.missingDefault;
        record.setNormalizedValue (parameter, x);
    }
}
} // namespace

const char* getDefaultProgramsDocument() noexcept
{
    return defaultProgramsDocument;
}

std::unique_ptr<juce::XmlElement> createStateDocument (const ProgramRecord* programs, int count,
                                                       int currentProgram)
{
    auto root = std::make_unique<juce::XmlElement> ("kez");
    root->setAttribute ("cprog", currentProgram);
    root->setAttribute ("version", 1);

    auto* list = root->createNewChildElement ("programs");
    for (int p = 0; p < count; ++p)
    {
        auto* element = list->createNewChildElement ("program");
        element->setAttribute ("programname", programs[p].name);
        for (const int parameter : storedOrder)
            element->setAttribute (getParameterSpec (parameter).key,
                                   formatEngineValue (programs[p].getNormalizedValue (parameter)));
    }
    return root;
}

void wrapStateDocument (const juce::XmlElement& document, juce::MemoryBlock& destination)
{
    const juce::String text = document.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
    const size_t length = text.getNumBytesAsUTF8();

    destination.reset();
    juce::MemoryOutputStream out (destination, false);
    out.writeInt (stateBlockMagic);
    out.writeInt (static_cast<int> (length));
    out.write (text.toRawUTF8(), length);
    out.writeByte (0);
}

std::unique_ptr<juce::XmlElement> readStateBlock (const void* data, int sizeInBytes, std::string* problem)
{
    const auto refuse = [problem] (std::string why) -> std::unique_ptr<juce::XmlElement>
    {
        if (problem != nullptr)
            *problem = std::move (why);
        return nullptr;
    };
    const auto* bytes = static_cast<const char*> (data);
    if (bytes == nullptr || sizeInBytes <= 8 || static_cast<int> (juce::ByteOrder::littleEndianInt (bytes)) != stateBlockMagic)
        return refuse ("not a saved state of this plug-in");
    const auto length = static_cast<int> (juce::ByteOrder::littleEndianInt (bytes + 4));
    if (length <= 0)
        return refuse ("the saved state is empty");

    const juce::String text = juce::String::fromUTF8 (bytes + 8, juce::jmin (sizeInBytes - 8, length));
    std::string why = findStateTextProblem (text);
    if (!why.empty())
        return refuse (std::move (why));
    auto document = juce::parseXML (text);
    if (document == nullptr)
        return refuse ("the saved state is not a well-formed document");
    return document;
}

bool restoreStateDocument (const juce::XmlElement& document, ProgramRecord* programs, int count,
                           int& programToSelect)
{
    if (!document.getTagName().equalsIgnoreCase ("kez"))
        return false;

    const auto* cprog = findAttribute (document, "cprog");
    programToSelect = cprog != nullptr ? cprog->getIntValue() : 0;

    const auto* list = document.getFirstChildElement();
    if (list == nullptr || !list->getTagName().equalsIgnoreCase ("programs"))
        return true;

    int slot = 0;
    for (const auto* element : list->getChildIterator())
    {
        if (slot >= count)
            break;
        if (!element->getTagName().equalsIgnoreCase ("program"))
            continue;
        loadProgram (*element, programs[slot]);
        ++slot;
    }
    return true;
}
