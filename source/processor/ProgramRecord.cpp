#include "processor/ProgramRecord.h"

juce::String getParameterDisplayName (int index)
{
    return isParameterIndex (index) ? juce::String (getParameterSpec (index).name) : juce::String();
}

juce::String getParameterKey (int index)
{
    return isParameterIndex (index) ? juce::String (getParameterSpec (index).key) : juce::String();
}

ProgramRecord::ProgramRecord() noexcept : name ("default")
{
    for (auto& v : values)
        v = 0.0f;
    values[inputParameter] = 25.0f;
    values[outputParameter] = 25.0f;
}

bool ProgramRecord::setNormalizedValue (int index, float x) noexcept
{
    if (!isParameterIndex (index))
        return false;
    const float v = normalizedToEngine (index, x);
    if (v == values[index])
        return false;
    values[index] = v;
    return true;
}

float ProgramRecord::getNormalizedValue (int index) const noexcept
{
    return isParameterIndex (index) ? engineToNormalized (index, values[index]) : 0.0f;
}
