#include "processor/ParameterText.h"

#include "processor/ProgramRecord.h"

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <locale>
#include <sstream>

juce::String formatTwoDecimals (double value)
{
    if (!std::isfinite (value))
        return {};
    const double magnitude = std::abs (value);
    if (magnitude >= 9.0e15)
        return {};
    const auto hundredths = static_cast<int64_t> (magnitude * 100.0 + 0.5);
    const auto whole = hundredths / 100;
    const auto fraction = static_cast<int> (hundredths % 100);
    juce::String text (value < 0.0 ? "-" : "");
    text << juce::String (whole) << "." << (fraction < 10 ? "0" : "") << juce::String (fraction);
    return text;
}

juce::String formatEngineValue (float value)
{
    // An ostream imbued with the classic locale prints like "%.9g" in the C locale: the host may
    // have switched the process locale to one with a decimal comma.
    std::ostringstream stream;
    stream.imbue (std::locale::classic());
    stream << std::setprecision (9) << static_cast<double> (value);
    return juce::String (stream.str());
}

namespace
{
juce::String choiceText (float engineValue, std::initializer_list<const char*> texts)
{
    const float rounded = std::trunc (engineValue + 0.5f);
    if (!(rounded >= 0.0f) || rounded >= static_cast<float> (texts.size()))
        return {};
    return juce::String (*(texts.begin() + static_cast<int> (rounded)));
}
} // namespace

juce::String getParameterValueText (int index, float engineValue)
{
    switch (index)
    {
    case dualTriodesParameter:
        return choiceText (engineValue, {"Fresh 12ax7", "Aged  12ax7"});
    case oversamplingParameter:
        return choiceText (engineValue, {"none", "x2", "x4", "x8", "x16"});
    case monoStereoParameter:
        return choiceText (engineValue, {"Mono", "Stereo"});
    case showSettingsParameter:
        return choiceText (engineValue, {"false", "true"});
    case inputParameter:
    case gainParameter:
    case trebleParameter:
    case middleParameter:
    case bassParameter:
    case outputParameter:
        return formatTwoDecimals (static_cast<double> (engineToNormalized (index, engineValue))) + "=>" +
               formatEngineValue (engineValue);
    default:
        return {};
    }
}
