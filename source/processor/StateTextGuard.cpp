#include "processor/StateTextGuard.h"

#include <cstring>

namespace
{
using Chars = juce::String::CharPointerType;

bool startsWith (Chars at, const char* ascii) noexcept
{
    return juce::CharacterFunctions::compareUpTo (at, juce::CharPointer_ASCII (ascii),
                                                  static_cast<int> (std::strlen (ascii))) == 0;
}

bool startsWithIgnoringCase (Chars at, const char* ascii) noexcept
{
    return juce::CharacterFunctions::compareIgnoreCaseUpTo (at, juce::CharPointer_ASCII (ascii),
                                                            static_cast<int> (std::strlen (ascii))) == 0;
}

// Moves past the next occurrence of the terminator, or to the end when there is none (where
// the parser stops too).
void skipPast (Chars& at, const char* terminator) noexcept
{
    const int found = at.indexOf (juce::CharPointer_ASCII (terminator));
    if (found < 0)
        at = at.findTerminatingNull();
    else
        at += found + static_cast<int> (std::strlen (terminator));
}

// Comments and processing instructions, which the parser skips between elements. True when
// one was skipped.
bool skipIgnorable (Chars& at) noexcept
{
    if (startsWith (at, "<!--"))
    {
        at += 4;
        skipPast (at, "-->");
        return true;
    }
    if (startsWith (at, "<?"))
    {
        at += 2;
        skipPast (at, "?>");
        return true;
    }
    return false;
}

// ASCII only: a name with other letters is refused rather than guessed at.
bool isNameChar (juce::juce_wchar c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == ':' || c == '.';
}

bool skipName (Chars& at) noexcept
{
    if (!isNameChar (*at))
        return false;
    while (isNameChar (*at))
        ++at;
    return true;
}

void skipWhiteSpace (Chars& at) noexcept
{
    while (!at.isEmpty() && juce::CharacterFunctions::isWhitespace (*at))
        ++at;
}

bool skipDigits (Chars& at, bool hex, int maxDigits) noexcept
{
    int count = 0;
    while (count <= maxDigits && (hex ? juce::CharacterFunctions::getHexDigitValue (*at) >= 0
                                      : (*at >= '0' && *at <= '9')))
    {
        ++at;
        ++count;
    }
    return count >= 1 && count <= maxDigits;
}

// At '&': moves past a predefined or numeric character reference and answers true. Anything
// else makes the parser jump to the next ';' or eat the character after a bad digit, which
// can carry it past a quote or a tag.
bool skipReference (Chars& at) noexcept
{
    ++at;
    for (const char* name : {"amp;", "quot;", "apos;", "lt;", "gt;"})
        if (startsWithIgnoringCase (at, name))
        {
            at += static_cast<int> (std::strlen (name));
            return true;
        }
    if (*at != '#')
        return false;
    ++at;
    const bool hex = *at == 'x' || *at == 'X';
    if (hex)
        ++at;
    if (!skipDigits (at, hex, hex ? 8 : 12) || *at != ';')
        return false;
    ++at;
    return true;
}

// From just after "<name": attributes, then "/>" or ">". Answers the problem, if any, and
// whether the element was empty.
std::string readTagRest (Chars& at, bool& empty)
{
    for (;;)
    {
        const bool spaced = juce::CharacterFunctions::isWhitespace (*at);
        skipWhiteSpace (at);
        if (*at == '/' && at[1] == '>')
        {
            at += 2;
            empty = true;
            return {};
        }
        if (*at == '>')
        {
            ++at;
            empty = false;
            return {};
        }
        if (!spaced || !skipName (at))
            return "the state has a tag that is not plain: names and quoted attributes only";
        skipWhiteSpace (at);
        if (*at != '=')
            return "the state has an attribute without a value";
        ++at;
        skipWhiteSpace (at);
        const juce::juce_wchar quote = *at;
        if (quote != '"' && quote != '\'')
            return "the state has an attribute value without quotes";
        ++at;
        while (*at != quote)
        {
            if (at.isEmpty())
                return "the state ends inside an attribute value";
            if (*at == '&')
            {
                if (!skipReference (at))
                    return "the state has an '&' that is not a character reference";
            }
            else
            {
                ++at;
            }
        }
        ++at;
    }
}
} // namespace

std::string findStateTextProblem (const juce::String& text, int maxDepth)
{
    Chars at = text.getCharPointer();
    int depth = 0;

    while (!at.isEmpty())
    {
        if (*at == '&')
        {
            if (!skipReference (at))
                return "the state has an '&' that is not a character reference";
            continue;
        }
        if (*at != '<')
        {
            ++at;
            continue;
        }
        if (skipIgnorable (at))
            continue;
        if (startsWith (at, "<![CDATA["))
        {
            at += 9;
            skipPast (at, "]]>");
            continue;
        }
        if (at[1] == '!')
            return "the state has a document type or other declaration, which saved state never holds";
        if (at[1] == '/')
        {
            // The parser leaves the element it is in at any closing tag, whatever its name.
            depth = depth > 0 ? depth - 1 : 0;
            skipPast (at, ">");
            continue;
        }

        ++at;
        if (!skipName (at))
            return "the state has a '<' that starts no tag";
        if (++depth > maxDepth)
            return "the state nests elements more than " + std::to_string (maxDepth) + " deep";
        bool empty = false;
        const std::string problem = readTagRest (at, empty);
        if (!problem.empty())
            return problem;
        if (empty)
            --depth;
    }
    return {};
}
