#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
juce::MemoryBlock wrapText (const juce::String& text)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    out.writeInt (static_cast<int> (text.getNumBytesAsUTF8()));
    out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    out.writeByte (0);
    return block;
}

juce::String savedText (VarkelPreampAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8,
                                   static_cast<int> (block.getSize()) - 9);
}

void restore (VarkelPreampAudioProcessor& processor, const juce::String& text)
{
    const auto block = wrapText (text);
    processor.setStateInformation (block.getData(), static_cast<int> (block.getSize()));
}

juce::String programsDocument (int cprog, const juce::String& body)
{
    return "<kez cprog=\"" + juce::String (cprog) + "\" version=\"1\"><programs>" + body +
           "</programs></kez>";
}

TEST (ProgramState, FreshBankSavesAsTheDefaultDocument)
{
    VarkelPreampAudioProcessor processor;
    juce::MemoryBlock block;
    processor.getStateInformation (block);

    const auto* bytes = static_cast<const uint8_t*> (block.getData());
    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    uint32_t length = 0;
    std::memcpy (&length, bytes + 4, 4);
    EXPECT_EQ (block.getSize(), length + 9u);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);

    juce::String expected = "<kez cprog=\"0\" version=\"1\"><programs>";
    for (int p = 1; p <= 12; ++p)
        expected << "<program programname=\"" << p
                 << " default\" model=\"0\" in=\"0.5\" out=\"0.5\" stro=\"0\""
                 << " gain=\"0.5\" trbl=\"0.5\" mdl=\"0.5\" bas=\"0.5\" ovrsmplng=\"0\" showset=\"0\"/>";
    expected << "</programs></kez>";
    EXPECT_EQ (savedText (processor), expected);
}

TEST (ProgramState, SaveAndRestoreReturnsEveryValueAndName)
{
    VarkelPreampAudioProcessor source;
    source.setCurrentProgram (5);
    const float xs[10] = {1.0f, 0.51f, 0.99f, 5.0f / 14.0f, 1.0f, 0.1f, 25.0f / 49.0f, 0.75f, 1.0f, 1.0f};
    for (int i = 0; i < 10; ++i)
        source.setParameter (i, xs[i]);
    source.changeProgramName (5, "Crunch & \"Lead\" <ü>");
    juce::MemoryBlock block;
    source.getStateInformation (block);
    EXPECT_TRUE (savedText (source).contains ("trbl=\"0.357142866\""));
    EXPECT_TRUE (savedText (source).contains ("out=\"0.510204077\""));

    VarkelPreampAudioProcessor target;
    target.setStateInformation (block.getData(), static_cast<int> (block.getSize()));
    EXPECT_EQ (target.getCurrentProgram(), 5);
    for (int p = 0; p < 12; ++p)
    {
        EXPECT_EQ (target.getProgramName (p), source.getProgramName (p));
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ (target.getProgramRecord (p).values[i], source.getProgramRecord (p).values[i])
                << p << " " << i;
    }
    EXPECT_EQ (target.getOversamplingFactor(), 8);
}

