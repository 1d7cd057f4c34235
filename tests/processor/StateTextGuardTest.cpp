// Saved state is checked before the XML parser sees it. The property that matters: nothing the
// check accepts makes the parser nest deeper than the limit, however the text tries to hide
// markup from a reader simpler than the parser.
#include "processor/ProgramState.h"
#include "processor/StateTextGuard.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
juce::String repeated (const juce::String& s, int times)
{
    juce::String out;
    out.preallocateBytes (static_cast<size_t> (s.getNumBytesAsUTF8()) * static_cast<size_t> (times) + 1);
    for (int n = 0; n < times; ++n)
        out += s;
    return out;
}

juce::String nested (int depth)
{
    return repeated ("<a>", depth) + repeated ("</a>", depth);
}

juce::MemoryBlock wrapBytes (const std::string& bytes)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    out.writeInt (static_cast<int> (bytes.size()));
    out.write (bytes.data(), bytes.size());
    out.writeByte (0);
    return block;
}

juce::MemoryBlock wrapText (const juce::String& text)
{
    return wrapBytes (text.toStdString());
}

// Deepest element nesting of a parsed tree, walked without recursion.
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

struct HostileChunk
{
    const char* name;
    std::string bytes; // the text inside the block, as raw bytes
    const char* problem; // part of the expected refusal
};

std::string hostileKez (const juce::String& inside)
{
    return ("<kez cprog=\"0\" version=\"1\"><programs>" + inside + "</programs></kez>").toStdString();
}

// Deep enough to overflow a small thread stack in the parser, small enough to parse here when a
// check wrongly let one through.
constexpr int deep = 5000;

std::vector<HostileChunk> hostileChunks()
{
    std::string overlongOpen; // '<' encoded in two bytes, which a byte scanner would not see
    for (int n = 0; n < deep; ++n)
        overlongOpen += "\xC0\xBC" "a>";
    return {
        {"oneLevelTooDeep", hostileKez (nested (maxStateNesting - 1)), "more than 64 deep"},
        {"thirtyThousandLevels", nested (30000).toStdString(), "more than 64 deep"},
        {"neverClosed", repeated ("<a>", 65).toStdString(), "more than 64 deep"},
        {"closingTagsFirstDoNotBuyDepth", (repeated ("</a>", 100) + repeated ("<a>", 65)).toStdString(),
         "more than 64 deep"},
        {"slashAngleInsideQuotes", repeated ("<a b=\"/>\">", deep).toStdString(), "more than 64 deep"},
        {"attributeValueWithoutQuotes", ("<kez><a b=1 \">" + repeated ("<a>", deep)).toStdString(),
         "without quotes"},
        {"unknownEntityJumpsPastQuote", ("<kez><a b=\"&x\";\">" + repeated ("<a>", deep)).toStdString(),
         "not a character reference"},
        {"unknownEntityInTextHidesATag", ("<kez>&x<a b=\";" + repeated ("<a>", deep)).toStdString(),
         "not a character reference"},
        {"badHexReferenceEatsQuote", ("<kez><a b=\"&#x\">" + repeated ("<a>", deep)).toStdString(),
         "not a character reference"},
        {"entityExpandingToMarkup",
         "<!DOCTYPE kez [<!ENTITY e \"<a><a><a>\">]><kez>" + repeated ("&e;", 100).toStdString() + "</kez>",
         "declaration"},
        {"entityReadFromAFile", "<!DOCTYPE kez SYSTEM \"/etc/passwd\"><kez>&x;</kez>", "declaration"},
        {"declarationInsideTheDocument", "<kez><!ENTITY e \"x\"></kez>", "declaration"},
        {"spaceBeforeTagName", ("<kez>" + repeated ("< a>", deep)).toStdString(), "starts no tag"},
        {"commentInsideATag", ("<kez><a <!-- x -->>" + repeated ("<a>", deep)).toStdString(), "not plain"},
        {"overlongEncodedAngle", "<kez>" + overlongOpen, "more than 64 deep"},
    };
}

class HostileStateChunk : public ::testing::TestWithParam<HostileChunk>
{
};

