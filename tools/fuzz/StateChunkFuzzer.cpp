// Feeds saved-state blocks to the restore path: unwrap, check, parse, load into the bank, save
// again. Random bytes alone almost never nest deeply, so an input may instead describe a deep
// document: a kind of opening markup repeated thousands of times around arbitrary bytes, in
// the forms that hide markup from a simple reader. Findings: a crash or sanitizer report
// (a parser that recursed too deep overflows its stack), a hang (the parser loops on some
// markup it should never have been given), an accepted document that nests
// deeper than the limit, an engine value out of range, or a saved bank that does not read back
// to the same bytes.
//
// Input layout: byte 0 even: the rest is the state text. Byte 0 odd: bytes 1-2 give the
// depth (little-endian, up to 65535), byte 3 the opening markup, the rest goes inside.

#include "FuzzCheck.h"
#include "processor/ProgramRecord.h"
#include "processor/ProgramState.h"
#include "processor/StateTextGuard.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
// Openings a reader could miscount: plain, inside quotes, hidden by a bad reference or a
// missing quote, spelled with an overlong '<', after a space, next to comments.
const char* const openings[] = {
    "<a>",
    "<a b=\"/>\">",
    "<a b='x'>",
    "\xC0\xBC" "a>",
    "< a>",
    "<a b=1 \">",
    "<a b=\"&x\";\">",
    "&x<a b=\";",
    "<a b=\"&#x\">",
    "<!-- --><a>",
    "<a><?x?>",
    "<program/>",
    "</a><a><a>",
    "<a\t\n>",
    "<a b=\"&amp;&#60;\">",
};

std::string describedText (const uint8_t* data, size_t size)
{
    if (size < 4)
        return {};
    const size_t depth = static_cast<size_t> (data[1]) | (static_cast<size_t> (data[2]) << 8);
    const std::string opening = openings[data[3] % (sizeof (openings) / sizeof (openings[0]))];
    std::string text = "<kez cprog=\"0\" version=\"1\"><programs>";
    text.reserve (text.size() + depth * (opening.size() + 4) + size);
    for (size_t n = 0; n < depth; ++n)
        text += opening;
    text.append (reinterpret_cast<const char*> (data + 4), size - 4);
    for (size_t n = 0; n < depth / 2; ++n)
        text += "</a>";
    return text + "</programs></kez>";
}

juce::MemoryBlock wrap (const std::string& text)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    out.writeInt (static_cast<int> (text.size()));
    out.write (text.data(), text.size());
    out.writeByte (0);
    return block;
}

int depthOf (const juce::XmlElement& root)
{
    int deepest = 0;
    std::vector<std::pair<const juce::XmlElement*, int>> pending{{&root, 1}};
    while (!pending.empty())
    {
        const auto [element, depth] = pending.back();
        pending.pop_back();
        deepest = std::max (deepest, depth);
        for (const auto* child : element->getChildIterator())
            pending.emplace_back (child, depth + 1);
    }
    return deepest;
}

bool withinRange (int index, float v)
{
    switch (index)
    {
    case inputParameter:
    case outputParameter:
        return v >= 0.0f && v <= 49.0f;
    case gainParameter:
        return v >= 0.0f && v <= 16.0f;
    case trebleParameter:
    case middleParameter:
    case bassParameter:
        return v >= 0.0f && v <= 14.0f;
    case oversamplingParameter:
        return v >= 0.0f && v <= 4.0f;
    default:
        return v == 0.0f || v == 1.0f;
    }
}

void saveAndReadBack (const ProgramRecord* programs, int count, int current)
{
    juce::MemoryBlock first;
    wrapStateDocument (*createStateDocument (programs, count, current), first);
    std::string problem;
    const auto again = readStateBlock (first.getData(), static_cast<int> (first.getSize()), &problem);
    require (again != nullptr);
    std::vector<ProgramRecord> restored (static_cast<size_t> (count));
    int select = -1;
    require (restoreStateDocument (*again, restored.data(), count, select));
    require (select == current);
    juce::MemoryBlock second;
    wrapStateDocument (*createStateDocument (restored.data(), count, select), second);
    require (first == second);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text = (data[0] & 1) != 0 ? describedText (data, size)
                                                 : std::string (reinterpret_cast<const char*> (data + 1), size - 1);
    const juce::MemoryBlock block = wrap (text);

    std::string problem;
    const auto document = readStateBlock (block.getData(), static_cast<int> (block.getSize()), &problem);
    if (document == nullptr)
    {
        require (!problem.empty());
        return 0;
    }
    require (depthOf (*document) <= maxStateNesting);

    constexpr int count = 12;
    std::vector<ProgramRecord> programs (count);
    int select = 0;
    if (!restoreStateDocument (*document, programs.data(), count, select))
        return 0;
    for (const auto& program : programs)
        for (int index = 0; index < numParameters; ++index)
            require (withinRange (index, program.values[index]));
    // Every name a document can carry must survive a save and a restore unchanged.
    saveAndReadBack (programs.data(), count, select >= 0 && select < count ? select : 0);
    return 0;
}
