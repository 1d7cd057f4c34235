#include "ParameterLookup.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vst2host
{
namespace
{
std::string lettersAndDigits (const std::string& text)
{
    std::string folded;
    for (unsigned char c : text)
        if (std::isalnum (c))
            folded += static_cast<char> (std::tolower (c));
    return folded;
}

// Lower case, runs of blanks as one blank, no blanks at the ends.
std::string foldedText (const std::string& text)
{
    std::string folded;
    bool blank = false;
    for (unsigned char c : text)
    {
        if (std::isspace (c))
        {
            blank = !folded.empty();
            continue;
        }
        if (blank)
            folded += ' ';
        blank = false;
        folded += static_cast<char> (std::tolower (c));
    }
    return folded;
}

bool parseNumber (const std::string& text, double& number)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    number = std::strtod (text.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite (number);
}
} // namespace

int findParameter (Effect& effect, const std::string& name)
{
    const std::string wanted = lettersAndDigits (name);
    if (wanted.empty())
        return -1;
    for (int i = 0; i < effect.numParameters(); ++i)
        if (lettersAndDigits (effect.parameterName (i)) == wanted)
            return i;

    double number = 0.0;
    if (parseNumber (name, number) && number == std::floor (number) && number >= 0.0 &&
        number < effect.numParameters())
        return static_cast<int> (number);
    return -1;
}

std::string setParameterByText (Effect& effect, const std::string& name, const std::string& value)
{
    const int index = findParameter (effect, name);
    if (index < 0)
    {
        std::string known;
        for (int i = 0; i < effect.numParameters(); ++i)
            known += (i > 0 ? ", " : "") + effect.parameterName (i);
        return "no parameter \"" + name + "\" (the effect has: " + known + ")";
    }

    double number = 0.0;
    if (parseNumber (value, number))
    {
        if (number < 0.0 || number > 1.0)
            return "value " + value + " for " + effect.parameterName (index) +
                   " is outside 0..1 (give a normalized value or the displayed text)";
        effect.setParameter (index, static_cast<float> (number));
        return {};
    }

    const std::string wanted = foldedText (value);
    const float previous = effect.parameter (index);
    constexpr int steps = 64;
    for (int step = 0; step <= steps; ++step)
    {
        const float candidate = static_cast<float> (step) / steps;
        effect.setParameter (index, candidate);
        if (foldedText (effect.parameterDisplay (index)) == wanted)
            return {};
    }
    effect.setParameter (index, previous);
    return "no value of " + effect.parameterName (index) + " displays \"" + value + "\"";
}
} // namespace vst2host
