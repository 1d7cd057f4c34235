#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

// The builder's progress as one status line: what is being trained, units done of the total,
// elapsed time and an estimate of the time left. On a terminal the line is rewritten in place;
// into a file or pipe (a test log, an install script's log) it is written as a separate line
// at most every `quietSeconds`, so the log stays readable. Safe to call from several threads.
class ProgressLine
{
public:
    ProgressLine (int totalUnits, std::FILE* out, bool inPlace, double quietSeconds = 15.0);

    void started (const std::string& what);
    void done (const std::string& what);
    // A line of its own, above the status line.
    void log (const std::string& line);
    // Clears the status line and prints the final count and time.
    void finish();

    static std::string formatDuration (double seconds);

private:
    void draw (bool force);
    double elapsed() const;

    std::mutex mutex;
    std::FILE* out;
    bool inPlace;
    double quietSeconds;
    int total, finished = 0;
    std::string current;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double lastDraw = -1e9;
    size_t drawnWidth = 0;
};
