#pragma once

#include <chrono>
#include <mutex>
#include <string>

// A progress line on standard error for a long run of a command-line tool: a bar, the share done,
// what is being done now, the time elapsed and the time left. On a terminal the line is redrawn in
// place; otherwise (a log file, CI) it is written as a line of its own at most once per quarter of
// the work, so logs stay short. Log lines printed through it appear above the progress line.
// Every member may be called from any thread.
class ProgressLine
{
public:
    explicit ProgressLine (std::string toolName);
    ~ProgressLine();

    // fractionDone runs from 0 to 1; `what` says what is being done now.
    void update (double fractionDone, const std::string& what);
    void printLine (const std::string& line);
    // Ends the progress line (on a terminal: leaves it standing and moves to the next line).
    void finish();

    // "1.2 s", "3 min 05 s", "1 h 02 min": a duration as a person reads it.
    static std::string formatDuration (double seconds);
    static double timeLeft (double elapsedSeconds, double fractionDone);

private:
    void drawLocked();

    std::string tool;
    std::string current;
    double fraction = 0.0;
    int lastQuarter = 0;
    bool terminal = false;
    bool shown = false;
    bool finished = false;
    std::chrono::steady_clock::time_point start;
    std::mutex mutex;
};