TEST (ProgramState, MissingAttributesTakeDefaultsAndNonNumbersReadAsZero)
{
    VarkelPreampAudioProcessor processor;
    restore (processor, programsDocument (0, "<program/><program gain=\"abc\" in=\"0.51\" GAIN=\"1\"/>"));
    const auto& bare = processor.getProgramRecord (0);
    EXPECT_EQ (bare.name, "Not Saved");
    const float expected[10] = {0, 24.5f, 8, 7, 7, 7, 24.5f, 0, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (bare.values[i], expected[i]) << i;

    // The first attribute whose name matches in any case counts.
    EXPECT_EQ (processor.getProgramRecord (1).values[2], 0.0f);
    EXPECT_FLOAT_EQ (processor.getProgramRecord (1).values[1], 24.99f);
}

TEST (ProgramState, StepsAndOutOfRangeValuesFromADocument)
{
    VarkelPreampAudioProcessor processor;
    restore (processor, programsDocument (0, "<program gain=\"0.99\"/><program gain=\"1\"/>"
                                             "<program gain=\"2\" out=\"3\" model=\"2\"/>"));
    EXPECT_EQ (processor.getProgramRecord (0).values[2], 15.0f);
    EXPECT_EQ (processor.getProgramRecord (1).values[2], 16.0f);
    // Limited to the parameter ranges: the engine never sees a position or valve type it lacks.
    EXPECT_EQ (processor.getProgramRecord (2).values[2], 16.0f);
    EXPECT_EQ (processor.getProgramRecord (2).values[6], 49.0f);
    EXPECT_EQ (processor.getProgramRecord (2).values[0], 1.0f);
}

TEST (ProgramState, SlotsCountOnlyProgramElements)
{
    VarkelPreampAudioProcessor processor;
    juce::String body;
    for (int p = 0; p < 13; ++p)
        body << "<program programname=\"P" << p << "\"/>" << (p == 1 ? "<other programname=\"X\"/>" : "");
    restore (processor, programsDocument (0, body));
    for (int p = 0; p < 12; ++p)
        EXPECT_EQ (processor.getProgramName (p), "P" + juce::String (p));

    restore (processor, programsDocument (0, "<PROGRAM programname=\"A\"/><program programname=\"B\"/>"));
    EXPECT_EQ (processor.getProgramName (0), "A");
    EXPECT_EQ (processor.getProgramName (1), "B");
    EXPECT_EQ (processor.getProgramName (2), "P2"); // untouched
}

TEST (ProgramState, RootNameAndCurrentProgram)
{
    VarkelPreampAudioProcessor processor;
    processor.setCurrentProgram (4);

    restore (processor, "<KEZ cprog=\"2\"><programs><program programname=\"upper\"/></programs></KEZ>");
    EXPECT_EQ (processor.getProgramName (0), "upper");
    EXPECT_EQ (processor.getCurrentProgram(), 2);

    restore (processor, "<bank cprog=\"7\"><programs><program programname=\"other\"/></programs></bank>");
    EXPECT_EQ (processor.getProgramName (0), "upper");
    EXPECT_EQ (processor.getCurrentProgram(), 2);

    for (int cprog : {12, -1})
    {
        restore (processor,
                 programsDocument (cprog, "<program programname=\"kept " + juce::String (cprog) + "\"/>"));
        EXPECT_EQ (processor.getProgramName (0), "kept " + juce::String (cprog));
        EXPECT_EQ (processor.getCurrentProgram(), 2);
    }

    restore (processor, "<kez><notprograms/></kez>"); // no cprog: program 0
    EXPECT_EQ (processor.getCurrentProgram(), 0);
}

TEST (ProgramState, UnusableBlocksChangeNothing)
{
    VarkelPreampAudioProcessor processor;
    processor.setCurrentProgram (3);
    juce::MemoryBlock before;
    processor.getStateInformation (before);

    auto wrongMagic = wrapText (programsDocument (0, "<program programname=\"x\"/>"));
    static_cast<char*> (wrongMagic.getData())[0] = 'W';
    const juce::MemoryBlock blocks[] = {
        wrongMagic,
        wrapText ("<kez cprog=\"0\"><programs><program programname=\"broken\"></programs>"),
        wrapText (""),
        juce::MemoryBlock ("VC2!\0\0\0\0", 8),
    };
    for (const auto& block : blocks)
        processor.setStateInformation (block.getData(), static_cast<int> (block.getSize()));
    processor.setStateInformation (nullptr, 100);
    processor.setStateInformation (before.getData(), 0);

    juce::MemoryBlock after;
    processor.getStateInformation (after);
    EXPECT_EQ (before, after);
    EXPECT_EQ (processor.getCurrentProgram(), 3);
}
} // namespace
