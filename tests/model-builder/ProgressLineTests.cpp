#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace
{
std::string contents (std::FILE* f)
{
    std::rewind (f);
    std::string text;
    for (int c = std::fgetc (f); c != EOF; c = std::fgetc (f))
        text += static_cast<char> (c);
    return text;
}
} // namespace

TEST (ProgressLine, FormatsDurations)
{
    struct Case
    {
        double seconds;
        const char* text;
    };
    for (const auto& c : {Case{0.0, "0:00"}, Case{59.4, "0:59"}, Case{61.0, "1:01"}, Case{3599.6, "1:00:00"},
                          Case{7322.0, "2:02:02"}, Case{-1.0, "?"}, Case{NAN, "?"}, Case{INFINITY, "?"}})
        EXPECT_EQ (ProgressLine::formatDuration (c.seconds), c.text) << c.seconds;
}

TEST (ProgressLine, InALogEveryLineStandsAloneAndTheLastUnitIsAlwaysShown)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE (f, nullptr);
    {
        // Into a file, with a long quiet time: the first draw, the log line and the completed
        // count appear; nothing is rewritten in place.
        ProgressLine progress (2, f, false, 3600.0);
        progress.started ("eh block 1 gain 0");
        progress.done ("eh block 1 gain 0");
        progress.log ("a line of its own");
        progress.started ("eh block 2 gain 0");
        progress.done ("eh block 2 gain 0");
        progress.finish();
    }
    const auto text = contents (f);
    std::fclose (f);
    EXPECT_EQ (text.find ('\r'), std::string::npos) << text;
    EXPECT_NE (text.find ("[  0/  2]"), std::string::npos) << text;
    EXPECT_NE (text.find ("a line of its own\n"), std::string::npos) << text;
    EXPECT_NE (text.find ("[  2/  2] 100%"), std::string::npos) << text;
    EXPECT_NE (text.find ("left 0:00"), std::string::npos) << text;
    EXPECT_NE (text.find ("trained 2/2 units"), std::string::npos) << text;
    // Only the draws that were due: the start, and the end (the quiet time hides the middle).
    EXPECT_EQ (text.find ("[  1/  2]"), std::string::npos) << text;
}

TEST (ProgressLine, OnATerminalTheLineIsRewrittenAndClearedForLogLines)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE (f, nullptr);
    {
        ProgressLine progress (3, f, true);
        progress.started ("a rather long description of the first unit");
        progress.log ("between");
        progress.done ("first");
        progress.finish();
    }
    const auto text = contents (f);
    std::fclose (f);
    EXPECT_EQ (text.rfind ("\r[  0/  3]", 0), 0u) << text;
    // The log line starts on a cleared line and ends with a newline; the status line comes back.
    const auto between = text.find ("between\n");
    ASSERT_NE (between, std::string::npos) << text;
    EXPECT_EQ (text[between - 1], '\r');
    EXPECT_NE (text.find ("\r[  0/  3]", between), std::string::npos) << text;
    EXPECT_NE (text.find ("trained 1/3 units"), std::string::npos) << text;
}
