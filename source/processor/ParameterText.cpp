#include "processor/ParameterText.h"

#include "processor/ParameterTable.h"

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

juce::String getParameterValueText (int index, float engineValue)
{
    if (!isParameterIndex (index))
        return {};
    const auto& spec = getParameterSpec (index);
    if (spec.choices != nullptr)
    {
        const float rounded = std::trunc (engineValue + 0.5f);
        if (!(rounded >= 0.0f) || rounded >= static_cast<float> (spec.numChoices))
            return {};
        return juce::String (spec.choices[static_cast<int> (rounded)]);
    }
    return formatTwoDecimals (static_cast<double> (engineToNormalized (index, engineValue))) + "=>" +
           formatEngineValue (engineValue);
}