TEST_P (HostileStateChunk, IsRefusedUnparsedWithAReason)
{
    const auto block = wrapBytes (GetParam().bytes);
    std::string problem;
    const auto document = readStateBlock (block.getData(), static_cast<int> (block.getSize()), &problem);
    EXPECT_EQ (document, nullptr);
    EXPECT_NE (problem.find (GetParam().problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P (StateTextGuard, HostileStateChunk, ::testing::ValuesIn (hostileChunks()),
                          [] (const auto& info) { return std::string (info.param.name); });

// Texts the check lets through; whatever the parser makes of them stays within the limit.
TEST (StateTextGuard, AcceptedTextsNeverParseDeeperThanTheLimit)
{
    const juce::String accepted[] = {
        nested (maxStateNesting),
        "<kez>" + repeated ("<program a=\"1\"/>", 2000) + "</kez>",
        "<kez><!-- " + repeated ("<a>", deep) + " --></kez>",
        "<kez><![CDATA[" + repeated ("<a>", deep) + "]]></kez>",
        "<kez><?pi " + repeated ("<a>", deep) + " ?></kez>",
        "<kez a=\"" + repeated ("&lt;a&gt;", deep) + "\">" + repeated ("&lt;b&gt;&#60;&#x3C;", deep) + "</kez>",
        "<kez a='single \"quoted\" <a><a>'/>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kez>\r\n\t<programs/>\n</kez>",
    };
    for (const auto& text : accepted)
    {
        EXPECT_EQ (findStateTextProblem (text), "") << text.substring (0, 80);
        const auto document = juce::parseXML (text);
        ASSERT_NE (document, nullptr) << text.substring (0, 80);
        EXPECT_LE (depthOf (*document), maxStateNesting);
    }
}

TEST (StateTextGuard, TheLimitIsAParameter)
{
    EXPECT_EQ (findStateTextProblem (nested (3), 3), "");
    EXPECT_NE (findStateTextProblem (nested (4), 3), "");
    EXPECT_EQ (findStateTextProblem ("<a/><a/><a/><a/>", 1), "");
}

// Everything the plug-in writes, including names that need escaping, still restores, and saving
// again gives the same bytes.
TEST (StateTextGuard, EveryWrittenStateIsAcceptedAndRoundTripsByteForByte)
{
    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor source;
    const juce::String names[] = {
        "Crunch & \"Lead\" <ü>", "tab\tnew\nline\rcr", "'apos' > gt", "emoji \xF0\x9F\x8E\xB8",
        juce::String::repeatedString ("long", 500), "", "&amp; literally", "]]> and <!-- -->",
    };
    for (int p = 0; p < static_cast<int> (std::size (names)); ++p)
        source.changeProgramName (p, juce::String::fromUTF8 (names[p].toRawUTF8()));
    for (int index = 0; index < numParameters; ++index)
        source.setParameter (index, 0.37f);

    juce::MemoryBlock first;
    source.getStateInformation (first);
    std::string problem;
    ASSERT_NE (readStateBlock (first.getData(), static_cast<int> (first.getSize()), &problem), nullptr)
        << problem;

    VarkelPreampAudioProcessor target;
    target.setStateInformation (first.getData(), static_cast<int> (first.getSize()));
    juce::MemoryBlock second;
    target.getStateInformation (second);
    EXPECT_EQ (first, second);
    EXPECT_EQ (target.getProgramName (0), source.getProgramName (0));

    const juce::String defaults = getDefaultProgramsDocument();
    EXPECT_EQ (findStateTextProblem (defaults), "");
}

// Runs a restore on a thread with a small stack, as some hosts' worker threads have.
class SmallStackRestore : public juce::Thread
{
public:
    SmallStackRestore (VarkelPreampAudioProcessor& p, const juce::MemoryBlock& b)
        : juce::Thread ("small stack restore", 256 * 1024), processor (p), block (b)
    {
    }
    void run() override { processor.setStateInformation (block.getData(), static_cast<int> (block.getSize())); }

private:
    VarkelPreampAudioProcessor& processor;
    const juce::MemoryBlock& block;
};

TEST (StateTextGuard, ADeepChunkOnASmallStackChangesNothing)
{
    juce::ScopedJuceInitialiser_GUI juce;
    VarkelPreampAudioProcessor processor;
    processor.setCurrentProgram (2);
    juce::MemoryBlock before;
    processor.getStateInformation (before);

    const auto hostile = wrapText (hostileKez (nested (30000)));
    SmallStackRestore restore (processor, hostile);
    ASSERT_TRUE (restore.startThread());
    ASSERT_TRUE (restore.waitForThreadToExit (60000));

    juce::MemoryBlock after;
    processor.getStateInformation (after);
    EXPECT_EQ (before, after);
    EXPECT_EQ (processor.getCurrentProgram(), 2);
}
} // namespace
